#pragma once
// Each "ours" row is labelled with the processor path it ran, and the run
// records the processor's features once.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <initializer_list>
#include <string>

#include "core/cpu/CpuFeatures.h"

namespace benchpath {

// One label part per group of alternatives (widest first): the first path
// the processor has, else "portable".
inline void LabelPaths(benchmark::State& state, std::initializer_list<std::initializer_list<uint32_t>> groups) {
  std::string label;
  for (const auto& group : groups) {
    std::string part = "portable";
    for (uint32_t path : group) {
      if (path != 0 && tornell::cpu::Has(path)) {
        part = tornell::cpu::Names(path);
        break;
      }
    }
    label += (label.empty() ? "" : " | ") + part;
  }
  state.SetLabel(label);
}

inline const bool kFeaturesRecorded = [] {
  benchmark::AddCustomContext("processor features", tornell::cpu::Names(tornell::cpu::Detected()));
  return true;
}();

}  // namespace benchpath
