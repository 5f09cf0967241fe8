#include "crypto/cipher/RijndaelCore.h"

#include "crypto/cipher/AesHardware.h"
#include "crypto/cipher/BlockBytes.h"

#include <cstring>

namespace tornell::rijndaelcore {
namespace {

constexpr int kMaxBytes = 32;

// Bit b of every state byte goes to plane b, lane i for byte i.
void ToPlanes(const unsigned char* s, int n, uint32_t p[8]) {
  for (int b = 0; b < 8; ++b) p[b] = 0;
  for (int i = 0; i < n; ++i) {
    uint32_t v = s[i];
    for (int b = 0; b < 8; ++b) p[b] |= ((v >> b) & 1u) << i;
  }
}

void FromPlanes(const uint32_t p[8], int n, unsigned char* s) {
  for (int i = 0; i < n; ++i) {
    uint32_t v = 0;
    for (int b = 0; b < 8; ++b) v |= ((p[b] >> i) & 1u) << b;
    s[i] = static_cast<unsigned char>(v);
  }
}

// Reduction modulo x^8 + x^4 + x^3 + x + 1 of a 15-coefficient product.
void Reduce(uint32_t c[15], uint32_t out[8]) {
  for (int k = 14; k >= 8; --k) {
    c[k - 4] ^= c[k];
    c[k - 5] ^= c[k];
    c[k - 7] ^= c[k];
    c[k - 8] ^= c[k];
  }
  for (int i = 0; i < 8; ++i) out[i] = c[i];
}

void GfMul(const uint32_t a[8], const uint32_t b[8], uint32_t out[8]) {
  uint32_t c[15] = {};
  for (int i = 0; i < 8; ++i)
    for (int j = 0; j < 8; ++j) c[i + j] ^= a[i] & b[j];
  Reduce(c, out);
}

void GfSquare(const uint32_t a[8], uint32_t out[8]) {
  uint32_t c[15] = {};
  for (int i = 0; i < 8; ++i) c[2 * i] = a[i];
  Reduce(c, out);
}

// x^254, the multiplicative inverse (0 maps to 0).
void GfInvert(const uint32_t x[8], uint32_t out[8]) {
  uint32_t x2[8], x3[8], x6[8], x12[8], x15[8], t[8], u[8];
  GfSquare(x, x2);
  GfMul(x2, x, x3);
  GfSquare(x3, x6);
  GfSquare(x6, x12);
  GfMul(x12, x3, x15);
  GfSquare(x15, t);  // x^30
  GfSquare(t, u);    // x^60
  GfSquare(u, t);    // x^120
  GfSquare(t, u);    // x^240
  GfMul(u, x12, t);  // x^252
  GfMul(t, x2, out); // x^254
}

uint32_t ConstMask(int constant, int bit) {
  return ((constant >> bit) & 1) ? 0xFFFFFFFFu : 0u;
}

void SubBytes(unsigned char* s, int n) {
  uint32_t p[8], inv[8];
  ToPlanes(s, n, p);
  GfInvert(p, inv);
  for (int i = 0; i < 8; ++i)
    p[i] = inv[i] ^ inv[(i + 4) & 7] ^ inv[(i + 5) & 7] ^ inv[(i + 6) & 7] ^ inv[(i + 7) & 7] ^
           ConstMask(0x63, i);
  FromPlanes(p, n, s);
}

void InvSubBytes(unsigned char* s, int n) {
  uint32_t p[8], a[8];
  ToPlanes(s, n, p);
  for (int i = 0; i < 8; ++i)
    a[i] = p[(i + 2) & 7] ^ p[(i + 5) & 7] ^ p[(i + 7) & 7] ^ ConstMask(0x05, i);
  GfInvert(a, p);
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
