#pragma once
// The digest numbers by which the library chooses a hash, with their names
// and digest lengths, and the status codes of the digest front.

namespace tornell {

namespace HashAlgorithm {
enum : int {
  kSha1 = 0,
  kMd5 = 1,
  kSha256 = 2,
  kSha224 = 3,
  kSha512 = 4,
  kSha512_224 = 5,
  kSha512_256 = 6,
  kSha384 = 7,
  kRipemd160 = 8,
  kMd4 = 9,
  kMd2 = 10,
  kMd5Sha1 = 11,
  kSha3_224 = 12,  // Keccak-224 unless the FIPS padding is selected
  kSha3_256 = 13,
  kSha3_384 = 14,
  kSha3_512 = 15,
  kShake128 = 16,
  kShake256 = 17,
  kCount = 18,
};
}  // namespace HashAlgorithm

constexpr int kStatusUnknownDigest = 2001;  // digest number or name not in the table
constexpr int kStatusDigestBadInput = 2002;  // negative length, or null data with a length
constexpr int kStatusDigestFailed = 2003;  // the message outgrew the digest's length counter

// Digest length in bytes of a digest number; 0 outside 0-17.
int HashDigestLength(int id);
// The digest number of an upper-case name ("SHA-256", "SHA3_256"...); -1 when
// the name is not in the table.
int HashAlgorithmIdOf(const char* upperName);
// The first name of a digest number ("SHA1", "SHA256"...); "" outside 0-17.
const char* HashAlgorithmName(int id);

}  // namespace tornell
