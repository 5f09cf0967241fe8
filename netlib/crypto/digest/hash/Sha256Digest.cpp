#include "crypto/digest/hash/Sha256Digest.h"

#include "core/base/Status.h"

#include <bit>
#include <cstring>

#include "crypto/digest/hash/DigestBytes.h"
#include "core/cpu/CpuFeatures.h"
#include "crypto/digest/hash/ShaExtensions.h"
#include "crypto/digest/hash/Sha2Steps.h"

namespace tornell {

using namespace digestbytes;

namespace {

inline uint32_t BigSigma0(uint32_t x) { return std::rotr(x, 2) ^ std::rotr(x, 13) ^ std::rotr(x, 22); }
inline uint32_t BigSigma1(uint32_t x) { return std::rotr(x, 6) ^ std::rotr(x, 11) ^ std::rotr(x, 25); }
inline uint32_t SmallSigma0(uint32_t x) { return std::rotr(x, 7) ^ std::rotr(x, 18) ^ (x >> 3); }
inline uint32_t SmallSigma1(uint32_t x) { return std::rotr(x, 17) ^ std::rotr(x, 19) ^ (x >> 10); }

inline uint32_t Expand(uint32_t w[16], int t) {
  uint32_t v = w[t & 15] + SmallSigma0(w[(t + 1) & 15]) + w[(t + 9) & 15] + SmallSigma1(w[(t + 14) & 15]);
  w[t & 15] = v;
  return v;
}

// One round with the roles of a..h passed in rotated order.
inline void Round(uint32_t a, uint32_t b, uint32_t c, uint32_t& d, uint32_t e, uint32_t f,
                  uint32_t g, uint32_t& h, uint32_t kw) {
  uint32_t t1 = h + BigSigma1(e) + (g ^ (e & (f ^ g))) + kw;
  uint32_t t2 = BigSigma0(a) + ((a & b) | (c & (a | b)));
  d += t1;
  h = t1 + t2;
}

void CompressOne(uint32_t st[8], const unsigned char* p) {
  uint32_t w[16];
  for (int i = 0; i < 16; ++i) w[i] = LoadBe32(p + 4 * i);
  uint32_t a = st[0], b = st[1], c = st[2], d = st[3], e = st[4], f = st[5], g = st[6], h = st[7];

#pragma GCC unroll 8
  for (int t = 0; t < 64; t += 8) {
    auto word = [&](int i) { return i < 16 ? w[i] : Expand(w, i); };
    Round(a, b, c, d, e, f, g, h, Sha256Digest::kRoundConstants[t] + word(t));
    Round(h, a, b, c, d, e, f, g, Sha256Digest::kRoundConstants[t + 1] + word(t + 1));
    Round(g, h, a, b, c, d, e, f, Sha256Digest::kRoundConstants[t + 2] + word(t + 2));
    Round(f, g, h, a, b, c, d, e, Sha256Digest::kRoundConstants[t + 3] + word(t + 3));
    Round(e, f, g, h, a, b, c, d, Sha256Digest::kRoundConstants[t + 4] + word(t + 4));
    Round(d, e, f, g, h, a, b, c, Sha256Digest::kRoundConstants[t + 5] + word(t + 5));
    Round(c, d, e, f, g, h, a, b, Sha256Digest::kRoundConstants[t + 6] + word(t + 6));
    Round(b, c, d, e, f, g, h, a, Sha256Digest::kRoundConstants[t + 7] + word(t + 7));
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

}  // namespace

void Sha256Digest::CompressPortable(uint32_t st[8], const unsigned char* data, size_t blocks) {
  for (; blocks > 0; --blocks, data += kBlockBytes) CompressOne(st, data);
}

void Sha256Digest::Compress(uint32_t st[8], const unsigned char* data, size_t blocks) {
  if (cpu::Has(cpu::path::kShaNi)) {
    digestcpu::Sha256CompressShaNi(st, data, blocks);
  } else {
    CompressPortable(st, data, blocks);
  }
}

void Sha256Digest::Reset() {
  static constexpr uint32_t kInit[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                        0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  countHigh = countLow = 0;
  std::memset(buffer, 0, sizeof buffer);
  std::memcpy(state, kInit, sizeof state);
}

void Sha224Digest::Reset() {
  static constexpr uint32_t kInit[8] = {0xc1059ed8, 0x367cd507, 0x3070dd17, 0xf70e5939,
                                        0xffc00b31, 0x68581511, 0x64f98fa7, 0xbefa4fa4};
  Sha256Digest::Reset();
  std::memcpy(state, kInit, sizeof state);
}

void Sha256Digest::Update(const char* data, int length) { UpdateSha2(*this, data, length); }

unsigned char* Sha256Digest::Final() { return FinishSha2(*this); }

int Sha256Digest::CopyFrom(const Sha256Digest& other) {
  Sha256Digest::operator=(other);
  return kStatusOk;
}

}  // namespace tornell
