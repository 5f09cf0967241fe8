// CONNECT tunnels with NTLM, Negotiate and Digest credentials: through squid
// with its own helpers to a socat echo, and through the scripted proxy, which
// checks the credentials itself, for the reply framings squid does not show.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <string>

#include "ProxyTestSupport.h"
#include "SecureTestSupport.h"
#include "TestPki.h"

using namespace proxytest;  // NOLINT(google-build-using-namespace)

namespace {

// The scripted proxy's credentials (its NTLM check wants this domain).
constexpr const char* kLegUser = "CORP\\alice";
constexpr const char* kDigestUser = "alice";
constexpr const char* kLegPassword = "s3cret";

std::string Unhex(const std::string& hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return out;
}

// The requests the scripted proxy logged, one hex line each.
std::vector<std::string> RequestsOf(Scripted& proxy) {
  std::vector<std::string> out;
  const std::string log = proxy.Requests();
  for (size_t at = 0; at < log.size();) {
    const size_t end = log.find('\n', at);
    out.push_back(Unhex(log.substr(at, end - at)));
    at = end == std::string::npos ? log.size() : end + 1;
  }
  return out;
}

int TypeOf(const std::string& scheme) {
  if (scheme == "digest") return tornell::kFirewallTunnelDigest;
  return scheme == "negotiate" ? tornell::kFirewallTunnelNegotiate : tornell::kFirewallTunnelNtlm;
}

void SetLegCredentials(RecordingConnection& connection, int type) {
  ASSERT_EQ(connection.SetFirewallUser(type == tornell::kFirewallTunnelDigest ? kDigestUser : kLegUser), 0);
  ASSERT_EQ(connection.SetFirewallPassword(kLegPassword), 0);
}

bool HaveSquidHelpers() {
  return !testsupport::FindProgram("squid").empty() && access("/usr/lib/squid/ntlm_fake_auth", X_OK) == 0;
}

// squid with its own NTLM, Negotiate and Digest helpers; the Digest user is
// dave with the password "secret". Each scheme is offered in its own
// Proxy-Authenticate line of one 407.
bool StartAuthSquid(Squid& squid) {
  WriteFile(squid.Path("digest.passwd"), "dave:secret\n");
  return squid.Start(
      "auth_param negotiate program /usr/lib/squid/negotiate_wrapper_auth --ntlm /usr/lib/squid/ntlm_fake_auth "
      "--kerberos /usr/lib/squid/negotiate_kerberos_auth -s GSS_C_NO_NAME\n"
      "auth_param negotiate children 1 startup=1\nauth_param negotiate keep_alive on\n"
      "auth_param ntlm program /usr/lib/squid/ntlm_fake_auth\nauth_param ntlm children 1 startup=1\n"
      "auth_param digest program /usr/lib/squid/digest_file_auth " + squid.Path("digest.passwd") +
      "\nauth_param digest children 1 startup=1\nauth_param digest realm squid-digest\n");
}

}  // namespace

// ---- squid with its NTLM, Negotiate and Digest helpers ---------------------------------

