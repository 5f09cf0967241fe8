#include "pki/store/CertificateManager.h"

#include <cstdlib>
#include <cstring>
#include <utility>

#include "core/base/Status.h"
#include "pki/keys/KeyCodec.h"
#include "pki/keys/KeyFileFormats.h"
#include "pki/keys/TextArmor.h"

namespace tornell::pki {

namespace {

const char kPemBegin[] = "-----BEGIN CERTIFICATE-----\n";
const char kPemEnd[] = "\n-----END CERTIFICATE-----";

void FreeText(char*& text) {
  std::free(text);
  text = nullptr;
}

// A heap copy of a C text; null stays null. kStatusNoMemory when it cannot be had.
int DuplicateText(const char* text, char*& out) {
  FreeText(out);
  if (text == nullptr) return kStatusOk;
  const size_t n = std::strlen(text);
  out = static_cast<char*>(std::malloc(n + 1));
  if (out == nullptr) return kStatusNoMemory;
  std::memcpy(out, text, n + 1);
  return kStatusOk;
}

bool HasEightBitBytes(const char* text, int length) {
  for (int i = 0; i < length; ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0x80) != 0) return true;
  }
  return false;
}

}  // namespace

CertificateManager::CertificateManager() {
  ClearCertificate();
  static_cast<void>(exportFormat_.Set("PEM"));
}

CertificateManager::~CertificateManager() {
  ClearCertificate();
  storeBytes_ = nullptr;  // heldStore_'s
  storeLength_ = 0;
}

int CertificateManager::Reset() { return SocketCore::Reset(); }

// The platform's named stores are not available here, but the file and blob
// stores this manager reads itself are kept for LoadStore.
int CertificateManager::SetStore(const char* bytes, int length) {
  if (!IsReadableStoreType(GetSslCertStoreType())) return SetSslCertStore(bytes, length);
  TORNELL_TRY(heldStore_.Set(bytes, bytes != nullptr && length > 0 ? length : 0));
  storeBytes_ = heldStore_.Data();
  storeLength_ = heldStore_.Length();
  return kStatusOk;
}

int CertificateManager::SetStoreType(int type) { return SetSslCertStoreType(type); }

int CertificateManager::SetStorePassword(const char* text) { return SetSslCertStorePassword(text); }

int CertificateManager::SelectCertificate(const char* subject) {
  if (subject == nullptr || *subject == '\0') return kStatusOk;
  const int loaded = LoadStore();
  if (loaded == kStatusOk && store_.GetKeyOnly() != 0) return store_.SelectSubject(subject);
  if (loaded == kStatusOk && store_.Current() != nullptr && store_.Current()->pkcs12 != nullptr) {
    return SelectPkcs12Certificate(subject);
  }
  // A store of its own that failed to load says why; the platform's does not exist.
  if (loaded != kStatusOk && IsReadableStoreType(GetSslCertStoreType())) return loaded;
  ByteString copy;
  TORNELL_TRY(copy.Set(subject));
  const int status = SetSslCertSubject(const_cast<char*>(copy.CStr()));
  if (status != kStatusOk) {
    if (status == kStatusNoCertificate) {
      ByteString text;
      TORNELL_TRY(text.Set("Failed to find the certificate subject '"));
      TORNELL_TRY(text.Append(subject));
      TORNELL_TRY(text.Append("'"));
      return ReturnError(status, text.CStr());
    }
    return status;
  }
  char* data = nullptr;
  int length = 0;
  TORNELL_TRY(GetSslCertEncoded(&data, &length));
  return LoadCertificate(data, length);
}

int CertificateManager::LoadCertificate(const char* data, int length) {
  ClearCertificate();
  if (data == nullptr || length <= 0) return kStatusOk;
  ByteString input;
  TORNELL_TRY(input.Set(data, length));
  TextArmor der;
  if (input.Contains("-----BEGIN CERTIFICATE-----")) {
    SecretBytes none;
    TORNELL_TRY(KeyFileFormats::DecodePem(der, "CERTIFICATE", input.Data(), input.Length(), none, 1));
  } else {
    TORNELL_TRY(der.Set(input.Data(), input.Length()));
  }
  TORNELL_TRY(store_.AddCertificate(der.Data(), der.Length()));
  return TakeLoadedCertificate(der.Data(), der.Length());
}

