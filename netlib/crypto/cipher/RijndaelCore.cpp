#include "crypto/cipher/RijndaelCore.h"

#include "crypto/cipher/AesHardware.h"
#include "crypto/cipher/BlockBytes.h"

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

void SubBytes(unsigned char* s, int n) {
  uint32_t p[8], t[8], inv[8];
  ToPlanes(s, n, p);
  ToTower(p, t);
  TowerInvert(t, inv);
  FromTowerAffine(inv, p);
  FromPlanes(p, n, s);
}

void InvSubBytes(unsigned char* s, int n) {
  uint32_t p[8], t[8], inv[8];
  ToPlanes(s, n, p);
  InvAffineToTower(p, t);
  TowerInvert(t, inv);
  FromTower(inv, p);
  FromPlanes(p, n, s);
}

inline uint32_t Xtime(uint32_t b) { return ((b << 1) ^ (0x1Bu & (0u - (b >> 7)))) & 0xFFu; }

void MixColumn(unsigned char* c) {
  uint32_t a0 = c[0], a1 = c[1], a2 = c[2], a3 = c[3];
  uint32_t all = a0 ^ a1 ^ a2 ^ a3;
  c[0] = static_cast<unsigned char>(a0 ^ all ^ Xtime(a0 ^ a1));
  c[1] = static_cast<unsigned char>(a1 ^ all ^ Xtime(a1 ^ a2));
  c[2] = static_cast<unsigned char>(a2 ^ all ^ Xtime(a2 ^ a3));
  c[3] = static_cast<unsigned char>(a3 ^ all ^ Xtime(a3 ^ a0));
}

void InvMixColumn(unsigned char* c) {
  // InvMixColumns = MixColumns after a pre-step with 4·(a0^a2), 4·(a1^a3).
  uint32_t u = Xtime(Xtime(uint32_t(c[0]) ^ c[2]));
  uint32_t v = Xtime(Xtime(uint32_t(c[1]) ^ c[3]));
  c[0] = static_cast<unsigned char>(c[0] ^ u);
  c[1] = static_cast<unsigned char>(c[1] ^ v);
  c[2] = static_cast<unsigned char>(c[2] ^ u);
  c[3] = static_cast<unsigned char>(c[3] ^ v);
  MixColumn(c);
}

void ShiftRows(unsigned char* s, int nb, const int* offsets) {
  unsigned char t[kMaxBytes];
  for (int c = 0; c < nb; ++c)
    for (int r = 0; r < 4; ++r) t[4 * c + r] = s[4 * ((c + offsets[r]) % nb) + r];
  std::memcpy(s, t, static_cast<size_t>(4 * nb));
}

void AddRoundKey(unsigned char* s, const uint32_t* k, int nb) {
  for (int c = 0; c < nb; ++c) {
    s[4 * c] ^= static_cast<unsigned char>(k[c] >> 24);
    s[4 * c + 1] ^= static_cast<unsigned char>(k[c] >> 16);
    s[4 * c + 2] ^= static_cast<unsigned char>(k[c] >> 8);
    s[4 * c + 3] ^= static_cast<unsigned char>(k[c]);
  }
}

uint32_t SubWord(uint32_t w) {
  return aeshw::Active() ? aeshw::SubWord(w) : SubWordPortable(w);
}

}  // namespace

uint32_t SubWordPortable(uint32_t word) {
  unsigned char b[4];
  blockbytes::StoreBe32(b, word);
  SubBytes(b, 4);
  return blockbytes::LoadBe32(b);
}

uint32_t InvMixColumnWord(uint32_t word) {
  unsigned char b[4];
  blockbytes::StoreBe32(b, word);
  InvMixColumn(b);
  return blockbytes::LoadBe32(b);
}

void ExpandKey(uint32_t* w, const unsigned char* key, int nk, int nb, int rounds, int decrypt) {
  const int total = (rounds + 1) * nb;
  uint32_t t[(14 + 1) * 8];
  for (int i = 0; i < nk; ++i) t[i] = blockbytes::LoadBe32(key + 4 * i);
  uint32_t rcon = 1;
  for (int i = nk; i < total; ++i) {
    uint32_t x = t[i - 1];
    if (i % nk == 0) {
      x = SubWord((x << 8) | (x >> 24)) ^ (rcon << 24);
      rcon = Xtime(rcon);
    } else if (nk > 6 && i % nk == 4) {
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
  blockbytes::Wipe(t, sizeof t);
}

namespace {

// The cipher and the equivalent inverse cipher share one shape.
void Run(const uint32_t* w, int nb, int rounds, const int* offsets, const unsigned char* in,
         unsigned char* out, bool inverse) {
  unsigned char s[kMaxBytes];
  const int n = 4 * nb;
  std::memcpy(s, in, static_cast<size_t>(n));
  AddRoundKey(s, w, nb);
  for (int r = 1; r <= rounds; ++r) {
    if (inverse)
      InvSubBytes(s, n);
    else
      SubBytes(s, n);
    ShiftRows(s, nb, offsets);
    if (r != rounds)
      for (int c = 0; c < nb; ++c) inverse ? InvMixColumn(s + 4 * c) : MixColumn(s + 4 * c);
    AddRoundKey(s, w + r * nb, nb);
  }
  std::memcpy(out, s, static_cast<size_t>(n));
}

}  // namespace

void EncryptBlock(const uint32_t* w, int nb, int rounds, const int* offsets,
                  const unsigned char* in, unsigned char* out) {
  Run(w, nb, rounds, offsets, in, out, false);
}

void DecryptBlock(const uint32_t* w, int nb, int rounds, const int* offsets,
                  const unsigned char* in, unsigned char* out) {
  Run(w, nb, rounds, offsets, in, out, true);
}

}  // namespace tornell::rijndaelcore
