// Display names of suite codes, against openssl's standard names.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>

#include "SuiteTools.h"
#include "TestSupport.h"
#include "tls/suites/CipherSuiteNames.h"

using namespace tornell;

namespace {

std::string Display(int code) {
  ByteString out;
  EXPECT_EQ(cipherSuiteDisplayName(code, out), 0);
  return out.CStr();
}

TEST(CipherSuiteNames, AgreeWithOpenssl) {
  const auto openssl = suitetest::OpensslSuites();
  REQUIRE_OR_SKIP(!openssl.empty(), "openssl is not available");
  // The table's own spellings: "ANON" in the ECDH anonymous names.
  const std::set<int> upperCaseAnon = {0xC015, 0xC016, 0xC017, 0xC018, 0xC019};
  // The standard ChaCha20-Poly1305 codes are not in the table (it has the draft ones, 0xCC13 to 0xCC15).
  const std::set<int> absent = {0xCCA8, 0xCCA9, 0xCCAA, 0xCCAB, 0xCCAC, 0xCCAD, 0xCCAE};
  int compared = 0;
  for (const auto& [code, suite] : openssl) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%04x", code);
    SCOPED_TRACE(suite.name);
    if (absent.count(code) != 0) {
      EXPECT_EQ(Display(code), "Unknown (0x" + std::string(hex) + ")");
      continue;
    }
    std::string name = suite.name;
    if (upperCaseAnon.count(code) != 0) name.replace(name.find("anon"), 4, "ANON");
    EXPECT_EQ(Display(code), name + " (0x" + hex + ")");
    ++compared;
  }
  EXPECT_GE(compared, 140);
}

TEST(CipherSuiteNames, KnownAndUnknownCodes) {
  EXPECT_EQ(Display(0x1301), "TLS_AES_128_GCM_SHA256 (0x1301)");
  EXPECT_EQ(Display(0xCC14), "TLS_ECDHE_ECDSA_WITH_CHACHA20_POLY1305_SHA256 (0xcc14)");
  EXPECT_EQ(Display(0x010080), "SSL2_RC4_128_WITH_MD5 (0x010080)");
  EXPECT_EQ(Display(0x0700C0), "SSL2_DES_192_EDE3_CBC_WITH_MD5 (0x0700c0)");
  EXPECT_EQ(Display(0x0001), "TLS_RSA_WITH_NULL_MD5 (0x0001)");
  EXPECT_EQ(Display(0xFEFE), "SSL_RSA_FIPS_WITH_DES_CBC_SHA (0xfefe)");
  EXPECT_EQ(Display(0xFFE1), "SSL_RSA_FIPS_WITH_DES_CBC_SHA (0xffe1)");
  EXPECT_EQ(Display(0xC0AF), "TLS_ECDHE_ECDSA_WITH_AES_256_CCM_8 (0xc0af)");
  EXPECT_EQ(Display(0x0018), "TLS_DH_anon_WITH_RC4_128_MD5 (0x0018)");
  EXPECT_EQ(Display(0x0000), "Unknown (0x0000)");
  EXPECT_EQ(Display(0x0047), "Unknown (0x0047)");
  EXPECT_EQ(Display(0x1306), "Unknown (0x1306)");
  EXPECT_EQ(Display(0xC0B0), "Unknown (0xc0b0)");
  EXPECT_EQ(Display(0xABCD), "Unknown (0xabcd)");
  EXPECT_EQ(Display(0xFFFF), "Unknown (0xffff)");
  EXPECT_EQ(Display(0x12345), "Unknown (0x012345)");
  EXPECT_EQ(Display(-1), "Unknown (0xffffffff)");
}

TEST(CipherSuiteNames, CountsEveryCodeOnce) {
  int known = 0;
  for (int code = 0; code <= 0xFFFF; ++code) known += Display(code).rfind("Unknown", 0) != 0;
  for (int code : {0x010080, 0x020080, 0x030080, 0x040080, 0x050080, 0x060040, 0x0700C0}) {
    known += Display(code).rfind("Unknown", 0) != 0;
  }
  EXPECT_EQ(known, 348);
}

}  // namespace
