#include "crypto/cipher/aes/RijndaelCipher.h"

#include "core/secure/SecureWipe.h"

#include "core/base/Status.h"

#include "crypto/cipher/block/BlockBytes.h"
#include "crypto/cipher/engine/CipherDirection.h"
#include "crypto/cipher/aes/Rijndael.h"

#include <cstring>
#include <new>

namespace tornell {

RijndaelCipher::RijndaelCipher()
    : roundKeys_(new (std::nothrow) uint32_t[kArrayWords]()), rounds_(14), blockLength_(16) {}

RijndaelCipher::~RijndaelCipher() {
  if (roundKeys_ != nullptr) {
    SecureWipe(roundKeys_, sizeof(uint32_t) * kArrayWords);
    delete[] roundKeys_;
    roundKeys_ = nullptr;
  }
}

int RijndaelCipher::SetKey(const unsigned char* key, int keyLength, int blockLength, int encrypt,
                           int mode) {
  if (roundKeys_ == nullptr) return kStatusNoMemory;
  rounds_ = RijndaelKeySetup(roundKeys_, key, keyLength, blockLength,
                             cipherdirection::WantsDecryptSchedule(encrypt, mode) ? 1 : 0);
  blockLength_ = blockLength;
  return kStatusOk;
}

int RijndaelCipher::EncryptBlock(const unsigned char* input, unsigned char* output) const {
  if (roundKeys_ == nullptr) return kStatusNoMemory;
  RijndaelEncryptBlock(roundKeys_, blockLength_, rounds_, input, output);
  return kStatusOk;
}

int RijndaelCipher::DecryptBlock(const unsigned char* input, unsigned char* output) const {
  if (roundKeys_ == nullptr) return kStatusNoMemory;
  RijndaelDecryptBlock(roundKeys_, blockLength_, rounds_, input, output);
  return kStatusOk;
}

int RijndaelCipher::CopyFrom(const RijndaelCipher& other) {
  if (roundKeys_ == nullptr) return kStatusNoMemory;
  if (&other == this) return kStatusOk;
  if (other.roundKeys_ != nullptr)
    std::memcpy(roundKeys_, other.roundKeys_, sizeof(uint32_t) * kArrayWords);
  rounds_ = other.rounds_;
  blockLength_ = other.blockLength_;
  return kStatusOk;
}

}  // namespace tornell
