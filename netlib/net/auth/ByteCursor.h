#pragma once
// A byte string with a read position. Reads never pass the loaded length:
// bytes beyond it read as zero and strings stop at it, so a message from a
// peer cannot send a reader outside its own bytes.

#include <cstdint>

#include "core/text/ByteString.h"

namespace tornell {

class ByteCursor {
 public:
  static constexpr int kStatusOverflow = 508;

  ByteCursor() = default;
  virtual ~ByteCursor() = default;
  ByteCursor(const ByteCursor&) = delete;
  ByteCursor& operator=(const ByteCursor&) = delete;

  void Reset();
  [[nodiscard]] int Append(const void* data, int offset, int length);
  [[nodiscard]] int AppendNul();
  [[nodiscard]] int AppendCString(const char* text);
  // Most significant byte first; position += n.
  uint32_t ReadBigEndian(int n);
  void Skip(int n);
  bool HasMore() const { return position_ < bytes_.Length(); }
  // n clipped to what is left before the limit.
  [[nodiscard]] int ReadBytes(ByteString& out, int n);
  // The bytes before the next zero byte (or the limit); moves past the zero.
  [[nodiscard]] int ReadCString(ByteString& out);

  const char* Data() const { return bytes_.Data(); }
  const unsigned char* Bytes() const { return bytes_.Bytes(); }
  int Length() const { return bytes_.Length(); }
  const char* GetErrorText() const { return errorText_; }

 protected:
  // The byte at i, or 0 outside the loaded bytes.
  unsigned ByteAt(int i) const;

  ByteString bytes_;
  int limit_ = 0;
  int position_ = 0;
  const char* errorText_ = "";
};
}  // namespace tornell
