#include "core/text/StringTokenizer.h"

#include <cstring>

namespace tornell {

namespace {
char kNoToken[1] = {0};
}

void StringTokenizer::Reset() {
  position_ = 0;
  text_.Clear();
  static_cast<void>(delimiters_.Set(" \r\n\t"));  // fits the inline buffer: cannot fail
}

int StringTokenizer::Start(const char* text, const char* delimiters) {
  if (text == nullptr) text = "";
  const size_t n = std::strlen(text);
  if (n > static_cast<size_t>(INT_MAX)) return kStatusNoMemory;
  return Start(text, static_cast<int>(n), delimiters);
}

int StringTokenizer::Start(const void* bytes, int length, const char* delimiters) {
  Reset();
  int status = text_.Set(bytes, length);
  if (status != kStatusOk) return status;
  return delimiters_.Set(delimiters);
}

bool StringTokenizer::IsDelimiter(char c) const {
  return std::memchr(delimiters_.Data(), c, static_cast<size_t>(delimiters_.Length())) != nullptr;
}

char* StringTokenizer::NextToken() {
  const int length = text_.Length();
  char* text = text_.Data();
  while (position_ < length && IsDelimiter(text[position_])) ++position_;
  if (position_ >= length) return kNoToken;
  char* token = text + position_;
  while (position_ < length) {
    if (IsDelimiter(text[position_])) {
      text[position_++] = '\0';
      return token;
    }
    ++position_;
  }
  return token;
}

}  // namespace tornell
