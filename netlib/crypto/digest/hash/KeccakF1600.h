#pragma once
// The Keccak-f[1600] permutation (24 rounds) over 25 lanes, lane i being
// A[i mod 5, i div 5].
#include <cstdint>

namespace tornell {

void KeccakF1600(uint64_t lanes[25]);

}  // namespace tornell
