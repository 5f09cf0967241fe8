#include "crypto/cipher/block/TeaCipher.h"

#include "core/base/Status.h"

#include "crypto/cipher/block/TeaWords.h"

namespace tornell {

using namespace teawords;

TeaCipher::TeaCipher() : key_{}, cycles_(64) {}

int TeaCipher::SetKey(const unsigned char* key, int keyLength, int, int) {
  if (keyLength < 16) return kBadKeyLength;  // would read past the key
  LoadKey(key, key_);
  return kStatusOk;
}

int TeaCipher::EncryptBlock(const unsigned char* input, unsigned char* output) const {
  uint32_t y = Load(input), z = Load(input + 4), sum = 0;
  const uint32_t* k = key_;
  for (int n = 0; n < cycles_; ++n) {
    sum += kDelta;
    y += ((z << 4) + k[0]) ^ (z + sum) ^ ((z >> 5) + k[1]);
    z += ((y << 4) + k[2]) ^ (y + sum) ^ ((y >> 5) + k[3]);
  }
  Store(output, y);
  Store(output + 4, z);
  return kStatusOk;
}

int TeaCipher::DecryptBlock(const unsigned char* input, unsigned char* output) const {
  uint32_t y = Load(input), z = Load(input + 4);
  uint32_t sum = kDelta * static_cast<uint32_t>(cycles_);
  const uint32_t* k = key_;
  for (int n = 0; n < cycles_; ++n) {
    z -= ((y << 4) + k[2]) ^ (y + sum) ^ ((y >> 5) + k[3]);
    y -= ((z << 4) + k[0]) ^ (z + sum) ^ ((z >> 5) + k[1]);
    sum -= kDelta;
  }
  Store(output, y);
  Store(output + 4, z);
  return kStatusOk;
}

int TeaCipher::CopyFrom(const TeaCipher& other) {
  for (int i = 0; i < 4; ++i) key_[i] = other.key_[i];
  cycles_ = other.cycles_;
  return kStatusOk;
}

}  // namespace tornell
