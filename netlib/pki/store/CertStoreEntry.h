#pragma once
// One loaded item of a certificate store: a certificate or a bare key. A
// certificate entry builds its key holder from the certificate on first use.
#include "pki/store/KeyHolder.h"
#include "pki/x509/CertificateRecords.h"

namespace tornell::pki {

class CertStoreEntry {
 public:
  CertStoreEntry() = default;
  virtual ~CertStoreEntry() { Clear(); }
  CertStoreEntry(const CertStoreEntry&) = delete;
  CertStoreEntry& operator=(const CertStoreEntry&) = delete;

  X509Certificate* certificate = nullptr;
  KeyHolder* keyHolder = nullptr;

  int Clear();
  // On a decoding failure the certificate stays in the entry.
  [[nodiscard]] int LoadCertificate(const void* der, int length);
  [[nodiscard]] int SetKeyHolder(const KeyHolder& holder);
  // Null when the entry holds no certificate.
  const char* GetIssuer() const;
  const char* GetSubject() const;
  const char* GetKeyAlgorithm() const;
  // Null only when memory runs out.
  KeyHolder* GetKeyHolder();
  [[nodiscard]] int CopyFrom(const CertStoreEntry& other);
  CertStoreEntry* Clone() const;
};

}  // namespace tornell::pki
