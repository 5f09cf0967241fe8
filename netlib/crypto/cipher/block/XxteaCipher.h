#pragma once
// XXTEA (corrected block TEA) over a block of length / 4 big-endian words.
#include <cstdint>

namespace tornell {

class XxteaCipher {
 public:
  // A block under 8 bytes, or no room for its words.
  static constexpr int kBadBlock = -1;
  // A key of a length this object cannot take; nothing changed.
  static constexpr int kBadKeyLength = 1;
  XxteaCipher();
  // As TeaCipher::SetKey: 16 key bytes, 1 for a shorter key.
  [[nodiscard]] int SetKey(const unsigned char* key, int keyLength, int encrypt, int mode);
  // Bytes beyond 4 * (length / 4) are neither read nor written. -1 for
  // blocks under 8 bytes (not invertible) or when the word buffer cannot
  // be allocated; output is then untouched.
  [[nodiscard]] int EncryptBlock(const unsigned char* input, int length, unsigned char* output) const;
  [[nodiscard]] int DecryptBlock(const unsigned char* input, int length, unsigned char* output) const;
  [[nodiscard]] int CopyFrom(const XxteaCipher& other);

 private:
  [[nodiscard]] int Run(const unsigned char* input, int length, unsigned char* output, bool encrypt) const;
  uint32_t key_[4];
};

}  // namespace tornell
