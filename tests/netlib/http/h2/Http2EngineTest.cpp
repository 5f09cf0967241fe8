// The HTTP/2 connection and stream engine in memory: the bytes it writes
// (read back with python3-hyperframe and python3-hpack) and its answers to
// frames written here byte for byte from RFC 7540.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Http2EngineSupport.h"
#include "TestSupport.h"
#include "TestText.h"
#include "http/h2/Http2Connection.h"

using namespace tornell;
using h2test::Frame;
using h2test::MemoryOwner;
using h2test::U32;
using testsupport::Hex;

namespace {

const std::string kOracle = std::string(H2_TEST_DIR) + "/engine_oracle.py";

std::vector<std::string> Describe(const std::string& bytes) {
  bool ok = false;
  const std::string out = testsupport::RunCommand("/usr/bin/python3 '" + kOracle + "' describe", Hex(bytes), ok);
  return ok ? testsupport::Lines(out) : std::vector<std::string>{"<oracle failed>"};
}

bool HaveOracle() { return testsupport::HavePythonModule("hpack") && testsupport::HavePythonModule("hyperframe"); }

// A header list of the entries (StringList cannot be copied: it is filled in place).
struct List {
  List(const std::vector<std::string>& entries) {
    for (const std::string& entry : entries) EXPECT_EQ(list.Add(entry.data(), static_cast<int>(entry.size())), 0);
  }
  operator StringList&() { return list; }
  StringList list;
};

List GetHeaders() {
  return List({":method", "GET", ":scheme", "https", ":path", "/index.html", ":authority", "localhost:443",
               "Connection", "keep-alive", "TE", "trailers", "Upgrade", "h2c", "Content-Type", "text/plain"});
}

// A connection with the preface sent and stream 1 open (a GET, or a request
// with a body), what it wrote so far dropped.
struct Opened {
  explicit Opened(bool endStream = true) : owner(connection) {
    EXPECT_EQ(connection.SendPreface(), 0);
    List headers = GetHeaders();
    EXPECT_EQ(connection.OpenStream(headers, endStream), 0);
    owner.TakeSent();
  }
  Http2Connection connection;
  MemoryOwner owner;
};

const std::string kStatus200 = "88";  // indexed :status 200 (RFC 7541 Appendix A, index 8)
const std::string kIncrementToTarget = U32(kHttp2ReceiveWindow - 65535);

}  // namespace

TEST(Http2Engine, FirstRequestWritesPrefaceSettingsWindowAndHeaders) {
  REQUIRE_OR_SKIP(HaveOracle(), "python3-hpack or python3-hyperframe is not installed");
  Http2Connection connection;
  MemoryOwner owner(connection);
  ASSERT_EQ(connection.SendPreface(), 0);
  List headers = GetHeaders();
  ASSERT_EQ(connection.OpenStream(headers, true), 0);
  const std::string first = owner.TakeSent();
  // The preface, SETTINGS (3 = 100, 4 = 65535) and the connection WINDOW_UPDATE, byte for byte.
  EXPECT_EQ(Hex(first.substr(0, 24 + 21 + 13)),
            Hex("PRI * HTTP/2.0\r\n\r\nSM\r\n\r\n") + "00000c040000000000" "000300000064" "00040000ffff" +
                "000004080000000000" "0000ffff");
  EXPECT_EQ(Describe(first),
            (std::vector<std::string>{
                "preface", "4 0 0 3=100 4=65535", "8 0 0 65535",
                "1 5 1 :method=GET|:scheme=https|:path=/index.html|:authority=localhost:443|content-type=text/plain",
                "8 0 1 " + std::to_string(kHttp2ReceiveWindow - 65535)}));
  EXPECT_EQ(connection.ConnectionReceiveWindow(), 131070);
  // The next request on the same connection: stream 3, no preface.
  List again = GetHeaders();
  ASSERT_EQ(connection.OpenStream(again, true), 0);
  const std::string next = owner.TakeSent();
  EXPECT_EQ(next.substr(0, 24).find("PRI"), std::string::npos);
  // Read after the first request, as the peer's decoder would.
  const std::vector<std::string> frames = Describe(first + next);
  ASSERT_EQ(frames.size(), 7u);
  EXPECT_EQ(frames[5].rfind("1 5 3 :method=GET", 0), 0u) << frames[5];
}

