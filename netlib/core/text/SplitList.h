#pragma once
// Comma- or semicolon-separated setting lists ("a, b,,c") as a list of items.
#include <cstring>

#include "core/text/StringList.h"

namespace tornell {

// Appends each item of the text between delimiters, spaces trimmed from both
// ends, to out; empty items are dropped and out is not emptied first. Null
// counts as an empty text. Returns 0 or 200.
[[nodiscard]] int SplitList(const char* text, char delimiter, StringList& out);

// Hands each item of the `length` bytes at text, split as SplitList splits,
// to `visit(item, length)` in place, without copying; stops at the first
// non-zero answer and returns it.
template <typename Visit>
[[nodiscard]] int ForEachListItemIn(const char* text, int length, char delimiter, Visit&& visit) {
  const char* end = text + length;
  for (const char* start = text; start <= end;) {
    const char* stop = static_cast<const char*>(std::memchr(start, delimiter, static_cast<size_t>(end - start)));
    if (stop == nullptr) stop = end;
    const char* first = start;
    const char* last = stop;
    while (first < last && *first == ' ') ++first;
    while (last > first && last[-1] == ' ') --last;
    if (last > first) {
      const int answer = visit(first, static_cast<int>(last - first));
      if (answer != 0) return answer;
    }
    start = stop + 1;
  }
  return 0;
}

// ForEachListItemIn over a null-terminated text; null counts as empty.
template <typename Visit>
[[nodiscard]] int ForEachListItem(const char* text, char delimiter, Visit&& visit) {
  if (text == nullptr) return 0;
  return ForEachListItemIn(text, static_cast<int>(std::strlen(text)), delimiter, static_cast<Visit&&>(visit));
}

}  // namespace tornell
