// Run under valgrind's memcheck with the secret inputs marked undefined: any
// branch or memory index that depends on them is reported as a use of an
// uninitialised value, and --error-exitcode turns that into a failure.
#include <valgrind/memcheck.h>

#include <cstdio>
#include <cstring>

#include "crypto/ecc/nist/NistCurve.h"

using namespace tornell;

namespace {

void Fill(uint8_t* b, int n, int salt) {
  for (int i = 0; i < n; ++i) b[i] = (uint8_t)(i * 37 + salt * 11 + 5);
  b[0] &= 0x7f;  // below n for every curve
}

// Outputs may be read once the secret is no longer inside them.
void Reveal(void* p, size_t n) { VALGRIND_MAKE_MEM_DEFINED(p, n); }

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

  VALGRIND_MAKE_MEM_UNDEFINED(k, n);
  VALGRIND_MAKE_MEM_UNDEFINED(d, n);
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

}  // namespace

int main() {
  if (!RUNNING_ON_VALGRIND) std::fprintf(stderr, "note: not running under valgrind\n");
  int failures = 0;
  for (int path = 0; path < 2; ++path) {
    if (path == 0 && !NistHasFastPath()) continue;
    NistSetPath(path);
    for (int curve = 0; curve < 3; ++curve) failures += RunCurve(curve);
  }
  std::printf("%s\n", failures == 0 ? "ok" : "unexpected status");
  return failures == 0 ? 0 : 1;
}
