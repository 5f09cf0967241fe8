// The HTTP/2 connection engine over the library's own TLS client with ALPN
// "h2", against nghttpd, h2o and a scripted python3-h2 server on 127.0.0.1,
// each started and stopped by its PID.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "../../net/connection/SecureTestSupport.h"
#include "Http2EngineSupport.h"
#include "PeerProcess.h"
#include "TestSupport.h"
#include "TestText.h"
#include "core/socket/SocketCore.h"
#include "http/h2/Http2Connection.h"

using namespace tornell;
using testsupport::PeerProcess;

namespace {

const std::string kScript = std::string(H2_TEST_DIR) + "/scripted_h2_server.py";

// A self-signed certificate for localhost and a folder of files to serve.
class Site {
 public:
  static const Site& Get() {
    static Site site;
    return site;
  }
  bool ok = false;
  std::string dir;
  std::string Path(const std::string& name) const { return dir + "/" + name; }
  std::string file1m;

 private:
  Site() {
    char pattern[] = "/tmp/h2tls-XXXXXX";
    if (mkdtemp(pattern) == nullptr) return;
    dir = pattern;
    std::filesystem::create_directories(Path("www"));
    bool done = false;
    testsupport::RunCommand("cd '" + dir + "' && openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes "
                            "-keyout srv.key -out srv.crt -days 30 -subj /CN=localhost "
                            "-addext subjectAltName=DNS:localhost,IP:127.0.0.1 2>&1", done);
    std::mt19937 random(7);
    file1m.resize(1 << 20);
    for (char& c : file1m) c = static_cast<char>(random());
    std::ofstream(Path("www/index.html")) << "hello over h2\n";
    std::ofstream(Path("www/one.bin"), std::ios::binary) << file1m;
    for (int i = 0; i < 300; ++i) std::ofstream(Path("www/f" + std::to_string(i) + ".txt")) << "file " << i << "\n";
    ok = done && std::filesystem::exists(Path("srv.crt"));
  }
  ~Site() {
    if (!dir.empty()) std::filesystem::remove_all(dir);
  }
};

// The secure connection as the engine's transport: received bytes go to the
// engine, its writes to the socket, its waits to the wait step.
class H2Client : public nettest::EventConnection {
 public:
  class Forward : public h2test::MemoryOwner {
   public:
    Forward(Http2Connection& h2, H2Client& client) : MemoryOwner(h2), client_(client) {}
    bool IsInterruptPending() override { return client_.IsInterruptRequested() != 0; }
    int DoEvents() override { return client_.SocketCore::DoEvents() == kWaitStop ? 1 : 0; }
    int SendText(const char* text) override { return client_.SendText(text); }
    int SendBytes(const char* data, int length) override { return client_.SendData(data, length, 1, 0); }
    int SendInChunks(const char* data, int length, int chunk, int flag) override {
      return client_.SendInChunks(data, length, chunk, flag);
    }

   private:
    H2Client& client_;
  };

  H2Client() { recordData = false; }
  int FireDataIn(const char* data, int length, int) override {
    const int status = h2.OnDataIn(data, length, 0);
    if (status != 0 && failure == 0) failure = status;
    return 0;
  }
  int FireDisconnected(int code, const char* description) override {
    closed = true;
    return EventConnection::FireDisconnected(code, description);
  }

  // TLS with ALPN h2 to the port; versions as SSLEnabledProtocols.
  int Open(int port, const char* protocols = "12288") {
    (void)SetTimeout(30, 1);
    (void)Configure(std::string("SSLEnabledProtocols=") + protocols);
    (void)SetUseSSL(true);
    (void)Configure("ALPNExtension=h2");
    return ConnectTo("localhost", port);
  }

  // One request; true once its stream ended (or failed) within the time.
  bool Request(const std::string& method, const std::string& path, const std::string& body = "") {
    forward.events.clear();
    forward.body.clear();
    failure = 0;
    if (h2.IsPrefaceSent() == 0 && h2.SendPreface() != 0) return false;
    StringList headers;
    for (const std::string& entry : {std::string(":method"), method, std::string(":scheme"), std::string("https"),
                                     std::string(":path"), path, std::string(":authority"), authority}) {
      if (headers.Add(entry.data(), static_cast<int>(entry.size())) != 0) return false;
    }
    if (h2.OpenStream(headers, body.empty()) != 0) return false;
    if (!body.empty()) {
      sendStatus = h2.SendData(body.data(), static_cast<int>(body.size()), true);
      if (sendStatus != 0) return false;
    }
    const bool ended = nettest::PumpUntil(
        *this, [&] { return failure != 0 || closed || Ended(); }, 60000);
    closeStatus = h2.CloseStream();
    return ended;
  }
  bool Ended() const {
    for (const std::string& e : forward.events) {
      if (e == "X") return true;
    }
    return false;
  }
  std::vector<std::string> Headers() const {
    std::vector<std::string> out;
    for (const std::string& e : forward.events) {
      if (e.rfind("H ", 0) == 0) out.push_back(e.substr(2));
    }
    return out;
  }
  bool HasHeader(const std::string& line) const {
    for (const std::string& h : Headers()) {
      if (h == line) return true;
    }
    return false;
  }

