// HPACK primitives, the RFC 7541 Appendix C examples, table size accounting
// and the decoder's answers to crafted blocks.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "HpackTestSupport.h"
#include "TestText.h"
#include "http/h2/HpackHuffman.h"
#include "http/h2/Http2Status.h"

using namespace hpacktest;
using testsupport::Hex;
using testsupport::Unhex;
using tornell::ByteString;
using tornell::FrameBuffer;
using tornell::HpackHuffman;

namespace {

std::string HuffmanHex(const std::string& text) {
  ByteString out;
  EXPECT_EQ(HpackHuffman::Encode(text.data(), static_cast<int>(text.size()), out), 0);
  return Hex(out.Data(), out.Length());
}

int HuffmanDecode(const std::string& hex, std::string& text) {
  const std::string bytes = Unhex(hex);
  ByteString out;
  const int status = HpackHuffman::Decode(bytes.data(), static_cast<int>(bytes.size()), out);
  text.assign(out.Data(), out.Length());
  return status;
}

int DecodeIntegerHex(const std::string& hex, int prefixBits, int& value) {
  const std::string bytes = Unhex(hex);
  FrameBuffer in;
  if (in.Assign(bytes.data(), 0, static_cast<int>(bytes.size())) != 0) return -1;
  return Http2HeadersFrame::DecodeInteger(in, prefixBits, value);
}

}  // namespace

TEST(HpackInteger, EncodesAndDecodesBothWays) {
  struct Case {
    int value;
    int prefix;
    const char* hex;
  };
  const Case cases[] = {
      {10, 5, "0a"},     {1337, 5, "1f9a0a"}, {42, 8, "2a"},   {31, 5, "1f00"},
      {0, 7, "00"},      {126, 7, "7e"},      {127, 7, "7f00"}, {16383, 4, "0ff07f"},
      {2147483647, 7, "7f80ffffff07"},
  };
  for (const Case& c : cases) {
    ByteString out;
    ASSERT_EQ(Http2HeadersFrame::EncodeInteger(c.value, c.prefix, out), 0);
    EXPECT_EQ(Hex(out.Data(), out.Length()), c.hex) << c.value;
    int value = -1;
    EXPECT_EQ(DecodeIntegerHex(c.hex, c.prefix, value), 0) << c.hex;
    EXPECT_EQ(value, c.value) << c.hex;
  }
}

TEST(HpackInteger, RefusesOverlongAndCutShort) {
  const char* bad[] = {
      "ffffffffffffffffffffff",  // eleven 0xFF bytes
      "7f81ffffff07",            // 2^31: past the largest int
      "7f808080808000",          // six continuation bytes, even of zeros
      "7f9a",                    // ends inside the integer
      "",
  };
  for (const char* hex : bad) {
    int value = 0;
    EXPECT_EQ(DecodeIntegerHex(hex, 7, value), tornell::kHttp2CompressionError) << hex;
  }
  int value = 0;
  EXPECT_EQ(DecodeIntegerHex("7f8080808000", 7, value), 0) << "five continuation bytes are fine";
  EXPECT_EQ(value, 127);
}

TEST(HpackHuffmanCode, KnownStringsAndEveryByte) {
  EXPECT_EQ(HuffmanHex("no-cache"), "a8eb10649cbf");
  EXPECT_EQ(HuffmanHex("www.example.com"), "f1e3c2e5f23a6ba0ab90f4ff");
  // UTF-8 "é": codes of 19 and 22 bits, 7 bits of padding.
  EXPECT_EQ(HuffmanHex("\xc3\xa9"), "fffe3fffeeff");
  std::string text;
  ASSERT_EQ(HuffmanDecode("fffe3fffeeff", text), 0);
  EXPECT_EQ(text, "\xc3\xa9");
  // A tab and bytes above 126 are coded like any other.
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  all += "\t\x7f\xff value";
  ASSERT_EQ(HuffmanDecode(HuffmanHex(all), text), 0);
  EXPECT_EQ(text, all);
  EXPECT_EQ(HpackHuffman::EncodedLength(all.data(), static_cast<int>(all.size())),
            static_cast<int64_t>(HuffmanHex(all).size() / 2));
}

