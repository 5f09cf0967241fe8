// PEM and SSH2 armour: the writer's exact layout, the reader on openssl's
// PEM, and openssl reading what the writer wrote.
#include <gtest/gtest.h>

#include <string>

#include "../kit/PkiKit.h"
#include "TestText.h"
#include "pki/keys/KeyFileFormats.h"
#include "pki/keys/TextArmor.h"

using tornell::pki::RearmorPublicKey;
using tornell::pki::TextArmor;

namespace {

std::string Text(const TextArmor& t) { return std::string(t.Data(), static_cast<size_t>(t.Length())); }

int Decode(TextArmor& t, const std::string& text) {
  return t.Decode("CERTIFICATE", text.data(), static_cast<int>(text.size()));
}

TEST(TextArmor, PemLineLayout) {
  const std::string bytes48(48, '\x5a'), bytes49(49, '\x5a');
  TextArmor t;
  ASSERT_EQ(t.EncodePem("TEST", bytes48.data(), 48), 0);
  std::string b64 = Text(t).substr(std::string("-----BEGIN TEST-----\r\n").size(), 64);
  EXPECT_EQ(Text(t), "-----BEGIN TEST-----\r\n" + b64 + "\r\n-----END TEST-----\r\n");
  EXPECT_EQ(b64.find_first_of("\r\n"), std::string::npos);
  ASSERT_EQ(t.EncodePem("TEST", bytes49.data(), 49), 0);
  const auto lines = testsupport::Lines(Text(t));
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[1].size(), 65u);  // 64 characters and the CR
  EXPECT_EQ(lines[2], "Wg==\r");
}

TEST(TextArmor, ArmorForms) {
  TextArmor t;
  ASSERT_EQ(t.EncodeArmor("SSH2 PUBLIC KEY", "abc", 3, 4, 70, "Comment: \"k\"\r\n"), 0);
  EXPECT_EQ(Text(t), "---- BEGIN SSH2 PUBLIC KEY ----\r\nComment: \"k\"\r\n\r\nYWJj\r\n---- END SSH2 PUBLIC KEY ----\r\n");
  ASSERT_EQ(t.EncodeArmor("X", "abc", 3, 5, 64, ""), 0);
  EXPECT_EQ(Text(t), "-----BEGIN X-----\r\n\r\nYWJj\r\n-----END X-----\r\n");
  ASSERT_EQ(t.EncodeArmor("X", "abc", 0, 5, 64, nullptr), 0);
  EXPECT_EQ(t.Length(), 0);
  ASSERT_EQ(t.EncodeArmor("X", nullptr, 3, 5, 64, nullptr), 0);
  EXPECT_EQ(t.Length(), 0);
  // A line length that is no multiple of 4 wraps at 64.
  const std::string data(60, 'q');
  ASSERT_EQ(t.EncodeArmor("X", data.data(), 60, 5, 70, nullptr), 0);
  EXPECT_EQ(testsupport::Lines(Text(t)).at(1).size(), 65u);
}

TEST(TextArmor, AppendReversed) {
  const unsigned char src[] = {1, 2, 3};
  const struct {
    int count, pad;
    const char* hex;
  } cases[] = {{5, 1, "0302010000"}, {5, 0, "030201"}, {2, 0, "0302"}, {2, 1, "0302"}, {0, 1, ""}};
  for (const auto& c : cases) {
    TextArmor t;
    ASSERT_EQ(t.Append("\xee"), 0);
    ASSERT_EQ(t.AppendReversed(src, 3, c.count, c.pad), 0);
    EXPECT_EQ(testsupport::Hex(t.Data(), static_cast<size_t>(t.Length())), std::string("ee") + c.hex) << c.count;
  }
}

TEST(TextArmor, DecodeEdges) {
  TextArmor t;
  const std::string der = "\x30\x03\x02\x01\x85";
  ASSERT_EQ(Decode(t, der), 0);
  EXPECT_EQ(Text(t), der);
  ASSERT_EQ(Decode(t, "junk QUJD\r\n-----BEGIN CERTIFICATE-----\r\nYWJj\r\nZGVm\r\n-----END CERTIFICATE-----\r\nR0hJ"), 0);
  EXPECT_EQ(Text(t), "abcdef");
  ASSERT_EQ(Decode(t, "YW Jj\n!!"), 0);  // no marker: the whole text, non-Base64 skipped
  EXPECT_EQ(Text(t), "abc");
  ASSERT_EQ(Decode(t, ""), 0);
  EXPECT_EQ(t.Length(), 0);
}

TEST(TextArmor, KitCertificatesBothWays) {
  REQUIRE_OR_SKIP(!pkikit::Ensure().empty(), "openssl, faketime or flock missing, or make_kit.sh failed");
  for (const char* name : {"rsa-leaf", "p256-root", "ed25519-int"}) {
    const std::string pem = pkikit::Bytes(std::string(name) + ".crt");
    const std::string der = pkikit::Bytes(std::string(name) + ".der");
    TextArmor t;
    ASSERT_EQ(Decode(t, pem), 0);
    EXPECT_EQ(Text(t), der) << name;
    ASSERT_EQ(t.EncodePem("CERTIFICATE", der.data(), static_cast<int>(der.size())), 0);
    bool ok = false;
    const std::string back = testsupport::RunCommand("(openssl x509 -outform DER 2>/dev/null | od -An -tx1 | tr -d ' \\n')",
                                                     Text(t), ok);
    ASSERT_TRUE(ok) << name;
    EXPECT_EQ(back, testsupport::Hex(der)) << name;
  }
}

TEST(TextArmor, RearmorPublicKey) {
  const std::string der = "\x30\x03\x02\x01\x05";
  TextArmor in, out;
  ASSERT_EQ(in.EncodePem("RSA PUBLIC KEY", der.data(), 5), 0);
  ASSERT_EQ(RearmorPublicKey(in.Data(), in.Length(), out), 0);
  TextArmor expected;
  ASSERT_EQ(expected.EncodePem("PUBLIC KEY", der.data(), 5), 0);
  EXPECT_EQ(Text(out), Text(expected));
  ASSERT_EQ(RearmorPublicKey("MAMCAQU=", 8, out), 0);  // bare Base64
  EXPECT_EQ(Text(out), Text(expected));
  ASSERT_EQ(in.EncodePem("CERTIFICATE", der.data(), 5), 0);
  EXPECT_EQ(RearmorPublicKey(in.Data(), in.Length(), out), tornell::pki::kKeyFormatNotFound);
}

}  // namespace
