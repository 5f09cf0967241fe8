#pragma once
// Magnitude arithmetic on little-endian arrays of 64-bit limbs. Every routine
// works on caller-owned storage so the exponentiation loops never allocate.
#include <cstddef>
#include <cstdint>
#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace tornell::limb {

using Limb = uint64_t;
using DLimb = unsigned __int128;

inline Limb Hi(DLimb v) { return static_cast<Limb>(v >> 64); }
inline Limb Lo(DLimb v) { return static_cast<Limb>(v); }

// Index of the top set bit plus one; 0 for 0.
inline int BitLen(Limb v) { return v == 0 ? 0 : 64 - __builtin_clzll(v); }

// Count of limbs once leading zero limbs are dropped.
inline size_t Trim(const Limb* a, size_t n) {
  while (n > 0 && a[n - 1] == 0) --n;
  return n;
}

inline int Compare(const Limb* a, const Limb* b, size_t n) {
  for (size_t i = n; i-- > 0;) {
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
  }
  return 0;
}

// Compares trimmed magnitudes of possibly different lengths.
inline int CompareTrimmed(const Limb* a, size_t an, const Limb* b, size_t bn) {
  if (an != bn) return an < bn ? -1 : 1;
  return Compare(a, b, an);
}

// r = a + b over n limbs; returns the carry out.
inline Limb AddN(Limb* r, const Limb* a, const Limb* b, size_t n) {
#if defined(__x86_64__)
  // The carry flag chain: one ADC a limb.
  unsigned char c = 0;
  for (size_t i = 0; i < n; ++i) {
    unsigned long long out;
    c = _addcarry_u64(c, a[i], b[i], &out);
    r[i] = out;
  }
  return c;
#else
  Limb carry = 0;
  for (size_t i = 0; i < n; ++i) {
    DLimb s = DLimb(a[i]) + b[i] + carry;
    r[i] = Lo(s);
    carry = Hi(s);
  }
  return carry;
#endif
}

// r = a - b over n limbs; returns the borrow out (0 or 1).
inline Limb SubN(Limb* r, const Limb* a, const Limb* b, size_t n) {
#if defined(__x86_64__)
  unsigned char c = 0;
  for (size_t i = 0; i < n; ++i) {
    unsigned long long out;
    c = _subborrow_u64(c, a[i], b[i], &out);
    r[i] = out;
  }
  return c;
#else
  Limb borrow = 0;
  for (size_t i = 0; i < n; ++i) {
    DLimb d = DLimb(a[i]) - b[i] - borrow;
    r[i] = Lo(d);
    borrow = Hi(d) & 1;
  }
  return borrow;
#endif
}

// r[0..n) += w, propagating; returns the carry out.
inline Limb AddWord(Limb* r, size_t n, Limb w) {
  for (size_t i = 0; i < n && w != 0; ++i) {
    r[i] += w;
    w = r[i] < w ? 1 : 0;
  }
  return w;
}

// r[0..n) -= w, propagating; returns the borrow out.
inline Limb SubWord(Limb* r, size_t n, Limb w) {
  for (size_t i = 0; i < n && w != 0; ++i) {
    Limb old = r[i];
    r[i] = old - w;
    w = old < w ? 1 : 0;
  }
  return w;
}

// r[0..n) = a[0..n) * w; returns the top limb.
inline Limb MulWord(Limb* r, const Limb* a, size_t n, Limb w) {
  Limb carry = 0;
  for (size_t i = 0; i < n; ++i) {
    DLimb p = DLimb(a[i]) * w + carry;
    r[i] = Lo(p);
    carry = Hi(p);
  }
  return carry;
}

// r[0..n) += a[0..n) * w; returns the carry limb.
inline Limb MulAddWord(Limb* r, const Limb* a, size_t n, Limb w) {
  Limb carry = 0;
  for (size_t i = 0; i < n; ++i) {
    DLimb p = DLimb(a[i]) * w + r[i] + carry;
    r[i] = Lo(p);
    carry = Hi(p);
  }
  return carry;
}

// MulAddWord through the MULX/ADCX/ADOX kernel where cpu::path::kMulxAdx is
// active, else the portable loop.
Limb MulAddRow(Limb* r, const Limb* a, size_t n, Limb w);

// r[0..n) -= a[0..n) * w; returns the borrow limb.
inline Limb MulSubWord(Limb* r, const Limb* a, size_t n, Limb w) {
  Limb carry = 0;
  for (size_t i = 0; i < n; ++i) {
    DLimb p = DLimb(a[i]) * w + carry;
    Limb lo = Lo(p);
    carry = Hi(p) + (r[i] < lo ? 1 : 0);
    r[i] -= lo;
  }
  return carry;
}

// r[0..an+bn) = a * b; r must not overlap a or b.
void Mul(Limb* r, const Limb* a, size_t an, const Limb* b, size_t bn);

// r[0..2n) = a * a; r must not overlap a.
void Square(Limb* r, const Limb* a, size_t n);

// Shifts by 0..63 bits in place; returns the bits shifted out.
Limb ShiftLeftBits(Limb* a, size_t n, int bits);
Limb ShiftRightBits(Limb* a, size_t n, int bits);

// Long division of a[0..an) by b[0..bn) (b's top limb non-zero, an >= bn):
// q gets an - bn + 1 limbs, r gets bn limbs.
void DivRem(Limb* q, Limb* r, const Limb* a, size_t an, const Limb* b, size_t bn);

// Quotient and remainder of the 128-bit (hi:lo) by d, hi < d.
inline Limb Div128(Limb hi, Limb lo, Limb d, Limb* rem) {
#if defined(__x86_64__)
  Limb q, r;
  __asm__("divq %4" : "=a"(q), "=d"(r) : "a"(lo), "d"(hi), "rm"(d) : "cc");
  *rem = r;
  return q;
#else
  DLimb n = (DLimb(hi) << 64) | lo;
  *rem = Lo(n % d);
  return Lo(n / d);
#endif
}

// Inverse of an odd limb modulo 2^64 by Newton steps.
inline Limb InverseLimb(Limb w) {
  Limb t = w;  // correct to 3 bits for odd w
  for (int i = 0; i < 5; ++i) t *= 2 - w * t;
  return t;
}

}  // namespace tornell::limb
