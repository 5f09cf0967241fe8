// Loading a key or certificate store by the socket core's store type.
#include <cstring>

#include "core/base/FileStream.h"
#include "core/base/Status.h"
#include "pki/keys/KeyCodec.h"
#include "pki/store/CertificateManager.h"

namespace tornell::pki {

namespace {

const char kCannotOpenStore[] = "Cannot open store file.";

bool IsFileStoreType(int type) {
  return type == kStorePfxFile || type == kStorePemKeyFile || type == kStorePuttyKeyFile || type == kStoreJwkFile;
}

}  // namespace

int CertificateManager::LoadStore() {
  const int type = GetSslCertStoreType();
  char* storeBytes = nullptr;
  int storeLength = 0;
  TORNELL_TRY(GetSslCertStore(&storeBytes, &storeLength));
  const char* password = GetSslCertStorePassword();
  // A file type names the file in the store bytes.
  SecretBytes fileBytes;
  const char* data = storeBytes;
  int length = storeLength;
  if (IsFileStoreType(type)) {
    ByteString name;
    TORNELL_TRY(name.Set(storeBytes, storeLength));
    if (name.Length() == 0 || FileStream::ReadAll(name.CStr(), fileBytes) != 0) {
      return ReturnError(kStatusCertificateRefused, kCannotOpenStore);
    }
    data = fileBytes.CStr();
    length = fileBytes.Length();
  }
  switch (type) {
    case kStorePfxFile:
    case kStorePfxBlob:
      return LoadPfxStore(data, length, password);
    case kStorePemKeyFile:
    case kStorePemKeyBlob:
      return LoadPemKeyStore(data, length, password);
    case kStorePuttyKeyFile:
    case kStorePuttyKeyBlob:
      return LoadPuttyKeyStore(data, length, password);
    case kStoreJwkFile:
    case kStoreJwkBlob:
      return LoadJwkStore(data, length, password);
    default:
      return kStatusStoreTypeUnknown;
  }
}

int CertificateManager::LoadPemKeyStore(const char* data, int length, const char* password) {
  SecretBytes text;
  TORNELL_TRY(text.Set(data, length));
  if (text.Contains("OPENSSH PRIVATE KEY")) return LoadOpenSshKeyStore(data, length, password);
  if (!text.Contains(" PRIVATE KEY")) return kStatusOk;
  SecretBytes secret;
  TORNELL_TRY(secret.Set(password != nullptr ? password : ""));
  TextArmor blob;
  KeyHolder holder;
  ByteString errorText;
  const int status = KeyCodec::ReadPrivateKeyFile(text.CStr(), text.Length(), secret, blob, holder, errorText);
  if (status != kStatusOk) return ReturnError(status, errorText.CStr());
  TORNELL_TRY(store_.AddKeyHolder(holder));
  store_.SetKeyOnly(1);
  // A certificate in the same text is the one the key signs for.
  if (!text.Contains("-----BEGIN CERTIFICATE-----")) return kStatusOk;
  TORNELL_TRY(AdoptCertificate(text.CStr(), text.Length(), holder));
  if (store_.GetKeyType() != kKeyTypeNone && store_.GetKeyHolder()->type != kKeyTypeNone) return kStatusOk;
  // Another key's certificate: the key stays alone.
  ClearCertificate();
  store_.Clear();
  TORNELL_TRY(store_.AddKeyHolder(holder));
  return store_.SetKeyOnly(1);
}

}  // namespace tornell::pki
