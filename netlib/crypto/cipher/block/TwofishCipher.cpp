#include "crypto/cipher/block/TwofishCipher.h"

#include "core/secure/SecureWipe.h"

#include "core/base/Status.h"

#include "crypto/cipher/block/BlockBytes.h"

#include <array>
#include <cstring>
#include <new>

namespace tornell {
namespace {

constexpr unsigned char kQt[2][4][16] = {
    {{0x8, 0x1, 0x7, 0xD, 0x6, 0xF, 0x3, 0x2, 0x0, 0xB, 0x5, 0x9, 0xE, 0xC, 0xA, 0x4},
     {0xE, 0xC, 0xB, 0x8, 0x1, 0x2, 0x3, 0x5, 0xF, 0x4, 0xA, 0x6, 0x7, 0x0, 0x9, 0xD},
     {0xB, 0xA, 0x5, 0xE, 0x6, 0xD, 0x9, 0x0, 0xC, 0x8, 0xF, 0x3, 0x2, 0x4, 0x7, 0x1},
     {0xD, 0x7, 0xF, 0x4, 0x1, 0x2, 0x6, 0xE, 0x9, 0xB, 0x3, 0x0, 0x8, 0x5, 0xC, 0xA}},
    {{0x2, 0x8, 0xB, 0xD, 0xF, 0x7, 0x6, 0xE, 0x3, 0x1, 0x9, 0x4, 0x0, 0xA, 0xC, 0x5},
     {0x1, 0xE, 0x2, 0xB, 0x4, 0xC, 0x3, 0x7, 0x6, 0xD, 0xA, 0x5, 0xF, 0x9, 0x0, 0x8},
     {0x4, 0xC, 0x7, 0x5, 0x1, 0x6, 0x9, 0xA, 0x0, 0xE, 0xD, 0x8, 0x2, 0xB, 0x3, 0xF},
     {0xB, 0x9, 0x5, 0x1, 0xC, 0x3, 0xD, 0xE, 0x6, 0x4, 0x7, 0xF, 0x2, 0x0, 0x8, 0xA}}};

using QTable = std::array<std::array<unsigned char, 256>, 2>;

constexpr unsigned Ror4(unsigned x) { return ((x >> 1) | (x << 3)) & 15; }

constexpr QTable BuildQ() {
  QTable q{};
  for (int n = 0; n < 2; ++n) {
    for (unsigned x = 0; x < 256; ++x) {
      unsigned a = x >> 4, b = x & 15;
      unsigned a1 = a ^ b, b1 = (a ^ Ror4(b) ^ (8 * a)) & 15;
      unsigned a2 = kQt[n][0][a1], b2 = kQt[n][1][b1];
      unsigned a3 = a2 ^ b2, b3 = (a2 ^ Ror4(b2) ^ (8 * a2)) & 15;
      q[n][x] = static_cast<unsigned char>(16 * kQt[n][3][b3] + kQt[n][2][a3]);
    }
  }
  return q;
}

constexpr QTable kQ = BuildQ();

constexpr unsigned char kMds[4][4] = {
    {0x01, 0xEF, 0x5B, 0x5B}, {0x5B, 0xEF, 0xEF, 0x01}, {0xEF, 0x5B, 0x01, 0xEF},
    {0xEF, 0x01, 0xEF, 0x5B}};

unsigned GfMul(unsigned a, unsigned b, unsigned poly) {
  unsigned r = 0;
  while (b != 0) {
    if (b & 1) r ^= a;
    a <<= 1;
    if (a & 0x100) a ^= poly;
    b >>= 1;
  }
  return r;
}

inline uint32_t Rotl(uint32_t x, int r) { return (x << r) | (x >> (32 - r)); }
inline uint32_t Rotr(uint32_t x, int r) { return (x >> r) | (x << (32 - r)); }

using blockbytes::LoadLe32;
using blockbytes::StoreLe32;

inline unsigned Byte(uint32_t x, int i) { return (x >> (8 * i)) & 0xFF; }

// Byte i of the input through the q stages of S-box i with key words L.
unsigned SboxByte(unsigned y, int i, const uint32_t* l, int k) {
  static constexpr int kStage4[4] = {1, 0, 0, 1};
  static constexpr int kStage3[4] = {1, 1, 0, 0};
  static constexpr int kStage2[4] = {0, 1, 0, 1};
  static constexpr int kStage1[4] = {0, 0, 1, 1};
  static constexpr int kStage0[4] = {1, 0, 1, 0};
  if (k == 4) y = kQ[kStage4[i]][y] ^ Byte(l[3], i);
  if (k >= 3) y = kQ[kStage3[i]][y] ^ Byte(l[2], i);
  y = kQ[kStage2[i]][y] ^ Byte(l[1], i);
  y = kQ[kStage1[i]][y] ^ Byte(l[0], i);
  return kQ[kStage0[i]][y];
}

uint32_t MdsColumn(int column, unsigned y) {
  uint32_t z = 0;
  for (int row = 0; row < 4; ++row) z |= uint32_t(GfMul(kMds[row][column], y, 0x169)) << (8 * row);
  return z;
}

uint32_t H(uint32_t x, const uint32_t* l, int k) {
  uint32_t z = 0;
  for (int i = 0; i < 4; ++i) z ^= MdsColumn(i, SboxByte(Byte(x, i), i, l, k));
  return z;
}

// Reed-Solomon remainder step over GF(2^8) with the polynomial 0x14D.
uint32_t RsRem(uint32_t x) {
  const uint32_t b = x >> 24;
  const uint32_t g2 = ((b << 1) ^ ((b & 0x80) ? 0x14D : 0)) & 0xFF;
  const uint32_t g3 = ((b >> 1) & 0x7F) ^ ((b & 1) ? 0xA6 : 0) ^ g2;
  return (x << 8) ^ (g3 << 24) ^ (g2 << 16) ^ (g3 << 8) ^ b;
}

uint32_t RsEncode(uint32_t even, uint32_t odd) {
  uint32_t r = odd;
  for (int j = 0; j < 4; ++j) r = RsRem(r);
  r ^= even;
  for (int j = 0; j < 4; ++j) r = RsRem(r);
  return r;
}

}  // namespace

TwofishCipher::TwofishCipher() : subkeys_{}, tables_(new (std::nothrow) uint32_t[4 * 256]()) {}

TwofishCipher::~TwofishCipher() {
  if (tables_ != nullptr) {
    SecureWipe(tables_, 4 * 256 * sizeof(uint32_t));
    delete[] tables_;
    tables_ = nullptr;
  }
}

int TwofishCipher::SetKey(const unsigned char* key, int keyLength) {
  if (tables_ == nullptr) return kStatusNoMemory;
  if (keyLength < 16 || keyLength > 32) return kBadKeyLength;
  const int k = keyLength / 8;
  uint32_t even[4], odd[4], sbox[4];
  for (int i = 0; i < k; ++i) {
    even[i] = LoadLe32(key + 8 * i);
    odd[i] = LoadLe32(key + 8 * i + 4);
    sbox[k - 1 - i] = RsEncode(even[i], odd[i]);
  }
  for (int i = 0; i < 20; ++i) {
    const uint32_t a = H(0x02020202u * i, even, k);
    const uint32_t b = Rotl(H(0x02020202u * i + 0x01010101u, odd, k), 8);
    subkeys_[2 * i] = a + b;
    subkeys_[2 * i + 1] = Rotl(a + 2 * b, 9);
  }
  for (int i = 0; i < 4; ++i)
    for (unsigned b = 0; b < 256; ++b) tables_[256 * i + b] = MdsColumn(i, SboxByte(b, i, sbox, k));
  SecureWipe(even, sizeof even);
  SecureWipe(odd, sizeof odd);
  SecureWipe(sbox, sizeof sbox);
  return kStatusOk;
}

uint32_t TwofishCipher::G(uint32_t x) const {
  return tables_[Byte(x, 0)] ^ tables_[256 + Byte(x, 1)] ^ tables_[512 + Byte(x, 2)] ^
         tables_[768 + Byte(x, 3)];
}

int TwofishCipher::EncryptBlock(const unsigned char* input, unsigned char* output) const {
  if (tables_ == nullptr) return kStatusNoMemory;
  const uint32_t* k = subkeys_;
  uint32_t a = LoadLe32(input) ^ k[0], b = LoadLe32(input + 4) ^ k[1];
  uint32_t c = LoadLe32(input + 8) ^ k[2], d = LoadLe32(input + 12) ^ k[3];
  for (int r = 0; r < 16; r += 2) {
    uint32_t t0 = G(a), t1 = G(Rotl(b, 8));
    c = Rotr(c ^ (t0 + t1 + k[2 * r + 8]), 1);
    d = Rotl(d, 1) ^ (t0 + 2 * t1 + k[2 * r + 9]);
    t0 = G(c);
    t1 = G(Rotl(d, 8));
    a = Rotr(a ^ (t0 + t1 + k[2 * r + 10]), 1);
    b = Rotl(b, 1) ^ (t0 + 2 * t1 + k[2 * r + 11]);
  }
  StoreLe32(output, c ^ k[4]);
  StoreLe32(output + 4, d ^ k[5]);
  StoreLe32(output + 8, a ^ k[6]);
  StoreLe32(output + 12, b ^ k[7]);
  return kStatusOk;
}

int TwofishCipher::DecryptBlock(const unsigned char* input, unsigned char* output) const {
  if (tables_ == nullptr) return kStatusNoMemory;
  const uint32_t* k = subkeys_;
  uint32_t c = LoadLe32(input) ^ k[4], d = LoadLe32(input + 4) ^ k[5];
  uint32_t a = LoadLe32(input + 8) ^ k[6], b = LoadLe32(input + 12) ^ k[7];
  for (int r = 14; r >= 0; r -= 2) {
    uint32_t t0 = G(c), t1 = G(Rotl(d, 8));
    a = Rotl(a, 1) ^ (t0 + t1 + k[2 * r + 10]);
    b = Rotr(b ^ (t0 + 2 * t1 + k[2 * r + 11]), 1);
    t0 = G(a);
    t1 = G(Rotl(b, 8));
    c = Rotl(c, 1) ^ (t0 + t1 + k[2 * r + 8]);
    d = Rotr(d ^ (t0 + 2 * t1 + k[2 * r + 9]), 1);
  }
  StoreLe32(output, a ^ k[0]);
  StoreLe32(output + 4, b ^ k[1]);
  StoreLe32(output + 8, c ^ k[2]);
  StoreLe32(output + 12, d ^ k[3]);
  return kStatusOk;
}

int TwofishCipher::CopyFrom(const TwofishCipher& other) {
  if (tables_ == nullptr) return kStatusNoMemory;
  if (&other == this) return kStatusOk;
  std::memcpy(subkeys_, other.subkeys_, sizeof subkeys_);
  if (other.tables_ != nullptr) std::memcpy(tables_, other.tables_, 4 * 256 * sizeof(uint32_t));
  return kStatusOk;
}

}  // namespace tornell
