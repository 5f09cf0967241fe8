// TLS rows: full handshakes per CPU second with both ends in one process,
// bytes passed through memory: our client and server engines beside libssl's
// over a BIO pair, with the same version, group, suite and certificate.
// TLS 1.3 with a P-256 key share and a P-256 ECDSA certificate; TLS 1.2
// ECDHE-RSA with AES-128-GCM and an RSA-2048 certificate. Our row's label
// gives the share of its time spent outside the public-key operations.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/pkcs12.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <time.h>

#include <cstdio>
#include <string>

#include "crypto/ecc/engine/EccEngine.h"
#include "crypto/rsa/RsaEngine.h"
#include "pki/store/SelectedCertificate.h"
#include "tls/engine/TlsEngine.h"
#include "tls/suites/DhParameters.h"

namespace {

using namespace tornell;

struct Identity {
  EVP_PKEY* key = nullptr;
  X509* certificate = nullptr;
  std::string pem;  // the certificate
  std::string pfx;  // certificate and key, password "bench"
  ~Identity() {
    X509_free(certificate);
    EVP_PKEY_free(key);
  }
};

// A self-signed certificate for localhost with a fresh key, made by OpenSSL.
bool MakeIdentity(bool rsa, Identity& out) {
  out.key = rsa ? EVP_RSA_gen(2048) : EVP_EC_gen("P-256");
  out.certificate = X509_new();
  if (out.key == nullptr || out.certificate == nullptr) return false;
  X509_set_version(out.certificate, 2);
  ASN1_INTEGER_set(X509_get_serialNumber(out.certificate), 7);
  X509_gmtime_adj(X509_getm_notBefore(out.certificate), -3600);
  X509_gmtime_adj(X509_getm_notAfter(out.certificate), 86400L * 30);
  X509_NAME* name = X509_get_subject_name(out.certificate);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("localhost"), -1, -1, 0);
  X509_set_issuer_name(out.certificate, name);
  X509_set_pubkey(out.certificate, out.key);
  if (X509_sign(out.certificate, out.key, EVP_sha256()) <= 0) return false;
  BIO* bio = BIO_new(BIO_s_mem());
  PEM_write_bio_X509(bio, out.certificate);
  char* data = nullptr;
  const long n = BIO_get_mem_data(bio, &data);
  out.pem.assign(data, size_t(n));
  BIO_free(bio);
  PKCS12* p12 = PKCS12_create("bench", nullptr, out.key, out.certificate, nullptr, 0, 0, 0, 0, 0);
  unsigned char* der = nullptr;
  const int length = p12 != nullptr ? i2d_PKCS12(p12, &der) : 0;
  out.pfx.assign(reinterpret_cast<char*>(der), size_t(length > 0 ? length : 0));
  OPENSSL_free(der);
  PKCS12_free(p12);
  return !out.pfx.empty();
}

bool LoadOwn(const Identity& identity, SelectedCertificate& own) {
  return own.Init(nullptr, 0, 0, nullptr, nullptr, identity.pem.data(), int(identity.pem.size())) == 0 &&
         own.GetManager() != nullptr && own.GetManager()->Store().Clear() == 0 &&
         own.GetManager()->Store().AddPkcs12(identity.pfx.data(), int(identity.pfx.size()), "bench") == 0;
}

struct WireOwner : TlsOwner {
  std::string wire;
  int done = 0;
  int SendRaw(const char* p, int n, int& sent) override {
    wire.append(p, size_t(n));
    sent = n;
    return 0;
  }
  int OnTlsData(const char*, int) override { return 0; }
  int OnTlsHandshakeDone(const char*) override {
    done = 1;
    return 0;
  }
  int OnTlsStatus(const char*) override { return 0; }
  int OnTlsError(int, const char*) override { return 0; }
  int OnTlsCertificate(ByteString&, SelectedCertificate&, int, const char*, int& accept) override {
    accept = 1;
    return 0;
  }
  int ReturnError(int code, const char*) override { return code; }
};

struct Setting {
  bool tls13;
};

// One full handshake of our two engines; false when it did not complete.
bool OurHandshake(SelectedCertificate& own, const Setting& setting) {
  TlsEngine client, server;
  WireOwner clientOwner, serverOwner;
  (void)client.SetDefaults(&clientOwner, 1);
  (void)server.SetDefaults(&serverOwner, 0);
  server.ownCertificate = &own;
  const int mask = setting.tls13 ? 0x3000 : 0x0C00;
  if (client.SetEnabledProtocols(mask) != 0 || server.SetEnabledProtocols(mask) != 0 ||
      client.SetRemoteHost("localhost") != 0 || client.SetTls13KeyShareGroups("ecdhe_secp256r1") != 0) {
    return false;
  }
  if (!setting.tls13 && client.SetCipherSuites("TLS_ECDHE_RSA_WITH_AES_128_GCM_SHA256") != 0) return false;
  if (server.StartHandshake() != 0 || client.StartHandshake() != 0) return false;
  std::string moving;
  for (int round = 0; round < 16 && (clientOwner.done == 0 || serverOwner.done == 0); ++round) {
    moving.swap(clientOwner.wire);
    clientOwner.wire.clear();
    if (!moving.empty() && server.Receive(moving.data(), int(moving.size())) != 0) return false;
    moving.swap(serverOwner.wire);
    serverOwner.wire.clear();
    if (!moving.empty() && client.Receive(moving.data(), int(moving.size())) != 0) return false;
  }
  return clientOwner.done != 0 && serverOwner.done != 0;
}

double CpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// The keys of the certificate: the server's private key, and its public half
// alone as the client takes it from the certificate.
struct CertificateKeys {
  RsaKey rsaPrivate, rsaPublic;
  EcKey ecPrivate, ecPublic;
};

bool LoadKeys(SelectedCertificate& own, bool rsa, CertificateKeys& out) {
  if (rsa) {
    return own.GetManager()->GetRsaKey(out.rsaPrivate, 1) == 0 && out.rsaPublic.n.Assign(out.rsaPrivate.n) == 0 &&
           out.rsaPublic.e.Assign(out.rsaPrivate.e) == 0;
  }
  if (own.GetManager()->GetEcKey(out.ecPrivate, 1) != 0) return false;
  out.ecPublic.curveIndex = out.ecPrivate.curveIndex;
  out.ecPublic.curve = out.ecPrivate.curve;
  return out.ecPublic.X.Assign(out.ecPrivate.X) == 0 && out.ecPublic.Y.Assign(out.ecPrivate.Y) == 0;
}

// The public-key operations of one handshake, with our primitives and as many
// as the handshake performs: a P-256 key pair and a shared secret on each
// side, and the certificate key's signature (server) and its check (client),
// each end setting its own engine up. Neither end checks the self-signed
// certificate's own signature.
bool PublicKeyWork(CertificateKeys& keys, bool rsa) {
  DhParameters client(1), server(0);
  for (DhParameters* side : {&client, &server}) {
    (void)side->UseEllipticCurve(1);
    (void)side->SetGroup(23, 1);
    if (side->GenerateEcKey() != 0) return false;
  }
  // An elliptic-curve shared secret is computed when it is asked for.
  ByteString a, b, clientSecret, serverSecret;
  if (client.GetOwnPublic(a) != 0 || server.GetOwnPublic(b) != 0 || client.SetPeerPublic(b) != 0 ||
      server.SetPeerPublic(a) != 0 || client.GetSharedSecret(clientSecret) != 0 ||
      server.GetSharedSecret(serverSecret) != 0 || !clientSecret.Equals(serverSecret)) {
    return false;
  }
  const ByteString digest("0123456789abcdef0123456789abcdef");
  ByteString signature;
  int valid = 0;
  if (rsa) {
    RsaEngine signer, verifier;
    return signer.SetKey(keys.rsaPrivate) == 0 &&
           signer.SignHash(digest.Data(), digest.Length(), "SHA256", signature, 0, -1) == 0 &&
           verifier.SetKey(keys.rsaPublic) == 0 &&
           verifier.VerifyHash(digest.Data(), digest.Length(), "SHA256", signature.Data(), signature.Length(), valid,
                               0, -1, 1) == 0 &&
           valid == 1;
  }
  EccEngine signer, verifier;
  return signer.SetKey(keys.ecPrivate) == 0 && signer.SignHash(digest.Data(), digest.Length(), signature) == 0 &&
         verifier.SetKey(keys.ecPublic) == 0 &&
         verifier.VerifyHash(digest.Data(), digest.Length(), signature.Data(), signature.Length(), valid) == 0 &&
         valid == 1;
}

void HandshakeOurs(benchmark::State& state, bool tls13) {
  Identity identity;
  SelectedCertificate own;
  if (!MakeIdentity(!tls13, identity) || !LoadOwn(identity, own)) {
    state.SkipWithError("certificate could not be made");
    return;
  }
  CertificateKeys keys;
  if (!LoadKeys(own, !tls13, keys)) {
    state.SkipWithError("certificate key could not be read");
    return;
  }
  const Setting setting{tls13};
  // The public-key work is timed between handshakes, outside the row's time:
  // in a loop of its own it runs warmer than it does inside a handshake and
  // would overstate the share of the rest.
  constexpr int kPublicKeyEvery = 4;
  int count = 0, pkRounds = 0;
  double handshakeTime = 0, pkTime = 0;
  for (auto _ : state) {
    const double started = CpuSeconds();
    if (!OurHandshake(own, setting)) {
      state.SkipWithError("handshake failed");
      return;
    }
    handshakeTime += CpuSeconds() - started;
    if (count++ % kPublicKeyEvery == 0) {
      state.PauseTiming();
      const double pkStarted = CpuSeconds();
      if (!PublicKeyWork(keys, !tls13)) {
        state.SkipWithError("public-key work failed");
        return;
      }
      pkTime += CpuSeconds() - pkStarted;
      ++pkRounds;
      state.ResumeTiming();
    }
  }
  const double perHandshake = handshakeTime / (count > 0 ? count : 1);
  const double perPk = pkTime / (pkRounds > 0 ? pkRounds : 1);
  char label[96];
  std::snprintf(label, sizeof label, "TLS code %.0f%% of the handshake outside public-key ops",
                perHandshake > 0 ? 100.0 * (perHandshake - perPk) / perHandshake : 0.0);
  state.SetLabel(label);
  state.SetItemsProcessed(count);
}

