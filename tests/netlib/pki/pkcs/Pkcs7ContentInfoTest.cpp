// PKCS#7 ContentInfo and enveloped data against `openssl smime -encrypt` and
// `openssl cms -encrypt` output.
#include <gtest/gtest.h>

#include <string>

#include "PkcsKit.h"
#include "TestSupport.h"
#include "pki/der/DerWriter.h"
#include "pki/pkcs/Pkcs7ContentInfo.h"
#include "pki/x509/X509Codec.h"

using namespace tornell;
using namespace tornell::pki;

namespace {

std::string Text(const ByteString& b) { return std::string(b.Data(), static_cast<size_t>(b.Length())); }

// The Base64 body of a PEM file, its lines kept.
std::string PemBody(const std::string& pem) {
  const size_t begin = pem.find('\n', pem.find("-----BEGIN")) + 1;
  return pem.substr(begin, pem.find("-----END") - begin);
}

int DecodeFile(Pkcs7ContentInfo& info, const std::string& file) {
  const std::string body = PemBody(pkcskit::Bytes(file));
  EXPECT_EQ(info.encodedText.Set(body.data(), static_cast<int>(body.size())), 0);
  return info.Decode();
}

int LeafKey(RsaKey& key) {
  const std::string der = pkikit::Bytes("rsa.p8");
  KeyInfo info;
  const int status = X509Codec::ParsePrivateKeyInfo(der.data(), static_cast<int>(der.size()), info);
  return status != 0 ? status : key.CopyFrom(info.rsaKey);
}

std::string Serial(const ByteString& hex) { return testsupport::Unhex(Text(hex)); }

TEST(Pkcs7ContentInfo, EnvelopedForTwoRecipients) {
  REQUIRE_OR_SKIP(!pkcskit::Ensure().empty(), pkcskit::kMissing);
  X509Certificate leaf, intermediate;
  ASSERT_EQ(X509Codec::ParseCertificate(pkikit::Bytes("rsa-leaf.der").data(),
                                        static_cast<int>(pkikit::Bytes("rsa-leaf.der").size()), leaf),
            0);
  const std::string intDer = pkikit::Bytes("rsa-int.der");
  ASSERT_EQ(X509Codec::ParseCertificate(intDer.data(), static_cast<int>(intDer.size()), intermediate), 0);
  for (const char* file : {"smime-des3.pem", "cms-des3.pem"}) {
    SCOPED_TRACE(file);
    Pkcs7ContentInfo info;
    ASSERT_EQ(DecodeFile(info, file), 0);
    EXPECT_EQ(Text(info.contentType), "1.2.840.113549.1.7.3");
    ASSERT_NE(info.envelopedData, nullptr);
    EXPECT_EQ(info.signedData, nullptr);
    EnvelopedData& data = *info.envelopedData;
    ASSERT_EQ(data.recipientInfos.Count(), 2);
    // Each recipient has its own issuer and serial.
    const X509Certificate* certs[] = {&leaf, &intermediate};
    for (int i = 0; i < 2; ++i) {
      const KeyTransRecipientInfo& r = *data.recipientInfos.Get(i);
      EXPECT_EQ(Text(r.issuer), Text(certs[i]->tbs.issuer)) << i;
      EXPECT_EQ(Text(r.serialNumber), Serial(certs[i]->tbs.serialNumber)) << i;
      EXPECT_EQ(Text(r.keyEncryptionAlgorithm.oid), "1.2.840.113549.1.1.1");
      EXPECT_EQ(r.encryptedKey.Length(), 256);
    }
    EXPECT_EQ(Text(data.encryptedContentInfo.contentEncryptionAlgorithm), "1.2.840.113549.3.7");
    EXPECT_EQ(data.encryptedContentInfo.contentEncryptionParameters.Length(), 8);

    RsaKey key;
    ASSERT_EQ(LeafKey(key), 0);
    ByteString plain;
    ASSERT_EQ(Pkcs7ContentInfo::DecryptEnvelopedData(key, info, plain), 0);
    EXPECT_EQ(Text(plain), pkcskit::Bytes("content.txt"));
  }
}

TEST(Pkcs7ContentInfo, RefusedContent) {
  REQUIRE_OR_SKIP(!pkcskit::Ensure().empty(), pkcskit::kMissing);
  RsaKey key;
  ASSERT_EQ(LeafKey(key), 0);
  // AES content: refused, the output untouched.
  Pkcs7ContentInfo aes;
  ASSERT_EQ(DecodeFile(aes, "cms-aes256.pem"), 0);
  ByteString out;
  ASSERT_EQ(out.Set("kept"), 0);
  EXPECT_EQ(Pkcs7ContentInfo::DecryptEnvelopedData(key, aes, out), 271);
  EXPECT_EQ(Text(out), "kept");

  // OAEP with SHA-256: both hash fields filled; the v1.5 decryption fails.
  Pkcs7ContentInfo oaep;
  ASSERT_EQ(DecodeFile(oaep, "cms-oaep.pem"), 0);
  ASSERT_EQ(oaep.envelopedData->recipientInfos.Count(), 1);
  const KeyTransRecipientInfo& r = *oaep.envelopedData->recipientInfos.Get(0);
  EXPECT_EQ(Text(r.keyEncryptionAlgorithm.oid), "1.2.840.113549.1.1.7");
  EXPECT_EQ(Text(r.oaepHashAlgorithm.oid), "2.16.840.1.101.3.4.2.1");
  EXPECT_EQ(Text(r.oaepMaskGenHashAlgorithm.oid), "2.16.840.1.101.3.4.2.1");
  EXPECT_TRUE(r.oaepLabel.IsEmpty());
  EXPECT_NE(Pkcs7ContentInfo::DecryptEnvelopedData(key, oaep, out), 0);
  EXPECT_EQ(Text(out), "kept");

  // Indefinite lengths fail cleanly.
  Pkcs7ContentInfo stream;
  EXPECT_NE(DecodeFile(stream, "cms-stream.pem"), 0);
  EXPECT_EQ(stream.envelopedData, nullptr);
  EXPECT_NE(Pkcs7ContentInfo::DecryptEnvelopedData(key, stream, out), 0);

  // Signed data is no enveloped data.
  Pkcs7ContentInfo signedInfo;
  const std::string der = pkcskit::Bytes("signed.der");
  ASSERT_EQ(signedInfo.encodedText.AppendBase64(der.data(), static_cast<int>(der.size()), 1, 64, 0), 0);
  ASSERT_EQ(signedInfo.Decode(), 0);
  ASSERT_NE(signedInfo.signedData, nullptr);
  EXPECT_EQ(signedInfo.signedData->certificates.Count(), 3);
  EXPECT_EQ(Pkcs7ContentInfo::DecryptEnvelopedData(key, signedInfo, out), 447);
  EXPECT_EQ(Text(out), "kept");
}

ByteString ContentInfoText(const char* oid) {
  DerWriter w;
  ByteString text;
  if (w.OpenSequence() != 0 || w.AppendOid(oid) != 0 || w.Open(0xA0) != 0 || w.AppendPrimitive("x", 1, 0x04) != 0 ||
      w.Close() != 0 || w.CloseSequence() != 0) {
    return text;
  }
  (void)text.AppendBase64(w.output.Data(), w.output.Length(), 0, 64, 0);
  return text;
}

TEST(Pkcs7ContentInfo, DataAndUnknownTypes) {
  Pkcs7ContentInfo data;
  ASSERT_EQ(data.encodedText.Assign(ContentInfoText("1.2.840.113549.1.7.1")), 0);
  ASSERT_EQ(data.Decode(), 0);
  EXPECT_NE(data.dataContent, nullptr);
  EXPECT_EQ(data.envelopedData, nullptr);
  EXPECT_EQ(data.signedData, nullptr);
  EXPECT_EQ(data.encryptedDataContent, nullptr);
  EXPECT_EQ(Text(data.content), std::string("\x04\x01x", 3));

  Pkcs7ContentInfo unknown;
  ASSERT_EQ(unknown.encodedText.Assign(ContentInfoText("1.2.3.4")), 0);
  ASSERT_EQ(unknown.Decode(), 0);
  EXPECT_EQ(Text(unknown.contentType), "1.2.3.4");
  EXPECT_FALSE(unknown.content.IsEmpty());
  EXPECT_EQ(unknown.dataContent, nullptr);
  EXPECT_EQ(unknown.envelopedData, nullptr);
  EXPECT_EQ(unknown.signedData, nullptr);

  Pkcs7ContentInfo one;
  ASSERT_EQ(one.encodedText.Set("MAMGAQA="), 0);  // SEQUENCE { OID } only
  EXPECT_EQ(one.Decode(), 447);
}

// A recipient without OAEP parameters keeps the SHA-1 defaults, and a later
// recipient inherits nothing from an earlier one.
TEST(Pkcs7ContentInfo, RecipientDefaults) {
  auto recipient = [](DerWriter& w, int version, const char* algorithm, bool oaepParameters) {
    ASSERT_EQ(w.OpenSequence(), 0);
    ASSERT_EQ(w.AppendInteger(version), 0);
    if (version == 0) {
      ASSERT_EQ(w.OpenSequence(), 0);
      ASSERT_EQ(X509Codec::EncodeDistinguishedName("CN=r", w), 0);
      ASSERT_EQ(w.AppendInteger(5), 0);
      ASSERT_EQ(w.CloseSequence(), 0);
    } else {
      ASSERT_EQ(w.AppendPrimitive("\xff\x01\x02", 3, 0x80), 0);
    }
    ASSERT_EQ(w.OpenSequence(), 0);
    ASSERT_EQ(w.AppendOid(algorithm), 0);
    if (oaepParameters) {
      ASSERT_EQ(w.OpenSequence(), 0);
      ASSERT_EQ(w.Open(0xA0), 0);
      ASSERT_EQ(w.OpenSequence(), 0);
      ASSERT_EQ(w.AppendOid("2.16.840.1.101.3.4.2.1"), 0);
      ASSERT_EQ(w.CloseSequence(), 0);
      ASSERT_EQ(w.Close(), 0);
      ASSERT_EQ(w.CloseSequence(), 0);
    }
    ASSERT_EQ(w.CloseSequence(), 0);
    ASSERT_EQ(w.AppendPrimitive("key", 3, 0x04), 0);
    ASSERT_EQ(w.CloseSequence(), 0);
  };
  DerWriter w;
  ASSERT_EQ(w.OpenSequence(), 0);
  ASSERT_EQ(w.AppendInteger(0), 0);
  ASSERT_EQ(w.OpenSet(), 0);
  recipient(w, 0, "1.2.840.113549.1.1.7", true);
  recipient(w, 2, "1.2.840.113549.1.1.7", false);
  ASSERT_EQ(w.CloseSet(), 0);
  ASSERT_EQ(w.OpenSequence(), 0);
  ASSERT_EQ(w.AppendOid("1.2.840.113549.1.7.1"), 0);
  ASSERT_EQ(w.OpenSequence(), 0);
  ASSERT_EQ(w.AppendOid("1.2.840.113549.3.7"), 0);
  ASSERT_EQ(w.AppendPrimitive("12345678", 8, 0x04), 0);
  ASSERT_EQ(w.CloseSequence(), 0);
  ASSERT_EQ(w.AppendPrimitive("secret!!", 8, 0x80), 0);
  ASSERT_EQ(w.CloseSequence(), 0);
  ASSERT_EQ(w.CloseSequence(), 0);
  EnvelopedData data;
  ASSERT_EQ(Pkcs7ContentInfo::DecodeEnvelopedData(w.output, data), 0);
  ASSERT_EQ(data.recipientInfos.Count(), 2);
  const KeyTransRecipientInfo& first = *data.recipientInfos.Get(0);
  const KeyTransRecipientInfo& second = *data.recipientInfos.Get(1);
  EXPECT_EQ(Text(first.issuer), "CN=r");
  EXPECT_EQ(Text(first.serialNumber), "\x05");
  EXPECT_EQ(Text(first.oaepHashAlgorithm.oid), "2.16.840.1.101.3.4.2.1");
  EXPECT_EQ(Text(first.oaepMaskGenHashAlgorithm.oid), kOidSha1);
  EXPECT_TRUE(second.issuer.IsEmpty());
  EXPECT_TRUE(second.serialNumber.IsEmpty());
  EXPECT_EQ(Text(second.oaepHashAlgorithm.oid), kOidSha1);
  EXPECT_EQ(Text(second.oaepMaskGenHashAlgorithm.oid), kOidSha1);
  EXPECT_EQ(Text(data.encryptedContentInfo.encryptedContent), "secret!!");
  EXPECT_EQ(Text(data.encryptedContentInfo.contentEncryptionParameters), "12345678");
}

}  // namespace
