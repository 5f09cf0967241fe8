#include "crypto/cipher/aead/AeadFastPath.h"

namespace tornell::aeadfast {

namespace {
int g_level = kWide;
}

bool UseAvx2() { return g_level >= kVector && __builtin_cpu_supports("avx2"); }
bool UseAvx512() { return g_level >= kWide && __builtin_cpu_supports("avx512f"); }
bool UseClmul() { return g_level >= kVector && __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1"); }
bool UseAesNi() { return g_level >= kVector && __builtin_cpu_supports("aes") && __builtin_cpu_supports("sse4.1"); }
bool UseVaesClmul() {
  return g_level >= kWide && UseAesNi() && UseClmul() && __builtin_cpu_supports("avx512f") &&
         __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("vaes") &&
         __builtin_cpu_supports("vpclmulqdq");
}
bool UseIfma() {
  return g_level >= kWide && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512ifma");
}
void SetLevel(int level) { g_level = level; }

}  // namespace tornell::aeadfast
