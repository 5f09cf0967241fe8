#include "http/h2/HpackHuffman.h"

#include <array>

#include "core/base/Status.h"
#include "http/h2/Http2Status.h"

namespace tornell {

namespace {

struct HuffmanCode {
  uint32_t code;
  int length;
};

constexpr HuffmanCode kCodes[HpackHuffman::kSymbolCount] = {
    {0x1ff8, 13}, {0x7fffd8, 23}, {0xfffffe2, 28}, {0xfffffe3, 28},
    {0xfffffe4, 28}, {0xfffffe5, 28}, {0xfffffe6, 28}, {0xfffffe7, 28},
    {0xfffffe8, 28}, {0xffffea, 24}, {0x3ffffffc, 30}, {0xfffffe9, 28},
    {0xfffffea, 28}, {0x3ffffffd, 30}, {0xfffffeb, 28}, {0xfffffec, 28},
    {0xfffffed, 28}, {0xfffffee, 28}, {0xfffffef, 28}, {0xffffff0, 28},
    {0xffffff1, 28}, {0xffffff2, 28}, {0x3ffffffe, 30}, {0xffffff3, 28},
    {0xffffff4, 28}, {0xffffff5, 28}, {0xffffff6, 28}, {0xffffff7, 28},
    {0xffffff8, 28}, {0xffffff9, 28}, {0xffffffa, 28}, {0xffffffb, 28},
    {0x14, 6}, {0x3f8, 10}, {0x3f9, 10}, {0xffa, 12},
    {0x1ff9, 13}, {0x15, 6}, {0xf8, 8}, {0x7fa, 11},
    {0x3fa, 10}, {0x3fb, 10}, {0xf9, 8}, {0x7fb, 11},
    {0xfa, 8}, {0x16, 6}, {0x17, 6}, {0x18, 6},
    {0x0, 5}, {0x1, 5}, {0x2, 5}, {0x19, 6},
    {0x1a, 6}, {0x1b, 6}, {0x1c, 6}, {0x1d, 6},
    {0x1e, 6}, {0x1f, 6}, {0x5c, 7}, {0xfb, 8},
    {0x7ffc, 15}, {0x20, 6}, {0xffb, 12}, {0x3fc, 10},
    {0x1ffa, 13}, {0x21, 6}, {0x5d, 7}, {0x5e, 7},
    {0x5f, 7}, {0x60, 7}, {0x61, 7}, {0x62, 7},
    {0x63, 7}, {0x64, 7}, {0x65, 7}, {0x66, 7},
    {0x67, 7}, {0x68, 7}, {0x69, 7}, {0x6a, 7},
    {0x6b, 7}, {0x6c, 7}, {0x6d, 7}, {0x6e, 7},
    {0x6f, 7}, {0x70, 7}, {0x71, 7}, {0x72, 7},
    {0xfc, 8}, {0x73, 7}, {0xfd, 8}, {0x1ffb, 13},
    {0x7fff0, 19}, {0x1ffc, 13}, {0x3ffc, 14}, {0x22, 6},
    {0x7ffd, 15}, {0x3, 5}, {0x23, 6}, {0x4, 5},
    {0x24, 6}, {0x5, 5}, {0x25, 6}, {0x26, 6},
    {0x27, 6}, {0x6, 5}, {0x74, 7}, {0x75, 7},
    {0x28, 6}, {0x29, 6}, {0x2a, 6}, {0x7, 5},
    {0x2b, 6}, {0x76, 7}, {0x2c, 6}, {0x8, 5},
    {0x9, 5}, {0x2d, 6}, {0x77, 7}, {0x78, 7},
    {0x79, 7}, {0x7a, 7}, {0x7b, 7}, {0x7ffe, 15},
    {0x7fc, 11}, {0x3ffd, 14}, {0x1ffd, 13}, {0xffffffc, 28},
    {0xfffe6, 20}, {0x3fffd2, 22}, {0xfffe7, 20}, {0xfffe8, 20},
    {0x3fffd3, 22}, {0x3fffd4, 22}, {0x3fffd5, 22}, {0x7fffd9, 23},
    {0x3fffd6, 22}, {0x7fffda, 23}, {0x7fffdb, 23}, {0x7fffdc, 23},
    {0x7fffdd, 23}, {0x7fffde, 23}, {0xffffeb, 24}, {0x7fffdf, 23},
    {0xffffec, 24}, {0xffffed, 24}, {0x3fffd7, 22}, {0x7fffe0, 23},
    {0xffffee, 24}, {0x7fffe1, 23}, {0x7fffe2, 23}, {0x7fffe3, 23},
    {0x7fffe4, 23}, {0x1fffdc, 21}, {0x3fffd8, 22}, {0x7fffe5, 23},
    {0x3fffd9, 22}, {0x7fffe6, 23}, {0x7fffe7, 23}, {0xffffef, 24},
    {0x3fffda, 22}, {0x1fffdd, 21}, {0xfffe9, 20}, {0x3fffdb, 22},
    {0x3fffdc, 22}, {0x7fffe8, 23}, {0x7fffe9, 23}, {0x1fffde, 21},
    {0x7fffea, 23}, {0x3fffdd, 22}, {0x3fffde, 22}, {0xfffff0, 24},
    {0x1fffdf, 21}, {0x3fffdf, 22}, {0x7fffeb, 23}, {0x7fffec, 23},
    {0x1fffe0, 21}, {0x1fffe1, 21}, {0x3fffe0, 22}, {0x1fffe2, 21},
    {0x7fffed, 23}, {0x3fffe1, 22}, {0x7fffee, 23}, {0x7fffef, 23},
    {0xfffea, 20}, {0x3fffe2, 22}, {0x3fffe3, 22}, {0x3fffe4, 22},
    {0x7ffff0, 23}, {0x3fffe5, 22}, {0x3fffe6, 22}, {0x7ffff1, 23},
    {0x3ffffe0, 26}, {0x3ffffe1, 26}, {0xfffeb, 20}, {0x7fff1, 19},
    {0x3fffe7, 22}, {0x7ffff2, 23}, {0x3fffe8, 22}, {0x1ffffec, 25},
    {0x3ffffe2, 26}, {0x3ffffe3, 26}, {0x3ffffe4, 26}, {0x7ffffde, 27},
    {0x7ffffdf, 27}, {0x3ffffe5, 26}, {0xfffff1, 24}, {0x1ffffed, 25},
    {0x7fff2, 19}, {0x1fffe3, 21}, {0x3ffffe6, 26}, {0x7ffffe0, 27},
    {0x7ffffe1, 27}, {0x3ffffe7, 26}, {0x7ffffe2, 27}, {0xfffff2, 24},
    {0x1fffe4, 21}, {0x1fffe5, 21}, {0x3ffffe8, 26}, {0x3ffffe9, 26},
    {0xffffffd, 28}, {0x7ffffe3, 27}, {0x7ffffe4, 27}, {0x7ffffe5, 27},
    {0xfffec, 20}, {0xfffff3, 24}, {0xfffed, 20}, {0x1fffe6, 21},
    {0x3fffe9, 22}, {0x1fffe7, 21}, {0x1fffe8, 21}, {0x7ffff3, 23},
    {0x3fffea, 22}, {0x3fffeb, 22}, {0x1ffffee, 25}, {0x1ffffef, 25},
    {0xfffff4, 24}, {0xfffff5, 24}, {0x3ffffea, 26}, {0x7ffff4, 23},
    {0x3ffffeb, 26}, {0x7ffffe6, 27}, {0x3ffffec, 26}, {0x3ffffed, 26},
    {0x7ffffe7, 27}, {0x7ffffe8, 27}, {0x7ffffe9, 27}, {0x7ffffea, 27},
    {0x7ffffeb, 27}, {0xffffffe, 28}, {0x7ffffec, 27}, {0x7ffffed, 27},
    {0x7ffffee, 27}, {0x7ffffef, 27}, {0x7fffff0, 27}, {0x3ffffee, 26},
    {0x3fffffff, 30},
};

// Decode tree laid out as an array, built at compile time from the codes: a
// child >= 0 is the index of an inner node, a child < 0 is the leaf of
// symbol -(child + 1). A complete prefix code of 257 leaves has 256 inner
// nodes, the root at 0.
struct HpackHuffmanTree {
  static constexpr int kInnerNodes = HpackHuffman::kSymbolCount - 1;
  std::array<std::array<int16_t, 2>, kInnerNodes> child{};
};

constexpr HpackHuffmanTree BuildTree() {
  HpackHuffmanTree tree{};
  constexpr int16_t kNone = 0;  // the root is never a child, so 0 means "no node yet"
  int used = 1;
  for (int symbol = 0; symbol < HpackHuffman::kSymbolCount; ++symbol) {
    int node = 0;
    for (int bit = kCodes[symbol].length - 1; bit >= 0; --bit) {
      const int branch = static_cast<int>((kCodes[symbol].code >> bit) & 1);
      if (bit == 0) {
        tree.child[node][branch] = static_cast<int16_t>(-(symbol + 1));
      } else {
        if (tree.child[node][branch] == kNone) tree.child[node][branch] = static_cast<int16_t>(used++);
        node = tree.child[node][branch];
      }
    }
  }
  return tree;
}

constexpr HpackHuffmanTree kTree = BuildTree();

}  // namespace

uint32_t HpackHuffman::Code(int i) { return (i >= 0 && i < kSymbolCount) ? kCodes[i].code : 0; }
int HpackHuffman::CodeLength(int i) { return (i >= 0 && i < kSymbolCount) ? kCodes[i].length : 0; }

int64_t HpackHuffman::EncodedLength(const void* data, int length) {
  const unsigned char* bytes = static_cast<const unsigned char*>(data);
  int64_t bits = 0;
  for (int i = 0; i < length; ++i) bits += kCodes[bytes[i]].length;
  return (bits + 7) / 8;
}

int HpackHuffman::Encode(const void* data, int length, ByteString& out) {
  const unsigned char* bytes = static_cast<const unsigned char*>(data);
  uint64_t pending = 0;  // at most 7 + 30 bits waiting
  int pendingBits = 0;
  for (int i = 0; i < length; ++i) {
    const HuffmanCode& code = kCodes[bytes[i]];
    pending = (pending << code.length) | code.code;
    pendingBits += code.length;
    while (pendingBits >= 8) {
      pendingBits -= 8;
      TORNELL_TRY(out.AppendByte(static_cast<int>((pending >> pendingBits) & 0xFF)));
    }
  }
  if (pendingBits > 0) {
    const int fill = 8 - pendingBits;
    TORNELL_TRY(out.AppendByte(static_cast<int>(((pending << fill) | ((1u << fill) - 1)) & 0xFF)));
  }
  return kStatusOk;
}

int HpackHuffman::Decode(const void* data, int length, ByteString& out) {
  const unsigned char* bytes = static_cast<const unsigned char*>(data);
  int node = 0;
  int bitsSinceSymbol = 0;  // a trailing partial code is padding
  bool allOnes = true;
  for (int i = 0; i < length; ++i) {
    for (int bit = 7; bit >= 0; --bit) {
      const int branch = (bytes[i] >> bit) & 1;
      ++bitsSinceSymbol;
      allOnes = allOnes && branch == 1;
      const int next = kTree.child[node][branch];
      if (next >= 0) {
        node = next;
        continue;
      }
      const int symbol = -(next + 1);
      if (symbol == kEos) return kHttp2CompressionError;
      TORNELL_TRY(out.AppendByte(symbol));
      node = 0;
      bitsSinceSymbol = 0;
      allOnes = true;
    }
  }
  if (bitsSinceSymbol > 7 || !allOnes) return kHttp2CompressionError;
  return kStatusOk;
}

}  // namespace tornell
