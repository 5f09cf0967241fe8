#pragma once
// Triple-DES (EDE) algorithm object. A 24-byte key is K1 K2 K3; any other
// length of 16 or more is read as K1 K2 with K3 = K1; shorter keys are
// refused with 1.
#include "crypto/cipher/block/Des.h"

namespace tornell {

class TripleDesCipher {
 public:
  TripleDesCipher();
  int SetKey(const unsigned char* key, int keyLength, int encrypt, int mode);
  int EncryptBlock(const unsigned char* input, unsigned char* output) const;
  int DecryptBlock(const unsigned char* input, unsigned char* output) const;
  int CopyFrom(const TripleDesCipher& other);

 private:
  TripleDesSchedule schedule_;
};

}  // namespace tornell
