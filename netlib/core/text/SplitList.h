#pragma once
// Splits a delimited list into its items, each trimmed of spaces; empty items
// are dropped.
#include "core/text/StringList.h"

namespace tornell {

// Appends the items of the text to the list; 0, or 200 when memory runs out.
[[nodiscard]] int SplitList(const char* text, char delimiter, StringList& list);

}  // namespace tornell
