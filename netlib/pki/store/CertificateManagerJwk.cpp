// JSON Web Key stores (file and blob).
#include "core/base/Status.h"
#include "pki/store/CertificateManager.h"

namespace tornell::pki {

// The reader fills a KeyHolder for the store, sets the key-store flag, and its
// attribute names and values are copied into the manager's two lists.
int CertificateManager::LoadJwkStore(const char*, int, const char*) {
  return ReturnError(kStatusNotAvailable, "JSON Web Key stores are not supported.");
}

// The key text is read into a key holder, the manager's attribute lists are
// copied into it, and the JWK writer produces the text.
int CertificateManager::ExportJwkKey(const char*, ByteString&) {
  return ReturnError(kStatusNotAvailable, "Failed to export certificate to Json Web Key.");
}

}  // namespace tornell::pki
