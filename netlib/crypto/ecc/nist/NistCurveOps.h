#pragma once
// The operation table one compiled variant of the curve code fills per curve.
#include <cstddef>
#include <cstdint>

namespace tornell {

struct NistCurveOps {
  int (*mulBase)(const uint8_t* k, uint8_t* outX, uint8_t* outY);
  int (*mul)(const uint8_t* k, const uint8_t* px, const uint8_t* py, uint8_t* outX, uint8_t* outY);
  int (*doubleMul)(const uint8_t* u1, const uint8_t* u2, const uint8_t* px, const uint8_t* py, uint8_t* outX,
                   uint8_t* outY);
  int (*doubleMulMatchesX)(const uint8_t* u1, const uint8_t* u2, const uint8_t* px, const uint8_t* py,
                           const uint8_t* r, int* match);
  int (*scalarInverse)(const uint8_t* k, uint8_t* out);
  int (*scalarInverseVartime)(const uint8_t* k, uint8_t* out);
  int (*isOnCurve)(const uint8_t* x, const uint8_t* y);
  int (*decodePoint)(const uint8_t* in, size_t length, uint8_t* outX, uint8_t* outY);
  int (*ecdsaSign)(const uint8_t* d, const uint8_t* k, const uint8_t* e, uint8_t* r, uint8_t* s);
  int (*ecdsaVerify)(const uint8_t* qx, const uint8_t* qy, const uint8_t* e, const uint8_t* r, const uint8_t* s,
                     int* valid);
};

// Portable variant, and the variant built for MULX/ADX (callable only where the
// processor has them). Index 0 to 2.
const NistCurveOps& NistPortableOps(int curve);
const NistCurveOps& NistMulxOps(int curve);

}  // namespace tornell
