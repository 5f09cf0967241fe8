#pragma once
// The TLS endpoint of one connection. The owner feeds it the bytes read from
// the socket (Receive) and the application data to send (Send); the engine
// answers through the owner's calls (TlsOwner) and never touches a socket.
#include <cstdint>
#include <memory>

#include "core/buffer/PtrList.h"
#include "core/buffer/WireBuffer.h"
#include "core/text/ByteString.h"
#include "core/text/SecretBytes.h"
#include "core/text/StringList.h"
#include "tls/context/TlsSecurityContext.h"
#include "tls/engine/SessionCache.h"
#include "tls/engine/TlsOwner.h"
#include "tls/suites/CodeList.h"
#include "tls/suites/DhParameters.h"

namespace tornell {

namespace tls {
class MessageReader;
class MessageWriter;
}  // namespace tls

namespace tlsalert {
constexpr int kWarning = 1;
constexpr int kFatal = 2;
constexpr int kCloseNotify = 0;
constexpr int kUnexpectedMessage = 10;
constexpr int kBadRecordMac = 20;
constexpr int kRecordOverflow = 22;
constexpr int kHandshakeFailure = 40;
constexpr int kCertificateUnknown = 46;
constexpr int kIllegalParameter = 47;
constexpr int kDecodeError = 50;
constexpr int kProtocolVersion = 70;
constexpr int kUserCanceled = 90;
constexpr int kNoRenegotiation = 100;
constexpr int kMissingExtension = 109;
}  // namespace tlsalert

namespace tlsstate {
constexpr int kStart = 0;
constexpr int kServerFlight = 1;
constexpr int kAwaitClientHello = 2;
constexpr int kCertificateRequest = 3;
constexpr int kPeerCertificate = 4;
constexpr int kAwaitFinished = 8;
constexpr int kComplete = 10;
constexpr int kClosed = 20;
constexpr int kTls13ServerHello = 30;
constexpr int kTls13Extensions = 31;
}  // namespace tlsstate

// A list setting's text, with room inline for the longest default list: the
// settings of a new engine take no allocation.
using SettingText = InlineString<191>;

class TlsEngine {
 public:
  static constexpr int kStatusHandshakeFailed = 276;
  static constexpr int kStatusNegotiationFailed = 278;
  static constexpr int kStatusIntegrityFailed = 286;
  static constexpr int kStatusNotEstablished = 107;  // Send before the handshake completed
  static constexpr int kWouldBlock = TlsOwner::kWouldBlock;
  static constexpr int kStatusAlertSent = -1;  // SendFatalAlert: the alert went out
  static constexpr int kMaxPlaintext = 16384;
  static constexpr int kMaxCiphertext = kMaxPlaintext + 2048;
  static constexpr int kMaxHandshakeMessage = 1 << 20;
  static constexpr int kRecordHeader = 5;
  static constexpr int kHandshakeHeader = 4;
  static constexpr int kDefaultProtocolMask = 0xFFFF;
  static constexpr int kDefaultServerDhBits = 1024;
  static constexpr int kStatusNameMismatch = 275;
  static constexpr int kStatusCertificateRefused = 280;
  static constexpr int kStatusChainUnavailable = 279;  // an event only
  static constexpr uint32_t kSkipHostCheck = 0x80000000u;

  TlsEngine();
  ~TlsEngine();
  TlsEngine(const TlsEngine&) = delete;
  TlsEngine& operator=(const TlsEngine&) = delete;

