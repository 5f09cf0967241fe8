#pragma once
// SHA-1 (FIPS 180-4). Final stays valid: a second Final without Reset returns
// the same digest. A message past 2^64 - 1 bits fails the object until Reset.
#include <cstddef>
#include <cstdint>

namespace tornell {

class Sha1Digest {
 public:
  static constexpr int kDigestBytes = 20;
  static constexpr int kBlockBytes = 64;
  static constexpr int kNothingAbsorbed = 1;

  Sha1Digest() { (void)Reset(); }  // resetting cannot fail

  [[nodiscard]] int Reset();
  // 0, or kNothingAbsorbed: the object has failed, or the length
  // is negative or the pointer null.
  [[nodiscard]] int Update(const char* data, int length);
  // The 20 digest bytes (then a zero byte), or null once the object failed.
  unsigned char* Final();
  [[nodiscard]] int CopyFrom(const Sha1Digest& other);

  // Compresses whole 64-byte blocks, with the SHA instructions when active.
  static void Compress(uint32_t state[5], const unsigned char* data, size_t blocks);
  static void CompressPortable(uint32_t state[5], const unsigned char* data, size_t blocks);

  uint32_t state[5];
  uint32_t countLow;   // bit count, low word
  uint32_t countHigh;  // bit count, high word
  unsigned char buffer[kBlockBytes];
  int computed;  // 1 once Final has padded the message
  int failed;    // 1 once the bit count overflowed
  unsigned char digest[kDigestBytes + 1];
};

}  // namespace tornell
