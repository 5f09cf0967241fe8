// edwards448 (x^2 + y^2 = 1 - 39081 x^2 y^2) and its twisted companion
// (-x^2 + y^2 = 1 - 39082 x^2 y^2): point formulas, maps and encodings.
#include "crypto/ecc/edwards/Curve448FieldOps.h"
#include "crypto/ecc/edwards/EdwardsMath.h"

namespace tornell {

namespace {

using M = EdwardsMath;

const Fe448 kBaseX = {{0x26a82bc70cc05e, 0x80e18b00938e26, 0xf72ab66511433b, 0xa3d3a46412ae1a, 0x0f1767ea6de324,
                       0x36da9e14657047, 0xed221d15a622bf, 0x4f1970c66bed0d}};
const Fe448 kBaseY = {{0x08795bf230fa14, 0x132c4ed7c8ad98, 0x1ce67c39c4fdbd, 0x05a0c2d73ad3ff, 0xa3984087789c1e,
                       0xc7624bea73736c, 0x248876203756c9, 0x693f46716eb6bc}};
const Fe448 kAltBaseX = {{0xf0de840aed939f, 0xc170033f4ba0c7, 0xf3932d94c63d96, 0x9cecfa96147eaa,
                          0x5f065c3c59d070, 0x3a6a26adf73324, 0x1b4faff4609845, 0x297ea0ea2692ff}};
// The even square root of d - 1 = -39082.
const Fe448 kSqrtDMinusOne = {{0xd2e21836749f46, 0x888db42b4f0179, 0x5a189aabdeea38, 0x51e65ca6f14c06,
                               0xa49f7b424d9770, 0xdcac4628c5f656, 0x49443b8748734a, 0x12fec0c0b25b7a}};

void Twice(Fe448& out, const Fe448& a) { fe448::Add(out, a, a); }

// The affine (x, y) in either curve's extensible form: z = 1, t = x, u = y.
template <class Point>
void SetAffine(Point& out, const Fe448& x, const Fe448& y) {
  out.x = x;
  out.y = y;
  M::Fe448One(out.z);
  out.t = x;
  out.u = y;
}

// Maps a point between the two curves as (x, y) -> (x, y) / sqrt(1 -+ x^2);
// the root's sign is free, so the image is fixed only up to adding (0, -1),
// which one doubling removes. toTwisted picks the minus sign.
void MapCurves(Fe448& x, Fe448& y, const Fe448& X, const Fe448& Y, const Fe448& Z, bool toTwisted) {
  Fe448 zx, zy, a, b, z2, x2, s, w;
  if (toTwisted) {
    fe448::Sub(zx, Z, X);
    fe448::Sub(zy, Z, Y);
  } else {
    fe448::Add(zx, Z, X);
    fe448::Add(zy, Z, Y);
  }
  fe448::Mul(a, Y, zx);
  fe448::Mul(a, a, zy);
  fe448::Square(z2, Z);
  fe448::Square(x2, X);
  if (toTwisted)
    fe448::Sub(z2, z2, x2);
  else
    fe448::Add(z2, z2, x2);
  fe448::Mul(b, a, z2);
  fe448::Mul(s, a, b);
  M::Fe448InverseSqrt(s, s);
  fe448::Mul(w, a, s);
  fe448::Mul(x, X, w);
  fe448::Mul(y, Y, w);
  // The identity has a = 0; its image is (0, 1).
  Fe448 yPlusOne = y;
  M::Fe448AddWord(yPlusOne, 1);
  M::Fe448CMov(y, yPlusOne, M::Fe448IsZero(zy));
}

// Doubling on either curve; twistedIn picks the input curve's sign (a = -1).
void DoubleInto(Fe448& X, Fe448& Y, Fe448& Z, Fe448& T, Fe448& U, const Fe448& inX, const Fe448& inY,
                const Fe448& inZ, bool twistedIn) {
  Fe448 a, b, c, t, u;
  fe448::Square(a, inX);
  fe448::Square(b, inY);
  fe448::Add(t, inY, inX);
  fe448::Square(t, t);
  if (twistedIn) {
    fe448::Add(u, a, b);
    fe448::Sub(t, t, u);
    fe448::Sub(c, b, a);
  } else {
    fe448::Add(c, a, b);
    fe448::Sub(t, t, c);
    fe448::Sub(u, b, a);
  }
  Fe448 zz;
  fe448::Square(zz, inZ);
  Twice(zz, zz);
  fe448::Sub(b, zz, c);
  fe448::Mul(Z, c, b);
  fe448::Mul(X, b, t);
  fe448::Mul(Y, c, u);
  T = t;
  U = u;
}

void AddNielsSigned(Ed448TwistedExtensiblePoint& p, const Ed448NielsPoint& q, bool subtract) {
  Fe448 l0, l1;
  fe448::Sub(l1, p.y, p.x);
  fe448::Mul(l0, subtract ? q.b : q.a, l1);
  fe448::Add(l1, p.x, p.y);
  fe448::Mul(p.y, subtract ? q.a : q.b, l1);
  fe448::Mul(l1, p.u, p.t);
  fe448::Mul(p.x, q.c, l1);
  fe448::Add(p.u, l0, p.y);
  fe448::Sub(p.t, p.y, l0);
  if (subtract) {
    fe448::Add(p.y, p.z, p.x);
    fe448::Sub(l0, p.z, p.x);
  } else {
    fe448::Sub(p.y, p.z, p.x);
    fe448::Add(l0, p.x, p.z);
  }
  fe448::Mul(p.z, l0, p.y);
  fe448::Mul(p.x, p.y, p.t);
  fe448::Mul(p.y, l0, p.u);
}

void Affine(Fe448& x, Fe448& y, const Fe448& X, const Fe448& Y, const Fe448& Z) {
  Fe448 zi;
  M::Fe448Invert(zi, Z);
  fe448::Mul(x, X, zi);
  fe448::Mul(y, Y, zi);
}

}  // namespace

void EdwardsMath::Ed448ExtensibleIdentity(Ed448ExtensiblePoint& out) {
  Fe448Zero(out.x);
  Fe448One(out.y);
  Fe448One(out.z);
  Fe448Zero(out.t);
  Fe448Zero(out.u);
}

void EdwardsMath::Ed448TwistedIdentity(Ed448TwistedExtensiblePoint& out) {
  Fe448Zero(out.x);
  Fe448One(out.y);
  Fe448One(out.z);
  Fe448Zero(out.t);
  Fe448Zero(out.u);
}

void EdwardsMath::Ed448NielsClear(Ed448NielsPoint& out) {
  Fe448Zero(out.a);
  Fe448Zero(out.b);
  Fe448Zero(out.c);
}

void EdwardsMath::Ed448FromAffine(Ed448ExtensiblePoint& out, const Ed448AffinePoint& in) {
  SetAffine(out, in.x, in.y);
}

void EdwardsMath::Ed448TwistedFromAffine(Ed448TwistedExtensiblePoint& out, const Ed448TwistedAffinePoint& in) {
  SetAffine(out, in.x, in.y);
}

void EdwardsMath::Ed448NielsFromTwistedAffine(Ed448ProjectiveNielsPoint& out, const Ed448TwistedAffinePoint& in) {
  Fe448 xy;
  fe448::Sub(out.n.a, in.y, in.x);
  fe448::Add(out.n.b, in.x, in.y);
  fe448::Mul(xy, in.x, in.y);
  fe448::MulWord(out.n.c, xy, 78164);
  Fe448Neg(out.n.c, out.n.c);
  Fe448SetWord(out.z, 2);
}

void EdwardsMath::Ed448ProjectiveNielsFromTwisted(Ed448ProjectiveNielsPoint& out,
                                                  const Ed448TwistedExtensiblePoint& in) {
  Fe448 tu;
  fe448::Sub(out.n.a, in.y, in.x);
  fe448::Add(out.n.b, in.x, in.y);
  fe448::Mul(tu, in.t, in.u);
  fe448::MulWord(out.n.c, tu, 78164);
  Fe448Neg(out.n.c, out.n.c);
  Twice(out.z, in.z);
}

void EdwardsMath::Ed448TwistedFromProjectiveNiels(Ed448TwistedExtensiblePoint& out,
                                                  const Ed448ProjectiveNielsPoint& in) {
  fe448::Sub(out.t, in.n.b, in.n.a);
  fe448::Add(out.u, in.n.b, in.n.a);
  fe448::Mul(out.x, in.z, out.t);
  fe448::Mul(out.y, in.z, out.u);
  fe448::Square(out.z, in.z);
}

void EdwardsMath::Ed448TwistedFromNiels(Ed448TwistedExtensiblePoint& out, const Ed448NielsPoint& in) {
  fe448::Sub(out.x, in.b, in.a);
  fe448::Add(out.y, in.b, in.a);
  SetAffine(out, out.x, out.y);
}

void EdwardsMath::Ed448TwistedDouble(Ed448TwistedExtensiblePoint& p) {
  const Ed448TwistedExtensiblePoint in = p;
  DoubleInto(p.x, p.y, p.z, p.t, p.u, in.x, in.y, in.z, true);
}

void EdwardsMath::Ed448Double(Ed448ExtensiblePoint& p) {
  const Ed448ExtensiblePoint in = p;
  DoubleInto(p.x, p.y, p.z, p.t, p.u, in.x, in.y, in.z, false);
}

void EdwardsMath::Ed448AddNiels(Ed448TwistedExtensiblePoint& p, const Ed448NielsPoint& q) {
  AddNielsSigned(p, q, false);
}

void EdwardsMath::Ed448SubNiels(Ed448TwistedExtensiblePoint& p, const Ed448NielsPoint& q) {
  AddNielsSigned(p, q, true);
}

void EdwardsMath::Ed448AddProjectiveNiels(Ed448TwistedExtensiblePoint& p, const Ed448ProjectiveNielsPoint& q) {
  fe448::Mul(p.z, p.z, q.z);
  AddNielsSigned(p, q.n, false);
}

void EdwardsMath::Ed448SubProjectiveNiels(Ed448TwistedExtensiblePoint& p, const Ed448ProjectiveNielsPoint& q) {
  fe448::Mul(p.z, p.z, q.z);
  AddNielsSigned(p, q.n, true);
}

void EdwardsMath::Ed448Add(Ed448ExtensiblePoint& p, const Ed448ExtensiblePoint& q) {
  Fe448 a, b, c, e, f, g, h, i, t1, u1, s1, s2;
  fe448::Mul(a, p.x, q.x);
  fe448::Mul(b, p.y, q.y);
  fe448::Mul(c, p.z, q.z);
  fe448::Mul(e, a, b);
  fe448::MulWord(f, e, 39081);
  fe448::Square(g, c);
  fe448::Add(h, g, f);
  fe448::Sub(i, g, f);
  fe448::Add(s1, p.x, p.y);
  fe448::Add(s2, q.x, q.y);
  fe448::Mul(s1, s1, s2);
  fe448::Sub(s1, s1, a);
  fe448::Sub(s1, s1, b);
  // t = C*E and u = C*(B - A) keep t*u = x*y/z.
  fe448::Mul(t1, c, s1);
  fe448::Sub(s2, b, a);
  fe448::Mul(u1, c, s2);
  fe448::Mul(p.x, h, t1);
  fe448::Mul(p.y, i, u1);
  fe448::Mul(p.z, h, i);
  p.t = t1;
  p.u = u1;
}

void EdwardsMath::Ed448NielsCNeg(Ed448NielsPoint& p, uint32_t mask) {
  Fe448CSwap(p.a, p.b, mask & 1);
  Fe448CNeg(p.c, mask);
}

void EdwardsMath::Ed448ProjectiveNielsCNeg(Ed448ProjectiveNielsPoint& p, uint32_t mask) {
  Ed448NielsCNeg(p.n, mask);
}

void EdwardsMath::Ed448TwistPoint(Ed448TwistedExtensiblePoint& out, const Ed448ExtensiblePoint& in) {
  Fe448 x, y;
  MapCurves(x, y, in.x, in.y, in.z, true);
  SetAffine(out, x, y);
}

void EdwardsMath::Ed448Untwist(Ed448ExtensiblePoint& out, const Ed448TwistedExtensiblePoint& in) {
  Fe448 x, y;
  MapCurves(x, y, in.x, in.y, in.z, false);
  SetAffine(out, x, y);
}

void EdwardsMath::Ed448TwistAndDouble(Ed448TwistedExtensiblePoint& out, const Ed448ExtensiblePoint& in) {
  Ed448TwistedExtensiblePoint t;
  Ed448TwistPoint(t, in);
  Ed448TwistedDouble(t);
  out = t;
}

void EdwardsMath::Ed448UntwistAndDouble(Ed448ExtensiblePoint& out, const Ed448TwistedExtensiblePoint& in) {
  Ed448ExtensiblePoint t;
  Ed448Untwist(t, in);
  Ed448Double(t);
  out = t;
}

int EdwardsMath::EncodeEd448Point(unsigned char* bytes, int length, const Ed448ExtensiblePoint& in) {
  if (bytes == nullptr || length < 57) return kEdwardsShortBuffer;
  Fe448 x, y;
  Affine(x, y, in.x, in.y, in.z);
  Fe448Encode(bytes, 56, y);
  bytes[56] = static_cast<unsigned char>(Fe448LowBit(x) << 7);
  return 0;
}

int EdwardsMath::EncodeEd448Twisted(unsigned char* bytes, int length, const Ed448TwistedExtensiblePoint& in) {
  Ed448ExtensiblePoint p;
  Ed448Untwist(p, in);
  return EncodeEd448Point(bytes, length, p);
}

int EdwardsMath::DecodeEd448Point(Ed448ExtensiblePoint& out, const unsigned char* bytes, int length) {
  if (bytes == nullptr || length < 57) return 0;
  if ((bytes[56] & 0x7F) != 0) return 0;
  Fe448 y;
  if (!Fe448Decode(y, bytes, 56)) return 0;
  // x = sqrt(u / v) = u^3 v (u^5 v^3)^((p - 3) / 4), u = y^2 - 1, v = d y^2 - 1.
  Fe448 yy, u, v, u2, u3, u5, v2, v3, t, x, check;
  fe448::Square(yy, y);
  u = yy;
  Fe448SubWord(u, 1);
  fe448::MulWord(v, yy, 39081);
  Fe448AddWord(v, 1);
  Fe448Neg(v, v);
  fe448::Square(u2, u);
  fe448::Mul(u3, u2, u);
  fe448::Mul(u5, u3, u2);
  fe448::Square(v2, v);
  fe448::Mul(v3, v2, v);
  fe448::Mul(t, u5, v3);
  Fe448InverseSqrt(t, t);
  fe448::Mul(x, u3, v);
  fe448::Mul(x, x, t);
  fe448::Square(check, x);
  fe448::Mul(check, check, v);
  if (!Fe448Equal(check, u)) return 0;
  const int sign = bytes[56] >> 7;
  if (sign != 0 && Fe448IsZero(x)) return 0;
  if (Fe448LowBit(x) != sign) Fe448Neg(x, x);
  SetAffine(out, x, y);
  return 1;
}

void EdwardsMath::EncodeEd448Coordinate(Fe448& out, const Ed448TwistedExtensiblePoint& in) {
  Fe448 l0, l1, l2, l3, b;
  fe448::Mul(l3, in.y, in.x);
  fe448::Add(b, in.y, in.x);
  fe448::Square(b, b);
  fe448::Sub(b, b, l3);
  fe448::Sub(b, b, l3);
  fe448::Square(l2, in.z);
  fe448::Square(l1, l2);
  Twice(b, b);
  fe448::MulWord(l2, b, 39082);
  Fe448Neg(l2, l2);
  fe448::MulWord(b, l2, 39082);
  Fe448Neg(b, b);
  fe448::Mul(l0, l2, l1);
  fe448::Mul(l2, b, l0);
  Fe448InverseSqrt(l0, l2);
  fe448::Mul(l1, b, l0);
  fe448::Square(b, l0);
  fe448::Mul(l0, l2, b);
  fe448::Mul(out, l1, l3);
}

// The encoding is s = e * sqrt(d - 1) * x * y for the affine twisted point,
// with e = +-1 fixed by which root the inverse square root picks; it is the
// same for P and P + (0, -1). Decoding solves y^2 - x^2 = 1 + m^2 and
// x^2 + y^2 = n for m = x*y*sqrt(d - 1), trying both signs of n and keeping
// the candidate that encodes back to s.
uint32_t EdwardsMath::DecodeEd448Coordinate(Ed448TwistedExtensiblePoint& out, const Fe448& s) {
  Fe448 m, m2, diff, n2, n, xx, yy, x, y, inv2, t;
  uint32_t found = 0;
  Ed448TwistedIdentity(out);
  Fe448 sqrtInv;
  Fe448Invert(sqrtInv, kSqrtDMinusOne);
  Fe448SetWord(inv2, 2);
  Fe448Invert(inv2, inv2);
  for (int signM = 0; signM < 2; ++signM) {
    Fe448Copy(m, s);
    Fe448CNeg(m, signM != 0 ? 0xFFFFFFFFu : 0);
    fe448::Square(m2, m);
    Fe448Copy(diff, m2);
    Fe448AddWord(diff, 1);  // y^2 - x^2
    // (x^2 + y^2)^2 = (y^2 - x^2)^2 + 4 x^2 y^2, x^2 y^2 = m^2 / (d - 1).
    fe448::Square(n2, diff);
    fe448::Mul(t, m2, sqrtInv);
    fe448::Mul(t, t, sqrtInv);
    fe448::MulWord(t, t, 4);
    fe448::Add(n2, n2, t);
    Fe448InverseSqrt(t, n2);
    fe448::Mul(n, n2, t);
    for (int signN = 0; signN < 2; ++signN) {
      Fe448 nn = n;
      Fe448CNeg(nn, signN != 0 ? 0xFFFFFFFFu : 0);
      fe448::Sub(xx, nn, diff);
      fe448::Mul(xx, xx, inv2);
      fe448::Add(yy, nn, diff);
      fe448::Mul(yy, yy, inv2);
      Fe448InverseSqrt(t, xx);
      fe448::Mul(x, xx, t);
      fe448::Square(t, x);
      if (!Fe448Equal(t, xx)) continue;
      // y follows from x*y = m / sqrt(d - 1).
      if (Fe448IsZero(x)) {
        Fe448InverseSqrt(t, yy);
        fe448::Mul(y, yy, t);
      } else {
        Fe448Invert(t, x);
        fe448::Mul(y, m, sqrtInv);
        fe448::Mul(y, y, t);
      }
      Ed448TwistedExtensiblePoint cand;
      cand.x = x;
      cand.y = y;
      Fe448One(cand.z);
      cand.t = x;
      cand.u = y;
      if (!Ed448TwistedOnCurve(cand)) continue;
      Fe448 back;
      EncodeEd448Coordinate(back, cand);
      if (!Fe448Equal(back, s)) continue;
      out = cand;
      found = 0xFFFFFFFFu;
      return found;
    }
  }
  return found;
}

namespace {

// X1 Z2 = X2 Z1 and Y1 Z2 = Y2 Z1.
int CrossEqual(const Fe448& x1, const Fe448& y1, const Fe448& z1, const Fe448& x2, const Fe448& y2,
               const Fe448& z2) {
  Fe448 l, r;
  fe448::Mul(l, x1, z2);
  fe448::Mul(r, x2, z1);
  uint32_t eq = M::Fe448Equal(l, r);
  fe448::Mul(l, y1, z2);
  fe448::Mul(r, y2, z1);
  eq &= M::Fe448Equal(l, r);
  return eq != 0 ? 1 : 0;
}

}  // namespace

int EdwardsMath::Ed448PointsEqual(const Ed448TwistedExtensiblePoint& a, const Ed448TwistedExtensiblePoint& b) {
  return CrossEqual(a.x, a.y, a.z, b.x, b.y, b.z);
}

int EdwardsMath::Ed448ExtensibleEqual(const Ed448ExtensiblePoint& a, const Ed448ExtensiblePoint& b) {
  return CrossEqual(a.x, a.y, a.z, b.x, b.y, b.z);
}

int EdwardsMath::Ed448AffineEqual(const Ed448AffinePoint& a, const Ed448AffinePoint& b) {
  return (Fe448Equal(a.x, b.x) & Fe448Equal(a.y, b.y)) != 0 ? 1 : 0;
}

uint32_t EdwardsMath::Ed448ZSquareTest(const Ed448ExtensiblePoint& p) {
  Fe448 zz, xx;
  fe448::Square(zz, p.z);
  fe448::Square(xx, p.x);
  fe448::Sub(zz, zz, xx);
  return Fe448IsSquare(zz);
}

uint32_t EdwardsMath::Ed448TwistedZSquareTest(const Ed448TwistedExtensiblePoint& p) {
  Fe448 zz, xx;
  fe448::Square(zz, p.z);
  fe448::Square(xx, p.x);
  fe448::Add(zz, zz, xx);
  return Fe448IsSquare(zz);
}

void EdwardsMath::Ed448ExtensibleCoordinate(Fe448& out, const Ed448ExtensiblePoint& in) {
  Ed448TwistedExtensiblePoint t;
  Ed448TwistPoint(t, in);
  EncodeEd448Coordinate(out, t);
}

uint32_t EdwardsMath::Ed448AffineFromCoordinate(Ed448AffinePoint& out, const Fe448& s) {
  Ed448TwistedExtensiblePoint t;
  const uint32_t ok = DecodeEd448Coordinate(t, s);
  Ed448ExtensiblePoint p;
  Ed448Untwist(p, t);
  Affine(out.x, out.y, p.x, p.y, p.z);
  return ok;
}

uint32_t EdwardsMath::Ed448AffineOnCurve(const Ed448AffinePoint& p) {
  Fe448 xx, yy, l, r;
  fe448::Square(xx, p.x);
  fe448::Square(yy, p.y);
  fe448::Add(l, xx, yy);
  Fe448SubWord(l, 1);
  fe448::Mul(r, xx, yy);
  fe448::MulWord(r, r, 39081);
  fe448::Add(l, l, r);
  return Fe448IsZero(l);
}

namespace {

// Z^2 (a X^2 + Y^2) = Z^4 + d X^2 Y^2 and t*u*z = x*y.
uint32_t OnCurveProjective(const Fe448& X, const Fe448& Y, const Fe448& Z, const Fe448& T, const Fe448& U,
                           bool twisted) {
  Fe448 xx, yy, zz, l, r, w;
  fe448::Square(xx, X);
  fe448::Square(yy, Y);
  fe448::Square(zz, Z);
  if (twisted)
    fe448::Sub(l, yy, xx);
  else
    fe448::Add(l, yy, xx);
  fe448::Mul(l, l, zz);
  fe448::Square(r, zz);
  fe448::Mul(w, xx, yy);
  fe448::MulWord(w, w, twisted ? 39082 : 39081);
  fe448::Sub(r, r, w);
  uint32_t ok = M::Fe448Equal(l, r);
  fe448::Mul(l, T, U);
  fe448::Mul(l, l, Z);
  fe448::Mul(r, X, Y);
  return ok & M::Fe448Equal(l, r);
}

}  // namespace

uint32_t EdwardsMath::Ed448ExtensibleOnCurve(const Ed448ExtensiblePoint& p) {
  return OnCurveProjective(p.x, p.y, p.z, p.t, p.u, false);
}

uint32_t EdwardsMath::Ed448TwistedOnCurve(const Ed448TwistedExtensiblePoint& p) {
  return OnCurveProjective(p.x, p.y, p.z, p.t, p.u, true);
}

int EdwardsMath::Ed448BasePoint(Ed448AffinePoint& out) {
  out.x = kBaseX;
  out.y = kBaseY;
  return 0;
}

int EdwardsMath::Ed448AlternateBasePoint(Ed448AffinePoint& out) {
  out.x = kAltBaseX;
  Fe448SetWord(out.y, 19);
  return Ed448AffineOnCurve(out) != 0 ? 0 : kEdwardsRange;
}

}  // namespace tornell
