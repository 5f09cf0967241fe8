#include "crypto/cipher/block/XxteaCipher.h"

#include "core/base/Status.h"

#include "crypto/cipher/block/TeaWords.h"

#include <cstddef>
#include <new>

namespace tornell {

using namespace teawords;

namespace {

constexpr int kStackWords = 64;

inline uint32_t Mx(uint32_t y, uint32_t z, uint32_t sum, uint32_t p, uint32_t e,
                   const uint32_t* k) {
  return (((z >> 5) ^ (y << 2)) + ((y >> 3) ^ (z << 4))) ^ ((sum ^ y) + (k[(p & 3) ^ e] ^ z));
}

void Encrypt(uint32_t* v, uint32_t n, const uint32_t* k) {
  uint32_t rounds = 6 + 52 / n, sum = 0, z = v[n - 1];
  while (rounds-- > 0) {
    sum += kDelta;
    const uint32_t e = (sum >> 2) & 3;
    for (uint32_t p = 0; p < n; ++p) {
      const uint32_t y = v[(p + 1) % n];
      z = v[p] += Mx(y, z, sum, p, e, k);
    }
  }
}

void Decrypt(uint32_t* v, uint32_t n, const uint32_t* k) {
  uint32_t rounds = 6 + 52 / n, sum = rounds * kDelta, y = v[0];
  while (rounds-- > 0) {
    const uint32_t e = (sum >> 2) & 3;
    for (uint32_t p = n; p-- > 0;) {
      const uint32_t z = v[(p + n - 1) % n];
      y = v[p] -= Mx(y, z, sum, p, e, k);
    }
    sum -= kDelta;
  }
}

}  // namespace

XxteaCipher::XxteaCipher() : key_{} {}

int XxteaCipher::SetKey(const unsigned char* key, int keyLength, int, int) {
  if (keyLength < 16) return kBadKeyLength;  // would read past the key
  LoadKey(key, key_);
  return kStatusOk;
}

int XxteaCipher::Run(const unsigned char* input, int length, unsigned char* output,
                     bool encrypt) const {
  if (length < 8) return kBadBlock;
  const int n = length / 4;
  // Engine blocks fit on the stack; only long blocks take a heap buffer.
  uint32_t local[kStackWords];
  uint32_t* v = n <= kStackWords ? local : new (std::nothrow) uint32_t[static_cast<size_t>(n)];
  if (v == nullptr) return kBadBlock;
  for (int i = 0; i < n; ++i) v[i] = Load(input + 4 * i);
  if (encrypt)
    Encrypt(v, static_cast<uint32_t>(n), key_);
  else
    Decrypt(v, static_cast<uint32_t>(n), key_);
  for (int i = 0; i < n; ++i) Store(output + 4 * i, v[i]);
  if (v != local) delete[] v;
  return kStatusOk;
}

int XxteaCipher::EncryptBlock(const unsigned char* input, int length, unsigned char* output) const {
  return Run(input, length, output, true);
}

int XxteaCipher::DecryptBlock(const unsigned char* input, int length, unsigned char* output) const {
  return Run(input, length, output, false);
}

int XxteaCipher::CopyFrom(const XxteaCipher& other) {
  for (int i = 0; i < 4; ++i) key_[i] = other.key_[i];
  return kStatusOk;
}

}  // namespace tornell
