#pragma once
// Poly1305 one-time authenticator on 64-bit limbs: h = h0 + h1*2^64 + h2*2^128.
#include <cstddef>
#include <cstdint>

namespace tornell {

struct Poly1305 {
  uint32_t buffered = 0;
  uint8_t partial[16] = {};
  uint8_t tag[16] = {};
  uint64_t s[2] = {};
  uint64_t r[2] = {};
  uint64_t h[3] = {};

  void Reset();
  int SetKey(const uint8_t* key);
  int Update(const uint8_t* data, size_t length);
  // Completes the tag, resets the object and returns the 16 tag bytes (kept until the next Finish).
  const uint8_t* Finish();

 private:
  void Blocks(const uint8_t* data, size_t blocks, uint64_t padBit);
};

}  // namespace tornell
