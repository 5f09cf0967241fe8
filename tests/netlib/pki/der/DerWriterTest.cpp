#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "DerTestText.h"
#include "pki/der/DerCodec.h"
#include "pki/der/DerWriter.h"

using dertest::HexOf;
using dertest::SetHex;
using tornell::ByteString;
using tornell::pki::DerWriter;

namespace {

std::string Filler(int n) { return std::string(static_cast<size_t>(n), 'x'); }

TEST(DerWriter, LengthFormsOfPrimitiveAndClose) {
  const struct {
    int length;
    const char* header;
  } cases[] = {{127, "047f"}, {128, "048180"}, {255, "0481ff"}, {256, "04820100"},
               {65535, "0482ffff"}, {65536, "0483010000"}};
  for (const auto& c : cases) {
    const std::string content = Filler(c.length);
    DerWriter w;
    ASSERT_EQ(w.AppendPrimitive(content.data(), c.length, 0x04), 0);
    EXPECT_EQ(HexOf(w.output).substr(0, std::string(c.header).size()), c.header) << c.length;
    EXPECT_EQ(static_cast<size_t>(w.output.Length()), std::string(c.header).size() / 2 + content.size());

    DerWriter o;
    ASSERT_EQ(o.Open(0x04), 0);
    ASSERT_EQ(o.output.Append(content.data(), c.length), 0);
    ASSERT_EQ(o.Close(0), 0);
    EXPECT_EQ(HexOf(o.output), HexOf(w.output)) << c.length;
  }
}

TEST(DerWriter, WrapAllUsesTwoLengthBytesFrom128) {
  const struct {
    int length;
    const char* header;
    const char* minimal;
  } cases[] = {{5, "3005", "3005"}, {128, "30820080", "308180"}, {255, "308200ff", "3081ff"},
               {65536, "3083010000", "3083010000"}};
  for (const auto& c : cases) {
    DerWriter w, m;
    const std::string content = Filler(c.length);
    ASSERT_EQ(w.output.Append(content.data(), c.length), 0);
    ASSERT_EQ(m.output.Append(content.data(), c.length), 0);
    ASSERT_EQ(w.WrapAll(0x30), 0);
    ASSERT_EQ(m.WrapAllMinimal(0x30), 0);
    EXPECT_EQ(HexOf(w.output).substr(0, std::string(c.header).size()), c.header);
    EXPECT_EQ(HexOf(m.output).substr(0, std::string(c.minimal).size()), c.minimal);
    int tag = 0;
    ASSERT_EQ(w.Unwrap(&tag), 0);
    EXPECT_EQ(tag, 0x30);
    EXPECT_EQ(w.output.Length(), c.length);
  }
}

TEST(DerWriter, RefusedLengthForms) {
  const struct {
    const char* hex;
    int status;
  } cases[] = {{"048000", 447},           {"0485000000000100", 447}, {"04ff00", 447},
               {"04810501020304 05", 0},  {"0484ffffffff00", 447},   {"1f0100", 446},
               {"3f0100", 446},           {"04820005 0102030405", 0}};
  for (const auto& c : cases) {
    std::string hex = c.hex;
    hex.erase(std::remove(hex.begin(), hex.end(), ' '), hex.end());
    DerWriter w;
    SetHex(w.output, hex);
    ByteString out;
    EXPECT_EQ(w.ReadElement(0, out), c.status) << c.hex;
    if (c.status == 0) {
      EXPECT_EQ(out.Length(), 5);
    }
  }
}

TEST(DerWriter, IntegersBothWays) {
  const struct {
    long long value;
    const char* content;
  } cases[] = {{0, "00"}, {127, "7f"}, {128, "0080"}, {-128, "80"}, {-129, "ff7f"}, {2147483648LL, "80000000"},
               {-1, "ff"}, {65535, "00ffff"}};
  for (const auto& c : cases) {
    DerWriter w;
    ASSERT_EQ(w.AppendInteger(c.value, 0x02), 0);
    ByteString content;
    ASSERT_EQ(w.ReadElement(0, content), 0);
    EXPECT_EQ(HexOf(content), c.content) << c.value;
    int back = 7;
    ASSERT_EQ(w.ReadInt(0, back), 0);
    EXPECT_EQ(back, static_cast<int>(static_cast<uint32_t>(c.value)));
  }
  const struct {
    const char* hex;
    int status;
    int value;
  } reads[] = {{"02050000000005", 0, 5}, {"02050100000000", 446, 7}, {"02050080000000", 0, INT32_MIN},
               {"0200", 0, 0}};
  for (const auto& r : reads) {
    DerWriter w;
    SetHex(w.output, r.hex);
    int value = 7;
    EXPECT_EQ(w.ReadInt(0, value), r.status) << r.hex;
    EXPECT_EQ(value, r.value) << r.hex;
  }
}

TEST(DerWriter, UnsignedAnd64BitForms) {
  DerWriter w;
  ASSERT_EQ(w.AppendUnsigned(0x80000001u, 0x02), 0);
  ASSERT_EQ(w.AppendUnsigned(5, 0x02), 0);
  const uint32_t words[2] = {0x80000000u, 3};
  ASSERT_EQ(w.AppendUnsigned64(words, 0x02), 0);
  EXPECT_EQ(HexOf(w.output), "020500800000010204000000050209008000000000000003");
  uint64_t u = 0;
  ASSERT_EQ(w.ReadUnsigned(0, u), 0);
  EXPECT_EQ(u, 0x80000001u);
  ASSERT_EQ(w.ReadUnsigned(1, u), 0);
  EXPECT_EQ(u, 5u);
  uint32_t back[2] = {};
  ASSERT_EQ(w.ReadUnsigned64(2, back), 0);
  EXPECT_EQ(back[0], 0x80000000u);
  EXPECT_EQ(back[1], 3u);
}

TEST(DerWriter, IntegerBytesPadding) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {{"80", "020180"}, {"8000", "0203008000"}, {"0080", "02020080"}, {"7f", "02017f"}};
  for (const auto& c : cases) {
    DerWriter w;
    const std::string bytes = testsupport::Unhex(c.in);
    ASSERT_EQ(w.AppendIntegerBytes(bytes.data(), static_cast<int>(bytes.size())), 0);
    EXPECT_EQ(HexOf(w.output), c.out);
  }
  DerWriter w;
  EXPECT_EQ(w.AppendIntegerBytes(nullptr, 1), 445);
  EXPECT_EQ(w.AppendIntegerBytes("a", 0), 445);
  SetHex(w.output, "0203008000");
  ByteString magnitude;
  ASSERT_EQ(w.ReadIntegerBytes(0, magnitude), 0);
  EXPECT_EQ(HexOf(magnitude), "8000");
  SetHex(w.output, "0403008000");
  EXPECT_EQ(w.ReadIntegerBytes(0, magnitude), 446);
}

