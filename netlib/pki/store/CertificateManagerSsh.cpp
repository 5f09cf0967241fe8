// OpenSSH private-key files (in PEM key stores) and PuTTY key stores.
#include "core/base/Status.h"
#include "pki/store/CertificateManager.h"

namespace tornell::pki {

// The reader fills a KeyHolder for the store and sets the key-store flag.
int CertificateManager::LoadOpenSshKeyStore(const char*, int, const char*) {
  return ReturnError(kStatusNotAvailable, "OpenSSH private keys are not supported.");
}

// The key-store flag is set only for EC and EdDSA keys.
int CertificateManager::LoadPuttyKeyStore(const char*, int, const char*) {
  return ReturnError(kStatusNotAvailable, "PuTTY key stores are not supported.");
}

}  // namespace tornell::pki
