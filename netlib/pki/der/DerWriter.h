#pragma once
// DER output buffer with a stack of open constructed elements, and readers of
// the n-th top-level element of its buffer.
#include <cstddef>
#include <cstdint>

#include "core/text/ByteString.h"
#include "pki/der/DerStatus.h"

namespace tornell::pki {

class DerWriter {
 public:
  DerWriter() = default;
  DerWriter(const DerWriter&) = delete;
  DerWriter& operator=(const DerWriter&) = delete;

  // The bytes written so far; callers read it and append ready encodings to it.
  ByteString output;

  [[nodiscard]] int AppendHeader(int tag, size_t length);
  // length -1: the length of the NUL-terminated text.
  [[nodiscard]] int AppendPrimitive(const void* data, int length, int tag);
  [[nodiscard]] int AppendTagged(const void* data, int length, int tag) { return AppendPrimitive(data, length, tag); }
  [[nodiscard]] int AppendInteger(int64_t value, int tag = 0x02);
  [[nodiscard]] int AppendUnsigned(uint64_t value, int tag = 0x02);
  [[nodiscard]] int AppendUnsigned64(const uint32_t words[2], int tag = 0x02);
  // Big-endian bytes as an INTEGER, 0x00 in front when two or more bytes start with the top bit.
  [[nodiscard]] int AppendIntegerBytes(const void* data, int length);
  [[nodiscard]] int AppendBitString(const void* data, int length, int tag = 0x03);
  [[nodiscard]] int AppendBoolean(int value, int tag = 0x01);
  [[nodiscard]] int AppendNull(int tag = 0x05);
  [[nodiscard]] int AppendOid(const char* text, int tag = 0x06);

  [[nodiscard]] int Open(int tag);
  [[nodiscard]] int OpenSequence() { return Open(0x30); }
  [[nodiscard]] int OpenSet() { return Open(0x31); }
  [[nodiscard]] int OpenOctetString() { return Open(0x24); }
  // The stack, not the tag, decides which element is closed.
  [[nodiscard]] int Close(int indefinite = 0);
  [[nodiscard]] int CloseSequence(int indefinite = 0) { return Close(indefinite); }
  [[nodiscard]] int CloseSet(int indefinite = 0) { return Close(indefinite); }
  [[nodiscard]] int CloseOctetString(int indefinite = 0) { return Close(indefinite); }

  [[nodiscard]] int WrapAll(int tag);
  [[nodiscard]] int WrapAllMinimal(int tag);
  [[nodiscard]] int Unwrap(int* tagOut);

  [[nodiscard]] int ReadElement(int n, ByteString& out, int* tagOut = nullptr) const;
  [[nodiscard]] int ReadString(int n, ByteString& out, int* tagOut = nullptr) const { return ReadElement(n, out, tagOut); }
  [[nodiscard]] int ReadInt(int n, int& out, int* tagOut = nullptr) const;
  [[nodiscard]] int ReadInt64(int n, int64_t& out, int* tagOut = nullptr) const;
  [[nodiscard]] int ReadUnsigned(int n, uint64_t& out, int* tagOut = nullptr) const;
  [[nodiscard]] int ReadUnsigned64(int n, uint32_t words[2], int* tagOut = nullptr) const;
  [[nodiscard]] int ReadOid(int n, ByteString& text, int* tagOut = nullptr) const;
  [[nodiscard]] int ReadBitString(int n, ByteString& out, int* bitCountOut = nullptr, int* tagOut = nullptr) const;
  [[nodiscard]] int ReadIntegerBytes(int n, ByteString& out) const;
  // Total length of the first element, 0 when it is incomplete.
  size_t FirstElementLength() const;

  int OpenCount() const { return stack_.Length() / static_cast<int>(sizeof(int32_t)); }

 private:
  // Element n of the output from the position given: its start and total length.
  [[nodiscard]] int Locate(int n, size_t skip, const uint8_t*& at, size_t& length) const;
  // Reserves room, lets write fill it and cuts the output to what was written.
  template <typename Write>
  [[nodiscard]] int Emit(size_t room, Write write);

  ByteString stack_;
};

}  // namespace tornell::pki