TEST(ProxySquidAuth, NtlmNegotiateAndDigestTunnels) {
  PeerProcess echo;
  REQUIRE_OR_SKIP(StartEcho(echo), "socat is not installed");
  REQUIRE_OR_SKIP(HaveSquidHelpers(), "squid with its authentication helpers is not installed");
  Squid squid;
  ASSERT_TRUE(StartAuthSquid(squid));
  const std::string target = "127.0.0.1:" + std::to_string(echo.port());
  struct Case {
    int type;
    const char* user;
    const char* password;
    std::string digestUri;
  };
  for (const Case& c : {Case{tornell::kFirewallTunnelNtlm, "NTDOM\\nina", "any", ""},
                        Case{tornell::kFirewallTunnelNegotiate, "NGDOM\\gus", "any", ""},
                        Case{tornell::kFirewallTunnelDigest, "dave", "secret", target},
                        Case{tornell::kFirewallTunnelDigest, "dave", "secret", ""}}) {
    RecordingConnection connection;
    ASSERT_EQ(connection.SetFirewallUser(c.user), 0);
    ASSERT_EQ(connection.SetFirewallPassword(c.password), 0);
    ASSERT_EQ(connection.Proxy().SetDigestUri(c.digestUri.c_str()), 0);
    ASSERT_EQ(ConnectThrough(connection, c.type, squid.peer.port(), "127.0.0.1", echo.port()), 0)
        << c.type << " " << connection.GetLastErrorText();
    ExpectStatusLines(connection);
    ExpectEcho(connection);
    if (c.type != tornell::kFirewallTunnelDigest) {
      // The token diagnostics of the first leg, at level 2.
      const nettest::Hook* log = connection.First("log Info");
      ASSERT_NE(log, nullptr);
      EXPECT_EQ(log->code, 2);
      EXPECT_NE(log->text.find("NTLM Message Type: Negotiate"), std::string::npos) << log->text;
    }
  }
  {
    RecordingConnection connection;
    ASSERT_EQ(connection.SetFirewallUser("dave"), 0);
    ASSERT_EQ(connection.SetFirewallPassword("wrong"), 0);
    EXPECT_EQ(ConnectThrough(connection, tornell::kFirewallTunnelDigest, squid.peer.port(), "127.0.0.1", echo.port()),
              tornell::kStatusProxyFailed);
    EXPECT_STREQ(connection.GetLastErrorText(),
                 "Firewall error after digest authentication. Expected a status code beginning with 2 but got: 407 "
                 "Proxy Authentication Required");
    EXPECT_NE(connection.GetSocketHandle(), -1);  // a status failure keeps the connection
  }
  // squid names each user it let through, once their tunnels have closed.
  for (const char* name : {"nina", "gus", "dave"}) {
    const std::string access = squid.WaitForAccessLine(name);
    EXPECT_NE(access.find(name), std::string::npos) << access;
  }
  squid.peer.Stop();
}

// TLS through each tunnel: once squid has let the CONNECT through, the
// handshake runs with openssl s_server behind it and a GET is answered.
TEST(ProxySquidAuth, TlsThroughEachTunnel) {
  PeerProcess server;
  REQUIRE_OR_SKIP(testsupport::StartOpensslServer(server, {"-www"}), "openssl is not installed");
  REQUIRE_OR_SKIP(HaveSquidHelpers(), "squid with its authentication helpers is not installed");
  Squid squid;
  ASSERT_TRUE(StartAuthSquid(squid));
  struct Case {
    int type;
    const char* user;
    const char* password;
  };
  for (const Case& c : {Case{tornell::kFirewallTunnelNtlm, "NTDOM\\tina", "any"},
                        Case{tornell::kFirewallTunnelNegotiate, "NGDOM\\tom", "any"},
                        Case{tornell::kFirewallTunnelDigest, "dave", "secret"}}) {
    nettest::EventConnection connection;
    ASSERT_EQ(nettest::PrepareTls(connection), 0);
    ASSERT_EQ(connection.SetFirewallType(c.type), 0);
    ASSERT_EQ(connection.SetFirewallHost("127.0.0.1"), 0);
    ASSERT_EQ(connection.SetFirewallPort(squid.peer.port()), 0);
    ASSERT_EQ(connection.SetFirewallUser(c.user), 0);
    ASSERT_EQ(connection.SetFirewallPassword(c.password), 0);
    ASSERT_EQ(connection.ConnectTo("127.0.0.1", server.port()), 0) << c.type << " " << connection.GetLastErrorText();
    const nettest::Event handshake{"ConnectionStatus", 0, "SSL handshake complete.", "OK"};
    EXPECT_NE(std::find(connection.events.begin(), connection.events.end(), handshake), connection.events.end())
        << c.type;
    ASSERT_EQ(connection.SendText("GET / HTTP/1.0\r\n\r\n"), 0);
    ASSERT_EQ(connection.WaitForReply(), 0) << c.type << " " << connection.GetLastErrorText();
    const std::string reply(connection.GetReply().Data(), static_cast<size_t>(connection.GetReply().Length()));
    EXPECT_EQ(reply.rfind("HTTP/1.0 200 ok", 0), 0u) << c.type << " " << reply;
  }
  // The last tunnel closed just now.
  const std::string access = squid.WaitForAccessLine("dave");
  for (const char* name : {"tina", "tom", "dave"}) EXPECT_NE(access.find(name), std::string::npos) << access;
}

