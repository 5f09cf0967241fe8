#pragma once
// The certificate records: plain values into which X.509 and PKCS#6
// structures are read and from which they are written. Object identifiers
// are dotted text; a complete element is tag, length and content.
#include <optional>

#include "core/buffer/PtrList.h"
#include "core/text/ByteString.h"
#include "core/text/StringList.h"
#include "crypto/dsa/DsaKey.h"
#include "crypto/ecc/curve/EcKey.h"
#include "crypto/rsa/RsaKey.h"

namespace tornell::pki {

struct AlgorithmIdentifier {
  ByteString oid;
  ByteString parameters;  // complete element of the parameters, empty when absent

  [[nodiscard]] int CopyFrom(const AlgorithmIdentifier& other);
  AlgorithmIdentifier* Clone() const;
};

struct CertificateExtension {
  ByteString extnId;
  int critical = 0;
  ByteString extnValue;  // the complete OCTET STRING element

  [[nodiscard]] int CopyFrom(const CertificateExtension& other);
  CertificateExtension* Clone() const;
};

struct SubjectPublicKeyInfo {
  AlgorithmIdentifier algorithm;

  [[nodiscard]] int CopyFrom(const SubjectPublicKeyInfo& other);
  // "RSA", "DSA", "IdEcPublicKey" or "Unknown" by the algorithm OID.
  const char* KeyAlgorithmName() const;

  // A certificate carries one kind of key, so only the kind written is built;
  // reading a kind never written gives an empty key.
  RsaKey& Rsa() { return rsaKey ? *rsaKey : rsaKey.emplace(); }
  DsaKey& Dsa() { return dsaKey ? *dsaKey : dsaKey.emplace(); }
  EcKey& Ec() { return ecKey ? *ecKey : ecKey.emplace(); }
  const RsaKey& Rsa() const;
  const DsaKey& Dsa() const;
  const EcKey& Ec() const;

 private:
  std::optional<RsaKey> rsaKey;
  std::optional<DsaKey> dsaKey;
  std::optional<EcKey> ecKey;
};

struct TbsCertificate {
  int version = 0;
  ByteString serialNumberEncoded;
  ByteString serialNumber;  // lower-case hex of the content, one leading 00 dropped
  AlgorithmIdentifier signature;
  ByteString issuer;
  ByteString issuerEncoded;
  ByteString notBefore;
  ByteString notAfter;
  ByteString subject;
  ByteString subjectPublicKeyInfoContent;
  SubjectPublicKeyInfo subjectPublicKeyInfo;
  StringList extensionsEncoded;
  PtrList<CertificateExtension> extensions;

  // Inserts clones of the source extensions at 0..n-1 without clearing first.
  [[nodiscard]] int CopyFrom(const TbsCertificate& other);
};

class X509Certificate {
 public:
  X509Certificate() = default;
  virtual ~X509Certificate() = default;
  X509Certificate(const X509Certificate&) = delete;
  X509Certificate& operator=(const X509Certificate&) = delete;

  // Reads `encoded` into the other fields; signatureValue keeps its unused-bits byte.
  [[nodiscard]] virtual int Decode();

  [[nodiscard]] int CopyFrom(const X509Certificate& other);
  X509Certificate* Clone() const;

  const char* GetIssuer() const { return tbs.issuer.CStr(); }
  const char* GetSubject() const { return tbs.subject.CStr(); }
  const char* GetKeyAlgorithm() const { return tbs.subjectPublicKeyInfo.KeyAlgorithmName(); }
  // Copy the key part of the public-key info whatever its type; the int is ignored.
  [[nodiscard]] int GetRsaKey(RsaKey& key, int ignored = 0) const;
  [[nodiscard]] int GetDsaKey(DsaKey& key, int ignored = 0) const;
  [[nodiscard]] int GetEcKey(EcKey& key, int ignored = 0) const;

  ByteString encoded;
  ByteString tbsEncoded;
  TbsCertificate tbs;
  AlgorithmIdentifier signatureAlgorithm;
  ByteString signatureValue;
};

struct ExtendedCertificateInfo {
  int version = 0;
  X509Certificate certificate;
  PtrList<CertificateExtension> attributes;

  // Clears the destination attributes first.
  [[nodiscard]] int CopyFrom(const ExtendedCertificateInfo& other);
};

struct ExtendedCertificate {
  ExtendedCertificateInfo info;
  AlgorithmIdentifier signatureAlgorithm;
  ByteString signature;

  [[nodiscard]] int CopyFrom(const ExtendedCertificate& other);
};

struct CertificateChoice {
  X509Certificate certificate;
  ExtendedCertificate extendedCertificate;

  [[nodiscard]] int CopyFrom(const CertificateChoice& other);
  CertificateChoice* Clone() const;
};

}  // namespace tornell::pki
