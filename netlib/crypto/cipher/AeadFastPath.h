#pragma once
// Run-time choice between the processor-instruction paths of the AEAD code
// (AVX2 ChaCha20, PCLMULQDQ GHASH, AES-NI counter mode) and the portable code.

namespace tornell::aeadfast {

bool UseAvx2();
bool UseAvx512();
bool UseClmul();
bool UseAesNi();

// Lets tests run the portable code on a machine that has the instructions.
// Objects pick their path when keyed, so set this before keying.
void SetAllowed(bool allowed);

}  // namespace tornell::aeadfast
