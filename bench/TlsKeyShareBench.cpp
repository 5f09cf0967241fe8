// TLS row: the four key pairs of the default TLS 1.3 hello (P-256, P-384,
// ffdhe2048, ffdhe3072), each with its encoded share, beside OpenSSL's EVP
// key generation of the same groups.
#include <benchmark/benchmark.h>
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/params.h>

#include "core/text/ByteString.h"
#include "tls/suites/DhParameters.h"

namespace {

using tornell::ByteString;
using tornell::DhParameters;

// Groups as the hello names them: 23, 24 are curves, 256, 257 FFDHE.
constexpr int kHelloGroups[4] = {23, 24, 256, 257};

void HelloSharesOurs(benchmark::State& state) {
  ByteString share;
  for (auto _ : state) {
    for (int group : kHelloGroups) {
      DhParameters dh;
      if (group < 256) {
        (void)dh.SetGroup(group, 1);
        (void)dh.UseEllipticCurve(1);
      }
      if (dh.SetupGroup(0, group, 1) != 0 || dh.GetOwnPublicPadded(share) != 0) {
        state.SkipWithError("key share failed");
        return;
      }
      benchmark::DoNotOptimize(share.Data());
    }
  }
}

EVP_PKEY* PeerDh(const char* group) {
  EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new_from_name(nullptr, "DH", nullptr);
  EVP_PKEY* key = nullptr;
  OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_PKEY_PARAM_GROUP_NAME, const_cast<char*>(group), 0),
                         OSSL_PARAM_construct_end()};
  if (ctx != nullptr && EVP_PKEY_keygen_init(ctx) == 1 && EVP_PKEY_CTX_set_params(ctx, params) == 1) {
    (void)EVP_PKEY_generate(ctx, &key);
  }
  EVP_PKEY_CTX_free(ctx);
  return key;
}

void HelloSharesPeer(benchmark::State& state) {
  for (auto _ : state) {
    EVP_PKEY* keys[4] = {EVP_EC_gen("P-256"), EVP_EC_gen("P-384"), PeerDh("ffdhe2048"), PeerDh("ffdhe3072")};
    bool failed = false;
    for (EVP_PKEY* key : keys) {
      unsigned char* encoded = nullptr;
      const size_t length = key != nullptr ? EVP_PKEY_get1_encoded_public_key(key, &encoded) : 0;
      failed = failed || length == 0;
      benchmark::DoNotOptimize(length);
      OPENSSL_free(encoded);
      EVP_PKEY_free(key);
    }
    if (failed) {
      state.SkipWithError("OpenSSL key generation failed");
      return;
    }
  }
}

BENCHMARK(HelloSharesOurs)->Name("TlsHelloKeyShares/ours")->Unit(benchmark::kMillisecond);
BENCHMARK(HelloSharesPeer)->Name("TlsHelloKeyShares/peer")->Unit(benchmark::kMillisecond);

}  // namespace
