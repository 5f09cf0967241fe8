// The certificate utilities of the key codec: validity periods, canonical
// names, and certificate signatures against kit chains and Wycheproof.
#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <string>

#include "../kit/PkiKit.h"
#include "TestSupport.h"
#include "TestText.h"
#include "pki/keys/KeyCodec.h"
#include "pki/x509/X509Codec.h"

using namespace tornell;
using namespace tornell::pki;

namespace {

constexpr const char* kKit = "openssl, faketime or flock missing, or make_kit.sh failed";

std::string Text(const ByteString& b) { return std::string(b.Data(), static_cast<size_t>(b.Length())); }

std::time_t Utc(int year, int month, int day, int hour, int minute, int second) {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  return timegm(&t);
}

int VerifyKit(const std::string& certificate, const std::string& issuer) {
  return KeyCodec::VerifyCertificateSignature(certificate.data(), static_cast<int>(certificate.size()), issuer.data(),
                                              static_cast<int>(issuer.size()));
}

TEST(CertificateUtilities, ValidityPeriodEdges) {
  const char* from = "20240229120000";
  const char* to = "20300101000000";
  EXPECT_EQ(KeyCodec::CheckValidityPeriodAt(from, to, Utc(2024, 2, 29, 11, 59, 59)), -1);
  EXPECT_EQ(KeyCodec::CheckValidityPeriodAt(from, to, Utc(2024, 2, 29, 12, 0, 0)), 0);
  EXPECT_EQ(KeyCodec::CheckValidityPeriodAt(from, to, Utc(2030, 1, 1, 0, 0, 0)), 0);
  EXPECT_EQ(KeyCodec::CheckValidityPeriodAt(from, to, Utc(2030, 1, 1, 0, 0, 1)), 1);
  // Not yet valid wins whatever the end.
  EXPECT_EQ(KeyCodec::CheckValidityPeriodAt("21000101000000", "19990101000000", Utc(2050, 1, 1, 0, 0, 0)), -1);
  EXPECT_EQ(KeyCodec::CheckValidityPeriod("19700101000000", "29991231235959"), 0);
  EXPECT_EQ(KeyCodec::CheckValidityPeriod("19700101000000", "20000101000000"), 1);
}

// The clock text agrees with the C library's gmtime at every second tried:
// each day boundary of leap and century years, and a stride over 1970-9999.
TEST(CertificateUtilities, ValidityClockMatchesGmtime) {
  auto expect = [](std::time_t at) {
    std::tm utc{};
    ASSERT_NE(gmtime_r(&at, &utc), nullptr);
    char text[32];
    std::snprintf(text, sizeof text, "%04i%02i%02i%02i%02i%02i", utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday,
                  utc.tm_hour, utc.tm_min, utc.tm_sec);
    EXPECT_EQ(KeyCodec::CheckValidityPeriodAt(text, text, at), 0) << text;
  };
  for (const int year : {1970, 1999, 2000, 2024, 2100, 2400, 9999}) {
    for (const int day : {1, 59, 60, 61, 365, 366}) {
      const std::time_t start = Utc(year, 1, 1, 0, 0, 0) + std::time_t(day - 1) * 86400;
      for (const std::time_t delta : {-1, 0, 1, 86399}) {
        if (start + delta >= 0) expect(start + delta);
      }
    }
  }
  const std::time_t last = Utc(9999, 12, 31, 23, 59, 59);
  for (std::time_t at = 0; at <= last; at += 7777777) expect(at);
  expect(last);
  expect(last + 1);
  expect(-1);
}

TEST(CertificateUtilities, NameTokens) {
  struct Case {
    const char* text;
    const char* token;
    int advance;
  } cases[] = {
      {"", "", 0},
      {"=x", "=", 1},
      {",x", ",", 1},
      {"  cn  =x", "cn", 6},
      {"a\\,b,c", "a\\,b", 4},
      {"rest of text", "rest of text", 12},
      {"\"q,\\\"x\" , y", "\"q,\\\"x\"", 7},
      {" \"q,r\"", "\"q", 3},  // a quote after a blank is no quote
      {"\"open", "", 0},  // no closing quote: nothing taken
  };
  for (const Case& c : cases) {
    const char* cursor = c.text;
    ByteString token;
    ASSERT_EQ(KeyCodec::NextNameToken(cursor, token), 0) << c.text;
    EXPECT_EQ(Text(token), c.token) << c.text;
    EXPECT_EQ(cursor - c.text, c.advance) << c.text;
  }
}

TEST(CertificateUtilities, NormalizedNames) {
  struct Case {
    const char* text;
    const char* canonical;
  } cases[] = {
      {"cn=Host1, o=Org , c=US", "C=US,CN=Host1,O=Org"},
      {"EMAIL=xyz,S=North", "E=xyz,ST=North"},
      {"emailAddress=a@b,title=Dr,O=b,O=a", "E=a@b,O=a,O=b,T=Dr"},
      {"CN=\"a, b\",O=x", "CN=\"a, b\",O=x"},
      {"CN=x,", "CN=x"},
      {"", ""},
      // Not a list of pairs: each text stays itself, so two of them differ.
      {"CN", "CN"},
      {"CN=a;O=b=c", "CN=a;O=b=c"},
      {"CN=a O=b", "CN=a O=b"},
  };
  for (const Case& c : cases) {
    ByteString out;
    ASSERT_EQ(KeyCodec::NormalizeName(c.text, out), 0) << c.text;
    EXPECT_EQ(Text(out), c.canonical) << c.text;
  }
}

TEST(CertificateUtilities, KitChainSignatures) {
  REQUIRE_OR_SKIP(!pkikit::Ensure().empty(), kKit);
  for (const char* kind : {"rsa", "p256", "p384", "p521", "dsa"}) {
    const std::string k(kind);
    const std::string root = pkikit::Bytes(k + "-root.der"), inter = pkikit::Bytes(k + "-int.der"),
                      leaf = pkikit::Bytes(k + "-leaf.der");
    EXPECT_EQ(VerifyKit(leaf, inter), 0) << kind;
    EXPECT_EQ(VerifyKit(inter, root), 0) << kind;
    EXPECT_EQ(VerifyKit(root, root), 0) << kind;
    EXPECT_EQ(VerifyKit(leaf, root), -1) << kind;
    std::string flipped = leaf;
    flipped.back() = static_cast<char>(flipped.back() ^ 0x01);
    EXPECT_EQ(VerifyKit(flipped, inter), -1) << kind;
    // PEM text reads as the DER does.
    bool ok = false;
    const std::string pem = pkikit::Run("openssl x509 -inform DER -in " + k + "-leaf.der", ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(VerifyKit(pem, inter), 0) << kind;
  }
  const std::string edLeaf = pkikit::Bytes("ed25519-leaf.der"), edInt = pkikit::Bytes("ed25519-int.der");
  EXPECT_EQ(VerifyKit(edLeaf, edInt), 508);
  EXPECT_EQ(VerifyKit("garbage", pkikit::Bytes("rsa-int.der")) > 0, true);
}

TEST(CertificateUtilities, SignatureBitStringNeedsNoUnusedBits) {
  REQUIRE_OR_SKIP(!pkikit::Ensure().empty(), kKit);
  X509Certificate leaf, inter;
  const std::string leafDer = pkikit::Bytes("p256-leaf.der"), interDer = pkikit::Bytes("p256-int.der");
  ASSERT_EQ(leaf.encoded.Set(leafDer.data(), static_cast<int>(leafDer.size())), 0);
  ASSERT_EQ(inter.encoded.Set(interDer.data(), static_cast<int>(interDer.size())), 0);
  ASSERT_EQ(leaf.Decode(), 0);
  ASSERT_EQ(inter.Decode(), 0);
  ASSERT_EQ(KeyCodec::VerifyCertificateSignature(leaf, inter), 0);
  ByteString bits;
  ASSERT_EQ(bits.Assign(leaf.signatureValue), 0);
  ASSERT_EQ(leaf.signatureValue.Set("\x01", 1), 0);
  ASSERT_EQ(leaf.signatureValue.Append(bits.Data() + 1, bits.Length() - 1), 0);
  EXPECT_EQ(KeyCodec::VerifyCertificateSignature(leaf, inter), -1);
  leaf.signatureValue.Clear();
  EXPECT_EQ(KeyCodec::VerifyCertificateSignature(leaf, inter), -1);
}

struct WycheproofFile {
  const char* file;
  int kind;  // 0 RSA, 1 ECDSA, 2 DSA
};

TEST(CertificateUtilities, WycheproofSignatures) {
  const WycheproofFile files[] = {
      {"rsa_signature_2048_sha256_test.json", 0}, {"rsa_signature_3072_sha256_test.json", 0},
      {"rsa_signature_4096_sha512_test.json", 0}, {"ecdsa_secp256r1_sha256_test.json", 1},
      {"ecdsa_secp256r1_sha512_test.json", 1},    {"ecdsa_secp384r1_sha384_test.json", 1},
      {"ecdsa_secp521r1_sha512_test.json", 1},    {"dsa_2048_224_sha224_test.json", 2},
      {"dsa_2048_256_sha256_test.json", 2},
  };
  for (const WycheproofFile& f : files) {
    const auto rows = testsupport::WycheproofRows(
        f.file, "t['tcId'], t['result'], g['sha'].replace('-', ''), g['publicKeyDer'], t['msg'], t['sig']");
    REQUIRE_OR_SKIP(!rows.empty(), std::string("missing ") + f.file);
    int checked = 0;
    for (const auto& row : rows) {
      ASSERT_EQ(row.size(), 6u) << f.file;
      if (row[1] == "acceptable") continue;
      const std::string der = testsupport::Unhex(row[3]);
      ByteString element, message, signature;
      ASSERT_EQ(element.Set(der.data(), static_cast<int>(der.size())), 0);
      const std::string msg = row[4] == "-" ? "" : testsupport::Unhex(row[4]);
      const std::string sig = row[5] == "-" ? "" : testsupport::Unhex(row[5]);
      ASSERT_EQ(message.Set(msg.data(), static_cast<int>(msg.size())), 0);
      ASSERT_EQ(signature.Set(sig.data(), static_cast<int>(sig.size())), 0);
      SubjectPublicKeyInfo info;
      ASSERT_EQ(X509Codec::ParseSubjectPublicKeyInfo(element, info), 0) << f.file << " " << row[0];
      const int verdict = KeyCodec::VerifySignature(message, signature, row[2].c_str(),
                                                    f.kind == 0 ? &info.Rsa() : nullptr,
                                                    f.kind == 2 ? &info.Dsa() : nullptr,
                                                    f.kind == 1 ? &info.Ec() : nullptr);
      if (row[1] == "valid") {
        EXPECT_EQ(verdict, 0) << f.file << " tcId " << row[0];
      } else {
        EXPECT_NE(verdict, 0) << f.file << " tcId " << row[0];
      }
      ++checked;
    }
    EXPECT_GT(checked, 50) << f.file;
  }
  ByteString data, signature;
  EXPECT_EQ(KeyCodec::VerifySignature(data, signature, "SHA256", nullptr, nullptr, nullptr), -1);
}

TEST(CertificateUtilities, HashByName) {
  ByteString out;
  ASSERT_EQ(KeyCodec::HashByName("abc", 3, "SHA256", out), 0);
  EXPECT_EQ(testsupport::Hex(out.Data(), static_cast<size_t>(out.Length())),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(KeyCodec::HashByName("abc", 3, "NOSUCH", out), 2001);
}

}  // namespace
