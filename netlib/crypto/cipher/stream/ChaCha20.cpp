#include "crypto/cipher/stream/ChaCha20.h"

#include <cstring>

#include "core/base/Status.h"
#include "core/cpu/CpuFeatures.h"
#include "core/secure/SecureWipe.h"
#include "crypto/cipher/stream/ChaCha20Avx2.h"
#include "crypto/cipher/stream/ChaCha20Avx512.h"

namespace tornell {

namespace {

inline uint32_t Rotl(uint32_t v, int n) { return (v << n) | (v >> (32 - n)); }

inline uint32_t Load32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

inline void Store32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
  p[2] = uint8_t(v >> 16);
  p[3] = uint8_t(v >> 24);
}

inline void QuarterRound(uint32_t* x, int a, int b, int c, int d) {
  x[a] += x[b]; x[d] = Rotl(x[d] ^ x[a], 16);
  x[c] += x[d]; x[b] = Rotl(x[b] ^ x[c], 12);
  x[a] += x[b]; x[d] = Rotl(x[d] ^ x[a], 8);
  x[c] += x[d]; x[b] = Rotl(x[b] ^ x[c], 7);
}

void BlockFunction(const uint32_t* in, uint32_t* work, uint8_t* out) {
  std::memcpy(work, in, 64);
  for (int i = 0; i < 10; ++i) {
    QuarterRound(work, 0, 4, 8, 12);
    QuarterRound(work, 1, 5, 9, 13);
    QuarterRound(work, 2, 6, 10, 14);
    QuarterRound(work, 3, 7, 11, 15);
    QuarterRound(work, 0, 5, 10, 15);
    QuarterRound(work, 1, 6, 11, 12);
    QuarterRound(work, 2, 7, 8, 13);
    QuarterRound(work, 3, 4, 9, 14);
  }
  for (int i = 0; i < 16; ++i) Store32(out + 4 * i, work[i] + in[i]);
}


}  // namespace

void ChaCha20::Reset() {
  SecureWipeObject(input);
  SecureWipeObject(working);
  SecureWipeObject(keystream);
  position = 0;
}

ChaCha20::~ChaCha20() { Reset(); }

int ChaCha20::SetKey(const uint8_t* key, int keyLength, const uint8_t* nonce, int nonceLength,
                     int64_t counter) {
  Reset();
  if (keyLength != 32) return kBadKey;
  if (nonceLength != 12 && nonceLength != 8) return kBadNonce;
  input[0] = 0x61707865;
  input[1] = 0x3320646E;
  input[2] = 0x79622D32;
  input[3] = 0x6B206574;
  for (int i = 0; i < 8; ++i) input[4 + i] = Load32(key + 4 * i);
  if (nonceLength == 12) {
    input[12] = uint32_t(uint64_t(counter));
    for (int i = 0; i < 3; ++i) input[13 + i] = Load32(nonce + 4 * i);
  } else {
    // 64-bit counter over words 12 and 13, as the original 8-byte-nonce layout.
    input[12] = uint32_t(uint64_t(counter));
    input[13] = uint32_t(uint64_t(counter) >> 32);
    for (int i = 0; i < 2; ++i) input[14 + i] = Load32(nonce + 4 * i);
  }
  return kStatusOk;
}

void ChaCha20::NextBlock() {
  BlockFunction(input, working, keystream);
  input[12] += 1;
}

int ChaCha20::Encrypt(const uint8_t* in, size_t length, uint8_t* out) {
  // Finish the keystream block a previous call started.
  while (length > 0 && position != 0) {
    *out++ = *in++ ^ keystream[position];
    position = (position + 1) & 63;
    --length;
  }
  size_t blocks = length / 64;
  if (blocks >= 16 && cpu::Has(cpu::path::kChaCha20Avx512)) {
    size_t wide = blocks & ~size_t(15);
    chacha20avx512::SixteenBlocks(input, in, out, wide, [](int) {});
    in += wide * 64;
    out += wide * 64;
    length -= wide * 64;
    blocks -= wide;
  }
  if (blocks >= 8 && cpu::Has(cpu::path::kChaCha20Avx2)) {
    size_t wide = blocks & ~size_t(7);
    chacha20avx2::EightBlocks(input, in, out, wide, [](int) {});
    in += wide * 64;
    out += wide * 64;
    length -= wide * 64;
  }
  while (length >= 64) {
    NextBlock();
    for (int i = 0; i < 64; ++i) out[i] = in[i] ^ keystream[i];
    in += 64;
    out += 64;
    length -= 64;
  }
  if (length > 0) {
    NextBlock();
    for (size_t i = 0; i < length; ++i) out[i] = in[i] ^ keystream[i];
    position = int32_t(length);
  }
  return kStatusOk;
}

int ChaCha20::CopyFrom(const ChaCha20& other) {
  std::memcpy(input, other.input, sizeof input);
  std::memcpy(working, other.working, sizeof working);
  std::memcpy(keystream, other.keystream, sizeof keystream);
  position = other.position;
  initialCounter = other.initialCounter;
  return kStatusOk;
}

}  // namespace tornell
