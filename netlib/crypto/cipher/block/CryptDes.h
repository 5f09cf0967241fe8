#pragma once
// crypt(3)-style DES: salt-perturbed, iterated, through permutation tables
// built on first use, over one process-wide key schedule (no locks: the
// library runs its callers one at a time). Salt 0 with one iteration is
// plain DES. The S-box lookups are data- and key-indexed, as in DES.
#include <cstdint>

namespace tornell {

[[nodiscard]] int CryptDesSetKey(const unsigned char* key);
// iterations < 0 decrypts; input and output may be the same buffer.
[[nodiscard]] int CryptDesCipher(const unsigned char* input, unsigned char* output, long salt, int iterations);

void CryptDesEcbEncrypt(unsigned char* data, int blockCount, const unsigned char* key);
void CryptDesEcbDecrypt(unsigned char* data, int blockCount, const unsigned char* key);
void CryptDesCbcEncrypt(unsigned char* data, int blockCount, const unsigned char* key,
                        const unsigned char* iv);
void CryptDesCbcDecrypt(unsigned char* data, int blockCount, const unsigned char* key,
                        const unsigned char* iv);
// Key length 8, 16 or 24 selects single, two-key or three-key EDE.
void CryptDesEde3CbcEncrypt(unsigned char* data, int blockCount, const unsigned char* key,
                            int keyLength, const unsigned char* iv);
void CryptDesEde3CbcDecrypt(unsigned char* data, int blockCount, const unsigned char* key,
                            int keyLength, const unsigned char* iv);

// Traditional crypt(3): 13 characters in a static buffer, overwritten by
// every call.
const char* CryptDesHashPassword(const char* password, const char* setting);

void CryptDesBuildTables();
// Chunk-permutation table: 16 entries per 4-bit input chunk; map entries
// name 1-based source bits (0: constant zero), one per output bit.
void CryptDesBuildPermTable(uint64_t* table, const unsigned char* bitMap, int inputBytes,
                            int outputBytes);
void CryptDesPermute(const unsigned char* input, uint64_t& block, const uint64_t* table,
                     int inputBytes);

}  // namespace tornell
