#pragma once
// Status codes of the core types. Every operation returns an int, 0 for success.

namespace tornell {

constexpr int kStatusOk = 0;
// A failure the error text explains: an unknown or refused setting, a wait error.
constexpr int kStatusFailed = -1;
constexpr int kStatusNegativeIndex = -1;   // insertion at a negative list index
constexpr int kStatusNoMemory = 200;       // allocation failed; the object keeps its content
constexpr int kStatusNotAvailable = 306;   // a facility this platform does not provide
constexpr int kStatusIndexRange = 432;     // index out of range
constexpr int kStatusListEmpty = 433;      // removal from an empty list
constexpr int kStatusBadUtf16 = 434;       // text that cannot be converted
constexpr int kStatusWireShort = 1080;     // too few bytes left in a wire buffer
constexpr int kStatusWireEnd = 1;          // nothing left to read from a wire buffer

// Index results of the searches (Find, IndexOf, ...) when nothing matches.
constexpr int kNotFound = -1;

// Yes/no results of the members that report whether a step happened
// (ByteQueue, the socket wait step) rather than a status.
constexpr int kDone = 1;
constexpr int kNotDone = 0;

}  // namespace tornell
