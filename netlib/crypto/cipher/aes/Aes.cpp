#include "crypto/cipher/aes/Aes.h"

#include "core/secure/SecureWipe.h"

#include "core/cpu/CpuFeatures.h"
#include "crypto/cipher/aes/AesHardware.h"
#include "crypto/cipher/block/BlockBytes.h"
#include "crypto/cipher/aes/RijndaelCore.h"

#include <cstring>

namespace tornell {
namespace {

constexpr int kOffsets[4] = {0, 1, 2, 3};
constexpr int kInvOffsets[4] = {0, 3, 2, 1};

int RoundsFor(int keyBits) {
  return (keyBits == 128 || keyBits == 192 || keyBits == 256) ? keyBits / 32 + 6 : 0;
}

int KeySetup(uint32_t* roundKeys, const unsigned char* key, int keyBits, int decrypt) {
  const int rounds = RoundsFor(keyBits);
  if (rounds != 0) rijndaelcore::ExpandKey(roundKeys, key, keyBits / 32, 4, rounds, decrypt);
  return rounds;
}

// Schedule that one-shot calls keep on the stack and wipe afterwards.
struct LocalSchedule {
  uint32_t words[60];
  int rounds;
  LocalSchedule(const unsigned char* key, int keyBits, int decrypt)
      : rounds(keyBits / 32 + 6) {
    rijndaelcore::ExpandKey(words, key, keyBits / 32, 4, rounds, decrypt);
  }
  ~LocalSchedule() { SecureWipe(words, sizeof words); }
};

}  // namespace

int AesKeySetupEncrypt(uint32_t* roundKeys, const unsigned char* key, int keyBits) {
  return KeySetup(roundKeys, key, keyBits, 0);
}

int AesKeySetupDecrypt(uint32_t* roundKeys, const unsigned char* key, int keyBits) {
  return KeySetup(roundKeys, key, keyBits, 1);
}

void AesEncryptBlocks(const uint32_t* roundKeys, int rounds, const unsigned char* input,
                      unsigned char* output, int blockCount) {
  if (cpu::Has(cpu::path::kAesNi)) {
    aeshw::EncryptBlocks(roundKeys, rounds, input, output, blockCount);
    return;
  }
  int i = 0;
  for (; i + 2 <= blockCount; i += 2)
    rijndaelcore::EncryptAesPair(roundKeys, rounds, kOffsets, input + 16 * i, output + 16 * i);
  if (i < blockCount)
    rijndaelcore::EncryptBlock(roundKeys, 4, rounds, kOffsets, input + 16 * i, output + 16 * i);
}

void AesDecryptBlocks(const uint32_t* roundKeys, int rounds, const unsigned char* input,
                      unsigned char* output, int blockCount) {
  if (cpu::Has(cpu::path::kAesNi)) {
    aeshw::DecryptBlocks(roundKeys, rounds, input, output, blockCount);
    return;
  }
  int i = 0;
  for (; i + 2 <= blockCount; i += 2)
    rijndaelcore::DecryptAesPair(roundKeys, rounds, kInvOffsets, input + 16 * i, output + 16 * i);
  if (i < blockCount)
    rijndaelcore::DecryptBlock(roundKeys, 4, rounds, kInvOffsets, input + 16 * i,
                               output + 16 * i);
}

void AesEncryptBlock(const uint32_t* roundKeys, int rounds, const unsigned char* input,
                     unsigned char* output) {
  AesEncryptBlocks(roundKeys, rounds, input, output, 1);
}

void AesDecryptBlock(const uint32_t* roundKeys, int rounds, const unsigned char* input,
                     unsigned char* output) {
  AesDecryptBlocks(roundKeys, rounds, input, output, 1);
}

namespace {

// CFB-128 in place: the ciphertext byte (the output when encrypting, the
// input when decrypting) feeds the register.
void Cfb128(unsigned char* data, int length, const unsigned char* key, int keyBits,
            const unsigned char* iv, bool decrypt) {
  if (RoundsFor(keyBits) == 0) return;
  LocalSchedule ks(key, keyBits, 0);
  unsigned char reg[16], stream[16];
  std::memcpy(reg, iv, 16);
  for (int pos = 0; pos < length; pos += 16) {
    AesEncryptBlock(ks.words, ks.rounds, reg, stream);
    const int m = length - pos < 16 ? length - pos : 16;
    for (int i = 0; i < m; ++i) {
      const unsigned char in = data[pos + i];
      data[pos + i] = static_cast<unsigned char>(in ^ stream[i]);
      reg[i] = decrypt ? in : data[pos + i];
    }
  }
}

}  // namespace

void AesCfb128Encrypt(unsigned char* data, int length, const unsigned char* key, int keyBits,
                      const unsigned char* iv) {
  Cfb128(data, length, key, keyBits, iv, false);
}

void AesCfb128Decrypt(unsigned char* data, int length, const unsigned char* key, int keyBits,
                      const unsigned char* iv) {
  Cfb128(data, length, key, keyBits, iv, true);
}

void AesEcbPkcs7Encrypt(unsigned char* data, int& length, const unsigned char* key, int keyBits,
                        const unsigned char*) {
  if (RoundsFor(keyBits) == 0 || length < 0) return;
  const int pad = 16 - length % 16;
  std::memset(data + length, pad, static_cast<size_t>(pad));
  length += pad;
  LocalSchedule ks(key, keyBits, 0);
  AesEncryptBlocks(ks.words, ks.rounds, data, data, length / 16);
}

void AesEcbPkcs7Decrypt(unsigned char* data, int& length, const unsigned char* key, int keyBits,
                        const unsigned char*) {
  if (RoundsFor(keyBits) == 0 || length <= 0 || length % 16 != 0) return;
  LocalSchedule ks(key, keyBits, 1);
  AesDecryptBlocks(ks.words, ks.rounds, data, data, length / 16);
  // A count of 0 or one beyond the data is malformed padding: keep it all.
  const int count = data[length - 1];
  if (count > 0 && count <= length) length -= count;
}

}  // namespace tornell
