// Proxy credentials against proxies that check them on their own: squid with
// its NTLM (ntlm_fake_auth), Basic and Digest helpers, forwarding http
// requests in the absolute form and tunnelling https, and tinyproxy with
// Basic. Every exchange logs at level 3, and no line may carry a credential.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "AuthPeerSupport.h"
#include "PeerProcess.h"
#include "ProxyTestSupport.h"
#include "TestFiles.h"
#include "TestPki.h"
#include "TestSupport.h"
#include "http/base/HttpStatus.h"

using namespace tornell;
using authpeer::LoggingClient;
namespace fs = std::filesystem;

namespace {

constexpr int kStatusProxyAuthFailed = 157;
// Six characters, so the masked log line shows six x; a word no peer's page
// holds.
constexpr char kPassword[] = "s3cr3t";
const std::vector<std::string> kSecrets = {"s3cr3t", "dXNlcjpzM2NyM3Q=", "TlRET01cbmluYTpzM2NyM3Q="};

bool HaveSquid() {
  return !testsupport::FindProgram("squid").empty() && access("/usr/lib/squid/ntlm_fake_auth", X_OK) == 0 &&
         !testsupport::FindProgram("htpasswd").empty();
}

// squid answers an unauthenticated request with NTLM, Basic and Digest
// challenges; user "user" with the password above passes Basic and Digest,
// NTLM takes any password.
bool StartSquid(proxytest::Squid& squid) {
  const std::string basic = squid.Path("basic.passwd");
  if (std::system(("htpasswd -bc " + basic + " user " + kPassword + " >/dev/null 2>&1").c_str()) != 0) return false;
  proxytest::WriteFile(squid.Path("digest.passwd"), std::string("user:") + kPassword + "\n");
  return squid.Start("auth_param ntlm program /usr/lib/squid/ntlm_fake_auth\nauth_param ntlm children 1 startup=1\n"
                     "auth_param basic program /usr/lib/squid/basic_ncsa_auth " + basic +
                     "\nauth_param basic children 1 startup=1\nauth_param basic realm squid-basic\n"
                     "auth_param digest program /usr/lib/squid/digest_file_auth " + squid.Path("digest.passwd") +
                     "\nauth_param digest children 1 startup=1\nauth_param digest realm squid-digest\n");
}

std::string AccessLineWith(const std::string& access, const std::string& text) {
  const size_t at = access.find(text);
  if (at == std::string::npos) return "";
  const size_t begin = access.rfind('\n', at);
  const size_t end = access.find('\n', at);
  return access.substr(begin == std::string::npos ? 0 : begin + 1, end == std::string::npos ? end : end - begin - 1);
}

void UseProxy(LoggingClient& client, int port, int scheme, const char* user, const char* password) {
  client.SetLogLevel(3);
  ASSERT_EQ(client.proxyServer_.Set("127.0.0.1"), 0);
  client.proxyPort_ = port;
  ASSERT_EQ(client.SetProxyAuthScheme(scheme), 0);
  ASSERT_EQ(client.SetProxyUser(user), 0);
  ASSERT_EQ(client.SetProxyPassword(password), 0);
}

std::string Announcement(int port, const char* scheme, const char* user) {
  return "2 Info Authenticating to Proxy: Server '127.0.0.1' on port " + std::to_string(port) + " with AuthScheme " +
         scheme + ". User:'" + user + "', Password:'xxxxxx'";
}

class SquidAuth : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_OR_SKIP(HaveSquid(), "squid with its authentication helpers is not installed");
    testsupport::WriteFile(www_.path() / "page.txt", testsupport::Pattern(20000, 7));
    ASSERT_TRUE(origin_.Start({"/usr/bin/python3", "-m", "http.server", "{port}", "--bind", "127.0.0.1",
                               "--directory", www_.path().string()}));
    ASSERT_TRUE(StartSquid(squid_));
  }
  std::string Page() const { return "http://127.0.0.1:" + std::to_string(origin_.port()) + "/page.txt"; }

  testsupport::TempFolder www_{"proxy-auth-www"};
  testsupport::PeerProcess origin_;
  proxytest::Squid squid_;
};

