#pragma once
// Lets tests make a chosen heap allocation of the core containers fail, so the
// out-of-memory paths (status 200, content kept) can be exercised for real.

namespace tornell {

// 0: off. n > 0: the n-th allocation from now fails (1 = the next one).
extern int g_allocationFaultCountdown;

inline bool AllocationFaultInjected() {
  return g_allocationFaultCountdown > 0 && --g_allocationFaultCountdown == 0;
}

}  // namespace tornell
