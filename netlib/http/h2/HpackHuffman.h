#pragma once
// The Huffman code of RFC 7541 Appendix B: all 256 byte values and EOS.
#include <cstdint>

#include "core/text/ByteString.h"

namespace tornell {

class HpackHuffman {
 public:
  static constexpr int kSymbolCount = 257;  // bytes 0 to 255 and EOS
  static constexpr int kEos = 256;

  static int Count() { return kSymbolCount; }
  // Code of symbol i, right-aligned, and its length in bits (5 to 30).
  static uint32_t Code(int i);
  static int CodeLength(int i);
  static int Symbol(int i) { return i; }

  // Length in bytes of the coded bytes, padding included.
  static int64_t EncodedLength(const void* data, int length);
  // Appends the code of every byte, the last byte filled with 1 bits.
  [[nodiscard]] static int Encode(const void* data, int length, ByteString& out);
  // Appends the decoded bytes. EOS inside the string, padding longer than
  // 7 bits or padding that is not all 1 bits is a compression error.
  [[nodiscard]] static int Decode(const void* data, int length, ByteString& out);
};

}  // namespace tornell
