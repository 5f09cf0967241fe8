#pragma once
// Poly1305 one-time authenticator on 64-bit limbs: h = h0 + h1*2^64 + h2*2^128.
#include <cstddef>
#include <cstdint>

namespace tornell {

// The accumulator and key in registers while blocks are absorbed.
struct Poly1305Limbs {
  uint64_t h0, h1, h2, r0, r1, s1;
};

// h = (h + m + pad * 2^128) * r, partially reduced modulo 2^130 - 5.
inline void Poly1305Step(Poly1305Limbs& p, const uint8_t* m, uint64_t pad) {
  using u128 = unsigned __int128;
  uint64_t m0, m1;
  __builtin_memcpy(&m0, m, 8);  // little-endian host
  __builtin_memcpy(&m1, m + 8, 8);
  u128 t = u128(p.h0) + m0;
  uint64_t h0 = uint64_t(t);
  t = u128(p.h1) + m1 + uint64_t(t >> 64);
  uint64_t h1 = uint64_t(t);
  uint64_t h2 = p.h2 + uint64_t(t >> 64) + pad;

  // r1 is a multiple of 4, so r1 * 2^128 = (r1 / 4) * 2^130 = 5 * r1 / 4 modulo the prime (s1).
  u128 d0 = u128(h0) * p.r0 + u128(h1) * p.s1;
  u128 d1 = u128(h0) * p.r1 + u128(h1) * p.r0 + u128(h2) * p.s1;
  h2 = h2 * p.r0;
  h0 = uint64_t(d0);
  d1 += uint64_t(d0 >> 64);
  h1 = uint64_t(d1);
  h2 += uint64_t(d1 >> 64);

  // Fold the bits above 2^130 back in (times 5).
  uint64_t c = (h2 >> 2) + (h2 & ~uint64_t(3));
  h2 &= 3;
  h0 += c;
  c = uint64_t(h0 < c);
  h1 += c;
  c = uint64_t(h1 < c);
  p.h0 = h0;
  p.h1 = h1;
  p.h2 = h2 + c;
}

struct Poly1305 {
  uint32_t buffered = 0;
  uint8_t partial[16] = {};
  uint8_t tag[16] = {};
  uint64_t s[2] = {};
  uint64_t r[2] = {};
  uint64_t h[3] = {};

  Poly1305() = default;
  ~Poly1305() { Reset(); }
  Poly1305(const Poly1305&) = default;
  Poly1305& operator=(const Poly1305&) = default;
  // Wipes the key and the running state.
  void Reset();
  [[nodiscard]] int SetKey(const uint8_t* key);
  [[nodiscard]] int Update(const uint8_t* data, size_t length);
  // Completes the tag, resets the object and returns the 16 tag bytes (kept until the next Finish).
  const uint8_t* Finish();

  // Whole blocks with nothing buffered; the state moves through Limbs/SetLimbs.
  void Blocks(const uint8_t* data, size_t blocks, uint64_t padBit);
  Poly1305Limbs Limbs() const { return {h[0], h[1], h[2], r[0], r[1], r[1] + (r[1] >> 2)}; }
  void SetLimbs(const Poly1305Limbs& p) {
    h[0] = p.h0;
    h[1] = p.h1;
    h[2] = p.h2;
  }
};

}  // namespace tornell
