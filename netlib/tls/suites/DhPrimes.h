#pragma once
// The built-in finite-field Diffie-Hellman primes, all with generator 2, as
// upper-case hexadecimal text: a prime has four bits a digit.
namespace tornell::dhprimes {

// The RFC 7919 groups ffdhe2048 to ffdhe8192 (TLS groups 256 to 260).
constexpr int kNamedCount = 5;
// 1024 (RFC 2409 group 2), 1536, 2048, 3072, 4096, 6144 and 8192 bits (RFC 3526).
constexpr int kBySizeCount = 7;

const char* NamedPrime(int i);
const char* BySizePrime(int i);
// A 512-bit safe prime for the export suites.
const char* ExportPrime();

}  // namespace tornell::dhprimes
