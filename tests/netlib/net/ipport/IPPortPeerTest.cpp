// The IPPort component against real peers on 127.0.0.1 (socat, openssl,
// microsocks, tinyproxy), driven by a C host through the entry points.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "IPPortHost.h"
#include "PeerProcess.h"
#include "TestPki.h"
#include "TestSupport.h"
#include "TestText.h"

using testsupport::PeerProcess;
using testsupport::TestPki;

namespace {

struct PortDeleter {
  void operator()(void* port) const { Tornell_IPPort_Destroy(port); }
};
using Port = std::unique_ptr<void, PortDeleter>;

// A host and its component, freshly made for each test.
struct Client {
  Client() {
    HostInit(host.get());
    port.reset(Tornell_IPPort_Create(HostCallback, host.get()));
  }
  void* p() const { return port.get(); }
  // Wait-and-dispatch passes until the condition holds; false when the time is up.
  bool PumpUntil(const std::function<bool()>& condition, int milliseconds = 5000) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (!condition()) {
      if (std::chrono::steady_clock::now() >= deadline) return false;
      HostDo(port.get(), 5);
    }
    return true;
  }
  std::string Received() const { return std::string(host->received, static_cast<size_t>(host->receivedLength)); }

  std::unique_ptr<Host> host = std::make_unique<Host>();
  Port port;
};

bool StartEcho(PeerProcess& echo) {
  return echo.Start({"socat", "TCP4-LISTEN:{port},bind=127.0.0.1,reuseaddr,fork", "EXEC:cat"});
}

// A peer that writes what it receives on one connection into a file, then exits.
bool StartSink(PeerProcess& sink, const std::string& file) {
  return sink.Start({"socat", "-u", "TCP4-LISTEN:{port},bind=127.0.0.1", "OPEN:" + file + ",creat,trunc"});
}

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Waits until the sink has written its file and left. It is left unreaped
// (a zombie), so that stopping it later cannot reach a reused PID.
bool WaitForExit(PeerProcess& peer, int milliseconds = 5000) {
  const std::string stat = "/proc/" + std::to_string(peer.pid()) + "/stat";
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  for (;;) {
    std::ifstream in(stat);
    std::string pid, name, state;
    in >> pid >> name >> state;
    if (!in || state == "Z") return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/ipport-XXXXXX";
    if (mkdtemp(pattern) != nullptr) dir_ = pattern;
  }
  ~TempDir() {
    if (!dir_.empty()) std::filesystem::remove_all(dir_);
  }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

 private:
  std::string dir_;
};

}  // namespace

TEST(IPPortPeer, BlockingConnectLinesAndDisconnect) {
  PeerProcess echo;
  REQUIRE_OR_SKIP(StartEcho(echo), "socat is not installed");
  Client c;
  ASSERT_EQ(0, HostConnect(c.p(), "127.0.0.1", echo.port())) << Tornell_IPPort_GetLastError(c.p());
  EXPECT_EQ(1, HostGetInt(c.p(), 3));
  // Connected with "OK", then ReadyToSend, and nothing failed.
  const int connected = HostFind(c.host.get(), 1);
  ASSERT_NE(-1, connected);
  EXPECT_EQ(0, c.host->events[connected].ints[0]);
  EXPECT_STREQ("OK", c.host->events[connected].text);
  const int ready = HostFind(c.host.get(), 6);
  ASSERT_NE(-1, ready);
  EXPECT_LT(connected, ready);
  EXPECT_EQ(0, HostCount(c.host.get(), 5));

  const char* line = nullptr;
  ASSERT_EQ(0, HostSendLine(c.p(), "abc"));
  ASSERT_EQ(0, HostGetLine(c.p(), &line)) << Tornell_IPPort_GetLastError(c.p());
  EXPECT_STREQ("abc", line);
  EXPECT_EQ(1, HostGetInt(c.p(), 20));
  // One line at a time: the second waits for the next GetLine.
  ASSERT_EQ(0, HostSendLine(c.p(), "one\r\ntwo"));
  ASSERT_EQ(0, HostGetLine(c.p(), &line));
  EXPECT_STREQ("one", line);
  ASSERT_EQ(0, HostGetLine(c.p(), &line));
  EXPECT_STREQ("two", line);
  // Every piece also reached the host as DataIn, readable as a C string.
  const int data = HostFind(c.host.get(), 3);
  ASSERT_NE(-1, data);
  EXPECT_STREQ("abc", c.host->events[data].text);
  EXPECT_EQ(1, c.host->events[data].ints[1]);
  EXPECT_EQ(0, c.host->dataInNotCString);

  ASSERT_EQ(0, HostDo(c.p(), 4));
  EXPECT_EQ(0, HostGetInt(c.p(), 3));
  EXPECT_EQ(1, HostCount(c.host.get(), 4));
  EXPECT_EQ(301, HostGetLine(c.p(), &line));
  EXPECT_STREQ("Disconnected.", Tornell_IPPort_GetLastError(c.p()));
}

