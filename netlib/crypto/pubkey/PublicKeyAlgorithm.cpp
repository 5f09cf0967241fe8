#include "crypto/pubkey/PublicKeyAlgorithm.h"

#include <cstdint>
#include <initializer_list>

#include "core/base/Status.h"
#include "crypto/pubkey/DerLength.h"

namespace tornell {

int PublicKeyAlgorithm::CheckKeySize(int bits) const {
  int smallest = 0, largest = 0, step = 0;
  switch (type) {
    case kRsa:
      smallest = 384, largest = 4096, step = 8;
      break;
    case kDsa:
    case 2:
      smallest = 512, largest = 4096, step = 64;
      break;
    case kEc:
      smallest = largest = 128;
      break;
    default:
      break;
  }
  if (bits < smallest || bits > largest) return kBadKeySize;
  if (step != 0 && bits % step != 0) return kBadKeySize;
  return kStatusOk;
}

int PublicKeyAlgorithm::SetKeySize(int bits) {
  int rc = CheckKeySize(bits);
  if (rc == 0) keyBits = bits;
  return rc;
}

int PublicKeyAlgorithm::FillRandom(char* buffer, int offset, int length) {
  random.Fill(buffer, offset, length);
  return kStatusOk;
}

int PublicKeyAlgorithm::NormalizeDerInteger(ByteString& value) {
  if (value.Length() == 0) return kStatusOk;
  int drop = 0;
  const unsigned char* b = value.Bytes();
  while (b[drop] == 0 && value.Length() - drop > 1 && b[drop + 1] < 0x80) ++drop;
  int rc = value.EraseFront(drop);
  if (rc != 0) return rc;
  if (value.Bytes()[0] >= 0x80) {
    ByteString tmp;
    if ((rc = tmp.AppendByte(0)) != 0 || (rc = tmp.Append(value)) != 0) return rc;
    return value.Assign(tmp);
  }
  return kStatusOk;
}

int PublicKeyAlgorithm::EncodeDerSignature(ByteString& r, ByteString& s, ByteString& out) {
  TORNELL_TRY(NormalizeDerInteger(r));
  TORNELL_TRY(NormalizeDerInteger(s));
  out.Clear();
  ByteString body;
  for (const ByteString* v : {&r, &s}) {
    TORNELL_TRY(body.AppendByte(0x02));
    TORNELL_TRY(der::AppendLength(body, size_t(v->Length())));
    TORNELL_TRY(body.Append(*v));
  }
  TORNELL_TRY(out.AppendByte(0x30));
  TORNELL_TRY(der::AppendLength(out, size_t(body.Length())));
  return out.Append(body);
}

namespace {

// One INTEGER at pos, inside [pos, end): non-negative and minimal, as a
// signature's r and s must be. Content copied as encoded.
bool ReadInteger(const uint8_t* b, size_t end, size_t& pos, ByteString& out) {
  if (pos >= end || b[pos] != 0x02) return false;
  ++pos;
  size_t n = 0;
  if (!der::ReadLength(b, end, pos, n) || n == 0) return false;
  const uint8_t* v = b + pos;
  if (v[0] >= 0x80) return false;                         // negative: the sign byte is missing
  if (n > 1 && v[0] == 0 && v[1] < 0x80) return false;    // a zero byte that is not needed
  if (out.Set(v, int(n)) != kStatusOk) return false;
  pos += n;
  return true;
}

}  // namespace

int PublicKeyAlgorithm::DecodeDerSignature(const char* data, int length, SignaturePair& out) {
  if (data == nullptr || length < 8) return 0;
  const auto* b = reinterpret_cast<const uint8_t*>(data);
  const size_t size = size_t(length);
  if (b[0] != 0x30) return 0;
  size_t pos = 1, content = 0;
  if (!der::ReadLength(b, size, pos, content) || pos + content != size) return 0;  // nothing may follow
  if (!ReadInteger(b, size, pos, out.r) || !ReadInteger(b, size, pos, out.s)) return 0;
  return pos == size ? 1 : 0;
}

}  // namespace tornell
