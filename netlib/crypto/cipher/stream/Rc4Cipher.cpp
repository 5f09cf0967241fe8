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

namespace {

inline uint32_t NextKeyByte(uint32_t* s, uint32_t& i, uint32_t& j) {
  i = (i + 1) & 0xFF;
  const uint32_t si = s[i];
  j = (j + si) & 0xFF;
  const uint32_t sj = s[j];
  s[i] = sj;
  s[j] = si;
  return s[(si + sj) & 0xFF];
}

}  // namespace

// Eight key bytes are gathered into one word and applied to eight input
// bytes read before any of them is written, so in-place use gives the same
// bytes as separate buffers; an output that starts just after the input
// (inside the eight bytes) goes byte by byte, each byte computed from its
// own input byte before the next is read.
int Rc4Cipher::Encrypt(const unsigned char* input, int length, unsigned char* output) {
  if (state_ == nullptr) return kStatusNoMemory;
  uint32_t* s = state_;
  uint32_t i = static_cast<uint32_t>(i_), j = static_cast<uint32_t>(j_);
  int k = 0;
  const uintptr_t gap = reinterpret_cast<uintptr_t>(output) - reinterpret_cast<uintptr_t>(input);
  if (gap == 0 || gap >= 8) {
    for (; k + 8 <= length; k += 8) {
      uint64_t key = 0;
      for (int b = 0; b < 8; ++b) key |= uint64_t(NextKeyByte(s, i, j)) << (8 * b);
      uint64_t data;
      std::memcpy(&data, input + k, 8);
      data ^= key;  // byte b of the word is byte k + b in memory (little-endian host)
      std::memcpy(output + k, &data, 8);
    }
  }
  for (; k < length; ++k) output[k] = static_cast<unsigned char>(input[k] ^ NextKeyByte(s, i, j));
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
