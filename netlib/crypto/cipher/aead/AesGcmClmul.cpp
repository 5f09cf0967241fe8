#include "crypto/cipher/aead/AesGcmClmul.h"

#include <immintrin.h>

#define GCM_TARGET __attribute__((target("aes,pclmul,sse4.1,ssse3")))
#define GCM_YMM_TARGET __attribute__((target("aes,pclmul,sse4.1,ssse3,avx,avx2,vaes,vpclmulqdq")))
#define GCM_WIDE_TARGET __attribute__((target("aes,pclmul,sse4.1,ssse3,avx512f,avx512bw,vaes,vpclmulqdq")))

namespace tornell::gcmclmul {

namespace {

GCM_TARGET inline __m128i Reverse(__m128i v) {
  return _mm_shuffle_epi8(v, _mm_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15));
}

GCM_TARGET inline __m128i Load(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
GCM_TARGET inline void Store(uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

// Unreduced 256-bit product accumulated as low, middle and high parts.
struct Product {
  __m128i lo, mid, hi;
};

GCM_TARGET inline void MulAdd(Product& p, __m128i a, __m128i b) {
  p.lo = _mm_xor_si128(p.lo, _mm_clmulepi64_si128(a, b, 0x00));
  p.hi = _mm_xor_si128(p.hi, _mm_clmulepi64_si128(a, b, 0x11));
  p.mid = _mm_xor_si128(p.mid, _mm_xor_si128(_mm_clmulepi64_si128(a, b, 0x10), _mm_clmulepi64_si128(a, b, 0x01)));
}

// Reduction modulo the GCM polynomial in the bit-reflected domain.
GCM_TARGET inline __m128i Reduce(const Product& p) {
  __m128i t3 = _mm_xor_si128(p.lo, _mm_slli_si128(p.mid, 8));
  __m128i t6 = _mm_xor_si128(p.hi, _mm_srli_si128(p.mid, 8));
  // The reflected product is one bit short: shift the 256-bit value left by one.
  __m128i t7 = _mm_srli_epi32(t3, 31);
  __m128i t8 = _mm_srli_epi32(t6, 31);
  t3 = _mm_slli_epi32(t3, 1);
  t6 = _mm_slli_epi32(t6, 1);
  __m128i t9 = _mm_srli_si128(t7, 12);
  t8 = _mm_slli_si128(t8, 4);
  t7 = _mm_slli_si128(t7, 4);
  t3 = _mm_or_si128(t3, t7);
  t6 = _mm_or_si128(_mm_or_si128(t6, t8), t9);

  t7 = _mm_xor_si128(_mm_xor_si128(_mm_slli_epi32(t3, 31), _mm_slli_epi32(t3, 30)), _mm_slli_epi32(t3, 25));
  t8 = _mm_srli_si128(t7, 4);
  t7 = _mm_slli_si128(t7, 12);
  t3 = _mm_xor_si128(t3, t7);
  __m128i t2 = _mm_xor_si128(_mm_xor_si128(_mm_srli_epi32(t3, 1), _mm_srli_epi32(t3, 2)), _mm_srli_epi32(t3, 7));
  t2 = _mm_xor_si128(t2, t8);
  t3 = _mm_xor_si128(t3, t2);
  return _mm_xor_si128(t6, t3);
}

GCM_TARGET inline __m128i Multiply(__m128i a, __m128i b) {
  Product p{_mm_setzero_si128(), _mm_setzero_si128(), _mm_setzero_si128()};
  MulAdd(p, a, b);
  return Reduce(p);
}

GCM_TARGET inline void LoadKeys(const uint8_t* roundKeys, int rounds, __m128i* k) {
  for (int i = 0; i <= rounds; ++i) k[i] = Load(roundKeys + 16 * i);
}

GCM_TARGET inline __m128i EncryptOne(const __m128i* k, int rounds, __m128i b) {
  b = _mm_xor_si128(b, k[0]);
  for (int i = 1; i < rounds; ++i) b = _mm_aesenc_si128(b, k[i]);
  return _mm_aesenclast_si128(b, k[rounds]);
}

GCM_TARGET inline __m128i CounterBlock(__m128i base, uint32_t ctr) {
  return _mm_insert_epi32(base, int(__builtin_bswap32(ctr)), 3);
}

// Zero-masked forms: the plain ones trip a false uninitialised-value
// warning in this compiler's headers.
GCM_WIDE_TARGET inline __m512i Broadcast(__m128i v) { return _mm512_maskz_broadcast_i32x4(__mmask16(0xFFFF), v); }

GCM_WIDE_TARGET inline __m128i FoldLanes(__m512i v) {
  return _mm_xor_si128(_mm_xor_si128(_mm512_maskz_extracti32x4_epi32(__mmask8(0xFF), v, 0), _mm512_maskz_extracti32x4_epi32(__mmask8(0xFF), v, 1)),
                       _mm_xor_si128(_mm512_maskz_extracti32x4_epi32(__mmask8(0xFF), v, 2), _mm512_maskz_extracti32x4_epi32(__mmask8(0xFF), v, 3)));
}


// The 256-bit kernel's state: round keys and H powers in both lanes, the
// byte shuffles, and the next counter pair with its last word in host order.
struct Ymm {
  __m256i k[15];
  __m256i hp[8];
  __m256i reverse, swapLast, next, two;
};

GCM_YMM_TARGET inline __m256i Broadcast256(__m128i v) { return _mm256_broadcastsi128_si256(v); }

GCM_YMM_TARGET inline __m128i FoldLanes256(__m256i v) {
  return _mm_xor_si128(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
}

// GHASH products of one register of two blocks, unreduced.
struct Product256 {
  __m256i lo, mid, hi;
};

GCM_YMM_TARGET inline void MulAdd256(Product256& p, __m256i c, __m256i h) {
  p.lo = _mm256_xor_si256(p.lo, _mm256_clmulepi64_epi128(c, h, 0x00));
  p.hi = _mm256_xor_si256(p.hi, _mm256_clmulepi64_epi128(c, h, 0x11));
  p.mid = _mm256_xor_si256(p.mid, _mm256_xor_si256(_mm256_clmulepi64_epi128(c, h, 0x10),
                                                   _mm256_clmulepi64_epi128(c, h, 0x01)));
}

// Register j of the sixteen ciphertext blocks at c, the running hash folded
// into the first block.
GCM_YMM_TARGET inline void HashStep(const Ymm& s, Product256& p, const uint8_t* c, int j, __m128i acc) {
  __m256i v = _mm256_shuffle_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(c + 32 * j)), s.reverse);
  if (j == 0) v = _mm256_xor_si256(v, _mm256_set_m128i(_mm_setzero_si128(), acc));
  MulAdd256(p, v, s.hp[j]);
}

GCM_YMM_TARGET inline __m128i Fold(const Product256& p) {
  return Reduce(Product{FoldLanes256(p.lo), FoldLanes256(p.mid), FoldLanes256(p.hi)});
}

// Sixteen blocks of counter mode; with kHash, the sixteen ciphertext blocks
// at hashed (earlier output or this input) are absorbed into acc in between
// the rounds, so the multiplier and the AES unit work side by side.
template <bool kHash>
GCM_YMM_TARGET inline void Chunk256(Ymm& s, int rounds, const uint8_t* in, uint8_t* out, const uint8_t* hashed,
                                    __m128i& acc) {
  __m256i b[8];
  for (int j = 0; j < 8; ++j) {
    b[j] = _mm256_xor_si256(_mm256_shuffle_epi8(s.next, s.swapLast), s.k[0]);
    s.next = _mm256_add_epi32(s.next, s.two);
  }
  Product256 p{_mm256_setzero_si256(), _mm256_setzero_si256(), _mm256_setzero_si256()};
  // Every key size has at least nine middle rounds: one hash step after each of the first eight.
  for (int r = 1; r <= 8; ++r) {
    for (int j = 0; j < 8; ++j) b[j] = _mm256_aesenc_epi128(b[j], s.k[r]);
    if constexpr (kHash) HashStep(s, p, hashed, r - 1, acc);
  }
  for (int r = 9; r < rounds; ++r)
    for (int j = 0; j < 8; ++j) b[j] = _mm256_aesenc_epi128(b[j], s.k[r]);
  // Read every input register before the first store: in and out may be the same.
  __m256i m[8];
  for (int j = 0; j < 8; ++j) m[j] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + 32 * j));
  for (int j = 0; j < 8; ++j) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 32 * j),
                        _mm256_xor_si256(m[j], _mm256_aesenclast_epi128(b[j], s.k[rounds])));
  }
  if constexpr (kHash) acc = Fold(p);
}

}  // namespace

