#include "core/text/SplitList.h"

namespace tornell {

int SplitList(const char* text, char delimiter, StringList& out) {
  return ForEachListItem(text, delimiter, [&out](const char* item, int length) { return out.Add(item, length); });
}

}  // namespace tornell
