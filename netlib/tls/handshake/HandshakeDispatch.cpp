// The handshake dispatcher and the server's hellos: every whole handshake
// message goes through DispatchHandshake, which checks its place, keeps the
// transcript and calls the handler of its type.
#include <cstring>

#include "core/base/Status.h"
#include "core/secure/ConstantTime.h"
#include "core/text/SplitList.h"
#include "tls/engine/TlsEngine.h"
#include "tls/engine/TlsSettingLists.h"
#include "tls/handshake/MessageReader.h"
#include "tls/suites/CipherSuite.h"
#include "tls/handshake/HandshakeNumbers.h"

namespace tornell {

using namespace hs;

using tls::MessageReader;

namespace {

constexpr int kInternalError = 80;


// A group of the full TLS 1.3 list, whatever the setting holds.
bool InFullGroupList(int id) {
  int count = 0;
  const tls::ListedName* names = tls::DefaultListNames(tls::kTls13GroupsText, tls::ListKind::kGroups, count);
  for (int i = 0; i < count; ++i) {
    if (names[i].id == id) return true;
  }
  return false;
}

const char* VersionName(int version) {
  switch (version) {
    case 0x0300: return "SSL3.0";
    case 0x0301: return "TLS1.0";
    case 0x0302: return "TLS1.1";
    case 0x0303: return "TLS1.2";
    case 0x0304: return "TLS1.3";
    default: return nullptr;
  }
}

}  // namespace

// A fatal alert without a text of its own: the handshake ends with -1, or
// with the send's failure when the alert could not go out.
int TlsEngine::FailWithAlertOnly(int description) {
  const int status = SendAlert(tlsalert::kFatal, description);
  ByteString text;
  TORNELL_TRY(text.Set("Sent fatal alert: "));
  TORNELL_TRY(text.Append(tls::AlertName(description, tls13)));
  (void)RaiseFatal(kStatusAlertSent, text.CStr());
  failure = status == kStatusOk || status == kWouldBlock ? kStatusAlertSent : status;
  return failure;
}

int TlsEngine::DispatchHandshakeMessage(const char* message, int size) {
  WireBuffer in(message, 0, size);
  return DispatchHandshake(in);
}

int TlsEngine::DispatchHandshake(WireBuffer& in) {
  const int start = in.Position();
  const int type = in.GetU8();
  const int length = in.GetU24();
  if (type < 0 || length < 0 || in.Remaining() < length) {
    return FailWithAlertOnly(tlsalert::kDecodeError);
  }
  const char* raw = in.Data() + start;
  const int rawLength = length + kHandshakeHeader;
  // Messages of TLS 1.2 and below have no place in a TLS 1.3 handshake, and
  // the TLS 1.3 ones none in an older one.
  const bool oldOnly = type == kHelloRequest || type == kServerKeyExchange || type == kServerHelloDone ||
                       type == kClientKeyExchange;
  const bool newOnly = type == kEncryptedExtensions || type == kHelloRetryRequest;
  if (role != 0 && ((tls13 != 0 && oldOnly) || (tls13 == 0 && newOnly && handshakeState != tlsstate::kStart))) {
    return FailWithAlertOnly(tlsalert::kUnexpectedMessage);
  }
  // A post-handshake message: no step of the handshake and not in the transcript.
  if (type == kKeyUpdate && tls13 != 0) return ProcessKeyUpdate(in, length);
  const char* label = nullptr;
  int before = 1;
  switch (type) {
    case kHelloRequest: before = -1; break;
    case kClientHello: label = "ClientHello"; break;
    case kServerHello: label = "ServerHello"; break;
    case kNewSessionTicket: label = "NEW_SESSION_TICKET"; before = -1; break;
    case kHelloRetryRequest: label = "Tls_1_3_HELLO_RETRY_REQUEST"; break;
    case kEncryptedExtensions: label = "EncryptedExtensions"; break;
    case kCertificate: label = "CERTIFICATE"; break;
    case kServerKeyExchange:
    case kCertificateRequest:
    case kServerHelloDone:
    case kClientKeyExchange: break;
    case kCertificateVerify: label = "CERTIFICATE_VERIFY"; before = 0; break;
    case kFinished: label = "FINISHED"; before = 0; break;
    default: {
      ByteString text;
      TORNELL_TRY(text.Set("Unexpected Handshake message: "));
      char number[16];
      std::snprintf(number, sizeof number, "%d", type);
      TORNELL_TRY(text.Append(number));
      return Status(text.CStr());
    }
  }
  if (label != nullptr) TORNELL_TRY(SecretDump(label, raw, rawLength));
  // A ClientHello starts the transcript, except the one answering a HelloRetryRequest.
  if (type == kClientHello && role == 0 && !(tls13 != 0 && pending.helloRetry != 0)) {
    TORNELL_TRY(handshakeMessages.Clear());
  }
  if (before == 1) TORNELL_TRY(AddToHandshakeMessages(1, raw, 0, rawLength));
  int status = kStatusOk;
  switch (type) {
    case kHelloRequest: status = ProcessHelloRequest(in, length); break;
    case kServerHello: status = ProcessServerHello(in, length); break;
    case kHelloRetryRequest: status = ProcessHelloRetryRequest(in, length); break;
    case kNewSessionTicket:
    case kEncryptedExtensions: {
      if (type == kEncryptedExtensions && handshakeState != tlsstate::kTls13ServerHello) {
        return FailWithAlertOnly(tlsalert::kUnexpectedMessage);
      }
      WireBuffer body(in.Data(), in.Position(), length);
      int consumed = 0;
      status = type == kNewSessionTicket ? ParseNewSessionTicket(body, consumed)
                                         : ParseEncryptedExtensions(body, consumed);
      if (status == kStatusOk && consumed != length) return FailWithAlertOnly(tlsalert::kDecodeError);
      break;
    }
    case kCertificate: status = ProcessCertificate(in, length); break;
    case kServerKeyExchange: status = ProcessServerKeyExchange(in, length); break;
    case kCertificateRequest: status = ProcessCertificateRequest(in, length); break;
    case kServerHelloDone: status = ProcessServerHelloDone(in, length); break;
    case kCertificateVerify: status = ProcessCertificateVerify(in, length); break;
    case kFinished: status = ProcessFinished(in, length); break;
    case kClientHello:
    case kClientKeyExchange:
      if (role != 0) return RejectUnexpectedMessage(type == kClientHello ? "ClientHello" : "ClientKeyExchange");
      status = type == kClientHello ? ProcessClientHello(in, length) : ProcessClientKeyExchange(in, length);
      if (type == kClientKeyExchange && status == kStatusOk && failure == 0) status = DeriveKeyBlock(pending);
      // A step of the server's own that fails (a key it cannot make) ends the connection too.
      if (status != kStatusOk && status != kWouldBlock && failure == 0) {
        return FailWithAlert(kInternalError, status, "The server could not complete the handshake step");
      }
      break;
    default:
      // A client takes no ClientHello or ClientKeyExchange.
      return RejectUnexpectedMessage(type == kClientHello ? "ClientHello" : "ClientKeyExchange");
  }
  TORNELL_TRY(status);
  if (failure != 0) return failure;
  if (before == 0) TORNELL_TRY(AddToHandshakeMessages(1, raw, 0, rawLength));
  if (type != kFinished) return kStatusOk;

  if (tls13 != 0) return role != 0 ? FinishTls13Handshake() : FinishServerTls13Handshake();
  if ((role != 0 && resumed != 0) || (role == 0 && resumed == 0)) {
    BeginFlight();
    status = SendChangeCipherSpec();
    if (status == kStatusOk) status = SendFinished(pending);
    const int flushed = FlushFlight();
    TORNELL_TRY(status);
    if (flushed != kStatusOk && flushed != kWouldBlock) return flushed;
  }
  if (role == 0 && resumed == 0 && !current.sessionId.IsEmpty() && !current.masterSecret.IsEmpty()) {
    SessionCacheEntry entry;
    TORNELL_TRY(current.SaveSession(entry));
    TORNELL_TRY(CacheSession(entry));
  }
  // The next handshake on this connection (a renegotiation) switches keys again.
  changeCipherSpecSeen = 0;
  return CompleteHandshake();
}

int TlsEngine::RejectUnexpectedMessage(const char* name) {
  const int sent = SendAlert(tlsalert::kFatal, tlsalert::kUnexpectedMessage);
  if (sent != kStatusOk && sent != kWouldBlock) return sent;
  ByteString text;
  TORNELL_TRY(text.Set("Unexpected "));
  TORNELL_TRY(text.Append(name));
  TORNELL_TRY(text.Append(" message received from peer. Aborting."));
  TORNELL_TRY(Status(text.CStr()));
  return RaiseFatal(kStatusHandshakeFailed, name);
}

int TlsEngine::ProcessHelloRequest(WireBuffer&, int length) {
  TORNELL_TRY(Status("HelloRequest message received; server wants to renegotiate connection"));
  if (length != 0) return FailWithAlertOnly(tlsalert::kDecodeError);
  if (handshakeState != tlsstate::kComplete) return kStatusOk;
  // Without renegotiation_info the server cannot bind the new handshake to
  // this one: refuse, as when renegotiation is disabled.
  if (renegotiationEnabled != 0 && secureRenegotiation != 0) return SendClientHello();
  TORNELL_TRY(Status("Renegotiate is disabled. Send NO_RENEGOTIATION alert message."));
  const int status = SendAlert(tlsalert::kWarning, tlsalert::kNoRenegotiation);
  return status == kWouldBlock ? kStatusOk : status;
}

int TlsEngine::IsVersionAcceptable(int version) const {
  if ((version == 0x0300 && IsSsl30Enabled() != 0) || (version == 0x0301 && IsTls10Enabled() != 0) ||
      (version == 0x0302 && IsTls11Enabled() != 0) || (version == 0x0303 && IsTls12Enabled() != 0)) {
    return 1;
  }
  return IsTls13Enabled() != 0 && (version == 0x0303 || version == 0x0304) ? 1 : 0;
}

int TlsEngine::PeekSupportedVersion(WireBuffer& in, int& version) {
  const int saved = in.Position();
  int found = 0;
  MessageReader read(in, in.Remaining());
  ByteString skipped;
  if (read.Vector(1, skipped) && read.Skip(3) && read.Left() >= 2) {
    const int block = read.U16();
    MessageReader extensions(in, block <= read.Left() ? block : read.Left());
    while (!extensions.Bad() && extensions.Left() >= 4) {
      const int type = extensions.U16();
      const int n = extensions.U16();
      if (type == kExtSupportedVersions && n == 2) {
        version = extensions.U16();
        found = extensions.Bad() ? 0 : 1;
        break;
      }
      if (!extensions.Skip(n)) break;
    }
  }
  in.SetPosition(saved);
  return found;
}

int TlsEngine::ProcessServerHello(WireBuffer& in, int length) {
  TORNELL_TRY(Status("ServerHello message received"));
  if (role == 0 || handshakeState != tlsstate::kStart) return RejectUnexpectedMessage("ServerHello");
  MessageReader read(in, length);
  const int legacyVersion = read.U16();
  ByteString random;
  if (!read.Bytes(32, random)) return FailWithAlertOnly(tlsalert::kDecodeError);
  int version = legacyVersion;
  int selected = 0;
  const bool hasSupportedVersions = PeekSupportedVersion(in, selected) != 0;
  if (hasSupportedVersions) {
    // supported_versions answers only a TLS 1.3 offer, over the legacy 0x0303.
    if (IsTls13Enabled() == 0 || legacyVersion != 0x0303) return FailWithAlertOnly(tlsalert::kProtocolVersion);
    if (selected < 0x0304) return FailWithAlertOnly(tlsalert::kIllegalParameter);
    version = selected;
  }
  if (version == 0x0304 && !hasSupportedVersions) return FailWithAlertOnly(tlsalert::kProtocolVersion);
  if (IsVersionAcceptable(version) == 0) {
    return RaiseFatal(kStatusHandshakeFailed,
                      "Error during handshake: The client and server cannot communicate, because they do not "
                      "possess a common algorithm.");
  }
  // 0x0303 passes the test above for a TLS 1.3 offer; TLS 1.2 itself must be enabled.
  const bool enabled = version == 0x0304 || (version == 0x0303 && IsTls12Enabled() != 0) ||
                       (version == 0x0302 && IsTls11Enabled() != 0) || (version == 0x0301 && IsTls10Enabled() != 0) ||
                       (version == 0x0300 && IsSsl30Enabled() != 0);
  if (!enabled) return FailWithAlertOnly(tlsalert::kProtocolVersion);
  TORNELL_TRY(pending.serverRandom.Assign(random));
  TORNELL_TRY(SecretDump("ServerRandom", random));
  const bool retry = std::memcmp(random.Data(), kRetryRandom, 32) == 0;
  if (retry) {
    if (pending.helloRetry != 0) return FailWithAlertOnly(tlsalert::kUnexpectedMessage);
    if (version != 0x0304) return FailWithAlertOnly(tlsalert::kIllegalParameter);
    pending.helloRetry = 1;
  }
  // Only TLS 1.3 itself may answer a TLS 1.3 offer without the sentinel.
  if (version < 0x0304 && IsTls13Enabled() != 0) {
    const char* tail = random.Data() + 24;
    if (std::memcmp(tail, kDowngradeTls12, 8) == 0 || std::memcmp(tail, kDowngradeTls11, 8) == 0) {
      return FailWithAlertOnly(tlsalert::kIllegalParameter);
    }
  }
  if (version == 0x0304) return ProcessTls13ServerHello(in, read, retry, length);

  // TLS 1.2 and below.
  pending.version = version;
  tls13 = 0;
  ByteString offeredId;
  TORNELL_TRY(offeredId.Assign(pending.sessionId));
  ByteString sessionId;
  if (!read.Vector(1, sessionId) || sessionId.Length() > 32) return FailWithAlertOnly(tlsalert::kDecodeError);
  const int code = read.U16();
  const int compression = read.U8();
  if (read.Bad()) return FailWithAlertOnly(tlsalert::kDecodeError);
  // The suite must be one this hello offered and that fits the version.
  const CipherSuite* suite = CipherSuite::FindByCode(code);
  // SSL 3.0 takes the suites TLS 1.0 takes.
  const int floor = version < 0x0301 ? 0x0301 : version;
  if (!offeredSuites.Has(code) || suite == nullptr || suite->GetMinVersion() > floor ||
      suite->GetKeyExchange() == keyexchange::kNone || compression != 0) {
    return FailWithAlertOnly(tlsalert::kIllegalParameter);
  }
  TORNELL_TRY(pending.sessionId.Assign(sessionId));
  TORNELL_TRY(pending.readState.SetSuite(*suite));
  TORNELL_TRY(pending.writeState.SetSuite(*suite));
  (void)pending.readState.SetCompressionMethod(compression);
  (void)pending.writeState.SetCompressionMethod(compression);
  pending.UpdatePrfHash();
  negotiatedAlpn.Clear();
  serverRenegotiationInfo = 0;
  if (read.Left() > 0) {
    const int block = read.U16();
    if (read.Bad() || block != read.Left()) return FailWithAlertOnly(tlsalert::kDecodeError);
    TORNELL_TRY(ProcessServerHelloExtensions(in, block));
    if (failure != 0) return failure;
    read.Skip(block);
  }
  const int sawRenegotiationInfo = serverRenegotiationInfo;
  // A renegotiation must be bound to the handshake before it.
  if (current.HasHelloRandom() != 0 && secureRenegotiation != 0 && sawRenegotiationInfo == 0) {
    return FailWithAlertOnly(tlsalert::kHandshakeFailure);
  }
  if (current.HasHelloRandom() == 0) secureRenegotiation = sawRenegotiationInfo;
  ByteString text;
  TORNELL_TRY(text.Set("Selected TLS Version: "));
  const char* name = VersionName(version);
  TORNELL_TRY(text.Append(name != nullptr ? name : "Unknown"));
  TORNELL_TRY(Status(text.CStr()));
  TORNELL_TRY(text.Set("Selected "));
  TORNELL_TRY(text.Append(pending.readState.Suite().GetDisplayName()));
  TORNELL_TRY(text.Append(" cipher suite"));
  TORNELL_TRY(Status(text.CStr()));
  handshakeState = tlsstate::kServerFlight;
  serverFlightStep = 0;
  resumed = 0;
  // Resume only the session this hello offered, and only with its secret.
  if (!offeredId.IsEmpty() && sessionId.Equals(offeredId) && !pending.masterSecret.IsEmpty()) {
    handshakeState = tlsstate::kAwaitFinished;
    TORNELL_TRY(DeriveKeyBlock(pending));
    if (current.HasHelloRandom() != 0) {
      TORNELL_TRY(current.TakeNegotiated(pending));
    } else {
      TORNELL_TRY(current.CopyFrom(pending, 0));
    }
    resumed = 1;
    TORNELL_TRY(Status("Resuming previous SSL session."));
  } else {
    pending.masterSecret.Clear();
  }
  return kStatusOk;
}

// The TLS 1.0 to 1.2 extension block.
int TlsEngine::ProcessServerHelloExtensions(WireBuffer& in, int blockLength) {
  const int saved = in.Position();
  MessageReader read(in, blockLength);
  while (!read.Bad() && read.Left() > 0) {
    const int type = read.U16();
    ByteString body;
    if (!read.Vector(2, body)) break;
    if (type == kExtAlpn) {
      // Exactly one name, and one this client offered.
      WireBuffer alpn(body.Data(), 0, body.Length());
      MessageReader list(alpn, body.Length());
      ByteString names, protocol;
      if (!list.Vector(2, names) || !list.AtEnd()) return FailWithAlertOnly(tlsalert::kDecodeError);
      WireBuffer inner(names.Data(), 0, names.Length());
      MessageReader one(inner, names.Length());
      if (!one.Vector(1, protocol) || !one.AtEnd() || protocol.IsEmpty()) {
        return FailWithAlertOnly(tlsalert::kIllegalParameter);
      }
      StringList offered;
      TORNELL_TRY(SplitList(alpnProtocols.CStr(), ',', offered));
      bool known = false;
      for (int i = 0; i < offered.Count() && !known; ++i) {
        known = offered.EntryLength(i) == protocol.Length() &&
                std::memcmp(offered.Get(i), protocol.Data(), size_t(protocol.Length())) == 0;
      }
      if (!known) return FailWithAlertOnly(tlsalert::kIllegalParameter);
      TORNELL_TRY(negotiatedAlpn.Assign(protocol));
    } else if (type == kExtRenegotiationInfo) {
      ByteString expected;
      if (current.HasHelloRandom() != 0) {
        TORNELL_TRY(expected.Assign(ownVerifyData));
        TORNELL_TRY(expected.Append(peerVerifyData));
      }
      const bool good = body.Length() == expected.Length() + 1 && body.ByteAt(0) == expected.Length() &&
                        ct::BytesEqual(body.Data() + 1, expected.Data(), size_t(expected.Length()));
      if (!good) return FailWithAlertOnly(tlsalert::kHandshakeFailure);
      serverRenegotiationInfo = 1;
    }
  }
  if (read.Bad()) return FailWithAlertOnly(tlsalert::kDecodeError);
  in.SetPosition(saved);
  return kStatusOk;
}

int TlsEngine::ProcessTls13ServerHello(WireBuffer& in, tls::MessageReader& read, bool retry, int length) {
  if (!offeredVersions.Has(0x0304)) return FailWithAlertOnly(tlsalert::kProtocolVersion);
  ByteString echo;
  if (!read.Vector(1, echo)) return FailWithAlertOnly(tlsalert::kDecodeError);
  const int code = read.U16();
  const int compression = read.U8();
  if (read.Bad()) return FailWithAlertOnly(tlsalert::kDecodeError);
  if (!echo.Equals(pending.sessionId) || compression != 0 || !offeredSuites.Has(code)) {
    return FailWithAlertOnly(tlsalert::kIllegalParameter);
  }
  const CipherSuite* suite = CipherSuite::FindByCode(code);
  if (suite == nullptr || suite->GetKeyExchange() != keyexchange::kNone) {
    return FailWithAlertOnly(tlsalert::kIllegalParameter);
  }
  // After a HelloRetryRequest the ServerHello keeps the suite it named.
  if (pending.helloRetry != 0 && !retry && pending.readState.Suite().GetCode() != code) {
    return FailWithAlertOnly(tlsalert::kIllegalParameter);
  }
  tls13 = 1;
  pending.version = 0x0304;
  TORNELL_TRY(pending.readState.SetSuite(*suite));
  TORNELL_TRY(pending.writeState.SetSuite(*suite));
  const int block = read.U16();
  if (read.Bad() || block != read.Left()) return FailWithAlertOnly(tlsalert::kDecodeError);
  int sawKeyShare = 0;
  ByteString peerKey;
  while (!read.Bad() && read.Left() > 0) {
    const int type = read.U16();
    const int size = read.U16();
    // Read in place: the body ends where the next extension starts.
    if (read.Bad() || !read.Skip(size)) break;
    const int end = read.Position();
    in.SetPosition(end - size);
    MessageReader field(in, size);
    if (type == kExtCookie) {
      if (!field.Vector(2, pending.retryCookie) || !field.AtEnd()) return FailWithAlertOnly(tlsalert::kDecodeError);
    } else if (type == kExtKeyShare) {
      if (sawKeyShare != 0) return FailWithAlertOnly(tlsalert::kIllegalParameter);
      sawKeyShare = 1;
      const int group = field.U16();
      if (retry) {
        if (!field.AtEnd()) return FailWithAlertOnly(tlsalert::kDecodeError);
        // A group this hello listed but sent no share for.
        bool shared = false;
        for (int i = 0; i < keyShares.Count(); ++i) shared = shared || keyShares.Get(i)->GetGroupId() == group;
        if (!InFullGroupList(group) || !keyShareGroups.Has(group) || shared) {
          return FailWithAlertOnly(tlsalert::kIllegalParameter);
        }
        pending.selectedGroup = group;
      } else {
        if (!field.Vector(2, peerKey) || !field.AtEnd()) return FailWithAlertOnly(tlsalert::kDecodeError);
        TORNELL_TRY(ReportSelectedGroup(group));
        TORNELL_TRY(SecretDump("group_key", peerKey));
        DhParameters* match = nullptr;
        for (int i = 0; i < keyShares.Count() && match == nullptr; ++i) {
          if (keyShares.Get(i)->GetGroupId() == group) match = keyShares.Get(i);
        }
        if (match == nullptr) return FailWithAlertOnly(tlsalert::kIllegalParameter);
        TORNELL_TRY(pending.keyExchange.CopyFrom(*match));
        if (pending.keyExchange.SetPeerPublic(peerKey) != kStatusOk) {
          return FailWithAlertOnly(tlsalert::kIllegalParameter);
        }
      }
    } else if (type == kExtPreSharedKey) {
      return FailWithAlertOnly(tlsalert::kIllegalParameter);
    }
    in.SetPosition(end);
  }
  if (read.Bad()) return FailWithAlertOnly(tlsalert::kDecodeError);
  if (sawKeyShare == 0) return FailWithAlertOnly(tlsalert::kMissingExtension);
  if (retry) {
    pending.UpdatePrfHash();
    // The first ClientHello becomes a message_hash of itself.
    const int helloEnd = handshakeMessages.Length() - (length + kHandshakeHeader);
    if (helloEnd < 0) return FailWithAlertOnly(tlsalert::kUnexpectedMessage);
    WireBuffer firstHello(handshakeMessages.Data(), 0, helloEnd);
    ByteString hash;
    TORNELL_TRY(pending.TranscriptHash(firstHello, hash));
    WireBuffer rebuilt;
    TORNELL_TRY(rebuilt.PutU8(254));
    TORNELL_TRY(rebuilt.PutU16(0));
    TORNELL_TRY(rebuilt.PutU8(hash.Length()));
    TORNELL_TRY(rebuilt.PutBytes(hash));
    TORNELL_TRY(rebuilt.PutBytes(handshakeMessages.Data(), helloEnd, length + kHandshakeHeader));
    TORNELL_TRY(handshakeMessages.Assign(rebuilt));
    return SendClientHello();
  }
  handshakeState = tlsstate::kTls13ServerHello;
  return DeriveTls13HandshakeKeys();
}

int TlsEngine::ProcessHelloRetryRequest(WireBuffer& in, int length) {
  if (pending.helloRetry != 0) return FailWithAlertOnly(tlsalert::kUnexpectedMessage);
  pending.helloRetry = 1;
  MessageReader read(in, length);
  read.U16();
  CodeList types;
  StringList bodies;
  WireBuffer rest(in.Data(), in.Position(), read.Left() > 0 ? read.Left() : 0);
  const int consumed = ReadPairVector(rest, 2, 2, 2, types, bodies);
  if (read.Bad() || consumed < 0 || consumed + 2 != length) return FailWithAlertOnly(tlsalert::kDecodeError);
  int group = 0;
  for (int i = 0; i < types.Count() && group == 0; ++i) {
    if (types.Get(i) == kExtKeyShare && bodies.EntryLength(i) >= 2) {
      group = (uint8_t(bodies.Get(i)[0]) << 8) | uint8_t(bodies.Get(i)[1]);
    }
  }
  if (group == 0 || !InFullGroupList(group)) return FailWithAlertOnly(tlsalert::kDecodeError);
  pending.selectedGroup = group;
  return SendClientHello();
}

}  // namespace tornell
