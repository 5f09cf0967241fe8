// Crafted server messages against a client engine in memory: each fault gets
// its alert on the wire and nothing further of the handshake.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "../../pki/kit/OwnStore.h"
#include "../record/EngineHarness.h"
#include "TestSupport.h"
#include "tls/handshake/HostNameMatch.h"

namespace {

using namespace enginetest;

std::string U16(int v) { return std::string{char(v >> 8), char(v)}; }
std::string U24(int v) { return std::string{char(v >> 16), char(v >> 8), char(v)}; }
std::string Message(int type, const std::string& body) { return std::string(1, char(type)) + U24(int(body.size())) + body; }
std::string Extension(int type, const std::string& body) { return U16(type) + U16(int(body.size())) + body; }
std::string Alert(int description) { return Record(21, 0x0303, std::string{char(2), char(description)}); }

struct Client {
  TlsEngine engine;
  MemoryOwner owner;
  explicit Client(int mask = 0x0C00, const char* suites = "TLS_ECDHE_RSA_WITH_AES_128_GCM_SHA256;TLS_RSA_WITH_AES_128_CBC_SHA",
                  const char* alpn = "") {
    (void)engine.SetDefaults(&owner, 1);
    EXPECT_EQ(engine.SetEnabledProtocols(mask), 0);
    EXPECT_EQ(engine.SetCipherSuites(suites), 0);
    EXPECT_EQ(engine.SetAlpnProtocols(alpn), 0);
    EXPECT_EQ(engine.SetRemoteHost("localhost"), 0);
    EXPECT_EQ(engine.StartHandshake(), 0);
    owner.Take();
  }
  int Feed(const std::string& messages) {
    const std::string record = Record(22, 0x0303, messages);
    return engine.Receive(record.data(), int(record.size()));
  }
};

std::string ServerHello(int version, int suite, const std::string& sessionId = "", const std::string& extensions = "",
                        int compression = 0, const std::string& random = std::string(32, 'r')) {
  std::string body = U16(version) + random + char(sessionId.size()) + sessionId + U16(suite) + char(compression);
  if (!extensions.empty()) body += U16(int(extensions.size())) + extensions;
  return Message(2, body);
}

TEST(CraftedServerHello, SuiteAndCompressionChecked) {
  struct Row {
    const char* name;
    int suite;
    int compression;
  } rows[] = {
      {"not offered", 0x009C, 0},
      {"not registered", 0x1234, 0},
      {"TLS 1.3 suite", 0x1301, 0},
      {"compression", 0xC02F, 1},
  };
  for (const Row& row : rows) {
    Client c;
    EXPECT_EQ(c.Feed(ServerHello(0x0303, row.suite, "", "", row.compression)), -1) << row.name;
    EXPECT_EQ(c.owner.wire, Alert(47)) << row.name;
  }
  // The suite's minimum version: a TLS 1.2 suite in a TLS 1.1 hello.
  Client old(0x0F00, "TLS_ECDHE_RSA_WITH_AES_128_GCM_SHA256;TLS_RSA_WITH_AES_128_CBC_SHA");
  EXPECT_EQ(old.Feed(ServerHello(0x0302, 0xC02F)), -1);
  EXPECT_EQ(old.owner.wire, Record(21, 0x0302, std::string{char(2), char(47)}));
  // An offered suite passes.
  Client good;
  EXPECT_EQ(good.Feed(ServerHello(0x0303, 0xC02F)), 0);
  EXPECT_EQ(good.engine.handshakeState, 1);
}

TEST(CraftedServerHello, ResumesOnlyTheOfferedSession) {
  Client c;
  // A session id the hello did not offer is a new session, whatever the cache holds.
  ASSERT_EQ(c.Feed(ServerHello(0x0303, 0xC02F, "0123456789")), 0);
  EXPECT_EQ(c.engine.resumed, 0);
  EXPECT_EQ(c.engine.handshakeState, 1);
}

TEST(CraftedServerHello, DowngradeSentinelsWhenTls13IsOffered) {
  for (int last : {0, 1}) {
    Client c(0x3C00, "*");
    std::string random = std::string(24, 'r') + "DOWNGRD" + char(last);
    EXPECT_EQ(c.Feed(ServerHello(0x0303, 0xC02F, "", "", 0, random)), -1);
    EXPECT_EQ(c.owner.wire, Alert(47));
  }
  // Without a TLS 1.3 offer the same random is only a random.
  Client c;
  EXPECT_EQ(c.Feed(ServerHello(0x0303, 0xC02F, "", "", 0, std::string(24, 'r') + "DOWNGRD" + char(1))), 0);
}

TEST(CraftedServerHello, Tls13Versions) {
  // supported_versions naming TLS 1.3 to a client that did not offer it.
  Client tls12;
  EXPECT_EQ(tls12.Feed(ServerHello(0x0303, 0x1301, "", Extension(43, U16(0x0304)))), -1);
  EXPECT_EQ(tls12.owner.wire, Alert(70));
  // TLS 1.3 in the legacy field.
  Client legacy(0x3000, "*");
  EXPECT_EQ(legacy.Feed(ServerHello(0x0304, 0x1301)), -1);
  EXPECT_EQ(legacy.owner.wire, Alert(70));
  // supported_versions naming TLS 1.2.
  Client low(0x3C00, "*");
  EXPECT_EQ(low.Feed(ServerHello(0x0303, 0xC02F, "", Extension(43, U16(0x0303)))), -1);
  EXPECT_EQ(low.owner.wire, Alert(47));
  // TLS 1.2 when only TLS 1.3 is enabled is no common version.
  Client only13(0x3000, "*");
  EXPECT_EQ(only13.Feed(ServerHello(0x0303, 0x1301)), -1);
  EXPECT_EQ(only13.owner.wire, Alert(70));
}

TEST(CraftedServerHello, Tls13NeedsKeyShareAndTheEchoedSession) {
  Client noShare(0x3000, "*");
  EXPECT_EQ(noShare.Feed(ServerHello(0x0303, 0x1301, "", Extension(43, U16(0x0304)))), -1);
  EXPECT_EQ(noShare.owner.wire, Alert(109));
  Client echo(0x3000, "*");
  EXPECT_EQ(echo.Feed(ServerHello(0x0303, 0x1301, "x", Extension(43, U16(0x0304)))), -1);
  EXPECT_EQ(echo.owner.wire, Alert(47));
}

TEST(CraftedServerHello, AlpnAnswersOneOfferedName) {
  const std::string one = Extension(16, U16(3) + char(2) + "h2");
  const std::string two = Extension(16, U16(12) + char(2) + "h2" + char(8) + "http/1.1");
  const std::string other = Extension(16, U16(4) + char(3) + "spd");
  Client good(0x0C00, "TLS_ECDHE_RSA_WITH_AES_128_GCM_SHA256", "h2,http/1.1");
  ASSERT_EQ(good.Feed(ServerHello(0x0303, 0xC02F, "", one)), 0);
  EXPECT_STREQ(good.engine.GetNegotiatedAlpn(), "h2");
  for (const std::string& bad : {two, other}) {
    Client c(0x0C00, "TLS_ECDHE_RSA_WITH_AES_128_GCM_SHA256", "h2,http/1.1");
    EXPECT_EQ(c.Feed(ServerHello(0x0303, 0xC02F, "", bad)), -1);
    EXPECT_EQ(c.owner.wire, Alert(47));
  }
}

TEST(CraftedServerHello, RenegotiationInfoMustBeEmptyAtFirst) {
  Client empty;
  ASSERT_EQ(empty.Feed(ServerHello(0x0303, 0xC02F, "", Extension(0xFF01, std::string(1, '\0')))), 0);
  EXPECT_EQ(empty.engine.secureRenegotiation, 1);
  Client filled;
  EXPECT_EQ(filled.Feed(ServerHello(0x0303, 0xC02F, "", Extension(0xFF01, std::string("\x01x", 2)))), -1);
  EXPECT_EQ(filled.owner.wire, Alert(40));
}

TEST(CraftedServerFlight, MessagesOnlyInTheirPlace) {
  const std::string hello = ServerHello(0x0303, 0xC02F);
  struct Row {
    const char* name;
    std::string message;
  } rows[] = {
      {"ServerHelloDone", Message(14, "")},
      {"ServerKeyExchange", Message(12, "\x03\x00\x17")},
      {"CertificateRequest", Message(13, std::string("\x01\x01\x00\x00\x00\x00", 6))},
      {"Finished", Message(20, std::string(12, 'f'))},
      {"ServerHello", hello},
  };
  for (const Row& row : rows) {
    Client c;
    ASSERT_EQ(c.Feed(hello), 0);
    EXPECT_EQ(c.Feed(row.message), 276) << row.name;
    EXPECT_EQ(c.owner.wire, Alert(10)) << row.name;
    EXPECT_EQ(c.owner.fatalText, row.name);
  }
  // TLS 1.3 messages in a TLS 1.2 handshake.
  Client c;
  ASSERT_EQ(c.Feed(hello), 0);
  EXPECT_EQ(c.Feed(Message(8, U16(0))), -1);
  EXPECT_EQ(c.owner.wire, Alert(10));
}

TEST(CraftedServerFlight, TruncatedServerHelloIsADecodeError) {
  Client c;
  const std::string hello = ServerHello(0x0303, 0xC02F);
  const std::string cut = Message(2, hello.substr(4, 36));
  EXPECT_EQ(c.Feed(cut), -1);
  EXPECT_EQ(c.owner.wire, Alert(50));
}

TEST(HostNames, DnsNamePatterns) {
  struct Row {
    const char* pattern;
    const char* host;
    int match;
  } rows[] = {
      {"kit.example", "kit.example", 1},   {"KIT.example", "kit.EXAMPLE", 1}, {"kit.example", "kit.example.org", 0},
      {"*.example.org", "a.example.org", 1}, {"*.example.org", "a.b.example.org", 0},
      {"*.example.org", "example.org", 0}, {"*.org", "example.org", 0},     {"a*.example.org", "ab.example.org", 0},
      {"*.*.example.org", "a.b.example.org", 0}, {"k?t.example", "kit.example", 0},
      {"[a-z]it.example", "kit.example", 0}, {"*", "kit", 0},             {"*.example.org", "127.0.0.1", 0},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(tls::DnsNameMatches(row.pattern, int(std::strlen(row.pattern)), row.host), row.match)
        << row.pattern << " / " << row.host;
  }
  // An embedded NUL never matches.
  EXPECT_EQ(tls::DnsNameMatches("kit.example\0.evil", 17, "kit.example"), 0);
}

// The handshake messages of the plaintext handshake records on the wire,
// up to the first record of another type.
std::vector<std::string> HandshakeMessages(const std::string& wire) {
  std::string bytes;
  for (size_t at = 0; at + 5 <= wire.size() && wire[at] == 22;) {
    const size_t length = size_t(uint8_t(wire[at + 3])) << 8 | uint8_t(wire[at + 4]);
    bytes += wire.substr(at + 5, length);
    at += 5 + length;
  }
  std::vector<std::string> out;
  for (size_t at = 0; at + 4 <= bytes.size();) {
    const size_t length = size_t(uint8_t(bytes[at + 1])) << 16 | size_t(uint8_t(bytes[at + 2])) << 8 | uint8_t(bytes[at + 3]);
    out.push_back(bytes.substr(at, 4 + length));
    at += 4 + length;
  }
  return out;
}

struct AcceptingOwner : MemoryOwner {
  int OnTlsCertificate(ByteString&, SelectedCertificate&, int, const char*, int& accept) override {
    accept = 1;
    return 0;
  }
};

// A TLS 1.2 CertificateRequest: the client signs with the first pair of the
// server's list that its key can make and that it offered itself, and
// without one it sends an empty list and no CertificateVerify. The
// signature verifies with openssl over the transcript it covers.
TEST(CraftedCertificateRequest, Tls12PairChoice) {
  REQUIRE_OR_SKIP(testsupport::HaveOpenssl(), "openssl command not found");
  REQUIRE_OR_SKIP(!pkikit::Ensure().empty(), "PKI fixture kit could not be made");
  struct Row {
    const char* kind;  // "" for no own certificate
    std::string pairs;
    int chosen;        // 0: the empty list
  } rows[] = {
      {"rsa", U16(0x0601) + U16(0x0401), 0x0601},
      {"p256", U16(0x0401) + U16(0x0203) + U16(0x0403), 0x0203},
      {"p256", U16(0x0401) + U16(0x0501), 0},
      {"p256", U16(0x0903) + U16(0x0403), 0x0403},
      {"", U16(0x0401), 0},
  };
  const std::string serverDer = pkikit::Bytes("rsa-leaf.der");
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.kind) + " " + std::to_string(row.chosen));
    TlsEngine engine;
    AcceptingOwner owner;
    (void)engine.SetDefaults(&owner, 1);
    ASSERT_EQ(engine.SetEnabledProtocols(0x0C00), 0);
    ASSERT_EQ(engine.SetCipherSuites("TLS_RSA_WITH_AES_128_CBC_SHA"), 0);
    ASSERT_EQ(engine.SetSecurityFlags(int(TlsEngine::kSkipHostCheck)), 0);
    if (*row.kind != '\0') {
      const std::string store = pkikit::PemStore(row.kind);
      ASSERT_EQ(engine.SetCertificateStore(store.data(), int(store.size()), 7, "", "*"), 0);
    }
    ASSERT_EQ(engine.StartHandshake(), 0);
    const std::vector<std::string> hello = HandshakeMessages(owner.Take());
    ASSERT_EQ(hello.size(), 1u);
    const std::string flight =
        ServerHello(0x0303, 0x002F) + Message(11, U24(int(serverDer.size()) + 3) + U24(int(serverDer.size())) + serverDer) +
        Message(13, std::string("\x02\x01\x40", 3) + U16(int(row.pairs.size())) + row.pairs + U16(0)) + Message(14, "");
    const std::string record = Record(22, 0x0303, flight);
    ASSERT_EQ(engine.Receive(record.data(), int(record.size())), 0) << owner.fatalText;
    const std::vector<std::string> sent = HandshakeMessages(owner.wire);
    ASSERT_GE(sent.size(), 2u);
    ASSERT_EQ(sent[0][0], 11);
    if (row.chosen == 0) {
      EXPECT_EQ(sent[0], std::string("\x0b\x00\x00\x03\x00\x00\x00", 7));
      EXPECT_EQ(sent.size(), 2u);  // Certificate and ClientKeyExchange
      continue;
    }
    const std::string own = pkikit::Bytes(std::string(row.kind) + "-leaf.der");
    EXPECT_EQ(sent[0], Message(11, U24(int(own.size()) + 3) + U24(int(own.size())) + own));
    ASSERT_EQ(sent.size(), 3u);
    const std::string& verify = sent[2];
    ASSERT_EQ(verify[0], 15);
    EXPECT_EQ(verify.substr(4, 2), U16(row.chosen));
    const std::string transcript = hello[0] + flight + sent[0] + sent[1];
    const std::string signature = verify.substr(8);
    testsupport::TempFile data(transcript), sig(signature);
    const char* digest = (row.chosen >> 8) == 6 ? "sha512" : (row.chosen >> 8) == 4 ? "sha256" : "sha1";
    bool ok = false;
    testsupport::TempFile key(testsupport::RunCommand(
        "openssl x509 -noout -pubkey -in '" + pkikit::Path(std::string(row.kind) + "-leaf.crt") + "'", ok));
    const std::string out = testsupport::RunCommand("openssl dgst -" + std::string(digest) + " -verify '" + key.Path() +
                                                        "' -signature '" + sig.Path() + "' '" + data.Path() + "' 2>&1",
                                                    ok);
    EXPECT_NE(out.find("Verified OK"), std::string::npos) << out;
  }
}

}  // namespace
