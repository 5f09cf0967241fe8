#include "crypto/digest/hash/Md5Sha1Digest.h"

#include <cstring>

namespace tornell {

int Md5Sha1Digest::Reset() {
  md5.Reset();
  int status = sha1.Reset();
  if (status == 0) std::memset(digest, 0, sizeof digest);
  return status;
}

int Md5Sha1Digest::Update(const char* data, int length) {
  md5.Update(data, length);
  return sha1.Update(data, length);
}

unsigned char* Md5Sha1Digest::Final() {
  std::memcpy(digest, md5.Final(), Md5Digest::kDigestBytes);
  const unsigned char* second = sha1.Final();
  if (second == nullptr) return nullptr;
  std::memcpy(digest + Md5Digest::kDigestBytes, second, Sha1Digest::kDigestBytes);
  return digest;
}

int Md5Sha1Digest::CopyFrom(const Md5Sha1Digest& other) {
  int status = md5.CopyFrom(other.md5);
  if (status == 0) status = sha1.CopyFrom(other.sha1);
  if (status == 0) std::memcpy(digest, other.digest, sizeof digest);
  return status;
}

}  // namespace tornell
