#pragma once
// Inline GF(2^255 - 19) kernels shared by the field, point and ladder code so
// the hot loops see them without a call.
#include <cstdint>
#include <cstring>

#include "crypto/ecc/edwards/EdwardsMath.h"

namespace tornell {
namespace fe25519 {

using u128 = unsigned __int128;
constexpr uint64_t kMask51 = (uint64_t{1} << 51) - 1;

// One carry pass; limbs end below 2^51 except limb 0, which may hold a few
// bits more from the folded carry.
inline void Carry(uint64_t* h) {
  for (int i = 0; i < 4; ++i) {
    h[i + 1] += h[i] >> 51;
    h[i] &= kMask51;
  }
  h[0] += 19 * (h[4] >> 51);
  h[4] &= kMask51;
}

inline void CarryWide(Fe25519& out, u128 r0, u128 r1, u128 r2, u128 r3, u128 r4) {
  r1 += static_cast<uint64_t>(r0 >> 51);
  uint64_t h0 = static_cast<uint64_t>(r0) & kMask51;
  r2 += static_cast<uint64_t>(r1 >> 51);
  uint64_t h1 = static_cast<uint64_t>(r1) & kMask51;
  r3 += static_cast<uint64_t>(r2 >> 51);
  const uint64_t h2 = static_cast<uint64_t>(r2) & kMask51;
  r4 += static_cast<uint64_t>(r3 >> 51);
  const uint64_t h3 = static_cast<uint64_t>(r3) & kMask51;
  const uint64_t c = static_cast<uint64_t>(r4 >> 51);
  const uint64_t h4 = static_cast<uint64_t>(r4) & kMask51;
  const u128 t = (u128)c * 19 + h0;
  h0 = static_cast<uint64_t>(t) & kMask51;
  h1 += static_cast<uint64_t>(t >> 51);
  out.v[0] = h0;
  out.v[1] = h1;
  out.v[2] = h2;
  out.v[3] = h3;
  out.v[4] = h4;
}

inline void Add(Fe25519& out, const Fe25519& f, const Fe25519& g) {
  for (int i = 0; i < 5; ++i) out.v[i] = f.v[i] + g.v[i];
}

// f - g + 4p without a carry: for g below 2^53 and a result that feeds a
// multiplication (whose inputs may reach 2^54).
inline void SubLazy(Fe25519& out, const Fe25519& f, const Fe25519& g) {
  constexpr uint64_t kFourP0 = 0x1FFFFFFFFFFFB4;
  constexpr uint64_t kFourPi = 0x1FFFFFFFFFFFFC;
  out.v[0] = f.v[0] + kFourP0 - g.v[0];
  for (int i = 1; i < 5; ++i) out.v[i] = f.v[i] + kFourPi - g.v[i];
}

inline void Sub(Fe25519& out, const Fe25519& f, const Fe25519& g) {
  SubLazy(out, f, g);
  Carry(out.v);
}

inline void Mul(Fe25519& out, const Fe25519& f, const Fe25519& g) {
  const uint64_t f0 = f.v[0], f1 = f.v[1], f2 = f.v[2], f3 = f.v[3], f4 = f.v[4];
  const uint64_t g0 = g.v[0], g1 = g.v[1], g2 = g.v[2], g3 = g.v[3], g4 = g.v[4];
  const uint64_t g1_19 = 19 * g1, g2_19 = 19 * g2, g3_19 = 19 * g3, g4_19 = 19 * g4;
  const u128 r0 = (u128)f0 * g0 + (u128)f1 * g4_19 + (u128)f2 * g3_19 + (u128)f3 * g2_19 + (u128)f4 * g1_19;
  const u128 r1 = (u128)f0 * g1 + (u128)f1 * g0 + (u128)f2 * g4_19 + (u128)f3 * g3_19 + (u128)f4 * g2_19;
  const u128 r2 = (u128)f0 * g2 + (u128)f1 * g1 + (u128)f2 * g0 + (u128)f3 * g4_19 + (u128)f4 * g3_19;
  const u128 r3 = (u128)f0 * g3 + (u128)f1 * g2 + (u128)f2 * g1 + (u128)f3 * g0 + (u128)f4 * g4_19;
  const u128 r4 = (u128)f0 * g4 + (u128)f1 * g3 + (u128)f2 * g2 + (u128)f3 * g1 + (u128)f4 * g0;
  CarryWide(out, r0, r1, r2, r3, r4);
}

inline void Square(Fe25519& out, const Fe25519& f) {
  const uint64_t f0 = f.v[0], f1 = f.v[1], f2 = f.v[2], f3 = f.v[3], f4 = f.v[4];
  const uint64_t f0_2 = 2 * f0, f1_2 = 2 * f1;
  const uint64_t f1_38 = 38 * f1, f2_38 = 38 * f2, f3_38 = 38 * f3;
  const uint64_t f3_19 = 19 * f3, f4_19 = 19 * f4;
  const u128 r0 = (u128)f0 * f0 + (u128)f1_38 * f4 + (u128)f2_38 * f3;
  const u128 r1 = (u128)f0_2 * f1 + (u128)f2_38 * f4 + (u128)f3_19 * f3;
  const u128 r2 = (u128)f0_2 * f2 + (u128)f1 * f1 + (u128)f3_38 * f4;
  const u128 r3 = (u128)f0_2 * f3 + (u128)f1_2 * f2 + (u128)f4_19 * f4;
  const u128 r4 = (u128)f0_2 * f4 + (u128)f1_2 * f3 + (u128)f2 * f2;
  CarryWide(out, r0, r1, r2, r3, r4);
}

inline void MulSmall(Fe25519& out, const Fe25519& f, uint64_t k) {
  CarryWide(out, (u128)f.v[0] * k, (u128)f.v[1] * k, (u128)f.v[2] * k, (u128)f.v[3] * k, (u128)f.v[4] * k);
}

inline void CSwap(Fe25519& f, Fe25519& g, uint64_t mask) {
  for (int i = 0; i < 5; ++i) {
    const uint64_t x = (f.v[i] ^ g.v[i]) & mask;
    f.v[i] ^= x;
    g.v[i] ^= x;
  }
}

}  // namespace fe25519
}  // namespace tornell
