// Every Wycheproof case of the AEAD and AES-CBC files through the engine.
#include <gtest/gtest.h>

#include <set>

#include "EngineHelpers.h"
#include "PathLevels.h"

using namespace tornell;
using namespace aeadtest;

namespace {

struct Counts {
  int valid = 0, invalid = 0;
};

// Seals and opens one AEAD case; returns the status of opening with the
// published tag, and checks the sealed bytes of a valid case.
int RunAead(int algorithm, const Case& c, bool valid) {
  Bytes key = Hex(c.at("key")), iv = Hex(c.at("iv")), aad = Hex(c.at("aad")), msg = Hex(c.at("msg")),
        ct = Hex(c.at("ct")), tag = Hex(c.at("tag"));
  int tagBits = std::stoi(c.at("tagSize"));
  SymmetricCipher enc;
  EXPECT_EQ(0, enc.SetAlgorithm(algorithm));
  EXPECT_EQ(0, enc.SetAad(C(aad), int(aad.size())));
  int st = enc.SetTagBits(tagBits);
  if (st == 0) st = enc.InitEncrypt(C(key), int(key.size()), C(iv), int(iv.size()));
  if (st != 0) return st;
  Outcome sealed = Pass(enc, msg, {17});
  if (sealed.status != 0) return sealed.status;
  if (valid) {
    EXPECT_EQ(ToHex(sealed.out), ToHex(ct));
    EXPECT_EQ(ToHex(Tag(enc)), ToHex(tag));
  }

  SymmetricCipher dec;
  EXPECT_EQ(0, dec.SetAlgorithm(algorithm));
  EXPECT_EQ(0, dec.SetAad(C(aad), int(aad.size())));
  EXPECT_EQ(0, dec.SetTagBits(tagBits));
  EXPECT_EQ(0, dec.SetTag(C(tag), int(tag.size())));
  st = dec.InitDecrypt(C(key), int(key.size()), C(iv), int(iv.size()));
  if (st != 0) return st;
  Outcome opened = Pass(dec, ct, {33});
  if (opened.status == 0) {
    EXPECT_EQ(ToHex(opened.out), ToHex(msg));
  } else {
    EXPECT_TRUE(opened.out.empty()) << "a failed check must leave no plaintext";
  }
  return opened.status;
}

void RunAeadFile(const char* file, int algorithm, const std::set<std::string>& acceptedByDesign) {
  std::vector<Case> cases = LoadWycheproof(file);
  REQUIRE_OR_SKIP(!cases.empty(), std::string(file) + " or python3 is not available");
  Counts n;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(file) + " tcId " + c.at("tcId") + " " + c.at("comment"));
    bool valid = c.at("result") != "invalid";
    int st = RunAead(algorithm, c, valid);
    if (valid) {
      EXPECT_EQ(0, st);
      ++n.valid;
    } else if (acceptedByDesign.count(c.at("ivSize")) != 0) {
      ++n.invalid;
    } else {
      EXPECT_NE(0, st);
      ++n.invalid;
    }
  }
  EXPECT_GT(n.valid, 100);
  EXPECT_GT(n.invalid, 20);
}

TEST(SymmetricCipherWycheproof, AesGcm) { RunAeadFile("aes_gcm_test.json", 12, {}); }

TEST(SymmetricCipherWycheproof, ChaCha20Poly1305) {
  // An 8-byte nonce is accepted by design (the original ChaCha20 layout
  // with a 64-bit counter); Wycheproof's AEAD takes 12-byte nonces only.
  RunAeadFile("chacha20_poly1305_test.json", 15, {"64"});
}

// The default (widest) path runs above; the narrower paths run here.
using AeadNarrowerPaths = PathLevels;

TEST_P(AeadNarrowerPaths, WycheproofAeadFiles) {
  USE_PROCESSOR_PATH_OR_SKIP(GetParam());
  for (auto [file, algorithm] : {std::pair{"aes_gcm_test.json", 12}, std::pair{"chacha20_poly1305_test.json", 15}}) {
    std::vector<Case> cases = LoadWycheproof(file);
    REQUIRE_OR_SKIP(!cases.empty(), std::string(file) + " or python3 is not available");
    for (const Case& c : cases) {
      if (algorithm == 15 && c.at("ivSize") == "64") continue;  // accepted by design, see above
      SCOPED_TRACE(std::string(file) + " tcId " + c.at("tcId"));
      bool valid = c.at("result") != "invalid";
      EXPECT_EQ(valid, RunAead(algorithm, c, valid) == 0);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Paths, AeadNarrowerPaths, ::testing::Values(kVaes256Path, kVectorPath, kPortablePath),
                         PathName);

TEST(SymmetricCipherWycheproof, AesCbcPkcs5) {
  std::vector<Case> cases = LoadWycheproof("aes_cbc_pkcs5_test.json");
  REQUIRE_OR_SKIP(!cases.empty(), "aes_cbc_pkcs5_test.json or python3 is not available");
  Counts n;
  for (const Case& c : cases) {
    SCOPED_TRACE("tcId " + c.at("tcId") + " " + c.at("comment"));
    Bytes key = Hex(c.at("key")), iv = Hex(c.at("iv")), msg = Hex(c.at("msg")), ct = Hex(c.at("ct"));
    bool valid = c.at("result") != "invalid";
    SymmetricCipher dec;
    EXPECT_EQ(0, dec.SetAlgorithm(0));
    EXPECT_EQ(0, dec.SetPadding(CipherPadding::PKCS7));
    ASSERT_EQ(0, dec.InitDecrypt(C(key), int(key.size()), C(iv), int(iv.size())));
    Outcome opened = Pass(dec, ct, {15});
    if (valid) {
      ++n.valid;
      EXPECT_EQ(0, opened.status);
      EXPECT_EQ(ToHex(opened.out), ToHex(msg));
      SymmetricCipher enc;
      EXPECT_EQ(0, enc.SetAlgorithm(0));
      EXPECT_EQ(0, enc.SetPadding(CipherPadding::PKCS7));
      ASSERT_EQ(0, enc.InitEncrypt(C(key), int(key.size()), C(iv), int(iv.size())));
      Outcome sealed = Pass(enc, msg, {1, 17});
      EXPECT_EQ(0, sealed.status);
      EXPECT_EQ(ToHex(sealed.out), ToHex(ct));
    } else {
      ++n.invalid;
      EXPECT_TRUE(opened.status == SymmetricCipher::kBadPadding || opened.status == SymmetricCipher::kPartialBlock)
          << opened.status;
    }
  }
  EXPECT_GT(n.valid, 50);
  EXPECT_GT(n.invalid, 100);
}

}  // namespace
