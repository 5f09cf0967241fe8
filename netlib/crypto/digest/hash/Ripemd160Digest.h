#pragma once
// RIPEMD-160 (ISO/IEC 10118-3), 20-byte digest. A second Final without Reset
// compresses again and is no digest.
#include <cstdint>

namespace tornell {

class Ripemd160Digest {
 public:
  static constexpr int kDigestBytes = 20;
  static constexpr int kBlockBytes = 64;

  Ripemd160Digest() { (void)Reset(); }  // resetting cannot fail

  [[nodiscard]] int Reset();
  // A negative length or a null pointer is refused: nothing is read.
  void Update(const char* data, int length);
  unsigned char* Final();
  [[nodiscard]] int CopyFrom(const Ripemd160Digest& other);

  uint32_t countLow;  // message length in bytes
  uint32_t countHigh;
  uint32_t buffered;
  unsigned char buffer[kBlockBytes];
  uint32_t h[5];
  unsigned char digest[kDigestBytes + 1];

 private:
  void Compress(const uint32_t x[16]);
};

}  // namespace tornell
