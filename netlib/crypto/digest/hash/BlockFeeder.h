#pragma once
// The buffering shared by every block digest: bytes are gathered into a
// partial block, and whole blocks are compressed straight from the caller's
// memory so that long messages are never copied.
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace tornell::digestbytes {

// `held` bytes are already waiting in `buffer` (held < blockSize). Calls
// compress(blockPointer, blockCount) for every completed block and leaves the
// remainder at the start of `buffer`; returns the new number of held bytes.
template <class Compress>
inline size_t FeedBlocks(unsigned char* buffer, size_t held, size_t blockSize,
                         const unsigned char* data, size_t length, Compress&& compress) {
  if (length < blockSize - held) {
    std::memcpy(buffer + held, data, length);
    return held + length;
  }
  if (held > 0) {
    size_t take = blockSize - held;
    std::memcpy(buffer + held, data, take);
    compress(buffer, size_t{1});
    data += take;
    length -= take;
  }
  size_t blocks = length / blockSize;
  if (blocks > 0) compress(data, blocks);
  size_t rest = length - blocks * blockSize;
  std::memcpy(buffer, data + blocks * blockSize, rest);
  return rest;
}

// Counts a message of n more bytes into a bit count kept as two words, the
// low word carrying into the high one.
template <class Word>
inline void AddBitCount(Word& high, Word& low, uint32_t n) {
  const Word bits = static_cast<Word>(Word{n} << 3);
  low += bits;
  if (low < bits) ++high;
  high += static_cast<Word>(Word{n} >> (8 * sizeof(Word) - 3));
}

}  // namespace tornell::digestbytes