// ---- the scripted proxy ------------------------------------------------------------------

// Each framing of the 407 (chunked with extensions and a trailer, no length,
// LF-only lines without a final line end, the body one byte a read, and
// challenges of other schemes around ours) is read to its end, and the
// second request carries credentials the proxy accepts.
TEST(ProxyScriptedAuth, ChallengeFramings) {
  struct Case {
    const char* scheme;
    const char* framing;
  };
  for (const Case& c : {Case{"ntlm", "chunked"}, Case{"ntlm", "nolength"}, Case{"ntlm", "lf"}, Case{"ntlm", "split"},
                        Case{"ntlm", "schemes"}, Case{"negotiate", "split"}, Case{"negotiate", "schemes"},
                        Case{"digest", "chunked"}, Case{"digest", "nolength"}, Case{"digest", "lf"},
                        Case{"digest", "split"}, Case{"digest", "schemes"}}) {
    const std::string mode = std::string("leg-") + c.scheme + "-" + c.framing;
    Scripted proxy;
    REQUIRE_OR_SKIP(proxy.Start(mode), "/usr/bin/python3 is not available");
    RecordingConnection connection;
    const int type = TypeOf(c.scheme);
    SetLegCredentials(connection, type);
    ASSERT_EQ(connection.Proxy().SetUserAgent("agent/1"), 0);
    ASSERT_EQ(ConnectThrough(connection, type, proxy.peer.port(), "example.test", 443), 0)
        << mode << " " << connection.GetLastErrorText() << " " << proxy.Verdicts();
    ExpectEcho(connection);
    EXPECT_EQ(proxy.Verdicts(), "ok\n") << mode;
    const std::vector<std::string> requests = RequestsOf(proxy);
    ASSERT_EQ(requests.size(), 2u) << mode;
    if (type == tornell::kFirewallTunnelDigest) {
      EXPECT_EQ(requests[0],
                "CONNECT example.test:443 HTTP/1.0\r\nHost: example.test:443\r\nContent-Length: 0\r\n"
                "Proxy-Connection: Keep-Alive\r\nPragma: no-cache\r\nUser-Agent: agent/1\r\n\r\n");
      const std::string head =
          "CONNECT example.test:443 HTTP/1.0\r\nHost: example.test:443\r\nContent-Length: 0\r\n"
          "Proxy-Connection: Keep-Alive\r\nPragma: no-cache\r\nProxy-Authorization: Digest username=\"alice\", "
          "realm=\"script\", nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\", uri=\"example.test:443\", qop=\"auth\", "
          "nc=00000001, cnonce=\"";
      EXPECT_EQ(requests[1].substr(0, head.size()), head) << mode;
      EXPECT_NE(requests[1].find("\", opaque=\"5ccc069c403ebaf9f0171e9517f40e41\"\r\nUser-Agent: agent/1\r\n\r\n"),
                std::string::npos)
          << requests[1];
    } else {
      const std::string scheme = type == tornell::kFirewallTunnelNegotiate ? "Negotiate" : "NTLM";
      for (const std::string& request : requests) {
        const std::string head = "CONNECT example.test:443 HTTP/1.0\r\nProxy-Authorization: " + scheme + " TlRMTVNTUAA";
        EXPECT_EQ(request.substr(0, head.size()), head) << mode;
        const std::string tail = "\r\nProxy-Connection: Keep-Alive\r\nUser-Agent: agent/1\r\n\r\n";
        ASSERT_GT(request.size(), tail.size());
        EXPECT_EQ(request.substr(request.size() - tail.size()), tail) << mode;
      }
    }
  }
}