// GetLine's reply buffer is emptied once it holds more than 20 lines' worth
// (MaxLineLength 100): a line that arrives as 25 full queues comes back as
// the four that followed the emptying, while DataIn saw every byte.
TEST(IPPortPeer, ReplyBufferEmptiedAboveTwentyLines) {
  PeerProcess echo;
  REQUIRE_OR_SKIP(StartEcho(echo), "socat is not installed");
  Client c;
  const char* answer = nullptr;
  ASSERT_EQ(0, HostConfig(c.p(), "MaxLineLength=100", &answer));
  ASSERT_EQ(0, HostConnect(c.p(), "127.0.0.1", echo.port())) << Tornell_IPPort_GetLastError(c.p());
  ASSERT_EQ(0, HostSetInt(c.p(), 20, 1));  // the echo waits for GetLine
  const std::string sent(2500, 'x');
  ASSERT_EQ(0, HostSendLine(c.p(), sent.c_str()));
  const char* line = nullptr;
  ASSERT_EQ(0, HostGetLine(c.p(), &line)) << Tornell_IPPort_GetLastError(c.p());
  EXPECT_EQ(std::string(400, 'x'), line);
  EXPECT_EQ(sent, c.Received());
  // A short line after it comes back whole.
  ASSERT_EQ(0, HostSendLine(c.p(), "short"));
  ASSERT_EQ(0, HostGetLine(c.p(), &line));
  EXPECT_STREQ("short", line);
  ASSERT_EQ(0, HostDo(c.p(), 4));
}

TEST(IPPortPeer, BytesGoOutExactly) {
  TempDir dir;
  const std::string file = dir.Path("out");
  PeerProcess sink;
  REQUIRE_OR_SKIP(StartSink(sink, file), "socat is not installed");
  Client c;
  ASSERT_EQ(0, HostConnect(c.p(), "127.0.0.1", sink.port()));
  ASSERT_EQ(0, HostSendLine(c.p(), "abc"));
  // Three bytes with a zero byte among them: the count, not the text, decides.
  ASSERT_EQ(0, HostSend(c.p(), "x\0y-not-sent", 3));
  ASSERT_EQ(0, Tornell_IPPort_Set(c.p(), 4, 0, "zz", 2));
  ASSERT_EQ(0, HostDo(c.p(), 4));
  ASSERT_TRUE(WaitForExit(sink));
  EXPECT_EQ(std::string("abc\r\nx\0yzz", 10), Slurp(file));
}

TEST(IPPortPeer, FixedLengthRecords) {
  PeerProcess echo;
  REQUIRE_OR_SKIP(StartEcho(echo), "socat is not installed");
  Client c;
  ASSERT_EQ(0, HostSetInt(c.p(), 17, 10));
  ASSERT_EQ(0, HostConnect(c.p(), "127.0.0.1", echo.port()));
  const std::string sent = "0123456789abcdefghijKLMNO";
  ASSERT_EQ(0, HostSend(c.p(), sent.data(), 25));
  ASSERT_TRUE(c.PumpUntil([&] { return HostCount(c.host.get(), 3) >= 2; }));
  // Give the last five bytes time to arrive: they must wait for more.
  for (int i = 0; i < 10; ++i) HostDo(c.p(), 5);
  ASSERT_EQ(2, HostCount(c.host.get(), 3));
  for (int i = 0; i < c.host->count; ++i) {
    if (c.host->events[i].id != 3) continue;
    EXPECT_EQ(10, c.host->events[i].length);
    EXPECT_EQ(0, c.host->events[i].ints[1]);
  }
  // A shorter length releases what is held at once.
  ASSERT_EQ(0, HostSetInt(c.p(), 17, 5));
  EXPECT_EQ(3, HostCount(c.host.get(), 3));
  EXPECT_EQ(sent, c.Received());
  EXPECT_EQ(0, c.host->dataInNotCString);
}

