#pragma once
// What one side of one handshake negotiates (version, randoms, session,
// master secret, certificates, both record states, key-exchange values and
// the TLS 1.3 secrets), with the cryptographic steps that need them: the
// transcript hash, the PRF, the Finished labels, the TLS 1.3
// CertificateVerify content and signing and verifying.
#include <cstdint>
#include <memory>

#include "core/buffer/WireBuffer.h"
#include "core/text/ByteString.h"
#include "core/text/SecretBytes.h"
#include "crypto/digest/hash/HashContext.h"
#include "crypto/dsa/DsaKey.h"
#include "crypto/ecc/curve/EcKey.h"
#include "crypto/rsa/RsaKey.h"
#include "pki/x509/CertificateRecords.h"
#include "tls/engine/SessionCache.h"
#include "tls/suites/DhParameters.h"
#include "tls/suites/RecordCipherState.h"

namespace tornell {

namespace pki {
class SelectedCertificate;
}  // namespace pki
using pki::SelectedCertificate;

class TlsSecurityContext {
 public:
  static constexpr int kStatusHandshakeFailed = 276;  // also an unknown transcript hash selector
  static constexpr int kStatusNotRsa = 278;           // RSA key transport with another key
  static constexpr int kStatusNoCertificate = 281;  // no own certificate selected
  static constexpr int kStatusNoPeerKey = -1;  // no peer certificate, or its key is of another kind
  // Verify's result for a signature that does not match.
  static constexpr int kSignatureInvalid = 1;

  static constexpr int kPrfMd5Sha1 = 0;
  static constexpr int kPrfSha256 = 1;
  static constexpr int kPrfSha384 = 2;

  TlsSecurityContext();
  TlsSecurityContext(const TlsSecurityContext&) = delete;
  TlsSecurityContext& operator=(const TlsSecurityContext&) = delete;

  [[nodiscard]] int Reset();
  [[nodiscard]] int CopyFrom(const TlsSecurityContext& source, int keepCipherStates);
  // The copy made when the peer's ChangeCipherSpec switches contexts.
  [[nodiscard]] int TakeNegotiated(const TlsSecurityContext& source);

  int HasHelloRandom() const;
  int IsReadActive() const { return readState.IsActive(); }
  int IsWriteActive() const { return writeState.IsActive(); }
  CipherSuite& GetSuite(int write) { return write != 0 ? writeState.Suite() : readState.Suite(); }
  void UpdatePrfHash();

  int IsSsl30() const { return version == 0x0300 ? 1 : 0; }
  int IsAboveSsl30() const { return version > 0x0300 ? 1 : 0; }
  int IsAboveTls10() const { return version > 0x0301 ? 1 : 0; }
  int IsTls12() const { return version == 0x0303 ? 1 : 0; }
  int IsTls13() const { return version == 0x0304 ? 1 : 0; }
  static int IsTls13Version(int v) { return (v & 0xFFFF) == 0x0304 ? 1 : 0; }

  [[nodiscard]] int TranscriptHash(const WireBuffer& messages, ByteString& out) const;
  [[nodiscard]] int Tls13CertificateVerifyDigest(const WireBuffer& messages, int own, ByteString& out) const;
  [[nodiscard]] int FinishedLabel(int own, ByteString& out) const;
  [[nodiscard]] int Prf(const ByteString& secret, const ByteString& label, const ByteString& seed, int length,
                        ByteString& out) const;
  [[nodiscard]] int Prf(const ByteString& secret, const char* label, const ByteString& seed, int length,
                        ByteString& out) const;
  [[nodiscard]] int SaveSession(SessionCacheEntry& entry) const { return entry.Set(sessionId, masterSecret); }

