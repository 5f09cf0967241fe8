#pragma once
// MD5 (RFC 1321). A plain digest object: construct (or Reset), Update any
// number of times, Final, read 16 bytes at the returned pointer.
#include <cstddef>
#include <cstdint>

namespace tornell {

class Md5Digest {
 public:
  static constexpr int kDigestBytes = 16;
  static constexpr int kBlockBytes = 64;

  Md5Digest() { Reset(); }

  void Reset();
  // A negative length or a null pointer is refused: nothing is read.
  void Update(const char* data, int length);
  // Pads the running message and returns the 16 digest bytes (then a zero
  // byte). A second Final without Reset pads again and is no digest.
  unsigned char* Final();
  [[nodiscard]] int CopyFrom(const Md5Digest& other);

  // Compresses `blocks` whole 64-byte blocks into `state`.
  static void Compress(uint32_t state[4], const unsigned char* data, size_t blocks);

  uint32_t state[4];
  uint32_t count[2];  // bit count, low word first
  unsigned char buffer[kBlockBytes];
  unsigned char digest[kDigestBytes + 1];
};

}  // namespace tornell
