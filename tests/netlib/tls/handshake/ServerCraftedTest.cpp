// Crafted client messages against our server: RSA pre-master blocks that
// must all end alike, supported_versions with unknown entries, and
// renegotiations with and without the right binding.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "ServerKit.h"
#include "TestProcess.h"
#include "TestSupport.h"
#include "crypto/rsa/RsaEngine.h"

namespace {

using namespace serverkit;

// How the server ended one handshake whose ClientKeyExchange was replaced.
struct Ending {
  int status = 0;
  int fatalCode = 0;
  std::string fatalText;
  std::string alert;          // the bytes the server wrote after the client's flight
  std::vector<std::string> statuses;
};

enum class Block { kGood, kBadType, kNoSeparator, kShortPadding, kShortMessage, kWrongVersion };

// The 00 02 PS 00 M block for the key, spoiled as asked.
std::string MakeBlock(Block kind, int k, int version) {
  std::string em(size_t(k), '\x55');
  em[0] = 0;
  em[1] = 2;
  int message = 48;
  if (kind == Block::kShortMessage) message = 47;
  int separator = k - message - 1;
  if (kind == Block::kShortPadding) separator = 6;
  if (kind != Block::kNoSeparator) em[size_t(separator)] = 0;
  em[size_t(k - 48)] = char(version >> 8);
  em[size_t(k - 47)] = char(version);
  if (kind == Block::kWrongVersion) em[size_t(k - 47)] = char((version & 0xFF) - 1);
  if (kind == Block::kBadType) em[1] = 1;
  return em;
}

Ending RunWithBlock(SelectedCertificate& own, Block kind) {
  Ending out;
  MemoryPair pair;
  pair.server.ownCertificate = &own;
  EXPECT_EQ(pair.client.SetEnabledProtocols(0x0C00), 0);
  // An AEAD suite: the client's Finished, sealed under keys the server does
  // not share, fails its tag every time. Under CBC its padding would pass by
  // chance about one time in 256, and the failure text would change with it.
  EXPECT_EQ(pair.client.SetCipherSuites("TLS_RSA_WITH_AES_128_GCM_SHA256"), 0);
  EXPECT_EQ(pair.server.StartHandshake(), 0);
  EXPECT_EQ(pair.client.StartHandshake(), 0);
  std::string hello = pair.clientOwner.Take();
  EXPECT_EQ(pair.server.Receive(hello.data(), int(hello.size())), 0);
  std::string flight = pair.serverOwner.Take();
  EXPECT_EQ(pair.client.Receive(flight.data(), int(flight.size())), 0);
  std::string answer = pair.clientOwner.Take();
  // Record header, handshake header, the 2-byte length, then the k-byte ciphertext.
  RsaKey key;
  EXPECT_EQ(own.GetManager()->GetRsaKey(key, 1), 0);
  RsaEngine engine;
  EXPECT_EQ(engine.SetKey(key), 0);
  const int k = key.n.Length() - (key.n.ByteAt(0) == 0 ? 1 : 0);
  EXPECT_GT(int(answer.size()), 11 + k);
  EXPECT_EQ(uint8_t(answer[5]), 16);
  const std::string block = MakeBlock(kind, k, 0x0303);
  ByteString sealed;
  EXPECT_EQ(engine.PublicOperation(block.data(), k, sealed), 0);
  EXPECT_EQ(sealed.Length(), k);
  answer.replace(11, size_t(k), sealed.Data(), size_t(k));
  pair.serverOwner.statuses.clear();
  out.status = pair.server.Receive(answer.data(), int(answer.size()));
  out.fatalCode = pair.serverOwner.fatalCode;
  out.fatalText = pair.serverOwner.fatalText;
  out.alert = pair.serverOwner.Take();
  out.statuses = pair.serverOwner.statuses;
  return out;
}

// Bad padding, a wrong length or a wrong version: the same steps, the same
// alert and the same failure as a well-formed block with another secret.
TEST(ServerRsaPremaster, EveryBadBlockEndsLikeAGoodOne) {
  auto own = Identity("rsa");
  REQUIRE_OR_SKIP(own != nullptr, "PKI fixture kit or its PKCS#12 file could not be made");
  const Ending good = RunWithBlock(*own, Block::kGood);
  EXPECT_NE(good.status, 0);
  EXPECT_FALSE(good.alert.empty());
  for (Block kind : {Block::kBadType, Block::kNoSeparator, Block::kShortPadding, Block::kShortMessage,
                     Block::kWrongVersion}) {
    const Ending bad = RunWithBlock(*own, kind);
    SCOPED_TRACE(int(kind));
    EXPECT_EQ(bad.status, good.status);
    EXPECT_EQ(bad.fatalCode, good.fatalCode);
    EXPECT_EQ(bad.fatalText, good.fatalText);
    EXPECT_EQ(bad.alert, good.alert);
    EXPECT_EQ(bad.statuses, good.statuses);
  }
}

// A ClientHello for TLS 1.3 with a P-256 share, its supported_versions as given.
std::string Tls13Hello(const std::vector<int>& versions) {
  DhParameters share(1);
  (void)share.UseEllipticCurve(1);
  (void)share.SetGroup(23, 1);
  EXPECT_EQ(share.GenerateEcKey(), 0);
  ByteString point;
  EXPECT_EQ(share.GetOwnPublic(point), 0);
  WireBuffer ext;
  const auto add = [&ext](int type, const std::string& body) {
    EXPECT_EQ(ext.PutU16(type), 0);
    EXPECT_EQ(ext.PutU16(int(body.size())), 0);
    EXPECT_EQ(ext.PutBytes(body.data(), int(body.size())), 0);
  };
  std::string list;
  for (int v : versions) list += std::string{char(v >> 8), char(v)};
  add(43, std::string(1, char(list.size())) + list);
  add(10, std::string("\x00\x02\x00\x17", 4));
  add(13, std::string("\x00\x04\x08\x04\x04\x01", 6));
  const std::string key(point.Data(), size_t(point.Length()));
  add(51, std::string{0, char(key.size() + 4), 0, 0x17, 0, char(key.size())} + key);
  std::string body = std::string("\x03\x03", 2) + std::string(32, 'r') + std::string(1, '\0');
  body += std::string("\x00\x04\x13\x01\xc0\x2f", 6) + std::string("\x01\x00", 2);
  body += std::string{char(ext.Length() >> 8), char(ext.Length())} + std::string(ext.Data(), size_t(ext.Length()));
  const std::string message = std::string{1, 0, char(body.size() >> 8), char(body.size())} + body;
  return enginetest::Record(22, 0x0301, message);
}

// The first entry the server knows and has enabled counts: an unknown one
// first does not push the client down to TLS 1.2; 0x0303 first does.
TEST(ServerSupportedVersions, FirstKnownEnabledEntryWins) {
  auto own = Identity("rsa");
  REQUIRE_OR_SKIP(own != nullptr, "PKI fixture kit or its PKCS#12 file could not be made");
  struct Row {
    std::vector<int> versions;
    int chosen;
  };
  const Row rows[] = {{{0x0A0A, 0x0304, 0x0303}, 0x0304}, {{0x0304, 0x0303}, 0x0304}, {{0x0303, 0x0304}, 0x0303},
                      {{0x7F17, 0x0303}, 0x0303}};
  for (const Row& row : rows) {
    TrustingOwner owner;
    TlsEngine server;
    (void)server.SetDefaults(&owner, 0);
    server.ownCertificate = own.get();
    ASSERT_EQ(server.StartHandshake(), 0);
    const std::string hello = Tls13Hello(row.versions);
    ASSERT_EQ(server.Receive(hello.data(), int(hello.size())), 0) << owner.fatalText;
    EXPECT_EQ(server.pending.version, row.chosen);
    const std::string wire = owner.Take();
    ASSERT_GT(wire.size(), 43u);
    // Record header, handshake header, version, then the random.
    const std::string tail = wire.substr(5 + 4 + 2 + 24, 8);
    if (row.chosen == 0x0304) {
      EXPECT_NE(tail.substr(0, 7), "DOWNGRD");
    } else {
      EXPECT_EQ(tail, std::string("DOWNGRD\x01", 8));
    }
  }
}

// A renegotiation bound to the last Finished completes; one with another
// binding gets the warning and leaves the connection as it was.
TEST(ServerRenegotiation, OnlyTheRightBindingIsTaken) {
  auto own = Identity("rsa");
  REQUIRE_OR_SKIP(own != nullptr, "PKI fixture kit or its PKCS#12 file could not be made");
  for (bool tampered : {false, true}) {
    MemoryPair pair;
    pair.server.ownCertificate = own.get();
    ASSERT_EQ(pair.client.SetEnabledProtocols(0x0C00), 0);
    ASSERT_EQ(pair.Handshake(), 0);
    ASSERT_TRUE(pair.Established());
    ByteString before;
    ASSERT_EQ(before.Assign(pair.server.current.masterSecret), 0);
    if (tampered) pair.client.ownVerifyData.Bytes()[0] ^= 1;
    pair.serverOwner.statuses.clear();
    ASSERT_EQ(pair.client.SendClientHello(), 0);
    pair.Pump();
    if (tampered) {
      EXPECT_TRUE(pair.serverOwner.HasStatus("Renegotiate is disabled. Send NO_RENEGOTIATION alert message."));
      EXPECT_TRUE(pair.server.current.masterSecret.Equals(before));
      EXPECT_EQ(pair.serverStatus, 0);
    } else {
      EXPECT_EQ(pair.serverStatus, 0) << pair.serverOwner.fatalText << " / " << pair.clientOwner.fatalText;
      EXPECT_EQ(pair.clientStatus, 0) << pair.clientOwner.fatalText;
      EXPECT_EQ(pair.serverOwner.handshakeDone, 2);
      EXPECT_FALSE(pair.server.current.masterSecret.Equals(before));
      EXPECT_TRUE(pair.Exchange("after", "renegotiation"));
    }
  }
}

// TLS 1.3 has no renegotiation: a second ClientHello is an unexpected message.
TEST(ServerRenegotiation, Tls13RefusesAnotherHello) {
  auto own = Identity("rsa");
  REQUIRE_OR_SKIP(own != nullptr, "PKI fixture kit or its PKCS#12 file could not be made");
  MemoryPair pair;
  pair.server.ownCertificate = own.get();
  ASSERT_EQ(pair.Handshake(), 0);
  ASSERT_TRUE(pair.Established());
  ASSERT_EQ(pair.server.current.version, 0x0304);
  // The hello travels in an application-data record under the client's keys.
  const std::string hello = Tls13Hello({0x0304}).substr(5);
  ASSERT_EQ(pair.client.ProtectRecord(22, 0x0303, hello.data(), int(hello.size())), 0);
  pair.Pump();
  EXPECT_EQ(pair.serverStatus, TlsEngine::kStatusAlertSent);
  EXPECT_EQ(pair.serverOwner.fatalText, "Sent fatal alert: UNEXPECTED_MESSAGE");
}

}  // namespace

