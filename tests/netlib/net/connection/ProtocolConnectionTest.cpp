// The blocking operations against loopback peers: socat echoes and sinks,
// and listening sockets of the test that never answer.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "PeerProcess.h"
#include "SecureTestSupport.h"
#include "TestSupport.h"
#include "core/text/TextUtils.h"

using nettest::EventConnection;
using nettest::PassThroughTls;
using testsupport::PeerProcess;

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point started) {
  return std::chrono::duration<double>(Clock::now() - started).count();
}

// Waits (at most a second) until the millisecond tick has moved on.
bool WaitForNextTick() {
  const uint32_t start = tornell::TickCountMs();
  const auto started = Clock::now();
  while (tornell::TickCountMs() == start) {
    if (SecondsSince(started) > 1.0) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(100));
  }
  return true;
}

// A listening socket of the test that accepts nothing, or whose backlog is full.
struct SilentListener {
  int fd = -1;
  int port = 0;
  std::vector<int> fillers;
  explicit SilentListener(int backlog) {
    fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && listen(fd, backlog) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
      port = ntohs(address.sin_port);
    }
  }
  ~SilentListener() {
    for (int filler : fillers) close(filler);
    close(fd);
  }
  // Connects without accepting until a connect no longer completes at once.
  bool Fill() {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    for (int i = 0; i < 16; ++i) {
      const int s = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
      fillers.push_back(s);
      if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) continue;
      if (errno != EINPROGRESS) return false;
      pollfd entry{s, POLLOUT, 0};
      if (poll(&entry, 1, 200) == 0) return true;  // this one hangs: the backlog is full
    }
    return false;
  }
};

}  // namespace

TEST(ProtocolConnection, WaitForReplyTimesOutOnASilentPeer) {
  SilentListener listener(4);
  ASSERT_NE(listener.port, 0);
  EventConnection connection;
  ASSERT_EQ(connection.SetTimeout(1, 1), 0);
  ASSERT_EQ(connection.ConnectTo("127.0.0.1", listener.port), 0);
  const auto started = Clock::now();
  EXPECT_EQ(connection.WaitForReply(), tornell::kStatusInterrupted);
  EXPECT_STREQ(connection.GetLastErrorText(), "Timeout.");
  EXPECT_GT(SecondsSince(started), 0.5);
  EXPECT_LT(SecondsSince(started), 3.0);
}

TEST(ProtocolConnection, WaitForReplyEndsAtTheFirstData) {
  PeerProcess echo;
  REQUIRE_OR_SKIP(echo.Start({"socat", "TCP4-LISTEN:{port},bind=127.0.0.1,reuseaddr,fork", "EXEC:cat"}),
                  "socat is not installed");
  EventConnection connection;
  ASSERT_EQ(connection.SetTimeout(10, 1), 0);
  ASSERT_EQ(connection.ConnectTo("127.0.0.1", echo.port()), 0);
  EXPECT_EQ(connection.SendData("", 0, 1, 1), 0);
  ASSERT_EQ(connection.SendText("hello"), 0);
  ASSERT_EQ(connection.WaitForReply(), 0);
  EXPECT_EQ(std::string(connection.GetReply().Data(), static_cast<size_t>(connection.GetReply().Length())), "hello");
  EXPECT_EQ(connection.GetReceiveEnabled(), 0);  // single-line mode switched it off
}

TEST(ProtocolConnection, ConnectionTimeoutBoundsTheConnectAndTimeoutIsKept) {
  SilentListener listener(0);
  ASSERT_NE(listener.port, 0);
  REQUIRE_OR_SKIP(listener.Fill(), "the loopback backlog never filled");
  EventConnection connection;
  ASSERT_EQ(connection.SetTimeout(60, 1), 0);
  ASSERT_EQ(connection.Configure("ConnectionTimeout=1"), 0);
  const auto started = Clock::now();
  EXPECT_EQ(connection.ConnectTo("127.0.0.1", listener.port), tornell::kStatusInterrupted);
  EXPECT_STREQ(connection.GetLastErrorText(), "Timeout.");
  EXPECT_GT(SecondsSince(started), 0.8);
  EXPECT_LT(SecondsSince(started), 3.0);
  EXPECT_EQ(connection.GetTimeout(), 60);
  EXPECT_EQ(connection.GetSocketHandle(), -1);
}

