#include "crypto/digest/hash/Sha1Digest.h"

#include "core/base/Status.h"

#include <bit>
#include <cstring>

#include "crypto/digest/hash/BlockFeeder.h"
#include "crypto/digest/hash/DigestBytes.h"
#include "core/cpu/CpuFeatures.h"
#include "crypto/digest/hash/ShaExtensions.h"

namespace tornell {

using namespace digestbytes;

namespace {

// The schedule lives in a ring of sixteen words, expanded as the rounds go.
inline uint32_t Expand(uint32_t w[16], int t) {
  uint32_t v = std::rotl(w[(t + 13) & 15] ^ w[(t + 8) & 15] ^ w[(t + 2) & 15] ^ w[t & 15], 1);
  w[t & 15] = v;
  return v;
}

inline void Round(uint32_t a, uint32_t& b, uint32_t& e, uint32_t f, uint32_t k, uint32_t w) {
  e += std::rotl(a, 5) + f + k + w;
  b = std::rotl(b, 30);
}

void CompressOne(uint32_t st[5], const unsigned char* p) {
  uint32_t w[16];
  for (int i = 0; i < 16; ++i) w[i] = LoadBe32(p + 4 * i);
  uint32_t a = st[0], b = st[1], c = st[2], d = st[3], e = st[4];

  // Five rounds per pass rotate the roles of a..e back into place.
#pragma GCC unroll 4
  for (int t = 0; t < 20; t += 5) {
    auto word = [&](int i) { return i < 16 ? w[i] : Expand(w, i); };
    Round(a, b, e, d ^ (b & (c ^ d)), 0x5a827999, word(t));
    Round(e, a, d, c ^ (a & (b ^ c)), 0x5a827999, word(t + 1));
    Round(d, e, c, b ^ (e & (a ^ b)), 0x5a827999, word(t + 2));
    Round(c, d, b, a ^ (d & (e ^ a)), 0x5a827999, word(t + 3));
    Round(b, c, a, e ^ (c & (d ^ e)), 0x5a827999, word(t + 4));
  }
#pragma GCC unroll 4
  for (int t = 20; t < 40; t += 5) {
    Round(a, b, e, b ^ c ^ d, 0x6ed9eba1, Expand(w, t));
    Round(e, a, d, a ^ b ^ c, 0x6ed9eba1, Expand(w, t + 1));
    Round(d, e, c, e ^ a ^ b, 0x6ed9eba1, Expand(w, t + 2));
    Round(c, d, b, d ^ e ^ a, 0x6ed9eba1, Expand(w, t + 3));
    Round(b, c, a, c ^ d ^ e, 0x6ed9eba1, Expand(w, t + 4));
  }
#pragma GCC unroll 4
  for (int t = 40; t < 60; t += 5) {
    Round(a, b, e, (b & c) | (d & (b | c)), 0x8f1bbcdc, Expand(w, t));
    Round(e, a, d, (a & b) | (c & (a | b)), 0x8f1bbcdc, Expand(w, t + 1));
    Round(d, e, c, (e & a) | (b & (e | a)), 0x8f1bbcdc, Expand(w, t + 2));
    Round(c, d, b, (d & e) | (a & (d | e)), 0x8f1bbcdc, Expand(w, t + 3));
    Round(b, c, a, (c & d) | (e & (c | d)), 0x8f1bbcdc, Expand(w, t + 4));
  }
#pragma GCC unroll 4
  for (int t = 60; t < 80; t += 5) {
    Round(a, b, e, b ^ c ^ d, 0xca62c1d6, Expand(w, t));
    Round(e, a, d, a ^ b ^ c, 0xca62c1d6, Expand(w, t + 1));
    Round(d, e, c, e ^ a ^ b, 0xca62c1d6, Expand(w, t + 2));
    Round(c, d, b, d ^ e ^ a, 0xca62c1d6, Expand(w, t + 3));
    Round(b, c, a, c ^ d ^ e, 0xca62c1d6, Expand(w, t + 4));
  }

  st[0] += a;
  st[1] += b;
  st[2] += c;
  st[3] += d;
  st[4] += e;
}

}  // namespace

void Sha1Digest::CompressPortable(uint32_t st[5], const unsigned char* data, size_t blocks) {
  for (; blocks > 0; --blocks, data += kBlockBytes) CompressOne(st, data);
}

void Sha1Digest::Compress(uint32_t st[5], const unsigned char* data, size_t blocks) {
  if (cpu::Has(cpu::path::kShaNi)) {
    digestcpu::Sha1CompressShaNi(st, data, blocks);
  } else {
    CompressPortable(st, data, blocks);
  }
}

int Sha1Digest::Reset() {
  countLow = countHigh = 0;
  state[0] = 0x67452301;
  state[1] = 0xefcdab89;
  state[2] = 0x98badcfe;
  state[3] = 0x10325476;
  state[4] = 0xc3d2e1f0;
  computed = 0;
  failed = 0;
  return kStatusOk;
}

int Sha1Digest::Update(const char* data, int length) {
  if (length == 0) return kStatusOk;
  if (failed || length < 0 || data == nullptr) return kNothingAbsorbed;
  uint32_t n = static_cast<uint32_t>(length);
  size_t index = (countLow >> 3) & 63;
  uint32_t bits = n << 3;
  countLow += bits;
  if (countLow < bits && ++countHigh == 0) failed = 1;
  uint32_t high = countHigh + (n >> 29);
  if (high < countHigh) failed = 1;
  countHigh = high;
  if (failed) return kNothingAbsorbed;
  FeedBlocks(buffer, index, kBlockBytes, Bytes(data), n,
             [this](const unsigned char* p, size_t k) { Compress(state, p, k); });
  return kStatusOk;
}

unsigned char* Sha1Digest::Final() {
  if (failed) return nullptr;
  if (!computed) {
    size_t index = (countLow >> 3) & 63;
    buffer[index++] = 0x80;
    if (index > 56) {
      std::memset(buffer + index, 0, kBlockBytes - index);
      Compress(state, buffer, 1);
      index = 0;
    }
    std::memset(buffer + index, 0, 56 - index);
    StoreBe32(buffer + 56, countHigh);
    StoreBe32(buffer + 60, countLow);
    Compress(state, buffer, 1);
    std::memset(buffer, 0, sizeof buffer);
    countLow = countHigh = 0;
    computed = 1;
  }
  for (int i = 0; i < 5; ++i) StoreBe32(digest + 4 * i, state[i]);
  digest[kDigestBytes] = 0;
  return digest;
}

int Sha1Digest::CopyFrom(const Sha1Digest& other) {
  *this = other;
  return kStatusOk;
}

}  // namespace tornell
