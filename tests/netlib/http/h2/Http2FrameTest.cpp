// HTTP/2 frames: bytes of our own, frames built by python3-hyperframe parsed
// by us and ours parsed by it, and the bounds every received frame must keep.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "TestText.h"
#include "http/h2/Http2Frames.h"
#include "http/h2/Http2HeadersFrame.h"

using namespace tornell;
using testsupport::Hex;
using testsupport::Unhex;

namespace {

const std::string kOracle = std::string(H2_TEST_DIR) + "/frame_oracle.py";

std::string Serialized(Http2Frame& frame) {
  ByteString out;
  EXPECT_EQ(frame.Serialize(out), 0);
  return Hex(out.Data(), out.Length());
}

std::string BytesHex(const ByteString& bytes) { return bytes.Length() == 0 ? "-" : Hex(bytes.Data(), bytes.Length()); }

std::unique_ptr<Http2Frame> MakeFrame(int type) {
  switch (type) {
    case Http2Frame::kData: return std::make_unique<Http2DataFrame>();
    case Http2Frame::kHeaders: return std::make_unique<Http2HeadersFrame>();
    case Http2Frame::kPriority: return std::make_unique<Http2PriorityFrame>();
    case Http2Frame::kRstStream: return std::make_unique<Http2RstStreamFrame>();
    case Http2Frame::kSettings: return std::make_unique<Http2SettingsFrame>();
    case Http2Frame::kPushPromise: return std::make_unique<Http2PushPromiseFrame>();
    case Http2Frame::kPing: return std::make_unique<Http2PingFrame>();
    case Http2Frame::kGoAway: return std::make_unique<Http2GoAwayFrame>();
    case Http2Frame::kWindowUpdate: return std::make_unique<Http2WindowUpdateFrame>();
    case Http2Frame::kContinuation: return std::make_unique<Http2ContinuationFrame>();
    default: return nullptr;
  }
}

// The fields of a parsed frame, in the words frame_oracle.py writes.
std::string Describe(Http2Frame& frame) {
  std::string d = std::to_string(frame.Type()) + " " + std::to_string(frame.Flags()) + " " +
                  std::to_string(frame.StreamId());
  auto add = [&d](const std::string& word) { d += " " + word; };
  auto priority = [&add](uint32_t dependency, int weight) {
    add(std::to_string(dependency & 0x7FFFFFFF));
    add(std::to_string(dependency >> 31));
    add(std::to_string(weight));
  };
  if (auto* f = dynamic_cast<Http2DataFrame*>(&frame)) {
    add(std::to_string(f->PadLength));
    add(BytesHex(f->Data));
  } else if (auto* f = dynamic_cast<Http2HeadersFrame*>(&frame)) {
    add(std::to_string(f->PadLength));
    if (f->HasPriority()) priority(f->StreamDependency, f->Weight);
    add(BytesHex(f->HeaderBlock));
  } else if (auto* f = dynamic_cast<Http2PriorityFrame*>(&frame)) {
    priority(f->StreamDependency, f->Weight);
  } else if (auto* f = dynamic_cast<Http2RstStreamFrame*>(&frame)) {
    add(std::to_string(f->ErrorCode));
  } else if (auto* f = dynamic_cast<Http2SettingsFrame*>(&frame)) {
    for (int id = 1; id <= Http2SettingsFrame::kSettingCount; ++id) {
      if (f->Get(id) != Http2SettingsFrame::kAbsent) add(std::to_string(id) + "=" + std::to_string(f->Get(id)));
    }
  } else if (auto* f = dynamic_cast<Http2PushPromiseFrame*>(&frame)) {
    add(std::to_string(f->PadLength));
    add(std::to_string(f->PromisedStreamId));
    add(BytesHex(f->HeaderBlock));
  } else if (auto* f = dynamic_cast<Http2PingFrame*>(&frame)) {
    add(BytesHex(f->OpaqueData));
  } else if (auto* f = dynamic_cast<Http2GoAwayFrame*>(&frame)) {
    add(std::to_string(f->LastStreamId));
    add(std::to_string(f->ErrorCode));
    add(BytesHex(f->DebugData));
  } else if (auto* f = dynamic_cast<Http2WindowUpdateFrame*>(&frame)) {
    add(std::to_string(f->Increment));
  } else if (auto* f = dynamic_cast<Http2ContinuationFrame*>(&frame)) {
    add(BytesHex(f->HeaderBlock));
  }
  return d;
}

struct Parsed {
  int status = -1;
  std::string description;
  std::string error;
};

Parsed ParseHex(const std::string& hex) {
  const std::string bytes = Unhex(hex);
  Parsed result;
  std::unique_ptr<Http2Frame> frame = MakeFrame(bytes.size() > 3 ? static_cast<unsigned char>(bytes[3]) : 0);
  if (frame == nullptr) return result;
  result.status = frame->Parse(bytes.data(), static_cast<int>(bytes.size()));
  result.error = frame->GetLastErrorText();
  if (result.status == 0) result.description = Describe(*frame);
  return result;
}

std::string Header(int length, int type, int flags, uint32_t stream) {
  char text[32];
  std::snprintf(text, sizeof text, "%06x%02x%02x%08x", length, type, flags, stream);
  return text;
}

bool HaveHyperframe() { return testsupport::HavePythonModule("hyperframe"); }

}  // namespace

