#include "crypto/digest/KeccakF1600.h"

#include <bit>

namespace tornell {

namespace {

constexpr uint64_t kRoundConstants[24] = {
    0x0000000000000001, 0x0000000000008082, 0x800000000000808a, 0x8000000080008000,
    0x000000000000808b, 0x0000000080000001, 0x8000000080008081, 0x8000000000008009,
    0x000000000000008a, 0x0000000000000088, 0x0000000080008009, 0x000000008000000a,
    0x000000008000808b, 0x800000000000008b, 0x8000000000008089, 0x8000000000008003,
    0x8000000000008002, 0x8000000000000080, 0x000000000000800a, 0x800000008000000a,
    0x8000000080008081, 0x8000000000008080, 0x0000000080000001, 0x8000000080008008};

// Rotation of lane x + 5y.
constexpr int kRho[25] = {0,  1,  62, 28, 27, 36, 44, 6,  55, 20, 3,  10, 43,
                          25, 39, 41, 45, 15, 21, 8,  18, 2,  61, 56, 14};

// Where pi moves lane x + 5y: to y + 5((2x + 3y) mod 5).
constexpr int PiTarget(int i) {
  int x = i % 5, y = i / 5;
  return y + 5 * ((2 * x + 3 * y) % 5);
}

inline __attribute__((always_inline)) void Round(uint64_t a[25], uint64_t rc) {
  uint64_t c[5], d[5], b[25];
#pragma GCC unroll 5
  for (int x = 0; x < 5; ++x) c[x] = a[x] ^ a[x + 5] ^ a[x + 10] ^ a[x + 15] ^ a[x + 20];
#pragma GCC unroll 5
  for (int x = 0; x < 5; ++x) d[x] = c[(x + 4) % 5] ^ std::rotl(c[(x + 1) % 5], 1);
#pragma GCC unroll 25
  for (int i = 0; i < 25; ++i) b[PiTarget(i)] = std::rotl(a[i] ^ d[i % 5], kRho[i]);
#pragma GCC unroll 25
  for (int i = 0; i < 25; ++i) {
    int row = i - i % 5;
    a[i] = b[i] ^ (~b[row + (i + 1) % 5] & b[row + (i + 2) % 5]);
  }
  a[0] ^= rc;
}

inline __attribute__((always_inline)) void Permute(uint64_t lanes[25]) {
  uint64_t a[25];
#pragma GCC unroll 25
  for (int i = 0; i < 25; ++i) a[i] = lanes[i];
  for (int r = 0; r < 24; r += 2) {
    Round(a, kRoundConstants[r]);
    Round(a, kRoundConstants[r + 1]);
  }
#pragma GCC unroll 25
  for (int i = 0; i < 25; ++i) lanes[i] = a[i];
}

void PermuteDefault(uint64_t lanes[25]) { Permute(lanes); }

// The same code built for processors with and-not and three-operand rotates.
__attribute__((target("bmi,bmi2"))) void PermuteBmi(uint64_t lanes[25]) { Permute(lanes); }

bool HasBmi() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_cpu_init();
  return __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2");
#else
  return false;
#endif
}

}  // namespace

void KeccakF1600(uint64_t lanes[25]) {
  static const bool bmi = HasBmi();
  if (bmi) {
    PermuteBmi(lanes);
  } else {
    PermuteDefault(lanes);
  }
}

}  // namespace tornell
