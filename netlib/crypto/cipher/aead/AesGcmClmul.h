#pragma once
// AES-GCM on AES-NI and PCLMULQDQ. Values handed to GHASH are kept in GCM's
// byte order; the H powers are byte-reversed (the layout the carry-less
// multiply works on). Callers check cpu::Has(cpu::path::kAesGcmClmul) first.
#include <cstddef>
#include <cstdint>

namespace tornell::gcmclmul {

void EncryptBlock(const uint8_t* roundKeys, int rounds, const uint8_t* in, uint8_t* out);
// hPowers holds H^1 .. H^have, 16 bytes each; this adds H^(have+1) .. H^want
// (H^1 from h when have is 0). A key's short records need only H^1: the
// higher powers are made when the first long stretch of data comes.
void Powers(const uint8_t* h, uint8_t* hPowers, int have, int want);
// x = x * H.
void MultiplyH(uint8_t* x, const uint8_t* hPowers);
// Counter mode over blocks whole blocks starting with the counter block given
// (advanced by blocks, inc32), absorbing the ciphertext side into x.
void CtrBlocks(const uint8_t* roundKeys, int rounds, uint8_t* counter, uint8_t* x,
               const uint8_t* hPowers, const uint8_t* in, uint8_t* out, size_t blocks, bool encrypt);

// The same over a multiple of sixteen blocks with VAES and VPCLMULQDQ, four
// blocks to a 512-bit vector (cpu::path::kAesGcmVaes512 first). hWide holds
// H^16, H^15, ... H^1: the lane order of the sixteen-block loop.
void CtrBlocksWide(const uint8_t* roundKeys, int rounds, uint8_t* counter, uint8_t* x, const uint8_t* hWide,
                   const uint8_t* in, uint8_t* out, size_t blocks, bool encrypt);

// The same on 256-bit vectors, two blocks to a register, for processors
// with VAES and VPCLMULQDQ but no AVX-512 (cpu::path::kAesGcmVaes256 first).
// GHASH of one sixteen-block chunk runs between the AES rounds of the next.
void CtrBlocksVaes256(const uint8_t* roundKeys, int rounds, uint8_t* counter, uint8_t* x, const uint8_t* hWide,
                      const uint8_t* in, uint8_t* out, size_t blocks, bool encrypt);

}  // namespace tornell::gcmclmul
