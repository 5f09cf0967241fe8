#include "core/text/SplitList.h"

namespace tornell {

int SplitList(const char* text, char delimiter, StringList& list) {
  if (text == nullptr) return 0;
  const char* at = text;
  for (;;) {
    const char* end = at;
    while (*end != '\0' && *end != delimiter) ++end;
    const char* first = at;
    const char* last = end;
    while (first < last && *first == ' ') ++first;
    while (last > first && last[-1] == ' ') --last;
    if (last > first) {
      if (const int status = list.Add(first, static_cast<int>(last - first)); status != 0) return status;
    }
    if (*end == '\0') return 0;
    at = end + 1;
  }
}

}  // namespace tornell
