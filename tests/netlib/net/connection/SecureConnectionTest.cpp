// The secure connection's events, queues and start modes, with the engine's
// slots replaced by a pass-through against loopback peers (the real engine's
// handshake is tested against OpenSSL's and GnuTLS's servers separately).
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <random>
#include <string>

#include "PeerProcess.h"
#include "SecureTestSupport.h"
#include "TestSupport.h"

using nettest::Event;
using nettest::EventConnection;
using nettest::PassThroughTls;
using nettest::PumpUntil;
using testsupport::PeerProcess;

namespace {

bool StartEcho(PeerProcess& echo) {
  return echo.Start({"socat", "TCP4-LISTEN:{port},bind=127.0.0.1,reuseaddr,fork", "EXEC:cat"});
}

// Sends through the connection and runs wait steps until `expected` bytes came back.
bool EchoBack(EventConnection& connection, const std::string& bytes, size_t expected) {
  if (connection.SendData(bytes.data(), static_cast<int>(bytes.size()), 0, 0) != 0) return false;
  return PumpUntil(connection, [&] { return connection.received.size() >= expected; });
}

const std::vector<std::string> kNoData = {"DataIn"};

}  // namespace

TEST(SecureConnection, PlainConnectStillAnnouncesTheHandshakeLine) {
  PeerProcess echo;
  REQUIRE_OR_SKIP(StartEcho(echo), "socat is not installed");
  EventConnection connection;
  ASSERT_EQ(connection.ConnectTo("127.0.0.1", echo.port()), 0);
  const std::vector<Event> expected = {
      {"ConnectionStatus", 0, "Remote host connection complete. Initiating SSL handshake.", "OK"},
      {"Connected", 0, "", "OK"}};
  EXPECT_EQ(connection.Without({"ReadyToSend"}), expected);
  ASSERT_EQ(connection.DisconnectAndWait(), 0);
  EXPECT_EQ(connection.events.back(), (Event{"Disconnected", 0, "", "OK"}));
  EXPECT_EQ(connection.events[connection.events.size() - 2],
            (Event{"ConnectionStatus", 0, "Remote host disconnected.", "OK"}));
}

TEST(SecureConnection, EventsInSlotOrderAroundTheHandshake) {
  PeerProcess echo;
  REQUIRE_OR_SKIP(StartEcho(echo), "socat is not installed");
  PassThroughTls connection;
  ASSERT_EQ(connection.SetUseSSL(true), 0);
  ASSERT_EQ(connection.ConnectTo("127.0.0.1", echo.port()), 0);
  const std::vector<Event> expected = {
      {"SSLStatus", 0, "Attempting to connect to server.", ""},
      {"ConnectionStatus", 0, "Remote host connection complete. Initiating SSL handshake.", "OK"},
      {"SSLStatus", 0, "Using internal security API.", ""},
      {"ConnectionStatus", 0, "SSL handshake complete.", "OK"},
      {"Connected", 0, "", "OK"},
      {"ReadyToSend", 0, "", ""}};
  ASSERT_GE(connection.events.size(), expected.size());
  EXPECT_EQ(std::vector<Event>(connection.events.begin(), connection.events.begin() + 6), expected);
  // Writable events after the handshake only repeat ReadyToSend.
  for (size_t i = expected.size(); i < connection.events.size(); ++i) EXPECT_EQ(connection.events[i].kind, "ReadyToSend");
  EXPECT_TRUE(connection.IsConnected());
  EXPECT_EQ(connection.GetReadyToSend(), 1);
  // A second connect is refused.
  EXPECT_EQ(connection.SetConnected(1, 0), tornell::kStatusAlreadyConnected);
  EXPECT_STREQ(connection.GetLastErrorText(),
               "Already connected. If you want to reconnect, close the current connection first.");
  // Connected already: nothing happens and no event is raised.
  const size_t before = connection.events.size();
  EXPECT_EQ(connection.ConnectAndWait(), 0);
  EXPECT_EQ(connection.events.size(), before);
}