  Http2Connection h2;
  Forward forward{h2, *this};
  std::string authority = "localhost:443";
  int failure = 0;
  int sendStatus = 0;
  int closeStatus = 0;
  bool closed = false;
};

bool StartNghttpd(PeerProcess& peer, std::vector<std::string> options = {}) {
  const Site& site = Site::Get();
  if (!site.ok) return false;
  std::vector<std::string> argv = {"nghttpd", "-a", "127.0.0.1", "-d", site.Path("www"), "--echo-upload"};
  argv.insert(argv.end(), options.begin(), options.end());
  argv.insert(argv.end(), {"{port}", site.Path("srv.key"), site.Path("srv.crt")});
  return peer.Start(argv);
}

bool StartScripted(PeerProcess& peer) {
  const Site& site = Site::Get();
  if (!site.ok || !testsupport::HavePythonModule("h2")) return false;
  return peer.Start({"/usr/bin/python3", kScript, "{port}", site.Path("srv.crt"), site.Path("srv.key")});
}

}  // namespace

TEST(Http2TlsPeer, NghttpdGetHeadAndEchoedPostOverTls13And12) {
  for (const char* protocols : {"12288", "3072"}) {
    PeerProcess peer;
    REQUIRE_OR_SKIP(StartNghttpd(peer), "nghttpd (nghttp2-server) or openssl is not installed");
    H2Client client;
    ASSERT_EQ(client.Open(peer.port(), protocols), 0) << client.GetLastErrorText();
    EXPECT_STREQ(client.GetNegotiatedAlpn(), "h2") << protocols;
    ASSERT_TRUE(client.Request("GET", "/index.html")) << client.h2.GetLastErrorText();
    EXPECT_EQ(client.failure, 0) << client.h2.GetLastErrorText();
    EXPECT_TRUE(client.HasHeader(":status: 200"));
    EXPECT_EQ(client.forward.body, "hello over h2\n");
    ASSERT_TRUE(client.Request("HEAD", "/index.html"));
    EXPECT_TRUE(client.HasHeader(":status: 200"));
    EXPECT_EQ(client.forward.body, "");
    ASSERT_TRUE(client.Request("POST", "/echo", Site::Get().file1m)) << client.sendStatus;
    EXPECT_EQ(client.failure, 0) << client.h2.GetLastErrorText();
    EXPECT_TRUE(client.forward.body == Site::Get().file1m) << client.forward.body.size();
    EXPECT_EQ(client.h2.GetNextStreamId(), 7);
  }
}

struct NghttpdCase {
  const char* name;
  std::vector<std::string> options;
};

TEST(Http2TlsPeer, NghttpdWindowsPushAndTableSizes) {
  const std::vector<NghttpdCase> cases = {
      {"small windows", {"--window-bits=10", "--connection-window-bits=10"}},
      {"push", {"-p/one.bin=/index.html"}},
      {"encoder table 256", {"--encoder-header-table-size=256"}},
      {"decoder table 0", {"-c", "0"}},
  };
  for (const NghttpdCase& c : cases) {
    PeerProcess peer;
    REQUIRE_OR_SKIP(StartNghttpd(peer, c.options), "nghttpd (nghttp2-server) is not installed");
    H2Client client;
    ASSERT_EQ(client.Open(peer.port()), 0) << c.name << ": " << client.GetLastErrorText();
    for (int round = 0; round < 2; ++round) {
      ASSERT_TRUE(client.Request("GET", "/one.bin")) << c.name;
      EXPECT_EQ(client.failure, 0) << c.name << ": " << client.h2.GetLastErrorText();
      EXPECT_TRUE(client.forward.body == Site::Get().file1m) << c.name << " " << client.forward.body.size();
      ASSERT_TRUE(client.Request("POST", "/echo", Site::Get().file1m.substr(0, 200000))) << c.name;
      EXPECT_EQ(client.forward.body.size(), 200000u) << c.name;
    }
  }
}

