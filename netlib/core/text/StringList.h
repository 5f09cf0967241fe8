#pragma once
// Indexed list of byte strings packed into one buffer: each entry is a 3-byte
// big-endian length, the bytes and a NUL, so entries read in place as C strings.
#include <cstdint>

#include "core/text/ByteString.h"

namespace tornell {

class StringList {
 public:
  static constexpr int kMaxEntry = 0xFFFFFF;

  StringList() = default;
  StringList(const StringList&) = delete;
  StringList& operator=(const StringList&) = delete;

  int Clear();
  int Count() const { return count_; }
  [[nodiscard]] int Assign(const StringList& other);

  [[nodiscard]] int Add(const char* text);
  // A negative length counts as 0; a null source gives zero bytes.
  [[nodiscard]] int Add(const void* bytes, int length);
  [[nodiscard]] int AddInt(long value);      // "%d" of the low 32 bits
  [[nodiscard]] int AddInt64(long value);    // "%lld"

  // Entry i (NUL-terminated, valid until the list changes); "" out of range.
  const char* Get(int i) const;
  int EntryLength(int i) const;
  int64_t GetLong(int i) const;
  int64_t GetInt64(int i) const;

  [[nodiscard]] int Set(int i, const char* text);
  [[nodiscard]] int Set(int i, const void* bytes, int length);
  [[nodiscard]] int SetInt(int i, long value);
  [[nodiscard]] int SetInt64(int i, long value);

  [[nodiscard]] int AppendToLast(const char* text);
  [[nodiscard]] int SetCount(int n);
  [[nodiscard]] int RemoveLast();
  [[nodiscard]] int RemoveAt(int i);
  int IndexOf(const char* text, int start) const;

  static int ReadLength24(const void* at);
  // Writes an entry at offset of the data, which must already be long enough.
  void WriteEntry(int offset, const void* bytes, int length);

  // The packed entries, for callers that hand the whole list on.
  const ByteString& RawData() const { return data_; }

 private:
  int OffsetOf(int i) const;  // offset of entry i, walking from the start

  int count_ = 0;
  ByteString data_;
};

}  // namespace tornell