// The byte after a piece that fills the receive queue, and after a record
// that ends the record buffer, is written and restored for the host: under
// AddressSanitizer any buffer without room for it fails here.
TEST(IPPortPeer, PiecesThatFillTheirBuffers) {
  PeerProcess echo;
  REQUIRE_OR_SKIP(StartEcho(echo), "socat is not installed");
  Client c;
  const char* answer = nullptr;
  ASSERT_EQ(0, HostConfig(c.p(), "MaxLineLength=16", &answer));
  ASSERT_EQ(0, Tornell_IPPort_Set(c.p(), 5, 0, "\n", 1));
  ASSERT_EQ(0, HostConnect(c.p(), "127.0.0.1", echo.port()));
  // No EOL in sight: each full queue is handed over whole, the rest waits.
  const std::string full(32, 'q');
  ASSERT_EQ(0, HostSend(c.p(), (full + "tail").data(), 36));
  ASSERT_TRUE(c.PumpUntil([&] { return c.host->receivedLength >= 32; }));
  EXPECT_EQ(full, c.Received());
  EXPECT_EQ(2, HostCount(c.host.get(), 3));
  // Without an EOL everything goes on; records of 8 end their buffer exactly.
  ASSERT_EQ(0, Tornell_IPPort_Set(c.p(), 5, 0, "", 0));
  ASSERT_EQ(0, HostSetInt(c.p(), 17, 8));
  ASSERT_EQ(0, HostSend(c.p(), "5678", 4));
  ASSERT_TRUE(c.PumpUntil([&] { return c.host->receivedLength >= 40; }));
  EXPECT_EQ(full + "tail5678", c.Received());
  EXPECT_EQ(0, c.host->dataInNotCString);
}

TEST(IPPortPeer, NonBlockingConnectCompletesThroughDoEvents) {
  PeerProcess echo;
  REQUIRE_OR_SKIP(StartEcho(echo), "socat is not installed");
  Client c;
  ASSERT_EQ(0, HostSetInt(c.p(), 30, 0));
  ASSERT_EQ(0, HostConnect(c.p(), "127.0.0.1", echo.port()));
  EXPECT_EQ(0, HostCount(c.host.get(), 1));
  ASSERT_TRUE(c.PumpUntil([&] { return HostCount(c.host.get(), 1) == 1; }));
  EXPECT_EQ(1, HostGetInt(c.p(), 3));
  // A non-blocking send reports what it took; the echo comes back as DataIn.
  ASSERT_EQ(0, HostSend(c.p(), "ping", 4));
  EXPECT_EQ(4, HostGetInt(c.p(), 2));
  ASSERT_TRUE(c.PumpUntil([&] { return c.host->receivedLength >= 4; }));
  EXPECT_EQ("ping", c.Received());
  const char* line = nullptr;
  EXPECT_EQ(301, HostGetLine(c.p(), &line));
  EXPECT_EQ(1, HostGetInt(c.p(), 3));  // GetLine left the connection alone
  ASSERT_EQ(0, HostDo(c.p(), 4));
  ASSERT_TRUE(c.PumpUntil([&] { return HostCount(c.host.get(), 4) == 1; }));
}

TEST(IPPortPeer, SendFile) {
  TempDir dir;
  const std::string in = dir.Path("in");
  const std::string out = dir.Path("out");
  std::string content(40000, '\0');
  for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>((i * 7 + i / 256) & 0xFF);
  { std::ofstream(in, std::ios::binary) << content; }
  PeerProcess sink;
  REQUIRE_OR_SKIP(StartSink(sink, out), "socat is not installed");
  Client c;
  ASSERT_EQ(0, HostConnect(c.p(), "127.0.0.1", sink.port()));
  ASSERT_EQ(0, HostSendFile(c.p(), in.c_str())) << Tornell_IPPort_GetLastError(c.p());
  EXPECT_EQ(40000, HostGetInt(c.p(), 2));
  ASSERT_EQ(0, HostSend(c.p(), "!", 1));
  EXPECT_EQ(0, HostGetInt(c.p(), 2));

  // A pipe has no size to read: a read failure, not an empty success.
  const std::string fifo = dir.Path("fifo");
  ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
  const int writer = open(fifo.c_str(), O_RDWR);
  ASSERT_NE(-1, writer);
  EXPECT_EQ(6, HostSendFile(c.p(), fifo.c_str()));
  EXPECT_STREQ("Error reading file.", Tornell_IPPort_GetLastError(c.p()));
  close(writer);

  ASSERT_EQ(0, HostSetInt(c.p(), 30, 0));
  EXPECT_EQ(702, HostSendFile(c.p(), in.c_str()));
  ASSERT_EQ(0, HostSetInt(c.p(), 30, 60));
  EXPECT_EQ(3, HostSendFile(c.p(), ""));
  EXPECT_EQ(3, HostSendFile(c.p(), dir.Path("missing").c_str()));
  EXPECT_STREQ("Cannot open file for reading.", Tornell_IPPort_GetLastError(c.p()));

  ASSERT_EQ(0, HostDo(c.p(), 4));
  ASSERT_TRUE(WaitForExit(sink));
  EXPECT_EQ(content + "!", Slurp(out));
}

