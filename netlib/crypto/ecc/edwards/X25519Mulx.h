#pragma once
// X25519's Montgomery ladder in radix 2^64 with MULX, ADCX and ADOX: four
// limbs an element, kept below 2^256 and reduced mod 2^255 - 19 only at the
// end. Callers run it only where cpu::path::kMulxAdx is active.
#include <cstdint>

namespace tornell {

// The ladder over the 255 bits of the clamped scalar k (32 bytes, little
// endian) from the point u (32 bytes; bit 255 ignored): the projective x2 and
// z2 of k u, each written as 32 canonical little-endian bytes.
void X25519LadderMulx(const unsigned char* k, const unsigned char* u, unsigned char* x2, unsigned char* z2);

}  // namespace tornell
