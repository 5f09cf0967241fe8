// Tunnels through real proxies on 127.0.0.1 (microsocks, dante, tinyproxy,
// squid) to a socat echo, and through a scripted proxy for the replies
// real ones do not produce on demand.
#include <gtest/gtest.h>

#include <string>

#include "ProxyTestSupport.h"

using namespace proxytest;  // NOLINT(google-build-using-namespace)

// ---- microsocks: SOCKS5 ----------------------------------------------------------------

TEST(ProxyMicrosocks, Socks5WithoutAndWithPassword) {
  PeerProcess echo, open, authed;
  REQUIRE_OR_SKIP(StartEcho(echo), "socat is not installed");
  REQUIRE_OR_SKIP(open.Start({"microsocks", "-i", "127.0.0.1", "-p", "{port}"}), "microsocks is not installed");
  ASSERT_TRUE(authed.Start({"microsocks", "-i", "127.0.0.1", "-p", "{port}", "-u", "user", "-P", "pass"}));
  {
    RecordingConnection connection;
    ASSERT_EQ(ConnectThrough(connection, tornell::kFirewallSocks5, open.port(), "127.0.0.1", echo.port()), 0);
    ExpectStatusLines(connection);
    ExpectEcho(connection);
  }
  {
    RecordingConnection connection;
    ASSERT_EQ(connection.SetFirewallUser("user"), 0);
    ASSERT_EQ(connection.SetFirewallPassword("pass"), 0);
    ASSERT_EQ(ConnectThrough(connection, tornell::kFirewallSocks5, authed.port(), "127.0.0.1", echo.port()), 0);
    ExpectEcho(connection);
  }
  {
    // A name after '*' goes to the proxy to resolve.
    RecordingConnection connection;
    ASSERT_EQ(ConnectThrough(connection, tornell::kFirewallSocks5, open.port(), "*localhost", echo.port()), 0);
    ExpectEcho(connection);
  }
}

TEST(ProxyMicrosocks, Socks5AuthenticationFailures) {
  PeerProcess echo, authed;
  REQUIRE_OR_SKIP(StartEcho(echo), "socat is not installed");
  REQUIRE_OR_SKIP(authed.Start({"microsocks", "-i", "127.0.0.1", "-p", "{port}", "-u", "user", "-P", "pass"}),
                  "microsocks is not installed");
  // microsocks answers a wrong password with status 2.
  struct Case {
    const char* password;
    const char* text;
  };
  for (const Case& c : {Case{"wrong", "firewall authentication failed: 2"},
                        Case{"", "no acceptable firewall authentication methods"}}) {
    RecordingConnection connection;
    ASSERT_EQ(connection.SetFirewallUser("user"), 0);
    ASSERT_EQ(connection.SetFirewallPassword(c.password), 0);
    EXPECT_EQ(ConnectThrough(connection, tornell::kFirewallSocks5, authed.port(), "127.0.0.1", echo.port()),
              tornell::kStatusProxyFailed);
    EXPECT_STREQ(connection.GetLastErrorText(), c.text);
    ASSERT_NE(connection.First("error"), nullptr);
    EXPECT_EQ(connection.First("error")->code, tornell::kStatusProxyFailed);
    EXPECT_EQ(connection.GetSocketHandle(), -1);  // a failed negotiation disconnects
  }
}

// ---- dante: SOCKS4 and SOCKS5 ------------------------------------------------------------

TEST(ProxyDante, Socks4AndSocks5) {
  PeerProcess echo, dante;
  REQUIRE_OR_SKIP(StartEcho(echo), "socat is not installed");
  ScratchDir dir("dante");
  const int port = testsupport::FreePort();
  const std::string conf = (dir.path() / "danted.conf").string();
  WriteFile(conf, "logoutput: " + (dir.path() / "danted.log").string() + "\ninternal: 127.0.0.1 port = " +
                      std::to_string(port) +
                      "\nexternal: 127.0.0.1\nclientmethod: none\nsocksmethod: none\n"
                      "user.privileged: root\nuser.unprivileged: nobody\n"
                      "client pass { from: 127.0.0.0/8 to: 0.0.0.0/0 }\n"
                      "socks pass { from: 127.0.0.0/8 to: 0.0.0.0/0 command: connect }\n");
  REQUIRE_OR_SKIP(dante.Start({"danted", "-f", conf, "-p", (dir.path() / "danted.pid").string(), "-N", "1"}, port),
                  "dante-server is not installed");
  for (int type : {tornell::kFirewallSocks4, tornell::kFirewallSocks5}) {
    RecordingConnection connection;
    ASSERT_EQ(ConnectThrough(connection, type, dante.port(), "127.0.0.1", echo.port()), 0) << type;
    ExpectEcho(connection);
  }
}

