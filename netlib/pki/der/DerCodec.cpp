#include "pki/der/DerCodec.h"

#include <cstring>

namespace tornell::pki {

namespace {

// Subidentifiers of five base-128 bytes at most: what the writer reserves.
constexpr uint64_t kMaxSubidentifier = (uint64_t(1) << 35) - 1;

size_t LengthBytes(size_t length) {
  size_t k = 0;
  for (size_t v = length; v != 0; v >>= 8) ++k;
  return k;
}

uint8_t* PutBigEndian(uint8_t* at, uint64_t value, size_t k) {
  for (size_t i = 0; i < k; ++i) at[i] = static_cast<uint8_t>(value >> (8 * (k - 1 - i)));
  return at + k;
}

// Shortest two's-complement form of a signed 32-bit value.
size_t SignedContent(int32_t value, uint8_t out[4]) {
  const uint32_t u = static_cast<uint32_t>(value);
  PutBigEndian(out, u, 4);
  size_t skip = 0;
  while (skip < 3) {
    const uint8_t b = out[skip], next = out[skip + 1];
    if ((b == 0x00 && (next & 0x80) == 0) || (b == 0xFF && (next & 0x80) != 0)) {
      ++skip;
    } else {
      break;
    }
  }
  std::memmove(out, out + skip, 4 - skip);
  return 4 - skip;
}

uint8_t* WriteElement(uint8_t* at, size_t& room, int tag, const uint8_t* content, size_t length) {
  size_t left = room;
  uint8_t* p = DerWriteHeader(at, left, tag, length);
  if (p == nullptr || left < length) return nullptr;
  if (length != 0) std::memcpy(p, content, length);
  room = left - length;
  return p + length;
}

// Content of the element at a position; available becomes its length and
// consumed the element's total length.
const uint8_t* Content(const uint8_t* at, size_t available, size_t& length, size_t& consumed) {
  size_t left = available;
  int tag = 0;
  const uint8_t* content = DerParseHeader(at, left, tag);
  if (content == nullptr) return nullptr;
  length = left;
  consumed = static_cast<size_t>(content - at) + left;
  return content;
}

}  // namespace

const uint8_t* DerReadLength(const uint8_t* at, size_t& available, size_t& length) {
  if (at == nullptr || available < 1) return nullptr;
  const uint8_t first = at[0];
  if (first < 0x80) {
    if (available - 1 < first) return nullptr;
    length = first;
    available -= 1;
    return at + 1;
  }
  const size_t k = first & 0x7F;
  // 0x80 is the indefinite form; more than four length bytes is refused.
  if (k == 0 || k > 4 || available - 1 < k) return nullptr;
  uint64_t value = 0;
  for (size_t i = 0; i < k; ++i) value = (value << 8) | at[1 + i];
  if (value > available - 1 - k) return nullptr;
  length = static_cast<size_t>(value);
  available -= 1 + k;
  return at + 1 + k;
}

uint8_t* DerWriteLength(uint8_t* at, size_t& room, size_t length) {
  if (at == nullptr) return nullptr;
  if (length < 0x80) {
    if (room < 1) return nullptr;
    at[0] = static_cast<uint8_t>(length);
    room -= 1;
    return at + 1;
  }
  const size_t k = LengthBytes(length);
  if (k > 4 || room < k + 1) return nullptr;
  at[0] = static_cast<uint8_t>(0x80 | k);
  room -= k + 1;
  return PutBigEndian(at + 1, length, k);
}

const uint8_t* DerParseHeader(const uint8_t* at, size_t& available, int& tag) {
  if (at == nullptr || available < 1) return nullptr;
  if ((at[0] & 0x1F) == 0x1F) return nullptr;  // high-tag-number form
  size_t left = available - 1;
  size_t length = 0;
  const uint8_t* content = DerReadLength(at + 1, left, length);
  if (content == nullptr) return nullptr;
  tag = at[0];
  available = length;
  return content;
}

uint8_t* DerWriteHeader(uint8_t* at, size_t& room, int tag, size_t length) {
  if (at == nullptr || room < 1) return nullptr;
  size_t left = room - 1;
  uint8_t* p = DerWriteLength(at + 1, left, length);
  if (p == nullptr) return nullptr;
  at[0] = static_cast<uint8_t>(tag);
  room = left;
  return p;
}

uint8_t* DerWriteFixedHeader(uint8_t* at, size_t& room, int tag, size_t length) {
  if (at == nullptr) return nullptr;
  if (length < 0x80) {
    if (room < 2) return nullptr;
    at[0] = static_cast<uint8_t>(tag);
    at[1] = static_cast<uint8_t>(length);
    room -= 2;
    return at + 2;
  }
  size_t k = LengthBytes(length);
  if (k < 2) k = 2;
  if (k > 4 || room < k + 2) return nullptr;
  at[0] = static_cast<uint8_t>(tag);
  at[1] = static_cast<uint8_t>(0x80 | k);
  room -= k + 2;
  return PutBigEndian(at + 2, length, k);
}

size_t DerElementLength(const uint8_t* at, size_t available) {
  if (at == nullptr || available < 2) return 0;
  size_t left = available - 1;
  size_t length = 0;
  const uint8_t* content = DerReadLength(at + 1, left, length);
  if (content == nullptr) return 0;
  return static_cast<size_t>(content - at) + length;
}

const uint8_t* DerReadInteger(const uint8_t* at, size_t& available, int64_t& value, int width) {
  if (width != 4) return nullptr;
  size_t length = 0, consumed = 0;
  const uint8_t* c = Content(at, available, length, consumed);
  if (c == nullptr) return nullptr;
  while (length > 4) {
    if (c[0] != 0x00) return nullptr;
    ++c;
    --length;
  }
  int64_t v = 0;
  if (length > 0) {
    v = (c[0] & 0x80) ? -1 : 0;
    for (size_t i = 0; i < length; ++i) v = static_cast<int64_t>((static_cast<uint64_t>(v) << 8) | c[i]);
  }
  value = v;
  available -= consumed;
  return at + consumed;
}

uint8_t* DerWriteInteger(uint8_t* at, size_t& room, int tag, int64_t value, int width) {
  if (width != 4) return nullptr;
  uint8_t content[4];
  const size_t n = SignedContent(static_cast<int32_t>(static_cast<uint32_t>(value)), content);
  return WriteElement(at, room, tag, content, n);
}

const uint8_t* DerReadUnsigned(const uint8_t* at, size_t& available, uint64_t& value, int width) {
  if (width != 4) return nullptr;
  size_t length = 0, consumed = 0;
  const uint8_t* c = Content(at, available, length, consumed);
  if (c == nullptr) return nullptr;
  if (length > 5 || (length == 5 && c[0] != 0x00)) return nullptr;
  uint64_t v = (length > 0 && (c[0] & 0x80)) ? ~uint64_t(0) : 0;
  for (size_t i = 0; i < length; ++i) v = (v << 8) | c[i];
  value = v;
  available -= consumed;
  return at + consumed;
}

uint8_t* DerWriteUnsigned(uint8_t* at, size_t& room, int tag, uint64_t value, int width) {
  if (width != 4) return nullptr;
  uint8_t content[5] = {0, 0, 0, 0, 0};
  const uint32_t low = static_cast<uint32_t>(value);
  const size_t pad = (low & 0x80000000u) ? 1 : 0;
  PutBigEndian(content + pad, low, 4);
  return WriteElement(at, room, tag, content, 4 + pad);
}

const uint8_t* DerReadInteger64(const uint8_t* at, size_t& available, uint32_t words[2], int width) {
  if (width != 8) return nullptr;
  size_t length = 0, consumed = 0;
  const uint8_t* c = Content(at, available, length, consumed);
  if (c == nullptr) return nullptr;
  if (length > 9 || (length == 9 && c[0] != 0x00)) return nullptr;
  uint64_t v = (length > 0 && (c[0] & 0x80)) ? ~uint64_t(0) : 0;
  for (size_t i = 0; i < length; ++i) v = (v << 8) | c[i];
  words[0] = static_cast<uint32_t>(v >> 32);
  words[1] = static_cast<uint32_t>(v);
  available -= consumed;
  return at + consumed;
}

uint8_t* DerWriteInteger64(uint8_t* at, size_t& room, int tag, const uint32_t words[2], int width) {
  if (width != 8) return nullptr;
  uint8_t content[9] = {};
  const size_t pad = (words[0] & 0x80000000u) ? 1 : 0;
  PutBigEndian(content + pad, (uint64_t(words[0]) << 32) | words[1], 8);
  return WriteElement(at, room, tag, content, 8 + pad);
}

const uint8_t* DerReadOctets(const uint8_t* at, size_t& available, uint8_t* out, size_t& capacity) {
  size_t length = 0, consumed = 0;
  const uint8_t* c = Content(at, available, length, consumed);
  if (c == nullptr || length > capacity || (length != 0 && out == nullptr)) return nullptr;
  if (length != 0) std::memcpy(out, c, length);
  capacity = length;
  available -= consumed;
  return at + consumed;
}

uint8_t* DerWriteOctets(uint8_t* at, size_t& room, int tag, const uint8_t* data, size_t length) {
  if (length != 0 && data == nullptr) return nullptr;
  return WriteElement(at, room, tag, data, length);
}

const uint8_t* DerReadBitString(const uint8_t* at, size_t& available, uint8_t* out, size_t& capacity) {
  size_t length = 0, consumed = 0;
  const uint8_t* c = Content(at, available, length, consumed);
  if (c == nullptr || length == 0 || c[0] > 7) return nullptr;
  size_t left = available;
  return DerReadOctets(at, left, out, capacity) == nullptr ? nullptr : (available = left, at + consumed);
}

uint8_t* DerWriteBitString(uint8_t* at, size_t& room, int tag, const uint8_t* data, size_t length) {
  if (data == nullptr || length == 0 || data[0] > 7) return nullptr;
  return WriteElement(at, room, tag, data, length);
}

const uint8_t* DerReadOid(const uint8_t* at, size_t& available, uint32_t* arcs, int& count) {
  size_t length = 0, consumed = 0;
  const uint8_t* c = Content(at, available, length, consumed);
  if (c == nullptr || arcs == nullptr || count < 2) return nullptr;
  const int room = count < kMaxOidArcs ? count : kMaxOidArcs;
  int n = 0;
  if (length == 0) {
    arcs[n++] = 0;
  }
  size_t i = 0;
  // Each subidentifier adds one arc, the first two; further content is ignored.
  while (i < length && n < room) {
    uint64_t v = 0;
    for (;;) {
      if (i >= length) return nullptr;  // runs past the content
      const uint8_t b = c[i++];
      v = (v << 7) | (b & 0x7F);
      if (v > 0xFFFFFFFFu) return nullptr;
      if ((b & 0x80) == 0) break;
    }
    if (n == 0) {
      const uint32_t first = v < 40 ? 0 : v < 80 ? 1 : 2;
      arcs[n++] = first;
      arcs[n++] = static_cast<uint32_t>(v - 40 * first);
    } else {
      arcs[n++] = static_cast<uint32_t>(v);
    }
  }
  count = n;
  available -= consumed;
  return at + consumed;
}

uint8_t* DerWriteOid(uint8_t* at, size_t& room, int tag, const uint64_t* arcs, int count) {
  if (arcs == nullptr || count < 1 || count > kMaxOidArcs) return nullptr;
  uint8_t content[5 * kMaxOidArcs];
  size_t n = 0;
  if (count < 2) {
    content[n++] = 0x00;
  } else {
    // The first two arcs share one subidentifier: only 0 to 2, and below 40
    // under 0 and 1, read back as the arcs written.
    if (arcs[0] > 2 || (arcs[0] < 2 && arcs[1] >= 40) || arcs[1] > kMaxSubidentifier - 80) return nullptr;
    for (int i = 1; i < count; ++i) {
      const uint64_t v = i == 1 ? arcs[0] * 40 + arcs[1] : arcs[i];
      if (v > kMaxSubidentifier) return nullptr;
      int groups = 1;
      while (groups < 5 && (v >> (7 * groups)) != 0) ++groups;
      for (int g = groups - 1; g >= 0; --g) {
        content[n++] = static_cast<uint8_t>(((v >> (7 * g)) & 0x7F) | (g > 0 ? 0x80 : 0));
      }
    }
  }
  return WriteElement(at, room, tag, content, n);
}

const uint8_t* DerReadNull(const uint8_t* at, size_t& available) {
  size_t length = 0, consumed = 0;
  if (Content(at, available, length, consumed) == nullptr || length != 0) return nullptr;
  available -= consumed;
  return at + consumed;
}

uint8_t* DerWriteNull(uint8_t* at, size_t& room, int tag) { return WriteElement(at, room, tag, nullptr, 0); }

uint32_t DerSwap32(uint32_t value) {
  return (value >> 24) | ((value >> 8) & 0xFF00u) | ((value << 8) & 0xFF0000u) | (value << 24);
}

const char* ReadDecimalArc(const char* at, uint64_t& value, bool& overflow) {
  value = 0;
  overflow = false;
  if (at == nullptr) return nullptr;
  for (;; ++at) {
    const char ch = *at;
    if (ch == '\0') return nullptr;
    if (ch < '0' || ch > '9') return at + 1;
    const uint64_t digit = static_cast<uint64_t>(ch - '0');
    if (value > (~uint64_t(0) - digit) / 10) {
      overflow = true;
      return nullptr;
    }
    value = value * 10 + digit;
  }
}

}  // namespace tornell::pki
