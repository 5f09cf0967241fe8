#pragma once
// value mod modulus (or mod modulus - 1) for private key values: the CRT
// exponents and the reduced q^-1 that key readers derive from what a file
// holds. Runs in time that depends on the lengths only.
#include "core/text/ByteString.h"
#include "core/text/SecretBytes.h"

namespace tornell::pki {

constexpr int kModulusUnusable = 2003;  // an empty modulus

// Big-endian unsigned values; out gets the result at the modulus's width. A
// modulus of zero (or 1 with minusOne) is not refused, since telling it apart
// would branch on the key: the result is then meaningless, as is such a key.
[[nodiscard]] int ReduceSecret(const ByteString& value, const ByteString& modulus, int minusOne, SecretBytes& out);

}  // namespace tornell::pki
