// The HTTP protocol object: defaults, the action dispatcher, the
// authentication scheme setters, the events it raises on its component, the
// URL and cookie state a redirect leaves, and proxy traffic logging.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "http/base/HttpStatus.h"
#include "http/protocol/HttpProtocol.h"

using namespace tornell;

namespace {

struct Event {
  std::string name;
  std::string text;
  int code = 0;
};

// Records every event with the code page handed over just before it.
class RecordingSink : public HttpEventSink {
 public:
  RecordingSink() : HttpEventSink(nullptr, nullptr) {}
  void OnCodePage(int page) override { codePages.push_back(page); }
  int ExternalWait(long& ms) override { return Add("wait", "", static_cast<int>(ms)); }
  int ExternalRegisterSocket(long descriptor, long, void*& handle) override {
    handle = this;
    return Add("register", "", static_cast<int>(descriptor));
  }
  int ExternalUnregisterSocket(void*) override { return Add("unregister", "", 0) + 7; }
  int FireConnected(int& code, const char*& text) override { return Add("connected", text, code); }
  int FireConnectionStatus(const char*& event, int& code, const char*& text) override {
    return Add("status", std::string(event) + "|" + text, code);
  }
  int FireDisconnected(int& code, const char*& text) override { return Add("disconnected", text, code); }
  int FireEndTransfer(int& direction) override { return Add("end", "", direction); }
  int FireError(int& code, const char*& text) override { return Add("error", text, code); }
  int FireHeader(const char*& name, const char*& value) override { return Add("header", std::string(name) + ":" + value, 0); }
  int FireLog(int& level, const char*& message, const char*& type) override {
    return Add(std::string("log ") + type, message, level);
  }
  int FireRedirect(const char*& location, int& accept) override {
    accept = 0;
    return Add("redirect", location, 0);
  }
  int FireSetCookie(const char*& name, const char*& value, const char*& expires, const char*& domain,
                    const char*& path, int& secure) override {
    return Add("cookie", std::string(name) + "=" + value + "|" + expires + "|" + domain + "|" + path, secure);
  }
  int FireSSLServerAuthentication(const char*& encoded, int& length, const char*&, const char*&, const char*&,
                                  int& accept) override {
    accept = 1;
    return Add("sslauth", encoded, length);
  }
  int FireSSLStatus(const char*& message) override { return Add("sslstatus", message, 0); }
  int FireStartTransfer(int& direction) override { return Add("start", "", direction); }
  int FireStatus(const char*& version, int& code, const char*& text) override {
    return Add("httpstatus", std::string(version) + " " + text, code);
  }
  int FireTransfer(int& direction, int64_t& bytes, int& percent, const char*& text, int& length) override {
    transferText = std::string(text);  // read as a C string: it must be terminated
    transferLength = length;
    return Add("transfer", text, direction * 1000 + static_cast<int>(bytes) * 100 + percent);
  }

  int Add(const std::string& name, const std::string& text, int code) {
    events.push_back({name, text, code});
    return 0;
  }
  std::vector<std::string> Logs(const std::string& type) const {
    std::vector<std::string> out;
    for (const Event& e : events) {
      if (e.name == "log " + type) out.push_back(e.text);
    }
    return out;
  }

  std::vector<Event> events;
  std::vector<int> codePages;
  std::string transferText;
  int transferLength = -1;
};

// The request itself belongs to the request writer; here it records what the
// dispatcher asked for and runs what a test gives it.
class TestProtocol : public HttpProtocol {
 public:
  TestProtocol() { SetEventSink(static_cast<ComponentHandle*>(&sink)); }

  int RunRequest(const char* method, bool withBody) override {
    methods.push_back(std::string(method) + (withBody ? "+body" : ""));
    return during ? during(*this) : 0;
  }
  using HttpProtocol::connected_;
  void SetStatusCodeForTest(int code) { statusCode_ = code; }

