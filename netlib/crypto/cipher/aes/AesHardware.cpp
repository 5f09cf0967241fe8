#include "crypto/cipher/aes/AesHardware.h"

#include "core/secure/SecureWipe.h"
#include "crypto/cipher/block/BlockBytes.h"

#include <immintrin.h>

namespace tornell::aeshw {
namespace {

#define AESHW_TARGET __attribute__((target("aes,ssse3")))

AESHW_TARGET inline __m128i LoadKey(const uint32_t* w) {
  const __m128i swap = _mm_set_epi8(12, 13, 14, 15, 8, 9, 10, 11, 4, 5, 6, 7, 0, 1, 2, 3);
  return _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(w)), swap);
}

AESHW_TARGET inline void LoadKeys(const uint32_t* rk, int rounds, __m128i* k) {
  for (int r = 0; r <= rounds; ++r) k[r] = LoadKey(rk + 4 * r);
}

AESHW_TARGET inline __m128i Load(const unsigned char* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

AESHW_TARGET inline void Store(unsigned char* p, __m128i v) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}

// The pipelined loop, over round keys already in registers.
template <bool Decrypt>
AESHW_TARGET inline __m128i Round(__m128i b, __m128i k) {
  return Decrypt ? _mm_aesdec_si128(b, k) : _mm_aesenc_si128(b, k);
}

template <bool Decrypt>
AESHW_TARGET inline __m128i LastRound(__m128i b, __m128i k) {
  return Decrypt ? _mm_aesdeclast_si128(b, k) : _mm_aesenclast_si128(b, k);
}

template <bool Decrypt>
AESHW_TARGET inline void RunWithKeys(const __m128i* k, int rounds, const unsigned char* in,
                                     unsigned char* out, int blocks) {
  int i = 0;
  for (; i + 8 <= blocks; i += 8) {
    __m128i b[8];
    for (int j = 0; j < 8; ++j) b[j] = _mm_xor_si128(Load(in + 16 * (i + j)), k[0]);
    for (int r = 1; r < rounds; ++r)
      for (int j = 0; j < 8; ++j) b[j] = Round<Decrypt>(b[j], k[r]);
    for (int j = 0; j < 8; ++j) Store(out + 16 * (i + j), LastRound<Decrypt>(b[j], k[rounds]));
  }
  for (; i < blocks; ++i) {
    __m128i b = _mm_xor_si128(Load(in + 16 * i), k[0]);
    for (int r = 1; r < rounds; ++r) b = Round<Decrypt>(b, k[r]);
    Store(out + 16 * i, LastRound<Decrypt>(b, k[rounds]));
  }
}

template <bool Decrypt>
AESHW_TARGET inline void RunSwapped(const unsigned char* rk, int rounds, const unsigned char* in,
                                    unsigned char* out, int blocks) {
  if (blocks == 1) {
    __m128i b = _mm_xor_si128(Load(in), Load(rk));
    for (int r = 1; r < rounds; ++r) b = Round<Decrypt>(b, Load(rk + 16 * r));
    Store(out, LastRound<Decrypt>(b, Load(rk + 16 * rounds)));
    return;
  }
  __m128i k[15];
  for (int r = 0; r <= rounds; ++r) k[r] = Load(rk + 16 * r);
  RunWithKeys<Decrypt>(k, rounds, in, out, blocks);
}

}  // namespace

AESHW_TARGET uint32_t SubWord(uint32_t word) {
  // With four equal columns ShiftRows is the identity, so the last round
  // with a zero key is SubBytes alone.
  __m128i v = _mm_set1_epi32(static_cast<int>(word));
  v = _mm_aesenclast_si128(v, _mm_setzero_si128());
  return static_cast<uint32_t>(_mm_cvtsi128_si32(v));
}

AESHW_TARGET void EncryptBlocks(const uint32_t* rk, int rounds, const unsigned char* in,
                                unsigned char* out, int blocks) {
  __m128i k[15];
  LoadKeys(rk, rounds, k);
  RunWithKeys<false>(k, rounds, in, out, blocks);
}

AESHW_TARGET void DecryptBlocks(const uint32_t* rk, int rounds, const unsigned char* in,
                                unsigned char* out, int blocks) {
  __m128i k[15];
  LoadKeys(rk, rounds, k);
  RunWithKeys<true>(k, rounds, in, out, blocks);
}

void SwapSchedule(const uint32_t* rk, int rounds, unsigned char* out) {
  for (int w = 0; w < 4 * (rounds + 1); ++w) blockbytes::StoreBe32(out + 4 * w, rk[w]);
}