  // ---- settings ----
  int SetDefaults(TlsOwner* newOwner, int newRole);
  // A deep copy of the settings, state and both contexts; not the owner.
  [[nodiscard]] int CopyFrom(TlsEngine& source);
  // The source's own certificate, as a selection of this engine's own.
  [[nodiscard]] int CopyOwnCertificate(const TlsEngine& source);
  [[nodiscard]] int SetEnabledProtocols(int mask) { protocolMask = mask; return kStatusOk; }
  [[nodiscard]] int SetSecurityFlags(int flags) { securityFlags = uint32_t(flags); return kStatusOk; }
  [[nodiscard]] int SetTls12SignatureAlgorithms(const char* text) { return tls12SignatureAlgorithms.Set(Text(text)); }
  [[nodiscard]] int SetTls12SupportedGroups(const char* text) { return tls12SupportedGroups.Set(Text(text)); }
  [[nodiscard]] int SetTls13SignatureAlgorithms(const char* text) { return tls13SignatureAlgorithms.Set(Text(text)); }
  [[nodiscard]] int SetTls13SupportedGroups(const char* text) { return tls13SupportedGroups.Set(Text(text)); }
  [[nodiscard]] int SetTls13KeyShareGroups(const char* text) { return tls13KeyShareGroups.Set(Text(text)); }
  [[nodiscard]] int SetAlpnProtocols(const char* text) { return alpnProtocols.Set(Text(text)); }
  [[nodiscard]] int SetRemoteHost(const char* text) { return remoteHost.Set(Text(text)); }
  [[nodiscard]] int SetCipherSuites(const char* text);
  [[nodiscard]] int SetSessionReuse(int value) { sessionReuse = value; return kStatusOk; }
  [[nodiscard]] int SetLogPackets(int value) { logPackets = value; return kStatusOk; }
  // Selects the own certificate and key from a store (no blob); without one
  // the engine answers a CertificateRequest with an empty list.
  [[nodiscard]] int SetCertificateStore(const char* store, int length, int type, const char* password,
                                        const char* subject);
  int GetAcceptPeerChain() const { return acceptPeerChain; }
  int IsRenegotiationEnabled() const { return renegotiationEnabled; }
  int IsEstablished() const { return established; }
  int IsClosed() const { return handshakeState == tlsstate::kClosed ? 1 : 0; }
  const char* GetNegotiatedAlpn() const { return negotiatedAlpn.CStr(); }
  int IsSsl30Enabled() const { return MaskHas(0x0030); }
  int IsTls10Enabled() const { return MaskHas(0x00C0); }
  int IsTls11Enabled() const { return MaskHas(0x0300); }
  int IsTls12Enabled() const { return MaskHas(0x0C00); }
  int IsTls13Enabled() const { return MaskHas(0x3000); }

  // ---- entry operations ----
  [[nodiscard]] int StartHandshake();
  [[nodiscard]] int Receive(const char* data, int length);
  [[nodiscard]] int Send(const char* data, int length, int& sent);
  [[nodiscard]] int FlushPending();
  [[nodiscard]] int OnPeerClosed(long code, int socketClosed);
  // The end of a successful handshake: the owner is told and data may flow.
  [[nodiscard]] int CompleteHandshake();
  [[nodiscard]] int RawSend(const char* data, int length);
  [[nodiscard]] int RaiseFatal(int code, const char* text);
  [[nodiscard]] int SendFatalAlert(int description, const char* text);
  // The status every Receive and Send returns after a fatal failure (0: none).
  int GetFailure() const { return failure; }

  // ---- record layer ----
  [[nodiscard]] int ProcessInput(const char* data, int length);
  [[nodiscard]] int RecordSize(const char* bytes, int left, int& size);
  [[nodiscard]] int ProcessRecord(const char* record, int size);
  [[nodiscard]] int ProcessHandshakeRecord(const char* payload, int length);
  [[nodiscard]] int ProcessApplicationData(const char* payload, int length);
  [[nodiscard]] int ProcessAlert(const char* record, int size, const char* payload, int length);
  [[nodiscard]] int ProcessChangeCipherSpec(const char* payload, int length);
  [[nodiscard]] int UnprotectRecord(const char* record, int size, int& type, ByteString& plain);
  [[nodiscard]] int ProtectRecord(int type, int version, const char* data, int length);
  [[nodiscard]] int SendRecord(int type, int version, const char* data, int length);
  [[nodiscard]] int SendRecordBuffer(int type, int version, const WireBuffer& data);
  [[nodiscard]] int SendRecordBytes(const char* data, int length);
  void BeginFlight();
  [[nodiscard]] int FlushFlight();
  [[nodiscard]] int BeginHandshakeMessage(int type, WireBuffer& message);
  [[nodiscard]] int SendHandshakeMessage(WireBuffer& message);
  [[nodiscard]] int AddToHandshakeMessages(int flag, const char* data, int offset, int length);
  [[nodiscard]] int SendAlert(int level, int description);
  [[nodiscard]] int SendCloseNotify();
  // Bytes consumed, or -1 for a width outside 1-4 or a length past the end.
  static int ReadIntVector(WireBuffer& in, int lengthWidth, int itemWidth, CodeList& out);
  static int ReadPairVector(WireBuffer& in, int lengthWidth, int keyWidth, int valueLengthWidth, CodeList& keys,
                            StringList& values);
  [[nodiscard]] int ParseEncryptedExtensions(WireBuffer& in, int& consumed);
  [[nodiscard]] int ParseNewSessionTicket(WireBuffer& in, int& consumed);
  static void XorSequenceIntoIv(const ByteString& iv, uint64_t sequence, uint8_t* out);