TEST(SecureConnection, EolMovesBetweenTheQueues) {
  EventConnection connection;
  ASSERT_EQ(connection.SetEol("\r\n", 2), 0);
  ASSERT_EQ(connection.SetUseSSL(true), 0);
  char* eol = nullptr;
  int length = 0;
  connection.GetEol(&eol, &length);
  EXPECT_EQ(std::string(eol, static_cast<size_t>(length)), "\r\n");
  EXPECT_EQ(connection.ReceiveQueue().TerminatorLength(), 0u);
  ASSERT_EQ(connection.SetSplitCrlf(1), 0);
  ASSERT_EQ(connection.SetUseSSL(false), 0);
  connection.GetEol(&eol, &length);
  EXPECT_EQ(std::string(eol, static_cast<size_t>(length)), "\r\n");
  EXPECT_EQ(connection.TlsQueue().TerminatorLength(), 2u);  // copied, not moved out
  EXPECT_EQ(connection.GetSplitCrlf(), 1);
}

TEST(SecureConnection, LinesSplitOverRecordsAndPartialDataHeldBack) {
  PeerProcess echo;
  REQUIRE_OR_SKIP(StartEcho(echo), "socat is not installed");
  PassThroughTls connection;
  connection.SetSingleLineMode(false);
  ASSERT_EQ(connection.SetUseSSL(true), 0);
  ASSERT_EQ(connection.SetEol("\r\n", 2), 0);
  ASSERT_EQ(connection.ConnectTo("127.0.0.1", echo.port()), 0);
  ASSERT_TRUE(EchoBack(connection, "ab\r\ncd", 2));
  ASSERT_EQ(connection.SendText("ef\r"), 0);
  PumpUntil(connection, [] { return false; }, 200);
  EXPECT_EQ(connection.received, "ab");
  ASSERT_TRUE(EchoBack(connection, "\ngh\r\n", 2 + 4 + 2));
  std::vector<Event> lines;
  for (const Event& event : connection.events) {
    if (event.kind == "DataIn") lines.push_back(event);
  }
  const std::vector<Event> expected = {{"DataIn", 1, "ab", ""}, {"DataIn", 1, "cdef", ""}, {"DataIn", 1, "gh", ""}};
  EXPECT_EQ(lines, expected);

  // Without a terminator, data waits until fewer than 256 bytes are free.
  connection.received.clear();
  const std::string part(1000, 'x');
  ASSERT_EQ(connection.SendData(part.data(), static_cast<int>(part.size()), 0, 0), 0);
  PumpUntil(connection, [] { return false; }, 300);
  EXPECT_TRUE(connection.received.empty());
  EXPECT_EQ(connection.TlsQueue().Length(), 1000u);
  ASSERT_TRUE(EchoBack(connection, std::string(900, 'y'), 1900));
  EXPECT_EQ(connection.received, part + std::string(900, 'y'));
  EXPECT_EQ(connection.events.back().code, 0);  // delivered without end of line
}

