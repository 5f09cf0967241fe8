// GF(2^255 - 19) with five 51-bit limbs; products in unsigned __int128.
#include "crypto/ecc/EdwardsMath.h"

#include <cstring>

namespace tornell {

namespace {

using u128 = unsigned __int128;
constexpr uint64_t kMask51 = (uint64_t{1} << 51) - 1;

uint64_t Load8(const unsigned char* p) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

// One carry pass; limbs end below 2^51 except limb 0, which may hold a few
// bits more from the folded carry.
void Carry(uint64_t* h) {
  for (int i = 0; i < 4; ++i) {
    h[i + 1] += h[i] >> 51;
    h[i] &= kMask51;
  }
  h[0] += 19 * (h[4] >> 51);
  h[4] &= kMask51;
}

void CarryWide(Fe25519& out, u128 r0, u128 r1, u128 r2, u128 r3, u128 r4) {
  r1 += static_cast<uint64_t>(r0 >> 51);
  uint64_t h0 = static_cast<uint64_t>(r0) & kMask51;
  r2 += static_cast<uint64_t>(r1 >> 51);
  uint64_t h1 = static_cast<uint64_t>(r1) & kMask51;
  r3 += static_cast<uint64_t>(r2 >> 51);
  uint64_t h2 = static_cast<uint64_t>(r2) & kMask51;
  r4 += static_cast<uint64_t>(r3 >> 51);
  uint64_t h3 = static_cast<uint64_t>(r3) & kMask51;
  uint64_t c = static_cast<uint64_t>(r4 >> 51);
  uint64_t h4 = static_cast<uint64_t>(r4) & kMask51;
  const u128 t = (u128)c * 19 + h0;
  h0 = static_cast<uint64_t>(t) & kMask51;
  h1 += static_cast<uint64_t>(t >> 51);
  out.v[0] = h0;
  out.v[1] = h1;
  out.v[2] = h2;
  out.v[3] = h3;
  out.v[4] = h4;
}

void SquareTimes(Fe25519& out, const Fe25519& in, int n) {
  EdwardsMath::Fe25519Square(out, in);
  for (int i = 1; i < n; ++i) EdwardsMath::Fe25519Square(out, out);
}

// Shared head of the inversion and square-root chains: returns z^(2^250 - 1)
// in t and z^11 in z11.
void ChainTo250(Fe25519& t, Fe25519& z11, Fe25519& z9, const Fe25519& z) {
  Fe25519 t0, t1, t2, t3;
  EdwardsMath::Fe25519Square(t0, z);             // z^2
  SquareTimes(t1, t0, 2);                        // z^8
  EdwardsMath::Fe25519Mul(z9, z, t1);            // z^9
  EdwardsMath::Fe25519Mul(z11, t0, z9);          // z^11
  EdwardsMath::Fe25519Square(t2, z11);           // z^22
  EdwardsMath::Fe25519Mul(t1, z9, t2);           // z^(2^5 - 1)
  SquareTimes(t2, t1, 5);
  EdwardsMath::Fe25519Mul(t1, t2, t1);           // 2^10 - 1
  SquareTimes(t2, t1, 10);
  EdwardsMath::Fe25519Mul(t2, t2, t1);           // 2^20 - 1
  SquareTimes(t3, t2, 20);
  EdwardsMath::Fe25519Mul(t2, t3, t2);           // 2^40 - 1
  SquareTimes(t2, t2, 10);
  EdwardsMath::Fe25519Mul(t1, t2, t1);           // 2^50 - 1
  SquareTimes(t2, t1, 50);
  EdwardsMath::Fe25519Mul(t2, t2, t1);           // 2^100 - 1
  SquareTimes(t3, t2, 100);
  EdwardsMath::Fe25519Mul(t2, t3, t2);           // 2^200 - 1
  SquareTimes(t2, t2, 50);
  EdwardsMath::Fe25519Mul(t, t2, t1);            // 2^250 - 1
}

}  // namespace

void EdwardsMath::Fe25519Zero(Fe25519& out) { std::memset(out.v, 0, sizeof(out.v)); }

void EdwardsMath::Fe25519One(Fe25519& out) {
  Fe25519Zero(out);
  out.v[0] = 1;
}

void EdwardsMath::Fe25519Copy(Fe25519& out, const Fe25519& in) { out = in; }

int EdwardsMath::Fe25519FromBytes(Fe25519& out, const unsigned char* bytes, int length) {
  if (bytes == nullptr || length < 32) return kEdwardsShortBuffer;
  out.v[0] = Load8(bytes) & kMask51;
  out.v[1] = (Load8(bytes + 6) >> 3) & kMask51;
  out.v[2] = (Load8(bytes + 12) >> 6) & kMask51;
  out.v[3] = (Load8(bytes + 19) >> 1) & kMask51;
  out.v[4] = (Load8(bytes + 24) >> 12) & kMask51;
  return 0;
}

int EdwardsMath::Fe25519ToBytes(unsigned char* out, int outLength, const Fe25519& in) {
  if (out == nullptr || outLength < 32) return kEdwardsShortBuffer;
  uint64_t h[5];
  std::memcpy(h, in.v, sizeof(h));
  Carry(h);
  Carry(h);
  // q = 1 exactly when h >= p; adding 19q and dropping bit 255 subtracts p.
  uint64_t q = (h[0] + 19) >> 51;
  for (int i = 1; i < 5; ++i) q = (h[i] + q) >> 51;
  h[0] += 19 * q;
  for (int i = 0; i < 4; ++i) {
    h[i + 1] += h[i] >> 51;
    h[i] &= kMask51;
  }
  h[4] &= kMask51;
  const uint64_t w0 = h[0] | (h[1] << 51);
  const uint64_t w1 = (h[1] >> 13) | (h[2] << 38);
  const uint64_t w2 = (h[2] >> 26) | (h[3] << 25);
  const uint64_t w3 = (h[3] >> 39) | (h[4] << 12);
  const uint64_t w[4] = {w0, w1, w2, w3};
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 8; ++j) out[8 * i + j] = static_cast<unsigned char>(w[i] >> (8 * j));
  return 0;
}

