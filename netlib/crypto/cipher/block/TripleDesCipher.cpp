#include "crypto/cipher/block/TripleDesCipher.h"

#include "core/secure/SecureWipe.h"

#include "core/base/Status.h"

#include "crypto/cipher/block/BlockBytes.h"
#include "crypto/cipher/engine/CipherDirection.h"

#include <cstring>

namespace tornell {

TripleDesCipher::TripleDesCipher() : schedule_{} {}

int TripleDesCipher::SetKey(const unsigned char* key, int keyLength, int encrypt, int mode) {
  if (keyLength < 16) return kBadKeyLength;  // would read past the key
  schedule_ = TripleDesSchedule{};
  unsigned char full[24];
  if (keyLength == 24) {
    std::memcpy(full, key, 24);
  } else {
    std::memcpy(full, key, 16);
    std::memcpy(full + 16, key, 8);
  }
  TripleDesKeySchedule(schedule_, full,
                       cipherdirection::WantsDecryptSchedule(encrypt, mode) ? 1 : 0);
  SecureWipe(full, sizeof full);
  return kStatusOk;
}

int TripleDesCipher::EncryptBlock(const unsigned char* input, unsigned char* output) const {
  TripleDesCryptBlock(schedule_, input, output);
  return kStatusOk;
}

int TripleDesCipher::DecryptBlock(const unsigned char* input, unsigned char* output) const {
  TripleDesCryptBlock(schedule_, input, output);
  return kStatusOk;
}

int TripleDesCipher::CopyFrom(const TripleDesCipher& other) {
  schedule_ = other.schedule_;
  return kStatusOk;
}

}  // namespace tornell
