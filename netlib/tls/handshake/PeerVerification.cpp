// The verdict on the peer's certificate: validity, chain, host name, then the
// owner's word, which is final.
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <new>
#include <utility>

#include "core/base/Status.h"
#include "pki/keys/KeyCodec.h"
#include "pki/keys/TextArmor.h"
#include "pki/store/SelectedCertificate.h"
#include "pki/x509/CertificateRecords.h"
#include "tls/engine/NumberText.h"
#include "tls/engine/TlsEngine.h"
#include "tls/handshake/HostNameMatch.h"

namespace tornell {
namespace {

// The verdict rows, in the order the checks run: a later failure overrides.
struct Verdict {
  uint32_t code;
  const char* text;
};
constexpr Verdict kPassed{0, "OK"};
constexpr Verdict kOutsideValidity{0x800B0101u, "A required certificate is not within its validity period."};
constexpr Verdict kUntrustedChain{
    0x800B0109u,
    "A certification chain processed correctly but terminated in a root certificate not trusted by the trust "
    "provider."};
constexpr Verdict kHostMismatch{uint32_t(TlsEngine::kStatusNameMismatch), "Server name does not match server certificate"};

// Pieces joined into a fixed buffer, cut short at its end, as snprintf would
// cut them: every verdict writes these, snprintf costs more.
void JoinTexts(char* out, size_t size, std::initializer_list<const char*> pieces) {
  char* at = out;
  char* const end = out + size - 1;
  for (const char* piece : pieces) {
    while (*piece != '\0' && at < end) *at++ = *piece++;
  }
  *at = '\0';
}

// The failed verdict's texts: "Error verifying %s certificate: %4x %s" for the
// status and the error event, "[0x%x] %s" for the owner.
void FailureTexts(const Verdict& verdict, const char* side, char (&status)[512], char (&owner)[512]) {
  char hex[16];
  tls::HexText(verdict.code, false, hex);
  const size_t digits = std::strlen(hex);
  const char* padding = "    " + (digits < 4 ? digits : 4);
  JoinTexts(status, sizeof status,
            {"Error verifying ", side, " certificate: ", padding, hex, " ", verdict.text});
  JoinTexts(owner, sizeof owner, {"[0x", hex, "] ", verdict.text});
}

int Decode(const char* der, int length, pki::X509Certificate& out) {
  TORNELL_TRY(out.encoded.Set(der, length));
  return out.Decode();
}


}  // namespace

int TlsEngine::SelectPeerCertificate(const char* der, int length, std::unique_ptr<pki::X509Certificate> decoded) {
  auto* fresh = new (std::nothrow) pki::SelectedCertificate();
  if (fresh == nullptr) return kStatusNoMemory;
  const int status = length <= 0          ? kStatusOk
                     : decoded != nullptr ? fresh->Init(std::move(decoded))
                                          : fresh->Init(nullptr, 0, 0, nullptr, nullptr, der, length);
  if (status != kStatusOk) {
    delete fresh;
    return status;
  }
  delete previousPeerSelected;
  previousPeerSelected = peerSelected;
  peerSelected = fresh;
  pending.peerCertificate = fresh;
  return kStatusOk;
}

int TlsEngine::VerifyPeerCertificate(const StringList& received, std::unique_ptr<pki::X509Certificate> decodedLeaf) {
  const Verdict* verdict = &kPassed;
  if (decodedLeaf == nullptr && received.Count() > 0) {
    decodedLeaf.reset(new (std::nothrow) pki::X509Certificate());
    if (decodedLeaf == nullptr) return 0;
    if (Decode(received.Get(0), received.EntryLength(0), *decodedLeaf) != kStatusOk) decodedLeaf.reset();
  }
  const bool haveLeaf = decodedLeaf != nullptr;
  // The leaf goes to the peer's selection below: what is read from it is read first.
  const bool outsidePeriod =
      haveLeaf && pki::KeyCodec::CheckValidityPeriod(decodedLeaf->tbs.notBefore.CStr(),
                                                     decodedLeaf->tbs.notAfter.CStr()) != 0;
  const bool checkHost = role != 0 && (securityFlags & kSkipHostCheck) == 0;
  const bool hostMatches = checkHost && haveLeaf && tls::HostMatchesCertificate(*decodedLeaf, remoteHost.CStr()) == 1;
  if (SelectPeerCertificate(haveLeaf ? received.Get(0) : nullptr, haveLeaf ? received.EntryLength(0) : 0,
                            std::move(decodedLeaf)) != kStatusOk) {
    return 0;
  }
  pki::SelectedCertificate& peer = *pending.peerCertificate;
  if (outsidePeriod) verdict = &kOutsideValidity;
  // The owner sees the chain as PEM text; the check reads the DER as received.
  ByteString chainText;
  for (int i = 0; owner != nullptr && i < received.Count(); ++i) {
    if (i > 0 && chainText.Append("\r\n") != kStatusOk) return 0;
    if (pki::AppendPem("CERTIFICATE", received.Get(i), received.EntryLength(i), chainText) != kStatusOk) return 0;
  }
  if (!haveLeaf || pki::SelectedCertificate::VerifyDerChain(peer, received, long(securityFlags)) != 0) {
    verdict = &kUntrustedChain;
  }
  if (checkHost && !hostMatches) verdict = &kHostMismatch;
  const uint32_t code = verdict->code;
  const char* side = role != 0 ? "Server" : "Client";
  char text[512];
  char ownerText[512];
  if (code != 0) {
    FailureTexts(*verdict, side, text, ownerText);
    TORNELL_TRY(Status(text));
    if (owner != nullptr) (void)owner->OnTlsError(kStatusCertificateRefused, text);  // an event only
  }
  int accept = code == 0 ? 1 : 0;
  int status = kStatusOk;
  // The owner answers for every certificate, selected for this session or not:
  // its answer is what lets an untrusted server through or stops a trusted one.
  if (owner != nullptr) {
    status = owner->OnTlsCertificate(chainText, peer, int(code), code == 0 ? verdict->text : ownerText, accept);
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
