#pragma once
// The elliptic-curve engine: ECDSA, ECDH and key generation on P-256, P-384
// and P-521, EdDSA dispatch for the Edwards indices, the key derivations
// after an agreement, the ECIES-style encryption and the CNG key blob.
#include "core/text/ByteString.h"
#include "core/text/SecretBytes.h"
#include "crypto/cipher/engine/SymmetricCipher.h"
#include "crypto/digest/mac/Hmac.h"
#include "crypto/ecc/curve/EcKey.h"
#include "crypto/pubkey/PublicKeyAlgorithm.h"

namespace tornell {

class EcCurve;

constexpr int kEcPublicMissing = 1403;     // own or peer public point missing
constexpr int kEcPrivateMissing = 1404;    // own private key missing, or own key incomplete
constexpr int kEcPrfSeedLength = 1407;     // TLS PRF seed not 64 bytes
constexpr int kEcPrfEmptyLabel = 1408;     // TLS PRF label empty
constexpr int kEcBlobCurve = 1410;         // key blob for a curve other than P-256, P-384, P-521
constexpr int kEcNoAlgorithmId = 1411;
constexpr int kEcNoPartyUInfo = 1412;
constexpr int kEcNoPartyVInfo = 1413;
constexpr int kEcCurveMismatch = 1414;     // own and peer keys on different curves
constexpr int kEcBadKeyBlob = 1415;        // key blob shorter than its header, or magic and width disagree
constexpr int kEcDecryptFailed = 1418;     // bad ephemeral point, short message, MAC or padding
constexpr int kEcUnknownHash = 2001;

class EccEngineBase : public PublicKeyAlgorithm {
 public:
  EccEngineBase() : PublicKeyAlgorithm(kEc) {}
  virtual ~EccEngineBase() = default;

  [[nodiscard]] virtual int SignHash(const char* hash, int hashLength, ByteString& signature) = 0;
  [[nodiscard]] virtual int VerifyHash(const char* hash, int hashLength, const char* signature, int signatureLength,
                                       int& valid) = 0;
  [[nodiscard]] virtual int DeriveKey(EcKey& peer, int kdf, const char* first, int firstLength, const char* second,
                                      int secondLength, const char* hmacKey, int hmacKeyLength, ByteString& out) = 0;
  [[nodiscard]] virtual int GenerateKey(int includePrivate, EcKey& key) = 0;
  [[nodiscard]] virtual int SetKey(EcKey& key) = 0;
};

class EccEngine : public EccEngineBase {
 public:
  EccEngine() = default;
  ~EccEngine() override = default;

  // Curve-index tables of the key/engine index space.
  [[nodiscard]] static int FieldLengthOf(int curveIndex);
  static const char* CurveOidOf(int curveIndex);
  [[nodiscard]] static int CurveIndexOfOid(const char* oid);

  [[nodiscard]] int SetCurveIndex(int index) {
    curveIndex = index;
    return 0;
  }
  [[nodiscard]] int SetAlternatePath(int flag) {
    alternatePath = flag;
    return 0;
  }
  [[nodiscard]] int SetRawSignature(int raw) {
    rawSignature = raw;
    return 0;
  }
  bool IsEdwardsCurve() const { return curveIndex == eckeycurve::kEd25519 || curveIndex == eckeycurve::kEd448; }

  [[nodiscard]] int SetKey(EcKey& key) override;
  [[nodiscard]] int GenerateKey(int includePrivate, EcKey& key) override;
  [[nodiscard]] int SignHash(const char* hash, int hashLength, ByteString& signature) override;
  [[nodiscard]] int VerifyHash(const char* hash, int hashLength, const char* signature, int signatureLength,
                               int& valid) override;
  [[nodiscard]] int DeriveKey(EcKey& peer, int kdf, const char* first, int firstLength, const char* second,
                              int secondLength, const char* hmacKey, int hmacKeyLength, ByteString& out) override;

  [[nodiscard]] int SignData(const char* data, int length, int hashAlgorithm, ByteString& signature);
  [[nodiscard]] int VerifyData(const char* data, int length, const char* signature, int signatureLength,
                               int hashAlgorithm, int& valid);
  [[nodiscard]] int EdDsaSign(const char* data, int length, ByteString& signature);
  [[nodiscard]] int EdDsaVerify(const char* data, int length, const char* signature, int signatureLength, int& valid);

  [[nodiscard]] int DeriveKeyConcat(EcKey& peer, const char* hashName, const char* algorithmId, int algorithmIdLength,
                                    const char* partyUInfo, int partyULength, const char* partyVInfo, int partyVLength,
                                    const char* suppPubInfo, int suppPubLength, const char* suppPrivInfo,
                                    int suppPrivLength, ByteString& out);
  // out = H(1 ‖ Z ‖ otherInfo) ‖ H(2 ‖ ...) ..., 32 / digest length blocks (at least one).
  [[nodiscard]] static int ConcatKdf(HashContext& hash, const ByteString& z, const ByteString& otherInfo,
                                     ByteString& out);

  [[nodiscard]] int Encrypt(const char* data, int length, ByteString& out);
  [[nodiscard]] int Decrypt(const char* data, int length, ByteString& out);

  [[nodiscard]] int ExportKeyBlob(int includePrivate, int forKeyAgreement, ByteString& out);
  [[nodiscard]] int ImportKeyBlob(ByteString& blob);

  [[nodiscard]] static int ComputeSharedSecret(ByteString& privateD, EcKey& peer, int useCofactor, ByteString& secret);
  [[nodiscard]] static int CheckKeyPair(EcCurve& curve, ByteString& d, ByteString& x, ByteString& y, int& valid);
  [[nodiscard]] static int DecodeUncompressedPoint(ByteString& point, ByteString& x, ByteString& y);
  [[nodiscard]] static int SetKeyPoint(const char* point, int length, EcKey& key);
  [[nodiscard]] static int EncodePublicPoint(int compressed, ByteString& x, ByteString& y, int curveIndex,
                                             ByteString& out);
  [[nodiscard]] static int DerSignatureToRaw(const char* signature, int length, int curveIndex, ByteString& raw);
  [[nodiscard]] static int RawSignatureToDer(const char* signature, int length, ByteString& der);

  SecretBytes D;
  ByteString X;
  ByteString Y;
  int curveIndex = 0;
  EcCurve* curve = nullptr;
  int alternatePath = 0;
  int rawSignature = 1;
  SymmetricCipher cipher;
  Hmac mac;
  ByteString pendingPoint;
  ByteString pendingTail;
  int pointLength = 0;
  SecretBytes edwardsPrivate;
  ByteString edwardsPublic;

 private:
  [[nodiscard]] int LoadCurve();
  [[nodiscard]] int EdwardsLoad(EcKey& key);
  [[nodiscard]] int EdwardsGenerate(EcKey& key);
  [[nodiscard]] int CheckAgreementKeys(EcKey& peer, ByteString& z);
  [[nodiscard]] int SetupIesKeys(ByteString& scalar, EcKey& peer, bool encrypt);
  [[nodiscard]] static int IesKdf(const ByteString& z, ByteString& out);
};

}  // namespace tornell
