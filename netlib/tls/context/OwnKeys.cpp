// The own certificate's private key at work: signing the CertificateVerify
// (and a server's key exchange) with RSA, ECDSA or DSA.
#include "core/base/Status.h"
#include "crypto/dsa/DsaEngine.h"
#include "crypto/ecc/engine/EccEngine.h"
#include "crypto/rsa/RsaEngine.h"
#include "pki/store/SelectedCertificate.h"
#include "tls/context/TlsSecurityContext.h"
#include "tls/engine/TlsSettingLists.h"

namespace tornell {
namespace {

bool IsRsaName(const char* name) {
  ByteString text(name);
  return text.EqualsIgnoreCase("RSA") || text.EqualsIgnoreCase("RSA_RSA");
}

// The digest name of a TLS 1.2 HashAlgorithm byte.
const char* Tls12HashName(int code) {
  switch (code) {
    case 1: return "MD5";
    case 2: return "SHA1";
    case 3: return "SHA224";
    case 4: return "SHA256";
    case 5: return "SHA384";
    case 6: return "SHA512";
    default: return nullptr;
  }
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
    if (const char* name = Tls12HashName(ownSignatureScheme >> 8); name != nullptr) return name;
  }
  if (prfHash == kPrfSha256) return "SHA256";
  if (prfHash == kPrfSha384) return "SHA384";
  return "MD5SHA1";
}

int TlsSecurityContext::Sign(const ByteString& digest, ByteString& out) const {
  pki::CertificateManager* manager = OwnManager(ownCertificate);
  if (manager == nullptr) return kStatusNoCertificate;
  out.Clear();
  const char* algorithm = OwnKeyAlgorithm();
  if (IsRsaName(algorithm)) {
    const char* hashName = OwnRsaHashName();
    if (hashName == nullptr) return kStatusUnknownDigest;
    return SignRsa(*manager, digest, hashName, UsesRsaPss(ownSignatureScheme), out);
  }
  if (ByteString(algorithm).EqualsIgnoreCase("IdEcPublicKey")) return SignEcdsa(*manager, digest, out);
  return SignDsa(*manager, digest, out);
}

}  // namespace tornell
