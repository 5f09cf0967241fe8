// Digest throughput at 16 KB: our HashContext beside OpenSSL's EVP digests,
// each reusing one context across iterations as a TLS connection does.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <string>

#include "BenchPath.h"
#include "crypto/digest/hash/HashContext.h"

namespace {

constexpr int kInputBytes = 16384;

const std::string& Input() {
  static const std::string input = [] {
    std::string s(kInputBytes, '\0');
    for (int i = 0; i < kInputBytes; ++i) s[i] = static_cast<char>(i * 131 + 7);
    return s;
  }();
  return input;
}

void Ours(benchmark::State& state, int id, int paddingMode) {
  tornell::HashContext ctx;
  if (ctx.SetAlgorithm(id) != 0 || (paddingMode != 0 && ctx.SetPaddingMode(paddingMode) != 0)) {
    state.SkipWithError("no such digest");
    return;
  }
  namespace h = tornell::HashAlgorithm;
  state.SetLabel(id == h::kSha512      ? benchpath::Pick(benchpath::kSha512)
                 : id == h::kSha3_256 ? benchpath::Pick(benchpath::kKeccak)
                 : id == h::kMd5      ? "portable"
                                      : benchpath::Pick(benchpath::kShaNi));
  const std::string& in = Input();
  for (auto _ : state) {
    if (ctx.Reset() != 0 || ctx.Update(in.data(), kInputBytes) != 0 || ctx.Final() != 0) {
      state.SkipWithError("digest failed");
      break;
    }
    benchmark::DoNotOptimize(ctx.GetDigest());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kInputBytes);
}

void Peer(benchmark::State& state, const char* name) {
  EVP_MD* md = EVP_MD_fetch(nullptr, name, nullptr);
  EVP_MD_CTX* ctx = EVP_MD_CTX_new();
  if (md == nullptr || ctx == nullptr) {
    state.SkipWithError("OpenSSL lacks the digest");
    EVP_MD_CTX_free(ctx);
    EVP_MD_free(md);
    return;
  }
  const std::string& in = Input();
  unsigned char out[EVP_MAX_MD_SIZE];
  unsigned int outLength = 0;
  for (auto _ : state) {
    EVP_DigestInit_ex(ctx, md, nullptr);
    EVP_DigestUpdate(ctx, in.data(), kInputBytes);
    EVP_DigestFinal_ex(ctx, out, &outLength);
    benchmark::DoNotOptimize(out);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kInputBytes);
  EVP_MD_CTX_free(ctx);
  EVP_MD_free(md);
}

using namespace tornell::HashAlgorithm;

BENCHMARK_CAPTURE(Ours, sha1, kSha1, 0)->Name("Sha1_16K/ours");
BENCHMARK_CAPTURE(Peer, sha1, "SHA1")->Name("Sha1_16K/peer");
BENCHMARK_CAPTURE(Ours, sha256, kSha256, 0)->Name("Sha256_16K/ours");
BENCHMARK_CAPTURE(Peer, sha256, "SHA256")->Name("Sha256_16K/peer");
BENCHMARK_CAPTURE(Ours, sha512, kSha512, 0)->Name("Sha512_16K/ours");
BENCHMARK_CAPTURE(Peer, sha512, "SHA512")->Name("Sha512_16K/peer");
BENCHMARK_CAPTURE(Ours, sha3_256, kSha3_256, 2)->Name("Sha3_256_16K/ours");
BENCHMARK_CAPTURE(Peer, sha3_256, "SHA3-256")->Name("Sha3_256_16K/peer");
BENCHMARK_CAPTURE(Ours, md5, kMd5, 0)->Name("Md5_16K/ours");
BENCHMARK_CAPTURE(Peer, md5, "MD5")->Name("Md5_16K/peer");

}  // namespace
