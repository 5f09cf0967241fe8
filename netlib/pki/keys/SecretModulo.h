#pragma once
// value mod modulus (or mod modulus - 1) for private key values: the CRT
// exponents and the reduced q^-1 that key readers derive from what a file
// holds. Runs in time that depends on the lengths only.
#include "core/text/ByteString.h"
#include "core/text/SecretBytes.h"

namespace tornell::pki {

constexpr int kModulusUnusable = 2003;  // zero modulus (or 1 with minusOne)

// Big-endian unsigned values; out gets the result at the modulus's width
// (its bytes without leading zero bytes).
[[nodiscard]] int ReduceSecret(const ByteString& value, const ByteString& modulus, int minusOne, SecretBytes& out);

}  // namespace tornell::pki
