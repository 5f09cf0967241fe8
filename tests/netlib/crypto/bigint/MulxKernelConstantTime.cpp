// The MULX/ADCX/ADOX row kernels on secret operands. memcheck's processor
// hides ADX from the feature check, so the kernels are called directly; each
// result is compared with the portable row once revealed.
#include <vector>

#include "SecretProbe.h"
#include "core/cpu/CpuFeatures.h"
#include "crypto/bigint/LimbMath.h"
#include "crypto/bigint/MulAddRowAdx.h"

using namespace tornell;
using limb::Limb;

namespace {

std::vector<Limb> Operand(size_t n, Limb seed) {
  std::vector<Limb> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = (seed + i) * 0x9E3779B97F4A7C15ULL ^ (Limb(i) << 61);
  return v;
}

// One row of length N (fixed and looped kernels) against the portable row.
template <size_t N>
int Row() {
  std::vector<Limb> a = Operand(N, 3), r1 = Operand(N, 11), r2 = r1, want = r1;
  Limb w = 0xFEDCBA9876543211ULL;
  const Limb wantCarry = limb::MulAddWord(want.data(), a.data(), N, w);
  probe::MarkSecret(a.data(), N * sizeof(Limb));
  probe::MarkSecret(r1.data(), N * sizeof(Limb));
  probe::MarkSecret(r2.data(), N * sizeof(Limb));
  probe::MarkSecret(&w, sizeof w);
  Limb c1 = limb::MulAddRowAdxFixed<N>(r1.data(), a.data(), w);
  Limb c2 = limb::MulAddRowAdx(r2.data(), a.data(), N, w);
  probe::Reveal(&c1, sizeof c1);
  probe::Reveal(&c2, sizeof c2);
  probe::Reveal(r1.data(), N * sizeof(Limb));
  probe::Reveal(r2.data(), N * sizeof(Limb));
  return c1 == wantCarry && c2 == wantCarry && r1 == want && r2 == want ? 0 : 1;
}

// A reduction eight rows at a time against the portable rows, modulus,
// input and -1/m all secret (as for the primes of an RSA key).
template <size_t K>
int ReduceWindow() {
  std::vector<Limb> m = Operand(K, 7), t = Operand(2 * K, 13), want = t;
  m[0] |= 1;
  Limb n0 = Limb(0) - limb::InverseLimb(m[0]);
  Limb wantTop = 0;
  for (size_t i = 0; i < K; ++i) {
    const Limb c = limb::MulAddWord(want.data() + i, m.data(), K, want[i] * n0);
    const limb::DLimb s = limb::DLimb(want[i + K]) + c + wantTop;
    want[i + K] = limb::Lo(s);
    wantTop = limb::Hi(s);
  }
  probe::MarkSecret(m.data(), K * sizeof(Limb));
  probe::MarkSecret(t.data(), 2 * K * sizeof(Limb));
  probe::MarkSecret(&n0, sizeof n0);
  Limb top = limb::ReduceWindowAdx<K>(t.data(), m.data(), n0);
  probe::Reveal(&top, sizeof top);
  probe::Reveal(t.data(), 2 * K * sizeof(Limb));
  bool ok = top == wantTop;
  for (size_t i = K; i < 2 * K; ++i) ok = ok && t[i] == want[i];
  return ok ? 0 : 1;
}

// The doubling and diagonal step of a square against the portable square.
int Squares() {
  constexpr size_t n = 16;
  std::vector<Limb> a = Operand(n, 5), r(2 * n, 0), want(2 * n);
  {
    cpu::ScopedRestrict portable(0);
    limb::Square(want.data(), a.data(), n);
  }
  for (size_t i = 0; i + 1 < n; ++i) r[n + i] = limb::MulAddWord(r.data() + 2 * i + 1, a.data() + i + 1, n - i - 1, a[i]);
  std::vector<Limb> fixed = r;
  probe::MarkSecret(a.data(), n * sizeof(Limb));
  probe::MarkSecret(r.data(), r.size() * sizeof(Limb));
  probe::MarkSecret(fixed.data(), fixed.size() * sizeof(Limb));
  limb::DoubleAddSquaresAdx(r.data(), a.data(), n);
  limb::DoubleAddSquaresAdxFixed<n>(fixed.data(), a.data());
  probe::Reveal(r.data(), r.size() * sizeof(Limb));
  probe::Reveal(fixed.data(), fixed.size() * sizeof(Limb));
  return r == want && fixed == want ? 0 : 1;
}

int Rows() { return Row<1>() | Row<7>() | Row<8>() | Row<16>() | Row<31>() | Row<32>(); }
int ReduceWindows() { return ReduceWindow<8>() | ReduceWindow<16>() | ReduceWindow<32>(); }

const probe::Case kCases[] = {
    {"mulx rows", Rows}, {"mulx reduction window", ReduceWindows}, {"mulx square diagonal", Squares}};

}  // namespace

PROBE_MAIN(kCases)
