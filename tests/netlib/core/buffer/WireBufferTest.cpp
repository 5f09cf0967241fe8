#include "core/buffer/WireBuffer.h"

#include <gtest/gtest.h>

#include <string>

#include "core/buffer/BigEndian.h"

using namespace tornell;

namespace {
std::string Bytes(const WireBuffer& b) { return std::string(b.Data(), b.Length()); }
}  // namespace

TEST(WireBuffer, PutLayoutAndGetBack) {
  WireBuffer b;
  EXPECT_EQ(b.PutU16(0x1234), 0);
  EXPECT_EQ(b.PutU24(0x102), 0);
  EXPECT_EQ(Bytes(b), std::string("\x12\x34\x00\x01\x02", 5));
  EXPECT_EQ(b.Position(), 5);
  EXPECT_EQ(0, b.PutU8(0x1FF));
  EXPECT_EQ(0, b.PutU32(-1));
  EXPECT_EQ(0, b.PutU64(0x0102030405060708LL));
  EXPECT_EQ(0, b.PutBytes("xyz", 1, 2));
  EXPECT_EQ(Bytes(b), std::string("\x12\x34\x00\x01\x02\xFF\xFF\xFF\xFF\xFF\x01\x02\x03\x04\x05\x06\x07\x08yz", 20));
  b.Rewind();
  EXPECT_EQ(b.GetU16(), 0x1234);
  EXPECT_EQ(b.GetU24(), 0x102);
  EXPECT_EQ(b.GetU8(), 0xFF);
  int value = 0;
  EXPECT_EQ(b.GetU32(value), 0);
  EXPECT_EQ(value, -1);
  EXPECT_EQ(b.Remaining(), 10);
  EXPECT_EQ(b.PeekU24(1), 0x340001);
  EXPECT_EQ(b.PeekU16(19), -1);
  EXPECT_EQ(b.PeekU8(-1), -1);
}

TEST(WireBuffer, ShortReads) {
  WireBuffer b("\x7F", 0, 1);
  int value = 5;
  EXPECT_EQ(b.GetU16(value), 1080);
  EXPECT_EQ(value, 5);
  EXPECT_EQ(b.Position(), 0);
  EXPECT_EQ(b.GetU16(), -1);
  EXPECT_EQ(b.GetU8(), 0x7F);
  EXPECT_EQ(b.GetU8(), -1);
  ByteString out("keep");
  EXPECT_EQ(b.GetBytes(3, out), 1);
  EXPECT_STREQ(out.Data(), "keep");
  EXPECT_EQ(b.GetBytes(0, out), 0);
  EXPECT_EQ(b.Require(0), 0);
  EXPECT_EQ(b.Require(1), 1080);
  EXPECT_EQ(b.Require(-1), 1080);
  EXPECT_EQ(b.Skip(1), nullptr);
}

TEST(WireBuffer, PositionOutsideTheBytesReadsNothing) {
  WireBuffer b("abcdef", 0, 6);
  b.SetPosition(10);
  EXPECT_EQ(b.Remaining(), 0);
  ByteString out;
  EXPECT_EQ(b.GetBytes(4, out), 1);
  char buffer[8] = {};
  EXPECT_EQ(b.GetBytes(buffer, 0, 4), 0);
  EXPECT_EQ(buffer[0], 0);
  EXPECT_EQ(b.GetLengthPrefixed(out), 1080);
  b.SetPosition(-3);  // before the start is no better
  EXPECT_EQ(b.Remaining(), 0);
  EXPECT_EQ(b.GetU8(), -1);
  EXPECT_EQ(b.GetBytes(4, out), 1);
  b.SetPosition(4);
  EXPECT_STREQ(b.Skip(5), "");  // past the end: an empty text, never beyond
  EXPECT_EQ(b.GetBytes(buffer, 0, 4), 0);
  EXPECT_EQ(buffer[0], 0);
}

TEST(WireBuffer, CopiesShareBytes) {
  WireBuffer source;
  EXPECT_EQ(0, source.PutU16(0xABCD));
  WireBuffer copy(source);
  EXPECT_EQ(0, source.PutU8(0x01));
  EXPECT_EQ(copy.Length(), 3);
  EXPECT_EQ(copy.Position(), 2);
  copy.Rewind();
  EXPECT_EQ(copy.GetU16(), 0xABCD);
  EXPECT_EQ(source.Position(), 3);
  WireBuffer empty;
  WireBuffer emptyCopy(empty);
  EXPECT_EQ(emptyCopy.Length(), 0);
  WireBuffer assigned;
  EXPECT_EQ(assigned.Assign(source), 0);
  EXPECT_EQ(0, source.PutU8(0x02));
  EXPECT_EQ(assigned.Length(), 3);  // Assign copies, it does not share
  EXPECT_EQ(assigned.Position(), 3);
  EXPECT_EQ(source.PutBytes(source), 0);  // its own bytes appended to itself
  EXPECT_EQ(Bytes(source), std::string("\xAB\xCD\x01\x02\xAB\xCD\x01\x02", 8));
}

