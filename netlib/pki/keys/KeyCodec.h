#pragma once
// Conversions between the key records and the encoded forms of key files:
// PKCS#1, traditional DSA, PKCS#8 and SubjectPublicKeyInfo, encrypted PKCS#8
// and encrypted PEM; reading private-key files; PEM and password helpers.
#include <ctime>

#include "core/text/ByteString.h"
#include "core/text/SecretBytes.h"
#include "crypto/dsa/DsaKey.h"
#include "crypto/ecc/curve/EcKey.h"
#include "crypto/rsa/RsaKey.h"
#include "pki/keys/KeyFileFormats.h"
#include "pki/keys/TextArmor.h"
#include "pki/store/CertificateStore.h"
#include "pki/store/KeyHolder.h"
#include "pki/x509/CertificateRecords.h"

namespace tornell::pki {

constexpr int kKeyUnusable = 271;  // unknown curve or unusable EC public key

class KeyCodec {
 public:
  [[nodiscard]] static int AppendHex(const void* bytes, int length, int upperCase, ByteString& out);
  [[nodiscard]] static int RandomBytes(int count, ByteString& out);
  [[nodiscard]] static int PemEncode(const void* data, int length, const char* label, ByteString& out);
  [[nodiscard]] static int PemEncode(const void* data, int length, const char* label, int dashCount, int lineLength,
                                     const char* headers, ByteString& out);
  // The label is required; binary input comes back unchanged.
  [[nodiscard]] static int PemDecode(const char* text, const char* label, SecretBytes& out,
                                     const SecretBytes* password);

  // Cipher "", "DES-EDE3-CBC", "3des-cbc", "DES-EDE3-CFB", "AES-128-CBC" or
  // "AES-256-CBC". A hash name containing "hmac" derives by PBKDF2 over the
  // whole salt, else by bytes-to-key over its first 8 bytes. The IV is the IV
  // given, else the whole salt. Encryption pads; decryption checks the
  // padding of the CBC modes and leaves it in place.
  [[nodiscard]] static int PasswordEncrypt(const void* data, int length, const SecretBytes& password,
                                           const char* cipherName, const void* salt, int saltLength,
                                           const char* hashName, int iterations, const void* iv, int ivLength,
                                           ByteString& out);
  [[nodiscard]] static int PasswordEncrypt(const void* data, int length, const SecretBytes& password,
                                           const void* salt, int saltLength, ByteString& out);
  [[nodiscard]] static int PasswordDecrypt(const void* data, int length, const SecretBytes& password,
                                           const char* cipherName, const void* salt, int saltLength,
                                           const char* hashName, int iterations, const void* iv, int ivLength,
                                           SecretBytes& out);

  // pem 0: DER into out; 1: PEM text of it.
  [[nodiscard]] static int WriteRsaPkcs1(const RsaKey& key, int pem, ByteString& out);
  // Fills the key's y from x when it is missing.
  [[nodiscard]] static int WriteDsaTraditional(DsaKey& key, int pem, ByteString& out);
  [[nodiscard]] static int WriteRsaPkcs8(const RsaKey& key, int pem, ByteString& out);
  [[nodiscard]] static int WriteDsaPkcs8(const DsaKey& key, int pem, ByteString& out);
  [[nodiscard]] static int WriteEcKey(const EcKey& key, int pem, ByteString& out, int publicOnly);
  // RFC 8410 layout; kKeyOtherType unless the key is Ed25519 or Ed448.
  [[nodiscard]] static int WriteEdwardsKey(const EcKey& key, int pem, ByteString& out, int publicOnly);
  // The key of the store's current entry; kKeyOtherType without one. With
  // publicOnly no private part is written, whatever the key holds.
  [[nodiscard]] static int WriteStoreKey(CertificateStore& store, int pem, ByteString& out, int publicOnly);
  [[nodiscard]] static int WriteEncryptedPkcs8(const void* der, int length, const SecretBytes& password,
                                               ByteString& out);
  [[nodiscard]] static int WriteEncryptedPem(const void* der, int length, const char* label,
                                             const SecretBytes& password, ByteString& out);
  // RSA and DSA only: kKeyOtherType for EC and Edwards keys.
  [[nodiscard]] static int ExportTraditionalPem(const char* text, const SecretBytes* password, ByteString& out);
  // kKeyFormatNotFound when the DER is no PrivateKeyInfo.
  [[nodiscard]] static int ExportPkcs8Pem(const char* text, const SecretBytes* password, ByteString& out);

  [[nodiscard]] static int ReadPrivateKeyFile(const char* data, int length, const SecretBytes& password,
                                              TextArmor& blob, KeyHolder& holder, ByteString& errorText);
  [[nodiscard]] static int ReadRsaPrivateKey(const void* der, int length, TextArmor& blob, RsaKey& key);
  [[nodiscard]] static int ReadDsaPrivateKey(const void* der, int length, TextArmor& blob, DsaKey& key);
  [[nodiscard]] static int ReadEcPrivateKey(const void* der, int length, TextArmor& blob, EcKey& key,
                                            ByteString& errorText);
  // ---- certificate names, validity and signatures ------------------------
  // Times are YYYYMMDDhhmmss UTC texts: -1 not yet valid, 1 expired, 0 valid.
  static int CheckValidityPeriod(const char* notBefore, const char* notAfter);
  static int CheckValidityPeriodAt(const char* notBefore, const char* notAfter, std::time_t now);
  // The next name, "=", "," or value token of distinguished-name text.
  [[nodiscard]] static int NextNameToken(const char*& cursor, ByteString& token);
  // Canonical form for comparing names: pairs upper-cased by name, aliases
  // folded, sorted; text that is no pair list comes back as it was.
  [[nodiscard]] static int NormalizeName(const char* name, ByteString& out);
  // 0 when the issuer's key verifies the certificate's signature, -1 when
  // not, 508 for an issuer key that is not RSA, DSA or EC. PEM or DER texts.
  [[nodiscard]] static int VerifyCertificateSignature(const char* certificate, int certificateLength,
                                                      const char* issuer, int issuerLength);
  [[nodiscard]] static int VerifyCertificateSignature(const X509Certificate& certificate,
                                                      const X509Certificate& issuer);
  // The first key given (RSA, DSA, EC) checks the signature over the digest
  // of the data (the data itself without a hash name): 0 valid, -1 not.
  [[nodiscard]] static int VerifySignature(const ByteString& data, const ByteString& signature, const char* hashName,
                                           RsaKey* rsaKey, DsaKey* dsaKey, EcKey* ecKey);
  [[nodiscard]] static int HashByName(const void* data, int length, const char* hashName, ByteString& out);
};

}  // namespace tornell::pki
