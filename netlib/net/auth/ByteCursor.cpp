#include "net/auth/ByteCursor.h"

#include <cstring>

#include "core/base/Status.h"

namespace tornell {

void ByteCursor::Reset() {
  bytes_.Clear();
  limit_ = 0;
  position_ = 0;
}

int ByteCursor::Append(const void* data, int offset, int length) {
  if (data == nullptr || length <= 0) return kStatusOk;
  return bytes_.Append(static_cast<const char*>(data) + offset, length);
}

int ByteCursor::AppendNul() { return bytes_.AppendByte(0); }

int ByteCursor::AppendCString(const char* text) {
  TORNELL_TRY(bytes_.Append(text));
  return bytes_.AppendByte(0);
}

unsigned ByteCursor::ByteAt(int i) const {
  return (i >= 0 && i < limit_ && i < bytes_.Length()) ? bytes_.Bytes()[i] : 0u;
}

uint32_t ByteCursor::ReadBigEndian(int n) {
  uint32_t value = 0;
  for (int i = 0; i < n; ++i) value = (value << 8) | ByteAt(position_ + i);
  Skip(n);
  return value;
}

void ByteCursor::Skip(int n) {
  if (n > 0) position_ = n > bytes_.Length() - position_ ? bytes_.Length() : position_ + n;
}

int ByteCursor::ReadBytes(ByteString& out, int n) {
  const int left = limit_ - position_;
  if (n > left) n = left;
  if (n <= 0) return out.Set("");
  TORNELL_TRY(out.Set(bytes_.Data() + position_, n));
  position_ += n;
  return kStatusOk;
}

int ByteCursor::ReadCString(ByteString& out) {
  const int left = limit_ - position_;
  if (left <= 0) return out.Set("");
  const char* start = bytes_.Data() + position_;
  const void* zero = std::memchr(start, 0, static_cast<size_t>(left));
  const int n = zero != nullptr ? static_cast<int>(static_cast<const char*>(zero) - start) : left;
  TORNELL_TRY(out.Set(start, n));
  position_ += zero != nullptr ? n + 1 : n;
  return kStatusOk;
}

}  // namespace tornell
