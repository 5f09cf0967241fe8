// Settings, configuration keys, name resolution and the rate limiter.
#include <gtest/gtest.h>
#include <netdb.h>

#include <string>

#include "ConnectionTestSupport.h"
#include "net/connection/HostNameLookup.h"

using nettest::RecordingConnection;

namespace {

std::string Query(tornell::TcpConnection& connection, const std::string& key) {
  const char* answer = nullptr;
  const int status = connection.ConfigText(key.c_str(), answer);
  return status == 0 && answer != nullptr ? answer : "<" + std::to_string(status) + ">";
}

}  // namespace

TEST(TcpSettings, ConfigKeysInOrder) {
  struct Case {
    const char* key;
    const char* initial;
    const char* set;
    const char* after;
  };
  const Case cases[] = {
      {"ShareLocalPort", "False", "true", "True"},
      {"MaxTransferRate", "0", "5000", "5000"},
      {"SplitCRLF", "False", "1", "True"},
      {"MaxLineLength", "2048", "100000", "65536"},
      {"SocketHandle", "-1", nullptr, "-1"},
      {"LocalHost", nullptr, "127.0.0.1", "127.0.0.1"},
      {"LocalPort", "0", "4321", "4321"},
      {"FirewallAutoDetect", "False", "true", "False"},
      {"FirewallHost", "", "127.0.0.9", "127.0.0.9"},
      {"FirewallPort", "0", "8080", "8080"},
      {"FirewallType", "0", "1", "1"},
      {"FirewallUser", "", "user", "user"},
      {"FirewallPassword", "", "secret", "secret"},
      {"InBufferSize", "65536", "32768", "32768"},
      {"OutBufferSize", "65536", "16384", "16384"},
      {"TcpNoDelay", "False", "yes", "True"},
      {"TCPKeepAlive", "0", "true", "1"},
      {"KeepAliveTime", "0", "1500", "1500"},
      {"KeepAliveInterval", "0", "700", "700"},
      {"MaxReceiveDataTime", "0", "250", "250"},
      {"LingerTime", "0", "9", "9"},
      {"Linger", "1", "false", "0"},
      {"GracefullyShutDownSSL", "False", "true", "True"},
      {"ProxyExceptionsList", "", "*.local;10.0.0.1", "*.local;10.0.0.1"},
      {"BindIPv6Address", "True", "false", "False"},
      {"LogSSLPackets", "0", "true", "1"},
  };
  RecordingConnection connection;
  for (const Case& c : cases) {
    if (c.initial != nullptr) {
      EXPECT_EQ(Query(connection, c.key), c.initial) << c.key;
    }
    if (c.set != nullptr) {
      const char* answer = nullptr;
      EXPECT_EQ(connection.ConfigText((std::string(c.key) + "=" + c.set).c_str(), answer), 0) << c.key;
    }
    EXPECT_EQ(Query(connection, c.key), c.after) << c.key;
  }
  // FirewallData is taken and answers nothing; other keys go down the chain.
  const char* answer = nullptr;
  EXPECT_EQ(connection.ConfigText("FirewallData=anything", answer), 0);
  EXPECT_EQ(Query(connection, "SelectWaitMillis"), "20");
  EXPECT_EQ(connection.ConfigText("NoSuchKey=1", answer), -1);
  EXPECT_STREQ(connection.GetLastErrorText(), "Unknown config setting.");
}

TEST(TcpSettings, ResolvesLocalhostBothWays) {
  RecordingConnection connection;
  ASSERT_EQ(connection.SetRemoteHost("localhost"), 0);
  EXPECT_STREQ(connection.GetRemoteHost(), "127.0.0.1");
  const char* answer = nullptr;
  ASSERT_EQ(connection.ConfigText("UseGetAddrInfo=false", answer), 0);
  ASSERT_EQ(connection.SetRemoteHost(""), 0);
  EXPECT_STREQ(connection.GetRemoteHost(), "");
  ASSERT_EQ(connection.SetRemoteHost("localhost"), 0);
  EXPECT_STREQ(connection.GetRemoteHost(), "127.0.0.1");
  // All bits set is no inet_addr answer: the name path takes it.
  ASSERT_EQ(connection.SetRemoteHost("255.255.255.255"), 0);
  EXPECT_STREQ(connection.GetRemoteHost(), "255.255.255.255");
}

