#pragma once
// Reference-counted bytes behind WireBuffer: copies of a buffer read the same
// message at their own positions without copying it.
#include "core/text/ByteString.h"

namespace tornell {

class SharedBytes {
 public:
  SharedBytes() = default;

  int Clear() { return bytes_.Clear(); }
  [[nodiscard]] int Set(const void* buffer, int offset, int length) {
    if (buffer == nullptr) return bytes_.Clear();
    return bytes_.Set(static_cast<const char*>(buffer) + offset, length);
  }
  [[nodiscard]] int CopyFrom(const SharedBytes& other) { return bytes_.Assign(other.bytes_); }
  char* Data() { return bytes_.Data(); }
  const char* Data() const { return bytes_.Data(); }
  const char* At(int i) const { return bytes_.At(i); }
  [[nodiscard]] int Append(const void* bytes, int length) { return bytes_.Append(bytes, length); }
  [[nodiscard]] int AppendByte(int c) { return bytes_.AppendByte(c); }
  [[nodiscard]] int Resize(int n) { return bytes_.Resize(n); }
  [[nodiscard]] int SetLength(int n) { return bytes_.SetLength(n); }
  [[nodiscard]] int Reserve(int capacity) { return bytes_.Reserve(capacity); }
  int Length() const { return bytes_.Length(); }
  ByteString& Bytes() { return bytes_; }

  void AddRef() { ++references_; }
  // Drops one reference; the block deletes itself when none is left.
  void Release() {
    if (--references_ < 1) delete this;
  }
  int References() const { return references_; }

 private:
  int references_ = 0;
  ByteString bytes_;
};

}  // namespace tornell
