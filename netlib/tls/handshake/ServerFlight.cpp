// The server's flight as the client reads it: Certificate, ServerKeyExchange,
// CertificateRequest and ServerHelloDone, each only in its place, and the
// server's Finished; also the peer's CertificateVerify.
#include <cstring>
#include <new>
#include <utility>

#include "core/base/Status.h"
#include "core/secure/ConstantTime.h"
#include "core/text/TextUtils.h"
#include "crypto/rsa/RsaKey.h"
#include "pki/x509/CertificateRecords.h"
#include "tls/engine/TlsEngine.h"
#include "tls/engine/TlsSettingLists.h"
#include "tls/handshake/MessageReader.h"
#include "tls/suites/CipherSuite.h"
#include "tls/handshake/HandshakeNumbers.h"

namespace tornell {

using namespace hs;
namespace {

constexpr int kStepCertificate = 1;
constexpr int kStepKeyExchange = 2;
constexpr int kStepCertificateRequest = 3;
constexpr int kMinDhBits = 1024;
constexpr int kBadCertificate = 42;
constexpr int kDecryptError = 51;

// TLS 1.3 signs with RSA only under PSS (rsaEncryption keys) and with ECDSA
// only under the scheme's own digest; PKCS#1 v1.5 and SHA-1 are out.
bool Tls13SchemeFits(int scheme, int keyByte) {
  if (keyByte == 1) return scheme == 0x0804 || scheme == 0x0805 || scheme == 0x0806;
  if (keyByte == 3) return scheme == 0x0403 || scheme == 0x0503 || scheme == 0x0603;
  return false;
}

// The TLS 1.2 signature byte a peer key algorithm signs with.
int SignatureByteOf(const char* keyAlgorithm) {
  const auto is = [keyAlgorithm](const char* name) {
    return CompareNoCase(keyAlgorithm != nullptr ? keyAlgorithm : "", name) == 0;
  };
  if (is("RSA") || is("RSA_RSA")) return 1;
  if (is("DSA")) return 2;
  if (is("IdEcPublicKey")) return 3;
  return -1;
}

bool NeedsServerKeyExchange(int kind) {
  return kind == keyexchange::kDheDss || kind == keyexchange::kDheRsa || kind == keyexchange::kDheDssExport ||
         kind == keyexchange::kDheRsaExport || kind == keyexchange::kDhAnon || kind == keyexchange::kDhAnonExport ||
         kind == keyexchange::kEcdheEcdsa || kind == keyexchange::kEcdheRsa || kind == keyexchange::kEcdhAnon;
}

}  // namespace

int TlsEngine::ProcessCertificate(WireBuffer& in, int length) {
  TORNELL_TRY(Status("Certificate message received"));
  const bool tls12Client = role != 0 && tls13 == 0;
  const CipherSuite& suite = pending.readState.Suite();
  if (tls12Client) {
    if (handshakeState != tlsstate::kServerFlight || serverFlightStep != 0 || suite.IsAnonymous() != 0) {
      return RejectUnexpectedMessage("Certificate");
    }
  } else if (role != 0 ? handshakeState != tlsstate::kCertificateRequest &&
                             handshakeState != tlsstate::kTls13Extensions
                       : handshakeState != tlsstate::kCertificateRequest) {
    return RejectUnexpectedMessage("Certificate");
  }
  tls::MessageReader read(in, length);
  ByteString context;
  if (tls13 != 0 && !read.Vector(1, context)) return FailWithAlertOnly(tlsalert::kDecodeError);
  const int listLength = read.U24();
  if (read.Bad() || listLength != read.Left()) return FailWithAlertOnly(tlsalert::kDecodeError);
  StringList chain;
  while (read.Left() > 0) {
    ByteString der;
    if (!read.Vector(3, der)) return FailWithAlertOnly(tlsalert::kDecodeError);
    if (tls13 != 0) {
      ByteString extensions;
      if (!read.Vector(2, extensions)) return FailWithAlertOnly(tlsalert::kDecodeError);
      // Most certificates carry no extensions: nothing to check then.
      if (!extensions.IsEmpty()) {
        CodeList types;
        StringList bodies;
        WireBuffer whole;
        TORNELL_TRY(whole.PutU16(extensions.Length()));
        TORNELL_TRY(whole.PutBytes(extensions));
        if (ReadPairVector(whole, 2, 2, 2, types, bodies) != whole.Length()) {
          return FailWithAlertOnly(tlsalert::kDecodeError);
        }
      }
    }
    if (der.IsEmpty()) continue;
    TORNELL_TRY(chain.Add(der.Data(), der.Length()));
    if (acceptPeerChain == 0) break;
  }
  pending.peerCertificateDer.Clear();
  pending.peerKeyAlgorithm.Clear();
  // On the heap: the peer's selected certificate takes the decoded leaf over.
  std::unique_ptr<pki::X509Certificate> leaf;
  if (chain.Count() > 0) {
    TORNELL_TRY(pending.peerCertificateDer.Set(chain.Get(0), chain.EntryLength(0)));
    leaf.reset(new (std::nothrow) pki::X509Certificate());
    if (leaf == nullptr) return kStatusNoMemory;
    if (pending.DecodePeerCertificate(*leaf) != kStatusOk) return FailWithAlertOnly(kBadCertificate);
    TORNELL_TRY(pending.peerKeyAlgorithm.Set(leaf->GetKeyAlgorithm()));
    TORNELL_TRY(pending.RememberPeerKey(*leaf));
  } else if (role == 0 && authenticateClients != 0) {
    return RaiseFatal(kStatusHandshakeFailed, "Client did not send any certificates and SSLAuthenticateClients is true");
  } else if (role != 0) {
    // A server always names itself.
    return FailWithAlertOnly(tlsalert::kDecodeError);
  }
  const int verdict = VerifyPeerCertificate(chain, std::move(leaf));
  if (failure != 0) return failure;
  if (verdict != 1) return kStatusNameMismatch;
  const int kind = suite.GetKeyExchange();
  if (kind == keyexchange::kEcdhEcdsa || kind == keyexchange::kEcdhRsa) {
    EcKey key;
    if (pending.GetEcKey(key) != kStatusOk) return FailWithAlertOnly(kBadCertificate);
    TORNELL_TRY(pending.keyExchange.Reset());
    (void)pending.keyExchange.UseEllipticCurve(1);
    (void)pending.keyExchange.SetCurveIndex(key.curveIndex);
    if (pending.keyExchange.SetPeerPoint(key.X, key.Y) != kStatusOk) return FailWithAlertOnly(kBadCertificate);
  }
  if (tls12Client) {
    serverFlightStep = kStepCertificate;
    return kStatusOk;
  }
  handshakeState = tlsstate::kPeerCertificate;
  return kStatusOk;
}

int TlsEngine::ProcessServerKeyExchange(WireBuffer& in, int length) {
  TORNELL_TRY(Status("ServerKeyExchange message received"));
  const CipherSuite& suite = pending.readState.Suite();
  const int kind = suite.GetKeyExchange();
  const bool anonymous = suite.IsAnonymous() != 0;
  const int wanted = anonymous ? 0 : kStepCertificate;
  const bool allowed = NeedsServerKeyExchange(kind) || kind == keyexchange::kRsaExport;
  if (role == 0 || handshakeState != tlsstate::kServerFlight || serverFlightStep != wanted || !allowed) {
    return RejectUnexpectedMessage("ServerKeyExchange");
  }
  int status = kStatusOk;
  if (kind == keyexchange::kEcdheEcdsa || kind == keyexchange::kEcdheRsa || kind == keyexchange::kEcdhAnon) {
    status = ProcessEcdheServerKeyExchange(in, length);
  } else if (kind == keyexchange::kRsaExport) {
    status = ProcessRsaServerKeyExchange(in, length);
  } else {
    status = ProcessDheServerKeyExchange(in, length);
  }
  TORNELL_TRY(status);
  if (failure != 0) return failure;
  serverFlightStep = kStepKeyExchange;
  return kStatusOk;
}

// The digest a signature over the key exchange uses. In TLS 1.2 the pair the
// server names must be one this client offered, and fit the key.
int TlsEngine::KeyExchangeDigest(tls::MessageReader& read, const char*& digest) {
  const bool rsa = SignatureByteOf(pending.peerKeyAlgorithm.CStr()) == 1;
  digest = rsa ? "MD5SHA1" : "SHA1";
  if (pending.version != 0x0303) return kStatusOk;
  const int hash = read.U8();
  const int signature = read.U8();
  if (read.Bad()) return FailWithAlertOnly(tlsalert::kDecodeError);
  ByteString offered;
  TORNELL_TRY(EncodeTls12SignatureAlgorithms(tls12SignatureAlgorithms.CStr(), offered));
  bool listed = false;
  for (int i = 0; i + 1 < offered.Length() && !listed; i += 2) {
    listed = offered.ByteAt(i) == hash && offered.ByteAt(i + 1) == signature;
  }
  digest = tls::Tls12HashName(hash);
  if (!listed || digest == nullptr || signature != SignatureByteOf(pending.peerKeyAlgorithm.CStr())) {
    return FailWithAlertOnly(tlsalert::kIllegalParameter);
  }
  return kStatusOk;
}

int TlsEngine::ProcessEcdheServerKeyExchange(WireBuffer& in, int length) {
  tls::MessageReader read(in, length);
  const int start = read.Position();
  const int curveType = read.U8();
  if (read.Bad()) return FailWithAlertOnly(tlsalert::kDecodeError);
  if (curveType != 3) return kStatusNegotiationFailed;
  const int group = read.U16();
  ByteString point;
  if (!read.Vector(1, point)) return FailWithAlertOnly(tlsalert::kDecodeError);
  TORNELL_TRY(ReportSelectedGroup(group));
  // The group must be one the hello listed.
  bool offered = false;
  TORNELL_TRY(tls::ForEachListedId(tls12SupportedGroups.CStr(), tls::ListKind::kGroups, false,
                                   [&offered, group](int id, const char*, int) {
                                     offered = offered || id == group;
                                     return kStatusOk;
                                   }));
  if (!offered || IsNistCurveGroup(group) == 0) return FailWithAlertOnly(tlsalert::kIllegalParameter);
  DhParameters built(role);
  (void)built.UseEllipticCurve(1);
  (void)built.SetGroup(group, 1);
  if (built.SetPeerPublic(point) != kStatusOk) return FailWithAlertOnly(tlsalert::kIllegalParameter);
  return AcceptKeyExchangeParameters(in, read, start, built);
}

// The parameters read since `start` are signed by the server unless the suite
// is anonymous, where nothing may follow them; then they become the pending
// key exchange.
int TlsEngine::AcceptKeyExchangeParameters(WireBuffer& in, tls::MessageReader& read, int start,
                                           const DhParameters& built) {
  ByteString params;
  TORNELL_TRY(params.Set(read.At(start), read.Position() - start));
  if (pending.readState.Suite().IsAnonymous() == 0) {
    const char* digest = nullptr;
    TORNELL_TRY(KeyExchangeDigest(read, digest));
    if (failure != 0) return failure;
    TORNELL_TRY(VerifyKeyExchangeSignature(params, in, read.Left(), digest));
    if (failure != 0) return failure;
  } else if (!read.AtEnd()) {
    return FailWithAlertOnly(tlsalert::kDecodeError);
  }
  return pending.keyExchange.CopyFrom(built);
}

int TlsEngine::ProcessDheServerKeyExchange(WireBuffer& in, int length) {
  tls::MessageReader read(in, length);
  const int start = read.Position();
  ByteString p, g, ys;
  if (!read.Vector(2, p) || !read.Vector(2, g) || !read.Vector(2, ys)) {
    return FailWithAlertOnly(tlsalert::kDecodeError);
  }
  DhParameters built(role);
  (void)built.SetP(p);
  (void)built.SetG(g);
  int leading = 0;
  while (leading < p.Length() && p.ByteAt(leading) == 0) ++leading;
  if (relaxedChecks == 0 && 8 * (p.Length() - leading) < kMinDhBits) {
    const int sent = SendAlert(tlsalert::kFatal, tlsalert::kIllegalParameter);
    if (sent != kStatusOk && sent != kWouldBlock) return sent;
    return RaiseFatal(kStatusIntegrityFailed,
                      "Received a weak ephemeral Diffie-Hellman key (less than 1024 bits) in Server Key Exchange "
                      "handshake message.");
  }
  if (built.SetPeerPublic(ys) != kStatusOk) return FailWithAlertOnly(tlsalert::kIllegalParameter);
  return AcceptKeyExchangeParameters(in, read, start, built);
}

int TlsEngine::ProcessRsaServerKeyExchange(WireBuffer& in, int length) {
  tls::MessageReader read(in, length);
  const int start = read.Position();
  RsaKey key;
  if (!read.Vector(2, key.n) || !read.Vector(2, key.e)) return FailWithAlertOnly(tlsalert::kDecodeError);
  ByteString params;
  TORNELL_TRY(params.Set(read.At(start), read.Position() - start));
  const char* digest = nullptr;
  TORNELL_TRY(KeyExchangeDigest(read, digest));
  if (failure != 0) return failure;
  TORNELL_TRY(VerifyKeyExchangeSignature(params, in, read.Left(), digest));
  if (failure != 0) return failure;
  return pending.SetEphemeralRsaKey(key);
}

int TlsEngine::VerifyKeyExchangeSignature(const ByteString& params, WireBuffer& in, int end, const char* digest) {
  tls::MessageReader read(in, end);
  ByteString signature;
  if (!read.Vector(2, signature) || !read.AtEnd()) return FailWithAlertOnly(tlsalert::kDecodeError);
  ByteString data, hash;
  TORNELL_TRY(tls::Concat3(pending.clientRandom, pending.serverRandom, params, data));
  TORNELL_TRY(DigestByName(digest, data, hash));
  if (pending.VerifyWithPeer(hash, signature, digest) != kStatusOk) {
    const int sent = SendAlert(tlsalert::kWarning, tlsalert::kHandshakeFailure);
    if (sent != kStatusOk && sent != kWouldBlock) return sent;
    return RaiseFatal(kStatusHandshakeFailed, "Failed to verify key exchange signature");
  }
  return kStatusOk;
}

int TlsEngine::ProcessCertificateRequest(WireBuffer& in, int length) {
  TORNELL_TRY(Status("CertificateRequest message received"));
  if (tls13 != 0) return ProcessTls13CertificateRequest(in, length);
  const CipherSuite& suite = pending.readState.Suite();
  if (role == 0 || handshakeState != tlsstate::kServerFlight || serverFlightStep < kStepCertificate ||
      serverFlightStep >= kStepCertificateRequest || suite.IsAnonymous() != 0 ||
      (serverFlightStep == kStepCertificate && NeedsServerKeyExchange(suite.GetKeyExchange()))) {
    return RejectUnexpectedMessage("CertificateRequest");
  }
  tls::MessageReader read(in, length);
  ByteString types, algorithms, authorities;
  if (!read.Vector(1, types)) return FailWithAlertOnly(tlsalert::kDecodeError);
  if (pending.version == 0x0303) {
    if (!read.Vector(2, algorithms)) return FailWithAlertOnly(tlsalert::kDecodeError);
    TORNELL_TRY(peerSignatureAlgorithms.Assign(algorithms));
  }
  if (!read.Vector(2, authorities) || !read.AtEnd()) return FailWithAlertOnly(tlsalert::kDecodeError);
  pending.certificateRequested = 1;
  serverFlightStep = kStepCertificateRequest;
  return kStatusOk;
}

// Context, then extensions, of which signature_algorithms is required.
int TlsEngine::ProcessTls13CertificateRequest(WireBuffer& in, int length) {
  if (role == 0 || handshakeState != tlsstate::kTls13Extensions) return RejectUnexpectedMessage("CertificateRequest");
  tls::MessageReader read(in, length);
  ByteString context, extensions;
  if (!read.Vector(1, context) || !read.Vector(2, extensions) || !read.AtEnd()) {
    return FailWithAlertOnly(tlsalert::kDecodeError);
  }
  WireBuffer block(extensions.Data(), 0, extensions.Length());
  tls::MessageReader fields(block, extensions.Length());
  bool schemes = false;
  while (!fields.Bad() && fields.Left() > 0) {
    const int type = fields.U16();
    ByteString body;
    if (!fields.Vector(2, body)) break;
    if (type == kExtSignatureAlgorithms) {
      TORNELL_TRY(peerSignatureAlgorithms.Assign(body));
      schemes = true;
    }
  }
  if (fields.Bad()) return FailWithAlertOnly(tlsalert::kDecodeError);
  if (!schemes) return FailWithAlertOnly(tlsalert::kMissingExtension);
  // Without a key of its own the client answers with an empty list.
  if (pending.HasOwnKey() != 0) {
    TORNELL_TRY(ChooseTls13OwnScheme(peerSignatureAlgorithms));
    if (failure != 0) return failure;
  }
  TORNELL_TRY(pending.certificateRequestContext.Assign(context));
  TORNELL_TRY(current.certificateRequestContext.Assign(context));
  pending.certificateRequested = current.certificateRequested = 1;
  handshakeState = tlsstate::kCertificateRequest;
  return kStatusOk;
}

int TlsEngine::ProcessServerHelloDone(WireBuffer&, int length) {
  TORNELL_TRY(Status("ServerHelloDone message received"));
  const CipherSuite& suite = pending.readState.Suite();
  const bool anonymous = suite.IsAnonymous() != 0;
  const bool keyExchangeMissing = NeedsServerKeyExchange(suite.GetKeyExchange()) && serverFlightStep < kStepKeyExchange;
  if (role == 0 || handshakeState != tlsstate::kServerFlight || (!anonymous && serverFlightStep < kStepCertificate) ||
      keyExchangeMissing) {
    return RejectUnexpectedMessage("ServerHelloDone");
  }
  if (length != 0) return FailWithAlertOnly(tlsalert::kDecodeError);
  if (anonymous) {
    // Nobody vouches for an anonymous server: the owner decides.
    StringList none;
    const int verdict = VerifyPeerCertificate(none, nullptr);
    if (failure != 0) return failure;
    if (verdict != 1) return kStatusNameMismatch;
  }
  handshakeState = tlsstate::kAwaitFinished;
  BeginFlight();
  int status = kStatusOk;
  if (pending.certificateRequested != 0) status = SendCertificate();
  if (status == kStatusOk) status = SendClientKeyExchange();
  if (status == kStatusOk && pending.certificateRequested != 0) status = SendCertificateVerify();
  if (status == kStatusOk) status = SendChangeCipherSpec();
  if (status == kStatusOk) status = SendFinished(pending);
  const int flushed = FlushFlight();
  TORNELL_TRY(status);
  if (failure != 0) return failure;
  return flushed == kWouldBlock ? kStatusOk : flushed;
}

int TlsEngine::ProcessCertificateVerify(WireBuffer& in, int length) {
  TORNELL_TRY(Status("CertificateVerify message received"));
  if (handshakeState != tlsstate::kPeerCertificate) return RejectUnexpectedMessage("CertificateVerify");
  if (tls13 != 0) return ProcessTls13CertificateVerify(in, length);
  tls::MessageReader read(in, length);
  if (pending.version == 0x0303) pending.peerSignatureScheme = read.U16();
  ByteString signature;
  if (!read.Vector(2, signature) || !read.AtEnd()) return FailWithAlertOnly(tlsalert::kDecodeError);
  const bool rsa = SignatureByteOf(pending.peerKeyAlgorithm.CStr()) == 1;
  ByteString value;
  const char* digest = rsa ? "MD5SHA1" : "SHA1";
  if (pending.version == 0x0300) {
    TORNELL_TRY(Ssl3HandshakeHash(nullptr, pending.masterSecret, handshakeMessages, value));
    // DSA and ECDSA keys sign the SHA-1 hash alone (RFC 6101 section 5.6.8).
    if (!rsa) TORNELL_TRY(value.Substring(kSsl3Md5Length));
  } else if (pending.version == 0x0303) {
    digest = tls::Tls12HashName(pending.peerSignatureScheme >> 8);
    // A server takes only the pairs its CertificateRequest listed.
    const bool requested = pending.peerSignatureScheme == 0x0401 || pending.peerSignatureScheme == 0x0202;
    if (digest == nullptr || (role == 0 && !requested) ||
        (pending.peerSignatureScheme & 0xFF) != SignatureByteOf(pending.peerKeyAlgorithm.CStr())) {
      return FailWithAlertOnly(tlsalert::kIllegalParameter);
    }
    ByteString messages;
    TORNELL_TRY(messages.Set(handshakeMessages.Data(), handshakeMessages.Length()));
    TORNELL_TRY(DigestByName(digest, messages, value));
  } else if (rsa) {
    TORNELL_TRY(pending.TranscriptHash(handshakeMessages, value));
  } else {
    ByteString messages;
    TORNELL_TRY(messages.Set(handshakeMessages.Data(), handshakeMessages.Length()));
    TORNELL_TRY(DigestByName("SHA1", messages, value));
  }
  if (pending.VerifyWithPeer(value, signature, digest) != kStatusOk) {
    TORNELL_TRY(Status("Could not validate client certificate verify message"));
    return RaiseFatal(kStatusHandshakeFailed, "Could not verify certificate verify signature");
  }
  handshakeState = tlsstate::kAwaitFinished;
  return kStatusOk;
}

int TlsEngine::ProcessTls13CertificateVerify(WireBuffer& in, int length) {
  tls::MessageReader read(in, length);
  const int scheme = read.U16();
  ByteString signature;
  if (!read.Vector(2, signature) || !read.AtEnd()) return FailWithAlertOnly(tlsalert::kDecodeError);
  const char* hashName = tls::SignatureSchemeHash(scheme);
  if (hashName == nullptr || !Tls13SchemeFits(scheme, SignatureByteOf(pending.peerKeyAlgorithm.CStr()))) {
    return FailWithAlertOnly(tlsalert::kIllegalParameter);
  }
  pending.peerSignatureScheme = scheme;
  ByteString digest;
  TORNELL_TRY(pending.Tls13CertificateVerifyDigest(handshakeMessages, 0, digest));
  if (pending.VerifyWithPeer(digest, signature, hashName) != kStatusOk) {
    const int sent = SendAlert(tlsalert::kFatal, kDecryptError);
    if (sent != kStatusOk && sent != kWouldBlock) return sent;
    return RaiseFatal(kStatusHandshakeFailed, "Could not verify certificate verify signature");
  }
  // The record states already live in current; it takes the peer's identity.
  TORNELL_TRY(current.TakeNegotiated(pending));
  current.peerSignatureScheme = scheme;
  handshakeState = tlsstate::kAwaitFinished;
  return kStatusOk;
}

int TlsEngine::ProcessFinished(WireBuffer& in, int length) {
  // In TLS 1.2 and below the peer's keys must be in force before its Finished.
  if (handshakeState != tlsstate::kAwaitFinished || (tls13 == 0 && changeCipherSpecSeen == 0)) {
    return RejectUnexpectedMessage("Finished");
  }
  ByteString theirs;
  tls::MessageReader read(in, length);
  if (!read.Bytes(length, theirs)) return FailWithAlertOnly(tlsalert::kDecodeError);
  TORNELL_TRY(SecretDump("theirVerify", theirs));
  ByteString label, ours;
  TORNELL_TRY(current.FinishedLabel(0, label));
  TORNELL_TRY(SecretDump("label", label));
  TORNELL_TRY(ComputeFinished(current, label, 0, ours));
  TORNELL_TRY(SecretDump("ourVerify", ours));
  if (theirs.Length() != ours.Length() ||
      !ct::BytesEqual(theirs.Data(), ours.Data(), size_t(ours.Length()))) {
    const int sent = SendAlert(tlsalert::kFatal, tlsalert::kHandshakeFailure);
    if (sent != kStatusOk && sent != kWouldBlock) return sent;
    return RaiseFatal(kStatusIntegrityFailed, "Could not verify the Finished message received");
  }
  TORNELL_TRY(peerVerifyData.Assign(theirs));
  return Status("Finished message received and verified successfully");
}

}  // namespace tornell
