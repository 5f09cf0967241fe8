// Authorization headers against servers that check them on their own:
// apache2 mod_auth_digest, and a Python server verifying Digest (challenge
// orders, auth-int) and NTLM answers with hashlib and pycryptodome.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "Http1Client.h"
#include "PeerProcess.h"
#include "TestFiles.h"
#include "TestSupport.h"
#include "http/base/HttpStatus.h"

using namespace tornell;
using http1test::Client;
namespace fs = std::filesystem;

namespace {

constexpr char kApache[] = "/usr/sbin/apache2";
constexpr char kApacheModules[] = "/usr/lib/apache2/modules";
constexpr char kPython[] = "/usr/bin/python3";

class Folder : public testsupport::TempFolder {
 public:
  Folder() : TempFolder("http-auth") {}
};

std::string Md5Hex(const std::string& text) {
  std::string out;
  ByteString digest;
  if (DigestAuthenticator::Md5Hex(text.data(), static_cast<int>(text.size()), digest) == 0) out = digest.CStr();
  return out;
}

using http1test::LoggingClient;

TEST(AuthorizationText, SettersAndSchemes) {
  struct Case {
    int scheme;
    const char* user;
    const char* password;
    const char* expected;  // prefix of the Authorization text after SetURL
  };
  const Case cases[] = {
      {kAuthBasic, "", "", ""},
      {kAuthBasic, "", "pw", "Basic OnB3"},
      {kAuthBasic, "Aladdin", "open sesame", "Basic QWxhZGRpbjpvcGVuIHNlc2FtZQ=="},
      {kAuthDigest, "user", "pass", ""},  // nothing before the first challenge
      {kAuthNtlm, "user", "pass", "NTLM TlRMTVNTUAABAAAA"},
      {kAuthNegotiate, "user", "pass", "Negotiate TlRMTVNTUAABAAAA"},
      {kAuthNone, "user", "pass", ""},
      {kAuthAutomatic, "user", "pass", ""},
      {6, "user", "pass", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.scheme);
    Client client;
    ASSERT_EQ(client.SetAuthScheme(c.scheme), 0);
    ASSERT_EQ(client.SetUser(c.user), 0);
    ASSERT_EQ(client.SetPassword(c.password), 0);
    ASSERT_EQ(client.SetURL("http://host.example/x", 0), 0) << client.GetLastErrorText();
    const std::string text = client.GetAuthorization();
    EXPECT_EQ(text.substr(0, std::string(c.expected).size()), c.expected);
    if (c.expected[0] == '\0') {
      EXPECT_EQ(text, "");
    }
  }

  Client client;
  ASSERT_EQ(client.SetUser("u"), 0);
  ASSERT_EQ(client.SetPassword("p"), 0);
  ASSERT_EQ(client.SetAuthScheme(kAuthBasic), 0);  // the same scheme keeps them
  EXPECT_STREQ(client.GetUser(), "u");
  EXPECT_STREQ(client.GetAuthorization(), "Basic dTpw");
  ASSERT_EQ(client.SetAuthScheme(kAuthDigest), 0);  // another one empties them
  EXPECT_STREQ(client.GetUser(), "");
  EXPECT_STREQ(client.GetPassword(), "");
  EXPECT_STREQ(client.GetAuthorization(), "");
  ASSERT_EQ(client.SetCallerAuthorization("Token abc"), 0);
  EXPECT_EQ(client.GetAuthScheme(), kAuthProprietary);
  ASSERT_EQ(client.SetURL("http://host.example/y", 0), 0);
  EXPECT_STREQ(client.GetAuthorization(), "Token abc");
}

TEST(AuthorizationText, ProxyLogMasksThePassword) {
  LoggingClient client;
  client.SetLogLevel(3);
  ASSERT_EQ(client.proxyServer_.Set("proxy.example"), 0);
  client.proxyPort_ = 8080;
  ASSERT_EQ(client.SetUser("user"), 0);
  ASSERT_EQ(client.SetPassword("server"), 0);
  ASSERT_EQ(client.SetProxyUser("puser"), 0);
  ASSERT_EQ(client.SetProxyPassword("secret"), 0);
  ASSERT_EQ(client.SetURL("http://host.example/x", 0), 0);
  ASSERT_EQ(client.BuildProxyAuthorization(1), 0);
  EXPECT_STREQ(client.GetProxyAuthorization(), "Basic cHVzZXI6c2VjcmV0");
  bool announced = false;
  for (const std::string& line : client.lines) {
    EXPECT_EQ(line.find("cHVzZXI6c2VjcmV0"), std::string::npos) << line;
    EXPECT_EQ(line.find("dXNlcjpzZXJ2ZXI="), std::string::npos) << line;
    EXPECT_EQ(line.find("secret"), std::string::npos) << line;
    announced |= line == "2 Info Authenticating to Proxy: Server 'proxy.example' on port 8080 with AuthScheme Basic. "
                         "User:'puser', Password:'xxxxxx'";
  }
  EXPECT_TRUE(announced);
}

class ApacheDigest : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_OR_SKIP(fs::exists(kApache) && fs::exists(fs::path(kApacheModules) / "mod_auth_digest.so"),
                    "apache2 with mod_auth_digest is not installed");
    const fs::path d = dir_.path();
    fs::create_directories(d / "www" / "priv");
    std::ofstream(d / "www" / "priv" / "a.txt") << "first file\n";
    std::ofstream(d / "www" / "priv" / "b.txt") << "second file\n";
    std::ofstream(d / "users") << "user:realm:" << Md5Hex("user:realm:pass") << "\n";
    const int port = testsupport::FreePort();
    std::ofstream conf(d / "httpd.conf");
    conf << "ServerRoot " << d.string() << "\nPidFile " << (d / "httpd.pid").string() << "\nErrorLog "
         << (d / "error.log").string() << "\nListen 127.0.0.1:" << port << "\nServerName 127.0.0.1\n";
    for (const char* module : {"mpm_event", "authz_core", "authz_user", "authn_core", "authn_file", "auth_digest"}) {
      conf << "LoadModule " << module << "_module " << kApacheModules << "/mod_" << module << ".so\n";
    }
    conf << "DocumentRoot " << (d / "www").string() << "\n<Directory " << (d / "www" / "priv").string() << ">\n"
         << "AuthType Digest\nAuthName realm\nAuthDigestProvider file\nAuthUserFile " << (d / "users").string()
         << "\nRequire valid-user\n</Directory>\n";
    conf.close();
    ASSERT_TRUE(apache_.Start({kApache, "-X", "-f", (d / "httpd.conf").string()}, port, (d / "apache.out").string()));
  }
  std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(apache_.port()) + path; }

  Folder dir_;
  testsupport::PeerProcess apache_;
};

