#include <gtest/gtest.h>

#include "EcTestUtil.h"
#include "ProcessorPath.h"
#include "crypto/ecc/curve/BinaryField.h"
#include "crypto/ecc/curve/EcCurve.h"
#include "crypto/ecc/curve/EcPointMath.h"
#include "crypto/random/RandomSource.h"

using namespace tornell;
using ectest::Big;
using ectest::Hex;
using ectest::Param;
using ectest::Widened;

namespace {

struct PrimeCase {
  int curve;  // named-curve index whose prime is used
  int reductionId;
};

}  // namespace

// Prime-field operations against Python over primes of every shape the
// square root distinguishes (3 mod 4, 5 mod 8, 1 mod 8) and every fast reduction.
TEST(PrimeField, AgreesWithPython) {
  REQUIRE_OR_SKIP(ectest::HasPython(), "python3 with cryptography not installed");
  const PrimeCase cases[] = {{0, 0x6103}, {1, 0x6104}, {2, 0x6105}, {11, 0x6101}, {13, 0x6102}, {13, 0x6100},
                             {14, 0x6100}, {3, 0x6100}, {70, 0x6100}, {76, 0x6100}, {78, 0x6100}, {60, 0x6100}};
  for (const PrimeCase& c : cases) {
    EcCurve curve(c.curve);
    const EcBigInt p = Param(curve.p);
    SCOPED_TRACE(Hex(p));
    const auto rows = ectest::RunScript(ectest::ScriptPath("oracle.py") + " prime " + Hex(p) + " 6");
    ASSERT_GE(rows.size(), 30u);
    EcBigInt t1, t2, out;
    for (const auto& r : rows) {
      SCOPED_TRACE(r[0] + " " + r[1]);
      const EcBigInt a = Big(r[1]);
      const EcBigInt b = Big(r[2]);
      if (r[0] == "mul") {
        ASSERT_EQ(EcPointMath::FieldMultiply(a, b, p, c.reductionId, out), 0);
        EXPECT_EQ(Hex(out), r[3]);
        EXPECT_EQ(out.wordCount, p.wordCount);
      } else if (r[0] == "add") {
        ASSERT_EQ(EcPointMath::FieldAdd(a, b, p, out), 0);
        EXPECT_EQ(Hex(out), r[3]);
      } else if (r[0] == "sub") {
        ASSERT_EQ(EcPointMath::FieldSubtract(a, b, p, out), 0);
        EXPECT_EQ(Hex(out), r[3]);
      } else if (r[0] == "halve") {
        ASSERT_EQ(EcPointMath::FieldHalve(a, p, out), 0);
        EXPECT_EQ(Hex(out), r[2]);
      } else if (r[0] == "inv") {
        ASSERT_EQ(EcPointMath::FieldInvert(a, p, out), 0);
        EXPECT_EQ(Hex(out), r[2]);
      } else if (r[0] == "sqrt") {
        int found = -1;
        ASSERT_EQ(EcPointMath::FieldSqrt(a, p, c.reductionId, found, out), 0);
        EXPECT_EQ(found, r[2] == "1" ? 1 : 0);
        if (found == 1) {
          EcBigInt sq;
          ASSERT_EQ(EcPointMath::FieldSquare(out, p, c.reductionId, sq), 0);
          EXPECT_EQ(Hex(sq), Hex(a));
        }
      }
    }
  }
}

TEST(PrimeField, FastReductionEqualsGeneric) {
  RandomSource random;
  for (int index : {11, 13, 0, 1, 2}) {
    EcCurve curve(index);
    const EcBigInt p = Param(curve.p);
    EcBigInt t1, t2;
    for (int i = 0; i < 200; ++i) {
      EcBigInt a, b, prod, fast, generic;
      EXPECT_EQ(EcBigInt::Random(a, p.wordCount, random), 0);
      EXPECT_EQ(EcBigInt::Random(b, p.wordCount, random), 0);
      if (i % 10 == 0) {  // values at the top of the field reach every correction step
        for (int w = 0; w < p.wordCount; ++w) a.words[w] = p.words[w];
        a.words[0] -= 1 + static_cast<uint32_t>(i);
      }
      EXPECT_EQ(EcPointMath::Reduce(a, p, 0x6100), 0);
      EXPECT_EQ(EcPointMath::Reduce(b, p, 0x6100), 0);
      if (i == 0) EcBigInt::Copy(b, a);  // (p - 1)^2, the largest product
      ASSERT_EQ(EcBigInt::Multiply(a, b, prod), 0);
      EcBigInt::Copy(fast, prod);
      EcBigInt::Copy(generic, prod);
      ASSERT_EQ(EcPointMath::Reduce(fast, p, curve.reductionId), 0);
      ASSERT_EQ(EcPointMath::Reduce(generic, p, 0x6100), 0);
      ASSERT_EQ(Hex(fast), Hex(generic)) << "curve " << index;
    }
  }
}

