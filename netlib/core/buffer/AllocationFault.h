#pragma once
// Lets tests make a chosen heap allocation of the core containers fail, so the
// out-of-memory paths (status 200, content kept) can be exercised for real.
#include "core/buffer/Allocation.h"

namespace tornell {

// 0: off. n > 0: the n-th allocation from now fails (1 = the next one).
extern int g_allocationFaultCountdown;

}  // namespace tornell
