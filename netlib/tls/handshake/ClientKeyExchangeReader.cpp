// The server's reading of the client's ClientKeyExchange: the RSA-encrypted
// pre-master secret, or the client's Diffie-Hellman or elliptic-curve value;
// each ends in the master secret, with the pre-master secret wiped.
#include "core/base/Status.h"
#include "core/text/SecretBytes.h"
#include "pki/store/SelectedCertificate.h"
#include "tls/engine/TlsEngine.h"
#include "tls/handshake/MessageReader.h"
#include "tls/suites/CipherSuite.h"

namespace tornell {

namespace {

// No value from the client: static (EC)DH through its certificate is not taken.
int RefuseEmptyValue(TlsEngine& engine) {
  if (!engine.pending.peerCertificateDer.IsEmpty()) {
    return engine.RaiseFatal(TlsEngine::kStatusNegotiationFailed,
                             "Certificates with Fixed Diffie-Hellman keys not supported at this time");
  }
  return engine.RaiseFatal(TlsEngine::kStatusHandshakeFailed, "Client has no certificate and didn't provide DH keys");
}

}  // namespace

int TlsEngine::ProcessClientKeyExchange(WireBuffer& in, int length) {
  if (role != 0 || tls13 != 0 ||
      (handshakeState != tlsstate::kPeerCertificate && handshakeState != tlsstate::kAwaitFinished) || resumed != 0) {
    return RejectUnexpectedMessage("ClientKeyExchange");
  }
  const int kind = pending.readState.Suite().GetKeyExchange();
  if (kind == keyexchange::kRsa || kind == keyexchange::kRsaExport) return ProcessRsaClientKeyExchange(in, length);
  if (kind >= keyexchange::kEcdheEcdsa && kind <= keyexchange::kEcdhAnon) {
    return ProcessEcdhClientKeyExchange(in, length);
  }
  return ProcessDhClientKeyExchange(in, length);
}

// Whatever the block held, the handshake goes on with 48 bytes: a bad
// padding, length or version shows only as a Finished that does not match.
int TlsEngine::ProcessRsaClientKeyExchange(WireBuffer& in, int length) {
  TORNELL_TRY(Status("ClientKeyExchange message with rsa encrypted pre-master-secret received"));
  tls::MessageReader read(in, length);
  ByteString encrypted;
  const bool ok = pending.IsSsl30() != 0 ? read.Bytes(length, encrypted) : read.Vector(2, encrypted) && read.AtEnd();
  if (!ok) return FailWithAlertOnly(tlsalert::kDecodeError);
  SecretBytes premaster;
  ByteString errorText;
  const int status = pending.DecryptPremaster(encrypted, premaster, errorText);
  if (status != kStatusOk) return RaiseFatal(status, errorText.CStr());
  TORNELL_TRY(ComputeMasterSecret(premaster));
  premaster.Clear();
  return kStatusOk;
}

int TlsEngine::ProcessDhClientKeyExchange(WireBuffer& in, int length) {
  TORNELL_TRY(Status("ClientKeyExchange with client's diffie-hellman public key received"));
  tls::MessageReader read(in, length);
  ByteString value;
  if (!read.Vector(2, value) || !read.AtEnd()) return FailWithAlertOnly(tlsalert::kDecodeError);
  if (value.IsEmpty()) return RefuseEmptyValue(*this);
  DhParameters& exchange = pending.keyExchange;
  if (exchange.IsEmpty() != 0) return RejectUnexpectedMessage("ClientKeyExchange");
  // The value must be a group element before a secret is made from it.
  if (exchange.SetPeerPublic(value) != kStatusOk) return FailWithAlertOnly(tlsalert::kIllegalParameter);
  TORNELL_TRY(exchange.ComputeSharedSecret());
  SecretBytes premaster;
  TORNELL_TRY(exchange.GetSharedSecretPadded(premaster));
  // Z without its leading zero bytes (RFC 5246, 8.1.2), as the client makes it.
  int zeros = 0;
  while (zeros < premaster.Length() - 1 && premaster.ByteAt(zeros) == 0) ++zeros;
  TORNELL_TRY(premaster.EraseFront(zeros));
  TORNELL_TRY(ComputeMasterSecret(premaster));
  premaster.Clear();
  return kStatusOk;
}

int TlsEngine::ProcessEcdhClientKeyExchange(WireBuffer& in, int length) {
  TORNELL_TRY(Status("ClientKeyExchange with client's Elliptic Curve Diffie-Hellman public key received"));
  tls::MessageReader read(in, length);
  ByteString point;
  if (!read.Vector(1, point) || !read.AtEnd()) return FailWithAlertOnly(tlsalert::kDecodeError);
  if (point.IsEmpty()) return RefuseEmptyValue(*this);
  DhParameters& exchange = pending.keyExchange;
  const int kind = pending.readState.Suite().GetKeyExchange();
  if (kind == keyexchange::kEcdhEcdsa || kind == keyexchange::kEcdhRsa) {
    EcKey own;
    if (ownCertificate == nullptr || ownCertificate->GetManager() == nullptr ||
        ownCertificate->GetManager()->GetEcKey(own, 1) != kStatusOk) {
      return RaiseFatal(kStatusHandshakeFailed, "No elliptic-curve key with the own certificate");
    }
    TORNELL_TRY(exchange.SetOwnEcKey(own));
  } else if (exchange.IsEmpty() != 0) {
    return RejectUnexpectedMessage("ClientKeyExchange");
  }
  if (exchange.SetPeerPublic(point) != kStatusOk) return FailWithAlertOnly(tlsalert::kIllegalParameter);
  TORNELL_TRY(exchange.ComputeSharedSecret());
  SecretBytes premaster;
  TORNELL_TRY(exchange.GetSharedSecret(premaster));
  TORNELL_TRY(ComputeMasterSecret(premaster));
  premaster.Clear();
  return kStatusOk;
}

}  // namespace tornell