// Both multiplication kernels: the carry-less instruction where the machine
// has it, and the portable masked comb.
class BinaryKernel : public ::testing::TestWithParam<uint32_t> {};

INSTANTIATE_TEST_SUITE_P(Kernels, BinaryKernel,
                         ::testing::Values(tornell::cpu::path::kCarrylessMultiply, testsupport::kPortablePath),
                         [](const ::testing::TestParamInfo<uint32_t>& info) {
                           return std::string(info.param != testsupport::kPortablePath ? "Carryless" : "Portable");
                         });

TEST_P(BinaryKernel, AgreesWithPython) {
  USE_PROCESSOR_PATH_OR_SKIP(GetParam());
  REQUIRE_OR_SKIP(ectest::HasPython(), "python3 with cryptography not installed");
  // fast polynomials, generic ones, and the even degree of none in the table
  EcBigInt even;
  EcPointMath::MakePolynomial(even, 128, 1, 2, 7);
  std::vector<EcBigInt> polys;
  for (int index : {19, 24, 27, 29, 31, 15, 17, 22, 26}) {
    EcCurve curve(index);
    polys.push_back(Param(curve.p));
  }
  polys.push_back(even);
  for (const EcBigInt& f : polys) {
    SCOPED_TRACE(Hex(f));
    const auto rows = ectest::RunScript(ectest::ScriptPath("oracle.py") + " binary " + Hex(f) + " 4");
    ASSERT_GE(rows.size(), 12u);
    EcBigInt scratch, out;
    for (const auto& r : rows) {
      SCOPED_TRACE(r[0] + " " + r[1]);
      const EcBigInt a = Big(r[1]);
      if (r[0] == "mul") {
        ASSERT_EQ(EcPointMath::BinaryMultiply(a, Big(r[2]), f, out), 0);
        EXPECT_EQ(Hex(out), r[3]);
      } else if (r[0] == "sqr") {
        ASSERT_EQ(EcPointMath::BinarySquare(a, f, out), 0);
        EXPECT_EQ(Hex(out), r[2]);
      } else if (r[0] == "inv") {
        ASSERT_EQ(EcPointMath::BinaryInvert(a, f, out), 0);
        EXPECT_EQ(Hex(out), r[2]);
      } else if (r[0] == "halftrace") {
        ASSERT_EQ(EcPointMath::BinaryHalfTrace(a, f, out), 0);
        EXPECT_EQ(Hex(out), r[2]);
      }
    }
  }
}

