#include "core/text/SplitList.h"

#include <cstring>

#include "core/base/Status.h"

namespace tornell {

[[nodiscard]] int SplitList(const char* text, char delimiter, StringList& out) {
  if (text == nullptr) return kStatusOk;
  const char* end = text + std::strlen(text);
  for (const char* start = text; start <= end;) {
    const char* stop = static_cast<const char*>(std::memchr(start, delimiter, static_cast<size_t>(end - start)));
    if (stop == nullptr) stop = end;
    const char* first = start;
    const char* last = stop;
    while (first < last && *first == ' ') ++first;
    while (last > first && last[-1] == ' ') --last;
    if (last > first) TORNELL_TRY(out.Add(first, static_cast<int>(last - first)));
    start = stop + 1;
  }
  return kStatusOk;
}

}  // namespace tornell
