#include "crypto/cipher/aes/Rijndael.h"

#include "crypto/cipher/aes/Aes.h"
#include "crypto/cipher/aes/RijndaelCore.h"

namespace tornell {

const int RijndaelShiftOffsets[2][3][4] = {
    {{0, 1, 2, 3}, {0, 1, 2, 3}, {0, 1, 3, 4}},
    {{0, 3, 2, 1}, {0, 5, 4, 3}, {0, 7, 5, 4}},
};

namespace {

int RoundsFor(int keyLength, int blockLength) {
  const int longest = keyLength > blockLength ? keyLength : blockLength;
  return longest == 16 ? 10 : longest == 24 ? 12 : 14;
}

int OffsetRow(int columns) { return columns == 4 ? 0 : columns == 6 ? 1 : 2; }

bool ValidLength(int length) { return length == 16 || length == 24 || length == 32; }

}  // namespace

int RijndaelKeySetup(uint32_t* roundKeys, const unsigned char* key, int keyLength,
                     int blockLength, int decrypt) {
  const int rounds = RoundsFor(keyLength, blockLength);
  // Only the three lengths of the cipher exist; anything else would run the
  // expansion past its buffers.
  if (!ValidLength(keyLength) || !ValidLength(blockLength)) return rounds;
  rijndaelcore::ExpandKey(roundKeys, key, keyLength / 4, blockLength / 4, rounds, decrypt);
  return rounds;
}

void RijndaelEncryptBlock(const uint32_t* roundKeys, int blockLength, int rounds,
                          const unsigned char* input, unsigned char* output) {
  if (blockLength == 16) {
    AesEncryptBlock(roundKeys, rounds, input, output);
    return;
  }
  if (!ValidLength(blockLength)) return;
  const int columns = blockLength / 4;
  rijndaelcore::EncryptBlock(roundKeys, columns, rounds, RijndaelShiftOffsets[0][OffsetRow(columns)],
                             input, output);
}

void RijndaelDecryptBlock(const uint32_t* roundKeys, int blockLength, int rounds,
                          const unsigned char* input, unsigned char* output) {
  if (blockLength == 16) {
    AesDecryptBlock(roundKeys, rounds, input, output);
    return;
  }
  if (!ValidLength(blockLength)) return;
  const int columns = blockLength / 4;
  rijndaelcore::DecryptBlock(roundKeys, columns, rounds, RijndaelShiftOffsets[1][OffsetRow(columns)],
                             input, output);
}

}  // namespace tornell
