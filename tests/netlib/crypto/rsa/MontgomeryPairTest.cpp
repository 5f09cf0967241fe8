// The 52-bit-digit exponentiations against the 64-bit ladders: the paired
// secret one for the prime sizes of RSA-2048, -3072 and -4096 (exponents of
// unequal lengths included), the public one for moduli of 1024 to 4096 bits.
#include <gtest/gtest.h>

#include "ProcessorPath.h"

#include <random>
#include <vector>

#include "crypto/bigint/Montgomery.h"
#include "crypto/bigint/MontgomeryIfma.h"

namespace tornell {
namespace {

using limb::Limb;

TEST(MontgomeryPairTest, AgreesWithTheSingleLadder) {
  USE_PROCESSOR_PATH_OR_SKIP(cpu::path::kMontgomeryIfma);
  std::mt19937_64 g(7);
  for (size_t k : {16, 24, 32}) {
    for (int round = 0; round < 4; ++round) {
      std::vector<Limb> m1(k), m2(k), b1(k), b2(k), e1(k), e2(k), r1(k), r2(k), s1(k), s2(k);
      for (size_t i = 0; i < k; ++i) m1[i] = g(), m2[i] = g(), b1[i] = g(), b2[i] = g(), e1[i] = g(), e2[i] = g();
      m1[0] |= 1, m2[0] |= 1;
      m1[k - 1] |= Limb(1) << 63, m2[k - 1] |= Limb(1) << 63;
      b1[k - 1] >>= 1, b2[k - 1] >>= 1;
      if (round == 1) e2[k - 1] = 0;                     // shorter second exponent
      if (round == 2) std::fill(b1.begin(), b1.end(), 0);  // zero base
      if (round == 3) e1.assign(k, 0), e1[0] = 1;          // exponent one
      Montgomery c1, c2;
      MontgomeryInit(c1, m1.data(), k);
      MontgomeryInit(c2, m2.data(), k);
      ASSERT_TRUE(MontgomeryPowSecretPair(c1, r1.data(), b1.data(), e1.data(), k, c2, r2.data(), b2.data(), e2.data(), k));
      MontgomeryPowSecret(c1, s1.data(), b1.data(), e1.data(), k);
      MontgomeryPowSecret(c2, s2.data(), b2.data(), e2.data(), k);
      EXPECT_EQ(s1, r1) << k << "/" << round;
      EXPECT_EQ(s2, r2) << k << "/" << round;
    }
  }
}

TEST(MontgomeryPairTest, PublicExponentAgreesWithSquareAndMultiply) {
  USE_PROCESSOR_PATH_OR_SKIP(cpu::path::kMontgomeryIfma);
  std::mt19937_64 g(11);
  for (size_t k : {16, 24, 32, 48, 64}) {
    for (Limb e : {Limb(65537), Limb(3), Limb(1), g() | 1}) {
      std::vector<Limb> m(k), b(k), r(k), s(k);
      for (size_t i = 0; i < k; ++i) m[i] = g(), b[i] = g();
      m[0] |= 1;
      m[k - 1] |= Limb(1) << 63;
      b[k - 1] >>= 1;
      Montgomery c;
      MontgomeryInit(c, m.data(), k);
      ASSERT_TRUE(MontgomeryPowPublicIfma(c, r.data(), b.data(), &e, 1));
      MontgomeryPowPublic(c, s.data(), b.data(), &e, 1);
      EXPECT_EQ(s, r) << k << "/" << e;
    }
  }
}

TEST(MontgomeryPairTest, RefusesWhenSwitchedOffOrUnsuited) {
  std::vector<Limb> m(8, ~Limb(0)), b(8, 1), e(8, 3), r(8);
  Montgomery c;
  MontgomeryInit(c, m.data(), 8);
  // 512-bit moduli leave no room for R^2 from the 64-bit context.
  EXPECT_FALSE(MontgomeryPowSecretPair(c, r.data(), b.data(), e.data(), 8, c, r.data(), b.data(), e.data(), 8));
  const cpu::ScopedRestrict portable(testsupport::kPortablePath);
  std::vector<Limb> m16(16, ~Limb(0)), b16(16, 1), e16(16, 3), r16(16);
  Montgomery c16;
  MontgomeryInit(c16, m16.data(), 16);
  EXPECT_FALSE(
      MontgomeryPowSecretPair(c16, r16.data(), b16.data(), e16.data(), 16, c16, r16.data(), b16.data(), e16.data(), 16));
  EXPECT_FALSE(MontgomeryPowPublicIfma(c16, r16.data(), b16.data(), e16.data(), 16));
}

}  // namespace
}  // namespace tornell
