// The in-place certificate reader against the tree reader it replaced, over
// the kit's certificates and damaged copies of them: the same status and,
// when both succeed, the same fields.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "../kit/PkiKit.h"
#include "TreeCertificateReader.h"
#include "pki/x509/X509Codec.h"

using tornell::ByteString;
using tornell::pki::X509Certificate;
using tornell::pki::X509Codec;

namespace {

#define REQUIRE_KIT() REQUIRE_OR_SKIP(!pkikit::Ensure().empty(), "openssl, faketime or flock missing, or make_kit.sh failed")

std::vector<std::string> KitCertificates() {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(pkikit::Ensure())) {
    if (entry.path().extension() == ".der") names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Both readers in both forms over the bytes; the first disagreement, or "".
std::string Disagreement(const std::string& bytes) {
  const int length = static_cast<int>(bytes.size());
  for (const bool full : {false, true}) {
    X509Certificate walked, tree;
    int walkedStatus = 0;
    if (full) {
      walkedStatus = walked.encoded.Set(bytes.data(), length);
      if (walkedStatus == 0) walkedStatus = walked.Decode();
    } else {
      walkedStatus = X509Codec::ParseCertificate(bytes.data(), length, walked);
    }
    const int treeStatus = treereader::DecodeCertificate(bytes.data(), length, tree, full);
    if (walkedStatus != treeStatus) {
      return "status " + std::to_string(walkedStatus) + " against " + std::to_string(treeStatus);
    }
    const char* field = treereader::FirstDifference(walked, tree);
    if (walkedStatus == 0 && *field != '\0') return std::string("field ") + field;
  }
  return "";
}

TEST(CertificateWalk, KitCertificatesDecodeAsTheTreeDid) {
  REQUIRE_KIT();
  const std::vector<std::string> names = KitCertificates();
  ASSERT_GT(names.size(), 20u);
  for (const std::string& name : names) {
    const std::string der = pkikit::Bytes(name);
    ASSERT_FALSE(der.empty()) << name;
    EXPECT_EQ(Disagreement(der), "") << name;
  }
}

// Every cut and a few kinds of damage at every position: tags, lengths and
// contents go wrong in every field, so each error path of both readers runs.
TEST(CertificateWalk, DamagedCertificatesFailAsTheTreeDid) {
  REQUIRE_KIT();
  int failures = 0, successes = 0;
  for (const char* name : {"rsa-leaf.der", "p256-leaf.der", "dsa-leaf.der", "san.der", "v1.der", "bmp.der",
                                   "multi.der", "explicit.der"}) {
    const std::string der = pkikit::Bytes(name);
    if (der.empty()) continue;
    for (size_t cut = 0; cut < der.size(); cut += 7) {
      EXPECT_EQ(Disagreement(der.substr(0, cut)), "") << name << " cut at " << cut;
    }
    for (size_t at = 0; at < der.size(); ++at) {
      for (const unsigned char change : {0x01, 0x20, 0x80, 0xFF}) {
        std::string damaged = der;
        damaged[at] = static_cast<char>(static_cast<unsigned char>(damaged[at]) ^ change);
        const std::string verdict = Disagreement(damaged);
        EXPECT_EQ(verdict, "") << name << " byte " << at << " ^ " << int(change);
        X509Certificate probe;
        (X509Codec::ParseCertificate(damaged.data(), int(damaged.size()), probe) == 0 ? successes : failures)++;
      }
    }
  }
  // The damage reaches both outcomes, so both were compared.
  EXPECT_GT(failures, 100);
  EXPECT_GT(successes, 100);
}

TEST(CertificateWalk, NamesDecodeAsTheTreeDid) {
  REQUIRE_KIT();
  for (const std::string& name : KitCertificates()) {
    X509Certificate cert;
    if (cert.encoded.Set(pkikit::Bytes(name).data(), int(pkikit::Bytes(name).size())) != 0 || cert.Decode() != 0) {
      continue;
    }
    for (const ByteString* encoded : {&cert.tbs.issuerEncoded}) {
      const std::string bytes(encoded->Data(), size_t(encoded->Length()));
      for (size_t at = 0; at < bytes.size(); ++at) {
        std::string damaged = bytes;
        damaged[at] = static_cast<char>(damaged[at] ^ 0x1F);
        ByteString in, walked, tree;
        ASSERT_EQ(in.Set(damaged.data(), int(damaged.size())), 0);
        const int walkedStatus = X509Codec::DecodeDistinguishedName(in, walked);
        EXPECT_EQ(walkedStatus, treereader::DecodeName(in, tree)) << name << " byte " << at;
        if (walkedStatus == 0) {
          EXPECT_STREQ(walked.CStr(), tree.CStr()) << name << " byte " << at;
        }
      }
    }
  }
}

// More relative names than the reader keeps at hand on its first pass.
TEST(CertificateWalk, LongNamesDecodeAsTheTreeDid) {
  std::string rdns;
  for (int i = 0; i < 18; ++i) {
    const std::string value = "v" + std::to_string(i);
    const std::string atv = std::string("\x06\x03\x55\x04", 4) + char(i % 2 == 0 ? 0x03 : 0x0A) + "\x0c" +
                            char(value.size()) + value;
    rdns += std::string("\x31") + char(atv.size() + 2) + "\x30" + char(atv.size()) + atv;
  }
  ASSERT_LT(rdns.size(), 256u);
  const std::string name = std::string("\x30\x81") + char(rdns.size()) + rdns;
  for (size_t at = 0; at <= name.size(); ++at) {
    std::string damaged = name;
    if (at < name.size()) damaged[at] = static_cast<char>(damaged[at] ^ 0x1F);
    ByteString in, walked, tree;
    ASSERT_EQ(in.Set(damaged.data(), int(damaged.size())), 0);
    const int walkedStatus = X509Codec::DecodeDistinguishedName(in, walked);
    EXPECT_EQ(walkedStatus, treereader::DecodeName(in, tree)) << "byte " << at;
    if (walkedStatus == 0) {
      EXPECT_STREQ(walked.CStr(), tree.CStr()) << "byte " << at;
    }
    if (at == name.size()) {
      EXPECT_EQ(walkedStatus, 0);
      EXPECT_EQ(std::string(walked.CStr()).substr(0, 12), "CN=v0,O=v1,C");
    }
  }
}

}  // namespace
