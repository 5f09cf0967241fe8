// Digest values against the worked examples of RFC 2617 and RFC 7616, the
// edge cases of the header form, and a live apache2 with mod_auth_digest.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "PeerProcess.h"
#include "TestProcess.h"
#include "TestSupport.h"
#include "net/auth/DigestAuthenticator.h"

namespace {

using tornell::ByteString;
using tornell::DigestAuthenticator;

std::string Field(const std::string& line, const std::string& name) {
  const size_t at = line.find(name + "=");
  if (at == std::string::npos) return "";
  size_t start = at + name.size() + 1;
  const bool quoted = line[start] == '"';
  if (quoted) ++start;
  const size_t end = line.find(quoted ? '"' : ',', start);
  return line.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

void Prepare(DigestAuthenticator& d, const char* challenge, const char* user, const char* password,
             const char* method, const char* uri, const char* body = "") {
  ASSERT_EQ(d.ParseChallenge(challenge), 0);
  ASSERT_EQ(d.SetCredentials(user, static_cast<int>(strlen(user)), password,
                             static_cast<int>(strlen(password))),
            0);
  ASSERT_EQ(d.SetRequest(method, uri, body, static_cast<int>(strlen(body))), 0);
}

TEST(DigestAuthenticator, Rfc2617Example) {
  DigestAuthenticator d;
  Prepare(d,
          "realm=\"testrealm@host.com\", qop=\"auth,auth-int\", "
          "nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\", opaque=\"5ccc069c403ebaf9f0171e9517f40e41\"",
          "Mufasa", "Circle Of Life", "GET", "/dir/index.html");
  ASSERT_EQ(d.SetCnonce("0a4f113b"), 0);
  ByteString out;
  ASSERT_EQ(d.BuildAuthorization(out, false), 0);
  EXPECT_STREQ(out.CStr(),
               "Digest username=\"Mufasa\", realm=\"testrealm@host.com\", "
               "nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\", uri=\"/dir/index.html\", qop=\"auth\", "
               "nc=00000001, cnonce=\"0a4f113b\", response=\"6629fae49393a05397450978507c4ef1\", "
               "opaque=\"5ccc069c403ebaf9f0171e9517f40e41\"");
}

TEST(DigestAuthenticator, Rfc7616Md5Example) {
  DigestAuthenticator d;
  Prepare(d,
          "realm=\"http-auth@example.org\", qop=\"auth, auth-int\", algorithm=MD5, "
          "nonce=\"7ypf/xlj9XXwfDPEoM4URrv/xwf94BcCAzFZH4GiTo0v\", "
          "opaque=\"FQhe/qaU925kfnzjCev0ciny7QMkPqMAFRtzCUYo5tdS\"",
          "Mufasa", "Circle of Life", "GET", "/dir/index.html");
  ASSERT_EQ(d.SetCnonce("f2/wE4q74E6zIJEtWaHKaf5wv/H5QzzpXusqGemxURZJ"), 0);
  ByteString out;
  ASSERT_EQ(d.BuildAuthorization(out, true), 0);
  const std::string line = out.CStr();
  EXPECT_EQ(Field(line, "response"), "8ca523f5e9506fed4657c9700eebdbec");
  EXPECT_EQ(Field(line, "algorithm"), "MD5");
  EXPECT_EQ(Field(line, "qop"), "auth");
}

TEST(DigestAuthenticator, CnonceIsRandomHex) {
  DigestAuthenticator a;
  DigestAuthenticator b;
  Prepare(a, "nonce=\"n\", qop=\"auth\"", "u", "p", "GET", "/");
  Prepare(b, "nonce=\"n\", qop=\"auth\"", "u", "p", "GET", "/");
  ByteString x;
  ByteString y;
  ASSERT_EQ(a.BuildAuthorization(x, false), 0);
  ASSERT_EQ(b.BuildAuthorization(y, false), 0);
  const std::string cx = Field(x.CStr(), "cnonce");
  const std::string cy = Field(y.CStr(), "cnonce");
  ASSERT_EQ(cx.size(), 8u);
  EXPECT_EQ(cx.find_first_not_of("0123456789abcdef"), std::string::npos);
  EXPECT_NE(cx, cy);  // 2^-32 chance of a false failure
}

// Expected lines computed with Python's hashlib from RFC 2617's formulas.
struct EdgeCase {
  const char* name;
  const char* challenge;
  const char* body;
  bool withAlgorithm;
  int status;
  const char* expected;  // whole line, or the error text when status is 1
};

TEST(DigestAuthenticator, EdgeCases) {
  const EdgeCase cases[] = {
      {"no qop: RFC 2069 form", "realm=\"r\", nonce=\"abc\"", "", false, 0,
       "Digest username=\"u\", realm=\"r\", nonce=\"abc\", uri=\"/x\", "
       "response=\"359a8fef19d2cfc0d0554f0917b1aae9\""},
      {"auth-int hashes the body", "realm=\"r\", nonce=\"abc\", qop=\"auth-int\"", "hello", false, 0,
       "Digest username=\"u\", realm=\"r\", nonce=\"abc\", uri=\"/x\", qop=\"auth-int\", nc=00000001, "
       "cnonce=\"0a4f113b\", response=\"82e7deb0ed11ffac5e657ead531bbe51\""},
      {"auth listed first wins", "realm=\"r\", nonce=\"abc\", qop=\"auth,auth-int\"", "hello", false, 0,
       "Digest username=\"u\", realm=\"r\", nonce=\"abc\", uri=\"/x\", qop=\"auth\", nc=00000001, "
       "cnonce=\"0a4f113b\", response=\"0a5e30f92002607b79f58151064c3a93\""},
      {"MD5-sess with algorithm", "realm=\"r\", nonce=\"abc\", qop=auth, algorithm=MD5-sess", "", true, 0,
       "Digest username=\"u\", realm=\"r\", nonce=\"abc\", uri=\"/x\", algorithm=\"MD5-sess\", qop=\"auth\", "
       "nc=00000001, cnonce=\"0a4f113b\", response=\"a33718cc2c12f375586ad4474ba4f9be\""},
      {"quoted comma stays, unquoted ends", "realm=\"a,b\", nonce=abc,opaque=o1", "", false, 0,
       "Digest username=\"u\", realm=\"a,b\", nonce=\"abc\", uri=\"/x\", "
       "response=\"c737d3d85dcc2104c9fe894953db44bd\", opaque=\"o1\""},
      {"qop AUTH is unusable", "realm=\"r\", nonce=\"abc\", qop=\"AUTH\"", "", false, 1,
       "Digest authentication error: unknown qop value."},
      {"SHA-256 is unusable", "realm=\"r\", nonce=\"abc\", qop=\"auth\", algorithm=SHA-256", "", true, 1,
       "Digest authentication error: unknown algorithm value."},
  };
  for (const EdgeCase& c : cases) {
    SCOPED_TRACE(c.name);
    DigestAuthenticator d;
    Prepare(d, c.challenge, "u", "p", "GET", "/x", c.body);
    ASSERT_EQ(d.SetCnonce("0a4f113b"), 0);
    ByteString out;
    ASSERT_EQ(d.BuildAuthorization(out, c.withAlgorithm), c.status);
    if (c.status == 0) {
      EXPECT_STREQ(out.CStr(), c.expected);
      EXPECT_STREQ(d.GetErrorText(), "");
    } else {
      EXPECT_STREQ(d.GetErrorText(), c.expected);
    }
  }
}

TEST(DigestAuthenticator, NonceCountRisesAndRestartsWithChallenge) {
  DigestAuthenticator d;
  Prepare(d, "realm=\"r\", nonce=\"abc\", qop=\"auth\"", "u", "p", "GET", "/x");
  ByteString first;
  ByteString second;
  ASSERT_EQ(d.BuildAuthorization(first, false), 0);
  ASSERT_EQ(d.BuildAuthorization(second, false), 0);
  EXPECT_EQ(Field(first.CStr(), "nc"), "00000001");
  EXPECT_EQ(Field(second.CStr(), "nc"), "00000002");
  EXPECT_NE(Field(first.CStr(), "response"), Field(second.CStr(), "response"));
  ASSERT_EQ(d.ParseChallenge("realm=\"r\", nonce=\"def\", qop=\"auth\""), 0);
  ByteString third;
  ASSERT_EQ(d.BuildAuthorization(third, false), 0);
  EXPECT_EQ(Field(third.CStr(), "nc"), "00000001");
}

TEST(DigestAuthenticator, NothingWithoutNonceOrUser) {
  DigestAuthenticator d;
  Prepare(d, "realm=\"r\"", "u", "p", "GET", "/");
  ByteString out;
  ASSERT_EQ(out.Set("kept"), 0);
  EXPECT_EQ(d.BuildAuthorization(out, true), 0);
  EXPECT_STREQ(out.CStr(), "kept");
  Prepare(d, "nonce=\"n\"", "", "p", "GET", "/");
  EXPECT_EQ(d.BuildAuthorization(out, true), 0);
  EXPECT_STREQ(out.CStr(), "kept");
}

TEST(DigestAuthenticator, LineBreakingValuesAreRefused) {
  const char* users[] = {"a\r\nX-Injected: 1", "a\nb"};
  for (const char* user : users) {
    DigestAuthenticator d;
    Prepare(d, "realm=\"r\", nonce=\"n\"", user, "p", "GET", "/");
    ByteString out;
    EXPECT_EQ(d.BuildAuthorization(out, false), DigestAuthenticator::kStatusUnusable);
    EXPECT_STRNE(d.GetErrorText(), "");
    EXPECT_EQ(out.Length(), 0);
  }
  DigestAuthenticator d;
  ASSERT_EQ(d.ParseChallenge("realm=\"r\", nonce=\"n\""), 0);
  ASSERT_EQ(d.SetCredentials("a\0b", 3, "p", 1), 0);
  ASSERT_EQ(d.SetRequest("GET", "/", "", 0), 0);
  ByteString out;
  EXPECT_EQ(d.BuildAuthorization(out, false), DigestAuthenticator::kStatusUnusable);
  DigestAuthenticator u;
  Prepare(u, "realm=\"r\", nonce=\"n\"", "a", "p", "GET", "/x\r\nHost: y");
  EXPECT_EQ(u.BuildAuthorization(out, false), DigestAuthenticator::kStatusUnusable);
}

// ---- live: apache2 with mod_auth_digest ---------------------------------------------

std::string Exchange(int port, const std::string& request) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return "";
  timeval timeout{5, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::string reply;
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      send(fd, request.data(), request.size(), 0) == static_cast<ssize_t>(request.size())) {
    char buffer[4096];
    for (int i = 0; i < 1000; ++i) {
      const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      reply.append(buffer, static_cast<size_t>(n));
    }
  }
  close(fd);
  return reply;
}

int StatusOf(const std::string& reply) { return reply.size() > 12 ? std::atoi(reply.c_str() + 9) : 0; }

TEST(DigestAuthenticatorLive, Apache) {
  const std::string modules = "/usr/lib/apache2/modules/";
  REQUIRE_OR_SKIP(!testsupport::FindProgram("/usr/sbin/apache2").empty() &&
                      std::ifstream(modules + "mod_auth_digest.so").good(),
                  "apache2 with mod_auth_digest is not installed");
  testsupport::ScratchDir dir("digest-apache");
  const std::string w = dir.path().string();
  std::filesystem::create_directories(w + "/docs/private");
  std::ofstream(w + "/docs/private/index.html") << "secret page\n";
  ByteString ha1;
  ASSERT_EQ(DigestAuthenticator::Md5Hex("alice:Private Area:open sesame", 30, ha1), 0);
  std::ofstream(w + "/htdigest") << "alice:Private Area:" << ha1.CStr() << "\n";
  const int port = testsupport::FreePort();
  ASSERT_NE(port, 0);
  {
    std::ofstream conf(w + "/httpd.conf");
    conf << "ServerRoot " << w << "\nListen 127.0.0.1:" << port << "\nPidFile " << w << "/httpd.pid\n"
         << "Mutex file:" << w << " default\nUser nobody\nGroup nogroup\nServerName localhost\n"
         << "ErrorLog " << w << "/error.log\nDocumentRoot " << w << "/docs\n";
    for (const char* m : {"mpm_event", "authn_core", "authn_file", "authz_core", "authz_user", "auth_digest"})
      conf << "LoadModule " << m << "_module " << modules << "mod_" << m << ".so\n";
    conf << "<Directory " << w << "/docs/private>\n AuthType Digest\n AuthName \"Private Area\"\n"
         << " AuthDigestProvider file\n AuthUserFile " << w << "/htdigest\n Require valid-user\n"
         << "</Directory>\n";
  }
  std::filesystem::permissions(w, std::filesystem::perms::all);
  std::filesystem::permissions(w + "/htdigest", std::filesystem::perms::owner_read |
                                                     std::filesystem::perms::others_read |
                                                     std::filesystem::perms::group_read);
  testsupport::PeerProcess apache;
  ASSERT_TRUE(apache.Start({"/usr/sbin/apache2", "-f", w + "/httpd.conf", "-DFOREGROUND"}, port, w + "/out.log"));
  const std::string get = "GET /private/index.html HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n";
  const std::string challenge = Exchange(port, get + "\r\n");
  ASSERT_EQ(StatusOf(challenge), 401) << challenge;
  const size_t at = challenge.find("WWW-Authenticate: Digest ");
  ASSERT_NE(at, std::string::npos);
  const size_t start = at + 25;
  const std::string params = challenge.substr(start, challenge.find("\r\n", start) - start);

  DigestAuthenticator d;
  Prepare(d, params.c_str(), "alice", "open sesame", "GET", "/private/index.html");
  for (int round = 1; round <= 2; ++round) {
    ByteString value;
    ASSERT_EQ(d.BuildAuthorization(value, true), 0);
    const std::string reply = Exchange(port, get + "Authorization: " + value.CStr() + "\r\n\r\n");
    EXPECT_EQ(StatusOf(reply), 200) << "round " << round << "\n" << reply;
    EXPECT_NE(reply.find("secret page"), std::string::npos);
  }
  ASSERT_EQ(d.SetCredentials("alice", 5, "wrong", 5), 0);
  ByteString wrong;
  ASSERT_EQ(d.BuildAuthorization(wrong, true), 0);
  EXPECT_EQ(StatusOf(Exchange(port, get + "Authorization: " + wrong.CStr() + "\r\n\r\n")), 401);
}

}  // namespace
