#pragma once
// Bounded reads of one handshake message body: every read past the body's
// end fails and marks the reader, so a truncated or overlong field ends the
// message with decode_error instead of reading zeros.
#include "core/buffer/WireBuffer.h"
#include "core/text/ByteString.h"

namespace tornell::tls {

class MessageReader {
 public:
  // Reads from the buffer's position up to `length` bytes further.
  MessageReader(WireBuffer& in, int length) : in_(in), end_(in.Position() + length) {
    if (length < 0 || end_ > in.Length()) {
      bad_ = true;
      end_ = in.Position();
    }
  }

  bool Bad() const { return bad_; }
  int Left() const { return end_ - in_.Position(); }
  bool AtEnd() const { return !bad_ && Left() == 0; }
  int Position() const { return in_.Position(); }
  const char* At(int position) const { return in_.Data() + position; }

  // A big-endian value of 1 to 3 bytes; 0 after a failure.
  int Value(int width) {
    if (bad_ || width < 1 || width > 3 || Left() < width) return Fail();
    // Read in place: the bounds are checked above, and a get per byte costs more than the byte.
    const auto* at = reinterpret_cast<const unsigned char*>(in_.Data()) + in_.Position();
    int value = 0;
    for (int i = 0; i < width; ++i) value = (value << 8) | at[i];
    in_.SetPosition(in_.Position() + width);
    return value;
  }
  int U8() { return Value(1); }
  int U16() { return Value(2); }
  int U24() { return Value(3); }
  bool Bytes(int n, ByteString& out) {
    if (bad_ || n < 0 || Left() < n) {
      Fail();
      return false;
    }
    if (out.Set(in_.Data() + in_.Position(), n) != 0) return Fail() != 0;
    in_.Skip(n);
    return true;
  }
  // A field preceded by its length in `width` bytes.
  bool Vector(int width, ByteString& out) {
    const int n = Value(width);
    return !bad_ && Bytes(n, out);
  }
  bool Skip(int n) {
    if (bad_ || n < 0 || Left() < n) return Fail() != 0;
    in_.Skip(n);
    return true;
  }

 private:
  int Fail() {
    bad_ = true;
    return 0;
  }

  WireBuffer& in_;
  int end_;
  bool bad_ = false;
};

}  // namespace tornell::tls
