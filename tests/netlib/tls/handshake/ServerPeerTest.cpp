// Our server on a loopback port against openssl s_client and gnutls-cli:
// each case completes, carries data both ways and agrees with the secrets
// the client logged.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <string>
#include <vector>

#include "PeerSession.h"
#include "SecretDumps.h"
#include "ServerKit.h"
#include "TestProcess.h"
#include "TestSupport.h"

namespace {

using namespace peertest;

// A listening socket on 127.0.0.1 with a port the system chose.
struct Listener {
  int fd = -1;
  int port = 0;
  Listener() {
    fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof addr;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 4) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &size) != 0) {
      return;
    }
    port = ntohs(addr.sin_port);
  }
  ~Listener() {
    if (fd >= 0) ::close(fd);
  }
  // The next connection, or -1 after the time is up.
  int Accept(int seconds) const {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, seconds * 1000) <= 0) return -1;
    return ::accept(fd, nullptr, nullptr);
  }
};

struct ServerSetup {
  std::string kit = "rsa";
  int mask = 0xFFFF;
  int authenticateClients = 0;
  const char* cipherSuites = nullptr;
};

std::string Scratch() {
  const std::string dir = std::filesystem::temp_directory_path() / ("tls_server_peer_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  return dir;
}

// One connection: the client command runs in the background (its output
// kept), our server answers on the accepted socket, reads one line and
// answers it, then closes.
struct Connection {
  TlsEngine engine;
  SocketOwner owner;
  std::string clientOutput;
  int status = -1;
  std::string clientRandom;

  void Run(SelectedCertificate& own, const ServerSetup& setup, const std::string& command,
           const std::string& pinned = "") {
    Listener listener;
    ASSERT_GT(listener.port, 0);
    // {done} names a file made once the server has answered: a client whose
    // input must stay open until then waits for it, bounded, not for a fixed time.
    const std::string done = Scratch() + "/answered-" + std::to_string(listener.port);
    std::filesystem::remove(done);
    std::string line = command;
    for (const auto& [key, value] : {std::pair<std::string, std::string>{"{port}", std::to_string(listener.port)},
                                     std::pair<std::string, std::string>{"{done}", done}}) {
      for (size_t at = line.find(key); at != std::string::npos; at = line.find(key)) line.replace(at, key.size(), value);
    }
    auto client = std::async(std::launch::async, [line] {
      return testsupport::RunChild({"/bin/sh", "-c", line + " 2>&1"}, {"PATH=/usr/bin:/bin"}, "", 20).output;
    });
    owner.fd = listener.Accept(15);
    if (owner.fd >= 0) {
      (void)engine.SetDefaults(&owner, 0);
      engine.logSecrets = 1;
      engine.ownCertificate = &own;
      engine.authenticateClients = setup.authenticateClients;
      owner.pinned = pinned;
      EXPECT_EQ(engine.SetEnabledProtocols(setup.mask), 0);
      if (setup.cipherSuites != nullptr) {
        EXPECT_EQ(engine.SetCipherSuites(setup.cipherSuites), 0);
      }
      EXPECT_EQ(engine.StartHandshake(), 0);
      status = Pump(engine, owner, [&] { return owner.data.find('\n') != std::string::npos; }, 15);
      clientRandom = Hex(engine.current.clientRandom);
      if (status == 0 && engine.IsEstablished() != 0) {
        int sent = 0;
        const std::string answer = "pong " + owner.data;
        EXPECT_EQ(engine.Send(answer.data(), int(answer.size()), sent), 0);
        (void)engine.SendCloseNotify();
      }
      ::shutdown(owner.fd, SHUT_WR);
      std::ofstream{done};
      (void)Pump(engine, owner, [] { return false; }, 2);
    }
    std::ofstream{done};
    clientOutput = client.get();
    std::filesystem::remove(done);
  }
  ~Connection() {
    if (owner.fd >= 0) ::close(owner.fd);
  }
};

struct OpensslCase {
  const char* name;
  const char* kit;
  const char* options;  // s_client options: version, suites, groups
  const char* suite;    // in the s_client summary: "New, <protocol>, Cipher is <suite>"
  const char* protocol;
};

void PrintTo(const OpensslCase& c, std::ostream* out) { *out << c.name; }

class OpensslClient : public ::testing::TestWithParam<OpensslCase> {};

// The kit's intermediate and root: what a client needs to trust our leaf.
std::string TrustFile(const std::string& kit) {
  const std::string path = Scratch() + "/" + kit + "-trust.pem";
  std::ofstream out(path);
  out << testsupport::ReadFileText(pkikit::Path(kit + "-int.crt"))
      << testsupport::ReadFileText(pkikit::Path(kit + "-root.crt"));
  return path;
}

void ExpectSecretsAgree(const Connection& c, const std::string& keylog) {
  const auto logged = KeyLog(keylog, c.clientRandom);
  if (c.engine.current.version == 0x0304) {
    EXPECT_EQ(logged.count("CLIENT_TRAFFIC_SECRET_0"), 1u);
    EXPECT_EQ(logged.count("CLIENT_TRAFFIC_SECRET_0") ? logged.at("CLIENT_TRAFFIC_SECRET_0") : "",
              Hex(c.engine.applicationTrafficSecrets[0]));
    EXPECT_EQ(logged.count("SERVER_TRAFFIC_SECRET_0") ? logged.at("SERVER_TRAFFIC_SECRET_0") : "",
              Hex(c.engine.applicationTrafficSecrets[1]));
  } else {
    EXPECT_EQ(logged.count("CLIENT_RANDOM") ? logged.at("CLIENT_RANDOM") : "", Hex(c.engine.current.masterSecret));
  }
}

TEST_P(OpensslClient, CompletesWithData) {
  const OpensslCase& c = GetParam();
  REQUIRE_OR_SKIP(testsupport::HaveOpenssl(), "openssl command not found");
  auto own = serverkit::Identity(c.kit);
  REQUIRE_OR_SKIP(own != nullptr, "PKI fixture kit or its PKCS#12 file could not be made");
  const std::string keylog = Scratch() + "/" + c.name + ".keys";
  std::filesystem::remove(keylog);
  Connection conn;
  conn.Run(*own, ServerSetup{c.kit}, "printf 'ping\\n' | openssl s_client -connect 127.0.0.1:{port} -CAfile " +
                                   TrustFile(c.kit) + " -verify_return_error -ign_eof -keylogfile " + keylog + " " +
                                   c.options);
  ASSERT_EQ(conn.status, 0) << conn.owner.fatalText << "\n" << conn.clientOutput;
  EXPECT_EQ(conn.owner.data, "ping\n");
  EXPECT_NE(conn.clientOutput.find("pong ping"), std::string::npos) << conn.clientOutput;
  EXPECT_NE(conn.clientOutput.find(std::string("Cipher is ") + c.suite + "\n"), std::string::npos) << conn.clientOutput;
  EXPECT_TRUE(conn.clientOutput.find(std::string("Protocol  : ") + c.protocol + "\n") != std::string::npos ||
              conn.clientOutput.find(std::string("New, ") + c.protocol + ",") != std::string::npos);
  EXPECT_NE(conn.clientOutput.find("Verify return code: 0 (ok)"), std::string::npos);
  ExpectSecretsAgree(conn, keylog);
}

INSTANTIATE_TEST_SUITE_P(
    Versions, OpensslClient,
    ::testing::Values(
        OpensslCase{"tls12_rsa_cbc", "rsa", "-tls1_2 -cipher AES128-SHA", "AES128-SHA", "TLSv1.2"},
        OpensslCase{"tls12_rsa_gcm", "rsa", "-tls1_2 -cipher AES256-GCM-SHA384", "AES256-GCM-SHA384", "TLSv1.2"},
        OpensslCase{"tls12_dhe_rsa", "rsa", "-tls1_2 -cipher DHE-RSA-AES128-SHA256:@SECLEVEL=1",
                    "DHE-RSA-AES128-SHA256", "TLSv1.2"},
        OpensslCase{"tls12_dhe_dss", "dsa", "-tls1_2 -cipher DHE-DSS-AES128-SHA:@SECLEVEL=1", "DHE-DSS-AES128-SHA",
                    "TLSv1.2"},
        OpensslCase{"tls12_ecdhe_rsa_gcm", "rsa", "-tls1_2 -cipher ECDHE-RSA-AES128-GCM-SHA256",
                    "ECDHE-RSA-AES128-GCM-SHA256", "TLSv1.2"},
        OpensslCase{"tls12_ecdhe_ecdsa_cbc", "p256", "-tls1_2 -cipher ECDHE-ECDSA-AES256-SHA",
                    "ECDHE-ECDSA-AES256-SHA", "TLSv1.2"},
        OpensslCase{"tls12_anonymous_refused", "rsa", "-tls1_2 -cipher ADH-AES128-SHA:AES128-SHA:@SECLEVEL=0",
                    "AES128-SHA", "TLSv1.2"},
        OpensslCase{"tls11_ecdhe_rsa", "rsa", "-tls1_1 -cipher ECDHE-RSA-AES128-SHA:@SECLEVEL=0",
                    "ECDHE-RSA-AES128-SHA", "TLSv1.1"},
        OpensslCase{"tls10_rsa", "rsa", "-tls1 -cipher AES256-SHA:@SECLEVEL=0", "AES256-SHA", "TLSv1"},
        OpensslCase{"tls13_aes128", "rsa", "-tls1_3 -groups P-256 -ciphersuites TLS_AES_128_GCM_SHA256",
                    "TLS_AES_128_GCM_SHA256", "TLSv1.3"},
        OpensslCase{"tls13_aes256_ecdsa", "p256", "-tls1_3 -groups P-256 -ciphersuites TLS_AES_256_GCM_SHA384",
                    "TLS_AES_256_GCM_SHA384", "TLSv1.3"},
        OpensslCase{"tls13_chacha", "rsa", "-tls1_3 -groups P-384 -ciphersuites TLS_CHACHA20_POLY1305_SHA256",
                    "TLS_CHACHA20_POLY1305_SHA256", "TLSv1.3"},
        OpensslCase{"tls13_hello_retry", "rsa", "-tls1_3 -groups X25519:P-256", "TLS_AES_256_GCM_SHA384", "TLSv1.3"},
        OpensslCase{"tls13_ffdhe", "rsa", "-tls1_3 -groups ffdhe2048", "TLS_AES_256_GCM_SHA384", "TLSv1.3"}),
    [](const ::testing::TestParamInfo<OpensslCase>& info) { return std::string(info.param.name); });

struct GnutlsCase {
  const char* name;
  const char* priority;
  const char* protocol;  // in gnutls-cli's "Description:" line
  int code;              // the suite our server chose
};

void PrintTo(const GnutlsCase& c, std::ostream* out) { *out << c.name; }

class GnutlsClient : public ::testing::TestWithParam<GnutlsCase> {};

// gnutls-cli for what this openssl lacks: 3DES and RC4, and TLS 1.0 to 1.3 as
// a second, independent implementation.
TEST_P(GnutlsClient, CompletesWithData) {
  const GnutlsCase& c = GetParam();
  REQUIRE_OR_SKIP(testsupport::HaveTool("/usr/bin/gnutls-cli"), "gnutls-cli not found (package gnutls-bin)");
  auto own = serverkit::Identity("rsa");
  REQUIRE_OR_SKIP(own != nullptr, "PKI fixture kit or its PKCS#12 file could not be made");
  const std::string keylog = Scratch() + "/gnutls-" + c.name + ".keys";
  std::filesystem::remove(keylog);
  ServerSetup setup;
  setup.mask = 0xFFFF;
  Connection conn;
  conn.Run(*own, setup,
           "(printf 'ping\\n'; i=0; while [ ! -e {done} ] && [ $i -lt 150 ]; do sleep 0.1; i=$((i+1)); done) | "
               "SSLKEYLOGFILE=" + keylog + " gnutls-cli -p {port} --x509cafile " +
               TrustFile("rsa") + " --priority '" + c.priority + "' localhost");
  ASSERT_EQ(conn.status, 0) << conn.owner.fatalText << "\n" << conn.clientOutput;
  EXPECT_EQ(conn.owner.data, "ping\n");
  EXPECT_NE(conn.clientOutput.find("pong ping"), std::string::npos) << conn.clientOutput;
  EXPECT_NE(conn.clientOutput.find(c.protocol), std::string::npos) << conn.clientOutput;
  EXPECT_EQ(conn.engine.current.readState.Suite().GetCode(), c.code);
  ExpectSecretsAgree(conn, keylog);
}

INSTANTIATE_TEST_SUITE_P(
    Versions, GnutlsClient,
    ::testing::Values(
        GnutlsCase{"tls10_3des", "NORMAL:-VERS-ALL:+VERS-TLS1.0:-CIPHER-ALL:+3DES-CBC:-KX-ALL:+RSA",
                   "- Description: (TLS1.0", 0x000A},
        GnutlsCase{"tls10_rc4", "NORMAL:-VERS-ALL:+VERS-TLS1.0:-CIPHER-ALL:+ARCFOUR-128:-KX-ALL:+RSA",
                   "- Description: (TLS1.0", 0x0005},
        GnutlsCase{"tls11_dhe_rsa", "NORMAL:-VERS-ALL:+VERS-TLS1.1:-KX-ALL:+DHE-RSA:-CIPHER-ALL:+AES-128-CBC",
                   "- Description: (TLS1.1", 0x0033},
        GnutlsCase{"tls12_ecdhe_3des",
                   "NORMAL:-VERS-ALL:+VERS-TLS1.2:-CIPHER-ALL:+3DES-CBC:-KX-ALL:+ECDHE-RSA",
                   "- Description: (TLS1.2", 0xC012},
        GnutlsCase{"tls12_dhe_gcm", "NORMAL:-VERS-ALL:+VERS-TLS1.2:-KX-ALL:+DHE-RSA:-CIPHER-ALL:+AES-128-GCM",
                   "- Description: (TLS1.2", 0x009E},
        GnutlsCase{"tls13", "NORMAL:-VERS-ALL:+VERS-TLS1.3:-CIPHER-ALL:+AES-128-GCM", "- Description: (TLS1.3",
                   0x1301}),
    [](const ::testing::TestParamInfo<GnutlsCase>& info) { return std::string(info.param.name); });

// The server sends its leaf with the intermediate its store holds, and never
// the root: a client that trusts only the root verifies the chain, at TLS 1.2
// and 1.3 (the store holds leaf, intermediate and root).
TEST(OpensslClientChain, RootAloneVerifiesTheSentChain) {
  REQUIRE_OR_SKIP(testsupport::HaveOpenssl(), "openssl command not found");
  REQUIRE_OR_SKIP(!pkikit::Ensure().empty(), "PKI fixture kit could not be made");
  const std::string pfx = Scratch() + "/p256-chain.p12";
  bool made = false;
  (void)pkikit::Run("cat p256-int.crt p256-root.crt > " + Scratch() + "/p256-issuers.pem && "
                    "openssl pkcs12 -export -inkey p256-leaf.key -in p256-leaf.crt -certfile " + Scratch() +
                        "/p256-issuers.pem -passout pass:pw -out " + pfx + " 2>&1",
                    made);
  REQUIRE_OR_SKIP(made, "openssl could not make the PKCS#12 file");
  const std::string leaf = pkikit::Bytes("p256-leaf.crt");
  const std::string bytes = testsupport::ReadFileText(pfx);
  SelectedCertificate own;
  ASSERT_EQ(own.Init(nullptr, 0, 0, nullptr, nullptr, leaf.data(), int(leaf.size())), 0);
  ASSERT_EQ(own.GetManager()->Store().Clear(), 0);
  ASSERT_EQ(own.GetManager()->Store().AddPkcs12(bytes.data(), int(bytes.size()), "pw"), 0);
  for (const char* version : {"-tls1_2", "-tls1_3"}) {
    Connection conn;
    conn.Run(own, ServerSetup{"p256"}, std::string("printf 'ping\\n' | openssl s_client -connect 127.0.0.1:{port} ") +
                                           version + " -showcerts -verify_return_error -ign_eof -CAfile " +
                                           pkikit::Path("p256-root.crt"));
    ASSERT_EQ(conn.status, 0) << version << " " << conn.owner.fatalText << "\n" << conn.clientOutput;
    EXPECT_NE(conn.clientOutput.find("Verify return code: 0 (ok)"), std::string::npos) << conn.clientOutput;
    EXPECT_NE(conn.clientOutput.find(" 1 s:"), std::string::npos) << conn.clientOutput;
    EXPECT_EQ(conn.clientOutput.find(" 2 s:"), std::string::npos) << conn.clientOutput;
    EXPECT_EQ(conn.owner.data, "ping\n");
  }
}

// TLS 1.2 resumption through the server's session cache: the second
// connection reuses the first one's session and master secret.
TEST(OpensslClientSessions, ResumesFromTheCache) {
  REQUIRE_OR_SKIP(testsupport::HaveOpenssl(), "openssl command not found");
  auto own = serverkit::Identity("rsa");
  REQUIRE_OR_SKIP(own != nullptr, "PKI fixture kit or its PKCS#12 file could not be made");
  const std::string session = Scratch() + "/session.pem";
  std::filesystem::remove(session);
  const std::string base = "printf 'ping\\n' | openssl s_client -connect 127.0.0.1:{port} -tls1_2 -no_ticket -CAfile " +
                           TrustFile("rsa") + " -ign_eof ";
  Connection first;
  first.Run(*own, ServerSetup{}, base + "-sess_out " + session);
  ASSERT_EQ(first.status, 0) << first.clientOutput;
  // The second engine shares nothing with the first but the cache entry.
  Connection second;
  ASSERT_EQ(second.engine.sessionCache.CopyFrom(first.engine.sessionCache), 0);
  second.Run(*own, ServerSetup{}, base + "-sess_in " + session);
  ASSERT_EQ(second.status, 0) << second.clientOutput;
  EXPECT_NE(second.clientOutput.find("Reused, TLSv1.2"), std::string::npos) << second.clientOutput;
  EXPECT_EQ(second.engine.resumed, 1);
  EXPECT_TRUE(second.engine.current.masterSecret.Equals(first.engine.current.masterSecret));
  EXPECT_EQ(second.owner.data, "ping\n");
}

// A client certificate the server asked for, checked by its CertificateVerify.
TEST(OpensslClientSessions, TakesAClientCertificate) {
  REQUIRE_OR_SKIP(testsupport::HaveOpenssl(), "openssl command not found");
  auto own = serverkit::Identity("rsa");
  REQUIRE_OR_SKIP(own != nullptr, "PKI fixture kit or its PKCS#12 file could not be made");
  const std::string leaf = pkikit::Bytes("rsa-leaf.der");
  ServerSetup setup;
  setup.authenticateClients = 1;
  Connection conn;
  conn.Run(*own, setup,
           "printf 'ping\\n' | openssl s_client -connect 127.0.0.1:{port} -tls1_2 -ign_eof -CAfile " +
               TrustFile("rsa") + " -cert " + pkikit::Path("rsa-leaf.crt") + " -key " + pkikit::Path("rsa-leaf.key"),
           leaf);
  ASSERT_EQ(conn.status, 0) << conn.owner.fatalText << "\n" << conn.clientOutput;
  EXPECT_EQ(conn.owner.data, "ping\n");
  EXPECT_EQ(conn.engine.current.peerCertificateDer.Length(), int(leaf.size()));
  EXPECT_TRUE(conn.owner.HasStatus("CertificateVerify message received"));
  // Without a certificate the handshake ends.
  Connection refused;
  refused.Run(*own, setup,
              "printf 'ping\\n' | openssl s_client -connect 127.0.0.1:{port} -tls1_2 -ign_eof -CAfile " +
                  TrustFile("rsa"));
  EXPECT_NE(refused.status, 0);
  EXPECT_EQ(refused.owner.fatalText, "Client did not send any certificates and SSLAuthenticateClients is true");
}

}  // namespace
