#include "crypto/pubkey/DerLength.h"

#include "core/base/Status.h"

namespace tornell::der {

int AppendLength(ByteString& out, size_t length) {
  if (length > kMaxLength) return kStatusIndexRange;
  if (length < 0x80) return out.AppendByte(int(length));
  int octets = 0;
  for (size_t v = length; v != 0; v >>= 8) ++octets;
  TORNELL_TRY(out.AppendByte(0x80 | octets));
  for (int i = octets - 1; i >= 0; --i) TORNELL_TRY(out.AppendByte(int((length >> (8 * i)) & 0xFF)));
  return kStatusOk;
}

bool ReadLength(const uint8_t* data, size_t size, size_t& pos, size_t& length) {
  if (data == nullptr || pos >= size) return false;
  const uint8_t first = data[pos++];
  size_t value = first;
  if (first >= 0x80) {
    const size_t octets = first & 0x7F;
    if (octets == 0 || octets > 4 || octets > size - pos) return false;  // indefinite or too long
    if (data[pos] == 0) return false;                                    // leading zero octet
    value = 0;
    for (size_t i = 0; i < octets; ++i) value = (value << 8) | data[pos++];
    if (value < 0x80) return false;  // the short form was required
  }
  if (value > size - pos) return false;
  length = value;
  return true;
}

}  // namespace tornell::der
