#include "crypto/digest/hash/Md4Digest.h"

#include "core/base/Status.h"

#include <bit>
#include <cstring>

#include "crypto/digest/hash/BlockFeeder.h"
#include "crypto/digest/hash/DigestBytes.h"

namespace tornell {

using namespace digestbytes;

namespace {

inline uint32_t F(uint32_t x, uint32_t y, uint32_t z) { return z ^ (x & (y ^ z)); }
inline uint32_t G(uint32_t x, uint32_t y, uint32_t z) { return (x & y) | (z & (x | y)); }
inline uint32_t H(uint32_t x, uint32_t y, uint32_t z) { return x ^ y ^ z; }

constexpr int kOrder2[16] = {0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15};
constexpr int kOrder3[16] = {0, 8, 4, 12, 2, 10, 6, 14, 1, 9, 5, 13, 3, 11, 7, 15};
constexpr int kShift1[4] = {3, 7, 11, 19};
constexpr int kShift2[4] = {3, 5, 9, 13};
constexpr int kShift3[4] = {3, 9, 11, 15};

// Runs the sixteen steps of one round; the roles of a..d rotate each step.
template <class Func>
void RoundOf16(uint32_t v[4], const uint32_t* x, const int* order, const int* shifts,
               uint32_t k, Func f) {
  for (int i = 0; i < 16; ++i) {
    uint32_t& a = v[(4 - i % 4) % 4];
    uint32_t b = v[(5 - i % 4) % 4], c = v[(6 - i % 4) % 4], d = v[(7 - i % 4) % 4];
    a = std::rotl(a + f(b, c, d) + x[order[i]] + k, shifts[i % 4]);
  }
}

}  // namespace

void Md4Digest::Reset() {
  buffered = 0;
  count = 0;
  state[0] = 0x67452301;
  state[1] = 0xefcdab89;
  state[2] = 0x98badcfe;
  state[3] = 0x10325476;
}

void Md4Digest::Transform(const unsigned char* block) {
  static constexpr int kInOrder[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
  for (int i = 0; i < 16; ++i) words[i] = LoadLe32(block + 4 * i);
  uint32_t v[4] = {state[0], state[1], state[2], state[3]};
  RoundOf16(v, words, kInOrder, kShift1, 0, F);
  RoundOf16(v, words, kOrder2, kShift2, 0x5a827999, G);
  RoundOf16(v, words, kOrder3, kShift3, 0x6ed9eba1, H);
  for (int i = 0; i < 4; ++i) state[i] += v[i];
  buffered = 0;
}

void Md4Digest::Update(const char* data, int length) {
  if (length <= 0 || data == nullptr) return;
  count += static_cast<uint64_t>(length);
  buffered = static_cast<uint32_t>(FeedBlocks(
      buffer, buffered, kBlockBytes, Bytes(data), static_cast<size_t>(length),
      [this](const unsigned char* p, size_t blocks) {
        for (; blocks > 0; --blocks, p += kBlockBytes) Transform(p);
      }));
}

unsigned char* Md4Digest::Final() {
  buffer[buffered++] = 0x80;
  if (buffered > 56) {
    std::memset(buffer + buffered, 0, kBlockBytes - buffered);
    Transform(buffer);
  }
  std::memset(buffer + buffered, 0, 56 - buffered);
  StoreLe64(buffer + 56, count * 8);
  Transform(buffer);
  for (int i = 0; i < 4; ++i) {
    StoreLe32(digest + 4 * i, state[i]);
    state[i] = 0;
  }
  digest[kDigestBytes] = 0;
  return digest;
}

int Md4Digest::CopyFrom(const Md4Digest& other) {
  *this = other;
  return kStatusOk;
}

}  // namespace tornell
