// X25519, X448, Ed25519 and Ed448 operations per second beside OpenSSL's EVP
// interface on the same keys and a 64-byte message.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <cstring>
#include <vector>

#include "BenchPath.h"
#include "core/text/ByteString.h"
#include "crypto/ecc/edwards/EdDsa.h"
#include "crypto/ecc/edwards/EdwardsMath.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes Pattern(size_t n, int salt) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<unsigned char>(i * 29 + salt * 7 + 1);
  return b;
}

EVP_PKEY* RawPrivate(int type, const Bytes& seed) {
  return EVP_PKEY_new_raw_private_key(type, nullptr, seed.data(), seed.size());
}

Bytes RawPublic(EVP_PKEY* key) {
  size_t n = 0;
  EVP_PKEY_get_raw_public_key(key, nullptr, &n);
  Bytes out(n);
  EVP_PKEY_get_raw_public_key(key, out.data(), &n);
  return out;
}

// ---- key agreement ----

void XdhOurs(benchmark::State& state, int type, size_t n) {
  n == 32 ? benchpath::Label(state, benchpath::kMulxAdx) : benchpath::LabelPortable(state);
  EVP_PKEY* peer = RawPrivate(type, Pattern(n, 2));
  const Bytes pub = RawPublic(peer), k = Pattern(n, 1);
  unsigned char out[56];
  const int len = static_cast<int>(n);
  for (auto _ : state) {
    if (n == 32)
      tornell::EdwardsMath::X25519(k.data(), len, pub.data(), len, out, len);
    else
      tornell::EdwardsMath::X448(k.data(), len, pub.data(), len, out, len);
    benchmark::DoNotOptimize(out);
  }
  EVP_PKEY_free(peer);
}

void XdhPeer(benchmark::State& state, int type, size_t n) {
  EVP_PKEY* mine = RawPrivate(type, Pattern(n, 1));
  EVP_PKEY* peer = RawPrivate(type, Pattern(n, 2));
  const Bytes pubBytes = RawPublic(peer);
  EVP_PKEY* peerPub = EVP_PKEY_new_raw_public_key(type, nullptr, pubBytes.data(), pubBytes.size());
  EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(mine, nullptr);
  EVP_PKEY_derive_init(ctx);
  EVP_PKEY_derive_set_peer(ctx, peerPub);
  unsigned char out[56];
  for (auto _ : state) {
    size_t outLen = sizeof(out);
    EVP_PKEY_derive(ctx, out, &outLen);
    benchmark::DoNotOptimize(out);
  }
  EVP_PKEY_CTX_free(ctx);
  EVP_PKEY_free(peerPub);
  EVP_PKEY_free(peer);
  EVP_PKEY_free(mine);
}

// ---- signatures ----

struct SignSetup {
  Bytes seed, pub, msg, sig;
  EVP_PKEY* key;
};

SignSetup MakeSetup(int type, size_t n) {
  SignSetup s;
  s.seed = Pattern(n, 3);
  s.msg = Pattern(64, 4);
  s.key = RawPrivate(type, s.seed);
  s.pub = RawPublic(s.key);
  EVP_MD_CTX* md = EVP_MD_CTX_new();
  EVP_DigestSignInit(md, nullptr, nullptr, nullptr, s.key);
  size_t sigLen = 114;
  s.sig.resize(sigLen);
  EVP_DigestSign(md, s.sig.data(), &sigLen, s.msg.data(), s.msg.size());
  s.sig.resize(sigLen);
  EVP_MD_CTX_free(md);
  return s;
}

void SignOurs(benchmark::State& state, int type, size_t n) {
  type == EVP_PKEY_ED25519 ? benchpath::Label(state, benchpath::kSha512) : benchpath::Label(state, benchpath::kKeccak);
  SignSetup s = MakeSetup(type, n);
  tornell::ByteString out;
  const int len = static_cast<int>(n);
  int status = 0;
  for (auto _ : state) {
    if (n == 32)
      status |= tornell::EdDsa::SignEd25519(s.msg.data(), 64, s.pub.data(), len, s.seed.data(), len, out);
    else
      status |= tornell::EdDsa::SignEd448(s.msg.data(), 64, nullptr, 0, s.pub.data(), len, s.seed.data(), len, out);
    benchmark::DoNotOptimize(out.Data());
  }
  if (status != 0) state.SkipWithError("signing failed");
  if (!out.Equals(s.sig.data(), static_cast<int>(s.sig.size()))) state.SkipWithError("signature differs");
  EVP_PKEY_free(s.key);
}

