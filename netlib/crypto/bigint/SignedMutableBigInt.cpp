#include "crypto/bigint/SignedMutableBigInt.h"

namespace tornell {

void SignedMutableBigInt::AddSigned(const MutableBigInt& x, int xSign) {
  if (sign == xSign || IsZero()) {
    if (IsZero()) sign = xSign;
    Add(x);
  } else {
    sign *= Subtract(x);
  }
  if (IsZero()) sign = 1;
}

void SignedMutableBigInt::SignedAdd(const SignedMutableBigInt& x) { AddSigned(x, x.sign); }
void SignedMutableBigInt::SignedAdd(const MutableBigInt& x) { AddSigned(x, 1); }
void SignedMutableBigInt::SignedSubtract(const SignedMutableBigInt& x) { AddSigned(x, -x.sign); }
void SignedMutableBigInt::SignedSubtract(const MutableBigInt& x) { AddSigned(x, -1); }

}  // namespace tornell
