#pragma once
// Inline GF(2^448 - 2^224 - 1) kernels shared by the field, point and ladder
// code so the hot loops see them without a call.
#include <cstdint>
#include <cstring>

#include "crypto/ecc/edwards/EdwardsMath.h"

namespace tornell {
namespace fe448 {

using u128 = unsigned __int128;
constexpr uint64_t kMask56 = (uint64_t{1} << 56) - 1;
constexpr uint64_t kP[8] = {kMask56, kMask56, kMask56, kMask56, kMask56 - 1, kMask56, kMask56, kMask56};

// Carries eight 128-bit columns into weakly reduced limbs; the carry out of
// the top folds onto limbs 0 and 4.
inline void CarryEight(Fe448& out, u128* c) {
  uint64_t r[8];
  for (int i = 0; i < 7; ++i) {
    c[i + 1] += c[i] >> 56;
    r[i] = static_cast<uint64_t>(c[i]) & kMask56;
  }
  const u128 top = c[7] >> 56;
  r[7] = static_cast<uint64_t>(c[7]) & kMask56;
  const u128 t0 = top + r[0];
  const u128 t4 = top + r[4];
  r[0] = static_cast<uint64_t>(t0) & kMask56;
  r[1] += static_cast<uint64_t>(t0 >> 56);
  r[4] = static_cast<uint64_t>(t4) & kMask56;
  r[5] += static_cast<uint64_t>(t4 >> 56);
  std::memcpy(out.v, r, sizeof(r));
}

// Carries a 15-column product down to eight weakly reduced limbs.
inline void ReduceColumns(Fe448& out, u128* c) {
  for (int k = 14; k >= 8; --k) {
    c[k - 8] += c[k];
    c[k - 4] += c[k];
  }
  CarryEight(out, c);
}

inline void WeakReduce(Fe448& a) {
  const uint64_t c = a.v[7] >> 56;
  a.v[4] += c;
  for (int i = 7; i >= 1; --i) a.v[i] = (a.v[i] & kMask56) + (a.v[i - 1] >> 56);
  a.v[0] = (a.v[0] & kMask56) + c;
}

inline void Add(Fe448& out, const Fe448& a, const Fe448& b) {
  for (int i = 0; i < 8; ++i) out.v[i] = a.v[i] + b.v[i];
  WeakReduce(out);
}

// Sum without the carry pass, for a result that feeds a multiplication.
inline void AddLazy(Fe448& out, const Fe448& a, const Fe448& b) {
  for (int i = 0; i < 8; ++i) out.v[i] = a.v[i] + b.v[i];
}

// a - b + 4p without the carry pass: b may be a lazy sum (below 2^58), and
// the result feeds a multiplication, which accepts limbs up to 2^59.
inline void SubLazy(Fe448& out, const Fe448& a, const Fe448& b) {
  for (int i = 0; i < 8; ++i) out.v[i] = a.v[i] + 4 * kP[i] - b.v[i];
}

inline void Sub(Fe448& out, const Fe448& a, const Fe448& b) {
  for (int i = 0; i < 8; ++i) out.v[i] = a.v[i] + 2 * kP[i] - b.v[i];
  WeakReduce(out);
}

// Columns of (x0 + x1 phi) with phi = 2^224 and phi^2 = phi + 1 (mod p),
// given lo = x0 and hi = x1 as seven-column products: folds the columns at
// and above 2^224 of each half into the limbs below it.
inline void FoldHalves(Fe448& out, const u128* lo, const u128* hi) {
  u128 c[8];
  for (int i = 0; i < 4; ++i) {
    c[i] = lo[i];
    c[i + 4] = hi[i];
  }
  for (int i = 0; i < 3; ++i) {
    c[i] += hi[i + 4];
    c[i + 4] += lo[i + 4] + hi[i + 4];
  }
  CarryEight(out, c);
}

inline void Mul4(u128* c, const uint64_t* a, const uint64_t* b) {
  for (int k = 0; k < 7; ++k) c[k] = 0;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) c[i + j] += static_cast<u128>(a[i]) * b[j];
}

inline void Square4(u128* c, const uint64_t* a) {
  for (int k = 0; k < 7; ++k) c[k] = 0;
  for (int i = 0; i < 4; ++i) {
    c[2 * i] += static_cast<u128>(a[i]) * a[i];
    const uint64_t twice = 2 * a[i];
    for (int j = i + 1; j < 4; ++j) c[i + j] += static_cast<u128>(twice) * a[j];
  }
}

// Karatsuba over the halves: x0*y0 + x1*y1 + ((x0 + x1)(y0 + y1) - x0*y0) phi.
inline void Mul(Fe448& out, const Fe448& a, const Fe448& b) {
  uint64_t as[4], bs[4];
  for (int i = 0; i < 4; ++i) {
    as[i] = a.v[i] + a.v[i + 4];
    bs[i] = b.v[i] + b.v[i + 4];
  }
  u128 p[7], q[7], r[7];
  Mul4(p, a.v, b.v);
  Mul4(q, a.v + 4, b.v + 4);
  Mul4(r, as, bs);
  for (int k = 0; k < 7; ++k) {
    r[k] -= p[k];
    p[k] += q[k];
  }
  FoldHalves(out, p, r);
}

inline void Square(Fe448& out, const Fe448& a) {
  uint64_t as[4];
  for (int i = 0; i < 4; ++i) as[i] = a.v[i] + a.v[i + 4];
  u128 p[7], q[7], r[7];
  Square4(p, a.v);
  Square4(q, a.v + 4);
  Square4(r, as);
  for (int k = 0; k < 7; ++k) {
    r[k] -= p[k];
    p[k] += q[k];
  }
  FoldHalves(out, p, r);
}

inline void MulWord(Fe448& out, const Fe448& a, uint64_t w) {
  u128 c[15] = {};
  for (int i = 0; i < 8; ++i) c[i] = static_cast<u128>(a.v[i]) * w;
  ReduceColumns(out, c);
}

inline void CSwap(Fe448& a, Fe448& b, uint64_t mask) {
  for (int i = 0; i < 8; ++i) {
    const uint64_t x = (a.v[i] ^ b.v[i]) & mask;
    a.v[i] ^= x;
    b.v[i] ^= x;
  }
}

}  // namespace fe448
}  // namespace tornell
