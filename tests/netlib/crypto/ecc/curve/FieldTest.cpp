#include <gtest/gtest.h>

#include "EcTestUtil.h"
#include "ProcessorPath.h"
#include "crypto/ecc/curve/BinaryField.h"
#include "crypto/ecc/curve/EcCurve.h"
#include "crypto/ecc/curve/EcPointMath.h"
#include "crypto/ecc/curve/PrimeField.h"
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

// The working fields the point code runs on, between EcBigInt values and
// field elements.
struct PrimeOps {
  PrimeField f;
  PrimeOps(const EcBigInt& p, int id) { EXPECT_EQ(f.Init(p, id), 0); }
  FieldElem In(const EcBigInt& v) const {
    FieldElem e{};
    f.Load(v, e);
    return e;
  }
  EcBigInt Out(const FieldElem& e) const {
    EcBigInt v;
    f.Store(e, v);
    return v;
  }
};

struct BinaryOps {
  BinaryField f;
  explicit BinaryOps(const EcBigInt& poly) { EXPECT_EQ(f.Init(poly), 0); }
  FieldElem In(const EcBigInt& v) const {
    FieldElem e{};
    f.Load(v, e);
    return e;
  }
  EcBigInt Out(const FieldElem& e) const {
    EcBigInt v;
    f.Store(e, v);
    return v;
  }
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
    const PrimeOps ops(p, c.reductionId);
    const PrimeField& f = ops.f;
    for (const auto& r : rows) {
      SCOPED_TRACE(r[0] + " " + r[1]);
      const FieldElem a = ops.In(Big(r[1]));
      const FieldElem b = ops.In(Big(r[2]));
      FieldElem out;
      if (r[0] == "mul") {
        f.Mul(a, b, out);
        EXPECT_EQ(Hex(ops.Out(out)), r[3]);
        EXPECT_EQ(ops.Out(out).wordCount, p.wordCount);
      } else if (r[0] == "add") {
        f.Add(a, b, out);
        EXPECT_EQ(Hex(ops.Out(out)), r[3]);
      } else if (r[0] == "sub") {
        f.Sub(a, b, out);
        EXPECT_EQ(Hex(ops.Out(out)), r[3]);
      } else if (r[0] == "halve") {
        f.Halve(a, out);
        EXPECT_EQ(Hex(ops.Out(out)), r[2]);
      } else if (r[0] == "inv") {
        f.InvertFermat(a, out);
        EXPECT_EQ(Hex(ops.Out(out)), r[2]);
        FieldElem one;
        f.SetWord(one, 1);
        f.Divide(one, a, out);
        EXPECT_EQ(Hex(ops.Out(out)), r[2]);
      } else if (r[0] == "sqrt") {
        const int found = f.Sqrt(a, out);
        EXPECT_EQ(found, r[2] == "1" ? 1 : 0);
        if (found == 1) {
          FieldElem sq;
          f.Sqr(out, sq);
          EXPECT_EQ(Hex(ops.Out(sq)), Hex(ops.Out(a)));
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
    const PrimeOps fast(p, curve.reductionId), generic(p, 0x6100);
    for (int i = 0; i < 200; ++i) {
      EcBigInt a, b;
      EXPECT_EQ(EcBigInt::Random(a, p.wordCount, random), 0);
      EXPECT_EQ(EcBigInt::Random(b, p.wordCount, random), 0);
      if (i % 10 == 0) {  // values at the top of the field reach every correction step
        for (int w = 0; w < p.wordCount; ++w) a.words[w] = p.words[w];
        a.words[0] -= 1 + static_cast<uint32_t>(i);
      }
      const FieldElem x = generic.In(a);
      const FieldElem y = i == 0 ? x : generic.In(b);  // (p - 1)^2, the largest product
      FieldElem byFast, byGeneric;
      fast.f.Mul(x, y, byFast);
      generic.f.Mul(x, y, byGeneric);
      ASSERT_EQ(Hex(fast.Out(byFast)), Hex(generic.Out(byGeneric))) << "curve " << index;
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
    const BinaryOps ops(f);
    for (const auto& r : rows) {
      SCOPED_TRACE(r[0] + " " + r[1]);
      const FieldElem a = ops.In(Big(r[1]));
      FieldElem out;
      if (r[0] == "mul") {
        ops.f.Mul(a, ops.In(Big(r[2])), out);
        EXPECT_EQ(Hex(ops.Out(out)), r[3]);
      } else if (r[0] == "sqr") {
        ops.f.Sqr(a, out);
        EXPECT_EQ(Hex(ops.Out(out)), r[2]);
      } else if (r[0] == "inv") {
        ops.f.Invert(a, out);
        EXPECT_EQ(Hex(ops.Out(out)), r[2]);
        FieldElem one;
        ops.f.SetWord(one, 1);
        ops.f.Divide(one, a, out);
        EXPECT_EQ(Hex(ops.Out(out)), r[2]);
      } else if (r[0] == "halftrace") {
        ops.f.HalfTrace(a, out);
        EXPECT_EQ(Hex(ops.Out(out)), r[2]);
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
  EcBigInt zeroX, y0;
  EcPointMath::SetZero(zeroX, f163);
  ASSERT_EQ(EcPointMath::BinaryDecompressY(0, zeroX, Widened(b163.a, f163), Widened(b163.b, f163), f163, y0), 1);
  const BinaryOps ops163(f163);
  FieldElem y0sq;
  ops163.f.Sqr(ops163.In(y0), y0sq);
  EXPECT_EQ(Hex(ops163.Out(y0sq)), Hex(Param(b163.b)));

  // z^2 + z = c has a solution exactly when c = w^2 + w for some w; odd and even degree
  RandomSource source;
  EcBigInt even;
  EcPointMath::MakePolynomial(even, 128, 1, 2, 7);
  EcCurve k163(19);
  const EcBigInt odd = Param(k163.p);
  const EcBigInt* polys[] = {&odd, &even};
  for (const EcBigInt* poly : polys) {
    const BinaryOps ops(*poly);
    const BinaryField& bf = ops.f;
    for (int i = 0; i < 4; ++i) {
      EcBigInt random;
      EXPECT_EQ(EcBigInt::Random(random, poly->wordCount, source), 0);
      const FieldElem w = ops.In(random);  // reduced by the load
      FieldElem w2, c, z, z2;
      bf.Sqr(w, w2);
      bf.Add(w2, w, c);
      ASSERT_EQ(bf.SolveQuadratic(c, z), 1);
      bf.Sqr(z, z2);
      bf.Add(z2, z, z2);
      EXPECT_EQ(Hex(ops.Out(z2)), Hex(ops.Out(c)));
      FieldElem one, cPlusOne;  // trace flips for odd m: no solution then
      bf.SetWord(one, 1);
      bf.Add(c, one, cPlusOne);
      if (poly == &odd) {
        EXPECT_EQ(bf.SolveQuadratic(cPlusOne, z), 0);
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
      const BinaryOps ops(p);
      FieldElem sum;
      ops.f.Add(ops.In(gx), ops.In(gy), sum);
      const EcBigInt negY = ops.Out(sum);
      EXPECT_EQ(Hex(x), Hex(gx));
      EXPECT_EQ(Hex(y), Hex(negY));
      EcBigInt x3, y3;
      EXPECT_EQ(EcPointMath::BinaryAffineAdd(gx, gy, gx, negY, a, p, x3, y3), 0);
      EXPECT_EQ(x3.wordCount, 0);
      // G + G takes the doubling: the ladder's 2G
      EcBigInt dx, dy, lx, ly;
      EXPECT_EQ(EcPointMath::BinaryAffineAdd(gx, gy, gx, gy, a, p, dx, dy), 0);
      EXPECT_EQ(EcPointMath::BinaryScalarMultiply(gx, gy, a, b, p, Big("2"), lx, ly), 0);
      EXPECT_EQ(Hex(dx), Hex(lx));
      EXPECT_EQ(Hex(dy), Hex(ly));
    } else {
      EXPECT_EQ(EcPointMath::ScalarMultiply(gx, gy, p, a, zero, curve.reductionId, x, y), 0);
      EXPECT_EQ(x.wordCount, 0);
      EXPECT_EQ(EcPointMath::IsZero(y, p), 1);
      EXPECT_EQ(EcPointMath::ScalarMultiply(gx, gy, p, a, EcBigInt::One, curve.reductionId, x, y), 0);
      EXPECT_EQ(Hex(x), Hex(gx));
      EXPECT_EQ(Hex(y), Hex(gy));
      EXPECT_EQ(EcPointMath::ScalarMultiply(gx, gy, p, a, nm1, curve.reductionId, x, y), 0);
      const PrimeOps ops(p, curve.reductionId);
      FieldElem zeroP, difference;
      ops.f.SetWord(zeroP, 0);
      ops.f.Sub(zeroP, ops.In(gy), difference);
      const EcBigInt negY = ops.Out(difference);
      EXPECT_EQ(Hex(x), Hex(gx));
      EXPECT_EQ(Hex(y), Hex(negY));
      EcBigInt x3, y3;
      EXPECT_EQ(EcPointMath::AffineAdd(gx, gy, gx, negY, p, a, curve.reductionId, x3, y3), 0);
      EXPECT_EQ(x3.wordCount, 0);
      // G + G takes the doubling, and 2G + G the chord: the windowed 3G
      EcBigInt sx, sy, wx, wy;
      EXPECT_EQ(EcPointMath::AffineAdd(gx, gy, gx, gy, p, a, curve.reductionId, sx, sy), 0);
      EXPECT_EQ(EcPointMath::AffineAdd(sx, sy, gx, gy, p, a, curve.reductionId, sx, sy), 0);
      EXPECT_EQ(EcPointMath::ScalarMultiply(gx, gy, p, a, Big("3"), curve.reductionId, wx, wy), 0);
      EXPECT_EQ(Hex(sx), Hex(wx));
      EXPECT_EQ(Hex(sy), Hex(wy));
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
// an inverse ends the inversion instead of looping (a zero divisor never
// reaches it: the point code tests for zero first).
TEST(PointMath, InversionWithoutInverseEnds) {
  const PrimeOps prime(Big("f"), 0);
  FieldElem one, out;
  prime.f.SetWord(one, 1);
  prime.f.Divide(one, prime.In(Big("3")), out);
  const BinaryOps binary(Big("11"));  // x + 1 divides x^4 + 1
  binary.f.SetWord(one, 1);
  binary.f.Divide(one, binary.In(Big("3")), out);
  SUCCEED() << "both inversions returned";
}
