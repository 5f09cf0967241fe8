#include "pki/store/CertificateStore.h"

#include <strings.h>

#include <cstring>

#include "core/base/Status.h"

namespace tornell::pki {

namespace {

// A new empty entry at the end of the list, loaded there by `load`; a failed
// load takes it out again. Loading in place spares the copy Append makes.
template <typename Load>
int AddInPlace(PtrList<CertStoreEntry>& entries, Load load) {
  const int at = entries.Count();
  TORNELL_TRY(entries.Resize(at + 1));
  CertStoreEntry* entry = entries.GetOrCreate(at);
  const int status = entry != nullptr ? load(*entry) : kStatusNoMemory;
  if (status != kStatusOk) static_cast<void>(entries.RemoveAt(at));
  return status;
}

}  // namespace

int CertificateStore::AddCertificate(const void* der, int length) {
  return AddInPlace(entries, [&](CertStoreEntry& entry) { return entry.LoadCertificate(der, length); });
}

int CertificateStore::AddCertificate(std::unique_ptr<X509Certificate> decoded) {
  return AddInPlace(entries, [&](CertStoreEntry& entry) {
    entry.certificate = decoded.release();
    return kStatusOk;
  });
}

int CertificateStore::AddPkcs12(const void* der, int length, const char* password) {
  CertStoreEntry entry;
  TORNELL_TRY(entry.LoadPkcs12(der, length, password));
  return entries.Append(entry);
}

int CertificateStore::AddKeyHolder(const KeyHolder& holder) {
  CertStoreEntry entry;
  TORNELL_TRY(entry.SetKeyHolder(holder));
  return entries.Append(entry);
}

int CertificateStore::Clear() {
  selectedIndex = -1;
  keyOnly = 0;
  entries.Clear();
  return kStatusOk;
}

CertStoreEntry* CertificateStore::Current() {
  if (selectedIndex >= 0 && selectedIndex < entries.Count()) return entries.Get(selectedIndex);
  return entries.Count() > 0 ? entries.Get(0) : nullptr;
}

int CertificateStore::SelectSubject(const char* text) {
  TORNELL_TRY(subject.Set(text != nullptr ? text : ""));
  if (entries.Count() == 0 || text == nullptr || std::strcmp(text, "*") != 0) return kStatusOk;
  selectedIndex = 0;
  CertStoreEntry* first = entries.Get(0);
  const char* name = first != nullptr ? first->GetSubject() : nullptr;
  if (name != nullptr && *name != '\0') TORNELL_TRY(subject.Set(name));
  return kStatusOk;
}

const char* CertificateStore::GetKeyAlgorithm() {
  CertStoreEntry* entry = Current();
  return entry != nullptr ? entry->GetKeyAlgorithm() : "";
}

int CertificateStore::GetKeyType() {
  const char* name = GetKeyAlgorithm();
  if (strcasecmp(name, "RSA") == 0) return kKeyTypeRsa;
  if (strcasecmp(name, "DSA") == 0) return kKeyTypeDsa;
  if (strcasecmp(name, "IdEcPublicKey") == 0) return kKeyTypeEc;
  if (strcasecmp(name, "EdDSA") == 0) return kKeyTypeEdDsa;
  return kKeyTypeNone;
}

KeyHolder* CertificateStore::GetKeyHolder() {
  CertStoreEntry* entry = Current();
  KeyHolder* holder = entry != nullptr ? entry->GetKeyHolder() : nullptr;
  return holder != nullptr ? holder : &emptyKeyHolder;
}

int CertificateStore::GetRsaKey(RsaKey& key, int) { return GetKeyHolder()->GetRsaKey(key); }
int CertificateStore::GetDsaKey(DsaKey& key, int) { return GetKeyHolder()->GetDsaKey(key); }
int CertificateStore::GetEcKey(EcKey& key, int) { return GetKeyHolder()->GetEcKey(key); }

}  // namespace tornell::pki
