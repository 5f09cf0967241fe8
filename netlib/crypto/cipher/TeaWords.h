#pragma once
// Big-endian word access shared by the TEA family.
#include <cstdint>

namespace tornell::teawords {

constexpr uint32_t kDelta = 0x9E3779B9u;

inline uint32_t Load(const unsigned char* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

inline void Store(unsigned char* p, uint32_t v) {
  p[0] = static_cast<unsigned char>(v >> 24);
  p[1] = static_cast<unsigned char>(v >> 16);
  p[2] = static_cast<unsigned char>(v >> 8);
  p[3] = static_cast<unsigned char>(v);
}

inline void LoadKey(const unsigned char* key, uint32_t* k) {
  for (int i = 0; i < 4; ++i) k[i] = Load(key + 4 * i);
}

}  // namespace tornell::teawords