namespace {

// w ^= w << 32 ^ w << 64 ^ w << 96: each word of a round key is the XOR of
// the words before it in the previous one.
AESHW_TARGET inline __m128i PrefixXor(__m128i w) {
  w = _mm_xor_si128(w, _mm_slli_si128(w, 4));
  return _mm_xor_si128(w, _mm_slli_si128(w, 8));
}

// The next four words from the previous four and the assist word broadcast
// from lane `Lane` of `assist`.
template <int Lane>
AESHW_TARGET inline __m128i NextWords(__m128i previous, __m128i assist) {
  return _mm_xor_si128(PrefixXor(previous), _mm_shuffle_epi32(assist, Lane * 0x55));
}

AESHW_TARGET void Expand128(const unsigned char* key, __m128i* k) {
  k[0] = Load(key);
#define AESHW_STEP128(i, rcon) k[i] = NextWords<3>(k[i - 1], _mm_aeskeygenassist_si128(k[i - 1], rcon))
  AESHW_STEP128(1, 0x01);
  AESHW_STEP128(2, 0x02);
  AESHW_STEP128(3, 0x04);
  AESHW_STEP128(4, 0x08);
  AESHW_STEP128(5, 0x10);
  AESHW_STEP128(6, 0x20);
  AESHW_STEP128(7, 0x40);
  AESHW_STEP128(8, 0x80);
  AESHW_STEP128(9, 0x1B);
  AESHW_STEP128(10, 0x36);
#undef AESHW_STEP128
}

// Six words per step: `a` holds words 0-3 of the step, `b` words 4-5 in its
// low half. The round keys straddle steps, so they are put together from
// the halves.
AESHW_TARGET inline void Step192(__m128i& a, __m128i& b, __m128i assist) {
  a = NextWords<1>(a, assist);
  const __m128i last = _mm_shuffle_epi32(a, 0xFF);
  b = _mm_xor_si128(_mm_xor_si128(b, _mm_slli_si128(b, 4)), last);
}

AESHW_TARGET inline __m128i LowHigh(__m128i low, __m128i high) { return _mm_unpacklo_epi64(low, high); }
AESHW_TARGET inline __m128i HighLow(__m128i high, __m128i low) {
  return _mm_castpd_si128(_mm_shuffle_pd(_mm_castsi128_pd(high), _mm_castsi128_pd(low), 1));
}

AESHW_TARGET void Expand192(const unsigned char* key, __m128i* k) {
  __m128i a = Load(key);
  __m128i b = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(key + 16));
  k[0] = a;
  __m128i previousB = b;
#define AESHW_STEP192(rcon) Step192(a, b, _mm_aeskeygenassist_si128(b, rcon))
  // Two steps give twelve words: three round keys.
  AESHW_STEP192(0x01);
  k[1] = LowHigh(previousB, a);
  k[2] = HighLow(a, b);
  AESHW_STEP192(0x02);
  k[3] = a;
  previousB = b;
  AESHW_STEP192(0x04);
  k[4] = LowHigh(previousB, a);
  k[5] = HighLow(a, b);
  AESHW_STEP192(0x08);
  k[6] = a;
  previousB = b;
  AESHW_STEP192(0x10);
  k[7] = LowHigh(previousB, a);
  k[8] = HighLow(a, b);
  AESHW_STEP192(0x20);
  k[9] = a;
  previousB = b;
  AESHW_STEP192(0x40);
  k[10] = LowHigh(previousB, a);
  k[11] = HighLow(a, b);
  AESHW_STEP192(0x80);
  k[12] = a;
#undef AESHW_STEP192
}

AESHW_TARGET void Expand256(const unsigned char* key, __m128i* k) {
  k[0] = Load(key);
  k[1] = Load(key + 16);
  // The second key of each pair takes SubWord alone: no rotation, no constant.
#define AESHW_STEP256(i, rcon)                                                 \
  k[i] = NextWords<3>(k[(i) - 2], _mm_aeskeygenassist_si128(k[(i) - 1], rcon)); \
  k[(i) + 1] = NextWords<2>(k[(i) - 1], _mm_aeskeygenassist_si128(k[i], 0))
  AESHW_STEP256(2, 0x01);
  AESHW_STEP256(4, 0x02);
  AESHW_STEP256(6, 0x04);
  AESHW_STEP256(8, 0x08);
  AESHW_STEP256(10, 0x10);
  AESHW_STEP256(12, 0x20);
  k[14] = NextWords<3>(k[12], _mm_aeskeygenassist_si128(k[13], 0x40));
#undef AESHW_STEP256
}

}  // namespace

