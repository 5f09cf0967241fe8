// Requests with HTTPVersion 2.0 through the protocol object: over TLS with
// ALPN "h2" to nghttpd, the fall back to HTTP/1.1 from a server without h2
// (openssl s_server), and the refusals without TLS or without the fallback.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "Http1Client.h"
#include "PeerProcess.h"
#include "TestSupport.h"
#include "TestText.h"

using namespace tornell;

namespace {

namespace fs = std::filesystem;

class Events : public http1test::EventLog {
 public:
  int FireSSLServerAuthentication(const char*&, int&, const char*&, const char*&, const char*&, int& accept) override {
    accept = 1;  // the test's own certificate
    return 0;
  }
  int FireSSLStatus(const char*& message) override {
    sslStatus.push_back(message);
    return 0;
  }
  int FireHeader(const char*& name, const char*& value) override {
    headers.push_back(std::string(name) + ": " + value);
    return 0;
  }
  std::vector<std::string> sslStatus;
  std::vector<std::string> headers;
};

class H2Client : public http1test::Client {
 public:
  H2Client() {
    SetEventSink(static_cast<ComponentHandle*>(&log));
    static_cast<void>(SetTimeout(30, 1));
    static_cast<void>(httpVersion_.Set("2.0"));
  }
  using tornell::HttpProtocol::allowHttpFallback_;
  using tornell::HttpProtocol::negotiatedHttpVersion_;
  using tornell::HttpProtocol::sentHeaders_;
  Events log;
};

// A folder with a certificate for localhost and the files to serve.
class Site {
 public:
  Site() {
    char pattern[] = "/tmp/h2req-XXXXXX";
    if (mkdtemp(pattern) == nullptr) return;
    dir = pattern;
    fs::create_directories(dir + "/www");
    const std::string make = "cd '" + dir + "' && openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 "
                             "-nodes -keyout srv.key -out srv.crt -days 2 -subj /CN=localhost "
                             "-addext subjectAltName=DNS:localhost >/dev/null 2>&1";
    std::mt19937 random(11);
    body.resize(1 << 20);
    for (char& c : body) c = static_cast<char>(random());
    std::ofstream(dir + "/www/index.html") << "hello over h2\n";
    std::ofstream(dir + "/www/page.txt") << "plain page\n";
    ok = std::system(make.c_str()) == 0;
  }
  ~Site() {
    std::error_code ignored;
    if (!dir.empty()) fs::remove_all(dir, ignored);
  }
  // nghttpd over TLS serving www/ and echoing uploads.
  bool StartNghttpd(testsupport::PeerProcess& server) const {
    return ok && server.Start({"nghttpd", "-a", "127.0.0.1", "-d", dir + "/www", "--echo-upload", "{port}",
                               dir + "/srv.key", dir + "/srv.crt"});
  }
  // The scripted python3-h2 server over TLS; with a record file it writes
  // there the bytes it received.
  bool StartScriptedServer(testsupport::PeerProcess& server, const std::string& record = "") const {
    if (!ok || !testsupport::HavePythonModule("h2")) return false;
    std::vector<std::string> args = {"/usr/bin/python3", std::string(H2_TEST_DIR) + "/scripted_h2_server.py",
                                     "{port}", dir + "/srv.crt", dir + "/srv.key"};
    if (!record.empty()) args.push_back(record);
    return server.Start(args);
  }
  bool ok = false;
  std::string dir;
  std::string body;
};

}  // namespace

