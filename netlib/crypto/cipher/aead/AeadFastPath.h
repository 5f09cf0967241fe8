#pragma once
// Run-time choice between the processor-instruction paths of the AEAD code
// and the portable code. Level 2 allows the 512-bit paths (AVX-512 ChaCha20,
// IFMA Poly1305, VAES/VPCLMULQDQ GCM), level 1 the AVX2, AES-NI and PCLMULQDQ paths, level 0
// only portable code; each path still needs the processor to have it.
namespace tornell::aeadfast {

constexpr int kPortable = 0;
constexpr int kVector = 1;
constexpr int kWide = 2;

bool UseAvx2();
bool UseAvx512();
bool UseClmul();
bool UseAesNi();
bool UseVaesClmul();
bool UseIfma();

// Lets tests run every path on a machine that has the widest one. Objects
// pick their path when keyed, so set this before keying.
void SetLevel(int level);

}  // namespace tornell::aeadfast