TEST(HpackHuffmanCode, RefusesEosAndBadPadding) {
  const char* bad[] = {
      "ffffffff",  // EOS (30 one bits) and two bits of padding
      "1fff",      // "a", then 11 bits of padding
      "ffffff",    // 24 one bits: no symbol, too long for padding
      "18",        // "a", then padding 000
      "00",        // a partial code of zero bits
  };
  for (const char* hex : bad) {
    std::string text;
    EXPECT_EQ(HuffmanDecode(hex, text), tornell::kHttp2CompressionError) << hex;
  }
  std::string text;
  EXPECT_EQ(HuffmanDecode("1f", text), 0);
  EXPECT_EQ(text, "a");
  EXPECT_EQ(HuffmanDecode("", text), 0);
}

TEST(HpackEncoder, IndexesFullMatchesAndNewFields) {
  HpackStaticTable table;
  EXPECT_EQ(EncodeHex(table, {{":method", "GET"}}), "82");
  EXPECT_EQ(EncodeHex(table, {{":path", "/"}}), "84");
  // A new field is indexed: the second time it is one byte.
  const Fields custom = {{"x-ten-byte", "twelve-bytes"}};
  EXPECT_EQ(EncodeHex(table, custom, false), "400a" + Hex("x-ten-byte") + "0c" + Hex("twelve-bytes"));
  ASSERT_EQ(DynamicEntries(table), custom);
  EXPECT_EQ(table.FindNameValue("x-ten-byte", 10, "twelve-bytes", 12), 62);
  EXPECT_EQ(EncodeHex(table, custom, false), "be");
  // Listed names go without indexing, matched in any case around spaces.
  EXPECT_EQ(EncodeHex(table, {{"authorization", "Basic eA=="}}, false, " X-Foo , AUTHORIZATION ,"),
            "0f08" "0a" + Hex("Basic eA=="));
  EXPECT_EQ(EncodeHex(table, {{"x-foo", "1"}}, false, "x-foo"), "0005" + Hex("x-foo") + "0131");
  EXPECT_EQ(DynamicEntries(table), custom);
}

TEST(HpackEncoder, ConnectionSpecificNames) {
  for (const char* name : {"connection", "Keep-Alive", "PROXY-CONNECTION", "te", "Transfer-Encoding", "upgrade"}) {
    EXPECT_EQ(Http2HeadersFrame::IsConnectionSpecific(name), 1) << name;
  }
  for (const char* name : {"content-type", "tee", "", "connections"}) {
    EXPECT_EQ(Http2HeadersFrame::IsConnectionSpecific(name), 0) << name;
  }
}

TEST(HpackDecoder, ReadsIndexedAndHuffmanFields) {
  HpackStaticTable table;
  const Decoded got = DecodeHex(table, "828458" "86a8eb10649cbf");
  ASSERT_EQ(got.status, 0) << got.error;
  EXPECT_EQ(got.fields, (Fields{{":method", "GET"}, {":path", "/"}, {"cache-control", "no-cache"}}));
  EXPECT_EQ(DynamicEntries(table), (Fields{{"cache-control", "no-cache"}}));
  // A block inside a larger buffer: only the bytes from the offset count.
  const std::string buffer = Unhex("ffff" "82" "be" "ffff");
  tornell::StringList out;
  ASSERT_EQ(Http2HeadersFrame::DecodeHeaderBlock(buffer.data(), 2, 2, table, out), 0);
  ASSERT_EQ(out.Count(), 4);
  EXPECT_STREQ(out.Get(3), "no-cache");
}

