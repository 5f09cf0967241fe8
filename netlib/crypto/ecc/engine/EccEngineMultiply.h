#pragma once
// The engine's one seam to point arithmetic: three scalar multiplications per
// curve. Every point and scalar crosses as fixed-width big-endian bytes
// (coordinates FieldBytes wide, scalars the order's width), so a dedicated
// backend for one curve plugs in by filling its row of the table.
#include "crypto/ecc/curve/EcCurve.h"
#include "crypto/ecc/engine/EccEngineScalar.h"

namespace tornell {

struct EccPointOps {
  static constexpr int kMaxBytes = 72;

  // k·G for a secret k; constant time in k.
  int (*multiplyBase)(const EcCurve& curve, const unsigned char* k, int kLength, unsigned char* x,
                      unsigned char* y, int& infinity);
  // k·P for a secret k and a point P on the curve; constant time in k.
  int (*multiplyPoint)(const EcCurve& curve, const unsigned char* px, const unsigned char* py,
                       const unsigned char* k, int kLength, unsigned char* x, unsigned char* y, int& infinity);
  // u1·G + u2·Q for public u1, u2 and a point Q on the curve.
  int (*multiplyTwo)(const EcCurve& curve, const unsigned char* u1, const unsigned char* u2, int uLength,
                     const unsigned char* qx, const unsigned char* qy, unsigned char* x, unsigned char* y,
                     int& infinity);
  // Optional (null where absent): match = 1 when u1·G + u2·Q is finite and its
  // x mod n equals r, for r below n; spares the conversion to affine x.
  int (*matchTwoX)(const EcCurve& curve, const unsigned char* u1, const unsigned char* u2, int uLength,
                   const unsigned char* qx, const unsigned char* qy, const unsigned char* r, int& match);
};

// The operations for a prebuilt curve (by its index) or the generic ones.
const EccPointOps& EccPointOpsFor(const EcCurve& curve);
// 1: every curve takes the generic operations, for tests that run both
// backends on the same cases; 0 (the default): the dedicated ones where they exist.
void EccUseGenericMultiply(int on);
// a^-1 mod n for a in 1..n-1, Montgomery form in and out (as f.Invert), by
// the curve's dedicated arithmetic where it has one; constant time in a.
void EccInvertScalar(const EcCurve& curve, const EccScalarField& f, const EccScalarField::Limbs a,
                     EccScalarField::Limbs out);
// The same for a public a (a signature's s), in variable time where the curve
// has dedicated arithmetic.
void EccInvertPublicScalar(const EcCurve& curve, const EccScalarField& f, const EccScalarField::Limbs a,
                           EccScalarField::Limbs out);
// Field-element arithmetic for the engine's own point checks.
bool EccPointOnCurve(const EcCurve& curve, const unsigned char* x, const unsigned char* y);
// True when the big-endian value is below the curve's p (the reduction
// polynomial of a binary field).
bool EccBelowModulus(const EcCurve& curve, const unsigned char* v, int length);

}  // namespace tornell
