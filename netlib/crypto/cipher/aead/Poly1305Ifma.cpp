#include "crypto/cipher/aead/Poly1305Ifma.h"

#include <immintrin.h>

#define IFMA_TARGET __attribute__((target("avx512f,avx512ifma")))

// Zero-masked forms with every lane selected: the plain ones trip a false
// uninitialised-value warning in this compiler's headers.
#define Shl(v, n) _mm512_maskz_slli_epi64(__mmask8(0xFF), (v), (n))
#define Shr(v, n) _mm512_maskz_srli_epi64(__mmask8(0xFF), (v), (n))

namespace tornell::poly1305ifma {

namespace {

using u128 = unsigned __int128;
constexpr uint64_t kMask44 = (uint64_t(1) << 44) - 1;
constexpr uint64_t kMask42 = (uint64_t(1) << 42) - 1;

// A value modulo 2^130 - 5 as limbs at 2^0, 2^44 and 2^88.
struct Limbs {
  uint64_t l0, l1, l2;
};

Limbs From64(uint64_t h0, uint64_t h1, uint64_t h2) {
  return {h0 & kMask44, ((h0 >> 44) | (h1 << 20)) & kMask44, (h1 >> 24) | (h2 << 40)};
}

// a * b with 2^132 = 20, carried so each limb is below 2^44 (2^42 on top) but for a small excess.
Limbs MultiplyScalar(const Limbs& a, const Limbs& b) {
  u128 d0 = u128(a.l0) * b.l0 + u128(a.l1) * (b.l2 * 20) + u128(a.l2) * (b.l1 * 20);
  u128 d1 = u128(a.l0) * b.l1 + u128(a.l1) * b.l0 + u128(a.l2) * (b.l2 * 20);
  u128 d2 = u128(a.l0) * b.l2 + u128(a.l1) * b.l1 + u128(a.l2) * b.l0;
  d1 += uint64_t(d0 >> 44);
  d2 += uint64_t(d1 >> 44);
  Limbs c{uint64_t(d0) & kMask44, uint64_t(d1) & kMask44, uint64_t(d2) & kMask42};
  c.l0 += uint64_t(d2 >> 42) * 5;
  c.l1 += c.l0 >> 44;
  c.l0 &= kMask44;
  return c;
}

struct Vec {
  __m512i l0, l1, l2;
};

struct Factor {
  __m512i k0, k1, k2, k1x20, k2x20;
};

IFMA_TARGET inline __m512i Times5(__m512i v) { return _mm512_add_epi64(Shl(v, 2), v); }

IFMA_TARGET inline Factor MakeFactor(__m512i k0, __m512i k1, __m512i k2) {
  __m512i twenty = _mm512_set1_epi64(20);
  return {k0, k1, k2, _mm512_mullox_epi64(k1, twenty), _mm512_mullox_epi64(k2, twenty)};
}

// Lane-wise a * k modulo 2^130 - 5. The 52-bit halves of each product land
// 8 bits up in the next limb (2^52 = 2^44 * 2^8); the top limb's high halves
// wrap to limb 0 times 5 * 2^10 (2^140 = 2^130 * 2^10).
IFMA_TARGET inline Vec Multiply(const Vec& a, const Factor& k) {
  const __m512i z = _mm512_setzero_si512();
  __m512i lo0 = _mm512_madd52lo_epu64(z, a.l0, k.k0), hi0 = _mm512_madd52hi_epu64(z, a.l0, k.k0);
  lo0 = _mm512_madd52lo_epu64(lo0, a.l1, k.k2x20);
  hi0 = _mm512_madd52hi_epu64(hi0, a.l1, k.k2x20);
  lo0 = _mm512_madd52lo_epu64(lo0, a.l2, k.k1x20);
  hi0 = _mm512_madd52hi_epu64(hi0, a.l2, k.k1x20);
  __m512i lo1 = _mm512_madd52lo_epu64(z, a.l0, k.k1), hi1 = _mm512_madd52hi_epu64(z, a.l0, k.k1);
  lo1 = _mm512_madd52lo_epu64(lo1, a.l1, k.k0);
  hi1 = _mm512_madd52hi_epu64(hi1, a.l1, k.k0);
  lo1 = _mm512_madd52lo_epu64(lo1, a.l2, k.k2x20);
  hi1 = _mm512_madd52hi_epu64(hi1, a.l2, k.k2x20);
  __m512i lo2 = _mm512_madd52lo_epu64(z, a.l0, k.k2), hi2 = _mm512_madd52hi_epu64(z, a.l0, k.k2);
  lo2 = _mm512_madd52lo_epu64(lo2, a.l1, k.k1);
  hi2 = _mm512_madd52hi_epu64(hi2, a.l1, k.k1);
  lo2 = _mm512_madd52lo_epu64(lo2, a.l2, k.k0);
  hi2 = _mm512_madd52hi_epu64(hi2, a.l2, k.k0);

  __m512i t0 = _mm512_add_epi64(lo0, Shl(Times5(hi2), 10));
  __m512i t1 = _mm512_add_epi64(lo1, Shl(hi0, 8));
  __m512i t2 = _mm512_add_epi64(lo2, Shl(hi1, 8));
  const __m512i m44 = _mm512_set1_epi64(int64_t(kMask44)), m42 = _mm512_set1_epi64(int64_t(kMask42));
  t1 = _mm512_add_epi64(t1, Shr(t0, 44));
  t0 = _mm512_and_si512(t0, m44);
  t2 = _mm512_add_epi64(t2, Shr(t1, 44));
  t1 = _mm512_and_si512(t1, m44);
  t0 = _mm512_add_epi64(t0, Times5(Shr(t2, 42)));
  t2 = _mm512_and_si512(t2, m42);
  t1 = _mm512_add_epi64(t1, Shr(t0, 44));
  t0 = _mm512_and_si512(t0, m44);
  return {t0, t1, t2};
}

// Eight blocks into lanes: lane q holds block kOrder[q] of the group.
IFMA_TARGET inline Vec LoadGroup(const uint8_t* p) {
  __m512i a = _mm512_loadu_si512(p), b = _mm512_loadu_si512(p + 64);
  __m512i lo = _mm512_maskz_unpacklo_epi64(__mmask8(0xFF), a, b), hi = _mm512_maskz_unpackhi_epi64(__mmask8(0xFF), a, b);
  const __m512i m44 = _mm512_set1_epi64(int64_t(kMask44));
  return {_mm512_and_si512(lo, m44),
          _mm512_and_si512(_mm512_or_si512(Shr(lo, 44), Shl(hi, 20)), m44),
          _mm512_or_si512(Shr(hi, 24), _mm512_set1_epi64(int64_t(1) << 40))};
}

// unpacklo/hi pair the 128-bit lanes of the two loads: qword q is block
// q / 2 of the first load for even q and of the second (blocks 4..7) for odd q.
constexpr int kOrder[8] = {0, 4, 1, 5, 2, 6, 3, 7};

IFMA_TARGET inline Vec Add(const Vec& a, const Vec& b) {
  return {_mm512_add_epi64(a.l0, b.l0), _mm512_add_epi64(a.l1, b.l1), _mm512_add_epi64(a.l2, b.l2)};
}

}  // namespace

IFMA_TARGET void Blocks(uint64_t* h, const uint64_t* r, const uint8_t* data, size_t blocks) {
  // Powers r^1 .. r^8.
  Limbs pw[9];
  pw[1] = From64(r[0], r[1], 0);
  for (int i = 2; i <= 8; ++i) pw[i] = MultiplyScalar(pw[i - 1], pw[1]);
  const Factor byR8 = MakeFactor(_mm512_set1_epi64(int64_t(pw[8].l0)), _mm512_set1_epi64(int64_t(pw[8].l1)),
                                 _mm512_set1_epi64(int64_t(pw[8].l2)));
  alignas(64) uint64_t f0[8], f1[8], f2[8];
  for (int q = 0; q < 8; ++q) {
    const Limbs& p = pw[8 - kOrder[q]];
    f0[q] = p.l0;
    f1[q] = p.l1;
    f2[q] = p.l2;
  }
  const Factor last = MakeFactor(_mm512_load_si512(f0), _mm512_load_si512(f1), _mm512_load_si512(f2));

  // The running h joins block 0 of the first group (lane 0).
  Limbs h44 = From64(h[0], h[1], h[2]);
  Vec acc = LoadGroup(data);
  acc = Add(acc, {_mm512_maskz_set1_epi64(1, int64_t(h44.l0)), _mm512_maskz_set1_epi64(1, int64_t(h44.l1)),
                  _mm512_maskz_set1_epi64(1, int64_t(h44.l2))});
  for (size_t g = 1; g < blocks / 8; ++g) acc = Add(Multiply(acc, byR8), LoadGroup(data + 128 * g));
  acc = Multiply(acc, last);

  alignas(64) uint64_t lanes[3][8];
  _mm512_store_si512(lanes[0], acc.l0);
  _mm512_store_si512(lanes[1], acc.l1);
  _mm512_store_si512(lanes[2], acc.l2);
  uint64_t s0 = 0, s1 = 0, s2 = 0;
  for (int q = 0; q < 8; ++q) {
    s0 += lanes[0][q];
    s1 += lanes[1][q];
    s2 += lanes[2][q];
  }
  s1 += s0 >> 44;
  s0 &= kMask44;
  s2 += s1 >> 44;
  s1 &= kMask44;
  s0 += (s2 >> 42) * 5;
  s2 &= kMask42;
  s1 += s0 >> 44;
  s0 &= kMask44;
  u128 lo = u128(s0) + (u128(s1) << 44);
  u128 hi = (u128(s2) << 24) + uint64_t(lo >> 64);
  h[0] = uint64_t(lo);
  h[1] = uint64_t(hi);
  h[2] = uint64_t(hi >> 64);
}

}  // namespace tornell::poly1305ifma

#undef Shl
#undef Shr
