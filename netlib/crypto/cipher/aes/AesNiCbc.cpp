#include "crypto/cipher/aes/AesNiCbc.h"

#include <immintrin.h>

namespace tornell::aesnicbc {

__attribute__((target("aes,ssse3"))) void Encrypt(const uint32_t* roundKeys, int rounds, uint8_t* register_,
                                                 const uint8_t* in, uint8_t* out, size_t blocks) {
  const __m128i swap = _mm_set_epi8(12, 13, 14, 15, 8, 9, 10, 11, 4, 5, 6, 7, 0, 1, 2, 3);
  __m128i k[15] = {};
  for (int i = 0; i <= rounds; ++i)
    k[i] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(roundKeys + 4 * i)), swap);
  __m128i r = _mm_loadu_si128(reinterpret_cast<const __m128i*>(register_));
  if (blocks == 0) return;
  // The last round ends with a xor, so the next block's input and first key
  // join its key: the chain runs through the rounds alone, and the block
  // itself comes from a second last round beside it.
  const __m128i lastThenFirst = _mm_xor_si128(k[rounds], k[0]);
  __m128i x = _mm_xor_si128(r, _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in)), k[0]));
  for (size_t b = 0;; ++b, out += 16) {
    for (int i = 1; i < rounds; ++i) x = _mm_aesenc_si128(x, k[i]);
    r = _mm_aesenclast_si128(x, k[rounds]);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), r);
    if (b + 1 == blocks) break;
    in += 16;
    x = _mm_aesenclast_si128(
        x, _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in)), lastThenFirst));
  }
  _mm_storeu_si128(reinterpret_cast<__m128i*>(register_), r);
}

}  // namespace tornell::aesnicbc
