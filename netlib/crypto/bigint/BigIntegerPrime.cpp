// Random values, the probable-prime test and the prime searches.
#include <utility>
#include <vector>

#include "crypto/bigint/BigInteger.h"

#include "core/base/Status.h"
#include "crypto/bigint/BitSieve.h"
#include "crypto/bigint/ProgressionSieve.h"
#include "crypto/random/RandomSource.h"

namespace tornell {

void BigInteger::RandomBits(int n, RandomSource& source) {
  if (n < 1) n = 1;
  const int words = (n + 31) / 32;
  std::vector<uint8_t> bytes(size_t(words) * 4);
  source.Fill(bytes.data(), 0, int(bytes.size()));
  std::vector<uint32_t> w(static_cast<size_t>(words));
  for (size_t i = 0; i < w.size(); ++i) {
    w[i] = uint32_t(bytes[4 * i]) | uint32_t(bytes[4 * i + 1]) << 8 | uint32_t(bytes[4 * i + 2]) << 16 |
           uint32_t(bytes[4 * i + 3]) << 24;
  }
  const int top = n % 32;
  if (top != 0) {
    w[0] &= (uint32_t(1) << top) - 1;
    w[0] |= uint32_t(1) << (top - 1);
  } else {
    w[0] |= 0x80000000u;
  }
  *this = BigInteger(w.data(), words, 1);
}

BigInteger::BigInteger(int bits, RandomSource& source) { RandomBits(bits, source); }

namespace {

int JacobiSmall(uint64_t a, uint64_t n) {
  int result = 1;
  a %= n;
  while (a != 0) {
    while ((a & 1) == 0) {
      a >>= 1;
      if ((n & 7) == 3 || (n & 7) == 5) result = -result;
    }
    std::swap(a, n);
    if ((a & 3) == 3 && (n & 3) == 3) result = -result;
    a %= n;
  }
  return n == 1 ? result : 0;
}

// Jacobi symbol (a / n) for a small a and an odd n > |a|.
int Jacobi(int64_t a, const BigInteger& n) {
  const uint32_t n8 = n.GetInt(0) & 7;
  int result = 1;
  uint64_t u = a < 0 ? uint64_t(-a) : uint64_t(a);
  if (a < 0 && (n8 & 3) == 3) result = -result;
  while (u != 0 && (u & 1) == 0) {
    u >>= 1;
    if (n8 == 3 || n8 == 5) result = -result;
  }
  if (u == 0) return 0;
  if (u == 1) return result;
  if ((u & 3) == 3 && (n8 & 3) == 3) result = -result;
  BigInteger q;
  return result * JacobiSmall(n.DivideByWord(uint32_t(u), q), u);
}

bool IsSquare(const BigInteger& n) {
  BigInteger x = BigInteger::ONE.ShiftLeft((n.BitLength() + 1) / 2);
  for (;;) {
    BigInteger y = x.Add(n.Divide(x)).ShiftRight(1);
    if (y.CompareTo(x) >= 0) break;
    x = y;
  }
  return x.Multiply(x).Equals(n);
}

// a mod n for the positive n of the tests below (Mod fails only for n <= 0).
BigInteger ModOf(const BigInteger& a, const BigInteger& n) {
  BigInteger r;
  return a.Mod(n, r) == kStatusOk ? r : BigInteger();
}

BigInteger MulMod(const BigInteger& a, const BigInteger& b, const BigInteger& n) { return ModOf(a.Multiply(b), n); }

BigInteger HalfMod(const BigInteger& a, const BigInteger& n) {
  return (a.TestBit(0) ? a.Add(n) : a).ShiftRight(1);
}

// Strong Lucas probable-prime test with Selfridge's parameters (P = 1,
// D the first of 5, -7, 9, -11, ... with (D / n) = -1). Together with the
// Miller-Rabin rounds it turns away the composites built to fool Miller-Rabin
// with random bases about one time in four.
bool StrongLucas(const BigInteger& n) {
  int64_t d = 5;
  for (int tries = 0;; ++tries) {
    int j = Jacobi(d, n);
    if (j == -1) break;
    if (j == 0 && BigInteger(d < 0 ? -d : d).CompareTo(n) != 0) return false;
    if (tries == 20 && IsSquare(n)) return false;
    d = d > 0 ? -(d + 2) : -(d - 2);
  }
  const BigInteger dm = ModOf(BigInteger(d), n), qm = ModOf(BigInteger((1 - d) / 4), n);
  const BigInteger plusOne = n.Add(BigInteger::ONE);
  const int s = plusOne.LowestSetBit();
  const BigInteger k = plusOne.ShiftRight(s);
  BigInteger u = BigInteger::ONE, v = BigInteger::ONE, qk = qm;
  for (int i = k.BitLength() - 2; i >= 0; --i) {
    u = MulMod(u, v, n);
    v = ModOf(v.Multiply(v).Subtract(qk.ShiftLeft(1)), n);
    qk = MulMod(qk, qk, n);
    if (k.TestBit(i)) {
      const BigInteger nu = HalfMod(u.Add(v), n);
      v = ModOf(HalfMod(MulMod(dm, u, n).Add(v), n), n);
      u = ModOf(nu, n);
      qk = MulMod(qk, qm, n);
    }
  }
  if (u.Signum() == 0) return true;
  for (int r = 0; r < s; ++r) {
    if (v.Signum() == 0) return true;
    v = ModOf(v.Multiply(v).Subtract(qk.ShiftLeft(1)), n);
    qk = MulMod(qk, qk, n);
  }
  return false;
}

}  // namespace

int BigInteger::IsProbablePrime(int certainty, RandomSource* source) const {
  if (sign_ <= 0 || !TestBit(0)) return 0;
  if (IsOneValue()) return 0;
  const int b = BitLength();
  int rounds = b <= 99 ? 100 : b <= 255 ? 43 : b <= 511 ? 30 : b <= 767 ? 16 : b <= 1023 ? 8 : 4;
  if (certainty < rounds) rounds = certainty;
  if (rounds <= 0) return 1;
  RandomSource local;
  RandomSource& rng = source != nullptr ? *source : local;

  // Miller-Rabin: this - 1 = d * 2^s with d odd.
  const BigInteger minusOne = Subtract(ONE);
  const int s = minusOne.LowestSetBit();
  const BigInteger d = minusOne.ShiftRight(s);
  for (int round = 0; round < rounds; ++round) {
    BigInteger a;
    a.RandomBits(b - 1, rng);
    BigInteger x;
    if (a.ModPow(d, *this, x) != 0) return 0;
    if (x.IsOneValue() || x.Equals(minusOne)) continue;
    bool witness = true;
    for (int i = 1; i < s && witness; ++i) {
      if (x.Square().Mod(*this, x) != 0) return 0;
      if (x.Equals(minusOne)) witness = false;
      if (x.IsOneValue()) break;
    }
    if (witness) return 0;
  }
  return StrongLucas(*this) ? 1 : 0;
}

namespace {

// Small sizes have too few candidates for a sieve window: step through the
// odd values of the size from a random start.
BigInteger SmallProbablePrime(int bits, int certainty, RandomSource& source) {
  if (bits < 2) bits = 2;
  for (;;) {
    BigInteger c(bits, source);
    if (!c.TestBit(0)) c = c.Add(BigInteger::ONE);
    for (; c.BitLength() == bits; c = c.Add(BigInteger(int64_t(2)))) {
      if (c.IsProbablePrime(certainty, &source)) return c;
    }
  }
}

}  // namespace

BigInteger::BigInteger(int bits, int certainty, RandomSource& source) {
  if (bits < 20) {
    *this = SmallProbablePrime(bits, certainty, source);
    return;
  }
  BigInteger p(bits, source);
  p = p.TestBit(0) ? p.Subtract(ONE) : p;
  const int searchLen = (bits / 20) * 64;
  BigInteger found;
  int ok = BitSieve(p, searchLen).Retrieve(p, certainty, source, found);
  while (ok == 0 || found.BitLength() != bits) {
    p = p.Add(BigInteger(int64_t(2) * searchLen));
    if (p.BitLength() != bits) p = BigInteger(bits, source);
    if (p.TestBit(0)) p = p.Subtract(ONE);
    ok = BitSieve(p, searchLen).Retrieve(p, certainty, source, found);
  }
  *this = found;
}

int BigInteger::FirstPrime(BigInteger& p, const BigInteger& max, const BigInteger& equiv, const BigInteger& mod) {
  BigInteger residue = equiv, step = mod;
  if (mod.TestBit(0)) {
    // Only odd terms can be prime: search modulo 2 * mod.
    step = mod.ShiftLeft(1);
    if (!equiv.TestBit(0)) residue = equiv.Add(mod);
  }
  BigInteger offset;
  if (residue.Subtract(p).Mod(step, offset) != 0) return 0;
  p = p.Add(offset);
  if (p.CompareTo(max) > 0) return 0;
  ProgressionSieve sieve(p, max, step);
  while (sieve.NextCandidate(p)) {
    if (p.IsProbablePrime(5, nullptr)) return 1;
  }
  return 0;
}

int BigInteger::GeneratePrime(const BigInteger& min, const BigInteger& max, const BigInteger& equiv,
                              const BigInteger& mod, RandomSource& source, BigInteger& result) {
  const BigInteger span = max.Subtract(min);
  const int spanBits = span.BitLength();
  if (span.Signum() < 0) {
    result = BigInteger();
    return 0;
  }
  const BigInteger reach = mod.Multiply(BigInteger(int64_t(max.BitLength())));
  for (int round = 1;; ++round) {
    if (round == 16) {
      // Many misses: make sure the range holds more than one suitable prime.
      BigInteger p = min;
      if (FirstPrime(p, max, equiv, mod) == 0) {
        result = BigInteger();
        return 0;
      }
      result = p;
      BigInteger q = p.Add(ONE);
      if (FirstPrime(q, max, equiv, mod) == 0) return 1;
    }
    BigInteger r;
    if (spanBits > 0) {
      do {
        r = BigInteger(spanBits, source);
      } while (r.CompareTo(span) > 0);
    }
    r = r.Add(min);
    BigInteger limit = r.Add(reach);
    if (limit.CompareTo(max) > 0) limit = max;
    if (FirstPrime(r, limit, equiv, mod)) {
      result = r;
      return 1;
    }
  }
}

}  // namespace tornell
