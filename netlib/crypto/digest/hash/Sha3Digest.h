#pragma once
// The Keccak sponge digests. Sha3Digest is the 512-bit member; the 224, 256
// and 384-bit members derive from it. By default they pad with the Keccak
// byte 0x01 (the Keccak-224/256/384/512 values); padding mode 2 selects the
// FIPS 202 SHA-3 domain bits 0x06. Final leaves the sponge as it is: a second
// Final without Reset pads the same tail again and is no digest.
#include <cstddef>
#include <cstdint>

#include "core/text/ByteString.h"

namespace tornell {

class Sha3Digest {
 public:
  static constexpr int kMaxRate = 168;
  static constexpr int kFipsPadding = 2;

  Sha3Digest() : Sha3Digest(72, 512) {}
  virtual ~Sha3Digest() = default;
  Sha3Digest(const Sha3Digest&) = delete;
  Sha3Digest& operator=(const Sha3Digest&) = delete;

  [[nodiscard]] int Reset();
  // 2 selects the FIPS 202 padding, anything else the Keccak padding.
  [[nodiscard]] int SetPaddingMode(int mode);
  // A length of 0 or less, or a null pointer, reads nothing.
  void Update(const char* data, int length);
  // Copies the sponge, the tail and the settings, not the last output.
  [[nodiscard]] virtual int CopyFrom(const Sha3Digest& other);
  // outputBits / 8 bytes held in the object until the next Reset or Final;
  // null when the output could not be allocated.
  virtual unsigned char* Final();

  int rate;        // block size in bytes
  int outputBits;
  uint64_t lanes[25];
  unsigned char tail[kMaxRate];
  int tailCount;
  ByteString output;
  int paddingMode;

 protected:
  Sha3Digest(int rateBytes, int bits);
  void Absorb(const unsigned char* data, size_t blocks);
  // Pads the tail with the domain byte, absorbs it and squeezes the output.
  unsigned char* FinishWith(unsigned char domain);
};

class Sha3_224Digest : public Sha3Digest {
 public:
  Sha3_224Digest() : Sha3Digest(144, 224) {}
};

class Sha3_256Digest : public Sha3Digest {
 public:
  Sha3_256Digest() : Sha3Digest(136, 256) {}
};

class Sha3_384Digest : public Sha3Digest {
 public:
  Sha3_384Digest() : Sha3Digest(104, 384) {}
};

}  // namespace tornell
