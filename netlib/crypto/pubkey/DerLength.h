#pragma once
// DER length octets (X.690 8.1.3 with the DER restrictions of 10.1): the
// shortest form only, never the indefinite one. The signature form of DSA and
// ECDSA writes and reads its lengths here; any DER codec should too.
#include <cstddef>
#include <cstdint>

#include "core/text/ByteString.h"

namespace tornell::der {

// The longest content this library writes or reads: four length octets.
constexpr size_t kMaxLength = 0xFFFFFFFFu;

// Appends the length octets of `length`: one byte below 128, else 0x80 | n
// and n big-endian bytes with no leading zero. Refuses (kStatusIndexRange)
// a length above kMaxLength; otherwise 0 or the ByteString status.
[[nodiscard]] int AppendLength(ByteString& out, size_t length);

// Reads length octets at data[pos], strictly: no indefinite form, no long form
// for lengths below 128, no leading zero octet, at most four octets, and the
// content must fit in the remaining `size - pos` bytes. On success pos moves
// past the octets and `length` holds the content length.
[[nodiscard]] bool ReadLength(const uint8_t* data, size_t size, size_t& pos, size_t& length);

}  // namespace tornell::der
