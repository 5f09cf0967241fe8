#pragma once
// Every heap block of the core containers is asked for after this check, so
// tests can make a chosen allocation fail.

namespace tornell {

bool AllocationFaultInjected();

}  // namespace tornell
