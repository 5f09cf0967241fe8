#pragma once
// Conversions the RSA and DSA code shares between key fields (unsigned
// big-endian strings) and the arithmetic's numbers and limb arrays.
#include <algorithm>
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

// Whether m can carry a Montgomery context (odd and at least 3).
inline bool CanMontgomery(const BigInteger& m) { return m.Signum() > 0 && m.TestBit(0) && m.BitLength() > 1; }

// Removes every leading zero byte.
inline int StripZeros(ByteString& v) {
  int i = 0;
  while (i < v.Length() && v.Bytes()[i] == 0) ++i;
  return v.EraseFront(i);
}

}  // namespace tornell::keynum
