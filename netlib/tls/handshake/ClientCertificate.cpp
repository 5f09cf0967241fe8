// The own certificate in a handshake: the Certificate message with its
// chain, the signature scheme it signs under, and the CertificateVerify.
#include <cstdio>
#include <cstdlib>

#include "core/base/Status.h"
#include "core/text/SplitList.h"
#include "crypto/digest/hash/HashContext.h"
#include "crypto/ecc/curve/EcKey.h"
#include "pki/store/SelectedCertificate.h"
#include "tls/engine/TlsEngine.h"
#include "tls/engine/TlsSettingLists.h"
#include "tls/handshake/HandshakeNumbers.h"

namespace tornell {

using namespace hs;
namespace {

// The TLS 1.2 SignatureAlgorithm byte of a key algorithm.
int SignatureByteOf(const char* keyAlgorithm) {
  ByteString name(keyAlgorithm);
  if (name.EqualsIgnoreCase("RSA") || name.EqualsIgnoreCase("RSA_RSA")) return 1;
  if (name.EqualsIgnoreCase("DSA")) return 2;
  if (name.EqualsIgnoreCase("IdEcPublicKey")) return 3;
  return -1;
}

bool IsRsaPss(int scheme) { return scheme == 0x0804 || scheme == 0x0805 || scheme == 0x0806; }

}  // namespace

// Under TLS 1.3 an RSA key signs only with PSS: PKCS#1 v1.5 is for
// certificates, not for the handshake.
int TlsEngine::ChooseTls13OwnScheme(const ByteString& serverSchemes) {
  CodeList own;
  TORNELL_TRY(OwnSignatureSchemes(pending.ownCertificate, tls13SignatureAlgorithms.CStr(), own));
  CodeList usable;
  for (int i = 0; i < own.Count(); ++i) {
    const int scheme = own.Get(i);
    const bool rsaKey = SignatureByteOf(pending.OwnKeyAlgorithm()) == 1;
    if (!rsaKey || IsRsaPss(scheme)) TORNELL_TRY(usable.Add(scheme));
  }
  if (usable.Count() == 0) return FailWithAlertOnly(tlsalert::kHandshakeFailure);
  int chosen = 0;
  for (int i = 0; i + 1 < serverSchemes.Length(); i += 2) {
    const int scheme = serverSchemes.ByteAt(i) << 8 | serverSchemes.ByteAt(i + 1);
    if (usable.Has(scheme)) chosen = scheme;
  }
  if (chosen == 0) return FailWithAlertOnly(tlsalert::kMissingExtension);
  ByteString text;
  TORNELL_TRY(text.Set("Selected Tls13_OurSignatureScheme: "));
  TORNELL_TRY(text.Append(tls::SignatureSchemeName(chosen)));
  TORNELL_TRY(Status(text.CStr()));
  pending.ownSignatureScheme = current.ownSignatureScheme = chosen;
  return kStatusOk;
}

// The first pair of the CertificateRequest that the own key signs with and
// this client offered; 0 when there is none.
int TlsEngine::ChooseTls12OwnPair() {
  const int signature = SignatureByteOf(pending.OwnKeyAlgorithm());
  ByteString offered;
  TORNELL_TRY(EncodeTls12SignatureAlgorithms(tls12SignatureAlgorithms.CStr(), offered));
  for (int i = 0; i + 1 < peerSignatureAlgorithms.Length(); i += 2) {
    const int hash = peerSignatureAlgorithms.ByteAt(i);
    if (peerSignatureAlgorithms.ByteAt(i + 1) != signature || tls::Tls12HashName(hash) == nullptr) continue;
    for (int j = 0; j + 1 < offered.Length(); j += 2) {
      if (offered.ByteAt(j) == hash && offered.ByteAt(j + 1) == signature) return hash << 8 | signature;
    }
  }
  return 0;
}

int TlsEngine::SendCertificate() {
  WireBuffer message;
  TORNELL_TRY(BeginHandshakeMessage(kCertificate, message));
  if (tls13 != 0) {
    TORNELL_TRY(message.PutU8(pending.certificateRequestContext.Length()));
    TORNELL_TRY(message.PutBytes(pending.certificateRequestContext));
  }
  // A certificate goes out only when its key can sign what the peer accepts;
  // otherwise the list is empty and the server decides.
  ownCertificateSent = pending.HasOwnKey();
  if (ownCertificateSent != 0 && pending.version == 0x0303 && tls13 == 0) {
    pending.ownSignatureScheme = ChooseTls12OwnPair();
    if (pending.ownSignatureScheme == 0) ownCertificateSent = 0;
  }
  if (ownCertificateSent != 0) {
    StringList chain;
    TORNELL_TRY(OwnChain(*pending.ownCertificate, chain));
    WireBuffer list;
    for (int i = 0; i < chain.Count(); ++i) {
      if (chain.EntryLength(i) < 1) continue;
      TORNELL_TRY(list.PutU24(chain.EntryLength(i)));
      TORNELL_TRY(list.PutBytes(chain.Get(i), chain.EntryLength(i)));
      if (tls13 != 0) TORNELL_TRY(list.PutU16(0));
    }
    TORNELL_TRY(message.PutU24(list.Length()));
    TORNELL_TRY(message.PutBytes(list.Data(), list.Length()));
  } else {
    TORNELL_TRY(message.PutU24(0));
    if (pending.isClient != 0 && pending.certificateRequested != 0) {
      TORNELL_TRY(Status("Client certificate is not specified."));
    }
  }
  const int status = SendHandshakeMessage(message);
  if (status != kStatusOk && status != kWouldBlock) return status;
  return Status("Certificate sent to peer");
}

int TlsEngine::SendCertificateVerify() {
  if (ownCertificateSent == 0) return kStatusOk;
  ByteString messages;
  TORNELL_TRY(messages.Set(handshakeMessages.Data(), handshakeMessages.Length()));
  WireBuffer message;
  TORNELL_TRY(BeginHandshakeMessage(kCertificateVerify, message));
  TORNELL_TRY(SecretDump("Calc certificate verify, hsMessages:", messages));
  const bool rsa = SignatureByteOf(pending.OwnKeyAlgorithm()) == 1;
  ByteString value;
  if (pending.IsTls13() != 0) {
    TORNELL_TRY(pending.Tls13CertificateVerifyDigest(handshakeMessages, 1, value));
  } else if (pending.IsSsl30() != 0) {
    TORNELL_TRY(Ssl3HandshakeHash(nullptr, pending.masterSecret, handshakeMessages, value));
    // DSA and ECDSA keys sign the SHA-1 hash alone (RFC 6101 section 5.6.8).
    if (!rsa) TORNELL_TRY(value.Substring(kSsl3Md5Length));
  } else if (pending.IsTls12() != 0) {
    TORNELL_TRY(DigestByName(tls::Tls12HashName(pending.ownSignatureScheme >> 8), messages, value));
  } else if (rsa) {
    TORNELL_TRY(pending.TranscriptHash(handshakeMessages, value));
  } else {
    TORNELL_TRY(DigestByName("SHA1", messages, value));
  }
  TORNELL_TRY(SecretDump("Calc certificate verify, toVerify:", value));
  ByteString signature;
  TORNELL_TRY(pending.Sign(value, signature));
  TORNELL_TRY(SecretDump("Calc certificate verify, signature:", signature));
  if (pending.IsTls12() != 0 || pending.IsTls13() != 0) TORNELL_TRY(message.PutU16(pending.ownSignatureScheme));
  TORNELL_TRY(message.PutU16(signature.Length()));
  TORNELL_TRY(message.PutBytes(signature));
  const int status = SendHandshakeMessage(message);
  return status == kWouldBlock ? kStatusOk : status;
}

}  // namespace tornell