TEST(ProtocolConnection, InterruptFromAnEventHandlerEndsTheWait) {
  PeerProcess echo;
  REQUIRE_OR_SKIP(echo.Start({"socat", "TCP4-LISTEN:{port},bind=127.0.0.1,reuseaddr,fork", "EXEC:cat"}),
                  "socat is not installed");
  PassThroughTls connection;
  connection.hang = true;  // the handshake never completes on its own
  ASSERT_EQ(connection.SetTimeout(60, 1), 0);
  ASSERT_EQ(connection.SetUseSSL(true), 0);
  connection.onStatus = [](EventConnection& self, const char*) { return static_cast<PassThroughTls&>(self).Interrupt(); };
  const auto started = Clock::now();
  EXPECT_EQ(connection.ConnectTo("127.0.0.1", echo.port()), tornell::kStatusInterrupted);
  EXPECT_STREQ(connection.GetLastErrorText(), "Interrupted.");
  EXPECT_LT(SecondsSince(started), 2.0);
  // An interrupt asked for before a call does not reach it.
  connection.Interrupt();
  connection.onStatus = nullptr;
  connection.hang = false;
  EXPECT_EQ(connection.ConnectAndWait(), 0);
}

TEST(ProtocolConnection, SendDataToASlowReaderReportsProgress) {
  PeerProcess sink;
  REQUIRE_OR_SKIP(sink.Start({"socat", "-u", "TCP4-LISTEN:{port},bind=127.0.0.1,reuseaddr",
                              "SYSTEM:sleep 0.5; cat >/dev/null"}),
                  "socat is not installed");
  struct Counting : EventConnection {
    std::vector<int> seen;
    int OnProgress(int bytes) override {
      seen.push_back(bytes);
      return 0;
    }
  } connection;
  ASSERT_EQ(connection.SetTimeout(30, 1), 0);
  ASSERT_EQ(connection.Configure("OutBufferSize=65536"), 0);
  ASSERT_EQ(connection.ConnectTo("127.0.0.1", sink.port()), 0);
  const std::string data(8 << 20, 'p');
  ASSERT_EQ(connection.SendData(data.data(), static_cast<int>(data.size()), 1, 0), 0);
  ASSERT_FALSE(connection.seen.empty());
  for (size_t i = 1; i < connection.seen.size(); ++i) EXPECT_GE(connection.seen[i], connection.seen[i - 1]);
  EXPECT_LT(connection.seen.back(), static_cast<int>(data.size()));
}

TEST(ProtocolConnection, MaxTransferRateHoldsTheSendBack) {
  PeerProcess sink;
  REQUIRE_OR_SKIP(sink.Start({"socat", "-u", "TCP4-LISTEN:{port},bind=127.0.0.1,reuseaddr", "OPEN:/dev/null"}),
                  "socat is not installed");
  EventConnection connection;
  ASSERT_EQ(connection.SetTimeout(30, 1), 0);
  const long rate = 200000;
  ASSERT_EQ(connection.Configure("MaxTransferRate=" + std::to_string(rate)), 0);
  ASSERT_EQ(connection.ConnectTo("127.0.0.1", sink.port()), 0);
  const int chunk = 16384;
  const std::string data(600000, 'r');
  const int last = static_cast<int>(data.size()) % chunk;
  // Measured on the limiter's own clock, so no drift between clocks enters.
  const uint32_t started = tornell::TickCountMs();
  // The rate reads 0 until its window is a millisecond old, so whatever goes
  // within that millisecond is not held back (a whole 600 KB fitted at
  // times): send one chunk, let the millisecond pass, then the rest.
  ASSERT_EQ(connection.SendData(data.data(), chunk, 0, 0), 0);
  ASSERT_TRUE(WaitForNextTick());
  ASSERT_EQ(connection.SendInChunks(data.data() + chunk, static_cast<int>(data.size()) - chunk, chunk, 0), 0);
  const long elapsed = static_cast<long>(tornell::TickCountMs() - started);
  // The last chunk left only once the truncated rate over whole milliseconds
  // was at most the limit: elapsed > held bytes * 1000 / (limit + 1).
  const long held = static_cast<long>(data.size()) - last;
  EXPECT_GT(elapsed, held * 1000 / (rate + 1));
  // Held no longer than the rate needs, give or take scheduling on a loaded machine.
  EXPECT_LT(elapsed, 2 * held * 1000 / rate);
}

TEST(ProtocolConnection, ConfigurationKeys) {
  EventConnection connection;
  EXPECT_EQ(connection.Query("UseExtendedDST"), "1");
  ASSERT_EQ(connection.Configure("ConnectionTimeout=5"), 0);
  EXPECT_EQ(connection.Query("ConnectionTimeout"), "5");
  ASSERT_EQ(connection.Configure("ALPNExtension=h2,http/1.1"), 0);
  EXPECT_EQ(connection.Query("ALPNExtension"), "h2,http/1.1");
  ASSERT_EQ(connection.Configure("MaskSensitive=True"), 0);
  EXPECT_EQ(connection.Query("MaskSensitive"), "1");
  EXPECT_EQ(connection.Query("TransferText"), "");
}
