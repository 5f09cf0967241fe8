#include "crypto/cipher/stream/Rc4Cipher.h"

#include "core/secure/SecureWipe.h"

#include "core/base/Status.h"

#include "crypto/cipher/block/BlockBytes.h"

#include <cstring>
#include <new>

namespace tornell {

Rc4Cipher::Rc4Cipher() : state_(new (std::nothrow) uint32_t[256]()), i_(0), j_(0) {}

Rc4Cipher::~Rc4Cipher() {
  if (state_ != nullptr) {
    SecureWipe(state_, 256 * sizeof(uint32_t));
    delete[] state_;
    state_ = nullptr;
  }
}

int Rc4Cipher::SetKey(const unsigned char* key, int keyLength) {
  if (state_ == nullptr) return kStatusNoMemory;
  if (keyLength <= 0) return kBadKeyLength;
  uint32_t* s = state_;
  for (uint32_t k = 0; k < 256; ++k) s[k] = k;
  uint32_t j = 0;
  for (int k = 0, pos = 0; k < 256; ++k) {
    j = (j + s[k] + key[pos]) & 0xFF;
    const uint32_t t = s[k];
    s[k] = s[j];
    s[j] = t;
    pos = pos + 1 == keyLength ? 0 : pos + 1;
  }
  i_ = 0;
  j_ = 0;
  return kStatusOk;
}

// Each output byte is computed from its own input byte before the next is
// read, so in-place use gives the same bytes as separate buffers.
int Rc4Cipher::Encrypt(const unsigned char* input, int length, unsigned char* output) {
  if (state_ == nullptr) return kStatusNoMemory;
  uint32_t* s = state_;
  uint32_t i = static_cast<uint32_t>(i_), j = static_cast<uint32_t>(j_);
  for (int k = 0; k < length; ++k) {
    i = (i + 1) & 0xFF;
    const uint32_t si = s[i];
    j = (j + si) & 0xFF;
    const uint32_t sj = s[j];
    s[i] = sj;
    s[j] = si;
    output[k] = static_cast<unsigned char>(input[k] ^ s[(si + sj) & 0xFF]);
  }
  i_ = static_cast<int>(i);
  j_ = static_cast<int>(j);
  return kStatusOk;
}

int Rc4Cipher::Decrypt(const unsigned char* input, int length, unsigned char* output) {
  return Encrypt(input, length, output);
}

int Rc4Cipher::CopyFrom(const Rc4Cipher& other) {
  if (state_ == nullptr) return kStatusNoMemory;
  if (&other == this) return kStatusOk;
  if (other.state_ != nullptr) std::memcpy(state_, other.state_, 256 * sizeof(uint32_t));
  i_ = other.i_;
  j_ = other.j_;
  return kStatusOk;
}

}  // namespace tornell
