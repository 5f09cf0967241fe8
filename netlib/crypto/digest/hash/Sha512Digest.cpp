#include "crypto/digest/hash/Sha512Digest.h"

#include "core/base/Status.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include <immintrin.h>

#include "crypto/digest/hash/DigestBytes.h"
#include "core/cpu/CpuFeatures.h"
#include "crypto/digest/hash/Sha2Steps.h"

namespace tornell {

using namespace digestbytes;

namespace {

constexpr uint64_t kK[80] = {
    0x428a2f98d728ae22, 0x7137449123ef65cd, 0xb5c0fbcfec4d3b2f, 0xe9b5dba58189dbbc, 0x3956c25bf348b538,
    0x59f111f1b605d019, 0x923f82a4af194f9b, 0xab1c5ed5da6d8118, 0xd807aa98a3030242, 0x12835b0145706fbe,
    0x243185be4ee4b28c, 0x550c7dc3d5ffb4e2, 0x72be5d74f27b896f, 0x80deb1fe3b1696b1, 0x9bdc06a725c71235,
    0xc19bf174cf692694, 0xe49b69c19ef14ad2, 0xefbe4786384f25e3, 0x0fc19dc68b8cd5b5, 0x240ca1cc77ac9c65,
    0x2de92c6f592b0275, 0x4a7484aa6ea6e483, 0x5cb0a9dcbd41fbd4, 0x76f988da831153b5, 0x983e5152ee66dfab,
    0xa831c66d2db43210, 0xb00327c898fb213f, 0xbf597fc7beef0ee4, 0xc6e00bf33da88fc2, 0xd5a79147930aa725,
    0x06ca6351e003826f, 0x142929670a0e6e70, 0x27b70a8546d22ffc, 0x2e1b21385c26c926, 0x4d2c6dfc5ac42aed,
    0x53380d139d95b3df, 0x650a73548baf63de, 0x766a0abb3c77b2a8, 0x81c2c92e47edaee6, 0x92722c851482353b,
    0xa2bfe8a14cf10364, 0xa81a664bbc423001, 0xc24b8b70d0f89791, 0xc76c51a30654be30, 0xd192e819d6ef5218,
    0xd69906245565a910, 0xf40e35855771202a, 0x106aa07032bbd1b8, 0x19a4c116b8d2d0c8, 0x1e376c085141ab53,
    0x2748774cdf8eeb99, 0x34b0bcb5e19b48a8, 0x391c0cb3c5c95a63, 0x4ed8aa4ae3418acb, 0x5b9cca4f7763e373,
    0x682e6ff3d6b2b8a3, 0x748f82ee5defb2fc, 0x78a5636f43172f60, 0x84c87814a1f0ab72, 0x8cc702081a6439ec,
    0x90befffa23631e28, 0xa4506cebde82bde9, 0xbef9a3f7b2c67915, 0xc67178f2e372532b, 0xca273eceea26619c,
    0xd186b8c721c0c207, 0xeada7dd6cde0eb1e, 0xf57d4f7fee6ed178, 0x06f067aa72176fba, 0x0a637dc5a2c898a6,
    0x113f9804bef90dae, 0x1b710b35131c471b, 0x28db77f523047d84, 0x32caab7b40c72493, 0x3c9ebe0a15c9bebc,
    0x431d67c49c100d4c, 0x4cc5d4becb3e42b6, 0x597f299cfc657e2a, 0x5fcb6fab3ad6faec, 0x6c44198c4a475817};

inline uint64_t BigSigma0(uint64_t x) { return std::rotr(x, 28) ^ std::rotr(x, 34) ^ std::rotr(x, 39); }
inline uint64_t BigSigma1(uint64_t x) { return std::rotr(x, 14) ^ std::rotr(x, 18) ^ std::rotr(x, 41); }
inline uint64_t SmallSigma0(uint64_t x) { return std::rotr(x, 1) ^ std::rotr(x, 8) ^ (x >> 7); }
inline uint64_t SmallSigma1(uint64_t x) { return std::rotr(x, 19) ^ std::rotr(x, 61) ^ (x >> 6); }

// One round, the roles of a..h passed in rotated order. Maj(a, b, c) is
// ((a ^ b) & (b ^ c)) ^ b, and this round's a ^ b is the next round's b ^ c.
inline void Round(uint64_t a, uint64_t b, uint64_t& d, uint64_t e, uint64_t f, uint64_t g,
                  uint64_t& h, uint64_t wk, uint64_t bc, uint64_t& ab) {
  uint64_t t1 = h + wk + BigSigma1(e) + (e & f) + (~e & g);
  ab = a ^ b;
  uint64_t t2 = BigSigma0(a) + ((ab & bc) ^ b);
  d += t1;
  h = t1 + t2;
}

// The eighty rounds over precomputed schedule-plus-constant words.
inline __attribute__((always_inline)) void Rounds(uint64_t st[8], const uint64_t* wk) {
  uint64_t a = st[0], b = st[1], c = st[2], d = st[3], e = st[4], f = st[5], g = st[6], h = st[7];
  uint64_t x = b ^ c, y = 0;
#pragma GCC unroll 10
  for (int t = 0; t < 80; t += 8) {
    Round(a, b, d, e, f, g, h, wk[t], x, y);
    Round(h, a, c, d, e, f, g, wk[t + 1], y, x);
    Round(g, h, b, c, d, e, f, wk[t + 2], x, y);
    Round(f, g, a, b, c, d, e, wk[t + 3], y, x);
    Round(e, f, h, a, b, c, d, wk[t + 4], x, y);
    Round(d, e, g, h, a, b, c, wk[t + 5], y, x);
    Round(c, d, f, g, h, a, b, wk[t + 6], x, y);
    Round(b, c, e, f, g, h, a, wk[t + 7], y, x);
  }
  st[0] += a;
  st[1] += b;
  st[2] += c;
  st[3] += d;
  st[4] += e;
  st[5] += f;
  st[6] += g;
  st[7] += h;
}

inline __attribute__((always_inline)) void Schedule(const unsigned char* p, uint64_t wk[80]) {
  uint64_t w[80];
  for (int t = 0; t < 16; ++t) w[t] = LoadBe64(p + 8 * t);
  for (int t = 16; t < 80; ++t) w[t] = w[t - 16] + SmallSigma0(w[t - 15]) + w[t - 7] + SmallSigma1(w[t - 2]);
  for (int t = 0; t < 80; ++t) wk[t] = w[t] + kK[t];
}

void CompressPortable(uint64_t st[8], const unsigned char* p, size_t blocks) {
  for (; blocks > 0; --blocks, p += Sha512Digest::kBlockBytes) {
    uint64_t wk[80];
    Schedule(p, wk);
    Rounds(st, wk);
  }
}

#define AVX2_INLINE inline __attribute__((always_inline, target("avx2,bmi,bmi2")))

// The vector path keeps four blocks' schedules side by side, lane j holding
// block j. Each word's entry holds wk (word plus round constant), the word
// itself and the round constant repeated, so that one pointer reaches all
// three.
struct ScheduleEntry {
  uint64_t wk[4];
  uint64_t w[4];
  uint64_t k[4];
};
constexpr int kEntryBytes = sizeof(ScheduleEntry);

AVX2_INLINE __m256i Load4(const uint64_t* q) { return _mm256_load_si256(reinterpret_cast<const __m256i*>(q)); }
AVX2_INLINE void Store4(uint64_t* q, __m256i v) { _mm256_store_si256(reinterpret_cast<__m256i*>(q), v); }

// Each 64-bit lane rotated right by eight bits, as one byte shuffle.
AVX2_INLINE __m256i RotateBytes8() {
  return _mm256_set_epi8(8, 15, 14, 13, 12, 11, 10, 9, 0, 7, 6, 5, 4, 3, 2, 1, 8, 15, 14, 13, 12, 11, 10, 9, 0, 7, 6,
                         5, 4, 3, 2, 1);
}

// Words t..t+3 of one block.
AVX2_INLINE __m256i LoadBe4(const unsigned char* block, int t) {
  const __m256i swap = _mm256_set_epi8(8, 9, 10, 11, 12, 13, 14, 15, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12,
                                       13, 14, 15, 0, 1, 2, 3, 4, 5, 6, 7);
  return _mm256_shuffle_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(block + 8 * t)), swap);
}

