// HMAC and PBKDF2 beside OpenSSL. Both sides key once and reuse the keyed
// state per message (OpenSSL: EVP_MAC_init without a key), as TLS record
// protection and the PRF do.
#include <benchmark/benchmark.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/params.h>

#include <string>

#include "BenchPath.h"
#include "crypto/digest/mac/Hmac.h"
#include "crypto/digest/kdf/Pbkdf2.h"

namespace {

const std::string& Input() {
  static const std::string input = [] {
    std::string s(16384, '\0');
    for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<char>(i * 167 + 3);
    return s;
  }();
  return input;
}

const char kKey[] = "0123456789abcdef0123456789abcdef";

void HmacOurs(benchmark::State& state, int length) {
  benchpath::Label(state, benchpath::kShaNi);
  tornell::Hmac mac;
  if (mac.Init(tornell::HashAlgorithm::kSha256, kKey, 32) != 0) {
    state.SkipWithError("keying failed");
    return;
  }
  const std::string& in = Input();
  for (auto _ : state) {
    if (mac.Update(in.data(), length) != 0 || mac.Final() != 0) {
      state.SkipWithError("HMAC failed");
      break;
    }
    benchmark::DoNotOptimize(mac.GetMac());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * length);
}

void HmacPeer(benchmark::State& state, int length) {
  EVP_MAC* hmac = EVP_MAC_fetch(nullptr, "HMAC", nullptr);
  EVP_MAC_CTX* ctx = hmac != nullptr ? EVP_MAC_CTX_new(hmac) : nullptr;
  char digest[] = "SHA256";
  OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digest, 0),
                         OSSL_PARAM_construct_end()};
  if (ctx == nullptr ||
      EVP_MAC_init(ctx, reinterpret_cast<const unsigned char*>(kKey), 32, params) != 1) {
    state.SkipWithError("OpenSSL lacks HMAC-SHA256");
    EVP_MAC_CTX_free(ctx);
    EVP_MAC_free(hmac);
    return;
  }
  const std::string& in = Input();
  unsigned char out[EVP_MAX_MD_SIZE];
  size_t outLength = 0;
  for (auto _ : state) {
    EVP_MAC_init(ctx, nullptr, 0, nullptr);
    EVP_MAC_update(ctx, reinterpret_cast<const unsigned char*>(in.data()), length);
    EVP_MAC_final(ctx, out, &outLength, sizeof out);
    benchmark::DoNotOptimize(out);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * length);
  EVP_MAC_CTX_free(ctx);
  EVP_MAC_free(hmac);
}

constexpr int kIterations = 10000;
const char kPassword[] = "correct horse battery staple";
const char kSalt[] = "NaCl and pepper.";

void Pbkdf2Ours(benchmark::State& state) {
  benchpath::Label(state, benchpath::kShaNi);
  tornell::Pbkdf2 kdf;
  char out[32];
  for (auto _ : state) {
    if (kdf.Derive(tornell::HashAlgorithm::kSha256, kPassword, sizeof kPassword - 1, kSalt, sizeof kSalt - 1,
                   kIterations, 256, out) != 0) {
      state.SkipWithError("derivation failed");
      break;
    }
    benchmark::DoNotOptimize(out);
  }
}

void Pbkdf2Peer(benchmark::State& state) {
  unsigned char out[32];
  for (auto _ : state) {
    PKCS5_PBKDF2_HMAC(kPassword, sizeof kPassword - 1,
                      reinterpret_cast<const unsigned char*>(kSalt), sizeof kSalt - 1,
                      kIterations, EVP_sha256(), sizeof out, out);
    benchmark::DoNotOptimize(out);
  }
}

BENCHMARK_CAPTURE(HmacOurs, b64, 64)->Name("HmacSha256_64/ours");
BENCHMARK_CAPTURE(HmacPeer, b64, 64)->Name("HmacSha256_64/peer");
BENCHMARK_CAPTURE(HmacOurs, k16, 16384)->Name("HmacSha256_16K/ours");
BENCHMARK_CAPTURE(HmacPeer, k16, 16384)->Name("HmacSha256_16K/peer");
BENCHMARK(Pbkdf2Ours)->Name("Pbkdf2Sha256_10000/ours")->Unit(benchmark::kMillisecond);
BENCHMARK(Pbkdf2Peer)->Name("Pbkdf2Sha256_10000/peer")->Unit(benchmark::kMillisecond);

}  // namespace
