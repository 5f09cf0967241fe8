#pragma once
// IDEA algorithm object: holds the encryption or the decryption schedule,
// chosen by direction and mode.
#include <cstdint>

namespace tornell {

class IdeaCipher {
 public:
  // A key of a length this object cannot take; nothing changed.
  static constexpr int kBadKeyLength = 1;
  IdeaCipher();
  // Reads the first 16 key bytes; 1 (nothing changed) for a shorter key.
  [[nodiscard]] int SetKey(const unsigned char* key, int keyLength, int encrypt, int mode);
  [[nodiscard]] int EncryptBlock(const unsigned char* input, unsigned char* output) const;
  [[nodiscard]] int DecryptBlock(const unsigned char* input, unsigned char* output) const;
  [[nodiscard]] int CopyFrom(const IdeaCipher& other);

 private:
  uint16_t z_[52];
};

}  // namespace tornell
