// Points of y^2 + x*y = x^3 + a*x^2 + b over GF(2^m): the affine form,
// the x-only ladder, compression and the curve test.
#include <cstring>

#include "core/secure/ConstantTime.h"
#include "crypto/ecc/curve/BinaryField.h"
#include "crypto/ecc/curve/EcAffine.h"
#include "crypto/ecc/curve/EcPointMath.h"

namespace tornell {

namespace {

struct BCurve {
  BinaryField f;
  FieldElem a, b;
  bool aZero = false;
  bool aOne = false;

  int Init(const EcBigInt& poly, const EcBigInt& aIn, const EcBigInt& bIn) {
    const int status = f.Init(poly);
    if (status != 0) return status;
    f.Load(aIn, a);
    f.Load(bIn, b);
    FieldElem one;
    f.SetWord(one, 1);
    aZero = f.IsZero(a);
    aOne = f.Equal(a, one);
    return 0;
  }

  // x * a, skipping the product for the usual a of 0 or 1
  void MulA(const FieldElem& x, FieldElem& out) const {
    if (aZero) {
      f.SetWord(out, 0);
    } else if (aOne) {
      out = x;
    } else {
      f.Mul(x, a, out);
    }
  }
};

void AffineDoubleElems(const BCurve& c, const AffinePoint& P, AffinePoint& R) {
  const BinaryField& f = c.f;
  if (P.inf || f.IsZero(P.x)) {
    R.inf = true;
    return;
  }
  FieldElem lambda, t, nx;
  f.Divide(P.y, P.x, lambda);
  f.Add(lambda, P.x, lambda);
  f.Sqr(lambda, nx);
  f.Add(nx, lambda, nx);
  f.Add(nx, c.a, nx);
  f.Sqr(P.x, t);
  f.Mul(lambda, nx, R.y);
  f.Add(R.y, t, R.y);
  f.Add(R.y, nx, R.y);
  R.x = nx;
  R.inf = false;
}

void AffineAddElems(const BCurve& c, const AffinePoint& P, const AffinePoint& Q, AffinePoint& R) {
  FieldElem dx, lambda, nx, t;
  if (ChordSpecialCase(c, P, Q, R, dx, lambda, AffineDoubleElems)) return;
  const BinaryField& f = c.f;
  f.Sqr(lambda, nx);
  f.Add(nx, lambda, nx);
  f.Add(nx, dx, nx);
  f.Add(nx, c.a, nx);
  f.Add(P.x, nx, t);
  f.Mul(lambda, t, t);
  f.Add(t, nx, t);
  f.Add(t, P.y, R.y);
  R.x = nx;
  R.inf = false;
}

void CondSwap(const BinaryField& f, FieldElem& a, FieldElem& b, uint32_t mask) {
  ct::CondSwap(mask, a.w, b.w, static_cast<size_t>(f.k));
}

// out = b where mask is all ones.
void Select(const BinaryField& f, FieldElem& out, const FieldElem& b, uint32_t mask) {
  for (int i = 0; i < f.k; ++i) out.w[i] = ct::Select(mask, b.w[i], out.w[i]);
}

}  // namespace

int EcPointMath::BinaryAffineAdd(const EcBigInt& x1, const EcBigInt& y1, const EcBigInt& x2, const EcBigInt& y2,
                                 const EcBigInt& a, const EcBigInt& f, EcBigInt& x3, EcBigInt& y3) {
  BCurve c;
  const int status = c.Init(f, a, EcBigInt::One);
  if (status != 0) return status;
  AffinePoint R;
  AffineAddElems(c, LoadAffine(c.f, x1, y1), LoadAffine(c.f, x2, y2), R);
  StoreAffine(c.f, R, x3, y3);
  return 0;
}

int EcPointMath::BinaryScalarMultiply(const EcBigInt& x, const EcBigInt& y, const EcBigInt& a, const EcBigInt& b,
                                      const EcBigInt& f, const EcBigInt& scalar, EcBigInt& outX, EcBigInt& outY) {
  BCurve c;
  const int status = c.Init(f, a, b);
  if (status != 0) return status;
  const BinaryField& bf = c.f;
  AffinePoint result;
  if (IsInfinity(x)) {
    StoreAffine(bf, result, outX, outY);
    return 0;
  }
  FieldElem px, py;
  bf.Load(x, px);
  bf.Load(y, py);
  int bits = 32 * (scalar.wordCount < 1 ? 1 : (scalar.wordCount > EcBigInt::kMaxWords ? EcBigInt::kMaxWords
                                                                                       : scalar.wordCount));
  if (bits < bf.m + 4) bits = bf.m + 4;
  if (bf.IsZero(px)) {
    // a point of order two: the ladder's x-only formulas cannot carry it
    result.x = px;
    result.y = py;
    result.inf = EcBigInt::TestBit(scalar, 0) == 0;
    StoreAffine(bf, result, outX, outY);
    return 0;
  }
  // Montgomery ladder on x and Z only: R0 = k P, R1 = (k + 1) P.
  FieldElem x1, z1, x2, z2, t1, t2, t3;
  bf.SetWord(x1, 1);
  bf.SetWord(z1, 0);
  x2 = px;
  bf.SetWord(z2, 1);
  for (int i = bits - 1; i >= 0; --i) {
    const int word = i >> 5;
    const uint32_t bit = word < scalar.wordCount ? (scalar.words[word] >> (i & 31)) & 1u : 0u;
    const uint32_t mask = 0u - bit;
    CondSwap(bf, x1, x2, mask);
    CondSwap(bf, z1, z2, mask);
    // R1 = R0 + R1
    bf.Mul(x1, z2, t1);
    bf.Mul(x2, z1, t2);
    bf.Add(t1, t2, t3);
    bf.Sqr(t3, z2);
    bf.Mul(t1, t2, t1);
    bf.Mul(px, z2, x2);
    bf.Add(x2, t1, x2);
    // R0 = 2 R0
    bf.Sqr(x1, t1);
    bf.Sqr(z1, t2);
    bf.Mul(t1, t2, z1);
    bf.Sqr(t1, t1);
    bf.Sqr(t2, t2);
    bf.Mul(c.b, t2, t2);
    bf.Add(t1, t2, x1);
    CondSwap(bf, x1, x2, mask);
    CondSwap(bf, z1, z2, mask);
  }
  // Both endings are computed and chosen by mask, as is the infinity of the
  // result: which one applies follows the secret scalar.
  const uint32_t infinite = bf.ZeroMask(z1);
  const uint32_t minusP = bf.ZeroMask(z2);  // (k + 1) P is infinity, so k P = -P
  // y recovery: y1 = (x1/z1 + x)[(X1 + x Z1)(X2 + x Z2) + (x^2 + y) Z1 Z2] / (x Z1 Z2) + y
  FieldElem rx, ry, zz, inv, num, s1, s2, negY;
  bf.Mul(z1, z2, zz);
  bf.Mul(px, zz, inv);
  bf.Invert(inv, inv);
  bf.Mul(x1, px, rx);
  bf.Mul(rx, z2, rx);
  bf.Mul(rx, inv, rx);  // X1 / Z1
  bf.Mul(px, z1, s1);
  bf.Add(s1, x1, s1);
  bf.Mul(px, z2, s2);
  bf.Add(s2, x2, s2);
  bf.Mul(s1, s2, num);
  bf.Sqr(px, s1);
  bf.Add(s1, py, s1);
  bf.Mul(s1, zz, s1);
  bf.Add(num, s1, num);
  bf.Add(rx, px, s2);
  bf.Mul(s2, num, num);
  bf.Mul(num, inv, ry);
  bf.Add(ry, py, ry);
  bf.Add(px, py, negY);
  Select(bf, rx, px, minusP);
  Select(bf, ry, negY, minusP);
  FieldElem zero;
  bf.SetWord(zero, 0);
  Select(bf, rx, zero, infinite);
  Select(bf, ry, zero, infinite);
  bf.Store(rx, outX);
  bf.Store(ry, outY);
  outX.wordCount = static_cast<int32_t>(static_cast<uint32_t>(bf.k) & ~infinite);
  return 0;
}

int EcPointMath::BinaryScalarMultiplyAffine(const EcBigInt& x, const EcBigInt& y, const EcBigInt& a, const EcBigInt& f,
                                            const EcBigInt& scalar, EcBigInt& outX, EcBigInt& outY) {
  BCurve c;
  const int status = c.Init(f, a, EcBigInt::One);
  if (status != 0) return status;
  StoreAffine(c.f, DoubleAndAdd(c, LoadAffine(c.f, x, y), scalar, AffineAddElems, AffineDoubleElems), outX, outY);
  return 0;
}

int EcPointMath::BinaryIsOnCurve(const EcBigInt& x, const EcBigInt& y, const EcBigInt& a, const EcBigInt& b,
                                 const EcBigInt& f) {
  BCurve c;
  if (c.Init(f, a, b) != 0) return 0;
  const BinaryField& bf = c.f;
  FieldElem fx, fy, lhs, rhs, t;
  bf.Load(x, fx);
  bf.Load(y, fy);
  bf.Sqr(fy, lhs);
  bf.Mul(fx, fy, t);
  bf.Add(lhs, t, lhs);
  bf.Sqr(fx, t);
  c.MulA(t, rhs);
  bf.Mul(t, fx, t);
  bf.Add(rhs, t, rhs);
  bf.Add(rhs, c.b, rhs);
  return bf.Equal(lhs, rhs) ? 1 : 0;
}

int EcPointMath::BinaryCompressBit(const EcBigInt& x, const EcBigInt& y, const EcBigInt& f) {
  BinaryField bf;
  if (bf.Init(f) != 0) return 0;
  FieldElem fx, fy, r;
  bf.Load(x, fx);
  bf.Load(y, fy);
  if (bf.IsZero(fx)) return 0;
  bf.Divide(fy, fx, r);
  return static_cast<int>(r.w[0] & 1u);
}

int EcPointMath::BinaryDecompressY(int yBit, const EcBigInt& x, const EcBigInt& a, const EcBigInt& b, const EcBigInt& f,
                                   EcBigInt& outY) {
  BCurve c;
  if (c.Init(f, a, b) != 0) return 0;
  const BinaryField& bf = c.f;
  FieldElem fx, beta, t, z;
  bf.Load(x, fx);
  if (bf.IsZero(fx)) {
    // the square root of b is b^(2^(m-1))
    z = c.b;
    for (int i = 0; i < bf.m - 1; ++i) bf.Sqr(z, z);
    bf.Store(z, outY);
    return 1;
  }
  bf.Sqr(fx, t);
  bf.Divide(c.b, t, beta);
  bf.Add(beta, fx, beta);
  bf.Add(beta, c.a, beta);
  if (bf.SolveQuadratic(beta, z) == 0) return 0;
  if (static_cast<int>(z.w[0] & 1u) != (yBit & 1)) z.w[0] ^= 1u;
  bf.Mul(fx, z, t);
  bf.Store(t, outY);
  return 1;
}

}  // namespace tornell
