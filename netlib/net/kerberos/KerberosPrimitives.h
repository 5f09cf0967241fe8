#pragma once
// Bit, number and digest pieces under the Kerberos encryption types: the
// parts of RFC 3961 n-fold, bit access most significant bit first,
// PBKDF2-HMAC-SHA1, HMAC and digests by name, and 32-bit packing.
#include <cstdint>

#include "core/text/ByteString.h"

namespace tornell::net {

int KerberosLcm(int a, int b);
// out = A + B in ones'-complement arithmetic over n bytes (end-around carry).
[[nodiscard]] int KerberosOnesComplementAdd(const uint8_t* a, const uint8_t* b, int n, ByteString& out);
// Bit i of the input becomes bit (i + shift) mod (n * 8) of the output.
[[nodiscard]] int KerberosRotateRight(const ByteString& in, int n, int shift, ByteString& out);
int KerberosGetBit(uint8_t byte, int i);
uint8_t KerberosSetBit(uint8_t byte, int i, int value);
// RFC 3961 n-fold of the input to n bytes.
[[nodiscard]] int KerberosNFold(const ByteString& in, int n, ByteString& out);
[[nodiscard]] int KerberosPbkdf2(const ByteString& password, const ByteString& salt, int iterations, int keyBits,
                                 ByteString& out);
// SHA-1 for "hmacsha1", MD5 for every other name.
[[nodiscard]] int KerberosHmac(const char* name, const ByteString& key, const ByteString& data, ByteString& out);
// MD4 for "MD4", MD5 for every other name.
[[nodiscard]] int KerberosDigest(const char* name, const ByteString& data, ByteString& out);
uint32_t KerberosReadU32BigEndian(const ByteString& in);
// Little-endian when bigEndian is 0.
[[nodiscard]] int KerberosPutU32(uint32_t value, int bigEndian, ByteString& out);
[[nodiscard]] int KerberosRandomSeqNumber(ByteString& out);
// n bytes from the library's random source.
[[nodiscard]] int KerberosRandomBytes(int n, ByteString& out);

}  // namespace tornell::net