TEST(BinaryField, PolynomialsAndQuadratics) {
  EcBigInt f;
  EcPointMath::MakePolynomial(f, 163, 3, 6, 7);
  EXPECT_EQ(f.wordCount, 6);
  EXPECT_EQ(Hex(f), "800000000000000000000000000000000000000c9");
  int m = 0, k1 = 0, k2 = 0, k3 = 0;
  EcPointMath::PolynomialExponents(f, m, k1, k2, k3);
  EXPECT_EQ(m, 163);
  EXPECT_EQ(k1, 3);
  EXPECT_EQ(k2, 6);
  EXPECT_EQ(k3, 7);
  EcPointMath::MakePolynomial(f, 233, 74, 0, 0);
  EcPointMath::PolynomialExponents(f, m, k1, k2, k3);
  EXPECT_EQ(m, 233);
  EXPECT_EQ(k1, 74);
  EXPECT_EQ(k2 + k3, 0);

  for (uint32_t b = 0; b < 256; ++b) {
    uint32_t spread = 0;
    for (int i = 0; i < 8; ++i) spread |= ((b >> i) & 1u) << (2 * i);
    ASSERT_EQ(EcPointMath::SquareSpreadTable[b], spread);
  }

  // x = 0: y is the square root of b
  EcCurve b163(21);
  const EcBigInt f163 = Param(b163.p);
  EcBigInt zeroX, y0, y0sq;
  EcPointMath::SetZero(zeroX, f163);
  ASSERT_EQ(EcPointMath::BinaryDecompressY(0, zeroX, Widened(b163.a, f163), Widened(b163.b, f163), f163, y0), 1);
  EXPECT_EQ(EcPointMath::BinarySquare(y0, f163, y0sq), 0);
  EXPECT_EQ(Hex(y0sq), Hex(Param(b163.b)));

  // z^2 + z = c has a solution exactly when c = w^2 + w for some w; odd and even degree
  RandomSource random;
  EcBigInt even;
  EcPointMath::MakePolynomial(even, 128, 1, 2, 7);
  EcCurve k163(19);
  const EcBigInt odd = Param(k163.p);
  const EcBigInt* polys[] = {&odd, &even};
  for (const EcBigInt* poly : polys) {
    for (int i = 0; i < 4; ++i) {
      EcBigInt w, w2, c, z, z2, scratch;
      EXPECT_EQ(EcBigInt::Random(w, poly->wordCount, random), 0);
      EXPECT_EQ(EcPointMath::BinaryReduce(w, *poly), 0);
      EXPECT_EQ(EcPointMath::BinarySquare(w, *poly, w2), 0);
      EXPECT_EQ(EcPointMath::BinaryAdd(w2, w, *poly, c), 0);
      ASSERT_EQ(EcPointMath::BinarySolveQuadratic(c, *poly, z), 1);
      EXPECT_EQ(EcPointMath::BinarySquare(z, *poly, z2), 0);
      EXPECT_EQ(EcPointMath::BinaryAdd(z2, z, *poly, z2), 0);
      EXPECT_EQ(Hex(z2), Hex(c));
      EcBigInt one;
      EcBigInt cPlusOne;  // trace flips for odd m: no solution then
      EXPECT_EQ(EcPointMath::BinaryAdd(c, one, *poly, cPlusOne), 0);
      if (poly == &odd) {
        EXPECT_EQ(EcPointMath::BinarySolveQuadratic(cPlusOne, *poly, z), 0);
      }
    }
  }
}

