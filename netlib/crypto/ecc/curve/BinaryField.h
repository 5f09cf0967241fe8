#pragma once
// Fixed-width arithmetic in GF(2^m), polynomial basis, on small word arrays:
// the working form behind the EcPointMath binary-field operations.
#include <cstdint>

#include "crypto/ecc/curve/EcBigInt.h"
#include "crypto/ecc/curve/FieldElem.h"

namespace tornell {

struct BinaryField : FieldWords {
  int m = 0;  // degree
  FieldElem f{};
  int termCount = 0;  // exponents of f below m, 0 included, when it folds word by word
  int terms[8] = {};

  // 0, or 20480 when f is wider than the working form, 20481 when f is zero or 1.
  [[nodiscard]] int Init(const EcBigInt& poly);

  void Load(const EcBigInt& v, FieldElem& out) const;   // k words, reduced
  void Store(const FieldElem& v, EcBigInt& out) const;  // word count k

  void Reduce(uint32_t* wide, int n, FieldElem& out) const;  // wide is changed
  void Mul(const FieldElem& a, const FieldElem& b, FieldElem& out) const;
  void Sqr(const FieldElem& a, FieldElem& out) const;
  void Add(const FieldElem& a, const FieldElem& b, FieldElem& out) const;
  void Sub(const FieldElem& a, const FieldElem& b, FieldElem& out) const { Add(a, b, out); }
  void Invert(const FieldElem& a, FieldElem& out) const;  // timing independent of a; a^(2^m - 2)
  void Divide(const FieldElem& num, const FieldElem& den, FieldElem& out) const;  // den not 0
  void HalfTrace(const FieldElem& c, FieldElem& out) const;
  [[nodiscard]] int SolveQuadratic(const FieldElem& c, FieldElem& z) const;  // 1 with z^2 + z = c
};

}  // namespace tornell
