// The own certificate's private key at work: the server's side of RSA key
// transport, and signatures over key-exchange parameters and transcripts
// (a server's, or a client's CertificateVerify) with RSA, ECDSA or DSA.
#include <cstring>

#include "core/base/Status.h"
#include "core/secure/ConstantTime.h"
#include "core/secure/SecureWipe.h"
#include "core/text/SecretBytes.h"
#include "crypto/dsa/DsaEngine.h"
#include "crypto/ecc/engine/EccEngine.h"
#include "crypto/random/RandomSource.h"
#include "crypto/rsa/RsaEngine.h"
#include "pki/store/SelectedCertificate.h"
#include "tls/context/PremasterCheck.h"
#include "tls/context/TlsSecurityContext.h"
#include "tls/engine/TlsSettingLists.h"

namespace tornell {

namespace tls {

void SelectPremaster(const uint8_t* em, size_t k, int version, const uint8_t* fallback, uint8_t* out) {
  // The message has a fixed length, so it sits at a fixed place: no index
  // depends on the block's bytes.
  const size_t least = 2 + 8 + 1 + kPremasterLength;
  uint32_t good = 0;
  size_t at = 0;
  if (k >= least) {
    at = k - kPremasterLength;
    good = ct::Equal<uint32_t>(em[0], 0) & ct::Equal<uint32_t>(em[1], 2) & ct::Equal<uint32_t>(em[at - 1], 0);
    uint32_t zeroInPadding = 0;
    for (size_t i = 2; i + 1 < at; ++i) zeroInPadding |= ct::IsZero<uint32_t>(em[i]);
    good &= ~zeroInPadding;
    good &= ct::Equal<uint32_t>(em[at], uint32_t(version >> 8) & 0xFF);
    good &= ct::Equal<uint32_t>(em[at + 1], uint32_t(version) & 0xFF);
  }
  const uint8_t mask = uint8_t(good);
  for (int i = 0; i < kPremasterLength; ++i) {
    out[i] = ct::Select<uint8_t>(mask, k >= least ? em[at + size_t(i)] : 0, fallback[i]);
  }
}

}  // namespace tls

namespace {

constexpr int kStatusNotRsa = 278;
constexpr int kExportRsaBits = 512;

bool IsRsaName(const char* name) {
  ByteString text(name);
  return text.EqualsIgnoreCase("RSA") || text.EqualsIgnoreCase("RSA_RSA");
}

pki::CertificateManager* OwnManager(const SelectedCertificate* certificate) {
  return certificate != nullptr ? certificate->GetManager() : nullptr;
}

int SignRsa(pki::CertificateManager& manager, const ByteString& digest, const char* hashName, int pss,
            ByteString& out) {
  RsaKey key;
  TORNELL_TRY(manager.GetRsaKey(key, 0));
  RsaEngine engine;
  TORNELL_TRY(engine.SetKey(key));
  return engine.SignHash(digest.Data(), digest.Length(), hashName, out, pss, -1);
}

int SignEcdsa(pki::CertificateManager& manager, const ByteString& digest, ByteString& out) {
  EcKey key;
  TORNELL_TRY(manager.GetEcKey(key, 0));
  EccEngine engine;
  TORNELL_TRY(engine.SetKey(key));
  TORNELL_TRY(engine.SetRawSignature(0));  // TLS carries ECDSA-Sig-Value
  return engine.SignHash(digest.Data(), digest.Length(), out);
}

int SignDsa(pki::CertificateManager& manager, const ByteString& digest, ByteString& out) {
  DsaKey key;
  TORNELL_TRY(manager.GetDsaKey(key, 0));
  DsaEngine engine;
  TORNELL_TRY(engine.SetKey(key));
  (void)engine.SetSignatureFormat(1);  // DER
  return engine.SignHash(digest.Data(), digest.Length(), out);
}

}  // namespace


int TlsSecurityContext::DecryptPremaster(const ByteString& encrypted, ByteString& out, ByteString& errorText) const {
  if (!IsRsaName(OwnKeyAlgorithm())) {
    TORNELL_TRY(errorText.Set("Public Key Encryption only supported with RSA certificates"));
    return kStatusNotRsa;
  }
  // The stand-in is drawn before anything is decrypted, whatever follows.
  uint8_t fallback[tls::kPremasterLength];
  RandomSource random;
  random.Fill(fallback, 0, tls::kPremasterLength);
  RsaKey key;
  if (HasEphemeralRsaKey() != 0) {
    TORNELL_TRY(key.CopyFrom(*ephemeralRsaKey));
  } else {
    TORNELL_TRY(ownCertificate->GetManager()->GetRsaKey(key, 1));
  }
  RsaEngine engine;
  TORNELL_TRY(engine.SetKey(key));
  SecretBytes block;
  int k = key.n.Length();
  while (k > 0 && key.n.ByteAt(key.n.Length() - k) == 0) --k;
  // A ciphertext of the wrong size is public: it gets the stand-in too.
  int decrypted = kStatusHandshakeFailed;
  if (encrypted.Length() == k) decrypted = engine.PrivateFixed(encrypted.Data(), encrypted.Length(), block);
  SecretBytes premaster;
  TORNELL_TRY(premaster.Resize(tls::kPremasterLength));
  const bool usable = decrypted == kStatusOk && block.Length() == k;
  tls::SelectPremaster(usable ? reinterpret_cast<const uint8_t*>(block.Data()) : nullptr, usable ? size_t(k) : 0,
                       offeredVersion, fallback, premaster.Bytes());
  SecureWipe(fallback, sizeof fallback);
  return out.Assign(premaster);
}

int TlsSecurityContext::NeedsEphemeralRsa() const {
  if (readState.Suite().IsExport() == 0) return 0;
  pki::CertificateManager* manager = OwnManager(ownCertificate);
  if (manager == nullptr) return 1;
  RsaKey key;
  if (!IsRsaName(OwnKeyAlgorithm()) || manager->GetRsaKey(key, 1) != kStatusOk) return 1;
  int i = 0;
  while (i < key.n.Length() && key.n.ByteAt(i) == 0) ++i;
  int bits = 8 * (key.n.Length() - i);
  for (int top = i < key.n.Length() ? key.n.ByteAt(i) : 0x80; top < 0x80; top <<= 1) --bits;
  return bits > kExportRsaBits ? 1 : 0;
}

int TlsSecurityContext::GetEphemeralRsaKey(RsaKey& out) const {
  if (HasEphemeralRsaKey() != 0) return out.CopyFrom(*ephemeralRsaKey);
  RsaEngine engine;
  TORNELL_TRY(engine.SetKeySize(kExportRsaBits));
  return engine.GenerateKey(1, out, 0);
}

int TlsSecurityContext::SignWithOwnKey(const ByteString& digest, const char* hashName, ByteString& out) const {
  pki::CertificateManager* manager = OwnManager(ownCertificate);
  if (manager == nullptr) return kStatusNoCertificate;
  out.Clear();
  const ByteString algorithm(manager->GetKeyAlgorithm());
  if (IsRsaName(algorithm.CStr())) return SignRsa(*manager, digest, hashName, UsesRsaPss(ownSignatureScheme), out);
  if (algorithm.EqualsIgnoreCase("IdEcPublicKey")) return SignEcdsa(*manager, digest, out);
  if (algorithm.EqualsIgnoreCase("DSA")) return SignDsa(*manager, digest, out);
  return kStatusNoPeerKey;
}

const char* TlsSecurityContext::OwnKeyAlgorithm() const {
  pki::CertificateManager* manager = OwnManager(ownCertificate);
  const char* name = manager != nullptr ? manager->GetKeyAlgorithm() : nullptr;
  return name != nullptr ? name : "";
}

int TlsSecurityContext::HasOwnKey() const {
  pki::CertificateManager* manager = OwnManager(ownCertificate);
  if (manager == nullptr) return 0;
  char* encoded = nullptr;
  int length = 0;
  if (manager->GetEncoded(&encoded, &length) != kStatusOk || length <= 0) return 0;
  const pki::KeyHolder& key = *manager->Store().GetKeyHolder();
  switch (key.type) {
    case pki::kKeyTypeRsa: return key.rsaKey.d.IsEmpty() ? 0 : 1;
    case pki::kKeyTypeDsa: return key.dsaKey.x.IsEmpty() ? 0 : 1;
    case pki::kKeyTypeEc: return key.ecKey.D.IsEmpty() ? 0 : 1;
    default: return 0;  // EdDSA certificates are not signed for here
  }
}

const char* TlsSecurityContext::OwnRsaHashName() const {
  if (version == 0x0304) return tls::SignatureSchemeHash(ownSignatureScheme);
  if (version == 0x0303 && ownSignatureScheme != 0) {
    if (const char* name = tls::Tls12HashName(ownSignatureScheme >> 8); name != nullptr) return name;
  }
  if (prfHash == kPrfSha256) return "SHA256";
  if (prfHash == kPrfSha384) return "SHA384";
  return "MD5SHA1";
}

int TlsSecurityContext::Sign(const ByteString& digest, ByteString& out) const {
  if (OwnManager(ownCertificate) == nullptr) return kStatusNoCertificate;
  const char* hashName = nullptr;
  if (IsRsaName(OwnKeyAlgorithm())) {
    hashName = OwnRsaHashName();
    if (hashName == nullptr) return kStatusUnknownDigest;
  }
  return SignWithOwnKey(digest, hashName, out);
}

}  // namespace tornell
