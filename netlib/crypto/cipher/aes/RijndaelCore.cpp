#include "crypto/cipher/aes/RijndaelCore.h"

#include "core/secure/SecureWipe.h"

#include "core/cpu/CpuFeatures.h"
#include "crypto/cipher/aes/AesHardware.h"
#include "crypto/cipher/block/BlockBytes.h"

#include <cstring>

namespace tornell::rijndaelcore {
namespace {

constexpr int kMaxBytes = 32;

// 8x8 bit-matrix transpose: bit c of byte r moves to bit r of byte c.
inline uint64_t Transpose8(uint64_t x) {
  uint64_t t = (x ^ (x >> 7)) & 0x00AA00AA00AA00AAull;
  x ^= t ^ (t << 7);
  t = (x ^ (x >> 14)) & 0x0000CCCC0000CCCCull;
  x ^= t ^ (t << 14);
  t = (x ^ (x >> 28)) & 0x00000000F0F0F0F0ull;
  x ^= t ^ (t << 28);
  return x;
}

// Bit b of state byte i goes to bit i of plane b (n a multiple of 4, <= 32).
void ToPlanes(const unsigned char* s, int n, uint32_t p[8]) {
  for (int b = 0; b < 8; ++b) p[b] = 0;
  for (int chunk = 0; chunk * 8 < n; ++chunk) {
    uint64_t x = 0;
    const int m = n - 8 * chunk < 8 ? n - 8 * chunk : 8;
    for (int k = 0; k < m; ++k) x |= uint64_t(s[8 * chunk + k]) << (8 * k);
    x = Transpose8(x);
    for (int b = 0; b < 8; ++b) p[b] |= static_cast<uint32_t>((x >> (8 * b)) & 0xFF) << (8 * chunk);
  }
}

void FromPlanes(const uint32_t p[8], int n, unsigned char* s) {
  for (int chunk = 0; chunk * 8 < n; ++chunk) {
    uint64_t x = 0;
    for (int b = 0; b < 8; ++b) x |= uint64_t((p[b] >> (8 * chunk)) & 0xFF) << (8 * b);
    x = Transpose8(x);
    const int m = n - 8 * chunk < 8 ? n - 8 * chunk : 8;
    for (int k = 0; k < m; ++k) s[8 * chunk + k] = static_cast<unsigned char>(x >> (8 * k));
  }
}

// The S-box inversion runs in the tower field GF((2^4)^2): GF(16) is
// GF(2)[x]/(x^4 + x + 1) and GF(256) = GF(16)[Y]/(Y^2 + Y + 8). The basis
// changes below (and the affine maps folded into them) were derived and
// checked against the S-box for all 256 inputs; planes 0-3 hold the low
// GF(16) half, 4-7 the high half.
constexpr uint32_t kOnes = 0xFFFFFFFFu;

inline void ToTower(const uint32_t in[8], uint32_t out[8]) {
  out[0] = in[0] ^ in[5] ^ in[7];
  out[1] = in[2];
  out[2] = in[2] ^ in[3] ^ in[4] ^ in[5] ^ in[6] ^ in[7];
  out[3] = in[3] ^ in[4];
  out[4] = in[4] ^ in[5] ^ in[6];
  out[5] = in[1] ^ in[4] ^ in[6] ^ in[7];
  out[6] = in[2] ^ in[3] ^ in[5] ^ in[7];
  out[7] = in[5] ^ in[7];
}

inline void FromTowerAffine(const uint32_t in[8], uint32_t out[8]) {
  out[0] = in[0] ^ in[2] ^ in[6] ^ kOnes;
  out[1] = in[0] ^ in[1] ^ in[2] ^ in[3] ^ in[4] ^ in[5] ^ kOnes;
  out[2] = in[0] ^ in[3] ^ in[5] ^ in[6];
  out[3] = in[0] ^ in[2] ^ in[5];
  out[4] = in[0] ^ in[1] ^ in[3] ^ in[4] ^ in[5];
  out[5] = in[1] ^ in[2] ^ in[3] ^ in[5] ^ in[6] ^ in[7] ^ kOnes;
  out[6] = in[4] ^ in[6] ^ in[7] ^ kOnes;
  out[7] = in[1] ^ in[2];
}

inline void InvAffineToTower(const uint32_t in[8], uint32_t out[8]) {
  out[0] = in[1] ^ in[5] ^ in[6] ^ kOnes;
  out[1] = in[1] ^ in[4] ^ in[7] ^ kOnes;
  out[2] = in[1] ^ in[4] ^ kOnes;
  out[3] = in[0] ^ in[1] ^ in[2] ^ in[3] ^ in[5] ^ in[6];
  out[4] = in[0] ^ in[1] ^ in[2] ^ in[4] ^ in[5] ^ in[6] ^ in[7];
  out[5] = in[3] ^ in[4] ^ in[5] ^ in[6];
  out[6] = in[0] ^ in[4] ^ in[5] ^ in[6] ^ kOnes;
  out[7] = in[1] ^ in[2] ^ in[6] ^ in[7];
}

inline void FromTower(const uint32_t in[8], uint32_t out[8]) {
  out[0] = in[0] ^ in[7];
  out[1] = in[4] ^ in[5] ^ in[7];
  out[2] = in[1];
  out[3] = in[1] ^ in[6] ^ in[7];
  out[4] = in[1] ^ in[3] ^ in[6] ^ in[7];
  out[5] = in[2] ^ in[4] ^ in[6];
  out[6] = in[1] ^ in[2] ^ in[3] ^ in[7];
  out[7] = in[2] ^ in[4] ^ in[6] ^ in[7];
}

inline void Gf16SquareScaled(const uint32_t* in, uint32_t* out) {
  out[0] = in[2];
  out[1] = in[1] ^ in[2] ^ in[3];
  out[2] = in[1];
  out[3] = in[0] ^ in[2] ^ in[3];
}

inline void Gf16Square(const uint32_t* in, uint32_t* out) {
  out[0] = in[0] ^ in[2];
  out[1] = in[2];
  out[2] = in[1] ^ in[3];
  out[3] = in[3];
}

inline void Gf16Mul(const uint32_t* a, const uint32_t* b, uint32_t* out) {
  const uint32_t c0 = a[0] & b[0];
  const uint32_t c1 = (a[0] & b[1]) ^ (a[1] & b[0]);
  const uint32_t c2 = (a[0] & b[2]) ^ (a[1] & b[1]) ^ (a[2] & b[0]);
  const uint32_t c3 = (a[0] & b[3]) ^ (a[1] & b[2]) ^ (a[2] & b[1]) ^ (a[3] & b[0]);
  const uint32_t c4 = (a[1] & b[3]) ^ (a[2] & b[2]) ^ (a[3] & b[1]);
  const uint32_t c5 = (a[2] & b[3]) ^ (a[3] & b[2]);
  const uint32_t c6 = a[3] & b[3];
  out[0] = c0 ^ c4;
  out[1] = c1 ^ c4 ^ c5;
  out[2] = c2 ^ c5 ^ c6;
  out[3] = c3 ^ c6;
}

// d^14 = d^-1 in GF(16) (0 maps to 0).
inline void Gf16Invert(const uint32_t* d, uint32_t* out) {
  uint32_t d2[4], d4[4], d8[4], d6[4];
  Gf16Square(d, d2);
  Gf16Square(d2, d4);
  Gf16Square(d4, d8);
  Gf16Mul(d2, d4, d6);
  Gf16Mul(d6, d8, out);
}

// (hY + l)^-1 = (h·e)Y + (h + l)·e with e = (h^2·8 + h·l + l^2)^-1.
inline void TowerInvert(const uint32_t t[8], uint32_t out[8]) {
  const uint32_t* l = t;
  const uint32_t* h = t + 4;
  uint32_t a[4], b[4], c[4], d[4], e[4], hl[4];
  Gf16SquareScaled(h, a);
  Gf16Mul(h, l, b);
  Gf16Square(l, c);
  for (int i = 0; i < 4; ++i) d[i] = a[i] ^ b[i] ^ c[i];
  Gf16Invert(d, e);
  for (int i = 0; i < 4; ++i) hl[i] = h[i] ^ l[i];
  Gf16Mul(h, e, out + 4);
  Gf16Mul(hl, e, out);
}

void SubPlanes(uint32_t p[8]) {
  uint32_t t[8], inv[8];
  ToTower(p, t);
  TowerInvert(t, inv);
  FromTowerAffine(inv, p);
}

void InvSubPlanes(uint32_t p[8]) {
  uint32_t t[8], inv[8];
  InvAffineToTower(p, t);
  TowerInvert(t, inv);
  FromTower(inv, p);
}

inline uint32_t Xtime(uint32_t b) { return ((b << 1) ^ (0x1Bu & (0u - (b >> 7)))) & 0xFFu; }

// Lane i of a plane is state byte i = 4 * column + row. Rk moves, within
// every column, the byte of row r + k to row r.
inline uint32_t R1(uint32_t x) { return ((x >> 1) & 0x77777777u) | ((x << 3) & 0x88888888u); }
inline uint32_t R2(uint32_t x) { return ((x >> 2) & 0x33333333u) | ((x << 2) & 0xCCCCCCCCu); }
inline uint32_t R3(uint32_t x) { return ((x >> 3) & 0x11111111u) | ((x << 1) & 0xEEEEEEEEu); }

// Multiplication by x of every lane, across the planes.
inline void XtimePlanes(const uint32_t t[8], uint32_t out[8]) {
  out[0] = t[7];
  out[1] = t[0] ^ t[7];
  out[2] = t[1];
  out[3] = t[2] ^ t[7];
  out[4] = t[3] ^ t[7];
  out[5] = t[4];
  out[6] = t[5];
  out[7] = t[6];
}

// out_r = 2·(a_r + a_r+1) + a_r+1 + a_r+2 + a_r+3 in every column.
void MixPlanes(uint32_t a[8]) {
  uint32_t t[8], xt[8];
  for (int b = 0; b < 8; ++b) t[b] = a[b] ^ R1(a[b]);
  XtimePlanes(t, xt);
  for (int b = 0; b < 8; ++b) a[b] = xt[b] ^ R1(a[b]) ^ R2(a[b]) ^ R3(a[b]);
}

// InvMixColumns = MixColumns after adding 4·(a_r + a_r+2) to every byte.
void InvMixPlanes(uint32_t a[8]) {
  uint32_t t[8], x2[8], x4[8];
  for (int b = 0; b < 8; ++b) t[b] = a[b] ^ R2(a[b]);
  XtimePlanes(t, x2);
  XtimePlanes(x2, x4);
  for (int b = 0; b < 8; ++b) a[b] ^= x4[b];
  MixPlanes(a);
}

// Row r moves left by offsets[r] columns: a rotation by 4 * offset lanes
// within each block's n lanes, on that row's lanes only. Several blocks of
// n lanes may share the planes.
void ShiftRowsPlanes(uint32_t p[8], int n, int blocks, const int* offsets) {
  const uint32_t lanes = n == 32 ? 0xFFFFFFFFu : (1u << n) - 1;
  for (int b = 0; b < 8; ++b) {
    uint32_t all = 0;
    for (int g = 0; g < blocks; ++g) {
      // Lanes past the blocks may hold ones from the S-box constant; drop
      // them here, the only step that moves bits across columns.
      const uint32_t x = (p[b] >> (n * g)) & lanes;
      uint32_t y = x & 0x11111111u;
      for (int r = 1; r < 4; ++r) {
        const int shift = 4 * offsets[r];
        const uint32_t rotated = shift == 0 ? x : ((x >> shift) | (x << (n - shift))) & lanes;
        y |= rotated & (0x11111111u << r) & lanes;
      }
      all |= y << (n * g);
    }
    p[b] = all;
  }
}

// Round key words as planes (big-endian words give the bytes in order).
void KeyPlanes(const uint32_t* k, int nb, uint32_t p[8]) {
  unsigned char bytes[kMaxBytes];
  for (int c = 0; c < nb && c < kMaxBytes / 4; ++c) blockbytes::StoreBe32(bytes + 4 * c, k[c]);
  ToPlanes(bytes, 4 * nb, p);
}

using SubWordFunction = uint32_t (*)(uint32_t);

// Chosen once per key schedule: the processor check costs more than a word.
SubWordFunction SubWordFor() { return cpu::Has(cpu::path::kAesNi) ? aeshw::SubWord : SubWordPortable; }

}  // namespace

uint32_t SubWordPortable(uint32_t word) {
  unsigned char b[4];
  uint32_t p[8];
  blockbytes::StoreBe32(b, word);
  ToPlanes(b, 4, p);
  SubPlanes(p);
  FromPlanes(p, 4, b);
  return blockbytes::LoadBe32(b);
}

uint32_t InvMixColumnWord(uint32_t word) {
  uint32_t p[8];
  KeyPlanes(&word, 1, p);
  InvMixPlanes(p);
  unsigned char b[4];
  FromPlanes(p, 4, b);
  return blockbytes::LoadBe32(b);
}

void ExpandKey(uint32_t* w, const unsigned char* key, int nk, int nb, int rounds, int decrypt) {
  const int total = (rounds + 1) * nb;
  uint32_t t[(14 + 1) * 8];
  for (int i = 0; i < nk; ++i) t[i] = blockbytes::LoadBe32(key + 4 * i);
  uint32_t rcon = 1;
  const SubWordFunction SubWord = SubWordFor();
  // column counts i mod nk: a division per word costs more than the word.
  for (int i = nk, column = 0; i < total; ++i, column = column + 1 == nk ? 0 : column + 1) {
    uint32_t x = t[i - 1];
    if (column == 0) {
      x = SubWord((x << 8) | (x >> 24)) ^ (rcon << 24);
      rcon = Xtime(rcon);
    } else if (nk > 6 && column == 4) {
      x = SubWord(x);
    }
    t[i] = t[i - nk] ^ x;
  }
  if (!decrypt) {
    std::memcpy(w, t, sizeof(uint32_t) * static_cast<size_t>(total));
  } else {
    for (int i = 0; i < total; ++i) w[(rounds - i / nb) * nb + i % nb] = t[i];
    for (int i = nb; i < rounds * nb; ++i) w[i] = InvMixColumnWord(w[i]);
  }
  SecureWipe(t, sizeof t);
}

namespace {

// The cipher and the equivalent inverse cipher share one shape; the state
// stays in bit planes from the first round key to the last. Two AES blocks
// (blocks == 2, nb == 4) share the 32 lanes.
void Run(const uint32_t* w, int nb, int rounds, const int* offsets, const unsigned char* in,
         unsigned char* out, bool inverse, int blocks) {
  const int n = 4 * nb;
  uint32_t s[8], k[8];
  ToPlanes(in, n * blocks, s);
  for (int r = 0; r <= rounds; ++r) {
    if (r != 0) {
      if (inverse)
        InvSubPlanes(s);
      else
        SubPlanes(s);
      ShiftRowsPlanes(s, n, blocks, offsets);
      if (r != rounds) {
        if (inverse)
          InvMixPlanes(s);
        else
          MixPlanes(s);
      }
    }
    KeyPlanes(w + r * nb, nb, k);
    for (int b = 0; b < 8; ++b) s[b] ^= blocks == 2 ? k[b] | k[b] << 16 : k[b];
  }
  FromPlanes(s, n * blocks, out);
  SecureWipe(s, sizeof s);
  SecureWipe(k, sizeof k);
}

}  // namespace

void EncryptBlock(const uint32_t* w, int nb, int rounds, const int* offsets,
                  const unsigned char* in, unsigned char* out) {
  Run(w, nb, rounds, offsets, in, out, false, 1);
}

void DecryptBlock(const uint32_t* w, int nb, int rounds, const int* offsets,
                  const unsigned char* in, unsigned char* out) {
  Run(w, nb, rounds, offsets, in, out, true, 1);
}

void EncryptAesPair(const uint32_t* w, int rounds, const int* offsets, const unsigned char* in,
                    unsigned char* out) {
  Run(w, 4, rounds, offsets, in, out, false, 2);
}

void DecryptAesPair(const uint32_t* w, int rounds, const int* offsets, const unsigned char* in,
                    unsigned char* out) {
  Run(w, 4, rounds, offsets, in, out, true, 2);
}

}  // namespace tornell::rijndaelcore