TEST(Http2Engine, LargeHeaderBlockGoesOnInContinuationFrames) {
  REQUIRE_OR_SKIP(HaveOracle(), "python3-hpack or python3-hyperframe is not installed");
  Http2Connection connection;
  MemoryOwner owner(connection);
  ASSERT_EQ(connection.SendPreface(), 0);
  owner.TakeSent();
  // Random-looking text Huffman cannot shrink much: 40000 bytes of value.
  std::string value;
  for (int i = 0; i < 40000; ++i) value += static_cast<char>('!' + (i * 7919) % 90);
  List headers({":method", "GET", ":path", "/", "x-big", value});
  ASSERT_EQ(connection.OpenStream(headers, true), 0);
  const std::vector<std::string> frames = Describe(owner.TakeSent());
  ASSERT_GE(frames.size(), 4u);
  EXPECT_EQ(frames[0], "1 1 1");  // HEADERS, END_STREAM, no END_HEADERS
  for (size_t i = 1; i + 2 < frames.size(); ++i) EXPECT_EQ(frames[i], "9 0 1");
  EXPECT_EQ(frames[frames.size() - 2], "9 4 1 :method=GET|:path=/|x-big=" + value);
}

TEST(Http2Engine, OddHeaderListFails) {
  Http2Connection connection;
  MemoryOwner owner(connection);
  List headers({":method", "GET", ":path"});
  EXPECT_EQ(connection.OpenStream(headers, true), 1);
  EXPECT_STREQ(connection.GetLastErrorText(), "PROTOCOL_ERROR: Send Headers Frame headersSize is 3.");
}

TEST(Http2Engine, ResponseEventsAreTheSameWholeAndByteByByte) {
  const std::string input =
      Frame(4, 0, 0, "000300000080" "000400010000") + Frame(4, 1, 0) +
      Frame(1, 4, 1, kStatus200 + "0f1004" + Hex("text")) +  // content-type (index 31) without indexing
      Frame(0x0a, 0, 0, "0102") +                              // an extension frame: ignored
      Frame(0, 0, 1, Hex("hello ")) + Frame(0, 8, 1, "03" + Hex("world") + "000000") +  // padded
      Frame(6, 0, 0, "0102030405060708") + Frame(0, 1, 1);
  std::vector<std::string> whole;
  std::string wholeSent;
  for (bool oneByOne : {false, true}) {
    Opened o;
    ASSERT_EQ(o.owner.Feed(input, oneByOne), 0) << o.connection.GetLastErrorText();
    EXPECT_EQ(o.owner.events, (std::vector<std::string>{"H :status: 200", "H content-type: text", "E", "D 6", "D 5",
                                                         "X"}));
    EXPECT_EQ(o.owner.body, "hello world");
    EXPECT_EQ(o.connection.GetMaxConcurrentStreams(), 128);
    EXPECT_EQ(o.connection.GetPeerInitialWindowSize(), 65536);
    // SETTINGS acknowledged, PING answered with its bytes; the connection
    // window (131070 less the first DATA's 6 bytes) is refilled to the
    // target at once.
    EXPECT_EQ(Hex(o.owner.sent),
              Hex(Frame(4, 1, 0) + Frame(8, 0, 0, U32(kHttp2ReceiveWindow - 131070 + 6)) +
                  Frame(6, 1, 0, "0102030405060708")));
    EXPECT_EQ(o.connection.Engine().State(), kStreamClosed);
    if (!oneByOne) {
      whole = o.owner.events;
      wholeSent = o.owner.sent;
    } else {
      EXPECT_EQ(o.owner.events, whole);
      EXPECT_EQ(o.owner.sent, wholeSent);
    }
    // Both ends are done: closing sends no RST_STREAM.
    o.owner.TakeSent();
    EXPECT_EQ(o.connection.CloseStream(), 0);
    EXPECT_EQ(o.owner.sent, "");
  }
}

