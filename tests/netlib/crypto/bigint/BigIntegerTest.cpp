// Edge cases of the signed semantics: conversions, shifts, division and the
// exponentiations at their boundaries.
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/text/ByteString.h"
#include "crypto/bigint/BigInteger.h"

namespace tornell {
namespace {

BigInteger Bytes(std::vector<uint8_t> b) { return BigInteger(b.data(), int(b.size())); }
BigInteger V(int64_t v) { return BigInteger(v); }
BigInteger Dec(const char* s) {
  bool neg = s[0] == '-';
  std::string d = neg ? s + 1 : s;
  return BigInteger(d.c_str(), int(d.size()), 10, neg ? -1 : 1);
}

std::vector<uint8_t> Out(const BigInteger& v) {
  ByteString s;
  EXPECT_EQ(v.ToByteString(s), 0);
  return std::vector<uint8_t>(s.Bytes(), s.Bytes() + s.Length());
}

TEST(BigInteger, TwosComplementBytesIn) {
  struct Case {
    std::vector<uint8_t> in;
    int64_t want;
  } cases[] = {{{0xFF, 0x00}, -256}, {{0x80}, -128}, {{0x00, 0x80}, 128}, {{0x00, 0x00}, 0},
               {{}, 0},           {{0xFF, 0xFF, 0xFF}, -1}, {{0xFF, 0x7F}, -129}, {{0x01, 0x00, 0x00, 0x00, 0x00}, 1LL << 32}};
  for (const Case& c : cases) {
    BigInteger v = Bytes(c.in);
    EXPECT_TRUE(v.Equals(V(c.want))) << c.want << " got " << v.ToText(10);
  }
  EXPECT_EQ(Bytes({0x00, 0x00}).Signum(), 0);
  EXPECT_EQ(BigInteger(static_cast<const uint8_t*>(nullptr), 0).Signum(), 0);
}

TEST(BigInteger, MagnitudeBytesAndWordsIn) {
  const uint8_t mag[] = {0x00, 0xFF, 0x01};
  EXPECT_TRUE(BigInteger(mag, 3, 1).Equals(V(0xFF01)));
  EXPECT_TRUE(BigInteger(-1, mag, 3).Equals(V(-0xFF01)));
  const uint8_t zeros[] = {0, 0};
  EXPECT_EQ(BigInteger(zeros, 2, 1).Signum(), 0);
  const uint32_t words[] = {0xFFFFFFFFu, 0x00000000u};
  EXPECT_TRUE(BigInteger(words, 2).Equals(V(-(int64_t(1) << 32))));
  EXPECT_TRUE(BigInteger(words, 2, 1).Equals(V(0xFFFFFFFFLL).ShiftLeft(32)));
  const uint32_t padded[] = {0, 0, 5};
  EXPECT_TRUE(BigInteger(-1, padded, 3).Equals(V(-5)));
  EXPECT_EQ(BigInteger(padded, 0, 1).Signum(), 0);
  EXPECT_EQ(BigInteger(0, padded, 3).Signum(), 0);  // sign 0 means zero
  EXPECT_TRUE(BigInteger(padded, 3, 7).Equals(V(5)));
}

TEST(BigInteger, ByteStringOut) {
  struct Case {
    int64_t v;
    std::vector<uint8_t> want;
  } cases[] = {{128, {0x00, 0x80}}, {-128, {0x80}}, {-129, {0xFF, 0x7F}},
               {0, {0x00}},         {255, {0x00, 0xFF}}, {-256, {0xFF, 0x00}}};
  for (const Case& c : cases) EXPECT_EQ(Out(V(c.v)), c.want) << c.v;
  uint8_t buf[4];
  V(-2).ToBytes(buf, 4);
  EXPECT_EQ(std::vector<uint8_t>(buf, buf + 4), (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFE}));
  V(0x12345678).ToBytes(buf, 2);  // cut to the low bytes
  EXPECT_EQ(std::vector<uint8_t>(buf, buf + 2), (std::vector<uint8_t>{0x56, 0x78}));
}

TEST(BigInteger, TextInAndOut) {
  EXPECT_TRUE(BigInteger("00FF", 4, 16, 1).Equals(V(255)));
  EXPECT_TRUE(BigInteger("ff", 2, 16, 1).Equals(V(255)));
  EXPECT_EQ(BigInteger("12", 2, 33, 1).Signum(), 0);
  EXPECT_EQ(BigInteger("12", 2, 1, 1).Signum(), 0);
  EXPECT_EQ(BigInteger("0000", 4, 10, 1).Signum(), 0);
  EXPECT_EQ(BigInteger("", 0, 10, 1).Signum(), 0);
  // A group whose value no longer fits a signed word ends the parse at zero.
  EXPECT_EQ(BigInteger("1zzzzzzzzzzzzzzzzzzz", 20, 10, 1).Signum(), 0);

  EXPECT_EQ(V(int64_t(1) << 32).ToText(16), "100000000");
  EXPECT_EQ(V(-255).ToText(16), "-ff");
  EXPECT_EQ(V(1000000000000000000LL).ToText(10), "1000000000000000000");
  EXPECT_EQ(V(0).ToText(10), "0");
  EXPECT_EQ(V(35).ToText(36), "35");  // radix out of range reads as 10
  EXPECT_EQ(V(-31).ToText(32), "-V");
  BigInteger big = Dec("123456789012345678901234567890123456789");
  EXPECT_EQ(big.ToText(10), "123456789012345678901234567890123456789");
  ByteString s;
  ASSERT_EQ(big.Negate().ToText(s, 10), 0);
  EXPECT_STREQ(s.CStr(), "-123456789012345678901234567890123456789");
}

TEST(BigInteger, BitsAndWords) {
  struct Case {
    int64_t v;
    int bitLength, lowest;
  } cases[] = {{-128, 7, 7}, {-129, 8, 0}, {128, 8, 7}, {0, 0, -1}, {-1, 0, 0}, {1, 1, 0}};
  for (const Case& c : cases) {
    EXPECT_EQ(V(c.v).BitLength(), c.bitLength) << c.v;
    EXPECT_EQ(V(c.v).LowestSetBit(), c.lowest) << c.v;
  }
  BigInteger minus = V(-(int64_t(1) << 40));
  EXPECT_EQ(minus.GetInt(0), 0u);
  EXPECT_EQ(minus.GetInt(1), 0xFFFFFF00u);
  EXPECT_EQ(minus.GetInt(7), 0xFFFFFFFFu);
  EXPECT_EQ(minus.GetInt(-1), 0u);
  EXPECT_EQ(V(5).GetInt(3), 0u);
  EXPECT_TRUE(V(-1).TestBit(1000));
  EXPECT_EQ(V(-3).LongValue(), -3);
}

TEST(BigInteger, Shifts) {
  EXPECT_TRUE(V(-3).ShiftRight(1).Equals(V(-2)));
  EXPECT_TRUE(V(-5).ShiftRight(100).Equals(V(-1)));
  EXPECT_EQ(V(5).ShiftRight(100).Signum(), 0);
  EXPECT_TRUE(V(6).ShiftLeft(-1).Equals(V(3)));
  EXPECT_TRUE(V(-4).ShiftRight(2).Equals(V(-1)));
  EXPECT_TRUE(V(-1).ShiftLeft(64).Equals(Dec("-18446744073709551616")));
  EXPECT_TRUE(V(7).ShiftRight(0).Equals(V(7)));
}

TEST(BigInteger, DivisionSigns) {
  struct Case {
    int64_t a, b, q, r;
  } cases[] = {{7, 2, 3, 1}, {-7, 2, -3, -1}, {7, -2, -3, 1}, {-7, -2, 3, -1}, {5, 7, 0, 5}, {7, 7, 1, 0}};
  for (const Case& c : cases) {
    BigInteger rem;
    EXPECT_TRUE(V(c.a).DivideAndRemainder(V(c.b), rem).Equals(V(c.q))) << c.a << "/" << c.b;
    EXPECT_TRUE(rem.Equals(V(c.r))) << c.a << "%" << c.b;
  }
  BigInteger rem;
  EXPECT_EQ(V(9).DivideAndRemainder(V(0), rem).Signum(), 0);  // no error code, zero results
  EXPECT_EQ(rem.Signum(), 0);
  BigInteger q;
  EXPECT_EQ(V(-100).DivideByWord(7, q), 2u);
  EXPECT_TRUE(q.Equals(V(-14)));
}

TEST(BigInteger, ModAndInverse) {
  BigInteger r;
  EXPECT_EQ(V(-1).Mod(V(7), r), 0);
  EXPECT_TRUE(r.Equals(V(6)));
  EXPECT_EQ(V(3).Mod(V(0), r), 2003);
  EXPECT_EQ(V(3).ModInverse(V(7), r), 0);
  EXPECT_TRUE(r.Equals(V(5)));
  EXPECT_EQ(V(2).ModInverse(V(4), r), 2002);
  EXPECT_EQ(V(12345).ModInverse(V(1), r), 0);
  EXPECT_EQ(r.Signum(), 0);
  EXPECT_EQ(V(3).ModInverse(V(-7), r), 2003);
}

// The public-exponent entry gives ModPow's results, for every kind of
// modulus and sign (Python's pow for the values).
TEST(BigInteger, PublicExponentAgreesWithModPow) {
  struct Case {
    int64_t base, e, m;
  } cases[] = {{3, 65537, 1000003}, {-7, 12345, 1 << 20}, {123456789, 3, 3 * (1 << 12)},
               {5, -3, 97},         {2, 1, 2},            {-1, 7, 9},
               {10, 0, 7},          {0, 5, 6},            {987654321, 99999, 1}};
  for (const auto& c : cases) {
    BigInteger a, b;
    ASSERT_EQ(0, V(c.base).ModPow(V(c.e), V(c.m), a));
    ASSERT_EQ(0, V(c.base).ModPowPublic(V(c.e), V(c.m), b));
    EXPECT_TRUE(a.Equals(b)) << c.base << "^" << c.e << " mod " << c.m;
  }
  BigInteger r;
  ASSERT_EQ(0, V(3).ModPowPublic(V(65537), V(1000003), r));
  EXPECT_EQ("486750", r.ToText(10));  // pow(3, 65537, 1000003)
  ASSERT_EQ(0, V(-7).ModPowPublic(V(12345), V(1 << 20), r));
  EXPECT_EQ("38201", r.ToText(10));  // pow(-7, 12345, 2**20)
}

// A bounded secret exponent gives the plain square-and-multiply result
// whether the bound covers it, falls short of it (the exponent's own width
// counts) or exceeds the modulus, for an odd and an even modulus.
TEST(BigInteger, BoundedExponentAgreesWithSquareAndMultiply) {
  std::vector<uint8_t> odd(256), even(256), base(200), exponent(40);
  for (size_t i = 0; i < odd.size(); ++i) odd[i] = even[i] = uint8_t(i * 37 + 11);
  for (size_t i = 0; i < base.size(); ++i) base[i] = uint8_t(i * 13 + 5);
  for (size_t i = 0; i < exponent.size(); ++i) exponent[i] = uint8_t(i * 71 + 3);
  odd[0] = even[0] = 0xC3;
  odd.back() |= 1;
  even.back() &= 0xF8;
  struct Case {
    int exponentBytes, bound;
  } cases[] = {{29, 225}, {29, 232}, {29, 64}, {40, 320}, {40, 4096}, {1, 225}, {8, 0}};
  for (const auto& m : {BigInteger(odd.data(), int(odd.size()), 1), BigInteger(even.data(), int(even.size()), 1)}) {
    for (const auto& c : cases) {
      const BigInteger e = Bytes(std::vector<uint8_t>(exponent.begin(), exponent.begin() + c.exponentBytes));
      BigInteger got, want;
      ASSERT_EQ(0, Bytes(base).ModPowBounded(e, c.bound, m, got));
      ASSERT_EQ(0, Bytes(base).ModPowBinary(e, m, want));
      EXPECT_TRUE(got.Equals(want)) << c.exponentBytes << " bytes, bound " << c.bound;
    }
  }
}

TEST(BigInteger, Exponentiation) {
  BigInteger r;
  EXPECT_EQ(V(9).ModPow(V(0), V(1), r), 0);
  EXPECT_EQ(r.Signum(), 0);
  EXPECT_EQ(V(9).ModPow(V(0), V(5), r), 0);
  EXPECT_TRUE(r.Equals(V(1)));
  EXPECT_EQ(V(3).ModPow(V(-1), V(7), r), 0);
  EXPECT_TRUE(r.Equals(V(5)));
  EXPECT_EQ(V(2).ModPow(V(-1), V(4), r), 2002);
  BigInteger untouched = V(42);
  EXPECT_EQ(V(2).ModPow(V(3), V(0), untouched), 2003);
  EXPECT_TRUE(untouched.Equals(V(42)));
  EXPECT_EQ(V(3).ModPow(V(5), V(12), r), 0);
  EXPECT_TRUE(r.Equals(V(3)));
  BigInteger b;
  EXPECT_EQ(V(3).ModPowBinary(V(5), V(12), b), 0);
  EXPECT_TRUE(b.Equals(r));
  EXPECT_EQ(V(2).ModPowBinary(V(-3), V(7), b), 0);
  EXPECT_TRUE(b.Equals(V(1)));
  EXPECT_EQ(V(5).ModPowBinary(V(0), V(1), b), 0);
  EXPECT_TRUE(b.Equals(V(1)));
  EXPECT_EQ(V(5).ModPowBinary(V(2), V(-3), b), 2003);
  EXPECT_TRUE(b.Equals(V(1)));
  EXPECT_EQ(V(-2).Pow(3, r), 0);
  EXPECT_TRUE(r.Equals(V(-8)));
  EXPECT_EQ(V(0).Pow(0, r), 0);
  EXPECT_TRUE(r.Equals(V(1)));
  EXPECT_EQ(V(2).Pow(-1, r), 2004);
  // 65537 is the public-exponent path; a long exponent the fixed window.
  BigInteger m = Dec("340282366920938463463374607431768211507");  // odd
  EXPECT_EQ(V(7).ModPow(V(65537), m, r), 0);
  EXPECT_EQ(V(7).ModPowBinary(V(65537), m, b), 0);
  EXPECT_TRUE(r.Equals(b));
  BigInteger longExp = m.Subtract(V(2));
  EXPECT_EQ(V(7).ModPow(longExp, m, r), 0);
  EXPECT_EQ(V(7).ModPowBinary(longExp, m, b), 0);
  EXPECT_TRUE(r.Equals(b));
}

TEST(BigInteger, StaticsAndCompare) {
  EXPECT_EQ(BigInteger::ZERO.Signum(), 0);
  EXPECT_TRUE(BigInteger::ONE.Equals(V(1)));
  EXPECT_EQ(V(-5).CompareTo(V(3)), -1);
  EXPECT_EQ(V(-5).CompareTo(V(-6)), 1);
  EXPECT_EQ(Dec("-99999999999999999999").CompareTo(V(-1)), -1);
  EXPECT_TRUE(V(-5).Abs().Equals(V(5)));
  EXPECT_TRUE(V(5).Negate().Equals(V(-5)));
}

}  // namespace
}  // namespace tornell
