// Entry points: pick the compiled variant once, then the curve.
#include "crypto/ecc/nist/NistCurve.h"

#include "core/cpu/CpuFeatures.h"
#include "crypto/ecc/nist/NistCurveOps.h"

namespace tornell {
namespace {

constexpr int kCurveBytes[3] = {32, 48, 66};

const NistCurveOps* OpsFor(int curve) {
  if (curve < 0 || curve > 2) return nullptr;
  if (cpu::Has(cpu::path::kMulxAdx)) return &NistMulxOps(curve);
  return &NistPortableOps(curve);
}

}  // namespace

int NistCurveBytes(int curve) { return curve >= 0 && curve <= 2 ? kCurveBytes[curve] : -1; }

int NistScalarMulBase(int curve, const uint8_t* k, uint8_t* outX, uint8_t* outY) {
  const NistCurveOps* ops = OpsFor(curve);
  return ops ? ops->mulBase(k, outX, outY) : kNistBadCurve;
}

int NistScalarMul(int curve, const uint8_t* k, const uint8_t* px, const uint8_t* py, uint8_t* outX,
                  uint8_t* outY) {
  const NistCurveOps* ops = OpsFor(curve);
  return ops ? ops->mul(k, px, py, outX, outY) : kNistBadCurve;
}

int NistDoubleScalarMulVartime(int curve, const uint8_t* u1, const uint8_t* u2, const uint8_t* px,
                               const uint8_t* py, uint8_t* outX, uint8_t* outY) {
  const NistCurveOps* ops = OpsFor(curve);
  return ops ? ops->doubleMul(u1, u2, px, py, outX, outY) : kNistBadCurve;
}

int NistDoubleScalarMulMatchesX(int curve, const uint8_t* u1, const uint8_t* u2, const uint8_t* px,
                                const uint8_t* py, const uint8_t* r, int* match) {
  *match = 0;
  const NistCurveOps* ops = OpsFor(curve);
  return ops ? ops->doubleMulMatchesX(u1, u2, px, py, r, match) : kNistBadCurve;
}

int NistScalarInverse(int curve, const uint8_t* k, uint8_t* out) {
  const NistCurveOps* ops = OpsFor(curve);
  return ops ? ops->scalarInverse(k, out) : kNistBadCurve;
}

int NistScalarInverseVartime(int curve, const uint8_t* k, uint8_t* out) {
  const NistCurveOps* ops = OpsFor(curve);
  return ops ? ops->scalarInverseVartime(k, out) : kNistBadCurve;
}

int NistIsOnCurve(int curve, const uint8_t* x, const uint8_t* y) {
  const NistCurveOps* ops = OpsFor(curve);
  return ops ? ops->isOnCurve(x, y) : 0;
}

int NistDecodePoint(int curve, const uint8_t* in, size_t length, uint8_t* outX, uint8_t* outY) {
  const NistCurveOps* ops = OpsFor(curve);
  if (!ops) return kNistBadCurve;
  return length == 0 ? kNistBadPoint : ops->decodePoint(in, length, outX, outY);
}

int NistEcdsaSign(int curve, const uint8_t* d, const uint8_t* k, const uint8_t* e, uint8_t* r, uint8_t* s) {
  const NistCurveOps* ops = OpsFor(curve);
  return ops ? ops->ecdsaSign(d, k, e, r, s) : kNistBadCurve;
}

int NistEcdsaVerify(int curve, const uint8_t* qx, const uint8_t* qy, const uint8_t* e, const uint8_t* r,
                    const uint8_t* s, int* valid) {
  *valid = 0;
  const NistCurveOps* ops = OpsFor(curve);
  return ops ? ops->ecdsaVerify(qx, qy, e, r, s, valid) : kNistBadCurve;
}

}  // namespace tornell
