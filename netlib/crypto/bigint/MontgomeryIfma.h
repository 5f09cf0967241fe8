#pragma once
// Two modular exponentiations at once, for the two halves of an RSA private
// operation, in 52-bit digits with the AVX-512 IFMA instructions. Running
// the halves side by side lets each hide the other's latency.
#include <cstddef>

#include "crypto/bigint/Montgomery.h"

namespace tornell {

// Both run only where cpu::path::kMontgomeryIfma is active (tests and the
// bench choose the path with cpu::ScopedRestrict).

// r1 = b1^e1 mod m1 and r2 = b2^e2 mod m2 (bases below their moduli, k limbs
// each; results k limbs) with the fixed-window ladder and table scans of
// MontgomeryPowSecret. False, with nothing written, when IFMA is off or the
// sizes do not suit; the caller then takes the 64-bit path.
bool MontgomeryPowSecretPair(Montgomery& c1, limb::Limb* r1, const limb::Limb* b1, const limb::Limb* e1, size_t en1,
                             Montgomery& c2, limb::Limb* r2, const limb::Limb* b2, const limb::Limb* e2, size_t en2);

// r = b^e mod m (b below m, k limbs) for a public exponent: square and
// multiply on its bits. False, with nothing written, when IFMA is off or
// the size does not suit.
bool MontgomeryPowPublicIfma(Montgomery& c, limb::Limb* r, const limb::Limb* b, const limb::Limb* e, size_t en);

}  // namespace tornell