GCM_TARGET void EncryptBlock(const uint8_t* roundKeys, int rounds, const uint8_t* in, uint8_t* out) {
  __m128i k[15] = {};
  LoadKeys(roundKeys, rounds, k);
  Store(out, EncryptOne(k, rounds, Load(in)));
}

GCM_TARGET void Powers(const uint8_t* h, uint8_t* hPowers, int have, int want) {
  __m128i h1 = have > 0 ? Load(hPowers) : Reverse(Load(h));
  if (have <= 0) {
    Store(hPowers, h1);
    have = 1;
  }
  __m128i p = Load(hPowers + 16 * (have - 1));
  for (int i = have; i < want; ++i) {
    p = Multiply(p, h1);
    Store(hPowers + 16 * i, p);
  }
}

GCM_TARGET void MultiplyH(uint8_t* x, const uint8_t* hPowers) {
  Store(x, Reverse(Multiply(Reverse(Load(x)), Load(hPowers))));
}

GCM_TARGET void CtrBlocks(const uint8_t* roundKeys, int rounds, uint8_t* counter, uint8_t* x,
                          const uint8_t* hPowers, const uint8_t* in, uint8_t* out, size_t blocks,
                          bool encrypt) {
  __m128i k[15] = {};
  LoadKeys(roundKeys, rounds, k);
  __m128i hp[8];
  for (int i = 0; i < 8; ++i) hp[i] = Load(hPowers + 16 * i);
  __m128i base = Load(counter);
  uint32_t ctr = uint32_t(counter[12]) << 24 | uint32_t(counter[13]) << 16 | uint32_t(counter[14]) << 8 |
                 counter[15];
  __m128i acc = Reverse(Load(x));

  for (; blocks >= 8; blocks -= 8, in += 128, out += 128) {
    __m128i b[8];
    for (int i = 0; i < 8; ++i) b[i] = _mm_xor_si128(CounterBlock(base, ctr + uint32_t(i)), k[0]);
    ctr += 8;
    for (int r = 1; r < rounds; ++r)
      for (int i = 0; i < 8; ++i) b[i] = _mm_aesenc_si128(b[i], k[r]);
    __m128i c[8];
    for (int i = 0; i < 8; ++i) {
      __m128i m = Load(in + 16 * i);
      __m128i o = _mm_xor_si128(m, _mm_aesenclast_si128(b[i], k[rounds]));
      c[i] = encrypt ? o : m;
      Store(out + 16 * i, o);
    }
    Product p{_mm_setzero_si128(), _mm_setzero_si128(), _mm_setzero_si128()};
    MulAdd(p, _mm_xor_si128(acc, Reverse(c[0])), hp[7]);
    for (int i = 1; i < 8; ++i) MulAdd(p, Reverse(c[i]), hp[7 - i]);
    acc = Reduce(p);
  }
  for (; blocks > 0; --blocks, in += 16, out += 16) {
    __m128i m = Load(in);
    __m128i o = _mm_xor_si128(m, EncryptOne(k, rounds, CounterBlock(base, ctr)));
    ++ctr;
    Store(out, o);
    acc = Multiply(_mm_xor_si128(acc, Reverse(encrypt ? o : m)), hp[0]);
  }
  Store(x, Reverse(acc));
  counter[12] = uint8_t(ctr >> 24);
  counter[13] = uint8_t(ctr >> 16);
  counter[14] = uint8_t(ctr >> 8);
  counter[15] = uint8_t(ctr);
}