  // ---- record MAC ----
  [[nodiscard]] int ComputeRecordMac(const ByteString& data, ByteString& out, uint64_t sequence, int type);
  [[nodiscard]] int RecordMac(RecordCipherState& state, const char* data, int offset, int length, uint64_t sequence,
                              int type, ByteString& out);
  [[nodiscard]] int TlsRecordMac(RecordCipherState& state, const char* data, int offset, int length,
                                 uint64_t sequence, int type, ByteString& out);
  [[nodiscard]] int Ssl3RecordMac(RecordCipherState& state, const char* data, int offset, int length,
                                  uint64_t sequence, int type, ByteString& out);
  [[nodiscard]] static int DigestByName(const char* name, const ByteString& data, ByteString& out);

  // ---- client hello ----
  [[nodiscard]] int SendFirstClientHello();
  [[nodiscard]] int SendSsl2ClientHello();
  [[nodiscard]] int SendClientHello();
  [[nodiscard]] int WriteClientHelloExtensions(tls::MessageWriter& out);
  // One key_share entry, its key pair kept in keyShares.
  [[nodiscard]] int PutKeyShare(tls::MessageWriter& out, int group);
  [[nodiscard]] int InitPendingContext(TlsSecurityContext& context);
  int MaxClientVersion() const;
  static int HostTakesServerName(const char* host);
  [[nodiscard]] static int EncodeTls12SignatureAlgorithms(const char* text, ByteString& out);

  // ---- handshake dispatch and the server's messages ----
  [[nodiscard]] int DispatchHandshake(WireBuffer& in);
  [[nodiscard]] int RejectUnexpectedMessage(const char* name);
  [[nodiscard]] int ProcessHelloRequest(WireBuffer& in, int length);
  [[nodiscard]] int ProcessServerHello(WireBuffer& in, int length);
  [[nodiscard]] int ProcessServerHelloExtensions(WireBuffer& in, int blockLength);
  int PeekSupportedVersion(WireBuffer& in, int& version);
  [[nodiscard]] int ProcessHelloRetryRequest(WireBuffer& in, int length);
  [[nodiscard]] int ProcessTls13ServerHello(WireBuffer& in, tls::MessageReader& read, bool retry, int length);
  // A fatal alert that carries no text of its own; -1 once it went out.
  [[nodiscard]] int FailWithAlertOnly(int description);
  int IsVersionAcceptable(int version) const;
  [[nodiscard]] int ProcessCertificate(WireBuffer& in, int length);
  [[nodiscard]] int ProcessServerKeyExchange(WireBuffer& in, int length);
  [[nodiscard]] int ProcessEcdheServerKeyExchange(WireBuffer& in, int length);
  [[nodiscard]] int ProcessDheServerKeyExchange(WireBuffer& in, int length);
  [[nodiscard]] int ProcessRsaServerKeyExchange(WireBuffer& in, int length);
  [[nodiscard]] int VerifyKeyExchangeSignature(const ByteString& params, WireBuffer& in, int end, const char* digest);
  [[nodiscard]] int KeyExchangeDigest(tls::MessageReader& read, const char*& digest);
  [[nodiscard]] int AcceptKeyExchangeParameters(WireBuffer& in, tls::MessageReader& read, int start,
                                                const DhParameters& built);
  [[nodiscard]] int ProcessCertificateRequest(WireBuffer& in, int length);
  [[nodiscard]] int ProcessTls13CertificateRequest(WireBuffer& in, int length);
  [[nodiscard]] int ProcessServerHelloDone(WireBuffer& in, int length);
  [[nodiscard]] int ProcessCertificateVerify(WireBuffer& in, int length);
  [[nodiscard]] int ProcessFinished(WireBuffer& in, int length);
  // The peer's certificate: 1 accepted; otherwise a raised failure or 0. The
  // leaf, when given, is the first received certificate already decoded; it
  // becomes the peer's selected certificate.
  [[nodiscard]] int VerifyPeerCertificate(const StringList& received,
                                          std::unique_ptr<pki::X509Certificate> decodedLeaf);
  // A fresh selected certificate for the peer's leaf (no bytes for none), made
  // the pending context's peerCertificate; `decoded`, when given, is the leaf
  // decoded already, taken over.
  [[nodiscard]] int SelectPeerCertificate(const char* der, int length,
                                          std::unique_ptr<pki::X509Certificate> decoded = nullptr);
  static int IsSignatureAlgorithmAllowed(const char* list, const char* hash, const char* signature);