// RFC 7541 Appendix C.2: one representation each, on a fresh table.
TEST(HpackRfcExamples, C2Representations) {
  struct Case {
    const char* hex;
    Fields fields;
    int tableSize;
  };
  const Case cases[] = {
      {"400a637573746f6d2d6b65790d637573746f6d2d686561646572", {{"custom-key", "custom-header"}}, 55},
      {"040c2f73616d706c652f70617468", {{":path", "/sample/path"}}, 0},
      {"100870617373776f726406736563726574", {{"password", "secret"}}, 0},
      {"82", {{":method", "GET"}}, 0},
  };
  for (const Case& c : cases) {
    HpackStaticTable table;
    const Decoded got = DecodeHex(table, c.hex);
    ASSERT_EQ(got.status, 0) << c.hex << " " << got.error;
    EXPECT_EQ(got.fields, c.fields);
    EXPECT_EQ(table.Size(), c.tableSize) << c.hex;
  }
}

namespace {

struct Step {
  const char* hex;
  Fields fields;
  Fields table;  // dynamic entries, newest first
  int tableSize;
};

const Fields kRequest1 = {{":method", "GET"}, {":scheme", "http"}, {":path", "/"}, {":authority", "www.example.com"}};
const Fields kRequest2 = {{":method", "GET"},
                          {":scheme", "http"},
                          {":path", "/"},
                          {":authority", "www.example.com"},
                          {"cache-control", "no-cache"}};
const Fields kRequest3 = {{":method", "GET"},
                          {":scheme", "https"},
                          {":path", "/index.html"},
                          {":authority", "www.example.com"},
                          {"custom-key", "custom-value"}};
const Fields kTable1 = {{":authority", "www.example.com"}};
const Fields kTable2 = {{"cache-control", "no-cache"}, {":authority", "www.example.com"}};
const Fields kTable3 = {{"custom-key", "custom-value"}, {"cache-control", "no-cache"}, {":authority", "www.example.com"}};

const std::string kDate21 = "Mon, 21 Oct 2013 20:13:21 GMT";
const std::string kDate22 = "Mon, 21 Oct 2013 20:13:22 GMT";
const std::string kLocation = "https://www.example.com";
const std::string kCookie = "foo=ASDJKHQKBZXOQWEOPIUAXQWEOIU; max-age=3600; version=1";
const Fields kResponse1 = {{":status", "302"}, {"cache-control", "private"}, {"date", kDate21}, {"location", kLocation}};
const Fields kResponse2 = {{":status", "307"}, {"cache-control", "private"}, {"date", kDate21}, {"location", kLocation}};
const Fields kResponse3 = {{":status", "200"},          {"cache-control", "private"},
                           {"date", kDate22},           {"location", kLocation},
                           {"content-encoding", "gzip"}, {"set-cookie", kCookie}};
const Fields kResponseTable1 = {{"location", kLocation}, {"date", kDate21}, {"cache-control", "private"}, {":status", "302"}};
const Fields kResponseTable2 = {{":status", "307"}, {"location", kLocation}, {"date", kDate21}, {"cache-control", "private"}};
const Fields kResponseTable3 = {{"set-cookie", kCookie}, {"content-encoding", "gzip"}, {"date", kDate22}};

void DecodeSteps(const std::vector<Step>& steps, int maxSize) {
  HpackStaticTable table;
  ASSERT_EQ(table.SetMaxSize(maxSize), 0);
  for (const Step& step : steps) {
    const Decoded got = DecodeHex(table, step.hex);
    ASSERT_EQ(got.status, 0) << step.hex << " " << got.error;
    EXPECT_EQ(got.fields, step.fields) << step.hex;
    EXPECT_EQ(DynamicEntries(table), step.table) << step.hex;
    EXPECT_EQ(table.Size(), step.tableSize) << step.hex;
  }
}

void EncodeSteps(const std::vector<Step>& steps, bool huffman) {
  HpackStaticTable table;
  for (const Step& step : steps) {
    EXPECT_EQ(EncodeHex(table, step.fields, huffman), step.hex);
    EXPECT_EQ(DynamicEntries(table), step.table);
    EXPECT_EQ(table.Size(), step.tableSize);
  }
}

const std::vector<Step> kC3 = {
    {"828684410f7777772e6578616d706c652e636f6d", kRequest1, kTable1, 57},
    {"828684be58086e6f2d6361636865", kRequest2, kTable2, 110},
    {"828785bf400a637573746f6d2d6b65790c637573746f6d2d76616c7565", kRequest3, kTable3, 164},
};
const std::vector<Step> kC4 = {
    {"828684418cf1e3c2e5f23a6ba0ab90f4ff", kRequest1, kTable1, 57},
    {"828684be5886a8eb10649cbf", kRequest2, kTable2, 110},
    {"828785bf408825a849e95ba97d7f8925a849e95bb8e8b4bf", kRequest3, kTable3, 164},
};
const std::vector<Step> kC5 = {
    {"4803333032580770726976617465611d4d6f6e2c203231204f637420323031332032303a31333a323120474d546e1768747470"
     "733a2f2f7777772e6578616d706c652e636f6d",
     kResponse1, kResponseTable1, 222},
    {"4803333037c1c0bf", kResponse2, kResponseTable2, 222},
    {"88c1611d4d6f6e2c203231204f637420323031332032303a31333a323220474d54c05a04677a69707738666f6f3d4153444a4b"
     "48514b425a584f5157454f50495541585157454f49553b206d61782d6167653d333630303b2076657273696f6e3d31",
     kResponse3, kResponseTable3, 215},
};
const std::vector<Step> kC6 = {
    {"488264025885aec3771a4b6196d07abe941054d444a8200595040b8166e082a62d1bff6e919d29ad171863c78f0b97c8e9ae82"
     "ae43d3",
     kResponse1, kResponseTable1, 222},
    {"4883640effc1c0bf", kResponse2, kResponseTable2, 222},
    {"88c16196d07abe941054d444a8200595040b8166e084a62d1bffc05a839bd9ab77ad94e7821dd7f2e6c7b335dfdfcd5b3960d5"
     "af27087f3672c1ab270fb5291f9587316065c003ed4ee5b1063d5007",
     kResponse3, kResponseTable3, 215},
};

}  // namespace

