#include "crypto/cipher/ChaCha20.h"

#include <immintrin.h>

#include <cstring>

#include "crypto/cipher/AeadFastPath.h"

namespace tornell {

namespace {

inline uint32_t Rotl(uint32_t v, int n) { return (v << n) | (v >> (32 - n)); }

inline uint32_t Load32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

inline void Store32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
  p[2] = uint8_t(v >> 16);
  p[3] = uint8_t(v >> 24);
}

inline void QuarterRound(uint32_t* x, int a, int b, int c, int d) {
  x[a] += x[b]; x[d] = Rotl(x[d] ^ x[a], 16);
  x[c] += x[d]; x[b] = Rotl(x[b] ^ x[c], 12);
  x[a] += x[b]; x[d] = Rotl(x[d] ^ x[a], 8);
  x[c] += x[d]; x[b] = Rotl(x[b] ^ x[c], 7);
}

void BlockFunction(const uint32_t* in, uint32_t* work, uint8_t* out) {
  std::memcpy(work, in, 64);
  for (int i = 0; i < 10; ++i) {
    QuarterRound(work, 0, 4, 8, 12);
    QuarterRound(work, 1, 5, 9, 13);
    QuarterRound(work, 2, 6, 10, 14);
    QuarterRound(work, 3, 7, 11, 15);
    QuarterRound(work, 0, 5, 10, 15);
    QuarterRound(work, 1, 6, 11, 12);
    QuarterRound(work, 2, 7, 8, 13);
    QuarterRound(work, 3, 4, 9, 14);
  }
  for (int i = 0; i < 16; ++i) Store32(out + 4 * i, work[i] + in[i]);
}

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

// Processes blocks * 64 bytes (blocks a multiple of 8); advances word 12.
__attribute__((target("avx2"))) void EightBlocksAvx2(uint32_t* in, const uint8_t* src, uint8_t* dst,
                                                     size_t blocks) {
  const __m256i lanes = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
  for (; blocks >= 8; blocks -= 8, src += 512, dst += 512) {
    __m256i x[16], s[16];
    for (int i = 0; i < 16; ++i) s[i] = _mm256_set1_epi32(int(in[i]));
    s[12] = _mm256_add_epi32(s[12], lanes);
    for (int i = 0; i < 16; ++i) x[i] = s[i];
    for (int r = 0; r < 10; ++r) {
      CHACHA_QR_V(x[0], x[4], x[8], x[12]);
      CHACHA_QR_V(x[1], x[5], x[9], x[13]);
      CHACHA_QR_V(x[2], x[6], x[10], x[14]);
      CHACHA_QR_V(x[3], x[7], x[11], x[15]);
      CHACHA_QR_V(x[0], x[5], x[10], x[15]);
      CHACHA_QR_V(x[1], x[6], x[11], x[12]);
      CHACHA_QR_V(x[2], x[7], x[8], x[13]);
      CHACHA_QR_V(x[3], x[4], x[9], x[14]);
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

}  // namespace

void ChaCha20::Reset() {
  std::memset(input, 0, sizeof input);
  std::memset(working, 0, sizeof working);
  std::memset(keystream, 0, sizeof keystream);
  position = 0;
}

int ChaCha20::SetKey(const uint8_t* key, int keyLength, const uint8_t* nonce, int nonceLength,
                     int64_t counter) {
  Reset();
  if (keyLength != 32) return kBadKey;
  if (nonceLength != 12 && nonceLength != 8) return kBadNonce;
  input[0] = 0x61707865;
  input[1] = 0x3320646E;
  input[2] = 0x79622D32;
  input[3] = 0x6B206574;
  for (int i = 0; i < 8; ++i) input[4 + i] = Load32(key + 4 * i);
  if (nonceLength == 12) {
    input[12] = uint32_t(uint64_t(counter));
    for (int i = 0; i < 3; ++i) input[13 + i] = Load32(nonce + 4 * i);
  } else {
    // 64-bit counter over words 12 and 13, as the original 8-byte-nonce layout.
    input[12] = uint32_t(uint64_t(counter));
    input[13] = uint32_t(uint64_t(counter) >> 32);
    for (int i = 0; i < 2; ++i) input[14 + i] = Load32(nonce + 4 * i);
  }
  return 0;
}

void ChaCha20::NextBlock() {
  BlockFunction(input, working, keystream);
  input[12] += 1;
}

int ChaCha20::Encrypt(const uint8_t* in, size_t length, uint8_t* out) {
  // Finish the keystream block a previous call started.
  while (length > 0 && position != 0) {
    *out++ = *in++ ^ keystream[position];
    position = (position + 1) & 63;
    --length;
  }
  size_t blocks = length / 64;
  if (blocks >= 8 && aeadfast::UseAvx2()) {
    size_t wide = blocks & ~size_t(7);
    EightBlocksAvx2(input, in, out, wide);
    in += wide * 64;
    out += wide * 64;
    length -= wide * 64;
  }
  while (length >= 64) {
    NextBlock();
    for (int i = 0; i < 64; ++i) out[i] = in[i] ^ keystream[i];
    in += 64;
    out += 64;
    length -= 64;
  }
  if (length > 0) {
    NextBlock();
    for (size_t i = 0; i < length; ++i) out[i] = in[i] ^ keystream[i];
    position = int32_t(length);
  }
  return 0;
}

int ChaCha20::CopyFrom(const ChaCha20& other) {
  std::memcpy(input, other.input, sizeof input);
  std::memcpy(working, other.working, sizeof working);
  std::memcpy(keystream, other.keystream, sizeof keystream);
  position = other.position;
  initialCounter = other.initialCounter;
  return 0;
}

}  // namespace tornell
