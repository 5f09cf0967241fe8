// RSA rows: PKCS#1 v1.5 signing (CRT, blinded) and verification of a SHA-256
// hash, and 2048-bit key generation, beside OpenSSL's EVP interface.
#include <benchmark/benchmark.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>

#include <memory>
#include <vector>

#include "BenchPath.h"
#include "core/text/ByteString.h"
#include "crypto/rsa/RsaEngine.h"

namespace {

using tornell::ByteString;
using tornell::RsaEngine;
using tornell::RsaKey;

struct PeerKey {
  EVP_PKEY* pkey = nullptr;
  explicit PeerKey(int bits) { pkey = EVP_RSA_gen(unsigned(bits)); }
  ~PeerKey() { EVP_PKEY_free(pkey); }
};

PeerKey& KeyOf(int bits) {
  static PeerKey k2048(2048), k4096(4096);
  return bits == 2048 ? k2048 : k4096;
}

void Field(EVP_PKEY* pkey, const char* name, ByteString& out) {
  BIGNUM* bn = nullptr;
  EVP_PKEY_get_bn_param(pkey, name, &bn);
  std::vector<unsigned char> bytes(size_t(BN_num_bytes(bn)));
  BN_bn2bin(bn, bytes.data());
  out.Set(bytes.data(), int(bytes.size()));
  BN_free(bn);
}

// Our engine loaded with the peer's key, so both sides work on one key.
int LoadOurs(RsaEngine& engine, int bits) {
  EVP_PKEY* pkey = KeyOf(bits).pkey;
  RsaKey key;
  Field(pkey, OSSL_PKEY_PARAM_RSA_N, key.n);
  Field(pkey, OSSL_PKEY_PARAM_RSA_E, key.e);
  Field(pkey, OSSL_PKEY_PARAM_RSA_D, key.d);
  Field(pkey, OSSL_PKEY_PARAM_RSA_FACTOR1, key.p);
  Field(pkey, OSSL_PKEY_PARAM_RSA_FACTOR2, key.q);
  Field(pkey, OSSL_PKEY_PARAM_RSA_EXPONENT1, key.dP);
  Field(pkey, OSSL_PKEY_PARAM_RSA_EXPONENT2, key.dQ);
  Field(pkey, OSSL_PKEY_PARAM_RSA_COEFFICIENT1, key.qInv);
  return engine.SetKey(key);
}

const char kHash[32] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16,
                        17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32};

EVP_PKEY_CTX* PeerContext(int bits, bool sign) {
  EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(KeyOf(bits).pkey, nullptr);
  if (sign)
    EVP_PKEY_sign_init(ctx);
  else
    EVP_PKEY_verify_init(ctx);
  EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PADDING);
  EVP_PKEY_CTX_set_signature_md(ctx, EVP_sha256());
  return ctx;
}

void SignOurs(benchmark::State& state, int bits) {
  benchpath::Label(state, benchpath::kMontgomery);
  RsaEngine engine;
  if (LoadOurs(engine, bits) != 0) state.SkipWithError("key not loaded");
  ByteString sig;
  for (auto _ : state) {
    sig.Clear();
    if (engine.SignHash(kHash, 32, "SHA256", sig, 0, 0) != 0) state.SkipWithError("signing failed");
    benchmark::DoNotOptimize(sig.Data());
  }
  state.SetItemsProcessed(state.iterations());
}

void SignPeer(benchmark::State& state, int bits) {
  EVP_PKEY_CTX* ctx = PeerContext(bits, true);
  std::vector<unsigned char> sig(size_t(bits / 8));
  for (auto _ : state) {
    size_t len = sig.size();
    EVP_PKEY_sign(ctx, sig.data(), &len, reinterpret_cast<const unsigned char*>(kHash), 32);
    benchmark::DoNotOptimize(sig.data());
  }
  EVP_PKEY_CTX_free(ctx);
  state.SetItemsProcessed(state.iterations());
}

void VerifyOurs(benchmark::State& state) {
  benchpath::Label(state, benchpath::kMontgomery);
  RsaEngine engine;
  if (LoadOurs(engine, 2048) != 0) state.SkipWithError("key not loaded");
  ByteString sig;
  if (engine.SignHash(kHash, 32, "SHA256", sig, 0, 0) != 0) state.SkipWithError("signing failed");
  for (auto _ : state) {
    int valid = 0;
    if (engine.VerifyHash(kHash, 32, "SHA256", sig.Data(), sig.Length(), valid, 0, 0, 1) != 0)
      state.SkipWithError("verification failed");
    benchmark::DoNotOptimize(valid);
  }
  state.SetItemsProcessed(state.iterations());
}

void VerifyPeer(benchmark::State& state) {
  EVP_PKEY_CTX* sctx = PeerContext(2048, true);
  std::vector<unsigned char> sig(256);
  size_t len = sig.size();
  EVP_PKEY_sign(sctx, sig.data(), &len, reinterpret_cast<const unsigned char*>(kHash), 32);
  EVP_PKEY_CTX_free(sctx);
  EVP_PKEY_CTX* ctx = PeerContext(2048, false);
  for (auto _ : state) {
    int ok = EVP_PKEY_verify(ctx, sig.data(), len, reinterpret_cast<const unsigned char*>(kHash), 32);
    benchmark::DoNotOptimize(ok);
  }
  EVP_PKEY_CTX_free(ctx);
  state.SetItemsProcessed(state.iterations());
}

// Generation time varies with where the primes fall: each iteration makes
// several keys so the rate is a mean over them.
constexpr int kKeysPerIteration = 6;

void KeyGenOurs(benchmark::State& state) {
  benchpath::Label(state, benchpath::kMontgomery);
  for (auto _ : state) {
    for (int i = 0; i < kKeysPerIteration; ++i) {
      RsaEngine engine;
      RsaKey key;
      if (engine.SetKeySize(2048) != 0 || engine.GenerateKey(1, key, 0) != 0) state.SkipWithError("key generation failed");
      benchmark::DoNotOptimize(key.n.Data());
    }
  }
  state.SetItemsProcessed(state.iterations() * kKeysPerIteration);
}

void KeyGenPeer(benchmark::State& state) {
  for (auto _ : state) {
    for (int i = 0; i < kKeysPerIteration; ++i) {
      EVP_PKEY* pkey = EVP_RSA_gen(2048);
      benchmark::DoNotOptimize(pkey);
      EVP_PKEY_free(pkey);
    }
  }
  state.SetItemsProcessed(state.iterations() * kKeysPerIteration);
}

BENCHMARK_CAPTURE(SignOurs, 2048, 2048)->Name("Rsa2048Sign/ours");
BENCHMARK_CAPTURE(SignPeer, 2048, 2048)->Name("Rsa2048Sign/peer");
BENCHMARK(VerifyOurs)->Name("Rsa2048Verify/ours");
BENCHMARK(VerifyPeer)->Name("Rsa2048Verify/peer");
BENCHMARK_CAPTURE(SignOurs, 4096, 4096)->Name("Rsa4096Sign/ours");
BENCHMARK_CAPTURE(SignPeer, 4096, 4096)->Name("Rsa4096Sign/peer");
BENCHMARK(KeyGenOurs)->Name("Rsa2048KeyGen/ours")->Unit(benchmark::kMillisecond);
BENCHMARK(KeyGenPeer)->Name("Rsa2048KeyGen/peer")->Unit(benchmark::kMillisecond);

}  // namespace