TEST_F(ApacheDigest, AnswersTheChallengeOnce) {
  LoggingClient client;
  ASSERT_EQ(client.SetAuthScheme(kAuthDigest), 0);
  ASSERT_EQ(client.SetUser("user"), 0);
  ASSERT_EQ(client.SetPassword("pass"), 0);
  ASSERT_EQ(client.Run(kHttpGet, Url("/priv/a.txt")), 0) << client.GetLastErrorText();
  EXPECT_EQ(client.Body(), "first file\n");
  EXPECT_EQ(client.events.statuses, (std::vector<int>{401, 200}));
}

TEST_F(ApacheDigest, WrongPasswordEndsWith151) {
  Client client;
  ASSERT_EQ(client.SetAuthScheme(kAuthDigest), 0);
  ASSERT_EQ(client.SetUser("user"), 0);
  ASSERT_EQ(client.SetPassword("wrong"), 0);
  EXPECT_EQ(client.Run(kHttpGet, Url("/priv/a.txt")), kHttpStatusProtocolError);
  EXPECT_EQ(client.events.statuses, (std::vector<int>{401, 401}));
}

TEST_F(ApacheDigest, EachKeptAliveRequestRunsItsOwnExchange) {
  Client client;
  client.SetHttpKeepAlive(1);
  ASSERT_EQ(client.SetAuthScheme(kAuthDigest), 0);
  ASSERT_EQ(client.SetUser("user"), 0);
  ASSERT_EQ(client.SetPassword("pass"), 0);
  ASSERT_EQ(client.Run(kHttpGet, Url("/priv/a.txt")), 0) << client.GetLastErrorText();
  ASSERT_EQ(client.Run(kHttpGet, Url("/priv/b.txt")), 0) << client.GetLastErrorText();
  EXPECT_EQ(client.Body(), "second file\n");
  EXPECT_EQ(client.events.statuses, (std::vector<int>{401, 200, 401, 200}));
}

