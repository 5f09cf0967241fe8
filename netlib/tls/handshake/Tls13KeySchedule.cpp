// The TLS 1.3 key schedule without pre-shared keys or early data: the
// handshake secrets once the key shares are known, the application secrets
// once the server's Finished is in the transcript, and the switch to them
// after the client's Finished.
#include "core/base/Status.h"
#include "core/text/SecretBytes.h"
#include "crypto/digest/hash/HashAlgorithm.h"
#include "crypto/digest/hash/HashContext.h"
#include "crypto/digest/mac/Hmac.h"
#include "tls/engine/TlsEngine.h"
#include "tls/suites/CipherSuite.h"

namespace tornell {

namespace {

const char* const kLabelPrefix = "tls13 ";

// The keys and IV of one traffic secret, sized for the suite, from an HMAC
// keyed with the secret.
int TrafficKeys(const CipherSuite& suite, Hmac& secret, ByteString& key, ByteString& iv) {
  const ByteString none;
  TORNELL_TRY(CipherSuite::HkdfExpandLabel(secret, suite.GetMacHash(), "key", none, suite.GetKeyLength(),
                                           kLabelPrefix, key));
  return CipherSuite::HkdfExpandLabel(secret, suite.GetMacHash(), "iv", none, suite.GetIvLength(), kLabelPrefix, iv);
}

int TrafficKeys(const CipherSuite& suite, const ByteString& secret, ByteString& key, ByteString& iv) {
  Hmac keyed;
  TORNELL_TRY(keyed.Init(suite.GetMacHash(), secret.Data(), secret.Length()));
  return TrafficKeys(suite, keyed, key, iv);
}

// Each secret keys one HMAC, which every label drawn from it reuses.
int Keyed(int hash, const ByteString& secret, Hmac& out) { return out.Init(hash, secret.Data(), secret.Length()); }

// Derive-Secret (RFC 8446 section 7.1) from a keyed secret.
int Derive(Hmac& from, int hash, const char* label, const ByteString& transcript, ByteString& out) {
  return CipherSuite::HkdfExpandLabel(from, hash, label, transcript, HashContext::DigestLengthOf(hash), kLabelPrefix,
                                      out);
}

// Without a pre-shared key, the early secret (HKDF-Extract of two zero
// strings), the empty transcript's hash and Derive-Secret(early, "derived")
// are the same for every handshake of a hash: RFC 8446 values, not worked
// out again each time.
struct NoPskValues {
  int hash;
  int length;
  const char* early;
  const char* emptyHash;
  const char* derived;
};

constexpr NoPskValues kNoPsk[] = {
    {HashAlgorithm::kSha256, 32,
     "\x33\xad\x0a\x1c\x60\x7e\xc0\x3b\x09\xe6\xcd\x98\x93\x68\x0c\xe2\x10\xad\xf3\x00\xaa\x1f\x26\x60"
     "\xe1\xb2\x2e\x10\xf1\x70\xf9\x2a",
     "\xe3\xb0\xc4\x42\x98\xfc\x1c\x14\x9a\xfb\xf4\xc8\x99\x6f\xb9\x24\x27\xae\x41\xe4\x64\x9b\x93\x4c"
     "\xa4\x95\x99\x1b\x78\x52\xb8\x55",
     "\x6f\x26\x15\xa1\x08\xc7\x02\xc5\x67\x8f\x54\xfc\x9d\xba\xb6\x97\x16\xc0\x76\x18\x9c\x48\x25\x0c"
     "\xeb\xea\xc3\x57\x6c\x36\x11\xba"},
    {HashAlgorithm::kSha384, 48,
     "\x7e\xe8\x20\x6f\x55\x70\x02\x3e\x6d\xc7\x51\x9e\xb1\x07\x3b\xc4\xe7\x91\xad\x37\xb5\xc3\x82\xaa"
     "\x10\xba\x18\xe2\x35\x7e\x71\x69\x71\xf9\x36\x2f\x2c\x2f\xe2\xa7\x6b\xfd\x78\xdf\xec\x4e\xa9\xb5",
     "\x38\xb0\x60\xa7\x51\xac\x96\x38\x4c\xd9\x32\x7e\xb1\xb1\xe3\x6a\x21\xfd\xb7\x11\x14\xbe\x07\x43"
     "\x4c\x0c\xc7\xbf\x63\xf6\xe1\xda\x27\x4e\xde\xbf\xe7\x6f\x65\xfb\xd5\x1a\xd2\xf1\x48\x98\xb9\x5b",
     "\x15\x91\xda\xc5\xcb\xbf\x03\x30\xa4\xa8\x4d\xe9\xc7\x53\x33\x0e\x92\xd0\x1f\x0a\x88\x21\x4b\x44"
     "\x64\x97\x2f\xd6\x68\x04\x9e\x93\xe5\x2f\x2b\x16\xfa\xd9\x22\xfd\xc0\x58\x44\x78\x42\x8f\x28\x2b"},
};

// The early secret, the empty hash and the derived secret for a hash.
int NoPskStart(int hash, const ByteString& zeros, ByteString& early, ByteString& h0, ByteString& derived) {
  for (const NoPskValues& row : kNoPsk) {
    if (row.hash != hash || row.length != zeros.Length()) continue;
    TORNELL_TRY(early.Set(row.early, row.length));
    TORNELL_TRY(h0.Set(row.emptyHash, row.length));
    return derived.Set(row.derived, row.length);
  }
  TORNELL_TRY(CipherSuite::HkdfExtract(hash, zeros, zeros, early));
  HashContext digest;
  TORNELL_TRY(digest.SetAlgorithm(hash));
  TORNELL_TRY(digest.Digest("", 0, h0));
  return CipherSuite::DeriveSecret(hash, early, "derived", h0, kLabelPrefix, derived);
}

// The transcript hash depends on nothing but the hash and the messages, so
// the pending context's running digest serves every context of the handshake
// with that hash: the messages are hashed once, not once per context.
int RunningTranscriptHash(const TlsSecurityContext& pending, const TlsSecurityContext& context,
                          const WireBuffer& messages, ByteString& out) {
  return (pending.prfHash == context.prfHash ? pending : context).TranscriptHash(messages, out);
}

}  // namespace

int TlsEngine::DeriveTls13HandshakeKeys() {
  pending.tls13SharedSecret.Clear();
  SecretBytes shared;
  TORNELL_TRY(pending.keyExchange.ComputeSharedSecret());
  TORNELL_TRY(pending.keyExchange.GetSharedSecretPadded(shared));
  return DeriveTls13HandshakeKeysFrom(shared);
}

int TlsEngine::DeriveTls13HandshakeKeysFrom(const ByteString& shared) {
  const CipherSuite& suite = pending.readState.Suite();
  const int hash = suite.GetMacHash();
  const int length = suite.GetMacLength();
  pending.tls13SharedSecret.Clear();
  TORNELL_TRY(SecretDump("dhSecret", shared));
  pending.UpdatePrfHash();
  SecretBytes zeros;
  TORNELL_TRY(zeros.AppendRepeated(length, 0));
  TORNELL_TRY(pending.tls13SharedSecret.Assign(zeros));
  TORNELL_TRY(SecretDump("PSK", pending.tls13SharedSecret));
  SecretBytes early, derived;
  ByteString h0;
  TORNELL_TRY(NoPskStart(hash, zeros, early, h0, derived));
  TORNELL_TRY(SecretDump("Tls13_EarlySecret", early));
  TORNELL_TRY(SecretDump("h0", h0));
  TORNELL_TRY(SecretDump("preHandshakeSecret", derived));
  SecretBytes handshakeSecret;
  TORNELL_TRY(CipherSuite::HkdfExtract(hash, derived, shared, handshakeSecret));
  TORNELL_TRY(SecretDump("Tls13_HandshakeSecret", handshakeSecret));
  TORNELL_TRY(SecretDump("h2 bytes:", handshakeMessages.Data(), handshakeMessages.Length()));
  ByteString h2;
  TORNELL_TRY(pending.TranscriptHash(handshakeMessages, h2));
  TORNELL_TRY(SecretDump("h2", h2));
  Hmac fromHandshake, fromClient, fromServer;
  TORNELL_TRY(Keyed(hash, handshakeSecret, fromHandshake));
  SecretBytes clientSecret, serverSecret;
  TORNELL_TRY(Derive(fromHandshake, hash, "c hs traffic", h2, clientSecret));
  TORNELL_TRY(SecretDump("Tls13_ClientHandshakeTrafficSecret", clientSecret));
  TORNELL_TRY(Derive(fromHandshake, hash, "s hs traffic", h2, serverSecret));
  TORNELL_TRY(SecretDump("Tls13_ServerHandshakeTrafficSecret", serverSecret));
  TORNELL_TRY(Keyed(hash, clientSecret, fromClient));
  TORNELL_TRY(Keyed(hash, serverSecret, fromServer));
  SecretBytes clientKey, clientIv, serverKey, serverIv;
  TORNELL_TRY(TrafficKeys(suite, fromClient, clientKey, clientIv));
  TORNELL_TRY(SecretDump("Tls13_ClientHandshakeKey", clientKey));
  TORNELL_TRY(SecretDump("Tls13_ClientHandshakeIV", clientIv));
  TORNELL_TRY(TrafficKeys(suite, fromServer, serverKey, serverIv));
  TORNELL_TRY(SecretDump("Tls13_ServerHandshakeKey", serverKey));
  TORNELL_TRY(SecretDump("Tls13_ServerHandshakeIV", serverIv));
  SecretBytes derived2;
  TORNELL_TRY(Derive(fromHandshake, hash, "derived", h0, derived2));
  TORNELL_TRY(CipherSuite::HkdfExtract(hash, derived2, zeros, pending.masterSecret));
  TORNELL_TRY(SecretDump("MasterSecret", pending.masterSecret));
  TORNELL_TRY(pending.SetClientTrafficKeys(clientKey, clientIv));
  TORNELL_TRY(pending.SetServerTrafficKeys(serverKey, serverIv));
  const ByteString none;
  SecretBytes clientFinished, serverFinished;
  TORNELL_TRY(CipherSuite::HkdfExpandLabel(fromClient, hash, "finished", none, length, kLabelPrefix, clientFinished));
  TORNELL_TRY(SecretDump("client_finished_key", clientFinished));
  TORNELL_TRY(CipherSuite::HkdfExpandLabel(fromServer, hash, "finished", none, length, kLabelPrefix, serverFinished));
  TORNELL_TRY(SecretDump("server_finished_key", serverFinished));
  TORNELL_TRY(pending.SetMacSecrets(clientFinished, serverFinished));
  TORNELL_TRY(pending.SetIvs(clientIv, serverIv));
  pending.readState.Activate();
  pending.writeState.Activate();
  if (current.HasHelloRandom() == 0) return current.CopyFrom(pending, 0);
  return current.TakeNegotiated(pending);
}

int TlsEngine::DeriveTls13ApplicationKeys(int) {
  const CipherSuite& suite = current.readState.Suite();
  const int hash = suite.GetMacHash();
  ByteString h4;
  TORNELL_TRY(RunningTranscriptHash(pending, current, handshakeMessages, h4));
  Hmac fromMaster;
  TORNELL_TRY(Keyed(hash, current.masterSecret, fromMaster));
  SecretBytes clientSecret, serverSecret;
  TORNELL_TRY(Derive(fromMaster, hash, "c ap traffic", h4, clientSecret));
  TORNELL_TRY(SecretDump("Tls13_ClientApplicationTrafficSecret", clientSecret));
  TORNELL_TRY(Derive(fromMaster, hash, "s ap traffic", h4, serverSecret));
  TORNELL_TRY(SecretDump("Tls13_ServerApplicationTrafficSecret", serverSecret));
  // RFC 8446's label; peers derive their exporters from this value.
  TORNELL_TRY(Derive(fromMaster, hash, "exp master", h4, current.exporterMasterSecret));
  TORNELL_TRY(SecretDump("Tls13_ExporterMasterSecret", current.exporterMasterSecret));
  TORNELL_TRY(TrafficKeys(suite, clientSecret, current.clientApplicationKey, current.clientApplicationIv));
  TORNELL_TRY(TrafficKeys(suite, serverSecret, current.serverApplicationKey, current.serverApplicationIv));
  TORNELL_TRY(SecretDump("Tls13_ClientApplicationKey", current.clientApplicationKey));
  TORNELL_TRY(SecretDump("Tls13_ClientApplicationIV", current.clientApplicationIv));
  TORNELL_TRY(SecretDump("Tls13_ServerApplicationKey", current.serverApplicationKey));
  TORNELL_TRY(SecretDump("Tls13_ServerApplicationIV", current.serverApplicationIv));
  TORNELL_TRY(applicationTrafficSecrets[0].Assign(clientSecret));
  TORNELL_TRY(applicationTrafficSecrets[1].Assign(serverSecret));
  // The pending record states hold the same handshake keys already and are
  // given the application keys before they are ever used again.
  return pending.CopyFrom(current, 1);
}

int TlsEngine::InstallTls13ApplicationKeys(TlsSecurityContext& context) {
  TORNELL_TRY(context.readState.SetSuiteByCode(context.readState.Suite().GetCode()));
  TORNELL_TRY(context.writeState.SetSuiteByCode(context.writeState.Suite().GetCode()));
  TORNELL_TRY(context.SetClientTrafficKeys(context.clientApplicationKey, context.clientApplicationIv));
  TORNELL_TRY(context.SetServerTrafficKeys(context.serverApplicationKey, context.serverApplicationIv));
  TORNELL_TRY(context.SetIvs(context.clientApplicationIv, context.serverApplicationIv));
  context.readState.Activate();
  context.writeState.Activate();
  return kStatusOk;
}

// The next generation of one direction's application traffic secret
// (RFC 8446 section 7.2) replaces that record state's keys; its sequence
// number starts again at 0.
int TlsEngine::UpdateTrafficSecret(int write) {
  RecordCipherState& state = write != 0 ? current.writeState : current.readState;
  const int code = state.Suite().GetCode();
  const int client = (write != 0) == (current.isClient != 0) ? 1 : 0;
  SecretBytes& secret = applicationTrafficSecrets[client != 0 ? 0 : 1];
  if (secret.IsEmpty()) return kStatusHandshakeFailed;
  CipherSuite suite;
  TORNELL_TRY(CipherSuite::CopyByCode(code, suite));
  const ByteString none;
  SecretBytes next, key, iv;
  TORNELL_TRY(CipherSuite::HkdfExpandLabel(suite.GetMacHash(), secret, "traffic upd", none, suite.GetMacLength(),
                                           kLabelPrefix, next));
  TORNELL_TRY(TrafficKeys(suite, next, key, iv));
  TORNELL_TRY(SecretDump(client != 0 ? "Tls13_ClientApplicationTrafficSecret" : "Tls13_ServerApplicationTrafficSecret",
                         next));
  TORNELL_TRY(state.SetSuiteByCode(code));
  TORNELL_TRY(state.SetKeyAndIv(key, iv));
  TORNELL_TRY(state.SetFixedIv(iv));
  state.Activate();
  TORNELL_TRY(secret.Assign(next));
  TORNELL_TRY((client != 0 ? current.clientApplicationKey : current.serverApplicationKey).Assign(key));
  return (client != 0 ? current.clientApplicationIv : current.serverApplicationIv).Assign(iv);
}

int TlsEngine::FinishTls13Handshake() {
  TORNELL_TRY(DeriveTls13ApplicationKeys(role));
  BeginFlight();
  int status = pending.certificateRequested != 0 ? SendCertificate() : kStatusOk;
  if (status == kStatusOk && pending.certificateRequested != 0) status = SendCertificateVerify();
  if (status == kStatusOk || status == kWouldBlock) status = SendFinished(pending);
  const int flushed = FlushFlight();
  if (status != kStatusOk && status != kWouldBlock) return status;
  if (flushed != kStatusOk && flushed != kWouldBlock) return flushed;
  if (failure != 0) return failure;
  TORNELL_TRY(InstallTls13ApplicationKeys(pending));
  TORNELL_TRY(current.CopyFrom(pending, 0));
  return CompleteHandshake();
}

// The verify_data of a TLS 1.3 Finished: an HMAC of the transcript hash under
// the finished key, which sits as the MAC secret of that direction's suite.
int TlsEngine::ComputeTls13Finished(TlsSecurityContext& context, int ownDirection, ByteString& out) {
  ByteString hash;
  TORNELL_TRY(RunningTranscriptHash(pending, context, handshakeMessages, hash));
  const CipherSuite& suite = ownDirection != 0 ? context.writeState.Suite() : context.readState.Suite();
  // Each finished key serves one MAC: keyed here, not kept on the suite's heap.
  SecretBytes key;
  TORNELL_TRY(suite.GetMacSecret(key));
  Hmac mac;
  TORNELL_TRY(Keyed(suite.GetMacHash(), key, mac));
  return mac.Mac(hash.Data(), hash.Length(), out);
}

}  // namespace tornell
