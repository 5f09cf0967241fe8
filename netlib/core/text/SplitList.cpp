#include "core/text/SplitList.h"

#include <cstring>

namespace tornell {

[[nodiscard]] int SplitList(const char* text, char delimiter, StringList& out) {
  if (text == nullptr) return kStatusOk;
  const char* at = text;
  for (;;) {
    const char* end = std::strchr(at, delimiter);
    if (end == nullptr) end = at + std::strlen(at);
    const char* first = at;
    const char* last = end;
    while (first < last && *first == ' ') ++first;
    while (last > first && last[-1] == ' ') --last;
    if (last > first) {
      const int status = out.Add(first, static_cast<int>(last - first));
      if (status != kStatusOk) return status;
    }
    if (*end == '\0') return kStatusOk;
    at = end + 1;
  }
}

}  // namespace tornell
