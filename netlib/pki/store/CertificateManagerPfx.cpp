// PKCS#12 stores (file and blob).
#include "core/base/Status.h"
#include "pki/store/CertificateManager.h"

namespace tornell::pki {

// The store is cleared, then the PFX loaded with the password; a PKCS#12
// load never sets the key-store flag.
int CertificateManager::LoadPfxStore(const char* data, int length, const char* password) {
  store_.Clear();
  return store_.AddPkcs12(data, length, password != nullptr ? password : "");
}

}  // namespace tornell::pki
