#pragma once
// SHA-256 and SHA-224 (FIPS 180-4). Reset is virtual so that a Sha224Digest
// reset through a Sha256Digest reference gets its own initial values. Final
// zeroes the chaining state: a second Final without Reset is no digest.
#include <cstddef>
#include <cstdint>

namespace tornell {

class Sha256Digest {
 public:
  static constexpr int kDigestBytes = 32;
  static constexpr int kBlockBytes = 64;

  Sha256Digest() { Sha256Digest::Reset(); }
  virtual ~Sha256Digest() = default;

  virtual void Reset();
  // A negative length or a null pointer is refused: nothing is read.
  void Update(const char* data, int length);
  // 32 bytes then a zero byte; SHA-224 callers read the first 28.
  unsigned char* Final();
  int CopyFrom(const Sha256Digest& other);

  static void Compress(uint32_t state[8], const unsigned char* data, size_t blocks);
  static void CompressPortable(uint32_t state[8], const unsigned char* data, size_t blocks);

  uint32_t countHigh;  // bit count, high word first as in the length field
  uint32_t countLow;
  unsigned char buffer[kBlockBytes];
  unsigned char digest[kDigestBytes + 1];
  uint32_t state[8];
};

class Sha224Digest : public Sha256Digest {
 public:
  static constexpr int kDigestBytes = 28;

  Sha224Digest() { Sha224Digest::Reset(); }
  void Reset() override;
};

}  // namespace tornell