// ---- tinyproxy and squid: Basic CONNECT ---------------------------------------------------

TEST(ProxyTinyproxy, BasicConnect) {
  PeerProcess echo, tiny;
  REQUIRE_OR_SKIP(StartEcho(echo), "socat is not installed");
  ScratchDir dir("tinyproxy");
  OwnBy(dir.path(), "nobody", "nogroup");
  const int port = testsupport::FreePort();
  const std::string conf = (dir.path() / "tp.conf").string();
  WriteFile(conf, "Port " + std::to_string(port) + "\nListen 127.0.0.1\nTimeout 30\nPidFile \"" +
                      (dir.path() / "tp.pid").string() + "\"\nLogFile \"" + (dir.path() / "tp.log").string() +
                      "\"\nAllow 127.0.0.1\nBasicAuth user pass\n");
  REQUIRE_OR_SKIP(tiny.Start({"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", "tinyproxy", "-d",
                              "-c", conf},
                             port),
                  "tinyproxy is not installed");
  {
    RecordingConnection connection;
    ASSERT_EQ(connection.SetFirewallUser("user"), 0);
    ASSERT_EQ(connection.SetFirewallPassword("pass"), 0);
    ASSERT_EQ(ConnectThrough(connection, tornell::kFirewallTunnel, tiny.port(), "127.0.0.1", echo.port()), 0);
    ExpectStatusLines(connection);
    ExpectEcho(connection);
  }
  {
    // A wrong password gets 401 here; the status failure keeps the connection.
    RecordingConnection connection;
    ASSERT_EQ(connection.SetFirewallUser("user"), 0);
    ASSERT_EQ(connection.SetFirewallPassword("wrong"), 0);
    ASSERT_EQ(ConnectThrough(connection, tornell::kFirewallTunnel, tiny.port(), "127.0.0.1", echo.port()),
              tornell::kStatusProxyFailed);
    const std::string text = connection.GetLastErrorText();
    EXPECT_EQ(text.rfind("Firewall error. HTTP/1.", 0), 0u) << text;
    EXPECT_NE(text.find(" 401 "), std::string::npos) << text;
    EXPECT_EQ(text.back(), '.');
    EXPECT_NE(connection.GetSocketHandle(), -1);
  }
}

TEST(ProxySquid, BasicConnect) {
  PeerProcess echo;
  REQUIRE_OR_SKIP(StartEcho(echo), "socat is not installed");
  REQUIRE_OR_SKIP(!testsupport::FindProgram("squid").empty(), "squid is not installed");
  Squid squid;
  const auto hash = testsupport::RunChild({"/usr/bin/openssl", "passwd", "-apr1", "pass"}, {}, "", 20);
  ASSERT_TRUE(hash.started);
  WriteFile(squid.Path("basic.passwd"), "user:" + hash.output);
  ASSERT_TRUE(squid.Start("auth_param basic program /usr/lib/squid/basic_ncsa_auth " + squid.Path("basic.passwd") +
                          "\nauth_param basic children 1 startup=1\nauth_param basic realm squid-basic\n"));
  {
    RecordingConnection connection;
    ASSERT_EQ(connection.SetFirewallUser("user"), 0);
    ASSERT_EQ(connection.SetFirewallPassword("pass"), 0);
    ASSERT_EQ(ConnectThrough(connection, tornell::kFirewallTunnel, squid.peer.port(), "127.0.0.1", echo.port()), 0);
    ExpectEcho(connection);
  }
  {
    RecordingConnection connection;
    ASSERT_EQ(ConnectThrough(connection, tornell::kFirewallTunnel, squid.peer.port(), "127.0.0.1", echo.port()),
              tornell::kStatusProxyFailed);
    EXPECT_STREQ(connection.GetLastErrorText(), "Firewall error. HTTP/1.1 407 Proxy Authentication Required.");
  }
}

