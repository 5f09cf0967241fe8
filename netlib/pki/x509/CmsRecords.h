#pragma once
// The CMS and PKCS#7 records: recipient and signer infos, attributes, and
// the EnvelopedData and SignedData bodies.
#include "core/buffer/PtrList.h"
#include "core/text/ByteString.h"
#include "core/text/StringList.h"
#include "pki/x509/CertificateRecords.h"

namespace tornell::pki {

// SHA-1, the default OAEP hash.
inline constexpr const char* kOidSha1 = "1.3.14.3.2.26";

struct KeyTransRecipientInfo {
  KeyTransRecipientInfo();

  int version = 0;
  ByteString serialNumber;
  ByteString issuer;
  AlgorithmIdentifier keyEncryptionAlgorithm;
  ByteString encryptedKey;
  AlgorithmIdentifier oaepHashAlgorithm;
  AlgorithmIdentifier oaepMaskGenHashAlgorithm;
  ByteString oaepLabel;

  [[nodiscard]] int CopyFrom(const KeyTransRecipientInfo& other);
  KeyTransRecipientInfo* Clone() const;
};

struct CmsAttribute {
  ByteString type;
  StringList values;

  [[nodiscard]] int CopyFrom(const CmsAttribute& other);
  CmsAttribute* Clone() const;
};

struct SignerInfo {
  int version = 0;
  ByteString issuer;
  ByteString issuerEncoded;
  ByteString serialNumber;
  ByteString serialNumberEncoded;
  ByteString subjectKeyIdentifier;
  AlgorithmIdentifier digestAlgorithm;
  PtrList<CmsAttribute> authenticatedAttributes;
  AlgorithmIdentifier signatureAlgorithm;
  ByteString signature;
  PtrList<CmsAttribute> unauthenticatedAttributes;

  // The attribute lists end equal to the source's whatever they held.
  [[nodiscard]] int CopyFrom(const SignerInfo& other);
  SignerInfo* Clone() const;
};

struct EncryptedContentInfo {
  ByteString contentType;
  ByteString contentEncryptionAlgorithm;
  ByteString contentEncryptionParameters;
  ByteString encryptedContent;

  [[nodiscard]] int CopyFrom(const EncryptedContentInfo& other);
};

struct EnvelopedData {
  int version = 0;
  PtrList<KeyTransRecipientInfo> recipientInfos;
  EncryptedContentInfo encryptedContentInfo;

  [[nodiscard]] int CopyFrom(const EnvelopedData& other);
};

struct SignedData {
  int version = 0;
  PtrList<AlgorithmIdentifier> digestAlgorithms;
  ByteString contentType;
  ByteString content;
  PtrList<CertificateChoice> certificates;
  PtrList<X509Certificate> x509Certificates;
  PtrList<SignerInfo> signerInfos;

  [[nodiscard]] int CopyFrom(const SignedData& other);
};

}  // namespace tornell::pki
