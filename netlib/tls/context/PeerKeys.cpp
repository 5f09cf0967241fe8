// The peer's public key at work: verifying its signatures, encrypting the
// RSA pre-master secret to it, and the strength the summary reports.
#include <new>

#include "core/base/Status.h"
#include "crypto/dsa/DsaEngine.h"
#include "crypto/ecc/engine/EccEngine.h"
#include "crypto/rsa/RsaEngine.h"
#include "pki/x509/CertificateRecords.h"
#include "tls/context/TlsSecurityContext.h"

namespace tornell {
namespace {

bool IsRsaName(const char* name) {
  ByteString text(name);
  return text.EqualsIgnoreCase("RSA") || text.EqualsIgnoreCase("RSA_RSA");
}

int ModulusBits(const ByteString& n) {
  int i = 0;
  while (i < n.Length() && n.ByteAt(i) == 0) ++i;
  if (i == n.Length()) return 0;
  int bits = 8 * (n.Length() - i);
  for (int top = n.ByteAt(i); top < 0x80; top <<= 1) --bits;
  return bits;
}

}  // namespace

int TlsSecurityContext::DecodePeerCertificate(pki::X509Certificate& out) const {
  if (peerCertificateDer.IsEmpty()) return kStatusNoPeerKey;
  TORNELL_TRY(out.encoded.Assign(peerCertificateDer));
  return out.Decode();
}

const char* TlsSecurityContext::PeerKeyAlgorithm() const { return peerKeyAlgorithm.CStr(); }

int TlsSecurityContext::RememberPeerKey(const pki::X509Certificate& leaf) const {
  if (peerKey == nullptr) {
    peerKey.reset(new (std::nothrow) RememberedPeerKey());
    if (peerKey == nullptr) return kStatusNoMemory;
  }
  TORNELL_TRY(peerKey->key.CopyFrom(leaf.tbs.subjectPublicKeyInfo));
  return peerKey->der.Assign(leaf.encoded);
}

int TlsSecurityContext::PeerPublicKey(const pki::SubjectPublicKeyInfo*& out) const {
  if (peerCertificateDer.IsEmpty()) return kStatusNoPeerKey;
  if (peerKey == nullptr || !peerKey->der.Equals(peerCertificateDer)) {
    pki::X509Certificate certificate;
    TORNELL_TRY(DecodePeerCertificate(certificate));
    TORNELL_TRY(RememberPeerKey(certificate));
  }
  out = &peerKey->key;
  return kStatusOk;
}

int TlsSecurityContext::GetRsaKey(RsaKey& out) const {
  const pki::SubjectPublicKeyInfo* key = nullptr;
  TORNELL_TRY(PeerPublicKey(key));
  if (!IsRsaName(key->KeyAlgorithmName())) return kStatusNoPeerKey;
  return out.CopyFrom(key->Rsa());
}

int TlsSecurityContext::GetDsaKey(DsaKey& out) const {
  const pki::SubjectPublicKeyInfo* key = nullptr;
  TORNELL_TRY(PeerPublicKey(key));
  if (!ByteString(key->KeyAlgorithmName()).EqualsIgnoreCase("DSA")) return kStatusNoPeerKey;
  return out.CopyFrom(key->Dsa());
}

int TlsSecurityContext::GetEcKey(EcKey& out) const {
  const pki::SubjectPublicKeyInfo* key = nullptr;
  TORNELL_TRY(PeerPublicKey(key));
  if (!ByteString(key->KeyAlgorithmName()).EqualsIgnoreCase("IdEcPublicKey")) return kStatusNoPeerKey;
  return out.CopyFrom(key->Ec());
}

int TlsSecurityContext::SetEphemeralRsaKey(const RsaKey& key) {
  if (ephemeralRsaKey == nullptr) {
    ephemeralRsaKey.reset(new (std::nothrow) RsaKey());
    if (ephemeralRsaKey == nullptr) return kStatusNoMemory;
  }
  const int status = ephemeralRsaKey->CopyFrom(key);
  if (status != kStatusOk) ephemeralRsaKey.reset();
  return status;
}

int TlsSecurityContext::VerifyWithPeer(const ByteString& digest, const ByteString& signature,
                                       const char* hashName) const {
  const char* algorithm = peerKeyAlgorithm.CStr();
  int valid = 0;
  if (IsRsaName(algorithm)) {
    RsaKey key;
    TORNELL_TRY(GetRsaKey(key));
    RsaEngine engine;
    TORNELL_TRY(engine.SetKey(key));
    const int pss = UsesRsaPss(peerSignatureScheme);
    const int status = engine.VerifyHash(digest.Data(), digest.Length(), hashName, signature.Data(),
                                         signature.Length(), valid, pss, -1, 1);
    // A PSS mismatch comes back as a status of its own.
    if (status != kStatusOk) return pss != 0 ? kSignatureInvalid : status;
  } else if (ByteString(algorithm).EqualsIgnoreCase("IdEcPublicKey")) {
    EcKey key;
    TORNELL_TRY(GetEcKey(key));
    EccEngine engine;
    TORNELL_TRY(engine.SetKey(key));
    TORNELL_TRY(engine.VerifyHash(digest.Data(), digest.Length(), signature.Data(), signature.Length(), valid));
  } else if (ByteString(algorithm).EqualsIgnoreCase("DSA")) {
    DsaKey key;
    TORNELL_TRY(GetDsaKey(key));
    DsaEngine engine;
    TORNELL_TRY(engine.SetKey(key));
    TORNELL_TRY(engine.VerifyHash(digest.Data(), digest.Length(), signature.Data(), signature.Length(), valid));
  } else {
    return kStatusNoPeerKey;
  }
  return valid == 1 ? kStatusOk : kSignatureInvalid;
}

int TlsSecurityContext::EncryptPremaster(const ByteString& premaster, WireBuffer& out, ByteString& errorText) const {
  if (!IsRsaName(peerKeyAlgorithm.CStr())) {
    TORNELL_TRY(errorText.Set("Public Key Encryption only supported with RSA certificates"));
    return kStatusNotRsa;
  }
  RsaKey key;
  if (HasEphemeralRsaKey() != 0) {
    TORNELL_TRY(key.CopyFrom(*ephemeralRsaKey));
  } else {
    TORNELL_TRY(GetRsaKey(key));
  }
  RsaEngine engine;
  ByteString encrypted;
  int status = engine.SetKey(key);
  if (status == kStatusOk) status = engine.EncryptPkcs1(premaster.Data(), premaster.Length(), encrypted);
  if (status != kStatusOk) {
    TORNELL_TRY(errorText.Set("Could not encrypt the pre-master secret"));
    return status;
  }
  if (version > 0x0300) TORNELL_TRY(out.PutU16(encrypted.Length()));
  return out.PutBytes(encrypted);
}

int TlsSecurityContext::KeyExchangeBits() const {
  if (keyExchange.IsEmpty() == 0) return keyExchange.GetBits();
  if (HasEphemeralRsaKey() != 0) return ModulusBits(ephemeralRsaKey->n);
  if (isClient == 0) return 0;  // the own key's width needs the certificate manager
  RsaKey key;
  if (GetRsaKey(key) != kStatusOk) return 0;
  return ModulusBits(key.n);
}

}  // namespace tornell