TEST(Http2Frames, OurBytes) {
  Http2WindowUpdateFrame update;
  update.Increment = 65535;
  EXPECT_EQ(Serialized(update), "0000040800000000000000ffff");

  Http2SettingsFrame settings;
  settings.Set(Http2SettingsFrame::kMaxConcurrentStreams, 100);
  settings.Set(Http2SettingsFrame::kInitialWindowSize, 65535);
  EXPECT_EQ(Serialized(settings), "00000c040000000000" "000300000064" "00040000ffff");
  Http2SettingsFrame ack;
  ack.SetAck(true);
  EXPECT_EQ(Serialized(ack), "000000040100000000");

  Http2DataFrame data;
  data.PadLength = 2;
  ASSERT_EQ(data.Data.Set("ab"), 0);
  data.SetStreamId(1);
  const std::string padded = Serialized(data);
  EXPECT_EQ(padded, "000005000800000001" "0261620000");
  const Parsed back = ParseHex(padded);
  ASSERT_EQ(back.status, 0) << back.error;
  EXPECT_EQ(back.description, "0 8 1 2 6162");

  // The reserved bit is never written.
  Http2RstStreamFrame reset;
  reset.SetStreamId(static_cast<int>(0x80000003u));
  reset.ErrorCode = 8;
  EXPECT_EQ(Serialized(reset), "00000403000000000300000008");
  Http2GoAwayFrame goAway;
  goAway.LastStreamId = 0xFFFFFFFF;
  goAway.ErrorCode = 1;
  EXPECT_EQ(Serialized(goAway), "0000080700000000007fffffff00000001");
}

TEST(Http2Frames, ParsesPaddingPriorityAndSettings) {
  // HEADERS with PADDED (4) and PRIORITY: only the bytes between.
  Parsed got = ParseHex(Header(12, 1, 0x2C, 1) + "04" "80000003" "10" "8284" "deadbeef");
  ASSERT_EQ(got.status, 0) << got.error;
  EXPECT_EQ(got.description, "1 44 1 4 3 1 16 8284");
  // SETTINGS: an entry of id 9 is skipped, the others kept.
  got = ParseHex(Header(18, 4, 0, 0) + "000100000100" "000900000001" "000400001000");
  ASSERT_EQ(got.status, 0) << got.error;
  EXPECT_EQ(got.description, "4 0 0 1=256 4=4096");
  // GOAWAY of exactly 8 bytes: no debug data.
  got = ParseHex(Header(8, 7, 0, 0) + "00000005" "00000000");
  ASSERT_EQ(got.status, 0) << got.error;
  EXPECT_EQ(got.description, "7 0 0 5 0 -");
  // Reserved bits are masked when read.
  got = ParseHex(Header(4, 8, 0, 0x80000005u) + "80000100");
  ASSERT_EQ(got.status, 0) << got.error;
  EXPECT_EQ(got.description, "8 0 5 256");
  got = ParseHex(Header(4, 5, 0x4, 1) + "80000002");
  ASSERT_EQ(got.status, 0) << got.error;
  EXPECT_EQ(got.description, "5 4 1 0 2 -");
  // The largest frame we allow.
  got = ParseHex(Header(16384, 0, 0, 1) + std::string(2 * 16384, '0'));
  EXPECT_EQ(got.status, 0) << got.error;
}