  // ---- client flights and key derivation ----
  [[nodiscard]] int SendCertificate();
  // The own certificate's DER, then those of the store's certificates that
  // issue it, without a root (event 279 when they cannot be had).
  [[nodiscard]] int OwnChain(SelectedCertificate& own, StringList& chain);
  [[nodiscard]] int SendClientKeyExchange();
  [[nodiscard]] int SendRsaKeyExchange();
  [[nodiscard]] int SendEcdhKeyExchange();
  [[nodiscard]] int SendDhKeyExchange();
  [[nodiscard]] int SendCertificateVerify();
  [[nodiscard]] int ChooseTls13OwnScheme(const ByteString& serverSchemes);
  int ChooseTls12OwnPair();
  [[nodiscard]] int SendChangeCipherSpec();
  [[nodiscard]] int SendFinished(TlsSecurityContext& context);
  [[nodiscard]] int ComputeFinished(TlsSecurityContext& context, const ByteString& label, int ownDirection,
                                    ByteString& out);
  // The MD5 hash (kSsl3Md5Length bytes), then the SHA-1 hash.
  [[nodiscard]] static int Ssl3HandshakeHash(const ByteString* sender, const ByteString& master,
                                             const WireBuffer& messages, ByteString& out);
  static constexpr int kSsl3Md5Length = 16;
  [[nodiscard]] int ComputeMasterSecret(const ByteString& premaster);
  [[nodiscard]] int DeriveKeyBlock(TlsSecurityContext& context);

  // ---- TLS 1.3 key schedule ----
  [[nodiscard]] int DeriveTls13HandshakeKeys();
  // The schedule from a known (EC)DHE secret, whatever group gave it.
  [[nodiscard]] int DeriveTls13HandshakeKeysFrom(const ByteString& shared);
  [[nodiscard]] int DeriveTls13ApplicationKeys(int side);
  [[nodiscard]] int InstallTls13ApplicationKeys(TlsSecurityContext& context);
  // A KeyUpdate after the handshake: the peer's next keys, and our own
  // KeyUpdate when the peer asks for it.
  [[nodiscard]] int ProcessKeyUpdate(WireBuffer& in, int length);
  // Sends a KeyUpdate (requestUpdate 1 asks the peer for one back) under the
  // current keys, then switches the write side to the next ones.
  [[nodiscard]] int SendKeyUpdate(int requestUpdate);
  // Moves the read (write 0) or write side to its next traffic secret.
  [[nodiscard]] int UpdateTrafficSecret(int write);
  [[nodiscard]] int ComputeTls13Finished(TlsSecurityContext& context, int ownDirection, ByteString& out);
  [[nodiscard]] int ProcessTls13CertificateVerify(WireBuffer& in, int length);
  // The client's flight after the server's Finished, then the application keys.
  [[nodiscard]] int FinishTls13Handshake();

