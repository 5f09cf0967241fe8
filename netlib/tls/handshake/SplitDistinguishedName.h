#pragma once
// Splits distinguished-name or alternative-name text at its unquoted,
// unescaped commas: "\," and the other escaped specials stand for
// themselves, "\4A" for the byte 0x4A, and text in double quotes (quotes
// dropped) keeps its commas. Each component is trimmed.
#include "core/text/StringList.h"

namespace tornell::tls {

// Appends the components of text to out; 0, or the status of the list.
[[nodiscard]] int SplitDistinguishedName(const char* text, StringList& out);

}  // namespace tornell::tls