TEST(SecureConnection, HeldBackBytesStayUnderTheLimitThenAllArriveInOrder) {
  const std::string path = ::testing::TempDir() + "secure_pending.bin";
  std::string content(8 << 20, '\0');
  std::mt19937 random(11);
  for (char& c : content) c = static_cast<char>(random());
  { std::ofstream(path, std::ios::binary).write(content.data(), static_cast<std::streamsize>(content.size())); }
  PeerProcess source;
  REQUIRE_OR_SKIP(source.Start({"socat", "-u", "OPEN:" + path + ",rdonly", "TCP4-LISTEN:{port},bind=127.0.0.1,reuseaddr"}),
                  "socat is not installed");
  PassThroughTls connection;
  connection.SetSingleLineMode(false);
  connection.recordData = false;
  ASSERT_EQ(connection.SetUseSSL(true), 0);
  ASSERT_EQ(connection.ConnectTo("127.0.0.1", source.port()), 0);
  ASSERT_EQ(connection.SetReceiveEnabled(0), 0);
  EXPECT_EQ(connection.GetReceiveEnabled(), 0);
  // Reading goes on until the limit, then stops: the held bytes stop growing.
  int last = -1;
  for (int i = 0; i < 200 && connection.GetTlsPendingLength() != last; ++i) {
    last = connection.GetTlsPendingLength();
    PumpUntil(connection, [] { return false; }, 50);
  }
  const int held = connection.GetTlsPendingLength();
  EXPECT_GE(held, tornell::SecureConnection::kTlsPendingLimit / 2);
  // At most one socket read beyond the limit.
  EXPECT_LE(held, tornell::SecureConnection::kTlsPendingLimit + 65536);
  ASSERT_EQ(connection.SetReceiveEnabled(1), 0);
  ASSERT_TRUE(PumpUntil(connection, [&] { return connection.received.size() >= content.size(); }, 20000));
  EXPECT_TRUE(connection.received == content);
  std::remove(path.c_str());
}

TEST(SecureConnection, HandshakeThatCannotStartEndsTheConnectAtOnce) {
  PeerProcess echo;
  REQUIRE_OR_SKIP(StartEcho(echo), "socat is not installed");
  PassThroughTls connection;
  connection.startStatus = 278;
  ASSERT_EQ(connection.SetTimeout(60, 1), 0);
  ASSERT_EQ(connection.SetUseSSL(true), 0);
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(connection.ConnectTo("127.0.0.1", echo.port()), 278);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(1));
  ASSERT_FALSE(connection.events.empty());
  EXPECT_EQ(connection.events.back().kind, "Connected");
  EXPECT_EQ(connection.events.back().code, 278);
  EXPECT_EQ(connection.GetSocketHandle(), -1);
  EXPECT_EQ(connection.GetTimeout(), 60);
}

TEST(SecureConnection, WithoutTheInternalEngineOnlyThePlatformLinesAnd306) {
  PeerProcess echo;
  REQUIRE_OR_SKIP(StartEcho(echo), "socat is not installed");
  EventConnection connection;
  ASSERT_EQ(connection.Configure("UseInternalSecurityAPI=False"), 0);
  ASSERT_EQ(connection.SetTimeout(60, 1), 0);
  ASSERT_EQ(connection.SetUseSSL(true), 0);
  EXPECT_EQ(connection.Send("x", 1, 0), tornell::kStatusNotConnected);
  ASSERT_EQ(connection.SetRemoteHost("127.0.0.1"), 0);
  ASSERT_EQ(connection.SetRemotePort(echo.port()), 0);
  ASSERT_EQ(connection.SetConnected(1, 0), 0);
  EXPECT_EQ(connection.Send("x", 1, 0), tornell::kStatusNotAvailable);
  connection.events.clear();
  ASSERT_TRUE(PumpUntil(connection, [&] { return connection.Count("Connected") > 0; }, 2000));
  const std::vector<Event> lines = {
      {"ConnectionStatus", 0, "Remote host connection complete. Initiating SSL handshake.", "OK"},
      {"SSLStatus", 0, "Using platform security API.", ""},
      {"SSLStatus", 0, "Socket connection established.", ""},
      {"SSLStatus", 0, "Starting to establish secure channel.", ""}};
  ASSERT_GE(connection.events.size(), 5u);
  EXPECT_EQ(std::vector<Event>(connection.events.begin(), connection.events.begin() + 4), lines);
  EXPECT_EQ(connection.events[4].code, tornell::kStatusNotAvailable);
  EXPECT_EQ(connection.GetSocketHandle(), -1);
}

