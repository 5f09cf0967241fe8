#include "pki/store/CertStoreEntry.h"

#include <cstring>
#include <new>

#include "core/base/Status.h"

namespace tornell::pki {

namespace {

// The reader's first key, typed by its algorithm; type 0 when it has none
// or a copy fails.
KeyHolder* FillFromPkcs12(const Pkcs12Reader& reader, KeyHolder& holder) {
  const char* algorithm = reader.GetKeyAlgorithm();
  int status = kStatusOk;
  if (std::strcmp(algorithm, "RSA") == 0) {
    holder.type = kKeyTypeRsa;
    status = reader.GetRsaKey(holder.rsaKey);
  } else if (std::strcmp(algorithm, "DSA") == 0) {
    holder.type = kKeyTypeDsa;
    status = reader.GetDsaKey(holder.dsaKey);
  } else if (std::strcmp(algorithm, "IdEcPublicKey") == 0) {
    holder.type = kKeyTypeEc;
    status = reader.GetEcKey(holder.ecKey);
  } else if (std::strcmp(algorithm, "EdDSA") == 0) {
    holder.type = kKeyTypeEdDsa;
    status = reader.GetEcKey(holder.edDsaKey);
  }
  if (status != kStatusOk) holder.type = kKeyTypeNone;
  return &holder;
}

}  // namespace

int CertStoreEntry::Clear() {
  delete certificate;
  certificate = nullptr;
  delete pkcs12;
  pkcs12 = nullptr;
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

int CertStoreEntry::LoadPkcs12(const void* der, int length, const char* password) {
  Clear();
  pkcs12 = new (std::nothrow) Pkcs12Reader();
  if (pkcs12 == nullptr) return kStatusNoMemory;
  TORNELL_TRY(pkcs12->SetData(der, length));
  TORNELL_TRY(pkcs12->SetPassword(password));
  return pkcs12->Parse();
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
  if (pkcs12 != nullptr) return pkcs12->GetKeyAlgorithm();
  if (keyHolder != nullptr) return keyHolder->GetKeyAlgorithm();
  return "";
}

KeyHolder* CertStoreEntry::GetKeyHolder() {
  if (keyHolder != nullptr) return keyHolder;
  keyHolder = new (std::nothrow) KeyHolder();
  if (keyHolder == nullptr) return keyHolder;
  if (pkcs12 != nullptr) return FillFromPkcs12(*pkcs12, *keyHolder);
  if (certificate == nullptr) return keyHolder;
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
  if (other.pkcs12 != nullptr) {
    pkcs12 = new (std::nothrow) Pkcs12Reader();
    if (pkcs12 == nullptr) return kStatusNoMemory;
    TORNELL_TRY(pkcs12->CopyFrom(*other.pkcs12));
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
