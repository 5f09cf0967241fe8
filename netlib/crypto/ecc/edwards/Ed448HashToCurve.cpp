// Elligator 2 on curve448 (v^2 = u^3 + 156326 u^2 + u, non-square -1), then
// the 4-isogeny onto edwards448. Branch-free in r.
#include "crypto/ecc/edwards/Curve448FieldOps.h"
#include "crypto/ecc/edwards/EdwardsMath.h"

namespace tornell {

namespace {

using M = EdwardsMath;

constexpr uint32_t kA = 156326;

// x^3 + A x^2 + x.
void Rhs(Fe448& out, const Fe448& x) {
  Fe448 t;
  M::Fe448Copy(t, x);
  M::Fe448AddWord(t, kA);
  fe448::Mul(out, t, x);
  M::Fe448AddWord(out, 1);
  fe448::Mul(out, out, x);
}

// (u, v) on curve448 to edwards448 as fractions xn/xd, yn/yd:
//   x = 4v(u^2 - 1) / (u^4 - 2u^2 + 4v^2 + 1)
//   y = -(u^5 - 2u^3 - 4uv^2 + u) / (u^5 - 2u^2v^2 - 2u^3 - 2v^2 + u)
void Isogeny(Fe448& xn, Fe448& xd, Fe448& yn, Fe448& yd, const Fe448& u, const Fe448& v) {
  Fe448 u2, v2, t, w, s;
  fe448::Square(u2, u);
  fe448::Square(v2, v);
  M::Fe448Copy(t, u2);
  M::Fe448SubWord(t, 1);  // u^2 - 1
  fe448::Mul(xn, v, t);
  fe448::MulWord(xn, xn, 4);
  M::Fe448SubWord(t, 1);  // u^2 - 2
  fe448::Mul(w, t, u2);   // u^4 - 2u^2
  fe448::MulWord(s, v2, 4);
  fe448::Add(xd, w, s);
  M::Fe448AddWord(xd, 1);
  M::Fe448AddWord(w, 1);  // u^4 - 2u^2 + 1
  fe448::Sub(t, w, s);
  fe448::Mul(yn, t, u);
  M::Fe448Neg(yn, yn);
  fe448::Mul(s, u2, v2);  // u^2 v^2 + v^2 = v^2 (u^2 + 1)
  fe448::Add(s, s, v2);
  fe448::Add(s, s, s);
  fe448::Mul(yd, w, u);
  fe448::Sub(yd, yd, s);
}

}  // namespace

void EdwardsMath::Ed448HashToCurve(Ed448AffinePoint& out, const Fe448& r) {
  Fe448 one, t, x1, x2, g1, g2, s, y, y2;
  Fe448One(one);
  // x1 = -A / (1 - r^2), or -A when r^2 = 1.
  fe448::Square(t, r);
  fe448::Sub(t, one, t);
  Fe448Invert(t, t);
  Fe448SetWord(x1, kA);
  Fe448Neg(x1, x1);
  fe448::Mul(s, x1, t);
  Fe448CMov(x1, s, ~Fe448IsZero(t));
  Fe448Neg(x2, x1);
  Fe448SubWord(x2, kA);
  Rhs(g1, x1);
  Rhs(g2, x2);
  // p = 3 mod 4 and (p + 1)/4 is even, so g1^((p+1)/4) is a root of g1 or of
  // -g1. With x1 + A = -x2, g1 = x1(1 - x1 x2) and g2 = x2(1 - x1 x2), so
  // g2 = -r^2 g1 and r times that value is a root of g2.
  Fe448InverseSqrt(s, g1);
  fe448::Mul(y, s, g1);
  fe448::Square(t, y);
  const uint32_t square = Fe448Equal(t, g1);
  fe448::Mul(y2, y, r);
  Fe448CMov(y, y2, ~square);
  Fe448CMov(x1, x2, ~square);
  Fe448CMov(g1, g2, ~square);
  Fe448Zero(t);
  Fe448CMov(y, t, Fe448IsZero(g1));
  // The root's sign: odd on the first branch, even on the second.
  const uint32_t odd = static_cast<uint32_t>(Fe448LowBit(y)) & 1;
  Fe448CNeg(y, static_cast<uint32_t>(0) - (odd ^ (square & 1)));

  Fe448 xn, xd, yn, yd;
  Isogeny(xn, xd, yn, yd, x1, y);
  // One inversion for both denominators; a zero one leaves x = 0 and y is
  // then forced to 1.
  fe448::Mul(t, xd, yd);
  const uint32_t exceptional = Fe448IsZero(t);
  Fe448Invert(t, t);
  fe448::Mul(s, xn, yd);
  fe448::Mul(out.x, s, t);
  fe448::Mul(s, yn, xd);
  fe448::Mul(out.y, s, t);
  Fe448CMov(out.y, one, exceptional);
}

}  // namespace tornell
