#pragma once
// The SHAKE extendable-output functions (FIPS 202): padding 0x1F and any
// whole number of output bytes, squeezed as long as asked.
#include "crypto/digest/hash/Sha3Digest.h"

namespace tornell {

class ShakeDigest : public Sha3Digest {
 public:
  ShakeDigest() : Sha3Digest(136, 512) {}

  // The output length survives Reset; bits beyond whole bytes are dropped
  // and fewer than 8 give an empty output.
  int SetOutputBits(int bits);  // always succeeds
  int GetOutputBits() const { return outputBits; }
  unsigned char* Final() override;
  using Sha3Digest::CopyFrom;
  [[nodiscard]] virtual int CopyFrom(const ShakeDigest& other);

 protected:
  ShakeDigest(int rateBytes, int bits) : Sha3Digest(rateBytes, bits) {}
};

class Shake128Digest : public ShakeDigest {
 public:
  Shake128Digest() : ShakeDigest(168, 256) {}
};

class Shake256Digest : public ShakeDigest {
 public:
  Shake256Digest() : ShakeDigest(136, 512) {}
};

}  // namespace tornell
