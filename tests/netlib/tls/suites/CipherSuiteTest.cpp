// The suite registry against openssl and gnutls, the client's offer list and
// the server's choice.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "SuiteTools.h"
#include "TestSupport.h"
#include "tls/suites/CipherSuite.h"
#include "tls/suites/CipherSuiteRegistry.h"

using namespace tornell;

namespace {

// Registry names spelled "ANON" where the IANA names say "anon".
const std::set<int> kUpperCaseAnon = {0x001A, 0x001B, 0x0034, 0x003A, 0x006C, 0x006D, 0xC017, 0xC018, 0xC019};

std::string Upper(std::string text) {
  for (char& c : text) c = char(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::vector<int> Codes(const CodeList& list) {
  std::vector<int> codes;
  for (int i = 0; i < list.Count(); ++i) codes.push_back(list.Get(i));
  return codes;
}

std::vector<int> RegistryCodes() {
  std::vector<int> codes;
  for (int i = 0; i < CipherSuiteRegistry::Count(); ++i) codes.push_back(CipherSuiteRegistry::Get(i)->GetCode());
  return codes;
}

std::vector<int> Without(std::vector<int> codes, const std::set<int>& drop) {
  std::vector<int> kept;
  for (int c : codes) {
    if (drop.count(c) == 0) kept.push_back(c);
  }
  return kept;
}

int Offer(const char* text, int maxVersion, int allowExport, int mask, std::vector<int>& codes) {
  CodeList out;
  const int status = CipherSuite::BuildEnabledList(text, maxVersion, allowExport, mask, out);
  codes = Codes(out);
  return status;
}

const std::set<int> kExport = {0x0011, 0x0014, 0x0008, 0x0019};
const std::set<int> kAnonymous = {0x006D, 0x003A, 0x006C, 0x0034, 0x001B, 0x001A, 0x0019,
                                  0x0018, 0x00A6, 0x00A7, 0xC017, 0xC018, 0xC019};

TEST(CipherSuiteRegistry, CodesOutsideItAreNotFound) {
  for (int code : {0, -1, 0x00FF, 0x1300, 0x1304, 0xC000, 0xC033, 0xFF2F, 0x1002F, 0x1C02F}) {
    SCOPED_TRACE(code);
    EXPECT_EQ(CipherSuite::FindByCode(code), nullptr);
    EXPECT_EQ(CipherSuite::IsKnownCode(code), 0);
  }
}

TEST(CipherSuiteRegistry, FollowsItsColumnRules) {
  ASSERT_EQ(CipherSuiteRegistry::Count(), 77);
  std::set<int> seen;
  for (int i = 0; i < CipherSuiteRegistry::Count(); ++i) {
    const CipherSuite* s = CipherSuiteRegistry::Get(i);
    const std::string name = s->GetName();
    SCOPED_TRACE(name);
    EXPECT_TRUE(seen.insert(s->GetCode()).second);
    EXPECT_EQ(CipherSuite::IsKnownCode(s->GetCode()), 1);
    EXPECT_EQ(CipherSuite::FindByCode(s->GetCode()), s);
    const bool tls13 = s->GetCode() >= 0x1301 && s->GetCode() <= 0x1303;
    const bool sha2 = s->GetMacHash() == 2 || s->GetMacHash() == 7;
    const int expectedVersion = tls13 ? 0x0304 : (sha2 || s->IsAead()) ? 0x0303 : 0x0301;
    EXPECT_EQ(s->GetMinVersion(), expectedVersion);
    const bool sha384 = name.size() > 6 && name.compare(name.size() - 6, 6, "SHA384") == 0;
    EXPECT_EQ(s->GetPrfHash(0x0303), sha384 ? 2 : 1);
    EXPECT_EQ(s->GetPrfHash(0x0302), 0);
    int bits = name.find("AES_128") != std::string::npos ? 128
               : name.find("AES_256") != std::string::npos ? 256
               : name.find("3DES") != std::string::npos    ? 192
               : name.find("DES40") != std::string::npos   ? 40
               : name.find("DES") != std::string::npos     ? 64
               : name.find("RC4") != std::string::npos     ? 128
                                                           : 256;
    EXPECT_EQ(s->GetKeyLength(), bits / 8);
    EXPECT_EQ(s->GetTagLength(), s->IsAead() ? 16 : 0);
    const int iv = tls13 ? 12 : std::string(s->GetCipherName()).find("AES") == 0 ? 16 : 8;
    EXPECT_EQ(s->GetIvLength(), iv);
    EXPECT_EQ(s->UsesEcc(), CipherSuite::IsEccCode(s->GetCode()));
    EXPECT_EQ(s->IsAnonymous(), kAnonymous.count(s->GetCode()) ? 1 : 0);
    EXPECT_EQ(s->IsExport(), kExport.count(s->GetCode()) ? 1 : 0);
    EXPECT_EQ(s->GetFinalKeyLength(), s->IsExport() ? 8 : s->GetKeyLength());
  }
}

TEST(CipherSuiteRegistry, AgreesWithOpenssl) {
  const auto openssl = suitetest::OpensslSuites();
  REQUIRE_OR_SKIP(!openssl.empty(), "openssl is not available");
  int compared = 0;
  for (int code : RegistryCodes()) {
    auto it = openssl.find(code);
    if (it == openssl.end()) continue;  // DES, RC4 and export suites are gone from OpenSSL 3
    const CipherSuite* s = CipherSuite::FindByCode(code);
    const suitetest::ToolSuite& o = it->second;
    SCOPED_TRACE(o.name);
    ++compared;
    if (kUpperCaseAnon.count(code) != 0) {
      EXPECT_EQ(s->GetName(), Upper(o.name));
      EXPECT_NE(s->GetName(), o.name);
    } else {
      EXPECT_EQ(s->GetName(), o.name);
    }
    EXPECT_EQ(s->IsAnonymous() != 0, o.au == "None");
    const int bits = std::stoi(o.enc.substr(o.enc.find('(') + 1));
    EXPECT_EQ(s->GetKeyLength() * 8, bits);
    const std::string mac = s->IsAead() ? "AEAD" : s->GetMacHashName();
    EXPECT_EQ(mac, o.mac);
    const int version = o.version == "TLSv1.3" ? 0x0304 : o.version == "TLSv1.2" ? 0x0303 : 0x0301;
    EXPECT_EQ(s->GetMinVersion(), version);
  }
  EXPECT_GE(compared, 40);
}

TEST(CipherSuiteRegistry, VersionsAgreeWithGnutls) {
  const auto gnutls = suitetest::GnutlsSuites();
  REQUIRE_OR_SKIP(!gnutls.empty(), "gnutls-cli is not available");
  int compared = 0;
  for (int code : RegistryCodes()) {
    auto it = gnutls.find(code);
    if (it == gnutls.end()) continue;
    SCOPED_TRACE(it->second.name);
    const std::string& v = it->second.version;
    const int version = v == "TLS1.3" ? 0x0304 : v == "TLS1.2" ? 0x0303 : 0x0301;
    EXPECT_EQ(CipherSuite::FindByCode(code)->GetMinVersion(), version);
    ++compared;
  }
  EXPECT_GE(compared, 40);
}

TEST(CipherSuite, LookupsAndNames) {
  EXPECT_EQ(CipherSuite::FindIdByName("tls_rsa_with_aes_128_cbc_sha"), 0x2F);
  EXPECT_EQ(CipherSuite::FindByName("tls_rsa_with_aes_128_cbc_sha"), nullptr);
  EXPECT_EQ(CipherSuite::FindIdByName("TLS_NOT_A_SUITE"), -1);
  // The four "anon" names never match upper-cased text.
  EXPECT_EQ(CipherSuite::FindByName("TLS_DH_ANON_WITH_RC4_128_MD5"), nullptr);
  EXPECT_NE(CipherSuite::FindByName("TLS_DH_anon_WITH_RC4_128_MD5"), nullptr);
  EXPECT_STREQ(CipherSuite::FindByCode(0x002F)->GetDisplayName(), "TLS_RSA_WITH_AES_128_CBC_SHA (0x2F)");
  EXPECT_STREQ(CipherSuite::FindByCode(0xC02B)->GetDisplayName(), "TLS_ECDHE_ECDSA_WITH_AES_128_GCM_SHA256 (0xC02B)");
  EXPECT_EQ(CipherSuite::FindByCode(0x0047), nullptr);
  EXPECT_EQ(CipherSuite::IsKnownCode(0x0047), 0);

  const CipherSuite* s = CipherSuite::FindByCode(0x0004);
  EXPECT_STREQ(s->GetMacHashName(), "MD5");
  EXPECT_EQ(s->GetMacLength(), 16);
  EXPECT_EQ(s->IsRc4(), 1);
  EXPECT_STREQ(s->GetKeyExchangeName(), "RSA");
  EXPECT_STREQ(CipherSuite::FindByCode(0xC02F)->GetKeyExchangeName(), "DH Ephemeral");
  EXPECT_STREQ(CipherSuite::FindByCode(0xC004)->GetKeyExchangeName(), "DH");
  EXPECT_STREQ(CipherSuite::FindByCode(0xC018)->GetKeyExchangeName(), "DH Anonymous");
  EXPECT_STREQ(CipherSuite::FindByCode(0x1301)->GetKeyExchangeName(), "");
  EXPECT_EQ(CipherSuite::FindByCode(0x1302)->GetMacLength(), 48);

  EXPECT_EQ(CipherSuite::IsEccCode(0xC001), 1);
  EXPECT_EQ(CipherSuite::IsEccCode(0xC01A), 0);
  EXPECT_EQ(CipherSuite::IsEccCode(0xC032), 1);
  CodeList codes;
  ASSERT_EQ(codes.Add(47), 0);
  EXPECT_EQ(CipherSuite::ListHasEcc(codes), 0);
  ASSERT_EQ(codes.Add(0xC030), 0);
  EXPECT_EQ(CipherSuite::ListHasEcc(codes), 1);

  EXPECT_EQ(CipherSuite::FindByCode(0x0035)->IsListedIn("X;TLS_RSA_WITH_AES_256_CBC_SHA256"), 1);  // substring
  EXPECT_EQ(CipherSuite::FindByCode(0x0018)->IsListedIn("TLS_DH_ANON_WITH_RC4_128_MD5"), 1);
  EXPECT_EQ(CipherSuite::FindByCode(0x0018)->IsListedIn("TLS_DH_anon_WITH_RC4_128_MD5"), 0);
}

TEST(CipherSuite, EmptyCopyAndReset) {
  CipherSuite empty;
  EXPECT_EQ(empty.IsEmpty(), 1);
  EXPECT_EQ(empty.GetCode(), 0);
  EXPECT_EQ(empty.GetMinVersion(), 0x0301);
  EXPECT_EQ(empty.Reset(), 0);
  EXPECT_EQ(CipherSuite::CopyByCode(0x0047, empty), 0);
  EXPECT_EQ(empty.IsEmpty(), 1);

  CipherSuite suite;
  ASSERT_EQ(CipherSuite::CopyByCode(0x0035, suite), 0);
  EXPECT_STREQ(suite.GetName(), "TLS_RSA_WITH_AES_256_CBC_SHA");
  ASSERT_EQ(suite.SetMacSecret(ByteString("0123456789abcdefghij")), 0);
  ASSERT_EQ(suite.SetFixedIv(ByteString("iv")), 0);
  ByteString out;
  ASSERT_EQ(suite.Reset(), 0);
  ASSERT_EQ(suite.GetMacSecret(out), 0);
  EXPECT_TRUE(out.IsEmpty());
  ASSERT_EQ(suite.GetFixedIv(out), 0);
  EXPECT_TRUE(out.IsEmpty());
  EXPECT_EQ(suite.GetCode(), 0x0035);
}

TEST(CipherSuite, OfferLists) {
  const std::vector<int> all = RegistryCodes();
  std::vector<int> codes;
  // "*" (or no text): the registry without export and, unless named, anonymous suites.
  ASSERT_EQ(Offer("*", 0x0304, 0, 0xFFFF, codes), 0);
  EXPECT_EQ(codes.size(), 61u);
  std::set<int> dropped = kExport;
  dropped.insert(kAnonymous.begin(), kAnonymous.end());
  EXPECT_EQ(codes, Without(all, dropped));
  ASSERT_EQ(Offer(nullptr, 0x0304, 0, 0xFFFF, codes), 0);
  EXPECT_EQ(codes.size(), 61u);
  ASSERT_EQ(Offer("*", 0x0304, 1, 0xFFFF, codes), 0);
  EXPECT_EQ(codes, Without(all, kAnonymous));
  ASSERT_EQ(Offer("*;TLS_DH_ANON_WITH_AES_128_CBC_SHA", 0x0304, 0, 0xFFFF, codes), 0);
  EXPECT_EQ(codes.size(), 62u);
  ASSERT_EQ(Offer("*", 0x0303, 0, 0xFFFF, codes), 0);
  EXPECT_EQ(codes.size(), 58u);
  ASSERT_EQ(Offer("*", 0x0302, 0, 0xFFFF, codes), 0);
  for (int c : codes) EXPECT_EQ(CipherSuite::FindByCode(c)->GetMinVersion(), 0x0301);
  ASSERT_EQ(Offer("*", 0x0304, 0, 0x3000, codes), 0);
  EXPECT_EQ(codes, (std::vector<int>{0x1301, 0x1302, 0x1303}));

  const char* two = "TLS_RSA_WITH_AES_128_CBC_SHA; TLS_AES_128_GCM_SHA256";
  ASSERT_EQ(Offer(two, 0x0304, 0, 0xFFFF, codes), 0);
  EXPECT_EQ(codes, (std::vector<int>{0x002F, 0x1301}));
  ASSERT_EQ(Offer(two, 0x0303, 0, 0xFFFF, codes), 0);
  EXPECT_EQ(codes, (std::vector<int>{0x002F}));
  // The text's order, repeats kept, unknown names skipped, export removed.
  ASSERT_EQ(Offer("TLS_RSA_WITH_RC4_128_MD5;NOPE;;TLS_RSA_EXPORT_WITH_DES40_CBC_SHA;TLS_RSA_WITH_RC4_128_MD5",
                  0x0303, 0, 0xFFFF, codes), 0);
  EXPECT_EQ(codes, (std::vector<int>{0x0004, 0x0004}));
  ASSERT_EQ(Offer("TLS_DH_ANON_WITH_AES_128_CBC_SHA", 0x0303, 0, 0xFFFF, codes), 0);
  EXPECT_EQ(codes, (std::vector<int>{0x0034}));
}

TEST(CipherSuite, OfferListHoldsAtMost256Names) {
  std::string text;
  for (int i = 0; i < 300; ++i) text += "TLS_RSA_WITH_AES_128_CBC_SHA;";
  text += "TLS_AES_128_GCM_SHA256";
  std::vector<int> codes;
  ASSERT_EQ(Offer(text.c_str(), 0x0304, 0, 0xFFFF, codes), 0);
  ASSERT_EQ(codes.size(), 256u);
  EXPECT_EQ(codes.back(), 0x002F);
}

struct Choice {
  const char* what;
  std::vector<int> offered;
  const char* certificate;  // key algorithm, null for none
  int certificateGroup;
  std::vector<int> peerGroups;
  const char* enabled;
  int anonymousFlag;
  int allowExport;
  int tls13;
  int expected;  // chosen code, or -278 for none
};

TEST(CipherSuite, ServerChoice) {
  const Choice cases[] = {
      {"TLS 1.3 with an EC certificate", {0x1301, 0xC02B, 0xC02F}, "IdEcPublicKey", 23, {23}, "*", 0, 0, 1, 0x1301},
      {"TLS 1.2 with an EC certificate", {0x1301, 0xC02B, 0xC02F}, "IdEcPublicKey", 23, {23}, "*", 0, 0, 0, 0xC02B},
      {"EC certificate, no curve offered", {0x1301, 0xC02B, 0xC02F}, "IdEcPublicKey", 23, {29}, "*", 0, 0, 0, -278},
      {"static ECDH needs the certificate's group", {0xC02D, 0xC02B}, "IdEcPublicKey", 24, {23}, "*", 0, 0, 0, 0xC02B},
      {"static ECDH with the certificate's group", {0xC02D, 0xC02B}, "IdEcPublicKey", 24, {23, 24}, "*", 0, 0, 0,
       0xC02D},
      {"RSA certificate", {0xC02B, 0x0032, 0x0033}, "RSA", -1, {23}, "*", 0, 0, 0, 0x0033},
      {"RSA_RSA certificate", {0xC02F}, "RSA_RSA", -1, {23}, "*", 0, 0, 0, 0xC02F},
      {"DSA certificate", {0x0033, 0x0032}, "X957_DSA", -1, {}, "*", 0, 0, 0, 0x0032},
      {"no certificate", {0xC02F, 0x002F}, nullptr, -1, {23}, "*", 0, 0, 0, -278},
      {"unknown codes skipped", {0x0047, 0xCCA8, 0x002F}, "RSA", -1, {}, "*", 0, 0, 0, 0x002F},
      {"export refused", {0x0008, 0x002F}, "RSA", -1, {}, "*", 0, 0, 0, 0x002F},
      {"export allowed", {0x0008, 0x002F}, "RSA", -1, {}, "*", 0, 1, 0, 0x0008},
      {"not enabled", {0x002F, 0x0035}, "RSA", -1, {}, "TLS_RSA_WITH_AES_256_CBC_SHA", 0, 0, 0, 0x0035},
      {"no enabled text", {0x002F}, "RSA", -1, {}, nullptr, 0, 0, 0, -278},
      // Anonymous suites: only when named, never through "*".
      {"anonymous through *", {0x0034, 0x002F}, nullptr, -1, {}, "*", 0, 0, 0, -278},
      {"anonymous through * with a certificate", {0x0034, 0x002F}, "RSA", -1, {}, "*", 0, 0, 0, 0x002F},
      {"anonymous named", {0x0034, 0x002F}, nullptr, -1, {}, "TLS_DH_ANON_WITH_AES_128_CBC_SHA", 0, 0, 0, 0x0034},
      {"anonymous named, clients authenticated", {0x0034}, "RSA", -1, {}, "TLS_DH_ANON_WITH_AES_128_CBC_SHA", 1, 0,
       0, -278},
      {"ECDH_anon named with an EC certificate", {0xC018}, "IdEcPublicKey", 23, {23},
       "TLS_ECDH_ANON_WITH_AES_128_CBC_SHA", 1, 0, 0, 0xC018},
  };
  for (const Choice& c : cases) {
    SCOPED_TRACE(c.what);
    CodeList offered, groups;
    for (int code : c.offered) ASSERT_EQ(offered.Add(code), 0);
    for (int g : c.peerGroups) ASSERT_EQ(groups.Add(g), 0);
    CipherSuite out;
    const int status = CipherSuite::ChooseServerSuiteFor(offered, c.certificate, c.certificateGroup, &groups,
                                                         c.enabled, c.anonymousFlag, c.allowExport, c.tls13, out);
    if (c.expected < 0) {
      EXPECT_EQ(status, CipherSuite::kNoAcceptableSuite);
      EXPECT_EQ(out.IsEmpty(), 1);
    } else {
      ASSERT_EQ(status, 0);
      EXPECT_EQ(out.GetCode(), c.expected);
    }
  }
}

}  // namespace
