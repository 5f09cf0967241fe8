// edwards25519 points: extended-coordinate formulas for a = -1 (Hisil, Wong,
// Carter, Dawson 2008), fixed-base and double-scalar multiplication.
#include <cstring>

#include "crypto/ecc/edwards/Curve25519FieldOps.h"
#include "crypto/ecc/edwards/EdwardsMath.h"

namespace tornell {

namespace {

#include "crypto/ecc/edwards/Ed25519Tables.inc"

const Fe25519 kD = {{0x34dca135978a3, 0x1a8283b156ebd, 0x5e7a26001c029, 0x739c663a03cbb, 0x52036cee2b6ff}};
const Fe25519 kD2 = {{0x69b9426b2f159, 0x35050762add7a, 0x3cf44c0038052, 0x6738cc7407977, 0x2406d9dc56dff}};
const Fe25519 kSqrtM1 = {{0x61b274a0ea0b0, 0x0d5a5fc8f189d, 0x7ef5e9cbd0c60, 0x78595a6804c9e, 0x2b8324804fc1d}};

using M = EdwardsMath;

unsigned EqualMask(int b, int c) {
  const uint32_t x = static_cast<uint32_t>(b ^ c);
  return (x - 1) >> 31;
}

void ToCompletedSum(Ed25519CompletedPoint& r, const Fe25519& a, const Fe25519& b, const Fe25519& c,
                    const Fe25519& d2, bool subtract) {
  fe25519::Sub(r.X, a, b);
  fe25519::Add(r.Y, a, b);
  if (subtract) {
    fe25519::Sub(r.Z, d2, c);
    fe25519::Add(r.T, d2, c);
  } else {
    fe25519::Add(r.Z, d2, c);
    fe25519::Sub(r.T, d2, c);
  }
}

void AddCached(Ed25519CompletedPoint& r, const Ed25519ExtendedPoint& p, const Ed25519CachedPoint& q,
               bool subtract) {
  Fe25519 sum, diff, a, b, c, zz, d2;
  fe25519::Add(sum, p.Y, p.X);
  fe25519::Sub(diff, p.Y, p.X);
  fe25519::Mul(a, sum, subtract ? q.YminusX : q.YplusX);
  fe25519::Mul(b, diff, subtract ? q.YplusX : q.YminusX);
  fe25519::Mul(c, q.T2d, p.T);
  fe25519::Mul(zz, p.Z, q.Z);
  fe25519::Add(d2, zz, zz);
  ToCompletedSum(r, a, b, c, d2, subtract);
}

void AddPrecomp(Ed25519CompletedPoint& r, const Ed25519ExtendedPoint& p, const Ed25519PrecompPoint& q,
                bool subtract) {
  Fe25519 sum, diff, a, b, c, d2;
  fe25519::Add(sum, p.Y, p.X);
  fe25519::Sub(diff, p.Y, p.X);
  fe25519::Mul(a, sum, subtract ? q.yminusx : q.yplusx);
  fe25519::Mul(b, diff, subtract ? q.yplusx : q.yminusx);
  fe25519::Mul(c, q.xy2d, p.T);
  fe25519::Add(d2, p.Z, p.Z);
  ToCompletedSum(r, a, b, c, d2, subtract);
}

int EncodeXYZ(unsigned char* out, const Fe25519& X, const Fe25519& Y, const Fe25519& Z) {
  Fe25519 recip, x, y;
  M::Fe25519Invert(recip, Z);
  fe25519::Mul(x, X, recip);
  fe25519::Mul(y, Y, recip);
  M::Fe25519ToBytes(out, 32, y);
  out[31] ^= static_cast<unsigned char>(M::Fe25519IsNegative(x) << 7);
  return 0;
}

}  // namespace

void EdwardsMath::Ed25519ProjectiveZero(Ed25519ProjectivePoint& out) {
  Fe25519Zero(out.X);
  Fe25519One(out.Y);
  Fe25519One(out.Z);
}

void EdwardsMath::Ed25519ExtendedZero(Ed25519ExtendedPoint& out) {
  Fe25519Zero(out.X);
  Fe25519One(out.Y);
  Fe25519One(out.Z);
  Fe25519Zero(out.T);
}

void EdwardsMath::Ed25519PrecompZero(Ed25519PrecompPoint& out) {
  Fe25519One(out.yplusx);
  Fe25519One(out.yminusx);
  Fe25519Zero(out.xy2d);
}

void EdwardsMath::Ed25519ExtendedToProjective(Ed25519ProjectivePoint& out, const Ed25519ExtendedPoint& p) {
  out.X = p.X;
  out.Y = p.Y;
  out.Z = p.Z;
}

void EdwardsMath::Ed25519ExtendedToCached(Ed25519CachedPoint& out, const Ed25519ExtendedPoint& p) {
  fe25519::Add(out.YplusX, p.Y, p.X);
  fe25519::Sub(out.YminusX, p.Y, p.X);
  out.Z = p.Z;
  fe25519::Mul(out.T2d, p.T, kD2);
}

void EdwardsMath::Ed25519CompletedToProjective(Ed25519ProjectivePoint& out, const Ed25519CompletedPoint& c) {
  fe25519::Mul(out.X, c.X, c.T);
  fe25519::Mul(out.Y, c.Y, c.Z);
  fe25519::Mul(out.Z, c.Z, c.T);
}

void EdwardsMath::Ed25519CompletedToExtended(Ed25519ExtendedPoint& out, const Ed25519CompletedPoint& c) {
  fe25519::Mul(out.X, c.X, c.T);
  fe25519::Mul(out.Y, c.Y, c.Z);
  fe25519::Mul(out.Z, c.Z, c.T);
  fe25519::Mul(out.T, c.X, c.Y);
}

void EdwardsMath::Ed25519ProjectiveDouble(Ed25519CompletedPoint& out, const Ed25519ProjectivePoint& p) {
  Fe25519 xx, yy, b, sum, a;
  fe25519::Square(xx, p.X);
  fe25519::Square(yy, p.Y);
  Fe25519SquareDouble(b, p.Z);
  fe25519::Add(sum, p.X, p.Y);
  fe25519::Square(a, sum);
  fe25519::Add(out.Y, yy, xx);
  fe25519::Sub(out.Z, yy, xx);
  fe25519::Sub(out.X, a, out.Y);
  fe25519::Sub(out.T, b, out.Z);
}

void EdwardsMath::Ed25519ExtendedDouble(Ed25519CompletedPoint& out, const Ed25519ExtendedPoint& p) {
  Ed25519ProjectivePoint q;
  Ed25519ExtendedToProjective(q, p);
  Ed25519ProjectiveDouble(out, q);
}

void EdwardsMath::Ed25519Add(Ed25519CompletedPoint& out, const Ed25519ExtendedPoint& p,
                             const Ed25519CachedPoint& q) {
  AddCached(out, p, q, false);
}

void EdwardsMath::Ed25519Sub(Ed25519CompletedPoint& out, const Ed25519ExtendedPoint& p,
                             const Ed25519CachedPoint& q) {
  AddCached(out, p, q, true);
}

void EdwardsMath::Ed25519MixedAdd(Ed25519CompletedPoint& out, const Ed25519ExtendedPoint& p,
                                  const Ed25519PrecompPoint& q) {
  AddPrecomp(out, p, q, false);
}

void EdwardsMath::Ed25519MixedSub(Ed25519CompletedPoint& out, const Ed25519ExtendedPoint& p,
                                  const Ed25519PrecompPoint& q) {
  AddPrecomp(out, p, q, true);
}

void EdwardsMath::Ed25519PrecompCMov(Ed25519PrecompPoint& t, const Ed25519PrecompPoint& u, unsigned flag) {
  Fe25519CMov(t.yplusx, u.yplusx, flag);
  Fe25519CMov(t.yminusx, u.yminusx, flag);
  Fe25519CMov(t.xy2d, u.xy2d, flag);
}

void EdwardsMath::Ed25519SelectBase(Ed25519PrecompPoint& out, int row, int digit) {
  const unsigned negative = static_cast<unsigned>(digit >> 8) & 1;
  const int magnitude = digit - ((-static_cast<int>(negative) & digit) * 2);
  Ed25519PrecompZero(out);
  for (int j = 1; j <= 8; ++j) Ed25519PrecompCMov(out, kEd25519BaseTable[row][j - 1], EqualMask(magnitude, j));
  Ed25519PrecompPoint minus;
  minus.yplusx = out.yminusx;
  minus.yminusx = out.yplusx;
  Fe25519Neg(minus.xy2d, out.xy2d);
  Ed25519PrecompCMov(out, minus, negative);
}

int EdwardsMath::EncodeEd25519Projective(unsigned char* out, int outLength, const Ed25519ProjectivePoint& p) {
  if (out == nullptr || outLength != 32) return kEdwardsShortBuffer;
  return EncodeXYZ(out, p.X, p.Y, p.Z);
}

int EdwardsMath::EncodeEd25519Point(unsigned char* out, int outLength, const Ed25519ExtendedPoint& p) {
  if (out == nullptr || outLength < 32) return kEdwardsShortBuffer;
  return EncodeXYZ(out, p.X, p.Y, p.Z);
}

int EdwardsMath::DecodeEd25519PointNegated(Ed25519ExtendedPoint& out, const unsigned char* bytes, int length) {
  if (bytes == nullptr || length < 32) return 0;
  Fe25519FromBytes(out.Y, bytes, 32);
  // Only the canonical encoding of y is accepted.
  unsigned char canonical[32];
  Fe25519ToBytes(canonical, 32, out.Y);
  canonical[31] |= bytes[31] & 0x80;
  if (std::memcmp(canonical, bytes, 32) != 0) return 0;
  Fe25519 u, v, v3, vxx, check;
  Fe25519One(out.Z);
  fe25519::Square(u, out.Y);
  fe25519::Mul(v, u, kD);
  fe25519::Sub(u, u, out.Z);
  fe25519::Add(v, v, out.Z);
  fe25519::Square(v3, v);
  fe25519::Mul(v3, v3, v);
  fe25519::Square(out.X, v3);
  fe25519::Mul(out.X, out.X, v);
  fe25519::Mul(out.X, out.X, u);
  Fe25519Pow22523(out.X, out.X);
  fe25519::Mul(out.X, out.X, v3);
  fe25519::Mul(out.X, out.X, u);
  fe25519::Square(vxx, out.X);
  fe25519::Mul(vxx, vxx, v);
  fe25519::Sub(check, vxx, u);
  if (Fe25519IsNonZero(check)) {
    fe25519::Add(check, vxx, u);
    if (Fe25519IsNonZero(check)) return 0;
    fe25519::Mul(out.X, out.X, kSqrtM1);
  }
  const int sign = bytes[31] >> 7;
  // x = 0 has only one encoding, the one with the sign bit clear.
  if (sign != 0 && !Fe25519IsNonZero(out.X)) return 0;
  if (Fe25519IsNegative(out.X) == sign) Fe25519Neg(out.X, out.X);
  fe25519::Mul(out.T, out.X, out.Y);
  return 1;
}

int EdwardsMath::Ed25519MultiplyBase(Ed25519ExtendedPoint& out, const unsigned char* scalar, int length) {
  if (scalar == nullptr || length < 32) return kEdwardsShortBuffer;
  // The scalar is below 2^255 (clamped or reduced); its top bit is not read,
  // rather than tested: a branch on it would follow the secret.
  signed char e[64];
  for (int i = 0; i < 32; ++i) {
    const unsigned char byte = i == 31 ? scalar[i] & 0x7F : scalar[i];
    e[2 * i] = static_cast<signed char>(byte & 15);
    e[2 * i + 1] = static_cast<signed char>(byte >> 4);
  }
  int carry = 0;
  for (int i = 0; i < 63; ++i) {
    int digit = e[i] + carry;
    carry = (digit + 8) >> 4;
    e[i] = static_cast<signed char>(digit - carry * 16);
  }
  e[63] = static_cast<signed char>(e[63] + carry);

  Ed25519CompletedPoint r;
  Ed25519ProjectivePoint s;
  Ed25519PrecompPoint t;
  Ed25519ExtendedZero(out);
  for (int i = 1; i < 64; i += 2) {
    Ed25519SelectBase(t, i / 2, e[i]);
    Ed25519MixedAdd(r, out, t);
    Ed25519CompletedToExtended(out, r);
  }
  Ed25519ExtendedDouble(r, out);
  for (int k = 0; k < 3; ++k) {
    Ed25519CompletedToProjective(s, r);
    Ed25519ProjectiveDouble(r, s);
  }
  Ed25519CompletedToExtended(out, r);
  for (int i = 0; i < 64; i += 2) {
    Ed25519SelectBase(t, i / 2, e[i]);
    Ed25519MixedAdd(r, out, t);
    Ed25519CompletedToExtended(out, r);
  }
  return 0;
}

void EdwardsMath::Ed25519SlideRecode(int digits[256], const unsigned char* scalar, int /*length*/) {
  for (int i = 0; i < 256; ++i) digits[i] = 1 & (scalar[i >> 3] >> (i & 7));
  for (int i = 0; i < 256; ++i) {
    if (digits[i] == 0) continue;
    for (int b = 1; b <= 6 && i + b < 256; ++b) {
      if (digits[i + b] == 0) continue;
      const int shifted = digits[i + b] * (1 << b);
      if (digits[i] + shifted <= 15) {
        digits[i] += shifted;
        digits[i + b] = 0;
      } else if (digits[i] - shifted >= -15) {
        digits[i] -= shifted;
        for (int k = i + b; k < 256; ++k) {
          if (digits[k] == 0) {
            digits[k] = 1;
            break;
          }
          digits[k] = 0;
        }
      } else {
        break;
      }
    }
  }
}

void EdwardsMath::Ed25519DoubleScalarMultiply(Ed25519ProjectivePoint& out, const unsigned char* a, int aLength,
                                              const Ed25519ExtendedPoint& A, const unsigned char* b,
                                              int bLength) {
  int aDigits[256], bDigits[256];
  Ed25519SlideRecode(aDigits, a, aLength);
  Ed25519SlideRecode(bDigits, b, bLength);

  Ed25519CachedPoint multiples[8];
  Ed25519CompletedPoint t;
  Ed25519ExtendedPoint twice, u;
  Ed25519ExtendedToCached(multiples[0], A);
  Ed25519ExtendedDouble(t, A);
  Ed25519CompletedToExtended(twice, t);
  for (int i = 0; i < 7; ++i) {
    Ed25519Add(t, twice, multiples[i]);
    Ed25519CompletedToExtended(u, t);
    Ed25519ExtendedToCached(multiples[i + 1], u);
  }

  Ed25519ProjectiveZero(out);
  int i = 255;
  while (i >= 0 && aDigits[i] == 0 && bDigits[i] == 0) --i;
  for (; i >= 0; --i) {
    Ed25519ProjectiveDouble(t, out);
    if (aDigits[i] > 0) {
      Ed25519CompletedToExtended(u, t);
      Ed25519Add(t, u, multiples[aDigits[i] / 2]);
    } else if (aDigits[i] < 0) {
      Ed25519CompletedToExtended(u, t);
      Ed25519Sub(t, u, multiples[-aDigits[i] / 2]);
    }
    if (bDigits[i] > 0) {
      Ed25519CompletedToExtended(u, t);
      Ed25519MixedAdd(t, u, kEd25519BaseOddMultiples[bDigits[i] / 2]);
    } else if (bDigits[i] < 0) {
      Ed25519CompletedToExtended(u, t);
      Ed25519MixedSub(t, u, kEd25519BaseOddMultiples[-bDigits[i] / 2]);
    }
    Ed25519CompletedToProjective(out, t);
  }
}

}  // namespace tornell
