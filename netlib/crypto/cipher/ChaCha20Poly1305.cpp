#include "crypto/cipher/ChaCha20Poly1305.h"

#include <cstring>

#include "crypto/cipher/AeadFastPath.h"
#include "crypto/cipher/ChaCha20Avx2.h"
#include "crypto/cipher/TagCompare.h"

namespace tornell {

namespace {

const uint8_t kZeros[64] = {};

void PadTo16(Poly1305& mac, uint64_t length) {
  if (length % 16 != 0) mac.Update(kZeros, size_t(16 - length % 16));
}

void AppendLength(Poly1305& mac, uint64_t length) {
  uint8_t le[8];
  for (int i = 0; i < 8; ++i) le[i] = uint8_t(length >> (8 * i));
  mac.Update(le, 8);
}

}  // namespace

int ChaCha20Poly1305::Init(const uint8_t* key, int keyLength, const uint8_t* nonce, int nonceLength,
                           int64_t counter, int /*direction*/) {
  cipherLength = 0;
  aad.Clear();
  int st = stream.SetKey(key, keyLength, nonce, nonceLength, counter);
  if (st != 0) return st;
  uint8_t block[64];
  stream.Encrypt(kZeros, sizeof block, block);
  authenticator.Reset();
  authenticator.SetKey(block);
  std::memset(block, 0, sizeof block);
  return 0;
}

int ChaCha20Poly1305::SetAad(const uint8_t* data, int length) {
  int st = aad.Append(reinterpret_cast<const char*>(data), length);
  if (st != 0) return st;
  authenticator.Update(data, size_t(length > 0 ? length : 0));
  PadTo16(authenticator, uint64_t(length > 0 ? length : 0));
  return 0;
}

// Whole 512-byte chunks with the Poly1305 steps stitched into the vector
// rounds; returns the bytes done. Encrypting authenticates each chunk's
// ciphertext while the next chunk's keystream is computed.
size_t ChaCha20Poly1305::Stitched(const uint8_t* src, uint8_t* dst, size_t length, bool encrypt) {
  const size_t chunks = length / 512;
  Poly1305Limbs p = authenticator.Limbs();
  for (size_t i = 0; i < chunks; ++i) {
    const uint8_t* mac = encrypt ? (i > 0 ? dst + (i - 1) * 512 : nullptr) : src + i * 512;
    chacha20avx2::EightBlocks(stream.input, src + i * 512, dst + i * 512, 8, [&](int round) {
      if (mac == nullptr || round >= 8) return;
      for (int k = 0; k < 4; ++k) Poly1305Step(p, mac + round * 64 + k * 16, 1);
    });
  }
  if (encrypt)
    for (int k = 0; k < 32; ++k) Poly1305Step(p, dst + (chunks - 1) * 512 + k * 16, 1);
  authenticator.SetLimbs(p);
  return chunks * 512;
}

int ChaCha20Poly1305::Process(uint8_t* plainSide, size_t length, uint8_t* cipherSide, bool encrypt) {
  cipherLength += length;
  const uint8_t* src = encrypt ? plainSide : cipherSide;
  uint8_t* dst = encrypt ? cipherSide : plainSide;
  size_t done = 0;
  if (length >= 512 && stream.position == 0 && authenticator.buffered == 0 && aeadfast::UseAvx2())
    done = Stitched(src, dst, length, encrypt);
  src += done;
  dst += done;
  length -= done;
  if (encrypt) {
    stream.Encrypt(src, length, dst);
    authenticator.Update(dst, length);
  } else {
    // Authenticate the ciphertext before an in-place decrypt overwrites it.
    authenticator.Update(src, length);
    stream.Decrypt(src, length, dst);
  }
  return 0;
}

int ChaCha20Poly1305::Final(uint8_t* tag, int* tagLength, bool encrypt) {
  PadTo16(authenticator, cipherLength);
  AppendLength(authenticator, uint64_t(aad.Length()));
  AppendLength(authenticator, cipherLength);
  const uint8_t* computed = authenticator.Finish();
  if (encrypt) {
    int n = *tagLength < 0 ? 0 : (*tagLength > 16 ? 16 : *tagLength);
    std::memcpy(tag, computed, size_t(n));
    *tagLength = n;
    return 0;
  }
  if (tag == nullptr) return -1;
  if (*tagLength != 16) return kTagMismatch;
  return TagsEqual(tag, computed, 16) ? 0 : kTagMismatch;
}

int ChaCha20Poly1305::CopyFrom(const ChaCha20Poly1305& other) {
  stream.CopyFrom(other.stream);
  authenticator = other.authenticator;
  cipherLength = other.cipherLength;
  return aad.Assign(other.aad);
}

}  // namespace tornell
