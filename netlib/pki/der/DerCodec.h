#pragma once
// Stateless functions over one tag-length-value element. A reader takes the
// element's first byte and the bytes available from there; on success it
// lowers the count by what it consumed and returns the position after it,
// on failure null. A writer takes the output position and the room left,
// lowers the room by what it wrote and returns the position after it, or
// null when the room is short or an argument is refused.
#include <cstddef>
#include <cstdint>

namespace tornell::pki {

// Identifiers keep at most this many arcs when read, and take at most this
// many when written.
constexpr int kMaxOidArcs = 256;

// Length bytes: the position after them. The length read is checked against
// the bytes that remain after the length bytes, so a caller may trust it.
const uint8_t* DerReadLength(const uint8_t* at, size_t& available, size_t& length);
uint8_t* DerWriteLength(uint8_t* at, size_t& room, size_t length);

// Tag and length: the content position; available becomes the content length.
const uint8_t* DerParseHeader(const uint8_t* at, size_t& available, int& tag);
uint8_t* DerWriteHeader(uint8_t* at, size_t& room, int tag, size_t length);
// The header of the whole-output wrapper: one length byte below 128, else at
// least the two-byte form.
uint8_t* DerWriteFixedHeader(uint8_t* at, size_t& room, int tag, size_t length);

// Total length of the element at a position, or 0 when it is incomplete or
// its length form is refused. The tag is not looked at.
size_t DerElementLength(const uint8_t* at, size_t available);

const uint8_t* DerReadInteger(const uint8_t* at, size_t& available, int64_t& value, int width);
uint8_t* DerWriteInteger(uint8_t* at, size_t& room, int tag, int64_t value, int width);
const uint8_t* DerReadUnsigned(const uint8_t* at, size_t& available, uint64_t& value, int width);
uint8_t* DerWriteUnsigned(uint8_t* at, size_t& room, int tag, uint64_t value, int width);
// words[0] is the high and words[1] the low 32 bits.
const uint8_t* DerReadInteger64(const uint8_t* at, size_t& available, uint32_t words[2], int width);
uint8_t* DerWriteInteger64(uint8_t* at, size_t& room, int tag, const uint32_t words[2], int width);

// capacity: the room of out on entry, the content length on success.
const uint8_t* DerReadOctets(const uint8_t* at, size_t& available, uint8_t* out, size_t& capacity);
uint8_t* DerWriteOctets(uint8_t* at, size_t& room, int tag, const uint8_t* data, size_t length);
// The content, unused-bit count first (at most 7).
const uint8_t* DerReadBitString(const uint8_t* at, size_t& available, uint8_t* out, size_t& capacity);
uint8_t* DerWriteBitString(uint8_t* at, size_t& room, int tag, const uint8_t* data, size_t length);

// count: the room of arcs on entry, the arcs read on success.
const uint8_t* DerReadOid(const uint8_t* at, size_t& available, uint32_t* arcs, int& count);
uint8_t* DerWriteOid(uint8_t* at, size_t& room, int tag, const uint64_t* arcs, int count);

const uint8_t* DerReadNull(const uint8_t* at, size_t& available);
uint8_t* DerWriteNull(uint8_t* at, size_t& room, int tag);

uint32_t DerSwap32(uint32_t value);

// Reads one arc of dotted text into value and returns the position after its
// separator, or null at the end of the text. An arc past 64 bits sets
// overflow and stops.
const char* ReadDecimalArc(const char* at, uint64_t& value, bool& overflow);

}  // namespace tornell::pki
