#pragma once
// Registers one table row per prime curve: "<row>P256/ours", ".../peer", and
// the same for P384 and P521, each benchmark given the curve index 0 to 2.
#include <benchmark/benchmark.h>

#include <string>

inline void RegisterCurveRows(const std::string& row, void (*ours)(benchmark::State&, int),
                              void (*peer)(benchmark::State&, int)) {
  const char* const names[3] = {"P256", "P384", "P521"};
  for (int curve = 0; curve < 3; ++curve) {
    const std::string base = row + names[curve];
    benchmark::RegisterBenchmark((base + "/ours").c_str(), ours, curve);
    benchmark::RegisterBenchmark((base + "/peer").c_str(), peer, curve);
  }
}
