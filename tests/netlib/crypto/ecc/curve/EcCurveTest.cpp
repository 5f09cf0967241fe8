#include <gtest/gtest.h>

#include "EcTestUtil.h"
#include "crypto/ecc/curve/EcCurve.h"
#include "crypto/ecc/curve/EcPointMath.h"
#include "crypto/ecc/curve/NamedCurveTable.h"

using namespace tornell;
using ectest::Hex;
using ectest::Param;
using ectest::Widened;

namespace {

// Hasse: |q + 1 - h·n| <= 2·sqrt(q), checked as (q + 1 - h·n)^2 <= 4q.
bool WithinHasseBound(const EcBigInt& q, const EcBigInt& n, int h) {
  EcBigInt hn, t, t2, fourQ, qPlus1;
  EcBigInt hv;
  hv.words[0] = static_cast<uint32_t>(h);
  EXPECT_EQ(EcBigInt::Multiply(n, hv, hn), 0);
  EXPECT_EQ(EcBigInt::Add(q, EcBigInt::One, qPlus1), 0);
  EXPECT_EQ(EcBigInt::Subtract(qPlus1, hn, t), 0);
  t.sign = 1;
  EXPECT_EQ(EcBigInt::Multiply(t, t, t2), 0);
  EcBigInt four;
  four.words[0] = 4;
  EXPECT_EQ(EcBigInt::Multiply(q, four, fourQ), 0);
  return EcBigInt::GreaterMagnitude(t2, fourQ) == 0;
}

}  // namespace

// Every curve of the table: G lies on it, n·G is infinity, and h·n is the
// size of the group (within Hasse's bound of the field size).
TEST(NamedCurves, EveryCurveIsConsistent) {
  int loaded = 0;
  for (int index = -1; index <= 81; ++index) {
    EcCurve curve;
    const int status = curve.LoadNamedCurve(index);
    if ((index >= 33 && index <= 57) || index < 0 || index >= 80) {
      EXPECT_EQ(status, 1410) << index;
      EXPECT_EQ(curve.curveIndex, -1);
      EXPECT_EQ(curve.p.Length(), 0);
      continue;
    }
    ASSERT_EQ(status, 0) << index;
    EXPECT_EQ(curve.curveIndex, index);
    if (index == 79) continue;
    SCOPED_TRACE(index);
    ++loaded;
    EXPECT_TRUE(curve.IsComplete());
    const int w = curve.FieldBytes();
    EXPECT_EQ(curve.Gx.Length(), curve.p.Length());
    EXPECT_EQ(curve.a.Length(), curve.p.Length());
    const EcBigInt p = Param(curve.p);
    EcBigInt a, b, gx, gy, x, y;
    ASSERT_EQ(EcCurve::ToEcBigInt(curve.a, &p, a), 0);
    ASSERT_EQ(EcCurve::ToEcBigInt(curve.b, &p, b), 0);
    ASSERT_EQ(EcCurve::ToEcBigInt(curve.Gx, &p, gx), 0);
    ASSERT_EQ(EcCurve::ToEcBigInt(curve.Gy, &p, gy), 0);
    const EcBigInt n = Param(curve.n);
    EcBigInt q;
    if (curve.fieldType == ecfield::kBinary) {
      EXPECT_EQ(w, (curve.degree + 7) / 8);
      EXPECT_EQ(EcPointMath::BinaryIsOnCurve(gx, gy, a, b, p), 1);
      ASSERT_EQ(EcPointMath::BinaryScalarMultiply(gx, gy, a, b, p, n, x, y), 0);
      EcBigInt::SetZero(q);
      EcBigInt::SetBit(q, curve.degree, 1);
    } else {
      EXPECT_EQ(curve.fieldType, ecfield::kPrime);
      EXPECT_EQ(EcPointMath::IsOnCurve(gx, gy, a, b, p, curve.reductionId), 1);
      ASSERT_EQ(EcPointMath::ScalarMultiply(gx, gy, p, a, n, curve.reductionId, x, y), 0);
      EcBigInt::Copy(q, p);
    }
    EXPECT_EQ(x.wordCount, 0) << "n·G is not infinity";
    EXPECT_TRUE(WithinHasseBound(q, n, curve.cofactor)) << "cofactor " << curve.cofactor;
  }
  EXPECT_EQ(loaded, 54);  // 52 parameter sets, two of them at two indices
}

