#pragma once
#include <cstdint>

namespace tornell {

extern const uint32_t kCast128SBoxes[8][256];

}  // namespace tornell
