// The engine's settings and entry operations with in-memory owners and with
// owners that write to a loopback TCP connection.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "../record/EngineHarness.h"

using namespace enginetest;

namespace {

std::string Pattern(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = char(i * 13 + 5);
  return s;
}

TEST(TlsEngine, DefaultsAndSetters) {
  TlsEngine engine;
  EXPECT_EQ(engine.role, 1);
  EXPECT_EQ(engine.protocolMask, 0xFFFF);
  EXPECT_EQ(engine.sessionReuse, 1);
  EXPECT_STREQ(engine.tls12SupportedGroups.CStr(), "ecdhe_secp256r1,ecdhe_secp384r1,ecdhe_secp521r1");
  ASSERT_EQ(engine.SetCipherSuites(nullptr), 0);
  EXPECT_STREQ(engine.cipherSuites.CStr(), "*");
  ASSERT_EQ(engine.SetCipherSuites(""), 0);
  EXPECT_STREQ(engine.cipherSuites.CStr(), "*");
  ASSERT_EQ(engine.SetCipherSuites("tls_aes_128_gcm_sha256"), 0);
  EXPECT_STREQ(engine.cipherSuites.CStr(), "TLS_AES_128_GCM_SHA256");
  ASSERT_EQ(engine.SetEnabledProtocols(0x0C00), 0);
  EXPECT_EQ(engine.IsTls12Enabled(), 1);
  EXPECT_EQ(engine.IsTls13Enabled() + engine.IsTls11Enabled() + engine.IsTls10Enabled() + engine.IsSsl30Enabled(), 0);
  ASSERT_EQ(engine.SetEnabledProtocols(0x0800), 0);
  EXPECT_EQ(engine.IsTls12Enabled(), 0);
}

// The pairs are read in place: the halves are split at '-', trimmed and
// lower-cased, and an item that is no known pair is left out.
TEST(TlsEngine, Tls12SignatureAlgorithmPairs) {
  ByteString pairs;
  ASSERT_EQ(TlsEngine::EncodeTls12SignatureAlgorithms(
                "SHA256-RSA, sha1 - ecdsa,md5-dsa-x,foo-rsa,all-anonymous, \tsha512-ALL,-rsa,sha384-,,sha224-rsaX",
                pairs),
            0);
  EXPECT_EQ(std::string(pairs.Data(), size_t(pairs.Length())),
            std::string("\x04\x01\x02\x03\xff\x00\x06\xff", 8));
  ASSERT_EQ(TlsEngine::EncodeTls12SignatureAlgorithms(nullptr, pairs), 0);
  EXPECT_EQ(pairs.Length(), 0);
}

TEST(TlsEngine, StartHandshakeReports) {
  TlsEngine engine;
  MemoryOwner owner;
  (void)engine.SetDefaults(&owner, 0);
  ASSERT_EQ(engine.StartHandshake(), 0);
  ASSERT_EQ(owner.statuses.size(), 1u);
  EXPECT_EQ(owner.statuses[0], "Socket connection established.");
  EXPECT_EQ(engine.handshakeState, 2);
  EXPECT_EQ(engine.current.isClient, 0);
}

TEST(TlsEngine, PartialSendKeepsTheRestAndFlushSendsIt) {
  Pair pair;
  ASSERT_EQ(pair.Setup(0xC02F, 0x0303, 16, 4), 0);
  const std::string data = Pattern(40000);
  const long firstRecord = 5 + 8 + 16384 + 16;
  pair.clientOwner.budget = firstRecord + 100;
  int sent = 0;
  EXPECT_EQ(pair.client.Send(data.data(), int(data.size()), sent), TlsEngine::kWouldBlock);
  EXPECT_EQ(sent, 32768);
  EXPECT_EQ(pair.client.pendingOutput.Length(), firstRecord - 100);
  pair.clientOwner.budget = -1;
  const int callsBefore = pair.clientOwner.sendCalls;
  ASSERT_EQ(pair.client.FlushPending(), 0);
  EXPECT_EQ(pair.clientOwner.sendCalls, callsBefore + 1);
  EXPECT_EQ(pair.client.pendingOutput.Length(), 0);
  ASSERT_EQ(pair.client.Send(data.data() + sent, int(data.size()) - sent, sent), 0);
  const std::string wire = pair.clientOwner.Take();
  ASSERT_EQ(pair.server.Receive(wire.data(), int(wire.size())), 0);
  EXPECT_EQ(pair.serverOwner.data, data);
  // Nothing to send: nothing goes out.
  ASSERT_EQ(pair.client.Send(nullptr, 0, sent), 0);
  EXPECT_TRUE(pair.clientOwner.wire.empty());
}

TEST(TlsEngine, WouldBlockDuringTheHandshakeKeepsTheBytes) {
  TlsEngine engine;
  MemoryOwner owner;
  (void)engine.SetDefaults(&owner, 1);
  ASSERT_EQ(engine.StartHandshake(), 0);
  owner.wire.clear();  // the ClientHello
  owner.budget = 3;
  EXPECT_EQ(engine.SendAlert(1, 90), TlsEngine::kWouldBlock);
  EXPECT_EQ(engine.SendAlert(1, 90), 0);  // queued behind
  owner.budget = -1;
  ASSERT_EQ(engine.FlushPending(), 0);
  // The records carry the version the ClientHello offered.
  EXPECT_EQ(owner.wire, Record(21, 0x0303, "\x01\x5a") + Record(21, 0x0303, "\x01\x5a"));
}

TEST(TlsEngine, PeerClosed) {
  {
    TlsEngine engine;
    MemoryOwner owner;
    (void)engine.SetDefaults(&owner, 1);
    ASSERT_EQ(engine.StartHandshake(), 0);
    ASSERT_EQ(engine.OnPeerClosed(0, 1), 0);
    EXPECT_EQ(owner.fatalCode, 276);
    EXPECT_EQ(owner.fatalText, "Remote host disconnected during SSL negotiation.");
  }
  {
    TlsEngine engine;
    MemoryOwner owner;
    (void)engine.SetDefaults(&owner, 1);
    ASSERT_EQ(engine.StartHandshake(), 0);
    const std::string junk = "junk!";
    EXPECT_EQ(engine.Receive(junk.data(), 5), 276);
    ASSERT_EQ(engine.OnPeerClosed(0, 1), 0);
    EXPECT_EQ(owner.fatalCalls, 1);
    EXPECT_STREQ(engine.lastErrorText.CStr(), "Unrecognized SSL packet data received.");
  }
  {
    Pair pair;
    ASSERT_EQ(pair.Setup(0x1301, 0x0304, 16, 12), 0);
    ASSERT_EQ(pair.client.OnPeerClosed(0, 1), 0);
    EXPECT_EQ(pair.client.IsEstablished(), 0);
    EXPECT_EQ(pair.clientOwner.fatalCalls, 0);
  }
}

TEST(TlsEngine, FatalWithoutOwnerIsStillAFailure) {
  TlsEngine engine;
  EXPECT_EQ(engine.RaiseFatal(286, "x"), 286);
  EXPECT_EQ(engine.Receive("\x17", 1), 286);
}

TEST(TlsEngine, CopyFrom) {
  Pair pair;
  ASSERT_EQ(pair.Setup(0x1301, 0x0304, 16, 12), 0);
  ASSERT_EQ(pair.client.SetRemoteHost("example.org"), 0);
  ASSERT_EQ(pair.client.keyShareGroups.Add(23), 0);
  TlsEngine copy;
  ASSERT_EQ(copy.CopyFrom(pair.client), 0);
  EXPECT_EQ(copy.IsEstablished(), 0);
  EXPECT_STREQ(copy.remoteHost.CStr(), "example.org");
  EXPECT_EQ(copy.keyShareGroups.Count(), 1);
  EXPECT_EQ(copy.current.version, 0x0304);
  EXPECT_EQ(copy.owner, nullptr);
}

// ---- loopback TCP -------------------------------------------------------------

struct SocketOwner : MemoryOwner {
  int fd = -1;
  int SendRaw(const char* p, int n, int& sent) override {
    ssize_t w = ::send(fd, p, size_t(n), MSG_NOSIGNAL);
    if (w < 0) {
      sent = 0;
      return errno == EAGAIN || errno == EWOULDBLOCK ? TlsOwner::kWouldBlock : 1;
    }
    sent = int(w);
    return w == n ? 0 : TlsOwner::kWouldBlock;
  }
};

bool TcpPair(int& a, int& b) {
  const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(listener, 1) != 0 || ::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    if (listener >= 0) ::close(listener);
    return false;
  }
  a = ::socket(AF_INET, SOCK_STREAM, 0);
  const bool ok = a >= 0 && ::connect(a, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
                  (b = ::accept(listener, nullptr, nullptr)) >= 0;
  ::close(listener);
  if (!ok) return false;
  const int small = 4096;
  ::setsockopt(a, SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
  ::setsockopt(b, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
  ::fcntl(a, F_SETFL, ::fcntl(a, F_GETFL) | O_NONBLOCK);
  ::fcntl(b, F_SETFL, ::fcntl(b, F_GETFL) | O_NONBLOCK);
  return true;
}

TEST(TlsEngine, LoopbackTcpWithWouldBlock) {
  int a = -1, b = -1;
  ASSERT_TRUE(TcpPair(a, b));
  TlsEngine client, server;
  SocketOwner clientOwner;
  MemoryOwner serverOwner;
  clientOwner.fd = a;
  const Keys c = ClientKeys(32, 12), s = ServerKeys(32, 12);
  ASSERT_EQ(Install(client, clientOwner, 1, 0x1303, 0x0304, c, s), 0);
  ASSERT_EQ(Install(server, serverOwner, 0, 0x1303, 0x0304, c, s), 0);
  const std::string data = Pattern(300000);
  size_t offered = 0;
  char buffer[8192];
  // Bounded: each round moves bytes one way or the other.
  for (int round = 0; round < 100000 && serverOwner.data.size() < data.size(); ++round) {
    int sent = 0;
    if (offered < data.size()) {
      const int n = int(std::min<size_t>(20000, data.size() - offered));
      const int st = client.Send(data.data() + offered, n, sent);
      ASSERT_TRUE(st == 0 || st == TlsEngine::kWouldBlock) << st;
      offered += size_t(sent);
    } else {
      const int st = client.FlushPending();
      ASSERT_TRUE(st == 0 || st == TlsEngine::kWouldBlock) << st;
    }
    pollfd p{b, POLLIN, 0};
    if (::poll(&p, 1, 100) <= 0) continue;
    const ssize_t r = ::recv(b, buffer, sizeof buffer, 0);
    if (r > 0) {
      ASSERT_EQ(server.Receive(buffer, int(r)), 0);
    }
  }
  ::close(a);
  ::close(b);
  EXPECT_EQ(serverOwner.data.size(), data.size());
  EXPECT_TRUE(serverOwner.data == data);
}

}  // namespace
