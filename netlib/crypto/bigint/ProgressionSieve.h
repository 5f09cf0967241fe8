#pragma once
// Strikes multiples of the odd primes below 32720 from the terms
// first, first + step, ... up to last, a window of at most 32768 terms at a
// time.
#include <cstdint>
#include <vector>

#include "crypto/bigint/BigInteger.h"

namespace tornell {

class ProgressionSieve {
 public:
  ProgressionSieve(const BigInteger& first, const BigInteger& last, const BigInteger& step);

  // 1 with the next unstruck term in c, 0 once the progression is spent.
  int NextCandidate(BigInteger& c);
  // Sieves the current window; 2002 when a table prime divides the step
  // (the primes after it strike nothing).
  int Sieve();
  void StrikePrime(uint32_t p, uint32_t inv);
  int WindowSize() const { return size; }

 private:
  BigInteger first, last, step;
  int next = 0;
  std::vector<uint16_t> sieve;
  int size = 0;
  std::vector<uint16_t> table;
};

}  // namespace tornell
