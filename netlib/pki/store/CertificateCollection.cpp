#include "pki/store/CertificateCollection.h"

#include <cstring>

#include "core/base/Status.h"
#include "pki/keys/KeyCodec.h"

namespace tornell::pki {

int CertificateCollection::CollectSelected(StringList&) {
  status = kStatusUntrustedRoot;
  ByteString subject, issuer;
  TORNELL_TRY(KeyCodec::NormalizeName(GetSubject(), subject));
  TORNELL_TRY(KeyCodec::NormalizeName(GetIssuer(), issuer));
  char* data = nullptr;
  int length = 0;
  TORNELL_TRY(GetEncoded(&data, &length));
  TORNELL_TRY(subjects.Add(subject.Data(), subject.Length()));
  TORNELL_TRY(issuers.Add(issuer.Data(), issuer.Length()));
  TORNELL_TRY(serials.Add(GetSerialNumber()));
  TORNELL_TRY(encoded.Add(data, length));
  if (issuer.Equals(subject) && (GetSslSecurityFlags() & kAcceptSelfSignedRoot) != 0) status = kStatusOk;
  return kStatusOk;
}

int CertificateCollection::FireCertificate(const char* bytes, int length, const char* subject, const char* issuer,
                                           const char* extra, int reportedStatus, int) {
  ByteString normalSubject, normalIssuer;
  TORNELL_TRY(KeyCodec::NormalizeName(subject, normalSubject));
  TORNELL_TRY(KeyCodec::NormalizeName(issuer, normalIssuer));
  TORNELL_TRY(encoded.Add(bytes, length));
  TORNELL_TRY(subjects.Add(normalSubject.Data(), normalSubject.Length()));
  TORNELL_TRY(issuers.Add(normalIssuer.Data(), normalIssuer.Length()));
  TORNELL_TRY(serials.Add(extra != nullptr ? extra : ""));
  status = reportedStatus;
  const bool sameNames = std::strcmp(subject != nullptr ? subject : "", issuer != nullptr ? issuer : "") == 0;
  if ((GetSslSecurityFlags() & kAcceptSelfSignedRoot) != 0 && sameNames && reportedStatus == 32) status = kStatusOk;
  return kStatusOk;
}

}  // namespace tornell::pki
