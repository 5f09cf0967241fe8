// X448 against RFC 7748, Wycheproof and Python's cryptography package.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "VectorTools.h"
#include "crypto/ecc/edwards/EdwardsMath.h"

using tornell::EdwardsMath;
using namespace edtest;

namespace {


const char* kFive = "0500000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000";

// RFC 7748 section 5.2 and 6.2.
const XdhCase kRfcCases[] = {
    {"3d262fddf9ec8e88495266fea19a34d28882acef045104d0d1aae121700a779c984c24f8cdd78fbff44943eba368f54b29259a4f1c600ad3",
     "06fce640fa3487bfda5f6cf2d5263f8aad88334cbd07437f020f08f9814dc031ddbdc38c19c6da2583fa5429db94ada18aa7a7fb4ef8a086",
     "ce3e4ff95a60dc6697da1db1d85e6afbdf79b50a2412d7546d5f239fe14fbaadeb445fc66a01b0779d98223961111e21766282f73dd96b6f"},
    {"203d494428b8399352665ddca42f9de8fef600908e0d461cb021f8c538345dd77c3e4806e25f46d3315c44e0a5b4371282dd2c8d5be3095f",
     "0fbcc2f993cd56d3305b0b7d9e55d4c1a8fb5dbb52f8e9a1e9b6201b165d015894e56c4d3570bee52fe205e28a78b91cdfbde71ce8d157db",
     "884a02576239ff7a2f2f63b2db6a9ff37047ac13568e1e30fe63c4a7ad1b3ee3a5700df34321d62077e63633c575c1c954514e99da7c179d"},
    {"9a8f4925d1519f5775cf46b04b5800d4ee9ee8bae8bc5565d498c28dd9c9baf574a9419744897391006382a6f127ab1d9ac2d8c0a598726b",
     kFive,
     "9b08f7cc31b7e3e67d22d5aea121074a273bd2b83de09c63faa73d2c22c5d9bbc836647241d953d40c5b12da88120d53177f80e532c41fa0"},
    {"1c306a7ac2a0e2e0990b294470cba339e6453772b075811d8fad0d1d6927c120bb5ee8972b0d3e21374c9c921b09d1b0366f10b65173992d",
     kFive,
     "3eb7a829b0cd20f5bcfc0b599b6feccf6da4627107bdb0d4f345b43027d8b972fc3e34fb4232a13ca706dcb57aec3dae07bdc1c67bf33609"},
    {"9a8f4925d1519f5775cf46b04b5800d4ee9ee8bae8bc5565d498c28dd9c9baf574a9419744897391006382a6f127ab1d9ac2d8c0a598726b",
     "3eb7a829b0cd20f5bcfc0b599b6feccf6da4627107bdb0d4f345b43027d8b972fc3e34fb4232a13ca706dcb57aec3dae07bdc1c67bf33609",
     "07fff4181ac6cc95ec1c16a94a0f74d12da232ce40a77552281d282bb60c0b56fd2464c335543936521c24403085d59a449a5037514a879d"},
};

}  // namespace

TEST(X448, RfcVectorsThroughLadderAndFixedBase) {
  for (const XdhCase& c : kRfcCases) {
    EXPECT_EQ(Xdh(EdwardsMath::X448Ladder, FromHex(c.scalar), FromHex(c.u)), c.out);
    EXPECT_EQ(Xdh(EdwardsMath::X448, FromHex(c.scalar), FromHex(c.u)), c.out);
  }
}

TEST(X448, RfcIterations) {
  Bytes k = FromHex(kFive), u = k;
  for (int i = 1; i <= 1000; ++i) {
    unsigned char out[56];
    ASSERT_EQ(EdwardsMath::X448(k.data(), 56, u.data(), 56, out, 56), 0);
    u = k;
    k.assign(out, out + 56);
    if (i == 1) {
      EXPECT_EQ(ToHex(k), "3f482c8a9f19b01e6c46ee9711d9dc14fd4bf67af30765c2ae2b846a4d23a8cd0db897086239492caf350b51f833868b9bc2b3bca9cf4113");
    }
  }
  EXPECT_EQ(ToHex(k), "aa3b4749d55b9daf1e5b00288826c467274ce3ebbdd5c17b975e09d4af6c67cf10d087202db88286e2b79fceea3ec353ef54faa26e219f38");
}

TEST(X448, ZeroResultLengthsAndLargeU) {
  Bytes k(56, 0x5A), zero(56, 0), ff(56, 0xFF);
  int status = 0;
  EXPECT_EQ(Xdh(EdwardsMath::X448, k, zero, &status), std::string(112, '0'));
  EXPECT_EQ(status, tornell::kEdwardsZeroResult);
  // u = 2^448 - 1 is read modulo p: it equals 2^224, so the result matches.
  Bytes reduced(56, 0);
  reduced[28] = 1;
  EXPECT_EQ(Xdh(EdwardsMath::X448, k, ff), Xdh(EdwardsMath::X448, k, reduced));
  unsigned char out[57];
  for (int bad : {55, 57}) {
    EXPECT_EQ(EdwardsMath::X448(k.data(), bad, zero.data(), 56, out, 56), tornell::kEdwardsShortBuffer);
    EXPECT_EQ(EdwardsMath::X448(k.data(), 56, zero.data(), bad, out, 56), tornell::kEdwardsShortBuffer);
    EXPECT_EQ(EdwardsMath::X448Ladder(k.data(), 56, zero.data(), 56, out, bad), tornell::kEdwardsShortBuffer);
  }
}

TEST(X448, Wycheproof) {
  auto file = testsupport::VectorsDir() / "wycheproof" / "x448_test.json";
  REQUIRE_OR_SKIP(std::filesystem::exists(file) && HavePython(), "x448_test.json or python3 missing");
  auto rows = testsupport::WycheproofRows("x448_test.json", "t['tcId'], t['result'], t['private'], t['public'], t['shared']");
  ASSERT_GT(rows.size(), 400u);
  for (const auto& r : rows) {
    ASSERT_EQ(r.size(), 5u);
    const Bytes k = FromHex(r[2]), u = FromHex(r[3]);
    unsigned char out[56];
    const int status = EdwardsMath::X448(k.data(), static_cast<int>(k.size()), u.data(),
                                         static_cast<int>(u.size()), out, 56);
    if (r[1] == "invalid") {
      EXPECT_EQ(status, tornell::kEdwardsShortBuffer) << "tcId " << r[0];
      continue;
    }
    EXPECT_EQ(ToHex(out, 56), r[4]) << "tcId " << r[0];
    EXPECT_EQ(status, r[4] == std::string(112, '0') ? tornell::kEdwardsZeroResult : 0) << "tcId " << r[0];
  }
}

TEST(X448, RandomInputsAgainstPythonCryptography) {
  REQUIRE_OR_SKIP(HavePython(), "python3 with cryptography missing");
  ExpectXdhAgreesWithPython("x448", 48, EdwardsMath::X448, EdwardsMath::X448Ladder, FromHex(kFive));
}
