#pragma once
// Run-time choice between the processor's SHA instructions and the portable
// compression functions. Both give identical results.
#include <cstddef>
#include <cstdint>

namespace tornell {

// True when the processor has the SHA extensions and they are allowed.
bool ShaExtensionsActive();
// Allows or forbids the SHA instructions process-wide (tests run the portable
// code on machines that have them). Allowed by default.
void SetShaExtensionsAllowed(bool allowed);

// The instruction-based compression functions; call only when active.
void Sha1CompressShaNi(uint32_t state[5], const unsigned char* data, size_t blocks);
void Sha256CompressShaNi(uint32_t state[8], const unsigned char* data, size_t blocks);

}  // namespace tornell