TEST(Http2Request, NghttpdGetHeadAndPostOnOneKeptConnection) {
  Site site;
  testsupport::PeerProcess server;
  REQUIRE_OR_SKIP(site.StartNghttpd(server), "nghttpd (nghttp2-server) or openssl is not installed");
  H2Client client;
  client.SetHttpKeepAlive(1);
  const std::string base = "https://localhost:" + std::to_string(server.port());
  ASSERT_EQ(client.Run(kHttpGet, base + "/index.html"), 0) << client.GetLastErrorText();
  EXPECT_EQ(client.Body(), "hello over h2\n");
  EXPECT_EQ(client.GetStatusCode(), 200);
  EXPECT_STREQ(client.negotiatedHttpVersion_.CStr(), "2.0");
  const std::string sent(client.sentHeaders_.CStr(), static_cast<size_t>(client.sentHeaders_.Length()));
  EXPECT_EQ(sent.rfind(":method: GET\r\n:scheme: https\r\n:path: /index.html\r\n:authority: localhost:" +
                           std::to_string(server.port()) + "\r\n",
                       0),
            0u)
      << sent;
  EXPECT_EQ(sent.find("Host:"), std::string::npos);
  EXPECT_EQ(client.Http2().GetNextStreamId(), 3);
  ASSERT_EQ(client.Run(kHttpHead, base + "/index.html"), 0) << client.GetLastErrorText();
  EXPECT_EQ(client.Body(), "");
  ASSERT_EQ(client.PostData().Set(site.body.data(), static_cast<int>(site.body.size())), 0);
  ASSERT_EQ(client.Run(kHttpPost, base + "/echo"), 0) << client.GetLastErrorText() << " " << client.Http2().GetLastErrorText();
  EXPECT_TRUE(client.Body() == site.body) << client.Body().size();
  // Three streams on the one connection: 1, 3 and 5.
  EXPECT_EQ(client.Http2().GetNextStreamId(), 7);
}

TEST(Http2Request, FallbackToHttp11AndTheRefusals) {
  Site site;
  REQUIRE_OR_SKIP(site.ok, "openssl is not installed");
  const std::string cwd = fs::current_path().string();
  ASSERT_EQ(chdir((site.dir + "/www").c_str()), 0);  // -WWW serves the working folder
  testsupport::PeerProcess server;
  const bool started = server.Start({"openssl", "s_server", "-accept", "127.0.0.1:{port}", "-cert",
                                     site.dir + "/srv.crt", "-key", site.dir + "/srv.key", "-WWW", "-quiet"});
  ASSERT_EQ(chdir(cwd.c_str()), 0);
  REQUIRE_OR_SKIP(started, "openssl s_server does not start");
  const std::string url = "https://localhost:" + std::to_string(server.port()) + "/page.txt";
  {
    H2Client client;
    ASSERT_EQ(client.Run(kHttpGet, url), 0) << client.GetLastErrorText();
    EXPECT_EQ(client.Body(), "plain page\n");
    EXPECT_STREQ(client.negotiatedHttpVersion_.CStr(), "1.1");
    const std::vector<std::string>& status = client.log.sslStatus;
    EXPECT_NE(std::find(status.begin(), status.end(),
                        "Server does not support ALPN protocol h2. Falling back to HTTP/1.1"),
              status.end());
  }
  {
    H2Client client;
    client.allowHttpFallback_ = 0;
    EXPECT_EQ(client.Run(kHttpGet, url), 161);
    EXPECT_STREQ(client.GetLastErrorText(), "Server does not support HTTP/2 and AllowHTTPFallback is False.");
  }
  {
    testsupport::PeerProcess plain;
    ASSERT_TRUE(plain.Start({"/usr/bin/python3", "-m", "http.server", "{port}", "--bind", "127.0.0.1", "--directory",
                             site.dir + "/www"}));
    H2Client client;
    EXPECT_EQ(client.Run(kHttpGet, "http://127.0.0.1:" + std::to_string(plain.port()) + "/page.txt"), 161);
    EXPECT_STREQ(client.GetLastErrorText(), "Plaintext URLs are not supported over HTTP/2.");
  }
}