TEST(NamedCurves, LoaderDetails) {
  EcCurve c78(78);
  EXPECT_EQ(c78.cofactor, 8);
  EXPECT_EQ(Hex(Param(c78.p)), "7" + std::string(61, 'f') + "ed");
  EcCurve c59(59), c62(62), c61(61), c63(63), c60(60);
  EXPECT_TRUE(c59.Equals(c62));
  EXPECT_TRUE(c61.Equals(c63));
  EXPECT_FALSE(c59.Equals(c60));

  EcCurve custom;
  ASSERT_EQ(custom.LoadNamedCurve(79), 0);
  EXPECT_EQ(custom.p.Length(), 0);
  EXPECT_EQ(custom.fieldType, 0x6000);
  EXPECT_FALSE(custom.IsComplete());

  EcCurve b163(21);
  EXPECT_EQ(b163.Gy.Length(), 21);  // the standard's 20-byte y padded to the field
  EXPECT_EQ(b163.Gy.Bytes()[0], 0);
  EXPECT_EQ(b163.FieldBytes(), 21);
  EXPECT_EQ(b163.degree, 163);
  EXPECT_EQ(b163.k1, 3);
  EXPECT_EQ(b163.k3, 7);

  EcCurve s239(26);  // polynomial built from its exponents
  EXPECT_EQ(s239.degree, 239);
  EXPECT_EQ(s239.k1, 158);
  EXPECT_EQ(s239.reductionId, 0x6100);

  EXPECT_EQ(PrebuiltCurves[2].FieldBytes(), 66);
  EXPECT_EQ(PrebuiltCurves[2].FieldBits(), 521);
  EXPECT_EQ(PrebuiltCurves[0].reductionId, 0x6103);
  EXPECT_EQ(EcCurve::FindPrebuilt(1), &PrebuiltCurves[1]);
  EXPECT_EQ(EcCurve::FindPrebuilt(3), nullptr);

  // the moduli that SetReduction installs are the table's
  const int nist[] = {0, 1, 2, 11, 13, 19, 24, 27, 29, 31};
  for (int index : nist) {
    EcCurve loaded(index);
    EcCurve fixed;
    ASSERT_EQ(fixed.SetReduction(loaded.reductionId), 0);
    EXPECT_TRUE(EcCurve::ValuesEqual(fixed.p, loaded.p)) << index;
  }
  // exponents may come before the degree; p follows every setter
  EcCurve built;
  EXPECT_EQ(built.SetFieldType(ecfield::kBinary), 0);
  ASSERT_EQ(built.SetK1(74), 0);
  ASSERT_EQ(built.SetDegree(233), 0);
  EXPECT_TRUE(EcCurve::ValuesEqual(built.p, EcCurve(24).p));
  EXPECT_EQ(built.SetK2(-1), 0);
  EXPECT_EQ(built.k2, 0);

  EcCurve bad;
  EXPECT_EQ(bad.SetReduction(0x610B), 1410);
  EXPECT_EQ(EcCurve::BitLength(ectest::ByteStr("00000180")), 9);
  EXPECT_EQ(EcCurve::BitLength(ectest::ByteStr("0000")), 0);
  ByteString hex;
  ASSERT_EQ(EcCurve::HexToBytes("ABC", 4, hex), 0);
  EXPECT_EQ(ectest::HexOf(hex), "00000abc");
}

