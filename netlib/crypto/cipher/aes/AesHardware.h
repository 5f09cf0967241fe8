#pragma once
// AES through the processor's AES instructions; callers check
// cpu::Has(cpu::path::kAesNi) first. Round
// keys are the library's big-endian word schedules; they are byte-swapped
// as they are loaded.
#include <cstdint>

namespace tornell::aeshw {

uint32_t SubWord(uint32_t word);
void EncryptBlocks(const uint32_t* rk, int rounds, const unsigned char* in, unsigned char* out,
                   int blocks);
void DecryptBlocks(const uint32_t* rk, int rounds, const unsigned char* in, unsigned char* out,
                   int blocks);

// Same operations on a schedule already in block byte order (16 bytes per
// round key, as SwapSchedule writes it), which saves the swap per call.
void SwapSchedule(const uint32_t* rk, int rounds, unsigned char* out);
// The encryption schedule of a 128-, 192- or 256-bit key made with
// AESKEYGENASSIST, straight into block byte order; the rounds, or 0 for any
// other key size (nothing written).
int ExpandEncryptKeySwapped(const unsigned char* key, int keyBits, unsigned char* out);
void EncryptBlocksSwapped(const unsigned char* rk, int rounds, const unsigned char* in,
                          unsigned char* out, int blocks);
void DecryptBlocksSwapped(const unsigned char* rk, int rounds, const unsigned char* in,
                          unsigned char* out, int blocks);
// CBC decryption on the decryption schedule, eight blocks at a time; the
// 16-byte chain is left at the last ciphertext block. in may equal out.
void DecryptCbcSwapped(const unsigned char* rk, int rounds, unsigned char* chain, const unsigned char* in,
                       unsigned char* out, int blocks);
// The same sixteen blocks at a time on 256-bit VAES, the rest as above
// (cpu::path::kAesVaes256 first).
void DecryptCbcVaes256(const unsigned char* rk, int rounds, unsigned char* chain, const unsigned char* in,
                       unsigned char* out, int blocks);

}  // namespace tornell::aeshw