class AuthPeer : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_OR_SKIP(fs::exists(kPython), "python3 is not installed");
    ASSERT_TRUE(peer_.Start({kPython, std::string(HTTP1_TEST_DIR) + "/auth_peer.py", "{port}"}));
  }
  std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(peer_.port()) + path; }

  testsupport::PeerProcess peer_;
};

TEST_F(AuthPeer, DigestTakesTheFirstUsableChallenge) {
  struct Case {
    const char* path;
    int action;
    const char* body;
    int result;
  };
  const Case cases[] = {
      {"/md5-then-sha", kHttpGet, "", 0},
      {"/sha-then-md5", kHttpGet, "", 0},
      {"/auth-int", kHttpPost, "name=value&more=1", 0},
      {"/sha-only", kHttpGet, "", kHttpStatusProtocolError},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    Client client;
    ASSERT_EQ(client.SetAuthScheme(kAuthDigest), 0);
    ASSERT_EQ(client.SetUser("user"), 0);
    ASSERT_EQ(client.SetPassword("secret"), 0);
    ASSERT_EQ(client.PostData().Set(c.body), 0);
    EXPECT_EQ(client.Run(c.action, Url(c.path)), c.result) << client.GetLastErrorText();
    if (c.result == 0) {
      EXPECT_EQ(client.Body(), std::string("digest ok ") + c.body);
    } else {
      EXPECT_STREQ(client.GetLastErrorText(), "Digest authentication error: unknown algorithm value.");
    }
  }
}

TEST_F(AuthPeer, ProxyDigestRetriesOnce) {
  for (const char* password : {"secret", "wrong"}) {
    SCOPED_TRACE(password);
    LoggingClient client;
    client.SetLogLevel(3);
    ASSERT_EQ(client.proxyServer_.Set("127.0.0.1"), 0);
    client.proxyPort_ = peer_.port();
    ASSERT_EQ(client.SetProxyAuthScheme(kAuthDigest), 0);
    ASSERT_EQ(client.SetProxyUser("user"), 0);
    ASSERT_EQ(client.SetProxyPassword(password), 0);
    const int result = client.Run(kHttpGet, "http://origin.example/page");
    if (std::string(password) == "secret") {
      ASSERT_EQ(result, 0) << client.GetLastErrorText();
      EXPECT_EQ(client.Body(), "proxied http://origin.example/page");
      EXPECT_EQ(client.events.statuses, (std::vector<int>{407, 200}));
    } else {
      EXPECT_EQ(result, 157);
      EXPECT_EQ(client.events.statuses, (std::vector<int>{407, 407}));
    }
    bool announced = false;
    for (const std::string& line : client.lines) {
      // Proxy Digest lines leave the algorithm out.
      if (line.find("Authorization: Digest") != std::string::npos) {
        EXPECT_EQ(line.find("algorithm"), std::string::npos) << line;
      }
      announced |= line.find("with AuthScheme Digest. User:'user', Password:'") != std::string::npos;
    }
    EXPECT_TRUE(announced);
  }
}

TEST_F(AuthPeer, NtlmAndRawNegotiateAnswerTheChallenge) {
  REQUIRE_OR_SKIP(std::system("/usr/bin/python3 -c 'import Cryptodome' 2>/dev/null") == 0,
                  "python3-pycryptodome is not installed");
  struct Case {
    int scheme;
    const char* path;
    const char* password;
  };
  const Case cases[] = {{kAuthNtlm, "/ntlm", "secret"}, {kAuthNtlm, "/ntlm", "wrong"},
                        {kAuthNegotiate, "/negotiate", "secret"}, {kAuthNegotiate, "/negotiate", "wrong"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.path) + " " + c.password);
    const char* password = c.password;
    Client client;
    ASSERT_EQ(client.SetAuthScheme(c.scheme), 0);
    ASSERT_EQ(client.SetUser("user"), 0);
    ASSERT_EQ(client.SetPassword(password), 0);
    const int result = client.Run(kHttpGet, Url(c.path));
    if (std::string(password) == "secret") {
      ASSERT_EQ(result, 0) << client.GetLastErrorText();
      EXPECT_EQ(client.Body(), "ntlm ok");
    } else {
      EXPECT_EQ(result, kHttpStatusProtocolError);
    }
    EXPECT_EQ(client.events.statuses, (std::vector<int>{401, std::string(password) == "secret" ? 200 : 401}));
  }
}

}  // namespace
