// HKDF against RFC 5869 Appendix A, and the TLS 1.3 labels against openssl's
// TLS13-KDF.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "TestText.h"
#include "crypto/digest/hash/HashAlgorithm.h"
#include "crypto/digest/mac/Hmac.h"
#include "tls/suites/CipherSuite.h"

using namespace tornell;
using testsupport::Hex;
using testsupport::Unhex;

namespace {

ByteString Bytes(const std::string& bytes) {
  ByteString out;
  EXPECT_EQ(out.Set(bytes.data(), int(bytes.size())), 0);
  return out;
}

std::string Str(const ByteString& bytes) { return std::string(bytes.Data(), size_t(bytes.Length())); }

TEST(Hkdf, Rfc5869AppendixA) {
  const auto path = testsupport::VectorsDir() / "rfc" / "rfc5869.txt";
  bool ok = false;
  const std::string out = testsupport::RunCommand(
      "/usr/bin/python3 '" + std::string(SUITES_TEST_DIR) + "/hkdf_rfc5869.py' '" + path.string() + "'", ok);
  const auto rows = testsupport::Rows(out);
  REQUIRE_OR_SKIP(ok && rows.size() == 7, "rfc5869.txt or python3 is not available");
  for (const auto& r : rows) {
    SCOPED_TRACE(r[1]);
    ASSERT_EQ(r.size(), 7u);
    const int hash = r[0] == "sha256" ? HashAlgorithm::kSha256 : HashAlgorithm::kSha1;
    ByteString prk, okm;
    ASSERT_EQ(CipherSuite::HkdfExtract(hash, Bytes(Unhex(r[2])), Bytes(Unhex(r[1])), prk), 0);
    EXPECT_EQ(Hex(Str(prk)), r[5]);
    ASSERT_EQ(CipherSuite::HkdfExpand(hash, prk, Bytes(Unhex(r[3])), std::stoi(r[4]), okm), 0);
    EXPECT_EQ(Hex(Str(okm)), r[6]);
  }
}

TEST(Hkdf, ExpandLengthsAndLimits) {
  const ByteString key("0123456789abcdef0123456789abcdef");
  const ByteString info("info");
  ByteString out("stale");
  ASSERT_EQ(CipherSuite::HkdfExpand(HashAlgorithm::kSha256, key, info, 0, out), 0);
  EXPECT_TRUE(out.IsEmpty());
  ByteString two, one;
  ASSERT_EQ(CipherSuite::HkdfExpand(HashAlgorithm::kSha256, key, info, 33, two), 0);
  ASSERT_EQ(two.Length(), 33);
  // The first block is HMAC(key, info || 1).
  Hmac hmac;
  ASSERT_EQ(hmac.Init(HashAlgorithm::kSha256, key.Data(), key.Length()), 0);
  ByteString block;
  ASSERT_EQ(hmac.Mac("info\x01", 5, block), 0);
  EXPECT_EQ(Hex(Str(two).substr(0, 32)), Hex(Str(block)));
  ASSERT_EQ(CipherSuite::HkdfExpand(HashAlgorithm::kSha256, key, info, 255 * 32, out), 0);
  EXPECT_EQ(out.Length(), 255 * 32);
  EXPECT_EQ(CipherSuite::HkdfExpand(HashAlgorithm::kSha256, key, info, 255 * 32 + 1, out), kStatusKdfBadRequest);
  EXPECT_EQ(CipherSuite::HkdfExpand(99, key, info, 16, out), kStatusKdfBadRequest);
  EXPECT_EQ(CipherSuite::HkdfExpand(HashAlgorithm::kSha256, key, info, -1, out), kStatusKdfBadRequest);
  EXPECT_EQ(CipherSuite::HkdfExtract(99, key, info, out), kStatusKdfBadRequest);
  EXPECT_EQ(CipherSuite::DeriveSecret(99, key, "derived", info, "tls13 ", out), kStatusKdfBadRequest);
  // The output may be the key itself.
  ByteString secret("0123456789abcdef0123456789abcdef");
  ASSERT_EQ(CipherSuite::DeriveSecret(HashAlgorithm::kSha256, secret, "derived", ByteString(), "tls13 ", secret), 0);
  ByteString expected;
  ASSERT_EQ(CipherSuite::DeriveSecret(HashAlgorithm::kSha256, key, "derived", ByteString(), "tls13 ", expected), 0);
  EXPECT_EQ(Hex(Str(secret)), Hex(Str(expected)));
}

TEST(Hkdf, LabelBytes) {
  ByteString out("x");
  ASSERT_EQ(CipherSuite::BuildHkdfLabel("key", 16, ByteString(), "tls13 ", out), 0);
  EXPECT_EQ(Hex(Str(out)), "78" "001009" + Hex(std::string("tls13 key")) + "00");
  out.Clear();
  ASSERT_EQ(CipherSuite::BuildHkdfLabel("iv", 12, ByteString("ctx"), "tls13 ", out), 0);
  EXPECT_EQ(Hex(Str(out)), "000c08" + Hex(std::string("tls13 iv")) + "03" + Hex(std::string("ctx")));
  EXPECT_EQ(CipherSuite::BuildHkdfLabel(std::string(250, 'a').c_str(), 16, ByteString(), "tls13 ", out),
            kStatusKdfBadRequest);
}

// openssl's TLS13-KDF in expand mode is HKDF-Expand-Label: its output for the
// labels key, iv, finished, derived, a traffic secret and its update, with
// and without a context.
TEST(Hkdf, ExpandLabelAgreesWithOpenssl) {
  REQUIRE_OR_SKIP(testsupport::HaveOpenssl(), "openssl is not available");
  struct Case {
    int hash;
    const char* digest;
    const char* label;
    int length;
    std::string context;
  };
  const std::string transcript = Unhex("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  const Case cases[] = {
      {HashAlgorithm::kSha256, "SHA256", "key", 16, ""},
      {HashAlgorithm::kSha256, "SHA256", "iv", 12, ""},
      {HashAlgorithm::kSha256, "SHA256", "finished", 32, ""},
      {HashAlgorithm::kSha256, "SHA256", "derived", 32, transcript},
      {HashAlgorithm::kSha384, "SHA384", "key", 32, ""},
      {HashAlgorithm::kSha384, "SHA384", "derived", 48, transcript + transcript.substr(0, 16)},
      {HashAlgorithm::kSha256, "SHA256", "traffic upd", 32, ""},
      {HashAlgorithm::kSha384, "SHA384", "traffic upd", 48, ""},
      {HashAlgorithm::kSha256, "SHA256", "c hs traffic", 32, transcript},
  };
  std::string secret;
  for (int i = 0; i < 48; ++i) secret += char(i * 7 + 1);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const std::string key = secret.substr(0, size_t(HashContext::DigestLengthOf(c.hash)));
    std::string command = "openssl kdf -keylen " + std::to_string(c.length) + " -kdfopt digest:" + c.digest +
                          " -kdfopt mode:EXPAND_ONLY -kdfopt hexkey:" + Hex(key) +
                          " -kdfopt 'prefix:tls13 ' -kdfopt 'label:" + c.label + "'";
    if (!c.context.empty()) command += " -kdfopt hexdata:" + Hex(c.context);
    command += " TLS13-KDF";
    bool ok = false;
    std::string expected = testsupport::RunCommand(command, ok);
    ASSERT_TRUE(ok) << command;
    std::string digits;
    for (char ch : expected) {
      if (std::isxdigit(static_cast<unsigned char>(ch))) digits += char(std::tolower(static_cast<unsigned char>(ch)));
    }
    ByteString out;
    ASSERT_EQ(CipherSuite::HkdfExpandLabel(c.hash, Bytes(key), c.label, Bytes(c.context), c.length, "tls13 ", out),
              0);
    EXPECT_EQ(Hex(Str(out)), digits);
    if (c.length == HashContext::DigestLengthOf(c.hash)) {
      ASSERT_EQ(CipherSuite::DeriveSecret(c.hash, Bytes(key), c.label, Bytes(c.context), "tls13 ", out), 0);
      EXPECT_EQ(Hex(Str(out)), digits);
    }
  }
}

}  // namespace