  // ---- server role ----
  [[nodiscard]] int ProcessClientHello(WireBuffer& in, int length);
  [[nodiscard]] int ProcessSsl2ClientHello(WireBuffer& in);
  // The suite for the own certificate among the candidates (handshake
  // failure when none fits), reported with the version in the status texts;
  // also the curve of an EC certificate (-1 for others).
  [[nodiscard]] int ChooseServerSuite(const CodeList& candidates, const CodeList* groups, int tls13,
                                      CipherSuite& chosen, int& certificateGroup);
  [[nodiscard]] int ProcessSsl2Record(const char* record, int size);
  // The version the server speaks for a client's offer, or a raised failure.
  [[nodiscard]] int ChooseServerVersion(int version, int& chosen);
  [[nodiscard]] int SendServerFlight(const SessionCacheEntry* cached);
  [[nodiscard]] int SendServerHello(TlsSecurityContext& context);
  [[nodiscard]] int SendHelloRetryRequest(TlsSecurityContext& context, int suite, int group);
  [[nodiscard]] int SendEncryptedExtensions(TlsSecurityContext& context);
  [[nodiscard]] int SendServerCertificate();
  [[nodiscard]] int SendServerCertificateVerify();
  [[nodiscard]] int SendServerKeyExchange();
  [[nodiscard]] int SendRsaServerKeyExchange();
  [[nodiscard]] int SendDhServerKeyExchange();
  [[nodiscard]] int SendEcdhServerKeyExchange();
  [[nodiscard]] int SendCertificateRequest();
  [[nodiscard]] int SendServerHelloDone();
  [[nodiscard]] int SignKeyExchangeParameters(const ByteString& params, const char* digest, ByteString& out);
  [[nodiscard]] int ProcessClientKeyExchange(WireBuffer& in, int length);
  [[nodiscard]] int ProcessRsaClientKeyExchange(WireBuffer& in, int length);
  [[nodiscard]] int ProcessDhClientKeyExchange(WireBuffer& in, int length);
  [[nodiscard]] int ProcessEcdhClientKeyExchange(WireBuffer& in, int length);
  // After the client's TLS 1.3 Finished: the application keys in force.
  [[nodiscard]] int FinishServerTls13Handshake();
  // The signature schemes the own certificate's key can make, among the list's names.
  [[nodiscard]] static int OwnSignatureSchemes(SelectedCertificate* own, const char* list, CodeList& out);
  [[nodiscard]] static int MakeRandom(ByteString& out);
  const SessionCacheEntry* FindCachedSession(const ByteString& id);
  [[nodiscard]] int CacheSession(const SessionCacheEntry& entry) { return sessionCache.Add(entry); }

  [[nodiscard]] int Status(const char* text);

  // ---- trace (status texts) ----
  // Plain record, the protected record or null; only with logPackets on.
  [[nodiscard]] int TraceRecord(const char* plain, int plainLength, const char* protectedRecord,
                                int protectedLength, int outgoing);
  const char* VersionText(int version);
  const char* EnabledVersionsText();
  const char* OfferedSuitesText(const CodeList& codes);
  // The same text straight to the status call, built on the stack.
  [[nodiscard]] int ReportOfferedSuites(const CodeList& codes);
  // "Selected Group: " and the group's name.
  [[nodiscard]] int ReportSelectedGroup(int group);
  const char* LabelText(const char* first, const char* second);
  // Key material, only with logSecrets on.
  [[nodiscard]] int SecretDump(const char* label, const char* bytes, int length);
  [[nodiscard]] int SecretDump(const char* label, const ByteString& bytes) {
    return SecretDump(label, bytes.Data(), bytes.Length());
  }
  static int IsNistCurveGroup(int group) { return group == 23 || group == 24 || group == 25 ? 1 : 0; }

