#pragma once
// The certificate component: one certificate held for use, loaded from bytes
// or from a key store of a given type, with its PEM text, names, key
// algorithm and, when a key store was loaded, its private key. It reuses the
// socket core's certificate-store settings and answers its own settings.
#include <cstdint>

#include "core/socket/SocketCore.h"
#include "core/text/ByteString.h"
#include "core/text/SecretBytes.h"
#include "core/text/StringList.h"
#include "crypto/dsa/DsaKey.h"
#include "crypto/ecc/curve/EcKey.h"
#include "crypto/rsa/RsaKey.h"
#include "pki/keys/TextArmor.h"
#include "pki/store/CertificateStore.h"

namespace tornell::pki {

constexpr int kStatusUntrustedRoot = 274;          // the chain ends in a root that is not trusted
constexpr int kStatusCertificateRefused = 280;     // chain refused, or a store or key file that cannot be read
constexpr int kStatusNoCertificateSelected = 281;  // no certificate selected, or no manager could be made
constexpr int kStatusNoPrivateKey = 282;           // no private key with the selected certificate
constexpr int kStatusStoreTypeUnknown = 446;       // a store type the manager does not know

// Store types LoadStore dispatches on.
constexpr int kStorePfxFile = 2;
constexpr int kStorePfxBlob = 3;
constexpr int kStorePemKeyFile = 6;
constexpr int kStorePemKeyBlob = 7;
constexpr int kStorePuttyKeyFile = 14;
constexpr int kStorePuttyKeyBlob = 15;
constexpr int kStoreJwkFile = 18;
constexpr int kStoreJwkBlob = 19;

constexpr int64_t kDefaultCertValiditySeconds = 31536000;  // 365 days

// Receiver of a manager's events, registered with SetEventSink. The code page
// is handed over before every event; texts are never null.
class CertificateManagerEvents {
 public:
  virtual ~CertificateManagerEvents() = default;
  virtual int OnCodePage(int) { return 0; }
  virtual int OnError(int code, const char* description) = 0;
  virtual int OnCertificate(const char*&, int&, const char*&, const char*&, const char*&, int&, int&) { return 0; }
  virtual int OnCertificateChain(const char*&, int&, const char*&, const char*&, const char*&, int&) { return 0; }
  virtual int OnKeyInfo(const char*&, int&, const char*&, int&) { return 0; }
  virtual int OnStoreInfo(const char*&) { return 0; }
  virtual int OnExternalWait(long&) { return 0; }
  virtual int OnExternalRegister(long, long, void*&) { return 0; }
  virtual int OnExternalUnregister(void*) { return 0; }
};

class CertificateManager : public SocketCore {
 public:
  CertificateManager();
  ~CertificateManager() override;
  CertificateManager(const CertificateManager&) = delete;
  CertificateManager& operator=(const CertificateManager&) = delete;

  // ---- socket-core operations ------------------------------------------------
  int Config(ConfigSetting* setting, const char*& answer) override;
  int ExternalWait(long& milliseconds) override;
  int ExternalRegisterSocket(long descriptor, long mask, void*& handle) override;
  int ExternalUnregisterSocket(void* handle) override;
  int DataHook(int kind, const char* data, int length) override;
  int FireError(int code, char* description) override;
  // 1, 3, 4: 306 with a text; 2: 306 without; any other: 0.
  virtual int RunOperation(int operation);
  virtual int FireCertificate(const char* bytes, int length, const char* subject, const char* issuer,
                              const char* extra, int status, int flags);
  virtual int FireCertificateChain(const char* bytes, int length, const char* subject, const char* issuer,
                                   const char* extra, int status);
  virtual int FireKeyInfo(const char* text, int number, const char* other, int otherNumber);
  virtual int FireStoreInfo(const char* text);

  // ---- selection ----------------------------------------------------------------
  // The socket-core reset: non-zero on success.
  int Reset();
  [[nodiscard]] int SetStore(const char* bytes, int length);
  [[nodiscard]] int SetStoreType(int type);
  [[nodiscard]] int SetStorePassword(const char* text);
  [[nodiscard]] int SelectCertificate(const char* subject);
  [[nodiscard]] int LoadCertificate(const char* data, int length);
  // As LoadCertificate with the DER of a certificate X509Certificate::Decode
  // has read already, taken over instead of decoded again.
  [[nodiscard]] int LoadCertificate(std::unique_ptr<X509Certificate> decoded);
  [[nodiscard]] int LoadStore();
  int ClearCertificate();

