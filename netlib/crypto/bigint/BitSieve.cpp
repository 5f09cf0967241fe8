#include "crypto/bigint/BitSieve.h"

#include "crypto/bigint/BigInteger.h"

namespace tornell {

__attribute__((init_priority(101))) const BitSieve BitSieve::smallSieve;

BitSieve::BitSieve() : bits(150, 0), length(150 * 64) {
  Set(0);  // 1 is not prime
  int index = 1;
  int prime = 3;
  do {
    StrikeProgression(length, index + prime, prime);
    index = NextClear(length, index + 1);
    prime = 2 * index + 1;
  } while (index > 0 && prime < length);
}

BitSieve::BitSieve(const BigInteger& base, int searchLen)
    : bits(size_t((searchLen - 1) / 64 + 1), 0), length(searchLen) {
  const BitSieve& small = smallSieve;
  BigInteger quotient;
  for (int i = small.NextClear(small.length, 0); i > 0; i = small.NextClear(small.length, i + 1)) {
    const int p = 2 * i + 1;
    int start = p - int(base.DivideByWord(uint32_t(p), quotient));
    if (start % 2 == 0) start += p;
    StrikeProgression(searchLen, (start - 1) / 2, p);
  }
}

void BitSieve::StrikeProgression(int limit, int start, int step) {
  for (int i = start; i < limit; i += step) Set(i);
}

int BitSieve::NextClear(int limit, int start) const {
  if (start >= limit) return -1;
  int index = start;
  do {
    if (!Get(index)) return index;
    ++index;
  } while (index < limit - 1);
  return -1;
}

int BitSieve::Retrieve(const BigInteger& base, int certainty, RandomSource& source, BigInteger& out) const {
  for (size_t w = 0; w < bits.size(); ++w) {
    uint64_t free = ~bits[w];
    for (int b = 0; b < 64; ++b) {
      if (((free >> b) & 1) == 0) continue;
      int64_t offset = int64_t(w) * 128 + 2 * b + 1;
      BigInteger candidate = base.Add(BigInteger(offset));
      if (candidate.IsProbablePrime(certainty, &source)) {
        out = candidate;
        return 1;
      }
    }
  }
  return 0;
}

}  // namespace tornell
