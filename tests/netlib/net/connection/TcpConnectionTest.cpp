// The connection against real loopback peers: socat echoes, and listening
// sockets of the test itself for scripted behaviour.
#include <gtest/gtest.h>
#include <netinet/tcp.h>

#include <random>
#include <string>

#include "ConnectionTestSupport.h"
#include "PeerProcess.h"
#include "TestSupport.h"

using nettest::PumpUntil;
using nettest::RecordingConnection;
using testsupport::PeerProcess;

namespace {

bool StartEcho(PeerProcess& echo) {
  return echo.Start({"socat", "TCP4-LISTEN:{port},bind=127.0.0.1,reuseaddr,fork", "EXEC:cat"});
}

bool ConnectTo(RecordingConnection& connection, const char* host, int port) {
  if (connection.SetRemoteHost(host) != 0 || connection.SetRemotePort(port) != 0) return false;
  if (connection.Connect(1) != 0) return false;
  return PumpUntil(connection, [&] { return connection.Count("connected") > 0; }) &&
         connection.First("connected")->code == 0;
}

// A listening socket of the test on 127.0.0.1 and the accepted side.
struct Listener {
  int fd = -1;
  int port = 0;
  int accepted = -1;
  Listener() {
    fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && listen(fd, 4) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
      port = ntohs(address.sin_port);
    }
  }
  ~Listener() {
    if (accepted != -1) close(accepted);
    close(fd);
  }
  bool Accept() { return (accepted = accept(fd, nullptr, nullptr)) != -1; }
  void Write(const std::string& bytes) const {
    ASSERT_EQ(write(accepted, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  void CloseAccepted() {
    close(accepted);
    accepted = -1;
  }
};

// Lines of random length (terminator included) over about `total` bytes.
std::string MakeLines(size_t total, std::vector<std::string>& lines) {
  std::mt19937 random(7);
  std::string all;
  while (all.size() < total) {
    const size_t length = random() % 1500;
    std::string line;
    for (size_t i = 0; i < length; ++i) line += static_cast<char>('a' + random() % 26);
    lines.push_back(line);
    all += line + "\r\n";
  }
  return all;
}

}  // namespace

TEST(TcpConnection, ConnectsToEchoAndReportsEvent16First) {
  PeerProcess echo;
  REQUIRE_OR_SKIP(StartEcho(echo), "socat is not installed");
  RecordingConnection connection;
  ASSERT_TRUE(ConnectTo(connection, "127.0.0.1", echo.port()));
  ASSERT_FALSE(connection.events.empty());
  EXPECT_EQ(connection.events.front(), tornell::kEventConnect);
  EXPECT_EQ(connection.hooks.front().kind, "connected");
  EXPECT_EQ(connection.Count("status"), 0);  // no proxy, no status line
  EXPECT_TRUE(connection.IsConnected());
  ASSERT_EQ(connection.Disconnect(0), 0);
  EXPECT_EQ(connection.Count("disconnected"), 1);
  EXPECT_EQ(connection.GetSocketHandle(), -1);
}

TEST(TcpConnection, MegabyteOfLinesComesBackAsRecords) {
  PeerProcess echo;
  REQUIRE_OR_SKIP(StartEcho(echo), "socat is not installed");
  RecordingConnection connection;
  ASSERT_EQ(connection.SetEol("\r\n", 2), 0);
  ASSERT_TRUE(ConnectTo(connection, "127.0.0.1", echo.port()));
  std::vector<std::string> lines;
  const std::string data = MakeLines(1 << 20, lines);
  ASSERT_TRUE(nettest::SendAll(connection, data));
  ASSERT_TRUE(PumpUntil(connection, [&] { return connection.Count("data") >= static_cast<int>(lines.size()); },
                        20000));
  std::vector<std::string> got;
  for (const nettest::Hook& hook : connection.hooks) {
    if (hook.kind != "data") continue;
    EXPECT_EQ(hook.code, 1);
    got.push_back(hook.text);
  }
  EXPECT_EQ(got, lines);
  ASSERT_EQ(connection.Disconnect(0), 0);
}

TEST(TcpConnection, MegabyteWithoutEolComesBackUnchanged) {
  PeerProcess echo;
  REQUIRE_OR_SKIP(StartEcho(echo), "socat is not installed");
  RecordingConnection connection;
  ASSERT_EQ(connection.SetMaxLineLength(65536), 0);
  ASSERT_TRUE(ConnectTo(connection, "127.0.0.1", echo.port()));
  std::string data(1 << 20, '\0');
  std::mt19937 random(11);
  for (char& c : data) c = static_cast<char>(random());
  ASSERT_TRUE(nettest::SendAll(connection, data));
  ASSERT_TRUE(PumpUntil(connection, [&] { return connection.received.size() >= data.size(); }, 20000));
  EXPECT_TRUE(connection.received == data);
  ASSERT_EQ(connection.Disconnect(0), 0);
}

TEST(TcpConnection, ClosedPortReportsRefusedAndKeepsNoDescriptor) {
  const int before = nettest::OpenDescriptorCount();
  RecordingConnection connection;
  ASSERT_EQ(connection.SetRemoteHost("127.0.0.1"), 0);
  ASSERT_EQ(connection.SetRemotePort(testsupport::FreePort()), 0);
  ASSERT_EQ(connection.Connect(1), 0);
  ASSERT_TRUE(PumpUntil(connection, [&] { return connection.Count("connected") > 0; }));
  EXPECT_EQ(connection.First("connected")->code, ECONNREFUSED);
  EXPECT_EQ(connection.GetSocketHandle(), -1);
  EXPECT_FALSE(connection.IsConnected());
  EXPECT_EQ(nettest::OpenDescriptorCount(), before);
}

TEST(TcpConnection, ConnectRefusals) {
  const int before = nettest::OpenDescriptorCount();
  RecordingConnection connection;
  EXPECT_EQ(connection.Connect(1), tornell::kStatusAddressInvalid);
  EXPECT_STREQ(connection.GetLastErrorText(), "The RemoteHost address is invalid (0.0.0.0).");
  ASSERT_EQ(connection.SetRemoteHost("127.0.0.1"), 0);
  EXPECT_EQ(connection.Connect(1), tornell::kStatusPortZero);
  EXPECT_STREQ(connection.GetLastErrorText(), "RemotePort can't be zero. Please specify a valid service port number.");
  EXPECT_EQ(nettest::OpenDescriptorCount(), before);  // no socket was made

  RecordingConnection proxied;
  ASSERT_EQ(proxied.SetFirewallType(tornell::kFirewallSocks5), 0);
  EXPECT_EQ(proxied.Connect(1), tornell::kStatusAddressInvalid);
  EXPECT_STREQ(proxied.GetLastErrorText(), "The FirewallHost address is invalid (0.0.0.0).");
  ASSERT_EQ(proxied.SetFirewallHost("127.0.0.1"), 0);
  ASSERT_EQ(proxied.SetFirewallPort(0), 0);
  EXPECT_EQ(proxied.Connect(1), tornell::kStatusPortZero);
  EXPECT_STREQ(proxied.GetLastErrorText(), "The FirewallPort is invalid (0).");
}

TEST(TcpConnection, ChangesRefusedWhileConnected) {
  Listener listener;
  ASSERT_NE(listener.port, 0);
  RecordingConnection connection;
  ASSERT_TRUE(ConnectTo(connection, "127.0.0.1", listener.port));
  EXPECT_EQ(connection.Connect(1), tornell::kStatusAlreadyConnected);
  EXPECT_STREQ(connection.GetLastErrorText(),
               "Already connected. If you want to reconnect, close the current connection first.");
  EXPECT_EQ(connection.SetRemotePort(1), tornell::kStatusRemotePortBusy);
  EXPECT_STREQ(connection.GetLastErrorText(),
               "You cannot change the RemotePort at this time. A connection is in progress.");
  EXPECT_EQ(connection.SetLocalPort(1), tornell::kStatusLocalPortBusy);
  EXPECT_STREQ(connection.GetLastErrorText(),
               "You cannot change the LocalPort at this time. A connection is in progress.");
  EXPECT_EQ(connection.SetRemoteHost("127.0.0.2"), tornell::kStatusRemoteHostBusy);
  EXPECT_EQ(connection.SetMaxLineLength(100), tornell::kStatusMaxLineLengthBusy);
  EXPECT_STREQ(connection.GetLastErrorText(),
               "You cannot change MaxLineLength at this time. A connection is in progress.");
  EXPECT_EQ(connection.GetRemotePort(), listener.port);
}

TEST(TcpConnection, UnterminatedRestArrivesBeforeTheDisconnect) {
  Listener listener;
  RecordingConnection connection;
  ASSERT_EQ(connection.SetEol("\r\n", 2), 0);
  ASSERT_TRUE(ConnectTo(connection, "127.0.0.1", listener.port));
  ASSERT_TRUE(listener.Accept());
  listener.Write("abc");
  listener.CloseAccepted();
  ASSERT_TRUE(PumpUntil(connection, [&] { return connection.Count("disconnected") > 0; }));
  ASSERT_EQ(connection.Count("data"), 1);
  EXPECT_EQ(connection.First("data")->text, "abc");
  EXPECT_EQ(connection.First("data")->code, 0);
  EXPECT_EQ(connection.hooks.back().kind, "disconnected");
  EXPECT_EQ(connection.GetSocketHandle(), -1);
}

TEST(TcpConnection, DisconnectFromInsideDataWaitsForTheLoopAndReadsNothingMore) {
  Listener listener;
  RecordingConnection connection;
  ASSERT_EQ(connection.SetEol("\n", 1), 0);
  connection.onData = [](RecordingConnection& self, const char*, int, int) {
    EXPECT_EQ(self.Disconnect(0), 0);
    // The close is deferred: the descriptor is still there inside the loop.
    EXPECT_NE(self.GetSocketHandle(), -1);
    EXPECT_EQ(self.Count("disconnected"), 0);
    return 0;
  };
  ASSERT_TRUE(ConnectTo(connection, "127.0.0.1", listener.port));
  ASSERT_TRUE(listener.Accept());
  listener.Write("one\ntwo\nthree\n");
  ASSERT_TRUE(PumpUntil(connection, [&] { return connection.Count("disconnected") > 0; }));
  EXPECT_EQ(connection.Count("data"), 1);
  EXPECT_EQ(connection.First("data")->text, "one");
  EXPECT_EQ(connection.GetSocketHandle(), -1);
  listener.Write("more\n");
  static_cast<void>(connection.DoEvents(20));
  EXPECT_EQ(connection.Count("data"), 1);
}

TEST(TcpConnection, SmallQueueHandsOnFullContent) {
  Listener listener;
  RecordingConnection connection;
  ASSERT_EQ(connection.SetMaxLineLength(0), 0);  // held as one byte
  EXPECT_EQ(connection.GetMaxLineLength(), 1u);
  ASSERT_EQ(connection.SetMaxLineLength(4), 0);
  ASSERT_EQ(connection.SetEol("\r\n", 2), 0);
  ASSERT_TRUE(ConnectTo(connection, "127.0.0.1", listener.port));
  ASSERT_TRUE(listener.Accept());
  listener.Write("abcdefgh\r\n");
  ASSERT_TRUE(PumpUntil(connection, [&] { return connection.received == "abcdefgh"; }));
  // Full queues go on with eol 0; the line end comes as an empty record.
  EXPECT_EQ(connection.First("data")->text, "abcd");
  EXPECT_EQ(connection.First("data")->code, 0);
}

// Input that fills the queue exactly, then one byte more that ends a line:
// each is handed on in the wait steps it arrives in, without waiting for
// input that never comes.
TEST(TcpConnection, ReadsThatFillTheQueue) {
  Listener listener;
  RecordingConnection connection;
  ASSERT_EQ(connection.SetMaxLineLength(4), 0);
  ASSERT_EQ(connection.SetEol("\n", 1), 0);
  ASSERT_TRUE(ConnectTo(connection, "127.0.0.1", listener.port));
  ASSERT_TRUE(listener.Accept());
  listener.Write("abcd");
  ASSERT_TRUE(PumpUntil(connection, [&] { return connection.received == "abcd"; }));
  listener.Write("efgh\n");
  ASSERT_TRUE(PumpUntil(connection, [&] { return connection.Count("data") == 3; }));
  std::vector<nettest::Hook> pieces;
  for (const nettest::Hook& hook : connection.hooks) {
    if (hook.kind == "data") pieces.push_back(hook);
  }
  // Two full queues, then the line end.
  EXPECT_EQ(pieces[1].text, "efgh");
  EXPECT_EQ(pieces[1].code, 0);
  EXPECT_EQ(pieces[2].text, "");
  EXPECT_EQ(pieces[2].code, 1);
}

TEST(TcpConnection, FixedRecordsFromSplitRecords) {
  RecordingConnection connection;
  ASSERT_EQ(connection.SetRecordLength(10), 0);
  ASSERT_EQ(connection.SplitRecords("0123456789abcdefghijKLMNO", 25, 1), 0);
  ASSERT_EQ(connection.Count("record"), 2);
  EXPECT_EQ(connection.hooks[0].text, "0123456789");
  EXPECT_EQ(connection.hooks[1].text, "abcdefghij");
  EXPECT_EQ(connection.hooks[1].code, 0);
  // Five bytes wait; a record length of 0 hands them on whole with the eol.
  ASSERT_EQ(connection.SetRecordLength(0), 0);
  ASSERT_EQ(connection.Count("record"), 3);
  EXPECT_EQ(connection.hooks[2].text, "KLMNO");
}

TEST(TcpConnection, SocketOptionsReadBack) {
  Listener listener;
  RecordingConnection connection;
  ASSERT_EQ(connection.SetShareLocalPort(1), 0);
  ASSERT_EQ(connection.SetTcpNoDelay(1), 0);
  ASSERT_TRUE(ConnectTo(connection, "127.0.0.1", listener.port));
  const int fd = connection.GetSocketHandle();
  auto intOption = [fd](int level, int option) {
    int value = -1;
    socklen_t size = sizeof value;
    EXPECT_EQ(getsockopt(fd, level, option, &value, &size), 0);
    return value;
  };
  EXPECT_NE(intOption(SOL_SOCKET, SO_REUSEADDR), 0);
  EXPECT_NE(intOption(SOL_SOCKET, SO_REUSEPORT), 0);
  EXPECT_NE(intOption(IPPROTO_TCP, TCP_NODELAY), 0);

  struct LingerCase {
    int flag, seconds, onoff, time;
  };
  for (const LingerCase& c : {LingerCase{0, 0, 1, 0}, LingerCase{1, 7, 1, 7}, LingerCase{1, 0, 0, 0}}) {
    ASSERT_EQ(connection.SetLingerTime(c.seconds), 0);
    ASSERT_EQ(connection.SetLinger(c.flag), 0);
    linger value{};
    socklen_t size = sizeof value;
    ASSERT_EQ(getsockopt(fd, SOL_SOCKET, SO_LINGER, &value, &size), 0);
    EXPECT_EQ(value.l_onoff != 0, c.onoff != 0) << c.flag << "/" << c.seconds;
    if (c.onoff != 0) {
      EXPECT_EQ(value.l_linger, c.time) << c.flag << "/" << c.seconds;
    }
  }

  struct KeepCase {
    int milliseconds, seconds;
  };
  for (const KeepCase& c : {KeepCase{1500, 2}, KeepCase{1, 1}, KeepCase{3000, 3}}) {
    ASSERT_EQ(connection.SetKeepAliveTime(c.milliseconds), 0);
    EXPECT_NE(intOption(SOL_SOCKET, SO_KEEPALIVE), 0);
    EXPECT_EQ(intOption(IPPROTO_TCP, TCP_KEEPIDLE), c.seconds) << c.milliseconds;
  }
  ASSERT_EQ(connection.SetKeepAliveInterval(2500), 0);
  EXPECT_EQ(intOption(IPPROTO_TCP, TCP_KEEPINTVL), 3);
  ASSERT_EQ(connection.SetTcpNoDelay(0), 0);
  EXPECT_EQ(intOption(IPPROTO_TCP, TCP_NODELAY), 0);
}

TEST(TcpConnection, MaxLineLengthIsCapped) {
  RecordingConnection connection;
  EXPECT_EQ(connection.GetMaxLineLength(), 2048u);
  ASSERT_EQ(connection.SetMaxLineLength(100000), 0);
  EXPECT_EQ(connection.GetMaxLineLength(), 65536u);
}

TEST(TcpConnection, LocalPortIsBound) {
  Listener listener;
  RecordingConnection connection;
  const int port = testsupport::FreePort();
  ASSERT_EQ(connection.SetLocalPort(port), 0);
  ASSERT_TRUE(ConnectTo(connection, "127.0.0.1", listener.port));
  sockaddr_in local{};
  socklen_t size = sizeof local;
  ASSERT_EQ(getsockname(connection.GetSocketHandle(), reinterpret_cast<sockaddr*>(&local), &size), 0);
  EXPECT_EQ(ntohs(local.sin_port), port);
  EXPECT_EQ(connection.GetLocalPort(), port);
  EXPECT_STREQ(connection.GetLocalHost(), "127.0.0.1");
}

TEST(TcpConnection, Ipv6EchoDecidedByParsing) {
  PeerProcess echo;
  const int port = testsupport::FreePort(AF_INET6);
  REQUIRE_OR_SKIP(echo.Start({"socat", "TCP6-LISTEN:{port},bind=[::1],reuseaddr,fork", "EXEC:cat"}, port, "",
                             AF_INET6),
                  "socat is not installed or ::1 is not available");
  RecordingConnection connection;
  const char* answer = nullptr;
  ASSERT_EQ(connection.ConfigText("UseIPv6=2", answer), 0);
  ASSERT_TRUE(ConnectTo(connection, "::1", echo.port()));
  EXPECT_STREQ(connection.GetRemoteHost(), "::1");
  ASSERT_EQ(connection.Send("ping", 4, 0, 1), 0);
  ASSERT_TRUE(PumpUntil(connection, [&] { return connection.received == "ping"; }));
  ASSERT_EQ(connection.Disconnect(0), 0);
}

TEST(TcpConnection, SendWithoutConnectionIs107) {
  RecordingConnection connection;
  EXPECT_EQ(connection.Send("x", 1, 0, 0), tornell::kStatusNotConnected);
  EXPECT_EQ(errno, ENOTCONN);
}
