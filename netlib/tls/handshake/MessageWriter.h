#pragma once
// Writes the fields of a handshake message through a small array that goes
// to the message in blocks: a put on the message per field costs more than
// the field. Lengths are reserved and written once their contents are in.
// The first failure is kept and every later write does nothing.
#include <cstdint>
#include <cstring>

#include "core/base/Status.h"
#include "core/buffer/WireBuffer.h"
#include "core/text/ByteString.h"
#include "tls/suites/CodeList.h"

namespace tornell::tls {

class MessageWriter {
 public:
  explicit MessageWriter(WireBuffer& out) : out_(out), base_(out.Length()) {}
  MessageWriter(const MessageWriter&) = delete;
  MessageWriter& operator=(const MessageWriter&) = delete;

  // The offset in the message the next byte goes to.
  int Offset() const { return base_ + count_; }

  void U8(int value) {
    uint8_t* at = Room(1);
    if (at != nullptr) at[0] = uint8_t(value);
  }
  void U16(int value) {
    uint8_t* at = Room(2);
    if (at == nullptr) return;
    at[0] = uint8_t(value >> 8);
    at[1] = uint8_t(value);
  }
  void U24(int value) {
    uint8_t* at = Room(3);
    if (at == nullptr) return;
    at[0] = uint8_t(value >> 16);
    at[1] = uint8_t(value >> 8);
    at[2] = uint8_t(value);
  }
  void Bytes(const void* bytes, int length) {
    if (length <= 0) return;
    if (length <= kStaged) {
      uint8_t* at = Room(length);
      if (at != nullptr) std::memcpy(at, bytes, size_t(length));
      return;
    }
    Message();
    if (status_ == kStatusOk) status_ = out_.PutBytes(bytes, length);
    base_ = out_.Length();
  }
  void Bytes(const ByteString& bytes) { Bytes(bytes.Data(), bytes.Length()); }
  // Each code as two bytes.
  void Codes(const CodeList& codes) {
    const int n = codes.Count();
    if (2 * n > kStaged) {
      for (int i = 0; i < n; ++i) U16(codes.Get(i));
      return;
    }
    uint8_t* at = Room(2 * n);
    if (at == nullptr) return;
    for (int i = 0; i < n; ++i) {
      at[2 * i] = uint8_t(codes.Get(i) >> 8);
      at[2 * i + 1] = uint8_t(codes.Get(i));
    }
  }

  // A length of `width` (1 or 2) bytes, written by Close.
  int Open(int width) {
    const int at = Offset();
    width == 1 ? U8(0) : U16(0);
    return at;
  }
  // The length of what follows the one Open reserved at `at`.
  void Close(int at, int width) {
    const int n = Offset() - at - width;
    const uint8_t bytes[2] = {uint8_t(n >> 8), uint8_t(n)};
    const uint8_t* value = width == 1 ? bytes + 1 : bytes;
    if (at >= base_) {
      std::memcpy(staged_ + (at - base_), value, size_t(width));
    } else if (status_ == kStatusOk) {
      status_ = out_.WriteAt(value, at, width);
    }
  }
  // An extension's type and its reserved 2-byte length.
  int OpenExtension(int type) {
    U16(type);
    return Open(2);
  }
  void CloseExtension(int at) { Close(at, 2); }
  // An extension holding one list of 2-byte codes behind a length of `width` bytes.
  void CodeExtension(int type, int width, const CodeList& codes) {
    const int extension = OpenExtension(type);
    const int list = Open(width);
    Codes(codes);
    Close(list, width);
    CloseExtension(extension);
  }
  // Keeps the next `n` bytes written together in the array, so Drop can take them back.
  void Reserve(int n) {
    if (count_ + n > kStaged) Message();
  }
  // Takes back the last `n` bytes, which must still be in the array.
  void Drop(int n) {
    if (n <= count_) count_ -= n;
  }

  // Puts what is left; the first failure, or 0.
  [[nodiscard]] int Finish() {
    Message();
    return status_;
  }

 private:
  static constexpr int kStaged = 512;

  // Puts the array's bytes into the message; later bytes start a new array.
  void Message() {
    if (count_ > 0 && status_ == kStatusOk) status_ = out_.PutBytes(staged_, count_);
    count_ = 0;
    base_ = out_.Length();
  }

  uint8_t* Room(int n) {
    if (status_ != kStatusOk) return nullptr;
    if (count_ + n > kStaged) Message();
    if (status_ != kStatusOk) return nullptr;
    uint8_t* at = staged_ + count_;
    count_ += n;
    return at;
  }

  WireBuffer& out_;
  int base_;
  int count_ = 0;
  int status_ = kStatusOk;
  uint8_t staged_[kStaged];
};

}  // namespace tornell::tls
