// ECC engine rows: ECDSA signing and verification of a hash and ECDH
// agreement on P-256, P-384 and P-521, beside OpenSSL's EVP interface.
#include <benchmark/benchmark.h>
#include <openssl/ec.h>
#include <openssl/evp.h>

#include <string>

#include "BenchPath.h"
#include "CurveRows.h"
#include "core/text/ByteString.h"
#include "crypto/ecc/engine/EccEngine.h"

namespace {

using tornell::ByteString;
using tornell::EccEngine;
using tornell::EcKey;

const char* const kCurveNames[3] = {"P-256", "P-384", "P-521"};
const int kHashLengths[3] = {32, 48, 64};

const char* Hash() {
  static char hash[64];
  for (int i = 0; i < 64; ++i) hash[i] = static_cast<char>(i * 7 + 1);
  return hash;
}

struct PeerKey {
  EVP_PKEY* pkey;
  explicit PeerKey(const char* curve) : pkey(EVP_EC_gen(curve)) {}
  ~PeerKey() { EVP_PKEY_free(pkey); }
};

// Two OpenSSL keys per curve: the signer and the other side of an agreement.
PeerKey& Peer(int curve, int which) {
  static PeerKey keys[3][2] = {{PeerKey("P-256"), PeerKey("P-256")},
                               {PeerKey("P-384"), PeerKey("P-384")},
                               {PeerKey("P-521"), PeerKey("P-521")}};
  return keys[curve][which];
}

void SignOurs(benchmark::State& state, int curve) {
  benchpath::Label(state, benchpath::kMulxAdx);
  EccEngine engine;
  EcKey key;
  int status = engine.SetCurveIndex(curve);
  if (status == 0) status = engine.GenerateKey(1, key);
  ByteString sig;
  for (auto _ : state) {
    status |= engine.SignHash(Hash(), kHashLengths[curve], sig);
    benchmark::DoNotOptimize(sig.Data());
  }
  if (status != 0) state.SkipWithError("signing failed");
}

void SignPeer(benchmark::State& state, int curve) {
  EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(Peer(curve, 0).pkey, nullptr);
  EVP_PKEY_sign_init(ctx);
  unsigned char sig[160];
  for (auto _ : state) {
    size_t length = sizeof sig;
    EVP_PKEY_sign(ctx, sig, &length, reinterpret_cast<const unsigned char*>(Hash()), kHashLengths[curve]);
    benchmark::DoNotOptimize(sig);
  }
  EVP_PKEY_CTX_free(ctx);
}

void VerifyOurs(benchmark::State& state, int curve) {
  benchpath::Label(state, benchpath::kMulxAdx);
  EccEngine engine;
  EcKey key;
  ByteString sig;
  int status = engine.SetCurveIndex(curve);
  if (status == 0) status = engine.GenerateKey(1, key);
  if (status == 0) status = engine.SignHash(Hash(), kHashLengths[curve], sig);
  int valid = 0;
  for (auto _ : state) {
    status |= engine.VerifyHash(Hash(), kHashLengths[curve], sig.Data(), sig.Length(), valid);
    benchmark::DoNotOptimize(valid);
  }
  if (status != 0 || valid != 1) state.SkipWithError("signature did not verify");
}

void VerifyPeer(benchmark::State& state, int curve) {
  EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(Peer(curve, 0).pkey, nullptr);
  EVP_PKEY_sign_init(ctx);
  unsigned char sig[160];
  size_t length = sizeof sig;
  EVP_PKEY_sign(ctx, sig, &length, reinterpret_cast<const unsigned char*>(Hash()), kHashLengths[curve]);
  EVP_PKEY_verify_init(ctx);
  int valid = 0;
  for (auto _ : state) {
    valid = EVP_PKEY_verify(ctx, sig, length, reinterpret_cast<const unsigned char*>(Hash()), kHashLengths[curve]);
    benchmark::DoNotOptimize(valid);
  }
  EVP_PKEY_CTX_free(ctx);
  if (valid != 1) state.SkipWithError("signature did not verify");
}

// ECDH: the shared x from our key and the peer's point. Ours checks the point
// on every call; OpenSSL checks it once, when the context takes the peer key,
// a few field products it saves per call.
void EcdhOurs(benchmark::State& state, int curve) {
  benchpath::Label(state, benchpath::kMulxAdx);
  EccEngine engine;
  EcKey own, peer;
  int status = engine.SetCurveIndex(curve);
  if (status == 0) status = engine.GenerateKey(1, own);
  if (status == 0) status = engine.GenerateKey(1, peer);
  ByteString secret;
  for (auto _ : state) {
    status |= EccEngine::ComputeSharedSecret(own.D, peer, 0, secret);
    benchmark::DoNotOptimize(secret.Data());
  }
  if (status != 0) state.SkipWithError("agreement failed");
}

void EcdhPeer(benchmark::State& state, int curve) {
  EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(Peer(curve, 0).pkey, nullptr);
  EVP_PKEY_derive_init(ctx);
  EVP_PKEY_derive_set_peer(ctx, Peer(curve, 1).pkey);
  unsigned char secret[66];
  for (auto _ : state) {
    size_t length = sizeof secret;
    EVP_PKEY_derive(ctx, secret, &length);
    benchmark::DoNotOptimize(secret);
  }
  EVP_PKEY_CTX_free(ctx);
}

const int kRegistered = [] {
  RegisterCurveRows("EccEngineEcdsaSign", SignOurs, SignPeer);
  RegisterCurveRows("EccEngineEcdsaVerify", VerifyOurs, VerifyPeer);
  RegisterCurveRows("EccEngineEcdh", EcdhOurs, EcdhPeer);
  return 0;
}();

}  // namespace