// libssl: a client and a server over a BIO pair, no tickets or session cache.
void HandshakePeer(benchmark::State& state, bool tls13) {
  Identity identity;
  if (!MakeIdentity(!tls13, identity)) {
    state.SkipWithError("certificate could not be made");
    return;
  }
  SSL_CTX* serverCtx = SSL_CTX_new(TLS_server_method());
  SSL_CTX* clientCtx = SSL_CTX_new(TLS_client_method());
  const int version = tls13 ? TLS1_3_VERSION : TLS1_2_VERSION;
  bool ready = serverCtx != nullptr && clientCtx != nullptr;
  for (SSL_CTX* ctx : {serverCtx, clientCtx}) {
    if (!ready) break;
    ready = SSL_CTX_set_min_proto_version(ctx, version) == 1 && SSL_CTX_set_max_proto_version(ctx, version) == 1 &&
            SSL_CTX_set1_groups_list(ctx, "P-256") == 1 &&
            (tls13 || SSL_CTX_set_cipher_list(ctx, "ECDHE-RSA-AES128-GCM-SHA256") == 1);
    SSL_CTX_set_options(ctx, SSL_OP_NO_TICKET);
    SSL_CTX_set_session_cache_mode(ctx, SSL_SESS_CACHE_OFF);
  }
  ready = ready && SSL_CTX_use_certificate(serverCtx, identity.certificate) == 1 &&
          SSL_CTX_use_PrivateKey(serverCtx, identity.key) == 1 && SSL_CTX_set_num_tickets(serverCtx, 0) == 1 &&
          X509_STORE_add_cert(SSL_CTX_get_cert_store(clientCtx), identity.certificate) == 1;
  SSL_CTX_set_verify(clientCtx, SSL_VERIFY_PEER, nullptr);
  int count = 0;
  for (auto _ : state) {
    if (!ready) break;
    SSL* client = SSL_new(clientCtx);
    SSL* server = SSL_new(serverCtx);
    BIO* clientBio = nullptr;
    BIO* serverBio = nullptr;
    BIO_new_bio_pair(&clientBio, 0, &serverBio, 0);
    SSL_set_bio(client, clientBio, clientBio);
    SSL_set_bio(server, serverBio, serverBio);
    SSL_set_connect_state(client);
    SSL_set_accept_state(server);
    int clientDone = 0, serverDone = 0;
    for (int round = 0; round < 16 && (clientDone != 1 || serverDone != 1); ++round) {
      if (clientDone != 1) clientDone = SSL_do_handshake(client);
      if (serverDone != 1) serverDone = SSL_do_handshake(server);
    }
    ready = clientDone == 1 && serverDone == 1 && SSL_get_verify_result(client) == X509_V_OK;
    SSL_free(client);
    SSL_free(server);
    ++count;
  }
  if (!ready) state.SkipWithError("libssl handshake failed");
  state.SetItemsProcessed(count);
  SSL_CTX_free(serverCtx);
  SSL_CTX_free(clientCtx);
}

void Tls13Ours(benchmark::State& state) { HandshakeOurs(state, true); }
void Tls13Peer(benchmark::State& state) { HandshakePeer(state, true); }
void Tls12Ours(benchmark::State& state) { HandshakeOurs(state, false); }
void Tls12Peer(benchmark::State& state) { HandshakePeer(state, false); }

BENCHMARK(Tls13Ours)->Name("TlsHandshake13P256Ecdsa/ours")->Unit(benchmark::kMillisecond);
BENCHMARK(Tls13Peer)->Name("TlsHandshake13P256Ecdsa/peer")->Unit(benchmark::kMillisecond);
BENCHMARK(Tls12Ours)->Name("TlsHandshake12EcdheRsa2048Gcm/ours")->Unit(benchmark::kMillisecond);
BENCHMARK(Tls12Peer)->Name("TlsHandshake12EcdheRsa2048Gcm/peer")->Unit(benchmark::kMillisecond);

}  // namespace
