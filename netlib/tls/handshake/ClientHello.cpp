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

namespace tornell {

using namespace hs;
namespace {

constexpr int kExtPointFormats = 11;
constexpr int kSsl2ChallengeLength = 16;

int HashCode(const char* name) {
  static const char* const kNames[] = {"none", "md5", "sha1", "sha224", "sha256", "sha384", "sha512"};
  for (int i = 0; i < 7; ++i) {
    if (std::strcmp(name, kNames[i]) == 0) return i;
  }
  return std::strcmp(name, "all") == 0 ? 255 : -1;
}

int SignatureCode(const char* name) {
  static const char* const kNames[] = {"anonymous", "rsa", "dsa", "ecdsa"};
  for (int i = 0; i < 4; ++i) {
    if (std::strcmp(name, kNames[i]) == 0) return i;
  }
  return std::strcmp(name, "all") == 0 ? 255 : -1;
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

}  // namespace

int TlsEngine::EncodeTls12SignatureAlgorithms(const char* text, ByteString& out) {
  out.Clear();
  StringList pieces;
  TORNELL_TRY(SplitList(text != nullptr ? text : "", ',', pieces));
  for (int i = 0; i < pieces.Count(); ++i) {
    ByteString hash, signature;
    if (!SplitPair(pieces.Get(i), hash, signature)) continue;
    const int h = HashCode(hash.CStr());
    const int s = SignatureCode(signature.CStr());
    if (h < 0 || s < 0) continue;
    TORNELL_TRY(out.AppendByte(h));
    TORNELL_TRY(out.AppendByte(s));
  }
  return kStatusOk;
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

int TlsEngine::PutExtension(WireBuffer& out, int type, const WireBuffer& body, int width) {
  TORNELL_TRY(out.PutU16(type));
  TORNELL_TRY(out.PutU16(body.Length() + width));
  TORNELL_TRY(width == 1 ? out.PutU8(body.Length()) : out.PutU16(body.Length()));
  return out.PutBytes(body);
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
  TORNELL_TRY(message.PutU16(clientVersion));
  TORNELL_TRY(message.PutBytes(pending.clientRandom));
  TORNELL_TRY(Status(EnabledVersionsText()));
  TORNELL_TRY(message.PutU8(pending.sessionId.Length()));
  TORNELL_TRY(message.PutBytes(pending.sessionId));
  offeredSuites.Clear();
  TORNELL_TRY(CipherSuite::BuildEnabledList(cipherSuites.IsEmpty() ? "*" : cipherSuites.CStr(),
                                            IsTls13Enabled() != 0 ? 0x0304 : clientVersion, relaxedChecks,
                                            protocolMask, offeredSuites));
  // The first hello signals secure renegotiation by the SCSV; a renegotiation
  // hello carries the extension instead.
  const bool renegotiating = current.HasHelloRandom() != 0;
  const bool scsv = !renegotiating && clientVersion <= 0x0303 && !retry;
  TORNELL_TRY(message.PutU16(2 * (offeredSuites.Count() + (scsv ? 1 : 0))));
  for (int i = 0; i < offeredSuites.Count(); ++i) TORNELL_TRY(message.PutU16(int(offeredSuites.GetLong(i))));
  if (scsv) TORNELL_TRY(message.PutU16(kRenegotiationScsv));
  TORNELL_TRY(Status(OfferedSuitesText(offeredSuites)));
  TORNELL_TRY(message.PutU8(1));
  TORNELL_TRY(message.PutU8(0));
  WireBuffer extensions;
  TORNELL_TRY(BuildClientHelloExtensions(extensions));
  if (extensions.Length() > 0) {
    TORNELL_TRY(message.PutU16(extensions.Length()));
    TORNELL_TRY(message.PutBytes(extensions));
  }
  TORNELL_TRY(SecretDump("ClientHello", message.Data(), message.Length()));
  const int status = SendHandshakeMessage(message);
  if (status != kStatusOk && status != kWouldBlock) return status;
  TORNELL_TRY(Status("ClientHello message sent"));
  return kStatusOk;
}

int TlsEngine::BuildClientHelloExtensions(WireBuffer& out) {
  if (IsTls13Enabled() != 0) {
    WireBuffer versions;
    offeredVersions.Clear();
    const int candidates[] = {0x0304, 0x0303, 0x0302, 0x0301, 0x0300};
    const int enabled[] = {1, IsTls12Enabled(), IsTls11Enabled(), IsTls10Enabled(), IsSsl30Enabled()};
    for (int i = 0; i < 5; ++i) {
      if (enabled[i] == 0) continue;
      TORNELL_TRY(versions.PutU16(candidates[i]));
      TORNELL_TRY(offeredVersions.AddInt(candidates[i]));
    }
    TORNELL_TRY(PutExtension(out, kExtSupportedVersions, versions, 1));

    WireBuffer groups, shares;
    keyShares.Clear();
    keyShareGroups.Clear();
    const std::string_view shareText(tls13KeyShareGroups.CStr());
    TORNELL_TRY(ForEachListItem(tls13SupportedGroups.CStr(), ',', [&](const char* name, int length) {
      int id = 0;
      if (tls::GroupId(name, length, id) != kStatusOk) return tls::kStatusBadListItem;
      TORNELL_TRY(keyShareGroups.AddInt(id));
      TORNELL_TRY(groups.PutU16(id));
      const bool share = pending.helloRetry != 0
                             ? id == pending.selectedGroup
                             : shareText.find(std::string_view(name, size_t(length))) != std::string_view::npos;
      if (!share) return kStatusOk;
      DhParameters pair(role);
      if (IsNistCurveGroup(id) != 0) {
        (void)pair.UseEllipticCurve(1);
        (void)pair.SetGroup(id, 1);
        TORNELL_TRY(pair.GenerateEcKey());
      } else {
        TORNELL_TRY(pair.SetupGroup(0, id, 1));
      }
      ByteString point;
      TORNELL_TRY(pair.GetOwnPublicPadded(point));
      TORNELL_TRY(keyShares.Add(pair));
      TORNELL_TRY(shares.PutU16(id));
      TORNELL_TRY(shares.PutU16(point.Length()));
      TORNELL_TRY(shares.PutBytes(point));
      return SecretDump("send keyshare pbk", point);
    }));
    TORNELL_TRY(PutExtension(out, kExtSupportedGroups, groups, 2));
    TORNELL_TRY(PutExtension(out, kExtKeyShare, shares, 2));
    if (pending.helloRetry != 0 && !pending.retryCookie.IsEmpty()) {
      WireBuffer cookie;
      TORNELL_TRY(cookie.PutBytes(pending.retryCookie));
      TORNELL_TRY(PutExtension(out, kExtCookie, cookie, 2));
    }
    WireBuffer modes;
    TORNELL_TRY(modes.PutU8(1));
    TORNELL_TRY(PutExtension(out, kExtPskModes, modes, 1));
  }

  if (HostTakesServerName(remoteHost.CStr()) != 0) {
    const int n = remoteHost.Length();
    TORNELL_TRY(out.PutU16(kExtServerName));
    TORNELL_TRY(out.PutU16(n + 5));
    TORNELL_TRY(out.PutU16(n + 3));
    TORNELL_TRY(out.PutU8(0));
    TORNELL_TRY(out.PutU16(n));
    TORNELL_TRY(out.PutBytes(remoteHost));
  }

  if (IsTls13Enabled() != 0) {
    WireBuffer schemes;
    TORNELL_TRY(ForEachListItem(tls13SignatureAlgorithms.CStr(), ',', [&schemes](const char* name, int length) {
      int id = 0;
      if (tls::SignatureSchemeId(name, length, id) != kStatusOk) return tls::kStatusBadListItem;
      return schemes.PutU16(id);
    }));
    TORNELL_TRY(PutExtension(out, kExtSignatureAlgorithms, schemes, 2));
  } else {
    if (CipherSuite::ListHasEcc(offeredSuites) != 0) {
      WireBuffer groups;
      TORNELL_TRY(ForEachListItem(tls12SupportedGroups.CStr(), ',', [&groups](const char* name, int length) {
        int id = 0;
        if (tls::GroupId(name, length, id) != kStatusOk) return tls::kStatusBadListItem;
        return groups.PutU16(id);
      }));
      TORNELL_TRY(PutExtension(out, kExtSupportedGroups, groups, 2));
      WireBuffer formats;
      TORNELL_TRY(formats.PutU8(0));
      TORNELL_TRY(PutExtension(out, kExtPointFormats, formats, 1));
    }
    if (IsTls12Enabled() != 0 && !tls12SignatureAlgorithms.IsEmpty()) {
      ByteString pairs;
      TORNELL_TRY(EncodeTls12SignatureAlgorithms(tls12SignatureAlgorithms.CStr(), pairs));
      if (!pairs.IsEmpty()) {
        WireBuffer body;
        TORNELL_TRY(body.PutBytes(pairs));
        TORNELL_TRY(PutExtension(out, kExtSignatureAlgorithms, body, 2));
      }
    }
  }

  if (!alpnProtocols.IsEmpty()) {
    StringList names;
    WireBuffer list;
    TORNELL_TRY(SplitList(alpnProtocols.CStr(), ',', names));
    for (int i = 0; i < names.Count(); ++i) {
      const int n = names.EntryLength(i);
      if (n < 1 || n > 255) continue;
      TORNELL_TRY(list.PutU8(n));
      TORNELL_TRY(list.PutBytes(names.Get(i), n));
    }
    if (list.Length() > 0) TORNELL_TRY(PutExtension(out, kExtAlpn, list, 2));
  }

  // A renegotiation binds itself to the handshake before it.
  if (current.HasHelloRandom() != 0 && MaxClientVersion() <= 0x0303) {
    WireBuffer binding;
    TORNELL_TRY(binding.PutBytes(ownVerifyData));
    TORNELL_TRY(PutExtension(out, kExtRenegotiationInfo, binding, 1));
  }
  return kStatusOk;
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
    TORNELL_TRY(message.PutU16(int(offeredSuites.GetLong(i))));
  }
  TORNELL_TRY(message.PutU8(0));
  TORNELL_TRY(message.PutU16(kRenegotiationScsv));
  TORNELL_TRY(Status(OfferedSuitesText(offeredSuites)));
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