TEST(NamedCurves, IdentifyExplicitParameters) {
  const EcCurve& p256 = PrebuiltCurves[0];
  ByteString generator;
  ASSERT_EQ(EcCurve::EncodePoint(p256.Gx, p256.Gy, p256, 0, 0, generator), 0);
  ByteString paddedA;
  paddedA.AppendByte(0);
  paddedA.Append(p256.a);
  EcCurve explicitCurve;
  ASSERT_EQ(explicitCurve.SetParameters(p256.p, paddedA, p256.b, generator, ByteString(), p256.n, 1), 0);
  EXPECT_EQ(explicitCurve.curveIndex, 0);
  EXPECT_EQ(explicitCurve.reductionId, 0x6103);
  EXPECT_EQ(explicitCurve.fieldType, ecfield::kPrime);
  EXPECT_TRUE(explicitCurve.seed.Equals(p256.seed));

  ByteString otherB;
  otherB.Assign(p256.b);
  otherB.Data()[0] ^= 1;
  EcCurve other;
  ASSERT_EQ(other.SetParameters(p256.p, p256.a, otherB, generator, ByteString(), p256.n, 1), 0);
  EXPECT_EQ(other.curveIndex, 79);
  other.b.Assign(p256.b);
  EXPECT_EQ(other.IdentifyCurve(), 79);  // computed once

  // a P-384 generator compressed, as some files carry it
  const EcCurve& p384 = PrebuiltCurves[1];
  ByteString compressed;
  ASSERT_EQ(EcCurve::EncodePoint(p384.Gx, p384.Gy, p384, 1, 0, compressed), 0);
  EcCurve typed;
  EXPECT_EQ(typed.SetFieldType(ecfield::kPrime), 0);
  ASSERT_EQ(typed.SetParameters(p384.p, p384.a, p384.b, compressed, ByteString(), p384.n, 1), 0);
  EXPECT_EQ(typed.curveIndex, 1);
}

TEST(PointEncoding, Forms) {
  const EcCurve& p256 = PrebuiltCurves[0];
  ByteString x31, out;
  x31.Set(p256.Gx.Data() + 1, 31);
  ASSERT_EQ(EcCurve::EncodePoint(x31, p256.Gy, p256, 0, 0, out), 0);
  ASSERT_EQ(out.Length(), 65);
  EXPECT_EQ(out.Bytes()[0], 4);
  EXPECT_EQ(out.Bytes()[1], 0);
  ASSERT_EQ(EcCurve::EncodePoint(p256.Gx, p256.Gy, p256, 1, 0, out), 0);
  EXPECT_EQ(out.Length(), 33);
  EXPECT_EQ(out.Bytes()[0], 2 + (p256.Gy.Bytes()[31] & 1));
  ASSERT_EQ(EcCurve::EncodePoint(p256.Gx, p256.Gy, p256, 1, 1, out), 0);
  EXPECT_EQ(out.Length(), 65);
  EXPECT_EQ(out.Bytes()[0], 6 + (p256.Gy.Bytes()[31] & 1));

  ByteString tooLong;
  tooLong.AppendByte(1);
  tooLong.Append(p256.Gx);
  EXPECT_EQ(EcCurve::EncodePoint(tooLong, p256.Gy, p256, 0, 0, out), 1401);
  EXPECT_EQ(EcCurve::EncodePoint(ByteString(), p256.Gy, p256, 0, 0, out), 1401);
  EcCurve untyped;
  EXPECT_EQ(EcCurve::EncodePoint(p256.Gx, p256.Gy, untyped, 1, 0, out), 1401);

  int ok = -1;
  ByteString X, Y;
  ASSERT_EQ(EcCurve::DecodePoint(ectest::ByteStr("00"), p256, ok, X, Y), 0);
  EXPECT_EQ(ok, 1);
  EXPECT_EQ(X.Length() + Y.Length(), 0);
  ASSERT_EQ(EcCurve::DecodePoint(ectest::ByteStr("04" + std::string(126, 'a')), p256, ok, X, Y), 0);
  EXPECT_EQ(ok, 0);  // 63 bytes behind the tag
  ByteString hybrid;
  hybrid.AppendByte(p256.Gy.Bytes()[31] & 1 ? 6 : 7);  // wrong parity bit
  hybrid.Append(p256.Gx);
  hybrid.Append(p256.Gy);
  ASSERT_EQ(EcCurve::DecodePoint(hybrid, p256, ok, X, Y), 0);
  EXPECT_EQ(ok, 1);

  // compressed coordinates wider than the field, or not below p, are refused
  ByteString wide = ectest::ByteStr("02" + std::string(66, 'f'));
  ASSERT_EQ(EcCurve::DecodePoint(wide, p256, ok, X, Y), 0);
  EXPECT_EQ(ok, 0);
  ByteString atP;
  atP.AppendByte(2);
  atP.Append(p256.p);
  ASSERT_EQ(EcCurve::DecodePoint(atP, p256, ok, X, Y), 0);
  EXPECT_EQ(ok, 0);
  // an x with no point on the curve
  ByteString noPoint = ectest::ByteStr("02" + std::string(63, '0') + "5");
  ASSERT_EQ(EcCurve::DecodePoint(noPoint, p256, ok, X, Y), 0);
  bool found = ok == 1;
  EcCurve p256b(0);
  EcBigInt p = Param(p256b.p), a, b, x, y;
  EXPECT_EQ(EcCurve::ToEcBigInt(p256b.a, &p, a), 0);
  EXPECT_EQ(EcCurve::ToEcBigInt(p256b.b, &p, b), 0);
  EXPECT_EQ(EcCurve::ToEcBigInt(ectest::ByteStr(std::string(63, '0') + "5"), &p, x), 0);
  EXPECT_EQ(found, EcPointMath::DecompressY(0, x, a, b, p, 0x6103, y) == 1);
}

