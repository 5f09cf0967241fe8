#pragma once
// AES-GCM on AES-NI and PCLMULQDQ. Values handed to GHASH are kept in GCM's
// byte order; the H powers are byte-reversed (the layout the carry-less
// multiply works on). Callers check aeadfast::UseAesNi/UseClmul first.
#include <cstddef>
#include <cstdint>

namespace tornell::gcmclmul {

void EncryptBlock(const uint8_t* roundKeys, int rounds, const uint8_t* in, uint8_t* out);
// hPowers receives H^1 .. H^8, 16 bytes each.
void Powers(const uint8_t* h, uint8_t* hPowers);
// x = x * H.
void MultiplyH(uint8_t* x, const uint8_t* hPowers);
// Counter mode over blocks whole blocks starting with the counter block given
// (advanced by blocks, inc32), absorbing the ciphertext side into x.
void CtrBlocks(const uint8_t* roundKeys, int rounds, uint8_t* counter, uint8_t* x,
               const uint8_t* hPowers, const uint8_t* in, uint8_t* out, size_t blocks, bool encrypt);

}  // namespace tornell::gcmclmul