GCM_WIDE_TARGET void CtrBlocksWide(const uint8_t* roundKeys, int rounds, uint8_t* counter, uint8_t* x,
                                   const uint8_t* hWide, const uint8_t* in, uint8_t* out, size_t blocks,
                                   bool encrypt) {
  __m512i k[15];
  for (int i = 0; i <= rounds; ++i) k[i] = Broadcast(Load(roundKeys + 16 * i));
  __m512i hp[4];
  for (int j = 0; j < 4; ++j) hp[j] = _mm512_loadu_si512(hWide + 64 * j);
  const __m512i reverse = Broadcast(
      _mm_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15));
  uint32_t ctr = uint32_t(counter[12]) << 24 | uint32_t(counter[13]) << 16 | uint32_t(counter[14]) << 8 |
                 counter[15];
  // Counter blocks with their last word in host order, so inc32 is a vector
  // add; the same byte shuffle swaps it back (and is its own inverse).
  const __m512i swapLast = Broadcast(_mm_set_epi8(12, 13, 14, 15, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0));
  __m512i next = _mm512_shuffle_epi8(Broadcast(Load(counter)), swapLast);
  next = _mm512_add_epi32(next, _mm512_set_epi32(3, 0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0));
  const __m512i four = _mm512_set_epi32(4, 0, 0, 0, 4, 0, 0, 0, 4, 0, 0, 0, 4, 0, 0, 0);
  __m128i acc = Reverse(Load(x));

  for (; blocks >= 16; blocks -= 16, in += 256, out += 256) {
    ctr += 16;
    __m512i b[4];
    for (int j = 0; j < 4; ++j) {
      b[j] = _mm512_xor_si512(_mm512_shuffle_epi8(next, swapLast), k[0]);
      next = _mm512_add_epi32(next, four);
    }
    for (int r = 1; r < rounds; ++r)
      for (int j = 0; j < 4; ++j) b[j] = _mm512_aesenc_epi128(b[j], k[r]);
    __m512i lo = _mm512_setzero_si512(), mid = lo, hi = lo;
    for (int j = 0; j < 4; ++j) {
      __m512i m = _mm512_loadu_si512(in + 64 * j);
      __m512i o = _mm512_xor_si512(m, _mm512_aesenclast_epi128(b[j], k[rounds]));
      _mm512_storeu_si512(out + 64 * j, o);
      __m512i c = _mm512_shuffle_epi8(encrypt ? o : m, reverse);
      if (j == 0) c = _mm512_xor_si512(c, _mm512_inserti32x4(_mm512_setzero_si512(), acc, 0));
      lo = _mm512_xor_si512(lo, _mm512_clmulepi64_epi128(c, hp[j], 0x00));
      hi = _mm512_xor_si512(hi, _mm512_clmulepi64_epi128(c, hp[j], 0x11));
      mid = _mm512_xor_si512(mid, _mm512_xor_si512(_mm512_clmulepi64_epi128(c, hp[j], 0x10),
                                                   _mm512_clmulepi64_epi128(c, hp[j], 0x01)));
    }
    Product p{FoldLanes(lo), FoldLanes(mid), FoldLanes(hi)};
    acc = Reduce(p);
  }
  Store(x, Reverse(acc));
  counter[12] = uint8_t(ctr >> 24);
  counter[13] = uint8_t(ctr >> 16);
  counter[14] = uint8_t(ctr >> 8);
  counter[15] = uint8_t(ctr);
}

