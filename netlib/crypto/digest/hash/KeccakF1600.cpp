#include "crypto/digest/hash/KeccakF1600.h"

#include <bit>

#include "core/cpu/CpuFeatures.h"

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

// The lane that rho-pi moves to output lane (x, y): pi takes lane (x', y')
// to (y', 2x' + 3y' mod 5).
constexpr int PiSource(int x, int y) { return ((y - 3 * x + 15) * 3) % 5 + 5 * x; }

// One round from `a` into `e`, a plane at a time so that few values are live
// at once; c holds the column parities of `a` on entry and of `e` on return.
inline __attribute__((always_inline)) void Round(const uint64_t* a, uint64_t* e, uint64_t c[5],
                                                 uint64_t rc) {
  uint64_t d[5];
#pragma GCC unroll 5
  for (int x = 0; x < 5; ++x) d[x] = c[(x + 4) % 5] ^ std::rotl(c[(x + 1) % 5], 1);
#pragma GCC unroll 5
  for (int x = 0; x < 5; ++x) c[x] = 0;
#pragma GCC unroll 5
  for (int y = 0; y < 5; ++y) {
    uint64_t b[5];
#pragma GCC unroll 5
    for (int x = 0; x < 5; ++x) {
      int src = PiSource(x, y);
      b[x] = std::rotl(a[src] ^ d[src % 5], kRho[src]);
    }
#pragma GCC unroll 5
    for (int x = 0; x < 5; ++x) {
      uint64_t v = b[x] ^ (~b[(x + 1) % 5] & b[(x + 2) % 5]);
      if (x == 0 && y == 0) v ^= rc;
      e[x + 5 * y] = v;
      c[x] ^= v;
    }
  }
}

// Two rounds per pass, the state moving to a scratch copy and back.
inline __attribute__((always_inline)) void Permute(uint64_t lanes[25]) {
  uint64_t scratch[25];
  uint64_t c[5];
#pragma GCC unroll 5
  for (int x = 0; x < 5; ++x) c[x] = lanes[x] ^ lanes[x + 5] ^ lanes[x + 10] ^ lanes[x + 15] ^ lanes[x + 20];
  for (int r = 0; r < 24; r += 2) {
    Round(lanes, scratch, c, kRoundConstants[r]);
    Round(scratch, lanes, c, kRoundConstants[r + 1]);
  }
}

void PermuteDefault(uint64_t lanes[25]) { Permute(lanes); }

// The same code built for processors with and-not and three-operand rotates.
__attribute__((target("bmi,bmi2"))) void PermuteBmi(uint64_t lanes[25]) { Permute(lanes); }

}  // namespace

void KeccakF1600(uint64_t lanes[25]) {
  if (cpu::Has(cpu::path::kKeccakAvx2)) {
    PermuteBmi(lanes);
  } else {
    PermuteDefault(lanes);
  }
}

}  // namespace tornell
