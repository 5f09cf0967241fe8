// Requests and responses against a scripted server that answers exact bytes,
// malformed ones included: what the server received, how each framing ends,
// content decoding, redirects and the failures the exchange reports.
#include <gtest/gtest.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include "Http1Client.h"
#include "http/base/HttpStatus.h"
#include "PeerProcess.h"
#include "TestSupport.h"

using namespace tornell;
using http1test::Client;

namespace {

constexpr char kPython[] = "/usr/bin/python3";

std::string Script() { return std::string(HTTP1_TEST_DIR) + "/http1_peer.py"; }

// The payload the scripted server compresses.
std::string Payload() {
  std::string out(50000, '\0');
  for (int i = 0; i < 50000; ++i) out[i] = static_cast<char>((i * 7 + 3) % 251);
  return out;
}

class Exchange : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_OR_SKIP(!testsupport::FindProgram(kPython).empty(), "python3 is not installed");
    other_.reset(new testsupport::PeerProcess);
    // A free port may be taken by another program before the server binds
    // it: a few tries.
    bool started = false;
    for (int i = 0; i < 3 && !started; ++i) started = other_->Start({kPython, Script(), "{port}"});
    ASSERT_TRUE(started);
    started = false;
    for (int i = 0; i < 3 && !started; ++i) {
      started = peer_.Start({kPython, Script(), "{port}", std::to_string(other_->port())});
    }
    ASSERT_TRUE(started);
  }
  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(peer_.port()) + path;
  }

  testsupport::PeerProcess peer_;
  std::unique_ptr<testsupport::PeerProcess> other_;
};

TEST_F(Exchange, RequestHeadAsTheServerReceivesIt) {
  const std::string host = "Host: 127.0.0.1:" + std::to_string(peer_.port()) + "\r\n";
  struct Case {
    const char* name;
    std::function<void(Client&)> setup;
    int action;
    std::vector<std::string> present;
    std::vector<std::string> absent;
  };
  const std::vector<Case> cases = {
      {"plain GET", [](Client&) {}, kHttpGet,
       {"GET /echo HTTP/1.1\r\n" + host + "User-Agent: Tornell HTTP Client\r\nConnection: close\r\n\r\n"},
       {"Content-Length"}},
      {"HTTP/1.0 keep-alive", [](Client& c) { static_cast<void>(c.httpVersion_.Set("1.0")); c.SetHttpKeepAlive(1); },
       kHttpGet, {"GET /echo HTTP/1.0\r\n", "\r\nConnection: Keep-Alive\r\n"}, {"close"}},
      {"HTTP/1.1 keep-alive", [](Client& c) { c.SetHttpKeepAlive(1); }, kHttpGet, {"GET /echo HTTP/1.1\r\n"},
       {"Connection:"}},
      {"two cookies", [](Client& c) {
         static_cast<void>(c.AddCookie("a", "1"));
         static_cast<void>(c.AddCookie("b", "2"));
       }, kHttpGet, {"\r\nCookie: a=1; b=2\r\n"}, {}},
      {"caller's Host", [](Client& c) { static_cast<void>(c.OtherHeaders().Set("Host: elsewhere\r\nX-One: 1")); },
       kHttpGet, {"\r\nHost: elsewhere\r\nX-One: 1\r\n\r\n"}, {host}},
      {"Host elsewhere in the extra lines", [](Client& c) { static_cast<void>(c.OtherHeaders().Set("X-One: 1\r\nHost: x\r\n\r\n")); },
       kHttpGet, {host, "X-One: 1\r\nHost: x\r\n\r\n"}, {}},
      {"Basic", [](Client& c) {
         static_cast<void>(c.SetUser("user"));
         static_cast<void>(c.SetPassword("pass"));
         static_cast<void>(c.BuildAuthorization(0));
       }, kHttpGet, {"\r\nAuthorization: Basic dXNlcjpwYXNz\r\n"}, {}},
      {"no Accept-Encoding unless decoding is on", [](Client&) {}, kHttpGet, {}, {"Accept-Encoding"}},
      {"Accept-Encoding", [](Client& c) { c.allowHttpCompression_ = 1; }, kHttpGet,
       {"\r\nAccept-Encoding: gzip, deflate\r\n"}, {}},
      {"POST PostData and file", [](Client& c) {
         static_cast<void>(c.PostData().Set("abc"));
         std::ofstream("attached.bin") << "0123456789";
         static_cast<void>(c.attachedFile_.Set("attached.bin"));
         static_cast<void>(c.contentType_.Set("text/plain"));
       }, kHttpPost, {"POST /echo HTTP/1.1\r\n", "Connection: close\r\nContent-Type: text/plain\r\nContent-Length: 13\r\n\r\nabc0123456789"}, {}},
      {"first NTLM POST withholds the body", [](Client& c) {
         static_cast<void>(c.SetAuthScheme(kAuthNtlm));
         static_cast<void>(c.PostData().Set("secret body"));
       }, kHttpPost, {"Content-Length: 0\r\n\r\n"}, {"secret body"}},
      {"chunked PUT", [](Client& c) {
         c.useChunkedEncoding_ = 1;
         c.chunkSize_ = 0;
         static_cast<void>(c.PostData().Set(std::string(40000, 'p').c_str()));
       }, kHttpPut, {"PUT /echo HTTP/1.1\r\n", "Transfer-Encoding: chunked\r\n\r\n" + std::string(40000, 'p')},
       {"Content-Length: 4"}},
      {"chunked POST without a body", [](Client& c) { c.useChunkedEncoding_ = 1; }, kHttpPost,
       {"Transfer-Encoding: chunked\r\n\r\n"}, {}},
      {"DELETE", [](Client&) {}, kHttpDelete, {"DELETE /echo HTTP/1.1\r\n"}, {}},
  };
  for (const Case& c : cases) {
    Client client;
    c.setup(client);
    EXPECT_EQ(client.Run(c.action, Url("/echo")), 0) << c.name << ": " << client.GetLastErrorText();
    const std::string seen = client.Body();
    for (const std::string& text : c.present) EXPECT_NE(seen.find(text), std::string::npos) << c.name << "\n" << seen;
    for (const std::string& text : c.absent) EXPECT_EQ(seen.find(text), std::string::npos) << c.name << "\n" << seen;
  }
  std::remove("attached.bin");
}

