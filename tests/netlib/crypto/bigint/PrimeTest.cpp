// Probable-prime test, sieves and prime searches against independent truth.
#include <set>
#include <string>
#include <vector>

#include "TestText.h"
#include "crypto/bigint/BigInteger.h"
#include "crypto/bigint/BitSieve.h"
#include "crypto/bigint/ProgressionSieve.h"
#include "crypto/random/RandomSource.h"

namespace tornell {
namespace {

BigInteger V(int64_t v) { return BigInteger(v); }
BigInteger Dec(const std::string& s) { return BigInteger(s.c_str(), int(s.size()), 10, 1); }

// What the command printed, whatever its exit status.
std::string RunCommand(const std::string& cmd) {
  bool ok = false;
  return testsupport::RunCommand(cmd, ok);
}

bool OpensslSaysPrime(const BigInteger& v) {
  return RunCommand("openssl prime " + v.ToText(10) + " 2>/dev/null").find("is prime") != std::string::npos;
}

using testsupport::HaveOpenssl;

TEST(ProbablePrime, SmallValuesAndCertainty) {
  RandomSource rng;
  EXPECT_EQ(V(2).IsProbablePrime(100, &rng), 0);
  for (int certainty = 1; certainty < 5; ++certainty) EXPECT_EQ(V(9).IsProbablePrime(certainty, &rng), 0);
  EXPECT_EQ(V(3).IsProbablePrime(100, &rng), 1);
  EXPECT_EQ(V(9).IsProbablePrime(0, &rng), 1);  // no rounds: every odd value passes
  EXPECT_EQ(V(-7).IsProbablePrime(100, &rng), 0);
  for (int64_t n = 3; n < 3000; n += 2) {
    bool prime = true;
    for (int64_t d = 3; d * d <= n; d += 2) prime = prime && n % d != 0;
    ASSERT_EQ(V(n).IsProbablePrime(100, &rng), prime ? 1 : 0) << n;
  }
  EXPECT_EQ(Dec("170141183460469231731687303715884105727").IsProbablePrime(100, nullptr), 1);  // 2^127 - 1
}

TEST(ProbablePrime, CarmichaelAndStrongPseudoprimesAreComposite) {
  RandomSource rng;
  const char* composites[] = {
      // Carmichael numbers: every coprime base passes the Fermat test.
      "561", "1105", "1729", "2465", "2821", "6601", "8911", "41041", "825265", "321197185",
      // Strong pseudoprimes to base 2; to bases 2, 3, 5 and 7; to the first
      // eleven prime bases.
      "2047", "3277", "4033", "4681", "8321", "3215031751", "3825123056546413051",
      // Chernick's (6k+1)(12k+1)(18k+1) with all three factors prime:
      // Carmichael numbers of 130 and 310 bits (k = 1000000001121 and
      // k = 10^30 + 43391).
      "1296000004358844004886708077826165821249",
      "1296000000000000000000000168704604000000000000000007320278655036000000000000105878318901409369",
      "318665857834031151167461",  // strong pseudoprime to the first twelve prime bases
  };
  for (const char* c : composites) EXPECT_EQ(Dec(c).IsProbablePrime(100, &rng), 0) << c;
}

TEST(ProbablePrime, WycheproofPrimality) {
  auto path = testsupport::VectorsDir() / "wycheproof" / "primality_test.json";
  REQUIRE_OR_SKIP(std::filesystem::exists(path), "wycheproof primality_test.json");
  RandomSource rng;
  int checked = 0;
  for (const auto& row : testsupport::WycheproofRows("primality_test.json", "t['tcId'], t['value'], t['result']")) {
    if (row.size() != 3) continue;
    const std::string& id = row[0];
    std::string h = row[1];
    if (h.size() % 2) h = "0" + h;
    const std::vector<uint8_t> bytes = testsupport::UnhexBytes(h);
    BigInteger v(bytes.data(), int(bytes.size()));
    const std::string& r = row[2];
    // 2 is the one prime the test turns away: every even value is refused.
    if (r == "acceptable" || v.Equals(V(2))) continue;
    EXPECT_EQ(v.IsProbablePrime(100, &rng), r == "valid" ? 1 : 0) << "tcId " << id << " " << v.ToText(10);
    ++checked;
  }
  EXPECT_GT(checked, 200);
}

TEST(ProbablePrime, RandomBitsHasExactLength) {
  RandomSource rng;
  for (int i = 0; i < 50; ++i) {
    BigInteger a;
    a.RandomBits(32, rng);
    EXPECT_EQ(a.BitLength(), 32);
    a.RandomBits(33, rng);
    EXPECT_EQ(a.GetInt(1), 1u);
    EXPECT_EQ(BigInteger(1 + i * 13, rng).BitLength(), 1 + i * 13);
  }
}

TEST(ProbablePrime, SmallSieveHoldsTheOddPrimes) {
  const BitSieve& s = BitSieve::smallSieve;
  int count = 0;
  for (int i = s.NextClear(s.Length(), 0); i > 0; i = s.NextClear(s.Length(), i + 1)) {
    int p = 2 * i + 1;
    for (int d = 3; d * d <= p; d += 2) ASSERT_NE(p % d, 0) << p;
    ++count;
  }
  EXPECT_EQ(count, 2175);
}

TEST(ProbablePrime, ConstructedPrimesCheckedByOpenssl) {
  REQUIRE_OR_SKIP(HaveOpenssl(), "openssl command");
  RandomSource rng;
  for (int bits : {20, 64, 256, 512}) {
    BigInteger p(bits, 100, rng);
    EXPECT_EQ(p.BitLength(), bits);
    EXPECT_TRUE(p.TestBit(0));
    EXPECT_TRUE(OpensslSaysPrime(p)) << p.ToText(10);
  }
  BigInteger tiny(5, 100, rng);
  EXPECT_EQ(tiny.BitLength(), 5);
  EXPECT_TRUE(OpensslSaysPrime(tiny)) << tiny.ToText(10);
}

TEST(ProbablePrime, FirstPrime) {
  BigInteger p = V(14);
  EXPECT_EQ(BigInteger::FirstPrime(p, V(100), V(1), V(4)), 1);
  EXPECT_TRUE(p.Equals(V(17)));
  p = V(14);
  EXPECT_EQ(BigInteger::FirstPrime(p, V(16), V(1), V(4)), 0);
  p = V(10);
  EXPECT_EQ(BigInteger::FirstPrime(p, V(50), V(0), V(1)), 1);
  EXPECT_TRUE(p.Equals(V(11)));
  p = V(2);
  EXPECT_EQ(BigInteger::FirstPrime(p, V(100), V(3), V(1)), 1);  // a table prime itself
  EXPECT_TRUE(p.Equals(V(3)));
}

TEST(ProbablePrime, ProgressionSieveCrossesWindows) {
  // Odd numbers 1..140001: the unstruck terms are 1 and the odd primes.
  const int64_t last = 140001;
  ProgressionSieve sieve(V(1), V(last), V(2));
  EXPECT_EQ(sieve.WindowSize(), 32768);
  std::vector<bool> composite(size_t(last) + 1, false);
  for (int64_t i = 2; i * i <= last; ++i)
    for (int64_t j = i * i; j <= last; j += i) composite[size_t(j)] = true;
  int64_t expected = 1;
  for (int64_t n = 3; n <= last; n += 2) expected += composite[size_t(n)] ? 0 : 1;
  BigInteger c;
  int64_t got = 0;
  int64_t previous = -1;
  while (sieve.NextCandidate(c)) {
    int64_t v = c.LongValue();
    ASSERT_GT(v, previous);
    ASSERT_TRUE(v == 1 || !composite[size_t(v)]) << v;
    previous = v;
    ++got;
  }
  EXPECT_EQ(got, expected);
}

TEST(ProbablePrime, GeneratePrimeInRange) {
  REQUIRE_OR_SKIP(HaveOpenssl(), "openssl command");
  RandomSource rng;
  BigInteger min = V(182).ShiftLeft(248), max = BigInteger::ONE.ShiftLeft(256).Subtract(BigInteger::ONE), r;
  ASSERT_EQ(BigInteger::GeneratePrime(min, max, V(0), V(1), rng, r), 1);
  EXPECT_EQ(r.BitLength(), 256);
  EXPECT_GE(r.CompareTo(min), 0);
  EXPECT_TRUE(OpensslSaysPrime(r)) << r.ToText(10);
  // Residue class: p = 1 (mod 2q) for a 160-bit q, as DSA asks.
  BigInteger q(160, 100, rng), mod = q.ShiftLeft(1);
  BigInteger lo = BigInteger::ONE.ShiftLeft(511), hi = BigInteger::ONE.ShiftLeft(512).Subtract(BigInteger::ONE);
  ASSERT_EQ(BigInteger::GeneratePrime(lo, hi, V(1), mod, rng, r), 1);
  BigInteger rem;
  ASSERT_EQ(r.Mod(mod, rem), 0);
  EXPECT_TRUE(rem.Equals(V(1)));
  EXPECT_TRUE(OpensslSaysPrime(r)) << r.ToText(10);
  // A range with no suitable prime, and one with exactly one.
  EXPECT_EQ(BigInteger::GeneratePrime(V(24), V(28), V(0), V(1), rng, r), 0);
  ASSERT_EQ(BigInteger::GeneratePrime(V(24), V(30), V(0), V(1), rng, r), 1);
  EXPECT_TRUE(r.Equals(V(29)));
}

}  // namespace
}  // namespace tornell
