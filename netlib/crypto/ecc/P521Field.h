#pragma once
// Arithmetic modulo p = 2^521 - 1 in 9 fully reduced 64-bit limbs. The prime
// folds by shifting (2^521 = 1 mod p), so elements are kept in their plain
// form: the "Montgomery" conversions of the generic field are copies here, and
// products cost one schoolbook multiplication and a shift-and-add.
#include "crypto/ecc/NistField.h"

namespace tornell {
namespace nistfield {

template <const Modulus<9>& M, class Tag>
struct P521Field : Field<9, M, Tag> {
  using Base = Field<9, M, Tag>;
  using Fe = Elem<9>;
  static constexpr uint64_t kTopMask = 0x1ff;

  // Reduces any 9-limb value (the result of one fold is below 2p).
  static inline void Fold(Fe& r, uint64_t* t) {
    const uint64_t over = t[8] >> 9;
    t[8] &= kTopMask;
    uint64_t c = over;
#pragma GCC unroll 16
    for (int i = 0; i < 9; ++i) c = AddCarry(c, t[i], 0, t[i]);
    Base::FinalSubtract(r, t, 0);
  }

  static inline void Mul(Fe& r, const Fe& a, const Fe& b) {
    uint64_t t[18] = {};
#pragma GCC unroll 16
    for (int i = 0; i < 9; ++i) {
      uint64_t lo[9], hi[9];
#pragma GCC unroll 16
      for (int j = 0; j < 9; ++j) {
        const u128 x = (u128)a.v[j] * b.v[i];
        lo[j] = (uint64_t)x;
        hi[j] = (uint64_t)(x >> 64);
      }
      uint64_t c = 0;
#pragma GCC unroll 16
      for (int j = 0; j < 9; ++j) c = AddCarry(c, t[i + j], lo[j], t[i + j]);
      t[i + 9] = c;
      c = 0;
#pragma GCC unroll 16
      for (int j = 0; j < 9; ++j) c = AddCarry(c, t[i + j + 1], hi[j], t[i + j + 1]);
    }
    ReduceWide(r, t);
  }

  // An 18-limb product: low 521 bits plus the bits above, then one fold.
  static inline void ReduceWide(Fe& r, const uint64_t* t) {
    uint64_t s[9];
    uint64_t c = 0;
#pragma GCC unroll 16
    for (int i = 0; i < 9; ++i) {
      const uint64_t lo = i == 8 ? (t[8] & kTopMask) : t[i];
      const uint64_t hi = (t[8 + i] >> 9) | (t[9 + i] << 55);
      c = AddCarry(c, lo, hi, s[i]);
    }
    Fold(r, s);
  }

  // The cross products once, doubled, then the squares on the diagonal.
  static inline void Sqr(Fe& r, const Fe& a) {
    uint64_t t[18] = {};
#pragma GCC unroll 16
    for (int i = 0; i < 8; ++i) {
      uint64_t lo[9], hi[9];
#pragma GCC unroll 16
      for (int j = i + 1; j < 9; ++j) {
        const u128 x = (u128)a.v[j] * a.v[i];
        lo[j] = (uint64_t)x;
        hi[j] = (uint64_t)(x >> 64);
      }
      uint64_t c = 0;
#pragma GCC unroll 16
      for (int j = i + 1; j < 9; ++j) c = AddCarry(c, t[i + j], lo[j], t[i + j]);
      t[i + 9] = c;
      c = 0;
#pragma GCC unroll 16
      for (int j = i + 1; j < 9; ++j) c = AddCarry(c, t[i + j + 1], hi[j], t[i + j + 1]);
    }
#pragma GCC unroll 18
    for (int i = 17; i > 0; --i) t[i] = (t[i] << 1) | (t[i - 1] >> 63);
    t[0] <<= 1;
    uint64_t c = 0;
#pragma GCC unroll 16
    for (int i = 0; i < 9; ++i) {
      const u128 x = (u128)a.v[i] * a.v[i];
      c = AddCarry(c, t[2 * i], (uint64_t)x, t[2 * i]);
      c = AddCarry(c, t[2 * i + 1], (uint64_t)(x >> 64), t[2 * i + 1]);
    }
    ReduceWide(r, t);
  }

  static inline void SqrN(Fe& r, const Fe& a, int n) {
    Sqr(r, a);
    for (int i = 1; i < n; ++i) Sqr(r, r);
  }

  static inline Fe One() {
    Fe r{};
    r.v[0] = 1;
    return r;
  }

  // Any 9-limb value: (t mod 2^521) + (t >> 521) is below 2p.
  static inline void ToMont(Fe& r, const Fe& a) {
    uint64_t t[9];
    for (int i = 0; i < 9; ++i) t[i] = a.v[i];
    Fold(r, t);
  }

  static inline void FromMont(Fe& r, const Fe& a) { r = a; }

  static void Pow(Fe& r, const Fe& base, const uint64_t* e) { PowFixedWindow<P521Field>(r, base, e); }

  static inline void Invert(Fe& r, const Fe& a) { Pow(r, a, M.pMinus2); }
};

}  // namespace nistfield
}  // namespace tornell
