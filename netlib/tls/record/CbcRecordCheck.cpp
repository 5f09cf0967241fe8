#include "tls/record/CbcRecordCheck.h"

#include <cstring>

#include "core/base/Status.h"
#include "core/secure/ConstantTime.h"
#include "core/secure/SecureWipe.h"
#include "crypto/digest/hash/HashAlgorithm.h"
#include "crypto/digest/hash/HashContext.h"
#include "crypto/digest/hash/Md5Digest.h"
#include "crypto/digest/hash/Sha1Digest.h"
#include "crypto/digest/hash/Sha256Digest.h"
#include "crypto/digest/hash/Sha512Digest.h"

namespace tornell {
namespace {

constexpr int kSsl30 = 0x0300;
constexpr int kMaxBlock = 128;
constexpr int kMaxPrefix = kMaxBlock + 16;

// One Merkle-Damgard digest whose message is a public-length prefix followed
// by a secret number of data bytes (at most dataMax).
struct Shape {
  int block;        // bytes per block
  int lengthField;  // bytes of the bit count
  bool littleEndian;
  int words;        // state words
  int outWords;     // words in the digest
  bool wide;        // 64-bit words
};

bool ShapeOf(int hashId, Shape& shape) {
  switch (hashId) {
    case HashAlgorithm::kMd5: shape = {64, 8, true, 4, 4, false}; return true;
    case HashAlgorithm::kSha1: shape = {64, 8, false, 5, 5, false}; return true;
    case HashAlgorithm::kSha256: shape = {64, 8, false, 8, 8, false}; return true;
    case HashAlgorithm::kSha384: shape = {128, 16, false, 8, 6, true}; return true;
    default: return false;
  }
}

void InitialState(int hashId, uint32_t* s32, uint64_t* s64) {
  static const uint32_t kMd5[4] = {0x67452301u, 0xefcdab89u, 0x98badcfeu, 0x10325476u};
  static const uint32_t kSha1[5] = {0x67452301u, 0xefcdab89u, 0x98badcfeu, 0x10325476u, 0xc3d2e1f0u};
  static const uint32_t kSha256[8] = {0x6a09e667u, 0xbb67ae85u, 0x3c6ef372u, 0xa54ff53au,
                                      0x510e527fu, 0x9b05688cu, 0x1f83d9abu, 0x5be0cd19u};
  static const uint64_t kSha384[8] = {0xcbbb9d5dc1059ed8ull, 0x629a292a367cd507ull, 0x9159015a3070dd17ull,
                                      0x152fecd8f70e5939ull, 0x67332667ffc00b31ull, 0x8eb44a8768581511ull,
                                      0xdb0c2e0d64f98fa7ull, 0x47b5481dbefa4fa4ull};
  switch (hashId) {
    case HashAlgorithm::kMd5: std::memcpy(s32, kMd5, sizeof kMd5); break;
    case HashAlgorithm::kSha1: std::memcpy(s32, kSha1, sizeof kSha1); break;
    case HashAlgorithm::kSha256: std::memcpy(s32, kSha256, sizeof kSha256); break;
    default: std::memcpy(s64, kSha384, sizeof kSha384); break;
  }
}

void CompressBlock(int hashId, uint32_t* s32, uint64_t* s64, const uint8_t* block) {
  switch (hashId) {
    case HashAlgorithm::kMd5: Md5Digest::Compress(s32, block, 1); break;
    case HashAlgorithm::kSha1: Sha1Digest::Compress(s32, block, 1); break;
    case HashAlgorithm::kSha256: Sha256Digest::Compress(s32, block, 1); break;
    default: Sha512Digest::Compress(s64, block, 1); break;
  }
}

// The digest of prefix || data[0, dataLength) where dataLength is secret and
// at most dataMax; every block up to the longest message is compressed and
// the state after the real last block is kept by mask.
int DigestSecretLength(int hashId, const uint8_t* prefix, int prefixLength, const uint8_t* data, uint32_t dataLength,
                       int dataMax, ByteString& out) {
  Shape shape;
  if (!ShapeOf(hashId, shape)) return CbcRecordCheck::kStatusUnsupportedMac;
  const uint32_t block = uint32_t(shape.block);
  const uint32_t field = uint32_t(shape.lengthField);
  const uint32_t n = uint32_t(prefixLength) + dataLength;
  const uint32_t nMax = uint32_t(prefixLength + dataMax);
  const uint32_t blocks = (nMax + 1 + field + block - 1) / block;
  const uint32_t lastBlock = (n + field) / block;
  const uint64_t bits = uint64_t(n) * 8;
  // Blocks wholly before the shortest possible end hold real bytes only.
  const uint32_t nMin = uint32_t(prefixLength) +
                        (dataMax > CbcRecordCheck::kMaxPaddingSpan ? uint32_t(dataMax - CbcRecordCheck::kMaxPaddingSpan) : 0);
  uint32_t s32[8] = {};
  uint64_t s64[8] = {};
  uint32_t r32[8] = {};
  uint64_t r64[8] = {};
  InitialState(hashId, s32, s64);
  uint8_t bytes[kMaxBlock];
  for (uint32_t j = 0; j < blocks; ++j) {
    const bool plainBlock = (j + 1) * block <= nMin;
    for (uint32_t i = 0; i < block; ++i) {
      const uint32_t g = j * block + i;
      uint8_t b = 0;
      if (g < uint32_t(prefixLength)) {
        b = prefix[g];
      } else if (g - uint32_t(prefixLength) < uint32_t(dataMax)) {
        b = data[g - uint32_t(prefixLength)];
      }
      if (!plainBlock) {
        b = ct::Select<uint8_t>(uint8_t(ct::Equal<uint32_t>(g, n)), 0x80, b);
        b = ct::Select<uint8_t>(uint8_t(ct::LessThan<uint32_t>(n, g)), 0, b);
        if (i >= block - field) {
          const uint32_t t = i - (block - field);
          uint8_t lengthByte = 0;
          if (shape.littleEndian) {
            lengthByte = t < 8 ? uint8_t(bits >> (8 * t)) : 0;
          } else {
            lengthByte = t >= field - 8 ? uint8_t(bits >> (8 * (field - 1 - t))) : 0;
          }
          b = ct::Select<uint8_t>(uint8_t(ct::Equal<uint32_t>(j, lastBlock)), lengthByte, b);
        }
      }
      bytes[i] = b;
    }
    CompressBlock(hashId, s32, s64, bytes);
    const uint32_t keep = ct::Equal<uint32_t>(j, lastBlock);
    const uint64_t keep64 = uint64_t(0) - uint64_t(keep & 1);
    for (int w = 0; w < shape.words; ++w) {
      r32[w] = ct::Select<uint32_t>(keep, s32[w], r32[w]);
      r64[w] = ct::Select<uint64_t>(keep64, s64[w], r64[w]);
    }
  }
  uint8_t digest[kMaxBlock];
  int at = 0;
  for (int w = 0; w < shape.outWords; ++w) {
    if (shape.wide) {
      for (int k = 7; k >= 0; --k) digest[at++] = uint8_t(r64[w] >> (8 * k));
    } else if (shape.littleEndian) {
      for (int k = 0; k < 4; ++k) digest[at++] = uint8_t(r32[w] >> (8 * k));
    } else {
      for (int k = 3; k >= 0; --k) digest[at++] = uint8_t(r32[w] >> (8 * k));
    }
  }
  const int status = out.Set(digest, at);
  SecureWipe(digest, sizeof digest);
  SecureWipe(bytes, sizeof bytes);
  return status;
}

int OuterDigest(int hashId, const ByteString& first, const ByteString& inner, ByteString& out) {
  HashContext hash;
  TORNELL_TRY(hash.SetAlgorithm(hashId));
  TORNELL_TRY(hash.Update(first.Data(), first.Length()));
  TORNELL_TRY(hash.Update(inner.Data(), inner.Length()));
  TORNELL_TRY(hash.Final());
  return out.Set(hash.GetDigest(), hash.GetDigestLength());
}

}  // namespace

int CbcRecordCheck::Check(int hashId, const ByteString& macSecret, const CbcRecordHeader& header, const uint8_t* plain,
                          int length, int macLength, CbcCheckResult& result) {
  Shape shape;
  if (!ShapeOf(hashId, shape) || macLength > 64 || macSecret.Length() > shape.block) return kStatusUnsupportedMac;
  if (length < macLength + 1) return kStatusBadLength;
  const bool ssl3 = header.version == kSsl30;
  const uint32_t n = uint32_t(length);
  const uint32_t m = uint32_t(macLength);
  const uint32_t padding = plain[n - 1];
  uint32_t good = ct::GreaterOrEqual<uint32_t>(n, padding + 1 + m);
  if (!ssl3) {
    const uint32_t span = n < uint32_t(kMaxPaddingSpan) ? n : uint32_t(kMaxPaddingSpan);
    for (uint32_t i = 0; i < span; ++i) {
      const uint32_t inPadding = ct::LessThan<uint32_t>(i, padding + 1);
      good &= ~inPadding | ct::Equal<uint32_t>(plain[n - 1 - i], padding);
    }
  }
  // A bad padding is MACed as if it were one byte long: the same work either way.
  const uint32_t dataMax = n - 1 - m;
  const uint32_t dataLength = ct::Select<uint32_t>(good, n - padding - 1 - m, dataMax);

  // The MAC input ahead of the data; its length bytes are secret values.
  uint8_t prefix[kMaxPrefix];
  int prefixLength = 0;
  const int padLength = hashId == HashAlgorithm::kMd5 ? 48 : 40;
  ByteString outerFirst;
  if (ssl3) {
    if (macSecret.Length() + padLength + 11 > kMaxPrefix) return kStatusUnsupportedMac;
    std::memcpy(prefix, macSecret.Data(), size_t(macSecret.Length()));
    prefixLength = macSecret.Length();
    std::memset(prefix + prefixLength, 0x36, size_t(padLength));
    prefixLength += padLength;
    TORNELL_TRY(outerFirst.Append(macSecret));
    TORNELL_TRY(outerFirst.AppendRepeated(padLength, 0x5C));
  } else {
    std::memset(prefix, 0x36, size_t(shape.block));
    for (int i = 0; i < macSecret.Length(); ++i) prefix[i] ^= uint8_t(macSecret.Data()[i]);
    prefixLength = shape.block;
    TORNELL_TRY(outerFirst.AppendRepeated(shape.block, 0x5C));
    for (int i = 0; i < macSecret.Length(); ++i) outerFirst.Data()[i] ^= macSecret.Data()[i];
  }
  for (int shift = 56; shift >= 0; shift -= 8) prefix[prefixLength++] = uint8_t(header.sequence >> shift);
  prefix[prefixLength++] = uint8_t(header.type);
  if (!ssl3) {
    prefix[prefixLength++] = uint8_t(header.version >> 8);
    prefix[prefixLength++] = uint8_t(header.version);
  }
  prefix[prefixLength++] = uint8_t(dataLength >> 8);
  prefix[prefixLength++] = uint8_t(dataLength);

  ByteString inner, expected;
  int status = DigestSecretLength(hashId, prefix, prefixLength, plain, dataLength, int(dataMax), inner);
  if (status == kStatusOk) status = OuterDigest(hashId, outerFirst, inner, expected);
  SecureWipe(prefix, sizeof prefix);
  outerFirst.Clear();
  TORNELL_TRY(status);

  // The received MAC sits at a secret offset: copy it from every candidate position.
  uint8_t received[64] = {};
  const uint32_t lowest = dataMax > uint32_t(kMaxPaddingSpan) ? dataMax - kMaxPaddingSpan : 0;
  for (uint32_t at = lowest; at <= dataMax; ++at) {
    ct::CondCopy(uint8_t(ct::Equal<uint32_t>(at, dataLength)), received, plain + at, size_t(m));
  }
  const uint32_t macGood =
      uint32_t(0) - uint32_t(ct::BytesEqualMask(received, expected.Data(), size_t(m)) & 1);
  result.paddingGood = good;
  result.good = good & macGood;
  result.dataLength = dataLength;
  SecureWipe(received, sizeof received);
  return kStatusOk;
}

}  // namespace tornell
