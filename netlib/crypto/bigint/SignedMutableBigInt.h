#pragma once
// A MutableBigInt with a sign, for the signed cofactor of the almost-inverse.
#include "crypto/bigint/MutableBigInt.h"

namespace tornell {

class SignedMutableBigInt : public MutableBigInt {
 public:
  SignedMutableBigInt() = default;
  explicit SignedMutableBigInt(uint64_t word) : MutableBigInt(word) {}

  void SignedAdd(const SignedMutableBigInt& x);
  void SignedAdd(const MutableBigInt& x);
  void SignedSubtract(const SignedMutableBigInt& x);
  void SignedSubtract(const MutableBigInt& x);

  int sign = 1;

 private:
  void AddSigned(const MutableBigInt& x, int xSign);
};

}  // namespace tornell
