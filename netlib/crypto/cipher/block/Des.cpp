#include "crypto/cipher/block/Des.h"

#include "crypto/cipher/block/BlockBytes.h"
#include "crypto/cipher/block/DesTables.h"

#include <array>

namespace tornell {
namespace {

using destables::kPc1;

using blockbytes::LoadBe32;
using blockbytes::StoreBe32;

constexpr unsigned char kTotalRotations[16] = {1,  2,  4,  6,  8,  10, 12, 14,
                                               15, 17, 19, 21, 23, 25, 27, 28};

constexpr unsigned char kPc2[48] = {14, 17, 11, 24, 1,  5,  3,  28, 15, 6,  21, 10,
                                    23, 19, 12, 4,  26, 8,  16, 7,  27, 20, 13, 2,
                                    41, 52, 31, 37, 47, 55, 30, 40, 51, 45, 33, 48,
                                    44, 49, 39, 56, 34, 53, 46, 42, 50, 36, 29, 32};

constexpr unsigned char kByteBit[8] = {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01};

// S-box k merged with P; the halves are kept rotated left by one bit
// between the permutations, so the table values are rotated too.
using SpTables = std::array<std::array<uint32_t, 64>, 8>;

constexpr SpTables BuildSp() {
  SpTables sp{};
  for (int box = 0; box < 8; ++box) {
    for (int v = 0; v < 64; ++v) {
      const uint32_t p = destables::SboxThroughP(box, v);
      sp[box][v] = (p << 1) | (p >> 31);
    }
  }
  return sp;
}

constexpr SpTables kSp = BuildSp();


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
  uint32_t left = LoadBe32(input), right = LoadBe32(input + 4);
  InitialPermutation(left, right);
  SixteenRounds(schedule, left, right);
  FinalPermutation(left, right);
  StoreBe32(output, left);
  StoreBe32(output + 4, right);
}

void TripleDesCryptBlock(const TripleDesSchedule& schedule, const unsigned char* input,
                         unsigned char* output) {
  uint32_t left = LoadBe32(input), right = LoadBe32(input + 4);
  InitialPermutation(left, right);
  for (const DesSchedule& pass : schedule.passes) SixteenRounds(pass, left, right);
  FinalPermutation(left, right);
  StoreBe32(output, left);
  StoreBe32(output + 4, right);
}

}  // namespace tornell