TEST(TcpSettings, UnknownNameFails) {
  RecordingConnection connection;
  EXPECT_NE(connection.SetRemoteHost("no-such-host.invalid"), 0);
  EXPECT_STREQ(connection.GetRemoteHost(), "");
  const char* answer = nullptr;
  ASSERT_EQ(connection.ConfigText("UseGetAddrInfo=false", answer), 0);
  const int status = connection.SetRemoteHost("no-such-host.invalid");
  EXPECT_TRUE(status == HOST_NOT_FOUND || status == TRY_AGAIN || status == NO_DATA) << status;
  EXPECT_STREQ(connection.GetLastErrorText(), tornell::HostLookupErrorText(status));
  // The proxy host goes the same way, with the same texts.
  EXPECT_EQ(connection.SetFirewallHost("no-such-host.invalid"), status);
  EXPECT_STREQ(connection.GetFirewallHost(), "");
}

TEST(TcpSettings, HostLookupTexts) {
  struct Case {
    int code;
    const char* text;
  };
  const Case cases[] = {
      {HOST_NOT_FOUND, "The specified host is unknown."},
      {TRY_AGAIN, "A temporary error occurred on an authoritative name server.  Try again later."},
      {NO_RECOVERY, " A non-recoverable name server error occurred."},
      {NO_DATA, " The requested name is valid but does not have an IP address."},
      {-1, "A name resolution error occurred."},
      {99, "A name resolution error occurred."},
  };
  for (const Case& c : cases) EXPECT_STREQ(tornell::HostLookupErrorText(c.code), c.text) << c.code;
}

TEST(TcpSettings, RemoteHostWithProxyIsKeptAsText) {
  RecordingConnection connection;
  ASSERT_EQ(connection.SetFirewallType(tornell::kFirewallSocks5), 0);
  ASSERT_EQ(connection.SetRemoteHost("no-such-host.invalid"), 0);
  EXPECT_STREQ(connection.GetRemoteHost(), "no-such-host.invalid");
}

TEST(TcpSettings, TransferRate) {
  struct Step {
    long maxRate;
    long addBytes;
    uint32_t addAt;  // 0: add nothing
    uint32_t now;
    long rate;
  };
  // One connection through the steps: the window opens at the first call
  // after 60 s idle, and a limit of 0 answers -1.
  const Step steps[] = {
      {0, 0, 0, 100000, -1},         // no limit; the window opens at 100000
      {1000, 0, 0, 100000, 0},       // no time has passed
      {1000, 5000, 101000, 102000, 2500},
      {1000, 5000, 103000, 104000, 2500},
      {1000, 0, 0, 104500, 2222},    // 10000 bytes over 4.5 s, truncated
      {1000, 0, 0, 164001, 0},       // idle over 60 s: the window starts again
      {1000, 3000, 165001, 166001, 1500},
      {1000, 0, 0, 230000, 0},            // idle again: a new window at 230000
      {1000, 50000, 230000, 230000, 0},   // within its first millisecond nothing holds back
      {1000, 0, 0, 230001, 50000000},
      {1000, 0, 0, 999999000, 0},         // a window a second before the tick clock restarts
      {1000, 4000, 999999500, 1000, 2000},  // 4000 bytes over the 2 s across the restart
  };
  RecordingConnection connection;
  for (const Step& step : steps) {
    ASSERT_EQ(connection.SetMaxTransferRate(step.maxRate), 0);
    if (step.addAt != 0) connection.NoteTransferred(step.addBytes, step.addAt);
    EXPECT_EQ(connection.GetTransferRateAt(step.now), step.rate) << step.now;
  }
}

TEST(TcpSettings, ThrottleWithoutLimitReturnsAtOnce) {
  RecordingConnection connection;
  EXPECT_EQ(connection.ThrottleTransfer(), 0);
}
