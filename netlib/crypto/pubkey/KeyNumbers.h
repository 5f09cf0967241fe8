#pragma once
// Conversions the RSA and DSA code shares between key fields (unsigned
// big-endian strings) and the arithmetic's numbers and limb arrays.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/text/ByteString.h"
#include "crypto/bigint/BigInteger.h"

namespace tornell::keynum {

inline BigInteger FromField(const ByteString& f) { return BigInteger(f.Bytes(), f.Length(), 1); }

inline BigInteger FromData(const char* data, int length) {
  return BigInteger(reinterpret_cast<const uint8_t*>(data), length, 1);
}

// The value's magnitude in exactly k limbs (it must fit).
inline std::vector<limb::Limb> Limbs(const BigInteger& v, size_t k) {
  std::vector<limb::Limb> out(k, 0);
  const auto& mag = v.Magnitude();
  std::copy(mag.begin(), mag.begin() + std::ptrdiff_t(std::min(mag.size(), k)), out.begin());
  return out;
}

// Big-endian bytes into n limbs at a fixed width: leading zeros are not
// skipped, so the time follows the length alone. Bytes beyond n limbs are
// dropped (callers size n to fit).
inline void LoadFixed(const uint8_t* bytes, size_t length, limb::Limb* out, size_t n) {
  for (size_t i = 0; i < n; ++i) out[i] = 0;
  for (size_t i = 0; i < length; ++i) {
    const size_t bit = (length - 1 - i) * 8;
    if (bit / 64 < n) out[bit / 64] |= limb::Limb(bytes[i]) << (bit % 64);
  }
}

// n limbs into exactly `width` big-endian bytes, whatever their value.
inline void StoreFixed(const limb::Limb* in, size_t n, uint8_t* bytes, size_t width) {
  for (size_t i = 0; i < width; ++i) {
    const size_t bit = i * 8;
    bytes[width - 1 - i] = bit / 64 < n ? uint8_t(in[bit / 64] >> (bit % 64)) : 0;
  }
}

// Whether m can carry a Montgomery context (odd and at least 3).
inline bool CanMontgomery(const BigInteger& m) { return m.Signum() > 0 && m.TestBit(0) && m.BitLength() > 1; }

// Removes every leading zero byte.
inline int StripZeros(ByteString& v) {
  int i = 0;
  while (i < v.Length() && v.Bytes()[i] == 0) ++i;
  return v.EraseFront(i);
}

}  // namespace tornell::keynum
