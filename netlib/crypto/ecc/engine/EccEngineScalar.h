#pragma once
// Arithmetic modulo the group order n of a curve in Montgomery form over
// 64-bit limbs. Everything that touches a secret (nonce, private scalar)
// runs without branches or memory accesses that depend on its value.
#include <cstdint>

namespace tornell {

class RandomSource;

// Copies a big-endian value into exactly `width` bytes (zeros in front);
// false when its significant part is wider. Reads every byte: fit for secrets.
bool EccFitBytes(const unsigned char* v, int length, int width, unsigned char* out);

struct EccScalarField {
  static constexpr int kMaxLimbs = 9;  // 576 bits: room for the P-521 order
  using Limbs = uint64_t[kMaxLimbs];

  int limbs = 0;
  int bits = 0;
  int bytes = 0;
  Limbs n{};
  Limbs r2{};   // R^2 mod n, R = 2^(64·limbs)
  Limbs one{};  // R mod n: 1 in Montgomery form
  uint64_t n0inv = 0;

  // n big-endian, odd, at most kMaxLimbs limbs; false otherwise.
  bool Init(const unsigned char* order, int length);

  // Big-endian bytes that fit in the limbs (any number of leading zeros, all
  // read, so that a private key's leading zeros do not show); false when wider.
  bool Load(const unsigned char* in, int length, Limbs out) const;
  // Exactly `width` big-endian bytes (width >= bytes).
  void Store(const Limbs a, unsigned char* out, int width) const;

  void MontMul(const Limbs a, const Limbs b, Limbs out) const;
  void ToMont(const Limbs a, Limbs out) const { MontMul(a, r2, out); }  // any a below R
  void FromMont(const Limbs a, Limbs out) const;
  void Add(const Limbs a, const Limbs b, Limbs out) const;  // operands below n
  // a^(n-2) in Montgomery form: the inverse of a non-zero a, by Fermat.
  void Invert(const Limbs a, Limbs out) const;
  // a mod n for any a below R (plain form in and out).
  void Reduce(const Limbs a, Limbs out) const;
  // (hi·R + lo) mod n: a value of twice the width, for uniform random scalars.
  void ReduceWide(const Limbs hi, const Limbs lo, Limbs out) const;

  // A uniform scalar in 1..n-1 from twice the order's width of random bits.
  void Random(RandomSource& source, Limbs out) const;

  uint64_t ZeroMask(const Limbs a) const;  // all ones when a is zero
  // Compares public values: -1, 0, 1.
  int Compare(const Limbs a, const Limbs b) const;
  bool BelowN(const Limbs a) const { return Compare(a, n) < 0; }
};

}  // namespace tornell