TEST(Http2Engine, HeaderBlockSplitIntoContinuationAtEveryOffset) {
  const std::string block = kStatus200 + "0003" + Hex("foo") + "03" + Hex("bar") + "400178" + "0179";  // foo: bar, x: y (indexed)
  const std::string blockBytes = testsupport::Unhex(block);
  for (size_t cut = 0; cut <= blockBytes.size(); ++cut) {
    Opened o;
    const std::string first = Hex(blockBytes.substr(0, cut));
    const std::string rest = Hex(blockBytes.substr(cut));
    const std::string input = Frame(1, 1, 1, first) + Frame(9, 0, 1, "") + Frame(9, 4, 1, rest);
    ASSERT_EQ(o.owner.Feed(input), 0) << cut << " " << o.connection.GetLastErrorText();
    EXPECT_EQ(o.owner.events, (std::vector<std::string>{"H :status: 200", "H foo: bar", "H x: y", "E", "X"})) << cut;
  }
}

struct FailureCase {
  const char* name;
  std::string input;
  int code;
  const char* text;  // nullptr: not checked
};

TEST(Http2Engine, ViolationsFailWithTheirCodeAndText) {
  const std::vector<FailureCase> cases = {
      {"settings ack with payload", Frame(4, 1, 0, "000100001000"), 6,
       "FRAME_SIZE_ERROR: Receive Settings Frame with Ack Flags but payloadLen is 6 not 0."},
      {"ping of 7 bytes", Frame(6, 0, 0, "01020304050607"), 6,
       "FRAME_SIZE_ERROR: Receive Ping Frame with PadLen 7 differet from Ping Frame PadLen should be 8."},
      {"ping on a stream", Frame(6, 0, 1, "0102030405060708"), 1,
       "PROTOCOL_ERROR: Receive Ping Frame with StreamIdentifier is not 0."},
      {"window increment 0", Frame(8, 0, 0, "00000000"), 1,
       "PROTOCOL_ERROR: Receive WindowUpdata Frame with WindowIncrement is 0."},
      {"connection window overflow", Frame(8, 0, 0, "7fffffff"), 3, nullptr},
      {"stream window overflow", Frame(8, 0, 1, "7fffffff"), 3, nullptr},
      {"enable push 2", Frame(4, 0, 0, "000200000002"), 1, nullptr},
      {"max frame size too small", Frame(4, 0, 0, "000500003fff"), 1, nullptr},
      {"max frame size too large", Frame(4, 0, 0, "000501000000"), 1, nullptr},
      {"initial window above 2^31-1", Frame(4, 0, 0, "000480000000"), 3, nullptr},
      {"initial window overflowing the open stream", Frame(8, 0, 1, "7fff0000") + Frame(4, 0, 0, "00047fffffff"), 3,
       nullptr},
      {"settings of 5 bytes", Frame(4, 0, 0, "0001000010"), 6, nullptr},
      {"frame above 16384, refused from its header", testsupport::Unhex("004001000000000001"), 6,
       "FRAME_SIZE_ERROR: Receive Frame with payload length 16385 more than 16384."},
      {"goaway on a stream", Frame(7, 0, 1, "0000000000000000"), 1,
       "PROTOCOL_ERROR: Receive GoAway Frame with StreamIdentifier is not 0."},
      {"rst_stream on stream 0", Frame(3, 0, 0, "00000008"), 1,
       "PROTOCOL_ERROR: Receive RstStream Frame with StreamIdentifier is 0."},
      {"data on stream 0", Frame(0, 0, 0, "00"), 1, "PROTOCOL_ERROR: Receive Data Frame with StreamIdentifier is 0."},
      {"continuation with no block", Frame(9, 4, 1, kStatus200), 1, nullptr},
      {"another frame inside a header block", Frame(1, 0, 1, kStatus200) + Frame(6, 0, 0, "0102030405060708"), 1,
       nullptr},
      {"continuation of another stream", Frame(1, 0, 1, kStatus200) + Frame(9, 4, 3, ""), 1, nullptr},
      {"bad padding", Frame(0, 8, 1, "05" + Hex("ab")), 1, nullptr},
      {"bad hpack index", Frame(1, 4, 1, "ff00"), 9, nullptr},
      {"data after the end of the stream", Frame(1, 5, 1, kStatus200) + Frame(0, 0, 1, "00"), 1, "PROTOCOL_ERROR"},
  };
  for (const FailureCase& c : cases) {
    for (bool oneByOne : {false, true}) {
      Opened o(false);
      EXPECT_EQ(o.owner.Feed(c.input, oneByOne), c.code) << c.name;
      if (c.text != nullptr) {
        EXPECT_STREQ(o.connection.GetLastErrorText(), c.text) << c.name;
      }
    }
  }
}

