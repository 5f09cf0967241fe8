// The SHA-1 and SHA-256 compression functions on the SHA instructions.
#include "crypto/digest/hash/ShaExtensions.h"

#include <immintrin.h>

#include "crypto/digest/hash/Sha256Digest.h"

namespace tornell::digestcpu {

namespace {

#define SHA_TARGET __attribute__((target("sha,sse4.1,ssse3")))
#define SHA_INLINE inline __attribute__((always_inline, target("sha,sse4.1,ssse3")))

// Four SHA-1 rounds: `prevAbcd` is the state before the previous four, from
// which the fifth working variable of these rounds is derived.
template <int Func>
SHA_INLINE void Sha1Quad(__m128i& abcd, __m128i& prevAbcd, __m128i msg) {
  __m128i e = _mm_sha1nexte_epu32(prevAbcd, msg);
  prevAbcd = abcd;
  abcd = _mm_sha1rnds4_epu32(abcd, e, Func);
}

// Next four schedule words from the previous sixteen (w0 oldest).
SHA_INLINE __m128i Sha1Schedule(__m128i w0, __m128i w1, __m128i w2, __m128i w3) {
  return _mm_sha1msg2_epu32(_mm_xor_si128(_mm_sha1msg1_epu32(w0, w1), w2), w3);
}

SHA_INLINE __m128i Sha256Schedule(__m128i w0, __m128i w1, __m128i w2, __m128i w3) {
  __m128i t = _mm_add_epi32(_mm_sha256msg1_epu32(w0, w1), _mm_alignr_epi8(w3, w2, 4));
  return _mm_sha256msg2_epu32(t, w3);
}

// Two SHA-256 rounds per instruction; `wk` holds four words plus constants.
SHA_INLINE void Sha256Quad(__m128i& abef, __m128i& cdgh, __m128i wk) {
  cdgh = _mm_sha256rnds2_epu32(cdgh, abef, wk);
  abef = _mm_sha256rnds2_epu32(abef, cdgh, _mm_shuffle_epi32(wk, 0x0E));
}

SHA_INLINE __m128i Sha256Wk(__m128i w, int quad) {
  return _mm_add_epi32(w, _mm_loadu_si128(reinterpret_cast<const __m128i*>(Sha256Digest::kRoundConstants + 4 * quad)));
}

}  // namespace

SHA_TARGET void Sha1CompressShaNi(uint32_t state[5], const unsigned char* data, size_t blocks) {
  const __m128i reverse = _mm_set_epi64x(0x0001020304050607LL, 0x08090a0b0c0d0e0fLL);
  __m128i abcd = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state)), 0x1B);
  __m128i e0 = _mm_set_epi32(static_cast<int>(state[4]), 0, 0, 0);

  for (; blocks > 0; --blocks, data += 64) {
    const __m128i* in = reinterpret_cast<const __m128i*>(data);
    __m128i w0 = _mm_shuffle_epi8(_mm_loadu_si128(in + 0), reverse);
    __m128i w1 = _mm_shuffle_epi8(_mm_loadu_si128(in + 1), reverse);
    __m128i w2 = _mm_shuffle_epi8(_mm_loadu_si128(in + 2), reverse);
    __m128i w3 = _mm_shuffle_epi8(_mm_loadu_si128(in + 3), reverse);
    const __m128i savedAbcd = abcd;
    const __m128i savedE = e0;

    __m128i prev = abcd;
    abcd = _mm_sha1rnds4_epu32(abcd, _mm_add_epi32(e0, w0), 0);
    Sha1Quad<0>(abcd, prev, w1);
    Sha1Quad<0>(abcd, prev, w2);
    Sha1Quad<0>(abcd, prev, w3);
    w0 = Sha1Schedule(w0, w1, w2, w3); Sha1Quad<0>(abcd, prev, w0);
    w1 = Sha1Schedule(w1, w2, w3, w0); Sha1Quad<1>(abcd, prev, w1);
    w2 = Sha1Schedule(w2, w3, w0, w1); Sha1Quad<1>(abcd, prev, w2);
    w3 = Sha1Schedule(w3, w0, w1, w2); Sha1Quad<1>(abcd, prev, w3);
    w0 = Sha1Schedule(w0, w1, w2, w3); Sha1Quad<1>(abcd, prev, w0);
    w1 = Sha1Schedule(w1, w2, w3, w0); Sha1Quad<1>(abcd, prev, w1);
    w2 = Sha1Schedule(w2, w3, w0, w1); Sha1Quad<2>(abcd, prev, w2);
    w3 = Sha1Schedule(w3, w0, w1, w2); Sha1Quad<2>(abcd, prev, w3);
    w0 = Sha1Schedule(w0, w1, w2, w3); Sha1Quad<2>(abcd, prev, w0);
    w1 = Sha1Schedule(w1, w2, w3, w0); Sha1Quad<2>(abcd, prev, w1);
    w2 = Sha1Schedule(w2, w3, w0, w1); Sha1Quad<2>(abcd, prev, w2);
    w3 = Sha1Schedule(w3, w0, w1, w2); Sha1Quad<3>(abcd, prev, w3);
    w0 = Sha1Schedule(w0, w1, w2, w3); Sha1Quad<3>(abcd, prev, w0);
    w1 = Sha1Schedule(w1, w2, w3, w0); Sha1Quad<3>(abcd, prev, w1);
    w2 = Sha1Schedule(w2, w3, w0, w1); Sha1Quad<3>(abcd, prev, w2);
    w3 = Sha1Schedule(w3, w0, w1, w2); Sha1Quad<3>(abcd, prev, w3);

    e0 = _mm_sha1nexte_epu32(prev, savedE);
    abcd = _mm_add_epi32(abcd, savedAbcd);
  }

  _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_shuffle_epi32(abcd, 0x1B));
  state[4] = static_cast<uint32_t>(_mm_extract_epi32(e0, 3));
}

