// The client against openssl s_server through a relay in the test that
// rewrites one record of the server's: each fault ends the handshake with
// the client's alert, which the server's log shows, and nothing of the
// application is sent.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "../record/EngineHarness.h"
#include "FifoServer.h"
#include "TestSupport.h"

namespace {

using namespace peertest;

std::string U16(int v) { return std::string{char(v >> 8), char(v)}; }

// The records the server sent, each rewritten before the client sees it.
using Rewrite = std::function<std::vector<std::string>(TlsEngine& client, const std::string& record)>;

int Relay(TlsEngine& engine, SocketOwner& owner, const Rewrite& rewrite) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  std::string pending;
  char buffer[16384];
  while (engine.IsEstablished() == 0 && engine.GetFailure() == 0 && std::chrono::steady_clock::now() < deadline) {
    pollfd p{owner.fd, POLLIN, 0};
    if (::poll(&p, 1, 100) <= 0) continue;
    const ssize_t n = ::recv(owner.fd, buffer, sizeof buffer, 0);
    if (n <= 0) return engine.GetFailure();
    pending.append(buffer, size_t(n));
    while (pending.size() >= 5) {
      const size_t size = 5 + ((uint8_t(pending[3]) << 8) | uint8_t(pending[4]));
      if (pending.size() < size) break;
      const std::string record = pending.substr(0, size);
      pending.erase(0, size);
      for (const std::string& out : rewrite(engine, record)) {
        const int status = engine.Receive(out.data(), int(out.size()));
        if (status != 0) return status;
      }
    }
  }
  return engine.GetFailure();
}

// A plaintext ServerHello record rebuilt: `fixed` may change the bytes from
// the version to the compression method, `extension` each whole extension
// (type, length, body; "" drops it).
std::string RebuildServerHello(const std::string& record, const std::function<void(std::string&)>& fixed,
                               const std::function<std::string(int, const std::string&)>& extension) {
  // header 5, message header 4, version 2, random 32, session id, suite 2, compression 1
  size_t at = 5 + 4 + 2 + 32;
  at += 1 + uint8_t(record[at]);
  at += 3;
  std::string head = record.substr(9, at - 9);
  fixed(head);
  std::string kept;
  for (at += 2; at + 4 <= record.size();) {
    const size_t n = size_t((uint8_t(record[at + 2]) << 8) | uint8_t(record[at + 3]));
    kept += extension((uint8_t(record[at]) << 8) | uint8_t(record[at + 1]), record.substr(at, 4 + n));
    at += 4 + n;
  }
  const std::string body = head + U16(int(kept.size())) + kept;
  const std::string message = std::string(1, char(2)) + char(0) + U16(int(body.size())) + body;
  return record.substr(0, 3) + U16(int(message.size())) + message;
}

void Unchanged(std::string&) {}
std::string Kept(int, const std::string& whole) { return whole; }

bool IsServerHello(const std::string& record) { return record.size() > 5 && record[0] == 22 && record[5] == 2; }

struct Fault {
  const char* name;
  int mask;                          // our protocols
  std::vector<std::string> options;  // the server's
  const char* alpn;                  // ours
  const char* serverSees;            // in the server's log
  Rewrite rewrite;
};

