#include "tls/engine/TlsEngine.h"

#include "core/base/Status.h"
#include "pki/store/SelectedCertificate.h"
#include "tls/engine/TlsSettingLists.h"

namespace tornell {
namespace {

template <typename Text, size_t N>
int AssignAll(Text* const (&to)[N], const Text* const (&from)[N]) {
  for (size_t i = 0; i < N; ++i) TORNELL_TRY(to[i]->Assign(*from[i]));
  return kStatusOk;
}

}  // namespace

TlsEngine::TlsEngine() { (void)SetDefaults(nullptr, 1); }  // defaults cannot fail on fresh members

TlsEngine::~TlsEngine() {
  delete peerSelected;
  delete previousPeerSelected;
  delete ownSelected;
}

int TlsEngine::SetDefaults(TlsOwner* newOwner, int newRole) {
  role = newRole;
  authenticateClients = relaxedChecks = 0;
  sessionReuse = acceptPeerChain = renegotiationEnabled = 1;
  resumed = logSecrets = tls13 = established = 0;
  securityFlags = 0;
  protocolMask = kDefaultProtocolMask;
  serverDhBits = kDefaultServerDhBits;
  handshakeState = tlsstate::kStart;
  (void)tls12SupportedGroups.Set(tls::kTls12GroupsText);  // the inline buffers hold the defaults
  (void)tls13SupportedGroups.Set(tls::kTls13GroupsText);
  (void)tls13KeyShareGroups.Set(tls::kTls13KeyShareGroupsText);
  (void)tls12SignatureAlgorithms.Set(tls::kTls12SignatureAlgorithmsText);
  (void)tls13SignatureAlgorithms.Set(tls::kTls13SignatureSchemesText);
  logPackets = 0;
  if (flightState != kFlightSending) flightState = kFlightIdle;
  owner = newOwner;
  pendingOutput.Clear();
  receiveBuffer.Clear();
  lastErrorText.Clear();
  handshakeFragment.Clear();
  changeCipherSpecSeen = 0;
  failure = 0;
  return kStatusOk;
}

int TlsEngine::CopyFrom(TlsEngine& source) {
  if (this == &source) return kStatusOk;
  role = source.role;
  authenticateClients = source.authenticateClients;
  relaxedChecks = source.relaxedChecks;
  sessionReuse = source.sessionReuse;
  acceptPeerChain = source.acceptPeerChain;
  renegotiationEnabled = source.renegotiationEnabled;
  resumed = source.resumed;
  logSecrets = source.logSecrets;
  tls13 = source.tls13;
  established = 0;
  securityFlags = source.securityFlags;
  protocolMask = source.protocolMask;
  serverDhBits = source.serverDhBits;
  handshakeState = source.handshakeState;
  SettingText* const settings[] = {&tls12SignatureAlgorithms, &tls12SupportedGroups, &tls13SignatureAlgorithms,
                                   &tls13SupportedGroups, &tls13KeyShareGroups};
  const SettingText* const sourceSettings[] = {&source.tls12SignatureAlgorithms, &source.tls12SupportedGroups,
                                               &source.tls13SignatureAlgorithms, &source.tls13SupportedGroups,
                                               &source.tls13KeyShareGroups};
  TORNELL_TRY(AssignAll(settings, sourceSettings));
  ByteString* const mine[] = {&receiveBuffer, &alpnProtocols, &negotiatedAlpn, &remoteHost, &cipherSuites,
                              &handshakeFragment, &undeliveredData, &lastErrorText, &traceLabel};
  const ByteString* const theirs[] = {&source.receiveBuffer, &source.alpnProtocols, &source.negotiatedAlpn,
                                      &source.remoteHost, &source.cipherSuites, &source.handshakeFragment,
                                      &source.undeliveredData, &source.lastErrorText, &source.traceLabel};
  TORNELL_TRY(AssignAll(mine, theirs));
  TORNELL_TRY(cachedSession.CopyFrom(source.cachedSession));
  TORNELL_TRY(current.CopyFrom(source.current, 0));
  TORNELL_TRY(pending.CopyFrom(source.pending, 0));
  // The source owns its peer's selected certificate; the DER comes along.
  current.peerCertificate = pending.peerCertificate = nullptr;
  TORNELL_TRY(CopyOwnCertificate(source));
  if (flightState != kFlightSending) flightState = kFlightIdle;
  TORNELL_TRY(handshakeMessages.Clear());
  TORNELL_TRY(sessionCache.CopyFrom(source.sessionCache));
  TORNELL_TRY(offeredVersions.Assign(source.offeredVersions));
  TORNELL_TRY(offeredSuites.Assign(source.offeredSuites));
  TORNELL_TRY(keyShareGroups.Assign(source.keyShareGroups));
  TORNELL_TRY(pendingOutput.Assign(source.pendingOutput));
  logPackets = source.logPackets;
  changeCipherSpecSeen = source.changeCipherSpecSeen;
  failure = source.failure;
  return kStatusOk;
}

int TlsEngine::SetCipherSuites(const char* text) {
  TORNELL_TRY(cipherSuites.Set(text == nullptr || *text == '\0' ? "*" : text));
  cipherSuites.ToUpper();
  return kStatusOk;
}

int TlsEngine::Status(const char* text) { return owner != nullptr ? owner->OnTlsStatus(text) : kStatusOk; }

int TlsEngine::StartHandshake() {
  TORNELL_TRY(Status("Socket connection established."));
  TORNELL_TRY(current.Reset());
  // A client's hello begins by resetting the pending context itself.
  if (role == 0) TORNELL_TRY(pending.Reset());
  current.isClient = pending.isClient = role;
  negotiatedAlpn.Clear();
  handshakeFragment.Clear();
  TORNELL_TRY(handshakeMessages.Clear());
  changeCipherSpecSeen = 0;
  tls13 = 0;
  resumed = 0;
  secureRenegotiation = 0;
  ownVerifyData.Clear();
  peerVerifyData.Clear();
  handshakeState = role != 0 ? tlsstate::kStart : tlsstate::kAwaitClientHello;
  if (role == 0) return kStatusOk;
  const int status = SendFirstClientHello();
  return status == kWouldBlock ? kStatusOk : status;
}

int TlsEngine::Receive(const char* data, int length) {
  if (failure != 0) return failure;
  if (data == nullptr || length <= 0) return kStatusOk;
  return ProcessInput(data, length);
}

int TlsEngine::Send(const char* data, int length, int& sent) {
  sent = 0;
  if (failure != 0) return failure;
  if (!pendingOutput.IsEmpty()) {
    ByteString queued;
    TORNELL_TRY(queued.Assign(pendingOutput));
    pendingOutput.Clear();
    TORNELL_TRY(RawSend(queued.Data(), queued.Length()));
  }
  if (data == nullptr || length < 1) return kStatusOk;
  // Before the handshake completes there are no keys: the data would go out in the clear.
  if (established == 0 || !current.IsWriteActive()) return kStatusNotEstablished;
  int status = kStatusOk;
  int done = 0;
  while (done < length) {
    const int piece = length - done < kMaxPlaintext ? length - done : kMaxPlaintext;
    status = SendRecord(23, current.version, data + done, piece);
    if (status != kStatusOk && status != kWouldBlock) break;
    done += piece;  // a would-block keeps the rest of the record in pendingOutput
    if (status == kWouldBlock) break;
  }
  sent = done;
  return status;
}

int TlsEngine::FlushPending() {
  if (failure != 0) return failure;
  if (pendingOutput.IsEmpty()) return kStatusOk;
  int sent = 0;
  return Send(nullptr, 0, sent);
}

int TlsEngine::OnPeerClosed(long, int socketClosed) {
  int status = kStatusOk;
  if (role != 0 && established == 0 && socketClosed == 1 && failure == 0) {
    status = lastErrorText.IsEmpty() ? RaiseFatal(kStatusHandshakeFailed, "Remote host disconnected during SSL negotiation.")
                                     : kStatusOk;
  }
  established = 0;
  (void)status;  // the fatal error is reported to the owner; closing itself succeeds
  return kStatusOk;
}

// Every write to the socket. Bytes the transport would not take are kept, in
// every state, and the next write queues behind them.
int TlsEngine::RawSend(const char* data, int length) {
  if (data == nullptr || length < 1) return kStatusOk;
  if (!pendingOutput.IsEmpty()) return pendingOutput.Append(data, length);
  if (owner == nullptr) return kStatusOk;
  int sent = 0;
  const int status = owner->SendRaw(data, length, sent);
  if (status != kWouldBlock) return status;
  if (sent < 0 || sent > length) sent = 0;
  TORNELL_TRY(pendingOutput.Append(data + sent, length - sent));
  return kWouldBlock;
}

// The first fatal failure latches: every later Receive and Send returns it.
int TlsEngine::RaiseFatal(int code, const char* text) {
  if (failure != 0) return failure;
  failure = code;
  if (owner != nullptr) (void)owner->OnTlsError(code, text);  // the fatal call below carries the result
  if (established == 0) (void)lastErrorText.Set(text);      // a lost text leaves the generic one
  int status = owner != nullptr ? owner->ReturnError(code, text) : code;
  // A failure never turns into success, whatever the owner answers.
  if (status == kStatusOk) status = code;
  failure = status;
  // A handshake that fails has ended too; the owner hears it as it would a success.
  if (established == 0 && owner != nullptr) (void)owner->OnTlsHandshakeDone(text != nullptr ? text : "");
  return status;
}

int TlsEngine::SendFatalAlert(int description, const char*) {
  const int status = SendAlert(tlsalert::kFatal, description);
  return status == kStatusOk || status == kWouldBlock ? kStatusAlertSent : status;
}

int TlsEngine::FailWithAlert(int description, int code, const char* text) {
  (void)SendFatalAlert(description, text);  // the connection fails whether or not the alert got out
  return RaiseFatal(code, text);
}

}  // namespace tornell
