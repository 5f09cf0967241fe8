// Scalars modulo L = 2^252 + 27742317777372353535851937790883648493 in
// signed 21-bit limbs; 2^252 = -(L - 2^252) mod L folds high limbs down.
#include "crypto/ecc/edwards/EdwardsMath.h"

namespace tornell {

namespace {

uint64_t LoadBits(const unsigned char* bytes, int bit, int count, int maxByte) {
  uint64_t v = 0;
  const int first = bit / 8;
  for (int i = 7; i >= 0; --i) v = (v << 8) | (first + i < maxByte ? bytes[first + i] : 0);
  return (v >> (bit % 8)) & ((uint64_t{1} << count) - 1);
}

void Fold(int64_t* s, int i) {
  s[i - 12] += s[i] * 666643;
  s[i - 11] += s[i] * 470296;
  s[i - 10] += s[i] * 654183;
  s[i - 9] -= s[i] * 997805;
  s[i - 8] += s[i] * 136657;
  s[i - 7] -= s[i] * 683901;
  s[i] = 0;
}

void CarryRounded(int64_t* s, int i) {
  const int64_t c = (s[i] + (int64_t{1} << 20)) >> 21;
  s[i + 1] += c;
  s[i] -= c * (int64_t{1} << 21);
}

void CarryFloor(int64_t* s, int i) {
  const int64_t c = s[i] >> 21;
  s[i + 1] += c;
  s[i] -= c * (int64_t{1} << 21);
}

// s holds 24 limbs of about 21 bits each (s[23] may be a little wider);
// writes s mod L as 32 little-endian bytes.
void ReduceLimbs(int64_t* s, unsigned char* out) {
  for (int i = 23; i >= 18; --i) Fold(s, i);
  for (int i = 6; i <= 16; i += 2) CarryRounded(s, i);
  for (int i = 7; i <= 15; i += 2) CarryRounded(s, i);
  for (int i = 17; i >= 12; --i) Fold(s, i);
  for (int i = 0; i <= 10; i += 2) CarryRounded(s, i);
  for (int i = 1; i <= 11; i += 2) CarryRounded(s, i);
  Fold(s, 12);
  for (int i = 0; i <= 11; ++i) CarryFloor(s, i);
  Fold(s, 12);
  for (int i = 0; i <= 10; ++i) CarryFloor(s, i);
  uint64_t acc = 0;
  int bits = 0, at = 0;
  for (int i = 0; i < 12; ++i) {
    acc |= static_cast<uint64_t>(s[i]) << bits;
    bits += 21;
    while (bits >= 8) {
      out[at++] = static_cast<unsigned char>(acc);
      acc >>= 8;
      bits -= 8;
    }
  }
  out[at] = static_cast<unsigned char>(acc);
}

void LoadScalar12(int64_t* limbs, const unsigned char* bytes) {
  for (int i = 0; i < 11; ++i) limbs[i] = static_cast<int64_t>(LoadBits(bytes, 21 * i, 21, 32));
  limbs[11] = static_cast<int64_t>(LoadBits(bytes, 231, 25, 32));
}

// L, little-endian.
const unsigned char kOrder[32] = {0xed, 0xd3, 0xf5, 0x5c, 0x1a, 0x63, 0x12, 0x58, 0xd6, 0x9c, 0xf7,
                                  0xa2, 0xde, 0xf9, 0xde, 0x14, 0,    0,    0,    0,    0,    0,
                                  0,    0,    0,    0,    0,    0,    0,    0,    0,    0x10};

}  // namespace

uint32_t EdwardsMath::Load3LE(const unsigned char* bytes, int offset) {
  return static_cast<uint32_t>(bytes[offset]) | (static_cast<uint32_t>(bytes[offset + 1]) << 8) |
         (static_cast<uint32_t>(bytes[offset + 2]) << 16);
}

int32_t EdwardsMath::Load4LE(const unsigned char* bytes, int offset) {
  return static_cast<int32_t>(Load3LE(bytes, offset) | (static_cast<uint32_t>(bytes[offset + 3]) << 24));
}

int EdwardsMath::Scalar25519Reduce(unsigned char* s, int length) {
  if (s == nullptr || length < 64) return kEdwardsShortBuffer;
  int64_t limbs[24];
  for (int i = 0; i < 23; ++i) limbs[i] = static_cast<int64_t>(LoadBits(s, 21 * i, 21, 64));
  limbs[23] = static_cast<int64_t>(LoadBits(s, 483, 29, 64));
  ReduceLimbs(limbs, s);
  return 0;
}

int EdwardsMath::Scalar25519MulAdd(unsigned char* s, int sLength, const unsigned char* a, int aLength,
                                   const unsigned char* b, int bLength, const unsigned char* c, int cLength) {
  if (s == nullptr || a == nullptr || b == nullptr || c == nullptr || sLength < 32 || aLength < 32 ||
      bLength < 32 || cLength < 32)
    return kEdwardsShortBuffer;
  int64_t la[12], lb[12], lc[12], limbs[24] = {};
  LoadScalar12(la, a);
  LoadScalar12(lb, b);
  LoadScalar12(lc, c);
  for (int k = 0; k < 12; ++k) limbs[k] = lc[k];
  for (int i = 0; i < 12; ++i)
    for (int j = 0; j < 12; ++j) limbs[i + j] += la[i] * lb[j];
  for (int i = 0; i <= 22; i += 2) CarryRounded(limbs, i);
  for (int i = 1; i <= 21; i += 2) CarryRounded(limbs, i);
  ReduceLimbs(limbs, s);
  return 0;
}

int EdwardsMath::Scalar25519IsCanonical(const unsigned char* s) {
  for (int i = 31; i >= 0; --i) {
    if (s[i] < kOrder[i]) return 1;
    if (s[i] > kOrder[i]) return 0;
  }
  return 0;
}

}  // namespace tornell