TEST_F(SquidAuth, ForwardedRequests) {
  struct Case {
    int scheme;
    const char* user;
    const char* password;
    int result;
    std::vector<int> statuses;
    const char* announced;  // scheme named in the retry's log line, or null
  };
  const Case cases[] = {
      {kAuthBasic, "user", kPassword, 0, {200}, nullptr},
      {kAuthBasic, "user", "wrong!", kHttpStatusProtocolError, {407}, nullptr},
      {kAuthDigest, "user", kPassword, 0, {407, 200}, "Digest"},
      {kAuthDigest, "user", "wrong!", kStatusProxyAuthFailed, {407, 407}, "Digest"},
      {kAuthNtlm, "NTDOM\\nina", kPassword, 0, {407, 200}, "NTLM"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.scheme) + " " + c.password);
    LoggingClient client;
    UseProxy(client, squid_.peer.port(), c.scheme, c.user, c.password);
    const int result = client.Run(kHttpGet, Page());
    EXPECT_EQ(result, c.result) << client.GetLastErrorText();
    EXPECT_EQ(client.events.statuses, c.statuses);
    if (result == 0) {
      EXPECT_TRUE(client.Body() == testsupport::Pattern(20000, 7));
    } else {
      EXPECT_STREQ(client.GetLastErrorText(), "Proxy error: HTTP protocol error. 407 Proxy Authentication Required.");
    }
    if (c.announced != nullptr) {
      EXPECT_TRUE(client.Logged(Announcement(squid_.peer.port(), c.announced, c.user)));
    }
    authpeer::ExpectNoCredentials(client.lines, kSecrets);
  }
  // squid forwarded each good request under the user it authenticated (its
  // NTLM helper mangles the name around the user's own letters).
  const std::string access = squid_.WaitForAccessLine("TCP_MISS/200 ", 3);
  EXPECT_EQ(proxytest::Occurrences(access, "TCP_MISS/200 "), 3u) << access;
  EXPECT_NE(AccessLineWith(access, "GET " + Page() + " user ").find("TCP_MISS/200"), std::string::npos) << access;
  EXPECT_NE(AccessLineWith(access, "nina").find("GET " + Page()), std::string::npos) << access;
}

// NTLM keeps the connection to squid: each request on it runs its own
// handshake, and every one gets through.
TEST_F(SquidAuth, NtlmRequestsOnOneKeptConnection) {
  LoggingClient client;
  UseProxy(client, squid_.peer.port(), kAuthNtlm, "NTDOM\\nina", kPassword);
  EXPECT_EQ(client.GetHttpKeepAlive(), 1);
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    client.events.statuses.clear();
    ASSERT_EQ(client.Run(kHttpGet, Page()), 0) << client.GetLastErrorText();
    EXPECT_TRUE(client.Body() == testsupport::Pattern(20000, 7));
    EXPECT_EQ(client.events.statuses.back(), 200);
  }
  authpeer::ExpectNoCredentials(client.lines, kSecrets);
}

// https through squid: the CONNECT leg carries the proxy credentials, the
// request inside the tunnel none.
TEST_F(SquidAuth, TunnelledHttps) {
  testsupport::PeerProcess server;
  REQUIRE_OR_SKIP(testsupport::StartOpensslServer(server, {"-www"}), "openssl is not installed");
  struct Case {
    int scheme;
    const char* user;
  };
  for (const Case& c : {Case{kAuthNtlm, "NTDOM\\nina"}, Case{kAuthBasic, "user"}, Case{kAuthDigest, "user"}}) {
    SCOPED_TRACE(c.scheme);
    LoggingClient client;
    authpeer::AcceptingEvents events;
    client.SetEventSink(static_cast<ComponentHandle*>(&events));
    UseProxy(client, squid_.peer.port(), c.scheme, c.user, kPassword);
    ASSERT_EQ(client.Run(kHttpGet, "https://127.0.0.1:" + std::to_string(server.port()) + "/"), 0)
        << client.GetLastErrorText();
    EXPECT_EQ(events.statuses, std::vector<int>{200});
    EXPECT_NE(client.Body().find("s_server"), std::string::npos) << client.Body();
    authpeer::ExpectNoCredentials(client.lines, kSecrets);
    static_cast<void>(client.Close());
  }
  const std::string tunnel = "CONNECT 127.0.0.1:" + std::to_string(server.port());
  std::string access = squid_.WaitForAccessLine(tunnel + " user ", 2);
  access = squid_.WaitForAccessLine("nina");
  EXPECT_NE(AccessLineWith(access, "nina").find(tunnel), std::string::npos) << access;
  EXPECT_EQ(proxytest::Occurrences(access, tunnel + " user "), 2u) << access;
}