TEST_F(Exchange, LineBreaksInValuesNeverReachTheWire) {
  Client client;
  static_cast<void>(client.UserAgent().Set("agent\r\nX-Injected: 1"));
  EXPECT_EQ(client.Run(kHttpGet, Url("/echo")), kHttpStatusInvalidValue);
  EXPECT_TRUE(client.Body().empty());
}

TEST_F(Exchange, ProxyFormsAndCredentials) {
  // The scripted server stands in for the proxy: it answers the absolute form.
  Client client;
  static_cast<void>(client.proxyServer_.Set("127.0.0.1"));
  client.proxyPort_ = peer_.port();
  static_cast<void>(client.SetProxyUser("pu"));
  static_cast<void>(client.SetProxyPassword("secret"));
  static_cast<void>(client.BuildProxyAuthorization(0));
  ASSERT_EQ(client.Run(kHttpGet, "http://origin.invalid:8080/echo"), 0) << client.GetLastErrorText();
  EXPECT_NE(client.Body().find("GET http://origin.invalid:8080/echo HTTP/1.1\r\nHost: origin.invalid:8080\r\n"),
            std::string::npos) << client.Body();
  EXPECT_NE(client.Body().find("Proxy-Authorization: Basic cHU6c2VjcmV0\r\n"), std::string::npos);
  ASSERT_EQ(client.Run(kHttpGet, "http://origin.invalid/echo"), 0);
  EXPECT_NE(client.Body().find("GET http://origin.invalid/echo HTTP/1.1\r\nHost: origin.invalid\r\n"),
            std::string::npos) << client.Body();

  // A host the exception list excludes is reached directly and never sees
  // the proxy's credentials.
  ASSERT_EQ(client.SetProxyExceptionsList("127.0.0.1"), 0);
  client.proxyPort_ = 1;
  ASSERT_EQ(client.Run(kHttpGet, Url("/echo")), 0) << client.GetLastErrorText();
  EXPECT_NE(client.Body().find("GET /echo HTTP/1.1\r\n"), std::string::npos);
  EXPECT_EQ(client.Body().find("Proxy-Authorization"), std::string::npos);
}

struct Framing {
  const char* path;
  int result;
  std::string body;
  const char* error;
};

