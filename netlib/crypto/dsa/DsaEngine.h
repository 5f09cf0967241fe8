#pragma once
// DSA (FIPS 186): signing and verifying hashes in raw r||s or DER form, and
// parameter and key generation by the FIPS 186-3 sizes or the FIPS 186-2
// SHA-1 seed search.
#include "core/text/ByteString.h"
#include "crypto/dsa/DsaKey.h"
#include "crypto/pubkey/PublicKeyAlgorithm.h"

namespace tornell {

class DsaEngineBase : public PublicKeyAlgorithm {
 public:
  DsaEngineBase() : PublicKeyAlgorithm(kDsa) {}
  virtual ~DsaEngineBase() = default;

  [[nodiscard]] virtual int SignHash(const char* hash, int hashLength, ByteString& out) = 0;
  [[nodiscard]] virtual int VerifyHash(const char* hash, int hashLength, const char* signature, int signatureLength,
                         int& valid) = 0;
  [[nodiscard]] virtual int GenerateKey(int withX, DsaKey& out, int method) = 0;
  [[nodiscard]] virtual int SetKey(DsaKey& key) = 0;
};

namespace dsa_status {
constexpr int kIncompleteKey = 1201;
constexpr int kNoHash = 1202;
constexpr int kNoGenerator = 1203;
constexpr int kNoPrivateKey = 1204;
constexpr int kNoSignature = 1205;
constexpr int kBadSize = 1206;
}  // namespace dsa_status

class DsaEngine : public DsaEngineBase {
 public:
  DsaEngine() = default;
  ~DsaEngine() override = default;

  // Signs the leftmost bits(q) bits of the hash; appends DER when the
  // signature format is 1, else r||s, each ceil(bits(q) / 8) bytes wide.
  [[nodiscard]] int SignHash(const char* hash, int hashLength, ByteString& out) override;
  // Takes DER (strict, minimal INTEGERs) or raw r||s split at half its
  // length; a malformed or wrong signature gives 0 with valid 0.
  [[nodiscard]] int VerifyHash(const char* hash, int hashLength, const char* signature, int signatureLength,
                 int& valid) override;
  [[nodiscard]] int GenerateKey(int withX, DsaKey& out, int method) override;
  [[nodiscard]] int SetKey(DsaKey& key) override;

  int SetSignatureFormat(int format) {
    signatureFormat = format;
    return 0;
  }
  static int IsDerSignature(const char* signature, int length);
  // keyBits = L: q of 160, 224 or 256 bits by L, p = 1 mod q.
  [[nodiscard]] int GenerateParameters();
  // L of 512 to 1024 in steps of 64, q of 160 bits from a SHA-1 seed search.
  [[nodiscard]] int GenerateParametersSha1();

  DsaKey key;
  int signatureFormat = 0;
};

}  // namespace tornell
