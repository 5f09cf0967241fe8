#pragma once
// Montgomery arithmetic modulo an odd number of N 64-bit limbs (little-endian
// limb order). Free functions have internal linkage and the templates take a
// per-translation-unit tag, so variants compiled for different instruction
// sets never share a copy. The modulus is a compile-time constant, so the products with its
// zero and all-ones limbs fold away. Everything here runs in constant time:
// results are chosen by masks, never by branches on the values.
#include <cstddef>
#include <cstdint>
#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "core/secure/ConstantTime.h"
#include "crypto/ecc/nist/P256FieldAdx.h"

namespace tornell {
namespace nistfield {

using u128 = unsigned __int128;

template <int N>
struct Elem {
  uint64_t v[N];
};

template <int N>
struct Modulus {
  uint64_t p[N];
  uint64_t n0;       // -p^-1 mod 2^64
  uint64_t one[N];   // R mod p, R = 2^(64N)
  uint64_t r2[N];    // R^2 mod p
  uint64_t pMinus2[N];
  uint64_t sqrtExp[N];  // (p + 1) / 4, the square-root exponent when p = 3 mod 4
};

template <int N>
static constexpr bool LessThan(const uint64_t* a, const uint64_t* b) {
  for (int i = N - 1; i >= 0; --i) {
    if (a[i] != b[i]) return a[i] < b[i];
  }
  return false;
}

// 2·a mod p for a below p; used only to derive the constants.
template <int N>
static constexpr void DoubleModConst(uint64_t* a, const uint64_t* p) {
  uint64_t carry = 0;
  for (int i = 0; i < N; ++i) {
    const uint64_t top = a[i] >> 63;
    a[i] = (a[i] << 1) | carry;
    carry = top;
  }
  if (carry || !LessThan<N>(a, p)) {
    uint64_t borrow = 0;
    for (int i = 0; i < N; ++i) {
      const u128 d = (u128)a[i] - p[i] - borrow;
      a[i] = (uint64_t)d;
      borrow = (uint64_t)(d >> 64) & 1;
    }
  }
}

template <int N>
static constexpr Modulus<N> MakeModulus(const uint64_t (&p)[N]) {
  Modulus<N> m{};
  uint64_t inv = 1;  // Newton: each step doubles the correct low bits
  for (int i = 0; i < 6; ++i) inv *= 2 - p[0] * inv;
  m.n0 = 0 - inv;
  for (int i = 0; i < N; ++i) m.p[i] = p[i];
  uint64_t acc[N] = {};
  acc[0] = 1;
  for (int i = 0; i < 64 * N; ++i) DoubleModConst<N>(acc, p);
  for (int i = 0; i < N; ++i) m.one[i] = acc[i];
  for (int i = 0; i < 64 * N; ++i) DoubleModConst<N>(acc, p);
  for (int i = 0; i < N; ++i) m.r2[i] = acc[i];
  uint64_t borrow = 2;
  for (int i = 0; i < N; ++i) {
    m.pMinus2[i] = p[i] - borrow;
    borrow = p[i] < borrow ? 1 : 0;
  }
  uint64_t carry = 1;
  for (int i = 0; i < N; ++i) {
    const u128 x = (u128)p[i] + carry;
    const uint64_t lo = (uint64_t)x;
    carry = (uint64_t)(x >> 64);
    m.sqrtExp[i] = lo >> 2;
    if (i > 0) m.sqrtExp[i - 1] |= lo << 62;
  }
  m.sqrtExp[N - 1] |= carry << 62;
  return m;
}

// Tag keeps the instantiations of differently compiled translation units apart.
// sum = x + y + carry; returns the carry out (0 or 1).
static inline uint64_t AddCarry(uint64_t carry, uint64_t x, uint64_t y, uint64_t& sum) {
#if defined(__x86_64__)
  unsigned long long out;
  const unsigned char c = _addcarry_u64((unsigned char)carry, x, y, &out);
  sum = out;
  return c;
#else
  const u128 s = (u128)x + y + carry;
  sum = (uint64_t)s;
  return (uint64_t)(s >> 64);
#endif
}

// diff = x - y - borrow; returns the borrow out (0 or 1).
static inline uint64_t SubBorrow(uint64_t borrow, uint64_t x, uint64_t y, uint64_t& diff) {
#if defined(__x86_64__)
  unsigned long long out;
  const unsigned char b = _subborrow_u64((unsigned char)borrow, x, y, &out);
  diff = out;
  return b;
#else
  const u128 d = (u128)x - y - borrow;
  diff = (uint64_t)d;
  return (uint64_t)(d >> 64) & 1;
#endif
}

// base^e for a public exponent of Fd::kLimbs limbs, with the field Fd's own
// multiplication: sliding windows of up to five bits over the odd powers
// base^1 .. base^31. Which products run follows the exponent alone.
template <class Fd>
static void PowSlidingWindow(typename Fd::Fe& r, const typename Fd::Fe& base, const uint64_t* e) {
  constexpr int kWidth = 5;
  typename Fd::Fe odd[16], square;
  odd[0] = base;
  Fd::Sqr(square, base);
  for (int i = 1; i < 16; ++i) Fd::Mul(odd[i], odd[i - 1], square);
  auto bit = [e](int i) { return (int)(e[i / 64] >> (i % 64)) & 1; };
  int i = 64 * Fd::kLimbs - 1;
  while (i >= 0 && bit(i) == 0) --i;
  typename Fd::Fe acc = Fd::One();
  bool started = false;
  while (i >= 0) {
    if (bit(i) == 0) {
      Fd::Sqr(acc, acc);
      --i;
      continue;
    }
    // The longest window of at most kWidth bits starting at i that ends in a 1.
    int low = i - kWidth + 1 < 0 ? 0 : i - kWidth + 1;
    while (bit(low) == 0) ++low;
    int value = 0;
    for (int j = i; j >= low; --j) value = (value << 1) | bit(j);
    if (started) {
      for (int j = i; j >= low; --j) Fd::Sqr(acc, acc);
      Fd::Mul(acc, acc, odd[value >> 1]);
    } else {
      acc = odd[value >> 1];
      started = true;
    }
    i = low - 1;
  }
  r = acc;
}

// Whether a variant's tag says it was compiled for MULX and ADX.
template <class Tag>
constexpr bool TagUsesAdx() {
  if constexpr (requires { Tag::kAdx; }) {
    return Tag::kAdx;
  } else {
    return false;
  }
}

template <int N, const Modulus<N>& M, class Tag>
struct Field {
  static constexpr int kLimbs = N;
  using Fe = Elem<N>;

