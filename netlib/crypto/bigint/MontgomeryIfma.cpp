#include "crypto/bigint/MontgomeryIfma.h"

#include <algorithm>
#include <vector>

#include "core/cpu/CpuFeatures.h"
#include "core/secure/ConstantTime.h"

#if defined(__x86_64__)
// GCC 12's AVX-512 headers pass an undefined vector as the ignored operand of
// some intrinsics, which -Wuninitialized reports at every use.
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>
#endif

namespace tornell {

using limb::Limb;

namespace {

constexpr Limb kMask52 = (Limb(1) << 52) - 1;

// The exact bit length of a public exponent.
size_t PublicBits(const Limb* e, size_t en) {
  const size_t n = limb::Trim(e, en);
  return n == 0 ? 0 : (n - 1) * 64 + size_t(limb::BitLen(e[n - 1]));
}

bool UseIfmaPath() { return cpu::Has(cpu::path::kMontgomeryIfma); }

// k limbs of 64 bits to nd digits of 52 bits.
void ToDigits(Limb* d, size_t nd, const Limb* a, size_t k) {
  for (size_t i = 0; i < nd; ++i) {
    const size_t bit = 52 * i, li = bit / 64, bi = bit % 64;
    Limb v = li < k ? a[li] >> bi : 0;
    if (bi > 12 && li + 1 < k) v |= a[li + 1] << (64 - bi);
    d[i] = v & kMask52;
  }
}

// nd normalised digits back to k limbs (the value must fit).
void FromDigits(Limb* a, size_t k, const Limb* d, size_t nd) {
  for (size_t i = 0; i < k; ++i) a[i] = 0;
  for (size_t i = 0; i < nd; ++i) {
    const size_t bit = 52 * i, li = bit / 64, bi = bit % 64;
    if (li < k) a[li] |= d[i] << bi;
    if (bi > 12 && li + 1 < k) a[li + 1] |= d[i] >> (64 - bi);
  }
}

#if defined(__x86_64__)

// One modulus: its digits, -m^-1 mod 2^52, and R^2 mod m for R = 2^(52 d),
// d the count of digits a value needs with two bits to spare (R > 4m);
// digit arrays are padded with zeros to whole vectors.
struct Side {
  std::vector<Limb> mod, rr;
  Limb k0 = 0;
  int digits = 0;
};

inline Limb Lo52(Limb x, Limb y) { return (x * y) & kMask52; }
inline Limb Hi52(Limb x, Limb y) { return Limb((static_cast<unsigned __int128>(x) * y) >> 52); }

// A scalar copy of the accumulator's two lowest lanes. The multiplier y of
// each step comes from lane 0, so computing it here keeps the vector
// pipeline's latency off the chain from one step's y to the next.
struct LowLanes {
  Limb a0 = 0, a1 = 0, a2 = 0, m0 = 0, m1 = 0, m2 = 0, k0 = 0;
  Limb lane1 = 0;  // lane 1 at the start of the step
  Limb t0 = 0;     // lane 0 at the start of the step plus lo(a0 b_i)

  void Start(const Limb* a, const Side& s, Limb b0) {
    a0 = a[0], a1 = a[1], a2 = a[2];
    m0 = s.mod[0], m1 = s.mod[1], m2 = s.mod[2];
    k0 = s.k0;
    lane1 = 0;
    t0 = Lo52(a0, b0);
  }

