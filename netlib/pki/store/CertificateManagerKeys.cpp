// Key texts of the certificate manager: PEM and XML key values, the key
// export, and two small text helpers of the component.
#include <strings.h>

#include <cstdlib>
#include <cstring>

#include "core/base/FileStream.h"
#include "core/base/Status.h"
#include "pki/keys/KeyCodec.h"
#include "pki/store/CertificateManager.h"

namespace tornell::pki {

namespace {

int AppendKeyValue(const char* name, const ByteString& value, ByteString& out) {
  if (value.Length() == 0) return kStatusOk;
  TORNELL_TRY(out.AppendByte('<'));
  TORNELL_TRY(out.Append(name));
  TORNELL_TRY(out.AppendByte('>'));
  TORNELL_TRY(out.AppendBase64(value.Data(), value.Length(), 0, 64, 0));
  TORNELL_TRY(out.Append("</"));
  TORNELL_TRY(out.Append(name));
  return out.AppendByte('>');
}

}  // namespace

const char* CertificateManager::GetPublicKeyText() {
  return keyFormat_ == 1 ? GetPublicKeyXml() : GetPublicKeyPem();
}

const char* CertificateManager::GetPrivateKeyText() {
  return keyFormat_ == 1 ? GetPrivateKeyXml() : GetPrivateKeyPem();
}

const char* CertificateManager::GetPublicKeyPem() {
  if (store_.GetKeyOnly() == 0) return publicKeyPem_.CStr();
  if (KeyCodec::WriteStoreKey(store_, 1, publicKeyPem_, 1) != kStatusOk) {
    publicKeyPem_.Clear();
    SetErrorText("get cert public key pem failed");
  }
  return publicKeyPem_.CStr();
}

const char* CertificateManager::GetPrivateKeyPem() {
  if (store_.GetKeyOnly() == 0) return privateKeyPem_.CStr();
  if (KeyCodec::WriteStoreKey(store_, 1, privateKeyPem_, 0) != kStatusOk) {
    privateKeyPem_.Clear();
    SetErrorText("get cert private key pem failed");
  }
  return privateKeyPem_.CStr();
}

const char* CertificateManager::GetPublicKeyXml() {
  if (GetKeyValueXml(0, publicXmlKey_) != kStatusOk) publicXmlKey_.Clear();
  return publicXmlKey_.CStr();
}

const char* CertificateManager::GetPrivateKeyXml() {
  privateXmlKey_.Clear();
  return privateXmlKey_.CStr();
}

int CertificateManager::GetKeyValueXml(int isPrivate, ByteString& out) {
  TORNELL_TRY(out.Clear());
  const char* algorithm = GetKeyAlgorithm();
  if (strcasecmp(algorithm, "RSA") == 0) {
    RsaKey key;
    TORNELL_TRY(GetRsaKey(key, -isPrivate));
    return WriteRsaKeyValue(key, isPrivate, out);
  }
  if (strcasecmp(algorithm, "DSA") == 0) {
    DsaKey key;
    TORNELL_TRY(GetDsaKey(key, -isPrivate));
    return WriteDsaKeyValue(key, isPrivate, out);
  }
  return kStatusOk;
}

int CertificateManager::WriteRsaKeyValue(const RsaKey& key, int isPrivate, ByteString& out) {
  TORNELL_TRY(out.Append("<RSAKeyValue>"));
  TORNELL_TRY(AppendKeyValue("Modulus", key.n, out));
  TORNELL_TRY(AppendKeyValue("Exponent", key.e, out));
  if (isPrivate != 0) {
    TORNELL_TRY(AppendKeyValue("P", key.p, out));
    TORNELL_TRY(AppendKeyValue("Q", key.q, out));
    TORNELL_TRY(AppendKeyValue("DP", key.dP, out));
    TORNELL_TRY(AppendKeyValue("DQ", key.dQ, out));
    TORNELL_TRY(AppendKeyValue("InverseQ", key.qInv, out));
    TORNELL_TRY(AppendKeyValue("D", key.d, out));
  }
  return out.Append("</RSAKeyValue>");
}

int CertificateManager::WriteDsaKeyValue(const DsaKey& key, int isPrivate, ByteString& out) {
  TORNELL_TRY(out.Append("<DSAKeyValue>"));
  TORNELL_TRY(AppendKeyValue("P", key.p, out));
  TORNELL_TRY(AppendKeyValue("Q", key.q, out));
  TORNELL_TRY(AppendKeyValue("G", key.g, out));
  TORNELL_TRY(AppendKeyValue("Y", key.y, out));
  TORNELL_TRY(AppendKeyValue("J", key.J, out));
  if (isPrivate != 0) TORNELL_TRY(AppendKeyValue("X", key.x, out));
  return out.Append("</DSAKeyValue>");
}

int CertificateManager::ExportKey(const char* fileName, const char* password) {
  const char* keyText = GetPrivateKeyPem();
  if (keyText == nullptr || *keyText == '\0') return ReturnError(kStatusNoPrivateKey, "No private certificate found.");
  SecretBytes secret;
  TORNELL_TRY(secret.Set(password != nullptr ? password : ""));
  const SecretBytes* usePassword = secret.Length() > 0 ? &secret : nullptr;
  ByteString format;
  TORNELL_TRY(format.Set(exportFormat_.CStr()));
  TORNELL_TRY(format.TrimChar(' '));
  SecretBytes exported;
  int status = kStatusOk;
  bool known = true;
  if (format.EqualsIgnoreCase("PKCS1") || format.EqualsIgnoreCase("PEM")) {
    status = KeyCodec::ExportTraditionalPem(keyText, usePassword, exported);
    if (status != kStatusOk) ReturnError(status, "Failed to export certificate to PKCS#1 PEM.");
  } else if (format.EqualsIgnoreCase("PKCS8")) {
    status = KeyCodec::ExportPkcs8Pem(keyText, usePassword, exported);
    if (status != kStatusOk) ReturnError(status, "Failed to export certificate to PKCS#8 PEM.");
  } else if (format.EqualsIgnoreCase("JWK")) {
    status = ExportJwkKey(keyText, exported);
  } else {
    known = false;
  }
  if (fileName == nullptr || *fileName == '\0') {
    const int copied = exportedCert_.Set(exported.Data(), exported.Length());
    return status != kStatusOk ? status : copied;
  }
  if (exported.Length() > 0 &&
      FileStream::WriteAll(fileName, exported.Data(), static_cast<unsigned>(exported.Length())) != 0) {
    status = ReturnError(kStatusCertificateRefused, "Failed to write the saved certificate data into file.");
  }
  if (!known && exportFormat_.Length() > 0) {
    ByteString text;
    TORNELL_TRY(text.Set("ExportFormat \""));
    TORNELL_TRY(text.Append(format));
    TORNELL_TRY(text.Append("\" not supported."));
    SetErrorText(text.CStr());
  }
  return status;
}

int CertificateManager::FormatDateText(const char* text, int length, char* out) {
  if (text == nullptr || length != 24) return 1;
  std::memcpy(out, text + 4, 2);
  out[2] = '-';
  std::memcpy(out + 3, text, 3);
  out[6] = '-';
  std::memcpy(out + 7, text + 16, 4);
  out[11] = ' ';
  std::memcpy(out + 12, text + 7, 8);
  out[20] = '\0';
  return kStatusOk;
}

int CertificateManager::SplitNameValueText(const char* text, char** out, int* length) {
  if (text == nullptr) text = "";
  const size_t n = std::strlen(text);
  char* block = static_cast<char*>(std::malloc(n + 1));
  if (block == nullptr) return kStatusNoMemory;
  std::memcpy(block, text, n + 1);
  char expected = '=';
  for (size_t i = 0; i < n; ++i) {
    if (block[i] != '=' && block[i] != ',') continue;
    if (block[i] != expected) {
      std::free(block);
      return 1;
    }
    block[i] = '\0';
    expected = expected == '=' ? ',' : '=';
  }
  *out = block;
  *length = static_cast<int>(n) + 1;
  return kStatusOk;
}

}  // namespace tornell::pki