int EdwardsMath::Fe25519IsNegative(const Fe25519& in) {
  unsigned char s[32];
  Fe25519ToBytes(s, 32, in);
  return s[0] & 1;
}

int EdwardsMath::Fe25519IsNonZero(const Fe25519& in) {
  unsigned char s[32];
  Fe25519ToBytes(s, 32, in);
  unsigned char acc = 0;
  for (unsigned char b : s) acc |= b;
  return acc != 0;
}

void EdwardsMath::Fe25519Add(Fe25519& out, const Fe25519& f, const Fe25519& g) {
  for (int i = 0; i < 5; ++i) out.v[i] = f.v[i] + g.v[i];
}

// f - g + 4p keeps every limb positive for any g whose limbs stay below 2^53.
void EdwardsMath::Fe25519Sub(Fe25519& out, const Fe25519& f, const Fe25519& g) {
  constexpr uint64_t kFourP0 = 0x1FFFFFFFFFFFB4;
  constexpr uint64_t kFourPi = 0x1FFFFFFFFFFFFC;
  uint64_t h[5];
  h[0] = f.v[0] + kFourP0 - g.v[0];
  for (int i = 1; i < 5; ++i) h[i] = f.v[i] + kFourPi - g.v[i];
  Carry(h);
  std::memcpy(out.v, h, sizeof(h));
}

void EdwardsMath::Fe25519Neg(Fe25519& out, const Fe25519& f) {
  Fe25519 zero;
  Fe25519Zero(zero);
  Fe25519Sub(out, zero, f);
}

void EdwardsMath::Fe25519Mul(Fe25519& out, const Fe25519& f, const Fe25519& g) {
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

void EdwardsMath::Fe25519Square(Fe25519& out, const Fe25519& f) {
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

void EdwardsMath::Fe25519SquareDouble(Fe25519& out, const Fe25519& f) {
  Fe25519Square(out, f);
  Fe25519Add(out, out, out);
}

void EdwardsMath::Fe25519Mul121666(Fe25519& out, const Fe25519& f) {
  CarryWide(out, (u128)f.v[0] * 121666, (u128)f.v[1] * 121666, (u128)f.v[2] * 121666, (u128)f.v[3] * 121666,
            (u128)f.v[4] * 121666);
}

void EdwardsMath::Fe25519CSwap(Fe25519& f, Fe25519& g, unsigned flag) {
  const uint64_t mask = 0 - static_cast<uint64_t>(flag & 1);
  for (int i = 0; i < 5; ++i) {
    const uint64_t x = (f.v[i] ^ g.v[i]) & mask;
    f.v[i] ^= x;
    g.v[i] ^= x;
  }
}

void EdwardsMath::Fe25519CMov(Fe25519& f, const Fe25519& g, unsigned flag) {
  const uint64_t mask = 0 - static_cast<uint64_t>(flag & 1);
  for (int i = 0; i < 5; ++i) f.v[i] ^= (f.v[i] ^ g.v[i]) & mask;
}

void EdwardsMath::Fe25519Invert(Fe25519& out, const Fe25519& z) {
  Fe25519 t, z11, z9;
  ChainTo250(t, z11, z9, z);
  SquareTimes(t, t, 5);  // 2^255 - 32
  Fe25519Mul(out, t, z11);
}

void EdwardsMath::Fe25519Pow22523(Fe25519& out, const Fe25519& z) {
  Fe25519 t, z11, z9;
  ChainTo250(t, z11, z9, z);
  SquareTimes(t, t, 2);  // 2^252 - 4
  Fe25519Mul(out, t, z);
}

}  // namespace tornell
