#include "crypto/cipher/block/DesCipher.h"

#include "core/base/Status.h"

#include "crypto/cipher/engine/CipherDirection.h"

namespace tornell {

DesCipher::DesCipher() : schedule_{} {}

int DesCipher::SetKey(const unsigned char* key, int keyLength, int encrypt, int mode) {
  if (keyLength < 8) return kBadKeyLength;  // would read past the key
  schedule_ = DesSchedule{};
  DesKeySchedule(schedule_, key, cipherdirection::WantsDecryptSchedule(encrypt, mode) ? 1 : 0);
  return kStatusOk;
}

int DesCipher::EncryptBlock(const unsigned char* input, unsigned char* output) const {
  DesCryptBlock(schedule_, input, output);
  return kStatusOk;
}

int DesCipher::DecryptBlock(const unsigned char* input, unsigned char* output) const {
  DesCryptBlock(schedule_, input, output);
  return kStatusOk;
}

int DesCipher::CopyFrom(const DesCipher& other) {
  schedule_ = other.schedule_;
  return kStatusOk;
}

}  // namespace tornell
