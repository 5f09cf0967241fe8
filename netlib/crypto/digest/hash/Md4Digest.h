#pragma once
// MD4 (RFC 1320). Final wipes the chaining state: only Reset makes the
// object usable again.
#include <cstdint>

namespace tornell {

class Md4Digest {
 public:
  static constexpr int kDigestBytes = 16;
  static constexpr int kBlockBytes = 64;

  Md4Digest() { Reset(); }

  void Reset();
  // A negative length or a null pointer is refused: nothing is read.
  void Update(const char* data, int length);
  unsigned char* Final();
  [[nodiscard]] int CopyFrom(const Md4Digest& other);

  uint32_t state[4];
  unsigned char buffer[kBlockBytes];
  uint32_t words[16];  // the decoded current block
  uint32_t buffered;
  uint64_t count;  // message length in bytes
  unsigned char digest[kDigestBytes + 1];

 private:
  void Transform(const unsigned char* block);
};

}  // namespace tornell
