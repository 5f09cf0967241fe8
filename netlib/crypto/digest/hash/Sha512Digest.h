#pragma once
// SHA-512 and its three variants (FIPS 180-4): SHA-384, SHA-512/224 and
// SHA-512/256 differ in their initial values; the two truncated forms also
// end their digest with a zero byte. Reset is virtual, Final zeroes the
// chaining state: a second Final without Reset is no digest.
#include <cstddef>
#include <cstdint>

namespace tornell {

class Sha512Digest {
 public:
  static constexpr int kDigestBytes = 64;
  static constexpr int kBlockBytes = 128;

  Sha512Digest() { Sha512Digest::Reset(); }
  virtual ~Sha512Digest() = default;

  virtual void Reset();
  // A negative length or a null pointer is refused: nothing is read.
  void Update(const char* data, int length);
  // 64 bytes then a zero byte; SHA-384 callers read the first 48.
  unsigned char* Final();
  [[nodiscard]] int CopyFrom(const Sha512Digest& other);

  static void Compress(uint64_t state[8], const unsigned char* data, size_t blocks);

  uint64_t countHigh;  // 128-bit bit count, high word first
  uint64_t countLow;
  unsigned char buffer[kBlockBytes];
  unsigned char digest[kDigestBytes + 1];
  uint64_t state[8];

 protected:
  void SetInitialValues(const uint64_t init[8]);
};

class Sha384Digest : public Sha512Digest {
 public:
  static constexpr int kDigestBytes = 48;
  Sha384Digest() { Sha384Digest::Reset(); }
  void Reset() override;
};

class Sha512_224Digest : public Sha512Digest {
 public:
  static constexpr int kDigestBytes = 28;
  Sha512_224Digest() { Sha512_224Digest::Reset(); }
  void Reset() override;
  // The base digest with a zero byte after the 28th byte.
  unsigned char* Final();
};

class Sha512_256Digest : public Sha512Digest {
 public:
  static constexpr int kDigestBytes = 32;
  Sha512_256Digest() { Sha512_256Digest::Reset(); }
  void Reset() override;
  // The base digest with a zero byte after the 32nd byte.
  unsigned char* Final();
};

}  // namespace tornell
