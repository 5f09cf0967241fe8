// RSA and DSA against the Wycheproof vectors, every case with its expected
// result. Cases marked "acceptable" are answered as follows:
// - RSA v1.5 "MissingNull" (DigestInfo without the NULL parameters): invalid,
//   as the prefix is compared byte for byte with checkPrefix 1.
// - DSA "MissingZero" (r encoded as a negative INTEGER): invalid, since only
//   strict DER is read, so a signature has one encoding.
// - Signature generation with SHA-1 or a short modulus: the deterministic
//   v1.5 signature is produced all the same and must equal the vector's.
#include <gtest/gtest.h>

#include <tuple>

#include <string>
#include <vector>

#include "KeyTestUtil.h"
#include "WycheproofCases.h"
#include "crypto/digest/hash/HashContext.h"
#include "crypto/dsa/DsaEngine.h"
#include "ProcessorPath.h"
#include "crypto/rsa/RsaEngine.h"

namespace tornell {
namespace {

using keytest::Case;
using keytest::DigestName;
using keytest::FromHex;
using keytest::Hex;
using keytest::ReadWycheproof;

ByteString HashOf(const Case& c, const std::string& digest) {
  ByteString msg = FromHex(c.at("msg")), out;
  HashContext h;
  EXPECT_EQ(0, h.SetAlgorithm(digest.c_str()));
  EXPECT_EQ(0, h.Digest(msg.Data(), msg.Length(), out));
  return out;
}

std::string Field(const Case& c, const char* name) {
  auto it = c.find(name);
  return it == c.end() ? std::string() : it->second;
}

void LoadRsa(const Case& c, RsaEngine& engine) {
  RsaKey key;
  const std::pair<const char*, ByteString*> fields[] = {{"n", &key.n},   {"e", &key.e},   {"d", &key.d},
                                                        {"p", &key.p},   {"q", &key.q},   {"dp", &key.dP},
                                                        {"dq", &key.dQ}, {"qi", &key.qInv}};
  for (const auto& [name, field] : fields) field->Assign(FromHex(Field(c, name)));
  ASSERT_EQ(0, engine.SetKey(key));
}

// Declares `file` and `cases` for the named vector file, or skips.
#define LOAD_OR_SKIP(name)                           \
  const std::string file = name;                     \
  const std::vector<Case> cases = ReadWycheproof(file); \
  REQUIRE_OR_SKIP(!cases.empty(), "Wycheproof vectors " + file + " not found")

// The processor paths the RSA exponentiations take: 52-bit digits with
// AVX-512 IFMA, 64-bit limbs with MULX/ADX and the table read on AVX2
// registers, and the portable 64-bit limbs.
constexpr uint32_t kMulxPath = cpu::path::kMulxAdx | cpu::path::kTableScanAvx2;
constexpr uint32_t kPaths[] = {cpu::path::kMontgomeryIfma, kMulxPath, testsupport::kPortablePath};
std::string PathName(uint32_t path) {
  return path == cpu::path::kMontgomeryIfma ? "Ifma" : path == kMulxPath ? "Mulx" : "Portable";
}

class RsaPkcs1Verify : public ::testing::TestWithParam<std::tuple<const char*, uint32_t>> {};

TEST_P(RsaPkcs1Verify, EveryCase) {
  USE_PROCESSOR_PATH_OR_SKIP(std::get<1>(GetParam()));
  LOAD_OR_SKIP(std::get<0>(GetParam()));
  for (const auto& c : cases) {
    RsaEngine engine;
    LoadRsa(c, engine);
    const std::string digest = DigestName(c.at("sha"));
    ByteString hash = HashOf(c, digest), sig = FromHex(c.at("sig"));
    int valid = -1;
    // An empty signature is no signature at all: its own status.
    ASSERT_EQ(sig.Length() == 0 ? 1108 : 0, engine.VerifyHash(hash.Data(), hash.Length(), digest.c_str(), sig.Data(),
                                                              sig.Length(), valid, 0, 0, 1))
        << file << " tc " << c.at("tcId");
    EXPECT_EQ(c.at("result") == "valid" ? 1 : 0, valid) << file << " tc " << c.at("tcId") << " " << c.at("flags");
  }
}

INSTANTIATE_TEST_SUITE_P(Files, RsaPkcs1Verify,
                         ::testing::Combine(::testing::Values("rsa_signature_2048_sha256_test.json",
                                                              "rsa_signature_3072_sha256_test.json",
                                                              "rsa_signature_4096_sha512_test.json"),
                                            ::testing::ValuesIn(kPaths)),
                         [](const auto& info) {
                           std::string name = std::get<0>(info.param);
                           name = name.substr(0, name.find('.'));
                           for (char& c : name)
                             if (c == '_') c = 'X';
                           return name + PathName(std::get<1>(info.param));
                         });

// Signing runs on each path the processor has; every one must give every
// vector's signature.
class RsaPkcs1Sign : public ::testing::TestWithParam<uint32_t> {};

TEST_P(RsaPkcs1Sign, SignatureGenerationMatchesEveryVector) {
  USE_PROCESSOR_PATH_OR_SKIP(GetParam());
  LOAD_OR_SKIP("rsa_pkcs1_2048_sig_gen_test.json");
  for (const auto& c : cases) {
    RsaEngine engine;
    LoadRsa(c, engine);
    const std::string digest = DigestName(c.at("sha"));
    ByteString hash = HashOf(c, digest), sig;
    ASSERT_EQ(0, engine.SignHash(hash.Data(), hash.Length(), digest.c_str(), sig, 0, 0)) << c.at("tcId");
    EXPECT_EQ(c.at("sig"), Hex(sig)) << "tc " << c.at("tcId");
  }
}

INSTANTIATE_TEST_SUITE_P(Paths, RsaPkcs1Sign, ::testing::ValuesIn(kPaths),
                         [](const auto& info) { return PathName(info.param); });

class RsaPssVerify : public ::testing::TestWithParam<const char*> {};

TEST_P(RsaPssVerify, EveryCase) {
  LOAD_OR_SKIP(GetParam());
  for (const auto& c : cases) {
    RsaEngine engine;
    LoadRsa(c, engine);
    const std::string digest = DigestName(c.at("sha"));
    ASSERT_EQ(digest, DigestName(c.at("mgfSha")));  // the scheme uses one digest for both
    ByteString hash = HashOf(c, digest), sig = FromHex(c.at("sig"));
    int valid = -1;
    int rc = engine.VerifyHash(hash.Data(), hash.Length(), digest.c_str(), sig.Data(), sig.Length(), valid, 1,
                               std::stoi(c.at("sLen")), 1);
    if (c.at("result") == "valid") {
      EXPECT_EQ(0, rc) << file << " tc " << c.at("tcId");
      EXPECT_EQ(1, valid) << file << " tc " << c.at("tcId");
    } else {
      EXPECT_EQ(sig.Length() == 0 ? 1108 : 1119, rc) << file << " tc " << c.at("tcId") << " " << c.at("flags");
      EXPECT_EQ(0, valid) << file << " tc " << c.at("tcId");
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Files, RsaPssVerify,
                         ::testing::Values("rsa_pss_2048_sha256_mgf1_32_test.json",
                                           "rsa_pss_2048_sha1_mgf1_20_test.json"));

class RsaOaepDecrypt : public ::testing::TestWithParam<const char*> {};

TEST_P(RsaOaepDecrypt, EveryCase) {
  LOAD_OR_SKIP(GetParam());
  for (const auto& c : cases) {
    RsaEngine engine;
    LoadRsa(c, engine);
    const std::string digest = DigestName(c.at("sha")), mgf = DigestName(c.at("mgfSha"));
    ByteString ct = FromHex(c.at("ct")), label = FromHex(Field(c, "label")), out;
    int rc = engine.DecryptWithPadding(ct.Data(), ct.Length(), out, 1, label.Data(), label.Length(), digest.c_str(),
                                       mgf.c_str());
    if (c.at("result") == "valid") {
      EXPECT_EQ(0, rc) << file << " tc " << c.at("tcId");
      EXPECT_EQ(c.at("msg"), Hex(out)) << file << " tc " << c.at("tcId");
    } else {
      EXPECT_EQ(ct.Length() == 0 ? 1113 : 1114, rc) << file << " tc " << c.at("tcId") << " " << c.at("flags");
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Files, RsaOaepDecrypt,
                         ::testing::Values("rsa_oaep_2048_sha256_mgf1sha256_test.json",
                                           "rsa_oaep_2048_sha1_mgf1sha1_test.json"));

TEST(RsaPkcs1Decrypt, EveryCaseWithOneErrorStatus) {
  LOAD_OR_SKIP("rsa_pkcs1_2048_test.json");
  for (const auto& c : cases) {
    RsaEngine engine;
    LoadRsa(c, engine);
    ByteString ct = FromHex(c.at("ct")), out;
    int rc = engine.DecryptPkcs1(ct.Data(), ct.Length(), out);
    if (c.at("result") == "valid") {
      EXPECT_EQ(0, rc) << "tc " << c.at("tcId");
      EXPECT_EQ(c.at("msg"), Hex(out)) << "tc " << c.at("tcId");
    } else {
      // An empty ciphertext is no input (1113); every malformed block is 1114.
      EXPECT_EQ(ct.Length() == 0 ? 1113 : 1114, rc) << "tc " << c.at("tcId") << " " << c.at("flags");
    }
  }
}

class DsaVerify : public ::testing::TestWithParam<const char*> {};

TEST_P(DsaVerify, EveryCase) {
  LOAD_OR_SKIP(GetParam());
  for (const auto& c : cases) {
    DsaKey key;
    key.p.Assign(FromHex(c.at("dsa_p")));
    key.q.Assign(FromHex(c.at("dsa_q")));
    key.g.Assign(FromHex(c.at("dsa_g")));
    key.y.Assign(FromHex(c.at("dsa_y")));
    DsaEngine engine;
    ASSERT_EQ(0, engine.SetKey(key));
    ByteString hash = HashOf(c, DigestName(c.at("sha"))), sig = FromHex(c.at("sig"));
    int valid = -1;
    ASSERT_EQ(sig.Length() == 0 ? 1205 : 0, engine.VerifyHash(hash.Data(), hash.Length(), sig.Data(), sig.Length(), valid))
        << c.at("tcId");
    EXPECT_EQ(c.at("result") == "valid" ? 1 : 0, valid) << file << " tc " << c.at("tcId") << " " << c.at("flags");
  }
}

INSTANTIATE_TEST_SUITE_P(Files, DsaVerify,
                         ::testing::Values("dsa_2048_224_sha224_test.json", "dsa_2048_224_sha224_p1363_test.json",
                                           "dsa_2048_256_sha256_test.json", "dsa_2048_256_sha256_p1363_test.json"));

}  // namespace
}  // namespace tornell
