// Public-key infos of the Wycheproof signature and ECDH files.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "X509TestText.h"
#include "pki/x509/X509Codec.h"

using tornell::ByteString;
using tornell::pki::SubjectPublicKeyInfo;
using tornell::pki::X509Codec;
using x509test::HexOf;
using x509test::Magnitude;

namespace {

std::vector<std::vector<std::string>> Groups(const std::string& file, const std::string& fields) {
  const std::string path = (testsupport::VectorsDir() / "wycheproof" / file).string();
  if (!std::ifstream(path).good()) return {};
  const std::string program =
      "import json,sys\n"
      "d=json.load(open(sys.argv[1]))\n"
      "for g in d['testGroups']:\n"
      "  k=g.get('publicKey', {})\n"
      "  print(' '.join(str(x) if str(x) else '-' for x in (" + fields + ")))\n";
  bool ok = false;
  return testsupport::Rows(testsupport::RunPython(program, ok, {path}));
}

int ParseHex(const std::string& hex, SubjectPublicKeyInfo& info) {
  const std::string der = testsupport::Unhex(hex);
  ByteString element;
  EXPECT_EQ(element.Set(der.data(), static_cast<int>(der.size())), 0);
  return X509Codec::ParseSubjectPublicKeyInfo(element, info);
}

TEST(WycheproofKeys, SignatureKeysParseToTheGroupKey) {
  for (const char* file : {"rsa_signature_2048_sha256_test.json", "rsa_signature_3072_sha256_test.json",
                           "rsa_signature_4096_sha512_test.json"}) {
    const auto rows = Groups(file, "g['publicKeyDer'], k['modulus'], k['publicExponent']");
    REQUIRE_OR_SKIP(!rows.empty(), std::string("missing ") + file);
    for (const auto& row : rows) {
      SubjectPublicKeyInfo info;
      ASSERT_EQ(ParseHex(row[0], info), 0) << file;
      EXPECT_EQ(Magnitude(HexOf(info.Rsa().n)), Magnitude(row[1]));
      EXPECT_EQ(Magnitude(HexOf(info.Rsa().e)), Magnitude(row[2]));
    }
  }
  for (const char* file : {"ecdsa_secp256r1_sha256_test.json", "ecdsa_secp384r1_sha384_test.json",
                           "ecdsa_secp521r1_sha512_test.json"}) {
    const auto rows = Groups(file, "g['publicKeyDer'], k['wx'], k['wy']");
    REQUIRE_OR_SKIP(!rows.empty(), std::string("missing ") + file);
    for (const auto& row : rows) {
      SubjectPublicKeyInfo info;
      ASSERT_EQ(ParseHex(row[0], info), 0) << file;
      EXPECT_EQ(Magnitude(HexOf(info.Ec().X)), Magnitude(row[1])) << file;
      EXPECT_EQ(Magnitude(HexOf(info.Ec().Y)), Magnitude(row[2])) << file;
    }
  }
  for (const char* file : {"dsa_2048_224_sha224_test.json", "dsa_2048_256_sha256_test.json"}) {
    const auto rows = Groups(file, "g['publicKeyDer'], k['y'], k['p'], k['q'], k['g']");
    REQUIRE_OR_SKIP(!rows.empty(), std::string("missing ") + file);
    for (const auto& row : rows) {
      SubjectPublicKeyInfo info;
      ASSERT_EQ(ParseHex(row[0], info), 0) << file;
      EXPECT_EQ(Magnitude(HexOf(info.Dsa().y)), Magnitude(row[1]));
      EXPECT_EQ(Magnitude(HexOf(info.Dsa().p)), Magnitude(row[2]));
      EXPECT_EQ(Magnitude(HexOf(info.Dsa().q)), Magnitude(row[3]));
      EXPECT_EQ(Magnitude(HexOf(info.Dsa().g)), Magnitude(row[4]));
    }
  }
}

TEST(WycheproofKeys, EcdhKeysOfOtherCurvesAreRefusedCleanly) {
  // Named curves other than the three give 1410; malformed encodings a DER
  // status or 1409; explicit parameters read as a custom curve (or as P-256
  // for the cases whose key is on that curve).
  const std::set<int> allowed = {0, 432, 445, 446, 447, 1409, 1410};
  for (const char* file : {"ecdh_secp256k1_test.json", "ecdh_brainpoolP256r1_test.json", "ecdh_sect283k1_test.json",
                           "ecdh_sect571r1_test.json"}) {
    const std::string path = (testsupport::VectorsDir() / "wycheproof" / file).string();
    REQUIRE_OR_SKIP(std::ifstream(path).good(), std::string("missing ") + path);
    const auto rows = testsupport::WycheproofRows(file, "t['tcId'], t['public']");
    ASSERT_FALSE(rows.empty()) << file;
    int unknown = 0;
    for (const auto& row : rows) {
      SubjectPublicKeyInfo info;
      const int status = ParseHex(row.size() > 1 ? row[1] : "", info);
      EXPECT_TRUE(allowed.count(status) != 0) << file << " case " << row[0] << " status " << status;
      unknown += status == 1410;
    }
    EXPECT_GT(unknown, 0) << file;
  }
}

}  // namespace
