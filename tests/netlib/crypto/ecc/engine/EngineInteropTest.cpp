// The engine against Python's cryptography on random keys: it signs and we
// verify, we sign and it verifies, both sides agree on ECDH, and the
// encryption scheme against a composition of its parts written there.
#include <gtest/gtest.h>

#include "EngineTestUtil.h"
#include "crypto/digest/hash/HashAlgorithm.h"
#include "crypto/ecc/engine/EccEngine.h"
#include "crypto/ecc/engine/EccEngineMultiply.h"

using namespace tornell;
using namespace enginetest;

namespace {

constexpr int kKeysPerCurve = 2;
constexpr int kHashes[] = {HashAlgorithm::kSha256, HashAlgorithm::kSha384, HashAlgorithm::kSha512};

// (curve index, generic backend): the dedicated and the generic point
// arithmetic face the same peer.
class EngineInterop : public ::testing::TestWithParam<std::tuple<int, int>> {
 protected:
  void SetUp() override { EccUseGenericMultiply(std::get<1>(GetParam())); }
  void TearDown() override { EccUseGenericMultiply(0); }
};

TEST_P(EngineInterop, SignaturesAndAgreementBothWays) {
  REQUIRE_OR_SKIP(HasPython(), "python3 with cryptography absent");
  const int index = std::get<0>(GetParam());
  const std::string curve = std::to_string(index);
  const std::vector<Row> rows = Reference("keys " + curve + " " + std::to_string(kKeysPerCurve));
  ASSERT_EQ(rows.size(), static_cast<size_t>(kKeysPerCurve));
  for (const Row& row : rows) {
    ASSERT_EQ(row.size(), 9u);
    EcKey key, peer;
    SetKey(key, index, row[0], row[1], row[2]);
    SetKey(peer, index, row[5], row[6], row[7]);
    const std::string msg = Bytes(row[3]);
    const std::string theirs = Bytes(row[4]);

    EccEngine engine;
    ASSERT_EQ(engine.SetKey(key), 0);
    int valid = 0;
    ASSERT_EQ(engine.VerifyData(msg.data(), static_cast<int>(msg.size()), theirs.data(),
                                static_cast<int>(theirs.size()), kHashes[index], valid),
              0);
    EXPECT_EQ(valid, 1);

    ByteString ours;
    ASSERT_EQ(engine.SignData(msg.data(), static_cast<int>(msg.size()), kHashes[index], ours), 0);
    const Row verdict = Reference("verify " + curve + " " + row[1] + " " + row[2] + " " + row[3] + " " + Hex(ours))[0];
    EXPECT_EQ(verdict[0], "1");

    ByteString shared;
    ASSERT_EQ(EccEngine::ComputeSharedSecret(key.D, peer, 0, shared), 0);
    EXPECT_EQ(Hex(shared), row[8]);
  }

  // A key of our own making signs for the other side.
  EccEngine generator;
  EXPECT_EQ(generator.SetCurveIndex(index), 0);
  EcKey mine;
  ASSERT_EQ(generator.GenerateKey(1, mine), 0);
  ByteString sig;
  ASSERT_EQ(generator.SignData("\x01\x02", 2, kHashes[index], sig), 0);
  const Row verdict = Reference("verify " + curve + " " + Hex(mine.X) + " " + Hex(mine.Y) + " 0102 " + Hex(sig))[0];
  EXPECT_EQ(verdict[0], "1");
}

TEST_P(EngineInterop, EncryptionSchemeBothWays) {
  REQUIRE_OR_SKIP(HasPython(), "python3 with cryptography absent");
  const int index = std::get<0>(GetParam());
  const std::string curve = std::to_string(index);
  EccEngine owner;
  EXPECT_EQ(owner.SetCurveIndex(index), 0);
  EcKey key;
  ASSERT_EQ(owner.GenerateKey(1, key), 0);
  const std::string plains[] = {"-", "00", "000102030405060708", std::string(2 * 1000, 'a')};
  for (const std::string& plain : plains) {
    // Theirs to us.
    const Row message = Reference("ies_encrypt " + curve + " " + Hex(key.X) + " " + Hex(key.Y) + " " + plain)[0];
    const std::string m = Bytes(message[0]);
    ByteString back;
    ASSERT_EQ(owner.Decrypt(m.data(), static_cast<int>(m.size()), back), 0) << plain.size();
    EXPECT_EQ(Hex(back), plain);
    // Ours to them.
    const std::string p = Bytes(plain);
    ByteString ours;
    ASSERT_EQ(owner.Encrypt(p.data(), static_cast<int>(p.size()), ours), 0);
    const Row decrypted = Reference("ies_decrypt " + curve + " " + Hex(key.D) + " " + Hex(ours))[0];
    EXPECT_EQ(decrypted[0], plain);
  }
}

INSTANTIATE_TEST_SUITE_P(Curves, EngineInterop, ::testing::Combine(::testing::Values(0, 1, 2), ::testing::Values(0, 1)),
                         [](const ::testing::TestParamInfo<std::tuple<int, int>>& info) {
                           return std::to_string(std::get<0>(info.param)) +
                                  (std::get<1>(info.param) != 0 ? "generic" : "");
                         });

}  // namespace