TEST(Http2Engine, PeerResetEndsTheStreamWithItsError) {
  Opened o;
  ASSERT_EQ(o.owner.Feed(Frame(1, 4, 1, kStatus200) + Frame(3, 0, 1, "00000008")), 0);
  EXPECT_EQ(o.owner.events, (std::vector<std::string>{"H :status: 200", "E", "X"}));
  EXPECT_EQ(o.connection.GetLastErrorCode(), 162);
  EXPECT_STREQ(o.connection.GetLastErrorText(),
               "HTTP/2 Protocol Error: Stream reset. The stream was no longer needed. Error code 0x8 (CANCEL).");
  o.owner.TakeSent();
  EXPECT_EQ(o.connection.CloseStream(), 0);
  EXPECT_EQ(o.owner.sent, "");  // a reset stream is not reset again
  // The next stream starts with no stale error.
  List headers = GetHeaders();
  ASSERT_EQ(o.connection.OpenStream(headers, true), 0);
  EXPECT_EQ(o.connection.GetLastErrorCode(), 0);
  EXPECT_STREQ(Http2Engine::ReasonPhrase(418), "Unknown");
  EXPECT_STREQ(o.connection.Engine().ErrorCodeName(14), "0xe (INTERNAL_ERROR)");
}

TEST(Http2Engine, NoErrorResetAfterTheResponseStopsTheUploadQuietly) {
  Opened o(false);
  ASSERT_EQ(o.owner.Feed(Frame(1, 5, 1, kStatus200) + Frame(3, 0, 1, "00000000")), 0);
  EXPECT_EQ(o.owner.events, (std::vector<std::string>{"H :status: 200", "E", "X"}));
  o.owner.TakeSent();
  const std::string body(40000, 'b');
  EXPECT_EQ(o.connection.SendData(body.data(), static_cast<int>(body.size()), true), 0);
  EXPECT_EQ(o.owner.sent, "");
  EXPECT_EQ(o.connection.GetLastErrorCode(), 0);
}

TEST(Http2Engine, UploadFollowsBothWindowsAndTheNewInitialWindow) {
  REQUIRE_OR_SKIP(HaveOracle(), "python3-hpack or python3-hyperframe is not installed");
  Opened o(false);
  // The peer lowers its initial window to 1000 with the stream open: the
  // stream may send 1000 bytes, then waits for WINDOW_UPDATE frames.
  ASSERT_EQ(o.owner.Feed(Frame(4, 0, 0, "0004000003e8")), 0);
  EXPECT_EQ(o.connection.Engine().StreamSendWindow(), 1000);
  o.owner.TakeSent();
  o.owner.onWait.push_back([&] { ASSERT_EQ(o.owner.Feed(Frame(8, 0, 1, U32(30000))), 0); });
  o.owner.onWait.push_back([&] { ASSERT_EQ(o.owner.Feed(Frame(8, 0, 1, U32(100000))), 0); });
  // The connection window (65535) is spent before the stream's.
  o.owner.onWait.push_back([&] { ASSERT_EQ(o.owner.Feed(Frame(8, 0, 0, U32(100000))), 0); });
  const std::string body(70000, 'u');
  ASSERT_EQ(o.connection.SendData(body.data(), static_cast<int>(body.size()), true), 0);
  EXPECT_EQ(o.owner.waits, 3);
  EXPECT_EQ(o.owner.chunkFlags, 0);  // never chunk framing
  EXPECT_EQ(Describe(o.owner.sent),
            (std::vector<std::string>{"0 0 1 1000", "0 0 1 16384", "0 0 1 13616", "0 0 1 16384", "0 0 1 16384",
                                      "0 0 1 1767", "0 1 1 4465"}));
  EXPECT_EQ(o.connection.Engine().State(), kStreamHalfClosedLocal);
}

TEST(Http2Engine, WaitThatEndsStopsTheUploadWith301) {
  Opened o(false);
  ASSERT_EQ(o.owner.Feed(Frame(4, 0, 0, "000400000010")), 0);
  const std::string body(100, 'u');
  EXPECT_EQ(o.connection.SendData(body.data(), static_cast<int>(body.size()), true), 301);
}

