// P-256, P-384 and P-521 base and variable-point multiplication, the scalar
// inverse and ECDSA signing with the scalars secret, on every compiled path.
#include "SecretProbe.h"
#include "core/cpu/CpuFeatures.h"
#include "crypto/ecc/nist/NistCurve.h"

using namespace tornell;

namespace {

void Fill(uint8_t* b, int n, int salt) {
  for (int i = 0; i < n; ++i) b[i] = (uint8_t)(i * 37 + salt * 11 + 5);
  b[0] &= 0x7f;  // below n for every curve
}

using probe::Reveal;

int RunCurve(int curve) {
  const int n = NistCurveBytes(curve);
  uint8_t k[66], d[66], e[66], gx[66], gy[66], x[66], y[66], r[66], s[66];
  Fill(k, n, 1);
  Fill(d, n, 2);
  Fill(e, n, 3);
  int failures = 0;
  // A public point to multiply: 3·G, computed before any secret exists.
  uint8_t three[66] = {};
  three[n - 1] = 3;
  if (NistScalarMulBase(curve, three, gx, gy) != kNistOk) ++failures;

  probe::MarkSecret(k, n);
  probe::MarkSecret(d, n);
  int st = NistScalarMulBase(curve, k, x, y);
  Reveal(&st, sizeof st);
  failures += st != kNistOk;
  st = NistScalarMul(curve, k, gx, gy, x, y);
  Reveal(&st, sizeof st);
  failures += st != kNistOk;
  st = NistScalarInverse(curve, k, x);
  st = NistEcdsaSign(curve, d, k, e, r, s);
  Reveal(&st, sizeof st);
  failures += st != kNistOk;
  return failures;
}

int AllCurvesAllPaths() {
  int failures = 0;
  for (uint32_t path : {cpu::path::kMulxAdx, uint32_t{0}}) {
    if ((path & ~cpu::Detected()) != 0) continue;  // the processor lacks it
    cpu::ScopedRestrict only(path);
    for (int curve = 0; curve < 3; ++curve) failures += RunCurve(curve);
  }
  return failures;
}

const probe::Case kCases[] = {{"nist curves, every path", AllCurvesAllPaths}};

}  // namespace

PROBE_MAIN(kCases)
