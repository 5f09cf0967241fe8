#include "crypto/digest/hash/Ripemd160Digest.h"

#include "core/base/Status.h"

#include <bit>
#include <cstring>

#include "crypto/digest/hash/BlockFeeder.h"
#include "crypto/digest/hash/DigestBytes.h"

namespace tornell {

using namespace digestbytes;

namespace {

constexpr uint8_t kWordLeft[80] = {
    0, 1, 2,  3,  4,  5,  6,  7,  8, 9, 10, 11, 12, 13, 14, 15, 7,  4,  13, 1,
    10, 6, 15, 3,  12, 0,  9,  5,  2, 14, 11, 8, 3,  10, 14, 4,  9,  15, 8,  1,
    2, 7, 0,  6,  13, 11, 5,  12, 1, 9, 11, 10, 0,  8,  12, 4,  13, 3,  7,  15,
    14, 5, 6,  2,  4,  0,  5,  9,  7, 12, 2,  10, 14, 1,  3,  8,  11, 6,  15, 13};
constexpr uint8_t kWordRight[80] = {
    5,  14, 7,  0,  9, 2,  11, 4,  13, 6,  15, 8,  1,  10, 3,  12, 6,  11, 3,  7,
    0,  13, 5,  10, 14, 15, 8,  12, 4,  9,  1,  2,  15, 5,  1,  3,  7,  14, 6,  9,
    11, 8,  12, 2,  10, 0,  4,  13, 8,  6,  4,  1,  3,  11, 15, 0,  5,  12, 2,  13,
    9,  7,  10, 14, 12, 15, 10, 4,  1,  5,  8,  7,  6,  2,  13, 14, 0,  3,  9,  11};
constexpr uint8_t kShiftLeft[80] = {
    11, 14, 15, 12, 5,  8,  7,  9,  11, 13, 14, 15, 6,  7,  9,  8,  7,  6,  8,  13,
    11, 9,  7,  15, 7,  12, 15, 9,  11, 7,  13, 12, 11, 13, 6,  7,  14, 9,  13, 15,
    14, 8,  13, 6,  5,  12, 7,  5,  11, 12, 14, 15, 14, 15, 9,  8,  9,  14, 5,  6,
    8,  6,  5,  12, 9,  15, 5,  11, 6,  8,  13, 12, 5,  12, 13, 14, 11, 8,  5,  6};
constexpr uint8_t kShiftRight[80] = {
    8,  9,  9,  11, 13, 15, 15, 5,  7,  7,  8,  11, 14, 14, 12, 6,  9,  13, 15, 7,
    12, 8,  9,  11, 7,  7,  12, 7,  6,  15, 13, 11, 9,  7,  15, 11, 8,  6,  6,  14,
    12, 13, 5,  14, 13, 13, 7,  5,  15, 5,  8,  11, 14, 14, 6,  14, 6,  9,  12, 9,
    12, 5,  15, 8,  8,  5,  12, 9,  12, 5,  14, 6,  8,  13, 6,  5,  15, 13, 11, 11};
constexpr uint32_t kConstLeft[5] = {0x00000000, 0x5a827999, 0x6ed9eba1, 0x8f1bbcdc, 0xa953fd4e};
constexpr uint32_t kConstRight[5] = {0x50a28be6, 0x5c4dd124, 0x6d703ef3, 0x7a6d76e9, 0x00000000};

inline uint32_t Func(int round, uint32_t x, uint32_t y, uint32_t z) {
  switch (round) {
    case 0: return x ^ y ^ z;
    case 1: return (x & y) | (~x & z);
    case 2: return (x | ~y) ^ z;
    case 3: return (x & z) | (y & ~z);
    default: return x ^ (y | ~z);
  }
}

// One line of eighty steps; the right line runs the functions in reverse.
void Line(uint32_t v[5], const uint32_t x[16], const uint8_t* word, const uint8_t* shift,
          const uint32_t* k, bool right) {
  uint32_t a = v[0], b = v[1], c = v[2], d = v[3], e = v[4];
  for (int j = 0; j < 80; ++j) {
    int round = j / 16;
    uint32_t f = Func(right ? 4 - round : round, b, c, d);
    uint32_t t = std::rotl(a + f + x[word[j]] + k[round], shift[j]) + e;
    a = e;
    e = d;
    d = std::rotl(c, 10);
    c = b;
    b = t;
  }
  v[0] = a;
  v[1] = b;
  v[2] = c;
  v[3] = d;
  v[4] = e;
}

}  // namespace

void Ripemd160Digest::Compress(const uint32_t x[16]) {
  uint32_t left[5] = {h[0], h[1], h[2], h[3], h[4]};
  uint32_t right[5] = {h[0], h[1], h[2], h[3], h[4]};
  Line(left, x, kWordLeft, kShiftLeft, kConstLeft, false);
  Line(right, x, kWordRight, kShiftRight, kConstRight, true);
  uint32_t t = h[1] + left[2] + right[3];
  h[1] = h[2] + left[3] + right[4];
  h[2] = h[3] + left[4] + right[0];
  h[3] = h[4] + left[0] + right[1];
  h[4] = h[0] + left[1] + right[2];
  h[0] = t;
}

int Ripemd160Digest::Reset() {
  countLow = countHigh = 0;
  buffered = 0;
  h[0] = 0x67452301;
  h[1] = 0xefcdab89;
  h[2] = 0x98badcfe;
  h[3] = 0x10325476;
  h[4] = 0xc3d2e1f0;
  return kStatusOk;
}

void Ripemd160Digest::Update(const char* data, int length) {
  if (length <= 0 || data == nullptr) return;
  uint32_t n = static_cast<uint32_t>(length);
  countLow += n;
  if (countLow < n) ++countHigh;
  buffered = static_cast<uint32_t>(
      FeedBlocks(buffer, buffered, kBlockBytes, Bytes(data), n,
                 [this](const unsigned char* p, size_t blocks) {
                   for (; blocks > 0; --blocks, p += kBlockBytes) {
                     uint32_t x[16];
                     for (int i = 0; i < 16; ++i) x[i] = LoadLe32(p + 4 * i);
                     Compress(x);
                   }
                 }));
}

unsigned char* Ripemd160Digest::Final() {
  uint32_t x[16] = {};
  uint32_t held = countLow & 63;
  for (uint32_t i = 0; i < held; ++i) x[i >> 2] |= uint32_t{buffer[i]} << (8 * (i & 3));
  x[held >> 2] |= uint32_t{0x80} << (8 * (held & 3));
  if (held > 55) {
    Compress(x);
    std::memset(x, 0, sizeof x);
  }
  x[14] = countLow << 3;
  x[15] = (countLow >> 29) | (countHigh << 3);
  Compress(x);
  for (int i = 0; i < 5; ++i) StoreLe32(digest + 4 * i, h[i]);
  digest[kDigestBytes] = 0;
  return digest;
}

int Ripemd160Digest::CopyFrom(const Ripemd160Digest& other) {
  *this = other;
  return kStatusOk;
}

}  // namespace tornell