  // r = t - p when t (with its carry word) is at least p, else t.
  [[gnu::always_inline]] static inline void FinalSubtract(Fe& r, const uint64_t* t, uint64_t carry) {
    uint64_t d[N];
    uint64_t borrow = 0;
#pragma GCC unroll 16
    for (int i = 0; i < N; ++i) borrow = SubBorrow(borrow, t[i], M.p[i], d[i]);
    // Keep t when the subtraction borrowed beyond the carry word.
    const uint64_t keep = ct::ValueBarrier<uint64_t>(0 - (borrow & (carry ^ 1)));
#pragma GCC unroll 16
    for (int i = 0; i < N; ++i) r.v[i] = (t[i] & keep) | (d[i] & ~keep);
  }

  [[gnu::always_inline]] static inline void Add(Fe& r, const Fe& a, const Fe& b) {
#if defined(__x86_64__)
    if constexpr (kP256Adx) {
      P256AddAdx(r.v, a.v, b.v);
      return;
    }
#endif
    uint64_t t[N];
    uint64_t carry = 0;
#pragma GCC unroll 16
    for (int i = 0; i < N; ++i) carry = AddCarry(carry, a.v[i], b.v[i], t[i]);
    FinalSubtract(r, t, carry);
  }

  [[gnu::always_inline]] static inline void Sub(Fe& r, const Fe& a, const Fe& b) {
#if defined(__x86_64__)
    if constexpr (kP256Adx) {
      P256SubAdx(r.v, a.v, b.v);
      return;
    }
#endif
    uint64_t t[N];
    uint64_t borrow = 0;
#pragma GCC unroll 16
    for (int i = 0; i < N; ++i) borrow = SubBorrow(borrow, a.v[i], b.v[i], t[i]);
    const uint64_t mask = ct::ValueBarrier<uint64_t>(0 - borrow);
    uint64_t carry = 0;
#pragma GCC unroll 16
    for (int i = 0; i < N; ++i) carry = AddCarry(carry, t[i], M.p[i] & mask, r.v[i]);
  }

  // a / 2 mod p: p added to an odd a (by mask), then one shift.
  [[gnu::always_inline]] static inline void Half(Fe& r, const Fe& a) {
#if defined(__x86_64__)
    if constexpr (kP256Adx) {
      P256HalfAdx(r.v, a.v);
      return;
    }
#endif
    const uint64_t mask = ct::ValueBarrier<uint64_t>(0 - (a.v[0] & 1));
    uint64_t t[N];
    uint64_t carry = 0;
#pragma GCC unroll 16
    for (int i = 0; i < N; ++i) carry = AddCarry(carry, a.v[i], M.p[i] & mask, t[i]);
#pragma GCC unroll 16
    for (int i = 0; i < N - 1; ++i) r.v[i] = (t[i] >> 1) | (t[i + 1] << 63);
    r.v[N - 1] = (t[N - 1] >> 1) | (carry << 63);
  }

