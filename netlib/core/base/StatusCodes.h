#pragma once
// Status codes of the core types. Every operation returns an int, 0 for success.

namespace tornell {

constexpr int kStatusOk = 0;
constexpr int kStatusNoMemory = 200;       // allocation failed; the object keeps its content
constexpr int kStatusIndexRange = 432;     // index out of range
constexpr int kStatusListEmpty = 433;      // removal from an empty list
constexpr int kStatusBadUtf16 = 434;       // text that cannot be converted
constexpr int kStatusWireShort = 1080;     // too few bytes left in a wire buffer

}  // namespace tornell
