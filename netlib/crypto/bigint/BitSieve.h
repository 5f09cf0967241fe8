#pragma once
// A bit per odd candidate; a set bit marks a composite. The shared small
// sieve holds the odd primes below 19200; window sieves strike their
// multiples from a run of odd numbers above an even base.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tornell {

class BigInteger;
class RandomSource;

class BitSieve {
 public:
  static const BitSieve smallSieve;

  // The small sieve: bit i stands for 2i + 1.
  BitSieve();
  // Bit i stands for base + 2i + 1 (base even), for i below searchLen.
  BitSieve(const BigInteger& base, int searchLen);

  // 1 with the first probable prime of the window in out, else 0.
  int Retrieve(const BigInteger& base, int certainty, RandomSource& source, BigInteger& out) const;

  void Set(int i) { bits[size_t(i) >> 6] |= uint64_t(1) << (i & 63); }
  bool Get(int i) const { return ((bits[size_t(i) >> 6] >> (i & 63)) & 1) != 0; }
  void StrikeProgression(int limit, int start, int step);
  int NextClear(int limit, int start) const;
  int Length() const { return length; }

 private:
  std::vector<uint64_t> bits;
  int length = 0;
};

}  // namespace tornell
