#include "crypto/digest/kdf/Pkcs12KeyDerivation.h"

#include "core/base/Status.h"

#include "crypto/digest/hash/HashContext.h"
#include "crypto/digest/mac/Hmac.h"

namespace tornell {

namespace {

// `source` repeated to the next multiple of v bytes (nothing when empty).
int AppendRepeatedToBlocks(ByteString& out, const char* source, int length, int v) {
  if (length <= 0) return kStatusOk;
  const int total = (length + v - 1) / v * v;
  int status = 0;
  for (int k = 0; status == 0 && k < total; k += length) {
    status = out.Append(source, total - k < length ? total - k : length);
  }
  return status;
}

// I_j = (I_j + B + 1) mod 2^(8v), big-endian, for every v-byte block of I.
void AddToBlocks(ByteString& input, const unsigned char* b, int v) {
  unsigned char* p = input.Bytes();
  for (int j = 0; j + v <= input.Length(); j += v) {
    unsigned carry = 1;
    for (int k = v - 1; k >= 0; --k) {
      carry += p[j + k] + b[k];
      p[j + k] = static_cast<unsigned char>(carry);
      carry >>= 8;
    }
  }
}

}  // namespace

Pkcs12KeyDerivation::Pkcs12KeyDerivation() : hashName_("MD5"), lastError_(0) {}

Pkcs12KeyDerivation::~Pkcs12KeyDerivation() = default;

int Pkcs12KeyDerivation::PasswordToBmp(ByteString& out) {
  out.Clear();
  int status = 0;
  for (int i = 0; status == 0 && i < password_.Length(); ++i) {
    status = out.AppendByte(0);
    if (status == 0) status = out.AppendByte(password_.ByteAt(i));
  }
  if (status == 0) status = out.AppendRepeated(2, 0);
  lastError_ = status;
  return status;
}

int Pkcs12KeyDerivation::BlockLength(int& v) {
  HashContext probe;
  int status = probe.SetAlgorithm(hashName_.CStr());
  if (status == 0) v = Hmac::BlockSizeOf(probe.GetAlgorithm());
  return status;
}

int Pkcs12KeyDerivation::DeriveWithId(int iterations, int diversifier, int length,
                                      ByteString& out) {
  int v = 0;
  int status = BlockLength(v);
  ByteString d;
  if (status == 0) status = d.AppendRepeated(v, diversifier);
  if (status == 0) return Derive(iterations, d, length, out);
  lastError_ = status;
  return status;
}

int Pkcs12KeyDerivation::DeriveKey(int iterations, int length, ByteString& out) {
  return DeriveWithId(iterations, 1, length, out);
}

int Pkcs12KeyDerivation::DeriveIv(int iterations, int length, ByteString& out) {
  return DeriveWithId(iterations, 2, length, out);
}

int Pkcs12KeyDerivation::Derive(int iterations, const ByteString& d, int length,
                                ByteString& out) {
  HashContext hash;
  int status = hash.SetAlgorithm(hashName_.CStr());
  const int v = Hmac::BlockSizeOf(hash.GetAlgorithm());
  const int u = hash.GetDigestBits() / 8;
  ByteString bmp;
  ByteString input;  // I = S + P
  if (status == 0) status = PasswordToBmp(bmp);
  if (status == 0) status = AppendRepeatedToBlocks(input, salt_.Data(), salt_.Length(), v);
  if (status == 0) status = AppendRepeatedToBlocks(input, bmp.Data(), bmp.Length(), v);
  ByteString result;
  unsigned char b[Hmac::kMaxBlockBytes];
  if (length < 0) length = 0;
  while (status == 0 && result.Length() < length) {
    status = hash.Reset();
    if (status == 0) status = hash.Update(d.Data(), d.Length());
    if (status == 0) status = hash.Update(input.Data(), input.Length());
    if (status == 0) status = hash.Final();
    for (int n = 1; status == 0 && n < iterations; ++n) {
      status = hash.Reset();
      if (status == 0) status = hash.Update(hash.GetDigest(), u);
      if (status == 0) status = hash.Final();
    }
    if (status != 0) break;
    const unsigned char* a = reinterpret_cast<const unsigned char*>(hash.GetDigest());
    for (int k = 0; k < v; ++k) b[k] = a[k % u];
    AddToBlocks(input, b, v);
    status = result.Append(a, u);
  }
  if (status == 0 && result.Length() > length) status = result.Resize(length);
  if (status == 0) status = out.Assign(result);
  lastError_ = status;
  return status;
}

}  // namespace tornell