// ---- the scripted proxy ----------------------------------------------------------------------

TEST(ProxyScripted, BasicRequestAndSplitReply) {
  Scripted proxy;
  REQUIRE_OR_SKIP(proxy.Start("basic-split"), "/usr/bin/python3 is not available");
  RecordingConnection connection;
  ASSERT_EQ(connection.SetFirewallUser("Aladdin"), 0);
  ASSERT_EQ(connection.SetFirewallPassword("open sesame"), 0);
  ASSERT_EQ(connection.Proxy().SetUserAgent("agent/1"), 0);
  ASSERT_EQ(ConnectThrough(connection, tornell::kFirewallTunnel, proxy.peer.port(), "example.test", 443), 0);
  ExpectEcho(connection);
  // The RFC 7617 example credentials.
  EXPECT_EQ(proxy.Requests(), Hex("CONNECT example.test:443 HTTP/1.0\r\nProxy-Authorization: Basic "
                                  "QWxhZGRpbjpvcGVuIHNlc2FtZQ==\r\nUser-Agent: agent/1\r\n\r\n") + "\n");
}

TEST(ProxyScripted, BasicRequestWithoutCredentials) {
  Scripted proxy;
  REQUIRE_OR_SKIP(proxy.Start("basic-lf"), "/usr/bin/python3 is not available");
  RecordingConnection connection;
  ASSERT_EQ(ConnectThrough(connection, tornell::kFirewallTunnel, proxy.peer.port(), "example.test", 8443), 0);
  ExpectEcho(connection);
  EXPECT_EQ(proxy.Requests(), Hex("CONNECT example.test:8443 HTTP/1.0\r\n\r\n") + "\n");
}

TEST(ProxyScripted, BytesAfterTheReplyComeFirst) {
  struct Case {
    const char* mode;
    int type;
  };
  for (const Case& c : {Case{"basic-tail", tornell::kFirewallTunnel}, Case{"socks4-tail", tornell::kFirewallSocks4},
                        Case{"socks5-atyp1", tornell::kFirewallSocks5}, Case{"socks5-atyp3", tornell::kFirewallSocks5},
                        Case{"socks5-atyp4", tornell::kFirewallSocks5}}) {
    Scripted proxy;
    REQUIRE_OR_SKIP(proxy.Start(c.mode), "/usr/bin/python3 is not available");
    RecordingConnection connection;
    ASSERT_EQ(ConnectThrough(connection, c.type, proxy.peer.port(), "127.0.0.1", 4321), 0) << c.mode;
    ASSERT_TRUE(PumpUntil(connection, [&] { return connection.received.size() >= 3; })) << c.mode;
    EXPECT_EQ(connection.received, "xyz") << c.mode;
    ExpectEcho(connection, "xyz");
  }
}

TEST(ProxyScripted, RepliesInPieces) {
  for (const char* mode : {"socks4-split", "socks5-atyp3-split"}) {
    Scripted proxy;
    REQUIRE_OR_SKIP(proxy.Start(mode), "/usr/bin/python3 is not available");
    RecordingConnection connection;
    const int type = mode[5] == '4' ? tornell::kFirewallSocks4 : tornell::kFirewallSocks5;
    ASSERT_EQ(ConnectThrough(connection, type, proxy.peer.port(), "127.0.0.1", 4321), 0) << mode;
    ExpectEcho(connection);
  }
}

