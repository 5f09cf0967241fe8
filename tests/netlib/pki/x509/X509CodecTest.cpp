// Edge cases of the certificate codec and the records, on hand-made DER.
#include <gtest/gtest.h>

#include <string>

#include "X509TestText.h"
#include "pki/x509/CmsRecords.h"
#include "pki/x509/X509Codec.h"

using tornell::ByteString;
using tornell::pki::AlgorithmIdentifier;
using tornell::pki::CertificateChoice;
using tornell::pki::CertificateExtension;
using tornell::pki::DerWriter;
using tornell::pki::KeyTransRecipientInfo;
using tornell::pki::SignerInfo;
using tornell::pki::SubjectPublicKeyInfo;
using tornell::pki::TbsCertificate;
using tornell::pki::X509Certificate;
using tornell::pki::X509Codec;
using x509test::HexOf;

namespace {

ByteString FromHex(const std::string& hex) {
  const std::string bytes = testsupport::Unhex(hex);
  ByteString s;
  EXPECT_EQ(s.Set(bytes.data(), static_cast<int>(bytes.size())), 0);
  return s;
}

std::string Wrap(const char* tag, const std::string& content) {
  char header[24];
  const size_t n = content.size() / 2;
  if (n < 128) {
    std::snprintf(header, sizeof header, "%s%02zx", tag, n);
  } else if (n < 256) {
    std::snprintf(header, sizeof header, "%s81%02zx", tag, n);
  } else {
    std::snprintf(header, sizeof header, "%s82%04zx", tag, n);
  }
  return header + content;
}

// A TBSCertificate built from parts; extra goes between the public-key info
// and the rest.
std::string Tbs(const std::string& beforeSerial, const std::string& extra) {
  const std::string name = "300f310d300b06035504030c046e616d65";
  const std::string validity = Wrap("30", "170d3439313233313233353935395a" "180f32303531303130313030303030305a");
  const std::string spki = "302a300506032b6570032100" + std::string(64, '1');
  return Wrap("30", beforeSerial + "020300ff01" + "300d06092a864886f70d01010b0500" + name + validity + name + spki +
                        extra);
}

const std::string kCriticalExtension = "300e0603551d0f0101ff0404030205a0";
const std::string kPlainExtension = "300c0603551d130405" "3003020105";

TEST(X509Codec, TbsFieldsAndOptionalTags) {
  const std::string v3 = "a003020102";
  const std::string extensions = Wrap("a3", Wrap("30", kCriticalExtension + kPlainExtension));
  const struct {
    std::string tbs;
    int version;
    int extensions;
  } cases[] = {
      {Tbs("", ""), 0, 0},
      {Tbs(v3, extensions), 2, 2},
      {Tbs(v3, "a1020500" + extensions), 2, 2},
      {Tbs(v3, "810300aabb820200cc" + extensions), 2, 2},
      {Tbs(v3, "a203020101" + extensions), 2, 2},
      {Tbs(v3, "a4020500" + extensions), 2, 0},
  };
  for (const auto& c : cases) {
    TbsCertificate tbs;
    ASSERT_EQ(X509Codec::ParseTbsCertificate(FromHex(c.tbs), tbs), 0) << c.tbs;
    EXPECT_EQ(tbs.version, c.version);
    EXPECT_STREQ(tbs.serialNumber.CStr(), "ff01");
    EXPECT_EQ(HexOf(tbs.serialNumberEncoded), "020300ff01");
    EXPECT_STREQ(tbs.signature.oid.CStr(), "1.2.840.113549.1.1.11");
    EXPECT_EQ(HexOf(tbs.signature.parameters), "0500");
    EXPECT_STREQ(tbs.issuer.CStr(), "CN=name");
    EXPECT_STREQ(tbs.subject.CStr(), "CN=name");
    EXPECT_STREQ(tbs.notBefore.CStr(), "20491231235959");
    EXPECT_STREQ(tbs.notAfter.CStr(), "20510101000000");
    EXPECT_STREQ(tbs.subjectPublicKeyInfo.algorithm.oid.CStr(), "1.3.101.112");
    EXPECT_EQ(tbs.subjectPublicKeyInfoContent.Length(), 0x2a);
    ASSERT_EQ(tbs.extensions.Count(), c.extensions) << c.tbs;
    ASSERT_EQ(tbs.extensionsEncoded.Count(), c.extensions);
    if (c.extensions == 2) {
      EXPECT_EQ(tbs.extensions.Get(0)->critical, 1);
      EXPECT_EQ(tbs.extensions.Get(1)->critical, 0);
      EXPECT_EQ(HexOf(tbs.extensions.Get(1)->extnValue), "04053003020105");
      EXPECT_EQ(testsupport::Hex(tbs.extensionsEncoded.Get(0), 16), kCriticalExtension);
    }
  }
  TbsCertificate tbs;
  EXPECT_EQ(X509Codec::ParseTbsCertificate(FromHex("3005020101" "3000"), tbs), 447);
  EXPECT_EQ(X509Codec::ParseTbsCertificate(FromHex("3003040101"), tbs), 446);
}

TEST(X509Codec, ExtensionsBothWays) {
  const struct {
    std::string der;
    int critical;
    const char* value;
  } cases[] = {{kCriticalExtension, 1, "0404030205a0"}, {kPlainExtension, 0, "04053003020105"},
               {"300e0603551d0f010100" "0404030205a0", 0, "0404030205a0"}};
  for (const auto& c : cases) {
    CertificateExtension ext;
    ASSERT_EQ(X509Codec::ParseExtension(FromHex(c.der), ext), 0);
    EXPECT_EQ(ext.critical, c.critical);
    EXPECT_STREQ(ext.extnId.CStr(), c.der == kPlainExtension ? "2.5.29.19" : "2.5.29.15");
    EXPECT_EQ(HexOf(ext.extnValue), c.value);
    DerWriter w;
    ASSERT_EQ(X509Codec::WriteExtension(ext, w), 0);
    // A false BOOLEAN is not written back.
    if (c.critical != 0 || c.der == kPlainExtension) {
      EXPECT_EQ(HexOf(w.output), c.der);
    } else {
      EXPECT_EQ(HexOf(w.output), "300b0603551d0f0404030205a0");
    }
  }
  CertificateExtension ext;
  EXPECT_EQ(X509Codec::ParseExtension(FromHex("30050603551d0f"), ext), 447);
  EXPECT_EQ(X509Codec::ParseExtension(FromHex("30080603551d0f010100"), ext), 447);
}

TEST(X509Codec, Times) {
  const struct {
    const char* content;
    const char* text;
  } cases[] = {{"491231235959Z", "20491231235959"}, {"500101000000Z", "19500101000000"},
               {"20510101000000Z", "20510101000000"}, {"Z20Z", "20"}, {"19", "19"}};
  for (const auto& c : cases) {
    ByteString time(c.content), text;
    ASSERT_EQ(X509Codec::TimeToText(time, text), 0) << c.content;
    EXPECT_STREQ(text.CStr(), c.text);
  }
  // Shorter than a century: refused, never read past.
  for (const char* shortTime : {"", "2"}) {
    ByteString time(shortTime), text;
    EXPECT_EQ(X509Codec::TimeToText(time, text), 446);
  }
  const struct {
    const char* text;
    const char* der;
  } writes[] = {{"20491231235959", "170d3439313233313233353935395a"},
                {"20510101000000", "180f32303531303130313030303030305a"},
                {"19450101000000", "170d3435303130313030303030305a"}};
  for (const auto& w : writes) {
    ByteString text(w.text);
    DerWriter out;
    ASSERT_EQ(X509Codec::WriteTime(&text, out), 0);
    EXPECT_EQ(HexOf(out.output), w.der);
  }
}

TEST(X509Codec, AlgorithmIdentifiersAndPublicKeys) {
  AlgorithmIdentifier id;
  ASSERT_EQ(X509Codec::ParseAlgorithmIdentifier(FromHex("300506032b6570"), id), 0);
  EXPECT_STREQ(id.oid.CStr(), "1.3.101.112");
  EXPECT_TRUE(id.parameters.IsEmpty());
  ByteString out;
  ASSERT_EQ(X509Codec::WriteAlgorithmIdentifier(&id, out, 1), 0);
  EXPECT_EQ(HexOf(out), "300706032b65700500");
  ASSERT_EQ(out.Clear(), 0);
  ASSERT_EQ(X509Codec::WriteAlgorithmIdentifier(&id, out, 0), 0);
  EXPECT_EQ(HexOf(out), "300506032b6570");
  EXPECT_EQ(X509Codec::ParseAlgorithmIdentifier(FromHex("3000"), id), 447);

  SubjectPublicKeyInfo info;
  EXPECT_EQ(X509Codec::ParseSubjectPublicKeyInfo(FromHex("3007300506032b6570"), info), 447);
  // An RSA key whose bits hold fewer than two integers stores nothing.
  SubjectPublicKeyInfo rsa;
  ASSERT_EQ(X509Codec::ParseSubjectPublicKeyInfo(
                FromHex("301a300d06092a864886f70d0101010500030900300602010502010a"), rsa), 0);
  EXPECT_EQ(HexOf(rsa.Rsa().n), "05");
  EXPECT_EQ(HexOf(rsa.Rsa().e), "0a");
  DerWriter w;
  ASSERT_EQ(X509Codec::WriteSubjectPublicKeyInfo(&rsa, w), 0);
  EXPECT_EQ(HexOf(w.output), "301a300d06092a864886f70d0101010500030900300602010502010a");
  SubjectPublicKeyInfo one;
  ASSERT_EQ(X509Codec::ParseSubjectPublicKeyInfo(
                FromHex("3017300d06092a864886f70d01010105000306003003020105"), one), 0);
  EXPECT_TRUE(one.Rsa().n.IsEmpty());
  // An EC key on a curve other than the three named ones.
  SubjectPublicKeyInfo k1;
  EXPECT_EQ(X509Codec::ParseSubjectPublicKeyInfo(
                FromHex("3016301006072a8648ce3d020106052b8104000a03020004"), k1), 1410);
  SubjectPublicKeyInfo empty;
  DerWriter e;
  ASSERT_EQ(X509Codec::WriteSubjectPublicKeyInfo(&empty, e), 0);
  EXPECT_EQ(HexOf(e.output), "300a30050601000500030100");
}

TEST(X509Codec, CertificateRecordsAndChoices) {
  const std::string tbs = Tbs("a003020102", Wrap("a3", Wrap("30", kCriticalExtension)));
  const std::string cert = Wrap("30", tbs + "300d06092a864886f70d01010b0500" + "030300abcd");
  X509Certificate parsed;
  ASSERT_EQ(X509Codec::ParseCertificate(FromHex(cert), parsed), 0);
  EXPECT_EQ(HexOf(parsed.signatureValue), "abcd");
  EXPECT_TRUE(parsed.signatureAlgorithm.parameters.IsEmpty());
  EXPECT_STREQ(parsed.GetKeyAlgorithm(), "Unknown");
  tornell::RsaKey rsa;
  EXPECT_EQ(parsed.GetRsaKey(rsa, 0), 0);
  EXPECT_TRUE(rsa.n.IsEmpty());
  DerWriter same;
  ASSERT_EQ(X509Codec::WriteCertificate(parsed, same), 0);
  EXPECT_EQ(HexOf(same.output), cert);

  X509Certificate decoded;
  ASSERT_EQ(decoded.encoded.Assign(parsed.encoded), 0);
  ASSERT_EQ(decoded.Decode(), 0);
  EXPECT_EQ(HexOf(decoded.signatureValue), "00abcd");
  EXPECT_EQ(HexOf(decoded.signatureAlgorithm.parameters), "0500");
  X509Certificate twoParts;
  ASSERT_EQ(twoParts.encoded.Set(FromHex(Wrap("30", tbs + "300d06092a864886f70d01010b0500")).Data(),
                                 static_cast<int>(tbs.size() / 2 + 19)), 0);
  EXPECT_EQ(twoParts.Decode(), 447);

  // Clones are independent copies.
  X509Certificate* clone = parsed.Clone();
  ASSERT_NE(clone, nullptr);
  ASSERT_EQ(clone->tbs.extensions.Count(), 1);
  ASSERT_EQ(clone->tbs.extensions.RemoveAt(0), 0);
  EXPECT_EQ(parsed.tbs.extensions.Count(), 1);
  EXPECT_STREQ(clone->GetSubject(), "CN=name");
  delete clone;

  CertificateChoice choice;
  ASSERT_EQ(X509Codec::ParseCertificateChoice(FromHex(cert).Data(), static_cast<int>(cert.size() / 2), choice), 0);
  EXPECT_EQ(HexOf(choice.certificate.signatureValue), "abcd");
  CertificateChoice nothing;
  ASSERT_EQ(X509Codec::ParseCertificateChoice("\x31\x00", 2, nothing), 0);
  EXPECT_TRUE(nothing.certificate.encoded.IsEmpty());
  DerWriter none;
  ASSERT_EQ(X509Codec::WriteCertificateChoice(nothing, none), 0);
  EXPECT_EQ(none.output.Length(), 0);

  // PKCS#6: the certificate with a SET of attributes, signed.
  const std::string info = Wrap("30", "020100" + cert + Wrap("31", kPlainExtension));
  const std::string extended = Wrap("a0", info + "300d06092a864886f70d01010b0500" + "03020012");
  CertificateChoice ext;
  ASSERT_EQ(X509Codec::ParseCertificateChoice(FromHex(extended).Data(), static_cast<int>(extended.size() / 2), ext),
            0);
  EXPECT_EQ(ext.extendedCertificate.info.attributes.Count(), 1);
  EXPECT_EQ(HexOf(ext.extendedCertificate.signature), "12");
  DerWriter back;
  ASSERT_EQ(X509Codec::WriteCertificateChoice(ext, back), 0);
  EXPECT_EQ(HexOf(back.output), extended);

  // Written from the record, the version and a non-critical extension as read.
  X509Certificate rebuilt;
  ASSERT_EQ(rebuilt.CopyFrom(parsed), 0);
  ASSERT_EQ(rebuilt.encoded.Clear(), 0);
  DerWriter w;
  ASSERT_EQ(X509Codec::WriteCertificate(rebuilt, w), 0);
  X509Certificate again;
  ASSERT_EQ(X509Codec::ParseCertificate(w.output, again), 0);
  EXPECT_STREQ(again.tbs.serialNumber.CStr(), "ff01");
  EXPECT_EQ(again.tbs.extensions.Get(0)->critical, 1);
  ASSERT_EQ(rebuilt.tbs.serialNumber.Clear(), 0);
  DerWriter noSerial;
  EXPECT_EQ(X509Codec::WriteCertificate(rebuilt, noSerial), 445);
}

TEST(X509Codec, IssuerAndSerialAndRecordDefaults) {
  const std::string element = Wrap("30", "300f310d300b06035504030c046e616d65" "020300ff01");
  ByteString issuer, serial, alternative;
  ASSERT_EQ(X509Codec::ParseIssuerAndSerial(FromHex(element), &issuer, &serial, nullptr), 0);
  EXPECT_STREQ(issuer.CStr(), "CN=name");
  EXPECT_EQ(HexOf(serial), "ff01");
  ByteString untouched;
  ASSERT_EQ(X509Codec::ParseIssuerAndSerial(FromHex(element), &untouched, &untouched, &alternative), 0);
  EXPECT_STREQ(alternative.CStr(), "CN=name");
  EXPECT_TRUE(untouched.IsEmpty());

  KeyTransRecipientInfo recipient;
  EXPECT_STREQ(recipient.oaepHashAlgorithm.oid.CStr(), "1.3.14.3.2.26");
  EXPECT_STREQ(recipient.oaepMaskGenHashAlgorithm.oid.CStr(), "1.3.14.3.2.26");

  SignerInfo signer, copy;
  tornell::pki::CmsAttribute attribute;
  ASSERT_EQ(attribute.type.Set("1.2.840.113549.1.9.3"), 0);
  ASSERT_EQ(signer.authenticatedAttributes.Append(attribute), 0);
  ASSERT_EQ(copy.authenticatedAttributes.Append(attribute), 0);
  ASSERT_EQ(copy.authenticatedAttributes.Append(attribute), 0);
  ASSERT_EQ(copy.CopyFrom(signer), 0);
  EXPECT_EQ(copy.authenticatedAttributes.Count(), 1);
  SignerInfo* clone = signer.Clone();
  ASSERT_NE(clone, nullptr);
  ASSERT_EQ(clone->authenticatedAttributes.RemoveAt(0), 0);
  EXPECT_EQ(signer.authenticatedAttributes.Count(), 1);
  delete clone;
}

}  // namespace
