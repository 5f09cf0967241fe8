#pragma once
// Field and point arithmetic of the short-Weierstrass curves over GF(p) and
// GF(2^m) on EcBigInt values. Stateless: every operation is static.
// Field elements keep the field's word count (leading zero words allowed);
// the point at infinity is an x (or X) whose word count is 0.
#include <cstdint>

#include "core/text/ByteString.h"
#include "crypto/ecc/curve/EcBigInt.h"

namespace tornell {

namespace ecreduction {
constexpr int kUnset = 0x6000;
constexpr int kGeneric = 0x6100;
constexpr int kP192 = 0x6101;
constexpr int kP224 = 0x6102;
constexpr int kP256 = 0x6103;
constexpr int kP384 = 0x6104;
constexpr int kP521 = 0x6105;
constexpr int kB163 = 0x6106;
constexpr int kB233 = 0x6107;
constexpr int kB283 = 0x6108;
constexpr int kB409 = 0x6109;
constexpr int kB571 = 0x610A;
}  // namespace ecreduction

class EcPointMath {
 public:
  // Byte conversions.
  [[nodiscard]] static int ToBytes(const EcBigInt& v, ByteString& out);
  [[nodiscard]] static int ToBytesFixed(const EcBigInt& v, int width, ByteString& out);

  // Prime field.
  static void SetZero(EcBigInt& x, const EcBigInt& p);
  static void SetOne(EcBigInt& x, const EcBigInt& p);
  static void SetWord(EcBigInt& x, const EcBigInt& p, uint32_t w);
  [[nodiscard]] static int IsZero(const EcBigInt& x, const EcBigInt& p);
  [[nodiscard]] static int IsOne(const EcBigInt& x, const EcBigInt& p);
  [[nodiscard]] static int Compare(const EcBigInt& a, const EcBigInt& b, const EcBigInt& p);

  // Prime-field points.
  [[nodiscard]] static int AffineAdd(const EcBigInt& x1, const EcBigInt& y1, const EcBigInt& x2, const EcBigInt& y2,
                                     const EcBigInt& p, const EcBigInt& a, int reductionId, EcBigInt& x3, EcBigInt& y3);
  // scalar·P in constant time for the scalar's value (its word count sets the work).
  [[nodiscard]] static int ScalarMultiply(const EcBigInt& x, const EcBigInt& y, const EcBigInt& p, const EcBigInt& a,
                                          const EcBigInt& scalar, int reductionId, EcBigInt& outX, EcBigInt& outY);
  // Plain double-and-add in affine coordinates; public scalars only.
  [[nodiscard]] static int ScalarMultiplyAffine(const EcBigInt& x, const EcBigInt& y, const EcBigInt& p,
                                                const EcBigInt& a, const EcBigInt& scalar, int reductionId,
                                                EcBigInt& outX, EcBigInt& outY);
  [[nodiscard]] static int DecompressY(int yBit, const EcBigInt& x, const EcBigInt& a, const EcBigInt& b,
                                       const EcBigInt& p, int reductionId, EcBigInt& outY);
  [[nodiscard]] static int IsOnCurve(const EcBigInt& x, const EcBigInt& y, const EcBigInt& a, const EcBigInt& b,
                                     const EcBigInt& p, int reductionId);

  // Binary field.
  static const uint32_t SquareSpreadTable[256];

  // Binary-field points.
  [[nodiscard]] static int BinaryAffineAdd(const EcBigInt& x1, const EcBigInt& y1, const EcBigInt& x2,
                                           const EcBigInt& y2, const EcBigInt& a, const EcBigInt& f, EcBigInt& x3,
                                           EcBigInt& y3);
  // scalar·P by a Montgomery ladder over a fixed number of steps.
  [[nodiscard]] static int BinaryScalarMultiply(const EcBigInt& x, const EcBigInt& y, const EcBigInt& a,
                                                const EcBigInt& b, const EcBigInt& f, const EcBigInt& scalar,
                                                EcBigInt& outX, EcBigInt& outY);
  [[nodiscard]] static int BinaryScalarMultiplyAffine(const EcBigInt& x, const EcBigInt& y, const EcBigInt& a,
                                                      const EcBigInt& f, const EcBigInt& scalar, EcBigInt& outX,
                                                      EcBigInt& outY);
  [[nodiscard]] static int BinaryIsOnCurve(const EcBigInt& x, const EcBigInt& y, const EcBigInt& a, const EcBigInt& b,
                                           const EcBigInt& f);
  [[nodiscard]] static int BinaryCompressBit(const EcBigInt& x, const EcBigInt& y, const EcBigInt& f);
  [[nodiscard]] static int BinaryDecompressY(int yBit, const EcBigInt& x, const EcBigInt& a, const EcBigInt& b,
                                             const EcBigInt& f, EcBigInt& outY);

  // Reduction polynomials.
  static void MakePolynomial(EcBigInt& out, unsigned m, int k1, int k2, int k3);
  static void PolynomialExponents(const EcBigInt& f, int& m, int& k1, int& k2, int& k3);
};

}  // namespace tornell
