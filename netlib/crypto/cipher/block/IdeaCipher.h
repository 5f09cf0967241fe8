#pragma once
// IDEA algorithm object: holds the encryption or the decryption schedule,
// chosen by direction and mode.
#include <cstdint>

namespace tornell {

class IdeaCipher {
 public:
  IdeaCipher();
  // Reads the first 16 key bytes; 1 (nothing changed) for a shorter key.
  int SetKey(const unsigned char* key, int keyLength, int encrypt, int mode);
  int EncryptBlock(const unsigned char* input, unsigned char* output) const;
  int DecryptBlock(const unsigned char* input, unsigned char* output) const;
  int CopyFrom(const IdeaCipher& other);

 private:
  uint16_t z_[52];
};

}  // namespace tornell
