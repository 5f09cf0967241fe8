#pragma once
// XXTEA (corrected block TEA) over a block of length / 4 big-endian words.
#include <cstdint>

namespace tornell {

class XxteaCipher {
 public:
  XxteaCipher();
  // As TeaCipher::SetKey: 16 key bytes, 1 for a shorter key.
  int SetKey(const unsigned char* key, int keyLength, int encrypt, int mode);
  // Bytes beyond 4 * (length / 4) are neither read nor written. -1 for
  // blocks under 8 bytes (not invertible) or when the word buffer cannot
  // be allocated; output is then untouched.
  int EncryptBlock(const unsigned char* input, int length, unsigned char* output) const;
  int DecryptBlock(const unsigned char* input, int length, unsigned char* output) const;
  int CopyFrom(const XxteaCipher& other);

 private:
  int Run(const unsigned char* input, int length, unsigned char* output, bool encrypt) const;
  uint32_t key_[4];
};

}  // namespace tornell
