// TLS 1.3 KeyUpdate between two engines in memory: both directions move on
// to the secret RFC 8446 defines (checked with openssl's TLS13-KDF), a
// requested update is answered, and malformed or misplaced ones end the
// connection with their alert.
#include <gtest/gtest.h>

#include <string>

#include "../record/EngineHarness.h"
#include "TestSupport.h"
#include "TestText.h"
#include "tls/suites/CipherSuite.h"

namespace {

using namespace enginetest;

std::string Bytes(const ByteString& b) { return std::string(b.Data(), size_t(b.Length())); }

// openssl's own HKDF-Expand-Label: the next traffic secret of `secret`.
std::string OpensslTrafficUpdate(const std::string& digest, const std::string& secret) {
  bool ok = false;
  const std::string out = testsupport::RunCommand(
      "openssl kdf -keylen " + std::to_string(secret.size()) + " -kdfopt digest:" + digest +
          " -kdfopt mode:EXPAND_ONLY -kdfopt hexkey:" + testsupport::Hex(secret) +
          " -kdfopt 'prefix:tls13 ' -kdfopt 'label:traffic upd' TLS13-KDF 2>/dev/null",
      ok);
  std::string hex;
  for (char ch : out) {
    if (std::isxdigit(static_cast<unsigned char>(ch))) hex += char(std::tolower(static_cast<unsigned char>(ch)));
  }
  return ok ? testsupport::Unhex(hex) : "";
}

// A client and a server after a TLS 1.3 handshake of `code`, with the same
// application traffic secrets and the keys that follow from them.
struct Tls13Pair : Pair {
  int Setup13(int code) {
    const CipherSuite* suite = CipherSuite::FindByCode(code);
    if (suite == nullptr || Setup(code, 0x0304, suite->GetKeyLength(), suite->GetIvLength()) != 0) return 1;
    const std::string secrets[2] = {std::string(size_t(suite->GetMacLength()), 'c'),
                                    std::string(size_t(suite->GetMacLength()), 's')};
    for (TlsEngine* engine : {&client, &server}) {
      for (int i = 0; i < 2; ++i) {
        if (engine->applicationTrafficSecrets[i].Set(secrets[i].data(), int(secrets[i].size())) != 0) return 1;
      }
      if (engine->UpdateTrafficSecret(0) != 0 || engine->UpdateTrafficSecret(1) != 0) return 1;
    }
    clientOwner.statuses.clear();
    serverOwner.statuses.clear();
    return 0;
  }
  // Carries what one side wrote to the other.
  int ToClient() {
    const std::string wire = serverOwner.Take();
    return client.Receive(wire.data(), int(wire.size()));
  }
  int ToServer() {
    const std::string wire = clientOwner.Take();
    return server.Receive(wire.data(), int(wire.size()));
  }
  // Application data both ways.
  bool Exchange(const std::string& tag) {
    int sent = 0;
    const std::string up = "up " + tag, down = "down " + tag;
    clientOwner.data.clear();
    serverOwner.data.clear();
    return client.Send(up.data(), int(up.size()), sent) == 0 && ToServer() == 0 && serverOwner.data == up &&
           server.Send(down.data(), int(down.size()), sent) == 0 && ToClient() == 0 && clientOwner.data == down;
  }
};

TEST(KeyUpdate, BothDirectionsMoveOnAndARequestIsAnswered) {
  REQUIRE_OR_SKIP(testsupport::HaveOpenssl(), "openssl command not found");
  struct Row {
    int code;
    const char* digest;
  } rows[] = {{0x1301, "SHA256"}, {0x1302, "SHA384"}, {0x1303, "SHA256"}};
  for (const Row& row : rows) {
    Tls13Pair p;
    ASSERT_EQ(p.Setup13(row.code), 0);
    ASSERT_TRUE(p.Exchange("before"));
    const std::string server0 = Bytes(p.client.applicationTrafficSecrets[1]);
    const std::string client0 = Bytes(p.client.applicationTrafficSecrets[0]);

    // The server moves on and asks for our update: the client follows on its
    // read side, answers, and moves its own write side.
    ASSERT_EQ(p.server.SendKeyUpdate(1), 0);
    ASSERT_EQ(p.ToClient(), 0);
    EXPECT_EQ(Bytes(p.client.applicationTrafficSecrets[1]), OpensslTrafficUpdate(row.digest, server0)) << row.code;
    EXPECT_EQ(Bytes(p.client.applicationTrafficSecrets[0]), OpensslTrafficUpdate(row.digest, client0)) << row.code;
    EXPECT_EQ(p.client.current.readState.GetSequence(), 0u);
    ASSERT_EQ(p.ToServer(), 0);
    // The client's answer asked for nothing, so the server sent nothing back.
    EXPECT_TRUE(p.serverOwner.wire.empty());
    EXPECT_EQ(Bytes(p.server.applicationTrafficSecrets[0]), Bytes(p.client.applicationTrafficSecrets[0]));
    ASSERT_TRUE(p.Exchange("after server update")) << row.code;

    // An update of the client's own, not requesting one back: only that direction moves.
    const std::string server1 = Bytes(p.client.applicationTrafficSecrets[1]);
    ASSERT_EQ(p.client.SendKeyUpdate(0), 0);
    ASSERT_EQ(p.ToServer(), 0);
    EXPECT_TRUE(p.serverOwner.wire.empty());
    EXPECT_EQ(Bytes(p.client.applicationTrafficSecrets[1]), server1);
    ASSERT_TRUE(p.Exchange("after client update")) << row.code;
  }
}

// A protected handshake record from the server carrying `body`.
int FeedProtected(Tls13Pair& p, const std::string& body) {
  if (p.server.SendRecord(22, 0x0303, body.data(), int(body.size())) != 0) return 1;
  return p.ToClient();
}

// The alert the client sent, as the server reads it.
std::string AlertSeen(Tls13Pair& p) {
  (void)p.ToServer();
  return p.serverOwner.fatalText;
}

TEST(KeyUpdate, MalformedOrMisplacedIsRefused) {
  struct Row {
    const char* name;
    std::string body;
    int state;
    const char* alert;
  } rows[] = {
      {"request value 2", std::string("\x18\x00\x00\x01\x02", 5), tlsstate::kComplete,
       "Received fatal alert: ILLEGAL_PARAMETER"},
      {"two-byte body", std::string("\x18\x00\x00\x02\x00\x00", 6), tlsstate::kComplete,
       "Received fatal alert: DECODE_ERROR"},
      {"before the handshake completed", std::string("\x18\x00\x00\x01\x00", 5), tlsstate::kTls13Extensions,
       "Received fatal alert: UNEXPECTED_MESSAGE"},
      {"not at the end of its record", std::string("\x18\x00\x00\x01\x00\x18\x00\x00\x01\x00", 10),
       tlsstate::kComplete, "Received fatal alert: UNEXPECTED_MESSAGE"},
  };
  for (const Row& row : rows) {
    Tls13Pair p;
    ASSERT_EQ(p.Setup13(0x1301), 0);
    p.client.handshakeState = row.state;
    const std::string before = Bytes(p.client.applicationTrafficSecrets[1]);
    EXPECT_NE(FeedProtected(p, row.body), 0) << row.name;
    EXPECT_EQ(Bytes(p.client.applicationTrafficSecrets[1]), before) << row.name;
    EXPECT_EQ(AlertSeen(p), row.alert) << row.name;
    int sent = 0;
    EXPECT_NE(p.client.Send("x", 1, sent), 0) << row.name;
  }
}

}  // namespace
