#pragma once
// The certificates and keys a certificate manager has loaded, in load order,
// with the current selection and the subject filter text.
#include <memory>

#include "core/buffer/PtrList.h"
#include "core/text/ByteString.h"
#include "pki/store/CertStoreEntry.h"
#include "pki/store/KeyHolder.h"

namespace tornell::pki {

class CertificateStore {
 public:
  CertificateStore() = default;
  CertificateStore(const CertificateStore&) = delete;
  CertificateStore& operator=(const CertificateStore&) = delete;

  int keyOnly = 0;
  int selectedIndex = -1;
  PtrList<CertStoreEntry> entries;
  ByteString subject;
  KeyHolder emptyKeyHolder;

  // A failed load adds nothing.
  [[nodiscard]] int AddCertificate(const void* der, int length);
  // A certificate X509Certificate::Decode has read already, taken over: a
  // failed add frees it.
  [[nodiscard]] int AddCertificate(std::unique_ptr<X509Certificate> decoded);
  [[nodiscard]] int AddPkcs12(const void* der, int length, const char* password);
  [[nodiscard]] int AddKeyHolder(const KeyHolder& holder);
  // Keeps the subject text.
  int Clear();
  // The selected entry, else the first, else null.
  CertStoreEntry* Current();
  // Only "*" selects (the first entry); any text is kept as the subject.
  [[nodiscard]] int SelectSubject(const char* text);
  const char* GetSubject() const { return subject.CStr(); }
  int SetKeyOnly(int value) {
    keyOnly = value;
    return 0;
  }
  int GetKeyOnly() const { return keyOnly; }
  const char* GetKeyAlgorithm();
  int GetKeyType();
  KeyHolder* GetKeyHolder();
  [[nodiscard]] int GetRsaKey(RsaKey& key, int = 0);
  [[nodiscard]] int GetDsaKey(DsaKey& key, int = 0);
  [[nodiscard]] int GetEcKey(EcKey& key, int = 0);
};

}  // namespace tornell::pki
