#pragma once
// Xtea algorithm object: 64-bit block, 128-bit key, 64 cycles.
#include <cstdint>

namespace tornell {

class XteaCipher {
 public:
  XteaCipher();
  // Reads the first 16 key bytes as four big-endian words; 1 (nothing
  // changed) for a shorter key.
  int SetKey(const unsigned char* key, int keyLength, int encrypt, int mode);
  int EncryptBlock(const unsigned char* input, unsigned char* output) const;
  int DecryptBlock(const unsigned char* input, unsigned char* output) const;
  int CopyFrom(const XteaCipher& other);

 private:
  uint32_t key_[4];
  int cycles_;
};

}  // namespace tornell
