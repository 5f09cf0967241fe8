#pragma once
// RC2 algorithm object; the effective key bits always equal the key's
// bits (a 5-byte key is 40-bit RC2). The key expansion indexes PITABLE
// with key bytes, as the cipher defines it.
#include <cstdint>

namespace tornell {

class Rc2Cipher {
 public:
  // A key of a length this object cannot take; nothing changed.
  static constexpr int kBadKeyLength = 1;
  Rc2Cipher();
  // 1 for an empty key or one longer than 128 bytes (nothing changed).
  [[nodiscard]] int SetKey(const unsigned char* key, int keyLength);
  [[nodiscard]] int EncryptBlock(const unsigned char* input, unsigned char* output) const;
  [[nodiscard]] int DecryptBlock(const unsigned char* input, unsigned char* output) const;
  [[nodiscard]] int CopyFrom(const Rc2Cipher& other);

 private:
  uint32_t k_[64];
};

}  // namespace tornell