  // y and the carry out of lane 0 for multiplier digit bi; lane2 is lane 2
  // at the start of the step, bNext the next multiplier digit.
  void Step(Limb bi, Limb lane2, Limb bNext, Limb& y, Limb& carry) {
    y = (t0 * k0) & kMask52;
    carry = (t0 + Lo52(m0, y)) >> 52;
    const Limb lane0 = lane1 + Lo52(a1, bi) + Lo52(m1, y) + carry + Hi52(a0, bi) + Hi52(m0, y);
    lane1 = lane2 + Lo52(a2, bi) + Lo52(m2, y) + Hi52(a1, bi) + Hi52(m1, y);
    t0 = lane0 + Lo52(a0, bNext);
  }
};

__attribute__((target("avx512f"))) inline Limb Lane2(__m512i v) {
  return static_cast<Limb>(_mm_cvtsi128_si64(_mm512_castsi512_si128(_mm512_alignr_epi64(v, v, 2))));
}

// Almost-Montgomery products of S independent sides at once: r = a b / R
// mod m, below 2m for a, b below 2m (R exceeds 4m). Digits of a, b
// normalised; r normalised; r may alias a or b. The work depends only on V
// and S; interleaving the sides lets each hide the others' latency.
template <int V, int S>
__attribute__((target("avx512f,avx512ifma"))) void Amm(Limb* const* r, const Limb* const* a, const Limb* const* b,
                                                        const Side* const* side) {
  constexpr int lanes = 8 * V;
  const int nd = side[0]->digits;  // the same for every side
  __m512i x[S][V], m[S][V], acc[S][V];
  LowLanes low[S];
  for (int k = 0; k < S; ++k) {
    for (int v = 0; v < V; ++v) {
      x[k][v] = _mm512_loadu_si512(a[k] + 8 * v);
      m[k][v] = _mm512_loadu_si512(side[k]->mod.data() + 8 * v);
      acc[k][v] = _mm512_setzero_si512();
    }
    low[k].Start(a[k], *side[k], b[k][0]);
  }
  const __m512i zero = _mm512_setzero_si512();
  for (int i = 0; i < nd; ++i) {
    __m512i bv[S], yv[S];
    Limb carry[S];
    for (int k = 0; k < S; ++k) {
      Limb y;
      low[k].Step(b[k][i], Lane2(acc[k][0]), i + 1 < nd ? b[k][i + 1] : 0, y, carry[k]);
      bv[k] = _mm512_set1_epi64(static_cast<long long>(b[k][i]));
      yv[k] = _mm512_set1_epi64(static_cast<long long>(y));
    }
    for (int v = 0; v < V; ++v)
      for (int k = 0; k < S; ++k) {
        acc[k][v] = _mm512_madd52lo_epu64(acc[k][v], x[k][v], bv[k]);
        acc[k][v] = _mm512_madd52lo_epu64(acc[k][v], m[k][v], yv[k]);
      }
    // Digit 0 is now a multiple of 2^52: drop it (one digit down) and carry
    // its top into the new digit 0.
    for (int k = 0; k < S; ++k) {
      for (int v = 0; v < V; ++v) acc[k][v] = _mm512_alignr_epi64(v + 1 < V ? acc[k][v + 1] : zero, acc[k][v], 1);
      acc[k][0] = _mm512_add_epi64(acc[k][0], _mm512_maskz_set1_epi64(1, static_cast<long long>(carry[k])));
    }
    for (int v = 0; v < V; ++v)
      for (int k = 0; k < S; ++k) {
        acc[k][v] = _mm512_madd52hi_epu64(acc[k][v], x[k][v], bv[k]);
        acc[k][v] = _mm512_madd52hi_epu64(acc[k][v], m[k][v], yv[k]);
      }
  }
  for (int k = 0; k < S; ++k) {
    alignas(64) Limb t[lanes];
    for (int v = 0; v < V; ++v) _mm512_store_si512(t + 8 * v, acc[k][v]);
    Limb c = 0;
    for (int j = 0; j < lanes; ++j) {
      const Limb u = t[j] + c;
      r[k][j] = u & kMask52;
      c = u >> 52;
    }
  }
}

template <int V>
void AmmPair(Limb* r1, const Limb* a1, const Limb* b1, const Side& s1, Limb* r2, const Limb* a2, const Limb* b2,
             const Side& s2) {
  Limb* const r[2] = {r1, r2};
  const Limb* const a[2] = {a1, a2};
  const Limb* const b[2] = {b1, b2};
  const Side* const side[2] = {&s1, &s2};
  Amm<V, 2>(r, a, b, side);
}

template <int V>
void AmmOne(Limb* r, const Limb* a, const Limb* b, const Side& s) {
  const Side* side = &s;
  Amm<V, 1>(&r, &a, &b, &side);
}

// Copies entry idx of a table of n entries of nd digits, reading every entry.
template <int V>
__attribute__((target("avx512f"))) void ScanDigits(Limb* out, const Limb* table, size_t n, Limb idx) {
  __m512i acc[V];
  for (int v = 0; v < V; ++v) acc[v] = _mm512_setzero_si512();
  for (size_t e = 0; e < n; ++e) {
    const Limb mask = ct::Equal(Limb(e), idx);
    const __m512i m = _mm512_set1_epi64(static_cast<long long>(mask));
    for (int v = 0; v < V; ++v)
      acc[v] = _mm512_or_si512(acc[v], _mm512_and_si512(m, _mm512_loadu_si512(table + e * 8 * V + 8 * v)));
  }
  for (int v = 0; v < V; ++v) _mm512_storeu_si512(out + 8 * v, acc[v]);
}

// Digits of a value below 4m for a k-limb modulus m.
size_t DigitsFor(size_t k) { return (64 * k + 2 + 51) / 52; }

// R^2 mod m for R = 2^(52 d) from the 64-bit context's R64^3:
// MontgomeryMul(R64^3, 2^t) = 2^(128k + t) with t = 104 d - 128k, which
// needs 2^t below m. False when the sizes do not allow that.
bool SetUpSide(Montgomery& ctx, size_t lanes, Side& s) {
  const size_t k = ctx.k, nd = DigitsFor(k);
  const long t = long(104 * nd) - long(128 * k);
  if (nd > lanes) return false;
  if (t < 0 || size_t(t) >= 64 * (k - 1)) return false;
  std::vector<Limb> two(k, 0), rr(k);
  two[size_t(t) / 64] = Limb(1) << (size_t(t) % 64);
  MontgomeryMul(ctx, rr.data(), ctx.rrr.data(), two.data(), ctx.scratch.data());
  s.mod.assign(lanes, 0);
  s.rr.assign(lanes, 0);
  ToDigits(s.mod.data(), lanes, ctx.mod.data(), k);
  ToDigits(s.rr.data(), lanes, rr.data(), k);
  s.k0 = ctx.n0 & kMask52;
  s.digits = int(nd);
  return true;
}

// Leaves the almost-reduced value (below m + 1 after the final product by
// one) fully reduced, by a masked subtraction.
void FinalReduce(const Montgomery& ctx, Limb* r) {
  const size_t k = ctx.k;
  std::vector<Limb> d(k);
  Limb borrow = limb::SubN(d.data(), r, ctx.mod.data(), k);
  const Limb keep = ct::MaskFromBit(Limb(borrow ^ 1));
  for (size_t i = 0; i < k; ++i) r[i] = ct::Select(keep, d[i], r[i]);
}

template <int V>
bool PowPair(Montgomery& c1, Limb* r1, const Limb* b1, const Limb* e1, size_t en1, Montgomery& c2, Limb* r2,
             const Limb* b2, const Limb* e2, size_t en2) {
  constexpr size_t lanes = 8 * V;
  Side s1, s2;
  if (!SetUpSide(c1, lanes, s1) || !SetUpSide(c2, lanes, s2)) return false;
  const size_t bits = std::max(MontgomeryExponentBits(e1, en1), MontgomeryExponentBits(e2, en2));
  const int w = MontgomeryWindowBits(bits);
  const size_t entries = size_t(1) << w;
  std::vector<Limb> t1(entries * lanes), t2(entries * lanes);
  alignas(64) Limb one[lanes] = {1}, base1[lanes], base2[lanes], acc1[lanes], acc2[lanes], pick1[lanes], pick2[lanes];
  ToDigits(base1, lanes, b1, c1.k);
  ToDigits(base2, lanes, b2, c2.k);
  // Entry 0: R mod m (one in Montgomery form); entry 1: b R; then b^i R.
  AmmPair<V>(t1.data(), s1.rr.data(), one, s1, t2.data(), s2.rr.data(), one, s2);
  AmmPair<V>(t1.data() + lanes, base1, s1.rr.data(), s1, t2.data() + lanes, base2, s2.rr.data(), s2);
  for (size_t i = 2; i < entries; ++i)
    AmmPair<V>(t1.data() + i * lanes, t1.data() + (i - 1) * lanes, t1.data() + lanes, s1, t2.data() + i * lanes,
               t2.data() + (i - 1) * lanes, t2.data() + lanes, s2);
  size_t windows = (bits + size_t(w) - 1) / size_t(w);
  if (windows == 0) windows = 1;
  size_t pos = (windows - 1) * size_t(w);
  ScanDigits<V>(acc1, t1.data(), entries, MontgomeryWindow(e1, en1, pos, w));
  ScanDigits<V>(acc2, t2.data(), entries, MontgomeryWindow(e2, en2, pos, w));
  while (pos > 0) {
    pos -= size_t(w);
    for (int s = 0; s < w; ++s) AmmPair<V>(acc1, acc1, acc1, s1, acc2, acc2, acc2, s2);
    ScanDigits<V>(pick1, t1.data(), entries, MontgomeryWindow(e1, en1, pos, w));
    ScanDigits<V>(pick2, t2.data(), entries, MontgomeryWindow(e2, en2, pos, w));
    AmmPair<V>(acc1, acc1, pick1, s1, acc2, acc2, pick2, s2);
  }
  AmmPair<V>(acc1, acc1, one, s1, acc2, acc2, one, s2);
  FromDigits(r1, c1.k, acc1, lanes);
  FromDigits(r2, c2.k, acc2, lanes);
  FinalReduce(c1, r1);
  FinalReduce(c2, r2);
  return true;
}

template <int V>
bool PowOne(Montgomery& c, Limb* r, const Limb* b, const Limb* e, size_t en) {
  constexpr size_t lanes = 8 * V;
  Side s;
  if (!SetUpSide(c, lanes, s)) return false;
  alignas(64) Limb one[lanes] = {1}, base[lanes], acc[lanes];
  ToDigits(base, lanes, b, c.k);
  AmmOne<V>(base, base, s.rr.data(), s);
  std::copy(base, base + lanes, acc);
  const size_t bits = PublicBits(e, en);
  for (size_t i = bits - 1; i-- > 0;) {
    AmmOne<V>(acc, acc, acc, s);
    if ((e[i / 64] >> (i % 64)) & 1) AmmOne<V>(acc, acc, base, s);
  }
  AmmOne<V>(acc, acc, one, s);
  FromDigits(r, c.k, acc, lanes);
  FinalReduce(c, r);
  return true;
}

size_t VectorsFor(size_t k) { return (DigitsFor(k) + 7) / 8; }

#endif

}  // namespace

bool MontgomeryPowSecretPair(Montgomery& c1, Limb* r1, const Limb* b1, const Limb* e1, size_t en1, Montgomery& c2,
                             Limb* r2, const Limb* b2, const Limb* e2, size_t en2) {
#if defined(__x86_64__)
  if (!UseIfmaPath() || c1.k != c2.k) return false;
  switch (VectorsFor(c1.k)) {
    case 3:
      return PowPair<3>(c1, r1, b1, e1, en1, c2, r2, b2, e2, en2);
    case 4:
      return PowPair<4>(c1, r1, b1, e1, en1, c2, r2, b2, e2, en2);
    case 5:
      return PowPair<5>(c1, r1, b1, e1, en1, c2, r2, b2, e2, en2);
    default:
      return false;
  }
#else
  (void)c1, (void)r1, (void)b1, (void)e1, (void)en1, (void)c2, (void)r2, (void)b2, (void)e2, (void)en2;
  return false;
#endif
}

bool MontgomeryPowPublicIfma(Montgomery& c, Limb* r, const Limb* b, const Limb* e, size_t en) {
#if defined(__x86_64__)
  if (!UseIfmaPath() || PublicBits(e, en) == 0) return false;
  switch (VectorsFor(c.k)) {
    case 3:
      return PowOne<3>(c, r, b, e, en);
    case 4:
      return PowOne<4>(c, r, b, e, en);
    case 5:
      return PowOne<5>(c, r, b, e, en);
    case 8:
      return PowOne<8>(c, r, b, e, en);
    case 10:
      return PowOne<10>(c, r, b, e, en);
    default:
      return false;
  }
#else
  (void)c, (void)r, (void)b, (void)e, (void)en;
  return false;
#endif
}

}  // namespace tornell
