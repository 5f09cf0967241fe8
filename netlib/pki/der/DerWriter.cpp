#include "pki/der/DerWriter.h"

#include <climits>
#include <cstring>

#include "core/base/Status.h"
#include "core/text/TextUtils.h"
#include "pki/der/DerCodec.h"
#include "pki/der/DerRun.h"

namespace tornell::pki {

namespace {

constexpr size_t kHeaderRoom = 20;
constexpr int kEmptyBitString = kStatusIndexRange;

const uint8_t* Bytes(const ByteString& s) { return reinterpret_cast<const uint8_t*>(s.Data()); }

}  // namespace

template <typename Write>
int DerWriter::Emit(size_t room, Write write) {
  const int old = output.Length();
  if (room > static_cast<size_t>(INT_MAX - old)) return kDerEncodeFailed;
  TORNELL_TRY(output.Resize(old + static_cast<int>(room)));
  uint8_t* base = output.Bytes() + old;
  size_t left = room;
  uint8_t* end = write(base, left);
  if (end == nullptr) {
    TORNELL_TRY(output.Resize(old));
    return kDerEncodeFailed;
  }
  return output.Resize(old + static_cast<int>(end - base));
}

int DerWriter::AppendHeader(int tag, size_t length) {
  return Emit(kHeaderRoom, [&](uint8_t* at, size_t& room) { return DerWriteHeader(at, room, tag, length); });
}

int DerWriter::AppendPrimitive(const void* data, int length, int tag) {
  if (length == -1) length = data != nullptr ? static_cast<int>(std::strlen(static_cast<const char*>(data))) : 0;
  if (length < 0 || (length > 0 && data == nullptr)) return kDerEncodeFailed;
  const size_t n = static_cast<size_t>(length);
  return Emit(kHeaderRoom + n, [&](uint8_t* at, size_t& room) {
    return DerWriteOctets(at, room, tag, static_cast<const uint8_t*>(data), n);
  });
}

int DerWriter::AppendInteger(int64_t value, int tag) {
  return Emit(10, [&](uint8_t* at, size_t& room) { return DerWriteInteger(at, room, tag, value, 4); });
}

int DerWriter::AppendUnsigned(uint64_t value, int tag) {
  return Emit(10, [&](uint8_t* at, size_t& room) { return DerWriteUnsigned(at, room, tag, value, 4); });
}

int DerWriter::AppendUnsigned64(const uint32_t words[2], int tag) {
  if (words == nullptr) return kDerEncodeFailed;
  return Emit(kHeaderRoom, [&](uint8_t* at, size_t& room) { return DerWriteInteger64(at, room, tag, words, 8); });
}

int DerWriter::AppendIntegerBytes(const void* data, int length) {
  if (data == nullptr || length <= 0) return kDerEncodeFailed;
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  const size_t pad = (length >= 2 && (bytes[0] & 0x80) != 0) ? 1 : 0;
  const size_t n = static_cast<size_t>(length) + pad;
  TORNELL_TRY(AppendHeader(0x02, n));
  if (pad != 0) TORNELL_TRY(output.AppendByte(0x00));
  return output.Append(bytes, length);
}

int DerWriter::AppendBitString(const void* data, int length, int tag) {
  if (length == -1) length = data != nullptr ? static_cast<int>(std::strlen(static_cast<const char*>(data))) : 0;
  if (length < 0 || (length > 0 && data == nullptr) || length == INT_MAX) return kDerEncodeFailed;
  TORNELL_TRY(AppendHeader(tag, static_cast<size_t>(length) + 1));
  TORNELL_TRY(output.AppendByte(0x00));
  return output.Append(data, length);
}

int DerWriter::AppendBoolean(int value, int tag) {
  const uint8_t b = value != 0 ? 0xFF : 0x00;
  return AppendPrimitive(&b, 1, tag);
}

int DerWriter::AppendNull(int tag) {
  return Emit(10, [&](uint8_t* at, size_t& room) { return DerWriteNull(at, room, tag); });
}

int DerWriter::AppendOid(const char* text, int tag) {
  uint64_t arcs[kMaxOidArcs];
  int count = 0;
  const char* at = text != nullptr ? text : "";
  do {
    uint64_t value = 0;
    bool overflow = false;
    const char* next = ReadDecimalArc(at, value, overflow);
    if (overflow || count == kMaxOidArcs) return kDerEncodeFailed;
    arcs[count++] = value;
    at = next;
  } while (at != nullptr);
  return Emit(kHeaderRoom + 5 * static_cast<size_t>(count), [&](uint8_t* out, size_t& room) {
    return DerWriteOid(out, room, tag, arcs, count);
  });
}

int DerWriter::Open(int tag) {
  const int32_t position = output.Length();
  TORNELL_TRY(stack_.Append(&position, sizeof position));
  TORNELL_TRY(output.AppendByte(tag));
  return output.AppendByte(0x80);
}

int DerWriter::Close(int indefinite) {
  if (stack_.Length() < static_cast<int>(sizeof(int32_t))) return kDerEncodeFailed;
  int32_t position = 0;
  std::memcpy(&position, stack_.Data() + stack_.Length() - sizeof position, sizeof position);
  TORNELL_TRY(stack_.Resize(stack_.Length() - static_cast<int>(sizeof position)));
  if (position < 0 || position + 2 > output.Length()) return kDerEncodeFailed;
  if (indefinite != 0) {
    TORNELL_TRY(output.AppendByte(0x00));
    return output.AppendByte(0x00);
  }
  const int start = position + 2;
  const int length = output.Length() - start;
  if (length <= 0x7F) {
    output.Bytes()[position + 1] = static_cast<uint8_t>(length);
    return kStatusOk;
  }
  int k = 0;
  for (uint32_t v = static_cast<uint32_t>(length); v != 0; v >>= 8) ++k;
  if (length > INT_MAX - k) return kDerEncodeFailed;
  TORNELL_TRY(output.Resize(output.Length() + k));
  uint8_t* data = output.Bytes();
  std::memmove(data + start + k, data + start, static_cast<size_t>(length));
  data[position + 1] = static_cast<uint8_t>(0x80 | k);
  for (int i = 0; i < k; ++i) data[start + i] = static_cast<uint8_t>(static_cast<uint32_t>(length) >> (8 * (k - 1 - i)));
  return kStatusOk;
}

int DerWriter::WrapAll(int tag) {
  const int length = output.Length();
  uint8_t header[8];
  size_t room = sizeof header;
  const uint8_t* end = DerWriteFixedHeader(header, room, tag, static_cast<size_t>(length));
  if (end == nullptr) return kDerEncodeFailed;
  const int h = static_cast<int>(end - header);
  if (length > INT_MAX - h) return kDerEncodeFailed;
  TORNELL_TRY(output.Resize(length + h));
  uint8_t* data = output.Bytes();
  std::memmove(data + h, data, static_cast<size_t>(length));
  std::memcpy(data, header, static_cast<size_t>(h));
  return kStatusOk;
}

int DerWriter::WrapAllMinimal(int tag) {
  DerWriter wrapped;
  TORNELL_TRY(wrapped.AppendHeader(tag, static_cast<size_t>(output.Length())));
  TORNELL_TRY(wrapped.output.Append(output));
  output = static_cast<ByteString&&>(wrapped.output);
  return kStatusOk;
}

int DerWriter::Unwrap(int* tagOut) {
  size_t available = static_cast<size_t>(output.Length());
  int tag = 0;
  const uint8_t* content = DerParseHeader(Bytes(output), available, tag);
  if (content == nullptr) return kDerMalformed;
  TORNELL_TRY(output.EraseFront(static_cast<int>(content - Bytes(output))));
  if (tagOut != nullptr) *tagOut = tag;
  return kStatusOk;
}

int DerWriter::Locate(int n, size_t skip, const uint8_t*& at, size_t& length) const {
  const size_t total = static_cast<size_t>(output.Length());
  if (n < 0 || skip > total) return kDerMissing;
  at = Bytes(output) + skip;
  size_t available = total - skip;
  for (int i = 0; i < n; ++i) {
    const size_t m = DerElementLength(at, available);
    if (m == 0) return kDerMalformed;
    at += m;
    available -= m;
  }
  length = DerElementLength(at, available);
  return length == 0 ? kDerMissing : kStatusOk;
}

int DerWriter::ReadElement(int n, ByteString& out, int* tagOut) const {
  const uint8_t* at = nullptr;
  size_t length = 0;
  TORNELL_TRY(Locate(n, 0, at, length));
  int tag = 0;
  const uint8_t* content = DerParseHeader(at, length, tag);
  if (content == nullptr) return kDerMalformed;
  TORNELL_TRY(out.Set(content, static_cast<int>(length)));
  if (tagOut != nullptr) *tagOut = tag;
  return kStatusOk;
}

int DerWriter::ReadInt(int n, int& out, int* tagOut) const {
  int64_t value = 0;
  TORNELL_TRY(ReadInt64(n, value, tagOut));
  out = static_cast<int>(value);
  return kStatusOk;
}

int DerWriter::ReadInt64(int n, int64_t& out, int* tagOut) const {
  const uint8_t* at = nullptr;
  size_t length = 0;
  TORNELL_TRY(Locate(n, 0, at, length));
  if (DerReadInteger(at, length, out, 4) == nullptr) return kDerMalformed;
  if (tagOut != nullptr) *tagOut = at[0];
  return kStatusOk;
}

int DerWriter::ReadUnsigned(int n, uint64_t& out, int* tagOut) const {
  const uint8_t* at = nullptr;
  size_t length = 0;
  TORNELL_TRY(Locate(n, 0, at, length));
  if (DerReadUnsigned(at, length, out, 4) == nullptr) return kDerMalformed;
  if (tagOut != nullptr) *tagOut = at[0];
  return kStatusOk;
}

int DerWriter::ReadUnsigned64(int n, uint32_t words[2], int* tagOut) const {
  const uint8_t* at = nullptr;
  size_t length = 0;
  TORNELL_TRY(Locate(n, 0, at, length));
  if (words == nullptr || DerReadInteger64(at, length, words, 8) == nullptr) return kDerMalformed;
  if (tagOut != nullptr) *tagOut = at[0];
  return kStatusOk;
}

int DerWriter::ReadOid(int n, ByteString& text, int* tagOut) const {
  size_t skip = 0;
  while (skip < static_cast<size_t>(output.Length()) && output.Bytes()[skip] == 0x2E) ++skip;
  const uint8_t* at = nullptr;
  size_t length = 0;
  TORNELL_TRY(Locate(n, skip, at, length));
  TORNELL_TRY(DerOidDotted(at, length, text));
  if (tagOut != nullptr) *tagOut = at[0];
  return kStatusOk;
}

int DerWriter::ReadBitString(int n, ByteString& out, int* bitCountOut, int* tagOut) const {
  const uint8_t* at = nullptr;
  size_t length = 0;
  TORNELL_TRY(Locate(n, 0, at, length));
  int tag = 0;
  const uint8_t* content = DerParseHeader(at, length, tag);
  if (content == nullptr) return kDerMalformed;
  if (length < 2) return kEmptyBitString;
  if (content[0] > 7) return kDerMalformed;
  TORNELL_TRY(out.Set(content + 1, static_cast<int>(length - 1)));
  if (bitCountOut != nullptr) *bitCountOut = static_cast<int>((length - 1) * 8) - content[0];
  if (tagOut != nullptr) *tagOut = tag;
  return kStatusOk;
}

int DerWriter::ReadIntegerBytes(int n, ByteString& out) const {
  const uint8_t* at = nullptr;
  size_t length = 0;
  TORNELL_TRY(Locate(n, 0, at, length));
  int tag = 0;
  const uint8_t* content = DerParseHeader(at, length, tag);
  if (content == nullptr || tag != 0x02) return kDerMalformed;
  if (length > 0 && content[0] == 0x00) {
    ++content;
    --length;
  }
  return out.Set(content, static_cast<int>(length));
}

size_t DerWriter::FirstElementLength() const {
  return DerElementLength(Bytes(output), static_cast<size_t>(output.Length()));
}

}  // namespace tornell::pki