TEST(DerWriter, ObjectIdentifiers) {
  const struct {
    const char* text;
    const char* der;
    const char* back;
  } cases[] = {{"1.2.840.113549", "06062a864886f70d", "1.2.840.113549"},
               {"2.100.3", "0603813403", "2.100.3"},
               {"", "060100", "0.0"},
               {"1.2.", "06022a00", "1.2.0"},
               {"2.5.4.3", "0603550403", "2.5.4.3"}};
  for (const auto& c : cases) {
    DerWriter w;
    ASSERT_EQ(w.AppendOid(c.text, 0x06), 0) << c.text;
    EXPECT_EQ(HexOf(w.output), c.der) << c.text;
    ByteString text("junk");
    ASSERT_EQ(w.ReadOid(0, text), 0);
    EXPECT_EQ(std::string(text.CStr()), c.back);
  }
  // Arcs past what the writer can hold, or that would read back as another
  // identifier, are refused rather than written.
  for (const char* bad : {"1.2.34359738368", "1.2.18446744073709551616", "1.2.99999999999999999999999", "3.1",
                          "1.40", "0.40"}) {
    DerWriter w;
    EXPECT_EQ(w.AppendOid(bad, 0x06), 445) << bad;
    EXPECT_EQ(w.output.Length(), 0) << bad;
  }
  DerWriter dots;
  SetHex(dots.output, "2e2e0603550403");
  ByteString text;
  ASSERT_EQ(dots.ReadOid(0, text), 0);
  EXPECT_STREQ(text.CStr(), "2.5.4.3");
}