int CertificateManager::LoadCertificate(std::unique_ptr<X509Certificate> decoded) {
  ClearCertificate();
  if (decoded == nullptr || decoded->encoded.IsEmpty()) return kStatusOk;
  // The store keeps the record where it is: the bytes stay put.
  const ByteString& der = decoded->encoded;
  TORNELL_TRY(store_.AddCertificate(std::move(decoded)));
  return TakeLoadedCertificate(der.Data(), der.Length());
}

int CertificateManager::TakeLoadedCertificate(const char* der, int length) {
  if (loadedDer_.Set(der, length) != kStatusOk) {
    FireError(kStatusNoMemory, const_cast<char*>("Out of memory"));
    ClearCertificate();
    return kStatusNoMemory;
  }
  CertStoreEntry* entry = store_.Current();
  if (entry == nullptr) return kStatusOk;
  TORNELL_TRY(DuplicateText(entry->GetIssuer(), issuer_));
  TORNELL_TRY(DuplicateText(entry->GetSubject(), subject_));
  TORNELL_TRY(keyAlgorithm_.Set(entry->GetKeyAlgorithm()));
  return FillCertificateTexts();
}

int CertificateManager::MakeEncodedText() {
  if (encodedText_ != nullptr || loadedDer_.IsEmpty()) return kStatusOk;
  ByteString pem;
  int status = AppendPem("CERTIFICATE", loadedDer_.Data(), loadedDer_.Length(), pem);
  if (status == kStatusOk) status = pem.ReplaceAll("\r\n", "\n");
  if (status == kStatusOk) {
    encodedText_ = static_cast<char*>(std::malloc(static_cast<size_t>(pem.Length()) + 1));
    if (encodedText_ == nullptr) status = kStatusNoMemory;
  }
  if (status != kStatusOk) {
    if (status == kStatusNoMemory) FireError(kStatusNoMemory, const_cast<char*>("Out of memory"));
    return status;
  }
  std::memcpy(encodedText_, pem.Data(), static_cast<size_t>(pem.Length()) + 1);
  encodedLength_ = pem.Length();
  return kStatusOk;
}

int CertificateManager::ClearCertificate() {
  loadedDer_.Clear();
  FreeText(encodedText_);
  encodedLength_ = 0;
  FreeText(subject_);
  FreeText(issuer_);
  publicKeyPem_.Clear();
  privateKeyPem_.Clear();
  keyAlgorithm_.Clear();
  signatureAlgorithm_.Clear();
  serialNumber_.Clear();
  subjectAltNames_.Clear();
  publicXmlKey_.Clear();
  privateXmlKey_.Clear();
  return kStatusOk;
}

// ---- accessors ---------------------------------------------------------------

const char* CertificateManager::GetSubject() {
  if (store_.GetKeyOnly() != 0) return store_.GetSubject();
  return subject_;
}

const char* CertificateManager::GetIssuer() { return issuer_; }

const char* CertificateManager::GetKeyAlgorithm() {
  if (store_.GetKeyOnly() != 0) return store_.GetKeyAlgorithm();
  return keyAlgorithm_.CStr();
}

const char* CertificateManager::GetSerialNumber() {
  const int n = serialNumber_.Length();
  if (n % 2 == 1 && n <= 1024) {
    ByteString padded;
    if (padded.Set("0") == kStatusOk && padded.Append(serialNumber_) == kStatusOk) {
      static_cast<void>(serialNumber_.Assign(padded));
    }
  }
  return serialNumber_.CStr();
}

const char* CertificateManager::GetSignatureAlgorithm() { return signatureAlgorithm_.CStr(); }

const char* CertificateManager::GetSubjectAltNames() { return subjectAltNames_.CStr(); }

int CertificateManager::GetEncoded(char** data, int* length) {
  return keyFormat_ == 1 ? GetEncodedXml(data, length) : GetEncodedPem(data, length);
}

int CertificateManager::GetEncodedPem(char** data, int* length) {
  TORNELL_TRY(MakeEncodedText());
  if (encodedText_ != nullptr && !HasEightBitBytes(encodedText_, encodedLength_) &&
      std::strstr(encodedText_, kPemBegin) == nullptr) {
    TORNELL_TRY(pemWrapping_.Set(kPemBegin));
    TORNELL_TRY(pemWrapping_.Append(encodedText_, encodedLength_));
    TORNELL_TRY(pemWrapping_.Append(kPemEnd));
    *data = const_cast<char*>(pemWrapping_.CStr());
    *length = pemWrapping_.Length();
    return kStatusOk;
  }
  *data = encodedText_;
  *length = encodedLength_;
  return kStatusOk;
}