TEST(SecureConnection, StartModesAndStoredBytes) {
  EventConnection connection;
  EXPECT_FALSE(connection.GetTlsEnabled());
  ASSERT_EQ(connection.SetTlsStartMode(1), 0);
  EXPECT_EQ(connection.GetUseSSL(), 1);
  ASSERT_EQ(connection.SetTlsEnabled(true), 0);  // mode 1 already counts as enabled
  EXPECT_EQ(connection.GetTlsStartMode(), 1);
  ASSERT_EQ(connection.SetTlsStartMode(2), 0);
  EXPECT_EQ(connection.GetUseSSL(), 0);
  EXPECT_TRUE(connection.GetTlsEnabled());
  ASSERT_EQ(connection.SetTlsEnabled(false), 0);
  EXPECT_EQ(connection.GetTlsStartMode(), 3);
  // StopSsl keeps TLS on while a graceful shutdown is asked for.
  ASSERT_EQ(connection.SetUseSSL(true), 0);
  ASSERT_EQ(connection.Configure("GracefullyShutDownSSL=True"), 0);
  ASSERT_EQ(connection.StopSsl(), 0);
  EXPECT_EQ(connection.GetUseSSL(), 1);
  ASSERT_EQ(connection.Configure("GracefullyShutDownSSL=False"), 0);
  ASSERT_EQ(connection.StopSsl(), 0);
  EXPECT_EQ(connection.GetUseSSL(), 0);

  int length = 5;
  ASSERT_EQ(connection.SetStoredBytes("a\0b\0c", length), 0);
  char* bytes = nullptr;
  int got = 0;
  connection.GetStoredBytes(&bytes, &got);
  EXPECT_EQ(std::string(bytes, static_cast<size_t>(got)), std::string("a\0b\0c", 5));
  int none = 0;
  ASSERT_EQ(connection.SetStoredBytes(nullptr, none), 0);
  connection.GetStoredBytes(&bytes, &got);
  EXPECT_EQ(got, 0);
  connection.GetClearedBytes(&bytes, &got);
  EXPECT_EQ(got, 0);
}

TEST(SecureConnection, TlsQueueTakesAtLeastOneByte) {
  EventConnection connection;
  ASSERT_EQ(connection.SetUseSSL(true), 0);
  ASSERT_EQ(connection.SetMaxLineLength(0), 0);
  EXPECT_EQ(connection.GetMaxLineLength(), 1u);
  ASSERT_EQ(connection.SetMaxLineLength(100000), 0);  // no cap on the TLS queue
  EXPECT_EQ(connection.GetMaxLineLength(), 100000u);
  ASSERT_EQ(connection.SetMaxLineLength(0), 0);
  connection.SetSingleLineMode(false);
  // Seven bytes through a one-byte queue arrive whole, one at a time.
  ASSERT_EQ(connection.DeliverTlsData("abcdefg", 7), 0);
  EXPECT_EQ(connection.received, "abcdefg");
}

TEST(SecureConnection, TlsListKeysAreValidated) {
  EventConnection connection;
  struct Case {
    const char* key;
    const char* good;
    const char* bad;
  };
  const Case cases[] = {
      {"TLS12SupportedGroups", "ecdhe_secp384r1", "ffdhe_2048"},
      {"TLS13SupportedGroups", "ffdhe_2048,ecdhe_secp256r1", "x25519x"},
      {"TLS13KeyShareGroups", "ecdhe_secp256r1", "ecdhe_secp999r1"},
      {"TLS13SignatureAlgorithms", "rsa_pss_sha256,ecdsa_secp256r1_sha256", "rsa_pss_md5"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key);
    ASSERT_EQ(connection.Configure(std::string(c.key) + "=" + c.good), 0);
    EXPECT_EQ(connection.Query(c.key), c.good);
    EXPECT_NE(connection.Configure(std::string(c.key) + "=" + c.bad), 0);
    EXPECT_EQ(connection.Query(c.key), c.good);
  }
  ASSERT_EQ(connection.Configure("TLS12SignatureAlgorithms=sha256-rsa,sha384-ecdsa"), 0);
  EXPECT_EQ(connection.Query("TLS12SignatureAlgorithms"), "sha256-rsa,sha384-ecdsa");
  EXPECT_EQ(connection.Configure("TLS12SignatureAlgorithms=sha256-rsa,sha999-foo"), 202);
  EXPECT_STREQ(connection.GetLastErrorText(), "Invalid TLS12SignatureAlgorithms value 'sha999-foo'.");
  ASSERT_EQ(connection.Configure("LogSSLPackets=True"), 0);
  EXPECT_EQ(connection.Query("LogSSLPackets"), "1");
  // Defaults come back with a fresh connection.
  EventConnection fresh;
  EXPECT_EQ(fresh.Query("TLS12SupportedGroups"), "ecdhe_secp256r1,ecdhe_secp384r1,ecdhe_secp521r1");
}

