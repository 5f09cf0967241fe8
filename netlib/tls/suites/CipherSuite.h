#pragma once
// One TLS cipher suite made ready for use: its parameters from the registry,
// and the live cipher and MAC that protect records under it. The registry of
// the suites the engine negotiates is CipherSuiteRegistry; the static
// operations below search it.
#include <cstdint>
#include <memory>

#include "core/buffer/WireBuffer.h"
#include "core/text/ByteString.h"
#include "core/text/SecretBytes.h"
#include "core/text/StringList.h"
#include "crypto/cipher/aead/AesGcm.h"
#include "crypto/cipher/aead/ChaCha20Poly1305.h"
#include "crypto/cipher/engine/SymmetricCipher.h"
#include "crypto/digest/mac/Hmac.h"
#include "tls/suites/CodeList.h"

namespace tornell {

// The key exchange of a suite.
namespace keyexchange {
constexpr int kNone = 0;  // TLS 1.3 suites
constexpr int kRsa = 1;
constexpr int kRsaExport = 2;
constexpr int kDhDss = 3;
constexpr int kDhRsa = 4;
constexpr int kDheDss = 5;
constexpr int kDheDssExport = 6;
constexpr int kDheRsa = 7;
constexpr int kDheRsaExport = 8;
constexpr int kDhAnon = 9;
constexpr int kDhAnonExport = 10;
constexpr int kEcdheEcdsa = 11;
constexpr int kEcdheRsa = 12;
constexpr int kEcdhEcdsa = 13;
constexpr int kEcdhRsa = 14;
constexpr int kEcdhAnon = 15;
}  // namespace keyexchange

// Protocol versions by their wire values.
namespace tlsversion {
constexpr int kTls10 = 0x0301;
constexpr int kTls12 = 0x0303;
constexpr int kTls13 = 0x0304;
}  // namespace tlsversion

class CipherSuite {
 public:
  using SuiteName = InlineString<50>;
  static constexpr int kNoAcceptableSuite = 278;  // the server finds no suite it may choose
  static constexpr int kAeadTagLength = 16;
  static constexpr int kMaxEnabledCodes = 256;

  CipherSuite();
  // The registry suite of that code (only the registry builds suites this way).
  explicit CipherSuite(int code);
  ~CipherSuite();
  CipherSuite(const CipherSuite&) = delete;
  CipherSuite& operator=(const CipherSuite&) = delete;

  [[nodiscard]] int Setup(const char* name, int keyExchangeKind, int macHash, const char* cipherName, int keyBits,
                          int prfHash, int minVersion);
  static int IsKnownCode(int code);
  // Back to the unkeyed suite: no MAC secret or implicit IV, cipher unstarted.
  [[nodiscard]] int Reset();
  [[nodiscard]] int CopyFrom(const CipherSuite& other);

  int GetCode() const { return code; }
  int GetKeyExchange() const { return keyExchangeKind; }
  int GetMacHash() const { return macHash; }
  int GetKeyLength() const { return keyLength; }
  int GetMinVersion() const { return minVersion; }
  const char* GetName() const { return name.CStr(); }
  const char* GetCipherName() const { return cipherName.CStr(); }
  int IsEmpty() const { return name.IsEmpty() ? 1 : 0; }
  const char* GetKeyExchangeName() const;
  const char* GetMacHashName() const;
  int GetMacLength() const;
  int GetBlockBits() const { return cipher.GetBlockBits(); }
  int GetIvLength() const;
  int GetFinalKeyLength() const;
  int GetTagLength() const { return IsAead() ? kAeadTagLength : 0; }
  int IsAead() const { return aeadKind != kNotAead ? 1 : 0; }
  int IsRc4() const;
  int IsAnonymous() const;
  int UsesRsaCertificate() const;
  int UsesDssCertificate() const;
  int IsExport() const;
  int IsEcdhe() const;
  int IsEcdh() const;
  int UsesEcc() const { return IsEcdhe() != 0 || IsEcdh() != 0 ? 1 : 0; }
  int GetPrfHash(int version) const;
  int IsListedIn(const char* text) const;
  // "<name> (0x<CODE>)"; valid until the next call on this suite.
  const char* GetDisplayName() const;

  // Key material of one direction.
  [[nodiscard]] int SetKeyAndIv(const ByteString& key, const ByteString& iv);
  [[nodiscard]] int GetKey(ByteString& out) const;
  [[nodiscard]] int SetMacSecret(const ByteString& secret);
  [[nodiscard]] int GetMacSecret(ByteString& out) const { return out.Assign(macSecret); }
  [[nodiscard]] int SetFixedIv(const ByteString& iv) { return fixedIv.Assign(iv); }
  [[nodiscard]] int GetFixedIv(ByteString& out) const { return out.Assign(fixedIv); }