// The first sixteen words of four consecutive blocks, turned into lanes.
AVX2_INLINE void LoadWords(const unsigned char* p, ScheduleEntry* s) {
  for (int t = 0; t < 16; t += 4) {
    __m256i b0 = LoadBe4(p, t), b1 = LoadBe4(p + 128, t), b2 = LoadBe4(p + 256, t), b3 = LoadBe4(p + 384, t);
    __m256i even01 = _mm256_unpacklo_epi64(b0, b1), odd01 = _mm256_unpackhi_epi64(b0, b1);
    __m256i even23 = _mm256_unpacklo_epi64(b2, b3), odd23 = _mm256_unpackhi_epi64(b2, b3);
    __m256i v[4] = {_mm256_permute2x128_si256(even01, even23, 0x20), _mm256_permute2x128_si256(odd01, odd23, 0x20),
                    _mm256_permute2x128_si256(even01, even23, 0x31), _mm256_permute2x128_si256(odd01, odd23, 0x31)};
    for (int i = 0; i < 4; ++i) {
      Store4(s[t + i].w, v[i]);
      Store4(s[t + i].wk, _mm256_add_epi64(v[i], Load4(s[t + i].k)));
    }
  }
}

// Word t of four blocks from the sixteen before it. The shifted halves of
// each rotation share no bits, so xor joins them.
AVX2_INLINE void ComputeWord(ScheduleEntry* s, int t) {
  __m256i x1 = Load4(s[t - 15].w), x14 = Load4(s[t - 2].w);
  __m256i sigma0 =
      _mm256_xor_si256(_mm256_xor_si256(_mm256_srli_epi64(x1, 1), _mm256_slli_epi64(x1, 63)),
                       _mm256_xor_si256(_mm256_shuffle_epi8(x1, RotateBytes8()), _mm256_srli_epi64(x1, 7)));
  __m256i sigma1 = _mm256_xor_si256(
      _mm256_xor_si256(_mm256_xor_si256(_mm256_srli_epi64(x14, 19), _mm256_slli_epi64(x14, 45)),
                       _mm256_xor_si256(_mm256_srli_epi64(x14, 61), _mm256_slli_epi64(x14, 3))),
      _mm256_srli_epi64(x14, 6));
  __m256i v =
      _mm256_add_epi64(_mm256_add_epi64(Load4(s[t - 16].w), sigma0), _mm256_add_epi64(Load4(s[t - 7].w), sigma1));
  Store4(s[t].w, v);
  Store4(s[t].wk, _mm256_add_epi64(v, Load4(s[t].k)));
}

