#pragma once
// Rijndael with 16-, 24- or 32-byte blocks and keys. A 16-byte block is
// AES and runs through the AES block functions.
#include <cstdint>

namespace tornell {

// Row shifts by column count: row 0 for 4 columns, 1 for 6, 2 otherwise.
// [0] encrypts, [1] decrypts.
extern const int RijndaelShiftOffsets[2][3][4];

// Round count; lengths in bytes. decrypt nonzero builds the decryption
// schedule. The array needs (rounds + 1) * blockLength / 4 words.
int RijndaelKeySetup(uint32_t* roundKeys, const unsigned char* key, int keyLength,
                     int blockLength, int decrypt);
void RijndaelEncryptBlock(const uint32_t* roundKeys, int blockLength, int rounds,
                          const unsigned char* input, unsigned char* output);
void RijndaelDecryptBlock(const uint32_t* roundKeys, int blockLength, int rounds,
                          const unsigned char* input, unsigned char* output);

}  // namespace tornell
