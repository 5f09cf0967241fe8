#pragma once
// The sixteen-block AVX-512 ChaCha20 kernel: one 512-bit vector per state
// word, rotations in one instruction. Callers check cpu::Has(cpu::path::kChaCha20Avx512).
#include <immintrin.h>

#include <cstddef>
#include <cstdint>

namespace tornell::chacha20avx512 {

// Masked forms with every lane selected: the unmasked ones trip a false
// uninitialised-value warning in this compiler's headers.
#define Rol(v, n) _mm512_mask_rol_epi32((v), __mmask16(0xFFFF), (v), (n))
#define Lo32(a, b) _mm512_mask_unpacklo_epi32((a), __mmask16(0xFFFF), (a), (b))
#define Hi32(a, b) _mm512_mask_unpackhi_epi32((a), __mmask16(0xFFFF), (a), (b))
#define Lo64(a, b) _mm512_mask_unpacklo_epi64((a), __mmask8(0xFF), (a), (b))
#define Hi64(a, b) _mm512_mask_unpackhi_epi64((a), __mmask8(0xFF), (a), (b))
#define Lanes(a, b, imm) _mm512_mask_shuffle_i32x4((a), __mmask16(0xFFFF), (a), (b), (imm))

#define CHACHA_QR_Z(a, b, c, d)                                                   \
  a = _mm512_add_epi32(a, b); d = Rol(_mm512_xor_si512(d, a), 16);  \
  c = _mm512_add_epi32(c, d); b = Rol(_mm512_xor_si512(b, c), 12);  \
  a = _mm512_add_epi32(a, b); d = Rol(_mm512_xor_si512(d, a), 8);   \
  c = _mm512_add_epi32(c, d); b = Rol(_mm512_xor_si512(b, c), 7)

// Processes blocks * 64 bytes (blocks a multiple of 16) and advances word 12;
// between(step) runs after each quarter-round step (80 per sixteen blocks), as
// in the AVX2 kernel.
template <class Between>
__attribute__((target("avx512f"))) inline void SixteenBlocks(uint32_t* in, const uint8_t* src, uint8_t* dst,
                                                           size_t blocks, Between&& between) {
  const __m512i lanes = _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
  for (; blocks >= 16; blocks -= 16, src += 1024, dst += 1024) {
    __m512i x[16];
    for (int i = 0; i < 16; ++i) x[i] = _mm512_set1_epi32(int(in[i]));
    x[12] = _mm512_add_epi32(x[12], lanes);
    const __m512i counters = x[12];
    for (int r = 0; r < 10; ++r) {
      CHACHA_QR_Z(x[0], x[4], x[8], x[12]);
      between(8 * r + 0);
      CHACHA_QR_Z(x[1], x[5], x[9], x[13]);
      between(8 * r + 1);
      CHACHA_QR_Z(x[2], x[6], x[10], x[14]);
      between(8 * r + 2);
      CHACHA_QR_Z(x[3], x[7], x[11], x[15]);
      between(8 * r + 3);
      CHACHA_QR_Z(x[0], x[5], x[10], x[15]);
      between(8 * r + 4);
      CHACHA_QR_Z(x[1], x[6], x[11], x[12]);
      between(8 * r + 5);
      CHACHA_QR_Z(x[2], x[7], x[8], x[13]);
      between(8 * r + 6);
      CHACHA_QR_Z(x[3], x[4], x[9], x[14]);
      between(8 * r + 7);
    }
    for (int i = 0; i < 16; ++i)
      x[i] = _mm512_add_epi32(x[i], i == 12 ? counters : _mm512_set1_epi32(int(in[i])));
    // Transpose: after two unpack stages, 128-bit lane L of a[g][j] holds
    // words 4g..4g+3 of block 4L + j; four lane shuffles then gather each block.
    __m512i a[4][4];
    for (int g = 0; g < 4; ++g) {
      __m512i* v = x + 4 * g;
      __m512i t0 = Lo32(v[0], v[1]), t1 = Hi32(v[0], v[1]);
      __m512i t2 = Lo32(v[2], v[3]), t3 = Hi32(v[2], v[3]);
      a[g][0] = Lo64(t0, t2);
      a[g][1] = Hi64(t0, t2);
      a[g][2] = Lo64(t1, t3);
      a[g][3] = Hi64(t1, t3);
    }
    for (int j = 0; j < 4; ++j) {
      __m512i t0 = Lanes(a[0][j], a[1][j], 0x44), t1 = Lanes(a[0][j], a[1][j], 0xEE);
      __m512i t2 = Lanes(a[2][j], a[3][j], 0x44), t3 = Lanes(a[2][j], a[3][j], 0xEE);
      __m512i o[4] = {Lanes(t0, t2, 0x88), Lanes(t0, t2, 0xDD),
                      Lanes(t1, t3, 0x88), Lanes(t1, t3, 0xDD)};
      for (int l = 0; l < 4; ++l) {
        size_t off = size_t(4 * l + j) * 64;
        __m512i m = _mm512_loadu_si512(src + off);
        _mm512_storeu_si512(dst + off, _mm512_xor_si512(m, o[l]));
      }
    }
    in[12] += 16;
  }
}

#undef CHACHA_QR_Z
#undef Rol
#undef Lo32
#undef Hi32
#undef Lo64
#undef Hi64
#undef Lanes

}  // namespace tornell::chacha20avx512
