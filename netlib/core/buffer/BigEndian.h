#pragma once
// Integers on every wire the library speaks are big-endian.
#include <cstdint>

namespace tornell {

class BigEndian {
 public:
  // Stores the low count bytes of value at start, most significant first.
  static void Write(uint64_t value, void* buffer, int start, int count);
  // Reads min(count, 4, length - start) bytes from start, most significant first.
  static uint32_t Read(const void* buffer, int length, int start, int count);

  // The names some callers use.
  static void PutUint(uint64_t value, void* buffer, int start, int count) {
    Write(value, buffer, start, count);
  }
  static uint32_t GetUint(const void* buffer, int length, int start, int count) {
    return Read(buffer, length, start, count);
  }
};

}  // namespace tornell
