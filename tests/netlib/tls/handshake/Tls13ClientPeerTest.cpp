// The TLS 1.3 client against openssl s_server -tls1_3 on 127.0.0.1: each case
// completes the handshake, exchanges data both ways and derives every secret
// the server logged.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "PeerSession.h"
#include "SecretDumps.h"
#include "TestSupport.h"
#include "TestText.h"
#include "../../pki/kit/PkiKit.h"

namespace {

using namespace peertest;

struct Case {
  const char* name;
  const char* kit;          // leaf key type of the fixture kit
  const char* suites;       // the server's -ciphersuites
  const char* groups;       // the server's -groups
  int code;                 // the suite the server must choose
  bool retry;               // the server must ask for another key share
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

std::string Dumped(const SocketOwner& owner, const std::string& label) {
  return peertest::Dumped(owner.statuses, label);
}

struct Session {
  PeerProcess server;
  std::string keylog;
  std::string log;
  TlsEngine engine;
  SocketOwner owner;
  int status = -1;

  // Starts the server with `options` and runs a TLS 1.3-only handshake.
  void Run(const std::string& name, const std::string& kit, const std::vector<std::string>& options) {
    const std::string dir = std::filesystem::temp_directory_path() / ("tls13_client_peer_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    keylog = dir + "/" + name + ".keys";
    log = dir + "/" + name + ".log";
    std::filesystem::remove(keylog);
    const std::string k = pkikit::Path(kit);
    const std::string chain = dir + "/" + kit + "-chain.pem";
    {
      std::ofstream out(chain);
      out << testsupport::ReadFileText(pkikit::Path(kit + "-int.crt"))
          << testsupport::ReadFileText(pkikit::Path(kit + "-root.crt"));
    }
    std::vector<std::string> argv = {"openssl", "s_server", "-accept", "127.0.0.1:{port}", "-cert", k + "-leaf.crt",
                                     "-key", k + "-leaf.key", "-cert_chain", chain, "-keylogfile", keylog, "-www"};
    argv.insert(argv.end(), options.begin(), options.end());
    ASSERT_TRUE(server.Start(argv, 0, log));
    owner.fd = Connect(server.port());
    ASSERT_GE(owner.fd, 0);
    (void)engine.SetDefaults(&owner, 1);
    engine.logSecrets = 1;
    ASSERT_EQ(engine.SetEnabledProtocols(0x3000), 0);
    ASSERT_EQ(engine.SetRemoteHost("localhost"), 0);
    ASSERT_EQ(engine.SetSecurityFlags(0x10), 0);  // the kit's self-signed root counts as trusted
    ASSERT_EQ(engine.StartHandshake(), 0);
    status = Pump(engine, owner, [&] { return engine.IsEstablished() != 0; });
  }
  ~Session() {
    if (owner.fd >= 0) ::close(owner.fd);
  }
};

// Groups or certificate kinds the client does not offer and a server that
// stops at TLS 1.2 end the handshake with the server's alert, never with a
// half-made session.
TEST(Tls13ClientRefusals, ServerWithoutACommonGroupOrVersion) {
  REQUIRE_OR_SKIP(testsupport::HaveOpenssl(), "openssl command not found");
  REQUIRE_OR_SKIP(!pkikit::Ensure().empty(), "PKI fixture kit could not be made");
  struct Refusal {
    std::string name;
    std::string kit;
    std::vector<std::string> options;
    std::string alert;
  };
  const Refusal cases[] = {
      {"x25519_only", "rsa", {"-tls1_3", "-groups", "X25519"}, "Received fatal alert: HANDSHAKE_FAILURE"},
      {"tls12_only", "rsa", {"-tls1_2"}, "Received fatal alert: PROTOCOL_VERSION"},
      // No Ed25519 scheme is offered, so the server has no certificate to use.
      {"ed25519_only", "ed25519", {"-tls1_3"}, "Received fatal alert: HANDSHAKE_FAILURE"},
  };
  for (const auto& [name, kit, options, alert] : cases) {
    Session s;
    s.Run(name, kit, options);
    EXPECT_NE(s.status, 0) << name;
    EXPECT_EQ(s.engine.IsEstablished(), 0) << name;
    EXPECT_TRUE(s.owner.data.empty()) << name;
    EXPECT_EQ(s.status, 286) << name;
    EXPECT_EQ(s.owner.fatalText, alert) << name;
  }
}

void RunCase(const Case& c) {
  const std::string dir = std::filesystem::temp_directory_path() / ("tls13_client_peer_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string keylog = dir + "/" + c.name + ".keys";
  const std::string log = dir + "/" + c.name + ".log";
  std::filesystem::remove(keylog);
  const std::string k = pkikit::Path(c.kit);
  const std::string chain = dir + "/" + c.kit + "-chain.pem";
  {
    std::ofstream out(chain);
    out << testsupport::ReadFileText(pkikit::Path(std::string(c.kit) + "-int.crt"))
        << testsupport::ReadFileText(pkikit::Path(std::string(c.kit) + "-root.crt"));
  }
  PeerProcess server;
  ASSERT_TRUE(server.Start({"openssl", "s_server", "-accept", "127.0.0.1:{port}", "-cert", k + "-leaf.crt", "-key",
                            k + "-leaf.key", "-cert_chain", chain, "-keylogfile", keylog, "-www", "-tls1_3", "-ciphersuites", c.suites, "-groups",
                            c.groups},
                           0, log));
  TlsEngine engine;
  SocketOwner owner;
  owner.fd = Connect(server.port());
  ASSERT_GE(owner.fd, 0);
  (void)engine.SetDefaults(&owner, 1);
  engine.logSecrets = 1;
  ASSERT_EQ(engine.SetEnabledProtocols(0x3000), 0);
  ASSERT_EQ(engine.SetRemoteHost("localhost"), 0);
  ASSERT_EQ(engine.SetSecurityFlags(0x10), 0);  // the kit's self-signed root counts as trusted
  ASSERT_EQ(engine.StartHandshake(), 0);
  const int status = Pump(engine, owner, [&] { return engine.IsEstablished() != 0; });
  ASSERT_EQ(status, 0) << c.name << ": " << owner.fatalText << " / " << testsupport::ReadFileText(log);
  ASSERT_EQ(engine.IsEstablished(), 1);
  EXPECT_EQ(engine.current.readState.Suite().GetCode(), c.code);
  EXPECT_EQ(engine.pending.helloRetry != 0, c.retry);

  // The request goes out under the application keys and the status page
  // comes back under the server's, after its session tickets.
  const std::string request = "GET / HTTP/1.0\r\n\r\n";
  int sent = 0;
  ASSERT_EQ(engine.Send(request.data(), int(request.size()), sent), 0);
  EXPECT_EQ(sent, int(request.size()));
  (void)Pump(engine, owner, [&] { return owner.data.find("</HTML>") != std::string::npos ||
                                         owner.data.find("</html>") != std::string::npos; });
  EXPECT_EQ(owner.data.rfind("HTTP/1.0 200 ok", 0), 0u) << owner.fatalText << " / " << owner.data.substr(0, 200);
  EXPECT_NE(owner.data.find("TLSv1.3"), std::string::npos);

  const std::string random = Hex(engine.current.clientRandom);
  const std::map<std::string, std::string> logged = KeyLog(keylog, random);
  ASSERT_EQ(logged.size(), 5u) << testsupport::ReadFileText(keylog);
  EXPECT_EQ(logged.at("CLIENT_HANDSHAKE_TRAFFIC_SECRET"), Dumped(owner, "Tls13_ClientHandshakeTrafficSecret"));
  EXPECT_EQ(logged.at("SERVER_HANDSHAKE_TRAFFIC_SECRET"), Dumped(owner, "Tls13_ServerHandshakeTrafficSecret"));
  EXPECT_EQ(logged.at("CLIENT_TRAFFIC_SECRET_0"), Hex(engine.applicationTrafficSecrets[0]));
  EXPECT_EQ(logged.at("SERVER_TRAFFIC_SECRET_0"), Hex(engine.applicationTrafficSecrets[1]));
  EXPECT_EQ(logged.at("EXPORTER_SECRET"), Hex(engine.current.exporterMasterSecret));
  ::close(owner.fd);
}

class Tls13ClientPeer : public ::testing::TestWithParam<Case> {};

TEST_P(Tls13ClientPeer, HandshakeDataAndSecrets) {
  REQUIRE_OR_SKIP(testsupport::HaveOpenssl(), "openssl command not found");
  REQUIRE_OR_SKIP(!pkikit::Ensure().empty(), "PKI fixture kit could not be made");
  RunCase(GetParam());
}

const Case kCases[] = {
    {"aes128_p256_rsa", "rsa", "TLS_AES_128_GCM_SHA256", "P-256", 0x1301, false},
    {"aes256_p384_rsa", "rsa", "TLS_AES_256_GCM_SHA384", "P-384", 0x1302, false},
    {"chacha_ffdhe2048_rsa", "rsa", "TLS_CHACHA20_POLY1305_SHA256", "ffdhe2048", 0x1303, false},
    {"aes128_p256_ecdsa_p256", "p256", "TLS_AES_128_GCM_SHA256", "P-256", 0x1301, false},
    {"aes256_p384_ecdsa_p384", "p384", "TLS_AES_256_GCM_SHA384", "P-384", 0x1302, false},
    {"ffdhe3072_rsa", "rsa", "TLS_AES_128_GCM_SHA256", "ffdhe3072", 0x1301, false},
    {"retry_ffdhe4096", "rsa", "TLS_AES_256_GCM_SHA384", "ffdhe4096", 0x1302, true},
    {"retry_p521", "rsa", "TLS_AES_128_GCM_SHA256", "P-521", 0x1301, true},
    {"retry_aes256_p521", "rsa", "TLS_AES_256_GCM_SHA384", "P-521", 0x1302, true},
};

INSTANTIATE_TEST_SUITE_P(Suites, Tls13ClientPeer, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace
