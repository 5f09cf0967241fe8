#pragma once
// Arithmetic modulo p = 2^521 - 1 in nine unsaturated limbs: eight of 58 bits
// and a top one of 57. Limb products carry no chains: each column of the
// product is a 128-bit sum, and columns at or past 2^522 fold back doubled
// (2^522 = 2 mod p). Sums and differences leave their carries in the limbs
// and settle them in one parallel pass, so every result is "weak": limbs below
// 2^59, value congruent to the element but not necessarily below p.
//
// The plain form (bytes, range checks, the curve's constants) is nine
// saturated 64-bit limbs; ToMont/FromMont convert between the two forms, as
// the Montgomery conversions do for the other fields.
#include "crypto/ecc/nist/NistField.h"

namespace tornell {
namespace nistfield {

template <const Modulus<9>& M, class Tag>
struct P521Field {
  static constexpr int kLimbs = 9;
  using Fe = Elem<9>;
  using Plain = Field<9, M, Tag>;
  static constexpr uint64_t kMask58 = (1ULL << 58) - 1;
  static constexpr uint64_t kMask57 = (1ULL << 57) - 1;

  // One parallel carry pass: limbs below 2^64 in, below 2^58 + 2^7 out.
  static inline void Settle(Fe& r) {
    uint64_t c[9];
#pragma GCC unroll 16
    for (int i = 0; i < 8; ++i) c[i] = r.v[i] >> 58;
    c[8] = r.v[8] >> 57;
#pragma GCC unroll 16
    for (int i = 0; i < 8; ++i) r.v[i] &= kMask58;
    r.v[8] &= kMask57;
    r.v[0] += c[8];  // 2^521 = 1 mod p
#pragma GCC unroll 16
    for (int i = 1; i < 9; ++i) r.v[i] += c[i - 1];
  }

  static inline void Add(Fe& r, const Fe& a, const Fe& b) {
#pragma GCC unroll 16
    for (int i = 0; i < 9; ++i) r.v[i] = a.v[i] + b.v[i];
    Settle(r);
  }

  // a + 4p - b: 4p's limbs exceed any weak limb, so nothing goes negative.
  static inline void Sub(Fe& r, const Fe& a, const Fe& b) {
#pragma GCC unroll 16
    for (int i = 0; i < 8; ++i) r.v[i] = a.v[i] + ((kMask58 << 2)) - b.v[i];
    r.v[8] = a.v[8] + (kMask57 << 2) - b.v[8];
    Settle(r);
  }

  static inline void Neg(Fe& r, const Fe& a) {
    Fe zero{};
    Sub(r, zero, a);
  }

  // Unsettled sum or difference of weak values: limbs below 2^61, which
  // Mul and Sqr take (their columns stay below 2^127) but Sub does not.
  static inline void AddLazy(Fe& r, const Fe& a, const Fe& b) {
#pragma GCC unroll 16
    for (int i = 0; i < 9; ++i) r.v[i] = a.v[i] + b.v[i];
  }
  static inline void SubLazy(Fe& r, const Fe& a, const Fe& b) {
#pragma GCC unroll 16
    for (int i = 0; i < 8; ++i) r.v[i] = a.v[i] + (kMask58 << 2) - b.v[i];
    r.v[8] = a.v[8] + (kMask57 << 2) - b.v[8];
  }

  // K·a for a small K, one carry pass.
  template <int K>
  static inline void Scale(Fe& r, const Fe& a) {
    static_assert(K >= 2 && K <= 8);
#pragma GCC unroll 16
    for (int i = 0; i < 9; ++i) r.v[i] = a.v[i] * K;
    Settle(r);
  }

  // Columns of at most 2^123 to limbs; the carry out of the top wraps to the
  // bottom and is settled one limb further.
  static inline void CarryColumns(Fe& r, u128* t) {
#pragma GCC unroll 16
    for (int k = 0; k < 8; ++k) {
      t[k + 1] += t[k] >> 58;
      r.v[k] = (uint64_t)t[k] & kMask58;
    }
    r.v[8] = (uint64_t)t[8] & kMask57;
    const u128 low = r.v[0] + (t[8] >> 57);
    r.v[0] = (uint64_t)low & kMask58;
    r.v[1] += (uint64_t)(low >> 58);
  }

  static inline void Mul(Fe& r, const Fe& a, const Fe& b) {
    uint64_t b2[9];
#pragma GCC unroll 16
    for (int j = 0; j < 9; ++j) b2[j] = b.v[j] << 1;
    u128 t[9];
#pragma GCC unroll 16
    for (int k = 0; k < 9; ++k) {
      u128 acc = 0;
#pragma GCC unroll 16
      for (int i = 0; i <= k; ++i) acc += (u128)a.v[i] * b.v[k - i];
#pragma GCC unroll 16
      for (int i = k + 1; i < 9; ++i) acc += (u128)a.v[i] * b2[k + 9 - i];
      t[k] = acc;
    }
    CarryColumns(r, t);
  }

  // Each cross product once, doubled; the folded ones doubled again.
  static inline void Sqr(Fe& r, const Fe& a) {
    uint64_t a2[9];
#pragma GCC unroll 16
    for (int j = 0; j < 9; ++j) a2[j] = a.v[j] << 1;
    u128 t[9];
#pragma GCC unroll 16
    for (int k = 0; k < 9; ++k) {
      u128 acc = 0;
#pragma GCC unroll 16
      for (int i = 0; 2 * i < k; ++i) acc += (u128)a2[i] * a.v[k - i];
      if (k % 2 == 0) acc += (u128)a.v[k / 2] * a.v[k / 2];
#pragma GCC unroll 16
      for (int i = k + 1; 2 * i < k + 9; ++i) acc += (u128)a2[i] * a2[k + 9 - i];
      if ((k + 9) % 2 == 0) acc += (u128)a.v[(k + 9) / 2] * a2[(k + 9) / 2];
      t[k] = acc;
    }
    CarryColumns(r, t);
  }

  static inline void SqrN(Fe& r, const Fe& a, int n) {
    Sqr(r, a);
    for (int i = 1; i < n; ++i) Sqr(r, r);
  }

  // The unique representative below p, limbs at their exact widths.
  static inline void Canonical(Fe& r, const Fe& a) {
    r = a;
    for (int pass = 0; pass < 2; ++pass) {
      for (int i = 0; i < 8; ++i) {
        r.v[i + 1] += r.v[i] >> 58;
        r.v[i] &= kMask58;
      }
      r.v[0] += r.v[8] >> 57;
      r.v[8] &= kMask57;
    }
    // Now below 2^521; p itself (all ones) stands for zero.
    uint64_t ones = r.v[8] ^ kMask57;
    for (int i = 0; i < 8; ++i) ones |= r.v[i] ^ kMask58;
    const uint64_t keep = ct::IsNonZero(ones);
    for (int i = 0; i < 9; ++i) r.v[i] &= keep;
  }

  static inline Fe One() {
    Fe r{};
    r.v[0] = 1;
    return r;
  }

  // Any nine saturated limbs, reduced and split into the unsaturated form.
  static inline void ToMont(Fe& r, const Fe& a) {
    uint64_t t[9];
    for (int i = 0; i < 9; ++i) t[i] = a.v[i];
    const uint64_t over = t[8] >> 9;
    t[8] &= 0x1ff;
    uint64_t c = over;
    for (int i = 0; i < 9; ++i) c = AddCarry(c, t[i], 0, t[i]);  // below 2p
    Fe s;
    Plain::FinalSubtract(s, t, 0);
    for (int i = 0; i < 9; ++i) {
      const int bit = 58 * i, w = bit / 64, sh = bit % 64;
      uint64_t v = s.v[w] >> sh;
      if (sh > 6 && w < 8) v |= s.v[w + 1] << (64 - sh);
      r.v[i] = v & (i == 8 ? kMask57 : kMask58);
    }
  }

  // Canonical value packed back into saturated limbs.
  static inline void FromMont(Fe& r, const Fe& a) {
    Fe c;
    Canonical(c, a);
    Fe out{};
    for (int i = 0; i < 9; ++i) {
      const int bit = 58 * i, w = bit / 64, sh = bit % 64;
      out.v[w] |= c.v[i] << sh;
      if (sh > 6 && w < 8) out.v[w + 1] |= c.v[i] >> (64 - sh);
    }
    r = out;
  }

  static inline uint64_t IsZero(const Fe& a) {
    Fe c;
    Canonical(c, a);
    uint64_t acc = 0;
    for (int i = 0; i < 9; ++i) acc |= c.v[i];
    return ct::IsZero(acc);
  }

  static inline uint64_t Equal(const Fe& a, const Fe& b) {
    Fe d;
    Sub(d, a, b);
    return IsZero(d);
  }

  static inline void Select(Fe& r, const Fe& a, uint64_t mask) { Plain::Select(r, a, mask); }

  static inline void FromBytes(Fe& r, const uint8_t* in, size_t len) { Plain::FromBytes(r, in, len); }
  static inline void ToBytes(uint8_t* out, size_t len, const Fe& a) { Plain::ToBytes(out, len, a); }
  static inline bool InRange(const Fe& a) { return Plain::InRange(a); }

  static void Pow(Fe& r, const Fe& base, const uint64_t* e) { PowSlidingWindow<P521Field>(r, base, e); }

  // a^(p-2) with p - 2 = 4·(2^519 - 1) + 1, from a^(2^k - 1) for k doubling
  // up to 512: 524 squarings and 13 products. Zero for zero.
  static inline void Invert(Fe& r, const Fe& a) {
    Fe x2, x3, x4, x7, t, acc;
    Sqr(t, a);
    Mul(x2, t, a);
    Sqr(t, x2);
    Mul(x3, t, a);
    SqrN(t, x2, 2);
    Mul(x4, t, x2);
    SqrN(t, x4, 3);
    Mul(x7, t, x3);
    acc = x4;  // a^(2^k - 1), k = 4, 8, ..., 512
    for (int k = 4; k < 512; k *= 2) {
      SqrN(t, acc, k);
      Mul(acc, t, acc);
    }
    SqrN(t, acc, 7);
    Mul(acc, t, x7);  // 2^519 - 1
    SqrN(t, acc, 2);
    Mul(r, t, a);
  }
};

}  // namespace nistfield
}  // namespace tornell
