#pragma once
// DES (FIPS 46-3) and triple DES EDE (SP 800-67) block primitives. The
// round function uses S-box tables indexed by key-mixed data, as DES is
// defined; unlike AES there is no instruction-level alternative.
#include <cstdint>

namespace tornell {

// 16 round keys of two words: groups 1,3,5,7 then 2,4,6,8 of the 48-bit
// subkey, one 6-bit group per byte. A decryption schedule is reversed.
struct DesSchedule {
  uint32_t words[32];
};

struct TripleDesSchedule {
  DesSchedule passes[3];
};

void DesKeySchedule(DesSchedule& schedule, const unsigned char* key, int decrypt);
void TripleDesKeySchedule(TripleDesSchedule& schedule, const unsigned char* key, int decrypt);

// Input and output may be the same buffer.
void DesCryptBlock(const DesSchedule& schedule, const unsigned char* input, unsigned char* output);
void TripleDesCryptBlock(const TripleDesSchedule& schedule, const unsigned char* input,
                         unsigned char* output);

}  // namespace tornell
