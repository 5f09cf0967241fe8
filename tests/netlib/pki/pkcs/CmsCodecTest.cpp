// The CMS attribute, SignerInfo and SignedData codec against `openssl cms
// -sign` and `crl2pkcs7` output, and our writer's output read by openssl.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <string>
#include <vector>

#include "PkcsKit.h"
#include "TestSupport.h"
#include "pki/der/DerWriter.h"
#include "pki/pkcs/Pkcs7ContentInfo.h"
#include "pki/x509/X509Codec.h"

using namespace tornell;
using namespace tornell::pki;

namespace {

std::string Text(const ByteString& b) { return std::string(b.Data(), static_cast<size_t>(b.Length())); }
ByteString Bytes(const std::string& s) {
  ByteString b;
  (void)b.Set(s.data(), static_cast<int>(s.size()));
  return b;
}

// The content of the [0] of a DER ContentInfo: the SignedData element.
ByteString SignedDataOf(const std::string& contentInfo) {
  DerElement node;
  ByteString inner;
  if (node.body.output.Set(contentInfo.data(), static_cast<int>(contentInfo.size())) == 0 &&
      node.SplitChildren() == 0 && node.childCount == 2) {
    (void)node.Child(1)->body.ReadElement(0, inner);
  }
  return inner;
}

// Lines of `openssl cms -print` after the first line holding `label`.
std::string PrintedValue(const std::string& print, const std::string& label) {
  const size_t at = print.find(label);
  if (at == std::string::npos) return "";
  const size_t end = print.find('\n', at);
  return print.substr(at + label.size(), end - at - label.size());
}

// The bytes of the hex dump that follows `label` in `openssl cms -print`.
std::string PrintedDump(const std::string& print, const std::string& label) {
  const size_t at = print.find(label);
  if (at == std::string::npos) return "";
  std::string hex;
  std::vector<std::string> lines = testsupport::Lines(print.substr(print.find('\n', at) + 1));
  for (const std::string& line : lines) {
    const size_t dash = line.find(" - ");
    if (dash == std::string::npos || line.find_first_not_of(' ') + 4 != dash) break;
    for (char c : line.substr(dash + 3, 45)) {  // 15 bytes, then the ASCII column
      if (std::isxdigit(static_cast<unsigned char>(c))) hex += c;
    }
  }
  return testsupport::Unhex(hex);
}

// "Dec 11 00:25:11 2026 GMT" as certificate time text.
std::string TimeText(const std::string& printed) {
  static const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  char month[4] = {};
  int day = 0, h = 0, m = 0, s = 0, year = 0;
  if (std::sscanf(printed.c_str(), "%3s %d %d:%d:%d %d", month, &day, &h, &m, &s, &year) != 6) return "";
  int mon = 0;
  for (int i = 0; i < 12; ++i) {
    if (std::string(kMonths[i]) == month) mon = i + 1;
  }
  char out[32];
  std::snprintf(out, sizeof out, "%04d%02d%02d%02d%02d%02d", year, mon, day, h, m, s);
  return out;
}

const CmsAttribute* Attribute(SignerInfo& signer, const char* type) {
  for (int i = 0; i < signer.authenticatedAttributes.Count(); ++i) {
    if (signer.authenticatedAttributes.Get(i)->type.Equals(type)) return signer.authenticatedAttributes.Get(i);
  }
  return nullptr;
}

std::string Value(const CmsAttribute* a, int i = 0) {
  return a == nullptr ? "<none>" : std::string(a->values.Get(i), static_cast<size_t>(a->values.EntryLength(i)));
}

std::string Serial(const std::string& decimal) {
  uint64_t v = std::stoull(decimal);
  std::string out;
  for (; v != 0; v >>= 8) out.insert(out.begin(), static_cast<char>(v & 0xFF));
  return out;
}

TEST(CmsCodec, SignedDataMatchesOpenssl) {
  REQUIRE_OR_SKIP(!pkcskit::Ensure().empty(), pkcskit::kMissing);
  SignedData data;
  ASSERT_EQ(X509Codec::ParseSignedData(SignedDataOf(pkcskit::Bytes("signed.der")), data), 0);
  bool ok = false;
  const std::string print = pkcskit::Run("openssl cms -cmsout -inform DER -in signed.der -print", ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(data.version, 1);
  ASSERT_EQ(data.digestAlgorithms.Count(), 1);
  EXPECT_EQ(Text(data.digestAlgorithms.Get(0)->oid), "2.16.840.1.101.3.4.2.1");
  EXPECT_EQ(Text(data.contentType), "1.2.840.113549.1.7.1");
  const std::string content = pkcskit::Bytes("content.txt");
  EXPECT_EQ(Text(data.content), content);

  const std::vector<std::string> ders = pkcskit::PemBlocks("openssl pkcs7 -inform DER -in signed.der -print_certs");
  ASSERT_EQ(ders.size(), 3u);
  ASSERT_EQ(data.certificates.Count(), 3);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Text(data.certificates.Get(i)->certificate.encoded), ders[size_t(i)]) << i;

  ASSERT_EQ(data.signerInfos.Count(), 1);
  SignerInfo& signer = *data.signerInfos.Get(0);
  EXPECT_EQ(signer.version, 1);
  const std::string leafDer = pkikit::Bytes("rsa-leaf.der");
  X509Certificate leaf;
  ASSERT_EQ(X509Codec::ParseCertificate(leafDer.data(), static_cast<int>(leafDer.size()), leaf), 0);
  EXPECT_EQ(Text(signer.issuer), Text(leaf.tbs.issuer));
  EXPECT_EQ(Text(signer.serialNumber), Serial(PrintedValue(print.substr(print.find("signerInfos:")), "serialNumber: ")));
  EXPECT_EQ(Text(signer.digestAlgorithm.oid), "2.16.840.1.101.3.4.2.1");
  EXPECT_EQ(Text(signer.signatureAlgorithm.oid), "1.2.840.113549.1.1.1");
  EXPECT_EQ(signer.signature.Length(), 256);
  ASSERT_EQ(signer.authenticatedAttributes.Count(), 3);
  EXPECT_EQ(Value(Attribute(signer, "1.2.840.113549.1.9.3")), "1.2.840.113549.1.7.1");
  EXPECT_EQ(Value(Attribute(signer, "1.2.840.113549.1.9.5")), TimeText(PrintedValue(print, "UTCTIME:")));
  const std::string digest = testsupport::RunCommand(
      "/usr/bin/python3 -c 'import hashlib,sys; print(hashlib.sha256(open(sys.argv[1],\"rb\").read()).hexdigest())' '" +
          pkcskit::Path("content.txt") + "'",
      ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(Value(Attribute(signer, "1.2.840.113549.1.9.4")), testsupport::Unhex(digest.substr(0, 64)));
  EXPECT_EQ(signer.unauthenticatedAttributes.Count(), 0);
}

TEST(CmsCodec, SignerIdentifierAndNoAttributes) {
  REQUIRE_OR_SKIP(!pkcskit::Ensure().empty(), pkcskit::kMissing);
  SignedData keyid;
  ASSERT_EQ(X509Codec::ParseSignedData(SignedDataOf(pkcskit::Bytes("signed-keyid.der")), keyid), 0);
  ASSERT_EQ(keyid.signerInfos.Count(), 1);
  bool ok = false;
  const std::string print = pkcskit::Run("openssl cms -cmsout -inform DER -in signed-keyid.der -print", ok);
  const SignerInfo& byKey = *keyid.signerInfos.Get(0);
  EXPECT_EQ(byKey.version, 3);
  EXPECT_EQ(Text(byKey.subjectKeyIdentifier), PrintedDump(print, "d.subjectKeyIdentifier:"));
  EXPECT_EQ(byKey.subjectKeyIdentifier.Length(), 20);
  EXPECT_TRUE(byKey.issuer.IsEmpty());
  EXPECT_TRUE(byKey.serialNumber.IsEmpty());

  SignedData noattr;
  ASSERT_EQ(X509Codec::ParseSignedData(SignedDataOf(pkcskit::Bytes("signed-noattr.der")), noattr), 0);
  ASSERT_EQ(noattr.signerInfos.Count(), 1);
  const SignerInfo& plain = *noattr.signerInfos.Get(0);
  EXPECT_EQ(plain.authenticatedAttributes.Count(), 0);
  EXPECT_EQ(Text(plain.signatureAlgorithm.oid), "1.2.840.113549.1.1.1");
  EXPECT_EQ(plain.signature.Length(), 256);
}

// [1] revocation lists are skipped and the (empty) signer infos still read.
TEST(CmsCodec, RevocationListsAreSkipped) {
  REQUIRE_OR_SKIP(!pkcskit::Ensure().empty(), pkcskit::kMissing);
  SignedData data;
  ASSERT_EQ(X509Codec::ParseSignedData(SignedDataOf(pkcskit::Bytes("crl.p7b")), data), 0);
  ASSERT_EQ(data.certificates.Count(), 1);
  const std::vector<std::string> ders = pkcskit::PemBlocks("openssl pkcs7 -inform DER -in crl.p7b -print_certs");
  ASSERT_EQ(ders.size(), 1u);
  EXPECT_EQ(Text(data.certificates.Get(0)->certificate.encoded), ders[0]);
  EXPECT_EQ(data.signerInfos.Count(), 0);
  EXPECT_EQ(data.x509Certificates.Count(), 0);
}

// Our writer's SignedData, wrapped in a ContentInfo, is read by openssl, whose
// signature check passes over the rewritten attributes, and reads back equal.
TEST(CmsCodec, WrittenSignedDataReadsBack) {
  REQUIRE_OR_SKIP(!pkcskit::Ensure().empty(), pkcskit::kMissing);
  SignedData data;
  ASSERT_EQ(X509Codec::ParseSignedData(SignedDataOf(pkcskit::Bytes("signed.der")), data), 0);
  DerWriter w;
  ASSERT_EQ(X509Codec::WriteSignedData(data, w), 0);
  DerWriter info;
  ASSERT_EQ(info.OpenSequence(), 0);
  ASSERT_EQ(info.AppendOid("1.2.840.113549.1.7.2"), 0);
  ASSERT_EQ(info.Open(0xA0), 0);
  ASSERT_EQ(info.output.Append(w.output), 0);
  ASSERT_EQ(info.Close(), 0);
  ASSERT_EQ(info.CloseSequence(), 0);
  testsupport::TempFile file(Text(info.output));
  ASSERT_TRUE(file.Made());
  bool ok = false;
  const std::string print =
      testsupport::RunCommand("openssl cms -cmsout -inform DER -print -in '" + file.Path() + "' 2>&1", ok);
  EXPECT_TRUE(ok) << print;
  EXPECT_NE(print.find("messageDigest"), std::string::npos);
  const std::string verified = testsupport::RunCommand(
      "openssl cms -verify -noverify -inform DER -in '" + file.Path() + "' 2>/dev/null", ok);
  EXPECT_TRUE(ok);
  EXPECT_EQ(verified, pkcskit::Bytes("content.txt"));

  SignedData again;
  ASSERT_EQ(X509Codec::ParseSignedData(w.output, again), 0);
  DerWriter rewritten;
  ASSERT_EQ(X509Codec::WriteSignedData(again, rewritten), 0);
  EXPECT_EQ(Text(rewritten.output), Text(w.output));
  EXPECT_EQ(again.certificates.Count(), 3);
  ASSERT_EQ(again.signerInfos.Count(), 1);
  EXPECT_EQ(Text(again.signerInfos.Get(0)->serialNumber), Text(data.signerInfos.Get(0)->serialNumber));
  EXPECT_EQ(Text(again.signerInfos.Get(0)->issuer), Text(data.signerInfos.Get(0)->issuer));
  EXPECT_EQ(Text(again.content), Text(data.content));
}

TEST(CmsCodec, AttributeForms) {
  const struct {
    const char* hex;
    const char* type;
    std::string value;
  } cases[] = {
      // signingTime UTCTime 240131120000Z
      {"301c06092a864886f70d010905310f170d3234303133313132303030305a", "1.2.840.113549.1.9.5", "20240131120000"},
      // messageDigest: the bare bytes
      {"301506092a864886f70d01090431080406010203040506", "1.2.840.113549.1.9.4", std::string("\x01\x02\x03\x04\x05\x06")},
      // contentType: the OID text
      {"301806092a864886f70d010903310b06092a864886f70d010701", "1.2.840.113549.1.9.3", "1.2.840.113549.1.7.1"},
      // an unlisted type keeps the complete value element
      {"301006032a0304310906072a030405060708", "1.2.3.4", testsupport::Unhex("06072a030405060708")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.hex);
    const std::string der = testsupport::Unhex(c.hex);
    CmsAttribute attribute;
    ASSERT_EQ(X509Codec::ParseCmsAttribute(Bytes(der), attribute), 0);
    EXPECT_EQ(Text(attribute.type), c.type);
    ASSERT_EQ(attribute.values.Count(), 1);
    EXPECT_EQ(Value(&attribute), c.value);
    DerWriter w;
    ASSERT_EQ(X509Codec::WriteCmsAttribute(attribute, w), 0);
    EXPECT_EQ(Text(w.output), der);
  }
  SignerInfo short4;
  EXPECT_EQ(X509Codec::ParseSignerInfo(Bytes(testsupport::Unhex("300a02010130000500040100")), short4), 447);
  SignedData short4Data;
  EXPECT_EQ(X509Codec::ParseSignedData(Bytes(testsupport::Unhex("3009020101310030003100")), short4Data), 447);
}

}  // namespace
