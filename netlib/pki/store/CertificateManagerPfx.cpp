// PKCS#12 stores (file and blob).
#include "core/base/Status.h"
#include "pki/store/CertificateManager.h"

namespace tornell::pki {

// The store is cleared, then the PFX loaded with the password; a PKCS#12
// load never sets the key-store flag.
int CertificateManager::LoadPfxStore(const char*, int, const char*) {
  return ReturnError(kStatusNotAvailable, "PKCS#12 stores are not supported.");
}

}  // namespace tornell::pki
