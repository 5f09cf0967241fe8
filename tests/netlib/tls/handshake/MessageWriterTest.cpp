// The staged handshake-message writer: the bytes and lengths it writes must
// not depend on where its array goes to the message.
#include <gtest/gtest.h>

#include <string>

#include "tls/handshake/MessageWriter.h"

using namespace tornell;
using namespace tornell::tls;

namespace {

std::string Text(const WireBuffer& buffer) { return std::string(buffer.Data(), size_t(buffer.Length())); }

std::string U16(int value) { return std::string{char(value >> 8), char(value)}; }

// An extension of `type` around a list behind a `width`-byte length, the list
// made of `filler` bytes (large ones go past the array).
struct Case {
  int before;  // bytes already in the message
  int filler;
  int width;
};

TEST(MessageWriter, LengthsAndBytesWhereverTheArrayGoesOut) {
  const Case cases[] = {{0, 0, 2}, {3, 10, 1}, {0, 255, 1}, {4, 500, 2}, {0, 511, 2}, {1, 600, 2}, {7, 1400, 2}};
  for (const Case& c : cases) {
    WireBuffer message;
    std::string expected(size_t(c.before), 'h');
    ASSERT_EQ(message.PutBytes(expected.data(), c.before), 0);
    const std::string list(size_t(c.filler), 'x');
    MessageWriter out(message);
    out.U8(0x16);
    const int extension = out.OpenExtension(0x1234);
    const int inner = out.Open(c.width);
    // Half in small pieces, half in one block.
    for (int i = 0; i < c.filler / 2; ++i) out.U8('x');
    out.Bytes(list.data(), c.filler - c.filler / 2);
    out.Close(inner, c.width);
    out.CloseExtension(extension);
    out.U16(0xABCD);
    out.U24(0x010203);
    EXPECT_EQ(out.Offset(), c.before + 1 + 4 + c.width + c.filler + 5);
    ASSERT_EQ(out.Finish(), 0);
    expected += '\x16' + U16(0x1234) + U16(c.width + c.filler);
    expected += c.width == 1 ? std::string(1, char(c.filler)) : U16(c.filler);
    expected += list + U16(0xABCD) + "\x01\x02\x03";
    EXPECT_EQ(Text(message), expected) << c.before << " " << c.filler;
  }
}

TEST(MessageWriter, DropTakesBackAnEmptyBlock) {
  WireBuffer message;
  MessageWriter out(message);
  const std::string big(700, 'b');
  out.Bytes(big.data(), int(big.size()));
  out.Reserve(6);
  const int extension = out.OpenExtension(16);
  const int list = out.Open(2);
  EXPECT_EQ(out.Offset(), list + 2);
  out.Drop(6);
  EXPECT_EQ(out.Offset(), extension - 2);
  out.U8(1);
  ASSERT_EQ(out.Finish(), 0);
  EXPECT_EQ(Text(message), big + '\x01');
}

TEST(MessageWriter, CodeExtension) {
  CodeList codes;
  for (int code : {0x0304, 0x0303}) ASSERT_EQ(codes.Add(code), 0);
  WireBuffer message;
  MessageWriter out(message);
  out.CodeExtension(43, 1, codes);
  out.CodeExtension(10, 2, codes);
  ASSERT_EQ(out.Finish(), 0);
  EXPECT_EQ(Text(message), std::string("\x00\x2B\x00\x05\x04\x03\x04\x03\x03"
                                       "\x00\x0A\x00\x06\x00\x04\x03\x04\x03\x03",
                                       19));
  // More codes than the array holds go out a pair at a time.
  CodeList many;
  std::string pairs;
  for (int code = 0; code < 300; ++code) {
    ASSERT_EQ(many.Add(0x0100 + code), 0);
    pairs += U16(0x0100 + code);
  }
  WireBuffer longer;
  MessageWriter out2(longer);
  out2.U8(7);
  out2.CodeExtension(13, 2, many);
  ASSERT_EQ(out2.Finish(), 0);
  EXPECT_EQ(Text(longer), '\x07' + U16(13) + U16(602) + U16(600) + pairs);
}

}  // namespace
