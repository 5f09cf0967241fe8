// TLS 1.3 record throughput: one engine's Send into another engine's Receive
// (keys installed directly) beside libssl's SSL_write and SSL_read over a
// memory BIO pair after one handshake; and the engine over the raw AEAD of
// its cipher suite, to show what the record layer itself costs.
#include <benchmark/benchmark.h>
#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <string>
#include <vector>

#include "BenchPath.h"
#include "tls/engine/TlsEngine.h"

namespace {

using namespace tornell;

constexpr int kRecord = 16384;

// Takes every byte it is given and keeps only the last write.
struct SinkOwner : TlsOwner {
  std::string wire;
  long delivered = 0;
  int SendRaw(const char* p, int n, int& sent) override {
    wire.assign(p, size_t(n));
    sent = n;
    return 0;
  }
  int OnTlsData(const char*, int n) override {
    delivered += n;
    return 0;
  }
  int OnTlsHandshakeDone(const char*) override { return 0; }
  int OnTlsStatus(const char*) override { return 0; }
  int OnTlsError(int, const char*) override { return 0; }
  int OnTlsCertificate(ByteString&, SelectedCertificate&, int, const char*, int&) override { return 0; }
  int ReturnError(int code, const char*) override { return code; }
};

int Keyed(RecordCipherState& state, int code, int keyLength, char fill) {
  ByteString key, iv;
  if (key.AppendRepeated(keyLength, fill) != 0 || iv.AppendRepeated(12, fill + 1) != 0) return 1;
  if (state.SetSuiteByCode(code) != 0 || state.SetKeyAndIv(key, ByteString()) != 0 || state.SetFixedIv(iv) != 0) {
    return 1;
  }
  return state.Activate();
}

int Install(TlsEngine& engine, SinkOwner& owner, int role, int code, int keyLength) {
  (void)engine.SetDefaults(&owner, role);
  if (engine.StartHandshake() != 0) return 1;
  engine.tls13 = 1;
  engine.current.version = 0x0304;
  if (engine.current.clientRandom.Set("r") != 0 || engine.current.serverRandom.Set("r") != 0) return 1;
  if (Keyed(engine.current.writeState, code, keyLength, role != 0 ? 'c' : 's') != 0) return 1;
  if (Keyed(engine.current.readState, code, keyLength, role != 0 ? 's' : 'c') != 0) return 1;
  return engine.CompleteHandshake();
}

void Ours(benchmark::State& state, int code, int keyLength) {
  code == 0x1301 ? benchpath::Label(state, benchpath::kAesGcm)
                 : benchpath::Label(state, benchpath::kChaCha20, benchpath::kPoly1305);
  TlsEngine client, server;
  SinkOwner clientOwner, serverOwner;
  if (Install(client, clientOwner, 1, code, keyLength) != 0 || Install(server, serverOwner, 0, code, keyLength) != 0) {
    state.SkipWithError("keys not installed");
    return;
  }
  const std::vector<char> data(kRecord, 'x');
  for (auto _ : state) {
    int sent = 0;
    if (client.Send(data.data(), kRecord, sent) != 0 ||
        server.Receive(clientOwner.wire.data(), int(clientOwner.wire.size())) != 0) {
      state.SkipWithError("record lost");
      break;
    }
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kRecord);
}

// The same seal and open with the suite alone: the floor the engine stands on.
void RawAead(benchmark::State& state, int code, int keyLength) {
  code == 0x1301 ? benchpath::Label(state, benchpath::kAesGcm)
                 : benchpath::Label(state, benchpath::kChaCha20, benchpath::kPoly1305);
  RecordCipherState sealer, opener;
  if (Keyed(sealer, code, keyLength, 'c') != 0 || Keyed(opener, code, keyLength, 'c') != 0) {
    state.SkipWithError("keys not installed");
    return;
  }
  const std::vector<char> data(kRecord + 1, 'x');
  const unsigned char nonce[12] = {}, aad[5] = {23, 3, 3, 0x40, 0x11};
  const WireBuffer n(nonce, 0, 12), a(aad, 0, 5);
  ByteString sealed, opened, tag;
  for (auto _ : state) {
    sealed.Clear();
    opened.Clear();
    if (sealer.Suite().PrepareAead(n, a, nullptr) != 0 ||
        sealer.Suite().Encrypt(data.data(), kRecord + 1, sealed) != 0 ||
        tag.Set(sealed.Data() + kRecord + 1, 16) != 0 || opener.Suite().PrepareAead(n, a, &tag) != 0 ||
        opener.Suite().Decrypt(sealed.Data(), kRecord + 1, opened) != 0) {
      state.SkipWithError("seal or open failed");
      break;
    }
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kRecord);
}

// A self-signed P-256 certificate for the libssl server.
bool MakeCertificate(EVP_PKEY*& key, X509*& cert) {
  key = EVP_EC_gen("P-256");
  cert = X509_new();
  if (key == nullptr || cert == nullptr) return false;
  X509_set_version(cert, 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
  X509_gmtime_adj(X509_getm_notBefore(cert), 0);
  X509_gmtime_adj(X509_getm_notAfter(cert), 3600);
  X509_NAME* name = X509_get_subject_name(cert);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("bench"), -1, -1, 0);
  X509_set_issuer_name(cert, name);
  X509_set_pubkey(cert, key);
  return X509_sign(cert, key, EVP_sha256()) > 0;
}

void Peer(benchmark::State& state, const char* suite) {
  EVP_PKEY* key = nullptr;
  X509* cert = nullptr;
  SSL_CTX* serverCtx = SSL_CTX_new(TLS_server_method());
  SSL_CTX* clientCtx = SSL_CTX_new(TLS_client_method());
  SSL* server = nullptr;
  SSL* client = nullptr;
  BIO* clientBio = nullptr;
  BIO* serverBio = nullptr;
  bool ready = MakeCertificate(key, cert) && serverCtx != nullptr && clientCtx != nullptr &&
               SSL_CTX_use_certificate(serverCtx, cert) == 1 && SSL_CTX_use_PrivateKey(serverCtx, key) == 1;
  if (ready) {
    for (SSL_CTX* ctx : {serverCtx, clientCtx}) {
      SSL_CTX_set_min_proto_version(ctx, TLS1_3_VERSION);
      SSL_CTX_set_ciphersuites(ctx, suite);
      SSL_CTX_set_num_tickets(ctx, 0);
    }
    server = SSL_new(serverCtx);
    client = SSL_new(clientCtx);
    ready = server != nullptr && client != nullptr && BIO_new_bio_pair(&clientBio, 1 << 20, &serverBio, 1 << 20) == 1;
  }
  if (ready) {
    SSL_set_bio(client, clientBio, clientBio);
    SSL_set_bio(server, serverBio, serverBio);
    SSL_set_connect_state(client);
    SSL_set_accept_state(server);
    for (int i = 0; i < 100 && (SSL_is_init_finished(client) == 0 || SSL_is_init_finished(server) == 0); ++i) {
      SSL_do_handshake(client);
      SSL_do_handshake(server);
    }
    ready = SSL_is_init_finished(client) != 0 && SSL_is_init_finished(server) != 0;
  }
  if (!ready) {
    state.SkipWithError("libssl handshake failed");
  } else {
    std::vector<unsigned char> data(kRecord, 'x'), in(kRecord);
    for (auto _ : state) {
      if (SSL_write(client, data.data(), kRecord) != kRecord) {
        state.SkipWithError("SSL_write failed");
        break;
      }
      int got = 0;
      while (got < kRecord) {
        const int r = SSL_read(server, in.data() + got, kRecord - got);
        if (r <= 0) break;
        got += r;
      }
      if (got != kRecord) {
        state.SkipWithError("SSL_read failed");
        break;
      }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kRecord);
  }
  SSL_free(client);
  SSL_free(server);
  SSL_CTX_free(clientCtx);
  SSL_CTX_free(serverCtx);
  X509_free(cert);
  EVP_PKEY_free(key);
}

}  // namespace

