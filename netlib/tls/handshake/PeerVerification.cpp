// The verdict on the peer's certificate: validity, chain, host name, then the
// owner's word, which is final.
#include <arpa/inet.h>

#include <cstdio>
#include <cstring>
#include <ctime>

#include "core/base/Status.h"
#include "crypto/digest/hash/HashContext.h"
#include "crypto/ecc/engine/EccEngine.h"
#include "crypto/rsa/RsaEngine.h"
#include "pki/der/DerElement.h"
#include "pki/keys/KeyCodec.h"
#include "pki/store/SelectedCertificate.h"
#include "pki/x509/CertificateRecords.h"
#include "pki/x509/X509Codec.h"
#include "tls/engine/TlsEngine.h"
#include "tls/handshake/HostNameMatch.h"

namespace tornell {
namespace {

constexpr uint32_t kCodeOutsideValidity = 0x800B0101u;
constexpr uint32_t kCodeUntrustedRoot = 0x800B0109u;
constexpr uint32_t kTrustSelfSignedRoot = 0x10u;
const char* const kValidityText = "A required certificate is not within its validity period.";
const char* const kChainText =
    "A certification chain processed correctly but terminated in a root certificate not trusted by the trust "
    "provider.";
const char* const kHostText = "Server name does not match server certificate";

int Decode(const char* der, int length, pki::X509Certificate& out) {
  TORNELL_TRY(out.encoded.Set(der, length));
  return out.Decode();
}

bool WithinValidity(const pki::X509Certificate& leaf) {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  if (gmtime_r(&now, &utc) == nullptr) return false;
  char text[32];
  std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02d", utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday,
                utc.tm_hour, utc.tm_min, utc.tm_sec);
  return std::strcmp(leaf.tbs.notBefore.CStr(), text) <= 0 && std::strcmp(text, leaf.tbs.notAfter.CStr()) <= 0;
}

// Whether `issuer`'s key made the signature on `subject`.
bool SignedBy(const pki::X509Certificate& subject, const pki::X509Certificate& issuer) {
  if (!subject.tbs.issuerEncoded.Equals(issuer.tbs.issuerEncoded) && std::strcmp(subject.GetIssuer(), issuer.GetSubject()) != 0) {
    return false;
  }
  const char* hashName = pki::X509Codec::SignatureOidToHash(subject.signatureAlgorithm.oid.CStr());
  if (hashName == nullptr || subject.signatureValue.Length() < 2) return false;
  HashContext hash;
  ByteString digest;
  if (hash.SetAlgorithm(hashName) != kStatusOk ||
      hash.Digest(subject.tbsEncoded.Data(), subject.tbsEncoded.Length(), digest) != kStatusOk) {
    return false;
  }
  const char* signature = subject.signatureValue.Data() + 1;  // past the unused-bits byte
  const int signatureLength = subject.signatureValue.Length() - 1;
  int valid = 0;
  const ByteString algorithm(issuer.GetKeyAlgorithm());
  if (algorithm.EqualsIgnoreCase("RSA")) {
    RsaKey key;
    RsaEngine engine;
    if (issuer.GetRsaKey(key) != kStatusOk || engine.SetKey(key) != kStatusOk) return false;
    return engine.VerifyHash(digest.Data(), digest.Length(), hashName, signature, signatureLength, valid, 0, 0, 1) ==
               kStatusOk &&
           valid == 1;
  }
  if (algorithm.EqualsIgnoreCase("IdEcPublicKey")) {
    EcKey key;
    EccEngine engine;
    if (issuer.GetEcKey(key) != kStatusOk || engine.SetKey(key) != kStatusOk) return false;
    return engine.VerifyHash(digest.Data(), digest.Length(), signature, signatureLength, valid) == kStatusOk &&
           valid == 1;
  }
  return false;
}

// Without a trust store only a chain that ends in a self-signed root the
// caller chose to trust (flag 0x10) passes; every link must verify.
bool ChainTrusted(const StringList& received, uint32_t flags) {
  if ((flags & kTrustSelfSignedRoot) == 0 || received.Count() == 0) return false;
  pki::X509Certificate previous;
  if (Decode(received.Get(0), received.EntryLength(0), previous) != kStatusOk) return false;
  for (int i = 1; i < received.Count(); ++i) {
    pki::X509Certificate next;
    if (Decode(received.Get(i), received.EntryLength(i), next) != kStatusOk || !SignedBy(previous, next)) {
      return false;
    }
    if (previous.CopyFrom(next) != kStatusOk) return false;
  }
  return std::strcmp(previous.GetIssuer(), previous.GetSubject()) == 0 && SignedBy(previous, previous);
}

}  // namespace

int TlsEngine::VerifyPeerCertificate(const StringList& received) {
  const char* statusText = "OK";
  uint32_t code = 0;
  pki::X509Certificate leaf;
  const bool haveLeaf = received.Count() > 0 && Decode(received.Get(0), received.EntryLength(0), leaf) == kStatusOk;
  if (haveLeaf && !WithinValidity(leaf)) {
    statusText = kValidityText;
    code = kCodeOutsideValidity;
  }
  if (!ChainTrusted(received, securityFlags)) {
    statusText = kChainText;
    code = kCodeUntrustedRoot;
  }
  ByteString chainText;
  for (int i = 0; i < received.Count(); ++i) {
    ByteString pem;
    if (pki::KeyCodec::PemEncode(received.Get(i), received.EntryLength(i), "CERTIFICATE", pem) != kStatusOk) return 0;
    if (i > 0 && chainText.Append("\r\n") != kStatusOk) return 0;
    if (chainText.Append(pem) != kStatusOk) return 0;
  }
  if (role != 0 && (securityFlags & kSkipHostCheck) == 0) {
    if (!haveLeaf || tls::HostMatchesCertificate(leaf, remoteHost.CStr()) != 1) {
      statusText = kHostText;
      code = kStatusNameMismatch;
    }
  }
  const char* side = role != 0 ? "Server" : "Client";
  char text[512];
  if (code != 0) {
    std::snprintf(text, sizeof text, "Error verifying %s certificate: %4x %s", side, code, statusText);
    TORNELL_TRY(Status(text));
    if (owner != nullptr) (void)owner->OnTlsError(kStatusCertificateRefused, text);  // an event only
  }
  int accept = code == 0 ? 1 : 0;
  int status = kStatusOk;
  // The owner answers for every certificate, selected for this session or not:
  // its answer is what lets an untrusted server through or stops a trusted one.
  pki::SelectedCertificate unselected;
  if (owner != nullptr) {
    if (code == 0) {
      std::snprintf(text, sizeof text, "%s", statusText);
    } else {
      std::snprintf(text, sizeof text, "[0x%x] %s", code, statusText);
    }
    SelectedCertificate& peer = pending.peerCertificate != nullptr ? *pending.peerCertificate : unselected;
    status = owner->OnTlsCertificate(chainText, peer, int(code), text, accept);
  }
  if (status == kStatusOk && accept == 0) {
    const int sent = SendAlert(tlsalert::kFatal, tlsalert::kCertificateUnknown);
    if (sent != kStatusOk && sent != kWouldBlock) return RaiseFatal(sent, "Could not send the alert");
    std::snprintf(text, sizeof text, "%s certificate validation failed. Aborting connection...", side);
    TORNELL_TRY(Status(text));
    std::snprintf(text, sizeof text, "%s certificate validation failed. Connection aborted.", side);
    (void)RaiseFatal(kStatusCertificateRefused, text);
    return 0;
  }
  return status == kStatusOk ? accept : 0;
}

}  // namespace tornell
