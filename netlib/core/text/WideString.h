#pragma once
// A text with its UTF-16LE form, for protocols that want UTF-16 (NTLM) and for
// the entry points. Code pages are not applied: each byte becomes one unit.
#include "core/text/ByteString.h"

namespace tornell {

class WideString {
 public:
  WideString() = default;

  [[nodiscard]] int Set(const char* text) { return text_.Set(text); }
  [[nodiscard]] int Set(const char* text, int length) { return text_.Set(text, length); }
  [[nodiscard]] int SetNarrow(const char* text, int codePage) { (void)codePage; return text_.Set(text); }
  [[nodiscard]] int SetNarrow(const char* text, int length, int codePage) {
    (void)codePage;
    return text_.Set(text, length);
  }

  // Units needed with capacity below 1; 0 when capacity is too small; else the
  // units written (each byte and a zero byte). A length below 1 means strlen.
  static int NarrowToUtf16(int codePage, int flags, const char* text, int length, void* out,
                           int capacity);

  // The UTF-16LE form with two zero bytes after it; an empty text (or no
  // memory) gives a static empty text that is at least two zero bytes long.
  const char* GetUtf16(int codePage);
  // Bytes of the form GetUtf16 last built, without its terminator.
  int Utf16Length() const { return utf16_.Length() >= 2 ? utf16_.Length() - 2 : 0; }

  // The text becomes the UTF-16LE form of a C string: 434 when it is empty.
  [[nodiscard]] int SetUtf16FromNarrow(const char* text, int codePage);

  ByteString& Text() { return text_; }
  const ByteString& Text() const { return text_; }

 private:
  ByteString text_;
  ByteString utf16_;
};

}  // namespace tornell