TEST(Http2Frames, BoundsOfReceivedFrames) {
  struct Case {
    std::string hex;
    int status;
    const char* why;
  };
  const Case cases[] = {
      {Header(3, 0, 0x8, 1) + "036162", 1, "DATA pad length 3 in a 3-byte payload"},
      {Header(0, 0, 0x8, 1), 6, "DATA PADDED without a pad length"},
      {Header(6, 1, 0x28, 1) + "01" "00000003" "10", 1, "HEADERS pad length past what the priority leaves"},
      {Header(5, 1, 0x8, 1) + "058284" "0000", 1, "HEADERS pad length past the payload"},
      {Header(4, 1, 0x20, 1) + "00000003", 6, "HEADERS PRIORITY cut short"},
      {Header(6, 5, 0x8, 1) + "03" "00000002" "82", 1, "PUSH_PROMISE pad length past the payload"},
      {Header(3, 5, 0x4, 1) + "000002", 6, "PUSH_PROMISE without a whole promised id"},
      {Header(4, 2, 0, 1) + "00000003", 6, "PRIORITY of 4 bytes"},
      {Header(6, 2, 0, 1) + "000000030f00", 6, "PRIORITY of 6 bytes"},
      {Header(3, 3, 0, 1) + "000008", 6, "RST_STREAM of 3 bytes"},
      {Header(5, 3, 0, 1) + "0000000800", 6, "RST_STREAM of 5 bytes"},
      {Header(7, 4, 0, 0) + "00030000006400", 6, "SETTINGS not a multiple of 6"},
      {Header(7, 6, 0, 0) + "00010203040506", 6, "PING of 7 bytes"},
      {Header(9, 6, 0, 0) + "000102030405060708", 6, "PING of 9 bytes"},
      {Header(7, 7, 0, 0) + "00000001000000", 6, "GOAWAY without its error code"},
      {Header(3, 8, 0, 0) + "00ffff", 6, "WINDOW_UPDATE of 3 bytes"},
      {Header(5, 8, 0, 0) + "0000ffff00", 6, "WINDOW_UPDATE of 5 bytes"},
      {Header(16385, 0, 0, 1) + std::string(2 * 16385, '0'), 6, "a 16385-byte frame"},
      {Header(10, 0, 0, 1) + "6162", 1080, "fewer bytes than the header says"},
      {"0000", 1080, "a header cut short"},
  };
  for (const Case& c : cases) {
    const Parsed got = ParseHex(c.hex);
    EXPECT_EQ(got.status, c.status) << c.why;
    const char* name = c.status == 1 ? "PROTOCOL_ERROR: " : (c.status == 6 ? "FRAME_SIZE_ERROR: " : "");
    EXPECT_EQ(got.error.rfind(name, 0), 0u) << c.why << ": " << got.error;
  }
}

TEST(Http2Frames, HyperframeFramesParseHere) {
  REQUIRE_OR_SKIP(HaveHyperframe(), "/usr/bin/python3 without python3-hyperframe");
  bool ok = false;
  const std::vector<std::string> lines =
      testsupport::Lines(testsupport::RunCommand("/usr/bin/python3 '" + kOracle + "' build", ok));
  ASSERT_TRUE(ok);
  ASSERT_GE(lines.size(), 20u);
  std::vector<bool> typeSeen(10, false);
  for (const std::string& line : lines) {
    const size_t space = line.find(' ');
    const Parsed got = ParseHex(line.substr(0, space));
    ASSERT_EQ(got.status, 0) << line << ": " << got.error;
    EXPECT_EQ(got.description, line.substr(space + 1)) << line;
    typeSeen[std::stoi(line.substr(space + 1))] = true;
  }
  for (int type = 0; type < 10; ++type) EXPECT_TRUE(typeSeen[type]) << type;
}