// One round on BMI rotates, the roles of a..h and of the a ^ b and b ^ c
// registers named in rotated order. The new e is (d + h + wk + Ch) + Sigma1(e),
// so it waits on e for four steps; the new a takes the same sums and then
// Maj and Sigma0(a). Maj(a, b, c) is ((a ^ b) & (b ^ c)) ^ b: this round's
// a ^ b is the next round's b ^ c.
#define SHA512_ROUND(A, B, D, E, F, G, H, AB, BC, OFFSET) \
  "add " #OFFSET "(%[wk]), %[" #H "]\n\t"                 \
  "mov %[" #F "], %[" #AB "]\n\t"                         \
  "and %[" #E "], %[" #AB "]\n\t"                         \
  "andn %[" #G "], %[" #E "], %[s]\n\t"                   \
  "add %[s], %[" #AB "]\n\t"                              \
  "add %[" #H "], %[" #D "]\n\t"                          \
  "rorx $14, %[" #E "], %[s]\n\t"                         \
  "add %[" #AB "], %[" #D "]\n\t"                         \
  "add %[" #AB "], %[" #H "]\n\t"                         \
  "rorx $18, %[" #E "], %[" #AB "]\n\t"                   \
  "xor %[" #AB "], %[s]\n\t"                              \
  "rorx $41, %[" #E "], %[" #AB "]\n\t"                   \
  "xor %[" #AB "], %[s]\n\t"                              \
  "mov %[" #A "], %[" #AB "]\n\t"                         \
  "xor %[" #B "], %[" #AB "]\n\t"                         \
  "add %[s], %[" #D "]\n\t"                               \
  "add %[s], %[" #H "]\n\t"                               \
  "and %[" #AB "], %[" #BC "]\n\t"                        \
  "xor %[" #B "], %[" #BC "]\n\t"                         \
  "rorx $28, %[" #A "], %[s]\n\t"                         \
  "add %[" #BC "], %[" #H "]\n\t"                         \
  "rorx $34, %[" #A "], %[" #BC "]\n\t"                   \
  "xor %[" #BC "], %[s]\n\t"                              \
  "rorx $39, %[" #A "], %[" #BC "]\n\t"                   \
  "xor %[" #BC "], %[s]\n\t"                              \
  "add %[s], %[" #H "]\n\t"

