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

int EcPointMath::Reduce(EcBigInt& x, const EcBigInt& p, int reductionId) {
  PrimeField f;
  int status = f.Init(p, reductionId);
  if (status != 0) {
    if (status != kEcOverflow) return status;
    EcBigInt r;
    if ((status = EcBigInt::Mod(x, p, r)) != 0) return status;
    const int k = UsedWords(p);
    EcBigInt::Copy(x, r);
    x.wordCount = k;
    return 0;
  }
  FieldElem r;
  const int n = UsedWords(x);
  if (n > 2 * f.k) {
    ecwords::Remainder(x.words, n, f.p.w, f.k, r.w);
  } else {
    f.Reduce(x.words, n, r);
  }
  f.Store(r, x);
  return 0;
}

#define EC_FIELD_INIT(pp)                 \
  PrimeField f;                           \
  {                                       \
    const int initStatus = f.Init(pp, 0); \
    if (initStatus != 0) return initStatus; \
  }

int EcPointMath::FieldMultiply(const EcBigInt& a, const EcBigInt& b, const EcBigInt& p, int reductionId,
                               EcBigInt& out) {
  PrimeField f;
  const int status = f.Init(p, reductionId);
  if (status != 0) return status;
  FieldElem x, y, r;
  f.Load(a, x);
  f.Load(b, y);
  f.Mul(x, y, r);
  f.Store(r, out);
  return 0;
}

int EcPointMath::FieldSquare(const EcBigInt& a, const EcBigInt& p, int reductionId, EcBigInt& out) {
  return FieldMultiply(a, a, p, reductionId, out);
}

int EcPointMath::FieldAdd(const EcBigInt& a, const EcBigInt& b, const EcBigInt& p, EcBigInt& out) {
  EC_FIELD_INIT(p);
  FieldElem x, y;
  f.Load(a, x);
  f.Load(b, y);
  f.Add(x, y, x);
  f.Store(x, out);
  return 0;
}

int EcPointMath::FieldSubtract(const EcBigInt& a, const EcBigInt& b, const EcBigInt& p, EcBigInt& out) {
  EC_FIELD_INIT(p);
  FieldElem x, y;
  f.Load(a, x);
  f.Load(b, y);
  f.Sub(x, y, x);
  f.Store(x, out);
  return 0;
}

int EcPointMath::FieldHalve(const EcBigInt& a, const EcBigInt& p, EcBigInt& out) {
  EC_FIELD_INIT(p);
  FieldElem x;
  f.Load(a, x);
  f.Halve(x, x);
  f.Store(x, out);
  return 0;
}

int EcPointMath::FieldInvert(const EcBigInt& a, const EcBigInt& p, EcBigInt& out) {
  EcBigInt one;
  return FieldDivide(one, a, p, out);
}

int EcPointMath::FieldDivide(const EcBigInt& numerator, const EcBigInt& denominator, const EcBigInt& p,
                             EcBigInt& out) {
  EC_FIELD_INIT(p);
  FieldElem n, d, r;
  f.Load(numerator, n);
  f.Load(denominator, d);
  if (f.IsZero(d)) return kEcZeroModulus;  // the binary loop would never end
  f.Divide(n, d, r);
  f.Store(r, out);
  return 0;
}

int EcPointMath::FieldSqrt(const EcBigInt& a, const EcBigInt& p, int reductionId, int& found, EcBigInt& root) {
  found = 0;
  PrimeField f;
  const int status = f.Init(p, reductionId);
  if (status != 0) return status;
  FieldElem x, r;
  f.Load(a, x);
  if (f.Sqrt(x, r) != 0) {
    found = 1;
    f.Store(r, root);
  }
  return 0;
}

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
