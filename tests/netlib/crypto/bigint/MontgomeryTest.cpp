// The division-free reduction and the two ladders against plain long
// division, on moduli whose top limb is tiny as well as full, both kernels.
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "ProcessorPath.h"

#include "crypto/bigint/LimbMath.h"
#include "crypto/bigint/Montgomery.h"

namespace tornell {
namespace {

using limb::Limb;

std::vector<Limb> Rem(const std::vector<Limb>& c, const std::vector<Limb>& m) {
  size_t cn = limb::Trim(c.data(), c.size());
  std::vector<Limb> r(m.size(), 0);
  if (cn < m.size()) {
    std::copy(c.begin(), c.begin() + std::ptrdiff_t(cn), r.begin());
    if (limb::Compare(r.data(), m.data(), m.size()) < 0) return r;
    cn = m.size();
  }
  std::vector<Limb> q(cn - m.size() + 1);
  limb::DivRem(q.data(), r.data(), c.data(), cn, m.data(), m.size());
  return r;
}

std::vector<Limb> MulMod(const std::vector<Limb>& a, const std::vector<Limb>& b, const std::vector<Limb>& m) {
  std::vector<Limb> p(a.size() + b.size());
  limb::Mul(p.data(), a.data(), a.size(), b.data(), b.size());
  return Rem(p, m);
}

void CheckModuli() {
  std::mt19937_64 g(7);
  for (size_t k : {1, 2, 3, 5, 8, 16, 31, 32}) {
    for (Limb top : {Limb(1), Limb(3), Limb(0x8000000000000001ULL), ~Limb(0)}) {
      std::vector<Limb> m(k);
      for (auto& x : m) x = g();
      m[0] |= 1;
      m[k - 1] = top;
      if (k == 1 && top == 1) m[0] = 3;
      Montgomery ctx;
      MontgomeryInit(ctx, m.data(), k);
      for (int round = 0; round < 4; ++round) {
        std::vector<Limb> c(2 * k, ~Limb(0));
        if (round > 0)
          for (auto& x : c) x = g();
        std::vector<Limb> r(k);
        MontgomeryReduceInput(ctx, r.data(), c.data(), c.size(), ctx.scratch.data());
        ASSERT_EQ(r, Rem(c, m)) << "k " << k << " top " << top << " round " << round;

        std::vector<Limb> base = Rem(c, m), e(2);
        e[0] = round == 2 ? 0 : g();  // round 2: e = 0 with 1 as the answer
        e[1] = round >= 2 ? 0 : g();
        std::vector<Limb> want(k, 0);
        want[0] = 1;
        want = Rem(want, m);
        for (int bit = 127; bit >= 0; --bit) {
          want = MulMod(want, want, m);
          if ((e[size_t(bit) / 64] >> (bit % 64)) & 1) want = MulMod(want, base, m);
        }
        std::vector<Limb> secret(k), open(k);
        MontgomeryPowSecret(ctx, secret.data(), base.data(), e.data(), e.size());
        MontgomeryPowPublic(ctx, open.data(), base.data(), e.data(), e.size());
        ASSERT_EQ(secret, want) << "k " << k << " top " << top;
        ASSERT_EQ(open, want) << "k " << k << " top " << top;
      }
    }
  }
}

TEST(Montgomery, PortableKernel) {
  USE_PROCESSOR_PATH_OR_SKIP(testsupport::kPortablePath);
  CheckModuli();
}

TEST(Montgomery, CarrylessKernel) {
  USE_PROCESSOR_PATH_OR_SKIP(cpu::path::kMulxAdx);
  CheckModuli();
}

TEST(Montgomery, CarrylessKernelWideTableScan) {
  USE_PROCESSOR_PATH_OR_SKIP(cpu::path::kMulxAdx | cpu::path::kTableScanAvx2);
  CheckModuli();
}

}  // namespace
}  // namespace tornell
