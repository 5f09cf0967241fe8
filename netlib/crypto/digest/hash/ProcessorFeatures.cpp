#include "crypto/digest/hash/ProcessorFeatures.h"

namespace tornell {

namespace {

bool g_fastPathsAllowed = true;

struct Features {
  bool shaNi = false;
  bool avx2Bmi2 = false;
};

Features Detect() {
  Features f;
#if defined(__x86_64__) || defined(__i386__)
  __builtin_cpu_init();
  f.shaNi = __builtin_cpu_supports("sha") && __builtin_cpu_supports("ssse3") &&
            __builtin_cpu_supports("sse4.1");
  f.avx2Bmi2 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") &&
               __builtin_cpu_supports("bmi2");
#endif
  return f;
}

const Features& Present() {
  static const Features features = Detect();
  return features;
}

}  // namespace

void SetDigestFastPathsAllowed(bool allowed) { g_fastPathsAllowed = allowed; }

namespace digestcpu {

bool ShaNiActive() { return g_fastPathsAllowed && Present().shaNi; }
bool Avx2Bmi2Active() { return g_fastPathsAllowed && Present().avx2Bmi2; }

}  // namespace digestcpu
}  // namespace tornell
