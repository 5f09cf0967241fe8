#include "crypto/cipher/block/BlowfishCipher.h"

#include "core/secure/SecureWipe.h"

#include "core/base/Status.h"

#include "core/text/ByteString.h"
#include "crypto/cipher/block/BlockBytes.h"
#include "crypto/cipher/block/BlowfishTables.h"

#include <cstring>
#include <new>

namespace tornell {
namespace {

using blockbytes::LoadBe32;
using blockbytes::StoreBe32;


// Bytes consumed as a cyclic stream of big-endian words.
struct WordStream {
  const unsigned char* data;
  int length;
  int cursor = 0;
  uint32_t Next() {
    uint32_t w = 0;
    for (int i = 0; i < 4; ++i) {
      w = (w << 8) | data[cursor];
      cursor = cursor + 1 == length ? 0 : cursor + 1;
    }
    return w;
  }
};

constexpr char kBcryptText[] = "OxychromaticBlowfishSwatDynamite";

}  // namespace

BlowfishCipher::BlowfishCipher() : p_{} {
  for (auto& box : s_) box = new (std::nothrow) uint32_t[256]();
}

BlowfishCipher::~BlowfishCipher() {
  for (auto& box : s_) {
    if (box == nullptr) continue;
    SecureWipe(box, 256 * sizeof(uint32_t));
    delete[] box;
    box = nullptr;
  }
}

bool BlowfishCipher::HasTables() const {
  return s_[0] != nullptr && s_[1] != nullptr && s_[2] != nullptr && s_[3] != nullptr;
}

void BlowfishCipher::LoadInitialState() {
  std::memcpy(p_, kBlowfishInitP, sizeof p_);
  for (int i = 0; i < 4; ++i) std::memcpy(s_[i], kBlowfishInitS[i], 256 * sizeof(uint32_t));
}

void BlowfishCipher::Encipher(uint32_t& left, uint32_t& right) const {
  const uint32_t *s0 = s_[0], *s1 = s_[1], *s2 = s_[2], *s3 = s_[3];
  uint32_t l = left, r = right;
  for (int i = 0; i < 16; i += 2) {
    l ^= p_[i];
    r ^= ((s0[l >> 24] + s1[(l >> 16) & 0xFF]) ^ s2[(l >> 8) & 0xFF]) + s3[l & 0xFF];
    r ^= p_[i + 1];
    l ^= ((s0[r >> 24] + s1[(r >> 16) & 0xFF]) ^ s2[(r >> 8) & 0xFF]) + s3[r & 0xFF];
  }
  left = r ^ p_[17];
  right = l ^ p_[16];
}

void BlowfishCipher::ExpandState(const unsigned char* key, int keyLength,
                                 const unsigned char* salt, int saltLength) {
  WordStream k{key, keyLength};
  for (auto& p : p_) p ^= k.Next();
  const bool salted = salt != nullptr && saltLength > 0;
  WordStream s{salt, saltLength};
  uint32_t l = 0, r = 0;
  auto fill = [&](uint32_t* pair) {
    if (salted) {
      l ^= s.Next();
      r ^= s.Next();
    }
    Encipher(l, r);
    pair[0] = l;
    pair[1] = r;
  };
  for (int i = 0; i < 18; i += 2) fill(p_ + i);
  for (auto* box : s_)
    for (int i = 0; i < 256; i += 2) fill(box + i);
}

int BlowfishCipher::SetKey(const unsigned char* key, int keyLength) {
  if (!HasTables()) return kStatusNoMemory;
  if (keyLength <= 0) return kBadKeyLength;
  LoadInitialState();
  ExpandState(key, keyLength, nullptr, 0);
  return kStatusOk;
}

int BlowfishCipher::EncryptBlock(const unsigned char* input, unsigned char* output) const {
  if (!HasTables()) return kStatusNoMemory;
  uint32_t l = LoadBe32(input), r = LoadBe32(input + 4);
  Encipher(l, r);
  StoreBe32(output, l);
  StoreBe32(output + 4, r);
  return kStatusOk;
}

int BlowfishCipher::DecryptBlock(const unsigned char* input, unsigned char* output) const {
  if (!HasTables()) return kStatusNoMemory;
  const uint32_t *s0 = s_[0], *s1 = s_[1], *s2 = s_[2], *s3 = s_[3];
  uint32_t l = LoadBe32(input), r = LoadBe32(input + 4);
  for (int i = 17; i > 1; i -= 2) {
    l ^= p_[i];
    r ^= ((s0[l >> 24] + s1[(l >> 16) & 0xFF]) ^ s2[(l >> 8) & 0xFF]) + s3[l & 0xFF];
    r ^= p_[i - 1];
    l ^= ((s0[r >> 24] + s1[(r >> 16) & 0xFF]) ^ s2[(r >> 8) & 0xFF]) + s3[r & 0xFF];
  }
  StoreBe32(output, r ^ p_[0]);
  StoreBe32(output + 4, l ^ p_[1]);
  return kStatusOk;
}

int BlowfishCipher::CopyFrom(const BlowfishCipher& other) {
  if (!HasTables()) return kStatusNoMemory;
  if (&other == this) return kStatusOk;
  std::memcpy(p_, other.p_, sizeof p_);
  for (int i = 0; i < 4; ++i)
    if (other.s_[i] != nullptr) std::memcpy(s_[i], other.s_[i], 256 * sizeof(uint32_t));
  return kStatusOk;
}

int BlowfishCipher::BcryptHash(const unsigned char* password, int passwordLength,
                               const unsigned char* salt, int saltLength, ByteString& output) {
  if (!HasTables()) return kStatusNoMemory;
  if (passwordLength <= 0 || saltLength <= 0) return kBadKeyLength;
  LoadInitialState();
  ExpandState(password, passwordLength, salt, saltLength);
  for (int i = 0; i < 64; ++i) {
    ExpandState(salt, saltLength, nullptr, 0);
    ExpandState(password, passwordLength, nullptr, 0);
  }
  uint32_t words[8];
  for (int i = 0; i < 8; ++i)
    words[i] = LoadBe32(reinterpret_cast<const unsigned char*>(kBcryptText) + 4 * i);
  for (int round = 0; round < 64; ++round)
    for (int i = 0; i < 8; i += 2) Encipher(words[i], words[i + 1]);
  unsigned char result[32];
  for (int i = 0; i < 8; ++i)
    for (int b = 0; b < 4; ++b) result[4 * i + b] = static_cast<unsigned char>(words[i] >> (8 * b));
  const int status = output.Resize(32, result);
  return status != 0 ? 200 : 0;
}

}  // namespace tornell
