// JSON Web Key stores (file and blob) and the JWK export.
#include "core/base/Status.h"
#include "pki/keys/KeyCodec.h"
#include "pki/store/CertificateManager.h"

namespace tornell::pki {

namespace {

int AppendAll(const StringList& from, StringList& to) {
  for (int i = 0; i < from.Count(); ++i) TORNELL_TRY(to.Add(from.Get(i)));
  return kStatusOk;
}

}  // namespace

// The reader fills a KeyHolder for the store, sets the key-store flag, and its
// attribute names and values are copied into the manager's two lists.
int CertificateManager::LoadJwkStore(const char* data, int length, const char*) {
  ByteString json;
  TORNELL_TRY(json.Set(data, length));
  KeyHolder holder;
  TORNELL_TRY(KeyCodec::ReadJwk(holder, json));
  TORNELL_TRY(store_.AddKeyHolder(holder));
  TORNELL_TRY(store_.SetKeyOnly(1));
  attributeNames_.Clear();
  attributeValues_.Clear();
  TORNELL_TRY(AppendAll(holder.attributeNames, attributeNames_));
  return AppendAll(holder.attributeValues, attributeValues_);
}

// The key text is read into a key holder, the manager's attribute lists are
// copied into it, and the JWK writer produces the text.
int CertificateManager::ExportJwkKey(const char* keyText, ByteString& out) {
  ByteString text;
  TORNELL_TRY(text.Set(keyText));
  KeyHolder holder;
  const int status = KeyCodec::ReadKeyText(holder, text);
  if (status != kStatusOk) return ReturnError(status, "Failed to export certificate to Json Web Key.");
  TORNELL_TRY(AppendAll(attributeNames_, holder.attributeNames));
  TORNELL_TRY(AppendAll(attributeValues_, holder.attributeValues));
  return KeyCodec::WriteJwk(holder, 1, out);
}

}  // namespace tornell::pki
