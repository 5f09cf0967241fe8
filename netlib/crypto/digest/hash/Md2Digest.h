#pragma once
// MD2 (RFC 1319, with the corrected checksum). 16-byte blocks and digest.
#include <cstdint>

namespace tornell {

class Md2Digest {
 public:
  static constexpr int kDigestBytes = 16;
  static constexpr int kBlockBytes = 16;

  Md2Digest() { Reset(); }

  void Reset();
  // A length of 0 or less, or a null pointer, reads nothing.
  void Update(const char* data, int length);
  // A second Final without Reset compresses again and is no digest.
  unsigned char* Final();
  [[nodiscard]] int CopyFrom(const Md2Digest& other);

  uint32_t buffered;
  unsigned char buffer[kBlockBytes];
  unsigned char checksum[16];
  unsigned char x[48];
  unsigned char digest[kDigestBytes + 1];

 private:
  void Transform(const unsigned char* block);
};

}  // namespace tornell
