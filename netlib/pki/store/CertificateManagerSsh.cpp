// OpenSSH private-key files (in PEM key stores) and PuTTY key stores.
#include "core/base/Status.h"
#include "core/text/SecretBytes.h"
#include "pki/keys/KeyCodec.h"
#include "pki/store/CertificateManager.h"

namespace tornell::pki {

namespace {

int PasswordOf(const char* password, SecretBytes& out) { return out.Set(password != nullptr ? password : ""); }

}  // namespace

// The reader fills a KeyHolder for the store and sets the key-store flag.
int CertificateManager::LoadOpenSshKeyStore(const char* data, int length, const char* password) {
  SecretBytes secret;
  TORNELL_TRY(PasswordOf(password, secret));
  KeyHolder holder;
  TORNELL_TRY(KeyCodec::ReadOpenSshKey(data, length, secret, holder));
  TORNELL_TRY(store_.AddKeyHolder(holder));
  return store_.SetKeyOnly(1);
}

// The key-store flag is set only for EC and EdDSA keys.
int CertificateManager::LoadPuttyKeyStore(const char* data, int length, const char* password) {
  SecretBytes secret;
  TORNELL_TRY(PasswordOf(password, secret));
  KeyHolder holder;
  TORNELL_TRY(KeyCodec::ReadPuttyKey(data, length, secret, holder));
  TORNELL_TRY(store_.AddKeyHolder(holder));
  if (holder.type == kKeyTypeEc || holder.type == kKeyTypeEdDsa) return store_.SetKeyOnly(1);
  return kStatusOk;
}

}  // namespace tornell::pki