TEST(Http2Engine, PushPromiseIsRefusedAndItsStreamIgnored) {
  REQUIRE_OR_SKIP(HaveOracle(), "python3-hpack or python3-hyperframe is not installed");
  for (bool oneByOne : {false, true}) {
    Opened o;
    // The promise's block adds "x: y" to the table (literal with indexing);
    // the response's block then refers to it by index 62.
    const std::string input = Frame(5, 4, 1, "00000002" "82" "8441" "0f" + Hex("www.example.com") + "400178" "0179") +
                              Frame(1, 4, 2, kStatus200) + Frame(0, 1, 2, Hex("pushed")) +
                              Frame(1, 4, 1, kStatus200 + "be") + Frame(0, 1, 1, Hex("own"));
    ASSERT_EQ(o.owner.Feed(input, oneByOne), 0) << o.connection.GetLastErrorText();
    EXPECT_EQ(o.owner.events, (std::vector<std::string>{"H :status: 200", "H x: y", "E", "D 3", "X"}));
    EXPECT_EQ(o.owner.body, "own");
    const std::vector<std::string> sent = Describe(o.owner.sent);
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent[0], "3 0 2 7");  // RST_STREAM(REFUSED_STREAM) on the promised stream
  }
}

TEST(Http2Engine, GoAwayBelowTheStreamEndsItAndMarksTheConnection) {
  Opened o;
  ASSERT_EQ(o.owner.Feed(Frame(7, 0, 0, "00000000" "0000000b")), 0);
  EXPECT_EQ(o.owner.events, (std::vector<std::string>{"X"}));
  EXPECT_TRUE(o.connection.IsGoingAway());
  EXPECT_EQ(o.connection.GetLastErrorCode(), 162);
  EXPECT_NE(std::string(o.connection.GetLastErrorText()).find("Error code 0xb (ENHANCE_YOUR_CALM)."),
            std::string::npos);
  // A GOAWAY that covers the stream lets it finish.
  Opened p;
  ASSERT_EQ(p.owner.Feed(Frame(7, 0, 0, "00000001" "00000000") + Frame(1, 5, 1, kStatus200)), 0);
  EXPECT_EQ(p.owner.events, (std::vector<std::string>{"H :status: 200", "E", "X"}));
  EXPECT_TRUE(p.connection.IsGoingAway());
  EXPECT_EQ(p.connection.GetLastErrorCode(), 0);
}

TEST(Http2Engine, FramesBetweenRequestsAreHandled) {
  Opened o;
  ASSERT_EQ(o.owner.Feed(Frame(1, 5, 1, kStatus200)), 0);
  ASSERT_EQ(o.connection.CloseStream(), 0);
  o.owner.TakeSent();
  // No stream open: SETTINGS, PING and a late frame of the old stream.
  ASSERT_EQ(o.owner.Feed(Frame(4, 0, 0, "000100000100") + Frame(6, 0, 0, "0000000000000001") +
                         Frame(8, 0, 1, "00000010") + Frame(3, 0, 1, "00000005")),
            0)
      << o.connection.GetLastErrorText();
  EXPECT_EQ(Hex(o.owner.sent), Hex(Frame(4, 1, 0) + Frame(6, 1, 0, "0000000000000001")));
  EXPECT_EQ(o.connection.GetHeaderTableSize(), 256);
  EXPECT_EQ(o.connection.EncoderTable().MaxSize(), 256);
}

TEST(Http2Engine, PartialFrameSurvivesTheNextStream) {
  Opened o;
  const std::string ping = Frame(6, 0, 0, "0102030405060708");
  ASSERT_EQ(o.owner.Feed(Frame(1, 5, 1, kStatus200) + ping.substr(0, 5)), 0);
  ASSERT_EQ(o.connection.CloseStream(), 0);
  List headers = GetHeaders();
  ASSERT_EQ(o.connection.OpenStream(headers, true), 0);
  o.owner.TakeSent();
  ASSERT_EQ(o.owner.Feed(ping.substr(5)), 0);
  EXPECT_EQ(Hex(o.owner.sent), Hex(Frame(6, 1, 0, "0102030405060708")));
}
