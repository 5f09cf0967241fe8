#pragma once
// Triple-DES (EDE) algorithm object. A 24-byte key is K1 K2 K3; any other
// length of 16 or more is read as K1 K2 with K3 = K1; shorter keys are
// refused with 1.
#include "crypto/cipher/block/Des.h"

namespace tornell {

class TripleDesCipher {
 public:
  // A key of a length this object cannot take; nothing changed.
  static constexpr int kBadKeyLength = 1;
  TripleDesCipher();
  [[nodiscard]] int SetKey(const unsigned char* key, int keyLength, int encrypt, int mode);
  [[nodiscard]] int EncryptBlock(const unsigned char* input, unsigned char* output) const;
  [[nodiscard]] int DecryptBlock(const unsigned char* input, unsigned char* output) const;
  [[nodiscard]] int CopyFrom(const TripleDesCipher& other);

 private:
  TripleDesSchedule schedule_;
};

}  // namespace tornell
