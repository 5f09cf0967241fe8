// Shared secrets x(d·Q) from the Wycheproof ECDH files and from OpenSSL's
// pkeyutl -derive, computed with the curve table and the point arithmetic.
#include <gtest/gtest.h>

#include <string>

#include "EcTestUtil.h"
#include "crypto/ecc/curve/EcCurve.h"
#include "crypto/ecc/curve/EcPointMath.h"

using namespace tornell;

namespace {

struct NamedIndex {
  const char* name;
  int index;
};

constexpr NamedIndex kIndices[] = {
    {"secp256r1", 0},   {"prime256v1", 0},       {"secp384r1", 1},        {"secp521r1", 2},
    {"secp112r1", 3},   {"secp128r2", 6},        {"secp160k1", 7},        {"secp160r2", 9},
    {"secp192k1", 10},  {"prime192v1", 11},      {"secp224k1", 12},       {"secp224r1", 13},
    {"secp256k1", 14},  {"sect113r2", 16},       {"sect131r1", 17},       {"sect163k1", 19},
    {"sect163r1", 20},  {"sect163r2", 21},       {"sect193r2", 23},       {"sect233k1", 24},
    {"sect233r1", 25},  {"sect239k1", 26},       {"sect283k1", 27},       {"sect283r1", 28},
    {"sect409k1", 29},  {"sect409r1", 30},       {"sect571k1", 31},       {"sect571r1", 32},
    {"brainpoolP160t1", 65}, {"brainpoolP224r1", 68}, {"brainpoolP256r1", 70}, {"brainpoolP320t1", 73},
    {"brainpoolP384r1", 74}, {"brainpoolP512t1", 77},
};

int IndexOf(const std::string& name) {
  for (const NamedIndex& n : kIndices) {
    if (name == n.name) return n.index;
  }
  return -1;
}

// x(d·Q) as the field's width in bytes, Q given as a SEC 1 point.
std::string SharedX(const EcCurve& curve, const std::string& privateHex, const std::string& pointHex) {
  int ok = 0;
  ByteString qx, qy;
  if (EcCurve::DecodePoint(ectest::ByteStr(pointHex), curve, ok, qx, qy) != 0 || ok == 0) return "undecodable";
  EcBigInt p, a, b, x, y, d, rx, ry;
  EXPECT_EQ(EcBigInt::FromBytes(curve.p.Data(), curve.p.Length(), p), 0);
  EXPECT_EQ(EcCurve::ToEcBigInt(curve.a, &p, a), 0);
  EXPECT_EQ(EcCurve::ToEcBigInt(curve.b, &p, b), 0);
  EXPECT_EQ(EcCurve::ToEcBigInt(qx, &p, x), 0);
  EXPECT_EQ(EcCurve::ToEcBigInt(qy, &p, y), 0);
  const std::string priv = ectest::Bytes(privateHex);
  EXPECT_EQ(EcBigInt::FromBytes(priv.data(), static_cast<int64_t>(priv.size()), d), 0);
  const int status = curve.fieldType == ecfield::kBinary
                         ? EcPointMath::BinaryScalarMultiply(x, y, a, b, p, d, rx, ry)
                         : EcPointMath::ScalarMultiply(x, y, p, a, d, curve.reductionId, rx, ry);
  if (status != 0) return "status " + std::to_string(status);
  if (rx.wordCount == 0) return "infinity";
  ByteString out;
  EXPECT_EQ(EcPointMath::ToBytesFixed(rx, curve.FieldBytes(), out), 0);
  if (out.Length() == 0) out.SetLength(curve.FieldBytes());  // a zero x has no significant bytes
  return ectest::HexOf(out);
}

void CheckRows(const std::vector<std::vector<std::string>>& rows) {
  for (const auto& r : rows) {
    ASSERT_EQ(r.size(), 4u);
    const int index = IndexOf(r[0]);
    ASSERT_GE(index, 0) << r[0];
    EcCurve curve(index);
    EXPECT_EQ(SharedX(curve, r[1], r[2]), r[3]) << r[0] << " d=" << r[1] << " Q=" << r[2];
  }
}

}  // namespace

TEST(EcdhVectors, WycheproofSharedSecrets) {
  REQUIRE_OR_SKIP(ectest::HasPython() && ectest::HasOpenssl(), "python3 with cryptography, or openssl, missing");
  const char* files[] = {"ecdh_secp256r1_ecpoint_test.json", "ecdh_secp384r1_ecpoint_test.json",
                         "ecdh_secp521r1_ecpoint_test.json", "ecdh_secp256k1_test.json",
                         "ecdh_brainpoolP256r1_test.json", "ecdh_sect283k1_test.json", "ecdh_sect571r1_test.json"};
  for (const char* file : files) {
    SCOPED_TRACE(file);
    const auto path = testsupport::VectorsDir() / "wycheproof" / file;
    REQUIRE_OR_SKIP(std::filesystem::exists(path), std::string("vector file missing: ") + path.string());
    // Bounded: valid cases spread over the whole file, edge cases included.
    const auto rows = ectest::RunScript(ectest::ScriptPath("ec_points.py") + " wycheproof " + path.string() + " 24");
    ASSERT_GE(rows.size(), 15u);
    CheckRows(rows);
  }
}

TEST(EcdhVectors, OpensslDeriveOnOtherNamedCurves) {
  REQUIRE_OR_SKIP(ectest::HasPython() && ectest::HasOpenssl(), "python3 with cryptography, or openssl, missing");
  const std::string names =
      "secp112r1 secp128r2 secp160k1 secp160r2 secp192k1 prime192v1 secp224k1 secp224r1 brainpoolP160t1 "
      "brainpoolP224r1 brainpoolP320t1 brainpoolP384r1 brainpoolP512t1 sect113r2 sect131r1 sect163k1 sect163r1 "
      "sect163r2 sect193r2 sect233k1 sect233r1 sect239k1 sect283r1 sect409k1 sect409r1 sect571k1";
  const auto rows = ectest::RunScript(ectest::ScriptPath("ec_points.py") + " derive " + names);
  ASSERT_EQ(rows.size(), 26u);
  CheckRows(rows);
}
