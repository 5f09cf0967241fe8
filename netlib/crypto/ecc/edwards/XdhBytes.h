#pragma once
// Byte-level checks X25519 and X448 share: the caller's buffers, the fixed
// base point and the all-zero result.
#include <cstdint>

#include "core/secure/ConstantTime.h"

namespace tornell::xdh {

inline bool ValidLengths(const unsigned char* scalar, int scalarLength, const unsigned char* u, int uLength,
                         const unsigned char* out, int outLength, int width) {
  return scalar != nullptr && u != nullptr && out != nullptr && scalarLength == width && uLength == width &&
         outLength == width;
}

// u is the little-endian encoding of the small value `base`; u is public.
inline bool IsBasePoint(const unsigned char* u, int width, unsigned char base) {
  if (u[0] != base) return false;
  for (int i = 1; i < width; ++i)
    if (u[i] != 0) return false;
  return true;
}

// All ones when every byte is zero; reads every byte whatever it finds: the
// bytes are a shared secret.
inline uint32_t AllZeroMask(const unsigned char* bytes, int length) {
  uint32_t acc = 0;
  for (int i = 0; i < length; ++i) acc |= bytes[i];
  return ct::IsZero(acc);
}

}  // namespace tornell::xdh