// Decompression and the compressed encoding against cryptography's X9.62
// forms (OpenSSL's for the binary curves), prime and binary fields.
TEST(PointEncoding, MatchesReferenceEncodings) {
  REQUIRE_OR_SKIP(ectest::HasPython() && ectest::HasOpenssl(), "python3 with cryptography, or openssl, missing");
  struct Named {
    const char* name;
    int index;
  };
  const Named curves[] = {{"secp256r1", 0}, {"secp384r1", 1}, {"secp521r1", 2}, {"secp224r1", 13},
                          {"secp192r1", 11}, {"secp256k1", 14}, {"brainpoolP256r1", 70}, {"brainpoolP512r1", 76},
                          {"sect163k1", 19}, {"sect233r1", 25}, {"sect283k1", 27}, {"sect409r1", 30},
                          {"sect571r1", 32}, {"sect113r1", 15}, {"sect239k1", 26}};
  std::string names;
  for (const Named& c : curves) names += std::string(" ") + c.name;
  const auto rows = ectest::RunScript(ectest::ScriptPath("ec_points.py") + " x962" + names);
  ASSERT_EQ(rows.size(), 3 * (sizeof curves / sizeof curves[0]));
  for (const auto& r : rows) {
    int index = -1;
    for (const Named& c : curves) {
      if (r[0] == c.name) index = c.index;
    }
    SCOPED_TRACE(r[0] + " " + r[2]);
    EcCurve curve(index);
    int ok = 0;
    ByteString fx, fy, cx, cy, out;
    ASSERT_EQ(EcCurve::DecodePoint(ectest::ByteStr(r[1]), curve, ok, fx, fy), 0);
    ASSERT_EQ(ok, 1);
    ASSERT_EQ(EcCurve::DecodePoint(ectest::ByteStr(r[2]), curve, ok, cx, cy), 0);
    ASSERT_EQ(ok, 1);
    EXPECT_EQ(ectest::HexOf(cx), ectest::HexOf(fx));
    EXPECT_EQ(ectest::HexOf(cy), ectest::HexOf(fy));
    ASSERT_EQ(EcCurve::EncodePoint(fx, fy, curve, 1, 0, out), 0);
    EXPECT_EQ(ectest::HexOf(out), r[2]);
    ASSERT_EQ(EcCurve::EncodePoint(fx, fy, curve, 0, 0, out), 0);
    EXPECT_EQ(ectest::HexOf(out), r[1]);
    ASSERT_EQ(EcCurve::EncodePoint(fx, fy, curve, 1, 1, out), 0);
    EXPECT_EQ(out.Bytes()[0], 4 + ectest::ByteStr(r[2]).Bytes()[0]);
  }
}