  // Fields, in the order the owner and the handshake rely on.
  int role = 1;
  int authenticateClients = 0;
  int relaxedChecks = 0;
  int sessionReuse = 1;
  int acceptPeerChain = 1;
  int renegotiationEnabled = 1;
  int resumed = 0;
  int logSecrets = 0;
  int tls13 = 0;
  int established = 0;
  uint32_t securityFlags = 0;
  int protocolMask = kDefaultProtocolMask;
  int serverDhBits = kDefaultServerDhBits;
  int handshakeState = tlsstate::kStart;
  ByteString receiveBuffer;
  SettingText tls12SignatureAlgorithms;
  SettingText tls12SupportedGroups;
  SettingText tls13SignatureAlgorithms;
  SettingText tls13SupportedGroups;
  SettingText tls13KeyShareGroups;
  ByteString alpnProtocols;
  ByteString negotiatedAlpn;
  ByteString remoteHost;
  ByteString cipherSuites;
  ByteString handshakeFragment;
  ByteString undeliveredData;
  ByteString lastErrorText;
  ByteString traceLabel;
  SessionCacheEntry cachedSession;
  TlsSecurityContext current;
  TlsSecurityContext pending;
  SelectedCertificate* ownCertificate = nullptr;
  // The selection SetCertificateStore made, which ownCertificate points at.
  SelectedCertificate* ownSelected = nullptr;
  // This handshake's Certificate carried the own certificate.
  int ownCertificateSent = 0;
  // The records of a flight go out in one piece; the buffer keeps its block
  // for the next flight. While it is handed to the owner it is neither
  // refilled nor freed (a flight begun then goes out record by record).
  static constexpr int kFlightIdle = 0;
  static constexpr int kFlightCollecting = 1;
  static constexpr int kFlightSending = 2;
  WireBuffer flight;
  int flightState = kFlightIdle;
  WireBuffer handshakeMessages;
  SessionCache sessionCache;
  CodeList offeredVersions;
  CodeList offeredSuites;
  CodeList keyShareGroups;
  int logPackets = 0;
  TlsOwner* owner = nullptr;
  ByteString pendingOutput;
  ByteString traceText;
  // A ChangeCipherSpec has switched the read side in this handshake; the
  // peer's Finished requires it (TLS 1.2 and below) or allows one (TLS 1.3).
  int changeCipherSpecSeen = 0;
  // The key pairs of the TLS 1.3 key shares offered, in the order sent.
  PtrList<DhParameters> keyShares;
  // Whether the server's hellos carry renegotiation_info, and the verify_data
  // of both Finished messages of the last handshake (a renegotiation binds to them).
  int secureRenegotiation = 0;
  int serverRenegotiationInfo = 0;  // in the ServerHello being read
  // The server's TLS 1.0 to 1.2 flight so far: 1 Certificate, 2
  // ServerKeyExchange, 3 CertificateRequest.
  int serverFlightStep = 0;
  ByteString ownVerifyData;
  ByteString peerSignatureAlgorithms;  // of a TLS 1.2 CertificateRequest
  // The peer's certificate of this handshake and of the one before (the
  // current context may still point at it during a renegotiation).
  SelectedCertificate* peerSelected = nullptr;
  SelectedCertificate* previousPeerSelected = nullptr;
  ByteString peerVerifyData;
  // The client's and the server's TLS 1.3 application traffic secrets.
  SecretBytes applicationTrafficSecrets[2];

 private:
  static const char* Text(const char* text) { return text != nullptr ? text : ""; }
  int MaskHas(int bits) const { return (protocolMask & bits) == bits ? 1 : 0; }
  [[nodiscard]] int DispatchHandshakeMessage(const char* message, int size);
  [[nodiscard]] int FailWithAlert(int description, int code, const char* text);
  [[nodiscard]] int ProcessRecordBody(int type, const char* payload, int length, const char* record, int size,
                                      int wasProtected);
  [[nodiscard]] int UnprotectCbc(const char* record, int length, RecordCipherState& state, uint64_t sequence,
                                 int type, ByteString& plain);
  [[nodiscard]] int UnprotectAead(const char* record, int length, RecordCipherState& state, uint64_t sequence,
                                  int& type, ByteString& plain);

  int failure = 0;
  // Kept from record to record with their blocks; those holding plaintext wipe what they give up.
  ByteString protectScratch;
  SecretBytes recordScratch;  // the plaintext of the record being processed
  SecretBytes innerScratch;   // a TLS 1.3 plaintext being sealed (may be sent while one is processed)
};

}  // namespace tornell
