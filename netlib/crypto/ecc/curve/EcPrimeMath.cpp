// Prime-field operations of EcPointMath on EcBigInt values.
#include <cstring>

#include "crypto/ecc/curve/EcPointMath.h"
#include "crypto/ecc/curve/PrimeField.h"

namespace tornell {

namespace {

int UsedWords(const EcBigInt& v) {
  int n = v.wordCount < 0 ? 0 : (v.wordCount > EcBigInt::kMaxWords ? EcBigInt::kMaxWords : v.wordCount);
  while (n > 0 && v.words[n - 1] == 0) --n;
  return n;
}

}  // namespace

void EcPointMath::SetWord(EcBigInt& x, const EcBigInt& p, uint32_t w) {
  int k = UsedWords(p);
  if (k < 1) k = 1;
  std::memset(x.words, 0, sizeof x.words);
  x.words[0] = w;
  x.wordCount = k;
  x.sign = 1;
}

void EcPointMath::SetZero(EcBigInt& x, const EcBigInt& p) { SetWord(x, p, 0); }

void EcPointMath::SetOne(EcBigInt& x, const EcBigInt& p) { SetWord(x, p, 1); }

int EcPointMath::IsZero(const EcBigInt& x, const EcBigInt& p) {
  const int k = UsedWords(p);
  for (int i = 0; i < k; ++i) {
    if (x.words[i] != 0) return 0;
  }
  return 1;
}

int EcPointMath::IsOne(const EcBigInt& x, const EcBigInt& p) {
  const int k = UsedWords(p);
  if (x.words[0] != 1) return 0;
  for (int i = 1; i < k; ++i) {
    if (x.words[i] != 0) return 0;
  }
  return 1;
}

int EcPointMath::Compare(const EcBigInt& a, const EcBigInt& b, const EcBigInt& p) {
  return ecwords::Compare(a.words, b.words, UsedWords(p));
}

}  // namespace tornell