namespace {

// The own key's signatures over a SHA-256 digest, checked by openssl pkeyutl
// with the certificate's public key.
TEST(ServerOwnKey, SignaturesVerifyWithOpenssl) {
  REQUIRE_OR_SKIP(testsupport::HaveOpenssl(), "openssl command not found");
  for (const char* kit : {"rsa", "p256", "dsa"}) {
    SCOPED_TRACE(kit);
    auto own = Identity(kit);
    REQUIRE_OR_SKIP(own != nullptr, "PKI fixture kit or its PKCS#12 file could not be made");
    TlsSecurityContext context;
    context.ownCertificate = own.get();
    context.version = 0x0303;
    const std::string digestText(32, '\x5a');
    ByteString digest, signature;
    ASSERT_EQ(digest.Set(digestText.data(), 32), 0);
    ASSERT_EQ(context.SignWithOwnKey(digest, "SHA256", signature), 0);
    testsupport::ScratchDir dir("own_key_signature");
    const std::string base = dir.path().string() + "/";
    std::ofstream(base + "digest", std::ios::binary) << digestText;
    std::ofstream(base + "sig", std::ios::binary) << std::string(signature.Data(), size_t(signature.Length()));
    bool ok = false;
    const std::string out = pkikit::Run("openssl x509 -in " + std::string(kit) + "-leaf.crt -pubkey -noout > " + base +
                                            "pub.pem && openssl pkeyutl -verify -pubin -inkey " + base +
                                            "pub.pem -pkeyopt digest:sha256 -in " + base + "digest -sigfile " + base +
                                            "sig 2>&1",
                                        ok);
    EXPECT_TRUE(ok) << out;
    EXPECT_NE(out.find("Signature Verified Successfully"), std::string::npos) << out;
  }
}

}  // namespace
