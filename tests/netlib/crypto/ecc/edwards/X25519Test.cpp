// X25519 against RFC 7748, Wycheproof and Python's cryptography package, on
// every compiled path of the ladder.
#include <gtest/gtest.h>

#include <cstring>

#include "ProcessorPath.h"
#include "TestSupport.h"
#include "VectorTools.h"
#include "crypto/ecc/edwards/EdwardsMath.h"

using tornell::EdwardsMath;
using namespace edtest;

namespace {


// RFC 7748 section 5.2 and the two public keys and shared secret of 6.2.
const XdhCase kRfcCases[] = {
    {"a546e36bf0527c9d3b16154b82465edd62144c0ac1fc5a18506a2244ba449ac4",
     "e6db6867583030db3594c1a424b15f7c726624ec26b3353b10a903a6d0ab1c4c",
     "c3da55379de9c6908e94ea4df28d084f32eccf03491c71f754b4075577a28552"},
    {"4b66e9d4d1b4673c5ad22691957d6af5c11b6421e0ea01d42ca4169e7918ba0d",
     "e5210f12786811d3f4b7959d0538ae2c31dbe7106fc03c3efc4cd549c715a493",
     "95cbde9476e8907d7aade45cb4b873f88b595a68799fa152e6f8f7647aac7957"},
    {"77076d0a7318a57d3c16c17251b26645df4c2f87ebc0992ab177fba51db92c2a",
     "0900000000000000000000000000000000000000000000000000000000000000",
     "8520f0098930a754748b7ddcb43ef75a0dbf3a0d26381af4eba4a98eaa9b4e6a"},
    {"5dab087e624a8a4b79e17f8b83800ee66f3bb1292618b6fd1c2f8b27ff88e0eb",
     "0900000000000000000000000000000000000000000000000000000000000000",
     "de9edb7d7b7dc1b4d35b61c2ece435373f8343c85b78674dadfc7e146f882b4f"},
    {"77076d0a7318a57d3c16c17251b26645df4c2f87ebc0992ab177fba51db92c2a",
     "de9edb7d7b7dc1b4d35b61c2ece435373f8343c85b78674dadfc7e146f882b4f",
     "4a5d9d5ba4ce2de1728e3bf480350f25e07e21c947d19e3376f09b3c1e161742"},
    {"5dab087e624a8a4b79e17f8b83800ee66f3bb1292618b6fd1c2f8b27ff88e0eb",
     "8520f0098930a754748b7ddcb43ef75a0dbf3a0d26381af4eba4a98eaa9b4e6a",
     "4a5d9d5ba4ce2de1728e3bf480350f25e07e21c947d19e3376f09b3c1e161742"},
};

// The five-limb ladder, and the four-limb MULX/ADX one where the processor
// has it.
class X25519Path : public ::testing::TestWithParam<uint32_t> {};

}  // namespace

TEST_P(X25519Path, RfcVectorsThroughLadderAndFixedBase) {
  USE_PROCESSOR_PATH_OR_SKIP(GetParam());
  for (const XdhCase& c : kRfcCases) {
    EXPECT_EQ(Xdh(EdwardsMath::X25519Ladder, FromHex(c.scalar), FromHex(c.u)), c.out);
    EXPECT_EQ(Xdh(EdwardsMath::X25519, FromHex(c.scalar), FromHex(c.u)), c.out);
  }
}

TEST_P(X25519Path, RfcIterations) {
  USE_PROCESSOR_PATH_OR_SKIP(GetParam());
  Bytes k(32, 0), u(32, 0);
  k[0] = u[0] = 9;
  for (int i = 1; i <= 1000; ++i) {
    unsigned char out[32];
    ASSERT_EQ(EdwardsMath::X25519(k.data(), 32, u.data(), 32, out, 32), 0);
    u = k;
    k.assign(out, out + 32);
    if (i == 1) {
      EXPECT_EQ(ToHex(k), "422c8e7a6227d7bca1350b3e2bb7279f7897b87bb6854b783c60e80311ae3079");
    }
  }
  EXPECT_EQ(ToHex(k), "684cf59ba83309552800ef566f2f4d3c1c3887c49360e3875f2eb94d99532c51");
}

