#include "crypto/cipher/block/CryptDes.h"

#include "core/secure/SecureWipe.h"

#include "core/base/Status.h"

#include "crypto/cipher/block/BlockBytes.h"
#include "crypto/cipher/block/DesTables.h"

#include <cstring>

namespace tornell {
namespace {

using destables::kPc1;

constexpr char kAlphabet[] = "./0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

constexpr unsigned char kIp[64] = {58, 50, 42, 34, 26, 18, 10, 2, 60, 52, 44, 36, 28, 20, 12, 4,
                                   62, 54, 46, 38, 30, 22, 14, 6, 64, 56, 48, 40, 32, 24, 16, 8,
                                   57, 49, 41, 33, 25, 17, 9,  1, 59, 51, 43, 35, 27, 19, 11, 3,
                                   61, 53, 45, 37, 29, 21, 13, 5, 63, 55, 47, 39, 31, 23, 15, 7};

constexpr unsigned char kExpansion[48] = {32, 1,  2,  3,  4,  5,  4,  5,  6,  7,  8,  9,
                                          8,  9,  10, 11, 12, 13, 12, 13, 14, 15, 16, 17,
                                          16, 17, 18, 19, 20, 21, 20, 21, 22, 23, 24, 25,
                                          24, 25, 26, 27, 28, 29, 28, 29, 30, 31, 32, 1};


constexpr unsigned char kRotations[16] = {1, 1, 2, 2, 2, 2, 2, 2, 1, 2, 2, 2, 2, 2, 2, 1};

// Round-key layout: per byte six subkey bits (PC-2) and two extra
// positions; the extras of the first four rows keep the eight bits PC-2
// drops, so that a key step can undo PC-2 and rotate.
constexpr unsigned char kPc2Layout[64] = {
    14, 17, 11, 24, 1,  5,  9,  18, 3,  28, 15, 6,  21, 10, 22, 25, 23, 19, 12, 4,  26, 8,
    35, 38, 16, 7,  27, 20, 13, 2,  43, 54, 41, 52, 31, 37, 47, 55, 0,  0,  30, 40, 51, 45,
    33, 48, 0,  0,  44, 49, 39, 56, 34, 53, 0,  0,  46, 42, 50, 36, 29, 32, 0,  0};



// Interleaves the two compressed halves (first, then second 32 bits of the
// preoutput) into the final permutation.
constexpr unsigned char kFp[64] = {40, 8, 48, 16, 56, 24, 64, 32, 39, 7, 47, 15, 55, 23, 63, 31,
                                   38, 6, 46, 14, 54, 22, 62, 30, 37, 5, 45, 13, 53, 21, 61, 29,
                                   36, 4, 44, 12, 52, 20, 60, 28, 35, 3, 43, 11, 51, 19, 59, 27,
                                   34, 2, 42, 10, 50, 18, 58, 26, 33, 1, 41, 9,  49, 17, 57, 25};

constexpr uint64_t kRoundKeyMask = 0xFCFCFCFCFFFFFFFFull;

// Process-wide state.
int g_tablesReady = 0;
unsigned char g_charIndex[128];
uint64_t g_keyEntry[16 * 16];
uint64_t g_keyStep[2][16 * 16];
uint64_t g_inputTable[8 * 16];
uint64_t g_outputTable[16 * 16];
uint32_t g_sbox[2][8][64];
uint64_t g_schedule[16];
char g_hashResult[14];

// Position of CD bit c (1..56) after rotating each half left by s.
int Rotated(int c, int s) {
  return c <= 28 ? (c - 1 + s) % 28 + 1 : 28 + (c - 29 + s) % 28 + 1;
}

uint32_t SboxThroughPAndE(int box, int v, int half) {
  const uint32_t p = destables::SboxThroughP(box, v);
  // Expanded form: group g in the upper six bits of byte g.
  uint64_t e = 0;
  for (int n = 0; n < 48; ++n)
    if ((p >> (32 - kExpansion[n])) & 1u) e |= 1ull << (63 - (8 * (n / 6) + n % 6));
  return static_cast<uint32_t>(half == 0 ? e >> 32 : e);
}

uint64_t LoadBe64(const unsigned char* p) {
  uint64_t v = 0;
  for (int i = 0; i < 8; ++i) v = (v << 8) | p[i];
  return v;
}

void StoreBe64(unsigned char* p, uint64_t v) {
  for (int i = 7; i >= 0; --i, v >>= 8) p[i] = static_cast<unsigned char>(v);
}

uint32_t ExpandedSalt(long salt) {
  uint32_t mask = 0;
  for (int n = 0; n < 24; ++n)
    if ((static_cast<unsigned long>(salt) >> n) & 1u) mask |= 1u << (31 - (8 * (n / 6) + n % 6));
  return mask;
}

// Middle four bits of each group are the half's own bits.
uint32_t Compress(uint64_t e) {
  uint32_t out = 0;
  for (int g = 0; g < 8; ++g) out = (out << 4) | static_cast<uint32_t>((e >> (59 - 8 * g)) & 0xF);
  return out;
}

void XorF(uint64_t& target, uint64_t half, uint64_t key, uint32_t salt) {
  uint32_t hi = static_cast<uint32_t>(half >> 32), lo = static_cast<uint32_t>(half);
  const uint32_t t = (hi ^ lo) & salt;
  hi = (hi ^ t) ^ static_cast<uint32_t>(key >> 32);
  lo = (lo ^ t) ^ static_cast<uint32_t>(key);
  uint32_t fHi = 0, fLo = 0;
  for (int g = 0; g < 4; ++g) {
    const uint32_t a = (hi >> (26 - 8 * g)) & 0x3F, b = (lo >> (26 - 8 * g)) & 0x3F;
    fHi ^= g_sbox[0][g][a] ^ g_sbox[0][g + 4][b];
    fLo ^= g_sbox[1][g][a] ^ g_sbox[1][g + 4][b];
  }
  target ^= uint64_t(fHi) << 32 | fLo;
}

}  // namespace

void CryptDesBuildPermTable(uint64_t* table, const unsigned char* bitMap, int inputBytes,
                            int outputBytes) {
  std::memset(table, 0, sizeof(uint64_t) * 16 * 2 * static_cast<size_t>(inputBytes));
  for (int o = 0; o < outputBytes * 8; ++o) {
    const int src = bitMap[o];
    if (src == 0 || src > inputBytes * 8) continue;
    const int byte = (src - 1) / 8, bit = (src - 1) % 8;
    const int chunk = bit < 4 ? 2 * byte + 1 : 2 * byte;
    const int nibbleBit = 0x8 >> (bit & 3);
    for (int v = 0; v < 16; ++v)
      if (v & nibbleBit) table[chunk * 16 + v] |= 1ull << (63 - o);
  }
}

void CryptDesPermute(const unsigned char* input, uint64_t& block, const uint64_t* table,
                     int inputBytes) {
  uint64_t out = 0;
  for (int i = 0; i < inputBytes; ++i, table += 32)
    out |= table[input[i] & 0xF] | table[16 + (input[i] >> 4)];
  block = out;
}

void CryptDesBuildTables() {
  std::memset(g_charIndex, 0, sizeof g_charIndex);
  for (int i = 0; i < 64; ++i) g_charIndex[static_cast<unsigned char>(kAlphabet[i])] =
      static_cast<unsigned char>(i);

  unsigned char map[64];
  // Key entry: PC-1, one rotation, PC-2 layout.
  for (int o = 0; o < 64; ++o)
    map[o] = kPc2Layout[o] ? kPc1[Rotated(kPc2Layout[o], 1) - 1] : 0;
  CryptDesBuildPermTable(g_keyEntry, map, 8, 8);

  // Key steps: find each CD bit in the layout, rotate once or twice more.
  unsigned char where[57] = {};
  for (int o = 0; o < 64; ++o)
    if (kPc2Layout[o]) where[kPc2Layout[o]] = static_cast<unsigned char>(o + 1);
  for (int s = 1; s <= 2; ++s) {
    for (int o = 0; o < 64; ++o)
      map[o] = kPc2Layout[o] ? where[Rotated(kPc2Layout[o], s)] : 0;
    CryptDesBuildPermTable(g_keyStep[s - 1], map, 8, 8);
  }

  // Input: one half of the separated bits (even bits give L0, odd bits R0
  // by the same map) through IP and E into the grouped form.
  std::memset(map, 0, sizeof map);
  for (int n = 0; n < 48; ++n)
    map[8 * (n / 6) + n % 6] = static_cast<unsigned char>((kIp[kExpansion[n] - 1] + 1) / 2);
  CryptDesBuildPermTable(g_inputTable, map, 4, 8);

  CryptDesBuildPermTable(g_outputTable, kFp, 8, 8);

  for (int half = 0; half < 2; ++half)
    for (int box = 0; box < 8; ++box)
      for (int v = 0; v < 64; ++v) g_sbox[half][box][v] = SboxThroughPAndE(box, v, half);
  g_tablesReady = 1;
}

int CryptDesSetKey(const unsigned char* key) {
  if (!g_tablesReady) CryptDesBuildTables();
  uint64_t k;
  CryptDesPermute(key, k, g_keyEntry, 8);
  g_schedule[0] = k & kRoundKeyMask;
  for (int round = 1; round < 16; ++round) {
    unsigned char bytes[8];
    StoreBe64(bytes, k);
    CryptDesPermute(bytes, k, g_keyStep[kRotations[round] - 1], 8);
    g_schedule[round] = k & kRoundKeyMask;
  }
  return kStatusOk;
}

int CryptDesCipher(const unsigned char* input, unsigned char* output, long salt, int iterations) {
  // Before any key setup the tables would be empty: build them so the
  // result is at worst a block under the all-zero schedule.
  if (!g_tablesReady) CryptDesBuildTables();
  const uint32_t saltMask = ExpandedSalt(salt);
  // Separate odd- and even-numbered input bits (1-based from the top).
  const uint64_t in = LoadBe64(input);
  uint32_t even = 0, odd = 0;
  for (int i = 0; i < 32; ++i) {
    odd |= static_cast<uint32_t>((in >> (63 - 2 * i)) & 1u) << (31 - i);
    even |= static_cast<unsigned>((in >> (62 - 2 * i)) & 1u) << (31 - i);
  }
  unsigned char half[4];
  uint64_t left, right;
  for (int i = 0; i < 4; ++i) half[i] = static_cast<unsigned char>(even >> (24 - 8 * i));
  CryptDesPermute(half, left, g_inputTable, 4);
  for (int i = 0; i < 4; ++i) half[i] = static_cast<unsigned char>(odd >> (24 - 8 * i));
  CryptDesPermute(half, right, g_inputTable, 4);

  const int passes = iterations < 0 ? -iterations : iterations;
  for (int pass = 0; pass < passes; ++pass) {
    for (int round = 0; round < 16; ++round) {
      const uint64_t key = g_schedule[iterations < 0 ? 15 - round : round];
      XorF(left, right, key, saltMask);
      const uint64_t t = left;
      left = right;
      right = t;
    }
    const uint64_t t = left;
    left = right;
    right = t;
  }
  // After the exchange that ends each pass the halves are the preoutput.
  unsigned char pre[8];
  StoreBe64(pre, uint64_t(Compress(left)) << 32 | Compress(right));
  uint64_t result;
  CryptDesPermute(pre, result, g_outputTable, 8);
  StoreBe64(output, result);
  return kStatusOk;
}

void CryptDesEcbEncrypt(unsigned char* data, int blockCount, const unsigned char* key) {
  (void)CryptDesSetKey(key);  // keying and the block function cannot fail
  for (int i = 0; i < blockCount; ++i) (void)CryptDesCipher(data + 8 * i, data + 8 * i, 0, 1);
}

void CryptDesEcbDecrypt(unsigned char* data, int blockCount, const unsigned char* key) {
  (void)CryptDesSetKey(key);
  for (int i = 0; i < blockCount; ++i) (void)CryptDesCipher(data + 8 * i, data + 8 * i, 0, -1);
}

void CryptDesCbcEncrypt(unsigned char* data, int blockCount, const unsigned char* key,
                        const unsigned char* iv) {
  (void)CryptDesSetKey(key);
  const unsigned char* chain = iv;
  for (int i = 0; i < blockCount; ++i) {
    unsigned char* block = data + 8 * i;
    for (int j = 0; j < 8; ++j) block[j] ^= chain[j];
    (void)CryptDesCipher(block, block, 0, 1);
    chain = block;
  }
}

void CryptDesCbcDecrypt(unsigned char* data, int blockCount, const unsigned char* key,
                        const unsigned char* iv) {
  (void)CryptDesSetKey(key);
  unsigned char chain[8], saved[8];
  std::memcpy(chain, iv, 8);
  for (int i = 0; i < blockCount; ++i) {
    unsigned char* block = data + 8 * i;
    std::memcpy(saved, block, 8);
    (void)CryptDesCipher(block, block, 0, -1);
    for (int j = 0; j < 8; ++j) block[j] ^= chain[j];
    std::memcpy(chain, saved, 8);
  }
}

namespace {

struct Ede3Keys {
  const unsigned char* k1;
  const unsigned char* k2;
  const unsigned char* k3;
};

Ede3Keys SplitEde3Key(const unsigned char* key, int keyLength) {
  return {key, keyLength >= 9 ? key + 8 : key, keyLength >= 17 ? key + 16 : key};
}

}  // namespace

void CryptDesEde3CbcEncrypt(unsigned char* data, int blockCount, const unsigned char* key,
                            int keyLength, const unsigned char* iv) {
  const Ede3Keys k = SplitEde3Key(key, keyLength);
  unsigned char chain[8];
  std::memcpy(chain, iv, 8);
  for (int i = 0; i < blockCount; ++i) {
    unsigned char* block = data + 8 * i;
    CryptDesCbcEncrypt(block, 1, k.k1, chain);
    CryptDesEcbDecrypt(block, 1, k.k2);
    CryptDesEcbEncrypt(block, 1, k.k3);
    std::memcpy(chain, block, 8);
  }
}

void CryptDesEde3CbcDecrypt(unsigned char* data, int blockCount, const unsigned char* key,
                            int keyLength, const unsigned char* iv) {
  const Ede3Keys k = SplitEde3Key(key, keyLength);
  unsigned char chain[8], saved[8];
  std::memcpy(chain, iv, 8);
  for (int i = 0; i < blockCount; ++i) {
    unsigned char* block = data + 8 * i;
    std::memcpy(saved, block, 8);
    CryptDesEcbDecrypt(block, 1, k.k3);
    CryptDesEcbEncrypt(block, 1, k.k2);
    CryptDesCbcDecrypt(block, 1, k.k1, chain);
    std::memcpy(chain, saved, 8);
  }
}

const char* CryptDesHashPassword(const char* password, const char* setting) {
  unsigned char key[8] = {};
  for (int i = 0; i < 8 && password[i] != '\0'; ++i)
    key[i] = static_cast<unsigned char>(static_cast<unsigned char>(password[i]) << 1);
  (void)CryptDesSetKey(key);

  // Salt characters outside 7-bit ASCII count as the first alphabet entry.
  const unsigned char s0 = static_cast<unsigned char>(setting[0]);
  const unsigned char s1 = setting[1] == '\0' ? '.' : static_cast<unsigned char>(setting[1]);
  g_hashResult[0] = static_cast<char>(s0);
  g_hashResult[1] = static_cast<char>(s1);
  const long salt = long(s1 < 128 ? g_charIndex[s1] : 0) * 64 + (s0 < 128 ? g_charIndex[s0] : 0);

  unsigned char block[8] = {};
  (void)CryptDesCipher(block, block, salt, 25);
  uint32_t v = uint32_t(block[0]) << 16 | uint32_t(block[1]) << 8 | block[2];
  for (int i = 0; i < 4; ++i) g_hashResult[2 + i] = kAlphabet[(v >> (18 - 6 * i)) & 63];
  v = uint32_t(block[3]) << 16 | uint32_t(block[4]) << 8 | block[5];
  for (int i = 0; i < 4; ++i) g_hashResult[6 + i] = kAlphabet[(v >> (18 - 6 * i)) & 63];
  v = (uint32_t(block[6]) << 8 | block[7]) << 2;
  for (int i = 0; i < 3; ++i) g_hashResult[10 + i] = kAlphabet[(v >> (12 - 6 * i)) & 63];
  g_hashResult[13] = '\0';
  SecureWipe(key, sizeof key);
  return g_hashResult;
}

}  // namespace tornell
