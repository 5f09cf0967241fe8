#pragma once
// Splits a delimited list (TLS setting lists, connection and HTTP header
// lists) into a StringList.
#include "core/text/StringList.h"

namespace tornell {

// Appends the items of text between delimiters, each with spaces removed from
// both ends; empty items are dropped and `out` is not emptied first. 0 or 200.
[[nodiscard]] int SplitList(const char* text, char delimiter, StringList& out);

}  // namespace tornell
