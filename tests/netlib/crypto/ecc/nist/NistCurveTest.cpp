// The prime-curve arithmetic against Python integers, the `cryptography`
// package and the published ECDH and ECDSA vectors, on every compiled path.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "../edwards/VectorTools.h"
#include "ProcessorPath.h"
#include "TestSupport.h"
#include "crypto/ecc/nist/NistCurve.h"
#include "crypto/ecc/nist/NistCurveImpl.h"
#include "crypto/ecc/nist/NistCurveParams.h"

namespace {

using namespace tornell;
using Bytes = edtest::Bytes;
using Row = std::vector<std::string>;

using edtest::FromHex;
using edtest::HavePython;
using edtest::ToHex;

std::vector<Row> RunReference(const std::string& args) {
  const std::string cmd = "/usr/bin/python3 " + std::string(NIST_TEST_DIR) + "/nist_reference.py " + args;
  std::vector<Row> rows;
  FILE* p = popen(cmd.c_str(), "r");
  if (p == nullptr) return rows;
  std::string line;
  char buf[4096];
  while (std::fgets(buf, sizeof buf, p) != nullptr) {
    line += buf;
    if (line.empty() || line.back() != '\n') continue;
    std::istringstream in(line);
    Row row;
    for (std::string field; in >> field;) row.push_back(field);
    rows.push_back(row);
    line.clear();
  }
  pclose(p);
  return rows;
}

// Random and edge cases per curve, computed once.
const std::vector<Row>& Cases(int curve) {
  static std::map<int, std::vector<Row>> cache;
  auto it = cache.find(curve);
  if (it == cache.end()) {
    it = cache.emplace(curve, RunReference("cases " + std::to_string(curve) + " " + std::to_string(curve + 7) + " 6"))
             .first;
  }
  return it->second;
}

// Each processor path of the dedicated arithmetic: the portable code, and
// the MULX/ADX code where the processor has it.
class NistCurvePath : public ::testing::TestWithParam<uint32_t> {};

std::string PathName(uint32_t path) { return path == testsupport::kPortablePath ? "portable" : "mulx"; }

// A point as the reference prints it: "-" for infinity.
std::string PointHex(int status, const uint8_t* x, const uint8_t* y, size_t n) {
  return status == kNistInfinity ? "- -" : ToHex(x, n) + " " + ToHex(y, n);
}

TEST_P(NistCurvePath, PointOperationsMatchPythonIntegers) {
  USE_PROCESSOR_PATH_OR_SKIP(GetParam());
  REQUIRE_OR_SKIP(HavePython(), "python3 with cryptography missing");
  for (int curve = 0; curve < 3; ++curve) {
    const size_t n = (size_t)NistCurveBytes(curve);
    const std::vector<Row>& rows = Cases(curve);
    ASSERT_GT(rows.size(), 50u);
    int checked = 0;
    for (const Row& r : rows) {
      SCOPED_TRACE("curve " + std::to_string(curve) + " path " + PathName(GetParam()) + ": " + r[0] + " " + r[1]);
      uint8_t x[66], y[66];
      if (r[0] == "base") {
        const int st = NistScalarMulBase(curve, FromHex(r[1]).data(), x, y);
        EXPECT_EQ(PointHex(st, x, y, n), r[2] + " " + r[3]);
      } else if (r[0] == "mul") {
        const int st = NistScalarMul(curve, FromHex(r[1]).data(), FromHex(r[2]).data(), FromHex(r[3]).data(), x, y);
        EXPECT_EQ(PointHex(st, x, y, n), r[4] + " " + r[5]);
      } else if (r[0] == "dmul") {
        const int st = NistDoubleScalarMulVartime(curve, FromHex(r[1]).data(), FromHex(r[2]).data(),
                                                  FromHex(r[3]).data(), FromHex(r[4]).data(), x, y);
        EXPECT_EQ(PointHex(st, x, y, n), r[5] + " " + r[6]);
      } else if (r[0] == "inv") {
        EXPECT_EQ(NistScalarInverse(curve, FromHex(r[1]).data(), x), kNistOk);
        EXPECT_EQ(ToHex(x, n), r[2]);
        EXPECT_EQ(NistScalarInverseVartime(curve, FromHex(r[1]).data(), y), kNistOk);
        EXPECT_EQ(ToHex(y, n), r[2]);
      } else {
        continue;
      }
      ++checked;
    }
    EXPECT_GT(checked, 40);
  }
}

TEST_P(NistCurvePath, KeyAgreementAndSigningMatchReference) {
  USE_PROCESSOR_PATH_OR_SKIP(GetParam());
  REQUIRE_OR_SKIP(HavePython(), "python3 with cryptography missing");
  for (int curve = 0; curve < 3; ++curve) {
    const size_t n = (size_t)NistCurveBytes(curve);
    int checked = 0;
    for (const Row& r : Cases(curve)) {
      SCOPED_TRACE("curve " + std::to_string(curve) + " path " + PathName(GetParam()) + ": " + r[0]);
      uint8_t a[66], b[66];
      if (r[0] == "ecdh") {
        const Bytes d = FromHex(r[1]);
        ASSERT_EQ(NistScalarMul(curve, d.data(), FromHex(r[2]).data(), FromHex(r[3]).data(), a, b), kNistOk);
        EXPECT_EQ(ToHex(a, n), r[4]);
        ASSERT_EQ(NistScalarMulBase(curve, d.data(), a, b), kNistOk);
        EXPECT_EQ(ToHex(a, n) + " " + ToHex(b, n), r[5] + " " + r[6]);
      } else if (r[0] == "sign") {
        const Bytes qx = FromHex(r[6]), qy = FromHex(r[7]), e = FromHex(r[3]);
        ASSERT_EQ(NistEcdsaSign(curve, FromHex(r[1]).data(), FromHex(r[2]).data(), e.data(), a, b), kNistOk);
        EXPECT_EQ(ToHex(a, n) + " " + ToHex(b, n), r[4] + " " + r[5]);
        int valid = 0;
        EXPECT_EQ(NistEcdsaVerify(curve, qx.data(), qy.data(), e.data(), a, b, &valid), kNistOk);
        EXPECT_EQ(valid, 1);
        b[n - 1] ^= 1;
        EXPECT_EQ(NistEcdsaVerify(curve, qx.data(), qy.data(), e.data(), a, b, &valid), kNistOk);
        EXPECT_EQ(valid, 0);
      } else {
        continue;
      }
      ++checked;
    }
    EXPECT_EQ(checked, 12);
  }
}

TEST(NistCurve, FieldArithmeticMatchesPythonIntegers) {
  REQUIRE_OR_SKIP(HavePython(), "python3 with cryptography missing");
  struct Tag {};
  auto check = [](auto impl, int curve) {
    using I = decltype(impl);
    using F = typename I::F;
    for (const Row& r : Cases(curve)) {
      if (r[0] != "field") continue;
      typename I::Fe a, b, prod, diff, inv;
      F::FromBytes(a, FromHex(r[1]).data(), I::kBytes);
      F::FromBytes(b, FromHex(r[2]).data(), I::kBytes);
      F::ToMont(a, a);
      F::ToMont(b, b);
      F::Mul(prod, a, b);
      F::Sub(diff, a, b);
      F::Invert(inv, a);
      // Halving: h + h gives a back, for odd and even a alike.
      if constexpr (requires(typename I::Fe& x, const typename I::Fe& y) { F::Half(x, y); }) {
        typename I::Fe half, twice;
        F::Half(half, a);
        F::Add(twice, half, half);
        EXPECT_EQ(F::Equal(twice, a), ~0ULL);
      }
      uint8_t out[3][66];
      for (auto* v : {&prod, &diff, &inv}) F::FromMont(*v, *v);
      F::ToBytes(out[0], I::kBytes, prod);
      F::ToBytes(out[1], I::kBytes, diff);
      F::ToBytes(out[2], I::kBytes, inv);
      EXPECT_EQ(ToHex(out[0], I::kBytes) + " " + ToHex(out[1], I::kBytes) + " " + ToHex(out[2], I::kBytes),
                r[3] + " " + r[4] + " " + r[5]);
    }
  };
  check(nistcurve::Impl<nistcurve::P256Params, Tag>{}, 0);
  check(nistcurve::Impl<nistcurve::P384Params, Tag>{}, 1);
  check(nistcurve::Impl<nistcurve::P521Params, Tag>{}, 2);
}

// The P-256 product, square and halving written for MULX and ADX (the curve
// code's own tag picks them), on the same cases and the field's edge values.
struct AdxTag {
  static constexpr bool kAdx = true;
};

TEST(NistCurve, MulxFieldProductsMatchPythonIntegers) {
  USE_PROCESSOR_PATH_OR_SKIP(cpu::path::kMulxAdx);
  REQUIRE_OR_SKIP(HavePython(), "python3 with cryptography missing");
  using I = nistcurve::Impl<nistcurve::P256Params, AdxTag>;
  using F = I::F;
  static_assert(F::kP256Adx);
  int checked = 0;
  for (const Row& r : Cases(0)) {
    if (r[0] != "field") continue;
    I::Fe a, b, prod, sq, sqInPlace;
    F::FromBytes(a, FromHex(r[1]).data(), I::kBytes);
    F::FromBytes(b, FromHex(r[2]).data(), I::kBytes);
    F::ToMont(a, a);
    F::ToMont(b, b);
    F::Mul(prod, a, b);
    F::Sqr(sq, a);
    I::Fe half, twice;
    F::Half(half, a);
    F::Add(twice, half, half);
    EXPECT_EQ(F::Equal(twice, a), ~0ULL);
    sqInPlace = a;
    F::Sqr(sqInPlace, sqInPlace);
    uint8_t out[3][32];
    for (auto* v : {&prod, &sq, &sqInPlace}) F::FromMont(*v, *v);
    F::ToBytes(out[0], I::kBytes, prod);
    F::ToBytes(out[1], I::kBytes, sq);
    F::ToBytes(out[2], I::kBytes, sqInPlace);
    EXPECT_EQ(ToHex(out[0], 32) + " " + ToHex(out[1], 32) + " " + ToHex(out[2], 32), r[3] + " " + r[6] + " " + r[6]);
    ++checked;
  }
  EXPECT_GT(checked, 30);
}

const char* const kEcdhFiles[3] = {"ecdh_secp256r1_ecpoint_test.json", "ecdh_secp384r1_ecpoint_test.json",
                                   "ecdh_secp521r1_ecpoint_test.json"};

TEST_P(NistCurvePath, WycheproofEcdhPoints) {
  USE_PROCESSOR_PATH_OR_SKIP(GetParam());
  REQUIRE_OR_SKIP(HavePython(), "python3 with cryptography missing");
  for (int curve = 0; curve < 3; ++curve) {
    const auto file = testsupport::VectorsDir() / "wycheproof" / kEcdhFiles[curve];
    REQUIRE_OR_SKIP(std::filesystem::exists(file), "missing " + file.string());
    const std::vector<Row> rows = RunReference("wycheproof " + file.string());
    ASSERT_GT(rows.size(), 100u);
    const size_t n = (size_t)NistCurveBytes(curve);
    int agreed = 0;
    for (const Row& r : rows) {
      SCOPED_TRACE(std::string(kEcdhFiles[curve]) + " tcId " + r[0] + " path " + PathName(GetParam()));
      const Bytes pub = r[2] == "-" ? Bytes{} : FromHex(r[2]);
      Bytes priv = FromHex(r[3]);
      while (priv.size() > n && priv[0] == 0) priv.erase(priv.begin());
      priv.insert(priv.begin(), n - priv.size(), 0);
      uint8_t px[66], py[66], x[66], y[66];
      int st = NistDecodePoint(curve, pub.data(), pub.size(), px, py);
      if (st == kNistOk) st = NistScalarMul(curve, priv.data(), px, py, x, y);
      if (r[1] == "valid") {
        ASSERT_EQ(st, kNistOk);
        EXPECT_EQ(ToHex(x, n), r[4]);
        ++agreed;
      } else if (r[1] == "invalid") {
        EXPECT_NE(st, kNistOk);
      } else if (st == kNistOk) {
        EXPECT_EQ(ToHex(x, n), r[4]);
      }
    }
    EXPECT_GT(agreed, 100);
  }
}

const char* const kEcdsaFiles[3] = {"ecdsa_secp256r1_sha256_p1363_test.json", "ecdsa_secp384r1_sha384_p1363_test.json",
                                    "ecdsa_secp521r1_sha512_p1363_test.json"};

TEST_P(NistCurvePath, WycheproofEcdsaVerification) {
  USE_PROCESSOR_PATH_OR_SKIP(GetParam());
  REQUIRE_OR_SKIP(HavePython(), "python3 with cryptography missing");
  for (int curve = 0; curve < 3; ++curve) {
    const auto file = testsupport::VectorsDir() / "wycheproof" / kEcdsaFiles[curve];
    REQUIRE_OR_SKIP(std::filesystem::exists(file), "missing " + file.string());
    const std::vector<Row> rows = RunReference("ecdsa " + file.string());
    ASSERT_GT(rows.size(), 100u);
    for (const Row& r : rows) {
      SCOPED_TRACE(std::string(kEcdsaFiles[curve]) + " tcId " + r[0] + " path " + PathName(GetParam()));
      int valid = 0;
      if (r[5] != "-") {
        const Bytes qx = FromHex(r[2]), qy = FromHex(r[3]), e = FromHex(r[4]), rr = FromHex(r[5]),
                    ss = FromHex(r[6]);
        EXPECT_EQ(NistEcdsaVerify(curve, qx.data(), qy.data(), e.data(), rr.data(), ss.data(), &valid), kNistOk);
      }
      if (r[1] != "acceptable") {
        EXPECT_EQ(valid, r[1] == "valid" ? 1 : 0);
      }
    }
  }
}

TEST(NistCurve, RejectsForeignCurvesAndPointsOffTheCurve) {
  uint8_t k[66] = {}, x[66], y[66];
  k[31] = 1;
  EXPECT_EQ(NistScalarMulBase(3, k, x, y), kNistBadCurve);
  EXPECT_EQ(NistCurveBytes(-1), -1);
  ASSERT_EQ(NistScalarMulBase(0, k, x, y), kNistOk);
  EXPECT_EQ(NistIsOnCurve(0, x, y), 1);
  uint8_t bad[66];
  std::memcpy(bad, y, 32);
  bad[31] ^= 1;
  EXPECT_EQ(NistScalarMul(0, k, x, bad, x + 32, y + 32), kNistBadPoint);
  // x = p: in range checks the coordinate, not its residue.
  const Bytes p = FromHex("ffffffff00000001000000000000000000000000ffffffffffffffffffffffff");
  EXPECT_EQ(NistIsOnCurve(0, p.data(), y), 0);
  uint8_t enc[33] = {2};
  std::memcpy(enc + 1, p.data(), 32);
  EXPECT_EQ(NistDecodePoint(0, enc, sizeof enc, x, y), kNistBadPoint);
  EXPECT_EQ(NistDecodePoint(0, enc, 0, x, y), kNistBadPoint);
}

INSTANTIATE_TEST_SUITE_P(Paths, NistCurvePath,
                         ::testing::Values(testsupport::kPortablePath, tornell::cpu::path::kMulxAdx),
                         [](const ::testing::TestParamInfo<uint32_t>& info) { return PathName(info.param); });

}  // namespace
