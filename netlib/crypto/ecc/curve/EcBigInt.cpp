#include "crypto/ecc/curve/EcBigInt.h"

#include <cstring>

#include "crypto/random/RandomSource.h"

namespace tornell {

namespace {

constexpr int kMax = EcBigInt::kMaxWords;

int Used(const EcBigInt& v) {
  int n = v.wordCount;
  if (n > kMax) n = kMax;
  while (n > 0 && v.words[n - 1] == 0) --n;
  return n;
}

bool CountsOk(const EcBigInt& v) { return v.wordCount <= kMax; }

int MagCompare(const EcBigInt& a, const EcBigInt& b) {
  const int na = Used(a);
  const int nb = Used(b);
  if (na != nb) return na > nb ? 1 : -1;
  return ecwords::Compare(a.words, b.words, na);
}

void SetCount(EcBigInt& v, int n) {
  v.wordCount = n < 1 ? 1 : n;
  if (n < 1) v.words[0] = 0;
  EcBigInt::Normalize(v);
}

// out = |a| + |b|; out may be a or b.
int MagAdd(const EcBigInt& a, const EcBigInt& b, EcBigInt& out) {
  const int na = Used(a);
  const int nb = Used(b);
  const EcBigInt& lo = na >= nb ? b : a;
  const EcBigInt& hi = na >= nb ? a : b;
  const int n = na >= nb ? na : nb;
  const int m = na >= nb ? nb : na;
  uint64_t carry = 0;
  for (int i = 0; i < n; ++i) {
    carry += static_cast<uint64_t>(hi.words[i]) + (i < m ? lo.words[i] : 0u);
    out.words[i] = static_cast<uint32_t>(carry);
    carry >>= 32;
  }
  int count = n;
  if (carry != 0) {
    if (n >= kMax) return kEcOverflow;
    out.words[n] = 1;
    count = n + 1;
  }
  SetCount(out, count);
  return 0;
}

// out = |a| - |b| for |a| >= |b|; out may be a or b.
void MagSub(const EcBigInt& a, const EcBigInt& b, EcBigInt& out) {
  const int na = Used(a);
  const int nb = Used(b);
  int64_t borrow = 0;
  for (int i = 0; i < na; ++i) {
    int64_t t = static_cast<int64_t>(a.words[i]) - (i < nb ? b.words[i] : 0u) - borrow;
    borrow = t < 0 ? 1 : 0;
    out.words[i] = static_cast<uint32_t>(t);
  }
  SetCount(out, na);
}

int SignedAdd(const EcBigInt& a, uint32_t signA, const EcBigInt& b, uint32_t signB, EcBigInt& out) {
  if (!CountsOk(a) || !CountsOk(b)) return kEcOverflow;
  if (signA == signB) {
    const int status = MagAdd(a, b, out);
    if (status != 0) return status;
    out.sign = signA;
  } else if (MagCompare(a, b) >= 0) {
    MagSub(a, b, out);
    out.sign = signA;
  } else {
    MagSub(b, a, out);
    out.sign = signB;
  }
  if (EcBigInt::IsZero(out)) out.sign = 1;
  return 0;
}

}  // namespace

constinit const EcBigInt EcBigInt::One;

void EcBigInt::SetZero(EcBigInt& v) {
  v.wordCount = 1;
  std::memset(v.words, 0, sizeof v.words);
}

void EcBigInt::Copy(EcBigInt& dst, const EcBigInt& src) {
  if (&dst == &src) return;
  int n = src.wordCount < 0 ? 0 : (src.wordCount > kMax ? kMax : src.wordCount);
  dst.wordCount = src.wordCount;
  std::memcpy(dst.words, src.words, sizeof(uint32_t) * n);
  std::memset(dst.words + n, 0, sizeof(uint32_t) * (kMax - n));
  dst.sign = src.sign;
}

void EcBigInt::Normalize(EcBigInt& v) {
  if (v.wordCount > kMax) v.wordCount = kMax;
  while (v.wordCount > 1 && v.words[v.wordCount - 1] == 0) --v.wordCount;
  if (v.wordCount < 1) {
    v.wordCount = 1;
    v.words[0] = 0;
  }
}

int EcBigInt::IsZero(const EcBigInt& v) { return Used(v) == 0 ? 1 : 0; }

int EcBigInt::IsEven(const EcBigInt& v) { return (v.words[0] & 1u) == 0 ? 1 : 0; }

int EcBigInt::TestBit(const EcBigInt& v, int position) {
  if (position < 0 || position >= kMax * 32) return 0;
  return static_cast<int>((v.words[position >> 5] >> (position & 31)) & 1u);
}

int EcBigInt::TestBitFromOne(const EcBigInt& v, unsigned position) {
  if (position == 0) return 0;
  return TestBit(v, static_cast<int>(position - 1));
}

void EcBigInt::SetBit(EcBigInt& v, int position, int on) {
  if (position < 0 || position >= kMax * 32) return;
  const int index = position >> 5;
  const uint32_t bit = 1u << (position & 31);
  if (on != 0) {
    v.words[index] |= bit;
  } else {
    v.words[index] &= ~bit;
  }
  if (index >= v.wordCount) v.wordCount = index + 1;
}

int EcBigInt::BitLength(const EcBigInt& v) {
  const int n = Used(v);
  if (n == 0) return 0;
  return 32 * (n - 1) + (32 - __builtin_clz(v.words[n - 1]));
}

int EcBigInt::GreaterMagnitude(const EcBigInt& a, const EcBigInt& b) { return MagCompare(a, b) > 0 ? 1 : 0; }

int EcBigInt::Equals(const EcBigInt& a, const EcBigInt& b) {
  if (MagCompare(a, b) != 0) return 0;
  return (IsZero(a) != 0 || a.sign == b.sign) ? 1 : 0;
}

int EcBigInt::Add(const EcBigInt& a, const EcBigInt& b, EcBigInt& out) {
  return SignedAdd(a, a.sign, b, b.sign, out);
}

int EcBigInt::Subtract(const EcBigInt& a, const EcBigInt& b, EcBigInt& out) {
  return SignedAdd(a, a.sign, b, b.sign ^ 1u, out);
}

int EcBigInt::AddWord(const EcBigInt& v, uint32_t w, EcBigInt& out) {
  if (!CountsOk(v)) return kEcOverflow;
  int n = v.wordCount < 1 ? 1 : v.wordCount;
  uint64_t carry = w;
  int i = 0;
  for (; i < n; ++i) {
    carry += (i < v.wordCount ? v.words[i] : 0u);
    out.words[i] = static_cast<uint32_t>(carry);
    carry >>= 32;
  }
  if (carry != 0) {
    if (n >= kMax) return kEcOverflow;
    out.words[n++] = 1;
  }
  out.wordCount = n;
  return 0;
}

int EcBigInt::Increment(EcBigInt& v) { return Add(v, One, v); }

int EcBigInt::Multiply(const EcBigInt& a, const EcBigInt& b, EcBigInt& out) {
  if (!CountsOk(a) || !CountsOk(b)) return kEcOverflow;
  const int na = Used(a);
  const int nb = Used(b);
  if (na == 0 || nb == 0) {
    SetZero(out);
    out.sign = 1;
    return 0;
  }
  if (na + nb > kMax) return kEcOverflow;
  std::memset(out.words, 0, sizeof(uint32_t) * (na + nb));
  for (int i = 0; i < nb; ++i) {
    uint64_t carry = 0;
    const uint64_t bi = b.words[i];
    for (int j = 0; j < na; ++j) {
      carry += out.words[i + j] + bi * a.words[j];
      out.words[i + j] = static_cast<uint32_t>(carry);
      carry >>= 32;
    }
    out.words[i + na] = static_cast<uint32_t>(carry);
  }
  out.sign = a.sign == b.sign ? 1u : 0u;
  SetCount(out, na + nb);
  return 0;
}

int EcBigInt::MultiplyWord(const EcBigInt& a, uint32_t w, EcBigInt& out) {
  if (!CountsOk(a)) return kEcOverflow;
  const int n = a.wordCount < 1 ? 1 : a.wordCount;
  uint64_t carry = 0;
  for (int i = 0; i < n; ++i) {
    carry += static_cast<uint64_t>(i < a.wordCount ? a.words[i] : 0u) * w;
    out.words[i] = static_cast<uint32_t>(carry);
    carry >>= 32;
  }
  int count = n;
  if (carry != 0) {
    if (n >= kMax) return kEcOverflow;
    out.words[n] = static_cast<uint32_t>(carry);
    count = n + 1;
  }
  SetCount(out, count);
  return 0;
}

void EcBigInt::ShiftLeftOne(EcBigInt& v) {
  const int n = v.wordCount < 1 ? 1 : (v.wordCount > kMax ? kMax : v.wordCount);
  uint32_t carry = 0;
  for (int i = 0; i < n; ++i) {
    const uint32_t w = v.words[i];
    v.words[i] = (w << 1) | carry;
    carry = w >> 31;
  }
  v.wordCount = n;
  if (carry != 0 && n < kMax) {
    v.words[n] = 1;
    v.wordCount = n + 1;
  }
}

void EcBigInt::ShiftRightOne(EcBigInt& v) {
  const int n = v.wordCount < 1 ? 1 : (v.wordCount > kMax ? kMax : v.wordCount);
  for (int i = 0; i < n; ++i) {
    const uint32_t next = i + 1 < n ? v.words[i + 1] : 0u;
    v.words[i] = (v.words[i] >> 1) | (next << 31);
  }
  v.wordCount = n;
  if (n > 1 && v.words[n - 1] == 0) v.wordCount = n - 1;
}

int EcBigInt::ShiftLeft(EcBigInt& v, int bits) {
  if (bits <= 0) return 0;
  if (v.wordCount + bits / 32 > kMax - 1) return kEcOverflow;
  const int n = v.wordCount < 1 ? 1 : v.wordCount;
  const int ws = bits / 32;
  const int bs = bits % 32;
  const int total = n + ws + 1;
  for (int i = total - 1; i >= 0; --i) {
    const int src = i - ws;
    const uint32_t hi = (src >= 0 && src < n) ? v.words[src] : 0u;
    const uint32_t lo = (src - 1 >= 0 && src - 1 < n) ? v.words[src - 1] : 0u;
    v.words[i] = bs == 0 ? hi : (hi << bs) | (lo >> (32 - bs));
  }
  v.wordCount = total;
  Normalize(v);
  return 0;
}

void EcBigInt::ShiftRight(EcBigInt& v, unsigned bits) {
  if (bits == 0) return;
  const int n = v.wordCount < 1 ? 1 : (v.wordCount > kMax ? kMax : v.wordCount);
  const unsigned ws = bits / 32;
  const int bs = static_cast<int>(bits % 32);
  if (ws >= static_cast<unsigned>(n)) {
    v.wordCount = 1;
    v.words[0] = 0;
    return;
  }
  const int left = n - static_cast<int>(ws);
  for (int i = 0; i < left; ++i) {
    const uint32_t lo = v.words[i + ws];
    const uint32_t hi = (i + 1 < left) ? v.words[i + 1 + ws] : 0u;
    v.words[i] = bs == 0 ? lo : (lo >> bs) | (hi << (32 - bs));
  }
  for (int i = left; i < n; ++i) v.words[i] = 0;
  v.wordCount = left;
  Normalize(v);
}

int EcBigInt::ShiftWordsLeft(EcBigInt& v, int n) {
  if (n <= 0) return 0;
  if (v.wordCount + n > kMax) return kEcOverflow;
  const int count = v.wordCount < 1 ? 1 : v.wordCount;
  std::memmove(v.words + n, v.words, sizeof(uint32_t) * count);
  std::memset(v.words, 0, sizeof(uint32_t) * n);
  v.wordCount = count + n;
  return 0;
}

int EcBigInt::ShiftLeftInto(const EcBigInt& src, unsigned bits, EcBigInt& out) {
  const int n = src.wordCount < 1 ? 1 : src.wordCount;
  if (static_cast<int64_t>(n) + bits / 32 + 1 > kMax) return kEcOverflow;
  const int total = n + static_cast<int>(bits / 32) + 1;
  EcBigInt tmp;
  Copy(tmp, src);
  std::memset(out.words, 0, sizeof(uint32_t) * total);
  const int ws = static_cast<int>(bits / 32);
  const int bs = static_cast<int>(bits % 32);
  for (int i = 0; i < n; ++i) {
    out.words[i + ws] |= bs == 0 ? tmp.words[i] : tmp.words[i] << bs;
    if (bs != 0) out.words[i + ws + 1] |= tmp.words[i] >> (32 - bs);
  }
  out.wordCount = total;
  Normalize(out);
  return 0;
}

int EcBigInt::Mod(const EcBigInt& a, const EcBigInt& m, EcBigInt& out) {
  if (!CountsOk(a) || !CountsOk(m)) return kEcOverflow;
  const int nm = Used(m);
  if (nm == 0) return kEcZeroModulus;
  uint32_t r[kMax];
  ecwords::Remainder(a.words, Used(a), m.words, nm, r);
  std::memcpy(out.words, r, sizeof(uint32_t) * nm);
  out.sign = 1;
  SetCount(out, nm);
  return 0;
}

int EcBigInt::ModPow(const EcBigInt& base, const EcBigInt& exponent, const EcBigInt& m, EcBigInt& out) {
  if (!CountsOk(base) || !CountsOk(exponent) || !CountsOk(m)) return kEcOverflow;
  const int k = Used(m);
  if (k == 0) return kEcZeroModulus;
  if ((m.words[0] & 1u) == 0) return 0;
  if (k >= kMax) return kEcOverflow;
  const uint32_t mPrime = ecwords::NegInverse32(m.words[0]);
  // A = base * R mod m
  uint32_t wide[2 * kMax];
  const int nb = Used(base);
  if (nb + k > static_cast<int>(sizeof wide / sizeof wide[0])) return kEcOverflow;
  std::memset(wide, 0, sizeof(uint32_t) * k);
  std::memcpy(wide + k, base.words, sizeof(uint32_t) * nb);
  uint32_t acc[kMax];
  uint32_t mult[kMax];
  uint32_t tmp[kMax + 2];
  uint32_t next[kMax];
  ecwords::Remainder(wide, nb + k, m.words, k, mult);
  std::memcpy(acc, mult, sizeof(uint32_t) * k);
  const int bits = BitLength(exponent);
  if (bits == 0) {
    std::memset(wide, 0, sizeof(uint32_t) * kMax);
    wide[k] = 1;  // R mod m converts back to 1
    ecwords::Remainder(wide, k + 1, m.words, k, acc);
  }
  for (int i = bits - 2; i >= 0; --i) {
    ecwords::MontMulWords(acc, acc, m.words, mPrime, k, tmp, next);
    std::memcpy(acc, next, sizeof(uint32_t) * k);
    if (TestBit(exponent, i) != 0) {
      ecwords::MontMulWords(acc, mult, m.words, mPrime, k, tmp, next);
      std::memcpy(acc, next, sizeof(uint32_t) * k);
    }
  }
  uint32_t one[kMax] = {1};
  ecwords::MontMulWords(acc, one, m.words, mPrime, k, tmp, next);
  std::memcpy(out.words, next, sizeof(uint32_t) * k);
  out.sign = 1;
  SetCount(out, k);
  return 0;
}

int EcBigInt::ModInverse(const EcBigInt& a, const EcBigInt& m, EcBigInt& gcdOut, EcBigInt& inverseOut) {
  if (!CountsOk(a) || !CountsOk(m)) return kEcOverflow;
  if (IsZero(a) != 0 || IsZero(m) != 0) return kEcZeroModulus;
  EcBigInt x, y, g, u, v, A, B, C, D;
  Copy(x, m);
  x.sign = 1;
  Copy(y, a);
  y.sign = 1;
  Normalize(x);
  Normalize(y);
  int shift = 0;
  while (IsEven(x) != 0 && IsEven(y) != 0) {
    ShiftRightOne(x);
    ShiftRightOne(y);
    ++shift;
  }
  Copy(u, x);
  Copy(v, y);
  SetZero(B);
  B.sign = 1;
  SetZero(C);
  C.sign = 1;
  // A and D start at 1 from the constructor
  int status = 0;
  while (IsZero(u) == 0) {
    while (IsEven(u) != 0) {
      ShiftRightOne(u);
      if (IsEven(A) == 0 || IsEven(B) == 0) {
        if ((status = Add(A, y, A)) != 0 || (status = Subtract(B, x, B)) != 0) return status;
      }
      ShiftRightOne(A);
      ShiftRightOne(B);
    }
    while (IsEven(v) != 0) {
      ShiftRightOne(v);
      if (IsEven(C) == 0 || IsEven(D) == 0) {
        if ((status = Add(C, y, C)) != 0 || (status = Subtract(D, x, D)) != 0) return status;
      }
      ShiftRightOne(C);
      ShiftRightOne(D);
    }
    if (MagCompare(u, v) >= 0) {
      MagSub(u, v, u);
      if ((status = Subtract(A, C, A)) != 0 || (status = Subtract(B, D, B)) != 0) return status;
    } else {
      MagSub(v, u, v);
      if ((status = Subtract(C, A, C)) != 0 || (status = Subtract(D, B, D)) != 0) return status;
    }
  }
  Copy(g, v);
  if ((status = ShiftLeft(g, shift)) != 0) return status;
  EcBigInt modulus;
  Copy(modulus, m);
  modulus.sign = 1;
  while (D.sign == 0 && IsZero(D) == 0) {
    if ((status = Add(D, modulus, D)) != 0) return status;
  }
  D.sign = 1;
  if (MagCompare(D, modulus) >= 0) {
    if ((status = Mod(D, modulus, v)) != 0) return status;
    Copy(D, v);
  }
  Copy(gcdOut, g);
  Copy(inverseOut, D);
  return 0;
}

int EcBigInt::MontgomeryMultiply(const EcBigInt& a, const EcBigInt& b, const EcBigInt& m, uint32_t mPrime, int k,
                                 EcBigInt& out) {
  if (!CountsOk(a) || !CountsOk(b) || !CountsOk(m) || k >= kMax || k < 1) return kEcOverflow;
  if (IsZero(m) != 0) return kEcZeroModulus;
  uint32_t tmp[kMax + 2];
  uint32_t res[kMax];
  ecwords::MontMulWords(a.words, b.words, m.words, mPrime, k, tmp, res);
  std::memcpy(out.words, res, sizeof(uint32_t) * k);
  out.wordCount = k;
  return 0;
}

int EcBigInt::Random(EcBigInt& v, int n, RandomSource& source) {
  if (n > kMax) return kEcOverflow;
  if (n < 1) {
    SetZero(v);
    v.sign = 1;
    return 0;
  }
  source.Fill(reinterpret_cast<uint8_t*>(v.words), 0, n * 4);
  std::memset(v.words + n, 0, sizeof(uint32_t) * (kMax - n));
  v.wordCount = n;
  v.sign = 1;
  return 0;
}

int EcBigInt::FromBytes(const void* bytes, int64_t length, EcBigInt& out) {
  const unsigned char* p = static_cast<const unsigned char*>(bytes);
  if (p == nullptr || length < 0) length = 0;
  while (length > 0 && *p == 0) {
    ++p;
    --length;
  }
  if (length > kMaxBytes) return kEcOverflow;
  const int n = static_cast<int>(length);
  const int count = (n + 3) / 4;
  for (int i = 0; i < count; ++i) {
    uint32_t w = 0;
    const int end = n - 4 * i;
    const int start = end - 4 < 0 ? 0 : end - 4;
    for (int j = start; j < end; ++j) w = (w << 8) | p[j];
    out.words[i] = w;
  }
  if (count == 0) out.words[0] = 0;
  out.wordCount = count < 1 ? 1 : count;
  Normalize(out);
  return 0;
}

namespace ecwords {

int Compare(const uint32_t* a, const uint32_t* b, int n) {
  for (int i = n - 1; i >= 0; --i) {
    if (a[i] != b[i]) return a[i] > b[i] ? 1 : -1;
  }
  return 0;
}

void Remainder(const uint32_t* a, int na, const uint32_t* m, int nm, uint32_t* r) {
  while (na > 0 && a[na - 1] == 0) --na;
  if (na < nm || (na == nm && Compare(a, m, nm) < 0)) {
    for (int i = 0; i < nm; ++i) r[i] = i < na ? a[i] : 0u;
    return;
  }
  if (nm == 1) {
    uint64_t rem = 0;
    for (int i = na - 1; i >= 0; --i) rem = ((rem << 32) | a[i]) % m[0];
    r[0] = static_cast<uint32_t>(rem);
    return;
  }
  const int s = __builtin_clz(m[nm - 1]);
  uint32_t v[kMax];
  uint32_t u[2 * kMax + 1];
  for (int i = nm - 1; i > 0; --i) v[i] = s == 0 ? m[i] : (m[i] << s) | (m[i - 1] >> (32 - s));
  v[0] = m[0] << s;
  u[na] = s == 0 ? 0u : a[na - 1] >> (32 - s);
  for (int i = na - 1; i > 0; --i) u[i] = s == 0 ? a[i] : (a[i] << s) | (a[i - 1] >> (32 - s));
  u[0] = a[0] << s;
  const uint64_t base = 1ull << 32;
  for (int j = na - nm; j >= 0; --j) {
    const uint64_t num = (static_cast<uint64_t>(u[j + nm]) << 32) | u[j + nm - 1];
    uint64_t qhat = num / v[nm - 1];
    uint64_t rhat = num % v[nm - 1];
    while (qhat >= base || qhat * v[nm - 2] > ((rhat << 32) | u[j + nm - 2])) {
      --qhat;
      rhat += v[nm - 1];
      if (rhat >= base) break;
    }
    int64_t k = 0;
    for (int i = 0; i < nm; ++i) {
      const uint64_t p = qhat * v[i];
      const int64_t t = static_cast<int64_t>(u[i + j]) - k - static_cast<int64_t>(p & 0xFFFFFFFFu);
      u[i + j] = static_cast<uint32_t>(t);
      k = static_cast<int64_t>(p >> 32) - (t >> 32);
    }
    const int64_t t = static_cast<int64_t>(u[j + nm]) - k;
    u[j + nm] = static_cast<uint32_t>(t);
    if (t < 0) {
      uint64_t c = 0;
      for (int i = 0; i < nm; ++i) {
        c += static_cast<uint64_t>(u[i + j]) + v[i];
        u[i + j] = static_cast<uint32_t>(c);
        c >>= 32;
      }
      u[j + nm] += static_cast<uint32_t>(c);
    }
  }
  for (int i = 0; i < nm; ++i) r[i] = s == 0 ? u[i] : (u[i] >> s) | (u[i + 1] << (32 - s));
}

uint32_t NegInverse32(uint32_t m0) {
  uint32_t inv = m0;  // Newton iteration: correct to 3 bits for odd m0, doubling each step
  for (int i = 0; i < 5; ++i) inv *= 2u - m0 * inv;
  return 0u - inv;
}

// out[0..k) = a * b * 2^(-32k) mod m, all k-word arrays; t needs k + 2 words.
void MontMulWords(const uint32_t* a, const uint32_t* b, const uint32_t* m, uint32_t mPrime, int k, uint32_t* t,
                  uint32_t* out) {
  for (int i = 0; i < k + 2; ++i) t[i] = 0;
  for (int i = 0; i < k; ++i) {
    uint64_t carry = 0;
    const uint64_t ai = a[i];
    for (int j = 0; j < k; ++j) {
      carry += t[j] + ai * b[j];
      t[j] = static_cast<uint32_t>(carry);
      carry >>= 32;
    }
    carry += t[k];
    t[k] = static_cast<uint32_t>(carry);
    t[k + 1] = static_cast<uint32_t>(carry >> 32);
    const uint64_t u = static_cast<uint32_t>(t[0] * mPrime);
    carry = (t[0] + u * m[0]) >> 32;
    for (int j = 1; j < k; ++j) {
      carry += t[j] + u * m[j];
      t[j - 1] = static_cast<uint32_t>(carry);
      carry >>= 32;
    }
    carry += t[k];
    t[k - 1] = static_cast<uint32_t>(carry);
    t[k] = t[k + 1] + static_cast<uint32_t>(carry >> 32);
  }
  // t < 2m: subtract m once when t >= m, without a branch on the value
  int64_t borrow = 0;
  for (int i = 0; i < k; ++i) {
    const int64_t d = static_cast<int64_t>(t[i]) - m[i] - borrow;
    out[i] = static_cast<uint32_t>(d);
    borrow = d < 0 ? 1 : 0;
  }
  const uint32_t keep = 0u - static_cast<uint32_t>(borrow > static_cast<int64_t>(t[k]));  // t < m
  for (int i = 0; i < k; ++i) out[i] = (t[i] & keep) | (out[i] & ~keep);
}


}  // namespace ecwords

}  // namespace tornell
