// P-256 base and variable-point multiplication through the field product,
// square and halving written for MULX and ADX, with the scalar secret. memcheck's
// processor hides ADX from the feature check, so the variant is instantiated
// here directly; its results must match the library's.
#include <cstring>
#include <initializer_list>

#include "SecretProbe.h"
#include "crypto/ecc/nist/NistCurve.h"
#include "crypto/ecc/nist/NistCurveImpl.h"
#include "crypto/ecc/nist/NistCurveParams.h"

using namespace tornell;

namespace {

struct AdxTag {
  static constexpr bool kAdx = true;
};
using P256 = nistcurve::Impl<nistcurve::P256Params, AdxTag>;
static_assert(P256::F::kP256Adx);

int BaseAndVariable() {
  uint8_t k[32], gx[32], gy[32], x[32], y[32], wantX[32], wantY[32];
  for (int i = 0; i < 32; ++i) k[i] = uint8_t(i * 37 + 16);
  k[0] &= 0x7f;
  uint8_t three[32] = {};
  three[31] = 3;
  int failures = 0;
  if (NistScalarMulBase(0, three, gx, gy) != kNistOk) ++failures;
  if (NistScalarMul(0, k, gx, gy, wantX, wantY) != kNistOk) ++failures;

  probe::MarkSecret(k, sizeof k);
  int st = P256::Mul(k, gx, gy, x, y);
  probe::Reveal(&st, sizeof st);
  probe::Reveal(x, sizeof x);
  probe::Reveal(y, sizeof y);
  failures += st != kNistOk || std::memcmp(x, wantX, 32) != 0 || std::memcmp(y, wantY, 32) != 0;
  st = P256::MulBase(k, x, y);
  probe::Reveal(&st, sizeof st);
  failures += st != kNistOk;
  return failures;
}

// The halving on its own, odd and even secret values: the mask that adds p
// must not turn into a branch.
int Halving() {
  int failures = 0;
  for (uint64_t low : {uint64_t{0x1234567}, uint64_t{0x1234568}}) {
    P256::Fe a{{low, 0x89abcdefULL, 0x13579bdfULL, 0x2468ace0ULL}}, half, twice;
    probe::MarkSecret(&a, sizeof a);
    P256::F::Half(half, a);
    P256::F::Add(twice, half, half);
    uint64_t same = P256::F::Equal(twice, a);
    probe::Reveal(&same, sizeof same);
    failures += same != ~0ULL;
  }
  return failures;
}

const probe::Case kCases[] = {{"p-256 with the mulx field", BaseAndVariable}, {"p-256 mulx halving", Halving}};

}  // namespace

PROBE_MAIN(kCases)
