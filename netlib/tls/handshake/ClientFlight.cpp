// What the client sends after the server's hello flight, with the secrets
// behind it: the key exchange, master secret and key block, ChangeCipherSpec
// and Finished, and the end of every handshake.
#include <cstdio>
#include <cstring>

#include "core/base/Status.h"
#include "core/text/SecretBytes.h"
#include "crypto/digest/hash/HashContext.h"
#include "crypto/random/RandomSource.h"
#include "tls/engine/NumberText.h"
#include "tls/engine/TlsEngine.h"
#include "tls/engine/TlsSettingLists.h"
#include "tls/suites/CipherSuite.h"
#include "tls/handshake/HandshakeNumbers.h"

namespace tornell {

using namespace hs;
namespace {

constexpr int kChangeCipherSpec = 20;
constexpr int kPremasterLength = 48;
constexpr int kMasterLength = 48;

int Take(const ByteString& block, int& at, int n, ByteString& out) {
  if (n < 0 || at + n > block.Length()) return TlsEngine::kStatusHandshakeFailed;
  TORNELL_TRY(out.Set(block.Data() + at, n));
  at += n;
  return kStatusOk;
}

const char* ProtocolName(int version) {
  switch (version) {
    case 0x0300: return "SSL3";
    case 0x0301: return "TLS1";
    case 0x0302: return "TLS1.1";
    case 0x0303: return "TLS1.2";
    case 0x0304: return "TLS1.3";
    default: return "";
  }
}

}  // namespace

int TlsEngine::SendClientKeyExchange() {
  const int kind = pending.readState.Suite().GetKeyExchange();
  int status = kStatusOk;
  if (kind == keyexchange::kRsa || kind == keyexchange::kRsaExport) {
    status = SendRsaKeyExchange();
  } else if (kind >= keyexchange::kEcdheEcdsa && kind <= keyexchange::kEcdhAnon) {
    status = SendEcdhKeyExchange();
  } else {
    status = SendDhKeyExchange();
  }
  if (status != kStatusOk && status != kWouldBlock) return status;
  return DeriveKeyBlock(pending);
}

int TlsEngine::SendRsaKeyExchange() {
  SecretBytes premaster;
  TORNELL_TRY(premaster.Resize(kPremasterLength));
  premaster.Bytes()[0] = uint8_t(pending.offeredVersion >> 8);
  premaster.Bytes()[1] = uint8_t(pending.offeredVersion);
  RandomSource random;
  random.Fill(premaster.Data(), 2, kPremasterLength - 2);
  TORNELL_TRY(ComputeMasterSecret(premaster));
  WireBuffer message;
  TORNELL_TRY(BeginHandshakeMessage(kClientKeyExchange, message));
  ByteString errorText;
  const int encrypted = pending.EncryptPremaster(premaster, message, errorText);
  if (encrypted != kStatusOk) return RaiseFatal(encrypted, errorText.CStr());
  const int status = SendHandshakeMessage(message);
  if (status != kStatusOk && status != kWouldBlock) return status;
  return Status("ClientKeyExchange message with encrypted pre-master-secret sent");
}

int TlsEngine::SendEcdhKeyExchange() {
  DhParameters& exchange = pending.keyExchange;
  if (exchange.IsEmpty() != 0) return RejectUnexpectedMessage("ServerHelloDone");
  TORNELL_TRY(exchange.GenerateKeyPair());
  ByteString point;
  TORNELL_TRY(exchange.GetOwnPublic(point));
  WireBuffer message;
  TORNELL_TRY(BeginHandshakeMessage(kClientKeyExchange, message));
  TORNELL_TRY(message.PutU8(point.Length()));
  TORNELL_TRY(message.PutBytes(point));
  const int status = SendHandshakeMessage(message);
  if (status != kStatusOk && status != kWouldBlock) return status;
  TORNELL_TRY(Status("ClientKeyExchange message with Elliptic Curve Diffie-Hellman public key sent"));
  SecretBytes premaster;
  TORNELL_TRY(exchange.GetSharedSecret(premaster));
  return ComputeMasterSecret(premaster);
}

int TlsEngine::SendDhKeyExchange() {
  DhParameters& exchange = pending.keyExchange;
  if (exchange.IsEmpty() != 0) return RejectUnexpectedMessage("ServerHelloDone");
  TORNELL_TRY(exchange.GenerateKeyPair());
  // Always the prime's length: a value with a leading zero byte stays whole.
  ByteString value;
  TORNELL_TRY(exchange.GetOwnPublicPadded(value));
  WireBuffer message;
  TORNELL_TRY(BeginHandshakeMessage(kClientKeyExchange, message));
  TORNELL_TRY(message.PutU16(value.Length()));
  TORNELL_TRY(message.PutBytes(value));
  const int status = SendHandshakeMessage(message);
  if (status != kStatusOk && status != kWouldBlock) return status;
  TORNELL_TRY(Status("ClientKeyExchange message with Diffie-Hellman public key sent"));
  // Z without its leading zero bytes, whatever form the big integer gives.
  SecretBytes premaster;
  TORNELL_TRY(exchange.GetSharedSecretPadded(premaster));
  int zeros = 0;
  while (zeros < premaster.Length() - 1 && premaster.ByteAt(zeros) == 0) ++zeros;
  TORNELL_TRY(premaster.EraseFront(zeros));
  return ComputeMasterSecret(premaster);
}

int TlsEngine::ComputeMasterSecret(const ByteString& premaster) {
  TORNELL_TRY(SecretDump("pre-master-secret", premaster));
  TORNELL_TRY(SecretDump("client-random", pending.clientRandom));
  TORNELL_TRY(SecretDump("server-random", pending.serverRandom));
  ByteString seed;
  TORNELL_TRY(tls::Concat2(pending.clientRandom, pending.serverRandom, seed));
  SecretBytes master;
  TORNELL_TRY(pending.Prf(premaster, pending.IsSsl30() != 0 ? "" : "master secret", seed, kMasterLength, master));
  TORNELL_TRY(pending.masterSecret.Assign(master));
  TORNELL_TRY(SecretDump("master-secret", master));
  return Status("Master Secret Key generated");
}

int TlsEngine::DeriveKeyBlock(TlsSecurityContext& context) {
  ByteString seed;
  TORNELL_TRY(tls::Concat2(context.serverRandom, context.clientRandom, seed));
  CipherSuite& suite = context.readState.Suite();
  const char* label = context.IsSsl30() != 0 ? "" : "key expansion";
  SecretBytes block;
  SecretBytes clientKey, serverKey, clientIv, serverIv, clientMac, serverMac;
  int at = 0;
  if (suite.IsAead() != 0) {
    const int fixedIv = 4;
    TORNELL_TRY(context.Prf(context.masterSecret, label, seed, 2 * (suite.GetKeyLength() + fixedIv), block));
    TORNELL_TRY(SecretDump("Key Block", block));
    TORNELL_TRY(Take(block, at, suite.GetKeyLength(), clientKey));
    TORNELL_TRY(Take(block, at, suite.GetKeyLength(), serverKey));
    TORNELL_TRY(Take(block, at, fixedIv, clientIv));
    TORNELL_TRY(Take(block, at, fixedIv, serverIv));
    ByteString none;
    TORNELL_TRY(context.SetClientTrafficKeys(clientKey, none));
    TORNELL_TRY(context.SetServerTrafficKeys(serverKey, none));
    return context.SetIvs(clientIv, serverIv);
  }
  TORNELL_TRY(context.Prf(context.masterSecret, label, seed, 256, block));
  TORNELL_TRY(SecretDump("Key Block", block));
  TORNELL_TRY(Take(block, at, suite.GetMacLength(), clientMac));
  TORNELL_TRY(Take(block, at, suite.GetMacLength(), serverMac));
  TORNELL_TRY(SecretDump("Client MAC Key", clientMac));
  TORNELL_TRY(SecretDump("Server MAC Key", serverMac));
  TORNELL_TRY(Take(block, at, suite.GetKeyLength(), clientKey));
  TORNELL_TRY(Take(block, at, suite.GetKeyLength(), serverKey));
  if (suite.IsExport() != 0) {
    ByteString forward;
    TORNELL_TRY(tls::Concat2(context.clientRandom, context.serverRandom, forward));
    SecretBytes finalClient, finalServer, ivBlock;
    TORNELL_TRY(context.Prf(clientKey, "client write key", forward, suite.GetFinalKeyLength(), finalClient));
    TORNELL_TRY(context.Prf(serverKey, "server write key", forward, suite.GetFinalKeyLength(), finalServer));
    SecretBytes empty;
    TORNELL_TRY(context.Prf(empty, "IV block", forward, 2 * suite.GetIvLength(), ivBlock));
    TORNELL_TRY(clientKey.Assign(finalClient));
    TORNELL_TRY(serverKey.Assign(finalServer));
    int ivAt = 0;
    TORNELL_TRY(Take(ivBlock, ivAt, suite.GetIvLength(), clientIv));
    TORNELL_TRY(Take(ivBlock, ivAt, suite.GetIvLength(), serverIv));
  } else {
    TORNELL_TRY(Take(block, at, suite.GetIvLength(), clientIv));
    TORNELL_TRY(Take(block, at, suite.GetIvLength(), serverIv));
  }
  TORNELL_TRY(SecretDump("Client Encryption Key", clientKey));
  TORNELL_TRY(SecretDump("Server Encryption Key", serverKey));
  TORNELL_TRY(SecretDump("Client IV", clientIv));
  TORNELL_TRY(SecretDump("server IV", serverIv));
  TORNELL_TRY(context.SetMacSecrets(clientMac, serverMac));
  TORNELL_TRY(context.SetClientTrafficKeys(clientKey, clientIv));
  return context.SetServerTrafficKeys(serverKey, serverIv);
}

int TlsEngine::SendChangeCipherSpec() {
  const char body = 1;
  const int status = SendRecord(kChangeCipherSpec, pending.version, &body, 1);
  if (status != kStatusOk && status != kWouldBlock) return status;
  if (current.HasHelloRandom() == 0) {
    TORNELL_TRY(current.CopyFrom(pending, 0));
  } else if (role == 0) {
    TORNELL_TRY(current.CopyFrom(pending, 1));
  }
  TORNELL_TRY(current.writeState.CopyFrom(pending.writeState));
  (void)current.writeState.Activate();
  return Status("ChangeCipherSpec message sent. Switching write context");
}

int TlsEngine::SendFinished(TlsSecurityContext& context) {
  ByteString label, verify;
  TORNELL_TRY(context.FinishedLabel(1, label));
  TORNELL_TRY(ComputeFinished(context, label, 1, verify));
  WireBuffer message;
  TORNELL_TRY(BeginHandshakeMessage(kFinished, message));
  TORNELL_TRY(message.PutBytes(verify));
  TORNELL_TRY(ownVerifyData.Assign(verify));
  const int status = SendHandshakeMessage(message);
  if (status != kStatusOk && status != kWouldBlock) return status;
  return Status("Finished message sent");
}

int TlsEngine::ComputeFinished(TlsSecurityContext& context, const ByteString& label, int ownDirection,
                               ByteString& out) {
  if (context.IsTls13() != 0) return ComputeTls13Finished(context, ownDirection, out);
  if (context.IsSsl30() != 0) return Ssl3HandshakeHash(&label, context.masterSecret, handshakeMessages, out);
  ByteString hash;
  TORNELL_TRY(context.TranscriptHash(handshakeMessages, hash));
  TORNELL_TRY(SecretDump("masterSecret", context.masterSecret));
  TORNELL_TRY(SecretDump("data for hsMessages", hash));
  return context.Prf(context.masterSecret, label, hash, 12, out);
}

int TlsEngine::Ssl3HandshakeHash(const ByteString* sender, const ByteString& master, const WireBuffer& messages,
                                 ByteString& out) {
  SecretBytes data;
  TORNELL_TRY(data.Set(messages.Data(), messages.Length()));
  if (sender != nullptr) TORNELL_TRY(data.Append(*sender));
  TORNELL_TRY(data.Append(master));
  out.Clear();
  const char* const names[] = {"MD5", "SHA1"};
  const int pads[] = {48, 40};
  for (int i = 0; i < 2; ++i) {
    HashContext hash;
    TORNELL_TRY(hash.SetAlgorithm(names[i]));
    SecretBytes inner, outer, innerDigest, digest;
    TORNELL_TRY(inner.Assign(data));
    TORNELL_TRY(inner.AppendRepeated(pads[i], 0x36));
    TORNELL_TRY(hash.Digest(inner.Data(), inner.Length(), innerDigest));
    TORNELL_TRY(outer.Assign(master));
    TORNELL_TRY(outer.AppendRepeated(pads[i], 0x5C));
    TORNELL_TRY(outer.Append(innerDigest));
    TORNELL_TRY(hash.Digest(outer.Data(), outer.Length(), digest));
    TORNELL_TRY(out.Append(digest));
  }
  return kStatusOk;
}

namespace {

// A text that fails to grow stays shorter.
template <int N>
void AppendSummary(TlsEngine& engine, InlineString<N>& out) {
  const TlsSecurityContext& current = engine.current;
  CipherSuite& suite = engine.current.readState.Suite();
  char number[16];
  (void)out.Append("Negotiated SSL parameters: Protocol: ");
  (void)out.Append(ProtocolName(current.version));
  (void)out.Append(" Cipher: ");
  (void)out.Append(suite.GetCipherName());
  (void)out.Append(" Cipher strength: ");
  (void)out.Append(tls::DecimalText(suite.GetKeyLength() * 8, number));
  if (suite.IsAead() == 0) {
    (void)out.Append(" Hash: ");
    (void)out.Append(suite.GetMacHashName());
    (void)out.Append(" Hash Strength: 0x");
    (void)out.Append(tls::HexText(uint32_t(suite.GetMacLength()), false, number));
  }
  (void)out.Append(" Key exchange: ");
  (void)out.Append(suite.GetKeyExchangeName());
  (void)out.Append(" Key exchange strength: ");
  (void)out.Append(tls::DecimalText(current.KeyExchangeBits(), number));
  if (engine.tls13 != 0) {
    (void)out.Append(" Local Signature scheme: ");
    (void)out.Append(tls::SignatureSchemeName(current.ownSignatureScheme));
    (void)out.Append(" Remote Signature scheme: ");
    (void)out.Append(tls::SignatureSchemeName(current.peerSignatureScheme));
  }
}

}  // namespace

int TlsEngine::CompleteHandshake() {
  if (owner != nullptr) {
    // Built on the stack: traceText would go to the heap for it.
    InlineString<1024> summary;
    AppendSummary(*this, summary);
    TORNELL_TRY(Status(summary.CStr()));
  }
  TORNELL_TRY(handshakeMessages.Clear());
  handshakeState = tlsstate::kComplete;
  current.helloRetry = 0;
  // Only a handshake that finished is worth resuming.
  if (role != 0 && !current.sessionId.IsEmpty() && !current.masterSecret.IsEmpty()) {
    TORNELL_TRY(cachedSession.Set(current.sessionId, current.masterSecret));
    TORNELL_TRY(cachedSession.host.Assign(remoteHost));
  }
  established = 1;
  lastErrorText.Clear();
  return owner != nullptr ? owner->OnTlsHandshakeDone(nullptr) : kStatusOk;
}

}  // namespace tornell