TEST(Http2Request, ScriptedServerInterimTrailersAndReset) {
  Site site;
  testsupport::PeerProcess server;
  REQUIRE_OR_SKIP(site.StartScriptedServer(server), "python3-h2 or openssl is not installed");
  const std::string base = "https://localhost:" + std::to_string(server.port());
  {
    // 103 then 200: the interim answer leaves no trace in the response.
    H2Client client;
    ASSERT_EQ(client.Run(kHttpGet, base + "/early"), 0) << client.GetLastErrorText();
    EXPECT_EQ(client.GetStatusCode(), 200);
    EXPECT_EQ(client.Body(), "final");
    EXPECT_STREQ(client.ResponseHeaders().Find("link"), "");
  }
  {
    // Trailers reach the Header event only.
    H2Client client;
    ASSERT_EQ(client.Run(kHttpGet, base + "/trailers"), 0) << client.GetLastErrorText();
    EXPECT_EQ(client.Body(), "body");
    const std::vector<std::string>& headers = client.log.headers;
    EXPECT_NE(std::find(headers.begin(), headers.end(), "x-checksum: abc"), headers.end());
    EXPECT_STREQ(client.ResponseHeaders().Find("x-checksum"), "");
  }
  {
    H2Client client;
    EXPECT_EQ(client.Run(kHttpGet, base + "/reset"), 162);
    EXPECT_STREQ(client.GetLastErrorText(),
                 "HTTP/2 Protocol Error: Stream reset. The stream was no longer needed. Error code 0x8 (CANCEL).");
  }
  {
    // The server ends the response and resets the stream during the upload.
    H2Client client;
    const std::string body(300000, 'q');
    ASSERT_EQ(client.PostData().Set(body.data(), static_cast<int>(body.size())), 0);
    ASSERT_EQ(client.Run(kHttpPost, base + "/early-end"), 0) << client.GetLastErrorText();
    EXPECT_EQ(client.Body(), "early");
  }
}

