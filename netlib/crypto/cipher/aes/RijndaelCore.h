#pragma once
// Portable Rijndael rounds shared by AES and the wide-block variant. The
// S-box is computed (inversion in GF(2^8) on bit planes) rather than looked
// up, so no memory access depends on key or data.
#include <cstdint>

namespace tornell::rijndaelcore {

// Key expansion for nk key words, nb block columns and the given rounds.
// With decrypt set the round keys are reversed and rounds 1..rounds-1 pass
// through InvMixColumns (equivalent inverse cipher).
void ExpandKey(uint32_t* w, const unsigned char* key, int nk, int nb, int rounds, int decrypt);

// One block of nb columns; offsets are the four row shifts to apply.
void EncryptBlock(const uint32_t* w, int nb, int rounds, const int* offsets,
                  const unsigned char* in, unsigned char* out);
void DecryptBlock(const uint32_t* w, int nb, int rounds, const int* offsets,
                  const unsigned char* in, unsigned char* out);

// Two consecutive 16-byte AES blocks (32 bytes) in one pass.
void EncryptAesPair(const uint32_t* w, int rounds, const int* offsets, const unsigned char* in,
                    unsigned char* out);
void DecryptAesPair(const uint32_t* w, int rounds, const int* offsets, const unsigned char* in,
                    unsigned char* out);

uint32_t SubWordPortable(uint32_t word);
uint32_t InvMixColumnWord(uint32_t word);

}  // namespace tornell::rijndaelcore
