// The dedicated prime-curve code and the generic point arithmetic give the
// same points for random scalars and points on all three prebuilt curves.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "../edwards/VectorTools.h"
#include "core/ByteString.h"
#include "crypto/ecc/EcBigInt.h"
#include "crypto/ecc/EcCurve.h"
#include "crypto/ecc/EcPointMath.h"
#include "crypto/ecc/NistCurve.h"

namespace {

using namespace tornell;

struct Generic {
  EcBigInt p, a, gx, gy;
  int reductionId = 0;
  int width = 0;

  explicit Generic(const EcCurve& c) : reductionId(c.reductionId), width(c.FieldBytes()) {
    EcBigInt::FromBytes(c.p.Data(), c.p.Length(), p);
    EcCurve::ToEcBigInt(c.a, &p, a);
    EcCurve::ToEcBigInt(c.Gx, &p, gx);
    EcCurve::ToEcBigInt(c.Gy, &p, gy);
  }

  // scalar·(x, y) as "x y" hex, "-" for infinity.
  std::string Multiply(const uint8_t* x, const uint8_t* y, const uint8_t* k) const {
    EcBigInt px, py, s, ox, oy;
    Element(x, px);
    Element(y, py);
    EcBigInt::FromBytes(k, width, s);
    EXPECT_EQ(EcPointMath::ScalarMultiply(px, py, p, a, s, reductionId, ox, oy), 0);
    if (ox.wordCount == 0) return "-";
    ByteString bx, by;
    EcPointMath::ToBytesFixed(ox, width, bx);
    EcPointMath::ToBytesFixed(oy, width, by);
    return edtest::ToHex(bx.Bytes(), (size_t)width) + " " + edtest::ToHex(by.Bytes(), (size_t)width);
  }

  void Element(const uint8_t* bytes, EcBigInt& out) const {
    EcBigInt::FromBytes(bytes, width, out);
    for (int i = out.wordCount; i < p.wordCount; ++i) out.words[i] = 0;
    if (out.wordCount < p.wordCount) out.wordCount = p.wordCount;
  }
};

std::string Fast(int status, const uint8_t* x, const uint8_t* y, int n) {
  return status == kNistInfinity ? "-" : edtest::ToHex(x, (size_t)n) + " " + edtest::ToHex(y, (size_t)n);
}

TEST(NistCurve, AgreesWithGenericArithmetic) {
  std::mt19937_64 rng(20261210);
  for (int curve = 0; curve < 3; ++curve) {
    const EcCurve* c = EcCurve::FindPrebuilt(curve);
    ASSERT_NE(c, nullptr);
    const Generic g(*c);
    const int n = NistCurveBytes(curve);
    ASSERT_EQ(g.width, n);
    uint8_t gx[66], gy[66];
    std::memcpy(gx, c->Gx.Bytes(), n);
    std::memcpy(gy, c->Gy.Bytes(), n);
    uint8_t px[66], py[66];
    std::memcpy(px, gx, n);
    std::memcpy(py, gy, n);
    for (int round = 0; round < 3; ++round) {
      uint8_t k[66];
      for (int i = 0; i < n; ++i) k[i] = static_cast<uint8_t>(rng());
      if (curve == 2) k[0] &= 1;  // below 2^521
      uint8_t x[66], y[66];
      SCOPED_TRACE("curve " + std::to_string(curve) + " round " + std::to_string(round));
      EXPECT_EQ(Fast(NistScalarMulBase(curve, k, x, y), x, y, n), g.Multiply(gx, gy, k));
      EXPECT_EQ(Fast(NistScalarMul(curve, k, px, py, x, y), x, y, n), g.Multiply(px, py, k));
      std::memcpy(px, x, n);  // the next round multiplies a fresh point
      std::memcpy(py, y, n);
    }
  }
}

}  // namespace

namespace {

// Random scalars and the shapes that stress carries and the step count:
// single bits, long runs of ones, values at and past the order.
TEST(NistCurve, ConstantTimeAndVariableTimeInversesAgree) {
  std::mt19937_64 rng(11);
  for (int curve = 0; curve < 3; ++curve) {
    const int n = tornell::NistCurveBytes(curve);
    int mismatches = 0;
    for (int it = 0; it < 3000; ++it) {
      uint8_t k[66], a[66], b[66];
      for (int i = 0; i < n; ++i) k[i] = (uint8_t)rng();
      if (it % 4 == 1) {
        std::memset(k, 0, n);
        const int bit = (int)(rng() % (8 * n));
        k[n - 1 - bit / 8] = (uint8_t)(1u << (bit % 8));
      } else if (it % 4 == 2) {
        std::memset(k, 0xff, n);
        k[n - 1 - (int)(rng() % n)] = (uint8_t)rng();
      }
      ASSERT_EQ(tornell::NistScalarInverse(curve, k, a), tornell::kNistOk);
      ASSERT_EQ(tornell::NistScalarInverseVartime(curve, k, b), tornell::kNistOk);
      mismatches += std::memcmp(a, b, n) != 0;
    }
    EXPECT_EQ(mismatches, 0) << "curve " << curve;
  }
}

}  // namespace
