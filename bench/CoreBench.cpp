// Core string rows: append, Base64 and hex over 16 KB, beside std::string and OpenSSL.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <cstdint>
#include <string>
#include <vector>

#include "BenchPath.h"
#include "core/text/ByteString.h"

namespace {

constexpr int kSize = 16384;
constexpr int kChunk = 64;

const std::vector<unsigned char>& Input() {
  static const std::vector<unsigned char> data = [] {
    std::vector<unsigned char> d(kSize);
    uint32_t x = 2463534242u;
    for (auto& b : d) {
      x ^= x << 13;
      x ^= x >> 17;
      x ^= x << 5;
      b = static_cast<unsigned char>(x);
    }
    return d;
  }();
  return data;
}

const std::string& EncodedInput() {
  static const std::string text = [] {
    std::string t(4 * kSize / 3 + 4, '\0');
    int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(t.data()), Input().data(), kSize);
    t.resize(static_cast<size_t>(n));
    return t;
  }();
  return text;
}

void Append16K_ours(benchmark::State& state) {
  benchpath::LabelPortable(state);
  const char* chunk = reinterpret_cast<const char*>(Input().data());
  for (auto _ : state) {
    tornell::ByteString s;
    int status = 0;
    for (int i = 0; i < kSize / kChunk && status == 0; ++i) status = s.Append(chunk + i * kChunk, kChunk);
    if (status != 0) return state.SkipWithError("append failed");
    benchmark::DoNotOptimize(s.Data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kSize);
}

void Append16K_peer(benchmark::State& state) {
  const char* chunk = reinterpret_cast<const char*>(Input().data());
  for (auto _ : state) {
    std::string s;
    for (int i = 0; i < kSize / kChunk; ++i) s.append(chunk + i * kChunk, kChunk);
    benchmark::DoNotOptimize(s.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kSize);
}

void Base64Encode16K_ours(benchmark::State& state) {
  benchpath::LabelPortable(state);
  tornell::ByteString out;
  for (auto _ : state) {
    out.Clear();
    if (out.AppendBase64(Input().data(), kSize, 0, 64, 0) != 0) return state.SkipWithError("encode failed");
    benchmark::DoNotOptimize(out.Data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kSize);
}

void Base64Encode16K_peer(benchmark::State& state) {
  std::vector<unsigned char> out(4 * kSize / 3 + 8);
  for (auto _ : state) {
    int n = EVP_EncodeBlock(out.data(), Input().data(), kSize);
    benchmark::DoNotOptimize(n);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kSize);
}

// Our decoder works in place, so each round starts from a fresh copy of the text.
void Base64Decode16K_ours(benchmark::State& state) {
  benchpath::LabelPortable(state);
  const std::string& text = EncodedInput();
  tornell::ByteString s;
  for (auto _ : state) {
    if (s.Set(text.data(), static_cast<int>(text.size())) != 0 || s.Base64Decode(0) != 0) {
      return state.SkipWithError("decode failed");
    }
    benchmark::DoNotOptimize(s.Data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kSize);
}

void Base64Decode16K_peer(benchmark::State& state) {
  const std::string& text = EncodedInput();
  std::vector<unsigned char> out(text.size());
  for (auto _ : state) {
    int n = EVP_DecodeBlock(out.data(), reinterpret_cast<const unsigned char*>(text.data()),
                            static_cast<int>(text.size()));
    benchmark::DoNotOptimize(n);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kSize);
}

void HexEncode16K_ours(benchmark::State& state) {
  benchpath::LabelPortable(state);
  tornell::ByteString out;
  for (auto _ : state) {
    out.Clear();
    if (out.AppendHex(Input().data(), kSize) != 0) return state.SkipWithError("hex failed");
    benchmark::DoNotOptimize(out.Data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kSize);
}

void HexEncode16K_peer(benchmark::State& state) {
  static const char digits[] = "0123456789abcdef";
  for (auto _ : state) {
    std::string out;
    out.reserve(2 * kSize);
    for (unsigned char b : Input()) {
      out.push_back(digits[b >> 4]);
      out.push_back(digits[b & 15]);
    }
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kSize);
}

}  // namespace

BENCHMARK(Append16K_ours)->Name("Append16K/ours");
BENCHMARK(Append16K_peer)->Name("Append16K/peer");
BENCHMARK(Base64Encode16K_ours)->Name("Base64Encode16K/ours");
BENCHMARK(Base64Encode16K_peer)->Name("Base64Encode16K/peer");
BENCHMARK(Base64Decode16K_ours)->Name("Base64Decode16K/ours");
BENCHMARK(Base64Decode16K_peer)->Name("Base64Decode16K/peer");
BENCHMARK(HexEncode16K_ours)->Name("HexEncode16K/ours");
BENCHMARK(HexEncode16K_peer)->Name("HexEncode16K/peer");
