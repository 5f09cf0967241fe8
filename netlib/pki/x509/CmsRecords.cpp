#include "pki/x509/CmsRecords.h"

#include "core/base/Status.h"
#include "pki/x509/RecordCopy.h"

namespace tornell::pki {

namespace {

using detail::CloneOf;
using detail::InsertClones;

// The list ends equal to the source: clones first, then the rest cut off.
template <typename T>
int ReplaceWithClones(PtrList<T>& to, const PtrList<T>& from) {
  TORNELL_TRY(InsertClones(to, from));
  return to.Resize(from.Count());
}

}  // namespace

KeyTransRecipientInfo::KeyTransRecipientInfo() {
  (void)oaepHashAlgorithm.oid.Set(kOidSha1);
  (void)oaepMaskGenHashAlgorithm.oid.Set(kOidSha1);
}

int KeyTransRecipientInfo::CopyFrom(const KeyTransRecipientInfo& other) {
  version = other.version;
  TORNELL_TRY(serialNumber.Assign(other.serialNumber));
  TORNELL_TRY(issuer.Assign(other.issuer));
  TORNELL_TRY(keyEncryptionAlgorithm.CopyFrom(other.keyEncryptionAlgorithm));
  TORNELL_TRY(encryptedKey.Assign(other.encryptedKey));
  TORNELL_TRY(oaepHashAlgorithm.CopyFrom(other.oaepHashAlgorithm));
  TORNELL_TRY(oaepMaskGenHashAlgorithm.CopyFrom(other.oaepMaskGenHashAlgorithm));
  return oaepLabel.Assign(other.oaepLabel);
}

KeyTransRecipientInfo* KeyTransRecipientInfo::Clone() const { return CloneOf(*this); }

int CmsAttribute::CopyFrom(const CmsAttribute& other) {
  TORNELL_TRY(type.Assign(other.type));
  return values.Assign(other.values);
}

CmsAttribute* CmsAttribute::Clone() const { return CloneOf(*this); }

int SignerInfo::CopyFrom(const SignerInfo& other) {
  version = other.version;
  TORNELL_TRY(issuer.Assign(other.issuer));
  TORNELL_TRY(issuerEncoded.Assign(other.issuerEncoded));
  TORNELL_TRY(serialNumber.Assign(other.serialNumber));
  TORNELL_TRY(serialNumberEncoded.Assign(other.serialNumberEncoded));
  TORNELL_TRY(subjectKeyIdentifier.Assign(other.subjectKeyIdentifier));
  TORNELL_TRY(digestAlgorithm.CopyFrom(other.digestAlgorithm));
  TORNELL_TRY(ReplaceWithClones(authenticatedAttributes, other.authenticatedAttributes));
  TORNELL_TRY(signatureAlgorithm.CopyFrom(other.signatureAlgorithm));
  TORNELL_TRY(signature.Assign(other.signature));
  return ReplaceWithClones(unauthenticatedAttributes, other.unauthenticatedAttributes);
}

SignerInfo* SignerInfo::Clone() const { return CloneOf(*this); }

int EncryptedContentInfo::CopyFrom(const EncryptedContentInfo& other) {
  TORNELL_TRY(contentType.Assign(other.contentType));
  TORNELL_TRY(contentEncryptionAlgorithm.Assign(other.contentEncryptionAlgorithm));
  TORNELL_TRY(contentEncryptionParameters.Assign(other.contentEncryptionParameters));
  return encryptedContent.Assign(other.encryptedContent);
}

int EnvelopedData::CopyFrom(const EnvelopedData& other) {
  version = other.version;
  TORNELL_TRY(ReplaceWithClones(recipientInfos, other.recipientInfos));
  return encryptedContentInfo.CopyFrom(other.encryptedContentInfo);
}

int SignedData::CopyFrom(const SignedData& other) {
  version = other.version;
  TORNELL_TRY(ReplaceWithClones(digestAlgorithms, other.digestAlgorithms));
  TORNELL_TRY(contentType.Assign(other.contentType));
  TORNELL_TRY(content.Assign(other.content));
  TORNELL_TRY(ReplaceWithClones(certificates, other.certificates));
  TORNELL_TRY(ReplaceWithClones(x509Certificates, other.x509Certificates));
  return ReplaceWithClones(signerInfos, other.signerInfos);
}

}  // namespace tornell::pki