TEST(Http2Request, NginxPutOverHttp2AndFallbackWithoutIt) {
  Site site;
  REQUIRE_OR_SKIP(site.ok && !testsupport::FindProgram("nginx").empty(), "nginx or openssl is not installed");
  const std::string d = site.dir;
  fs::create_directories(d + "/www/up");
  const int h2Port = testsupport::FreePort();
  const int plainPort = testsupport::FreePort();
  {
    std::ofstream conf(d + "/nginx.conf");
    conf << "daemon off; master_process off; worker_processes 1;\n"
         << "pid " << d << "/nginx.pid; error_log " << d << "/error.log;\n"
         << "events { worker_connections 64; }\nhttp {\n"
         << "  log_format p '$server_port $request';\n  access_log " << d << "/access.log p;\n";
    for (const char* t : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"}) {
      conf << "  " << t << "_temp_path " << d << "/" << t << ";\n";
    }
    for (int port : {h2Port, plainPort}) {
      conf << "  server {\n    listen 127.0.0.1:" << port << " ssl" << (port == h2Port ? " http2" : "") << ";\n"
           << "    ssl_certificate " << d << "/srv.crt; ssl_certificate_key " << d << "/srv.key;\n"
           << "    root " << d << "/www;\n"
           << "    location /up/ { dav_methods PUT DELETE; create_full_put_path on; client_max_body_size 0; }\n"
           << "  }\n";
    }
    conf << "}\n";
  }
  testsupport::PeerProcess nginx;
  ASSERT_TRUE(nginx.Start({"nginx", "-p", d, "-c", d + "/nginx.conf"}, h2Port, d + "/nginx.out"));
  for (int i = 0; i < 200 && !testsupport::IsListening(plainPort); ++i) usleep(10000);
  std::ofstream(d + "/attach.bin", std::ios::binary) << site.body;
  {
    H2Client client;
    ASSERT_EQ(client.attachedFile_.Set((d + "/attach.bin").c_str()), 0);
    ASSERT_EQ(client.Run(kHttpPut, "https://localhost:" + std::to_string(h2Port) + "/up/stored.bin"), 0)
        << client.GetLastErrorText();
    EXPECT_STREQ(client.negotiatedHttpVersion_.CStr(), "2.0");
    EXPECT_EQ(client.GetStatusCode(), 201);
  }
  std::ifstream stored(d + "/www/up/stored.bin", std::ios::binary);
  const std::string copy((std::istreambuf_iterator<char>(stored)), std::istreambuf_iterator<char>());
  EXPECT_TRUE(copy == site.body) << copy.size();
  {
    H2Client client;
    ASSERT_EQ(client.Run(kHttpGet, "https://localhost:" + std::to_string(plainPort) + "/index.html"), 0)
        << client.GetLastErrorText();
    EXPECT_EQ(client.Body(), "hello over h2\n");
    EXPECT_STREQ(client.negotiatedHttpVersion_.CStr(), "1.1");
  }
  nginx.Stop();
  std::ifstream log(d + "/access.log");
  const std::string lines((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
  EXPECT_NE(lines.find(std::to_string(h2Port) + " PUT /up/stored.bin HTTP/2.0"), std::string::npos) << lines;
  EXPECT_NE(lines.find(std::to_string(plainPort) + " GET /index.html HTTP/1.1"), std::string::npos) << lines;
}

TEST(Http2Request, TheServerSeesPrefaceSettingsWindowThenOneHeadersFrameAStream) {
  Site site;
  testsupport::PeerProcess server;
  const std::string record = site.dir + "/received.bin";
  REQUIRE_OR_SKIP(site.StartScriptedServer(server, record), "python3-h2 or openssl is not installed");
  H2Client client;
  client.SetHttpKeepAlive(1);
  const std::string url = "https://localhost:" + std::to_string(server.port()) + "/plain";
  for (int i = 0; i < 2; ++i) {
    ASSERT_EQ(client.Run(kHttpGet, url), 0) << client.GetLastErrorText();
    EXPECT_EQ(client.Body(), "plain");
  }
  std::ifstream in(record, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_GT(bytes.size(), 58u);
  EXPECT_EQ(testsupport::Hex(bytes.substr(0, 58)),
            testsupport::Hex("PRI * HTTP/2.0\r\n\r\nSM\r\n\r\n") + "00000c040000000000000300000064" "00040000ffff" +
                "000004080000000000" "0000ffff");
  bool ok = false;
  const std::string out = testsupport::RunCommand(
      "/usr/bin/python3 '" + std::string(H2_TEST_DIR) + "/engine_oracle.py' describe", testsupport::Hex(bytes), ok);
  std::vector<std::string> headers;
  for (const std::string& line : testsupport::Lines(out)) {
    if (line.rfind("1 ", 0) == 0) headers.push_back(line.substr(0, line.find(':') == std::string::npos ? line.size()
                                                                                                          : 6));
  }
  // One HEADERS frame (END_STREAM, END_HEADERS) on stream 1, then on 3.
  EXPECT_EQ(headers, (std::vector<std::string>{"1 5 1 ", "1 5 3 "})) << out;
  EXPECT_EQ(bytes.find("PRI * HTTP/2.0", 1), std::string::npos);
  // All of it up to the first stream's WINDOW_UPDATE came in one record: as
  // small separate sends, the later ones would wait for the server's delayed
  // acknowledgement of the first.
  const size_t headersLength = static_cast<unsigned char>(bytes[58]) << 16 |
                               static_cast<unsigned char>(bytes[59]) << 8 | static_cast<unsigned char>(bytes[60]);
  std::ifstream reads(record + ".reads");
  size_t firstRead = 0;
  reads >> firstRead;
  EXPECT_GE(firstRead, 58 + 9 + headersLength + 13);
}

namespace {

// The host's own wait steps until the asynchronous response is done.
bool PumpUntilDone(H2Client& client) {
  for (int i = 0; i < 3000 && client.GetResponseDone() == 0; ++i) static_cast<void>(client.DoEvents(10));
  return client.GetResponseDone() != 0;
}

// The Error events but the one for the test's own certificate, which the
// SSLServerAuthentication handler accepts.
std::vector<std::string> Failures(const H2Client& client) {
  std::vector<std::string> out;
  for (const std::string& e : client.log.errors) {
    if (e.rfind("280 ", 0) != 0) out.push_back(e);
  }
  return out;
}

}  // namespace

TEST(Http2Request, AsynchronousRequestsCompleteInTheHostsEventLoop) {
  Site site;
  testsupport::PeerProcess nghttpd;
  REQUIRE_OR_SKIP(site.StartNghttpd(nghttpd), "nghttpd (nghttp2-server) or openssl is not installed");
  std::ofstream(site.dir + "/www/one.bin", std::ios::binary) << site.body;
  const int h2oPort = testsupport::FreePort();
  std::ofstream(site.dir + "/h2o.conf") << "user: root\npid-file: " << site.dir << "/h2o.pid\nerror-log: " << site.dir
                                        << "/h2o.log\nnum-threads: 1\nlisten: {host: 127.0.0.1, port: " << h2oPort
                                        << ", ssl: {certificate-file: " << site.dir << "/srv.crt, key-file: "
                                        << site.dir << "/srv.key, ocsp-update-interval: 0}}\n"
                                        << "hosts: {default: {paths: {/: {file.dir: " << site.dir << "/www}}}}\n";
  testsupport::PeerProcess h2o;
  REQUIRE_OR_SKIP(h2o.Start({"h2o", "-c", site.dir + "/h2o.conf"}, h2oPort), "h2o is not installed");
  const std::string nghttpdBase = "https://localhost:" + std::to_string(nghttpd.port());
  struct Case {
    std::string url;
    std::string post;  // a POST body, else GET
    std::string body;  // the expected response body
  };
  const std::vector<Case> cases = {
      {nghttpdBase + "/index.html", "", "hello over h2\n"},
      // The upload runs from the connected hook and waits on the server's windows.
      {nghttpdBase + "/echo", site.body, site.body},
      {"https://localhost:" + std::to_string(h2oPort) + "/one.bin", "", site.body},
  };
  for (const Case& c : cases) {
    H2Client client;
    static_cast<void>(client.SetTimeout(static_cast<unsigned>(-1), 1));
    ASSERT_EQ(client.PostData().Set(c.post.data(), static_cast<int>(c.post.size())), 0);
    // Two requests: the second on a new connection, as the first closes it.
    for (int round = 0; round < 2; ++round) {
      ASSERT_EQ(client.Run(c.post.empty() ? kHttpGet : kHttpPost, c.url), 0) << c.url << client.GetLastErrorText();
      EXPECT_EQ(client.GetResponseDone(), 0) << c.url;  // returned before the connection was up
      ASSERT_TRUE(PumpUntilDone(client)) << c.url;
      EXPECT_EQ(client.GetStatusCode(), 200) << c.url;
      EXPECT_STREQ(client.negotiatedHttpVersion_.CStr(), "2.0") << c.url;
      EXPECT_TRUE(client.Body() == c.body) << c.url << " " << client.Body().size();
      EXPECT_EQ(Failures(client), std::vector<std::string>{}) << c.url;
      EXPECT_EQ(client.log.ends, round + 1) << c.url;
      EXPECT_LT(client.GetTimeout(), 0);
    }
  }
}

TEST(Http2Request, AnAsynchronousStreamResetReachesTheErrorEvent) {
  Site site;
  testsupport::PeerProcess server;
  REQUIRE_OR_SKIP(site.StartScriptedServer(server), "python3-h2 or openssl is not installed");
  H2Client client;
  static_cast<void>(client.SetTimeout(static_cast<unsigned>(-1), 1));
  ASSERT_EQ(client.Run(kHttpGet, "https://localhost:" + std::to_string(server.port()) + "/reset"), 0);
  ASSERT_TRUE(PumpUntilDone(client));
  EXPECT_EQ(Failures(client), (std::vector<std::string>{"162 HTTP/2 Protocol Error: Stream reset. The stream was no "
                                                         "longer needed. Error code 0x8 (CANCEL)."}));
}