TEST_F(Exchange, ResponseFramings) {
  const std::string crlf = std::string(3999, 'x') + "\r\n" + std::string(3000, 'y') + "\r\nend\r\n" + "tail\r\n";
  const std::vector<Framing> cases = {
      {"/continue", 0, "ok", ""},
      {"/chunkext", 0, "abcdefghijklmnopqrstuvwxyz", ""},
      {"/chunkcrlf", 0, crlf, ""},
      {"/trailers", 0, "part one, part two", ""},
      {"/beyond", 0, "hello", ""},
      {"/GZIPCHUNKED", 0, "upper", ""},
      {"/http10", 0, [] { std::string s; for (int i = 0; i < 1000; ++i) s += "until the close"; return s; }(), ""},
      {"/short", kStatusNotConnected, std::string(50, 's'), "Connection closed."},
      {"/shortchunk", kStatusNotConnected, "only", "Connection closed."},
      {"/badchunk/minus", kHttpStatusProtocolError, "", "HTTP protocol error. Invalid chunk size."},
      {"/badchunk/nothex", kHttpStatusProtocolError, "", "HTTP protocol error. Invalid chunk size."},
      {"/badchunk/huge", kHttpStatusProtocolError, "", "HTTP protocol error. Invalid chunk size."},
      {"/hugeheader", kHttpStatusProtocolError, "", "HTTP protocol error. Header line too long."},
      {"/nostatus", kStatusNotConnected, "just a body\nwithout status\n", "Connection closed."},
      {"/missing", kHttpStatusProtocolError, "", "HTTP protocol error. 404 Not Found."},
  };
  for (const Framing& c : cases) {
    Client client;
    EXPECT_EQ(client.Run(kHttpGet, Url(c.path)), c.result) << c.path << ": " << client.GetLastErrorText();
    EXPECT_EQ(client.Body(), c.body) << c.path;
    EXPECT_STREQ(client.GetLastErrorText(), c.error) << c.path;
  }
}

TEST_F(Exchange, GzipWithChunkedLastDeliversTheCompressedBytes) {
  Client client;
  ASSERT_EQ(client.Run(kHttpGet, Url("/gzipchunked")), 0) << client.GetLastErrorText();
  const std::string body = client.Body();
  ASSERT_GE(body.size(), 10u);
  EXPECT_EQ(static_cast<unsigned char>(body[0]), 0x1F);
  EXPECT_EQ(static_cast<unsigned char>(body[1]), 0x8B);
  EXPECT_EQ(body.find("\r\n"), std::string::npos);  // no chunk framing in it
}

TEST_F(Exchange, KeepAliveCarriesOnAfterTrailersAndInterimResponses) {
  Client client;
  client.SetHttpKeepAlive(1);
  ASSERT_EQ(client.Run(kHttpGet, Url("/echo")), 0);
  const std::string port = client.ResponseHeaders().Find("X-Client-Port");
  for (const char* path : {"/trailers", "/continue", "/chunkext", "/echo"}) {
    ASSERT_EQ(client.Run(kHttpGet, Url(path)), 0) << path << ": " << client.GetLastErrorText();
  }
  EXPECT_EQ(client.ResponseHeaders().Find("X-Client-Port"), port);
  EXPECT_EQ(client.events.statuses, (std::vector<int>{200, 200, 200, 200, 200}));  // none for the 100
}

TEST_F(Exchange, LongSetCookieIsJoinedAndParsed) {
  Client client;
  ASSERT_EQ(client.Run(kHttpGet, Url("/bigcookie")), 0) << client.GetLastErrorText();
  EXPECT_EQ(client.events.cookieLength, 60004);
  ASSERT_EQ(client.Cookies().Count(), 1);
  EXPECT_EQ(std::string(client.Cookies().Value(0)), std::string(60000, 'c'));
}

TEST_F(Exchange, ContentDecoding) {
  const std::string payload = Payload();
  for (const char* path : {"/gzip/plain", "/gzip/name-extra-hcrc-comment-slow", "/gzip/name-slow", "/deflate/zlib",
                           "/deflate/raw"}) {
    Client client;
    client.allowHttpCompression_ = 1;
    ASSERT_EQ(client.Run(kHttpGet, Url(path)), 0) << path << ": " << client.GetLastErrorText();
    EXPECT_TRUE(client.Body() == payload) << path << " " << client.Body().size();
    EXPECT_EQ(client.events.received, static_cast<int64_t>(payload.size())) << path;
  }
  for (const char* path : {"/gzip/badcrc", "/gzip/cut"}) {
    Client client;
    client.allowHttpCompression_ = 1;
    EXPECT_EQ(client.Run(kHttpGet, Url(path)), kHttpStatusProtocolError) << path;
    EXPECT_STREQ(client.GetLastErrorText(), "Could not decompress content.") << path;
  }
  // Decoding off: the body stays as sent.
  Client raw;
  ASSERT_EQ(raw.Run(kHttpGet, Url("/gzip/plain")), 0);
  ASSERT_GE(raw.Body().size(), 2u);
  EXPECT_EQ(static_cast<unsigned char>(raw.Body()[0]), 0x1F);
}

