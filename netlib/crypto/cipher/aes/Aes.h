#pragma once
// AES block primitive (FIPS 197) over caller-held round-key arrays of
// big-endian words: 44, 52 or 60 words for 128-, 192- and 256-bit keys.
// Runs on AES-NI when the processor has it, else on constant-time portable
// code; both give the same results from the same schedules.
#include <cstdint>

namespace tornell {

// Round count 10, 12 or 14; 0 (and no schedule) for any other key length.
int AesKeySetupEncrypt(uint32_t* roundKeys, const unsigned char* key, int keyBits);
int AesKeySetupDecrypt(uint32_t* roundKeys, const unsigned char* key, int keyBits);

// Input and output may be the same buffer.
void AesEncryptBlock(const uint32_t* roundKeys, int rounds, const unsigned char* input,
                     unsigned char* output);
void AesDecryptBlock(const uint32_t* roundKeys, int rounds, const unsigned char* input,
                     unsigned char* output);

// ECB over blockCount consecutive blocks (in place allowed).
void AesEncryptBlocks(const uint32_t* roundKeys, int rounds, const unsigned char* input,
                      unsigned char* output, int blockCount);
void AesDecryptBlocks(const uint32_t* roundKeys, int rounds, const unsigned char* input,
                      unsigned char* output, int blockCount);

// One-shot helpers, in place. The ECB pair ignores iv; the encrypt buffer
// needs room for length + 16 bytes.
void AesCfb128Encrypt(unsigned char* data, int length, const unsigned char* key, int keyBits,
                      const unsigned char* iv);
void AesCfb128Decrypt(unsigned char* data, int length, const unsigned char* key, int keyBits,
                      const unsigned char* iv);
void AesEcbPkcs7Encrypt(unsigned char* data, int& length, const unsigned char* key, int keyBits,
                        const unsigned char* iv);
void AesEcbPkcs7Decrypt(unsigned char* data, int& length, const unsigned char* key, int keyBits,
                        const unsigned char* iv);


}  // namespace tornell