// One word of the following group's schedule at entry q + N (offsets in
// bytes from the entry: wk 0, w 32, k 64, one entry 96).
#define SHA512_STEP(W16, W15, W7, W2, WK, W, K) \
  "vmovdqa " #W15 "(%[q]), %%ymm12\n\t"         \
  "vmovdqa " #W2 "(%[q]), %%ymm13\n\t"          \
  "vpsrlq $1, %%ymm12, %%ymm14\n\t"             \
  "vpsllq $63, %%ymm12, %%ymm15\n\t"            \
  "vpxor %%ymm15, %%ymm14, %%ymm14\n\t"         \
  "vpsrlq $7, %%ymm12, %%ymm15\n\t"             \
  "vpxor %%ymm15, %%ymm14, %%ymm14\n\t"         \
  "vpshufb %[rotate8], %%ymm12, %%ymm15\n\t"    \
  "vpxor %%ymm15, %%ymm14, %%ymm14\n\t"         \
  "vpsrlq $19, %%ymm13, %%ymm15\n\t"            \
  "vpsllq $45, %%ymm13, %%ymm12\n\t"            \
  "vpxor %%ymm12, %%ymm15, %%ymm15\n\t"         \
  "vpsrlq $61, %%ymm13, %%ymm12\n\t"            \
  "vpxor %%ymm12, %%ymm15, %%ymm15\n\t"         \
  "vpsllq $3, %%ymm13, %%ymm12\n\t"             \
  "vpxor %%ymm12, %%ymm15, %%ymm15\n\t"         \
  "vpsrlq $6, %%ymm13, %%ymm12\n\t"             \
  "vpxor %%ymm12, %%ymm15, %%ymm15\n\t"         \
  "vpaddq %%ymm15, %%ymm14, %%ymm14\n\t"        \
  "vpaddq " #W16 "(%[q]), %%ymm14, %%ymm14\n\t" \
  "vpaddq " #W7 "(%[q]), %%ymm14, %%ymm14\n\t"  \
  "vmovdqa %%ymm14, " #W "(%[q])\n\t"           \
  "vpaddq " #K "(%[q]), %%ymm14, %%ymm14\n\t"   \
  "vmovdqa %%ymm14, " #WK "(%[q])\n\t"

