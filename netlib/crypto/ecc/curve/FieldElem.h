#pragma once
// Field elements in their working form: a fixed array of 32-bit words, the
// field's word count of them in use.
#include <cstdint>
#include <cstring>

namespace tornell {

constexpr int kFieldWords = 40;  // widest field the point code works in (1280 bits)

struct FieldElem {
  uint32_t w[kFieldWords];
};

// What the prime and binary fields share: the word count and the word-wise tests.
struct FieldWords {
  int k = 0;

  void SetWord(FieldElem& x, uint32_t v) const {
    std::memset(x.w, 0, sizeof(uint32_t) * k);
    x.w[0] = v;
  }
  // All ones when x is 0, found without a branch on x.
  uint32_t ZeroMask(const FieldElem& x) const {
    uint32_t acc = 0;
    for (int i = 0; i < k; ++i) acc |= x.w[i];
    return ((acc | (0u - acc)) >> 31) - 1u;
  }
  bool IsZero(const FieldElem& x) const { return ZeroMask(x) != 0; }
  bool Equal(const FieldElem& a, const FieldElem& b) const { return std::memcmp(a.w, b.w, sizeof(uint32_t) * k) == 0; }
};

}  // namespace tornell