// The constant-time multiplications against the plain affine double-and-add,
// and the point operations' special cases.
TEST_P(BinaryKernel, ScalarMultiplicationForms) {
  USE_PROCESSOR_PATH_OR_SKIP(GetParam());
  RandomSource random;
  // the prime curves once, the binary ones under both kernels
  const std::vector<int> all = {0, 13, 3, 14, 78, 19, 15, 20, 32};
  const std::vector<int> binary = {19, 15, 20};
  for (int index : GetParam() ? all : binary) {
    SCOPED_TRACE(index);
    EcCurve curve(index);
    const bool binary = curve.fieldType == ecfield::kBinary;
    const EcBigInt p = Param(curve.p);
    const EcBigInt a = Widened(curve.a, p);
    const EcBigInt b = Widened(curve.b, p);
    const EcBigInt gx = Widened(curve.Gx, p);
    const EcBigInt gy = Widened(curve.Gy, p);
    const EcBigInt n = Param(curve.n);
    for (int i = 0; i < 3; ++i) {
      EcBigInt k, x1, y1, x2, y2;
      EXPECT_EQ(EcBigInt::Random(k, n.wordCount, random), 0);
      if (i == 0) k = Big("2");
      if (binary) {
        ASSERT_EQ(EcPointMath::BinaryScalarMultiply(gx, gy, a, b, p, k, x1, y1), 0);
        ASSERT_EQ(EcPointMath::BinaryScalarMultiplyAffine(gx, gy, a, p, k, x2, y2), 0);
        EXPECT_EQ(EcPointMath::BinaryIsOnCurve(x1, y1, a, b, p), 1);
      } else {
        ASSERT_EQ(EcPointMath::ScalarMultiply(gx, gy, p, a, k, curve.reductionId, x1, y1), 0);
        ASSERT_EQ(EcPointMath::ScalarMultiplyAffine(gx, gy, p, a, k, curve.reductionId, x2, y2), 0);
        EXPECT_EQ(EcPointMath::IsOnCurve(x1, y1, a, b, p, curve.reductionId), 1);
      }
      EXPECT_EQ(Hex(x1), Hex(x2));
      EXPECT_EQ(Hex(y1), Hex(y2));
      EXPECT_EQ(x1.wordCount, p.wordCount);
    }
    // 0 gives infinity, 1 gives P, n - 1 gives -P
    EcBigInt x, y, nm1;
    EcBigInt zero;
    EcBigInt::SetZero(zero);
    EXPECT_EQ(EcBigInt::Subtract(n, EcBigInt::One, nm1), 0);
    if (binary) {
      EXPECT_EQ(EcPointMath::BinaryScalarMultiply(gx, gy, a, b, p, zero, x, y), 0);
      EXPECT_EQ(x.wordCount, 0);
      EXPECT_EQ(EcPointMath::BinaryScalarMultiply(gx, gy, a, b, p, EcBigInt::One, x, y), 0);
      EXPECT_EQ(Hex(x), Hex(gx));
      EXPECT_EQ(Hex(y), Hex(gy));
      EXPECT_EQ(EcPointMath::BinaryScalarMultiply(gx, gy, a, b, p, nm1, x, y), 0);
      EcBigInt negY;
      EXPECT_EQ(EcPointMath::BinaryAdd(gx, gy, p, negY), 0);
      EXPECT_EQ(Hex(x), Hex(gx));
      EXPECT_EQ(Hex(y), Hex(negY));
      EcBigInt x3, y3;
      EXPECT_EQ(EcPointMath::BinaryAffineAdd(gx, gy, gx, negY, a, p, x3, y3), 0);
      EXPECT_EQ(x3.wordCount, 0);
      // Lopez-Dahab doubling and mixed addition agree with affine
      EcBigInt X, Y, Z, ax, ay, dx, dy;
      EXPECT_EQ(EcPointMath::LopezDahabDouble(gx, gy, EcBigInt::One, a, b, p, X, Y, Z), 0);
      EXPECT_EQ(EcPointMath::LopezDahabAddAffine(X, Y, Z, gx, gy, a, b, p, X, Y, Z), 0);
      EXPECT_EQ(EcPointMath::LopezDahabToAffine(X, Y, Z, p, ax, ay), 0);
      EXPECT_EQ(EcPointMath::BinaryAffineDouble(gx, gy, a, p, dx, dy), 0);
      EXPECT_EQ(EcPointMath::BinaryAffineAdd(dx, dy, gx, gy, a, p, dx, dy), 0);
      EXPECT_EQ(Hex(ax), Hex(dx));
      EXPECT_EQ(Hex(ay), Hex(dy));
    } else {
      EXPECT_EQ(EcPointMath::ScalarMultiply(gx, gy, p, a, zero, curve.reductionId, x, y), 0);
      EXPECT_EQ(x.wordCount, 0);
      EXPECT_EQ(EcPointMath::IsZero(y, p), 1);
      EXPECT_EQ(EcPointMath::ScalarMultiply(gx, gy, p, a, EcBigInt::One, curve.reductionId, x, y), 0);
      EXPECT_EQ(Hex(x), Hex(gx));
      EXPECT_EQ(Hex(y), Hex(gy));
      EXPECT_EQ(EcPointMath::ScalarMultiply(gx, gy, p, a, nm1, curve.reductionId, x, y), 0);
      EcBigInt negY;
      EcBigInt zeroP;
      EcPointMath::SetZero(zeroP, p);
      EXPECT_EQ(EcPointMath::FieldSubtract(zeroP, gy, p, negY), 0);
      EXPECT_EQ(Hex(x), Hex(gx));
      EXPECT_EQ(Hex(y), Hex(negY));
      EcBigInt x3, y3;
      EXPECT_EQ(EcPointMath::AffineAdd(gx, gy, gx, negY, p, a, curve.reductionId, x3, y3), 0);
      EXPECT_EQ(x3.wordCount, 0);
      EcBigInt sx, sy, dx, dy;
      EXPECT_EQ(EcPointMath::AffineAdd(gx, gy, gx, gy, p, a, curve.reductionId, sx, sy), 0);
      EXPECT_EQ(EcPointMath::AffineDouble(gx, gy, p, a, curve.reductionId, dx, dy), 0);
      EXPECT_EQ(Hex(sx), Hex(dx));
      // Jacobian doubling and mixed addition agree with affine: 3G both ways
      EcBigInt X, Y, Z, ax, ay;
      EXPECT_EQ(EcPointMath::JacobianDouble(gx, gy, EcBigInt::One, p, a, curve.reductionId, X, Y, Z), 0);
      EXPECT_EQ(EcPointMath::JacobianAddAffine(X, Y, Z, gx, gy, p, a, curve.reductionId, X, Y, Z), 0);
      EXPECT_EQ(EcPointMath::JacobianToAffine(X, Y, Z, p, curve.reductionId, ax, ay), 0);
      EXPECT_EQ(EcPointMath::AffineAdd(dx, dy, gx, gy, p, a, curve.reductionId, sx, sy), 0);
      EXPECT_EQ(Hex(ax), Hex(sx));
      EXPECT_EQ(Hex(ay), Hex(sy));
      EcBigInt one;
      EcBigInt three = Big("3");
      EcBigInt aPlus3;
      EXPECT_EQ(EcPointMath::FieldAdd(a, three, p, aPlus3), 0);
      if (EcPointMath::IsZero(aPlus3, p) == 1) {
        EcBigInt X2, Y2, Z2;
        EXPECT_EQ(EcPointMath::JacobianDoubleAMinus3(gx, gy, one, p, curve.reductionId, X2, Y2, Z2), 0);
        EXPECT_EQ(EcPointMath::JacobianDouble(gx, gy, one, p, a, curve.reductionId, X, Y, Z), 0);
        EXPECT_EQ(Hex(X2), Hex(X));
        EXPECT_EQ(Hex(Z2), Hex(Z));
      }
    }
  }
}

