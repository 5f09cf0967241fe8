#pragma once
// Comma- or semicolon-separated setting lists ("a, b,,c") as a list of items.
#include "core/text/StringList.h"

namespace tornell {

// Appends each item of the text between delimiters, spaces trimmed from both
// ends, to out; empty items are dropped and out is not emptied first. Null
// counts as an empty text. Returns 0 or 200.
[[nodiscard]] int SplitList(const char* text, char delimiter, StringList& out);

}  // namespace tornell
