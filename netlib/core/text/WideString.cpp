#include "core/text/WideString.h"

#include <cstring>

namespace tornell {

namespace {
void Widen(char* out, const char* text, int units) {
  for (int i = 0; i < units; ++i) {
    out[2 * i] = text[i];
    out[2 * i + 1] = 0;
  }
}
}  // namespace

int WideString::NarrowToUtf16(int codePage, int flags, const char* text, int length, void* out,
                              int capacity) {
  (void)codePage;
  (void)flags;
  if (text == nullptr) text = "";
  if (length < 1) length = static_cast<int>(std::strlen(text));
  if (capacity < 1) return length;
  if (capacity < length || out == nullptr) return 0;
  Widen(static_cast<char*>(out), text, length);
  return length;
}

const char* WideString::GetUtf16(int codePage) {
  (void)codePage;
  const int units = text_.Length();
  if (units == 0) {
    utf16_.Clear();
    return kEmptyText;
  }
  if (units > INT_MAX / 2 - 1 || utf16_.Resize(units * 2 + 2) != kStatusOk) return kEmptyText;
  char* out = utf16_.Data();
  Widen(out, text_.Data(), units);
  out[units * 2] = 0;
  out[units * 2 + 1] = 0;
  return out;
}

int WideString::SetUtf16FromNarrow(const char* text, int codePage) {
  (void)codePage;
  if (text == nullptr) text = "";
  const size_t length = std::strlen(text);
  if (length == 0) return kStatusBadUtf16;
  if (length > static_cast<size_t>(INT_MAX / 2 - 1)) return kStatusNoMemory;
  const int units = static_cast<int>(length);
  // Widened aside first: the text may be this object's own.
  ByteString wide;
  int status = wide.Resize((units + 1) * 2);
  if (status != kStatusOk) return status;
  Widen(wide.Data(), text, units);
  status = wide.Resize(units * 2);
  if (status != kStatusOk) return status;
  return text_.Assign(wide);
}

}  // namespace tornell
