#pragma once
// Constant-time building blocks: every comparison, selection and conditional
// copy on secret data goes through these. A mask is all ones (true) or all
// zeros (false); nothing here branches on or indexes by its arguments.
// ValueBarrier hides a value from the optimiser, so that mask arithmetic is not
// turned back into a branch.
#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace tornell::ct {

template <class T>
inline T ValueBarrier(T value) {
  static_assert(std::is_unsigned_v<T>, "masks are unsigned");
  __asm__("" : "+r"(value));
  return value;
}

// All ones when bit is 1, zero when 0 (bit must be 0 or 1).
template <class T>
inline T MaskFromBit(T bit) {
  return T(T(0) - ValueBarrier(bit));
}

template <class T>
inline T IsZero(T x) {
  static_assert(std::is_unsigned_v<T>, "masks are unsigned");
  // The top bit of ~x & (x - 1) is set only for x = 0.
  const T t = T(T(~x) & T(x - 1));
  return MaskFromBit(T(t >> (sizeof(T) * 8 - 1)));
}

template <class T>
inline T IsNonZero(T x) {
  return T(~IsZero(x));
}

template <class T>
inline T Equal(T a, T b) {
  return IsZero(T(a ^ b));
}

// All ones when a < b (unsigned).
template <class T>
inline T LessThan(T a, T b) {
  static_assert(std::is_unsigned_v<T>, "masks are unsigned");
  // The borrow out of a - b, computed without a comparison.
  const T diff = T(a - b);
  const T borrow = T(T(T(~a) & b) | T(T(~T(a ^ b)) & diff));
  return MaskFromBit(T(borrow >> (sizeof(T) * 8 - 1)));
}

template <class T>
inline T GreaterOrEqual(T a, T b) {
  return T(~LessThan(a, b));
}

// mask ? a : b
template <class T>
inline T Select(T mask, T a, T b) {
  return T(b ^ (mask & (a ^ b)));
}

// When mask is all ones, copies length bytes from src to dst.
inline void CondCopy(uint8_t mask, uint8_t* dst, const uint8_t* src, size_t length) {
  for (size_t i = 0; i < length; ++i) dst[i] = Select<uint8_t>(mask, src[i], dst[i]);
}

// When mask is all ones, swaps the two arrays.
template <class T>
inline void CondSwap(T mask, T* a, T* b, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    const T t = mask & (a[i] ^ b[i]);
    a[i] ^= t;
    b[i] ^= t;
  }
}

// All ones when the two byte arrays are equal; time depends on length only.
inline uint8_t BytesEqualMask(const void* a, const void* b, size_t length) {
  const uint8_t* x = static_cast<const uint8_t*>(a);
  const uint8_t* y = static_cast<const uint8_t*>(b);
  uint8_t diff = 0;
  for (size_t i = 0; i < length; ++i) diff |= uint8_t(x[i] ^ y[i]);
  return IsZero(diff);
}

// Tags, MACs and padding checks: the time does not tell how many leading
// bytes were right.
inline bool BytesEqual(const void* a, const void* b, size_t length) {
  return BytesEqualMask(a, b, length) != 0;
}

}  // namespace tornell::ct