TEST_F(Exchange, Redirects) {
  {
    Client client;
    client.SetFollowRedirects(1);
    EXPECT_EQ(client.Run(kHttpGet, Url("/hop/0")), kHttpStatusTooManyRedirects) << client.GetLastErrorText();
    EXPECT_EQ(client.events.redirects.size(), 20u);
    EXPECT_EQ(client.events.ends, 0);
  }
  {
    Client client;
    client.SetFollowRedirects(1);
    EXPECT_NE(client.Run(kHttpGet, Url("/same")), 0);
  }
  {
    Client client;  // not followed: the 302 is the result
    EXPECT_EQ(client.Run(kHttpGet, Url("/home")), kHttpStatusProtocolError);
    EXPECT_STREQ(client.GetLastErrorText(), "HTTP protocol error. 302 Found.");
  }
  {
    // Credentials the caller wrote for its own URL stay with that origin.
    Client client;
    client.SetFollowRedirects(1);
    static_cast<void>(client.OtherHeaders().Set("Authorization: Bearer t\r\nX-Keep: 1\r\nCookie: c=1\r\n"));
    ASSERT_EQ(client.Run(kHttpGet, Url("/home")), 0) << client.GetLastErrorText();
    EXPECT_NE(client.Body().find("Authorization: Bearer t"), std::string::npos);
    ASSERT_EQ(client.Run(kHttpGet, Url("/away")), 0) << client.GetLastErrorText();
    EXPECT_EQ(client.Body().find("Authorization"), std::string::npos) << client.Body();
    EXPECT_EQ(client.Body().find("Cookie"), std::string::npos) << client.Body();
    EXPECT_NE(client.Body().find("X-Keep: 1"), std::string::npos) << client.Body();
  }
}

TEST_F(Exchange, BasicRefusalIsNotRetried) {
  Client client;
  EXPECT_EQ(client.Run(kHttpGet, Url("/basic")), kHttpStatusProtocolError);
  EXPECT_STREQ(client.GetLastErrorText(), "HTTP protocol error. 401 Unauthorized.");
  static_cast<void>(client.SetUser("user"));
  static_cast<void>(client.SetPassword("pass"));
  ASSERT_EQ(client.BuildAuthorization(0), 0);
  EXPECT_EQ(client.Run(kHttpGet, Url("/basic")), 0);
  EXPECT_EQ(client.Body(), "welcome");
}

TEST_F(Exchange, TransferredDataLimitKeepsTheFirstBytes) {
  Client client;
  client.SetTransferredDataLimit(10);
  ASSERT_EQ(client.Run(kHttpGet, Url("/chunkext")), 0);
  EXPECT_EQ(client.Body(), "abcdefghij");
  EXPECT_EQ(client.events.received, 26);
}

TEST_F(Exchange, AsynchronousRequestCompletesInTheHostsEventLoop) {
  Client client;
  static_cast<void>(client.SetTimeout(static_cast<unsigned>(-1), 1));
  static_cast<void>(client.PostData().Set("posted"));
  ASSERT_EQ(client.Run(kHttpPost, Url("/echo")), 0) << client.GetLastErrorText();
  EXPECT_EQ(client.GetResponseDone(), 0);  // returned before the connection was up
  for (int i = 0; i < 400 && client.GetResponseDone() == 0; ++i) static_cast<void>(client.DoEvents(10));
  ASSERT_EQ(client.GetResponseDone(), 1);
  EXPECT_EQ(client.GetStatusCode(), 200);
  EXPECT_NE(client.Body().find("POST /echo HTTP/1.1\r\n"), std::string::npos);
  EXPECT_NE(client.Body().find("\r\n\r\nposted"), std::string::npos);
  EXPECT_LT(client.GetTimeout(), 0);
}

TEST_F(Exchange, AnAnswerDuringTheUploadEndsIt) {
  Client client;
  ASSERT_EQ(client.PostData().Set(std::string(8 << 20, 'u').c_str()), 0);
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(client.Run(kHttpPost, Url("/early")), kHttpStatusProtocolError);
  EXPECT_STREQ(client.GetLastErrorText(), "HTTP protocol error. 413 Payload Too Large.");
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
  EXPECT_EQ(client.IsUploading(), 0);
}

TEST_F(Exchange, MissingServerAndBadScheme) {
  Client client;
  EXPECT_EQ(client.DoAction(kHttpGet), 152);
  EXPECT_STREQ(client.GetLastErrorText(), "No server specified in URL");
  static_cast<void>(client.httpVersion_.Set("3.0"));
  EXPECT_EQ(client.Run(kHttpGet, Url("/echo")), kHttpStatusInvalidValue);
}

}  // namespace
