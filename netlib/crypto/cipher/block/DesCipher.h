#pragma once
// DES algorithm object: one schedule, chosen by direction and mode.
#include "crypto/cipher/block/Des.h"

namespace tornell {

class DesCipher {
 public:
  DesCipher();
  // Reads the first 8 key bytes; 1 (nothing changed) for a shorter key.
  int SetKey(const unsigned char* key, int keyLength, int encrypt, int mode);
  int EncryptBlock(const unsigned char* input, unsigned char* output) const;
  int DecryptBlock(const unsigned char* input, unsigned char* output) const;
  int CopyFrom(const DesCipher& other);

 private:
  DesSchedule schedule_;
};

}  // namespace tornell
