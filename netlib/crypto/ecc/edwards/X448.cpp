// X448: Montgomery ladder with branch-free swaps, and the fixed-base path
// through edwards448 for the base point u = 5.
#include <cstring>

#include "core/secure/ConstantTime.h"
#include "core/secure/SecureWipe.h"
#include "crypto/ecc/edwards/Curve448FieldOps.h"
#include "crypto/ecc/edwards/EdwardsMath.h"
#include "crypto/ecc/edwards/XdhBytes.h"

namespace tornell {

namespace {

void Clamp448(unsigned char* k, const unsigned char* scalar) {
  std::memcpy(k, scalar, 56);
  k[0] &= 0xFC;
  k[55] |= 0x80;
}

}  // namespace

int EdwardsMath::X448Ladder(const unsigned char* scalar, int scalarLength, const unsigned char* u, int uLength,
                            unsigned char* out, int outLength) {
  if (!xdh::ValidLengths(scalar, scalarLength, u, uLength, out, outLength, 56)) return kEdwardsShortBuffer;
  unsigned char k[56];
  Clamp448(k, scalar);
  Fe448 x1, x2, z2, x3, z3, t1, t2;
  Fe448Decode(x1, u, 56);  // a value at or above p acts modulo p
  Fe448One(x2);
  Fe448Zero(z2);
  x3 = x1;
  Fe448One(z3);
  unsigned swap = 0;
  for (int t = 447; t >= 0; --t) {
    const unsigned kt = (k[t >> 3] >> (t & 7)) & 1;
    swap ^= kt;
    Fe448CSwap(x2, x3, swap);
    Fe448CSwap(z2, z3, swap);
    swap = kt;
    fe448::Add(t1, x2, z2);
    fe448::Sub(t2, x2, z2);
    fe448::Sub(z2, x3, z3);
    fe448::Mul(x2, t1, z2);
    fe448::Add(z2, z3, x3);
    fe448::Mul(x3, t2, z2);
    fe448::Sub(z3, x2, x3);
    fe448::Square(z2, z3);
    fe448::Mul(z3, x1, z2);
    fe448::Add(z2, x2, x3);
    fe448::Square(x3, z2);
    fe448::Square(z2, t1);
    fe448::Square(t1, t2);
    fe448::Mul(x2, z2, t1);
    fe448::Sub(t2, z2, t1);
    fe448::MulWord(t1, t2, 39081);
    fe448::Add(t1, t1, z2);
    fe448::Mul(z2, t2, t1);
  }
  Fe448CSwap(x2, x3, swap);
  Fe448CSwap(z2, z3, swap);
  Fe448Invert(z2, z2);
  fe448::Mul(x1, x2, z2);
  SecureWipe(k, sizeof(k));
  // Both outcomes follow the secret: chosen by mask, for the caller to read.
  const uint32_t status = static_cast<uint32_t>(Fe448Encode(out, 56, x1));
  const uint32_t zero = xdh::AllZeroMask(out, 56);
  return static_cast<int>(ct::Select(ct::IsNonZero(status), status, ct::Select<uint32_t>(zero, kEdwardsZeroResult, 0)));
}

int EdwardsMath::X448(const unsigned char* scalar, int scalarLength, const unsigned char* u, int uLength,
                      unsigned char* out, int outLength) {
  if (!xdh::ValidLengths(scalar, scalarLength, u, uLength, out, outLength, 56)) return kEdwardsShortBuffer;
  if (!xdh::IsBasePoint(u, 56, 5)) return X448Ladder(scalar, scalarLength, u, uLength, out, outLength);
  unsigned char k[56];
  Clamp448(k, scalar);
  uint32_t words[14];
  // B has order q, so the product depends only on k mod q.
  Scalar448DecodeReduce(words, k, 56);
  Ed448ExtensiblePoint p;
  Ed448MultiplyBaseFixed(p, words);
  SecureWipe(k, sizeof(k));
  SecureWipe(words, sizeof(words));
  // u = y^2 / x^2 maps edwards448 onto curve448.
  Fe448 num, den;
  fe448::Square(num, p.y);
  fe448::Square(den, p.x);
  Fe448Invert(den, den);
  fe448::Mul(num, num, den);
  return Fe448Encode(out, 56, num);
}

}  // namespace tornell
