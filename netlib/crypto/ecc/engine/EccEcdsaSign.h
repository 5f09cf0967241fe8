#pragma once
// The secret part of an ECDSA signature, apart from the signing loop: every
// step runs in constant time in the private key and the nonce, and what the
// loop must branch on (a zero r or s, a zero key) comes back as one status.
#include "crypto/ecc/curve/EcCurve.h"
#include "crypto/ecc/engine/EccEngineScalar.h"

namespace tornell {

// Internal: r or s came out zero (probability about 2^-bits); sign again with
// a fresh nonce. Never returned to the engine's callers.
constexpr int kEcdsaRetry = 1;

// r and s (plain limbs) for the private key d (plain, below n), the hash
// scalar e and the nonce k (plain, 1..n-1). Returns 0, kEcdsaRetry, kEcBadCurve
// for a zero key, or the point multiplication's status.
[[nodiscard]] int EccEcdsaSignWith(const EcCurve& curve, const EccScalarField& f, const EccScalarField::Limbs d,
                                   const EccScalarField::Limbs e, const EccScalarField::Limbs k,
                                   EccScalarField::Limbs r, EccScalarField::Limbs s);

}  // namespace tornell
