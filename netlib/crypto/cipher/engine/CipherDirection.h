#pragma once
// The one rule by which the direction-dependent algorithm objects pick a
// schedule: OFB and CFB run the block cipher forward in both directions.

namespace tornell::cipherdirection {

constexpr int kModeOfb = 3;
constexpr int kModeCfb = 4;

inline bool WantsDecryptSchedule(int encrypt, int mode) {
  return encrypt == 0 && mode != kModeOfb && mode != kModeCfb;
}

}  // namespace tornell::cipherdirection
