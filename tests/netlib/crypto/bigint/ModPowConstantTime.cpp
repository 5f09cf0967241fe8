// BigInteger::ModPow with a secret exponent, over an odd and an even modulus.
#include "SecretProbe.h"
#include "core/cpu/CpuFeatures.h"
#include "crypto/bigint/BigInteger.h"

using namespace tornell;

namespace {

int Run(bool odd) {
  uint8_t mb[96], eb[96], bb[64];
  for (int i = 0; i < 96; ++i) mb[i] = uint8_t(i * 29 + 3), eb[i] = uint8_t(i * 53 + 7);
  for (int i = 0; i < 64; ++i) bb[i] = uint8_t(i * 11 + 1);
  mb[0] |= 0x80;
  mb[95] = odd ? 0x35 : 0x60;  // the even one: an odd part times 2^5
  const BigInteger m(mb, 96, 1), base(bb, 64, 1), e(eb, 96, 1);
  BigInteger want;
  if (base.ModPowBinary(e, m, want) != 0) return 1;
  // ModPow is this power followed by trimming the (then public) result.
  probe::MarkSecret(e.Magnitude().data(), e.Magnitude().size() * sizeof(limb::Limb));
  std::vector<limb::Limb> got;
  int st = base.ModPowLimbs(e, m, got);
  probe::Reveal(&st, sizeof st);
  if (st != 0) return 1;
  probe::Reveal(got.data(), got.size() * sizeof(limb::Limb));
  return BigInteger::FromLimbs(got, 1).Equals(want) ? 0 : 1;
}

int OddModulus() { return Run(true); }
int EvenModulus() { return Run(false); }

// The plain cases read the window table on 256-bit registers where the
// processor has them; this one reads it by plain limbs.
int OddModulusLimbScan() {
  cpu::ScopedRestrict limbs(cpu::Active() & ~cpu::path::kTableScanAvx2);
  return Run(true);
}

// A short exponent under a public bound: the walk covers the bound's limbs.
int OddModulusBoundedExponent() {
  uint8_t mb[256], eb[29], bb[64];
  for (int i = 0; i < 256; ++i) mb[i] = uint8_t(i * 29 + 3);
  for (int i = 0; i < 29; ++i) eb[i] = uint8_t(i * 53 + 7);
  for (int i = 0; i < 64; ++i) bb[i] = uint8_t(i * 11 + 1);
  mb[0] |= 0x80;
  mb[255] |= 1;
  const BigInteger m(mb, 256, 1), base(bb, 64, 1), e(eb, 29, 1);
  BigInteger want;
  if (base.ModPowBinary(e, m, want) != 0) return 1;
  probe::MarkSecret(e.Magnitude().data(), e.Magnitude().size() * sizeof(limb::Limb));
  std::vector<limb::Limb> got;
  int st = base.ModPowLimbs(e, m, got, false, 4);  // the limbs of a 232-bit bound
  probe::Reveal(&st, sizeof st);
  if (st != 0) return 1;
  probe::Reveal(got.data(), got.size() * sizeof(limb::Limb));
  return BigInteger::FromLimbs(got, 1).Equals(want) ? 0 : 1;
}

const probe::Case kCases[] = {{"modpow, odd modulus", OddModulus},
                              {"modpow, odd modulus, bounded exponent", OddModulusBoundedExponent},
                              {"modpow, even modulus", EvenModulus},
                              {"modpow, odd modulus, limb table scan", OddModulusLimbScan}};

}  // namespace

PROBE_MAIN(kCases)
