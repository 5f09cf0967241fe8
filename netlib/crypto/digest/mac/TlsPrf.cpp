#include "crypto/digest/mac/TlsPrf.h"

#include "core/base/Status.h"

#include <cstring>

namespace tornell {

namespace {

constexpr int kMd5Bytes = 16;

int Tls12Prf(int id, const ByteString& secret, const ByteString& seed, int length,
             ByteString& out) {
  Hmac mac;
  int status = mac.Init(id, secret.Data(), secret.Length());
  if (status == 0) status = TlsPrf::PHash(mac, seed, length, out);
  return status;
}

// The generators append whole blocks; the caller gets exactly `length` bytes.
int CutTo(ByteString& out, int length) {
  return out.Length() > length ? out.Resize(length < 0 ? 0 : length) : 0;
}

}  // namespace

int TlsPrf::PHash(Hmac& mac, const ByteString& seed, int length, ByteString& out) {
  const int hLen = mac.GetMacBits() / 8;
  if (hLen == 0) {
    // Let the digest front report the unusable id.
    int status = mac.Final();
    return status != 0 ? status : kStatusUnknownDigest;
  }
  // A(0) = seed; A(i) = HMAC(A(i-1)); each block is HMAC(A(i) + seed). Mac
  // starts afresh, so a message the caller left open takes no part.
  SecretBytes a;  // keyed with the secret: as secret as the output
  int status = a.Assign(seed);
  while (status == 0 && out.Length() < length) {
    status = mac.Mac(a.Data(), a.Length(), a);
    if (status == 0) status = mac.Update(a.Data(), a.Length());
    if (status == 0) status = mac.Update(seed.Data(), seed.Length());
    if (status == 0) status = mac.Final();
    if (status == 0) status = out.Append(mac.GetMac(), hLen);
  }
  if (status == 0) status = CutTo(out, length);
  return status;
}

int TlsPrf::Tls12PrfSha256(const ByteString& secret, const ByteString& seed, int length,
                           ByteString& out) {
  return Tls12Prf(HashAlgorithm::kSha256, secret, seed, length, out);
}

int TlsPrf::Tls12PrfSha384(const ByteString& secret, const ByteString& seed, int length,
                           ByteString& out) {
  return Tls12Prf(HashAlgorithm::kSha384, secret, seed, length, out);
}

int TlsPrf::Tls10Prf(const ByteString& secret, const ByteString& seed, int length,
                     ByteString& out) {
  // The halves overlap in the middle byte of an odd-length secret.
  const int half = (secret.Length() + 1) / 2;
  Hmac md5;
  Hmac sha1;
  int status = md5.Init(HashAlgorithm::kMd5, secret.Data(), half);
  if (status == 0) {
    status = sha1.Init(HashAlgorithm::kSha1, secret.Data() + secret.Length() - half, half);
  }
  SecretBytes first;
  SecretBytes second;
  if (status == 0) status = PHash(md5, seed, length, first);
  if (status == 0) status = PHash(sha1, seed, length, second);
  if (status != 0) return status;
  char* p = first.Data();
  const char* q = second.Data();
  for (int i = 0; i < first.Length(); ++i) p[i] = static_cast<char>(p[i] ^ q[i]);
  return out.Assign(first);
}

int TlsPrf::Ssl3KeyBlock(const ByteString& secret, const ByteString& seed, int length,
                         ByteString& out) {
  if (length > kSsl3MaxPasses * kMd5Bytes) return kStatusKdfBadRequest;
  HashContext md5;
  HashContext sha1;
  int status = md5.SetAlgorithm("MD5");
  if (status == 0) status = sha1.SetAlgorithm("SHA1");
  char label[kSsl3MaxPasses];
  // Pass n hashes n copies of the n-th capital letter: A, BB, CCC ...
  for (int count = 1; status == 0; ++count) {
    std::memset(label, 'A' + count - 1, static_cast<size_t>(count));
    status = sha1.Reset();
    if (status == 0) status = sha1.Update(label, count);
    if (status == 0) status = sha1.Update(secret.Data(), secret.Length());
    if (status == 0) status = sha1.Update(seed.Data(), seed.Length());
    if (status == 0) status = sha1.Final();
    if (status != 0) break;
    status = md5.Reset();
    if (status == 0) status = md5.Update(secret.Data(), secret.Length());
    if (status == 0) status = md5.Update(sha1.GetDigest(), sha1.GetDigestLength());
    if (status == 0) status = md5.Final();
    if (status == 0) status = out.Append(md5.GetDigest(), md5.GetDigestLength());
    if (out.Length() >= length) break;
  }
  if (status == 0) status = CutTo(out, length);
  return status;
}

}  // namespace tornell
