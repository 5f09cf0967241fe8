#include "pki/x509/CertificateRecords.h"

#include <cstring>

#include "core/base/Status.h"
#include "pki/x509/RecordCopy.h"

namespace tornell::pki {

using detail::CloneOf;
using detail::InsertClones;

int AlgorithmIdentifier::CopyFrom(const AlgorithmIdentifier& other) {
  TORNELL_TRY(oid.Assign(other.oid));
  return parameters.Assign(other.parameters);
}

AlgorithmIdentifier* AlgorithmIdentifier::Clone() const { return CloneOf(*this); }

int CertificateExtension::CopyFrom(const CertificateExtension& other) {
  TORNELL_TRY(extnId.Assign(other.extnId));
  critical = other.critical;
  return extnValue.Assign(other.extnValue);
}

CertificateExtension* CertificateExtension::Clone() const { return CloneOf(*this); }

namespace {

template <class Key>
const Key& KeyOrEmpty(const std::optional<Key>& key) {
  static const Key empty;
  return key ? *key : empty;
}

// An absent source key leaves the destination's kind absent, which reads as empty too.
template <class Key>
int CopyKind(std::optional<Key>& to, const std::optional<Key>& from) {
  if (!from) {
    to.reset();
    return kStatusOk;
  }
  if (!to) to.emplace();
  return to->CopyFrom(*from);
}

}  // namespace

const RsaKey& SubjectPublicKeyInfo::Rsa() const { return KeyOrEmpty(rsaKey); }
const DsaKey& SubjectPublicKeyInfo::Dsa() const { return KeyOrEmpty(dsaKey); }
const EcKey& SubjectPublicKeyInfo::Ec() const { return KeyOrEmpty(ecKey); }

int SubjectPublicKeyInfo::CopyFrom(const SubjectPublicKeyInfo& other) {
  TORNELL_TRY(algorithm.CopyFrom(other.algorithm));
  TORNELL_TRY(CopyKind(rsaKey, other.rsaKey));
  TORNELL_TRY(CopyKind(dsaKey, other.dsaKey));
  return CopyKind(ecKey, other.ecKey);
}

const char* SubjectPublicKeyInfo::KeyAlgorithmName() const {
  if (algorithm.oid.Equals("1.2.840.113549.1.1.1")) return "RSA";
  if (algorithm.oid.Equals("1.2.840.10040.4.1")) return "DSA";
  if (algorithm.oid.Equals("1.2.840.10045.2.1")) return "IdEcPublicKey";
  return "Unknown";
}

int TbsCertificate::CopyFrom(const TbsCertificate& other) {
  version = other.version;
  TORNELL_TRY(serialNumberEncoded.Assign(other.serialNumberEncoded));
  TORNELL_TRY(serialNumber.Assign(other.serialNumber));
  TORNELL_TRY(signature.CopyFrom(other.signature));
  TORNELL_TRY(issuer.Assign(other.issuer));
  TORNELL_TRY(issuerEncoded.Assign(other.issuerEncoded));
  TORNELL_TRY(notBefore.Assign(other.notBefore));
  TORNELL_TRY(notAfter.Assign(other.notAfter));
  TORNELL_TRY(subject.Assign(other.subject));
  TORNELL_TRY(subjectPublicKeyInfoContent.Assign(other.subjectPublicKeyInfoContent));
  TORNELL_TRY(subjectPublicKeyInfo.CopyFrom(other.subjectPublicKeyInfo));
  TORNELL_TRY(extensionsEncoded.Assign(other.extensionsEncoded));
  return InsertClones(extensions, other.extensions);
}

int X509Certificate::CopyFrom(const X509Certificate& other) {
  TORNELL_TRY(encoded.Assign(other.encoded));
  TORNELL_TRY(tbsEncoded.Assign(other.tbsEncoded));
  TORNELL_TRY(tbs.CopyFrom(other.tbs));
  TORNELL_TRY(signatureAlgorithm.CopyFrom(other.signatureAlgorithm));
  return signatureValue.Assign(other.signatureValue);
}

X509Certificate* X509Certificate::Clone() const { return CloneOf(*this); }

int X509Certificate::GetRsaKey(RsaKey& key, int) const { return key.CopyFrom(tbs.subjectPublicKeyInfo.Rsa()); }
int X509Certificate::GetDsaKey(DsaKey& key, int) const { return key.CopyFrom(tbs.subjectPublicKeyInfo.Dsa()); }
int X509Certificate::GetEcKey(EcKey& key, int) const { return key.CopyFrom(tbs.subjectPublicKeyInfo.Ec()); }

int ExtendedCertificateInfo::CopyFrom(const ExtendedCertificateInfo& other) {
  version = other.version;
  TORNELL_TRY(certificate.CopyFrom(other.certificate));
  TORNELL_TRY(attributes.Clear());
  return InsertClones(attributes, other.attributes);
}

int ExtendedCertificate::CopyFrom(const ExtendedCertificate& other) {
  TORNELL_TRY(info.CopyFrom(other.info));
  TORNELL_TRY(signatureAlgorithm.CopyFrom(other.signatureAlgorithm));
  return signature.Assign(other.signature);
}

int CertificateChoice::CopyFrom(const CertificateChoice& other) {
  TORNELL_TRY(certificate.CopyFrom(other.certificate));
  return extendedCertificate.CopyFrom(other.extendedCertificate);
}

CertificateChoice* CertificateChoice::Clone() const { return CloneOf(*this); }

}  // namespace tornell::pki