TEST(Http2Frames, OurFramesParseInHyperframe) {
  REQUIRE_OR_SKIP(HaveHyperframe(), "/usr/bin/python3 without python3-hyperframe");
  std::vector<std::unique_ptr<Http2Frame>> frames;
  const std::string block = Unhex("828684418cf1e3c2e5f23a6ba0ab90f4ff");
  {
    auto f = std::make_unique<Http2DataFrame>();
    f->SetStreamId(1);
    f->SetEndStream(true);
    f->PadLength = 255;
    ASSERT_EQ(f->Data.Set(std::string(300, 'x').c_str()), 0);
    frames.push_back(std::move(f));
  }
  {
    auto f = std::make_unique<Http2HeadersFrame>();
    f->SetStreamId(3);
    f->SetEndHeaders(true);
    f->SetPriority(true);
    f->StreamDependency = 0x80000001;
    f->Weight = 255;
    f->PadLength = 3;
    ASSERT_EQ(f->HeaderBlock.Set(block.data(), static_cast<int>(block.size())), 0);
    frames.push_back(std::move(f));
  }
  {
    // A block coded by the frame itself, Huffman on.
    auto f = std::make_unique<Http2HeadersFrame>();
    f->SetStreamId(5);
    f->SetEndHeaders(true);
    f->SetEndStream(true);
    HpackStaticTable table;
    PtrList<HpackHeaderField> fields;
    HpackHeaderField field;
    ASSERT_EQ(field.Set(":method", 7, "GET", 3), 0);
    ASSERT_EQ(fields.Add(field), 0);
    ASSERT_EQ(field.Set("user-agent", 10, "t\xc3\xa9st", 5), 0);
    ASSERT_EQ(fields.Add(field), 0);
    ASSERT_EQ(f->EncodeHeaders(fields, table, ""), 0);
    EXPECT_EQ(table.DynamicCount(), 1);
    frames.push_back(std::move(f));
  }
  {
    auto f = std::make_unique<Http2PriorityFrame>();
    f->SetStreamId(7);
    f->StreamDependency = 5;
    f->Weight = 16;
    frames.push_back(std::move(f));
  }
  {
    auto f = std::make_unique<Http2RstStreamFrame>();
    f->SetStreamId(1);
    f->ErrorCode = 0xFFFFFFFF;
    frames.push_back(std::move(f));
  }
  {
    auto f = std::make_unique<Http2SettingsFrame>();
    for (int id = 1; id <= 6; ++id) f->Set(id, static_cast<uint32_t>(id * 1000));
    frames.push_back(std::move(f));
  }
  {
    auto f = std::make_unique<Http2PushPromiseFrame>();
    f->SetStreamId(1);
    f->PromisedStreamId = 2;
    f->PadLength = 1;
    ASSERT_EQ(f->HeaderBlock.Set(block.data(), static_cast<int>(block.size())), 0);
    frames.push_back(std::move(f));
  }
  {
    auto f = std::make_unique<Http2PingFrame>();
    f->SetAck(true);
    ASSERT_EQ(f->OpaqueData.Set("\x01\x02\x03\x04\x05\x06\x07\x08", 8), 0);
    frames.push_back(std::move(f));
  }
  {
    auto f = std::make_unique<Http2GoAwayFrame>();
    f->LastStreamId = 9;
    f->ErrorCode = 11;
    ASSERT_EQ(f->DebugData.Set("calm down"), 0);
    frames.push_back(std::move(f));
  }
  {
    auto f = std::make_unique<Http2WindowUpdateFrame>();
    f->SetStreamId(9);
    f->Increment = 0x7FFFFFFF;
    frames.push_back(std::move(f));
  }
  {
    auto f = std::make_unique<Http2ContinuationFrame>();
    f->SetStreamId(3);
    f->SetEndHeaders(true);
    ASSERT_EQ(f->HeaderBlock.Set(block.data(), static_cast<int>(block.size())), 0);
    frames.push_back(std::move(f));
  }
  std::string input;
  std::vector<std::string> ours;
  for (auto& frame : frames) {
    const std::string hex = Serialized(*frame);
    input += hex + "\n";
    const Parsed back = ParseHex(hex);
    ASSERT_EQ(back.status, 0) << hex << ": " << back.error;
    ours.push_back(back.description);
  }
  bool ok = false;
  const std::vector<std::string> theirs =
      testsupport::Lines(testsupport::RunCommand("/usr/bin/python3 '" + kOracle + "' parse", input, ok));
  ASSERT_TRUE(ok);
  ASSERT_EQ(theirs.size(), ours.size());
  for (size_t i = 0; i < ours.size(); ++i) EXPECT_EQ(theirs[i], ours[i]) << i;
  EXPECT_EQ(ours[1], "1 44 3 3 1 1 255 828684418cf1e3c2e5f23a6ba0ab90f4ff");
}