TEST(ServerRelay, ServerFaultsEndTheHandshake) {
  REQUIRE_OR_SKIP(testsupport::HaveOpenssl(), "openssl command not found");
  REQUIRE_OR_SKIP(!pkikit::Ensure().empty(), "PKI fixture kit could not be made");
  bool sawHello = false;
  const Fault faults[] = {
      {"plaintext_after_server_hello", 0x3000, {"-tls1_3"}, "", "unexpected message",
       [&](TlsEngine&, const std::string& r) -> std::vector<std::string> {
         if (!IsServerHello(r)) return {r};
         // A copy of the hello, in the clear, once the handshake keys are in force.
         return {r, r};
       }},
      {"second_hello_retry", 0x3000, {"-tls1_3", "-groups", "P-521"}, "", "unexpected message",
       [&](TlsEngine&, const std::string& r) -> std::vector<std::string> {
         if (!IsServerHello(r) || sawHello) return {r};
         sawHello = true;
         return {r, r};
       }},
      {"server_hello_without_key_share", 0x3000, {"-tls1_3"}, "", "missing extension",
       [&](TlsEngine&, const std::string& r) -> std::vector<std::string> {
         return {IsServerHello(r) ? RebuildServerHello(r, Unchanged, [](int type, const std::string& whole) {
           return type == 51 ? std::string() : whole;
         }) : r};
       }},
      {"alpn_not_offered", 0x3000, {"-tls1_3", "-alpn", "http/1.1"}, "http/1.1", "illegal parameter",
       [&](TlsEngine& client, const std::string& r) -> std::vector<std::string> {
         // The first protected record (EncryptedExtensions first) becomes an
         // EncryptedExtensions naming h2, sealed with the server's handshake key.
         if (r[0] != 23 || client.handshakeState != tlsstate::kTls13ServerHello) return {r};
         enginetest::MemoryOwner sink;
         TlsEngine mirror;
         (void)mirror.SetDefaults(&sink, 0);
         mirror.tls13 = 1;
         if (mirror.current.writeState.CopyFrom(client.current.readState) != 0) return {r};
         const std::string alpn = U16(16) + U16(5) + U16(3) + char(2) + "h2";
         const std::string body = U16(int(alpn.size())) + alpn;
         const std::string message = std::string(1, char(8)) + char(0) + U16(int(body.size())) + body;
         if (mirror.SendRecord(22, 0x0303, message.data(), int(message.size())) != 0) return {r};
         return {sink.Take()};
       }},
      // TLS 1.2: the server's hello against what was offered.
      {"suite_not_offered", 0x0C00, {"-tls1_2"}, "", "illegal parameter",
       [&](TlsEngine&, const std::string& r) -> std::vector<std::string> {
         if (!IsServerHello(r)) return {r};
         return {RebuildServerHello(r, [](std::string& head) { head.replace(head.size() - 3, 2, U16(0x009C)); }, Kept)};
       }},
      {"compression", 0x0C00, {"-tls1_2"}, "", "illegal parameter",
       [&](TlsEngine&, const std::string& r) -> std::vector<std::string> {
         if (!IsServerHello(r)) return {r};
         return {RebuildServerHello(r, [](std::string& head) { head.back() = 1; }, Kept)};
       }},
      {"downgrade_sentinel", 0x3C00, {"-tls1_2"}, "", "illegal parameter",
       [&](TlsEngine&, const std::string& r) -> std::vector<std::string> {
         if (!IsServerHello(r)) return {r};
         return {RebuildServerHello(r, [](std::string& head) { head.replace(26, 8, std::string("DOWNGRD\x01", 8)); },
                                    Kept)};
       }},
      {"renegotiation_info_not_empty", 0x0C00, {"-tls1_2"}, "", "handshake failure",
       [&](TlsEngine&, const std::string& r) -> std::vector<std::string> {
         if (!IsServerHello(r)) return {r};
         return {RebuildServerHello(r, Unchanged, [](int type, const std::string& whole) {
           return type == 0xFF01 ? U16(0xFF01) + U16(2) + char(1) + char(0x41) : whole;
         })};
       }},
  };
  for (const Fault& fault : faults) {
    sawHello = false;
    FifoServer peer;
    ASSERT_TRUE(peer.Start(fault.name, "rsa", fault.options));
    TlsEngine engine;
    SocketOwner owner;
    owner.fd = Connect(peer.server.port());
    ASSERT_GE(owner.fd, 0);
    (void)engine.SetDefaults(&owner, 1);
    ASSERT_EQ(engine.SetEnabledProtocols(fault.mask), 0);
    ASSERT_EQ(engine.SetCipherSuites("TLS_ECDHE_RSA_WITH_AES_128_GCM_SHA256;TLS_AES_128_GCM_SHA256"), 0);
    ASSERT_EQ(engine.SetRemoteHost("localhost"), 0);
    ASSERT_EQ(engine.SetSecurityFlags(0x10), 0);
    ASSERT_EQ(engine.SetAlpnProtocols(fault.alpn), 0);
    ASSERT_EQ(engine.StartHandshake(), 0);
    const int status = Relay(engine, owner, fault.rewrite);
    EXPECT_NE(status, 0) << fault.name;
    EXPECT_EQ(engine.IsEstablished(), 0) << fault.name;
    EXPECT_EQ(owner.handshakeDone, owner.handshakeFailed) << fault.name;  // no end without an error
    EXPECT_TRUE(FileShows(peer.log, fault.serverSees)) << fault.name << ": " << testsupport::ReadFileText(peer.log);
    ::close(owner.fd);
    owner.fd = -1;
  }
}

}  // namespace
