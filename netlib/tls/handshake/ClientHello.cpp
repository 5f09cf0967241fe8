// The ClientHello: the pending context it opens, the TLS form with its
// extensions and the SSL 2.0-compatible form of old servers.
#include <cctype>
#include <cstring>
#include <string_view>

#include "core/base/Status.h"
#include "core/text/SplitList.h"
#include "tls/engine/TlsEngine.h"
#include "tls/engine/TlsSettingLists.h"
#include "tls/suites/CipherSuite.h"
#include "tls/handshake/HandshakeNumbers.h"
#include "tls/handshake/MessageWriter.h"

namespace tornell {

using namespace hs;
namespace {

constexpr int kExtPointFormats = 11;
constexpr int kSsl2ChallengeLength = 16;

int HashCode(std::string_view name) {
  static constexpr std::string_view kNames[] = {"none", "md5", "sha1", "sha224", "sha256", "sha384", "sha512"};
  for (int i = 0; i < 7; ++i) {
    if (name == kNames[i]) return i;
  }
  return name == "all" ? 255 : -1;
}

int SignatureCode(std::string_view name) {
  static constexpr std::string_view kNames[] = {"anonymous", "rsa", "dsa", "ecdsa"};
  for (int i = 0; i < 4; ++i) {
    if (name == kNames[i]) return i;
  }
  return name == "all" ? 255 : -1;
}

// "hash-signature" into its two trimmed, lower-cased halves; false unless exactly two.
bool SplitPair(const char* piece, ByteString& hash, ByteString& signature) {
  StringList parts;
  if (SplitList(piece, '-', parts) != kStatusOk || parts.Count() != 2) return false;
  if (hash.Set(parts.Get(0)) != kStatusOk || signature.Set(parts.Get(1)) != kStatusOk) return false;
  if (hash.Trim() != kStatusOk || signature.Trim() != kStatusOk) return false;
  hash.ToLower();
  signature.ToLower();
  return true;
}

// SplitPair on `length` bytes read in place: the halves still untrimmed of
// control bytes and in their own case.
bool SplitPairInPlace(const char* piece, int length, std::string_view& hash, std::string_view& signature) {
  int parts = 0;
  (void)ForEachListItemIn(piece, length, '-', [&](const char* item, int itemLength) {
    if (parts < 2) (parts == 0 ? hash : signature) = std::string_view(item, size_t(itemLength));
    ++parts;
    return 0;
  });
  return parts == 2;
}

// Longer than any hash or signature name: such a half names none.
constexpr int kMaxPairName = 15;

// A half trimmed and lower-cased as SplitPair leaves it, in `out`; empty
// when too long to be a name.
std::string_view LowerName(std::string_view half, char (&out)[kMaxPairName]) {
  size_t first = 0, last = half.size();
  while (first < last && uint8_t(half[first]) <= 0x20) ++first;
  while (last > first && uint8_t(half[last - 1]) <= 0x20) --last;
  if (last - first > size_t(kMaxPairName)) return {};
  size_t n = 0;
  for (size_t i = first; i < last; ++i) out[n++] = half[i] >= 'A' && half[i] <= 'Z' ? char(half[i] + 32) : half[i];
  return std::string_view(out, n);
}

// The ids of a group or scheme setting, in its order; an unknown name fails.
int ListedIds(const char* text, tls::ListKind kind, CodeList& out) {
  return tls::ForEachListedId(text, kind, true, [&out](int id, const char*, int) { return out.Add(id); });
}

}  // namespace

int TlsEngine::EncodeTls12SignatureAlgorithms(const char* text, ByteString& out) {
  out.Clear();
  return ForEachListItem(text != nullptr ? text : "", ',', [&out](const char* piece, int length) {
    std::string_view hash, signature;
    if (!SplitPairInPlace(piece, length, hash, signature)) return kStatusOk;
    char lowered[kMaxPairName];
    const int h = HashCode(LowerName(hash, lowered));
    const int s = SignatureCode(LowerName(signature, lowered));
    if (h < 0 || s < 0) return kStatusOk;
    TORNELL_TRY(out.AppendByte(h));
    return out.AppendByte(s);
  });
}

int TlsEngine::IsSignatureAlgorithmAllowed(const char* list, const char* hash, const char* signature) {
  StringList pieces;
  if (SplitList(list != nullptr ? list : "", ',', pieces) != kStatusOk) return 0;
  int hashOk = 0;
  int signatureOk = 0;
  for (int i = 0; i < pieces.Count() && (hashOk == 0 || signatureOk == 0); ++i) {
    ByteString h, s;
    if (!SplitPair(pieces.Get(i), h, s)) continue;
    if (hashOk == 0) hashOk = (HashCode(h.CStr()) >= 0 && h.Equals(hash)) || h.Equals("all") ? 1 : 0;
    if (signatureOk == 0) {
      signatureOk = (SignatureCode(s.CStr()) >= 0 && s.Equals(signature)) || s.Equals("all") ? 1 : 0;
    }
  }
  return hashOk != 0 && signatureOk != 0 ? 1 : 0;
}

int TlsEngine::HostTakesServerName(const char* host) {
  if (host == nullptr) return 0;
  bool hasDot = false, hasColon = false, hasHexLetter = false;
  for (const char* c = host; *c != '\0'; ++c) {
    const unsigned char b = static_cast<unsigned char>(*c);
    if (b == '.') {
      hasDot = true;
    } else if (b == ':') {
      hasColon = true;
    } else if (std::isxdigit(b) != 0) {
      if (std::isdigit(b) == 0) hasHexLetter = true;
    } else {
      return 1;
    }
  }
  return (hasHexLetter && !hasColon) || (hasDot && hasColon) ? 1 : 0;
}

int TlsEngine::MaxClientVersion() const {
  if (IsTls12Enabled() != 0 || IsTls13Enabled() != 0) return 0x0303;
  if (IsTls11Enabled() != 0) return 0x0302;
  if (IsTls10Enabled() != 0) return 0x0301;
  if (IsSsl30Enabled() != 0) return 0x0300;
  return 0;
}

int TlsEngine::InitPendingContext(TlsSecurityContext& context) {
  TORNELL_TRY(context.Reset());
  context.isClient = role;
  context.version = 0x0301;
  context.ownCertificate = ownCertificate;
  if (current.HasHelloRandom() != 0) {
    // A renegotiation offers the session of this connection.
    TORNELL_TRY(context.sessionId.Assign(current.sessionId));
    TORNELL_TRY(context.masterSecret.Assign(current.masterSecret));
    TORNELL_TRY(context.peerCertificateDer.Assign(current.peerCertificateDer));
    context.peerCertificate = current.peerCertificate;
  }
  if (cachedSession.IsValid() && sessionReuse != 0 && !remoteHost.IsEmpty() &&
      cachedSession.HostMatches(remoteHost.CStr())) {
    TORNELL_TRY(context.sessionId.Assign(cachedSession.sessionId));
    TORNELL_TRY(context.masterSecret.Assign(cachedSession.secret));
  }
  return tls::RandomBytes(32, role != 0 ? context.clientRandom : context.serverRandom);
}

int TlsEngine::SendFirstClientHello() {
  if (IsSsl30Enabled() != 0 && IsTls13Enabled() == 0) return SendSsl2ClientHello();
  return SendClientHello();
}

int TlsEngine::SendClientHello() {
  handshakeState = tlsstate::kStart;
  handshakeFragment.Clear();
  const bool retry = handshakeMessages.Length() > 0 && IsTls13Enabled() != 0 && pending.helloRetry != 0;
  if (!retry) {
    TORNELL_TRY(InitPendingContext(pending));
    // A renegotiation takes the server's ChangeCipherSpec again.
    changeCipherSpecSeen = 0;
  }
  const int clientVersion = MaxClientVersion();
  if (clientVersion == 0) return RaiseFatal(kStatusNegotiationFailed, "No supported protocol versions enabled");
  pending.offeredVersion = clientVersion;
  if (tls13 == 0 && pending.helloRetry == 0) pending.version = clientVersion;
  WireBuffer message;
  TORNELL_TRY(BeginHandshakeMessage(kClientHello, message));
  tls::MessageWriter out(message);
  out.U16(clientVersion);
  out.Bytes(pending.clientRandom);
  TORNELL_TRY(Status(EnabledVersionsText()));
  out.U8(pending.sessionId.Length());
  out.Bytes(pending.sessionId);
  offeredSuites.Clear();
  TORNELL_TRY(CipherSuite::BuildEnabledList(cipherSuites.IsEmpty() ? "*" : cipherSuites.CStr(),
                                            IsTls13Enabled() != 0 ? 0x0304 : clientVersion, relaxedChecks,
                                            protocolMask, offeredSuites));
  // The first hello signals secure renegotiation by the SCSV; a renegotiation
  // hello carries the extension instead.
  const bool renegotiating = current.HasHelloRandom() != 0;
  const bool scsv = !renegotiating && clientVersion <= 0x0303 && !retry;
  out.U16(2 * (offeredSuites.Count() + (scsv ? 1 : 0)));
  out.Codes(offeredSuites);
  if (scsv) out.U16(kRenegotiationScsv);
  TORNELL_TRY(ReportOfferedSuites(offeredSuites));
  out.U8(1);
  out.U8(0);
  // Without extensions the message ends after the compression methods.
  const int block = out.Open(2);
  TORNELL_TRY(WriteClientHelloExtensions(out));
  if (out.Offset() == block + 2) {
    out.Drop(2);
  } else {
    out.Close(block, 2);
  }
  TORNELL_TRY(out.Finish());
  TORNELL_TRY(SecretDump("ClientHello", message.Data(), message.Length()));
  const int status = SendHandshakeMessage(message);
  if (status != kStatusOk && status != kWouldBlock) return status;
  TORNELL_TRY(Status("ClientHello message sent"));
  return kStatusOk;
}

int TlsEngine::WriteClientHelloExtensions(tls::MessageWriter& out) {
  if (IsTls13Enabled() != 0) {
    offeredVersions.Clear();
    const int candidates[] = {0x0304, 0x0303, 0x0302, 0x0301, 0x0300};
    const int enabled[] = {1, IsTls12Enabled(), IsTls11Enabled(), IsTls10Enabled(), IsSsl30Enabled()};
    for (int i = 0; i < 5; ++i) {
      if (enabled[i] != 0) TORNELL_TRY(offeredVersions.Add(candidates[i]));
    }
    out.CodeExtension(kExtSupportedVersions, 1, offeredVersions);

    keyShares.Clear();
    keyShareGroups.Clear();
    // The groups sent with a share: a retry sends the one the server chose.
    CodeList shared;
    const std::string_view shareText(tls13KeyShareGroups.CStr());
    TORNELL_TRY(tls::ForEachListedId(tls13SupportedGroups.CStr(), tls::ListKind::kGroups, true,
                                     [&](int id, const char* name, int length) {
                                       TORNELL_TRY(keyShareGroups.Add(id));
                                       const bool share =
                                           pending.helloRetry != 0
                                               ? id == pending.selectedGroup
                                               : shareText.find(std::string_view(name, size_t(length))) !=
                                                     std::string_view::npos;
                                       return share ? shared.Add(id) : kStatusOk;
                                     }));
    out.CodeExtension(kExtSupportedGroups, 2, keyShareGroups);
    const int extension = out.OpenExtension(kExtKeyShare);
    const int list = out.Open(2);
    for (int i = 0; i < shared.Count(); ++i) TORNELL_TRY(PutKeyShare(out, shared.Get(i)));
    out.Close(list, 2);
    out.CloseExtension(extension);
    if (pending.helloRetry != 0 && !pending.retryCookie.IsEmpty()) {
      const int cookie = out.OpenExtension(kExtCookie);
      out.U16(pending.retryCookie.Length());
      out.Bytes(pending.retryCookie);
      out.CloseExtension(cookie);
    }
    out.U16(kExtPskModes);
    out.U16(2);
    out.U8(1);
    out.U8(1);
  }

  if (HostTakesServerName(remoteHost.CStr()) != 0) {
    const int n = remoteHost.Length();
    out.U16(kExtServerName);
    out.U16(n + 5);
    out.U16(n + 3);
    out.U8(0);
    out.U16(n);
    out.Bytes(remoteHost);
  }

  if (IsTls13Enabled() != 0) {
    CodeList schemes;
    TORNELL_TRY(ListedIds(tls13SignatureAlgorithms.CStr(), tls::ListKind::kSchemes, schemes));
    out.CodeExtension(kExtSignatureAlgorithms, 2, schemes);
  } else {
    if (CipherSuite::ListHasEcc(offeredSuites) != 0) {
      CodeList groups;
      TORNELL_TRY(ListedIds(tls12SupportedGroups.CStr(), tls::ListKind::kGroups, groups));
      out.CodeExtension(kExtSupportedGroups, 2, groups);
      out.U16(kExtPointFormats);
      out.U16(2);
      out.U8(1);
      out.U8(0);
    }
    if (IsTls12Enabled() != 0 && !tls12SignatureAlgorithms.IsEmpty()) {
      ByteString pairs;
      TORNELL_TRY(EncodeTls12SignatureAlgorithms(tls12SignatureAlgorithms.CStr(), pairs));
      if (!pairs.IsEmpty()) {
        const int extension = out.OpenExtension(kExtSignatureAlgorithms);
        out.U16(pairs.Length());
        out.Bytes(pairs);
        out.CloseExtension(extension);
      }
    }
  }

  if (!alpnProtocols.IsEmpty()) {
    // Taken back when no name fits a length byte.
    out.Reserve(6);
    const int extension = out.OpenExtension(kExtAlpn);
    const int list = out.Open(2);
    TORNELL_TRY(ForEachListItem(alpnProtocols.CStr(), ',', [&out](const char* name, int n) {
      if (n <= 255) {
        out.U8(n);
        out.Bytes(name, n);
      }
      return kStatusOk;
    }));
    if (out.Offset() == list + 2) {
      out.Drop(6);
    } else {
      out.Close(list, 2);
      out.CloseExtension(extension);
    }
  }

  // A renegotiation binds itself to the handshake before it.
  if (current.HasHelloRandom() != 0 && MaxClientVersion() <= 0x0303) {
    const int extension = out.OpenExtension(kExtRenegotiationInfo);
    const int binding = out.Open(1);
    out.Bytes(ownVerifyData);
    out.Close(binding, 1);
    out.CloseExtension(extension);
  }
  return kStatusOk;
}

int TlsEngine::PutKeyShare(tls::MessageWriter& out, int group) {
  // Made in its place in the list (a client's pair, as every hello is a
  // client's): a copy would clone the key pair.
  const int n = keyShares.Count();
  TORNELL_TRY(keyShares.Resize(n + 1));
  DhParameters* pair = keyShares.Get(n);
  if (pair == nullptr) {
    (void)keyShares.Resize(n);
    return kStatusNoMemory;
  }
  int status = kStatusOk;
  if (IsNistCurveGroup(group) != 0) {
    (void)pair->UseEllipticCurve(1);
    (void)pair->SetGroup(group, 1);
    status = pair->GenerateEcKey();
  } else {
    status = pair->SetupGroup(0, group, 1);
  }
  ByteString point;
  if (status == kStatusOk) status = pair->GetOwnPublicPadded(point);
  if (status != kStatusOk) {
    (void)keyShares.Resize(n);
    return status;
  }
  out.U16(group);
  out.U16(point.Length());
  out.Bytes(point);
  return SecretDump("send keyshare pbk", point);
}

int TlsEngine::SendSsl2ClientHello() {
  handshakeState = tlsstate::kStart;
  handshakeFragment.Clear();
  TORNELL_TRY(handshakeMessages.Clear());
  TORNELL_TRY(InitPendingContext(pending));
  const int clientVersion = MaxClientVersion();
  if (clientVersion == 0) return RaiseFatal(kStatusNegotiationFailed, "No supported protocol versions enabled");
  pending.offeredVersion = clientVersion;
  pending.version = clientVersion;
  WireBuffer message;
  TORNELL_TRY(message.PutU16(0));
  TORNELL_TRY(message.PutU8(kClientHello));
  TORNELL_TRY(message.PutU16(clientVersion));
  TORNELL_TRY(Status(EnabledVersionsText()));
  offeredSuites.Clear();
  TORNELL_TRY(CipherSuite::BuildEnabledList(cipherSuites.IsEmpty() ? "*" : cipherSuites.CStr(), clientVersion,
                                            relaxedChecks, protocolMask, offeredSuites));
  const int specs = offeredSuites.Count() + 1;  // with the renegotiation SCSV
  TORNELL_TRY(message.PutU16(3 * specs));
  TORNELL_TRY(message.PutU16(pending.sessionId.Length()));
  TORNELL_TRY(message.PutU16(kSsl2ChallengeLength));
  for (int i = 0; i < offeredSuites.Count(); ++i) {
    TORNELL_TRY(message.PutU8(0));
    TORNELL_TRY(message.PutU16(offeredSuites.Get(i)));
  }
  TORNELL_TRY(message.PutU8(0));
  TORNELL_TRY(message.PutU16(kRenegotiationScsv));
  TORNELL_TRY(ReportOfferedSuites(offeredSuites));
  TORNELL_TRY(message.PutBytes(pending.sessionId));
  // The client random is the challenge behind 16 zero bytes.
  std::memset(pending.clientRandom.Bytes(), 0, 32 - kSsl2ChallengeLength);
  TORNELL_TRY(message.PutBytes(pending.clientRandom.Data() + 32 - kSsl2ChallengeLength, kSsl2ChallengeLength));
  TORNELL_TRY(message.PatchU16(0, 0x8000 | (message.Length() - 2)));
  TORNELL_TRY(handshakeMessages.PutBytes(message.Data(), 2, message.Length() - 2));
  const int status = SendRecordBytes(message.Data(), message.Length());
  if (status != kStatusOk && status != kWouldBlock) return status;
  return Status("ClientHello (SSL2) message sent");
}

}  // namespace tornell
