#pragma once
// The MD5 digest and the SHA-1 digest of one message side by side (36 bytes),
// as TLS 1.0 and 1.1 sign them.
#include "crypto/digest/hash/Md5Digest.h"
#include "crypto/digest/hash/Sha1Digest.h"

namespace tornell {

class Md5Sha1Digest {
 public:
  static constexpr int kDigestBytes = 36;
  static constexpr int kBlockBytes = 64;

  Md5Sha1Digest() { (void)Reset(); }  // resetting cannot fail

  [[nodiscard]] int Reset();
  // The SHA-1 half's result: 0, or 1 when nothing was absorbed.
  [[nodiscard]] int Update(const char* data, int length);
  // The 36 bytes, or null when the SHA-1 half has failed.
  unsigned char* Final();
  [[nodiscard]] int CopyFrom(const Md5Sha1Digest& other);

  Md5Digest md5;
  Sha1Digest sha1;
  unsigned char digest[kDigestBytes];
};

}  // namespace tornell