TEST(IPPortPeer, ExternalEventLoop) {
  PeerProcess echo;
  REQUIRE_OR_SKIP(StartEcho(echo), "socat is not installed");
  Client c;
  c.host->waitAnswer = 7;
  ASSERT_EQ(0, HostDo(c.p(), 2001));
  ASSERT_EQ(0, HostSetInt(c.p(), 30, 0));
  ASSERT_EQ(0, HostConnect(c.p(), "127.0.0.1", echo.port()));
  EXPECT_GE(c.host->external[1], 1);
  const int registered = HostFind(c.host.get(), 2001);
  ASSERT_NE(-1, registered);
  EXPECT_GE(c.host->events[registered].ints[0], 0);  // the descriptor
  // Only polls drive the connect.
  void* argv[1] = {nullptr};
  int lengths[1] = {0};
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (HostCount(c.host.get(), 1) == 0 && std::chrono::steady_clock::now() < deadline) {
    Tornell_IPPort_Do(c.p(), 2002, 1, argv, lengths);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_EQ(1, HostCount(c.host.get(), 1));
  // A wait step is handed to the host as event 2000.
  HostDo(c.p(), 5);
  EXPECT_GE(c.host->external[0], 1);
  ASSERT_EQ(0, HostDo(c.p(), 4));
  EXPECT_GE(c.host->external[2], 1);
  EXPECT_EQ(0, HostDo(c.p(), 2000));
}

TEST(IPPortPeer, ThroughSocks5AndConnectProxies) {
  PeerProcess echo;
  REQUIRE_OR_SKIP(StartEcho(echo), "socat is not installed");
  PeerProcess socks;
  REQUIRE_OR_SKIP(socks.Start({"microsocks", "-i", "127.0.0.1", "-p", "{port}"}), "microsocks is not installed");
  TempDir dir;
  std::filesystem::permissions(dir.Path(""), std::filesystem::perms::all);
  const std::string config = dir.Path("tp.conf");
  const int tinyPort = testsupport::FreePort();
  {
    std::ofstream(config) << "Port " << tinyPort << "\nListen 127.0.0.1\nTimeout 30\nAllow 127.0.0.1\n";
  }
  PeerProcess tiny;
  const bool root = geteuid() == 0;
  std::vector<std::string> argv = {"tinyproxy", "-d", "-c", config};
  if (root) argv.insert(argv.begin(), {"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"});
  REQUIRE_OR_SKIP(tiny.Start(argv, tinyPort), "tinyproxy is not installed");

  struct Case {
    int type;
    int port;
  };
  for (const Case& proxy : {Case{3, socks.port()}, Case{1, tinyPort}}) {
    SCOPED_TRACE("FirewallType " + std::to_string(proxy.type));
    Client c;
    ASSERT_EQ(0, HostSetInt(c.p(), 7, proxy.type));
    ASSERT_EQ(0, HostSetText(c.p(), 8, "127.0.0.1"));
    ASSERT_EQ(0, HostSetInt(c.p(), 10, proxy.port));
    ASSERT_EQ(0, HostConnect(c.p(), "127.0.0.1", echo.port())) << Tornell_IPPort_GetLastError(c.p());
    const char* line = nullptr;
    ASSERT_EQ(0, HostSendLine(c.p(), "through"));
    ASSERT_EQ(0, HostGetLine(c.p(), &line)) << Tornell_IPPort_GetLastError(c.p());
    EXPECT_STREQ("through", line);
    ASSERT_EQ(0, HostDo(c.p(), 4));
  }
}

namespace {

// openssl s_server answering each line reversed.
bool StartTlsPeer(PeerProcess& server) {
  return testsupport::StartOpensslServer(server, {"-rev", "-tls1_2"},
                                         testsupport::TestPki::Get().Path("server.log"));
}

}  // namespace

// StartSSL over a plain connection, and TLS from the start, then lines both ways.
TEST(IPPortPeer, StartSslAndTlsAtOnce) {
  for (const int startMode : {3, 0}) {
    SCOPED_TRACE("TlsStartMode " + std::to_string(startMode));
    PeerProcess server;
    REQUIRE_OR_SKIP(StartTlsPeer(server), "openssl is not installed");
    Client c;
    ASSERT_EQ(0, HostSetInt(c.p(), 29, startMode));
    const char* answer = nullptr;
    // The test CA comes with the server's chain: trust its self-signed root.
    ASSERT_EQ(0, HostConfig(c.p(), "SSLSecurityFlags=0x10", &answer));
    ASSERT_EQ(0, HostConnect(c.p(), "127.0.0.1", server.port())) << Tornell_IPPort_GetLastError(c.p());
    if (startMode == 3) {
      EXPECT_EQ(0, HostGetInt(c.p(), 27));
      ASSERT_EQ(0, HostDo(c.p(), 14)) << Tornell_IPPort_GetLastError(c.p());
    }
    EXPECT_EQ(1, HostGetInt(c.p(), 3));
    const char* line = nullptr;
    for (const char* text : {"secure", "lines"}) {
      ASSERT_EQ(0, HostSendLine(c.p(), text));
      ASSERT_EQ(0, HostGetLine(c.p(), &line)) << Tornell_IPPort_GetLastError(c.p());
      const std::string sent = text;
      EXPECT_EQ(std::string(sent.rbegin(), sent.rend()), line);
    }
    EXPECT_EQ(0, c.host->dataInNotCString);
    ASSERT_EQ(0, HostDo(c.p(), 4));
  }
}

// The test CA is not trusted: the host's answer alone decides.
TEST(IPPortPeer, HostAnswerReachesTheCertificateCheck) {
  for (const int accept : {1, 0}) {
    SCOPED_TRACE("accept " + std::to_string(accept));
    PeerProcess server;
    REQUIRE_OR_SKIP(StartTlsPeer(server), "openssl is not installed");
    Client c;
    c.host->accept = accept;
    ASSERT_EQ(0, HostSetInt(c.p(), 29, 0));
    const int connected = HostConnect(c.p(), "127.0.0.1", server.port());
    ASSERT_EQ(1, HostCount(c.host.get(), 7));
    EXPECT_GT(c.host->seenCertificateLength, 0);
    EXPECT_EQ(accept, connected == 0 ? 1 : 0);
    EXPECT_EQ(accept, HostGetInt(c.p(), 3));
  }
}

// The component keeps no certificate store of its own: writing one answers
// 306, so a server that requires a client certificate refuses the handshake,
// and the connect reports that refusal rather than success.
TEST(IPPortPeer, ServerRequiringAClientCertificateRefusesTheConnect) {
  PeerProcess server;
  const TestPki& pki = TestPki::Get();
  REQUIRE_OR_SKIP(pki.ok && server.Start({"openssl", "s_server", "-accept", "127.0.0.1:{port}", "-cert",
                                          pki.Path("srv.crt"), "-key", pki.Path("srv.key"), "-cert_chain",
                                          pki.Path("ca.crt"), "-rev", "-tls1_2", "-Verify", "1",
                                          "-verify_return_error", "-CAfile", pki.Path("ca.crt")},
                                         0, pki.Path("verify.log")),
                  "openssl is not installed");
  Client c;
  static const char kStore[] = "-----BEGIN CERTIFICATE-----";
  ASSERT_EQ(0, HostSetInt(c.p(), 25, 6));
  ASSERT_EQ(0, HostSetText(c.p(), 24, "pw"));
  EXPECT_EQ(306, Tornell_IPPort_Set(c.p(), 23, 0, kStore, static_cast<int>(sizeof kStore - 1)));
  EXPECT_EQ(306, HostSetText(c.p(), 26, "*"));
  int length = -1;
  static_cast<void>(Tornell_IPPort_Get(c.p(), 23, 0, &length));
  EXPECT_EQ(0, length);
  ASSERT_EQ(0, HostSetInt(c.p(), 29, 0));
  const char* answer = nullptr;
  ASSERT_EQ(0, HostConfig(c.p(), "SSLSecurityFlags=0x10", &answer));
  const int connected = HostConnect(c.p(), "127.0.0.1", server.port());
  EXPECT_NE(0, connected);
  EXPECT_EQ(0, HostGetInt(c.p(), 3));
  EXPECT_NE(std::string(Tornell_IPPort_GetLastError(c.p())).find("HANDSHAKE_FAILURE"), std::string::npos)
      << connected << " " << Tornell_IPPort_GetLastError(c.p());
}