TEST(HpackRfcExamples, C3RequestsWithoutHuffman) {
  DecodeSteps(kC3, 4096);
  EncodeSteps(kC3, false);
}

TEST(HpackRfcExamples, C4RequestsWithHuffman) {
  DecodeSteps(kC4, 4096);
  EncodeSteps(kC4, true);
}

TEST(HpackRfcExamples, C5ResponsesEvictInA256ByteTable) { DecodeSteps(kC5, 256); }

TEST(HpackRfcExamples, C6ResponsesWithHuffmanEvict) { DecodeSteps(kC6, 256); }

TEST(HpackTable, EvictsOldestAndEmptiesForAnOversizedEntry) {
  HpackStaticTable table;
  ASSERT_EQ(table.SetMaxSize(100), 0);
  // 32 + 4 + 4 = 40 bytes each: two fit, the third evicts the first.
  ASSERT_EQ(table.Insert(62, "name", 4, "val1", 4), 0);
  ASSERT_EQ(table.Insert(62, "name", 4, "val2", 4), 0);
  ASSERT_EQ(table.Insert(62, "name", 4, "val3", 4), 0);
  EXPECT_EQ(DynamicEntries(table), (Fields{{"name", "val3"}, {"name", "val2"}}));
  EXPECT_EQ(table.Size(), 80);
  // Shrinking evicts; an entry larger than the table leaves it empty.
  ASSERT_EQ(table.SetMaxSize(40), 0);
  EXPECT_EQ(DynamicEntries(table), (Fields{{"name", "val3"}}));
  const std::string big(70, 'v');
  ASSERT_EQ(table.Insert(62, "name", 4, big.data(), static_cast<int>(big.size())), 0);
  EXPECT_EQ(table.DynamicCount(), 0);
  EXPECT_EQ(table.Size(), 0);
  ASSERT_EQ(table.Reset(), 0);
  EXPECT_EQ(table.MaxSize(), 4096);
  EXPECT_EQ(table.Count(), 62);
}

