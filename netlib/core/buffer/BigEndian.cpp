#include "core/buffer/BigEndian.h"

namespace tornell {

void BigEndian::Write(uint64_t value, void* buffer, int start, int count) {
  unsigned char* out = static_cast<unsigned char*>(buffer) + start;
  for (int i = count - 1; i >= 0; --i) {
    out[i] = static_cast<unsigned char>(value);
    value >>= 8;
  }
}

uint32_t BigEndian::Read(const void* buffer, int length, int start, int count) {
  if (start < 0 || start >= length) return 0;
  int n = count < 4 ? count : 4;
  if (n > length - start) n = length - start;
  const unsigned char* in = static_cast<const unsigned char*>(buffer) + start;
  uint32_t value = 0;
  for (int i = 0; i < n; ++i) value = (value << 8) | in[i];
  return value;
}

}  // namespace tornell