GCM_YMM_TARGET void CtrBlocksVaes256(const uint8_t* roundKeys, int rounds, uint8_t* counter, uint8_t* x,
                                    const uint8_t* hWide, const uint8_t* in, uint8_t* out, size_t blocks,
                                    bool encrypt) {
  Ymm s;
  for (int i = 0; i <= rounds; ++i) s.k[i] = Broadcast256(Load(roundKeys + 16 * i));
  for (int j = 0; j < 8; ++j) s.hp[j] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(hWide + 32 * j));
  s.reverse = Broadcast256(_mm_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15));
  // The same shuffle swaps the counter word back (it is its own inverse).
  s.swapLast = Broadcast256(_mm_set_epi8(12, 13, 14, 15, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0));
  s.next = _mm256_shuffle_epi8(Broadcast256(Load(counter)), s.swapLast);
  s.next = _mm256_add_epi32(s.next, _mm256_set_epi32(1, 0, 0, 0, 0, 0, 0, 0));
  s.two = _mm256_set_epi32(2, 0, 0, 0, 2, 0, 0, 0);
  uint32_t ctr = uint32_t(counter[12]) << 24 | uint32_t(counter[13]) << 16 | uint32_t(counter[14]) << 8 |
                 counter[15];
  __m128i acc = Reverse(Load(x));

  if (encrypt) {
    // Each chunk's ciphertext is hashed while the next chunk is encrypted.
    const uint8_t* pending = nullptr;
    for (; blocks >= 16; blocks -= 16, in += 256, out += 256, ctr += 16) {
      if (pending == nullptr) {
        Chunk256<false>(s, rounds, in, out, nullptr, acc);
      } else {
        Chunk256<true>(s, rounds, in, out, pending, acc);
      }
      pending = out;
    }
    if (pending != nullptr) {
      Product256 p{_mm256_setzero_si256(), _mm256_setzero_si256(), _mm256_setzero_si256()};
      for (int j = 0; j < 8; ++j) HashStep(s, p, pending, j, acc);
      acc = Fold(p);
    }
  } else {
    for (; blocks >= 16; blocks -= 16, in += 256, out += 256, ctr += 16) Chunk256<true>(s, rounds, in, out, in, acc);
  }
  Store(x, Reverse(acc));
  counter[12] = uint8_t(ctr >> 24);
  counter[13] = uint8_t(ctr >> 16);
  counter[14] = uint8_t(ctr >> 8);
  counter[15] = uint8_t(ctr);
}

}  // namespace tornell::gcmclmul
