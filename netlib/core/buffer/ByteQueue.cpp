#include "core/buffer/ByteQueue.h"

#include <cstdlib>
#include <cstring>

#include "core/buffer/AllocationFault.h"

namespace tornell {

namespace {
constexpr char kCr = '\r';
constexpr char kLf = '\n';
char kNoBytes[1] = {0};
}  // namespace

int ByteQueue::Reset() {
  Release();
  lineMode_ = 0;
  pendingByte_ = 0;
  return kDone;
}

int ByteQueue::Release() {
  std::free(buffer_);
  std::free(terminator_);
  buffer_ = nullptr;
  terminator_ = nullptr;
  capacity_ = start_ = length_ = terminatorLength_ = 0;
  return kDone;
}

int ByteQueue::Allocate(unsigned capacity) {
  start_ = length_ = 0;
  if (buffer_ != nullptr && capacity_ == capacity) return kDone;
  std::free(buffer_);
  buffer_ = nullptr;
  capacity_ = 0;
  char* block = AllocationFaultInjected() ? nullptr : static_cast<char*>(std::malloc(size_t{capacity} + 1));
  if (block == nullptr) return kNotDone;
  buffer_ = block;
  capacity_ = capacity;
  return kDone;
}

int ByteQueue::Clear() {
  start_ = length_ = 0;
  return kDone;
}

int ByteQueue::Compact() {
  if (start_ != 0) {
    std::memmove(buffer_, buffer_ + start_, length_);
    start_ = 0;
  }
  return kStatusOk;
}

int ByteQueue::SetTerminator(const void* bytes, unsigned length) {
  std::free(terminator_);
  terminator_ = nullptr;
  terminatorLength_ = 0;
  if (length == 0 || bytes == nullptr) return kDone;
  char* copy = AllocationFaultInjected() ? nullptr : static_cast<char*>(std::malloc(size_t{length} + 1));
  if (copy == nullptr) return kNotDone;
  std::memcpy(copy, bytes, length);
  copy[length] = 0;
  terminator_ = copy;
  terminatorLength_ = length;
  return kDone;
}

int ByteQueue::SetLineMode(int on) {
  pendingByte_ = 0;
  lineMode_ = on != 0;
  return lineMode_ ? SetTerminator("\r\n", 2) : SetTerminator(nullptr, 0);
}

int ByteQueue::GetTerminator(char** bytes, int* length) const {
  *bytes = terminator_ != nullptr ? terminator_ : kNoBytes;
  *length = terminator_ != nullptr ? static_cast<int>(terminatorLength_) : 0;
  return kStatusOk;
}

int ByteQueue::Append(const void* bytes, unsigned n) {
  if (n == 0) return kDone;
  if (FreeSpace() < n) return kNotDone;
  if (TailSpace() < n) Compact();
  // The bytes may come from this queue's own free space (a proxy's reply read
  // in place), so the copy must allow overlap.
  std::memmove(buffer_ + start_ + length_, bytes, n);
  length_ += n;
  return kDone;
}

int ByteQueue::GetWriteSpan(char** at, unsigned* size) {
  if (FreeSpace() == 0 || TailSpace() == 0) Compact();
  const unsigned wanted = *size;
  if (wanted <= FreeSpace() && FreeSpace() != 0) {
    if (wanted > TailSpace()) Compact();
    *at = buffer_ + start_ + length_;
    *size = TailSpace();
    return *size != 0 ? kDone : kNotDone;
  }
  Compact();
  *at = buffer_ != nullptr ? buffer_ + start_ + length_ : kNoBytes;
  *size = FreeSpace();
  return kNotDone;
}

int ByteQueue::CommitWrite(unsigned n) {
  if (n > FreeSpace() || n > TailSpace()) return kNotDone;
  length_ += n;
  return kDone;
}

void ByteQueue::Consume(unsigned n) {
  start_ += n;
  length_ -= n;
  if (length_ == 0) start_ = 0;
}

int ByteQueue::ReadRecord(char** out, unsigned* n) {
  if (terminator_ == nullptr) {
    *n = 0;
    return ReadAvailable(out, n);
  }
  if (lineMode_) return ReadLine(out, n);
  return ReadTerminated(out, n);
}

int ByteQueue::ReadRecord(char*& out, int& n) {
  unsigned count = 0;
  int result = ReadRecord(&out, &count);
  n = static_cast<int>(count);
  return result;
}

int ByteQueue::ReadTerminated(char** out, unsigned* n) {
  const int at = Find(buffer_ + start_, length_, terminator_, terminatorLength_);
  if (at < 0) {
    Compact();
    *out = nullptr;
    *n = 0;
    return kNotDone;
  }
  *out = buffer_ + start_;
  *n = static_cast<unsigned>(at);
  Consume(static_cast<unsigned>(at) + terminatorLength_);
  return kDone;
}

int ByteQueue::ReadLine(char** out, unsigned* n) {
  if (length_ == 0) return kNotDone;
  if (pendingByte_ != 0 && buffer_[start_] == static_cast<char>(pendingByte_)) {
    Consume(1);
    pendingByte_ = 0;
    if (length_ == 0) return kNotDone;
  }
  // Any line end seen from here on settles the pending partner.
  pendingByte_ = 0;
  char* first = buffer_ + start_;
  unsigned i = 0;
  while (i < length_ && first[i] != kCr && first[i] != kLf) ++i;
  if (i == length_) {
    Compact();
    return kNotDone;
  }
  *out = first;
  *n = i;
  unsigned used = i + 1;
  if (i + 1 < length_) {
    if (first[i] + first[i + 1] == kCr + kLf) ++used;
  } else {
    pendingByte_ = first[i] == kCr ? kLf : kCr;
  }
  Consume(used);
  return kDone;
}

int ByteQueue::ReadAvailable(char** out, unsigned* n) {
  if (length_ == 0) {
    *out = kNoBytes;
    *n = 0;
    return kNotDone;
  }
  const unsigned count = (*n == 0 || *n > length_) ? length_ : *n;
  *out = buffer_ + start_;
  *n = count;
  Consume(count);
  return kDone;
}

int ByteQueue::Find(const void* data, unsigned length, const void* pattern, unsigned patternLength) {
  if (patternLength == 0 || length < patternLength || data == nullptr || pattern == nullptr) return kNotFound;
  const char* d = static_cast<const char*>(data);
  const char* p = static_cast<const char*>(pattern);
  for (unsigned i = 0; i + patternLength <= length;) {
    const void* hit = std::memchr(d + i, p[0], length - patternLength - i + 1);
    if (hit == nullptr) return kNotFound;
    i = static_cast<unsigned>(static_cast<const char*>(hit) - d);
    if (std::memcmp(d + i, p, patternLength) == 0) return static_cast<int>(i);
    ++i;
  }
  return kNotFound;
}

}  // namespace tornell