TEST(ProxyScripted, SocksRequestsOnTheWire) {
  {
    Scripted proxy;
    REQUIRE_OR_SKIP(proxy.Start("socks4-tail"), "/usr/bin/python3 is not available");
    RecordingConnection connection;
    ASSERT_EQ(connection.SetFirewallUser("bob"), 0);
    ASSERT_EQ(ConnectThrough(connection, tornell::kFirewallSocks4, proxy.peer.port(), "127.0.0.1", 0x1234), 0);
    EXPECT_EQ(proxy.Requests(), "040112347f000001626f6200\n");
  }
  {
    Scripted proxy;
    REQUIRE_OR_SKIP(proxy.Start("socks5-atyp1"), "/usr/bin/python3 is not available");
    RecordingConnection connection;
    ASSERT_EQ(connection.SetFirewallUser("bob"), 0);  // no password: method 0 only
    const std::string name = "sixteen-byte.abc";
    ASSERT_EQ(ConnectThrough(connection, tornell::kFirewallSocks5, proxy.peer.port(), ("*" + name).c_str(), 80), 0);
    EXPECT_EQ(proxy.Requests(), "050100" + Hex("|") + "0501000310" + Hex(name) + "0050\n");
  }
}

TEST(ProxyScripted, Failures) {
  struct Case {
    const char* mode;
    int type;
    const char* text;
    bool disconnects;
  };
  for (const Case& c : {Case{"socks5-x85", tornell::kFirewallSocks5, "unknown firewall error: -123", true},
                        Case{"socks4-reject", tornell::kFirewallSocks4, "firewall request rejected or failed", true},
                        Case{"basic-403", tornell::kFirewallTunnel, "Firewall error. HTTP/1.0 403 Forbidden.", false},
                        Case{"basic-endless", tornell::kFirewallTunnel, "The firewall reply header has no end.", true}}) {
    Scripted proxy;
    REQUIRE_OR_SKIP(proxy.Start(c.mode), "/usr/bin/python3 is not available");
    RecordingConnection connection;
    EXPECT_EQ(ConnectThrough(connection, c.type, proxy.peer.port(), "127.0.0.1", 4321), tornell::kStatusProxyFailed)
        << c.mode;
    EXPECT_STREQ(connection.GetLastErrorText(), c.text) << c.mode;
    EXPECT_EQ(connection.GetSocketHandle() == -1, c.disconnects) << c.mode;
    EXPECT_EQ(connection.Count("data"), 0) << c.mode;
  }
}

TEST(ProxyScripted, LineBreakInTargetIsRefusedBeforeSending) {
  Scripted proxy;
  REQUIRE_OR_SKIP(proxy.Start("basic-lf"), "/usr/bin/python3 is not available");
  for (const char* agent : {"", "evil\r\nX-Injected: 1"}) {
    RecordingConnection connection;
    ASSERT_EQ(connection.Proxy().SetUserAgent(agent), 0);
    const char* host = agent[0] == '\0' ? "example.test\r\nX-Injected: 1" : "example.test";
    EXPECT_EQ(ConnectThrough(connection, tornell::kFirewallTunnel, proxy.peer.port(), host, 443),
              tornell::kStatusProxyFailed);
    EXPECT_EQ(connection.GetSocketHandle(), -1);
  }
  EXPECT_EQ(proxy.Requests(), "");
}

TEST(ProxyScripted, TooLongSocks5NameIsRefused) {
  Scripted proxy;
  REQUIRE_OR_SKIP(proxy.Start("socks5-atyp1"), "/usr/bin/python3 is not available");
  RecordingConnection connection;
  const std::string name = "*" + std::string(256, 'a');
  EXPECT_EQ(ConnectThrough(connection, tornell::kFirewallSocks5, proxy.peer.port(), name.c_str(), 80),
            tornell::kStatusProxyFailed);
  EXPECT_EQ(connection.GetSocketHandle(), -1);
}

TEST(ProxyExceptionConnect, ListedHostGoesDirect) {
  PeerProcess echo;
  REQUIRE_OR_SKIP(StartEcho(echo), "socat is not installed");
  RecordingConnection connection;
  ASSERT_EQ(connection.SetProxyExceptionsList("*.example.org; localhost"), 0);
  // The proxy port has nothing behind it: only a direct connect succeeds.
  ASSERT_EQ(ConnectThrough(connection, tornell::kFirewallSocks5, testsupport::FreePort(), "localhost", echo.port()), 0);
  EXPECT_EQ(connection.GetFirewallType(), tornell::kFirewallNone);
  EXPECT_STREQ(connection.GetRemoteHost(), "127.0.0.1");
  ExpectEcho(connection);
}
