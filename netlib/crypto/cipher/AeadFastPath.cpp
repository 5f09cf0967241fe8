#include "crypto/cipher/AeadFastPath.h"

namespace tornell::aeadfast {

namespace {
bool g_allowed = true;
}

bool UseAvx2() { return g_allowed && __builtin_cpu_supports("avx2"); }
bool UseAvx512() { return g_allowed && __builtin_cpu_supports("avx512f"); }
bool UseClmul() { return g_allowed && __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1"); }
bool UseAesNi() { return g_allowed && __builtin_cpu_supports("aes") && __builtin_cpu_supports("sse4.1"); }
void SetAllowed(bool allowed) { g_allowed = allowed; }

}  // namespace tornell::aeadfast