int CertificateManager::GetEncodedXml(char** data, int* length) {
  TORNELL_TRY(MakeEncodedText());
  TORNELL_TRY(xmlWrapping_.Set("<X509Data><X509Certificate>"));
  TORNELL_TRY(xmlWrapping_.Append(encodedText_ != nullptr ? encodedText_ : "", encodedLength_));
  TORNELL_TRY(xmlWrapping_.Append("</X509Certificate></X509Data>"));
  *data = const_cast<char*>(xmlWrapping_.CStr());
  *length = xmlWrapping_.Length();
  return kStatusOk;
}

int CertificateManager::GetRsaKey(RsaKey& key, int flag) { return store_.GetRsaKey(key, flag); }

int CertificateManager::GetDsaKey(DsaKey& key, int flag) { return store_.GetDsaKey(key, flag); }

int CertificateManager::GetEcKey(EcKey& key, int flag) { return store_.GetEcKey(key, flag); }

// ---- events ------------------------------------------------------------------

CertificateManagerEvents* CertificateManager::Sink() {
  auto* sink = static_cast<CertificateManagerEvents*>(GetEventSink());
  if (sink != nullptr) sink->OnCodePage(GetCodePage());
  return sink;
}

int CertificateManager::ExternalWait(long& milliseconds) {
  CertificateManagerEvents* sink = Sink();
  return sink != nullptr ? sink->OnExternalWait(milliseconds) : kStatusOk;
}

int CertificateManager::ExternalRegisterSocket(long descriptor, long mask, void*& handle) {
  CertificateManagerEvents* sink = Sink();
  return sink != nullptr ? sink->OnExternalRegister(descriptor, mask, handle) : kStatusOk;
}

int CertificateManager::ExternalUnregisterSocket(void* handle) {
  CertificateManagerEvents* sink = Sink();
  return sink != nullptr ? sink->OnExternalUnregister(handle) : kStatusOk;
}

int CertificateManager::DataHook(int kind, const char* data, int length) {
  return SocketCore::DataHook(kind, data, length);
}

int CertificateManager::FireError(int code, char* description) {
  CertificateManagerEvents* sink = Sink();
  if (sink != nullptr) sink->OnError(code, description != nullptr ? description : "");
  return kStatusOk;
}

namespace {

const char* OrEmpty(const char* text) { return text != nullptr ? text : ""; }

// Hands `call` a terminated copy of the bytes, so a sink may read them as text.
template <typename Call>
int WithTerminatedCopy(const char* bytes, int length, Call call) {
  ByteString copy;
  TORNELL_TRY(copy.Set(bytes, length));
  call(copy.CStr());
  return kStatusOk;
}

}  // namespace

int CertificateManager::FireCertificate(const char* bytes, int length, const char* subject, const char* issuer,
                                        const char* extra, int status, int flags) {
  CertificateManagerEvents* sink = Sink();
  if (sink == nullptr) return kStatusOk;
  return WithTerminatedCopy(bytes, length, [&](const char* b) {
    const char* s = OrEmpty(subject);
    const char* i = OrEmpty(issuer);
    const char* e = OrEmpty(extra);
    sink->OnCertificate(b, length, s, i, e, status, flags);
  });
}

int CertificateManager::FireCertificateChain(const char* bytes, int length, const char* subject, const char* issuer,
                                             const char* extra, int status) {
  CertificateManagerEvents* sink = Sink();
  if (sink == nullptr) return kStatusOk;
  return WithTerminatedCopy(bytes, length, [&](const char* b) {
    const char* s = OrEmpty(subject);
    const char* i = OrEmpty(issuer);
    const char* e = OrEmpty(extra);
    sink->OnCertificateChain(b, length, s, i, e, status);
  });
}

int CertificateManager::FireKeyInfo(const char* text, int number, const char* other, int otherNumber) {
  CertificateManagerEvents* sink = Sink();
  if (sink == nullptr) return kStatusOk;
  const char* t = OrEmpty(text);
  const char* o = OrEmpty(other);
  sink->OnKeyInfo(t, number, o, otherNumber);
  return kStatusOk;
}

int CertificateManager::FireStoreInfo(const char* text) {
  CertificateManagerEvents* sink = Sink();
  if (sink == nullptr) return kStatusOk;
  const char* t = OrEmpty(text);
  sink->OnStoreInfo(t);
  return kStatusOk;
}

}  // namespace tornell::pki
