#pragma once
// Labels a bench row with the processor path its code takes, so the table
// says what each figure measures. Each family lists its fast paths best
// first, with the requirements from cpu::path; a family with none of them
// active runs its portable code.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/cpu/CpuFeatures.h"

namespace benchpath {

struct Choice {
  uint32_t required;
  const char* name;
};

namespace cp = tornell::cpu::path;

inline constexpr Choice kAes[] = {{cp::kAesNi, "aes-ni"}};
inline constexpr Choice kAesCbcDecrypt[] = {{cp::kAesVaes256, "vaes-256"}, {cp::kAesNi, "aes-ni"}};
inline constexpr Choice kAesGcm[] = {{cp::kAesGcmVaes512, "vaes-512"},
                                     {cp::kAesGcmVaes256, "vaes-256"},
                                     {cp::kAesGcmClmul, "aes-ni+clmul"}};
inline constexpr Choice kChaCha20[] = {{cp::kChaCha20Avx512, "chacha20 avx-512"},
                                       {cp::kChaCha20Avx2, "chacha20 avx2"}};
inline constexpr Choice kPoly1305[] = {{cp::kPoly1305Ifma, "poly1305 ifma"}};
inline constexpr Choice kShaNi[] = {{cp::kShaNi, "sha-ni"}};
inline constexpr Choice kSha512[] = {{cp::kSha512Avx2, "sha-512 avx2"}};
inline constexpr Choice kKeccak[] = {{cp::kKeccakAvx2, "keccak avx2"}};
inline constexpr Choice kMontgomery[] = {{cp::kMontgomeryIfma, "ifma"}, {cp::kMulxAdx, "mulx+adx"}};
inline constexpr Choice kMulxAdx[] = {{cp::kMulxAdx, "mulx+adx"}};
inline constexpr Choice kCarryless[] = {{cp::kCarrylessMultiply, "clmul"}};

// The first active choice of the family, or "portable".
template <size_t N>
const char* Pick(const Choice (&family)[N]) {
  for (const Choice& c : family) {
    if (tornell::cpu::Has(c.required)) return c.name;
  }
  return "portable";
}

// Labels the row with one pick per family, joined by " + ".
template <size_t... N>
void Label(benchmark::State& state, const Choice (&... families)[N]) {
  std::string label;
  ((label += (label.empty() ? "" : " + "), label += Pick(families)), ...);
  state.SetLabel(label);
}

// Rows whose code has no processor-specific path.
inline void LabelPortable(benchmark::State& state) { state.SetLabel("portable"); }

}  // namespace benchpath
