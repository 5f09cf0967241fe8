#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "ConnectionTestSupport.h"
#include "net/proxy/FirewallNegotiator.h"

using tornell::FirewallNegotiator;

TEST(FirewallSettings, TypeAndPortRules) {
  struct Step {
    int setPort;  // -1: leave
    int type;
    int port;
  };
  const Step steps[] = {
      {-1, 2, 1080},   // port 0 takes the type's default
      {-1, 3, 1080},
      {-1, 0, 0},      // type 0 clears the port
      {8080, 1, 8080}, // a port already set stays
      {-1, 4, 8080},
      {-1, 7, 0},      // beyond the known types: stored, port 0
      {-1, 1, 80},
      {0, 5, 80},
      {0, 6, 80},
  };
  FirewallNegotiator proxy;
  for (const Step& step : steps) {
    if (step.setPort >= 0) {
      ASSERT_EQ(proxy.SetPort(step.setPort), 0);
    }
    ASSERT_EQ(proxy.SetType(step.type), 0);
    EXPECT_EQ(proxy.GetType(), step.type);
    EXPECT_EQ(proxy.GetPort(), step.port) << "type " << step.type;
  }
}

TEST(FirewallSettings, CredentialsAreCutAt255Bytes) {
  struct Case {
    size_t given, kept;
  };
  FirewallNegotiator proxy;
  for (const Case& c : {Case{0, 0}, Case{10, 10}, Case{255, 255}, Case{256, 255}, Case{300, 255}}) {
    const std::string text(c.given, 'u');
    ASSERT_EQ(proxy.SetUser(text.c_str()), 0);
    ASSERT_EQ(proxy.SetPassword(text.c_str()), 0);
    EXPECT_EQ(std::string(proxy.GetUser()), std::string(c.kept, 'u'));
    EXPECT_EQ(std::string(proxy.GetPassword()), std::string(c.kept, 'u'));
  }
}

TEST(FirewallSettings, HostAndAutoDetect) {
  FirewallNegotiator proxy;
  EXPECT_STREQ(proxy.GetHost(), "");
  ASSERT_EQ(proxy.SetHost("10.1.2.3"), 0);
  EXPECT_STREQ(proxy.GetHost(), "10.1.2.3");
  ASSERT_EQ(proxy.SetHost("localhost"), 0);
  EXPECT_STREQ(proxy.GetHost(), "127.0.0.1");
  ASSERT_EQ(proxy.SetHost(""), 0);
  EXPECT_STREQ(proxy.GetHost(), "");
  ASSERT_EQ(proxy.SetAutoDetect(1), 0);
  EXPECT_FALSE(proxy.GetAutoDetect());
}

TEST(FirewallSettings, TypeZeroPassesEverythingThrough) {
  nettest::RecordingConnection connection;
  FirewallNegotiator& proxy = connection.Proxy();
  ASSERT_EQ(proxy.Begin(0), 0);
  EXPECT_FALSE(proxy.IsNegotiating());
  ASSERT_EQ(proxy.ProcessReply("abc", 3, 1), 0);
  ASSERT_EQ(proxy.OnWritable(), 0);
  ASSERT_EQ(proxy.ReportError(5, "text"), 0);
  ASSERT_EQ(proxy.OnClosed(7), 0);
  ASSERT_EQ(connection.hooks.size(), 5u);
  EXPECT_EQ(connection.hooks[0].kind, "connected");
  EXPECT_EQ(connection.hooks[1].kind, "data");
  EXPECT_EQ(connection.hooks[1].text, "abc");
  EXPECT_EQ(connection.hooks[1].code, 1);
  EXPECT_EQ(connection.hooks[2].kind, "writable");
  EXPECT_EQ(connection.hooks[3].kind, "error");
  EXPECT_EQ(connection.hooks[4].kind, "disconnected");
  EXPECT_EQ(connection.hooks[4].code, 7);
  EXPECT_EQ(connection.Count("status"), 0);
}

TEST(FirewallSettings, ConnectFailureWithProxyTypeReportsStatus) {
  nettest::RecordingConnection connection;
  ASSERT_EQ(connection.SetFirewallType(tornell::kFirewallSocks5), 0);
  ASSERT_EQ(connection.Proxy().Begin(111), 0);
  ASSERT_EQ(connection.hooks.size(), 2u);
  EXPECT_EQ(connection.hooks[0].text, "Firewall connection failed.");
  EXPECT_EQ(connection.hooks[0].code, 111);
  EXPECT_EQ(connection.hooks[1].kind, "connected");
  EXPECT_EQ(connection.hooks[1].code, 111);
}

// Bytes after a proxy's reply can be appended from the queue's own free
// space, where they were read; the copy overlaps (AddressSanitizer checks it).
TEST(FirewallSettings, TailAppendedFromTheQueuesOwnSpace) {
  tornell::ByteQueue queue;
  ASSERT_EQ(queue.Allocate(64), 1);
  char* at = nullptr;
  unsigned size = 64;
  queue.GetWriteSpan(&at, &size);
  ASSERT_GE(size, 16u);
  std::memcpy(at, "HTTP/1.0 200 OK\r\n\r\nxyz", 22);
  ASSERT_EQ(queue.Append(at + 19, 3), 1);  // destination at, source 19 bytes on
  ASSERT_EQ(queue.Append(at + 2, 3), 1);   // source and destination overlap
  char* out = nullptr;
  unsigned n = 0;
  ASSERT_EQ(queue.ReadAvailable(&out, &n), 1);
  EXPECT_EQ(std::string(out, n), "xyzzP/");  // "zP/" as it stood before the copy
}
