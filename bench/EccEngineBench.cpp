// ECC engine rows: ECDSA P-256 signing and verification of a SHA-256 hash,
// the P-256 ECDH agreement and P-384 signing, beside OpenSSL's EVP interface.
#include <benchmark/benchmark.h>
#include <openssl/ec.h>
#include <openssl/evp.h>

#include <vector>

#include "core/ByteString.h"
#include "crypto/ecc/EccEngine.h"

namespace {

using tornell::ByteString;
using tornell::EccEngine;
using tornell::EcKey;

const char kHash[48] = {1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16,
                        17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32,
                        33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43, 44, 45, 46, 47, 48};

struct PeerKey {
  EVP_PKEY* pkey;
  explicit PeerKey(const char* curve) : pkey(EVP_EC_gen(curve)) {}
  ~PeerKey() { EVP_PKEY_free(pkey); }
};

PeerKey& Peer(int index) {
  static PeerKey p256("P-256"), p256b("P-256"), p384("P-384");
  return index == 0 ? p256 : index == 1 ? p384 : p256b;
}

int HashLength(int curveIndex) { return curveIndex == 0 ? 32 : 48; }

void OursSign(benchmark::State& state, int curveIndex) {
  EccEngine engine;
  engine.SetCurveIndex(curveIndex);
  EcKey key;
  engine.GenerateKey(1, key);
  ByteString sig;
  for (auto _ : state) {
    engine.SignHash(kHash, HashLength(curveIndex), sig);
    benchmark::DoNotOptimize(sig.Data());
  }
}

void PeerSign(benchmark::State& state, int peerIndex, int curveIndex) {
  EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(Peer(peerIndex).pkey, nullptr);
  EVP_PKEY_sign_init(ctx);
  unsigned char sig[160];
  for (auto _ : state) {
    size_t length = sizeof sig;
    EVP_PKEY_sign(ctx, sig, &length, reinterpret_cast<const unsigned char*>(kHash), HashLength(curveIndex));
    benchmark::DoNotOptimize(sig);
  }
  EVP_PKEY_CTX_free(ctx);
}

void EcdsaP256SignOurs(benchmark::State& state) { OursSign(state, 0); }
void EcdsaP256SignPeer(benchmark::State& state) { PeerSign(state, 0, 0); }
void EcdsaP384SignOurs(benchmark::State& state) { OursSign(state, 1); }
void EcdsaP384SignPeer(benchmark::State& state) { PeerSign(state, 1, 1); }

void EcdsaP256VerifyOurs(benchmark::State& state) {
  EccEngine engine;
  EcKey key;
  engine.GenerateKey(1, key);
  ByteString sig;
  engine.SignHash(kHash, 32, sig);
  int valid = 0;
  for (auto _ : state) {
    engine.VerifyHash(kHash, 32, sig.Data(), sig.Length(), valid);
    benchmark::DoNotOptimize(valid);
  }
  if (valid != 1) state.SkipWithError("signature did not verify");
}

void EcdsaP256VerifyPeer(benchmark::State& state) {
  EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(Peer(0).pkey, nullptr);
  EVP_PKEY_sign_init(ctx);
  unsigned char sig[80];
  size_t length = sizeof sig;
  EVP_PKEY_sign(ctx, sig, &length, reinterpret_cast<const unsigned char*>(kHash), 32);
  EVP_PKEY_verify_init(ctx);
  int valid = 0;
  for (auto _ : state) {
    valid = EVP_PKEY_verify(ctx, sig, length, reinterpret_cast<const unsigned char*>(kHash), 32);
    benchmark::DoNotOptimize(valid);
  }
  EVP_PKEY_CTX_free(ctx);
  if (valid != 1) state.SkipWithError("signature did not verify");
}

void EcdhP256Ours(benchmark::State& state) {
  EccEngine engine;
  EcKey own, peer;
  engine.GenerateKey(1, own);
  engine.GenerateKey(1, peer);
  ByteString secret;
  for (auto _ : state) {
    EccEngine::ComputeSharedSecret(own.D, peer, 0, secret);
    benchmark::DoNotOptimize(secret.Data());
  }
}

void EcdhP256Peer(benchmark::State& state) {
  EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(Peer(0).pkey, nullptr);
  EVP_PKEY_derive_init(ctx);
  EVP_PKEY_derive_set_peer(ctx, Peer(2).pkey);
  unsigned char secret[32];
  for (auto _ : state) {
    size_t length = sizeof secret;
    EVP_PKEY_derive(ctx, secret, &length);
    benchmark::DoNotOptimize(secret);
  }
  EVP_PKEY_CTX_free(ctx);
}

}  // namespace

BENCHMARK(EcdsaP256SignOurs)->Name("EccEngineEcdsaP256Sign/ours");
BENCHMARK(EcdsaP256SignPeer)->Name("EccEngineEcdsaP256Sign/peer");
BENCHMARK(EcdsaP256VerifyOurs)->Name("EccEngineEcdsaP256Verify/ours");
BENCHMARK(EcdsaP256VerifyPeer)->Name("EccEngineEcdsaP256Verify/peer");
BENCHMARK(EcdhP256Ours)->Name("EccEngineEcdhP256/ours");
BENCHMARK(EcdhP256Peer)->Name("EccEngineEcdhP256/peer");
BENCHMARK(EcdsaP384SignOurs)->Name("EccEngineEcdsaP384Sign/ours");
BENCHMARK(EcdsaP384SignPeer)->Name("EccEngineEcdsaP384Sign/peer");
