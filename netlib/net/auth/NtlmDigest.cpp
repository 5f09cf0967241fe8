#include "net/auth/NtlmDigest.h"

#include "core/secure/SecureWipe.h"
#include "crypto/digest/hash/Md4Digest.h"
#include "crypto/digest/hash/Md5Digest.h"

namespace tornell {

int NtlmDigest::Md5(const void* bytes, int length) {
  Md5Digest md5;
  md5.Update(static_cast<const char*>(bytes), length);
  const int status = Set(md5.Final(), Md5Digest::kDigestBytes);
  SecureWipeObject(md5);
  return status;
}

int NtlmDigest::Md5() {
  // Hash a copy: Set must not read the bytes it is replacing.
  SecretBytes content;
  const int status = content.Assign(*this);
  return status != 0 ? status : Md5(content.Data(), content.Length());
}

int NtlmDigest::Md4(const void* bytes, int length) {
  Md4Digest md4;
  md4.Update(static_cast<const char*>(bytes), length);
  const int status = Set(md4.Final(), Md4Digest::kDigestBytes);
  SecureWipeObject(md4);
  return status;
}

}  // namespace tornell