  // Record protection. Output is appended. A CBC or RC4 cipher runs on from
  // record to record; an AEAD record needs PrepareAead first and gives the
  // ciphertext followed by the 16-byte tag (Decrypt takes it without the tag).
  [[nodiscard]] int Encrypt(const char* data, int length, ByteString& out);
  [[nodiscard]] int Encrypt(const WireBuffer& data, ByteString& out);
  [[nodiscard]] int Encrypt(const ByteString& data, ByteString& out);
  [[nodiscard]] int Decrypt(const char* data, int length, ByteString& out);
  [[nodiscard]] int Decrypt(const ByteString& data, ByteString& out);
  [[nodiscard]] int ComputeMac(const ByteString& data, ByteString& out);
  // Nonce, additional data and, for decryption, the tag of the next AEAD
  // record; nothing for other suites.
  [[nodiscard]] int PrepareAead(const WireBuffer& nonce, const WireBuffer& additionalData,
                                const ByteString* expectedTag);
  // The same from plain bytes (tag null for encryption), as the record layer
  // holds them.
  [[nodiscard]] int PrepareAead(const uint8_t* nonce, int nonceLength, const uint8_t* additionalData,
                                int additionalLength, const char* expectedTag, int tagLength);
  [[nodiscard]] int Ssl3Pad1(ByteString& out) const;
  [[nodiscard]] int Ssl3Pad2(ByteString& out) const;

  // HKDF (RFC 5869) with the TLS 1.3 labels (RFC 8446); hash is a digest number.
  [[nodiscard]] static int HkdfExtract(int hash, const ByteString& salt, const ByteString& inputKey, ByteString& out);
  [[nodiscard]] static int HkdfExpand(int hash, const ByteString& key, const ByteString& info, int length,
                                      ByteString& out);
  [[nodiscard]] static int BuildHkdfLabel(const char* label, int length, const ByteString& context,
                                          const char* prefix, ByteString& out);
  [[nodiscard]] static int HkdfExpandLabel(int hash, const ByteString& secret, const char* label,
                                           const ByteString& context, int length, const char* prefix,
                                           ByteString& out);
  [[nodiscard]] static int DeriveSecret(int hash, const ByteString& secret, const char* label,
                                        const ByteString& context, const char* prefix, ByteString& out);
  // The same under an HMAC already keyed with the secret: the labels drawn
  // from one secret then share its keyed digest states.
  [[nodiscard]] static int HkdfExpandKeyed(Hmac& keyed, int hash, const ByteString& info, int length,
                                           ByteString& out);
  [[nodiscard]] static int HkdfExpandLabel(Hmac& keyed, int hash, const char* label, const ByteString& context,
                                           int length, const char* prefix, ByteString& out);

  // The registry.
  static const CipherSuite* FindByCode(int code);
  static const CipherSuite* FindByName(const char* name);
  static int FindIdByName(const char* name);
  [[nodiscard]] static int CopyByCode(int code, CipherSuite& target);
  static int IsEccCode(int code);
  static int ListHasEcc(const CodeList& codes);
  // The codes a client offers, appended to `out`.
  [[nodiscard]] static int BuildEnabledList(const char* enabledText, int maxVersion, int allowExport,
                                            int protocolMask, CodeList& out);
  // The server's choice from the peer's codes, given its own certificate's
  // key algorithm name ("RSA", "DSA", "IdEcPublicKey" ...; null without a
  // certificate) and, for an EC key, the certificate's TLS group (-1 when
  // none). 278 when no suite is acceptable.
  [[nodiscard]] static int ChooseServerSuiteFor(const CodeList& offered, const char* certificateAlgorithm,
                                                int certificateGroup, const CodeList* peerGroups,
                                                const char* enabledText, int anonymousFlag, int allowExport,
                                                int tls13, CipherSuite& out);

 private:
  int DropMacKey();
  int KeyMac();
  int AeadEncrypt(const char* data, int length, ByteString& out);
  int AeadDecrypt(const char* data, int length, ByteString& out);
  int AeadRecord(const char* from, int length, uint8_t* to, uint8_t* tag, bool seal);
  int KeyAead();
  int CheckWholeBlocks(int length) const;
  bool IsGcm() const { return aeadKind == kAesGcmAead; }
  int Acceptable(const char* certificateAlgorithm, bool peerHasCurve,
                 bool peerHasCertificateGroup, int anonymousFlag, int tls13) const;

  int code = 0;
  // Wide enough for every registry name: suites are copied often, and a name
  // on the heap would cost an allocation each time.
  SuiteName name;
  int keyExchangeKind = 0;
  int macHash = 0;
  int prfHash = 0;
  int keyLength = 0;
  int minVersion = tlsversion::kTls10;
  ShortString cipherName;
  SecretBytes fixedIv;
  SecretBytes macSecret;
  std::unique_ptr<Hmac> mac;  // made and keyed with macSecret when first used
  int macKeyed = 0;
  SymmetricCipher cipher;
  mutable ByteString displayName;
  int encryptStarted = 0;
  int decryptStarted = 0;

  // Which AEAD the cipher is, fixed when the suite is set up: records ask
  // for every one.
  static constexpr int kNotAead = 0;
  static constexpr int kAesGcmAead = 1;
  static constexpr int kChaChaAead = 2;
  int aeadKind = kNotAead;

  // AEAD records: the expanded AES-GCM key and GHASH powers are made once per
  // key and each record restarts the message on them. The AES-GCM state
  // lives in the suite; the rarer ChaCha20-Poly1305 one is made when a key
  // is first used.
  int aeadKeyed = 0;
  AesGcm gcm;
  std::unique_ptr<ChaCha20Poly1305> chacha;
  ByteString aeadNonce;
  ByteString aeadData;
  uint8_t aeadTag[kAeadTagLength] = {};
  int aeadTagLength = -1;  // -1: no tag given
};

}  // namespace tornell
