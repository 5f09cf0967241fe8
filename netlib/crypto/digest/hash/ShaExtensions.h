#pragma once
// SHA-1 and SHA-256 compression on the processor's SHA instructions; call
// only when cpu::Has(cpu::path::kShaNi). Results equal the portable code's.
#include <cstddef>
#include <cstdint>

namespace tornell::digestcpu {

void Sha1CompressShaNi(uint32_t state[5], const unsigned char* data, size_t blocks);
void Sha256CompressShaNi(uint32_t state[8], const unsigned char* data, size_t blocks);

}  // namespace tornell::digestcpu
