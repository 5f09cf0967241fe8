// ALPN, an anonymous suite and renegotiation against openssl s_server in its
// interactive mode, each with data both ways afterwards.
#include <gtest/gtest.h>

#include <string>

#include "FifoServer.h"
#include "TestSupport.h"

namespace {

using namespace peertest;

// Accepts whatever the server shows (nothing, for an anonymous suite).
struct AcceptingOwner : SocketOwner {
  int checks = 0;
  int OnTlsCertificate(ByteString& chain, SelectedCertificate& leaf, int code, const char* text, int& accept) override {
    ++checks;
    (void)SocketOwner::OnTlsCertificate(chain, leaf, code, text, accept);
    accept = 1;
    return 0;
  }
};

int CountStatus(const SocketOwner& owner, const std::string& text) {
  int n = 0;
  for (const std::string& s : owner.statuses) n += s.rfind(text, 0) == 0 ? 1 : 0;
  return n;
}

struct Session {
  FifoServer peer;
  TlsEngine engine;
  AcceptingOwner owner;
  int status = -1;

  bool Start(const std::string& name, const std::vector<std::string>& options, int mask, const char* suites = "",
             const char* alpn = "") {
    if (!peer.Start(name, "rsa", options)) return false;
    owner.fd = Connect(peer.server.port());
    if (owner.fd < 0) return false;
    (void)engine.SetDefaults(&owner, 1);
    if (engine.SetEnabledProtocols(mask) != 0 || engine.SetRemoteHost("localhost") != 0 ||
        engine.SetSecurityFlags(0x10) != 0 || engine.SetAlpnProtocols(alpn) != 0 ||
        (*suites != '\0' && engine.SetCipherSuites(suites) != 0) || engine.StartHandshake() != 0) {
      return false;
    }
    status = Pump(engine, owner, [&] { return engine.IsEstablished() != 0; });
    return true;
  }
  // A line up to the server and one down from it.
  bool Exchange(const std::string& tag) {
    const std::string up = "up " + tag + "\n";
    int sent = 0;
    if (engine.Send(up.data(), int(up.size()), sent) != 0 || !FileShows(peer.log, "up " + tag)) return false;
    if (!peer.Line("down " + tag)) return false;
    return Pump(engine, owner, [&] { return owner.data.find("down " + tag) != std::string::npos; }) == 0 &&
           owner.data.find("down " + tag) != std::string::npos;
  }
  ~Session() {
    if (owner.fd >= 0) ::close(owner.fd);
  }
};

#define REQUIRE_PEERS()                                                          \
  REQUIRE_OR_SKIP(testsupport::HaveOpenssl(), "openssl command not found");      \
  REQUIRE_OR_SKIP(!pkikit::Ensure().empty(), "PKI fixture kit could not be made")

TEST(ClientFeaturesPeer, AlpnTakesTheServersChoice) {
  REQUIRE_PEERS();
  for (const auto& [version, mask] : {std::pair{"-tls1_2", 0x0C00}, std::pair{"-tls1_3", 0x3000}}) {
    Session s;
    ASSERT_TRUE(s.Start(std::string("alpn") + version, {version, "-alpn", "h2,http/1.1"}, mask, "", "http/1.1,h2"));
    ASSERT_EQ(s.status, 0) << version << ": " << s.owner.fatalText;
    EXPECT_STREQ(s.engine.GetNegotiatedAlpn(), "h2") << version;
    EXPECT_TRUE(s.Exchange(version));
  }
  // A server that knows none of ours ends the handshake with its alert (120,
  // which the alert table does not name).
  Session s;
  ASSERT_TRUE(s.Start("alpn_none", {"-tls1_2", "-alpn", "h2"}, 0x0C00, "", "http/1.1"));
  EXPECT_EQ(s.status, 286);
  EXPECT_EQ(s.owner.fatalText, "Received fatal alert: UNKOWN_ALERT");
}

TEST(ClientFeaturesPeer, AnonymousSuiteOnlyWhenNamed) {
  REQUIRE_PEERS();
  const std::vector<std::string> options = {"-tls1_2", "-nocert", "-cipher", "ADH-AES128-SHA:@SECLEVEL=0"};
  {
    Session s;
    ASSERT_TRUE(s.Start("anonymous", options, 0x0C00, "TLS_DH_ANON_WITH_AES_128_CBC_SHA"));
    ASSERT_EQ(s.status, 0) << s.owner.fatalText;
    EXPECT_EQ(s.engine.current.readState.Suite().GetCode(), 0x0034);
    // Nobody vouches for the server: the owner is asked, with a failed check.
    EXPECT_EQ(s.owner.checks, 1);
    EXPECT_NE(s.owner.certificateCode, 0);
    EXPECT_TRUE(s.Exchange("anonymous"));
  }
  // The default list offers no anonymous suite.
  Session s;
  ASSERT_TRUE(s.Start("anonymous_default", options, 0x0C00));
  EXPECT_EQ(s.status, 286);
  EXPECT_EQ(s.owner.fatalText, "Received fatal alert: HANDSHAKE_FAILURE");
  EXPECT_EQ(s.owner.checks, 0);
}

TEST(ClientFeaturesPeer, RenegotiationWhenEnabledRefusalWhenNot) {
  REQUIRE_PEERS();
  struct Row {
    const char* command;  // "r": renegotiate; "R": renegotiate asking for a certificate
    int enabled;
  } rows[] = {{"r", 1}, {"R", 1}, {"r", 0}};
  for (const Row& row : rows) {
    const std::string name = std::string("renegotiate_") + row.command + std::to_string(row.enabled);
    Session s;
    ASSERT_TRUE(s.Start(name, {"-tls1_2"}, 0x0C00));
    ASSERT_EQ(s.status, 0) << name << ": " << s.owner.fatalText;
    s.engine.renegotiationEnabled = row.enabled;
    ASSERT_TRUE(s.Exchange(name + " before"));
    ASSERT_TRUE(s.peer.Line(row.command));
    if (row.enabled != 0) {
      ASSERT_EQ(Pump(s.engine, s.owner, [&] { return s.owner.handshakeDone == 2; }), 0) << name << ": "
                                                                                        << s.owner.fatalText;
      EXPECT_EQ(CountStatus(s.owner, "ClientHello message sent"), 2) << name;
      EXPECT_EQ(CountStatus(s.owner, "Negotiated SSL parameters:"), 2) << name;
      EXPECT_TRUE(s.Exchange(name + " after")) << name;
    } else {
      (void)Pump(s.engine, s.owner, [&] {
        return CountStatus(s.owner, "Renegotiate is disabled. Send NO_RENEGOTIATION alert message.") == 1;
      });
      EXPECT_EQ(CountStatus(s.owner, "Renegotiate is disabled. Send NO_RENEGOTIATION alert message."), 1) << name;
      EXPECT_EQ(CountStatus(s.owner, "ClientHello message sent"), 1) << name;
      EXPECT_EQ(s.owner.handshakeDone, 1) << name;
    }
  }
}

}  // namespace