  // ---- accessors ------------------------------------------------------------------
  // Null when nothing is loaded.
  const char* GetSubject();
  const char* GetIssuer();
  const char* GetKeyAlgorithm();
  // Lower-case hex, with a leading "0" put in front of an odd length.
  const char* GetSerialNumber();
  const char* GetSignatureAlgorithm();
  // "DNS:" and "IP:" entries joined by ","; ',', '\' and '"' in a value are
  // escaped by '\', so that a distinguished-name splitter gives each back.
  const char* GetSubjectAltNames();
  [[nodiscard]] int GetEncoded(char** data, int* length);
  [[nodiscard]] int GetEncodedPem(char** data, int* length);
  [[nodiscard]] int GetEncodedXml(char** data, int* length);
  // The DER bytes the encoded text armours, empty when nothing is loaded.
  const ByteString& GetLoadedDer() const { return loadedDer_; }
  // The DER of the store's certificates that issue the loaded one, by name,
  // nearest first, up to a self-issued top (reachedRoot 1 when the last one
  // is); the loaded certificate itself is not among them. Signatures are the
  // receiver's to check.
  [[nodiscard]] int GetIssuerChain(StringList& der, int& reachedRoot);
  [[nodiscard]] int GetRsaKey(RsaKey& key, int flag);
  [[nodiscard]] int GetDsaKey(DsaKey& key, int flag);
  [[nodiscard]] int GetEcKey(EcKey& key, int flag);
  CertificateStore& Store() { return store_; }
  int GetKeyFormat() const { return keyFormat_; }
  int64_t GetCertValidityTime() const { return certValidityTime_; }

  // ---- key texts and export -----------------------------------------------------
  const char* GetPublicKeyText();
  const char* GetPrivateKeyText();
  const char* GetPublicKeyPem();
  const char* GetPrivateKeyPem();
  const char* GetPublicKeyXml();
  const char* GetPrivateKeyXml();
  [[nodiscard]] int GetKeyValueXml(int isPrivate, ByteString& out);
  [[nodiscard]] static int WriteRsaKeyValue(const RsaKey& key, int isPrivate, ByteString& out);
  [[nodiscard]] static int WriteDsaKeyValue(const DsaKey& key, int isPrivate, ByteString& out);
  [[nodiscard]] int ExportKey(const char* fileName, const char* password);
  const char* GetExportedCert() const { return exportedCert_.CStr(); }
  // "Mmm dd hh:mm:ss yyyy ...." (24 characters) to "dd-Mmm-yyyy hh:mm:ss";
  // out holds at least 21 bytes. 1 for another length.
  static int FormatDateText(const char* text, int length, char* out);
  // Heap copy with "=" and "," (alternating, "=" first) turned into NUL;
  // the caller frees it with std::free. 1 at an out-of-turn separator.
  [[nodiscard]] static int SplitNameValueText(const char* text, char** out, int* length);

 protected:
  CertificateManagerEvents* Sink();
  // The readers of the store kinds, one per kind, on the store bytes (the
  // file already read for the file types).
  [[nodiscard]] int LoadPfxStore(const char* data, int length, const char* password);
  [[nodiscard]] int LoadPemKeyStore(const char* data, int length, const char* password);
  [[nodiscard]] int LoadOpenSshKeyStore(const char* data, int length, const char* password);
  [[nodiscard]] int LoadPuttyKeyStore(const char* data, int length, const char* password);
  [[nodiscard]] int LoadJwkStore(const char* data, int length, const char* password);
  // The JWK text of a private-key PEM text, with the attribute lists.
  [[nodiscard]] int ExportJwkKey(const char* keyText, ByteString& out);
  // The loaded certificate's texts once the store holds it as its last entry.
  [[nodiscard]] int TakeLoadedCertificate(const char* der, int length);
  // The encoded text, armoured from the loaded DER when first asked for.
  [[nodiscard]] int MakeEncodedText();
  // Fills the serial and subject-alternative-name texts of the loaded certificate.
  [[nodiscard]] int FillCertificateTexts();
  // For the store kinds this manager reads itself; 306 for the others.
  static bool IsReadableStoreType(int type);
  // A PKCS#12 store: its certificate for the subject ("*": the one of its
  // key) becomes the loaded certificate, holding the store's private key.
  [[nodiscard]] int SelectPkcs12Certificate(const char* subject);
  // The loaded certificate and the private key as the store's one entry.
  [[nodiscard]] int AdoptCertificate(const char* data, int length, const KeyHolder& key);

  CertificateStore store_;
  // A peer's certificate is loaded in every handshake and its text seldom
  // read: the DER is kept and armoured on demand.
  ByteString loadedDer_;
  char* encodedText_ = nullptr;
  int encodedLength_ = 0;
  ByteString pemWrapping_;
  ByteString xmlWrapping_;
  ByteString subjectAltNames_;
  ByteString exportFormat_;
  ByteString certificateOutputFormat_;
  ByteString exportedCert_;
  ByteString savedCert_;
  char* subject_ = nullptr;
  char* issuer_ = nullptr;
  TextArmor publicKeyPem_;
  TextArmor privateKeyPem_;
  ByteString publicXmlKey_;
  ByteString privateXmlKey_;
  ByteString keyAlgorithm_;
  ByteString signatureAlgorithm_;
  int64_t certValidityTime_ = kDefaultCertValiditySeconds;
  int32_t certKeyLength_ = 0;
  ByteString serialNumber_;
  ByteString certSignatureAlgorithm_;
  int32_t keyFormat_ = 0;
  StringList attributeNames_;
  StringList attributeValues_;
  // The store bytes of a readable store type; the socket core points at them.
  SecretBytes heldStore_;
};

}  // namespace tornell::pki
