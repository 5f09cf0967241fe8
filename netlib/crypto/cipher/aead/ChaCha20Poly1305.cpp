#include "crypto/cipher/aead/ChaCha20Poly1305.h"

#include <cstring>

#include "core/base/Status.h"
#include "core/cpu/CpuFeatures.h"
#include "core/secure/ConstantTime.h"
#include "core/secure/SecureWipe.h"
#include "crypto/cipher/stream/ChaCha20Avx2.h"
#include "crypto/cipher/stream/ChaCha20Avx512.h"

namespace tornell {

namespace {

const uint8_t kZeros[64] = {};

int PadTo16(Poly1305& mac, uint64_t length) {
  return length % 16 != 0 ? mac.Update(kZeros, size_t(16 - length % 16)) : kStatusOk;
}

int AppendLength(Poly1305& mac, uint64_t length) {
  uint8_t le[8];
  for (int i = 0; i < 8; ++i) le[i] = uint8_t(length >> (8 * i));
  return mac.Update(le, 8);
}

}  // namespace

int ChaCha20Poly1305::Init(const uint8_t* key, int keyLength, const uint8_t* nonce, int nonceLength,
                           int64_t counter, int /*direction*/) {
  cipherLength = 0;
  TORNELL_TRY(aad.Clear());
  TORNELL_TRY(stream.SetKey(key, keyLength, nonce, nonceLength, counter));
  uint8_t block[64];
  TORNELL_TRY(stream.Encrypt(kZeros, sizeof block, block));
  authenticator.Reset();
  const int st = authenticator.SetKey(block);
  SecureWipeObject(block);
  return st;
}

int ChaCha20Poly1305::SetAad(const uint8_t* data, int length) {
  int st = aad.Append(reinterpret_cast<const char*>(data), length);
  if (st != 0) return st;
  TORNELL_TRY(authenticator.Update(data, size_t(length > 0 ? length : 0)));
  TORNELL_TRY(PadTo16(authenticator, uint64_t(length > 0 ? length : 0)));
  return kStatusOk;
}

// Runs the vector kernel over whole chunks of Chunk bytes with the Poly1305
// steps stitched into its rounds (one block every Every quarter-round steps,
// Chunk / 16 blocks in all), so the scalar multiplies overlap the vector work.
// Encrypting authenticates each chunk's ciphertext while the next chunk's
// keystream is computed. Returns the bytes done.
template <size_t Chunk, class Kernel>
size_t StitchedChunks(ChaCha20& stream, Poly1305& mac, const uint8_t* src, uint8_t* dst, size_t length,
                      bool encrypt, Kernel kernel) {
  constexpr int kBlocks = int(Chunk / 16);
  constexpr int kEvery = 64 / kBlocks;  // 1 for 1024-byte chunks, 2 for 512
  const size_t chunks = length / Chunk;
  if (chunks == 0) return 0;
  Poly1305Limbs p = mac.Limbs();
  for (size_t i = 0; i < chunks; ++i) {
    const uint8_t* data = encrypt ? (i > 0 ? dst + (i - 1) * Chunk : nullptr) : src + i * Chunk;
    kernel(stream.input, src + i * Chunk, dst + i * Chunk, Chunk / 64, [&](int step) {
      if (data == nullptr || step >= 64 || step % kEvery != 0) return;
      Poly1305Step(p, data + (step / kEvery) * 16, 1);
    });
  }
  if (encrypt)
    for (size_t k = 0; k < Chunk / 16; ++k) Poly1305Step(p, dst + (chunks - 1) * Chunk + k * 16, 1);
  mac.SetLimbs(p);
  return chunks * Chunk;
}

size_t ChaCha20Poly1305::Stitched(const uint8_t* src, uint8_t* dst, size_t length, bool encrypt) {
  // With IFMA, Poly1305 runs in vectors of its own and gains nothing from stitching.
  if (cpu::Has(cpu::path::kPoly1305Ifma)) return 0;
  size_t done = 0;
  if (cpu::Has(cpu::path::kChaCha20Avx512))
    done = StitchedChunks<1024>(stream, authenticator, src, dst, length, encrypt,
                                [](uint32_t* in, const uint8_t* s, uint8_t* d, size_t blocks, auto&& between) {
                                  chacha20avx512::SixteenBlocks(in, s, d, blocks, between);
                                });
  if (cpu::Has(cpu::path::kChaCha20Avx2))
    done += StitchedChunks<512>(stream, authenticator, src + done, dst + done, length - done, encrypt,
                                [](uint32_t* in, const uint8_t* s, uint8_t* d, size_t blocks, auto&& between) {
                                  chacha20avx2::EightBlocks(in, s, d, blocks, between);
                                });
  return done;
}

int ChaCha20Poly1305::Process(uint8_t* plainSide, size_t length, uint8_t* cipherSide, bool encrypt) {
  cipherLength += length;
  const uint8_t* src = encrypt ? plainSide : cipherSide;
  uint8_t* dst = encrypt ? cipherSide : plainSide;
  size_t done = 0;
  if (length >= 512 && stream.position == 0 && authenticator.buffered == 0) done = Stitched(src, dst, length, encrypt);
  src += done;
  dst += done;
  length -= done;
  if (encrypt) {
    TORNELL_TRY(stream.Encrypt(src, length, dst));
    return authenticator.Update(dst, length);
  }
  // Authenticate the ciphertext before an in-place decrypt overwrites it.
  TORNELL_TRY(authenticator.Update(src, length));
  return stream.Decrypt(src, length, dst);
}

int ChaCha20Poly1305::Final(uint8_t* tag, int* tagLength, bool encrypt) {
  TORNELL_TRY(PadTo16(authenticator, cipherLength));
  TORNELL_TRY(AppendLength(authenticator, uint64_t(aad.Length())));
  TORNELL_TRY(AppendLength(authenticator, cipherLength));
  const uint8_t* computed = authenticator.Finish();
  if (encrypt) {
    int n = *tagLength < 0 ? 0 : (*tagLength > 16 ? 16 : *tagLength);
    std::memcpy(tag, computed, size_t(n));
    *tagLength = n;
    return kStatusOk;
  }
  if (tag == nullptr) return kNoTag;
  if (*tagLength != 16) return kTagMismatch;
  return ct::BytesEqual(tag, computed, 16) ? 0 : kTagMismatch;
}

int ChaCha20Poly1305::CopyFrom(const ChaCha20Poly1305& other) {
  TORNELL_TRY(stream.CopyFrom(other.stream));
  authenticator = other.authenticator;
  cipherLength = other.cipherLength;
  return aad.Assign(other.aad);
}

}  // namespace tornell
