#include "pki/store/CertStoreEntry.h"

#include <cstring>
#include <new>

#include "core/base/Status.h"

namespace tornell::pki {

int CertStoreEntry::Clear() {
  delete certificate;
  certificate = nullptr;
  delete keyHolder;
  keyHolder = nullptr;
  return kStatusOk;
}

int CertStoreEntry::LoadCertificate(const void* der, int length) {
  Clear();
  certificate = new (std::nothrow) X509Certificate();
  if (certificate == nullptr) return kStatusNoMemory;
  if (length < 0 || (der == nullptr && length > 0)) return kStatusIndexRange;
  TORNELL_TRY(certificate->encoded.Set(der, length));
  return certificate->Decode();
}

int CertStoreEntry::SetKeyHolder(const KeyHolder& holder) {
  Clear();
  keyHolder = new (std::nothrow) KeyHolder();
  if (keyHolder == nullptr) return kStatusNoMemory;
  return keyHolder->CopyFrom(holder);
}

const char* CertStoreEntry::GetIssuer() const { return certificate != nullptr ? certificate->GetIssuer() : nullptr; }

const char* CertStoreEntry::GetSubject() const { return certificate != nullptr ? certificate->GetSubject() : nullptr; }

const char* CertStoreEntry::GetKeyAlgorithm() const {
  if (certificate != nullptr) return certificate->GetKeyAlgorithm();
  if (keyHolder != nullptr) return keyHolder->GetKeyAlgorithm();
  return "";
}

KeyHolder* CertStoreEntry::GetKeyHolder() {
  if (keyHolder != nullptr) return keyHolder;
  keyHolder = new (std::nothrow) KeyHolder();
  if (keyHolder == nullptr || certificate == nullptr) return keyHolder;
  const char* algorithm = certificate->GetKeyAlgorithm();
  int status = kStatusOk;
  if (std::strcmp(algorithm, "RSA") == 0) {
    keyHolder->type = kKeyTypeRsa;
    status = certificate->GetRsaKey(keyHolder->rsaKey);
  } else if (std::strcmp(algorithm, "DSA") == 0) {
    keyHolder->type = kKeyTypeDsa;
    status = certificate->GetDsaKey(keyHolder->dsaKey);
  } else if (std::strcmp(algorithm, "IdEcPublicKey") == 0) {
    keyHolder->type = kKeyTypeEc;
    status = certificate->GetEcKey(keyHolder->ecKey);
  }
  if (status != kStatusOk) keyHolder->type = kKeyTypeNone;
  return keyHolder;
}

int CertStoreEntry::CopyFrom(const CertStoreEntry& other) {
  if (&other == this) return kStatusOk;
  Clear();
  if (other.certificate != nullptr) {
    certificate = new (std::nothrow) X509Certificate();
    if (certificate == nullptr) return kStatusNoMemory;
    TORNELL_TRY(certificate->CopyFrom(*other.certificate));
  }
  if (other.keyHolder != nullptr) {
    keyHolder = new (std::nothrow) KeyHolder();
    if (keyHolder == nullptr) return kStatusNoMemory;
    TORNELL_TRY(keyHolder->CopyFrom(*other.keyHolder));
  }
  return kStatusOk;
}

CertStoreEntry* CertStoreEntry::Clone() const {
  auto* copy = new (std::nothrow) CertStoreEntry();
  if (copy != nullptr && copy->CopyFrom(*this) != kStatusOk) {
    delete copy;
    return nullptr;
  }
  return copy;
}

}  // namespace tornell::pki