  RecordingSink sink;
  std::vector<std::string> methods;
  std::function<int(TestProtocol&)> during;
};

// A listener on 127.0.0.1 that the protocol object connects to.
class Listener {
 public:
  Listener() {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (fd_ >= 0 && bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && listen(fd_, 4) == 0 &&
        getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
      port_ = ntohs(address.sin_port);
    }
  }
  ~Listener() {
    if (peer_ >= 0) close(peer_);
    if (fd_ >= 0) close(fd_);
  }
  int Port() const { return port_; }
  int Accept() { return peer_ = accept(fd_, nullptr, nullptr); }
  void ClosePeer() {
    if (peer_ >= 0) close(peer_);
    peer_ = -1;
  }
  // Reads until `count` bytes came or 5 s passed.
  std::string Read(size_t count) {
    std::string out;
    timeval limit{5, 0};
    setsockopt(peer_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    char buffer[256];
    while (out.size() < count) {
      const ssize_t n = recv(peer_, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      out.append(buffer, static_cast<size_t>(n));
    }
    return out;
  }

 private:
  int fd_ = -1;
  int peer_ = -1;
  int port_ = 0;
};

TEST(HttpProtocol, InitDefaults) {
  TestProtocol http;
  EXPECT_EQ(http.GetCurrentAction(), 0);
  EXPECT_EQ(http.GetAuthScheme(), kAuthBasic);
  EXPECT_EQ(http.GetProxyAuthScheme(), kAuthBasic);
  EXPECT_STREQ(http.UserAgent().CStr(), HttpProtocol::kDefaultUserAgent);
  EXPECT_STREQ(http.GetHTTPVersion(), "1.1");
  EXPECT_STREQ(http.GetAcceptEncoding(), "gzip, deflate");
  EXPECT_EQ(http.GetURLPort(), 80);
  EXPECT_STREQ(http.GetURLScheme(), "http");
  EXPECT_EQ(http.GetMaxLineLength(), 4000u);
  EXPECT_EQ(http.GetChunkSize(), 16384);
  EXPECT_EQ(http.Target().maxRedirectAttempts, 20);
  EXPECT_EQ(http.Target().RedirectsLeft(), 20);
  EXPECT_EQ(http.Target().encoding.encodeQueryString, 1);
  EXPECT_EQ(http.GetFollowRedirects(), 0);
  EXPECT_EQ(http.GetHttpKeepAlive(), 0);
  EXPECT_EQ(http.GetPostDataAfterNegotiate(), 1);
  EXPECT_EQ(http.GetAllowHTTPFallback(), 1);
  EXPECT_EQ(http.GetLogLevel(), 1);
  EXPECT_EQ(http.GetContentLength(), -1);
  EXPECT_NE(http.Init(), 0);  // the full reset runs again cleanly
}

TEST(HttpProtocol, AuthSchemeNamesAndSetters) {
  const struct {
    int code;
    const char* name;
  } names[] = {{0, "Basic"}, {1, "Digest"}, {2, "Proprietary"}, {3, "None"}, {4, "NTLM"},
               {5, "Negotiate"}, {6, ""}, {7, "Automatic"}, {8, ""}, {-1, ""}};
  for (const auto& row : names) EXPECT_STREQ(HttpProtocol::AuthSchemeName(row.code), row.name) << row.code;

  TestProtocol http;
  ASSERT_EQ(http.SetUser("u"), 0);
  ASSERT_EQ(http.SetPassword("p"), 0);
  ASSERT_EQ(http.SetAuthorization("Basic dTpw"), 0);
  ASSERT_EQ(http.SetPendingAuth("challenge"), 0);
  ASSERT_EQ(http.SetAuthScheme(kAuthBasic), 0);  // same code: credentials stay
  EXPECT_STREQ(http.GetUser(), "u");
  EXPECT_STREQ(http.GetPendingAuth(), "");
  ASSERT_EQ(http.SetAuthScheme(kAuthNtlm), 0);
  EXPECT_STREQ(http.GetUser(), "");
  EXPECT_STREQ(http.GetPassword(), "");
  EXPECT_STREQ(http.GetAuthorization(), "");
  EXPECT_EQ(http.GetHttpKeepAlive(), 1);

  TestProtocol proxy;
  ASSERT_EQ(proxy.SetProxyUser("pu"), 0);
  ASSERT_EQ(proxy.SetProxyPassword("pp"), 0);
  ASSERT_EQ(proxy.SetProxyAuthorization("Basic x"), 0);
  ASSERT_EQ(proxy.SetProxyAuthScheme(kAuthDigest), 0);  // other code: only the value goes
  EXPECT_STREQ(proxy.GetProxyAuthorization(), "");
  EXPECT_STREQ(proxy.GetProxyUser(), "pu");
  ASSERT_EQ(proxy.SetProxyAuthScheme(kAuthNegotiate), 0);
  EXPECT_EQ(proxy.GetHttpKeepAlive(), 0);  // only NTLM turns it on for the proxy
  ASSERT_EQ(proxy.SetProxyAuthScheme(kAuthNone), 0);
  EXPECT_STREQ(proxy.GetProxyUser(), "");
  EXPECT_STREQ(proxy.GetProxyPassword(), "");
}

TEST(HttpProtocol, DispatchMethodsBusyAndClear) {
  TestProtocol http;
  EXPECT_EQ(http.DoAction(kHttpInterrupt), 0);  // idle: nothing happens
  EXPECT_TRUE(http.methods.empty());

  for (int action : {kHttpGet, kHttpHead, kHttpDelete, kHttpPost, kHttpPut}) EXPECT_EQ(http.DoAction(action), 0);
  ASSERT_EQ(http.HttpMethod().Set("PROPFIND"), 0);
  EXPECT_EQ(http.DoAction(kHttpGet), 0);
  EXPECT_EQ(http.DoAction(kHttpPost), 0);
  EXPECT_EQ(http.DoAction(99), 0);
  const std::vector<std::string> expected = {"GET", "HEAD", "DELETE", "POST+body", "PUT+body", "PROPFIND",
                                             "PROPFIND+body"};
  EXPECT_EQ(http.methods, expected);

  // A second action while one runs is refused and changes nothing.
  int inner = -1;
  http.during = [&inner](TestProtocol& self) {
    inner = self.DoAction(kHttpGet);
    EXPECT_STREQ(self.GetLastErrorText(), "Busy performing current action.");
    EXPECT_EQ(self.GetCurrentAction(), kHttpGet);
    return 0;
  };
  EXPECT_EQ(http.DoAction(kHttpGet), 0);
  EXPECT_EQ(inner, kHttpStatusBusy);
  EXPECT_EQ(http.GetCurrentAction(), 0);
  http.during = nullptr;

  ASSERT_EQ(http.SetURL("http://user:pw@example.com:8080/a", 0), 0);
  ASSERT_EQ(http.Range().Set("0-9"), 0);
  ASSERT_EQ(http.Accept().Set("*/*"), 0);
  ASSERT_EQ(http.TransferredData().Set("body"), 0);
  ASSERT_EQ(http.AddCookie("c", "1"), 0);
  ASSERT_EQ(http.DoAction(kHttpClearRequest), 0);
  EXPECT_STREQ(http.GetURL(), "");
  EXPECT_STREQ(http.GetURLServer(), "");
  EXPECT_STREQ(http.GetURLScheme(), "http");
  EXPECT_STREQ(http.GetUser(), "");
  EXPECT_STREQ(http.Accept().CStr(), "");
  EXPECT_STREQ(http.TransferredData().CStr(), "");
  EXPECT_EQ(http.Cookies().Count(), 0);
  EXPECT_STREQ(http.Range().CStr(), "0-9");
  EXPECT_STREQ(http.UserAgent().CStr(), HttpProtocol::kDefaultUserAgent);
  EXPECT_STREQ(http.HttpMethod().CStr(), "PROPFIND");
}

TEST(HttpProtocol, InterruptedWaitGives301AndKeepsItsText) {
  TestProtocol http;
  http.during = [](TestProtocol& self) {
    EXPECT_EQ(self.DoAction(kHttpInterrupt), 0);  // the one re-entry allowed
    EXPECT_EQ(self.GetCurrentAction(), 0);
    for (int i = 0; i < 100 && self.DoEvents(1) != kWaitStop; ++i) {
    }
    return 0;
  };
  EXPECT_EQ(http.DoAction(kHttpGet), kStatusInterrupted);
  EXPECT_STREQ(http.GetLastErrorText(), "Interrupted.");
  EXPECT_EQ(http.WasInterrupted(), 0);
  EXPECT_EQ(http.GetCurrentAction(), 0);
}

TEST(HttpProtocol, ConnectionCloseEndsTheKeptConnection) {
  Listener server;
  ASSERT_NE(server.Port(), 0);
  TestProtocol http;
  http.SetHttpKeepAlive(1);
  ASSERT_EQ(http.SetTimeout(5, 1), 0);
  http.during = [&server](TestProtocol& self) {
    EXPECT_EQ(self.ConnectTo("127.0.0.1", server.Port()), 0);
    EXPECT_GE(server.Accept(), 0);
    return self.ResponseHeaders().Add("Connection", "Close");
  };
  EXPECT_EQ(http.DoAction(kHttpGet), 0);
  EXPECT_EQ(http.connected_, 0);
  const std::vector<std::string> info = http.sink.Logs("Info");
  ASSERT_EQ(info.size(), 1u);
  EXPECT_EQ(info[0], "Received header 'Connection: close', waiting for the connection to close.");
}

TEST(HttpProtocol, ForwardersReachTheSink) {
  TestProtocol http;
  const char* answer = nullptr;
  ASSERT_EQ(http.ConfigText("CodePage=65001", answer), 0);
  http.FireConnected(0, nullptr);
  http.FireConnectionStatus(nullptr, 5, "d");
  http.FireDisconnected(7, "gone");
  http.FireError(9, nullptr);
  http.FireHeader("A", nullptr);
  http.FireLog(2, "m", nullptr);
  int accept = 1;
  http.FireRedirect(nullptr, accept);
  EXPECT_EQ(accept, 0);  // the sink's answer comes back
  http.FireSetCookie("n", "v", nullptr, "d", "/", 1);
  int sslAccept = 0;
  http.FireSSLServerAuthentication("cert", 4, nullptr, nullptr, nullptr, sslAccept);
  EXPECT_EQ(sslAccept, 1);
  http.FireSSLStatus(nullptr);
  http.FireStartTransfer(1);
  http.FireStatus("HTTP/1.1", 200, nullptr);
  http.FireEndTransfer(1);

  const std::vector<std::string> names = {"connected", "status", "disconnected", "error", "header", "log ",
                                          "redirect", "cookie", "sslauth", "sslstatus", "start", "httpstatus",
                                          "end"};
  ASSERT_EQ(http.sink.events.size(), names.size());
  for (size_t i = 0; i < names.size(); ++i) EXPECT_EQ(http.sink.events[i].name, names[i]);
  EXPECT_EQ(http.sink.events[1].text, "|d");
  EXPECT_EQ(http.sink.events[4].text, "A:");
  EXPECT_EQ(http.sink.events[7].text, "n=v||d|/");
  EXPECT_EQ(http.sink.events[7].code, 1);
  EXPECT_EQ(http.sink.codePages, std::vector<int>(names.size(), 65001));

  // Transfer: the text is terminated for the event, then the byte comes back.
  char body[] = "abcdef";
  http.FireTransfer(1, 2, 50, body, 3);
  EXPECT_EQ(http.sink.transferText, "abc");
  EXPECT_EQ(http.sink.transferLength, 3);
  EXPECT_EQ(http.sink.events.back().code, 1250);
  EXPECT_STREQ(body, "abcdef");
  http.FireTransfer(1, 0, 0, body, 0);
  EXPECT_EQ(http.sink.transferText, "");
  http.FireTransfer(0, 0, 0, nullptr, 5);
  EXPECT_EQ(http.sink.transferText, "");

  long wait = 25;
  EXPECT_EQ(http.ExternalWait(wait), 0);
  void* handle = nullptr;
  EXPECT_EQ(http.ExternalRegisterSocket(12, 3, handle), 0);
  EXPECT_EQ(handle, &http.sink);
  EXPECT_EQ(http.ExternalUnregisterSocket(handle), 7);  // the sink's result comes back

  TestProtocol lone;
  lone.SetEventSink(nullptr);
  EXPECT_EQ(lone.FireTransfer(1, 0, 0, body, 3), 0);
  EXPECT_EQ(lone.ExternalUnregisterSocket(nullptr), 0);
}

TEST(HttpProtocol, LogLevelsAndProxyTraffic) {
  TestProtocol http;
  EXPECT_EQ(http.LogText(2, "hidden", "Info"), 0);
  EXPECT_EQ(http.LogText(1, "shown", "Info"), 0);
  EXPECT_EQ(http.sink.Logs("Info"), std::vector<std::string>{"shown"});

  // A CONNECT's credentials never reach the log; control bytes are escaped.
  const char request[] = "CONNECT h:443 HTTP/1.1\r\nProxy-Authorization: Basic dTpw\r\n\r\n";
  static_cast<void>(http.SendPlain(request, sizeof request - 1));
  const char reply[] = {'H', 'T', '\0', '\x7f', '\x80', '\r', '\n'};
  EXPECT_EQ(http.OnProxyReply(reply, sizeof reply), 0);
  ASSERT_EQ(http.sink.Logs("FirewallRequest").size(), 1u);
  EXPECT_EQ(http.sink.Logs("FirewallRequest")[0],
            "CONNECT h:443 HTTP/1.1\r\nProxy-Authorization: Basic xxxx\r\n\r\n");
  EXPECT_EQ(http.sink.Logs("FirewallResponse"), std::vector<std::string>{"HT0x0\x7f" "0x80\r\n"});

  http.SetLogLevel(0);
  static_cast<void>(http.OnProxyReply(reply, sizeof reply));
  EXPECT_EQ(http.sink.Logs("FirewallResponse").size(), 1u);

  // The connection layers' log hook goes straight through.
  http.OnLog(3, "raw", "Kerberos");
  EXPECT_EQ(http.sink.Logs("Kerberos"), std::vector<std::string>{"raw"});
}

TEST(HttpProtocol, RedirectStateAcrossOrigins) {
  const struct {
    const char* location;
    bool sameOrigin;
  } rows[] = {{"/next", true},
              {"http://example.com:8080/other", true},
              {"http://example.com:8081/other", false},
              {"https://example.com:8080/other", false},
              {"http://elsewhere.net:8080/", false}};
  for (const auto& row : rows) {
    TestProtocol http;
    http.SetFollowRedirects(1);
    ASSERT_EQ(http.SetURL("http://user:pw@example.com:8080/start", 0), 0);
    ASSERT_EQ(http.SetAuthorization("Basic dXNlcjpwdw=="), 0);
    ASSERT_EQ(http.SetPendingAuth("NTLM challenge"), 0);
    ASSERT_EQ(http.ParseSetCookie("s=1; Path=/"), 0);
    ASSERT_EQ(http.AddCookie("c", "2"), 0);
    ASSERT_EQ(http.SetURL(row.location, 1), 0) << row.location;
    EXPECT_STREQ(http.GetPendingAuth(), "") << row.location;  // challenges never outlive a URL
    EXPECT_EQ(std::string(http.GetUser()), row.sameOrigin ? "user" : "") << row.location;
    EXPECT_EQ(std::string(http.GetPassword()), row.sameOrigin ? "pw" : "") << row.location;
    EXPECT_EQ(std::string(http.GetAuthorization()), row.sameOrigin ? "Basic dXNlcjpwdw==" : "") << row.location;
    const bool otherServer = std::string(row.location).find("8081") != std::string::npos ||
                             std::string(row.location).find("elsewhere") != std::string::npos;
    EXPECT_EQ(http.Cookies().Count(), otherServer ? 1 : 2) << row.location;
    EXPECT_STREQ(http.Cookies().Name(http.Cookies().Count() - 1), "c");
    EXPECT_EQ(http.IsOtherOrigin(), !row.sameOrigin) << row.location;
  }

  // Cookies stay when the caller opted out of clearing them.
  TestProtocol keep;
  keep.SetDontClearCookiesOnUrlChange(1);
  ASSERT_EQ(keep.SetURL("http://a.example/", 0), 0);
  ASSERT_EQ(keep.ParseSetCookie("s=1"), 0);
  ASSERT_EQ(keep.SetURL("http://b.example/", 0), 0);
  EXPECT_EQ(keep.Cookies().Count(), 1);
}

TEST(HttpProtocol, UrlFailuresAndBudget) {
  TestProtocol http;
  http.Target().maxRedirectAttempts = 2;
  ASSERT_EQ(http.SetURL("http://example.com/0", 0), 0);
  EXPECT_EQ(http.SetURL("http://example.com/0", 1), kHttpStatusProtocolError);
  EXPECT_STREQ(http.GetLastErrorText(), "Attempting to redirect to identical URL.  Aborting connection.");
  EXPECT_EQ(http.SetURL("/1", 1), 0);
  EXPECT_EQ(http.SetURL("/2", 1), 0);
  EXPECT_EQ(http.SetURL("/3", 1), kHttpStatusTooManyRedirects);
  EXPECT_STREQ(http.GetLastErrorText(), "There were too many redirects.");
  EXPECT_EQ(http.SetURL("http://bad host/", 0), kHttpStatusInvalidValue);
  EXPECT_STREQ(http.GetLastErrorText(), "Invalid character in URL host.");

  // Properties: a server or port change drops server cookies first.
  ASSERT_EQ(http.SetURL("http://example.com/", 0), 0);
  ASSERT_EQ(http.ParseSetCookie("s=1"), 0);
  ASSERT_EQ(http.SetURLServer("EXAMPLE.com"), 0);
  EXPECT_EQ(http.Cookies().Count(), 1);
  ASSERT_EQ(http.SetURLPort(81), 0);
  EXPECT_EQ(http.Cookies().Count(), 0);
  EXPECT_EQ(http.GetURLPort(), 81);
  EXPECT_EQ(http.SetURLServer("a\rb"), kHttpStatusInvalidValue);
}

TEST(HttpProtocol, CookiesFromResponsesAndTheIndexCheck) {
  TestProtocol http;
  ASSERT_EQ(http.SetURL("http://example.com/", 0), 0);
  ASSERT_EQ(http.ParseSetCookie("a=1; HttpOnly; Secure; path=/x"), 0);
  ASSERT_EQ(http.ParseSetCookie("b=2; Expires=Wed, 21 Oct 2015 07:28:00 GMT; Domain=example.com"), 0);
  ASSERT_EQ(http.ParseSetCookie("b=3; Domain=EXAMPLE.com"), 0);  // same name, domain and path: updated
  ASSERT_EQ(http.Cookies().Count(), 2);
  EXPECT_STREQ(http.Cookies().Value(1), "3");
  ASSERT_EQ(http.sink.events.size(), 3u);
  EXPECT_EQ(http.sink.events[0].text, "a=1|||/x");
  EXPECT_EQ(http.sink.events[0].code, 1);

  ByteString value;
  ASSERT_EQ(http.CookieHeaderValue(value), 0);
  EXPECT_STREQ(value.CStr(), "b=3");  // the secure cookie stays off plain http
  ASSERT_EQ(http.SetURLScheme("https"), 0);
  ASSERT_EQ(http.CookieHeaderValue(value), 0);
  EXPECT_STREQ(value.CStr(), "a=1; b=3");

  EXPECT_EQ(http.CheckCookieIndex(1), 0);
  EXPECT_STREQ(http.GetLastErrorText(), "");
  EXPECT_EQ(http.CheckCookieIndex(2), kHttpStatusCookieIndex);
  EXPECT_STREQ(http.GetLastErrorText(), "Invalid cookie index (out of range).");
  EXPECT_EQ(http.CheckCookieIndex(-1), kHttpStatusCookieIndex);
}

TEST(HttpProtocol, ChunkFramingOnTheWireAndConnectionReuse) {
  Listener server;
  ASSERT_NE(server.Port(), 0);
  TestProtocol http;
  ASSERT_EQ(http.SetTimeout(5, 1), 0);
  ASSERT_EQ(http.SetTargetHost("127.0.0.1"), 0);
  ASSERT_EQ(http.SetTargetPort(server.Port()), 0);
  ASSERT_EQ(http.ConnectAndWait(), 0);
  ASSERT_GE(server.Accept(), 0);
  ASSERT_EQ(http.SendChunkHeader(26), 0);
  ASSERT_EQ(http.SendChunkTrailer(), 0);
  ASSERT_EQ(http.SendChunkHeader(4096), 0);
  EXPECT_EQ(server.Read(12), "1a\r\n\r\n1000\r\n");

  // The same endpoint keeps the connection; another port closes it.
  ASSERT_EQ(http.SetTargetHost("127.0.0.1"), 0);
  ASSERT_EQ(http.SetTargetPort(server.Port()), 0);
  EXPECT_NE(http.connected_, 0);
  ASSERT_EQ(http.SetTargetPort(server.Port() + 1 > 65535 ? 1 : server.Port() + 1), 0);
  EXPECT_EQ(http.connected_, 0);
}

TEST(HttpProtocol, ResponseWaitEndsWhenThePeerCloses) {
  Listener server;
  ASSERT_NE(server.Port(), 0);
  TestProtocol http;
  ASSERT_EQ(http.SetTimeout(5, 1), 0);
  int waited = -1;
  http.during = [&server, &waited](TestProtocol& self) {
    EXPECT_EQ(self.ConnectTo("127.0.0.1", server.Port()), 0);
    EXPECT_GE(server.Accept(), 0);
    server.ClosePeer();
    waited = self.WaitForResponse();
    return waited;
  };
  EXPECT_EQ(http.DoAction(kHttpGet), 0);
  EXPECT_EQ(waited, 0);
  EXPECT_EQ(http.GetResponseDone(), 1);
  int ends = 0;
  for (const Event& e : http.sink.events) ends += e.name == "end" && e.code == 1 ? 1 : 0;
  EXPECT_EQ(ends, 1);  // once per response, however the end is reached
  EXPECT_EQ(http.EndResponse(), 0);
  ends = 0;
  for (const Event& e : http.sink.events) ends += e.name == "end" ? 1 : 0;
  EXPECT_EQ(ends, 1);

  // Not connected, or asynchronous: nothing to wait for.
  TestProtocol idle;
  EXPECT_EQ(idle.WaitForResponse(), 0);
  http.SetLogLevel(2);
  EXPECT_EQ(http.WaitForResponse(), 0);
  EXPECT_EQ(http.sink.Logs("Info").back(), "Request Sent");
}

TEST(HttpProtocol, RedirectResponseEndsWithoutEndTransfer) {
  TestProtocol http;
  http.during = [](TestProtocol& self) {
    EXPECT_EQ(self.RedirectLocation().Set("/elsewhere"), 0);
    self.SetStatusCodeForTest(302);
    return self.EndResponse();
  };
  EXPECT_EQ(http.DoAction(kHttpGet), 0);
  EXPECT_EQ(http.GetResponseDone(), 1);
  for (const Event& e : http.sink.events) EXPECT_NE(e.name, "end");
}

}  // namespace
