#include "crypto/cipher/AesCipher.h"

#include "crypto/cipher/Aes.h"
#include "crypto/cipher/CipherDirection.h"

#include <cstring>
#include <new>

namespace tornell {

AesCipher::AesCipher() : roundKeys_(new (std::nothrow) uint32_t[kArrayWords]()), rounds_(14) {}

AesCipher::~AesCipher() {
  if (roundKeys_ != nullptr) {
    volatile uint32_t* p = roundKeys_;
    for (int i = 0; i < kArrayWords; ++i) p[i] = 0;
    delete[] roundKeys_;
    roundKeys_ = nullptr;
  }
}

int AesCipher::SetKey(const unsigned char* key, int keyLength, int encrypt, int mode) {
  if (roundKeys_ == nullptr) return 200;
  rounds_ = cipherdirection::WantsDecryptSchedule(encrypt, mode)
                ? AesKeySetupDecrypt(roundKeys_, key, keyLength * 8)
                : AesKeySetupEncrypt(roundKeys_, key, keyLength * 8);
  return 0;
}

int AesCipher::EncryptBlock(const unsigned char* input, unsigned char* output) const {
  return EncryptBlocks(input, output, 1);
}

int AesCipher::DecryptBlock(const unsigned char* input, unsigned char* output) const {
  return DecryptBlocks(input, output, 1);
}

int AesCipher::EncryptBlocks(const unsigned char* input, unsigned char* output,
                             int blockCount) const {
  if (roundKeys_ == nullptr) return 200;
  AesEncryptBlocks(roundKeys_, rounds_, input, output, blockCount);
  return 0;
}

int AesCipher::DecryptBlocks(const unsigned char* input, unsigned char* output,
                             int blockCount) const {
  if (roundKeys_ == nullptr) return 200;
  AesDecryptBlocks(roundKeys_, rounds_, input, output, blockCount);
  return 0;
}

int AesCipher::CopyFrom(const AesCipher& other) {
  if (roundKeys_ == nullptr) return 200;
  if (&other == this) return 0;
  if (other.roundKeys_ != nullptr)
    std::memcpy(roundKeys_, other.roundKeys_, sizeof(uint32_t) * kArrayWords);
  rounds_ = other.rounds_;
  return 0;
}

}  // namespace tornell
