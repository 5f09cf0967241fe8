#include "crypto/bigint/ProgressionSieve.h"

#include <algorithm>

#include "crypto/bigint/BigIntStatus.h"

namespace tornell {

namespace {

constexpr int kWindow = 32768;
constexpr uint32_t kTableLimit = 32720;

// Inverse of a modulo the prime p (0 < a < p).
uint32_t InverseModSmall(uint32_t a, uint32_t p) {
  int64_t t = 0, newT = 1, r = p, newR = a;
  while (newR != 0) {
    int64_t q = r / newR;
    int64_t tmp = t - q * newT;
    t = newT;
    newT = tmp;
    tmp = r - q * newR;
    r = newR;
    newR = tmp;
  }
  return uint32_t(t < 0 ? t + p : t);
}

}  // namespace

ProgressionSieve::ProgressionSieve(const BigInteger& f, const BigInteger& l, const BigInteger& s)
    : first(f), last(l), step(s) {
  for (uint32_t n = 3; n < kTableLimit; n += 2) {
    bool prime = true;
    for (uint32_t d = 3; d * d <= n; d += 2) {
      if (n % d == 0) {
        prime = false;
        break;
      }
    }
    if (prime) table.push_back(uint16_t(n));
  }
  Sieve();
}

int ProgressionSieve::Sieve() {
  BigInteger terms = last.Subtract(first).Divide(step).Add(BigInteger::ONE);
  size = terms.CompareTo(BigInteger(int64_t(kWindow))) > 0 ? kWindow : int(terms.LongValue());
  if (size < 0) size = 0;
  sieve.assign(size_t(size), 0);
  BigInteger quotient;
  for (uint16_t p : table) {
    uint32_t r = step.DivideByWord(p, quotient);
    if (step.Signum() < 0 && r != 0) r = p - r;
    if (r == 0) return bigint_status::kNotInvertible;
    StrikePrime(p, InverseModSmall(r, p));
  }
  return 0;
}

void ProgressionSieve::StrikePrime(uint32_t p, uint32_t inv) {
  inv &= 0xFFFF;
  if (inv == 0) return;
  BigInteger quotient;
  uint32_t r = first.DivideByWord(p, quotient);
  if (first.Signum() < 0 && r != 0) r = p - r;
  uint32_t j = (inv * (p - r)) % p;
  // A table prime that is itself a term stays a candidate.
  if (first.BitLength() <= 32 && uint32_t(first.Add(step.Multiply(BigInteger(int64_t(j)))).LongValue()) == p) j += p;
  for (uint32_t i = j; i < uint32_t(size); i += p) sieve[i] = 1;
}

int ProgressionSieve::NextCandidate(BigInteger& c) {
  for (;;) {
    for (int i = next; i < size; ++i) {
      if (sieve[size_t(i)] == 0) {
        c = first.Add(step.Multiply(BigInteger(int64_t(i))));
        next = i + 1;
        return 1;
      }
    }
    first = first.Add(step.Multiply(BigInteger(int64_t(size))));
    if (first.CompareTo(last) > 0) return 0;
    next = 0;
    Sieve();
  }
}

}  // namespace tornell
