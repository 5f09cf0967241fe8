// The server's first flight: ServerHello (or a HelloRetryRequest), then in
// TLS 1.3 EncryptedExtensions, Certificate, CertificateVerify and Finished,
// in TLS 1.0 to 1.2 Certificate, ServerKeyExchange, CertificateRequest and
// ServerHelloDone, or ChangeCipherSpec and Finished for a resumed session.
#include "core/base/Status.h"
#include "pki/store/SelectedCertificate.h"
#include "tls/engine/TlsEngine.h"
#include "tls/engine/TlsSettingLists.h"
#include "tls/suites/CipherSuite.h"
#include "tls/handshake/HandshakeNumbers.h"
#include "tls/handshake/MessageWriter.h"

namespace tornell {

using namespace hs;
namespace {

constexpr int kExtEcPointFormats = 11;
constexpr int kNamedCurve = 3;


int Sent(int status) { return status == TlsEngine::kWouldBlock ? kStatusOk : status; }

int PutVector16(WireBuffer& out, const ByteString& bytes) {
  TORNELL_TRY(out.PutU16(bytes.Length()));
  return out.PutBytes(bytes);
}

// The digest and TLS 1.2 signature pair of a ServerKeyExchange.
struct KeyExchangeSignature {
  const char* digest = "SHA1";
  int pair = 0;
};

bool Lists(const ByteString& pairs, int pair) {
  for (int i = 0; i + 1 < pairs.Length(); i += 2) {
    if (((pairs.ByteAt(i) << 8) | pairs.ByteAt(i + 1)) == pair) return true;
  }
  return false;
}

KeyExchangeSignature SignatureFor(const CipherSuite& suite, int version, int prfHash, const ByteString& offered) {
  KeyExchangeSignature s;
  const bool tls12 = version == 0x0303;
  const bool sha384 = prfHash == TlsSecurityContext::kPrfSha384;
  const int kind = suite.GetKeyExchange();
  if (kind == keyexchange::kEcdheEcdsa) {
    s.digest = !tls12 ? "SHA1" : sha384 ? "SHA384" : "SHA256";
    s.pair = sha384 ? 0x0503 : 0x0403;
  } else if (suite.UsesRsaCertificate() != 0 || kind == keyexchange::kRsaExport) {
    s.digest = !tls12 ? "MD5SHA1" : sha384 ? "SHA384" : "SHA256";
    s.pair = sha384 ? 0x0501 : 0x0401;
  } else if (tls12 && Lists(offered, 0x0402)) {
    // SHA-1 signatures are refused by current clients; SHA-256 when the client takes it.
    s.digest = "SHA256";
    s.pair = 0x0402;
  } else {
    s.digest = "SHA1";
    s.pair = 0x0202;
  }
  if (!tls12) s.pair = 0;
  return s;
}

}  // namespace

int TlsEngine::SendServerHello(TlsSecurityContext& context) {
  WireBuffer message;
  TORNELL_TRY(BeginHandshakeMessage(kServerHello, message));
  tls::MessageWriter out(message);
  out.U16(context.IsTls13() != 0 ? 0x0303 : context.version);
  out.Bytes(context.serverRandom);
  out.U8(context.sessionId.Length());
  out.Bytes(context.sessionId);
  const int code = context.readState.Suite().GetCode();
  out.U16(code);
  out.U8(0);
  // Written only when it holds an extension.
  const int block = out.Open(2);
  if (context.IsTls13() != 0) {
    ByteString key;
    TORNELL_TRY(context.keyExchange.GetOwnPublicPadded(key));
    const int share = out.OpenExtension(kExtKeyShare);
    out.U16(context.keyExchange.GetGroupId());
    out.U16(key.Length());
    out.Bytes(key);
    out.CloseExtension(share);
    out.U16(kExtSupportedVersions);
    out.U16(2);
    out.U16(context.version);
  } else {
    if (secureRenegotiation != 0) {
      // Empty at first; a renegotiation names both Finished of the last handshake.
      const int extension = out.OpenExtension(kExtRenegotiationInfo);
      const int binding = out.Open(1);
      out.Bytes(peerVerifyData);
      out.Bytes(ownVerifyData);
      out.Close(binding, 1);
      out.CloseExtension(extension);
    }
    if (CipherSuite::IsEccCode(code) != 0) {
      out.U16(kExtEcPointFormats);
      out.U16(2);
      out.U8(1);
      out.U8(0);
    }
  }
  if (out.Offset() == block + 2) {
    out.Drop(2);
  } else {
    out.Close(block, 2);
  }
  TORNELL_TRY(out.Finish());
  TORNELL_TRY(Sent(SendHandshakeMessage(message)));
  return Status("ServerHello message sent");
}

int TlsEngine::SendHelloRetryRequest(TlsSecurityContext& context, int suite, int group) {
  WireBuffer message;
  TORNELL_TRY(BeginHandshakeMessage(kServerHello, message));
  tls::MessageWriter out(message);
  out.U16(0x0303);
  out.Bytes(kRetryRandom, 32);
  out.U8(context.sessionId.Length());
  out.Bytes(context.sessionId);
  out.U16(suite);
  out.U8(0);
  const int block = out.Open(2);
  out.U16(kExtKeyShare);
  out.U16(2);
  out.U16(group);
  out.U16(kExtSupportedVersions);
  out.U16(2);
  out.U16(context.version);
  out.Close(block, 2);
  TORNELL_TRY(out.Finish());
  TORNELL_TRY(Sent(SendHandshakeMessage(message)));
  context.helloRetry = 1;
  context.selectedGroup = group;
  return Status("HelloRetryRequest message sent");
}

int TlsEngine::SendEncryptedExtensions(TlsSecurityContext&) {
  WireBuffer message;
  TORNELL_TRY(BeginHandshakeMessage(kEncryptedExtensions, message));
  tls::MessageWriter out(message);
  out.U16(0);
  TORNELL_TRY(out.Finish());
  TORNELL_TRY(Sent(SendHandshakeMessage(message)));
  return Status("Encrypted Extensions message sent");
}

// The own chain, leaf first.
int TlsEngine::SendServerCertificate() {
  StringList chain;
  // A selection without a certificate sends an empty list; the client decides.
  if (ownCertificate != nullptr && OwnChain(*ownCertificate, chain) != kStatusOk) TORNELL_TRY(chain.Clear());
  WireBuffer message;
  TORNELL_TRY(BeginHandshakeMessage(kCertificate, message));
  tls::MessageWriter out(message);
  if (tls13 != 0) out.U8(0);
  const int perEntry = tls13 != 0 ? 5 : 3;
  int total = 0;
  for (int i = 0; i < chain.Count(); ++i) total += chain.EntryLength(i) + perEntry;
  out.U24(total);
  for (int i = 0; i < chain.Count(); ++i) {
    out.U24(chain.EntryLength(i));
    out.Bytes(chain.Get(i), chain.EntryLength(i));
    if (tls13 != 0) out.U16(0);
  }
  TORNELL_TRY(out.Finish());
  TORNELL_TRY(Sent(SendHandshakeMessage(message)));
  return Status("Certificate sent to peer");
}

int TlsEngine::SendServerCertificateVerify() {
  const char* hashName = tls::SignatureSchemeHash(pending.ownSignatureScheme);
  if (hashName == nullptr) return FailWithAlertOnly(tlsalert::kHandshakeFailure);
  ByteString digest, signature;
  TORNELL_TRY(pending.Tls13CertificateVerifyDigest(handshakeMessages, 1, digest));
  const int signed_ = pending.SignWithOwnKey(digest, hashName, signature);
  if (signed_ != kStatusOk) return RaiseFatal(kStatusHandshakeFailed, "Could not sign the certificate verify message");
  WireBuffer message;
  TORNELL_TRY(BeginHandshakeMessage(kCertificateVerify, message));
  tls::MessageWriter out(message);
  out.U16(pending.ownSignatureScheme);
  out.U16(signature.Length());
  out.Bytes(signature);
  TORNELL_TRY(out.Finish());
  TORNELL_TRY(Sent(SendHandshakeMessage(message)));
  return Status("CertificateVerify message sent");
}

int TlsEngine::SignKeyExchangeParameters(const ByteString& params, const char* digest, ByteString& out) {
  ByteString data, hash;
  TORNELL_TRY(tls::Concat3(pending.clientRandom, pending.serverRandom, params, data));
  TORNELL_TRY(DigestByName(digest, data, hash));
  return pending.SignWithOwnKey(hash, digest, out);
}

int TlsEngine::SendServerFlight(const SessionCacheEntry* cached) {
  if (tls13 != 0) {
    BeginFlight();
    int status = SendServerHello(pending);
    if (status == kStatusOk) status = DeriveTls13HandshakeKeys();
    if (status == kStatusOk) status = SendEncryptedExtensions(pending);
    if (status == kStatusOk) status = SendServerCertificate();
    if (status == kStatusOk) status = SendServerCertificateVerify();
    if (status == kStatusOk) status = Sent(SendFinished(pending));
    if (status == kStatusOk) status = DeriveTls13ApplicationKeys(1);
    const int flushed = FlushFlight();
    TORNELL_TRY(status);
    if (failure != 0) return failure;
    handshakeState = tlsstate::kAwaitFinished;
    return Sent(flushed);
  }
  handshakeState = tlsstate::kAwaitFinished;
  if (current.HasHelloRandom() == 0) TORNELL_TRY(InitPendingContext(current));
  BeginFlight();
  int status = SendServerHello(pending);
  if (cached != nullptr) {
    if (status == kStatusOk) status = pending.masterSecret.Assign(cached->secret);
    resumed = 1;
    if (status == kStatusOk) status = DeriveKeyBlock(pending);
    if (status == kStatusOk) status = Sent(SendChangeCipherSpec());
    if (status == kStatusOk) status = Sent(SendFinished(pending));
    if (status == kStatusOk) status = Status("Resuming previous SSL session.");
  } else {
    const CipherSuite& suite = pending.readState.Suite();
    const bool anonymous = suite.IsAnonymous() != 0;
    if (status == kStatusOk && ownCertificate != nullptr && !anonymous) status = SendServerCertificate();
    if (status == kStatusOk) status = SendServerKeyExchange();
    if (status == kStatusOk && authenticateClients != 0 && !anonymous) status = SendCertificateRequest();
    if (status == kStatusOk) status = SendServerHelloDone();
  }
  const int flushed = FlushFlight();
  TORNELL_TRY(status);
  if (failure != 0) return failure;
  return Sent(flushed);
}

int TlsEngine::SendServerKeyExchange() {
  const int kind = pending.readState.Suite().GetKeyExchange();
  switch (kind) {
    case keyexchange::kEcdheEcdsa:
    case keyexchange::kEcdheRsa:
    case keyexchange::kEcdhAnon: return SendEcdhServerKeyExchange();
    case keyexchange::kDheDss:
    case keyexchange::kDheDssExport:
    case keyexchange::kDheRsa:
    case keyexchange::kDheRsaExport:
    case keyexchange::kDhAnon:
    case keyexchange::kDhAnonExport: return SendDhServerKeyExchange();
    case keyexchange::kRsaExport: return pending.NeedsEphemeralRsa() != 0 ? SendRsaServerKeyExchange() : kStatusOk;
    default: return kStatusOk;
  }
}

// Parameters, then (unless anonymous) the TLS 1.2 pair and the signature.
static int FinishKeyExchange(TlsEngine& engine, WireBuffer& message, const ByteString& params) {
  const CipherSuite& suite = engine.pending.readState.Suite();
  TORNELL_TRY(message.PutBytes(params));
  if (suite.IsAnonymous() != 0) return kStatusOk;
  const KeyExchangeSignature how =
      SignatureFor(suite, engine.pending.version, engine.pending.prfHash, engine.peerSignatureAlgorithms);
  ByteString signature;
  const int signed_ = engine.SignKeyExchangeParameters(params, how.digest, signature);
  if (signed_ != kStatusOk) {
    return engine.RaiseFatal(TlsEngine::kStatusHandshakeFailed, "Could not sign the key exchange parameters");
  }
  if (how.pair != 0) TORNELL_TRY(message.PutU16(how.pair));
  return PutVector16(message, signature);
}

int TlsEngine::SendRsaServerKeyExchange() {
  RsaKey key;
  TORNELL_TRY(pending.GetEphemeralRsaKey(key));
  ByteString modulus, exponent;
  TORNELL_TRY(modulus.Assign(key.n));
  TORNELL_TRY(exponent.Assign(key.e));
  TORNELL_TRY(tls::StripOneLeadingZero(modulus));
  TORNELL_TRY(tls::StripOneLeadingZero(exponent));
  WireBuffer values;
  TORNELL_TRY(PutVector16(values, modulus));
  TORNELL_TRY(PutVector16(values, exponent));
  ByteString params;
  TORNELL_TRY(params.Set(values.Data(), values.Length()));
  // The client's pre-master secret comes encrypted to this key.
  TORNELL_TRY(pending.SetEphemeralRsaKey(key));
  WireBuffer message;
  TORNELL_TRY(BeginHandshakeMessage(kServerKeyExchange, message));
  TORNELL_TRY(FinishKeyExchange(*this, message, params));
  TORNELL_TRY(Sent(SendHandshakeMessage(message)));
  return Status("ServerKeyExchange message with ephemeral RSA keys sent");
}

int TlsEngine::SendDhServerKeyExchange() {
  const CipherSuite& suite = pending.readState.Suite();
  DhParameters exchange(0);
  TORNELL_TRY(exchange.SetupGroup(suite.IsExport(), serverDhBits, 0));
  ByteString p, g, y, params;
  TORNELL_TRY(exchange.GetP(p));
  TORNELL_TRY(exchange.GetG(g));
  TORNELL_TRY(exchange.GetOwnPublicPadded(y));
  WireBuffer values;
  for (ByteString* value : {&p, &g, &y}) {
    TORNELL_TRY(tls::StripOneLeadingZero(*value));
    TORNELL_TRY(PutVector16(values, *value));
  }
  TORNELL_TRY(params.Set(values.Data(), values.Length()));
  WireBuffer message;
  TORNELL_TRY(BeginHandshakeMessage(kServerKeyExchange, message));
  TORNELL_TRY(FinishKeyExchange(*this, message, params));
  TORNELL_TRY(pending.keyExchange.CopyFrom(exchange));
  TORNELL_TRY(Sent(SendHandshakeMessage(message)));
  return Status("ServerKeyExchange message with Diffie-Hellman keys sent");
}

int TlsEngine::SendEcdhServerKeyExchange() {
  DhParameters& exchange = pending.keyExchange;
  (void)exchange.UseEllipticCurve(1);
  TORNELL_TRY(exchange.GenerateEcKey());
  ByteString point;
  TORNELL_TRY(exchange.GetOwnPublic(point));
  WireBuffer values;
  TORNELL_TRY(values.PutU8(kNamedCurve));
  TORNELL_TRY(values.PutU16(exchange.GetCurveGroup()));
  TORNELL_TRY(values.PutU8(point.Length()));
  TORNELL_TRY(values.PutBytes(point));
  ByteString params;
  TORNELL_TRY(params.Set(values.Data(), values.Length()));
  WireBuffer message;
  TORNELL_TRY(BeginHandshakeMessage(kServerKeyExchange, message));
  TORNELL_TRY(FinishKeyExchange(*this, message, params));
  TORNELL_TRY(Sent(SendHandshakeMessage(message)));
  return Status("ServerKeyExchange message with Diffie-Hellman keys sent");
}

int TlsEngine::SendCertificateRequest() {
  WireBuffer message;
  TORNELL_TRY(BeginHandshakeMessage(kCertificateRequest, message));
  TORNELL_TRY(message.PutU8(2));
  TORNELL_TRY(message.PutU8(1));
  TORNELL_TRY(message.PutU8(2));
  if (pending.version == 0x0303) {
    ByteString pairs;
    TORNELL_TRY(EncodeTls12SignatureAlgorithms("sha256-rsa,sha1-dsa", pairs));
    TORNELL_TRY(PutVector16(message, pairs));
  }
  TORNELL_TRY(message.PutU16(0));
  TORNELL_TRY(Sent(SendHandshakeMessage(message)));
  handshakeState = tlsstate::kCertificateRequest;
  return Status("CertificateRequest message sent");
}

int TlsEngine::SendServerHelloDone() {
  WireBuffer message;
  TORNELL_TRY(BeginHandshakeMessage(kServerHelloDone, message));
  TORNELL_TRY(Sent(SendHandshakeMessage(message)));
  return Status("ServerHelloDone message sent");
}

}  // namespace tornell

namespace tornell {

// The client's Finished is verified: the application keys, derived when the
// server's Finished went out, now protect both directions.
int TlsEngine::FinishServerTls13Handshake() {
  TORNELL_TRY(InstallTls13ApplicationKeys(pending));
  TORNELL_TRY(current.CopyFrom(pending, 0));
  return CompleteHandshake();
}

}  // namespace tornell