// The eighty rounds of block j of a group (wk points at its lane of the
// group's first entry), sixteen to a pass, computing after every eight two
// words of the following group's schedule at q until q reaches qEnd.
AVX2_INLINE void BlockRounds(uint64_t st[8], const uint64_t* wk, ScheduleEntry*& q, const ScheduleEntry* qEnd) {
  uint64_t a = st[0], b = st[1], c = st[2], d = st[3], e = st[4], f = st[5], g = st[6], h = st[7];
  uint64_t bc = b ^ c, ab, s;
  const uint64_t* wkEnd = wk + 80 * (kEntryBytes / 8);
  asm("1:\n\t"
      SHA512_ROUND(ra, rb, rd, re, rf, rg, rh, ab, bc, 0)
      SHA512_ROUND(rh, ra, rc, rd, re, rf, rg, bc, ab, 96)
      SHA512_ROUND(rg, rh, rb, rc, rd, re, rf, ab, bc, 192)
      SHA512_ROUND(rf, rg, ra, rb, rc, rd, re, bc, ab, 288)
      SHA512_ROUND(re, rf, rh, ra, rb, rc, rd, ab, bc, 384)
      SHA512_ROUND(rd, re, rg, rh, ra, rb, rc, bc, ab, 480)
      SHA512_ROUND(rc, rd, rf, rg, rh, ra, rb, ab, bc, 576)
      SHA512_ROUND(rb, rc, re, rf, rg, rh, ra, bc, ab, 672)
      "cmp %[qEnd], %[q]\n\t"
      "jae 2f\n\t"
      SHA512_STEP(-1504, -1408, -640, -160, 0, 32, 64)
      SHA512_STEP(-1408, -1312, -544, -64, 96, 128, 160)
      "add $192, %[q]\n"
      "2:\n\t"
      SHA512_ROUND(ra, rb, rd, re, rf, rg, rh, ab, bc, 768)
      SHA512_ROUND(rh, ra, rc, rd, re, rf, rg, bc, ab, 864)
      SHA512_ROUND(rg, rh, rb, rc, rd, re, rf, ab, bc, 960)
      SHA512_ROUND(rf, rg, ra, rb, rc, rd, re, bc, ab, 1056)
      SHA512_ROUND(re, rf, rh, ra, rb, rc, rd, ab, bc, 1152)
      SHA512_ROUND(rd, re, rg, rh, ra, rb, rc, bc, ab, 1248)
      SHA512_ROUND(rc, rd, rf, rg, rh, ra, rb, ab, bc, 1344)
      SHA512_ROUND(rb, rc, re, rf, rg, rh, ra, bc, ab, 1440)
      "cmp %[qEnd], %[q]\n\t"
      "jae 3f\n\t"
      SHA512_STEP(-1504, -1408, -640, -160, 0, 32, 64)
      SHA512_STEP(-1408, -1312, -544, -64, 96, 128, 160)
      "add $192, %[q]\n"
      "3:\n\t"
      "add $1536, %[wk]\n\t"
      "cmp %[wkEnd], %[wk]\n\t"
      "jne 1b"
      : [ra] "+r"(a), [rb] "+r"(b), [rc] "+r"(c), [rd] "+r"(d), [re] "+r"(e), [rf] "+r"(f), [rg] "+r"(g),
        [rh] "+r"(h), [ab] "=&r"(ab), [bc] "+r"(bc), [s] "=&r"(s), [wk] "+r"(wk), [q] "+r"(q)
      : [qEnd] "m"(qEnd), [wkEnd] "m"(wkEnd), [rotate8] "x"(RotateBytes8())
      : "cc", "memory", "xmm12", "xmm13", "xmm14", "xmm15");
#undef SHA512_ROUND
#undef SHA512_STEP
  st[0] += a;
  st[1] += b;
  st[2] += c;
  st[3] += d;
  st[4] += e;
  st[5] += f;
  st[6] += g;
  st[7] += h;
}