SHA_TARGET void Sha256CompressShaNi(uint32_t state[8], const unsigned char* data, size_t blocks) {
  const __m128i swapWords = _mm_set_epi64x(0x0c0d0e0f08090a0bLL, 0x0405060700010203LL);
  __m128i dcba = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state)), 0xB1);
  __m128i hgfe = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4)), 0x1B);
  // The instructions keep the state as the pairs ABEF and CDGH.
  __m128i abef = _mm_alignr_epi8(dcba, hgfe, 8);
  __m128i cdgh = _mm_blend_epi16(hgfe, dcba, 0xF0);

  for (; blocks > 0; --blocks, data += 64) {
    const __m128i* in = reinterpret_cast<const __m128i*>(data);
    __m128i w0 = _mm_shuffle_epi8(_mm_loadu_si128(in + 0), swapWords);
    __m128i w1 = _mm_shuffle_epi8(_mm_loadu_si128(in + 1), swapWords);
    __m128i w2 = _mm_shuffle_epi8(_mm_loadu_si128(in + 2), swapWords);
    __m128i w3 = _mm_shuffle_epi8(_mm_loadu_si128(in + 3), swapWords);
    const __m128i savedAbef = abef;
    const __m128i savedCdgh = cdgh;

    Sha256Quad(abef, cdgh, Sha256Wk(w0, 0));
    Sha256Quad(abef, cdgh, Sha256Wk(w1, 1));
    Sha256Quad(abef, cdgh, Sha256Wk(w2, 2));
    Sha256Quad(abef, cdgh, Sha256Wk(w3, 3));
    for (int quad = 4; quad < 16; quad += 4) {
      w0 = Sha256Schedule(w0, w1, w2, w3); Sha256Quad(abef, cdgh, Sha256Wk(w0, quad));
      w1 = Sha256Schedule(w1, w2, w3, w0); Sha256Quad(abef, cdgh, Sha256Wk(w1, quad + 1));
      w2 = Sha256Schedule(w2, w3, w0, w1); Sha256Quad(abef, cdgh, Sha256Wk(w2, quad + 2));
      w3 = Sha256Schedule(w3, w0, w1, w2); Sha256Quad(abef, cdgh, Sha256Wk(w3, quad + 3));
    }

    abef = _mm_add_epi32(abef, savedAbef);
    cdgh = _mm_add_epi32(cdgh, savedCdgh);
  }

  __m128i feba = _mm_shuffle_epi32(abef, 0x1B);
  __m128i dchg = _mm_shuffle_epi32(cdgh, 0xB1);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_blend_epi16(feba, dchg, 0xF0));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), _mm_alignr_epi8(dchg, feba, 8));
}

}  // namespace tornell::digestcpu
