// PKCS#8 private keys: the kit's keys against openssl's reading of them, the
// RFC 8410 example, and the PKCS#8 keys of the Wycheproof RSA files.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../kit/PkiKit.h"
#include "X509TestText.h"
#include "crypto/ecc/edwards/EdDsa.h"
#include "pki/x509/X509Codec.h"

using tornell::ByteString;
using tornell::pki::KeyInfo;
using tornell::pki::X509Codec;
using x509test::HexOf;
using x509test::Magnitude;

namespace {

int Parse(const std::string& der, KeyInfo& key) {
  return X509Codec::ParsePrivateKeyInfo(der.data(), static_cast<int>(der.size()), key);
}

TEST(PrivateKeyInfo, KitKeysMatchOpenssl) {
  REQUIRE_OR_SKIP(!pkikit::Ensure().empty(), "openssl, faketime or flock missing, or make_kit.sh failed");
  const struct {
    const char* p8;
    const char* pem;
    const char* oid;
    int curve;
  } cases[] = {{"rsa.p8", "rsa-leaf.key", "1.2.840.113549.1.1.1", -1},
               {"dsa.p8", "dsa-leaf.key", "1.2.840.10040.4.1", -1},
               {"p256.p8", "p256-leaf.key", "1.2.840.10045.2.1", 0},
               {"p384.p8", "p384-leaf.key", "1.2.840.10045.2.1", 1},
               {"p521.p8", "p521-leaf.key", "1.2.840.10045.2.1", 2},
               {"ed25519.p8", "ed25519-leaf.key", "1.3.101.112", 3},
               {"ed448.p8", "ed448.key", "1.3.101.113", 4}};
  for (const auto& c : cases) {
    KeyInfo key;
    ASSERT_EQ(Parse(pkikit::Bytes(c.p8), key), 0) << c.p8;
    EXPECT_STREQ(key.oid.CStr(), c.oid);
    EXPECT_EQ(key.version, 0);
    bool ok = false;
    const auto blocks = x509test::HexBlocks(pkikit::Run(std::string("openssl pkey -text -noout -in ") + c.pem, ok));
    ASSERT_TRUE(ok) << c.pem;
    if (key.IsRsa()) {
      const tornell::RsaKey& r = key.rsaKey;
      EXPECT_EQ(Magnitude(HexOf(r.n)), Magnitude(blocks.at("modulus")));
      EXPECT_EQ(HexOf(r.e), "010001");
      EXPECT_EQ(Magnitude(HexOf(r.d)), Magnitude(blocks.at("privateExponent")));
      EXPECT_EQ(Magnitude(HexOf(r.p)), Magnitude(blocks.at("prime1")));
      EXPECT_EQ(Magnitude(HexOf(r.q)), Magnitude(blocks.at("prime2")));
      EXPECT_EQ(Magnitude(HexOf(r.dP)), Magnitude(blocks.at("exponent1")));
      EXPECT_EQ(Magnitude(HexOf(r.dQ)), Magnitude(blocks.at("exponent2")));
      EXPECT_EQ(Magnitude(HexOf(r.qInv)), Magnitude(blocks.at("coefficient")));
    } else if (key.IsDsa()) {
      EXPECT_EQ(Magnitude(HexOf(key.dsaKey.x)), Magnitude(blocks.at("priv")));
      // y is not in the file: computed from x.
      EXPECT_EQ(Magnitude(HexOf(key.dsaKey.y)), Magnitude(blocks.at("pub")));
      EXPECT_EQ(Magnitude(HexOf(key.dsaKey.p)), Magnitude(blocks.at("P")));
      EXPECT_EQ(Magnitude(HexOf(key.dsaKey.q)), Magnitude(blocks.at("Q")));
      EXPECT_EQ(Magnitude(HexOf(key.dsaKey.g)), Magnitude(blocks.at("G")));
    } else if (key.IsEc()) {
      EXPECT_EQ(Magnitude(HexOf(key.ecKey.D)), Magnitude(blocks.at("priv"))) << c.p8;
      EXPECT_EQ("04" + HexOf(key.ecKey.X) + HexOf(key.ecKey.Y), blocks.at("pub")) << c.p8;
      EXPECT_EQ(key.ecKey.curveIndex, c.curve);
    } else {
      EXPECT_EQ(HexOf(key.ecKey.edPrivate), blocks.at("priv")) << c.p8;
      EXPECT_EQ(key.ecKey.curveIndex, c.curve);
      if (!key.ecKey.edPublic.IsEmpty()) {
        EXPECT_EQ(HexOf(key.ecKey.edPublic), blocks.at("pub"));
      }
    }
  }
}

TEST(PrivateKeyInfo, Rfc8410ExampleWithAttributeAndPublicKey) {
  ByteString der(
      "MHICAQEwBQYDK2VwBCIEINTuctv5E1hK1bbY8fdp+K06/nwoy/HU++CXqI9EdVhCoB8wHQYKKoZIhvcNAQkJFDEPDA1DdXJkbGUgQ2hh"
      "aXJzgSEAGb9ECWmEzf6FQbrBZ9w7lshQhqowtrbLDFw4rXAxZuE=");
  ASSERT_EQ(der.Base64Decode(), 0);
  KeyInfo key;
  ASSERT_EQ(X509Codec::ParsePrivateKeyInfo(der.Data(), der.Length(), key), 0);
  EXPECT_EQ(key.version, 1);
  EXPECT_TRUE(key.IsEdDsa());
  ASSERT_EQ(key.attributeNames.Count(), 1);
  EXPECT_STREQ(key.attributeNames.Get(0), "1.2.840.113549.1.9.9.20");
  EXPECT_STREQ(key.attributeValues.Get(0), "Curdle Chairs");
  EXPECT_EQ(HexOf(key.ecKey.edPrivate), "d4ee72dbf913584ad5b6d8f1f769f8ad3afe7c28cbf1d4fbe097a88f44755842");
  ByteString derived;
  ASSERT_EQ(tornell::EdDsa::Ed25519PublicFromSeed(key.ecKey.edPrivate.Bytes(), key.ecKey.edPrivate.Length(), derived),
            0);
  EXPECT_EQ(key.ecKey.edPublic.Length(), 32);
  EXPECT_EQ(HexOf(key.ecKey.edPublic), HexOf(derived));

  // The library's own bare form: the [1] content is the key itself.
  std::string bare(der.Data(), static_cast<size_t>(der.Length()));
  const size_t at = bare.find(std::string("\x81\x21\x00", 3));
  ASSERT_NE(at, std::string::npos);
  bare = bare.substr(0, at) + std::string("\x81\x20", 2) + bare.substr(at + 3);
  bare[1] = static_cast<char>(bare[1] - 1);
  KeyInfo own;
  ASSERT_EQ(Parse(bare, own), 0);
  EXPECT_EQ(HexOf(own.ecKey.edPublic), HexOf(derived));
}

TEST(PrivateKeyInfo, RefusalsAndCopies) {
  KeyInfo key;
  // An algorithm the reader does not know.
  EXPECT_EQ(Parse(testsupport::Unhex("3010020100300706052b0e03020704020400"), key), 446);
  EXPECT_EQ(Parse(testsupport::Unhex("3000"), key), 447);
  EXPECT_EQ(Parse(testsupport::Unhex("3084ffffffff"), key), 447);
  KeyInfo copy;
  ASSERT_EQ(key.oid.Set("1.3.101.113"), 0);
  ASSERT_EQ(key.attributeNames.Add("n"), 0);
  ASSERT_EQ(copy.CopyFrom(key), 0);
  EXPECT_TRUE(copy.IsEdDsa() && copy.IsEcOrEdDsa() && !copy.IsEc() && !copy.IsRsa() && !copy.IsDsa());
  EXPECT_EQ(copy.attributeNames.Count(), 1);
}

TEST(PrivateKeyInfo, WycheproofRsaKeys) {
  for (const char* file : {"rsa_pkcs1_2048_test.json", "rsa_oaep_2048_sha1_mgf1sha1_test.json",
                           "rsa_oaep_2048_sha256_mgf1sha256_test.json"}) {
    const std::string path = (testsupport::VectorsDir() / "wycheproof" / file).string();
    REQUIRE_OR_SKIP(std::ifstream(path).good(), std::string("missing ") + path);
    const std::string program =
        "import json,sys\n"
        "d=json.load(open(sys.argv[1]))\n"
        "for g in d['testGroups']:\n"
        "  k=g['privateKey']\n"
        "  print(g['privateKeyPkcs8'], *[k[f] for f in ('modulus','publicExponent','privateExponent','prime1',"
        "'prime2','exponent1','exponent2','coefficient')])\n";
    bool ok = false;
    const auto rows = testsupport::Rows(testsupport::RunPython(program, ok, {path}));
    ASSERT_TRUE(ok && !rows.empty()) << file;
    for (const auto& row : rows) {
      KeyInfo key;
      ASSERT_EQ(Parse(testsupport::Unhex(row[0]), key), 0) << file;
      const tornell::RsaKey& r = key.rsaKey;
      const ByteString* fields[] = {&r.n, &r.e, &r.d, &r.p, &r.q, &r.dP, &r.dQ, &r.qInv};
      for (int i = 0; i < 8; ++i) EXPECT_EQ(Magnitude(HexOf(*fields[i])), Magnitude(row[1 + i])) << file << " " << i;
    }
  }
}

}  // namespace