AESHW_TARGET int ExpandEncryptKeySwapped(const unsigned char* key, int keyBits, unsigned char* out) {
  __m128i k[15];
  int rounds = 0;
  switch (keyBits) {
    case 128: Expand128(key, k); rounds = 10; break;
    case 192: Expand192(key, k); rounds = 12; break;
    case 256: Expand256(key, k); rounds = 14; break;
    default: return 0;
  }
  for (int r = 0; r <= rounds; ++r) Store(out + 16 * r, k[r]);
  SecureWipeObject(k);
  return rounds;
}

AESHW_TARGET void EncryptBlocksSwapped(const unsigned char* rk, int rounds, const unsigned char* in,
                                       unsigned char* out, int blocks) {
  RunSwapped<false>(rk, rounds, in, out, blocks);
}

AESHW_TARGET void DecryptBlocksSwapped(const unsigned char* rk, int rounds, const unsigned char* in,
                                       unsigned char* out, int blocks) {
  RunSwapped<true>(rk, rounds, in, out, blocks);
}

AESHW_TARGET void DecryptCbcSwapped(const unsigned char* rk, int rounds, unsigned char* chain,
                                    const unsigned char* in, unsigned char* out, int blocks) {
  __m128i k[15];
  for (int r = 0; r <= rounds; ++r) k[r] = Load(rk + 16 * r);
  __m128i previous = Load(chain);
  int i = 0;
  for (; i + 8 <= blocks; i += 8) {
    // Every ciphertext block is read before any output is written.
    __m128i c[8], b[8];
    for (int j = 0; j < 8; ++j) c[j] = Load(in + 16 * (i + j));
    for (int j = 0; j < 8; ++j) b[j] = _mm_xor_si128(c[j], k[0]);
    for (int r = 1; r < rounds; ++r)
      for (int j = 0; j < 8; ++j) b[j] = _mm_aesdec_si128(b[j], k[r]);
    for (int j = 0; j < 8; ++j) b[j] = _mm_aesdeclast_si128(b[j], k[rounds]);
    Store(out + 16 * i, _mm_xor_si128(b[0], previous));
    for (int j = 1; j < 8; ++j) Store(out + 16 * (i + j), _mm_xor_si128(b[j], c[j - 1]));
    previous = c[7];
  }
  for (; i < blocks; ++i) {
    __m128i c = Load(in + 16 * i);
    __m128i b = _mm_xor_si128(c, k[0]);
    for (int r = 1; r < rounds; ++r) b = _mm_aesdec_si128(b, k[r]);
    Store(out + 16 * i, _mm_xor_si128(_mm_aesdeclast_si128(b, k[rounds]), previous));
    previous = c;
  }
  Store(chain, previous);
}

__attribute__((target("aes,ssse3,avx,avx2,vaes"))) void DecryptCbcVaes256(const unsigned char* rk, int rounds,
                                                                          unsigned char* chain,
                                                                          const unsigned char* in,
                                                                          unsigned char* out, int blocks) {
  __m256i k[15];
  for (int r = 0; r <= rounds; ++r) k[r] = _mm256_broadcastsi128_si256(Load(rk + 16 * r));
  __m128i previous = Load(chain);
  int i = 0;
  for (; i + 16 <= blocks; i += 16) {
    const unsigned char* c = in + 16 * i;
    // Register j holds blocks 2j and 2j+1; each is XORed with the block
    // before it, all read before any output is written.
    __m256i b[8], before[8];
    for (int j = 0; j < 8; ++j) b[j] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(c + 32 * j));
    before[0] = _mm256_set_m128i(Load(c), previous);
    for (int j = 1; j < 8; ++j) before[j] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(c + 32 * j - 16));
    previous = Load(c + 16 * 15);
    for (int j = 0; j < 8; ++j) b[j] = _mm256_xor_si256(b[j], k[0]);
    for (int r = 1; r < rounds; ++r)
      for (int j = 0; j < 8; ++j) b[j] = _mm256_aesdec_epi128(b[j], k[r]);
    for (int j = 0; j < 8; ++j) {
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 16 * i + 32 * j),
                          _mm256_xor_si256(_mm256_aesdeclast_epi128(b[j], k[rounds]), before[j]));
    }
  }
  Store(chain, previous);
  DecryptCbcSwapped(rk, rounds, chain, in + 16 * i, out + 16 * i, blocks - i);
}

}  // namespace tornell::aeshw
