// Points of y^2 = x^3 + a*x + b over GF(p): Jacobian and affine forms,
// scalar multiplication, recovery of y and the curve test.
#include <cstring>

#include "crypto/ecc/curve/EcAffine.h"
#include "crypto/ecc/curve/EcPointMath.h"
#include "crypto/ecc/curve/PrimeField.h"

namespace tornell {

namespace {

struct JPoint {
  FieldElem X, Y, Z;  // Z = 0 stands for infinity
};

struct Curve {
  PrimeField f;
  FieldElem a;
  bool aZero = false;
  bool aMinus3 = false;

  int Init(const EcBigInt& p, const EcBigInt& aIn, int id) {
    const int status = f.Init(p, id);
    if (status != 0) return status;
    f.Load(aIn, a);
    aZero = f.IsZero(a);
    FieldElem three, sum;
    f.SetWord(three, 3);
    f.Add(a, three, sum);
    aMinus3 = f.IsZero(sum);
    return 0;
  }
};

void Double(const Curve& c, const JPoint& P, JPoint& R) {
  const PrimeField& f = c.f;
  FieldElem m, t, s, yy, z2;
  if (c.aMinus3) {
    FieldElem u;
    f.Sqr(P.Z, z2);
    f.Sub(P.X, z2, t);
    f.Add(P.X, z2, u);
    f.Mul(t, u, m);
    f.Add(m, m, t);
    f.Add(t, m, m);
  } else {
    f.Sqr(P.X, t);
    f.Add(t, t, m);
    f.Add(m, t, m);
    if (!c.aZero) {
      f.Sqr(P.Z, z2);
      f.Sqr(z2, t);
      f.Mul(c.a, t, z2);
      f.Add(m, z2, m);
    }
  }
  FieldElem z3;
  f.Mul(P.Y, P.Z, z3);
  f.Add(z3, z3, z3);
  f.Sqr(P.Y, yy);
  f.Mul(P.X, yy, s);
  f.Add(s, s, s);
  f.Add(s, s, s);  // S = 4 X Y^2
  f.Sqr(yy, t);
  f.Add(t, t, t);
  f.Add(t, t, t);
  f.Add(t, t, t);  // T = 8 Y^4
  FieldElem x3, y3;
  f.Sqr(m, x3);
  f.Sub(x3, s, x3);
  f.Sub(x3, s, x3);
  f.Sub(s, x3, y3);
  f.Mul(m, y3, y3);
  f.Sub(y3, t, y3);
  R.X = x3;
  R.Y = y3;
  R.Z = z3;
}

// P (Jacobian, finite) + (x2, y2); branches on the exceptional cases.
void AddAffine(const Curve& c, const JPoint& P, const FieldElem& x2, const FieldElem& y2, JPoint& R) {
  const PrimeField& f = c.f;
  FieldElem z2, u2, s2, h, r;
  f.Sqr(P.Z, z2);
  f.Mul(x2, z2, u2);
  f.Mul(P.Z, z2, s2);
  f.Mul(y2, s2, s2);
  f.Sub(u2, P.X, h);
  f.Sub(s2, P.Y, r);
  if (f.IsZero(h)) {
    if (!f.IsZero(r)) {
      f.SetWord(R.X, 1);
      f.SetWord(R.Y, 1);
      f.SetWord(R.Z, 0);
      return;
    }
    JPoint Q;
    Q.X = x2;
    Q.Y = y2;
    f.SetOne(Q.Z);
    Double(c, Q, R);
    return;
  }
  FieldElem h2, h3, xh2, t, x3, y3, z3;
  f.Mul(P.Z, h, z3);
  f.Sqr(h, h2);
  f.Mul(h2, h, h3);
  f.Mul(P.X, h2, xh2);
  f.Sqr(r, x3);
  f.Sub(x3, xh2, x3);
  f.Sub(x3, xh2, x3);
  f.Sub(x3, h3, x3);
  f.Sub(xh2, x3, t);
  f.Mul(r, t, y3);
  f.Mul(P.Y, h3, t);
  f.Sub(y3, t, y3);
  R.X = x3;
  R.Y = y3;
  R.Z = z3;
}

// P + Q for Jacobian points either of which may be infinity; the choice
// between the operands and the sum is made by masks.
void AddFull(const Curve& c, const JPoint& P, const JPoint& Q, JPoint& R) {
  const PrimeField& f = c.f;
  FieldElem z1s, z2s, u1, u2, s1, s2, h, r, t;
  f.Sqr(P.Z, z1s);
  f.Sqr(Q.Z, z2s);
  f.Mul(P.X, z2s, u1);
  f.Mul(Q.X, z1s, u2);
  f.Mul(Q.Z, z2s, t);
  f.Mul(P.Y, t, s1);
  f.Mul(P.Z, z1s, t);
  f.Mul(Q.Y, t, s2);
  f.Sub(u2, u1, h);
  f.Sub(s2, s1, r);
  const uint32_t pInf = f.ZeroMask(P.Z);
  const uint32_t qInf = f.ZeroMask(Q.Z);
  // Equal operands (reached only by low-order or related points) take the
  // doubling; it is always computed and chosen by mask, as the operands may
  // follow a secret.
  const uint32_t same = ~pInf & ~qInf & f.ZeroMask(h) & f.ZeroMask(r);
  JPoint twice;
  Double(c, P, twice);
  FieldElem h2, h3, uh2, x3, y3, z3;
  f.Mul(P.Z, Q.Z, t);
  f.Mul(t, h, z3);
  f.Sqr(h, h2);
  f.Mul(h2, h, h3);
  f.Mul(u1, h2, uh2);
  f.Sqr(r, x3);
  f.Sub(x3, h3, x3);
  f.Sub(x3, uh2, x3);
  f.Sub(x3, uh2, x3);
  f.Sub(uh2, x3, t);
  f.Mul(r, t, y3);
  f.Mul(s1, h3, t);
  f.Sub(y3, t, y3);
  f.Select(x3, x3, P.X, qInf);
  f.Select(y3, y3, P.Y, qInf);
  f.Select(z3, z3, P.Z, qInf);
  f.Select(x3, x3, Q.X, pInf);
  f.Select(y3, y3, Q.Y, pInf);
  f.Select(z3, z3, Q.Z, pInf);
  f.Select(R.X, x3, twice.X, same);
  f.Select(R.Y, y3, twice.Y, same);
  f.Select(R.Z, z3, twice.Z, same);
}

// By Fermat's inversion, in time independent of Z.
void ToAffine(const PrimeField& f, const JPoint& P, FieldElem& x, FieldElem& y) {
  FieldElem zi, zi2;
  f.InvertFermat(P.Z, zi);
  f.Sqr(zi, zi2);
  f.Mul(P.X, zi2, x);
  f.Mul(zi2, zi, zi2);
  f.Mul(P.Y, zi2, y);
}

void AffineDoubleElems(const Curve& c, const AffinePoint& P, AffinePoint& R) {
  const PrimeField& f = c.f;
  if (P.inf || f.IsZero(P.y)) {
    R.inf = true;
    return;
  }
  FieldElem num, den, lambda, t, nx;
  f.Sqr(P.x, t);
  f.Add(t, t, num);
  f.Add(num, t, num);
  f.Add(num, c.a, num);
  f.Add(P.y, P.y, den);
  f.Divide(num, den, lambda);
  f.Sqr(lambda, nx);
  f.Sub(nx, P.x, nx);
  f.Sub(nx, P.x, nx);
  f.Sub(P.x, nx, t);
  f.Mul(lambda, t, t);
  f.Sub(t, P.y, R.y);
  R.x = nx;
  R.inf = false;
}

void AffineAddElems(const Curve& c, const AffinePoint& P, const AffinePoint& Q, AffinePoint& R) {
  FieldElem dx, lambda, t, nx;
  if (ChordSpecialCase(c, P, Q, R, dx, lambda, AffineDoubleElems)) return;
  const PrimeField& f = c.f;
  f.Sqr(lambda, nx);
  f.Sub(nx, P.x, nx);
  f.Sub(nx, Q.x, nx);
  f.Sub(P.x, nx, t);
  f.Mul(lambda, t, t);
  f.Sub(t, P.y, R.y);
  R.x = nx;
  R.inf = false;
}

int ScalarBits(const EcBigInt& scalar) {
  int n = scalar.wordCount < 1 ? 1 : (scalar.wordCount > EcBigInt::kMaxWords ? EcBigInt::kMaxWords : scalar.wordCount);
  return 32 * n;
}

}  // namespace

int EcPointMath::AffineAdd(const EcBigInt& x1, const EcBigInt& y1, const EcBigInt& x2, const EcBigInt& y2,
                           const EcBigInt& p, const EcBigInt& a, int reductionId, EcBigInt& x3, EcBigInt& y3) {
  Curve c;
  const int status = c.Init(p, a, reductionId);
  if (status != 0) return status;
  AffinePoint R;
  AffineAddElems(c, LoadAffine(c.f, x1, y1), LoadAffine(c.f, x2, y2), R);
  StoreAffine(c.f, R, x3, y3);
  return 0;
}

int EcPointMath::ScalarMultiply(const EcBigInt& x, const EcBigInt& y, const EcBigInt& p, const EcBigInt& a,
                                const EcBigInt& scalar, int reductionId, EcBigInt& outX, EcBigInt& outY) {
  Curve c;
  const int status = c.Init(p, a, reductionId);
  if (status != 0) return status;
  c.f.UseMontgomery();
  c.f.ToWorking(c.a);
  const PrimeField& f = c.f;
  AffinePoint result;
  if (IsInfinity(x)) {
    StoreAffine(f, result, outX, outY);
    return 0;
  }
  // Table of 0..15 times P; it depends on P alone.
  JPoint table[16];
  f.SetWord(table[0].X, 1);
  f.SetWord(table[0].Y, 1);
  f.SetWord(table[0].Z, 0);
  FieldElem px, py;
  f.Load(x, px);
  f.Load(y, py);
  f.ToWorking(px);
  f.ToWorking(py);
  table[1].X = px;
  table[1].Y = py;
  f.SetOne(table[1].Z);
  for (int i = 2; i < 16; ++i) {
    if (f.IsZero(table[i - 1].Z)) {
      table[i] = table[1];
    } else {
      AddAffine(c, table[i - 1], px, py, table[i]);
    }
  }
  // Fixed number of 4-bit windows, set by the widths of scalar and field.
  int bits = ScalarBits(scalar);
  if (bits < f.bits + 4) bits = f.bits + 4;
  bits = (bits + 3) / 4 * 4;
  JPoint q = table[0];
  JPoint pick, sum;
  for (int pos = bits - 4; pos >= 0; pos -= 4) {
    for (int d = 0; d < 4; ++d) Double(c, q, q);
    const int word = pos >> 5;
    const uint32_t digit = word < EcBigInt::kMaxWords && word < scalar.wordCount
                               ? (scalar.words[word] >> (pos & 31)) & 15u
                               : 0u;
    f.SetWord(pick.X, 0);
    f.SetWord(pick.Y, 0);
    f.SetWord(pick.Z, 0);
    for (uint32_t i = 0; i < 16; ++i) {
      const uint32_t diff = digit ^ i;
      const uint32_t mask = ((diff | (0u - diff)) >> 31) - 1u;
      for (int w = 0; w < f.k; ++w) {
        pick.X.w[w] |= table[i].X.w[w] & mask;
        pick.Y.w[w] |= table[i].Y.w[w] & mask;
        pick.Z.w[w] |= table[i].Z.w[w] & mask;
      }
    }
    AddFull(c, q, pick, sum);
    q = sum;
  }
  // Infinity (Z = 0) inverts to 0 and leaves x = y = 0; only the word count
  // marks it, set by mask: the result's finiteness follows the secret.
  const uint32_t infinite = f.ZeroMask(q.Z);
  ToAffine(f, q, result.x, result.y);
  f.FromWorking(result.x);
  f.FromWorking(result.y);
  f.Store(result.x, outX);
  f.Store(result.y, outY);
  outX.wordCount = static_cast<int32_t>(static_cast<uint32_t>(f.k) & ~infinite);
  return 0;
}

int EcPointMath::ScalarMultiplyAffine(const EcBigInt& x, const EcBigInt& y, const EcBigInt& p, const EcBigInt& a,
                                      const EcBigInt& scalar, int reductionId, EcBigInt& outX, EcBigInt& outY) {
  Curve c;
  const int status = c.Init(p, a, reductionId);
  if (status != 0) return status;
  StoreAffine(c.f, DoubleAndAdd(c, LoadAffine(c.f, x, y), scalar, AffineAddElems, AffineDoubleElems), outX, outY);
  return 0;
}

int EcPointMath::DecompressY(int yBit, const EcBigInt& x, const EcBigInt& a, const EcBigInt& b, const EcBigInt& p,
                             int reductionId, EcBigInt& outY) {
  PrimeField f;
  if (f.Init(p, reductionId) != 0) return 0;
  FieldElem fx, fa, fb, alpha, t, r;
  f.Load(x, fx);
  f.Load(a, fa);
  f.Load(b, fb);
  f.Sqr(fx, t);
  f.Add(t, fa, t);
  f.Mul(t, fx, alpha);
  f.Add(alpha, fb, alpha);
  if (f.Sqrt(alpha, r) == 0) return 0;
  if (static_cast<int>(r.w[0] & 1u) != (yBit & 1)) {
    FieldElem zero;
    f.SetWord(zero, 0);
    f.Sub(zero, r, r);
  }
  f.Store(r, outY);
  return 1;
}

int EcPointMath::IsOnCurve(const EcBigInt& x, const EcBigInt& y, const EcBigInt& a, const EcBigInt& b,
                           const EcBigInt& p, int reductionId) {
  PrimeField f;
  if (f.Init(p, reductionId) != 0) return 0;
  FieldElem fx, fy, fa, fb, lhs, rhs, t;
  f.Load(x, fx);
  f.Load(y, fy);
  f.Load(a, fa);
  f.Load(b, fb);
  f.Sqr(fy, lhs);
  f.Sqr(fx, t);
  f.Add(t, fa, t);
  f.Mul(t, fx, rhs);
  f.Add(rhs, fb, rhs);
  return f.Equal(lhs, rhs) ? 1 : 0;
}

}  // namespace tornell