class Tinyproxy : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_OR_SKIP(!testsupport::FindProgram("tinyproxy").empty(), "tinyproxy is not installed");
    REQUIRE_OR_SKIP(!testsupport::FindProgram("setpriv").empty(), "setpriv is not installed");
    testsupport::WriteFile(www_.path() / "page.txt", testsupport::Pattern(20000, 8));
    ASSERT_TRUE(origin_.Start({"/usr/bin/python3", "-m", "http.server", "{port}", "--bind", "127.0.0.1",
                               "--directory", www_.path().string()}));
    // tinyproxy runs as nobody and writes its pid and log here.
    const std::string d = dir_.path().string();
    ASSERT_EQ(chmod(d.c_str(), 0777), 0);
    const int port = testsupport::FreePort();
    testsupport::WriteFile(dir_.path() / "tp.conf", "Port " + std::to_string(port) +
                                                        "\nListen 127.0.0.1\nTimeout 30\nPidFile \"" + d +
                                                        "/tp.pid\"\nLogFile \"" + d +
                                                        "/tp.log\"\nAllow 127.0.0.1\nBasicAuth user " + kPassword + "\n");
    ASSERT_TRUE(proxy_.Start({"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", "tinyproxy", "-d",
                              "-c", d + "/tp.conf"}, port));
  }
  std::string Page() const { return "http://127.0.0.1:" + std::to_string(origin_.port()) + "/page.txt"; }

  testsupport::TempFolder www_{"tinyproxy-www"};
  testsupport::TempFolder dir_{"tinyproxy"};
  testsupport::PeerProcess origin_;
  testsupport::PeerProcess proxy_;
};

TEST_F(Tinyproxy, BasicCredentials) {
  struct Case {
    const char* password;
    int result;
    const char* error;
  };
  const Case cases[] = {
      {kPassword, 0, ""},
      // tinyproxy answers a wrong password with 401, not 407.
      {"wrong!", kHttpStatusProtocolError, "HTTP protocol error. 401 Unauthorized."},
      {"", kHttpStatusProtocolError, "Proxy error: HTTP protocol error. 407 Proxy Authentication Required."},
  };
  for (int level = 1; level <= 3; ++level) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::to_string(level) + " " + c.password);
      LoggingClient client;
      UseProxy(client, proxy_.port(), kAuthBasic, c.password[0] == '\0' ? "" : "user", c.password);
      client.SetLogLevel(level);
      EXPECT_EQ(client.Run(kHttpGet, Page()), c.result) << client.GetLastErrorText();
      if (c.result == 0) {
        EXPECT_TRUE(client.Body() == testsupport::Pattern(20000, 8));
      } else {
        EXPECT_STREQ(client.GetLastErrorText(), c.error);
      }
      if (std::string(c.password) == kPassword) {
        const std::string sending = "1 Info Sending Request: GET (HTTP 1.1) to " + Page() + " via proxy server '127.0.0.1:" +
                                    std::to_string(proxy_.port()) + "' with credentials 'user\\xxxxxx' (Basic)";
        EXPECT_TRUE(client.Logged(sending)) << (client.lines.empty() ? "" : client.lines.front());
      }
      authpeer::ExpectNoCredentials(client.lines, kSecrets);
    }
  }
}

}  // namespace
