#pragma once
// Status codes of the JSON parser and its containers.

namespace tornell::pki {

constexpr int kJsonNoMemory = 200;          // a tree node or a name could not be stored
constexpr int kJsonInvalidPath = 207;       // "Invalid JSONPath."
constexpr int kJsonStackMemory = 10000;     // the container stack or token buffer cannot grow
constexpr int kJsonInvalidMarkup = 10232;   // "Invalid JSON markup."
constexpr int kJsonInvalidXPath = 10233;    // "Invalid XPath."
constexpr int kJsonNoTree = 10234;          // no document tree to select in

}  // namespace tornell::pki
