#pragma once
// Big-endian cursor for building and parsing binary messages (TLS records,
// HTTP/2 frames, key blobs, Kerberos). Puts append at the end and advance the
// position; gets read at the position. Copies share the bytes.
//
// A buffer holds its bytes itself until it is first copied: most are built or
// read once and never shared, and a heap block each would cost more than the
// message work. A copy moves the bytes to a shared block both then use.
#include <cstdint>

#include "core/text/ByteString.h"
#include "core/buffer/SharedBytes.h"

namespace tornell {

class WireBuffer {
 public:
  WireBuffer() = default;
  WireBuffer(const void* buffer, int offset, int length);
  WireBuffer(const WireBuffer& other);
  WireBuffer& operator=(const WireBuffer&) = delete;
  virtual ~WireBuffer();

  [[nodiscard]] int Assign(const void* buffer, int offset, int length);
  [[nodiscard]] int Assign(const WireBuffer& other);
  int Clear();
  // Empties the buffer for the next fill and keeps its block (a block other
  // copies still read is left to them).
  int Reuse();
  // Room for `capacity` bytes before the next allocation; Clear gives it back.
  [[nodiscard]] int Reserve(int capacity);
  int Rewind() { position_ = 0; return kStatusOk; }
  int SetPosition(int position) { position_ = position; return kStatusOk; }

  int Length() const { return storage_ != nullptr ? storage_->Length() : 0; }
  int Size() const { return Length(); }
  int Position() const { return position_; }
  // Bytes after the position; a position outside the bytes leaves none.
  int Remaining() const;
  const char* Data() const { return storage_ != nullptr ? storage_->Data() : kEmptyText; }
  const unsigned char* Bytes() const { return reinterpret_cast<const unsigned char*>(Data()); }

  [[nodiscard]] int PutU8(int value);
  [[nodiscard]] int PutU16(int value);
  [[nodiscard]] int PutU24(int value);
  [[nodiscard]] int PutU32(int value);
  [[nodiscard]] int PutU64(int64_t value);
  [[nodiscard]] int PutBytes(const void* buffer, int length);
  [[nodiscard]] int PutBytes(const void* buffer, int offset, int length);
  [[nodiscard]] int PutBytes(const WireBuffer& other);
  [[nodiscard]] int PutBytes(const ByteString& bytes);

  [[nodiscard]] int PatchU16(int offset, int value);
  [[nodiscard]] int PatchU24(int offset, int value);
  [[nodiscard]] int WriteAt(const void* bytes, int offset, int length);
  // 1080 (nothing copied) when the range is not inside the bytes.
  [[nodiscard]] int CopyOut(int offset, int count, void* buffer, int bufferOffset) const;

  [[nodiscard]] int Require(int n) const;
  [[nodiscard]] int Require(int offset, int n) const;

  [[nodiscard]] int GetU16(int& out);
  [[nodiscard]] int GetU24(int& out);
  [[nodiscard]] int GetU32(int& out);
  int GetU16();
  int GetU24();
  int GetU32();
  int GetU8();
  int PeekU8(int offset);
  int PeekU16(int offset);
  int PeekU24(int offset);
  [[nodiscard]] int GetBytes(int n, ByteString& out);
  [[nodiscard]] int GetBytes(void* buffer, int offset, int n);
  const char* Skip(int n);
  [[nodiscard]] int GetLengthPrefixed(ByteString& out);
  [[nodiscard]] int GetBlob(ByteString& out) { return GetLengthPrefixed(out); }
  [[nodiscard]] int GetBitCountPrefixed(ByteString& out);

 protected:
  [[nodiscard]] int EnsureStorage();
  // The bytes, for derived buffers (null until first needed).
  SharedBytes* Storage() const { return storage_; }

 private:
  [[nodiscard]] int PutBig(uint64_t value, int count);
  [[nodiscard]] int GetBig(int count, int& out);
  int GetValue(int count);  // -1 when too few bytes remain
  int PeekBig(int offset, int count);
  const unsigned char* At(int offset) const { return Bytes() + offset; }

  // Moves the buffer's own bytes to a shared block (a copy is being made).
  [[nodiscard]] int Share() const;
  bool OwnsLocal() const { return storage_ == &local_; }

  int position_ = 0;
  // local_ or a shared block; a copy of a const buffer moves the bytes, hence mutable.
  mutable SharedBytes* storage_ = nullptr;
  mutable SharedBytes local_;
};

}  // namespace tornell
