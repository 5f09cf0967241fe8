#include "core/cpu/CpuFeatures.h"

namespace tornell::cpu {

namespace {

struct Name {
  uint32_t bit;
  const char* text;
};

constexpr Name kNames[] = {
    {kSsse3, "ssse3"},   {kSse41, "sse4.1"},       {kPclmul, "pclmul"},         {kAesNi, "aes"},
    {kAvx, "avx"},       {kAvx2, "avx2"},          {kBmi1, "bmi"},              {kBmi2, "bmi2"},
    {kAdx, "adx"},       {kSha, "sha"},            {kAvx512F, "avx512f"},       {kAvx512Vl, "avx512vl"},
    {kAvx512Bw, "avx512bw"}, {kAvx512Ifma, "avx512ifma"}, {kVaes, "vaes"}, {kVpclmul, "vpclmulqdq"},
};

uint32_t Detect() {
  uint32_t word = 0;
#if defined(__x86_64__)
  // libgcc's table also checks that the operating system saves the AVX and
  // AVX-512 registers, so a set bit is usable as it is.
  __builtin_cpu_init();
  auto add = [&word](bool present, uint32_t bit) {
    if (present) word |= bit;
  };
  add(__builtin_cpu_supports("ssse3"), kSsse3);
  add(__builtin_cpu_supports("sse4.1"), kSse41);
  add(__builtin_cpu_supports("pclmul"), kPclmul);
  add(__builtin_cpu_supports("aes"), kAesNi);
  add(__builtin_cpu_supports("avx"), kAvx);
  add(__builtin_cpu_supports("avx2"), kAvx2);
  add(__builtin_cpu_supports("bmi"), kBmi1);
  add(__builtin_cpu_supports("bmi2"), kBmi2);
  add(__builtin_cpu_supports("adx"), kAdx);
  add(__builtin_cpu_supports("sha"), kSha);
  add(__builtin_cpu_supports("avx512f"), kAvx512F);
  add(__builtin_cpu_supports("avx512vl"), kAvx512Vl);
  add(__builtin_cpu_supports("avx512bw"), kAvx512Bw);
  add(__builtin_cpu_supports("avx512ifma"), kAvx512Ifma);
  add(__builtin_cpu_supports("vaes"), kVaes);
  add(__builtin_cpu_supports("vpclmulqdq"), kVpclmul);
#endif
  return word;
}

uint32_t g_allowed = ~0u;

}  // namespace

uint32_t Detected() {
  static const uint32_t word = Detect();
  return word;
}

uint32_t Active() { return Detected() & g_allowed; }

void Restrict(uint32_t allowed) { g_allowed = allowed; }

std::string Names(uint32_t features) {
  std::string out;
  for (const Name& name : kNames) {
    if ((features & name.bit) == 0) continue;
    if (!out.empty()) out += ' ';
    out += name.text;
  }
  return out;
}

ScopedRestrict::ScopedRestrict(uint32_t allowed) : previous_(g_allowed) { g_allowed = allowed; }

ScopedRestrict::~ScopedRestrict() { g_allowed = previous_; }

}  // namespace tornell::cpu
