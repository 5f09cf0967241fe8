#include "crypto/cipher/aes/AesCipher.h"

#include "core/secure/SecureWipe.h"

#include "core/base/Status.h"

#include "crypto/cipher/aes/Aes.h"
#include "crypto/cipher/aes/AesHardware.h"
#include "crypto/cipher/aes/AesNiCbc.h"
#include "core/cpu/CpuFeatures.h"
#include "crypto/cipher/block/BlockBytes.h"
#include "crypto/cipher/engine/CipherDirection.h"

#include <cstring>
#include <new>

namespace tornell {

namespace {

// The schedule of a cipher never keyed: all zero, as a fresh array was. Most
// ciphers inside larger objects are never keyed, so the array is made at the
// first key instead of with the object.
alignas(16) const uint32_t kUnkeyedSchedule[512] = {};

}  // namespace

AesCipher::AesCipher() : roundKeys_(nullptr), rounds_(14) {}

AesCipher::~AesCipher() { Forget(); }

void AesCipher::Forget() {
  if (roundKeys_ != nullptr) {
    SecureWipe(roundKeys_, sizeof(uint32_t) * kArrayWords);
    delete[] roundKeys_;
    roundKeys_ = nullptr;
  }
  rounds_ = 14;
}

const uint32_t* AesCipher::Keys() const {
  static_assert(sizeof kUnkeyedSchedule == sizeof(uint32_t) * kArrayWords);
  return roundKeys_ != nullptr ? roundKeys_ : kUnkeyedSchedule;
}

int AesCipher::Allocate() {
  if (roundKeys_ == nullptr) roundKeys_ = new (std::nothrow) uint32_t[kArrayWords]();
  return roundKeys_ != nullptr ? kStatusOk : kStatusNoMemory;
}

int AesCipher::SetKey(const unsigned char* key, int keyLength, int encrypt, int mode) {
  if (Allocate() != kStatusOk) return kStatusNoMemory;
  rounds_ = cipherdirection::WantsDecryptSchedule(encrypt, mode)
                ? AesKeySetupDecrypt(roundKeys_, key, keyLength * 8)
                : AesKeySetupEncrypt(roundKeys_, key, keyLength * 8);
  aeshw::SwapSchedule(roundKeys_, rounds_, reinterpret_cast<unsigned char*>(roundKeys_ + kSwappedOffset));
  return kStatusOk;
}

int AesCipher::EncryptBlock(const unsigned char* input, unsigned char* output) const {
  return EncryptBlocks(input, output, 1);
}

int AesCipher::DecryptBlock(const unsigned char* input, unsigned char* output) const {
  return DecryptBlocks(input, output, 1);
}

int AesCipher::EncryptBlocks(const unsigned char* input, unsigned char* output,
                             int blockCount) const {
  if (cpu::Has(cpu::path::kAesNi))
    aeshw::EncryptBlocksSwapped(Swapped(), rounds_, input, output, blockCount);
  else
    AesEncryptBlocks(Keys(), rounds_, input, output, blockCount);
  return kStatusOk;
}

int AesCipher::DecryptBlocks(const unsigned char* input, unsigned char* output,
                             int blockCount) const {
  if (cpu::Has(cpu::path::kAesNi))
    aeshw::DecryptBlocksSwapped(Swapped(), rounds_, input, output, blockCount);
  else
    AesDecryptBlocks(Keys(), rounds_, input, output, blockCount);
  return kStatusOk;
}

int AesCipher::EncryptCbc(unsigned char* chain, const unsigned char* input, unsigned char* output,
                          int blockCount) const {
  if (cpu::Has(cpu::path::kAesNi)) {
    // The chain is serial: the round keys stay in registers across blocks.
    aesnicbc::Encrypt(Keys(), rounds_, chain, input, output, size_t(blockCount));
    return kStatusOk;
  }
  for (int i = 0; i < blockCount; ++i) {
    unsigned char block[16];
    for (int k = 0; k < 16; ++k) block[k] = static_cast<unsigned char>(input[16 * i + k] ^ chain[k]);
    AesEncryptBlocks(Keys(), rounds_, block, output + 16 * i, 1);
    std::memcpy(chain, output + 16 * i, 16);
  }
  return kStatusOk;
}

int AesCipher::DecryptCbc(unsigned char* chain, const unsigned char* input, unsigned char* output,
                          int blockCount) const {
  if (cpu::Has(cpu::path::kAesVaes256)) {
    aeshw::DecryptCbcVaes256(Swapped(), rounds_, chain, input, output, blockCount);
    return kStatusOk;
  }
  if (cpu::Has(cpu::path::kAesNi)) {
    aeshw::DecryptCbcSwapped(Swapped(), rounds_, chain, input, output, blockCount);
    return kStatusOk;
  }
  for (int i = 0; i < blockCount; ++i) {
    unsigned char block[16], saved[16];
    std::memcpy(saved, input + 16 * i, 16);  // output may overwrite it
    AesDecryptBlocks(Keys(), rounds_, saved, block, 1);
    for (int k = 0; k < 16; ++k) output[16 * i + k] = static_cast<unsigned char>(block[k] ^ chain[k]);
    std::memcpy(chain, saved, 16);
  }
  return kStatusOk;
}

const unsigned char* AesCipher::Swapped() const {
  return reinterpret_cast<const unsigned char*>(Keys() + kSwappedOffset);
}

int AesCipher::CopyFrom(const AesCipher& other) {
  if (&other == this) return kStatusOk;
  if (other.roundKeys_ != nullptr) {
    if (Allocate() != kStatusOk) return kStatusNoMemory;
    std::memcpy(roundKeys_, other.roundKeys_, sizeof(uint32_t) * kArrayWords);
  } else if (roundKeys_ != nullptr) {
    // The other was never keyed: back to the all-zero schedule.
    SecureWipe(roundKeys_, sizeof(uint32_t) * kArrayWords);
  }
  rounds_ = other.rounds_;
  return kStatusOk;
}

}  // namespace tornell
