#pragma once
// The library's source of random bytes, drawn from the kernel's generator.
// Objects hold no state; any number of them behave the same.
#include <cstdint>

namespace tornell {

class RandomSource {
 public:
  RandomSource() = default;
  ~RandomSource() = default;

  // Fills buf[offset, offset + len); nothing for a null buffer or len <= 0.
  void Fill(uint8_t* buf, int offset, int len);
  // As Fill, with no byte of the range left zero.
  void FillNonZero(uint8_t* buf, int offset, int len);

  // The same over a string's characters.
  void Fill(char* buf, int offset, int len) { Fill(reinterpret_cast<uint8_t*>(buf), offset, len); }
  void FillNonZero(char* buf, int offset, int len) { FillNonZero(reinterpret_cast<uint8_t*>(buf), offset, len); }
};

}  // namespace tornell