TEST(HpackTable, DecoderAppliesSizeUpdatesAtTheStartOnly) {
  HpackStaticTable table;
  // 3F E1 01 = 256, as nghttpd starts its first block when its table is 256.
  Decoded got = DecodeHex(table, "3fe101" "4003616263" "0378797a");
  ASSERT_EQ(got.status, 0) << got.error;
  EXPECT_EQ(table.MaxSize(), 256);
  EXPECT_EQ(got.fields, (Fields{{"abc", "xyz"}}));
  // Two updates in a row (shrink to 0, then 4096) empty the table.
  got = DecodeHex(table, "20" "3fe11f" "be");
  EXPECT_EQ(got.status, tornell::kHttp2CompressionError) << "index 62 is gone after the update to 0";
  EXPECT_EQ(table.MaxSize(), 4096);
  EXPECT_EQ(table.DynamicCount(), 0);
}

TEST(HpackTable, EncoderAnnouncesAShrunkTableAndNeverRefersToEvictedEntries) {
  HpackStaticTable encoder;
  HpackStaticTable decoder;
  ASSERT_EQ(encoder.SetEncoderMaxSize(256), 0);
  std::string block = EncodeBytes(encoder, {{"user-agent", "tornell/1"}});
  EXPECT_EQ(Hex(block).substr(0, 6), "3fe101");
  // A peer setting above 4096 keeps our 4096: growing back is announced,
  // the smallest size since the last block first.
  ASSERT_EQ(encoder.SetEncoderMaxSize(0), 0);
  ASSERT_EQ(encoder.SetEncoderMaxSize(0x7fffffff), 0);
  EXPECT_EQ(encoder.MaxSize(), 4096);
  Decoded got = DecodeBytes(decoder, block);
  ASSERT_EQ(got.status, 0) << got.error;
  block = EncodeBytes(encoder, {{":method", "GET"}});
  EXPECT_EQ(Hex(block), "20" "3fe11f" "82");
  got = DecodeBytes(decoder, block);
  ASSERT_EQ(got.status, 0) << got.error;
  // A kept-alive connection: the user-agent inserted by the first request is
  // pushed out by about 4 KB of new paths, and must then go as a literal.
  for (int request = 0; request < 60; ++request) {
    const Fields fields = {{":method", "GET"},
                           {":path", "/" + std::string(90, static_cast<char>('a' + request % 26)) + std::to_string(request)},
                           {"user-agent", "tornell/1"}};
    block = EncodeBytes(encoder, fields);
    got = DecodeBytes(decoder, block);
    ASSERT_EQ(got.status, 0) << request << " " << got.error;
    ASSERT_EQ(got.fields, fields) << request;
    ASSERT_LE(encoder.Size(), 4096);
    ASSERT_EQ(DynamicEntries(encoder), DynamicEntries(decoder)) << request;
  }
}

TEST(HpackDecoder, CraftedBlocksFailInBoundedTime) {
  struct Case {
    const char* hex;
    const char* why;
  };
  const Case cases[] = {
      {"80", "index 0"},
      {"c6", "index 70 on an empty dynamic table"},
      {"7f3f", "literal name index past the table"},
      {"ffffffffffffffffffffff", "integer of eleven 0xFF bytes"},
      {"82" "3fe11f", "size update after a field"},
      {"3fe21f", "size update above 4096"},
      {"0084ffffffff" "00", "EOS inside a name"},
      {"000161" "821fff", "eight bits of padding in a value"},
      {"0005616263", "name length past the end"},
      {"40", "literal cut after its first byte"},
      {"0f", "name index cut short"},
      {"00016100", "empty value is fine, then the block ends inside nothing"},
  };
  for (const Case& c : cases) {
    HpackStaticTable table;
    const auto start = std::chrono::steady_clock::now();
    const Decoded got = DecodeHex(table, c.hex);
    const auto spent = std::chrono::steady_clock::now() - start;
    EXPECT_LT(spent, std::chrono::seconds(1)) << c.why;
    if (std::string(c.why).rfind("empty value is fine", 0) == 0) {
      EXPECT_EQ(got.status, 0) << c.why;
      continue;
    }
    EXPECT_EQ(got.status, tornell::kHttp2CompressionError) << c.why;
    EXPECT_EQ(got.error.rfind("COMPRESSION_ERROR: ", 0), 0u) << c.why << ": " << got.error;
  }
}
