#pragma once
// ChaCha20-Poly1305 AEAD: one-time Poly1305 key from keystream block 0, data from block 1 on.
#include <cstddef>
#include <cstdint>

#include "core/text/ByteString.h"
#include "crypto/cipher/stream/ChaCha20.h"
#include "crypto/cipher/aead/Poly1305.h"

namespace tornell {

struct ChaCha20Poly1305 {
  ChaCha20 stream;
  Poly1305 authenticator;
  ByteString aad;
  uint64_t cipherLength = 0;

  static constexpr int kTagMismatch = 1000;
  static constexpr int kNoTag = -1;  // verifying without a tag buffer

  [[nodiscard]] int Init(const uint8_t* key, int keyLength, const uint8_t* nonce, int nonceLength, int64_t counter,
           int direction);
  [[nodiscard]] int SetAad(const uint8_t* data, int length);
  [[nodiscard]] int Process(uint8_t* plainSide, size_t length, uint8_t* cipherSide, bool encrypt);
  // Encrypting writes min(*tagLength, 16) tag bytes; verifying needs exactly 16.
  [[nodiscard]] int Final(uint8_t* tag, int* tagLength, bool encrypt);
  [[nodiscard]] int CopyFrom(const ChaCha20Poly1305& other);

 private:
  size_t Stitched(const uint8_t* src, uint8_t* dst, size_t length, bool encrypt);
};

}  // namespace tornell
