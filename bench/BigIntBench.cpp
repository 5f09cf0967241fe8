// Big-integer rows: modular exponentiation with a full-size exponent and an
// odd modulus (OpenSSL's constant-time Montgomery ladder as the peer), and a
// plain 2048 x 2048-bit product.
#include <benchmark/benchmark.h>
#include <openssl/bn.h>

#include <cstdint>
#include <random>
#include <vector>

#include "BenchPath.h"
#include "crypto/bigint/BigInteger.h"

namespace {

using tornell::BigInteger;

std::vector<uint8_t> RandomBytes(std::mt19937_64& g, int bits, bool odd) {
  std::vector<uint8_t> b(size_t(bits / 8));
  for (auto& x : b) x = uint8_t(g());
  b[0] |= 0x80;
  if (odd) b.back() |= 1;
  return b;
}

struct Operands {
  std::vector<uint8_t> base, exp, mod;
  explicit Operands(int bits) {
    std::mt19937_64 g{static_cast<uint64_t>(bits)};
    mod = RandomBytes(g, bits, true);
    base = RandomBytes(g, bits, false);
    base[0] &= 0x7F;  // below the modulus
    exp = RandomBytes(g, bits, false);
  }
};

BigInteger Ours(const std::vector<uint8_t>& b) { return BigInteger(b.data(), int(b.size()), 1); }
BIGNUM* Peer(const std::vector<uint8_t>& b) { return BN_bin2bn(b.data(), int(b.size()), nullptr); }

void ModPowOurs(benchmark::State& state, int bits) {
  benchpath::Label(state, benchpath::kMontgomery);
  Operands o(bits);
  BigInteger base = Ours(o.base), exp = Ours(o.exp), mod = Ours(o.mod), r;
  for (auto _ : state) {
    if (base.ModPow(exp, mod, r) != 0) state.SkipWithError("ModPow failed");
    benchmark::DoNotOptimize(r);
  }
}

void ModPowPeer(benchmark::State& state, int bits) {
  Operands o(bits);
  BIGNUM *base = Peer(o.base), *exp = Peer(o.exp), *mod = Peer(o.mod), *r = BN_new();
  BN_CTX* ctx = BN_CTX_new();
  for (auto _ : state) {
    BN_mod_exp_mont_consttime(r, base, exp, mod, ctx, nullptr);
    benchmark::DoNotOptimize(r);
  }
  BN_CTX_free(ctx);
  BN_free(base);
  BN_free(exp);
  BN_free(mod);
  BN_free(r);
}

void Mul2048Ours(benchmark::State& state) {
  benchpath::Label(state, benchpath::kMulxAdx);
  Operands o(2048);
  BigInteger a = Ours(o.base), b = Ours(o.exp);
  for (auto _ : state) benchmark::DoNotOptimize(a.Multiply(b));
}

void Mul2048Peer(benchmark::State& state) {
  Operands o(2048);
  BIGNUM *a = Peer(o.base), *b = Peer(o.exp), *r = BN_new();
  BN_CTX* ctx = BN_CTX_new();
  for (auto _ : state) {
    BN_mul(r, a, b, ctx);
    benchmark::DoNotOptimize(r);
  }
  BN_CTX_free(ctx);
  BN_free(a);
  BN_free(b);
  BN_free(r);
}

}  // namespace

BENCHMARK_CAPTURE(ModPowOurs, 2048, 2048)->Name("ModPow2048/ours")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ModPowPeer, 2048, 2048)->Name("ModPow2048/peer")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ModPowOurs, 4096, 4096)->Name("ModPow4096/ours")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ModPowPeer, 4096, 4096)->Name("ModPow4096/peer")->Unit(benchmark::kMillisecond);
BENCHMARK(Mul2048Ours)->Name("Mul2048/ours");
BENCHMARK(Mul2048Peer)->Name("Mul2048/peer");
