// The dedicated prime-curve code and the generic point arithmetic give the
// same points for random scalars and points on all three prebuilt curves.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "../edwards/VectorTools.h"
#include "core/text/ByteString.h"
#include "crypto/ecc/curve/EcBigInt.h"
#include "crypto/ecc/curve/EcCurve.h"
#include "crypto/ecc/curve/EcPointMath.h"
#include "crypto/ecc/nist/NistCurve.h"

namespace {

using namespace tornell;

struct Generic {
  EcBigInt p, a, gx, gy;
  int reductionId = 0;
  int width = 0;

  explicit Generic(const EcCurve& c) : reductionId(c.reductionId), width(c.FieldBytes()) {
    EXPECT_EQ(EcBigInt::FromBytes(c.p.Data(), c.p.Length(), p), 0);
    EXPECT_EQ(EcCurve::ToEcBigInt(c.a, &p, a), 0);
    EXPECT_EQ(EcCurve::ToEcBigInt(c.Gx, &p, gx), 0);
    EXPECT_EQ(EcCurve::ToEcBigInt(c.Gy, &p, gy), 0);
  }

  // scalar·(x, y) as "x y" hex, "-" for infinity.
  std::string Multiply(const uint8_t* x, const uint8_t* y, const uint8_t* k) const {
    EcBigInt px, py, s, ox, oy;
    Element(x, px);
    Element(y, py);
    EXPECT_EQ(EcBigInt::FromBytes(k, width, s), 0);
    EXPECT_EQ(EcPointMath::ScalarMultiply(px, py, p, a, s, reductionId, ox, oy), 0);
    if (ox.wordCount == 0) return "-";
    ByteString bx, by;
    EXPECT_EQ(EcPointMath::ToBytesFixed(ox, width, bx), 0);
    EXPECT_EQ(EcPointMath::ToBytesFixed(oy, width, by), 0);
    return edtest::ToHex(bx.Bytes(), (size_t)width) + " " + edtest::ToHex(by.Bytes(), (size_t)width);
  }

  void Element(const uint8_t* bytes, EcBigInt& out) const {
    EXPECT_EQ(EcBigInt::FromBytes(bytes, width, out), 0);
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

// Scalars just below the order, where signed digits can make the last
// addition of a variable-point multiplication a doubling: (n - j)·P must be
// -(j·P) for every small j, and n·P infinity.
TEST(NistCurve, ScalarsNearTheOrderGiveNegatedPoints) {
  for (int curve = 0; curve < 3; ++curve) {
    const EcCurve* c = EcCurve::FindPrebuilt(curve);
    ASSERT_NE(c, nullptr);
    const int n = NistCurveBytes(curve);
    ASSERT_EQ(c->n.Length(), n);
    uint8_t px[66], py[66], three[66] = {};
    three[n - 1] = 3;
    ASSERT_EQ(NistScalarMulBase(curve, three, px, py), kNistOk);  // a point other than G
    for (int j = 0; j <= 40; ++j) {
      SCOPED_TRACE("curve " + std::to_string(curve) + " n - " + std::to_string(j));
      uint8_t small[66] = {}, near[66];
      small[n - 1] = (uint8_t)j;
      std::memcpy(near, c->n.Bytes(), n);
      int borrow = j;  // near = n - j
      for (int i = n - 1; i >= 0 && borrow != 0; --i) {
        const int v = near[i] - borrow;
        near[i] = (uint8_t)(v & 0xff);
        borrow = v < 0 ? 1 : 0;
      }
      uint8_t ax[66], ay[66], bx[66], by[66];
      const int sa = NistScalarMul(curve, small, px, py, ax, ay);
      ASSERT_EQ(NistScalarMul(curve, near, px, py, bx, by), sa);
      if (j == 0) {
        EXPECT_EQ(sa, kNistInfinity);
        continue;
      }
      // Same x, and y values summing to p.
      EXPECT_EQ(edtest::ToHex(ax, n), edtest::ToHex(bx, n));
      uint8_t sum[67] = {};
      int carry = 0;
      for (int i = n - 1; i >= 0; --i) {
        const int v = ay[i] + by[i] + carry;
        sum[i + 1] = (uint8_t)v;
        carry = v >> 8;
      }
      sum[0] = (uint8_t)carry;
      uint8_t p[67] = {};
      std::memcpy(p + 1, c->p.Bytes(), n);
      EXPECT_EQ(edtest::ToHex(sum, n + 1), edtest::ToHex(p, n + 1));
      uint8_t gx[66], gy[66];
      ASSERT_EQ(NistScalarMulBase(curve, near, gx, gy), kNistOk);
      ASSERT_EQ(NistScalarMulBase(curve, small, ax, ay), kNistOk);
      EXPECT_EQ(edtest::ToHex(ax, n), edtest::ToHex(gx, n));
    }
  }
}

// Three independent ways to k·G (the fixed signed-digit table, the window
// over a variable point, the verification's NAF over G's odd multiples) on
// scalars whose digits sit at window edges: 2^j, 2^j - 1 and n - 2^j.
TEST(NistCurve, BaseTablePointWindowAndVerificationAgree) {
  for (int curve = 0; curve < 3; ++curve) {
    const EcCurve* c = EcCurve::FindPrebuilt(curve);
    ASSERT_NE(c, nullptr);
    const int n = NistCurveBytes(curve);
    const uint8_t* gx = c->Gx.Bytes();
    const uint8_t* gy = c->Gy.Bytes();
    const uint8_t zero[66] = {};
    for (int j = 0; j < 8 * n; j += 5) {
      for (int shape = 0; shape < 3; ++shape) {
        uint8_t k[66] = {};
        k[n - 1 - j / 8] = (uint8_t)(1u << (j % 8));  // 2^j
        if (shape > 0) {  // 2^j - 1, or n - 2^j
          const uint8_t* from = shape == 1 ? k : c->n.Bytes();
          uint8_t out[66];
          int borrow = 0;
          for (int i = n - 1; i >= 0; --i) {
            const int sub = (shape == 1 ? (i == n - 1 ? 1 : 0) : k[i]) + borrow;
            const int v = from[i] - sub;
            out[i] = (uint8_t)(v & 0xff);
            borrow = v < 0 ? 1 : 0;
          }
          std::memcpy(k, out, n);
        }
        SCOPED_TRACE("curve " + std::to_string(curve) + " j " + std::to_string(j) + " shape " +
                     std::to_string(shape));
        uint8_t ax[66], ay[66], bx[66], by[66], dx[66], dy[66];
        const int sa = NistScalarMulBase(curve, k, ax, ay);
        ASSERT_EQ(NistScalarMul(curve, k, gx, gy, bx, by), sa);
        ASSERT_EQ(NistDoubleScalarMulVartime(curve, k, zero, gx, gy, dx, dy), sa);
        if (sa == kNistInfinity) continue;
        EXPECT_EQ(edtest::ToHex(ax, n) + edtest::ToHex(ay, n), edtest::ToHex(bx, n) + edtest::ToHex(by, n));
        EXPECT_EQ(edtest::ToHex(ax, n) + edtest::ToHex(ay, n), edtest::ToHex(dx, n) + edtest::ToHex(dy, n));
      }
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
