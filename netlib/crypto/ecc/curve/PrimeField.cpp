#include "crypto/ecc/curve/PrimeField.h"

#include <cstring>

#include "crypto/ecc/curve/EcPointMath.h"
#include "crypto/random/RandomSource.h"

namespace tornell {

namespace {

// One term of a fast reduction: source words of the double-width product,
// most significant first as the standard writes them; -1 is a zero word.
struct Term {
  int coef;
  int8_t src[12];
};

constexpr Term kP192Terms[] = {
    {1, {5, 4, 3, 2, 1, 0}},
    {1, {-1, -1, 7, 6, 7, 6}},
    {1, {9, 8, 9, 8, -1, -1}},
    {1, {11, 10, 11, 10, 11, 10}},
};
constexpr Term kP224Terms[] = {
    {1, {6, 5, 4, 3, 2, 1, 0}},
    {1, {10, 9, 8, 7, -1, -1, -1}},
    {1, {-1, 13, 12, 11, -1, -1, -1}},
    {-1, {13, 12, 11, 10, 9, 8, 7}},
    {-1, {-1, -1, -1, -1, 13, 12, 11}},
};
constexpr Term kP256Terms[] = {
    {1, {7, 6, 5, 4, 3, 2, 1, 0}},
    {2, {15, 14, 13, 12, 11, -1, -1, -1}},
    {2, {-1, 15, 14, 13, 12, -1, -1, -1}},
    {1, {15, 14, -1, -1, -1, 10, 9, 8}},
    {1, {8, 13, 15, 14, 13, 11, 10, 9}},
    {-1, {10, 8, -1, -1, -1, 13, 12, 11}},
    {-1, {11, 9, -1, -1, 15, 14, 13, 12}},
    {-1, {12, -1, 10, 9, 8, 15, 14, 13}},
    {-1, {13, -1, 11, 10, 9, -1, 15, 14}},
};
constexpr Term kP384Terms[] = {
    {1, {11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0}},
    {2, {-1, -1, -1, -1, -1, 23, 22, 21, -1, -1, -1, -1}},
    {1, {23, 22, 21, 20, 19, 18, 17, 16, 15, 14, 13, 12}},
    {1, {20, 19, 18, 17, 16, 15, 14, 13, 12, 23, 22, 21}},
    {1, {19, 18, 17, 16, 15, 14, 13, 12, 20, -1, 23, -1}},
    {1, {-1, -1, -1, -1, 23, 22, 21, 20, -1, -1, -1, -1}},
    {1, {-1, -1, -1, -1, -1, -1, 23, 22, 21, -1, -1, 20}},
    {-1, {22, 21, 20, 19, 18, 17, 16, 15, 14, 13, 12, 23}},
    {-1, {-1, -1, -1, -1, -1, -1, -1, 23, 22, 21, 20, -1}},
    {-1, {-1, -1, -1, -1, -1, -1, -1, 23, 23, -1, -1, -1}},
};

// out = value mod p where value = out[0..k) + top * 2^(32k), top small and
// signed. A fixed number of masked rounds: first p is added while the value
// is negative, then subtracted while it is at least p, so the work does not
// depend on the value.
void Settle(const PrimeField& f, uint32_t* out, int64_t top, int addRounds, int subRounds) {
  const int k = f.k;
  for (int r = 0; r < addRounds; ++r) {
    const uint32_t mask = 0u - static_cast<uint32_t>(static_cast<uint64_t>(top) >> 63);
    uint64_t c = 0;
    for (int i = 0; i < k; ++i) {
      c += static_cast<uint64_t>(out[i]) + (f.p.w[i] & mask);
      out[i] = static_cast<uint32_t>(c);
      c >>= 32;
    }
    top += static_cast<int64_t>(c);
  }
  uint32_t diff[kFieldWords];
  for (int r = 0; r < subRounds; ++r) {
    int64_t borrow = 0;
    for (int i = 0; i < k; ++i) {
      const int64_t d = static_cast<int64_t>(out[i]) - f.p.w[i] - borrow;
      diff[i] = static_cast<uint32_t>(d);
      borrow = d < 0 ? 1 : 0;
    }
    const uint64_t positive = static_cast<uint64_t>(-top) >> 63;
    const uint32_t take = 0u - static_cast<uint32_t>(positive | static_cast<uint64_t>(borrow ^ 1));
    for (int i = 0; i < k; ++i) out[i] = (diff[i] & take) | (out[i] & ~take);
    top -= borrow & static_cast<int64_t>(take & 1u);
  }
}

void ReduceByTerms(const PrimeField& f, const Term* terms, int count, const uint32_t* c, uint32_t* out) {
  const int k = f.k;
  int64_t carry = 0;
  for (int j = 0; j < k; ++j) {
    int64_t acc = carry;
    for (int t = 0; t < count; ++t) {
      const int s = terms[t].src[k - 1 - j];
      if (s >= 0) acc += terms[t].coef * static_cast<int64_t>(c[s]);
    }
    out[j] = static_cast<uint32_t>(acc);
    carry = acc >> 32;  // arithmetic shift: floor division keeps the sum exact
  }
  // 2^(32k) = r (mod p) with r = 2^(32k) - p, far below 2^(32k) for these
  // primes: two folds of the top into the low words leave it at -1, 0 or 1.
  uint32_t r[kFieldWords];
  uint64_t borrow = 1;
  for (int i = 0; i < k; ++i) {
    borrow += static_cast<uint64_t>(~f.p.w[i]);
    r[i] = static_cast<uint32_t>(borrow);
    borrow >>= 32;
  }
  for (int fold = 0; fold < 2; ++fold) {
    const int64_t top = carry;
    carry = 0;
    for (int j = 0; j < k; ++j) {
      const int64_t acc = static_cast<int64_t>(out[j]) + top * static_cast<int64_t>(r[j]) + carry;
      out[j] = static_cast<uint32_t>(acc);
      carry = acc >> 32;
    }
  }
  Settle(f, out, carry, 1, 2);
}

void ReduceP521(const PrimeField& f, const uint32_t* c, uint32_t* out) {
  uint64_t carry = 0;
  for (int i = 0; i < 17; ++i) {
    const uint32_t low = i < 16 ? c[i] : (c[16] & 0x1FFu);
    const uint32_t high = (c[16 + i] >> 9) | (i + 17 < 34 ? c[17 + i] << 23 : 0u);
    carry += static_cast<uint64_t>(low) + high;
    out[i] = static_cast<uint32_t>(carry);
    carry >>= 32;
  }
  Settle(f, out, static_cast<int64_t>(carry), 0, 3);
}

}  // namespace

int PrimeField::Init(const EcBigInt& modulus, int id) {
  EcBigInt m;
  EcBigInt::Copy(m, modulus);
  EcBigInt::Normalize(m);
  if (EcBigInt::IsZero(m) != 0) return kEcZeroModulus;
  if (m.wordCount > kFieldWords) return kEcOverflow;
  k = m.wordCount;
  bits = EcBigInt::BitLength(m);
  std::memset(p.w, 0, sizeof p.w);
  std::memcpy(p.w, m.words, sizeof(uint32_t) * k);
  reductionId = id;
  montgomery = false;
  SetWord(one, 1);
  // A fast reduction only fits the prime it was written for.
  static const int kWordsOf[] = {6, 7, 8, 12, 17};
  if (id >= ecreduction::kP192 && id <= ecreduction::kP521 && kWordsOf[id - ecreduction::kP192] != k) {
    reductionId = ecreduction::kGeneric;
  }
  return 0;
}

void PrimeField::UseMontgomery() {
  if (reductionId >= ecreduction::kP192 && reductionId <= ecreduction::kP521) return;
  if ((p.w[0] & 1u) == 0 || k < 1) return;
  uint32_t wide[2 * kFieldWords + 1] = {};
  wide[k] = 1;
  ecwords::Remainder(wide, k + 1, p.w, k, one.w);
  wide[k] = 0;
  wide[2 * k] = 1;
  ecwords::Remainder(wide, 2 * k + 1, p.w, k, rSquared.w);
  mPrime = ecwords::NegInverse32(p.w[0]);
  montgomery = true;
}

void PrimeField::ToWorking(FieldElem& x) const {
  if (montgomery) Mul(x, rSquared, x);
}

void PrimeField::FromWorking(FieldElem& x) const {
  if (!montgomery) return;
  FieldElem plainOne;
  SetWord(plainOne, 1);
  Mul(x, plainOne, x);
}

void PrimeField::Load(const EcBigInt& v, FieldElem& out) const {
  int n = v.wordCount < 0 ? 0 : (v.wordCount > EcBigInt::kMaxWords ? EcBigInt::kMaxWords : v.wordCount);
  int used = n;
  while (used > 0 && v.words[used - 1] == 0) --used;
  if (used > k || (used == k && ecwords::Compare(v.words, p.w, k) >= 0)) {
    ecwords::Remainder(v.words, used, p.w, k, out.w);
  } else {
    for (int i = 0; i < k; ++i) out.w[i] = i < used ? v.words[i] : 0u;
  }
}

void PrimeField::Store(const FieldElem& v, EcBigInt& out) const {
  const int old = out.wordCount < k ? k : (out.wordCount > EcBigInt::kMaxWords ? EcBigInt::kMaxWords : out.wordCount);
  std::memcpy(out.words, v.w, sizeof(uint32_t) * k);
  std::memset(out.words + k, 0, sizeof(uint32_t) * (old - k));
  out.wordCount = k;
  out.sign = 1;
}

void PrimeField::Reduce(const uint32_t* wide, int n, FieldElem& out) const {
  uint32_t c[2 * kFieldWords + 2];
  const int full = 2 * k;
  for (int i = 0; i < full + 2; ++i) c[i] = i < n ? wide[i] : 0u;
  switch (reductionId) {
    case ecreduction::kP192:
      ReduceByTerms(*this, kP192Terms, 4, c, out.w);
      return;
    case ecreduction::kP224:
      ReduceByTerms(*this, kP224Terms, 5, c, out.w);
      return;
    case ecreduction::kP256:
      ReduceByTerms(*this, kP256Terms, 9, c, out.w);
      return;
    case ecreduction::kP384:
      ReduceByTerms(*this, kP384Terms, 10, c, out.w);
      return;
    case ecreduction::kP521:
      ReduceP521(*this, c, out.w);
      return;
    default:
      ecwords::Remainder(c, full, p.w, k, out.w);
  }
}

void PrimeField::Mul(const FieldElem& a, const FieldElem& b, FieldElem& out) const {
  if (montgomery) {
    uint32_t scratch[kFieldWords + 2];
    uint32_t r[kFieldWords];
    ecwords::MontMulWords(a.w, b.w, p.w, mPrime, k, scratch, r);
    std::memcpy(out.w, r, sizeof(uint32_t) * k);
    return;
  }
  uint32_t t[2 * kFieldWords];
  std::memset(t, 0, sizeof(uint32_t) * 2 * k);
  for (int i = 0; i < k; ++i) {
    uint64_t carry = 0;
    const uint64_t ai = a.w[i];
    for (int j = 0; j < k; ++j) {
      carry += t[i + j] + ai * b.w[j];
      t[i + j] = static_cast<uint32_t>(carry);
      carry >>= 32;
    }
    t[i + k] = static_cast<uint32_t>(carry);
  }
  Reduce(t, 2 * k, out);
}

void PrimeField::Add(const FieldElem& a, const FieldElem& b, FieldElem& out) const {
  uint32_t sum[kFieldWords];
  uint32_t diff[kFieldWords];
  uint64_t carry = 0;
  for (int i = 0; i < k; ++i) {
    carry += static_cast<uint64_t>(a.w[i]) + b.w[i];
    sum[i] = static_cast<uint32_t>(carry);
    carry >>= 32;
  }
  int64_t borrow = 0;
  for (int i = 0; i < k; ++i) {
    const int64_t d = static_cast<int64_t>(sum[i]) - p.w[i] - borrow;
    diff[i] = static_cast<uint32_t>(d);
    borrow = d < 0 ? 1 : 0;
  }
  // keep the sum when it is below p: borrow out of the subtraction and no carry
  const uint32_t keep = 0u - static_cast<uint32_t>(borrow & ~static_cast<int64_t>(carry) & 1);
  for (int i = 0; i < k; ++i) out.w[i] = (sum[i] & keep) | (diff[i] & ~keep);
}

void PrimeField::Sub(const FieldElem& a, const FieldElem& b, FieldElem& out) const {
  int64_t borrow = 0;
  uint32_t diff[kFieldWords];
  for (int i = 0; i < k; ++i) {
    const int64_t d = static_cast<int64_t>(a.w[i]) - b.w[i] - borrow;
    diff[i] = static_cast<uint32_t>(d);
    borrow = d < 0 ? 1 : 0;
  }
  const uint32_t mask = 0u - static_cast<uint32_t>(borrow);
  uint64_t carry = 0;
  for (int i = 0; i < k; ++i) {
    carry += static_cast<uint64_t>(diff[i]) + (p.w[i] & mask);
    out.w[i] = static_cast<uint32_t>(carry);
    carry >>= 32;
  }
}

void PrimeField::Halve(const FieldElem& a, FieldElem& out) const {
  const uint32_t mask = 0u - (a.w[0] & 1u);
  uint32_t t[kFieldWords + 1];
  uint64_t carry = 0;
  for (int i = 0; i < k; ++i) {
    carry += static_cast<uint64_t>(a.w[i]) + (p.w[i] & mask);
    t[i] = static_cast<uint32_t>(carry);
    carry >>= 32;
  }
  t[k] = static_cast<uint32_t>(carry);
  for (int i = 0; i < k; ++i) out.w[i] = (t[i] >> 1) | (t[i + 1] << 31);
}

void PrimeField::Pow(const FieldElem& a, const uint32_t* e, int eBits, FieldElem& out) const {
  FieldElem acc = one;
  FieldElem base = a;
  bool started = false;
  for (int i = eBits - 1; i >= 0; --i) {
    if (started) Sqr(acc, acc);
    if (((e[i >> 5] >> (i & 31)) & 1u) != 0) {
      if (started) {
        Mul(acc, base, acc);
      } else {
        acc = base;
        started = true;
      }
    }
  }
  out = acc;
}

void PrimeField::InvertFermat(const FieldElem& a, FieldElem& out) const {
  uint32_t e[kFieldWords];
  std::memcpy(e, p.w, sizeof(uint32_t) * k);
  // p - 2 (p odd and above 2)
  int64_t borrow = 2;
  for (int i = 0; i < k && borrow != 0; ++i) {
    const int64_t d = static_cast<int64_t>(e[i]) - borrow;
    e[i] = static_cast<uint32_t>(d);
    borrow = d < 0 ? 1 : 0;
  }
  Pow(a, e, bits, out);
}

void PrimeField::Divide(const FieldElem& num, const FieldElem& den, FieldElem& out) const {
  FieldElem u = den;
  FieldElem v = p;
  FieldElem g1 = num;
  FieldElem g2;
  SetWord(g2, 0);
  FieldElem one;
  SetWord(one, 1);
  auto shiftRight = [this](FieldElem& x) {
    for (int i = 0; i < k; ++i) x.w[i] = (x.w[i] >> 1) | (i + 1 < k ? x.w[i + 1] << 31 : 0u);
  };
  auto minus = [this](FieldElem& x, const FieldElem& y) {
    int64_t borrow = 0;
    for (int i = 0; i < k; ++i) {
      const int64_t d = static_cast<int64_t>(x.w[i]) - y.w[i] - borrow;
      x.w[i] = static_cast<uint32_t>(d);
      borrow = d < 0 ? 1 : 0;
    }
  };
  while (!Equal(u, one) && !Equal(v, one)) {
    if (IsZero(u) || IsZero(v)) break;  // no inverse: p is not prime or den shares a factor with it
    while ((u.w[0] & 1u) == 0) {
      shiftRight(u);
      Halve(g1, g1);
    }
    while ((v.w[0] & 1u) == 0) {
      shiftRight(v);
      Halve(g2, g2);
    }
    if (Cmp(u, v) >= 0) {
      minus(u, v);
      Sub(g1, g2, g1);
    } else {
      minus(v, u);
      Sub(g2, g1, g2);
    }
  }
  out = Equal(u, one) ? g1 : g2;
}

namespace {

// U_K and V_K of the Lucas sequences of P and Q; 0 when P^2 - 4Q is 0.
int LucasStep(const PrimeField& f, const FieldElem& P, const FieldElem& Q, const uint32_t* K, int kBits,
              FieldElem& U, FieldElem& V) {
  FieldElem delta, t, t2;
  f.Sqr(P, delta);
  f.Add(Q, Q, t);
  f.Add(t, t, t);
  f.Sub(delta, t, delta);
  if (f.IsZero(delta)) return 0;
  f.SetWord(U, 1);
  V = P;
  for (int i = kBits - 2; i >= 0; --i) {
    FieldElem uv, v2, u2;
    f.Mul(U, V, uv);
    f.Sqr(V, v2);
    f.Sqr(U, u2);
    f.Mul(delta, u2, t);
    f.Add(v2, t, t);
    f.Halve(t, V);
    U = uv;
    if (((K[i >> 5] >> (i & 31)) & 1u) != 0) {
      f.Mul(P, U, t);
      f.Add(t, V, t);
      f.Mul(P, V, t2);
      f.Mul(delta, U, uv);
      f.Add(t2, uv, t2);
      f.Halve(t, U);
      f.Halve(t2, V);
    }
  }
  return 1;
}

}  // namespace

int PrimeField::Sqrt(const FieldElem& a, FieldElem& root) const {
  FieldElem r, check;
  uint32_t e[kFieldWords + 1];
  if ((p.w[0] & 3u) == 3u) {
    // e = (p >> 2) + 1
    for (int i = 0; i < k; ++i) e[i] = (p.w[i] >> 2) | (i + 1 < k ? p.w[i + 1] << 30 : 0u);
    for (int i = 0; i < k && ++e[i] == 0; ++i) {
    }
    Pow(a, e, bits, r);
    Sqr(r, check);
    if (!Equal(check, a)) return 0;
    root = r;
    return 1;
  }
  if ((p.w[0] & 7u) == 5u) {
    for (int i = 0; i < k; ++i) e[i] = (p.w[i] >> 3) | (i + 1 < k ? p.w[i + 1] << 29 : 0u);
    FieldElem twoA, v, i2, t;
    Add(a, a, twoA);
    Pow(twoA, e, bits, v);
    Sqr(v, t);
    Mul(twoA, t, i2);
    FieldElem one;
    SetWord(one, 1);
    Sub(i2, one, i2);
    Mul(a, v, t);
    Mul(t, i2, r);
    Sqr(r, check);
    if (!Equal(check, a)) return 0;
    root = r;
    return 1;
  }
  // p = 1 mod 8: Lucas sequences with random P, K = (p >> 1) + 1
  if (IsZero(a)) {
    root = a;
    return 1;
  }
  for (int i = 0; i < k; ++i) e[i] = (p.w[i] >> 1) | (i + 1 < k ? p.w[i + 1] << 31 : 0u);
  for (int i = 0; i < k && ++e[i] == 0; ++i) {
  }
  int kBits = 32 * k;
  while (kBits > 0 && ((e[(kBits - 1) >> 5] >> ((kBits - 1) & 31)) & 1u) == 0) --kBits;
  FieldElem fourA, one, pMinusOne;
  Add(a, a, fourA);
  Add(fourA, fourA, fourA);
  SetWord(one, 1);
  SetWord(pMinusOne, 0);
  Sub(pMinusOne, one, pMinusOne);
  RandomSource source;
  for (int attempt = 0; attempt < 200; ++attempt) {
    uint32_t raw[kFieldWords];
    source.Fill(reinterpret_cast<uint8_t*>(raw), 0, 4 * k);
    FieldElem P;
    Reduce(raw, k, P);
    FieldElem U, V, v2;
    if (LucasStep(*this, P, a, e, kBits, U, V) == 0) continue;
    Sqr(V, v2);
    if (Equal(v2, fourA)) {
      Halve(V, root);
      return 1;
    }
    if (!Equal(U, one) && !Equal(U, pMinusOne)) return 0;
  }
  return 0;
}

int PrimeField::Cmp(const FieldElem& a, const FieldElem& b) const { return ecwords::Compare(a.w, b.w, k); }

void PrimeField::Select(FieldElem& out, const FieldElem& a, const FieldElem& b, uint32_t maskB) const {
  for (int i = 0; i < k; ++i) out.w[i] = (a.w[i] & ~maskB) | (b.w[i] & maskB);
}

}  // namespace tornell
