#include "crypto/cipher/AesHardware.h"

#include <immintrin.h>

namespace tornell::aeshw {
namespace {

bool g_forcePortable = false;

bool Detected() {
  static const bool present = __builtin_cpu_supports("aes") && __builtin_cpu_supports("ssse3");
  return present;
}

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

}  // namespace

bool Active() { return !g_forcePortable && Detected(); }

void ForcePortable(bool on) { g_forcePortable = on; }

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
  int i = 0;
  for (; i + 8 <= blocks; i += 8) {
    __m128i b[8];
    for (int j = 0; j < 8; ++j) b[j] = _mm_xor_si128(Load(in + 16 * (i + j)), k[0]);
    for (int r = 1; r < rounds; ++r)
      for (int j = 0; j < 8; ++j) b[j] = _mm_aesenc_si128(b[j], k[r]);
    for (int j = 0; j < 8; ++j) Store(out + 16 * (i + j), _mm_aesenclast_si128(b[j], k[rounds]));
  }
  for (; i < blocks; ++i) {
    __m128i b = _mm_xor_si128(Load(in + 16 * i), k[0]);
    for (int r = 1; r < rounds; ++r) b = _mm_aesenc_si128(b, k[r]);
    Store(out + 16 * i, _mm_aesenclast_si128(b, k[rounds]));
  }
}

AESHW_TARGET void DecryptBlocks(const uint32_t* rk, int rounds, const unsigned char* in,
                                unsigned char* out, int blocks) {
  __m128i k[15];
  LoadKeys(rk, rounds, k);
  int i = 0;
  for (; i + 8 <= blocks; i += 8) {
    __m128i b[8];
    for (int j = 0; j < 8; ++j) b[j] = _mm_xor_si128(Load(in + 16 * (i + j)), k[0]);
    for (int r = 1; r < rounds; ++r)
      for (int j = 0; j < 8; ++j) b[j] = _mm_aesdec_si128(b[j], k[r]);
    for (int j = 0; j < 8; ++j) Store(out + 16 * (i + j), _mm_aesdeclast_si128(b[j], k[rounds]));
  }
  for (; i < blocks; ++i) {
    __m128i b = _mm_xor_si128(Load(in + 16 * i), k[0]);
    for (int r = 1; r < rounds; ++r) b = _mm_aesdec_si128(b, k[r]);
    Store(out + 16 * i, _mm_aesdeclast_si128(b, k[rounds]));
  }
}

}  // namespace tornell::aeshw