  [[nodiscard]] int EncryptPremaster(const ByteString& premaster, WireBuffer& out, ByteString& errorText) const;
  // Signs with the own certificate's private key: RSA (PSS under a TLS 1.3
  // PSS scheme), ECDSA or DSA, the last two as DER.
  [[nodiscard]] int Sign(const ByteString& digest, ByteString& out) const;
  // The server's RSA key transport: always 48 bytes out, the client's secret
  // or random ones, chosen without a branch; nothing tells the cases apart.
  [[nodiscard]] int DecryptPremaster(const ByteString& encrypted, ByteString& out, ByteString& errorText) const;
  // Signs with the own certificate's key: RSA under the hash name (PSS when
  // the own scheme asks for it), ECDSA or DSA over the digest.
  [[nodiscard]] int SignWithOwnKey(const ByteString& digest, const char* hashName, ByteString& out) const;
  // The digest an own RSA key signs under: the own scheme's in TLS 1.3 and
  // when a TLS 1.2 pair was chosen, else the PRF's.
  const char* OwnRsaHashName() const;
  // The own certificate's key algorithm ("RSA", "IdEcPublicKey", ...), "" without one.
  const char* OwnKeyAlgorithm() const;
  // Whether an own certificate with its private key is selected.
  int HasOwnKey() const;
  // 0 valid, kSignatureInvalid not, any other value a failure.
  [[nodiscard]] int VerifyWithPeer(const ByteString& digest, const ByteString& signature, const char* hashName) const;
  // The keys of the peer's certificate (its leaf as received).
  [[nodiscard]] int DecodePeerCertificate(pki::X509Certificate& out) const;
  const char* PeerKeyAlgorithm() const;
  // Keeps the public key of a decoded peer leaf, so that the signatures and
  // key exchange of the handshake do not decode the certificate again.
  [[nodiscard]] int RememberPeerKey(const pki::X509Certificate& leaf) const;
  [[nodiscard]] int GetRsaKey(RsaKey& out) const;
  [[nodiscard]] int GetDsaKey(DsaKey& out) const;
  [[nodiscard]] int GetEcKey(EcKey& out) const;
  [[nodiscard]] int SetEphemeralRsaKey(const RsaKey& key);
  // Server side: whether the suite's export key exchange needs a temporary
  // 512-bit key (the own key is not RSA, or longer than 512 bits).
  int NeedsEphemeralRsa() const;
  // The temporary key of an export key exchange: the one this context holds,
  // else a new 512-bit key (private half included).
  [[nodiscard]] int GetEphemeralRsaKey(RsaKey& out) const;
  // The strength the handshake summary reports.
  int KeyExchangeBits() const;

  [[nodiscard]] int SetClientTrafficKeys(const ByteString& key, const ByteString& iv);
  [[nodiscard]] int SetServerTrafficKeys(const ByteString& key, const ByteString& iv);
  [[nodiscard]] int SetMacSecrets(const ByteString& client, const ByteString& server);
  [[nodiscard]] int SetIvs(const ByteString& client, const ByteString& server);
  int UsesRsaPss(int scheme) const;

  int isClient = 1;
  int certificateRequested = 0;
  int version = 0;
  int offeredVersion = 0;
  int prfHash = 0;
  SecretBytes sessionId;
  SecretBytes masterSecret;
  ByteString clientRandom;
  ByteString serverRandom;
  SecretBytes tls13SharedSecret;
  // Held by the engine's owner; the context only points at them.
  SelectedCertificate* peerCertificate = nullptr;
  ByteString peerCertificateDer;  // the peer's leaf certificate, DER
  ByteString peerKeyAlgorithm;    // "RSA", "DSA", "IdEcPublicKey"; filled with peerCertificateDer
  // The server's ephemeral RSA key of an export key exchange; other contexts
  // never build one, and a key that could not be copied whole is not kept.
  std::unique_ptr<RsaKey> ephemeralRsaKey;
  int HasEphemeralRsaKey() const { return ephemeralRsaKey != nullptr ? 1 : 0; }
  SelectedCertificate* ownCertificate = nullptr;
  RecordCipherState readState;
  RecordCipherState writeState;
  DhParameters keyExchange;
  SecretBytes exporterMasterSecret;
  SecretBytes clientApplicationKey;
  SecretBytes clientApplicationIv;
  SecretBytes serverApplicationKey;
  SecretBytes serverApplicationIv;
  ByteString certificateRequestContext;
  // Sent back by the ClientHello after a HelloRetryRequest; survives Reset and copies.
  ByteString retryCookie;
  int peerSignatureScheme = 0;
  int ownSignatureScheme = 0;
  int selectedGroup = 0;
  int helloRetry = 0;

 private:
  // The peer leaf's public key and the DER it was read from: any change of
  // peerCertificateDer, however made, is seen by comparing the two.
  [[nodiscard]] int PeerPublicKey(const pki::SubjectPublicKeyInfo*& out) const;
  // Made when first remembered: most contexts never read a peer key.
  struct RememberedPeerKey {
    ByteString der;
    pki::SubjectPublicKeyInfo key;
  };
  mutable std::unique_ptr<RememberedPeerKey> peerKey;
  // The transcript digest runs on as the messages grow, instead of hashing
  // the whole buffer at every step; the bytes it has taken are kept to tell
  // a grown buffer from a replaced one (a HelloRetryRequest, a new handshake).
  mutable HashContext transcriptDigest;
  mutable HashContext transcriptScratch;
  mutable ByteString transcriptSeen;
  mutable int transcriptId = -1;
};

}  // namespace tornell
