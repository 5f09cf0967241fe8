#pragma once
// Big-endian word access shared by the TEA family.
#include "crypto/cipher/block/BlockBytes.h"

#include <cstdint>

namespace tornell::teawords {

constexpr uint32_t kDelta = 0x9E3779B9u;

inline uint32_t Load(const unsigned char* p) { return blockbytes::LoadBe32(p); }
inline void Store(unsigned char* p, uint32_t v) { blockbytes::StoreBe32(p, v); }

inline void LoadKey(const unsigned char* key, uint32_t* k) {
  for (int i = 0; i < 4; ++i) k[i] = Load(key + 4 * i);
}

}  // namespace tornell::teawords
