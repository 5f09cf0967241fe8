#pragma once
// Reads a PKCS#12 PFX (password privacy with the PKCS#12 PBE schemes or
// PBES2, shrouded key bags and certificate bags) into private keys and
// certificates. The MAC data is read, never checked: stored files with a
// wrong or absent MAC load. A wrong password is caught by the decrypted
// bytes alone: a bag whose plaintext is not exactly one element with sound
// block padding is refused.
#include "core/buffer/PtrList.h"
#include "core/text/ByteString.h"
#include "core/text/SecretBytes.h"
#include "crypto/dsa/DsaKey.h"
#include "crypto/ecc/curve/EcKey.h"
#include "crypto/rsa/RsaKey.h"
#include "pki/der/DerElement.h"
#include "pki/x509/CertificateRecords.h"
#include "pki/x509/KeyInfo.h"

namespace tornell::pki {

// A PBES2 pseudo-random function or cipher, or an iteration count, the
// reader cannot use.
constexpr int kPkcs12UnusableScheme = 271;

class Pkcs12Reader {
 public:
  Pkcs12Reader() = default;
  virtual ~Pkcs12Reader() = default;
  Pkcs12Reader(const Pkcs12Reader&) = delete;
  Pkcs12Reader& operator=(const Pkcs12Reader&) = delete;

  [[nodiscard]] int CopyFrom(const Pkcs12Reader& other);
  [[nodiscard]] int SetData(const void* bytes, int length);
  [[nodiscard]] int SetPassword(const char* text);
  // Appends to keys and certificates; what was read before a failure stays.
  [[nodiscard]] virtual int Parse();

  // "RSA", "DSA", "IdEcPublicKey", "EdDSA" from the first key, else "".
  const char* GetKeyAlgorithm() const;
  // -1 unless the first key is of the type (EC or EdDSA for the EC form).
  [[nodiscard]] int GetRsaKey(RsaKey& key, int ignored = 0) const;
  [[nodiscard]] int GetDsaKey(DsaKey& key, int ignored = 0) const;
  [[nodiscard]] int GetEcKey(EcKey& key, int ignored = 0) const;
  // Sets errorText; returns 446.
  int SetError(const char* text);

  ByteString pfxData;
  int version = 3;
  ByteString macAlgorithm;
  ByteString macDigest;
  ByteString macSalt;
  int macIterations = 1;
  SecretBytes password;
  ByteString errorText;
  PtrList<KeyInfo> keys;
  PtrList<X509Certificate> certificates;
  // Test seam: when above 0, larger iteration counts are refused like counts
  // below 1, so fuzzed files cannot make the derivation run for minutes.
  int maxIterations = 0;

 private:
  [[nodiscard]] int ReadContentInfo(DerElement& node, ByteString& type, DerElement*& inner);
  [[nodiscard]] int ReadAuthenticatedSafe(DerElement& node);
  [[nodiscard]] int ReadMacInfo(DerElement& node);
  [[nodiscard]] int ReadSafeContents(DerElement& node);
  [[nodiscard]] int ReadAlgorithm(DerElement& node, ByteString& oid, ByteString& parameters, int& iterations);
  [[nodiscard]] int DecryptEncryptedData(DerElement& node, DerElement& out);
  [[nodiscard]] int ReadShroudedKeyBag(DerElement& node);
  [[nodiscard]] int ReadCertBag(DerElement& node);
  // Defined with the schemes; a status of the derivation or the cipher.
  [[nodiscard]] int DecryptContent(const ByteString& data, const ByteString& oid, const ByteString& parameters,
                                   int iterations, SecretBytes& out);
  [[nodiscard]] int DecryptPbes2(const ByteString& data, const ByteString& parameters, SecretBytes& out);
  bool UsableCount(int iterations) const;
};

}  // namespace tornell::pki
