// Placeholder row so the harness runs before the first real benchmark lands.
#include <benchmark/benchmark.h>
#include <cstring>
#include <string>

static void Memcpy16K_ours(benchmark::State& state) {
  std::string src(16384, 'x'), dst(16384, '\0');
  for (auto _ : state) {
    std::memcpy(dst.data(), src.data(), src.size());
    benchmark::DoNotOptimize(dst.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * 16384);
}
static void Memcpy16K_peer(benchmark::State& state) {
  std::string src(16384, 'x');
  for (auto _ : state) {
    std::string dst(src);
    benchmark::DoNotOptimize(dst.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * 16384);
}
BENCHMARK(Memcpy16K_ours)->Name("Memcpy16K/ours");
BENCHMARK(Memcpy16K_peer)->Name("Memcpy16K/peer");