// The identifiers certificates carry read back the same whatever length form
// their element takes, and a neighbour of one reads as itself.
TEST(DerWriter, CertificateOidsInEveryLengthForm) {
  const struct {
    const char* text;
    const char* content;
  } cases[] = {{"2.5.4.3", "550403"},
               {"2.5.4.6", "550406"},
               {"2.5.4.7", "550407"},
               {"2.5.4.8", "550408"},
               {"2.5.4.10", "55040a"},
               {"2.5.4.11", "55040b"},
               {"2.5.29.14", "551d0e"},
               {"2.5.29.15", "551d0f"},
               {"2.5.29.17", "551d11"},
               {"2.5.29.19", "551d13"},
               {"2.5.29.35", "551d23"},
               {"2.5.29.37", "551d25"},
               {"1.3.132.0.34", "2b81040022"},
               {"1.3.132.0.35", "2b81040023"},
               {"1.2.840.10045.2.1", "2a8648ce3d0201"},
               {"1.2.840.10045.3.1.7", "2a8648ce3d030107"},
               {"1.2.840.10045.4.3.2", "2a8648ce3d040302"},
               {"1.2.840.10045.4.3.3", "2a8648ce3d040303"},
               {"1.2.840.10045.4.3.4", "2a8648ce3d040304"},
               {"1.2.840.113549.1.1.1", "2a864886f70d010101"},
               {"1.2.840.113549.1.1.5", "2a864886f70d010105"},
               {"1.2.840.113549.1.1.10", "2a864886f70d01010a"},
               {"1.2.840.113549.1.1.11", "2a864886f70d01010b"},
               {"1.2.840.113549.1.1.12", "2a864886f70d01010c"},
               {"1.2.840.113549.1.1.13", "2a864886f70d01010d"},
               {"2.5.4.4", "550404"},
               {"1.2.840.10045.4.3.1", "2a8648ce3d040301"},
               {"1.2.840.113549.1.1.14", "2a864886f70d01010e"}};
  for (const auto& c : cases) {
    const std::string content = c.content;
    char length[3];
    std::snprintf(length, sizeof length, "%02x", static_cast<unsigned>(content.size() / 2));
    DerWriter written;
    ASSERT_EQ(written.AppendOid(c.text, 0x06), 0) << c.text;
    EXPECT_EQ(HexOf(written.output), "06" + std::string(length) + content) << c.text;
    // Short length, long length, and another tag: the reader ignores the tag.
    for (const std::string& hex : {"06" + std::string(length) + content, "0681" + std::string(length) + content,
                                   "04" + std::string(length) + content}) {
      DerWriter r;
      SetHex(r.output, hex);
      ByteString text("junk");
      ASSERT_EQ(r.ReadOid(0, text), 0) << hex;
      EXPECT_STREQ(text.CStr(), c.text) << hex;
    }
    // Cut short by a byte: incomplete, whatever the content would have named.
    DerWriter cut;
    SetHex(cut.output, ("06" + std::string(length) + content).substr(0, 2 + 2 + content.size() - 2));
    ByteString text;
    EXPECT_EQ(cut.ReadOid(0, text), 447) << c.text;
  }
}

TEST(DerWriter, OidReadLimits) {
  std::string content(300, '\x01');
  DerWriter w;
  ASSERT_EQ(w.AppendPrimitive(content.data(), static_cast<int>(content.size()), 0x06), 0);
  ByteString text;
  ASSERT_EQ(w.ReadOid(0, text), 0);
  int dots = 0;
  for (int i = 0; i < text.Length(); ++i) dots += text.CStr()[i] == '.';
  EXPECT_EQ(dots + 1, 256);
  const struct {
    const char* hex;
    int status;
  } cases[] = {{"060590808080 00", 446}, {"06028f ff", 446}, {"06058fffffff7f", 0}};
  for (const auto& c : cases) {
    std::string hex = c.hex;
    hex.erase(std::remove(hex.begin(), hex.end(), ' '), hex.end());
    DerWriter r;
    SetHex(r.output, hex);
    EXPECT_EQ(r.ReadOid(0, text), c.status) << c.hex;
  }
}

