#include "core/buffer/WireBuffer.h"

#include <cstring>
#include <new>
#include <utility>

#include "core/buffer/BigEndian.h"

namespace tornell {

// A constructor cannot report: bytes that cannot be copied leave the buffer empty.
WireBuffer::WireBuffer(const void* buffer, int offset, int length) {
  static_cast<void>(Assign(buffer, offset, length));
}

// A copy that cannot get a shared block starts empty, like one of bytes that cannot be copied.
WireBuffer::WireBuffer(const WireBuffer& other) : position_(other.position_) {
  if (other.Share() != kStatusOk) {
    position_ = 0;
    return;
  }
  storage_ = other.storage_;
  if (storage_ != nullptr) storage_->AddRef();
}

WireBuffer::~WireBuffer() {
  if (storage_ != nullptr && !OwnsLocal()) storage_->Release();
}

int WireBuffer::Share() const {
  if (!OwnsLocal()) return kStatusOk;
  SharedBytes* shared = AllocationFaultInjected() ? nullptr : new (std::nothrow) SharedBytes();
  if (shared == nullptr) return kStatusNoMemory;
  shared->Bytes() = std::move(local_.Bytes());
  shared->AddRef();
  storage_ = shared;
  return kStatusOk;
}

int WireBuffer::EnsureStorage() {
  if (storage_ != nullptr) return kStatusOk;
  position_ = 0;
  storage_ = &local_;
  return kStatusOk;
}

int WireBuffer::Assign(const void* buffer, int offset, int length) {
  int status = EnsureStorage();
  if (status == kStatusOk) status = storage_->Set(buffer, offset, length);
  if (status == kStatusOk) position_ = 0;
  return status;
}

int WireBuffer::Assign(const WireBuffer& other) {
  int status = EnsureStorage();
  if (status != kStatusOk) return status;
  if (other.storage_ == nullptr) {
    status = storage_->Clear();
  } else if (other.storage_ != storage_) {
    status = storage_->CopyFrom(*other.storage_);
  }
  if (status == kStatusOk) position_ = other.position_;
  return status;
}

int WireBuffer::Clear() {
  position_ = 0;
  if (storage_ != nullptr) storage_->Clear();
  return kStatusOk;
}

int WireBuffer::Reuse() {
  position_ = 0;
  if (storage_ == nullptr) return kStatusOk;
  if (!OwnsLocal() && storage_->References() > 1) {
    storage_->Release();
    storage_ = nullptr;
    return kStatusOk;
  }
  return storage_->Bytes().Truncate(0);
}

int WireBuffer::Reserve(int capacity) {
  const int status = EnsureStorage();
  return status != kStatusOk ? status : storage_->Reserve(capacity);
}

int WireBuffer::Remaining() const {
  const int length = Length();
  if (position_ < 0 || position_ >= length) return 0;
  return length - position_;
}

int WireBuffer::PutBig(uint64_t value, int count) {
  unsigned char bytes[8];
  BigEndian::Write(value, bytes, 0, count);
  return PutBytes(bytes, count);
}

int WireBuffer::PutU8(int value) { return PutBig(static_cast<uint8_t>(value), 1); }
int WireBuffer::PutU16(int value) { return PutBig(static_cast<uint32_t>(value), 2); }
int WireBuffer::PutU24(int value) { return PutBig(static_cast<uint32_t>(value), 3); }
int WireBuffer::PutU32(int value) { return PutBig(static_cast<uint32_t>(value), 4); }
int WireBuffer::PutU64(int64_t value) { return PutBig(static_cast<uint64_t>(value), 8); }

int WireBuffer::PutBytes(const void* buffer, int length) {
  int status = EnsureStorage();
  if (status != kStatusOk) return status;
  if (buffer == nullptr || length <= 0) return kStatusOk;
  status = storage_->Append(buffer, length);
  if (status == kStatusOk) position_ += length;
  return status;
}

int WireBuffer::PutBytes(const void* buffer, int offset, int length) {
  if (buffer == nullptr) return PutBytes(nullptr, 0);
  return PutBytes(static_cast<const char*>(buffer) + offset, length);
}

int WireBuffer::PutBytes(const WireBuffer& other) {
  // Our own bytes appended to themselves must be taken aside first.
  if (other.storage_ != nullptr && other.storage_ == storage_) {
    ByteString copy;
    int status = copy.Assign(storage_->Bytes());
    return status != kStatusOk ? status : PutBytes(copy);
  }
  return PutBytes(other.Data(), other.Length());
}

int WireBuffer::PutBytes(const ByteString& bytes) { return PutBytes(bytes.Data(), bytes.Length()); }

int WireBuffer::WriteAt(const void* bytes, int offset, int length) {
  int status = EnsureStorage();
  if (status != kStatusOk) return status;
  if (offset < 0 || length < 0) return kStatusWireShort;
  const int64_t end = static_cast<int64_t>(offset) + length;
  if (end > INT_MAX) return kStatusNoMemory;
  if (end > storage_->Length()) {
    // Grown bytes between the old end and the offset are zero, not stale.
    status = storage_->SetLength(static_cast<int>(end));
    if (status != kStatusOk) return status;
  }
  if (bytes != nullptr && length > 0) std::memmove(storage_->Data() + offset, bytes, static_cast<size_t>(length));
  return kStatusOk;
}

int WireBuffer::PatchU16(int offset, int value) {
  unsigned char bytes[2];
  BigEndian::Write(static_cast<uint32_t>(value), bytes, 0, 2);
  return WriteAt(bytes, offset, 2);
}

int WireBuffer::PatchU24(int offset, int value) {
  unsigned char bytes[3];
  BigEndian::Write(static_cast<uint32_t>(value), bytes, 0, 3);
  return WriteAt(bytes, offset, 3);
}

int WireBuffer::CopyOut(int offset, int count, void* buffer, int bufferOffset) const {
  if (offset < 0 || count < 0 || static_cast<int64_t>(offset) + count > Length()) return kStatusWireShort;
  if (count > 0) std::memcpy(static_cast<char*>(buffer) + bufferOffset, Data() + offset, static_cast<size_t>(count));
  return kStatusOk;
}

int WireBuffer::Require(int n) const {
  return (n < 0 || Remaining() < n) ? kStatusWireShort : kStatusOk;
}

int WireBuffer::Require(int offset, int n) const {
  if (n < 0 || offset < 0 || offset > Length()) return kStatusWireShort;
  return Length() - offset < n ? kStatusWireShort : kStatusOk;
}

int WireBuffer::GetBig(int count, int& out) {
  int status = EnsureStorage();
  if (status != kStatusOk) return status;
  if (Remaining() < count) return kStatusWireShort;
  out = static_cast<int>(BigEndian::Read(Bytes(), Length(), position_, count));
  position_ += count;
  return kStatusOk;
}

int WireBuffer::GetU16(int& out) { return GetBig(2, out); }
int WireBuffer::GetU24(int& out) { return GetBig(3, out); }
int WireBuffer::GetU32(int& out) { return GetBig(4, out); }

int WireBuffer::GetValue(int count) {
  int value = 0;
  return GetBig(count, value) == kStatusOk ? value : -1;
}

int WireBuffer::GetU16() { return GetValue(2); }
int WireBuffer::GetU24() { return GetValue(3); }
int WireBuffer::GetU32() { return GetValue(4); }
int WireBuffer::GetU8() { return GetValue(1); }

int WireBuffer::PeekBig(int offset, int count) {
  if (EnsureStorage() != kStatusOk) return -1;
  if (offset < 0 || offset > Length() - count) return -1;
  return static_cast<int>(BigEndian::Read(Bytes(), Length(), offset, count));
}

int WireBuffer::PeekU8(int offset) { return PeekBig(offset, 1); }
int WireBuffer::PeekU16(int offset) { return PeekBig(offset, 2); }
int WireBuffer::PeekU24(int offset) { return PeekBig(offset, 3); }

int WireBuffer::GetBytes(int n, ByteString& out) {
  int status = EnsureStorage();
  if (status != kStatusOk) return status;
  if (n < 1) return kStatusOk;
  const int available = Remaining();
  if (available <= 0) return kStatusWireEnd;
  const int count = n < available ? n : available;
  status = out.Set(Data() + position_, count);
  if (status == kStatusOk) position_ += count;
  return status;
}

int WireBuffer::GetBytes(void* buffer, int offset, int n) {
  int status = EnsureStorage();
  if (status != kStatusOk) return status;
  const int available = Remaining();
  const int count = n < available ? n : available;
  if (count <= 0) return kStatusOk;
  std::memcpy(static_cast<char*>(buffer) + offset, Data() + position_, static_cast<size_t>(count));
  position_ += count;
  return kStatusOk;
}

const char* WireBuffer::Skip(int n) {
  if (EnsureStorage() != kStatusOk || Remaining() <= 0) return nullptr;
  const int64_t next = static_cast<int64_t>(position_) + n;
  position_ = next > INT_MAX ? INT_MAX : (next < INT_MIN ? INT_MIN : static_cast<int>(next));
  return (position_ < 0 || position_ >= Length()) ? kEmptyText : Data() + position_;
}

int WireBuffer::GetLengthPrefixed(ByteString& out) {
  out.Clear();
  int length = 0;
  int status = GetU32(length);
  if (status != kStatusOk) return status;
  if (length < 0 || Remaining() < length) return kStatusWireShort;
  status = out.Set(Data() + position_, length);
  if (status == kStatusOk) position_ += length;
  return status;
}

int WireBuffer::GetBitCountPrefixed(ByteString& out) {
  out.Clear();
  int bits = 0;
  int status = GetU32(bits);
  if (status != kStatusOk) return status;
  const int64_t length = (static_cast<int64_t>(bits) + 7) / 8;
  if (bits < 0 || Remaining() < length) return kStatusWireShort;
  status = out.Set(Data() + position_, static_cast<int>(length));
  if (status == kStatusOk) position_ += static_cast<int>(length);
  return status;
}

}  // namespace tornell
