#pragma once
// Run-time choice between the processor's fast paths (SHA instructions for
// SHA-1 and SHA-256, AVX2 and BMI2 for SHA-512 and Keccak) and the portable
// code. Both give identical results.
#include <cstddef>
#include <cstdint>

namespace tornell {

// Allows or forbids the fast paths process-wide, so that tests run the
// portable code on machines that have them. Allowed by default.
void SetDigestFastPathsAllowed(bool allowed);

namespace digestcpu {

bool ShaNiActive();     // SHA, SSSE3 and SSE4.1 instructions
bool Avx2Bmi2Active();  // AVX2, BMI1 and BMI2

// The SHA-instruction compression functions; call only when ShaNiActive().
void Sha1CompressShaNi(uint32_t state[5], const unsigned char* data, size_t blocks);
void Sha256CompressShaNi(uint32_t state[8], const unsigned char* data, size_t blocks);

}  // namespace digestcpu
}  // namespace tornell