TEST(DerWriter, NestedSequencesPatchEveryLength) {
  DerWriter w;
  ASSERT_EQ(w.OpenSequence(), 0);
  ASSERT_EQ(w.OpenSequence(), 0);
  ASSERT_EQ(w.OpenSequence(), 0);
  const std::string content = Filler(200);
  ASSERT_EQ(w.output.Append(content.data(), 200), 0);
  ASSERT_EQ(w.CloseSequence(0), 0);
  ASSERT_EQ(w.CloseSequence(0), 0);
  ASSERT_EQ(w.CloseSequence(0), 0);
  EXPECT_EQ(HexOf(w.output).substr(0, 18), "3081ce3081cb3081c8");
  EXPECT_EQ(w.output.Length(), 209);
  EXPECT_EQ(w.Close(0), 445);
  DerWriter i;
  ASSERT_EQ(i.OpenSequence(), 0);
  ASSERT_EQ(i.AppendNull(0x05), 0);
  ASSERT_EQ(i.Close(1), 0);
  EXPECT_EQ(HexOf(i.output), "308005000000");
}

TEST(DerWriter, SmallElements) {
  DerWriter w;
  ASSERT_EQ(w.AppendBoolean(7, 0x01), 0);
  ASSERT_EQ(w.AppendBoolean(0, 0x01), 0);
  ASSERT_EQ(w.AppendNull(0x05), 0);
  ASSERT_EQ(w.AppendBitString("\xC0", 1, 0x03), 0);
  ASSERT_EQ(w.AppendPrimitive("ab", -1, 0x0C), 0);
  ASSERT_EQ(w.AppendHeader(0x30, 300), 0);
  EXPECT_EQ(HexOf(w.output), "0101ff0101000500030200c00c0261623082012c");
}

TEST(DerWriter, ReadBitStringAndMissingElements) {
  DerWriter w;
  SetHex(w.output, "030206c0");
  ByteString bits;
  int count = 0;
  ASSERT_EQ(w.ReadBitString(0, bits, &count), 0);
  EXPECT_EQ(HexOf(bits), "c0");
  EXPECT_EQ(count, 2);
  SetHex(w.output, "030100");
  EXPECT_EQ(w.ReadBitString(0, bits, &count), 432);
  SetHex(w.output, "03020800");
  EXPECT_EQ(w.ReadBitString(0, bits, &count), 446);

  SetHex(w.output, "020105020106");
  ByteString out;
  EXPECT_EQ(w.ReadElement(2, out), 447);
  SetHex(w.output, "04050102");
  EXPECT_EQ(w.ReadElement(1, out), 446);
  EXPECT_EQ(w.ReadElement(0, out), 447);
  EXPECT_EQ(w.FirstElementLength(), 0u);
  SetHex(w.output, "0403010203ffff");
  EXPECT_EQ(w.FirstElementLength(), 5u);
}

TEST(DerCodec, ElementFunctionsCheckEveryLength) {
  // A 0x84 length near 2^32 never wraps a size and never passes the input.
  const uint8_t huge[] = {0x30, 0x84, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
  EXPECT_EQ(tornell::pki::DerElementLength(huge, sizeof huge), 0u);
  size_t available = sizeof huge;
  int tag = 0;
  EXPECT_EQ(tornell::pki::DerParseHeader(huge, available, tag), nullptr);
  const uint8_t octets[] = {0x04, 0x03, 1, 2, 3, 0x99};
  uint8_t out[2];
  size_t capacity = sizeof out;
  available = sizeof octets;
  EXPECT_EQ(tornell::pki::DerReadOctets(octets, available, out, capacity), nullptr);
  uint8_t big[8];
  capacity = sizeof big;
  EXPECT_EQ(tornell::pki::DerReadOctets(octets, available, big, capacity), octets + 5);
  EXPECT_EQ(available, 1u);
  EXPECT_EQ(capacity, 3u);
  uint8_t room[5];
  size_t left = sizeof room;
  EXPECT_EQ(tornell::pki::DerWriteLength(room, left, 0x1000000), room + 5);
  left = 4;
  EXPECT_EQ(tornell::pki::DerWriteLength(room, left, 0x1000000), nullptr);
}

}  // namespace
