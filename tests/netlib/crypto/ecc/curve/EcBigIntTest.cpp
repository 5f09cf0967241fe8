#include <gtest/gtest.h>

#include "EcTestUtil.h"
#include "crypto/ecc/curve/EcBigInt.h"
#include "crypto/ecc/curve/EcPointMath.h"

using namespace tornell;
using ectest::Big;
using ectest::Hex;

TEST(EcBigInt, AgreesWithPythonIntegers) {
  REQUIRE_OR_SKIP(ectest::HasPython(), "python3 with cryptography not installed");
  const auto rows = ectest::RunScript(ectest::ScriptPath("oracle.py") + " bigint 60");
  ASSERT_GE(rows.size(), 300u);
  for (const auto& r : rows) {
    SCOPED_TRACE(r[0] + " " + r[1] + " " + r[2]);
    EcBigInt a = Big(r[1]);
    EcBigInt b = Big(r[2]);
    EcBigInt out;
    if (r[0] == "add") {
      ASSERT_EQ(EcBigInt::Add(a, b, out), 0);
      EXPECT_EQ(Hex(out), r[3]);
      ASSERT_EQ(EcBigInt::Add(a, b, a), 0);  // out may be an operand
      EXPECT_EQ(Hex(a), r[3]);
    } else if (r[0] == "sub") {
      ASSERT_EQ(EcBigInt::Subtract(a, b, out), 0);
      EXPECT_EQ(Hex(out), r[3]);
      ASSERT_EQ(EcBigInt::Subtract(a, b, b), 0);
      EXPECT_EQ(Hex(b), r[3]);
    } else if (r[0] == "mul") {
      ASSERT_EQ(EcBigInt::Multiply(a, b, out), 0);
      EXPECT_EQ(Hex(out), r[3]);
    } else if (r[0] == "mod") {
      ASSERT_EQ(EcBigInt::Mod(a, b, out), 0);
      EXPECT_EQ(Hex(out), r[3]);
    } else if (r[0] == "modpow") {
      ASSERT_EQ(EcBigInt::ModPow(a, b, Big(r[3]), out), 0);
      EXPECT_EQ(Hex(out), r[4]);
    } else if (r[0] == "modinv") {
      EcBigInt g;
      ASSERT_EQ(EcBigInt::ModInverse(a, b, g, out), 0);
      EXPECT_EQ(Hex(g), r[3]);
      if (r[3] == "1") {
        EXPECT_EQ(Hex(out), r[4]);
      }
    }
  }
}

TEST(EcBigInt, ConstructionAndByteForms) {
  EcBigInt one;
  EXPECT_EQ(Hex(one), "1");
  EcBigInt v;
  const unsigned char five[] = {1, 2, 3, 4, 5};
  ASSERT_EQ(EcBigInt::FromBytes(five, 5, v), 0);
  EXPECT_EQ(v.wordCount, 2);
  EXPECT_EQ(v.words[0], 0x02030405u);
  EXPECT_EQ(v.words[1], 1u);
  const unsigned char seven[] = {0, 0, 0, 7};
  ASSERT_EQ(EcBigInt::FromBytes(seven, 4, v), 0);
  EXPECT_EQ(v.wordCount, 1);
  EXPECT_EQ(v.words[0], 7u);
  ByteString bytes;
  ASSERT_EQ(EcPointMath::ToBytes(v, bytes), 0);
  EXPECT_EQ(ectest::HexOf(bytes), "00000007");
  ASSERT_EQ(EcPointMath::ToBytesFixed(v, 2, bytes), 0);
  EXPECT_EQ(ectest::HexOf(bytes), "0007");
  EXPECT_EQ(EcPointMath::ToBytesFixed(v, 0, bytes), 1419);
  EXPECT_EQ(ectest::HexOf(bytes), "0007");  // unchanged on failure
  ASSERT_EQ(EcBigInt::FromBytes(nullptr, 0, v), 0);
  EXPECT_EQ(EcBigInt::IsZero(v), 1);
  ASSERT_EQ(EcPointMath::ToBytesFixed(v, 4, bytes), 0);
  EXPECT_EQ(bytes.Length(), 0);
}

TEST(EcBigInt, FromBytesRefusesValuesPastTheCapacity) {
  std::string big(EcBigInt::kMaxBytes + 1, '\x01');
  EcBigInt v;
  EXPECT_EQ(EcBigInt::FromBytes(big.data(), static_cast<int64_t>(big.size()), v), 20480);
  EXPECT_EQ(Hex(v), "1");  // untouched
  big[0] = 0;  // a leading zero byte does not count against the capacity
  EXPECT_EQ(EcBigInt::FromBytes(big.data(), static_cast<int64_t>(big.size()), v), 0);
  EXPECT_EQ(v.wordCount, EcBigInt::kMaxWords);
  std::string huge(1 << 20, '\x7f');
  EXPECT_EQ(EcBigInt::FromBytes(huge.data(), static_cast<int64_t>(huge.size()), v), 20480);
}

TEST(EcBigInt, EdgeCases) {
  EcBigInt out;
  ASSERT_EQ(EcBigInt::Subtract(Big("3"), Big("5"), out), 0);
  EXPECT_EQ(out.sign, 0u);
  EXPECT_EQ(Hex(out), "-2");
  ASSERT_EQ(EcBigInt::Add(Big("-2"), Big("5"), out), 0);
  EXPECT_EQ(Hex(out), "3");

  EcBigInt v = Big("123456789");
  EcBigInt::ShiftRight(v, 33);
  EXPECT_EQ(EcBigInt::IsZero(v), 1);
  EXPECT_EQ(v.wordCount, 1);

  EcBigInt wide;
  for (int i = 0; i < 380; ++i) wide.words[i] = 0x80000000u + i;
  wide.wordCount = 380;
  EcBigInt before;
  EcBigInt::Copy(before, wide);
  EXPECT_EQ(EcBigInt::ShiftLeft(wide, 128), 20480);
  EXPECT_EQ(EcBigInt::Equals(wide, before), 1);

  EcBigInt zero;
  EcBigInt::SetZero(zero);
  EXPECT_EQ(EcBigInt::Mod(Big("1234"), zero, out), 20481);
  EcBigInt m = Big("fffffffffffffffffffffffd");
  ASSERT_EQ(EcBigInt::Mod(m, m, out), 0);
  EXPECT_EQ(EcBigInt::IsZero(out), 1);

  ASSERT_EQ(EcBigInt::ModPow(Big("3"), Big("4"), Big("7"), out), 0);
  EXPECT_EQ(Hex(out), "4");
  EcBigInt kept = Big("99");
  ASSERT_EQ(EcBigInt::ModPow(Big("3"), Big("4"), Big("8"), kept), 0);
  EXPECT_EQ(Hex(kept), "99");

  EcBigInt g;
  ASSERT_EQ(EcBigInt::ModInverse(Big("3"), Big("7"), g, out), 0);
  EXPECT_EQ(Hex(g), "1");
  EXPECT_EQ(Hex(out), "5");
  EXPECT_EQ(EcBigInt::ModInverse(zero, Big("7"), g, out), 20481);

  EcBigInt big;
  big.wordCount = 300;
  for (int i = 0; i < 300; ++i) big.words[i] = 0xFFFFFFFFu;
  EXPECT_EQ(EcBigInt::Multiply(big, big, out), 20480);  // the product would not fit
}
