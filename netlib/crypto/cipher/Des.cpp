#include "crypto/cipher/Des.h"

#include <array>

namespace tornell {
namespace {

constexpr unsigned char kPc1[56] = {
    57, 49, 41, 33, 25, 17, 9,  1,  58, 50, 42, 34, 26, 18, 10, 2,  59, 51, 43,
    35, 27, 19, 11, 3,  60, 52, 44, 36, 63, 55, 47, 39, 31, 23, 15, 7,  62, 54,
    46, 38, 30, 22, 14, 6,  61, 53, 45, 37, 29, 21, 13, 5,  28, 20, 12, 4};

constexpr unsigned char kTotalRotations[16] = {1,  2,  4,  6,  8,  10, 12, 14,
                                               15, 17, 19, 21, 23, 25, 27, 28};

constexpr unsigned char kPc2[48] = {14, 17, 11, 24, 1,  5,  3,  28, 15, 6,  21, 10,
                                    23, 19, 12, 4,  26, 8,  16, 7,  27, 20, 13, 2,
                                    41, 52, 31, 37, 47, 55, 30, 40, 51, 45, 33, 48,
                                    44, 49, 39, 56, 34, 53, 46, 42, 50, 36, 29, 32};

constexpr unsigned char kByteBit[8] = {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01};

constexpr unsigned char kSBoxes[8][64] = {
    {14, 4,  13, 1, 2,  15, 11, 8,  3,  10, 6,  12, 5,  9,  0, 7,  0, 15, 7,  4,  14, 2,
     13, 1,  10, 6, 12, 11, 9,  5,  3,  8,  4,  1,  14, 8,  13, 6, 2, 11, 15, 12, 9,  7,
     3,  10, 5,  0, 15, 12, 8,  2,  4,  9,  1,  7,  5,  11, 3,  14, 10, 0,  6,  13},
    {15, 1,  8,  14, 6,  11, 3,  4,  9,  7, 2,  13, 12, 0, 5,  10, 3,  13, 4,  7, 15, 2,
     8,  14, 12, 0,  1,  10, 6,  9,  11, 5, 0,  14, 7,  11, 10, 4, 13, 1,  5,  8, 12, 6,
     9,  3,  2,  15, 13, 8,  10, 1,  3,  15, 4, 2,  11, 6,  7,  12, 0,  5,  14, 9},
    {10, 0,  9,  14, 6,  3,  15, 5,  1,  13, 12, 7,  11, 4,  2,  8,  13, 7,  0,  9,  3,  4,
     6,  10, 2,  8,  5,  14, 12, 11, 15, 1,  13, 6,  4,  9,  8,  15, 3,  0,  11, 1,  2,  12,
     5,  10, 14, 7,  1,  10, 13, 0,  6,  9,  8,  7,  4,  15, 14, 3,  11, 5,  2,  12},
    {7,  13, 14, 3,  0,  6,  9,  10, 1,  2, 8,  5,  11, 12, 4,  15, 13, 8,  11, 5,  6, 15,
     0,  3,  4,  7,  2,  12, 1,  10, 14, 9, 10, 6,  9,  0,  12, 11, 7,  13, 15, 1,  3, 14,
     5,  2,  8,  4,  3,  15, 0,  6,  10, 1, 13, 8,  9,  4,  5,  11, 12, 7,  2,  14},
    {2,  12, 4,  1,  7,  10, 11, 6,  8,  5,  3, 15, 13, 0,  14, 9,  14, 11, 2,  12, 4, 7,
     13, 1,  5,  0,  15, 10, 3,  9,  8,  6,  4, 2,  1,  11, 10, 13, 7,  8,  15, 9,  12, 5,
     6,  3,  0,  14, 11, 8,  12, 7,  1,  14, 2, 13, 6,  15, 0,  9,  10, 4,  5,  3},
    {12, 1,  10, 15, 9,  2,  6,  8,  0,  13, 3,  4,  14, 7,  5,  11, 10, 15, 4,  2, 7,  12,
     9,  5,  6,  1,  13, 14, 0,  11, 3,  8,  9,  14, 15, 5,  2,  8,  12, 3,  7,  0, 4,  10,
     1,  13, 11, 6,  4,  3,  2,  12, 9,  5,  15, 10, 11, 14, 1,  7,  6,  0,  8,  13},
    {4,  11, 2,  14, 15, 0,  8, 13, 3,  12, 9,  7,  5,  10, 6,  1,  13, 0,  11, 7, 4,  9,
     1,  10, 14, 3,  5,  12, 2, 15, 8,  6,  1,  4,  11, 13, 12, 3,  7,  14, 10, 15, 6, 8,
     0,  5,  9,  2,  6,  11, 13, 8, 1,  4,  10, 7,  9,  5,  0,  15, 14, 2,  3,  12},
    {13, 2,  8,  4,  6,  15, 11, 1,  10, 9,  3,  14, 5,  0,  12, 7,  1,  15, 13, 8, 10, 3,
     7,  4,  12, 5,  6,  11, 0,  14, 9,  2,  7,  11, 4,  1,  9,  12, 14, 2,  0,  6, 10, 13,
     15, 3,  5,  8,  2,  1,  14, 7,  4,  10, 8,  13, 15, 12, 9,  0,  3,  5,  6,  11}};

constexpr unsigned char kP[32] = {16, 7, 20, 21, 29, 12, 28, 17, 1,  15, 23, 26, 5,  18, 31, 10,
                                  2,  8, 24, 14, 32, 27, 3,  9,  19, 13, 30, 6,  22, 11, 4,  25};

// S-box k merged with P; the halves are kept rotated left by one bit
// between the permutations, so the table values are rotated too.
using SpTables = std::array<std::array<uint32_t, 64>, 8>;

constexpr SpTables BuildSp() {
  SpTables sp{};
  for (int box = 0; box < 8; ++box) {
    for (int v = 0; v < 64; ++v) {
      const int row = ((v >> 4) & 2) | (v & 1);
      const int col = (v >> 1) & 15;
      const uint32_t s = kSBoxes[box][row * 16 + col];
      const uint32_t placed = s << (28 - 4 * box);
      uint32_t p = 0;
      for (int i = 0; i < 32; ++i)
        if ((placed >> (32 - kP[i])) & 1u) p |= 1u << (31 - i);
      sp[box][v] = (p << 1) | (p >> 31);
    }
  }
  return sp;
}

constexpr SpTables kSp = BuildSp();

inline uint32_t LoadBe(const unsigned char* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

inline void StoreBe(unsigned char* p, uint32_t v) {
  p[0] = static_cast<unsigned char>(v >> 24);
  p[1] = static_cast<unsigned char>(v >> 16);
  p[2] = static_cast<unsigned char>(v >> 8);
  p[3] = static_cast<unsigned char>(v);
}

void InitialPermutation(uint32_t& left, uint32_t& right) {
  uint32_t work = ((left >> 4) ^ right) & 0x0f0f0f0fu;
  right ^= work;
  left ^= work << 4;
  work = ((left >> 16) ^ right) & 0x0000ffffu;
  right ^= work;
  left ^= work << 16;
  work = ((right >> 2) ^ left) & 0x33333333u;
  left ^= work;
  right ^= work << 2;
  work = ((right >> 8) ^ left) & 0x00ff00ffu;
  left ^= work;
  right ^= work << 8;
  right = (right << 1) | (right >> 31);
  work = (left ^ right) & 0xaaaaaaaau;
  left ^= work;
  right ^= work;
  left = (left << 1) | (left >> 31);
}

// The exact inverse of InitialPermutation.
void FinalPermutation(uint32_t& left, uint32_t& right) {
  left = (left << 31) | (left >> 1);
  uint32_t work = (left ^ right) & 0xaaaaaaaau;
  left ^= work;
  right ^= work;
  right = (right << 31) | (right >> 1);
  work = ((right >> 8) ^ left) & 0x00ff00ffu;
  left ^= work;
  right ^= work << 8;
  work = ((right >> 2) ^ left) & 0x33333333u;
  left ^= work;
  right ^= work << 2;
  work = ((left >> 16) ^ right) & 0x0000ffffu;
  right ^= work;
  left ^= work << 16;
  work = ((left >> 4) ^ right) & 0x0f0f0f0fu;
  right ^= work;
  left ^= work << 4;
}

inline uint32_t Feistel(uint32_t half, const uint32_t* k) {
  uint32_t work = ((half << 28) | (half >> 4)) ^ k[0];
  uint32_t f = kSp[6][work & 0x3f] | kSp[4][(work >> 8) & 0x3f] | kSp[2][(work >> 16) & 0x3f] |
               kSp[0][(work >> 24) & 0x3f];
  work = half ^ k[1];
  f |= kSp[7][work & 0x3f] | kSp[5][(work >> 8) & 0x3f] | kSp[3][(work >> 16) & 0x3f] |
       kSp[1][(work >> 24) & 0x3f];
  return f;
}

// Sixteen rounds; ends with the halves exchanged.
void SixteenRounds(const DesSchedule& s, uint32_t& left, uint32_t& right) {
  const uint32_t* k = s.words;
  for (int round = 0; round < 8; ++round, k += 4) {
    left ^= Feistel(right, k);
    right ^= Feistel(left, k + 2);
  }
  const uint32_t t = left;
  left = right;
  right = t;
}

}  // namespace

void DesKeySchedule(DesSchedule& schedule, const unsigned char* key, int decrypt) {
  unsigned char pc1m[56], pcr[56];
  for (int j = 0; j < 56; ++j) {
    const int bit = kPc1[j] - 1;
    pc1m[j] = (key[bit >> 3] & kByteBit[bit & 7]) ? 1 : 0;
  }
  for (int i = 0; i < 16; ++i) {
    for (int j = 0; j < 28; ++j) {
      const int l = j + kTotalRotations[i];
      pcr[j] = pc1m[l < 28 ? l : l - 28];
    }
    for (int j = 28; j < 56; ++j) {
      const int l = j + kTotalRotations[i];
      pcr[j] = pc1m[l < 56 ? l : l - 28];
    }
    uint32_t groups[8] = {};
    for (int j = 0; j < 48; ++j) groups[j / 6] = (groups[j / 6] << 1) | pcr[kPc2[j] - 1];
    const int slot = decrypt ? 15 - i : i;
    schedule.words[2 * slot] = groups[0] << 24 | groups[2] << 16 | groups[4] << 8 | groups[6];
    schedule.words[2 * slot + 1] = groups[1] << 24 | groups[3] << 16 | groups[5] << 8 | groups[7];
  }
}

void TripleDesKeySchedule(TripleDesSchedule& schedule, const unsigned char* key, int decrypt) {
  if (!decrypt) {
    DesKeySchedule(schedule.passes[0], key, 0);
    DesKeySchedule(schedule.passes[1], key + 8, 1);
    DesKeySchedule(schedule.passes[2], key + 16, 0);
  } else {
    DesKeySchedule(schedule.passes[0], key + 16, 1);
    DesKeySchedule(schedule.passes[1], key + 8, 0);
    DesKeySchedule(schedule.passes[2], key, 1);
  }
}

void DesCryptBlock(const DesSchedule& schedule, const unsigned char* input,
                   unsigned char* output) {
  uint32_t left = LoadBe(input), right = LoadBe(input + 4);
  InitialPermutation(left, right);
  SixteenRounds(schedule, left, right);
  FinalPermutation(left, right);
  StoreBe(output, left);
  StoreBe(output + 4, right);
}

void TripleDesCryptBlock(const TripleDesSchedule& schedule, const unsigned char* input,
                         unsigned char* output) {
  uint32_t left = LoadBe(input), right = LoadBe(input + 4);
  InitialPermutation(left, right);
  for (const DesSchedule& pass : schedule.passes) SixteenRounds(pass, left, right);
  FinalPermutation(left, right);
  StoreBe(output, left);
  StoreBe(output + 4, right);
}

}  // namespace tornell