BENCHMARK_CAPTURE(Ours, tls13_record_aes128gcm_16k, 0x1301, 16)->Name("Tls13RecordAes128Gcm16K/ours");
BENCHMARK_CAPTURE(Peer, tls13_record_aes128gcm_16k, "TLS_AES_128_GCM_SHA256")->Name("Tls13RecordAes128Gcm16K/peer");
BENCHMARK_CAPTURE(Ours, tls13_record_chacha_16k, 0x1303, 32)->Name("Tls13RecordChaCha20Poly1305_16K/ours");
BENCHMARK_CAPTURE(Peer, tls13_record_chacha_16k, "TLS_CHACHA20_POLY1305_SHA256")
    ->Name("Tls13RecordChaCha20Poly1305_16K/peer");
BENCHMARK_CAPTURE(Ours, tls13_engine_over_aead_aes128gcm, 0x1301, 16)
    ->Name("Tls13EngineOverAeadAes128Gcm16K/ours");
BENCHMARK_CAPTURE(RawAead, tls13_engine_over_aead_aes128gcm, 0x1301, 16)
    ->Name("Tls13EngineOverAeadAes128Gcm16K/peer");
BENCHMARK_CAPTURE(Ours, tls13_engine_over_aead_chacha, 0x1303, 32)
    ->Name("Tls13EngineOverAeadChaCha20Poly1305_16K/ours");
BENCHMARK_CAPTURE(RawAead, tls13_engine_over_aead_chacha, 0x1303, 32)
    ->Name("Tls13EngineOverAeadChaCha20Poly1305_16K/peer");
