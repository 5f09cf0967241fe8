#pragma once
// Poly1305 over eight blocks at a time with AVX-512 IFMA: limbs of 44, 44
// and 42 bits, one block per 64-bit lane, each lane multiplied by r^8 per
// round and by its own power of r at the end. Callers check
// cpu::Has(cpu::path::kPoly1305Ifma) first.
#include <cstddef>
#include <cstdint>

namespace tornell::poly1305ifma {

// Absorbs blocks (a multiple of 8) with the 2^128 bit into h (three 64-bit
// limbs, partially reduced as the scalar code keeps them); r is the clamped key.
void Blocks(uint64_t* h, const uint64_t* r, const uint8_t* data, size_t blocks);

}  // namespace tornell::poly1305ifma