  static inline void Neg(Fe& r, const Fe& a) {
    Fe zero{};
    Sub(r, zero, a);
  }

  // Sums and differences that only feed a product: fully reduced here, left
  // unsettled by fields with spare bits in their limbs.
  [[gnu::always_inline]] static inline void AddLazy(Fe& r, const Fe& a, const Fe& b) { Add(r, a, b); }
  [[gnu::always_inline]] static inline void SubLazy(Fe& r, const Fe& a, const Fe& b) { Sub(r, a, b); }

  // K·a for K = 2, 3, 4 or 8, by doublings.
  template <int K>
  static inline void Scale(Fe& r, const Fe& a) {
    static_assert(K == 2 || K == 3 || K == 4 || K == 8);
    if constexpr (K == 3) {
      Fe t;
      Add(t, a, a);
      Add(r, t, a);
    } else {
      Add(r, a, a);
      if constexpr (K >= 4) Add(r, r, r);
      if constexpr (K == 8) Add(r, r, r);
    }
  }

  // t[0..N+1] += a·b, with the low and high halves of the products added in
  // two separate carry chains (plain add-with-carry sequences).
  template <class Limb>
  static inline void MulAddRow(uint64_t* t, Limb a, uint64_t b) {
    uint64_t lo[N], hi[N];
#pragma GCC unroll 16
    for (int j = 0; j < N; ++j) {
      const u128 x = a(j, b);
      lo[j] = (uint64_t)x;
      hi[j] = (uint64_t)(x >> 64);
    }
    uint64_t c = 0;
#pragma GCC unroll 16
    for (int j = 0; j < N; ++j) c = AddCarry(c, t[j], lo[j], t[j]);
    c = AddCarry(c, t[N], 0, t[N]);
    t[N + 1] += c;
    c = 0;
#pragma GCC unroll 16
    for (int j = 0; j < N; ++j) c = AddCarry(c, t[j + 1], hi[j], t[j + 1]);
    t[N + 1] += c;
  }

  // p = 2^256 - 2^224 + 2^192 + 2^96 - 1: n0 = 1, so m = t[0], and
  // (t + m·p) / 2^64 = t / 2^64 + m·2^32 + m·(2^64 - 2^32 + 1)·2^128 exactly
  // (t[0] - m cancels): one product per step instead of four.
  static constexpr bool kP256Shape = N == 4 && M.p[0] == ~0ULL && M.p[1] == 0xffffffffULL && M.p[2] == 0 &&
                                     M.p[3] == 0xffffffff00000001ULL;

  static inline void ReduceStepP256(uint64_t* t) {
    const uint64_t m = t[0];
    const u128 x = (u128)m * 0xffffffff00000001ULL;
    uint64_t c = AddCarry(0, t[1], m << 32, t[0]);
    c = AddCarry(c, t[2], m >> 32, t[1]);
    c = AddCarry(c, t[3], (uint64_t)x, t[2]);
    c = AddCarry(c, t[4], (uint64_t)(x >> 64), t[3]);
    c = AddCarry(c, t[5], 0, t[4]);
    t[5] = 0;
    (void)c;  // the sum is below 2^(64·5): no carry leaves t[4]
  }

#if defined(__x86_64__)
  static constexpr bool kP256Adx = kP256Shape && TagUsesAdx<Tag>();
#else
  static constexpr bool kP256Adx = false;
#endif

  // Montgomery product a·b·R^-1 mod p. The P-256 assembly is always inlined
  // (a call per product costs more than the sums around it); the generic
  // form is left to the compiler.
  [[gnu::always_inline]] static inline void Mul(Fe& r, const Fe& a, const Fe& b) {
#if defined(__x86_64__)
    if constexpr (kP256Adx) {
      P256MulAdx(r.v, a.v, b.v);
      return;
    }
#endif
    MulGeneric(r, a, b);
  }

  // Operand scanning, reduction interleaved.
  static inline void MulGeneric(Fe& r, const Fe& a, const Fe& b) {
    uint64_t t[N + 2] = {};
#pragma GCC unroll 16
    for (int i = 0; i < N; ++i) {
      MulAddRow(t, [&a](int j, uint64_t m) { return (u128)a.v[j] * m; }, b.v[i]);
      if constexpr (kP256Shape) {
        ReduceStepP256(t);
      } else {
        const uint64_t m = t[0] * M.n0;
        MulAddRow(t, [](int j, uint64_t q) { return (u128)q * M.p[j]; }, m);
        // t[0] is now zero: divide by 2^64.
#pragma GCC unroll 16
        for (int j = 0; j <= N; ++j) t[j] = t[j + 1];
        t[N + 1] = 0;
      }
    }
    FinalSubtract(r, t, t[N]);
  }

