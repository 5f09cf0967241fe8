#pragma once
// Authentication tags are compared without an early exit, so the time taken
// does not reveal how many leading bytes of a forged tag were right.
#include <cstddef>
#include <cstdint>

namespace tornell {

inline bool TagsEqual(const uint8_t* a, const uint8_t* b, size_t length) {
  uint8_t diff = 0;
  for (size_t i = 0; i < length; ++i) diff |= uint8_t(a[i] ^ b[i]);
  return diff == 0;
}

}  // namespace tornell
