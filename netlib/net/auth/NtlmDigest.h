#pragma once
// A digest computed into the string itself. The NTLM digests are password
// equivalents, so the string wipes what it gives back.

#include "core/text/SecretBytes.h"

namespace tornell {

class NtlmDigest : public SecretBytes {
 public:
  // Content becomes the 16-byte MD5 of the bytes (or of the content itself).
  [[nodiscard]] int Md5(const void* bytes, int length);
  [[nodiscard]] int Md5();
  // Content becomes the 16-byte MD4 of the bytes.
  [[nodiscard]] int Md4(const void* bytes, int length);
};

}  // namespace tornell
