#include "tls/context/TlsSecurityContext.h"

#include <cstring>
#include <new>

#include "core/base/Status.h"
#include "crypto/digest/hash/HashAlgorithm.h"
#include "crypto/digest/hash/HashContext.h"
#include "crypto/digest/mac/TlsPrf.h"
#include "tls/engine/TlsSettingLists.h"

namespace tornell {
namespace {

constexpr int kCertificateVerifyPadLength = 64;
constexpr int kSsl30 = 0x0300;
// A handshake's transcript runs to a few kilobytes: room for it at once.
constexpr int kTranscriptRoom = 4096;

int ClearAll(ByteString* const* items, int count) {
  for (int i = 0; i < count; ++i) items[i]->Clear();
  return kStatusOk;
}

// Only an export key exchange has a temporary RSA key; dropping one wipes its private half.
int CopyRsaKey(std::unique_ptr<RsaKey>& to, const std::unique_ptr<RsaKey>& from) {
  if (from == nullptr) {
    to.reset();
    return kStatusOk;
  }
  if (to == nullptr) {
    to.reset(new (std::nothrow) RsaKey());
    if (to == nullptr) return kStatusNoMemory;
  }
  const int status = to->CopyFrom(*from);
  if (status != kStatusOk) to.reset();  // never half a key
  return status;
}

}  // namespace

// The members' initializers are the state Reset leaves: nothing to clear yet.
TlsSecurityContext::TlsSecurityContext() = default;

int TlsSecurityContext::Reset() {
  isClient = 1;
  certificateRequested = 0;
  version = offeredVersion = prfHash = 0;
  ByteString* texts[] = {&sessionId, &masterSecret, &clientRandom, &serverRandom, &tls13SharedSecret,
                         &exporterMasterSecret, &clientApplicationKey, &clientApplicationIv,
                         &serverApplicationKey, &serverApplicationIv, &certificateRequestContext,
                         &peerCertificateDer, &peerKeyAlgorithm};
  TORNELL_TRY(ClearAll(texts, int(sizeof texts / sizeof texts[0])));
  peerCertificate = ownCertificate = nullptr;
  ephemeralRsaKey.reset();
  TORNELL_TRY(keyExchange.Reset());
  TORNELL_TRY(readState.Reset());
  TORNELL_TRY(writeState.Reset());
  peerSignatureScheme = ownSignatureScheme = selectedGroup = helloRetry = 0;
  return kStatusOk;
}

int TlsSecurityContext::CopyFrom(const TlsSecurityContext& source, int keepCipherStates) {
  if (this == &source) return kStatusOk;
  isClient = source.isClient;
  certificateRequested = source.certificateRequested;
  version = source.version;
  offeredVersion = source.offeredVersion;
  prfHash = source.prfHash;
  TORNELL_TRY(sessionId.Assign(source.sessionId));
  TORNELL_TRY(masterSecret.Assign(source.masterSecret));
  TORNELL_TRY(clientRandom.Assign(source.clientRandom));
  TORNELL_TRY(serverRandom.Assign(source.serverRandom));
  TORNELL_TRY(tls13SharedSecret.Assign(source.tls13SharedSecret));
  peerCertificate = source.peerCertificate;
  ownCertificate = source.ownCertificate;
  TORNELL_TRY(peerCertificateDer.Assign(source.peerCertificateDer));
  TORNELL_TRY(peerKeyAlgorithm.Assign(source.peerKeyAlgorithm));
  TORNELL_TRY(CopyRsaKey(ephemeralRsaKey, source.ephemeralRsaKey));
  if (keepCipherStates == 0) {
    TORNELL_TRY(readState.CopyFrom(source.readState));
    TORNELL_TRY(writeState.CopyFrom(source.writeState));
  }
  TORNELL_TRY(keyExchange.CopyFrom(source.keyExchange));
  TORNELL_TRY(exporterMasterSecret.Assign(source.exporterMasterSecret));
  TORNELL_TRY(clientApplicationKey.Assign(source.clientApplicationKey));
  TORNELL_TRY(clientApplicationIv.Assign(source.clientApplicationIv));
  TORNELL_TRY(serverApplicationKey.Assign(source.serverApplicationKey));
  TORNELL_TRY(serverApplicationIv.Assign(source.serverApplicationIv));
  TORNELL_TRY(certificateRequestContext.Assign(source.certificateRequestContext));
  peerSignatureScheme = source.peerSignatureScheme;
  ownSignatureScheme = source.ownSignatureScheme;
  selectedGroup = source.selectedGroup;
  helloRetry = source.helloRetry;
  return kStatusOk;
}

int TlsSecurityContext::TakeNegotiated(const TlsSecurityContext& source) {
  if (this == &source) return kStatusOk;
  TORNELL_TRY(clientRandom.Assign(source.clientRandom));
  TORNELL_TRY(serverRandom.Assign(source.serverRandom));
  TORNELL_TRY(masterSecret.Assign(source.masterSecret));
  TORNELL_TRY(sessionId.Assign(source.sessionId));
  offeredVersion = source.offeredVersion;
  certificateRequested = source.certificateRequested;
  version = source.version;
  prfHash = source.prfHash;
  ownCertificate = source.ownCertificate;
  peerCertificate = source.peerCertificate;
  TORNELL_TRY(peerCertificateDer.Assign(source.peerCertificateDer));
  TORNELL_TRY(peerKeyAlgorithm.Assign(source.peerKeyAlgorithm));
  TORNELL_TRY(CopyRsaKey(ephemeralRsaKey, source.ephemeralRsaKey));
  return kStatusOk;
}

int TlsSecurityContext::HasHelloRandom() const {
  return (isClient != 0 ? clientRandom : serverRandom).IsEmpty() ? 0 : 1;
}

void TlsSecurityContext::UpdatePrfHash() { prfHash = readState.Suite().GetPrfHash(version); }

int TlsSecurityContext::TranscriptHash(const WireBuffer& messages, ByteString& out) const {
  int id = 0;
  switch (prfHash) {
    case kPrfMd5Sha1: id = HashAlgorithm::kMd5Sha1; break;
    case kPrfSha256: id = HashAlgorithm::kSha256; break;
    case kPrfSha384: id = HashAlgorithm::kSha384; break;
    default: return kStatusHandshakeFailed;
  }
  const int seen = transcriptSeen.Length();
  const bool grown = id == transcriptId && messages.Length() >= seen &&
                     (seen == 0 || std::memcmp(messages.Data(), transcriptSeen.Data(), size_t(seen)) == 0);
  if (!grown) {
    transcriptId = -1;
    TORNELL_TRY(transcriptDigest.SetAlgorithm(id));
    TORNELL_TRY(transcriptSeen.Clear());
    (void)transcriptSeen.Reserve(kTranscriptRoom);  // without room it grows as it goes
  }
  const int from = transcriptSeen.Length();
  TORNELL_TRY(transcriptDigest.Update(messages.Data() + from, messages.Length() - from));
  TORNELL_TRY(transcriptSeen.Append(messages.Data() + from, messages.Length() - from));
  transcriptId = id;
  // The copy takes the algorithm too and reuses the scratch's digest object.
  TORNELL_TRY(transcriptScratch.CopyFrom(transcriptDigest));
  TORNELL_TRY(transcriptScratch.Final());
  return out.Set(transcriptScratch.GetDigest(), transcriptScratch.GetDigestLength());
}

int TlsSecurityContext::Tls13CertificateVerifyDigest(const WireBuffer& messages, int own, ByteString& out) const {
  ByteString transcript;
  TORNELL_TRY(TranscriptHash(messages, transcript));
  const bool clientSigns = own != 0 ? isClient != 0 : isClient == 0;
  const char* hashName = tls::SignatureSchemeHash(own != 0 ? ownSignatureScheme : peerSignatureScheme);
  if (hashName == nullptr) return kStatusUnknownDigest;
  // The signed content (RFC 8446 section 4.4.3) is fed to the digest field
  // by field, never gathered in one buffer.
  char pad[kCertificateVerifyPadLength];
  std::memset(pad, 0x20, sizeof pad);
  const char* context = clientSigns ? "TLS 1.3, client CertificateVerify" : "TLS 1.3, server CertificateVerify";
  HashContext hash;
  TORNELL_TRY(hash.SetAlgorithm(hashName));
  TORNELL_TRY(hash.Update(pad, int(sizeof pad)));
  TORNELL_TRY(hash.Update(context, int(std::strlen(context)) + 1));  // with its zero byte
  TORNELL_TRY(hash.Update(transcript.Data(), transcript.Length()));
  TORNELL_TRY(hash.Final());
  return out.Set(hash.GetDigest(), hash.GetDigestLength());
}

int TlsSecurityContext::FinishedLabel(int own, ByteString& out) const {
  const bool clientSends = own != 0 ? isClient != 0 : isClient == 0;
  if (version == kSsl30) return out.Set(clientSends ? "CLNT" : "SRVR");
  return out.Set(clientSends ? "client finished" : "server finished");
}

int TlsSecurityContext::Prf(const ByteString& secret, const ByteString& label, const ByteString& seed, int length,
                            ByteString& out) const {
  SecretBytes joined;
  TORNELL_TRY(joined.Assign(label));
  TORNELL_TRY(joined.Append(seed));
  SecretBytes result;
  int status = kStatusOk;
  if (version == kSsl30) {
    status = TlsPrf::Ssl3KeyBlock(secret, joined, length, result);
  } else if (prfHash == kPrfSha256) {
    status = TlsPrf::Tls12PrfSha256(secret, joined, length, result);
  } else if (prfHash == kPrfSha384) {
    status = TlsPrf::Tls12PrfSha384(secret, joined, length, result);
  } else {
    status = TlsPrf::Tls10Prf(secret, joined, length, result);
  }
  TORNELL_TRY(status);
  return out.Assign(result);
}

int TlsSecurityContext::Prf(const ByteString& secret, const char* label, const ByteString& seed, int length,
                            ByteString& out) const {
  ByteString text;
  TORNELL_TRY(text.Set(label != nullptr ? label : ""));
  return Prf(secret, text, seed, length, out);
}

int TlsSecurityContext::SetClientTrafficKeys(const ByteString& key, const ByteString& iv) {
  return (isClient != 0 ? writeState : readState).SetKeyAndIv(key, iv);
}

int TlsSecurityContext::SetServerTrafficKeys(const ByteString& key, const ByteString& iv) {
  return (isClient != 0 ? readState : writeState).SetKeyAndIv(key, iv);
}

int TlsSecurityContext::SetMacSecrets(const ByteString& client, const ByteString& server) {
  TORNELL_TRY(writeState.SetMacSecret(isClient != 0 ? client : server));
  return readState.SetMacSecret(isClient != 0 ? server : client);
}

int TlsSecurityContext::SetIvs(const ByteString& client, const ByteString& server) {
  TORNELL_TRY(writeState.SetFixedIv(isClient != 0 ? client : server));
  return readState.SetFixedIv(isClient != 0 ? server : client);
}

int TlsSecurityContext::UsesRsaPss(int scheme) const {
  return version == 0x0304 && (scheme == 0x0804 || scheme == 0x0805 || scheme == 0x0806) ? 1 : 0;
}

}  // namespace tornell
