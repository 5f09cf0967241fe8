// Wycheproof ECDSA and ECDH vectors through the engine, read in place.
#include <gtest/gtest.h>

#include <set>

#include "EngineTestUtil.h"
#include "crypto/digest/hash/HashAlgorithm.h"
#include "crypto/ecc/curve/EcCurve.h"
#include "crypto/ecc/engine/EccEngine.h"
#include "crypto/ecc/engine/EccEngineMultiply.h"

using namespace tornell;
using namespace enginetest;

namespace {

struct EcdsaFile {
  const char* name;
  int curveIndex;
  int hash;
  int generic;  // 1: through the generic point arithmetic in place of the dedicated one
};

constexpr EcdsaFile kEcdsaFiles[] = {
    {"ecdsa_secp256r1_sha256_test.json", 0, HashAlgorithm::kSha256, 0},
    {"ecdsa_secp256r1_sha256_test.json", 0, HashAlgorithm::kSha256, 1},
    {"ecdsa_secp256r1_sha256_p1363_test.json", 0, HashAlgorithm::kSha256, 0},
    {"ecdsa_secp256r1_sha512_test.json", 0, HashAlgorithm::kSha512, 0},
    {"ecdsa_secp384r1_sha384_test.json", 1, HashAlgorithm::kSha384, 0},
    {"ecdsa_secp384r1_sha384_p1363_test.json", 1, HashAlgorithm::kSha384, 0},
    {"ecdsa_secp521r1_sha512_test.json", 2, HashAlgorithm::kSha512, 0},
    {"ecdsa_secp521r1_sha512_p1363_test.json", 2, HashAlgorithm::kSha512, 0},
};

std::string Path(const char* name) { return (testsupport::VectorsDir() / "wycheproof" / name).string(); }

// Runs a case with the backend the parameter names and restores the default.
struct BackendScope {
  explicit BackendScope(int generic) { EccUseGenericMultiply(generic); }
  ~BackendScope() { EccUseGenericMultiply(0); }
};

class EngineWycheproofEcdsa : public ::testing::TestWithParam<EcdsaFile> {};

TEST_P(EngineWycheproofEcdsa, EveryCase) {
  const EcdsaFile& file = GetParam();
  const BackendScope backend(file.generic);
  REQUIRE_OR_SKIP(std::filesystem::exists(Path(file.name)), "Wycheproof vectors absent");
  REQUIRE_OR_SKIP(HasPython(), "python3 with cryptography absent");
  const std::vector<Row> rows = Reference("wycheproof " + Path(file.name));
  ASSERT_GT(rows.size(), 100u);
  std::set<int> accepted;
  for (const Row& row : rows) {
    ASSERT_EQ(row.size(), 7u);
    const int tcId = std::stoi(row[0]);
    EcKey key;
    SetKey(key, file.curveIndex, "-", row[2], row[3]);
    EccEngine engine;
    ASSERT_EQ(engine.SetKey(key), 0);
    const std::string msg = Bytes(row[5]);
    const std::string sig = Bytes(row[6]);
    int valid = -1;
    const int status = engine.VerifyData(msg.data(), static_cast<int>(msg.size()), sig.data(),
                                         static_cast<int>(sig.size()), file.hash, valid);
    ASSERT_EQ(status, 0) << "tcId " << tcId;
    if (row[1] == "valid") {
      EXPECT_EQ(valid, 1) << "tcId " << tcId;
    } else if (row[1] == "invalid" && valid == 1) {
      accepted.insert(tcId);
    }
  }
  std::string got;
  for (int id : accepted) got += std::to_string(id) + ", ";
  EXPECT_TRUE(accepted.empty()) << "invalid cases accepted: " << got;
}

INSTANTIATE_TEST_SUITE_P(Files, EngineWycheproofEcdsa, ::testing::ValuesIn(kEcdsaFiles),
                         [](const ::testing::TestParamInfo<EcdsaFile>& info) {
                           std::string name = info.param.name;
                           name = name.substr(0, name.find('.'));
                           for (char& c : name) {
                             if (c == '_') c = 'X';
                           }
                           return name + (info.param.generic != 0 ? "Xgeneric" : "");
                         });

// (curve index, generic backend)
class EngineWycheproofEcdh : public ::testing::TestWithParam<std::pair<int, int>> {};

TEST_P(EngineWycheproofEcdh, EveryCase) {
  static const char* const kFiles[] = {"ecdh_secp256r1_ecpoint_test.json", "ecdh_secp384r1_ecpoint_test.json",
                                       "ecdh_secp521r1_ecpoint_test.json"};
  const int index = GetParam().first;
  const BackendScope backend(GetParam().second);
  const std::string path = Path(kFiles[index]);
  REQUIRE_OR_SKIP(std::filesystem::exists(path), "Wycheproof vectors absent");
  REQUIRE_OR_SKIP(HasPython(), "python3 with cryptography absent");
  const std::vector<Row> rows = Reference("wycheproof " + path);
  ASSERT_GT(rows.size(), 100u);
  int computed = 0;
  for (const Row& row : rows) {
    ASSERT_EQ(row.size(), 6u);
    const int tcId = std::stoi(row[0]);
    const EcCurve& curve = *EcCurve::FindPrebuilt(index);
    EcKey peer;
    peer.curveIndex = index;
    int ok = 0;
    ASSERT_EQ(EcCurve::DecodePoint(Str(row[3]), curve, ok, peer.X, peer.Y), 0);
    ByteString d = Str(row[4]);
    ByteString secret;
    int status = -1;
    // The point at infinity decodes to empty coordinates; the engine refuses it.
    if (ok == 1) status = EccEngine::ComputeSharedSecret(d, peer, 0, secret);
    if (row[1] == "valid") {
      ASSERT_EQ(ok, 1) << "tcId " << tcId;
      EXPECT_EQ(status, 0) << "tcId " << tcId;
      EXPECT_EQ(Hex(secret), row[5]) << "tcId " << tcId;
    } else if (row[1] == "invalid") {
      EXPECT_NE(status, 0) << "tcId " << tcId;
    } else if (status == 0) {
      EXPECT_EQ(Hex(secret), row[5]) << "tcId " << tcId;
    }
    if (status == 0) ++computed;
  }
  EXPECT_GT(computed, 50);
}

INSTANTIATE_TEST_SUITE_P(Curves, EngineWycheproofEcdh,
                         ::testing::Values(std::make_pair(0, 0), std::make_pair(1, 0), std::make_pair(2, 0),
                                           std::make_pair(0, 1)),
                         [](const ::testing::TestParamInfo<std::pair<int, int>>& info) {
                           return std::to_string(info.param.first) + (info.param.second != 0 ? "generic" : "");
                         });

}  // namespace
