#pragma once
// The eight-block AVX2 ChaCha20 kernel, shared by the stream cipher and the
// AEAD. Callers check cpu::Has(cpu::path::kChaCha20Avx2) first.
#include <immintrin.h>

#include <cstddef>
#include <cstdint>

namespace tornell::chacha20avx2 {

// Eight blocks at once: vector lane k works on block counter + k.
__attribute__((target("avx2"))) inline __m256i RotlV(__m256i v, int n) {
  return _mm256_or_si256(_mm256_slli_epi32(v, n), _mm256_srli_epi32(v, 32 - n));
}

__attribute__((target("avx2"))) inline __m256i Rot16(__m256i v) {
  const __m256i mask = _mm256_setr_epi8(2, 3, 0, 1, 6, 7, 4, 5, 10, 11, 8, 9, 14, 15, 12, 13,
                                        2, 3, 0, 1, 6, 7, 4, 5, 10, 11, 8, 9, 14, 15, 12, 13);
  return _mm256_shuffle_epi8(v, mask);
}

__attribute__((target("avx2"))) inline __m256i Rot8(__m256i v) {
  const __m256i mask = _mm256_setr_epi8(3, 0, 1, 2, 7, 4, 5, 6, 11, 8, 9, 10, 15, 12, 13, 14,
                                        3, 0, 1, 2, 7, 4, 5, 6, 11, 8, 9, 10, 15, 12, 13, 14);
  return _mm256_shuffle_epi8(v, mask);
}

#define CHACHA_QR_V(a, b, c, d)                                   \
  a = _mm256_add_epi32(a, b); d = Rot16(_mm256_xor_si256(d, a));  \
  c = _mm256_add_epi32(c, d); b = RotlV(_mm256_xor_si256(b, c), 12); \
  a = _mm256_add_epi32(a, b); d = Rot8(_mm256_xor_si256(d, a));   \
  c = _mm256_add_epi32(c, d); b = RotlV(_mm256_xor_si256(b, c), 7)

// Processes blocks * 64 bytes (blocks a multiple of 8) and advances word 12.
// between(step) runs after each of the 80 quarter-round steps of every eight
// blocks, before their output is stored: the AEAD hangs its Poly1305 steps
// there, spread thinly so that the scalar multiplies overlap the vector work.
template <class Between>
__attribute__((target("avx2"))) inline void EightBlocks(uint32_t* in, const uint8_t* src, uint8_t* dst,
                                                      size_t blocks, Between&& between) {
  const __m256i lanes = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
  for (; blocks >= 8; blocks -= 8, src += 512, dst += 512) {
    __m256i x[16], s[16];
    for (int i = 0; i < 16; ++i) s[i] = _mm256_set1_epi32(int(in[i]));
    s[12] = _mm256_add_epi32(s[12], lanes);
    for (int i = 0; i < 16; ++i) x[i] = s[i];
    for (int r = 0; r < 10; ++r) {
      CHACHA_QR_V(x[0], x[4], x[8], x[12]);
      between(8 * r + 0);
      CHACHA_QR_V(x[1], x[5], x[9], x[13]);
      between(8 * r + 1);
      CHACHA_QR_V(x[2], x[6], x[10], x[14]);
      between(8 * r + 2);
      CHACHA_QR_V(x[3], x[7], x[11], x[15]);
      between(8 * r + 3);
      CHACHA_QR_V(x[0], x[5], x[10], x[15]);
      between(8 * r + 4);
      CHACHA_QR_V(x[1], x[6], x[11], x[12]);
      between(8 * r + 5);
      CHACHA_QR_V(x[2], x[7], x[8], x[13]);
      between(8 * r + 6);
      CHACHA_QR_V(x[3], x[4], x[9], x[14]);
      between(8 * r + 7);
    }
    for (int i = 0; i < 16; ++i) x[i] = _mm256_add_epi32(x[i], s[i]);
    // Transpose 16 words x 8 blocks into 8 blocks of 64 bytes.
    for (int half = 0; half < 2; ++half) {
      __m256i* v = x + 8 * half;
      __m256i t0 = _mm256_unpacklo_epi32(v[0], v[1]), t1 = _mm256_unpackhi_epi32(v[0], v[1]);
      __m256i t2 = _mm256_unpacklo_epi32(v[2], v[3]), t3 = _mm256_unpackhi_epi32(v[2], v[3]);
      __m256i t4 = _mm256_unpacklo_epi32(v[4], v[5]), t5 = _mm256_unpackhi_epi32(v[4], v[5]);
      __m256i t6 = _mm256_unpacklo_epi32(v[6], v[7]), t7 = _mm256_unpackhi_epi32(v[6], v[7]);
      __m256i u0 = _mm256_unpacklo_epi64(t0, t2), u1 = _mm256_unpackhi_epi64(t0, t2);
      __m256i u2 = _mm256_unpacklo_epi64(t1, t3), u3 = _mm256_unpackhi_epi64(t1, t3);
      __m256i u4 = _mm256_unpacklo_epi64(t4, t6), u5 = _mm256_unpackhi_epi64(t4, t6);
      __m256i u6 = _mm256_unpacklo_epi64(t5, t7), u7 = _mm256_unpackhi_epi64(t5, t7);
      // u0: words 0-3 of blocks 0 (low lane) and 4 (high lane), with words 4-7 in u4.
      __m256i out[8] = {
          _mm256_permute2x128_si256(u0, u4, 0x20), _mm256_permute2x128_si256(u1, u5, 0x20),
          _mm256_permute2x128_si256(u2, u6, 0x20), _mm256_permute2x128_si256(u3, u7, 0x20),
          _mm256_permute2x128_si256(u0, u4, 0x31), _mm256_permute2x128_si256(u1, u5, 0x31),
          _mm256_permute2x128_si256(u2, u6, 0x31), _mm256_permute2x128_si256(u3, u7, 0x31)};
      for (int b = 0; b < 8; ++b) {
        size_t off = size_t(b) * 64 + size_t(half) * 32;
        __m256i m = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + off));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + off), _mm256_xor_si256(m, out[b]));
      }
    }
    in[12] += 8;
  }
}

#undef CHACHA_QR_V

}  // namespace tornell::chacha20avx2