// A header block split inside a string: each frame keeps its raw fragment and
// the gathered block decodes once.
TEST(Http2Frames, FragmentsGatherIntoOneBlock) {
  HpackStaticTable encoder;
  PtrList<HpackHeaderField> fields;
  HpackHeaderField field;
  ASSERT_EQ(field.Set(":status", 7, "200", 3), 0);
  ASSERT_EQ(fields.Add(field), 0);
  const std::string cookie(300, 'c');
  ASSERT_EQ(field.Set("set-cookie", 10, cookie.data(), static_cast<int>(cookie.size())), 0);
  ASSERT_EQ(fields.Add(field), 0);
  ByteString block;
  ASSERT_EQ(Http2HeadersFrame::EncodeHeaderBlock(true, fields, encoder, "", block), 0);
  const int cut = 20;  // inside the cookie's value
  Http2HeadersFrame first;
  first.SetStreamId(1);
  ASSERT_EQ(first.HeaderBlock.Set(block.Data(), cut), 0);
  Http2ContinuationFrame second;
  second.SetStreamId(1);
  second.SetEndHeaders(true);
  ASSERT_EQ(second.HeaderBlock.Set(block.Data() + cut, block.Length() - cut), 0);
  const std::string wire = Unhex(Serialized(first) + Serialized(second));

  Http2HeadersFrame gotFirst;
  ASSERT_EQ(gotFirst.Parse(wire.data(), 9 + cut), 0);
  EXPECT_FALSE(gotFirst.EndHeaders());
  Http2ContinuationFrame gotSecond;
  ASSERT_EQ(gotSecond.Parse(wire.data() + 9 + cut, static_cast<int>(wire.size()) - 9 - cut), 0);
  EXPECT_TRUE(gotSecond.EndHeaders());
  // The first fragment alone is not a whole block.
  HpackStaticTable lone;
  StringList partial;
  EXPECT_EQ(Http2HeadersFrame::DecodeHeaderBlock(gotFirst.HeaderBlock.Data(), 0, gotFirst.HeaderBlock.Length(), lone,
                                                 partial),
            kHttp2CompressionError);
  ByteString gathered;
  ASSERT_EQ(gathered.Append(gotFirst.HeaderBlock), 0);
  ASSERT_EQ(gathered.Append(gotSecond.HeaderBlock), 0);
  HpackStaticTable decoder;
  StringList out;
  ASSERT_EQ(Http2HeadersFrame::DecodeHeaderBlock(gathered.Data(), 0, gathered.Length(), decoder, out), 0);
  ASSERT_EQ(out.Count(), 4);
  EXPECT_STREQ(out.Get(1), "200");
  EXPECT_EQ(std::string(out.Get(3), out.EntryLength(3)), cookie);
}