TEST(Http2TlsPeer, H2oManyKeptRequestsAndALargeFile) {
  const Site& site = Site::Get();
  REQUIRE_OR_SKIP(site.ok && !testsupport::FindProgram("h2o").empty(), "h2o is not installed");
  const std::string conf = site.Path("h2o.conf");
  const int port = testsupport::FreePort();
  std::ofstream(conf) << "user: root\npid-file: " << site.Path("h2o.pid") << "\nerror-log: " << site.Path("h2o.log")
                      << "\nnum-threads: 1\nlisten: {host: 127.0.0.1, port: " << port
                      << ", ssl: {certificate-file: " << site.Path("srv.crt") << ", key-file: " << site.Path("srv.key")
                      << ", ocsp-update-interval: 0}}\nhosts: {default: {paths: {/: {file.dir: " << site.Path("www")
                      << "}}}}\n";
  PeerProcess peer;
  REQUIRE_OR_SKIP(peer.Start({"h2o", "-c", conf}, port), "h2o does not start");
  H2Client client;
  ASSERT_EQ(client.Open(port), 0) << client.GetLastErrorText();
  // Distinct paths fill the header tables until entries are evicted.
  for (int i = 0; i < 300; ++i) {
    ASSERT_TRUE(client.Request("GET", "/f" + std::to_string(i) + ".txt")) << i;
    ASSERT_EQ(client.forward.body, "file " + std::to_string(i) + "\n") << i << client.h2.GetLastErrorText();
  }
  EXPECT_GT(client.h2.EncoderTable().DynamicCount(), 0);
  ASSERT_TRUE(client.Request("GET", "/one.bin"));
  EXPECT_TRUE(client.forward.body == site.file1m);
}

struct ScriptedCase {
  std::string path;
  std::string body;      // request body (POST when not empty)
  int failure;           // expected engine failure while receiving
  int errorCode;         // expected stored error after the exchange
  std::vector<std::string> headers;  // expected among the header events
  std::string response;  // expected body
};

TEST(Http2TlsPeer, ScriptedServerBehaviours) {
  const std::vector<ScriptedCase> cases = {
      {"/plain", "", 0, 0, {":status: 200"}, "plain"},
      {"/continuation", "", 0, 0, {"x-big: " + std::string(40000, 'v'), "x-after: after"}, "big"},
      {"/reset", "", 0, 162, {":status: 200"}, ""},
      {"/ping", "", 0, 0, {":status: 200"}, "ping acked"},
      {"/trailers", "", 0, 0, {":status: 200", "x-checksum: abc"}, "body"},
      {"/early", "", 0, 0, {":status: 103", "link: </style.css>; rel=preload", ":status: 200"}, "final"},
      {"/lowered", std::string(300000, 'p'), 0, 0, {":status: 200"}, "300000"},
      {"/early-end", std::string(300000, 'q'), 0, 0, {":status: 200"}, "early"},
      {"/overflow", "", 3, 0, {}, ""},
      {"/bigframe", "", 6, 0, {}, ""},
      {"/goaway", "", 0, 162, {":status: 200"}, "partial"},
  };
  for (const ScriptedCase& c : cases) {
    for (const char* mode : {"", "?bytes"}) {
      const std::string path = c.path + mode;
      if (*mode != 0 && !c.body.empty()) continue;  // uploads are byte-sized by the windows already
      PeerProcess peer;
      REQUIRE_OR_SKIP(StartScripted(peer), "python3-h2 or openssl is not installed");
      H2Client client;
      ASSERT_EQ(client.Open(peer.port()), 0) << client.GetLastErrorText();
      ASSERT_EQ(client.GetNegotiatedAlpn(), std::string("h2"));
      const bool ended = client.Request(c.body.empty() ? "GET" : "POST", path, c.body);
      EXPECT_TRUE(ended) << path;
      EXPECT_EQ(client.sendStatus, 0) << path << client.h2.GetLastErrorText();
      EXPECT_EQ(client.failure, c.failure) << path << ": " << client.h2.GetLastErrorText();
      if (c.failure != 0) continue;
      EXPECT_EQ(client.h2.GetLastErrorCode(), c.errorCode) << path << ": " << client.h2.GetLastErrorText();
      for (const std::string& h : c.headers) EXPECT_TRUE(client.HasHeader(h)) << path << ": " << h.substr(0, 40);
      EXPECT_EQ(client.forward.body, c.response) << path;
      if (c.path == "/reset") {
        EXPECT_STREQ(client.h2.GetLastErrorText(),
                     "HTTP/2 Protocol Error: Stream reset. The stream was no longer needed. Error code 0x8 (CANCEL).");
      }
      if (c.path == "/goaway") {
        EXPECT_TRUE(client.h2.IsGoingAway());
      }
    }
  }
}
