#pragma once
// Splits its own copy of a text at any byte of a delimiter set, handing out
// each token as a C string in place.
#include "core/text/ByteString.h"

namespace tornell {

class StringTokenizer {
 public:
  StringTokenizer() { Reset(); }

  [[nodiscard]] int Start(const char* text, const char* delimiters);
  [[nodiscard]] int Start(const void* bytes, int length, const char* delimiters);
  int HasMore() const { return position_ < text_.Length() ? 1 : 0; }
  // The next token (never null); an empty text once the tokens are used up.
  char* NextToken();

 private:
  void Reset();
  bool IsDelimiter(char c) const;

  ByteString text_;
  ByteString delimiters_;
  int position_ = 0;
};

}  // namespace tornell
