// The PKCS#12 reader and the store's PKCS#12 entries against files made by
// `openssl pkcs12 -export`, compared with what openssl reads from them.
#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "../store/StoreSeam.h"
#include "PkcsKit.h"
#include "TestSupport.h"
#include "pki/pkcs/Pkcs12Reader.h"
#include "pki/store/CertificateManager.h"
#include "pki/store/CertificateStore.h"

using namespace tornell;
using namespace tornell::pki;

namespace {

std::string Text(const ByteString& b) { return std::string(b.Data(), static_cast<size_t>(b.Length())); }

int ParseFile(Pkcs12Reader& reader, const std::string& bytes, const char* password) {
  EXPECT_EQ(reader.SetData(bytes.data(), static_cast<int>(bytes.size())), 0);
  EXPECT_EQ(reader.SetPassword(password), 0);
  return reader.Parse();
}

std::string Unpadded(std::string bytes) {
  while (bytes.size() > 1 && bytes[0] == '\0') bytes.erase(0, 1);
  return bytes;
}

// The private value openssl prints for the key of a file (RSA
// privateExponent, EC and Edwards priv), as bytes without leading zeros.
std::string OpensslPrivateValue(const std::string& file) {
  bool ok = false;
  const std::string text = pkcskit::Run("openssl pkcs12 -legacy -in " + file + " -nocerts -nodes -passin 'pass:" +
                                            pkcskit::kPassword + "' | openssl pkey -text -noout",
                                        ok);
  std::string hex;
  bool inside = false;
  for (const std::string& line : testsupport::Lines(text)) {
    if (line == "privateExponent:" || line == "priv:") {
      inside = true;
      continue;
    }
    if (!inside) continue;
    if (line.empty() || line[0] != ' ') break;
    for (char c : line) {
      if (std::isxdigit(static_cast<unsigned char>(c))) hex += c;
    }
  }
  return ok ? Unpadded(testsupport::Unhex(hex)) : std::string();
}

std::string OurPrivateValue(const KeyInfo& key) {
  if (key.IsRsa()) return Unpadded(Text(key.rsaKey.d));
  if (key.IsEdDsa()) return Unpadded(Text(key.ecKey.edPrivate));
  return Unpadded(Text(key.ecKey.D));
}

struct Case {
  const char* file;
  const char* algorithm;
};

// Every PBE scheme, PBES2 with three ciphers, no MAC and plain certificates.
const Case kFiles[] = {
    {"rsa-default.p12", "RSA"},          {"p256-default.p12", "IdEcPublicKey"}, {"ed25519-default.p12", "EdDSA"},
    {"rsa-aes128.p12", "RSA"},           {"rsa-des3.p12", "RSA"},              {"rsa-legacy.p12", "RSA"},
    {"rsa-rc4-128.p12", "RSA"},          {"rsa-rc4-40.p12", "RSA"},            {"rsa-nomac.p12", "RSA"},
    {"rsa-nocertpbe.p12", "RSA"},
};

TEST(Pkcs12Reader, FilesMatchOpenssl) {
  REQUIRE_OR_SKIP(!pkcskit::Ensure().empty(), pkcskit::kMissing);
  for (const Case& c : kFiles) {
    SCOPED_TRACE(c.file);
    Pkcs12Reader reader;
    ASSERT_EQ(ParseFile(reader, pkcskit::Bytes(c.file), pkcskit::kPassword), 0) << Text(reader.errorText);
    ASSERT_EQ(reader.keys.Count(), 1);
    EXPECT_STREQ(reader.GetKeyAlgorithm(), c.algorithm);
    const std::string expected = OpensslPrivateValue(c.file);
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(OurPrivateValue(*reader.keys.Get(0)), expected);

    const std::vector<std::string> ders = pkcskit::PemBlocks(std::string("openssl pkcs12 -legacy -in ") + c.file +
                                                             " -nokeys -passin 'pass:" + pkcskit::kPassword + "'");
    ASSERT_EQ(ders.size(), 3u);
    ASSERT_EQ(reader.certificates.Count(), 3);
    for (int i = 0; i < 3; ++i) {
      const X509Certificate& cert = *reader.certificates.Get(i);
      const std::string& der = ders[static_cast<size_t>(i)];
      const std::string tbs = Text(cert.tbsEncoded), signature = Text(cert.signatureValue);
      EXPECT_EQ(der.compare(4, tbs.size(), tbs), 0) << "certificate " << i;
      ASSERT_GT(signature.size(), 1u);
      EXPECT_EQ(der.compare(der.size() - signature.size(), signature.size(), signature), 0);
      EXPECT_TRUE(cert.encoded.IsEmpty());
    }
    const bool hasMac = std::string(c.file) != "rsa-nomac.p12";
    EXPECT_EQ(reader.macIterations, hasMac ? 2048 : 1);
    EXPECT_EQ(reader.macDigest.IsEmpty(), !hasMac);
  }
}

// A wrong password never yields a key, whatever the scheme: the padding and
// the one-element check stand in for the unchecked MAC.
TEST(Pkcs12Reader, WrongPasswordsNeverGiveKeys) {
  REQUIRE_OR_SKIP(!pkcskit::Ensure().empty(), pkcskit::kMissing);
  for (const Case& c : kFiles) {
    SCOPED_TRACE(c.file);
    const std::string bytes = pkcskit::Bytes(c.file);
    for (int i = 0; i < 20; ++i) {
      Pkcs12Reader reader;
      const std::string password = "wrong " + std::to_string(i);
      EXPECT_NE(ParseFile(reader, bytes, password.c_str()), 0) << password;
      EXPECT_EQ(reader.keys.Count(), 0) << password;
    }
  }
  Pkcs12Reader reader;
  EXPECT_NE(ParseFile(reader, pkcskit::Bytes("rsa-legacy.p12"), "wrong 0"), 0);
  EXPECT_EQ(reader.certificates.Count(), 0);
  Pkcs12Reader shrouded;
  EXPECT_NE(ParseFile(shrouded, pkcskit::Bytes("rsa-nocertpbe.p12"), "wrong 0"), 0);
  EXPECT_EQ(Text(shrouded.errorText), "Private key is not parsed.");
}

TEST(Pkcs12Reader, MacIsReadNotChecked) {
  REQUIRE_OR_SKIP(!pkcskit::Ensure().empty(), pkcskit::kMissing);
  std::string bytes = pkcskit::Bytes("rsa-default.p12");
  Pkcs12Reader first;
  ASSERT_EQ(ParseFile(first, bytes, pkcskit::kPassword), 0);
  EXPECT_EQ(Text(first.macAlgorithm), "2.16.840.1.101.3.4.2.1");
  EXPECT_EQ(first.macDigest.Length(), 32);
  EXPECT_EQ(first.macSalt.Length(), 8);
  const size_t at = bytes.rfind(Text(first.macDigest));
  ASSERT_NE(at, std::string::npos);
  bytes[at] = static_cast<char>(bytes[at] ^ 1);
  Pkcs12Reader flipped;
  ASSERT_EQ(ParseFile(flipped, bytes, pkcskit::kPassword), 0);
  EXPECT_EQ(flipped.keys.Count(), 1);
  bool ok = false;
  pkcskit::Run("openssl pkcs12 -in rsa-default.p12 -noout -passin 'pass:" + std::string(pkcskit::kPassword) + "'", ok);
  EXPECT_TRUE(ok);
}

TEST(Pkcs12Reader, RefusedSchemesAndBags) {
  REQUIRE_OR_SKIP(!pkcskit::Ensure().empty(), pkcskit::kMissing);
  // The PRF patched from hmacWithSHA256 to hmacWithSHA1.
  std::string bytes = pkcskit::Bytes("rsa-default.p12");
  const std::string sha256Prf = testsupport::Unhex("06082a864886f70d0209");
  int patched = 0;
  for (size_t at = bytes.find(sha256Prf); at != std::string::npos; at = bytes.find(sha256Prf, at + 1), ++patched) {
    bytes[at + sha256Prf.size() - 1] = 0x07;
  }
  ASSERT_EQ(patched, 2);
  Pkcs12Reader sha1;
  EXPECT_EQ(ParseFile(sha1, bytes, pkcskit::kPassword), kPkcs12UnusableScheme);

  Pkcs12Reader keyBag;
  EXPECT_EQ(ParseFile(keyBag, pkcskit::Bytes("rsa-keybag.p12"), pkcskit::kPassword), 446);
  EXPECT_EQ(Text(keyBag.errorText), "Failed to parse SafeBag.");

  Pkcs12Reader empty;
  EXPECT_STREQ(empty.GetKeyAlgorithm(), "");
  RsaKey rsa;
  EcKey ec;
  EXPECT_EQ(empty.GetRsaKey(rsa), -1);
  EXPECT_EQ(empty.GetEcKey(ec), -1);
  EXPECT_EQ(empty.version, 3);
  EXPECT_EQ(ParseFile(empty, std::string("\x30\x03\x02\x01\x03", 5), ""), 447);
}

// Iteration counts from the file: above the test cap or below 1 give no key.
TEST(Pkcs12Reader, IterationCounts) {
  REQUIRE_OR_SKIP(!pkcskit::Ensure().empty(), pkcskit::kMissing);
  for (const char* file : {"rsa-default.p12", "rsa-legacy.p12"}) {
    SCOPED_TRACE(file);
    Pkcs12Reader capped;
    capped.maxIterations = 2047;
    EXPECT_NE(ParseFile(capped, pkcskit::Bytes(file), pkcskit::kPassword), 0);
    EXPECT_EQ(capped.keys.Count(), 0);
    std::string bytes = pkcskit::Bytes(file);
    // Every count of 2048 becomes 0 (kept two bytes long).
    const std::string count = testsupport::Unhex("02020800");
    for (size_t at = bytes.find(count); at != std::string::npos; at = bytes.find(count, at + 1)) {
      bytes[at + 2] = 0;
    }
    Pkcs12Reader zero;
    EXPECT_NE(ParseFile(zero, bytes, pkcskit::kPassword), 0);
    EXPECT_EQ(zero.keys.Count(), 0);
  }
}

TEST(Pkcs12Reader, EmptyPasswordAndSecondParse) {
  REQUIRE_OR_SKIP(!pkcskit::Ensure().empty(), pkcskit::kMissing);
  Pkcs12Reader reader;
  ASSERT_EQ(ParseFile(reader, pkcskit::Bytes("rsa-empty.p12"), ""), 0) << Text(reader.errorText);
  EXPECT_EQ(reader.keys.Count(), 1);
  EXPECT_EQ(reader.certificates.Count(), 1);
  // A second parse appends.
  ASSERT_EQ(reader.Parse(), 0);
  EXPECT_EQ(reader.keys.Count(), 2);
  Pkcs12Reader copy;
  ASSERT_EQ(copy.CopyFrom(reader), 0);
  EXPECT_EQ(copy.keys.Count(), 2);
  EXPECT_EQ(copy.certificates.Count(), 2);
  EXPECT_EQ(Text(copy.keys.Get(1)->rsaKey.d), Text(reader.keys.Get(1)->rsaKey.d));
}

// The store's PKCS#12 entries: the key type and the key of the first bag.
TEST(Pkcs12Store, KeyTypesThroughTheStore) {
  REQUIRE_OR_SKIP(!pkcskit::Ensure().empty(), pkcskit::kMissing);
  const struct {
    const char* file;
    int type;
  } cases[] = {{"rsa-default.p12", kKeyTypeRsa}, {"p256-default.p12", kKeyTypeEc}, {"ed25519-default.p12", kKeyTypeEdDsa}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string bytes = pkcskit::Bytes(c.file);
    CertificateStore store;
    ASSERT_EQ(store.AddPkcs12(bytes.data(), static_cast<int>(bytes.size()), pkcskit::kPassword), 0);
    ASSERT_EQ(store.entries.Count(), 1);
    EXPECT_EQ(store.entries.Get(0)->GetSubject(), nullptr);
    EXPECT_EQ(store.GetKeyType(), c.type);
    Pkcs12Reader reader;
    ASSERT_EQ(ParseFile(reader, bytes, pkcskit::kPassword), 0);
    if (c.type == kKeyTypeRsa) {
      RsaKey key;
      ASSERT_EQ(store.GetRsaKey(key), 0);
      EXPECT_EQ(Text(key.d), Text(reader.keys.Get(0)->rsaKey.d));
      EXPECT_EQ(Text(key.n), Text(reader.keys.Get(0)->rsaKey.n));
    } else {
      EcKey key;
      ASSERT_EQ(store.GetEcKey(key), 0);
      EXPECT_EQ(Text(key.D), Text(reader.keys.Get(0)->ecKey.D));
      EXPECT_EQ(Text(key.edPrivate), Text(reader.keys.Get(0)->ecKey.edPrivate));
      RsaKey rsa;
      EXPECT_EQ(store.GetRsaKey(rsa), -1);
    }
    // A copied store keeps the reader.
    CertStoreEntry* copy = store.entries.Get(0)->Clone();
    ASSERT_NE(copy, nullptr);
    ASSERT_NE(copy->pkcs12, nullptr);
    EXPECT_EQ(copy->pkcs12->keys.Count(), 1);
    delete copy;
    EXPECT_NE(store.AddPkcs12(bytes.data(), static_cast<int>(bytes.size()), "wrong"), 0);
    EXPECT_EQ(store.entries.Count(), 1);
  }
}

// Store types 2 (file) and 3 (blob) load the PFX into a cleared store.
TEST(Pkcs12Store, ManagerStoreTypes) {
  REQUIRE_OR_SKIP(!pkcskit::Ensure().empty(), pkcskit::kMissing);
  const std::string bytes = pkcskit::Bytes("rsa-legacy.p12");
  Pkcs12Reader reader;
  ASSERT_EQ(ParseFile(reader, bytes, pkcskit::kPassword), 0);
  for (int type : {kStorePfxFile, kStorePfxBlob}) {
    SCOPED_TRACE(type);
    StoreSeam m;
    ASSERT_EQ(m.SetStorePassword(pkcskit::kPassword), 0);
    ASSERT_EQ(m.Store().AddPkcs12(bytes.data(), static_cast<int>(bytes.size()), pkcskit::kPassword), 0);
    m.PutStore(type, type == kStorePfxFile ? pkcskit::Path("rsa-legacy.p12") : bytes);
    ASSERT_EQ(m.LoadStore(), 0);
    ASSERT_EQ(m.Store().entries.Count(), 1);
    EXPECT_EQ(m.Store().GetKeyOnly(), 0);
    EXPECT_EQ(m.Store().GetKeyType(), kKeyTypeRsa);
    RsaKey key;
    ASSERT_EQ(m.Store().GetRsaKey(key), 0);
    EXPECT_EQ(Text(key.d), Text(reader.keys.Get(0)->rsaKey.d));
    StoreSeam wrong;
    ASSERT_EQ(wrong.SetStorePassword("wrong"), 0);
    wrong.PutStore(type, type == kStorePfxFile ? pkcskit::Path("rsa-legacy.p12") : bytes);
    EXPECT_NE(wrong.LoadStore(), 0);
    EXPECT_EQ(wrong.Store().entries.Count(), 0);
    EXPECT_EQ(wrong.Store().GetKeyType(), kKeyTypeNone);
  }
}

}  // namespace
