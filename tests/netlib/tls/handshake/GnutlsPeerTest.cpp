// The client against gnutls-serv on 127.0.0.1, the peer for the suites
// openssl no longer speaks (3DES, RC4) and a second TLS 1.3 implementation:
// each case completes the handshake, has its data echoed and derives the
// secrets the server logged. A weak Diffie-Hellman prime is refused.
#include <gtest/gtest.h>

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

const char* const kLegacyPriority =
    "NORMAL:+VERS-TLS1.0:+VERS-TLS1.1:+3DES-CBC:+ARCFOUR-128:+RSA:+DHE-RSA:+SHA1:+MD5:%VERIFY_ALLOW_SIGN_WITH_SHA1";

struct Case {
  const char* name;
  const char* kit;       // leaf key type of the fixture kit
  int mask;              // our enabled protocols
  const char* suite;     // our one suite ("" = the default list)
  const char* priority;  // gnutls-serv's
  int code;              // the suite the server must choose
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

struct GnutlsRun {
  PeerProcess server;
  std::string dir, keylog, log;

  bool Start(const std::string& name, const std::string& kit, const std::string& priority,
             const std::vector<std::string>& extra = {}) {
    dir = std::filesystem::temp_directory_path() / ("tls_gnutls_peer_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    keylog = dir + "/" + name + ".keys";
    log = dir + "/" + name + ".log";
    std::filesystem::remove(keylog);
    const std::string k = pkikit::Path(kit);
    const std::string chain = dir + "/" + kit + "-chain.pem";
    {
      std::ofstream out(chain);
      out << testsupport::ReadFileText(k + "-leaf.crt") << testsupport::ReadFileText(pkikit::Path(kit + "-int.crt"))
          << testsupport::ReadFileText(pkikit::Path(kit + "-root.crt"));
    }
    // gnutls listens on every address; the test only ever connects to 127.0.0.1.
    std::string command = "SSLKEYLOGFILE='" + keylog + "' exec gnutls-serv --port {port} --echo --x509certfile '" +
                          chain + "' --x509keyfile '" + k + "-leaf.key' --priority '" + priority + "'";
    for (const std::string& option : extra) command += " '" + option + "'";
    return server.Start({"sh", "-c", command + " </dev/null"}, 0, log);
  }
};

struct Client {
  TlsEngine engine;
  SocketOwner owner;
  int status = -1;
  int Run(int port, int mask, const char* suite) {
    owner.fd = Connect(port);
    if (owner.fd < 0) return -1;
    (void)engine.SetDefaults(&owner, 1);
    if (engine.SetEnabledProtocols(mask) != 0 || engine.SetRemoteHost("localhost") != 0 ||
        engine.SetSecurityFlags(0x10) != 0 || (*suite != '\0' && engine.SetCipherSuites(suite) != 0)) {
      return -1;
    }
    engine.logSecrets = 1;
    if (engine.StartHandshake() != 0) return -1;
    status = Pump(engine, owner, [&] { return engine.IsEstablished() != 0; });
    return status;
  }
  ~Client() {
    if (owner.fd >= 0) ::close(owner.fd);
  }
};

bool HaveGnutls() { return !testsupport::FindProgram("gnutls-serv").empty(); }

class GnutlsPeer : public ::testing::TestWithParam<Case> {};

TEST_P(GnutlsPeer, HandshakeEchoAndSecrets) {
  REQUIRE_OR_SKIP(HaveGnutls(), "gnutls-serv not found (gnutls-bin)");
  REQUIRE_OR_SKIP(!pkikit::Ensure().empty(), "PKI fixture kit could not be made");
  const Case& c = GetParam();
  GnutlsRun run;
  ASSERT_TRUE(run.Start(c.name, c.kit, c.priority)) << testsupport::ReadFileText(run.log);
  Client client;
  ASSERT_EQ(client.Run(run.server.port(), c.mask, c.suite), 0)
      << c.name << ": " << client.owner.fatalText << " / " << testsupport::ReadFileText(run.log);
  EXPECT_EQ(client.engine.current.readState.Suite().GetCode(), c.code);

  const std::string line = std::string("echo ") + c.name + "\n";
  int sent = 0;
  ASSERT_EQ(client.engine.Send(line.data(), int(line.size()), sent), 0);
  (void)Pump(client.engine, client.owner, [&] { return client.owner.data.find(line) != std::string::npos; });
  EXPECT_EQ(client.owner.data, line) << client.owner.fatalText;

  std::map<std::string, std::string> logged;
  for (int i = 0; i < 500 && logged.empty(); ++i) {  // up to 10 s
    logged = KeyLog(run.keylog, Hex(client.engine.current.clientRandom));
    if (logged.empty()) ::usleep(20000);
  }
  ASSERT_FALSE(logged.empty()) << testsupport::ReadFileText(run.keylog);
  if (client.engine.tls13 != 0) {
    EXPECT_EQ(logged.at("CLIENT_TRAFFIC_SECRET_0"), Hex(client.engine.applicationTrafficSecrets[0]));
    EXPECT_EQ(logged.at("SERVER_TRAFFIC_SECRET_0"), Hex(client.engine.applicationTrafficSecrets[1]));
  } else {
    EXPECT_EQ(logged.at("CLIENT_RANDOM"), Hex(client.engine.current.masterSecret));
  }
}

const char* const kTls13Priority = "NORMAL:-VERS-ALL:+VERS-TLS1.3";

const Case kCases[] = {
    {"tls10_rsa_3des", "rsa", 0x00C0, "TLS_RSA_WITH_3DES_EDE_CBC_SHA", kLegacyPriority, 0x000A},
    {"tls10_dhe_rsa_3des", "rsa", 0x00C0, "TLS_DHE_RSA_WITH_3DES_EDE_CBC_SHA", kLegacyPriority, 0x0016},
    {"tls12_ecdhe_rsa_3des", "rsa", 0x0C00, "TLS_ECDHE_RSA_WITH_3DES_EDE_CBC_SHA", kLegacyPriority, 0xC012},
    {"tls12_rsa_3des", "rsa", 0x0C00, "TLS_RSA_WITH_3DES_EDE_CBC_SHA", kLegacyPriority, 0x000A},
    {"tls10_rsa_rc4_md5", "rsa", 0x00C0, "TLS_RSA_WITH_RC4_128_MD5", kLegacyPriority, 0x0004},
    {"tls10_rsa_rc4_sha", "rsa", 0x00C0, "TLS_RSA_WITH_RC4_128_SHA", kLegacyPriority, 0x0005},
    {"tls12_rsa_rc4_sha", "rsa", 0x0C00, "TLS_RSA_WITH_RC4_128_SHA", kLegacyPriority, 0x0005},
    {"tls12_ecdhe_ecdsa_gcm", "p256", 0x0C00, "TLS_ECDHE_ECDSA_WITH_AES_128_GCM_SHA256", kLegacyPriority, 0xC02B},
    {"tls13_aes128_rsa", "rsa", 0x3000, "", "NORMAL:-VERS-ALL:+VERS-TLS1.3:-CIPHER-ALL:+AES-128-GCM", 0x1301},
    {"tls13_aes256_ecdsa", "p256", 0x3000, "", "NORMAL:-VERS-ALL:+VERS-TLS1.3:-CIPHER-ALL:+AES-256-GCM", 0x1302},
    {"tls13_chacha_rsa", "rsa", 0x3000, "", "NORMAL:-VERS-ALL:+VERS-TLS1.3:-CIPHER-ALL:+CHACHA20-POLY1305", 0x1303},
    {"tls13_default_ecdsa_p384", "p384", 0x3000, "", kTls13Priority, 0x1301},
};

INSTANTIATE_TEST_SUITE_P(Suites, GnutlsPeer, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

// A server's 512-bit prime ends the handshake with alert 47 and 286 before
// anything of ours is computed from it.
TEST(GnutlsPeerRefusals, WeakDiffieHellmanPrime) {
  REQUIRE_OR_SKIP(HaveGnutls(), "gnutls-serv not found (gnutls-bin)");
  REQUIRE_OR_SKIP(testsupport::HaveOpenssl(), "openssl command not found");
  REQUIRE_OR_SKIP(!pkikit::Ensure().empty(), "PKI fixture kit could not be made");
  GnutlsRun run;
  const std::string dir = std::filesystem::temp_directory_path() / ("tls_gnutls_peer_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string params = dir + "/dh512.pem";
  bool ok = false;
  testsupport::RunCommand("openssl genpkey -genparam -algorithm DH -pkeyopt dh_paramgen_prime_len:512 -out '" +
                              params + "' 2>/dev/null",
                          ok);
  ASSERT_TRUE(ok);
  ASSERT_TRUE(run.Start("weak_dh", "rsa", std::string(kLegacyPriority) + ":%PROFILE_VERY_WEAK", {"--dhparams", params}))
      << testsupport::ReadFileText(run.log);
  Client client;
  EXPECT_EQ(client.Run(run.server.port(), 0x0C00, "TLS_DHE_RSA_WITH_AES_128_CBC_SHA"), 286);
  EXPECT_EQ(client.owner.fatalText,
            "Received a weak ephemeral Diffie-Hellman key (less than 1024 bits) in Server Key Exchange handshake "
            "message.");
  EXPECT_EQ(client.engine.IsEstablished(), 0);
}

}  // namespace