namespace {

// A receiver that frames the decrypted stream itself, as HTTP/2 does.
class FramingReceiver : public EventConnection {
 public:
  bool TakesWholeRecords() const override { return takesWhole; }
  bool takesWhole = true;

  // The DataIn events since the last call, as (eol, bytes).
  std::vector<std::pair<int, std::string>> TakeData() {
    std::vector<std::pair<int, std::string>> data;
    for (const Event& event : events) {
      if (event.kind == "DataIn") data.emplace_back(event.code, event.text);
    }
    events.clear();
    return data;
  }
};

}  // namespace

TEST(SecureConnection, WholeRecordsGoStraightOnOnlyWhenNothingWaitsBeforeThem) {
  FramingReceiver connection;
  connection.SetSingleLineMode(false);
  ASSERT_EQ(connection.SetUseSSL(true), 0);
  ASSERT_EQ(connection.SetMaxLineLength(1000), 0);
  std::string record(2500, '\0');
  for (size_t i = 0; i < record.size(); ++i) record[i] = static_cast<char>(i * 7 + i / 256);
  using Pieces = std::vector<std::pair<int, std::string>>;

  // Without the receiver asking, the queue cuts the record to its capacity.
  connection.takesWhole = false;
  ASSERT_EQ(connection.DeliverTlsData(record.data(), 2500), 0);
  EXPECT_EQ(connection.TakeData(), (Pieces{{1, record.substr(0, 1000)}, {1, record.substr(1000, 1000)},
                                           {1, record.substr(2000)}}));
  connection.takesWhole = true;
  ASSERT_EQ(connection.DeliverTlsData(record.data(), 2500), 0);
  EXPECT_EQ(connection.TakeData(), (Pieces{{1, record}}));

  // A terminator keeps the queue in the way; a partial line stays queued.
  ASSERT_EQ(connection.SetEol("\n", 1), 0);
  ASSERT_EQ(connection.DeliverTlsData("ab\ncd", 5), 0);
  EXPECT_EQ(connection.TakeData(), (Pieces{{1, "ab"}}));
  // Queued bytes go first, and the record after them through the queue too.
  ASSERT_EQ(connection.SetEol("", 0), 0);
  ASSERT_EQ(connection.DeliverTlsData(record.data(), 2500), 0);
  const Pieces behind = connection.TakeData();
  ASSERT_GT(behind.size(), 1u);
  std::string joined;
  for (const auto& piece : behind) joined += piece.second;
  EXPECT_EQ(joined, "cd" + record);
  EXPECT_EQ(connection.TlsQueue().Length(), 0u);
  // Held back while delivery is off, then in order before the next record.
  ASSERT_EQ(connection.SetReceiveEnabled(0), 0);
  ASSERT_EQ(connection.DeliverTlsData(record.data(), 1200), 0);
  EXPECT_TRUE(connection.TakeData().empty());
  ASSERT_EQ(connection.SetReceiveEnabled(1), 0);
  ASSERT_EQ(connection.DeliverTlsData(record.data() + 1200, 1300), 0);
  joined.clear();
  for (const auto& piece : connection.TakeData()) joined += piece.second;
  EXPECT_EQ(joined, record);
  // Nothing waits any more: whole again.
  ASSERT_EQ(connection.DeliverTlsData(record.data(), 2500), 0);
  EXPECT_EQ(connection.TakeData(), (Pieces{{1, record}}));
}
