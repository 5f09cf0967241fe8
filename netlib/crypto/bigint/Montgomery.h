#pragma once
// Montgomery arithmetic modulo an odd number of k 64-bit limbs, R = 2^(64k).
// All buffers are sized once by the context; the multiply, square and
// exponentiation loops run on them without allocating.
#include <cstddef>
#include <vector>

#include "crypto/bigint/LimbMath.h"

namespace tornell {

struct Montgomery {
  std::vector<limb::Limb> mod;      // k limbs, odd, top limb non-zero
  std::vector<limb::Limb> rr;       // R^2 mod m
  std::vector<limb::Limb> rrr;      // R^3 mod m
  std::vector<limb::Limb> scratch;  // 2k + 1 limbs for products
  size_t k = 0;
  limb::Limb n0 = 0;  // -m^-1 mod 2^64
};

// Sets up the context for the odd modulus m >= 3 (k limbs, top non-zero).
// Runs in time that depends only on the size of m.
void MontgomeryInit(Montgomery& ctx, const limb::Limb* m, size_t k);

// r = a * b / R mod m for a, b < m; r may alias a or b. Runs in time that
// depends only on k (the final subtraction is a masked select).
void MontgomeryMul(const Montgomery& ctx, limb::Limb* r, const limb::Limb* a, const limb::Limb* b,
                   limb::Limb* scratch);
void MontgomerySquare(const Montgomery& ctx, limb::Limb* r, const limb::Limb* a, limb::Limb* scratch);

// r = c mod m for c of at most 2k limbs, in time that depends only on the
// sizes (no division, whose steps would follow the secret modulus).
void MontgomeryReduceInput(const Montgomery& ctx, limb::Limb* r, const limb::Limb* c, size_t cn, limb::Limb* scratch);

// r = c mod m for c of any cn limbs, folding k limbs at a time from the top
// through MontgomeryReduceInput: the time depends on cn and k only.
void MontgomeryReduceWide(const Montgomery& ctx, limb::Limb* r, const limb::Limb* c, size_t cn);

// r = base^exp mod m (base < m, k limbs; exp of en limbs). The secret path
// uses a fixed window and reads its table by a full masked scan; the window,
// the table and the count of steps follow en, the exponent's public width,
// never its value (callers pass secret exponents at a fixed width).
// `bits` (public, at most 64 en) narrows the walk where the caller knows
// the exponent's width more closely than its limb count; 0 means 64 en.
void MontgomeryPowSecret(Montgomery& ctx, limb::Limb* r, const limb::Limb* base, const limb::Limb* exp,
                         size_t en, size_t bits = 0);

// Bits [pos, pos + w) of exp, reading limbs at public positions only.
limb::Limb MontgomeryWindow(const limb::Limb* exp, size_t en, size_t pos, int w);
// The count of exponent bits a secret exponentiation walks: the full width.
inline size_t MontgomeryExponentBits(const limb::Limb*, size_t en) { return 64 * en; }
// The window width for that many bits.
inline int MontgomeryWindowBits(size_t bits) { return bits > 512 ? 5 : bits > 128 ? 4 : bits > 32 ? 3 : 1; }

// r = base^exp mod m for a public exponent (square and multiply).
void MontgomeryPowPublic(Montgomery& ctx, limb::Limb* r, const limb::Limb* base, const limb::Limb* exp,
                         size_t en);

}  // namespace tornell