// The windowed multiplication runs over the scalar's whole width: scalars
// with leading zero windows, a lone top bit or a lone low bit give the plain
// double-and-add's results.
TEST(PointMath, ExtremeScalarsOfOneWidth) {
  EcCurve curve(0);
  const EcBigInt p = Param(curve.p);
  const EcBigInt a = Widened(curve.a, p);
  const EcBigInt gx = Widened(curve.Gx, p);
  const EcBigInt gy = Widened(curve.Gy, p);
  const char* scalars[] = {"0000000000000000000000000000000000000000000000000000000000000001",
                           "8000000000000000000000000000000000000000000000000000000000000000",
                           "00000000ffffffffffffffffffffffffffffffffffffffffffffffffffffffff",
                           "0000000000000000000000000000000000000000000000000000000000000010"};
  for (const char* s : scalars) {
    EcBigInt k = Big(s);
    k.wordCount = 8;  // the width a caller gives a scalar of a 256-bit group
    EcBigInt x1, y1, x2, y2;
    ASSERT_EQ(EcPointMath::ScalarMultiply(gx, gy, p, a, k, curve.reductionId, x1, y1), 0);
    ASSERT_EQ(EcPointMath::ScalarMultiplyAffine(gx, gy, p, a, k, curve.reductionId, x2, y2), 0);
    EXPECT_EQ(Hex(x1), Hex(x2)) << s;
    EXPECT_EQ(Hex(y1), Hex(y2)) << s;
  }
}

// Parameters from outside may be composite or reducible: an element without
// an inverse ends the inversion instead of looping, and zero is refused.
TEST(PointMath, InversionWithoutInverseEnds) {
  EcBigInt out;
  EXPECT_EQ(EcPointMath::FieldInvert(Big("3"), Big("f"), out), 0);
  EXPECT_EQ(EcPointMath::FieldInvert(Big("0"), Big("f"), out), 20481);
  EXPECT_EQ(EcPointMath::BinaryInvert(Big("3"), Big("11"), out), 0);  // x + 1 divides x^4 + 1
  EXPECT_EQ(EcPointMath::BinaryInvert(Big("0"), Big("11"), out), 20481);
}
