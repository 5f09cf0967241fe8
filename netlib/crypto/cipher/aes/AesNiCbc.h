#pragma once
// CBC encryption on AES-NI for the cipher engine: the chain is serial, so
// the round keys stay in registers across blocks. Callers check
// cpu::Has(cpu::path::kAesNi) first.
#include <cstddef>
#include <cstdint>

namespace tornell::aesnicbc {

// roundKeys: the AES object's encryption schedule (big-endian words).
// register_ is the 16-byte chaining value, left at the last ciphertext block.
void Encrypt(const uint32_t* roundKeys, int rounds, uint8_t* register_, const uint8_t* in, uint8_t* out,
             size_t blocks);

}  // namespace tornell::aesnicbc