TEST_P(X25519Path, ZeroResultAndLengths) {
  USE_PROCESSOR_PATH_OR_SKIP(GetParam());
  Bytes k(32, 0x77), zero(32, 0);
  int status = 0;
  EXPECT_EQ(Xdh(EdwardsMath::X25519Ladder, k, zero, &status), std::string(64, '0'));
  EXPECT_EQ(status, tornell::kEdwardsZeroResult);
  unsigned char out[33];
  for (int bad : {31, 33}) {
    EXPECT_EQ(EdwardsMath::X25519Ladder(k.data(), bad, zero.data(), 32, out, 32), tornell::kEdwardsShortBuffer);
    EXPECT_EQ(EdwardsMath::X25519(k.data(), 32, zero.data(), bad, out, 32), tornell::kEdwardsShortBuffer);
    EXPECT_EQ(EdwardsMath::X25519(k.data(), 32, zero.data(), 32, out, bad), tornell::kEdwardsShortBuffer);
  }
}

TEST(X25519, FieldEncodingIsCanonical) {
  Bytes ff(32, 0xFF);
  tornell::Fe25519 f;
  ASSERT_EQ(EdwardsMath::Fe25519FromBytes(f, ff.data(), 32), 0);
  unsigned char out[32];
  ASSERT_EQ(EdwardsMath::Fe25519ToBytes(out, 32, f), 0);
  EXPECT_EQ(ToHex(out, 32), "12" + std::string(62, '0'));
  EXPECT_EQ(EdwardsMath::Fe25519FromBytes(f, ff.data(), 31), tornell::kEdwardsShortBuffer);
}

TEST_P(X25519Path, Wycheproof) {
  USE_PROCESSOR_PATH_OR_SKIP(GetParam());
  auto file = testsupport::VectorsDir() / "wycheproof" / "x25519_test.json";
  REQUIRE_OR_SKIP(std::filesystem::exists(file) && HavePython(), "x25519_test.json or python3 missing");
  auto rows = testsupport::WycheproofRows("x25519_test.json", "t['tcId'], t['result'], t['private'], t['public'], t['shared']");
  ASSERT_GT(rows.size(), 500u);
  for (const auto& r : rows) {
    ASSERT_EQ(r.size(), 5u);
    int status = 0;
    const std::string got = Xdh(EdwardsMath::X25519, FromHex(r[2]), FromHex(r[3]), &status);
    EXPECT_EQ(got, r[4]) << "tcId " << r[0];
    const bool zero = r[4] == std::string(64, '0');
    EXPECT_EQ(status, zero ? tornell::kEdwardsZeroResult : 0) << "tcId " << r[0];
    EXPECT_TRUE(r[1] == "valid" || r[1] == "acceptable");
  }
}

TEST_P(X25519Path, RandomInputsAgainstPythonCryptography) {
  USE_PROCESSOR_PATH_OR_SKIP(GetParam());
  REQUIRE_OR_SKIP(HavePython(), "python3 with cryptography missing");
  Bytes nine(32, 0);
  nine[0] = 9;
  ExpectXdhAgreesWithPython("x25519", 64, EdwardsMath::X25519, EdwardsMath::X25519Ladder, nine);
}

// Each bit of u at and below 255 and each scalar bit: one-hot inputs reach
// the carries of every limb, and the two paths must agree byte for byte.
TEST(X25519, MulxLadderMatchesPortableOnOneHotInputs) {
  USE_PROCESSOR_PATH_OR_SKIP(tornell::cpu::path::kMulxAdx);
  for (int bit = 0; bit < 256; ++bit) {
    Bytes u(32, 0), k(32, 0x5a), high(32, 0xff);
    u[bit / 8] = static_cast<unsigned char>(1u << (bit % 8));
    k[bit / 8] ^= static_cast<unsigned char>(1u << (bit % 8));
    high[bit / 8] ^= static_cast<unsigned char>(1u << (bit % 8));
    std::string fast[3], portable[3];
    const Bytes* inputs[3][2] = {{&k, &u}, {&k, &high}, {&high, &k}};
    for (int i = 0; i < 3; ++i) fast[i] = Xdh(EdwardsMath::X25519Ladder, *inputs[i][0], *inputs[i][1]);
    {
      tornell::cpu::ScopedRestrict portableOnly(testsupport::kPortablePath);
      for (int i = 0; i < 3; ++i) portable[i] = Xdh(EdwardsMath::X25519Ladder, *inputs[i][0], *inputs[i][1]);
    }
    for (int i = 0; i < 3; ++i) EXPECT_EQ(fast[i], portable[i]) << "bit " << bit << " case " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Paths, X25519Path,
                         ::testing::Values(testsupport::kPortablePath, tornell::cpu::path::kMulxAdx),
                         [](const ::testing::TestParamInfo<uint32_t>& info) {
                           return std::string(info.param == testsupport::kPortablePath ? "portable" : "mulx");
                         });
