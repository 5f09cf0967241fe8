#pragma once
// The check of a decrypted RSA pre-master block, in constant time: the
// padding, the length and the client's version all decide one mask, and the
// mask picks the secret or the stand-in bytes (RFC 5246, 7.4.7.1).
#include <cstddef>
#include <cstdint>

namespace tornell::tls {

constexpr int kPremasterLength = 48;

// em is the k-byte block; out gets 48 bytes: the block's message when em is
// 00 02, at least 8 non-zero bytes, 00, then 48 bytes starting with the
// version, else the fallback. k below 59 always gives the fallback.
void SelectPremaster(const uint8_t* em, size_t k, int version, const uint8_t* fallback, uint8_t* out);

}  // namespace tornell::tls
