#include "core/text/StringList.h"

#include <cstdio>
#include <cstring>

#include "core/base/Status.h"
#include "core/text/TextUtils.h"

namespace tornell {

namespace {
constexpr int kOverhead = 4;  // 3 length bytes and a NUL

// "%d" of the low 32 bits, without printf: protocol code keeps its numbers in
// lists and adds them often. `out` holds at least 12 bytes.
int FormatLow32(char* out, size_t, long value) {
  const auto low = static_cast<int32_t>(static_cast<uint32_t>(value));
  char* cursor = out;
  if (low < 0) *cursor++ = '-';
  FormatPaddedUnsigned(&cursor, low < 0 ? 0u - static_cast<uint32_t>(low) : static_cast<uint32_t>(low), 0, '0');
  return static_cast<int>(cursor - out);
}
int FormatWide(char* out, size_t size, long value) {
  return std::snprintf(out, size, "%lld", static_cast<long long>(value));
}
}  // namespace

int StringList::Clear() {
  data_.Clear();
  count_ = 0;
  return kStatusOk;
}

int StringList::Assign(const StringList& other) {
  int status = data_.Assign(other.data_);
  if (status == kStatusOk) count_ = other.count_;
  return status;
}

int StringList::ReadLength24(const void* at) {
  const unsigned char* p = static_cast<const unsigned char*>(at);
  return (p[0] << 16) | (p[1] << 8) | p[2];
}

void StringList::WriteEntry(int offset, const void* bytes, int length) {
  unsigned char* p = data_.Bytes() + offset;
  p[0] = static_cast<unsigned char>(length >> 16);
  p[1] = static_cast<unsigned char>(length >> 8);
  p[2] = static_cast<unsigned char>(length);
  if (bytes != nullptr) {
    std::memmove(p + 3, bytes, static_cast<size_t>(length));
  } else {
    std::memset(p + 3, 0, static_cast<size_t>(length));
  }
  p[3 + length] = 0;
}

int StringList::OffsetOf(int i) const {
  const unsigned char* data = data_.Bytes();
  int offset = 0;
  for (int k = 0; k < i; ++k) offset += ReadLength24(data + offset) + kOverhead;
  return offset;
}

int StringList::Add(const char* text) {
  if (text == nullptr) text = "";
  const size_t n = std::strlen(text);
  if (n > static_cast<size_t>(kMaxEntry)) return kStatusNoMemory;
  return Add(text, static_cast<int>(n));
}

int StringList::Add(const void* bytes, int length) {
  if (length < 0) length = 0;
  if (length > kMaxEntry) return kStatusNoMemory;
  const int old = data_.Length();
  const int64_t total = static_cast<int64_t>(old) + length + kOverhead;
  if (total > INT_MAX) return kStatusNoMemory;
  // The source may lie inside our own data, which can move as it grows.
  const char* own = data_.Data();
  const bool inside = bytes != nullptr && bytes >= own && bytes < own + old;
  const int64_t from = inside ? static_cast<const char*>(bytes) - own : 0;
  int status = data_.Resize(static_cast<int>(total));
  if (status != kStatusOk) return status;
  WriteEntry(old, inside ? data_.Data() + from : bytes, length);
  ++count_;
  return kStatusOk;
}

int StringList::AddInt(long value) {
  char text[24];
  return Add(text, FormatLow32(text, sizeof text, value));
}

int StringList::AddInt64(long value) {
  char text[24];
  return Add(text, FormatWide(text, sizeof text, value));
}

const char* StringList::Get(int i) const {
  if (i < 0 || i >= count_) return kEmptyText;
  return data_.Data() + OffsetOf(i) + 3;
}

int StringList::EntryLength(int i) const {
  if (i < 0 || i >= count_) return 0;
  return ReadLength24(data_.Data() + OffsetOf(i));
}

int64_t StringList::GetLong(int i) const { return ParseLong(Get(i)); }
int64_t StringList::GetInt64(int i) const { return ParseInt64(Get(i)); }

int StringList::Set(int i, const char* text) {
  if (text == nullptr) text = "";
  const size_t n = std::strlen(text);
  if (n > static_cast<size_t>(kMaxEntry)) {
    return (i < 0 || i >= count_) ? kStatusIndexRange : kStatusNoMemory;
  }
  return Set(i, text, static_cast<int>(n));
}

int StringList::Set(int i, const void* bytes, int length) {
  if (i < 0 || i >= count_) return kStatusIndexRange;
  if (length < 0) length = 0;
  if (length > kMaxEntry) return kStatusNoMemory;
  const int offset = OffsetOf(i);
  const int oldLength = ReadLength24(data_.Data() + offset);
  const int total = data_.Length();
  const int64_t newTotal = static_cast<int64_t>(total) + length - oldLength;
  if (newTotal > INT_MAX) return kStatusNoMemory;
  // A source inside our own data is taken aside before anything moves.
  ByteString copy;
  const char* own = data_.Data();
  if (bytes != nullptr && bytes >= own && bytes < own + total) {
    int status = copy.Set(bytes, length);
    if (status != kStatusOk) return status;
    bytes = copy.Data();
  }
  if (newTotal > total) {
    int status = data_.Resize(static_cast<int>(newTotal));
    if (status != kStatusOk) return status;
  }
  const int tail = offset + oldLength + kOverhead;
  if (tail < total) {
    char* data = data_.Data();
    std::memmove(data + offset + length + kOverhead, data + tail, static_cast<size_t>(total - tail));
  }
  if (newTotal < total) TORNELL_TRY(data_.Resize(static_cast<int>(newTotal)));  // shrinks: cannot fail
  WriteEntry(offset, bytes, length);
  return kStatusOk;
}

int StringList::SetInt(int i, long value) {
  char text[24];
  return Set(i, text, FormatLow32(text, sizeof text, value));
}

int StringList::SetInt64(int i, long value) {
  char text[24];
  return Set(i, text, FormatWide(text, sizeof text, value));
}

int StringList::AppendToLast(const char* text) {
  if (text == nullptr) text = "";
  const size_t n = std::strlen(text);
  if (n > static_cast<size_t>(kMaxEntry)) return kStatusNoMemory;
  if (count_ == 0) return Add(text, static_cast<int>(n));
  const int offset = OffsetOf(count_ - 1);
  const int oldLength = ReadLength24(data_.Data() + offset);
  if (oldLength + static_cast<int64_t>(n) > kMaxEntry) return kStatusNoMemory;
  const int newLength = oldLength + static_cast<int>(n);
  const char* own = data_.Data();
  const bool inside = text >= own && text < own + data_.Length();
  const int64_t from = inside ? text - own : 0;
  const int64_t total = static_cast<int64_t>(data_.Length()) + static_cast<int64_t>(n);
  if (total > INT_MAX) return kStatusNoMemory;
  int status = data_.Resize(static_cast<int>(total));
  if (status != kStatusOk) return status;
  unsigned char* p = data_.Bytes() + offset;
  std::memmove(p + 3 + oldLength, inside ? data_.Data() + from : text, n);
  p[0] = static_cast<unsigned char>(newLength >> 16);
  p[1] = static_cast<unsigned char>(newLength >> 8);
  p[2] = static_cast<unsigned char>(newLength);
  p[3 + newLength] = 0;
  return kStatusOk;
}

int StringList::SetCount(int n) {
  if (n < 0 || n == count_) return kStatusOk;
  if (n < count_) {
    int status = data_.Resize(OffsetOf(n));
    if (status != kStatusOk) return status;
    count_ = n;
    return kStatusOk;
  }
  while (count_ < n) {
    int status = Add(nullptr, 0);
    if (status != kStatusOk) return status;
  }
  return kStatusOk;
}

int StringList::RemoveLast() {
  if (count_ == 0) return kStatusListEmpty;
  return SetCount(count_ - 1);
}

int StringList::RemoveAt(int i) {
  if (i < 0 || i >= count_) return kStatusIndexRange;
  // Later entries move down as bytes: NULs inside entries survive and the
  // list cannot be left half-shifted, because nothing grows.
  const int offset = OffsetOf(i);
  const int next = offset + ReadLength24(data_.Data() + offset) + kOverhead;
  const int total = data_.Length();
  char* data = data_.Data();
  std::memmove(data + offset, data + next, static_cast<size_t>(total - next));
  TORNELL_TRY(data_.Resize(total - (next - offset)));  // shrinks: cannot fail
  --count_;
  return kStatusOk;
}

int StringList::IndexOf(const char* text, int start) const {
  if (text == nullptr) text = "";
  if (start < 0) start = 0;
  const char* data = data_.Data();
  int offset = OffsetOf(start < count_ ? start : count_);
  for (int i = start; i < count_; ++i) {
    if (std::strcmp(data + offset + 3, text) == 0) return i;
    offset += ReadLength24(data + offset) + kOverhead;
  }
  return kNotFound;
}

}  // namespace tornell
