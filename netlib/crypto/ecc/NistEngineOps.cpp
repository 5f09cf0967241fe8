// Adapters from the engine's point-operation table to the prime-curve code:
// the scalar is fitted to the curve's width, results and statuses translated.
#include "crypto/ecc/NistEngineOps.h"

#include <cstring>

#include "crypto/ecc/EcStatus.h"
#include "crypto/ecc/NistCurve.h"

namespace tornell {
namespace {

// The scalar as exactly the curve's width; false for a wider value. Only the
// public length decides, never the scalar's bytes themselves.
bool FitScalar(const unsigned char* k, int length, int width, unsigned char* out) {
  if (length < 0) return false;
  unsigned excess = 0;
  for (int i = 0; i < length - width; ++i) excess |= k[i];
  if (length > width) {
    if (excess != 0) return false;
    std::memcpy(out, k + (length - width), (size_t)width);
    return true;
  }
  std::memset(out, 0, (size_t)(width - length));
  std::memcpy(out + (width - length), k, (size_t)length);
  return true;
}

int Translate(int status, int& infinity) {
  infinity = status == kNistInfinity ? 1 : 0;
  if (status == kNistOk || status == kNistInfinity) return 0;
  return status == kNistBadPoint ? kEcBadPoint : kEcBadCurve;
}

template <int Curve>
int MultiplyBase(const EcCurve&, const unsigned char* k, int kLength, unsigned char* x, unsigned char* y,
                 int& infinity) {
  unsigned char scalar[66];
  infinity = 0;
  if (!FitScalar(k, kLength, NistCurveBytes(Curve), scalar)) return kEcBadCurve;
  const int status = NistScalarMulBase(Curve, scalar, x, y);
  std::memset(scalar, 0, sizeof scalar);
  return Translate(status, infinity);
}

template <int Curve>
int MultiplyPoint(const EcCurve&, const unsigned char* px, const unsigned char* py, const unsigned char* k,
                  int kLength, unsigned char* x, unsigned char* y, int& infinity) {
  unsigned char scalar[66];
  infinity = 0;
  if (!FitScalar(k, kLength, NistCurveBytes(Curve), scalar)) return kEcBadCurve;
  const int status = NistScalarMul(Curve, scalar, px, py, x, y);
  std::memset(scalar, 0, sizeof scalar);
  return Translate(status, infinity);
}

template <int Curve>
int MultiplyTwo(const EcCurve&, const unsigned char* u1, const unsigned char* u2, int uLength,
                const unsigned char* qx, const unsigned char* qy, unsigned char* x, unsigned char* y,
                int& infinity) {
  unsigned char a[66], b[66];
  infinity = 0;
  const int width = NistCurveBytes(Curve);
  if (!FitScalar(u1, uLength, width, a) || !FitScalar(u2, uLength, width, b)) return kEcBadCurve;
  return Translate(NistDoubleScalarMulVartime(Curve, a, b, qx, qy, x, y), infinity);
}

template <int Curve>
constexpr EccPointOps kOps = {MultiplyBase<Curve>, MultiplyPoint<Curve>, MultiplyTwo<Curve>};

}  // namespace

const EccPointOps* NistEnginePointOps(int curveIndex) {
  switch (curveIndex) {
    case 0:
      return &kOps<0>;
    case 1:
      return &kOps<1>;
    case 2:
      return &kOps<2>;
    default:
      return nullptr;
  }
}

}  // namespace tornell
