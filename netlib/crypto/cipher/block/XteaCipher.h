#pragma once
// Xtea algorithm object: 64-bit block, 128-bit key, 64 cycles.
#include <cstdint>

namespace tornell {

class XteaCipher {
 public:
  // A key of a length this object cannot take; nothing changed.
  static constexpr int kBadKeyLength = 1;
  XteaCipher();
  // Reads the first 16 key bytes as four big-endian words; 1 (nothing
  // changed) for a shorter key.
  [[nodiscard]] int SetKey(const unsigned char* key, int keyLength, int encrypt, int mode);
  [[nodiscard]] int EncryptBlock(const unsigned char* input, unsigned char* output) const;
  [[nodiscard]] int DecryptBlock(const unsigned char* input, unsigned char* output) const;
  [[nodiscard]] int CopyFrom(const XteaCipher& other);

 private:
  uint32_t key_[4];
  int cycles_;
};

}  // namespace tornell
