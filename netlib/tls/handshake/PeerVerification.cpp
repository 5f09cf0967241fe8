// The verdict on the peer's certificate: validity, chain, host name, then the
// owner's word, which is final.
#include <cstdio>
#include <cstring>
#include <new>
#include <utility>

#include "core/base/Status.h"
#include "pki/keys/KeyCodec.h"
#include "pki/store/SelectedCertificate.h"
#include "pki/x509/CertificateRecords.h"
#include "tls/engine/TlsEngine.h"
#include "tls/handshake/HostNameMatch.h"

namespace tornell {
namespace {

constexpr uint32_t kCodeOutsideValidity = 0x800B0101u;
constexpr uint32_t kCodeUntrustedRoot = 0x800B0109u;
const char* const kValidityText = "A required certificate is not within its validity period.";
const char* const kChainText =
    "A certification chain processed correctly but terminated in a root certificate not trusted by the trust "
    "provider.";
const char* const kHostText = "Server name does not match server certificate";

// A text built as snprintf into a fixed buffer would build it, cut short at
// the end of the buffer: every verdict writes these, snprintf costs more.
class VerdictText {
 public:
  VerdictText(char* buffer, size_t size) : at_(buffer), end_(buffer + size - 1) { *at_ = '\0'; }
  VerdictText& Put(const char* text) {
    while (*text != '\0' && at_ < end_) *at_++ = *text++;
    *at_ = '\0';
    return *this;
  }
  // "%x" (width 0) or "%4x" (width 4).
  VerdictText& Hex(uint32_t value, int width) {
    char digits[9];
    int n = 0;
    do {
      digits[n++] = "0123456789abcdef"[value & 15];
      value >>= 4;
    } while (value != 0);
    char padded[16];
    int k = 0;
    for (int i = n; i < width; ++i) padded[k++] = ' ';
    while (n > 0) padded[k++] = digits[--n];
    padded[k] = '\0';
    return Put(padded);
  }

 private:
  char* at_;
  char* end_;
};

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
  const char* statusText = "OK";
  uint32_t code = 0;
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
  if (outsidePeriod) {
    statusText = kValidityText;
    code = kCodeOutsideValidity;
  }
  // The owner sees the chain as PEM text; the check reads the DER as received.
  ByteString chainText;
  for (int i = 0; owner != nullptr && i < received.Count(); ++i) {
    ByteString pem;
    if (pki::KeyCodec::PemEncode(received.Get(i), received.EntryLength(i), "CERTIFICATE", pem) != kStatusOk) return 0;
    if (i > 0 && chainText.Append("\r\n") != kStatusOk) return 0;
    if (chainText.Append(pem) != kStatusOk) return 0;
  }
  if (!haveLeaf || pki::SelectedCertificate::VerifyDerChain(peer, received, long(securityFlags)) != 0) {
    statusText = kChainText;
    code = kCodeUntrustedRoot;
  }
  if (checkHost && !hostMatches) {
    statusText = kHostText;
    code = kStatusNameMismatch;
  }
  const char* side = role != 0 ? "Server" : "Client";
  char text[512];
  if (code != 0) {
    VerdictText(text, sizeof text).Put("Error verifying ").Put(side).Put(" certificate: ").Hex(code, 4).Put(" ").Put(
        statusText);
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
      VerdictText(text, sizeof text).Put(statusText);
    } else {
      VerdictText(text, sizeof text).Put("[0x").Hex(code, 0).Put("] ").Put(statusText);
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
