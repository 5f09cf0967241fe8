#include "crypto/cipher/block/IdeaCipher.h"

#include "core/secure/SecureWipe.h"

#include "core/base/Status.h"

#include "crypto/cipher/block/BlockBytes.h"
#include "crypto/cipher/engine/CipherDirection.h"

#include <cstring>

namespace tornell {
namespace {

// Multiplication modulo 65537 with 0 standing for 65536, without branches
// on the operands.
inline uint16_t Mul(uint32_t a, uint32_t b) {
  a += ((a - 1) >> 31) << 16;  // 0 -> 65536
  b += ((b - 1) >> 31) << 16;
  const uint32_t p = a * b;  // 65536 * 65536 wraps to 0
  const uint32_t lo = p & 0xFFFF, hi = p >> 16;
  return static_cast<uint16_t>(lo - hi + (lo <= hi ? 1u : 0u));
}

// x^65535 = x^-1 modulo 65537 (0 and 1 are their own inverses).
uint16_t MulInverse(uint16_t x) {
  uint16_t result = 1, base = x;
  for (uint32_t e = 65535; e != 0; e >>= 1) {
    if (e & 1) result = Mul(result, base);
    base = Mul(base, base);
  }
  return result;
}

inline uint16_t Neg(uint16_t x) { return static_cast<uint16_t>(0x10000u - x); }

void EncryptSchedule(const unsigned char* key, uint16_t* z) {
  for (int i = 0; i < 8; ++i) z[i] = static_cast<uint16_t>(key[2 * i] << 8 | key[2 * i + 1]);
  for (int i = 8; i < 52; ++i) {
    const int j = i & 7;
    const uint16_t hiWord = j < 7 ? z[i - 7] : z[i - 15];
    const uint16_t loWord = j < 6 ? z[i - 6] : z[i - 14];
    z[i] = static_cast<uint16_t>(hiWord << 9 | loWord >> 7);
  }
}

void DecryptSchedule(const uint16_t* ek, uint16_t* dk) {
  // Output transformation of decryption from encryption round 1's keys.
  dk[48] = MulInverse(ek[0]);
  dk[49] = Neg(ek[1]);
  dk[50] = Neg(ek[2]);
  dk[51] = MulInverse(ek[3]);
  for (int r = 0; r < 8; ++r) {
    const uint16_t* src = ek + 6 * r + 4;  // MA keys of round r, then round r+1's
    uint16_t* dst = dk + 42 - 6 * r;
    dst[4] = src[0];
    dst[5] = src[1];
    dst[0] = MulInverse(src[2]);
    // The two additive keys are exchanged except in decryption round 1.
    dst[1] = Neg(r == 7 ? src[3] : src[4]);
    dst[2] = Neg(r == 7 ? src[4] : src[3]);
    dst[3] = MulInverse(src[5]);
  }
}

void Crypt(const uint16_t* z, const unsigned char* in, unsigned char* out) {
  uint16_t x1 = static_cast<uint16_t>(in[0] << 8 | in[1]);
  uint16_t x2 = static_cast<uint16_t>(in[2] << 8 | in[3]);
  uint16_t x3 = static_cast<uint16_t>(in[4] << 8 | in[5]);
  uint16_t x4 = static_cast<uint16_t>(in[6] << 8 | in[7]);
  for (int r = 0; r < 8; ++r, z += 6) {
    x1 = Mul(x1, z[0]);
    x2 = static_cast<uint16_t>(x2 + z[1]);
    x3 = static_cast<uint16_t>(x3 + z[2]);
    x4 = Mul(x4, z[3]);
    uint16_t t0 = Mul(x1 ^ x3, z[4]);
    const uint16_t t1 = Mul(static_cast<uint16_t>(t0 + (x2 ^ x4)), z[5]);
    t0 = static_cast<uint16_t>(t0 + t1);
    x1 ^= t1;
    x4 ^= t0;
    const uint16_t t = x2 ^ t0;
    x2 = x3 ^ t1;
    x3 = t;
  }
  const uint16_t y[4] = {Mul(x1, z[0]), static_cast<uint16_t>(x3 + z[1]),
                         static_cast<uint16_t>(x2 + z[2]), Mul(x4, z[3])};
  for (int i = 0; i < 4; ++i) {
    out[2 * i] = static_cast<unsigned char>(y[i] >> 8);
    out[2 * i + 1] = static_cast<unsigned char>(y[i]);
  }
}

}  // namespace

IdeaCipher::IdeaCipher() : z_{} {}

int IdeaCipher::SetKey(const unsigned char* key, int keyLength, int encrypt, int mode) {
  if (keyLength < 16) return kBadKeyLength;  // would read past the key
  uint16_t ek[52];
  EncryptSchedule(key, ek);
  if (cipherdirection::WantsDecryptSchedule(encrypt, mode))
    DecryptSchedule(ek, z_);
  else
    std::memcpy(z_, ek, sizeof z_);
  SecureWipe(ek, sizeof ek);
  return kStatusOk;
}

int IdeaCipher::EncryptBlock(const unsigned char* input, unsigned char* output) const {
  Crypt(z_, input, output);
  return kStatusOk;
}

int IdeaCipher::DecryptBlock(const unsigned char* input, unsigned char* output) const {
  Crypt(z_, input, output);
  return kStatusOk;
}

int IdeaCipher::CopyFrom(const IdeaCipher& other) {
  std::memcpy(z_, other.z_, sizeof z_);
  return kStatusOk;
}

}  // namespace tornell
