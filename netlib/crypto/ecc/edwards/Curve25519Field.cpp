// GF(2^255 - 19) with five 51-bit limbs; products in unsigned __int128.
#include "crypto/ecc/edwards/Curve25519FieldOps.h"
#include "crypto/ecc/edwards/EdwardsMath.h"

#include <cstring>

namespace tornell {

namespace {

using namespace fe25519;

uint64_t Load8(const unsigned char* p) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
  return v;
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
  fe25519::Add(out, f, g);
}

// f - g + 4p keeps every limb positive for any g whose limbs stay below 2^53.
void EdwardsMath::Fe25519Sub(Fe25519& out, const Fe25519& f, const Fe25519& g) {
  fe25519::Sub(out, f, g);
}

void EdwardsMath::Fe25519Neg(Fe25519& out, const Fe25519& f) {
  Fe25519 zero;
  Fe25519Zero(zero);
  Fe25519Sub(out, zero, f);
}

void EdwardsMath::Fe25519Mul(Fe25519& out, const Fe25519& f, const Fe25519& g) {
  fe25519::Mul(out, f, g);
}

void EdwardsMath::Fe25519Square(Fe25519& out, const Fe25519& f) {
  fe25519::Square(out, f);
}

void EdwardsMath::Fe25519SquareDouble(Fe25519& out, const Fe25519& f) {
  Fe25519Square(out, f);
  Fe25519Add(out, out, out);
}

void EdwardsMath::Fe25519Mul121666(Fe25519& out, const Fe25519& f) {
  fe25519::MulSmall(out, f, 121666);
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
