// Long division and the inversion paths of the in-place magnitude.
#include <cstdint>

#include <gtest/gtest.h>

#include "crypto/bigint/BigInteger.h"
#include "crypto/bigint/MutableBigInt.h"

namespace tornell {
namespace {

MutableBigInt M(const char* hex) {
  BigInteger v(hex, int(std::char_traits<char>::length(hex)), 16, 1);
  return MutableBigInt(v.Magnitude().data(), v.Magnitude().size());
}
std::string H(const MutableBigInt& m) { return BigInteger(m, 1).ToText(16); }

TEST(MutableBigInt, Divide) {
  struct Case {
    const char *a, *b, *q, *r;
  } cases[] = {
      {"10000000000000000", "100000001", "ffffffff", "1"},
      {"5", "7", "0", "5"},
      {"7", "7", "1", "0"},
      {"ffffffffffffffffffffffff", "ffffffffffffffff", "100000000", "ffffffff"},
      // Top dividend limb equal to the divisor's: the saturated estimate.
      {"80000000000000000000000000000000fffffffffffffffe", "80000000000000000000000000000001",
       "ffffffffffffffff", "7fffffffffffffffffffffffffffffff"},
      {"fffffffffffffffffffffffffffffffffffffffffffffffe", "ffffffffffffffffffffffffffffffff",
       "10000000000000000", "fffffffffffffffe"},
  };
  for (const Case& c : cases) {
    MutableBigInt q, r;
    ASSERT_EQ(M(c.a).Divide(M(c.b), q, r), 0);
    EXPECT_EQ(H(q), c.q) << c.a << "/" << c.b;
    EXPECT_EQ(H(r), c.r) << c.a << "%" << c.b;
  }
  MutableBigInt q(5), r(6);
  EXPECT_EQ(M("5").Divide(MutableBigInt(), q, r), 2001);
  EXPECT_EQ(H(q), "5");
}

TEST(MutableBigInt, Inverses) {
  struct Case {
    uint64_t a, p;
    int rc;
    uint64_t want;
  } cases[] = {{3, 8, 0, 3}, {3, 10, 0, 7}, {2, 9, 0, 5}, {4, 10, 2002, 0}, {6, 9, 2002, 0}, {7, 1ULL << 63, 0, 0}};
  for (const Case& c : cases) {
    MutableBigInt r;
    EXPECT_EQ(MutableBigInt(c.a).MutableModInverse(MutableBigInt(c.p), r), c.rc) << c.a << " mod " << c.p;
    if (c.rc == 0 && c.want != 0) {
      EXPECT_EQ(H(r), H(MutableBigInt(c.want)));
    }
    if (c.rc == 0) {
      MutableBigInt prod, q, rem;
      MutableBigInt(c.a).Multiply(r, prod);
      ASSERT_EQ(0, prod.Divide(MutableBigInt(c.p), q, rem));
      EXPECT_TRUE(rem.IsOne()) << c.a << " mod " << c.p;
    }
  }
  EXPECT_EQ(MutableBigInt::InverseMod32(3), 0xAAAAAAABu);
}

TEST(MutableBigInt, InverseModuloLargePowerOfTwo) {
  MutableBigInt a = M("1234567890abcdef1234567890abcdef1"), inv;
  ASSERT_EQ(a.ModInverseMP2(100, inv), 0);
  MutableBigInt prod;
  a.Multiply(inv, prod);
  MutableBigInt low(prod);
  MutableBigInt high(prod);
  high.RightShift(100);
  high.LeftShift(100);
  low.Subtract(high);  // prod mod 2^100
  EXPECT_TRUE(low.IsOne());
  EXPECT_EQ(M("2").ModInverseMP2(100, inv), 2002);
}

}  // namespace
}  // namespace tornell