// A 2xx to the authenticated request opens the tunnel; a 407 fails it with
// the second reply's text and keeps the connection.
TEST(ProxyScriptedAuth, SecondReplies) {
  struct Case {
    const char* mode;
    const char* failure;
  };
  for (const Case& c :
       {Case{"leg-ntlm-lf-201", nullptr}, Case{"leg-digest-lf-201", nullptr},
        Case{"leg-ntlm-lf-407",
             "Firewall error after NTLM authentication. Expected a status code beginning with 2 but got: 407 Proxy "
             "Authentication Required"},
        Case{"leg-negotiate-lf-407",
             "Firewall error after NTLM authentication. Expected a status code beginning with 2 but got: 407 Proxy "
             "Authentication Required"},
        Case{"leg-digest-lf-407",
             "Firewall error after digest authentication. Expected a status code beginning with 2 but got: 407 Proxy "
             "Authentication Required"}}) {
    Scripted proxy;
    REQUIRE_OR_SKIP(proxy.Start(c.mode), "/usr/bin/python3 is not available");
    const int type = TypeOf(std::string(c.mode).substr(4, std::string(c.mode).find('-', 4) - 4));
    RecordingConnection connection;
    SetLegCredentials(connection, type);
    const int code = ConnectThrough(connection, type, proxy.peer.port(), "127.0.0.1", 4321);
    if (c.failure == nullptr) {
      ASSERT_EQ(code, 0) << c.mode << " " << connection.GetLastErrorText();
      ExpectEcho(connection);
      continue;
    }
    EXPECT_EQ(code, tornell::kStatusProxyFailed) << c.mode;
    EXPECT_STREQ(connection.GetLastErrorText(), c.failure) << c.mode;
    ASSERT_NE(connection.First("error"), nullptr) << c.mode;
    EXPECT_EQ(connection.First("error")->code, tornell::kStatusProxyFailed) << c.mode;
    EXPECT_FALSE(connection.IsNegotiatingProxy()) << c.mode;
    EXPECT_NE(connection.GetSocketHandle(), -1) << c.mode;
  }
}

// A 200 to the first request: its header lines are consumed, the owner's
// record terminator is back, and the bytes after the reply are the tunnel's.
TEST(ProxyScriptedAuth, FirstRequestAnsweredWith200) {
  for (const char* mode : {"leg-ntlm-first200", "leg-digest-first200"}) {
    Scripted proxy;
    REQUIRE_OR_SKIP(proxy.Start(mode), "/usr/bin/python3 is not available");
    const int type = TypeOf(std::string(mode).substr(4, std::string(mode).find('-', 4) - 4));
    RecordingConnection connection;
    SetLegCredentials(connection, type);
    ASSERT_EQ(connection.SetEol("\n", 1), 0);
    ASSERT_EQ(ConnectThrough(connection, type, proxy.peer.port(), "127.0.0.1", 4321), 0) << mode;
    char* eol = nullptr;
    int eolLength = 0;
    ASSERT_EQ(connection.GetEol(&eol, &eolLength), 0);
    EXPECT_EQ(std::string(eol, static_cast<size_t>(eolLength)), "\n") << mode;
    ASSERT_EQ(connection.Send("ping\n", 5, 0, 1), 0);
    ASSERT_TRUE(PumpUntil(connection, [&] { return connection.Count("data") > 0; })) << mode;
    EXPECT_EQ(connection.First("data")->text, "xyzping") << mode;
    EXPECT_EQ(RequestsOf(proxy).size(), 1u) << mode;
  }
}

TEST(ProxyScriptedAuth, LineBreakInTargetIsRefusedBeforeSending) {
  Scripted proxy;
  REQUIRE_OR_SKIP(proxy.Start("leg-ntlm-lf"), "/usr/bin/python3 is not available");
  for (int type : {tornell::kFirewallTunnelNtlm, tornell::kFirewallTunnelDigest}) {
    RecordingConnection connection;
    SetLegCredentials(connection, type);
    EXPECT_EQ(ConnectThrough(connection, type, proxy.peer.port(), "example.test\r\nX-Injected: 1", 443),
              tornell::kStatusProxyFailed);
    EXPECT_STREQ(connection.GetLastErrorText(), "The firewall request would carry a line break.");
    EXPECT_EQ(connection.GetSocketHandle(), -1);
  }
  EXPECT_EQ(proxy.Requests(), "");
}
