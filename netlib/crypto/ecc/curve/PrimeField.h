#pragma once
// Fixed-width arithmetic modulo an odd prime on small word arrays: the
// working form behind the EcPointMath prime-field operations.
#include <cstdint>

#include "crypto/ecc/curve/EcBigInt.h"
#include "crypto/ecc/curve/FieldElem.h"

namespace tornell {

struct PrimeField : FieldWords {
  int bits = 0;       // bit length of p       // bit length of p
  int reductionId = 0;
  FieldElem p{};

  // 0, or 20480 when p is wider than the working form, 20481 when p is zero.
  [[nodiscard]] int Init(const EcBigInt& modulus, int id);

  // Montgomery form (x·2^(32k) mod p) for the generic reduction: multiplication
  // without division, in time that does not depend on the values. Only the
  // multiplication and the constant one change; addition, halving and the
  // zero test are the same in both forms.
  bool montgomery = false;
  uint32_t mPrime = 0;
  FieldElem one{};    // 1 in the working form
  FieldElem rSquared{};
  void UseMontgomery();  // for the generic reduction of an odd p
  void ToWorking(FieldElem& x) const;
  void FromWorking(FieldElem& x) const;
  void SetOne(FieldElem& x) const { x = one; }

  void Load(const EcBigInt& v, FieldElem& out) const;   // k words, v reduced when not below p
  void Store(const FieldElem& v, EcBigInt& out) const;  // word count k, words above cleared

  void Reduce(const uint32_t* wide, int n, FieldElem& out) const;  // wide has n <= 2k words
  void Mul(const FieldElem& a, const FieldElem& b, FieldElem& out) const;
  void Sqr(const FieldElem& a, FieldElem& out) const { Mul(a, a, out); }
  void Add(const FieldElem& a, const FieldElem& b, FieldElem& out) const;
  void Sub(const FieldElem& a, const FieldElem& b, FieldElem& out) const;
  void Halve(const FieldElem& a, FieldElem& out) const;
  void Pow(const FieldElem& a, const uint32_t* e, int eBits, FieldElem& out) const;
  void InvertFermat(const FieldElem& a, FieldElem& out) const;  // timing independent of a
  // Binary inversion times numerator; denominator must not be 0.
  void Divide(const FieldElem& num, const FieldElem& den, FieldElem& out) const;
  [[nodiscard]] int Sqrt(const FieldElem& a, FieldElem& root) const;  // 1 found, 0 none

  [[nodiscard]] int Cmp(const FieldElem& a, const FieldElem& b) const;
  void Select(FieldElem& out, const FieldElem& a, const FieldElem& b, uint32_t maskB) const;  // maskB ? b : a
};

}  // namespace tornell
