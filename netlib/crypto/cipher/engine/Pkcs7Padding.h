#pragma once
// PKCS#7 padding checked on decrypted data in constant time: a padding
// oracle must learn nothing but whether the padding was sound.
#include <cstdint>

namespace tornell::pkcs7 {

// All ones when the last byte n of data[0, length) satisfies 1 <= n <=
// blockLength and n <= length and the last n bytes all equal n; *count is
// then n, otherwise 0. Reads a fixed window of min(length, blockLength)
// bytes whatever the pad value; length must be at least 1.
uint32_t CheckPadding(const uint8_t* data, int length, int blockLength, int* count);

}  // namespace tornell::pkcs7
