#pragma once
// Affine points on the working field elements, shared by the prime-field and
// binary-field point code: infinity handling and the plain double-and-add.
#include "crypto/ecc/curve/EcBigInt.h"
#include "crypto/ecc/curve/FieldElem.h"

namespace tornell {

struct AffinePoint {
  FieldElem x, y;
  bool inf = true;
};

// The point at infinity crosses the interface as an x of word count 0.
inline bool IsInfinity(const EcBigInt& x) { return x.wordCount == 0; }

template <class Field>
AffinePoint LoadAffine(const Field& f, const EcBigInt& x, const EcBigInt& y) {
  AffinePoint P;
  f.Load(x, P.x);
  f.Load(y, P.y);
  P.inf = IsInfinity(x);
  return P;
}

template <class Field>
void StoreAffine(const Field& f, const AffinePoint& P, EcBigInt& x, EcBigInt& y) {
  if (P.inf) {
    FieldElem zero;
    f.SetWord(zero, 0);
    f.Store(zero, y);
    f.Store(zero, x);
    x.wordCount = 0;
    return;
  }
  f.Store(P.x, x);
  f.Store(P.y, y);
}

// R = P + Q when either is infinity; false when both are finite.
inline bool AddInfinite(const AffinePoint& P, const AffinePoint& Q, AffinePoint& R) {
  if (P.inf) {
    R = Q;
    return true;
  }
  if (Q.inf) {
    R = P;
    return true;
  }
  return false;
}

// The chord rule's special cases of P + Q: an infinite operand, Q = -P and
// Q = P (by the doubling). Otherwise false, with dx = x2 - x1 and the slope
// lambda = (y2 - y1) / dx for the caller's formulas.
template <class Curve, class DoubleFn>
bool ChordSpecialCase(const Curve& c, const AffinePoint& P, const AffinePoint& Q, AffinePoint& R, FieldElem& dx,
                      FieldElem& lambda, DoubleFn twice) {
  if (AddInfinite(P, Q, R)) return true;
  FieldElem dy;
  c.f.Sub(Q.x, P.x, dx);
  c.f.Sub(Q.y, P.y, dy);
  if (c.f.IsZero(dx)) {
    if (c.f.IsZero(dy)) {
      twice(c, P, R);
    } else {
      R.inf = true;
    }
    return true;
  }
  c.f.Divide(dy, dx, lambda);
  return false;
}

// scalar·P, left to right, branching on the scalar's bits: public scalars only.
template <class Curve, class AddFn, class DoubleFn>
AffinePoint DoubleAndAdd(const Curve& c, const AffinePoint& P, const EcBigInt& scalar, AddFn add, DoubleFn twice) {
  AffinePoint Q, T;
  const int n = EcBigInt::BitLength(scalar);
  for (int i = n - 1; i >= 1; --i) {
    if (EcBigInt::TestBit(scalar, i) != 0) {
      add(c, Q, P, T);
    } else {
      T = Q;
    }
    twice(c, T, Q);
  }
  if (n > 0 && EcBigInt::TestBit(scalar, 0) != 0) {
    add(c, Q, P, T);
    Q = T;
  }
  return Q;
}

}  // namespace tornell