TEST(WireBuffer, ReservedRoomTakesThePuts) {
  WireBuffer buffer;
  ASSERT_EQ(buffer.PutU16(0x0102), 0);
  ASSERT_EQ(buffer.Reserve(1000), 0);
  const char* block = buffer.Data();
  const std::string filler(900, 'f');
  ASSERT_EQ(buffer.PutBytes(filler.data(), int(filler.size())), 0);
  EXPECT_EQ(buffer.Data(), block);
  EXPECT_EQ(Bytes(buffer), std::string("\x01\x02", 2) + filler);
  EXPECT_EQ(buffer.Position(), 902);
}

// A reused buffer refills its own block; one whose bytes a copy still reads
// leaves them to the copy.
TEST(WireBuffer, ReuseKeepsTheBlockButNotACopysBytes) {
  WireBuffer buffer;
  const std::string filler(500, 'r');
  ASSERT_EQ(buffer.PutBytes(filler.data(), int(filler.size())), 0);
  const char* block = buffer.Data();
  EXPECT_EQ(buffer.Reuse(), 0);
  EXPECT_EQ(buffer.Length(), 0);
  EXPECT_EQ(buffer.Position(), 0);
  ASSERT_EQ(buffer.PutBytes(filler.data(), 300), 0);
  EXPECT_EQ(buffer.Data(), block);
  EXPECT_EQ(Bytes(buffer), filler.substr(0, 300));

  WireBuffer copy(buffer);
  EXPECT_EQ(buffer.Reuse(), 0);
  EXPECT_EQ(buffer.Length(), 0);
  EXPECT_EQ(Bytes(copy), filler.substr(0, 300));
  ASSERT_EQ(buffer.PutU16(0x0102), 0);
  EXPECT_EQ(Bytes(buffer), std::string("\x01\x02", 2));
  EXPECT_EQ(Bytes(copy), filler.substr(0, 300));
}

TEST(WireBuffer, CopyOutlivesItsSource) {
  auto* source = new WireBuffer();
  EXPECT_EQ(0, source->PutU16(0x1234));
  WireBuffer copy(*source);
  delete source;
  copy.Rewind();
  EXPECT_EQ(copy.GetU16(), 0x1234);
  EXPECT_EQ(copy.Length(), 2);
}

TEST(WireBuffer, PatchAndPrefixedForms) {
  WireBuffer b("\x00\x00\x00\x00\x00", 0, 5);
  b.SetPosition(5);
  EXPECT_EQ(b.PatchU16(0, 0x0102), 0);
  EXPECT_EQ(b.Length(), 5);
  EXPECT_EQ(b.Position(), 5);
  EXPECT_EQ(b.PatchU16(4, 0x0304), 0);
  EXPECT_EQ(Bytes(b), std::string("\x01\x02\x00\x00\x03\x04", 6));
  EXPECT_EQ(b.PatchU24(8, 0x050607), 0);  // the gap is zero-filled
  EXPECT_EQ(Bytes(b), std::string("\x01\x02\x00\x00\x03\x04\x00\x00\x05\x06\x07", 11));
  EXPECT_EQ(b.PatchU16(-1, 1), 1080);
  char out[4] = {};
  EXPECT_EQ(b.CopyOut(8, 3, out, 1), 0);
  EXPECT_EQ(std::string(out + 1, 3), "\x05\x06\x07");
  EXPECT_EQ(b.CopyOut(9, 3, out, 0), 1080);

  ByteString value;
  WireBuffer shortBody("\x00\x00\x00\x03\x41\x42", 0, 6);
  EXPECT_EQ(shortBody.GetLengthPrefixed(value), 1080);
  EXPECT_EQ(shortBody.Position(), 4);  // the prefix stays consumed
  WireBuffer whole("\x00\x00\x00\x02\x41\x42", 0, 6);
  EXPECT_EQ(whole.GetBlob(value), 0);
  EXPECT_STREQ(value.Data(), "AB");
  EXPECT_EQ(whole.Position(), 6);
  WireBuffer cutPrefix("\x00\x00", 0, 2);
  EXPECT_EQ(cutPrefix.GetLengthPrefixed(value), 1080);
  EXPECT_EQ(cutPrefix.Position(), 0);
  WireBuffer bits("\x00\x00\x00\x09\xAA\xBB\xCC", 0, 7);
  EXPECT_EQ(bits.GetBitCountPrefixed(value), 0);
  EXPECT_EQ(value.Length(), 2);
  EXPECT_EQ(bits.Position(), 6);
  WireBuffer negative("\xFF\xFF\xFF\xF0", 0, 4);
  EXPECT_EQ(negative.GetBitCountPrefixed(value), 1080);
}

TEST(WireBuffer, BigEndianHelpers) {
  unsigned char buffer[10] = {};
  BigEndian::Write(0x1122334455667788ULL, buffer, 1, 8);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 10),
            std::string("\x00\x11\x22\x33\x44\x55\x66\x77\x88\x00", 10));
  BigEndian::PutUint(0xABCD, buffer, 0, 3);
  EXPECT_EQ(buffer[0], 0x00);
  EXPECT_EQ(buffer[2], 0xCD);
  EXPECT_EQ(BigEndian::Read(buffer, 10, 0, 8), 0x00ABCD33u);  // never more than 4 bytes
  EXPECT_EQ(BigEndian::GetUint(buffer, 4, 2, 4), 0xCD33u);  // cut at the length
  EXPECT_EQ(BigEndian::Read(buffer, 4, 4, 2), 0u);
}