void SignPeer(benchmark::State& state, int type, size_t n) {
  SignSetup s = MakeSetup(type, n);
  EVP_MD_CTX* md = EVP_MD_CTX_new();
  unsigned char sig[114];
  for (auto _ : state) {
    size_t sigLen = sizeof(sig);
    EVP_DigestSignInit(md, nullptr, nullptr, nullptr, s.key);
    EVP_DigestSign(md, sig, &sigLen, s.msg.data(), s.msg.size());
    benchmark::DoNotOptimize(sig);
  }
  EVP_MD_CTX_free(md);
  EVP_PKEY_free(s.key);
}

void VerifyOurs(benchmark::State& state, int type, size_t n) {
  type == EVP_PKEY_ED25519 ? benchpath::Label(state, benchpath::kSha512) : benchpath::Label(state, benchpath::kKeccak);
  SignSetup s = MakeSetup(type, n);
  const int len = static_cast<int>(n), sigLen = static_cast<int>(s.sig.size());
  int ok = 1;
  for (auto _ : state) {
    if (n == 32)
      ok &= tornell::EdDsa::VerifyEd25519(s.msg.data(), 64, s.pub.data(), len, s.sig.data(), sigLen);
    else
      ok &= tornell::EdDsa::VerifyEd448(s.msg.data(), 64, nullptr, 0, s.pub.data(), len, s.sig.data(), sigLen);
  }
  if (!ok) state.SkipWithError("verification failed");
  EVP_PKEY_free(s.key);
}

void VerifyPeer(benchmark::State& state, int type, size_t n) {
  SignSetup s = MakeSetup(type, n);
  EVP_PKEY* pub = EVP_PKEY_new_raw_public_key(type, nullptr, s.pub.data(), s.pub.size());
  EVP_MD_CTX* md = EVP_MD_CTX_new();
  int ok = 1;
  for (auto _ : state) {
    EVP_DigestVerifyInit(md, nullptr, nullptr, nullptr, pub);
    ok &= EVP_DigestVerify(md, s.sig.data(), s.sig.size(), s.msg.data(), s.msg.size()) == 1;
  }
  if (!ok) state.SkipWithError("verification failed");
  EVP_MD_CTX_free(md);
  EVP_PKEY_free(pub);
  EVP_PKEY_free(s.key);
}

}  // namespace

BENCHMARK_CAPTURE(XdhOurs, x25519, EVP_PKEY_X25519, 32)->Name("X25519/ours");
BENCHMARK_CAPTURE(XdhPeer, x25519, EVP_PKEY_X25519, 32)->Name("X25519/peer");
BENCHMARK_CAPTURE(XdhOurs, x448, EVP_PKEY_X448, 56)->Name("X448/ours");
BENCHMARK_CAPTURE(XdhPeer, x448, EVP_PKEY_X448, 56)->Name("X448/peer");
BENCHMARK_CAPTURE(SignOurs, ed25519, EVP_PKEY_ED25519, 32)->Name("Ed25519Sign/ours");
BENCHMARK_CAPTURE(SignPeer, ed25519, EVP_PKEY_ED25519, 32)->Name("Ed25519Sign/peer");
BENCHMARK_CAPTURE(VerifyOurs, ed25519, EVP_PKEY_ED25519, 32)->Name("Ed25519Verify/ours");
BENCHMARK_CAPTURE(VerifyPeer, ed25519, EVP_PKEY_ED25519, 32)->Name("Ed25519Verify/peer");
BENCHMARK_CAPTURE(SignOurs, ed448, EVP_PKEY_ED448, 57)->Name("Ed448Sign/ours");
BENCHMARK_CAPTURE(SignPeer, ed448, EVP_PKEY_ED448, 57)->Name("Ed448Sign/peer");
BENCHMARK_CAPTURE(VerifyOurs, ed448, EVP_PKEY_ED448, 57)->Name("Ed448Verify/ours");
BENCHMARK_CAPTURE(VerifyPeer, ed448, EVP_PKEY_ED448, 57)->Name("Ed448Verify/peer");
