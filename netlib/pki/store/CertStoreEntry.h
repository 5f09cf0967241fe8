#pragma once
// One loaded item of a certificate store: a certificate, a PKCS#12 file or a
// bare key. A certificate or PKCS#12 entry builds its key holder on first use.
#include "pki/pkcs/Pkcs12Reader.h"
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
  Pkcs12Reader* pkcs12 = nullptr;
  KeyHolder* keyHolder = nullptr;

  int Clear();
  // On a decoding failure the certificate stays in the entry.
  [[nodiscard]] int LoadCertificate(const void* der, int length);
  // The reader stays in the entry whatever Parse returns.
  [[nodiscard]] int LoadPkcs12(const void* der, int length, const char* password);
  [[nodiscard]] int SetKeyHolder(const KeyHolder& holder);
  // Null when the entry holds no certificate (a PKCS#12 entry included).
  const char* GetIssuer() const;
  const char* GetSubject() const;
  const char* GetKeyAlgorithm() const;
  // Null only when memory runs out.
  KeyHolder* GetKeyHolder();
  [[nodiscard]] int CopyFrom(const CertStoreEntry& other);
  CertStoreEntry* Clone() const;
};

}  // namespace tornell::pki
