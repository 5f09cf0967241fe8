// Private scalars and keys are read at fixed width: leading zero bytes change
// nothing but the time they would have saved, and the generic multiplications
// end in the point at infinity or in -G by mask as well as they did by branch.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "crypto/ecc/curve/EcCurve.h"
#include "crypto/ecc/engine/EccEngineMultiply.h"
#include "crypto/ecc/engine/EccEngineScalar.h"

namespace {

using namespace tornell;
using Bytes = std::vector<unsigned char>;

constexpr int kSecp256k1 = 14;
constexpr int kSect283k1 = 27;
constexpr int kBrainpoolP256r1 = 70;

Bytes Pattern(int n, int salt) {
  Bytes b((size_t)n);
  for (int i = 0; i < n; ++i) b[(size_t)i] = (unsigned char)(i * 31 + salt);
  return b;
}

TEST(EccScalarLoad, LeadingZerosAreReadNotSkipped) {
  const EcCurve& c = *EcCurve::FindPrebuilt(0);
  EccScalarField f;
  ASSERT_TRUE(f.Init(c.n.Bytes(), c.n.Length()));
  Bytes v = Pattern(32, 3);
  EccScalarField::Limbs plain, padded;
  ASSERT_TRUE(f.Load(v.data(), 32, plain));
  Bytes wide(16, 0);
  wide.insert(wide.end(), v.begin(), v.end());
  ASSERT_TRUE(f.Load(wide.data(), (int)wide.size(), padded));
  EXPECT_EQ(std::memcmp(plain, padded, sizeof plain), 0);
  wide[0] = 1;  // a significant byte beyond the limbs, however far in front
  EXPECT_FALSE(f.Load(wide.data(), (int)wide.size(), padded));

  unsigned char out[32];
  EXPECT_TRUE(EccFitBytes(wide.data() + 1, 47, 32, out));
  EXPECT_EQ(std::memcmp(out, v.data(), 32), 0);
  EXPECT_FALSE(EccFitBytes(wide.data(), 48, 32, out));
  EXPECT_TRUE(EccFitBytes(v.data() + 12, 20, 32, out));  // shorter: zeros in front
  EXPECT_EQ(Bytes(out, out + 12), Bytes(12, 0));
  EXPECT_EQ(std::memcmp(out + 12, v.data() + 12, 20), 0);
}

// k·G for k = 1, n - 1 and n, and a scalar wider than the order with leading
// zeros, on the generic prime and binary arithmetic.
TEST(EccScalarLoad, GenericMultiplicationEndings) {
  for (int index : {kSecp256k1, kBrainpoolP256r1, kSect283k1}) {
    SCOPED_TRACE(index);
    EcCurve c(index);
    ASSERT_TRUE(c.IsComplete());
    const EccPointOps& ops = EccPointOpsFor(c);
    const int n = c.n.Length();
    const int w = c.FieldBytes();
    Bytes gx(c.Gx.Bytes(), c.Gx.Bytes() + c.Gx.Length()), gy(c.Gy.Bytes(), c.Gy.Bytes() + c.Gy.Length());
    gx.insert(gx.begin(), (size_t)(w - (int)gx.size()), 0);
    gy.insert(gy.begin(), (size_t)(w - (int)gy.size()), 0);
    unsigned char x[EccPointOps::kMaxBytes], y[EccPointOps::kMaxBytes];
    int infinity = -1;

    Bytes one((size_t)n, 0);
    one.back() = 1;
    ASSERT_EQ(ops.multiplyBase(c, one.data(), n, x, y, infinity), 0);
    EXPECT_EQ(infinity, 0);
    EXPECT_EQ(Bytes(x, x + w), gx);
    EXPECT_EQ(Bytes(y, y + w), gy);

    Bytes order(c.n.Bytes(), c.n.Bytes() + n);
    ASSERT_EQ(ops.multiplyBase(c, order.data(), n, x, y, infinity), 0);
    EXPECT_EQ(infinity, 1);
    EXPECT_EQ(Bytes(x, x + w), Bytes((size_t)w, 0));

    Bytes minusOne = order;
    minusOne.back() -= 1;  // n is odd
    ASSERT_EQ(ops.multiplyBase(c, minusOne.data(), n, x, y, infinity), 0);
    EXPECT_EQ(infinity, 0);
    EXPECT_EQ(Bytes(x, x + w), gx);
    Bytes negY = gy;  // -G: p - y over GF(p), x + y over GF(2^m)
    if (c.fieldType == ecfield::kBinary) {
      for (int i = 0; i < w; ++i) negY[(size_t)i] ^= gx[(size_t)i];
    } else {
      Bytes p(c.p.Bytes(), c.p.Bytes() + c.p.Length());
      p.insert(p.begin(), (size_t)(w - (int)p.size()), 0);
      int borrow = 0;
      for (int i = w - 1; i >= 0; --i) {
        const int d = p[(size_t)i] - gy[(size_t)i] - borrow;
        negY[(size_t)i] = (unsigned char)d;
        borrow = d < 0;
      }
    }
    EXPECT_EQ(Bytes(y, y + w), negY);

    // The same scalar with four leading zero bytes: the same point.
    unsigned char x2[EccPointOps::kMaxBytes], y2[EccPointOps::kMaxBytes];
    Bytes k = Pattern(n, 9);
    k[0] = 0;
    Bytes wide(4, 0);
    wide.insert(wide.end(), k.begin(), k.end());
    ASSERT_EQ(ops.multiplyBase(c, k.data(), n, x, y, infinity), 0);
    ASSERT_EQ(ops.multiplyBase(c, wide.data(), (int)wide.size(), x2, y2, infinity), 0);
    EXPECT_EQ(Bytes(x, x + w), Bytes(x2, x2 + w));
    EXPECT_EQ(Bytes(y, y + w), Bytes(y2, y2 + w));
  }
}

}  // namespace