  [[gnu::always_inline]] static inline void Sqr(Fe& r, const Fe& a) {
#if defined(__x86_64__)
    if constexpr (kP256Adx) {
      P256SqrAdx(r.v, a.v);
      return;
    }
#endif
    MulGeneric(r, a, a);
  }

  static inline void SqrN(Fe& r, const Fe& a, int n) {
    Sqr(r, a);
    for (int i = 1; i < n; ++i) Sqr(r, r);
  }

  static inline Fe One() {
    Fe r;
    for (int i = 0; i < N; ++i) r.v[i] = M.one[i];
    return r;
  }

  static inline void ToMont(Fe& r, const Fe& a) {
    Fe r2;
    for (int i = 0; i < N; ++i) r2.v[i] = M.r2[i];
    Mul(r, a, r2);
  }

  static inline void FromMont(Fe& r, const Fe& a) {
    Fe one{};
    one.v[0] = 1;
    Mul(r, a, one);
  }

  // All ones when a is zero.
  static inline uint64_t IsZero(const Fe& a) {
    uint64_t acc = 0;
    for (int i = 0; i < N; ++i) acc |= a.v[i];
    return ct::IsZero(acc);
  }

  static inline uint64_t Equal(const Fe& a, const Fe& b) {
    uint64_t acc = 0;
    for (int i = 0; i < N; ++i) acc |= a.v[i] ^ b.v[i];
    return ct::IsZero(acc);
  }

  // r = mask ? a : r
  static inline void Select(Fe& r, const Fe& a, uint64_t mask) {
    for (int i = 0; i < N; ++i) r.v[i] ^= (r.v[i] ^ a.v[i]) & mask;
  }

  static void Pow(Fe& r, const Fe& base, const uint64_t* e) { PowSlidingWindow<Field>(r, base, e); }

  // a^(p-2): the inverse of a non-zero a, zero for zero.
  static inline void Invert(Fe& r, const Fe& a) {
    if constexpr (kP256Shape) {
      InvertP256(r, a);
    } else {
      Pow(r, a, M.pMinus2);
    }
  }

  // p - 2 = ffffffff 00000001 00000000 00000000 00000000 ffffffff ffffffff
  // fffffffd (32-bit words) is mostly runs of ones: 255 squarings and 12
  // products by powers a^(2^k - 1), against 64 and a table for a window.
  static inline void InvertP256(Fe& r, const Fe& a) {
    Fe x2, x3, x6, x12, x15, x30, x32, t;
    Sqr(t, a);
    Mul(x2, t, a);
    Sqr(t, x2);
    Mul(x3, t, a);
    SqrN(t, x3, 3);
    Mul(x6, t, x3);
    SqrN(t, x6, 6);
    Mul(x12, t, x6);
    SqrN(t, x12, 3);
    Mul(x15, t, x3);
    SqrN(t, x15, 15);
    Mul(x30, t, x15);
    SqrN(t, x30, 2);
    Mul(x32, t, x2);
    SqrN(t, x32, 32);
    Mul(t, t, a);  // ffffffff 00000001
    SqrN(t, t, 128);
    Mul(t, t, x32);  // ... 00000000 ffffffff
    SqrN(t, t, 32);
    Mul(t, t, x32);  // ... ffffffff ffffffff
    SqrN(t, t, 30);
    Mul(t, t, x30);
    SqrN(t, t, 2);
    Mul(r, t, a);  // ... fffffffd
  }

  // Big-endian bytes of length len (at most 8N) to limbs; no reduction.
  static inline void FromBytes(Fe& r, const uint8_t* in, size_t len) {
    for (int i = 0; i < N; ++i) r.v[i] = 0;
    for (size_t i = 0; i < len; ++i) {
      const size_t bit = 8 * (len - 1 - i);
      r.v[bit / 64] |= (uint64_t)in[i] << (bit % 64);
    }
  }

  static inline void ToBytes(uint8_t* out, size_t len, const Fe& a) {
    for (size_t i = 0; i < len; ++i) {
      const size_t bit = 8 * (len - 1 - i);
      out[i] = (uint8_t)(a.v[bit / 64] >> (bit % 64));
    }
  }

  // Public range check: a below p.
  static inline bool InRange(const Fe& a) { return LessThan<N>(a.v, M.p); }
};

}  // namespace nistfield
}  // namespace tornell
