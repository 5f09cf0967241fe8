#pragma once
// Word loads and stores for the digest code. Loads go through memcpy so that
// unaligned input is fine, and swap only on hosts whose order differs.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>


namespace tornell::digestbytes {

inline uint32_t Swap32(uint32_t v) { return __builtin_bswap32(v); }
inline uint64_t Swap64(uint64_t v) { return __builtin_bswap64(v); }

inline uint32_t LoadLe32(const unsigned char* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return std::endian::native == std::endian::little ? v : Swap32(v);
}
inline uint32_t LoadBe32(const unsigned char* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return std::endian::native == std::endian::big ? v : Swap32(v);
}
inline uint64_t LoadLe64(const unsigned char* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return std::endian::native == std::endian::little ? v : Swap64(v);
}
inline uint64_t LoadBe64(const unsigned char* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return std::endian::native == std::endian::big ? v : Swap64(v);
}
inline void StoreLe32(unsigned char* p, uint32_t v) {
  if (std::endian::native != std::endian::little) v = Swap32(v);
  std::memcpy(p, &v, 4);
}
inline void StoreBe32(unsigned char* p, uint32_t v) {
  if (std::endian::native != std::endian::big) v = Swap32(v);
  std::memcpy(p, &v, 4);
}
inline void StoreLe64(unsigned char* p, uint64_t v) {
  if (std::endian::native != std::endian::little) v = Swap64(v);
  std::memcpy(p, &v, 8);
}
inline void StoreBe64(unsigned char* p, uint64_t v) {
  if (std::endian::native != std::endian::big) v = Swap64(v);
  std::memcpy(p, &v, 8);
}

inline const unsigned char* Bytes(const char* p) {
  return reinterpret_cast<const unsigned char*>(p);
}

// 0x80 and zeros: the padding that MD5 and the SHA-2 family feed before the
// length field.
inline constexpr char kMdPadding[128] = {static_cast<char>(0x80)};

// Padding bytes that bring `index` bytes of a block to the start of the
// length field at `lengthAt` (in the next block when the field no longer fits).
inline int MdPadLength(unsigned index, unsigned lengthAt, unsigned blockBytes) {
  return static_cast<int>(index < lengthAt ? lengthAt - index : blockBytes + lengthAt - index);
}

}  // namespace tornell::digestbytes
