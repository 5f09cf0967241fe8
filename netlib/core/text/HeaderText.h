#pragma once
// Message-header text: field split, folding with RFC 2047 encoded words,
// unfolding with decoding, and dot-stuffing.

#include "core/text/ByteString.h"

namespace tornell {

class HeaderText : public ByteString {
 public:
  // Cuts the content at the field's colon (outside double quotes): afterwards
  // the content reads as the name and the result is the value. A line that
  // starts with a blank or control byte is a continuation: empty name. Null
  // for an empty string.
  char* SplitField();

  static int HasEightBitBytes(const char* text);
  static int HasEightBitBytes(const char* bytes, int length);

  // Folds at the first blank at or past width bytes into the line; width 0
  // copies the bytes unchanged. CR and LF become spaces.
  [[nodiscard]] int FoldPlain(const char* bytes, int length, int width);
  // As FoldPlain, but words holding 8-bit bytes become B encoded words of the
  // charset (plain folding when the charset is empty or the text is 7-bit).
  [[nodiscard]] int Fold(const char* text, int width, const char* charset);
  [[nodiscard]] int Fold(const char* bytes, int length, int width, const char* charset);
  [[nodiscard]] int AppendEncodedWords(const char* bytes, int length, const char* charset);

  // Removes CR LF folds, then decodes the encoded words.
  [[nodiscard]] int Unfold(const char* text);
  [[nodiscard]] int Unfold(const char* bytes, int length);

  static int CountLineStartDots(const char* bytes, int length);
  [[nodiscard]] int AppendDotStuffed(const char* text);
  [[nodiscard]] int AppendDotStuffed(const char* bytes, int length);
  [[nodiscard]] int SetDotStuffed(const char* text);
  [[nodiscard]] int SetDotStuffed(const char* bytes, int length);
};

}  // namespace tornell
