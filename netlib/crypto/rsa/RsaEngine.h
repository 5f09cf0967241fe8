#pragma once
// RSA: key loading and completion, the raw public and private operations,
// key generation, and the PKCS#1 v1.5, PSS and OAEP schemes built on them.
#include <memory>

#include "core/text/ByteString.h"
#include "crypto/pubkey/PublicKeyAlgorithm.h"
#include "crypto/rsa/RsaKey.h"

namespace tornell {

struct RsaKeyState;

class RsaEngineBase : public PublicKeyAlgorithm {
 public:
  RsaEngineBase() : PublicKeyAlgorithm(kRsa) {}
  virtual ~RsaEngineBase() = default;

  [[nodiscard]] virtual int DecryptPkcs1(const char* data, int length, ByteString& out) = 0;
  [[nodiscard]] virtual int EncryptPkcs1(const char* data, int length, ByteString& out) = 0;
  [[nodiscard]] virtual int GenerateKey(int withD, RsaKey& out, int method) = 0;
  [[nodiscard]] virtual int SetKey(RsaKey& key) = 0;
};

class RsaEngine : public RsaEngineBase {
 public:
  RsaEngine();
  ~RsaEngine() override;

  [[nodiscard]] int DecryptPkcs1(const char* data, int length, ByteString& out) override;
  [[nodiscard]] int EncryptPkcs1(const char* data, int length, ByteString& out) override;
  // Generates a key with e = 65537 unless the engine holds one, then copies
  // it out (d only when withD is non-zero). method 0: first prime drawn from
  // [0xB6 * 2^(half-8), 2^half); otherwise both primes of half bits.
  [[nodiscard]] int GenerateKey(int withD, RsaKey& out, int method) override;
  // Validates and copies `key`, deriving missing CRT values.
  [[nodiscard]] int SetKey(RsaKey& key) override;

  // Sets valid to 1 for a matching signature. PSS reports every mismatch as
  // 1119; v1.5 reports a mismatch through valid alone.
  [[nodiscard]] virtual int VerifyHash(const char* hash, int hashLength, const char* digestName, const char* signature,
                         int signatureLength, int& valid, int usePss, int saltLength, int checkPrefix);
  // Appends a k-byte signature. saltLength < 0 means the hash length.
  [[nodiscard]] virtual int SignHash(const char* hash, int hashLength, const char* digestName, ByteString& out, int usePss,
                       int saltLength);
  [[nodiscard]] virtual int DecryptWithPadding(const char* data, int length, ByteString& out, int useOaep, const char* label,
                                 int labelLength, const char* hashName, const char* mgfHashName);
  [[nodiscard]] virtual int EncryptWithPadding(const char* data, int length, ByteString& out, int useOaep, const char* label,
                                 int labelLength, const char* hashName, const char* mgfHashName);

  // m^e mod n, appended to out as k = ceil(bits(n) / 8) bytes.
  [[nodiscard]] int PublicOperation(const char* data, int length, ByteString& out);
  // m^d mod n (CRT when the key has it, always blinded), replacing out with
  // its minimal big-endian form.
  [[nodiscard]] int PrivateOperation(const char* data, int length, ByteString& out);
  // The same, replacing out with exactly k = ceil(bits(n) / 8) bytes.
  [[nodiscard]] int PrivateFixed(const char* data, int length, ByteString& out);

  [[nodiscard]] int GenerateKeyRanged();
  [[nodiscard]] int GenerateKeyRandomPrimes();

  [[nodiscard]] static int GetDigestInfoPrefix(const char* digestName, ByteString& out);
  [[nodiscard]] static int Mgf1(const char* seed, int seedLength, const char* hashName, int maskLength, ByteString& out);
  [[nodiscard]] static int LeftPad(ByteString& value, int width);

  [[nodiscard]] int SignPkcs1(const char* hash, int hashLength, const ByteString& prefix, ByteString& out);
  [[nodiscard]] int VerifyPkcs1(const char* hash, int hashLength, const ByteString& prefix, const char* signature,
                  int signatureLength, int checkPrefix, int& valid);
  [[nodiscard]] int SignPss(const char* hash, int hashLength, const char* digestName, int saltLength, ByteString& out);
  [[nodiscard]] int VerifyPss(const char* hash, int hashLength, const char* digestName, int saltLength, const char* signature,
                int signatureLength, int& valid);
  [[nodiscard]] int EncryptType2(const char* data, int length, ByteString& out);
  // Every malformed block gives the one status 1114, found in constant time.
  [[nodiscard]] int DecryptType2(const char* data, int length, ByteString& out);
  [[nodiscard]] int EncryptOaep(const char* data, int length, ByteString& out, const char* label, int labelLength,
                  const char* hashName, const char* mgfHashName);
  [[nodiscard]] int DecryptOaep(const char* data, int length, ByteString& out, const char* label, int labelLength,
                  const char* hashName, const char* mgfHashName);

  RsaKey key;

 private:
  // Bytes of the modulus, 0 when the engine has none.
  int ModulusBytes();
  int ModulusBits();
  // Whether the signature, as a number, is below n.
  bool BelowModulus(const char* signature, int length);
  [[nodiscard]] int GenerateWith(int method);
  // The working form of `key`, built on first use and whenever it changed.
  RsaKeyState& PrepareState();

  std::unique_ptr<RsaKeyState> state_;
};

}  // namespace tornell
