#include "net/kerberos/KerberosPrimitives.h"

#include <cstring>

#include "core/base/Status.h"
#include "core/text/TextUtils.h"
#include "crypto/digest/hash/HashContext.h"
#include "crypto/digest/kdf/Pbkdf2.h"
#include "crypto/digest/mac/Hmac.h"
#include "crypto/random/RandomSource.h"

namespace tornell::net {

namespace {

// Stand-ins for the key codec's RandomBytes and HashByName.
void RandomBytes(uint8_t* out, int n) {
  RandomSource source;
  source.Fill(out, 0, n);
}

int HashByName(const char* data, int length, const char* name, ByteString& out) {
  HashContext hash;
  TORNELL_TRY(hash.SetAlgorithm(name));
  return hash.Digest(data, length, out);
}

bool SameNoCase(const char* a, const char* b) { return a != nullptr && CompareNoCase(a, b) == 0; }

}  // namespace

int KerberosLcm(int a, int b) {
  uint32_t x = static_cast<uint32_t>(a);
  uint32_t y = static_cast<uint32_t>(b);
  while (y != 0) {
    const uint32_t r = x % y;
    x = y;
    y = r;
  }
  return x == 0 ? 0 : static_cast<int>(static_cast<uint32_t>(a) / x * static_cast<uint32_t>(b));
}

// Two passes, the second adding the end-around carry of the first: after
// it no carry can come back, and no branch depends on the (secret) bytes.
int KerberosOnesComplementAdd(const uint8_t* a, const uint8_t* b, int n, ByteString& out) {
  TORNELL_TRY(out.Resize(n));
  uint8_t* o = out.Bytes();
  unsigned carry = 0;
  for (int i = n - 1; i >= 0; --i) {
    const unsigned sum = static_cast<unsigned>(a[i]) + b[i] + carry;
    o[i] = static_cast<uint8_t>(sum);
    carry = sum >> 8;
  }
  for (int i = n - 1; i >= 0; --i) {
    const unsigned sum = static_cast<unsigned>(o[i]) + carry;
    o[i] = static_cast<uint8_t>(sum);
    carry = sum >> 8;
  }
  return kStatusOk;
}

int KerberosGetBit(uint8_t byte, int i) { return (byte >> (7 - (i & 7))) & 1; }

uint8_t KerberosSetBit(uint8_t byte, int i, int value) {
  const uint8_t mask = static_cast<uint8_t>(0x80u >> (i & 7));
  const uint8_t set = static_cast<uint8_t>(-static_cast<int>(value != 0));
  return static_cast<uint8_t>((byte & ~mask) | (set & mask));
}

int KerberosRotateRight(const ByteString& in, int n, int shift, ByteString& out) {
  if (n < 0 || in.Length() < n) return kStatusIndexRange;
  TORNELL_TRY(out.Resize(n));
  if (n == 0) return kStatusOk;
  const int bits = n * 8;
  const int by = ((shift % bits) + bits) % bits;
  const uint8_t* src = in.Bytes();
  uint8_t* dst = out.Bytes();
  std::memset(dst, 0, static_cast<size_t>(n));
  for (int i = 0; i < bits; ++i) {
    const int j = (i + by) % bits;
    dst[j / 8] = KerberosSetBit(dst[j / 8], j % 8, KerberosGetBit(src[i / 8], i % 8));
  }
  return kStatusOk;
}

int KerberosNFold(const ByteString& in, int n, ByteString& out) {
  const int k = in.Length();
  if (k == 0 || n <= 0) return kStatusIndexRange;
  const int total = KerberosLcm(k, n);
  ByteString stretched;
  ByteString rotated;
  for (int copy = 0; copy * k < total; ++copy) {
    TORNELL_TRY(KerberosRotateRight(in, k, 13 * copy, rotated));
    TORNELL_TRY(stretched.Append(rotated.Data(), k));
  }
  TORNELL_TRY(out.Resize(n));
  std::memset(out.Data(), 0, static_cast<size_t>(n));
  ByteString sum;
  for (int at = 0; at < total; at += n) {
    TORNELL_TRY(KerberosOnesComplementAdd(out.Bytes(), stretched.Bytes() + at, n, sum));
    std::memcpy(out.Data(), sum.Data(), static_cast<size_t>(n));
  }
  return kStatusOk;
}

int KerberosPbkdf2(const ByteString& password, const ByteString& salt, int iterations, int keyBits, ByteString& out) {
  TORNELL_TRY(out.Resize(keyBits / 8));
  Pbkdf2 kdf;
  return kdf.Derive(HashAlgorithm::kSha1, password.Data(), password.Length(), salt.Data(), salt.Length(), iterations,
                    keyBits, out.Data());
}

int KerberosHmac(const char* name, const ByteString& key, const ByteString& data, ByteString& out) {
  out.Clear();
  Hmac mac;
  const int id = SameNoCase(name, "hmacsha1") ? HashAlgorithm::kSha1 : HashAlgorithm::kMd5;
  TORNELL_TRY(mac.Init(id, key.Data(), key.Length()));
  TORNELL_TRY(mac.Update(data.Data(), data.Length()));
  TORNELL_TRY(mac.Final());
  return out.Set(mac.GetMac(), mac.GetMacLength());
}

int KerberosDigest(const char* name, const ByteString& data, ByteString& out) {
  out.Clear();
  return HashByName(data.Data(), data.Length(), SameNoCase(name, "MD4") ? "MD4" : "MD5", out);
}

uint32_t KerberosReadU32BigEndian(const ByteString& in) {
  uint32_t value = 0;
  for (int i = 0; i < 4; ++i) value = value << 8 | (i < in.Length() ? in.Bytes()[i] : 0u);
  return value;
}

int KerberosPutU32(uint32_t value, int bigEndian, ByteString& out) {
  TORNELL_TRY(out.Resize(4));
  for (int i = 0; i < 4; ++i) {
    const int at = bigEndian != 0 ? 3 - i : i;
    out.Bytes()[at] = static_cast<uint8_t>(value >> (8 * i));
  }
  return kStatusOk;
}

int KerberosRandomBytes(int n, ByteString& out) {
  TORNELL_TRY(out.Resize(n));
  if (n > 0) RandomBytes(out.Bytes(), n);
  return kStatusOk;
}

int KerberosRandomSeqNumber(ByteString& out) {
  TORNELL_TRY(KerberosRandomBytes(4, out));
  out.Bytes()[0] &= 0x7F;
  return kStatusOk;
}

}  // namespace tornell::net
