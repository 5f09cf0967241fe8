#include "core/text/InlineString.h"

#include <string.h>

#include "core/buffer/AllocationFault.h"
#include "core/secure/SecureWipe.h"

namespace tornell {

int g_zeroMemory = 0;
int g_allocationFaultCountdown = 0;

bool AllocationFaultInjected() {
  return g_allocationFaultCountdown > 0 && --g_allocationFaultCountdown == 0;
}

namespace detail {

void WipeBytes(void* data, size_t length) { SecureWipe(data, length); }

}  // namespace detail

// The instances the library uses, compiled once here.
template class InlineString<20>;
template class InlineString<30>;
template class InlineString<50>;
template class InlineString<99>;
template class InlineString<1024>;
template class InlineString<16384>;

}  // namespace tornell
