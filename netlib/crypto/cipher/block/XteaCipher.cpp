#include "crypto/cipher/block/XteaCipher.h"

#include "core/base/Status.h"

#include "crypto/cipher/block/TeaWords.h"

namespace tornell {

using namespace teawords;

// The mixing term adds z to the shifted value only: (z << 4) ^ ((z >> 5) + z),
// which sets this cipher apart from the XTEA of the literature.
namespace {
inline uint32_t Mix(uint32_t v) { return (v << 4) ^ ((v >> 5) + v); }
}  // namespace

XteaCipher::XteaCipher() : key_{}, cycles_(64) {}

int XteaCipher::SetKey(const unsigned char* key, int keyLength, int, int) {
  if (keyLength < 16) return kBadKeyLength;  // would read past the key
  LoadKey(key, key_);
  return kStatusOk;
}

int XteaCipher::EncryptBlock(const unsigned char* input, unsigned char* output) const {
  uint32_t y = Load(input), z = Load(input + 4), sum = 0;
  const uint32_t* k = key_;
  for (int n = 0; n < cycles_; ++n) {
    y += Mix(z) ^ (sum + k[sum & 3]);
    sum += kDelta;
    z += Mix(y) ^ (sum + k[(sum >> 11) & 3]);
  }
  Store(output, y);
  Store(output + 4, z);
  return kStatusOk;
}

int XteaCipher::DecryptBlock(const unsigned char* input, unsigned char* output) const {
  uint32_t y = Load(input), z = Load(input + 4);
  uint32_t sum = kDelta * static_cast<uint32_t>(cycles_);
  const uint32_t* k = key_;
  for (int n = 0; n < cycles_; ++n) {
    z -= Mix(y) ^ (sum + k[(sum >> 11) & 3]);
    sum -= kDelta;
    y -= Mix(z) ^ (sum + k[sum & 3]);
  }
  Store(output, y);
  Store(output + 4, z);
  return kStatusOk;
}

int XteaCipher::CopyFrom(const XteaCipher& other) {
  for (int i = 0; i < 4; ++i) key_[i] = other.key_[i];
  cycles_ = other.cycles_;
  return kStatusOk;
}

}  // namespace tornell
