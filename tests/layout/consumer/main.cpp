// A program built against the installed library: a SHA-256 digest and an
// AES-GCM round trip through the public headers only.
#include <cstdio>
#include <cstring>

#include "crypto/cipher/engine/SymmetricCipher.h"
#include "crypto/digest/hash/HashContext.h"

namespace {

int Sha256() {
  tornell::HashContext hash;
  tornell::ByteString digest;
  if (hash.SetAlgorithm("SHA256") != 0 || hash.Digest("abc", 3, digest) != 0) return 1;
  static const unsigned char kAbc[] = {0xba, 0x78, 0x16, 0xbf, 0x8f, 0x01, 0xcf, 0xea};
  return digest.Length() == 32 && std::memcmp(digest.Data(), kAbc, sizeof kAbc) == 0 ? 0 : 2;
}

int AesGcmRoundTrip() {
  const char key[16] = {1, 2, 3}, iv[12] = {4, 5, 6};
  const char text[] = "installed library round trip";
  tornell::SymmetricCipher seal;
  tornell::ByteString sealed;
  if (seal.SetAlgorithmByName("AES-GCM") != 0 || seal.InitEncrypt(key, 16, iv, 12) != 0 ||
      seal.Final(text, 0, int(sizeof text), sealed) != 0)
    return 3;
  char* tag = nullptr;
  int tagLength = 0;
  if (seal.GetTag(&tag, &tagLength) != 0 || tagLength == 0) return 4;
  tornell::SymmetricCipher open;
  tornell::ByteString opened;
  if (open.SetAlgorithmByName("AES-GCM") != 0 || open.SetTag(tag, tagLength) != 0 ||
      open.InitDecrypt(key, 16, iv, 12) != 0 || open.Final(sealed.Data(), 0, sealed.Length(), opened) != 0)
    return 5;
  return opened.Length() == int(sizeof text) && std::memcmp(opened.Data(), text, sizeof text) == 0 ? 0 : 6;
}

}  // namespace

int main() {
  if (int status = Sha256()) return status;
  if (int status = AesGcmRoundTrip()) return status;
  std::puts("sha256 and aes-gcm ok");
  return 0;
}
