#include <gtest/gtest.h>

#include "EcTestUtil.h"
#include "crypto/ecc/curve/EcCurve.h"
#include "crypto/ecc/curve/EcKey.h"

using namespace tornell;

TEST(EcKey, FitToWidth) {
  struct Case {
    std::string in;
    int width;
    std::string out;
  };
  const std::string x31(62, 'a');
  const Case cases[] = {
      {x31, 32, "00" + x31},
      {"0000" + std::string(62, 'b'), 32, "00" + std::string(62, 'b')},
      {"0100" + std::string(62, 'c'), 32, "0100" + std::string(62, 'c')},
      {"00" + std::string(62, 'd'), 32, "00" + std::string(62, 'd')},
  };
  for (const Case& c : cases) {
    const std::string bytes = ectest::Bytes(c.in);
    ByteString out;
    ASSERT_EQ(EcKey::FitToWidth(bytes.data(), static_cast<int>(bytes.size()), c.width, out), 0);
    EXPECT_EQ(ectest::HexOf(out), c.out);
  }
  ByteString untouched("keep");
  EXPECT_EQ(EcKey::FitToWidth(nullptr, 3, 32, untouched), 0);
  EXPECT_TRUE(untouched.Equals("keep", -1));
}

TEST(EcKey, PublicPointAndCurve) {
  const EcCurve& p256 = PrebuiltCurves[0];
  ByteString point;
  point.AppendByte(0);
  point.AppendByte(4);
  point.Append(p256.Gx);
  point.Append(p256.Gy);
  EcKey key;
  EXPECT_EQ(key.keyType, 3);
  ASSERT_EQ(key.SetPublicPoint(point), 0);
  EXPECT_EQ(point.Length(), 65);
  EXPECT_TRUE(key.X.Equals(p256.Gx));
  EXPECT_TRUE(key.Y.Equals(p256.Gy));
  ByteString compressed = ectest::ByteStr("02" + ectest::HexOf(p256.Gx));
  EXPECT_EQ(key.SetPublicPoint(compressed), 1409);

  // coordinates wider than the key's field are refused before any use
  ASSERT_EQ(key.SetCurveByOid("1.2.840.10045.3.1.7"), 0);
  ByteString wide = ectest::ByteStr("04" + std::string(2 * 66 * 2, '1'));
  EXPECT_EQ(key.SetPublicPoint(wide), 1409);
  EcKey unknown;
  ByteString huge = ectest::ByteStr("04" + std::string(4000, '2'));
  EXPECT_EQ(unknown.SetPublicPoint(huge), 1409);

  EXPECT_EQ(key.SetCurveByOid("1.3.132.0.35"), 0);
  EXPECT_EQ(key.curveIndex, 2);
  for (const char* other : {"1.3.132.0.10", "1.3.36.3.3.2.8.1.1.7", "1.2.840.10045.3.1.1"}) {
    EXPECT_EQ(key.SetCurveByOid(other), 1410);
    EXPECT_EQ(key.curveIndex, 2);
  }

  EcKey p384;
  p384.curveIndex = 1;
  const EcCurve& c384 = PrebuiltCurves[1];
  p384.X.Set(c384.Gx.Data() + 1, 47);
  p384.Y.Assign(c384.Gy);
  ByteString out;
  ASSERT_EQ(p384.GetPublicPoint(0, out), 0);
  ASSERT_EQ(out.Length(), 97);
  EXPECT_EQ(out.Bytes()[1], 0);
  ASSERT_EQ(p384.GetPublicPoint(1, out), 0);
  EXPECT_EQ(out.Length(), 49);

  EcKey ed;
  ed.curveIndex = 3;
  EXPECT_EQ(ed.GetPublicPoint(0, out), 1401);
  EcKey unset;
  EXPECT_EQ(unset.GetPublicPoint(0, out), 1401);
  EXPECT_EQ(unset.GetCurve(), nullptr);
}

TEST(EcKey, PresenceCopyAndClear) {
  EcKey key;
  key.curveIndex = 0;
  key.X.Set("x");
  EXPECT_FALSE(key.HasPublicKey());
  key.Y.Set("y");
  EXPECT_TRUE(key.HasPublicKey());
  EXPECT_FALSE(key.HasPrivateKey());
  EXPECT_EQ(key.GetCurve(), &PrebuiltCurves[0]);

  EcKey ed448;
  ed448.curveIndex = 4;
  ed448.D.Set("d");
  EXPECT_TRUE(ed448.IsEdwardsKey());
  EXPECT_FALSE(ed448.HasPublicKey());
  EXPECT_FALSE(ed448.HasPrivateKey());
  ed448.edPrivate.Set("seed");
  EXPECT_TRUE(ed448.HasPrivateKey());

  EcKey copy;
  ASSERT_EQ(copy.CopyFrom(key), 0);
  EXPECT_EQ(copy.curveIndex, 0);
  EXPECT_EQ(copy.curve, key.curve);
  EXPECT_TRUE(copy.X.Equals("x", -1));
  ASSERT_EQ(copy.Clear(), 0);
  EXPECT_EQ(copy.curveIndex, -1);
  EXPECT_EQ(copy.X.Length(), 0);
  EXPECT_EQ(copy.GetCurve(), nullptr);  // the cached curve follows the index
}
