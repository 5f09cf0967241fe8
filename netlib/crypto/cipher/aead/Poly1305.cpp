#include "crypto/cipher/aead/Poly1305.h"

#include <cstring>

#include "core/base/Status.h"
#include "core/cpu/CpuFeatures.h"
#include "core/secure/ConstantTime.h"
#include "core/secure/SecureWipe.h"
#include "crypto/cipher/aead/Poly1305Ifma.h"

namespace tornell {

namespace {

using u128 = unsigned __int128;

inline uint64_t Load64(const uint8_t* p) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

inline void Store64(uint8_t* p, uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = uint8_t(v >> (8 * i));
}

}  // namespace

void Poly1305::Reset() {
  buffered = 0;
  SecureWipeObject(partial);
  SecureWipeObject(s);
  SecureWipeObject(r);
  SecureWipeObject(h);
}

int Poly1305::SetKey(const uint8_t* key) {
  r[0] = Load64(key) & 0x0FFFFFFC0FFFFFFFull;
  r[1] = Load64(key + 8) & 0x0FFFFFFC0FFFFFFCull;
  s[0] = Load64(key + 16);
  s[1] = Load64(key + 24);
  return kStatusOk;
}

void Poly1305::Blocks(const uint8_t* data, size_t blocks, uint64_t padBit) {
  if (blocks >= 16 && padBit == 1 && cpu::Has(cpu::path::kPoly1305Ifma)) {
    size_t wide = blocks & ~size_t(7);
    poly1305ifma::Blocks(h, r, data, wide);
    data += wide * 16;
    blocks -= wide;
  }
  Poly1305Limbs p = Limbs();
  for (; blocks > 0; --blocks, data += 16) Poly1305Step(p, data, padBit);
  SetLimbs(p);
}

int Poly1305::Update(const uint8_t* data, size_t length) {
  if (length == 0) return kStatusOk;
  if (buffered > 0) {
    size_t take = 16 - buffered;
    if (take > length) take = length;
    std::memcpy(partial + buffered, data, take);
    buffered += uint32_t(take);
    data += take;
    length -= take;
    if (buffered < 16) return kStatusOk;
    Blocks(partial, 1, 1);
    buffered = 0;
  }
  size_t blocks = length / 16;
  if (blocks > 0) Blocks(data, blocks, 1);
  data += blocks * 16;
  length -= blocks * 16;
  if (length > 0) {
    std::memcpy(partial, data, length);
    buffered = uint32_t(length);
  }
  return kStatusOk;
}

const uint8_t* Poly1305::Finish() {
  if (buffered > 0) {
    partial[buffered] = 1;
    std::memset(partial + buffered + 1, 0, 15 - buffered);
    Blocks(partial, 1, 0);
  }
  // h mod (2^130 - 5): take h + 5 - 2^130 when it does not go negative, chosen by mask.
  uint64_t h0 = h[0], h1 = h[1], h2 = h[2];
  u128 t = u128(h0) + 5;
  uint64_t g0 = uint64_t(t);
  t = u128(h1) + (t >> 64);
  uint64_t g1 = uint64_t(t);
  uint64_t g2 = h2 + uint64_t(t >> 64);
  const uint64_t mask = ct::IsNonZero<uint64_t>(g2 >> 2);  // all ones when h + 5 >= 2^130
  h0 = ct::Select(mask, g0, h0);
  h1 = ct::Select(mask, g1, h1);

  t = u128(h0) + s[0];
  h0 = uint64_t(t);
  h1 = h1 + s[1] + uint64_t(t >> 64);
  Store64(tag, h0);
  Store64(tag + 8, h1);
  Reset();
  return tag;
}

}  // namespace tornell
