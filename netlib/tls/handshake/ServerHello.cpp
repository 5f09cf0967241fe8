// The server's reading of a ClientHello, in the record form and the SSL 2.0
// form, and its choices: version, suite, group, key share and signature
// scheme; then the answer (ServerFlight) or a HelloRetryRequest.
#include <cstring>

#include "core/base/Status.h"
#include "core/secure/ConstantTime.h"
#include "core/text/TextUtils.h"
#include "pki/store/SelectedCertificate.h"
#include "tls/engine/TlsEngine.h"
#include "tls/engine/TlsSettingLists.h"
#include "tls/handshake/MessageReader.h"
#include "tls/suites/CipherSuite.h"
#include "tls/handshake/HandshakeNumbers.h"

namespace tornell {

using namespace hs;

using tls::MessageReader;

namespace {

constexpr int kSessionIdLength = 32;
constexpr int kMinChallenge = 16;


// What one ClientHello brings, read whole before anything is decided. The
// key shares stay in the message: their offsets and lengths are kept.
struct Offer {
  int legacyVersion = 0;
  ByteString random;
  ByteString sessionId;
  CodeList suites;
  ByteString compression;
  CodeList groups;
  CodeList schemes;
  CodeList versions;
  CodeList shareGroups;
  CodeList shareOffsets;
  CodeList shareLengths;
  int hasRenegotiationInfo = 0;
  ByteString renegotiationInfo;
};

// The ids of the groups a setting names; other names are passed over.
int GroupIds(const char* text, CodeList& out) {
  return tls::ForEachListedId(text, tls::ListKind::kGroups, false,
                              [&out](int id, const char*, int) { return out.Add(id); });
}

// A list of 2-byte values behind a length of `width` bytes, read in place;
// an extension's fills its body exactly.
bool ReadU16List(MessageReader& body, int width, CodeList& out, bool fillsBody = true) {
  const int n = body.Value(width);
  if (body.Bad() || (fillsBody ? n != body.Left() : n > body.Left()) || n % 2 != 0) return false;
  const auto* at = reinterpret_cast<const uint8_t*>(body.At(body.Position()));
  for (int i = 0; i < n; i += 2) {
    if (out.Add((at[i] << 8) | at[i + 1]) != kStatusOk) return false;
  }
  return body.Skip(n);
}

bool ReadKeyShares(MessageReader& body, Offer& offer) {
  const int n = body.U16();
  if (body.Bad() || n != body.Left()) return false;
  while (body.Left() > 0) {
    const int group = body.U16();
    const int length = body.U16();
    const int at = body.Position();
    if (body.Bad() || !body.Skip(length)) return false;
    if (offer.shareGroups.Add(group) != kStatusOk || offer.shareOffsets.Add(at) != kStatusOk ||
        offer.shareLengths.Add(length) != kStatusOk) {
      return false;
    }
  }
  return true;
}

// One extension's body of `size` bytes at the reader's position; false when malformed.
bool ReadExtension(WireBuffer& in, int type, int size, Offer& offer) {
  MessageReader body(in, size);
  const char* at = body.At(body.Position());
  const bool counted = size >= 1 && uint8_t(at[0]) == size - 1;  // one length byte, then the bytes
  switch (type) {
    case kExtSupportedGroups: return ReadU16List(body, 2, offer.groups);
    case kExtSignatureAlgorithms: return ReadU16List(body, 2, offer.schemes);
    case kExtSupportedVersions: return ReadU16List(body, 1, offer.versions);
    case kExtKeyShare: return ReadKeyShares(body, offer);
    case kExtPskModes: return counted;
    case kExtRenegotiationInfo:
      offer.hasRenegotiationInfo = 1;
      return counted && offer.renegotiationInfo.Set(at + 1, size - 1) == kStatusOk;
    default: return true;
  }
}

// The extension block fills the rest of the hello exactly.
bool ReadExtensions(WireBuffer& in, MessageReader& read, Offer& offer) {
  const int block = read.U16();
  if (read.Bad() || block != read.Left()) return false;
  while (read.Left() > 0) {
    const int type = read.U16();
    const int size = read.U16();
    if (read.Bad() || size > read.Left()) return false;
    const int end = read.Position() + size;
    if (!ReadExtension(in, type, size, offer)) return false;
    in.SetPosition(end);
  }
  return true;
}

// The first entry the client lists that this server knows and has enabled.
int FirstEnabledVersion(const TlsEngine& engine, const CodeList& versions) {
  for (int i = 0; i < versions.Count(); ++i) {
    const int v = versions.Get(i);
    if ((v == 0x0304 && engine.IsTls13Enabled() != 0) || (v == 0x0303 && engine.IsTls12Enabled() != 0) ||
        (v == 0x0302 && engine.IsTls11Enabled() != 0) || (v == 0x0301 && engine.IsTls10Enabled() != 0) ||
        (v == 0x0300 && engine.IsSsl30Enabled() != 0)) {
      return v;
    }
  }
  return 0;
}

// The own certificate's key as the suite choice names it, and its curve's group.
const char* CertificateAlgorithm(TlsSecurityContext& context, int& group) {
  group = -1;
  const char* algorithm = context.OwnKeyAlgorithm();
  if (*algorithm == '\0') return nullptr;
  if (std::strcmp(algorithm, "IdEcPublicKey") == 0) {
    EcKey key;
    if (context.ownCertificate->GetManager()->GetEcKey(key, 0) == kStatusOk) {
      group = DhParameters::CurveIndexToGroup(key.curveIndex);
    }
  }
  return algorithm;
}

// The offered codes a suite of this version may come from; an ephemeral
// elliptic-curve suite only with a curve both sides take.
int SuitesForVersion(const CodeList& offered, int version, int tls13, const CodeList& curves, CodeList& out) {
  for (int i = 0; i < offered.Count(); ++i) {
    const CipherSuite* suite = CipherSuite::FindByCode(offered.Get(i));
    if (suite == nullptr) continue;
    const bool isTls13Suite = suite->GetKeyExchange() == keyexchange::kNone;
    // SSL 3.0 takes the suites TLS 1.0 takes.
    const int floor = version < 0x0301 ? 0x0301 : version;
    if (tls13 != 0 ? !isTls13Suite : (isTls13Suite || suite->GetMinVersion() > floor)) continue;
    if (suite->IsEcdhe() != 0 && curves.Count() == 0) continue;
    TORNELL_TRY(out.Add(offered.Get(i)));
  }
  return kStatusOk;
}

// No setting at all enables every suite, as it does for the client.
const char* EnabledSuitesText(const ByteString& setting) { return setting.IsEmpty() ? "*" : setting.CStr(); }

}  // namespace

int TlsEngine::MakeRandom(ByteString& out) { return tls::RandomBytes(32, out); }

const SessionCacheEntry* TlsEngine::FindCachedSession(const ByteString& id) {
  if (id.IsEmpty() || sessionReuse == 0) return nullptr;
  return sessionCache.Find(id.Data(), id.Length());
}

int TlsEngine::ChooseServerVersion(int version, int& chosen) {
  chosen = version;
  if (version < 0x0300) return RaiseFatal(kStatusNegotiationFailed, "SSL 2.0 not supported");
  if (chosen > 0x0303) chosen = 0x0303;
  if (chosen > 0x0302 && IsTls12Enabled() == 0 && IsTls13Enabled() == 0) chosen = 0x0302;
  if (chosen > 0x0301 && IsTls11Enabled() == 0 && IsTls12Enabled() == 0 && IsTls13Enabled() == 0) chosen = 0x0301;
  if (chosen > 0x0300 && IsTls10Enabled() == 0 && IsTls11Enabled() == 0 && IsTls12Enabled() == 0 &&
      IsTls13Enabled() == 0) {
    chosen = 0x0300;
  }
  if (chosen == 0x0300 && IsSsl30Enabled() == 0) {
    (void)SendAlert(tlsalert::kFatal, tlsalert::kHandshakeFailure);
    return RaiseFatal(kStatusHandshakeFailed,
                      "Client wants SSL3 protocol and it's disabled, or both SSL3 and TLS1 are disabled");
  }
  return kStatusOk;
}

int TlsEngine::OwnSignatureSchemes(SelectedCertificate* own, const char* list, CodeList& out) {
  out.Clear();
  if (own == nullptr || own->GetManager() == nullptr) return kStatusOk;
  pki::CertificateManager& manager = *own->GetManager();
  const char* algorithm = manager.GetKeyAlgorithm();
  if (algorithm == nullptr) algorithm = "";
  int candidates[6] = {};
  int count = 0;
  if (CompareNoCase(algorithm, "RSA") == 0 || CompareNoCase(algorithm, "RSA_RSA") == 0) {
    for (int scheme : {0x0804, 0x0805, 0x0806, 0x0401, 0x0501, 0x0601}) candidates[count++] = scheme;
  } else if (CompareNoCase(algorithm, "IdEcPublicKey") == 0) {
    EcKey key;
    TORNELL_TRY(manager.GetEcKey(key, 0));
    const int group = DhParameters::CurveIndexToGroup(key.curveIndex);
    if (group == 23) candidates[count++] = 0x0403;
    if (group == 24) candidates[count++] = 0x0503;
    if (group == 25) candidates[count++] = 0x0603;
  }
  return tls::ForEachListedId(list, tls::ListKind::kSchemes, false, [&](int id, const char*, int) {
    for (int c = 0; c < count; ++c) {
      if (candidates[c] == id && !out.Has(id)) TORNELL_TRY(out.Add(id));
    }
    return kStatusOk;
  });
}

int TlsEngine::ChooseServerSuite(const CodeList& candidates, const CodeList* groups, int tls13,
                                 CipherSuite& chosen, int& certificateGroup) {
  certificateGroup = -1;
  const char* certificateAlgorithm = CertificateAlgorithm(pending, certificateGroup);
  if (CipherSuite::ChooseServerSuiteFor(candidates, certificateAlgorithm, certificateGroup, groups,
                                        EnabledSuitesText(cipherSuites), authenticateClients, relaxedChecks, tls13,
                                        chosen) != kStatusOk) {
    (void)SendAlert(tlsalert::kFatal, tlsalert::kHandshakeFailure);
    return RaiseFatal(kStatusNegotiationFailed, "Could not agree on a cipher suite");
  }
  TORNELL_TRY(Status(VersionText(pending.version)));
  if (owner == nullptr) return kStatusOk;
  InlineString<160> text;
  TORNELL_TRY(text.Set("Selected Cipher Suite: "));
  TORNELL_TRY(text.Append(chosen.GetDisplayName()));
  return Status(text.CStr());
}

int TlsEngine::ProcessClientHello(WireBuffer& in, int length) {
  TORNELL_TRY(Status("ClientHello message received"));
  const bool renegotiation = handshakeState == tlsstate::kComplete;
  if (role != 0 || (!renegotiation && handshakeState != tlsstate::kAwaitClientHello)) {
    return RejectUnexpectedMessage("ClientHello");
  }
  // TLS 1.3 has no renegotiation.
  if (renegotiation && tls13 != 0) return FailWithAlertOnly(tlsalert::kUnexpectedMessage);

  Offer offer;
  MessageReader read(in, length);
  offer.legacyVersion = read.U16();
  if (!read.Bytes(32, offer.random) || !read.Vector(1, offer.sessionId) || offer.sessionId.Length() > 32) {
    return FailWithAlertOnly(tlsalert::kDecodeError);
  }
  if (!ReadU16List(read, 2, offer.suites, false) || !read.Vector(1, offer.compression)) {
    return FailWithAlertOnly(tlsalert::kDecodeError);
  }
  if (read.Left() > 0 && !ReadExtensions(in, read, offer)) return FailWithAlertOnly(tlsalert::kDecodeError);

  if (renegotiation) {
    // Only a client that proves it saw the last handshake's Finished may start another.
    const bool bound = renegotiationEnabled != 0 && secureRenegotiation != 0 && offer.hasRenegotiationInfo != 0 &&
                       offer.renegotiationInfo.Length() == peerVerifyData.Length() &&
                       ct::BytesEqual(offer.renegotiationInfo.Data(), peerVerifyData.Data(),
                                      size_t(peerVerifyData.Length()));
    if (!bound) {
      TORNELL_TRY(Status("Renegotiate is disabled. Send NO_RENEGOTIATION alert message."));
      const int status = SendAlert(tlsalert::kWarning, tlsalert::kNoRenegotiation);
      return status == kWouldBlock ? kStatusOk : status;
    }
  }

  TORNELL_TRY(Status(EnabledVersionsText()));
  const bool secondHello = tls13 != 0 && pending.HasHelloRandom() != 0 && pending.helloRetry != 0;
  if (!secondHello) TORNELL_TRY(InitPendingContext(pending));
  pending.offeredVersion = offer.legacyVersion;
  int version = 0;
  TORNELL_TRY(ChooseServerVersion(offer.legacyVersion, version));
  TORNELL_TRY(pending.clientRandom.Assign(offer.random));
  const SessionCacheEntry* cached = renegotiation ? nullptr : FindCachedSession(offer.sessionId);
  TORNELL_TRY(ReportOfferedSuites(offer.suites));
  bool nullCompression = false;
  for (int i = 0; i < offer.compression.Length(); ++i) {
    nullCompression = nullCompression || offer.compression.ByteAt(i) == 0;
  }
  if (!nullCompression) {
    (void)SendAlert(tlsalert::kFatal, tlsalert::kHandshakeFailure);
    return RaiseFatal(kStatusNegotiationFailed, "Could not agree on a compression method");
  }
  if (!renegotiation) {
    secureRenegotiation = offer.hasRenegotiationInfo != 0 || offer.suites.Has(kRenegotiationScsv) ? 1 : 0;
    // A first hello's renegotiation_info must be empty.
    if (offer.hasRenegotiationInfo != 0 && !offer.renegotiationInfo.IsEmpty()) {
      return FailWithAlertOnly(tlsalert::kHandshakeFailure);
    }
  }

  // The pairs a TLS 1.2 client takes, for the ServerKeyExchange's signature.
  TORNELL_TRY(peerSignatureAlgorithms.Resize(2 * offer.schemes.Count()));
  for (int i = 0; i < offer.schemes.Count(); ++i) {
    peerSignatureAlgorithms.Bytes()[2 * i] = uint8_t(offer.schemes.Get(i) >> 8);
    peerSignatureAlgorithms.Bytes()[2 * i + 1] = uint8_t(offer.schemes.Get(i));
  }
  CodeList tls13Groups, tls12Groups, common13, common12;
  TORNELL_TRY(GroupIds(tls13SupportedGroups.CStr(), tls13Groups));
  TORNELL_TRY(GroupIds(tls12SupportedGroups.CStr(), tls12Groups));
  for (int i = 0; i < offer.groups.Count(); ++i) {
    const int group = offer.groups.Get(i);
    if (tls13Groups.Has(group)) TORNELL_TRY(common13.Add(group));
    if (tls12Groups.Has(group)) TORNELL_TRY(common12.Add(group));
  }
  tls13 = 0;
  if (offer.versions.Count() > 0 && !renegotiation) {
    const int listed = FirstEnabledVersion(*this, offer.versions);
    if (listed != 0) version = listed;
  }
  tls13 = version == 0x0304 ? 1 : 0;
  pending.version = version;

  if (protocolMask == 0x3000 && tls13 == 0) {
    (void)SendAlert(tlsalert::kFatal, tlsalert::kHandshakeFailure);
    return RaiseFatal(kStatusNegotiationFailed, "Could not agree on tls version. Only tls 1.3 is accepted.");
  }
  CodeList ownSchemes;
  TORNELL_TRY(OwnSignatureSchemes(ownCertificate, tls13SignatureAlgorithms.CStr(), ownSchemes));
  pending.peerSignatureScheme = pending.ownSignatureScheme = 0;
  for (int i = 0; i < offer.schemes.Count() && pending.ownSignatureScheme == 0; ++i) {
    const int scheme = offer.schemes.Get(i);
    // TLS 1.3 signs its CertificateVerify with PSS or ECDSA, never PKCS#1 v1.5.
    const bool pkcs1 = (scheme & 0xFF) == 0x01;
    if (ownSchemes.Has(scheme) && !(tls13 != 0 && pkcs1)) {
      pending.peerSignatureScheme = pending.ownSignatureScheme = scheme;
    }
  }
  if (pending.ownSignatureScheme != 0) {
    const char* name = tls::SignatureSchemeName(pending.ownSignatureScheme);
    TORNELL_TRY(SecretDump("Selected Tls13_PeerSignatureScheme:", name, int(std::strlen(name))));
    TORNELL_TRY(SecretDump("Selected Tls13_OurSignatureScheme:", name, int(std::strlen(name))));
  }
  if (tls13 != 0 && pending.ownSignatureScheme == 0) return FailWithAlertOnly(tlsalert::kHandshakeFailure);

  CodeList candidates;
  CodeList curves12;
  for (int i = 0; i < common12.Count(); ++i) {
    if (IsNistCurveGroup(common12.Get(i)) != 0) TORNELL_TRY(curves12.Add(common12.Get(i)));
  }
  TORNELL_TRY(SuitesForVersion(offer.suites, version, tls13, curves12, candidates));
  CipherSuite chosen;
  int certificateGroup = -1;
  TORNELL_TRY(ChooseServerSuite(candidates, tls13 != 0 ? &common13 : &common12, tls13, chosen, certificateGroup));

  if (IsTls13Enabled() != 0 && version < 0x0304 && pending.serverRandom.Length() == 32) {
    std::memcpy(pending.serverRandom.Data() + 24, version == 0x0303 ? kDowngradeTls12 : kDowngradeTls11, 8);
  }

  int group = 0;
  if (tls13 == 0 && chosen.UsesEcc() != 0) {
    group = chosen.IsEcdh() != 0 ? certificateGroup : curves12.Get(0);
    DhParameters curve(0);
    (void)curve.UseEllipticCurve(1);
    (void)curve.SetGroup(group, 1);
    TORNELL_TRY(pending.keyExchange.CopyFrom(curve));
  } else if (tls13 != 0) {
    int share = -1;
    for (int i = 0; i < offer.shareGroups.Count() && share < 0; ++i) {
      if (common13.Has(offer.shareGroups.Get(i))) share = i;
    }
    if (share < 0) {
      if (common13.Count() == 0 || pending.helloRetry != 0) return FailWithAlertOnly(tlsalert::kDecodeError);
      TORNELL_TRY(pending.sessionId.Assign(offer.sessionId));
      TORNELL_TRY(pending.readState.SetSuite(chosen));
      TORNELL_TRY(pending.writeState.SetSuite(chosen));
      pending.UpdatePrfHash();
      // The first ClientHello lives on in the transcript as a hash of itself.
      ByteString hash;
      TORNELL_TRY(pending.TranscriptHash(handshakeMessages, hash));
      WireBuffer rebuilt;
      TORNELL_TRY(rebuilt.PutU8(254));
      TORNELL_TRY(rebuilt.PutU16(0));
      TORNELL_TRY(rebuilt.PutU8(hash.Length()));
      TORNELL_TRY(rebuilt.PutBytes(hash));
      TORNELL_TRY(handshakeMessages.Assign(rebuilt));
      return SendHelloRetryRequest(pending, chosen.GetCode(), common13.Get(0));
    }
    group = offer.shareGroups.Get(share);
    DhParameters exchange(0);
    if (IsNistCurveGroup(group) != 0) {
      (void)exchange.UseEllipticCurve(1);
      (void)exchange.SetGroup(group, 1);
      TORNELL_TRY(exchange.GenerateEcKey());
    } else {
      TORNELL_TRY(exchange.SetupGroup(0, group, 1));
    }
    ByteString key;
    TORNELL_TRY(key.Set(in.Data() + offer.shareOffsets.Get(share), offer.shareLengths.Get(share)));
    TORNELL_TRY(SecretDump("selectedKeyShare", key));
    // The client's value must be a group element before any secret is made from it.
    if (exchange.SetPeerPublic(key) != kStatusOk) return FailWithAlertOnly(tlsalert::kIllegalParameter);
    TORNELL_TRY(pending.keyExchange.CopyFrom(exchange));
    pending.selectedGroup = group;
  }
  if (group != 0) TORNELL_TRY(ReportSelectedGroup(group));

  if (cached == nullptr && tls13 == 0) {
    TORNELL_TRY(MakeRandom(pending.sessionId));
  } else {
    TORNELL_TRY(pending.sessionId.Assign(offer.sessionId));
  }
  TORNELL_TRY(pending.readState.SetSuite(chosen));
  TORNELL_TRY(pending.writeState.SetSuite(chosen));
  (void)pending.readState.SetCompressionMethod(0);
  (void)pending.writeState.SetCompressionMethod(0);
  pending.UpdatePrfHash();
  changeCipherSpecSeen = 0;
  resumed = 0;
  return SendServerFlight(cached);
}

int TlsEngine::ProcessSsl2Record(const char* record, int size) {
  if (size < 3 || uint8_t(record[2]) != 1) return RaiseFatal(kStatusNegotiationFailed, "SSL 2.0 not supported");
  TORNELL_TRY(handshakeMessages.Clear());
  TORNELL_TRY(handshakeMessages.PutBytes(record + 2, size - 2));
  WireBuffer body(record, 3, size - 3);
  return ProcessSsl2ClientHello(body);
}

int TlsEngine::ProcessSsl2ClientHello(WireBuffer& in) {
  TORNELL_TRY(Status("ClientHello (SSL2) message received"));
  MessageReader read(in, in.Remaining());
  const int offered = read.U16();
  if (read.Bad() || offered < 0x0300) return RaiseFatal(kStatusNegotiationFailed, "SSL2 not supported");
  TORNELL_TRY(InitPendingContext(pending));
  pending.offeredVersion = offered;
  int version = 0;
  TORNELL_TRY(ChooseServerVersion(offered, version));
  pending.version = version;
  tls13 = 0;
  const int specLength = read.U16();
  const int sessionIdLength = read.U16();
  const int challengeLength = read.U16();
  if (read.Bad() || specLength % 3 != 0) return FailWithAlertOnly(tlsalert::kDecodeError);
  CodeList specs;
  for (int i = 0; i < specLength / 3; ++i) TORNELL_TRY(specs.Add(read.Value(3)));
  ByteString challenge;
  if (!read.Skip(sessionIdLength) || !read.Bytes(challengeLength, challenge)) {
    return FailWithAlertOnly(tlsalert::kDecodeError);
  }
  TORNELL_TRY(ReportOfferedSuites(specs));
  secureRenegotiation = specs.Has(kRenegotiationScsv) ? 1 : 0;
  CodeList candidates;
  TORNELL_TRY(SuitesForVersion(specs, version, 0, CodeList(), candidates));
  CipherSuite chosen;
  int certificateGroup = -1;
  TORNELL_TRY(ChooseServerSuite(candidates, nullptr, 0, chosen, certificateGroup));
  TORNELL_TRY(tls::RandomBytes(kSessionIdLength, pending.sessionId));
  if (challenge.Length() < kMinChallenge) {
    return RaiseFatal(kStatusNegotiationFailed, "SSL2 ClientHello challenge too short");
  }
  // The challenge, right-aligned in 32 bytes (RFC 5246, appendix E.2).
  const int kept = challenge.Length() > 32 ? 32 : challenge.Length();
  pending.clientRandom.Clear();
  TORNELL_TRY(pending.clientRandom.AppendRepeated(32 - kept, 0));
  TORNELL_TRY(pending.clientRandom.Append(challenge.Data() + challenge.Length() - kept, kept));
  TORNELL_TRY(pending.readState.SetSuite(chosen));
  TORNELL_TRY(pending.writeState.SetSuite(chosen));
  (void)pending.readState.SetCompressionMethod(0);
  (void)pending.writeState.SetCompressionMethod(0);
  pending.UpdatePrfHash();
  changeCipherSpecSeen = 0;
  resumed = 0;
  return SendServerFlight(nullptr);
}

}  // namespace tornell
