#pragma once
// Fixed-capacity receive queue: the socket reads straight into it, and records
// (everything stored, up to a terminator, or a line) are handed out in place.
#include <cstdint>

#include "core/base/StatusCodes.h"

namespace tornell {

// Most members answer kDone (1) or kNotDone (0): whether the step happened.
class ByteQueue {
 public:
  ByteQueue() { Reset(); }
  ~ByteQueue() { Release(); }
  ByteQueue(const ByteQueue&) = delete;
  ByteQueue& operator=(const ByteQueue&) = delete;

  int Reset();
  int Release();
  [[nodiscard]] int Allocate(unsigned capacity);
  int Clear();
  int Compact();

  [[nodiscard]] int SetTerminator(const void* bytes, unsigned length);
  int SetLineMode(int on);
  int IsLineMode() const { return lineMode_; }
  int GetTerminator(char** bytes, int* length) const;
  unsigned TerminatorLength() const { return terminator_ != nullptr ? terminatorLength_ : 0; }

  [[nodiscard]] int Append(const void* bytes, unsigned n);
  int GetWriteSpan(char** at, unsigned* size);
  [[nodiscard]] int CommitWrite(unsigned n);

  int ReadRecord(char** out, unsigned* n);
  int ReadRecord(char*& out, int& n);
  int ReadLine(char** out, unsigned* n);
  int ReadAvailable(char** out, unsigned* n);
  static int Find(const void* data, unsigned length, const void* pattern, unsigned patternLength);

  unsigned Capacity() const { return capacity_; }
  unsigned Length() const { return length_; }
  unsigned FreeSpace() const { return capacity_ - length_; }
  unsigned TailSpace() const { return capacity_ - length_ - start_; }

 private:
  void Consume(unsigned n);
  int ReadTerminated(char** out, unsigned* n);

  char* buffer_ = nullptr;
  unsigned capacity_ = 0;
  unsigned start_ = 0;
  unsigned length_ = 0;
  char* terminator_ = nullptr;
  unsigned terminatorLength_ = 0;
  unsigned char lineMode_ = 0;
  unsigned char pendingByte_ = 0;
};

}  // namespace tornell
