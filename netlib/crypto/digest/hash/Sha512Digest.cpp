#include "crypto/digest/hash/Sha512Digest.h"

#include "core/base/Status.h"

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

struct NoHook {
  void operator()() const {}
};

// The eighty rounds over precomputed schedule-plus-constant words, read
// `stride` words apart; hook() runs after every eight (other work for the
// units the rounds leave idle).
template <int kStride, class Hook = const NoHook>
inline __attribute__((always_inline)) void Rounds(uint64_t st[8], const uint64_t* wk, Hook& hook = NoHook()) {
  uint64_t a = st[0], b = st[1], c = st[2], d = st[3], e = st[4], f = st[5], g = st[6], h = st[7];
  uint64_t x = b ^ c, y = 0;
#pragma GCC unroll 10
  for (int t = 0; t < 80; t += 8) {
    Round(a, b, d, e, f, g, h, wk[kStride * t], x, y);
    Round(h, a, c, d, e, f, g, wk[kStride * (t + 1)], y, x);
    Round(g, h, b, c, d, e, f, wk[kStride * (t + 2)], x, y);
    Round(f, g, a, b, c, d, e, wk[kStride * (t + 3)], y, x);
    Round(e, f, h, a, b, c, d, wk[kStride * (t + 4)], x, y);
    Round(d, e, g, h, a, b, c, wk[kStride * (t + 5)], y, x);
    Round(c, d, f, g, h, a, b, wk[kStride * (t + 6)], x, y);
    Round(b, c, e, f, g, h, a, wk[kStride * (t + 7)], y, x);
    hook();
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
    Rounds<1>(st, wk);
  }
}

#define AVX2_INLINE inline __attribute__((always_inline, target("avx2,bmi,bmi2")))

AVX2_INLINE __m256i Rotr64x4(__m256i x, int n) {
  return _mm256_or_si256(_mm256_srli_epi64(x, n), _mm256_slli_epi64(x, 64 - n));
}

AVX2_INLINE __m256i Load4(const uint64_t* q) { return _mm256_load_si256(reinterpret_cast<const __m256i*>(q)); }

// The schedules of four consecutive blocks at once, lane j holding block j:
// wk[t][j] is word t of block j plus the round constant. One step computes
// word t from the last sixteen, kept in w.
AVX2_INLINE void ScheduleStep(const unsigned char* p, int t, uint64_t w[16][4], uint64_t wk[80][4]) {
  __m256i v;
  if (t < 16) {
    const __m256i swap = _mm256_set_epi8(8, 9, 10, 11, 12, 13, 14, 15, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10,
                                         11, 12, 13, 14, 15, 0, 1, 2, 3, 4, 5, 6, 7);
    const __m256i index = _mm256_set_epi64x(384, 256, 128, 0);
    v = _mm256_shuffle_epi8(_mm256_i64gather_epi64(reinterpret_cast<const long long*>(p + 8 * t), index, 1), swap);
  } else {
    __m256i x1 = Load4(w[(t + 1) & 15]), x14 = Load4(w[(t + 14) & 15]);
    __m256i sigma0 = _mm256_xor_si256(_mm256_xor_si256(Rotr64x4(x1, 1), Rotr64x4(x1, 8)),
                                      _mm256_srli_epi64(x1, 7));
    __m256i sigma1 = _mm256_xor_si256(_mm256_xor_si256(Rotr64x4(x14, 19), Rotr64x4(x14, 61)),
                                      _mm256_srli_epi64(x14, 6));
    v = _mm256_add_epi64(_mm256_add_epi64(Load4(w[t & 15]), sigma0), _mm256_add_epi64(Load4(w[(t + 9) & 15]), sigma1));
  }
  _mm256_store_si256(reinterpret_cast<__m256i*>(w[t & 15]), v);
  _mm256_store_si256(reinterpret_cast<__m256i*>(wk[t]),
                     _mm256_add_epi64(v, _mm256_set1_epi64x(static_cast<long long>(kK[t]))));
}

// Two steps of the following group's schedule, for the rounds' hook.
struct NextSchedule {
  const unsigned char* p;
  uint64_t (*w)[4];
  uint64_t (*wk)[4];
  int t = 0;
  __attribute__((target("avx2,bmi,bmi2"))) void operator()() {
    ScheduleStep(p, t, w, wk);
    ScheduleStep(p, t + 1, w, wk);
    t += 2;
  }
};

// Groups of four blocks take their schedules from the vector unit, each
// group's computed two steps at a time between the scalar rounds (on
// three-operand rotates) of the group before, where the vector unit idles.
__attribute__((target("avx2,bmi,bmi2"))) void CompressAvx2(uint64_t st[8], const unsigned char* p,
                                                          size_t blocks) {
  alignas(32) uint64_t wk4[2][80][4];
  alignas(32) uint64_t w[16][4];
  int current = 0;
  if (blocks >= 4) {
    for (int t = 0; t < 80; ++t) ScheduleStep(p, t, w, wk4[0]);
  }
  for (; blocks >= 4; blocks -= 4, p += 4 * Sha512Digest::kBlockBytes) {
    const unsigned char* following = p + 4 * Sha512Digest::kBlockBytes;
    uint64_t(*next)[4] = wk4[current ^ 1];
    NextSchedule step{following, w, next};
    if (blocks >= 8) {
      for (int j = 0; j < 4; ++j) Rounds<4>(st, &wk4[current][0][j], step);
    } else {
      for (int j = 0; j < 4; ++j) Rounds<4>(st, &wk4[current][0][j]);
    }
    current ^= 1;
  }
  for (; blocks > 0; --blocks, p += Sha512Digest::kBlockBytes) {
    uint64_t wk[80];
    Schedule(p, wk);
    Rounds<1>(st, wk);
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