// Groups of four blocks take their schedules from the vector unit: each
// group's is computed between the scalar rounds of the group before, where
// the vector unit would idle.
__attribute__((target("avx2,bmi,bmi2"))) void CompressAvx2(uint64_t st[8], const unsigned char* p,
                                                          size_t blocks) {
  if (blocks >= 4) {
    alignas(32) ScheduleEntry schedule[2][80];
    for (int t = 0; t < 80; ++t) {
      __m256i k = _mm256_set1_epi64x(static_cast<long long>(kK[t]));
      Store4(schedule[0][t].k, k);
      Store4(schedule[1][t].k, k);
    }
    LoadWords(p, schedule[0]);
    for (int t = 16; t < 80; ++t) ComputeWord(schedule[0], t);
    int current = 0;
    for (; blocks >= 4; blocks -= 4, p += 4 * Sha512Digest::kBlockBytes) {
      ScheduleEntry* next = schedule[current ^ 1];
      ScheduleEntry* q = next + 16;
      const ScheduleEntry* qEnd = q;
      if (blocks >= 8) {
        LoadWords(p + 4 * Sha512Digest::kBlockBytes, next);
        qEnd = next + 80;
      }
      for (int j = 0; j < 4; ++j) {
        BlockRounds(st, &schedule[current][0].wk[j], q, std::min<const ScheduleEntry*>(q + 16, qEnd));
      }
      current ^= 1;
    }
  }
  for (; blocks > 0; --blocks, p += Sha512Digest::kBlockBytes) {
    uint64_t wk[80];
    Schedule(p, wk);
    Rounds(st, wk);
  }
}

const uint64_t kInit512[8] = {0x6a09e667f3bcc908, 0xbb67ae8584caa73b, 0x3c6ef372fe94f82b,
                              0xa54ff53a5f1d36f1, 0x510e527fade682d1, 0x9b05688c2b3e6c1f,
                              0x1f83d9abfb41bd6b, 0x5be0cd19137e2179};
const uint64_t kInit384[8] = {0xcbbb9d5dc1059ed8, 0x629a292a367cd507, 0x9159015a3070dd17,
                              0x152fecd8f70e5939, 0x67332667ffc00b31, 0x8eb44a8768581511,
                              0xdb0c2e0d64f98fa7, 0x47b5481dbefa4fa4};
const uint64_t kInit512_224[8] = {0x8c3d37c819544da2, 0x73e1996689dcd4d6, 0x1dfab7ae32ff9c82,
                                  0x679dd514582f9fcf, 0x0f6d2b697bd44da8, 0x77e36f7304c48942,
                                  0x3f9d85a86a1d36c8, 0x1112e6ad91d692a1};
const uint64_t kInit512_256[8] = {0x22312194fc2bf72c, 0x9f555fa3c84c64c2, 0x2393b86b6f53b151,
                                  0x963877195940eabd, 0x96283ee2a88effe3, 0xbe5e1e2553863992,
                                  0x2b0199fc2c85b8aa, 0x0eb72ddc81c52ca2};

}  // namespace

void Sha512Digest::Compress(uint64_t st[8], const unsigned char* data, size_t blocks) {
  if (cpu::Has(cpu::path::kSha512Avx2)) {
    CompressAvx2(st, data, blocks);
  } else {
    CompressPortable(st, data, blocks);
  }
}

void Sha512Digest::SetInitialValues(const uint64_t init[8]) {
  std::memcpy(state, init, sizeof state);
}

void Sha512Digest::Reset() {
  countHigh = countLow = 0;
  std::memset(buffer, 0, sizeof buffer);
  SetInitialValues(kInit512);
}

void Sha384Digest::Reset() {
  Sha512Digest::Reset();
  SetInitialValues(kInit384);
}

void Sha512_224Digest::Reset() {
  Sha512Digest::Reset();
  SetInitialValues(kInit512_224);
}

void Sha512_256Digest::Reset() {
  Sha512Digest::Reset();
  SetInitialValues(kInit512_256);
}

void Sha512Digest::Update(const char* data, int length) { UpdateSha2(*this, data, length); }

unsigned char* Sha512Digest::Final() { return FinishSha2(*this); }

unsigned char* Sha512_224Digest::Final() {
  unsigned char* out = Sha512Digest::Final();
  out[kDigestBytes] = 0;
  return out;
}

unsigned char* Sha512_256Digest::Final() {
  unsigned char* out = Sha512Digest::Final();
  out[kDigestBytes] = 0;
  return out;
}

int Sha512Digest::CopyFrom(const Sha512Digest& other) {
  Sha512Digest::operator=(other);
  return kStatusOk;
}

}  // namespace tornell
