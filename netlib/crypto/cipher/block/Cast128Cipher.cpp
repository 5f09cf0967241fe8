#include "crypto/cipher/block/Cast128Cipher.h"

#include "core/secure/SecureWipe.h"

#include "core/base/Status.h"

#include "crypto/cipher/block/BlockBytes.h"
#include "crypto/cipher/block/Cast128Tables.h"

#include <cstring>

namespace tornell {
namespace {

using blockbytes::LoadBe32;
using blockbytes::StoreBe32;

const uint32_t (&S)[8][256] = kCast128SBoxes;

inline uint32_t Rotl(uint32_t x, unsigned r) { return (x << r) | (x >> ((32 - r) & 31)); }


// The key schedule's running state: sixteen bytes x and sixteen bytes z.
struct KeyState {
  unsigned char x[16];
  unsigned char z[16];
};

void SetWord(unsigned char* bytes, int word, uint32_t v) { StoreBe32(bytes + 4 * word, v); }
uint32_t Word(const unsigned char* bytes, int word) { return LoadBe32(bytes + 4 * word); }

// x to z and z to x halves of the schedule, as the definition gives them.
void XToZ(KeyState& k) {
  const unsigned char* x = k.x;
  unsigned char* z = k.z;
  SetWord(z, 0, Word(x, 0) ^ S[4][x[13]] ^ S[5][x[15]] ^ S[6][x[12]] ^ S[7][x[14]] ^ S[6][x[8]]);
  SetWord(z, 1, Word(x, 2) ^ S[4][z[0]] ^ S[5][z[2]] ^ S[6][z[1]] ^ S[7][z[3]] ^ S[7][x[10]]);
  SetWord(z, 2, Word(x, 3) ^ S[4][z[7]] ^ S[5][z[6]] ^ S[6][z[5]] ^ S[7][z[4]] ^ S[4][x[9]]);
  SetWord(z, 3, Word(x, 1) ^ S[4][z[10]] ^ S[5][z[9]] ^ S[6][z[11]] ^ S[7][z[8]] ^ S[5][x[11]]);
}

void ZToX(KeyState& k) {
  unsigned char* x = k.x;
  const unsigned char* z = k.z;
  SetWord(x, 0, Word(z, 2) ^ S[4][z[5]] ^ S[5][z[7]] ^ S[6][z[4]] ^ S[7][z[6]] ^ S[6][z[0]]);
  SetWord(x, 1, Word(z, 0) ^ S[4][x[0]] ^ S[5][x[2]] ^ S[6][x[1]] ^ S[7][x[3]] ^ S[7][z[2]]);
  SetWord(x, 2, Word(z, 1) ^ S[4][x[7]] ^ S[5][x[6]] ^ S[6][x[5]] ^ S[7][x[4]] ^ S[4][z[1]]);
  SetWord(x, 3, Word(z, 3) ^ S[4][x[10]] ^ S[5][x[9]] ^ S[6][x[11]] ^ S[7][x[8]] ^ S[5][z[3]]);
}

// Four subkeys from bytes b: a pattern of (S5, S6, S7, S8, extra) indices.
void Extract(const unsigned char* b, const unsigned char idx[4][5], uint32_t* out) {
  for (int i = 0; i < 4; ++i)
    out[i] = S[4][b[idx[i][0]]] ^ S[5][b[idx[i][1]]] ^ S[6][b[idx[i][2]]] ^ S[7][b[idx[i][3]]] ^
             S[4 + i][b[idx[i][4]]];
}

constexpr unsigned char kFromZ1[4][5] = {
    {8, 9, 7, 6, 2}, {10, 11, 5, 4, 6}, {12, 13, 3, 2, 9}, {14, 15, 1, 0, 12}};
constexpr unsigned char kFromX1[4][5] = {
    {3, 2, 12, 13, 8}, {1, 0, 14, 15, 13}, {7, 6, 8, 9, 3}, {5, 4, 10, 11, 7}};
constexpr unsigned char kFromZ2[4][5] = {
    {3, 2, 12, 13, 9}, {1, 0, 14, 15, 12}, {7, 6, 8, 9, 2}, {5, 4, 10, 11, 6}};
constexpr unsigned char kFromX2[4][5] = {
    {8, 9, 7, 6, 3}, {10, 11, 5, 4, 7}, {12, 13, 3, 2, 8}, {14, 15, 1, 0, 13}};

// Sixteen schedule words; the state runs on for the next call.
void SixteenWords(KeyState& k, uint32_t* out) {
  XToZ(k);
  Extract(k.z, kFromZ1, out);
  ZToX(k);
  Extract(k.x, kFromX1, out + 4);
  XToZ(k);
  Extract(k.z, kFromZ2, out + 8);
  ZToX(k);
  Extract(k.x, kFromX2, out + 12);
}

inline uint32_t RoundF(int type, uint32_t d, uint32_t km, unsigned kr) {
  uint32_t i;
  switch (type) {
    case 0:
      i = Rotl(km + d, kr);
      return ((S[0][i >> 24] ^ S[1][(i >> 16) & 0xFF]) - S[2][(i >> 8) & 0xFF]) + S[3][i & 0xFF];
    case 1:
      i = Rotl(km ^ d, kr);
      return ((S[0][i >> 24] - S[1][(i >> 16) & 0xFF]) + S[2][(i >> 8) & 0xFF]) ^ S[3][i & 0xFF];
    default:
      i = Rotl(km - d, kr);
      return ((S[0][i >> 24] + S[1][(i >> 16) & 0xFF]) ^ S[2][(i >> 8) & 0xFF]) - S[3][i & 0xFF];
  }
}

}  // namespace

Cast128Cipher::Cast128Cipher() : masking_{}, rotation_{}, rounds_(16) {}

int Cast128Cipher::SetKey(const unsigned char* key, int keyLength) {
  if (keyLength < 0 || keyLength > 16) return kBadKeyLength;
  rounds_ = keyLength <= 10 ? 12 : 16;
  KeyState k{};
  std::memcpy(k.x, key, static_cast<size_t>(keyLength));
  uint32_t words[16];
  SixteenWords(k, words);
  for (int i = 0; i < 16; ++i) masking_[i] = words[i];
  SixteenWords(k, words);
  for (int i = 0; i < 16; ++i) rotation_[i] = static_cast<unsigned char>(words[i] & 31);
  SecureWipe(&k, sizeof k);
  return kStatusOk;
}

int Cast128Cipher::EncryptBlock(const unsigned char* input, unsigned char* output) const {
  Crypt(input, output, true);
  return kStatusOk;
}

int Cast128Cipher::DecryptBlock(const unsigned char* input, unsigned char* output) const {
  Crypt(input, output, false);
  return kStatusOk;
}

// Decryption runs the same rounds from the last to the first.
void Cast128Cipher::Crypt(const unsigned char* input, unsigned char* output, bool forward) const {
  uint32_t l = LoadBe32(input), r = LoadBe32(input + 4);
  for (int n = 0; n < rounds_; ++n) {
    const int i = forward ? n : rounds_ - 1 - n;
    const uint32_t t = l ^ RoundF(i % 3, r, static_cast<uint32_t>(masking_[i]), rotation_[i]);
    l = r;
    r = t;
  }
  StoreBe32(output, r);
  StoreBe32(output + 4, l);
}

int Cast128Cipher::CopyFrom(const Cast128Cipher& other) {
  std::memcpy(masking_, other.masking_, sizeof masking_);
  std::memcpy(rotation_, other.rotation_, sizeof rotation_);
  rounds_ = other.rounds_;
  return kStatusOk;
}

}  // namespace tornell
