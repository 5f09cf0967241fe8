// X25519: Montgomery ladder with branch-free swaps, and the fixed-base path
// through edwards25519 for the base point u = 9.
#include <cstring>

#include "core/cpu/CpuFeatures.h"
#include "core/secure/SecureWipe.h"
#include "crypto/ecc/edwards/Curve25519FieldOps.h"
#include "crypto/ecc/edwards/EdwardsMath.h"
#include "crypto/ecc/edwards/X25519Mulx.h"
#include "crypto/ecc/edwards/XdhBytes.h"

namespace tornell {

namespace {

void Clamp25519(unsigned char* k, const unsigned char* scalar) {
  std::memcpy(k, scalar, 32);
  k[0] &= 248;
  k[31] &= 127;
  k[31] |= 64;
}

}  // namespace

int EdwardsMath::X25519Ladder(const unsigned char* scalar, int scalarLength, const unsigned char* u, int uLength,
                              unsigned char* out, int outLength) {
  if (!xdh::ValidLengths(scalar, scalarLength, u, uLength, out, outLength, 32)) return kEdwardsShortBuffer;
  unsigned char k[32];
  Clamp25519(k, scalar);
#if defined(__x86_64__)
  if (cpu::Has(cpu::path::kMulxAdx)) {
    X25519LadderMulx(k, u, out);
    SecureWipe(k, sizeof(k));
    return static_cast<int>(ct::Select<uint32_t>(xdh::AllZeroMask(out, 32), kEdwardsZeroResult, 0));
  }
#endif
  Fe25519 x1, x2, z2, x3, z3, a, aa, b, bb, e, c, d, da, cb, t;
  Fe25519FromBytes(x1, u, 32);
  Fe25519One(x2);
  Fe25519Zero(z2);
  x3 = x1;
  Fe25519One(z3);
  uint64_t swap = 0;
  for (int pos = 254; pos >= 0; --pos) {
    const uint64_t bit = (k[pos >> 3] >> (pos & 7)) & 1;
    swap ^= bit;
    fe25519::CSwap(x2, x3, 0 - swap);
    fe25519::CSwap(z2, z3, 0 - swap);
    swap = bit;
    // Differences feed multiplications only, so they skip the carry.
    fe25519::Add(a, x2, z2);
    fe25519::Square(aa, a);
    fe25519::SubLazy(b, x2, z2);
    fe25519::Square(bb, b);
    fe25519::SubLazy(e, aa, bb);
    fe25519::Add(c, x3, z3);
    fe25519::SubLazy(d, x3, z3);
    fe25519::Mul(da, d, a);
    fe25519::Mul(cb, c, b);
    fe25519::Add(t, da, cb);
    fe25519::Square(x3, t);
    fe25519::SubLazy(t, da, cb);
    fe25519::Square(t, t);
    fe25519::Mul(z3, x1, t);
    fe25519::Mul(x2, aa, bb);
    fe25519::MulSmall(t, e, 121666);
    fe25519::Add(t, t, bb);
    fe25519::Mul(z2, e, t);
  }
  fe25519::CSwap(x2, x3, 0 - swap);
  fe25519::CSwap(z2, z3, 0 - swap);
  Fe25519Invert(z2, z2);
  fe25519::Mul(x2, x2, z2);
  Fe25519ToBytes(out, 32, x2);
  SecureWipe(k, sizeof(k));
  // The all-zero result follows the secret: its status is chosen by mask.
  return static_cast<int>(ct::Select<uint32_t>(xdh::AllZeroMask(out, 32), kEdwardsZeroResult, 0));
}

int EdwardsMath::X25519(const unsigned char* scalar, int scalarLength, const unsigned char* u, int uLength,
                        unsigned char* out, int outLength) {
  if (!xdh::ValidLengths(scalar, scalarLength, u, uLength, out, outLength, 32)) return kEdwardsShortBuffer;
  if (!xdh::IsBasePoint(u, 32, 9)) return X25519Ladder(scalar, scalarLength, u, uLength, out, outLength);
  unsigned char k[32];
  Clamp25519(k, scalar);
  Ed25519ExtendedPoint p;
  const int status = Ed25519MultiplyBase(p, k, 32);
  SecureWipe(k, sizeof(k));
  if (status != 0) return status;
  Fe25519 num, den;
  fe25519::Add(num, p.Z, p.Y);
  fe25519::Sub(den, p.Z, p.Y);
  Fe25519Invert(den, den);
  fe25519::Mul(num, num, den);
  return Fe25519ToBytes(out, 32, num);
}

}  // namespace tornell
