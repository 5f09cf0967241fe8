#pragma once
// DES algorithm object: one schedule, chosen by direction and mode.
#include "crypto/cipher/block/Des.h"

namespace tornell {

class DesCipher {
 public:
  // A key of a length this object cannot take; nothing changed.
  static constexpr int kBadKeyLength = 1;
  DesCipher();
  // Reads the first 8 key bytes; 1 (nothing changed) for a shorter key.
  [[nodiscard]] int SetKey(const unsigned char* key, int keyLength, int encrypt, int mode);
  [[nodiscard]] int EncryptBlock(const unsigned char* input, unsigned char* output) const;
  [[nodiscard]] int DecryptBlock(const unsigned char* input, unsigned char* output) const;
  [[nodiscard]] int CopyFrom(const DesCipher& other);

 private:
  DesSchedule schedule_;
};

}  // namespace tornell
