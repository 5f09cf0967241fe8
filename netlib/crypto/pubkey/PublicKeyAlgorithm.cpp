#include "crypto/pubkey/PublicKeyAlgorithm.h"

#include <cstdint>

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
  return 0;
}

int PublicKeyAlgorithm::SetKeySize(int bits) {
  int rc = CheckKeySize(bits);
  if (rc == 0) keyBits = bits;
  return rc;
}

int PublicKeyAlgorithm::FillRandom(char* buffer, int offset, int length) {
  random.Fill(buffer, offset, length);
  return 0;
}

int PublicKeyAlgorithm::NormalizeDerInteger(ByteString& value) {
  if (value.Length() == 0) return 0;
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
  return 0;
}

int PublicKeyAlgorithm::EncodeDerSignature(ByteString& r, ByteString& s, ByteString& out) {
  int rc = NormalizeDerInteger(r);
  if (rc != 0 || (rc = NormalizeDerInteger(s)) != 0) return rc;
  out.Clear();
  const int total = r.Length() + s.Length() + 4;
  if ((rc = out.AppendByte(0x30)) != 0) return rc;
  if (total >= 128 && (rc = out.AppendByte(0x81)) != 0) return rc;
  if ((rc = out.AppendByte(total)) != 0) return rc;
  if ((rc = out.AppendByte(0x02)) != 0 || (rc = out.AppendByte(r.Length())) != 0 || (rc = out.Append(r)) != 0)
    return rc;
  if ((rc = out.AppendByte(0x02)) != 0 || (rc = out.AppendByte(s.Length())) != 0 || (rc = out.Append(s)) != 0)
    return rc;
  return 0;
}

namespace {

// Reads one INTEGER (tag, one length byte, content) at pos; 1 on success
// with pos moved past it.
int ReadInteger(const uint8_t* b, int64_t length, int64_t& pos, ByteString& out) {
  if (pos + 2 > length || b[pos] != 0x02) return 0;
  const int64_t n = b[pos + 1];
  pos += 2;
  if (pos + n > length) return 0;
  if (out.Set(b + pos, int(n)) != 0) return 0;
  pos += n;
  return 1;
}

}  // namespace

int PublicKeyAlgorithm::DecodeDerSignature(const char* data, int length, SignaturePair& out) {
  if (data == nullptr || length < 6) return 0;
  const auto* b = reinterpret_cast<const uint8_t*>(data);
  if (b[0] != 0x30) return 0;
  int64_t pos = 2;
  int64_t seqLength = b[1];
  if (b[1] & 0x80) {
    const int count = b[1] & 0x7F;
    if (count > 4) return 0;
    seqLength = 0;
    for (int i = 0; i < count; ++i) {
      if (pos >= length) return 0;
      seqLength = (seqLength << 8) | b[pos++];
    }
  }
  if (pos + seqLength > length) return 0;
  if (!ReadInteger(b, length, pos, out.r)) return 0;
  return ReadInteger(b, length, pos, out.s);
}

}  // namespace tornell
