#pragma once
// Dedicated arithmetic for the prime curves P-256, P-384 and P-521 (engine curve
// indices 0, 1, 2). Every value crosses this interface as a big-endian byte
// string of exactly NistCurveBytes(curve) bytes (32, 48, 66): coordinates,
// scalars, hashes and signature halves alike. Operations on secrets (private
// scalars, nonces) run in constant time; the verification helpers, whose
// inputs are public, do not. The MULX/ADX code runs where the processor has
// it (cpu::path::kMulxAdx), the portable code elsewhere.
#include <cstddef>
#include <cstdint>

namespace tornell {

enum NistStatus {
  kNistOk = 0,
  kNistInfinity = 1,    // the result is the point at infinity (outputs zeroed)
  kNistBadPoint = 2,    // a coordinate is not below p or the point is off the curve
  kNistBadCurve = 3,    // no dedicated arithmetic for this curve index
  kNistRetry = 4,       // ECDSA: r or s came out zero, draw another nonce
};

// Field and scalar length in bytes, -1 for any index but 0 to 2.
[[nodiscard]] int NistCurveBytes(int curve);

// out = k·G. k is any value of the given length (not reduced mod n).
[[nodiscard]] int NistScalarMulBase(int curve, const uint8_t* k, uint8_t* outX, uint8_t* outY);

// out = k·P for a point P that is checked to be on the curve.
[[nodiscard]] int NistScalarMul(int curve, const uint8_t* k, const uint8_t* px, const uint8_t* py, uint8_t* outX,
                                uint8_t* outY);

// out = u1·G + u2·P, variable time (public scalars only).
[[nodiscard]] int NistDoubleScalarMulVartime(int curve, const uint8_t* u1, const uint8_t* u2, const uint8_t* px,
                                             const uint8_t* py, uint8_t* outX, uint8_t* outY);

// *match = 1 when u1·G + u2·P is finite and its x mod n equals r (below n):
// the verification's last step, with no inversion. Variable time.
[[nodiscard]] int NistDoubleScalarMulMatchesX(int curve, const uint8_t* u1, const uint8_t* u2, const uint8_t* px,
                                              const uint8_t* py, const uint8_t* r, int* match);

// out = k^-1 mod n (zero for k ≡ 0), constant time.
[[nodiscard]] int NistScalarInverse(int curve, const uint8_t* k, uint8_t* out);
// The same for a public k, in variable time (a fraction of the cost).
[[nodiscard]] int NistScalarInverseVartime(int curve, const uint8_t* k, uint8_t* out);

// 1 when (x, y) has both coordinates below p and satisfies the curve equation.
[[nodiscard]] int NistIsOnCurve(int curve, const uint8_t* x, const uint8_t* y);

// Decodes 04‖X‖Y or 02/03‖X into affine coordinates checked on the curve.
[[nodiscard]] int NistDecodePoint(int curve, const uint8_t* in, size_t length, uint8_t* outX, uint8_t* outY);

// ECDSA core: r = (k·G).x mod n, s = k^-1·(e + d·r) mod n. d and k below n, e
// already cut to the bit length of n. kNistRetry when r or s is zero.
[[nodiscard]] int NistEcdsaSign(int curve, const uint8_t* d, const uint8_t* k, const uint8_t* e, uint8_t* r,
                                uint8_t* s);

// ECDSA check of (r, s) over e with the public point Q; *valid is 1 or 0.
[[nodiscard]] int NistEcdsaVerify(int curve, const uint8_t* qx, const uint8_t* qy, const uint8_t* e, const uint8_t* r,
                                  const uint8_t* s, int* valid);

}  // namespace tornell
