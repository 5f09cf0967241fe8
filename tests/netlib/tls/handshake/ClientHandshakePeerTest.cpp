// The client handshake against openssl s_server on 127.0.0.1: each case
// completes the handshake, exchanges data and derives the master secret the
// server logged.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string>

#include "PeerSession.h"
#include "TestSupport.h"
#include "TestText.h"
#include "../../pki/kit/PkiKit.h"

namespace {

using namespace peertest;

struct Case {
  const char* name;
  const char* kit;        // leaf key type of the fixture kit
  int mask;               // enabled protocols
  const char* suite;      // our suite name
  const char* serverCipher;
  const char* serverVersion;
  int code;               // the suite the server must choose
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
  return text;
}

struct ServerRun {
  PeerProcess server;
  std::string keylog;
  std::string log;

  bool Start(const std::string& kit, const Case& c, const std::vector<std::string>& extra = {}) {
    const std::string dir = std::filesystem::temp_directory_path() / ("tls_client_peer_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    keylog = dir + "/" + c.name + ".keys";
    log = dir + "/" + c.name + ".log";
    std::filesystem::remove(keylog);
    const std::string k = pkikit::Path(kit);
    const std::string chain = dir + "/" + kit + "-chain.pem";
    {
      std::ofstream out(chain);
      out << testsupport::ReadFileText(pkikit::Path(kit + "-int.crt"))
          << testsupport::ReadFileText(pkikit::Path(kit + "-root.crt"));
    }
    std::vector<std::string> argv = {"openssl", "s_server", "-accept", "127.0.0.1:{port}", "-cert",
                                     k + "-leaf.crt", "-key", k + "-leaf.key", "-cert_chain", chain,
                                     "-keylogfile", keylog, "-www", "-cipher", c.serverCipher, c.serverVersion};
    argv.insert(argv.end(), extra.begin(), extra.end());
    return server.Start(argv, 0, log);
  }
};

// Connects, handshakes, asks for the status page and checks the master secret.
void RunCase(const Case& c) {
  ServerRun run;
  ASSERT_TRUE(run.Start(c.kit, c)) << c.name;
  TlsEngine engine;
  SocketOwner owner;
  owner.fd = Connect(run.server.port());
  ASSERT_GE(owner.fd, 0);
  (void)engine.SetDefaults(&owner, 1);
  ASSERT_EQ(engine.SetEnabledProtocols(c.mask), 0);
  ASSERT_EQ(engine.SetCipherSuites(c.suite), 0);
  ASSERT_EQ(engine.SetRemoteHost("localhost"), 0);
  ASSERT_EQ(engine.SetSecurityFlags(0x10), 0);  // the kit's self-signed root counts as trusted
  ASSERT_EQ(engine.StartHandshake(), 0);
  const int status = Pump(engine, owner, [&] { return engine.IsEstablished() != 0; });
  ASSERT_EQ(status, 0) << c.name << ": " << owner.fatalText << " / "
                       << testsupport::ReadFileText(run.log);
  ASSERT_EQ(engine.IsEstablished(), 1) << c.name;
  EXPECT_EQ(engine.current.readState.Suite().GetCode(), c.code) << c.name;
  EXPECT_TRUE(owner.HasStatus("Negotiated SSL parameters:")) << c.name;
  EXPECT_EQ(owner.HasStatus("ClientHello (SSL2) message sent"), (c.mask & 0x3030) == 0x0030) << c.name;

  const std::string request = "GET / HTTP/1.0\r\n\r\n";
  int sent = 0;
  ASSERT_EQ(engine.Send(request.data(), int(request.size()), sent), 0);
  EXPECT_EQ(sent, int(request.size()));
  (void)Pump(engine, owner, [&] { return owner.data.find("</HTML>") != std::string::npos ||
                                         owner.data.find("</html>") != std::string::npos; });
  ::close(owner.fd);
  EXPECT_EQ(owner.data.rfind("HTTP/1.0 200 ok", 0), 0u) << c.name << ": " << owner.data.substr(0, 200);
  const std::string logged = LoggedMaster(run.keylog, Lower(Hex(engine.current.clientRandom)));
  const std::string loggedUpper = LoggedMaster(run.keylog, [&] {
    std::string h = Hex(engine.current.clientRandom);
    std::transform(h.begin(), h.end(), h.begin(), [](unsigned char ch) { return char(std::toupper(ch)); });
    return h;
  }());
  const std::string master = Lower(logged.empty() ? loggedUpper : logged);
  EXPECT_EQ(master, Hex(engine.current.masterSecret)) << c.name;
}

class ClientHandshakePeer : public ::testing::TestWithParam<Case> {};

TEST_P(ClientHandshakePeer, HandshakeDataAndMasterSecret) {
  REQUIRE_OR_SKIP(testsupport::HaveOpenssl(), "openssl command not found");
  REQUIRE_OR_SKIP(!pkikit::Ensure().empty(), "PKI fixture kit could not be made");
  RunCase(GetParam());
}

// A session whose certificate check is up to the test.
struct Checked {
  ServerRun run;
  TlsEngine engine;
  SocketOwner owner;
  int status = -1;

  void Run(const char* host, int flags, const std::string& pinned) {
    const Case c{"checked", "rsa", 0x0C00, "TLS_ECDHE_RSA_WITH_AES_128_GCM_SHA256", "ECDHE-RSA-AES128-GCM-SHA256",
                 "-tls1_2", 0xC02F};
    ASSERT_TRUE(run.Start("rsa", c));
    owner.fd = Connect(run.server.port());
    ASSERT_GE(owner.fd, 0);
    owner.pinned = pinned;
    (void)engine.SetDefaults(&owner, 1);
    ASSERT_EQ(engine.SetEnabledProtocols(c.mask), 0);
    ASSERT_EQ(engine.SetRemoteHost(host), 0);
    ASSERT_EQ(engine.SetSecurityFlags(flags), 0);
    ASSERT_EQ(engine.StartHandshake(), 0);
    status = Pump(engine, owner, [&] { return engine.IsEstablished() != 0; });
    ::close(owner.fd);
  }
};

TEST(ClientHandshakeChecks, PinnedLeafWithoutTrustStore) {
  REQUIRE_OR_SKIP(testsupport::HaveOpenssl(), "openssl command not found");
  REQUIRE_OR_SKIP(!pkikit::Ensure().empty(), "PKI fixture kit could not be made");
  Checked run;
  run.Run("localhost", 0, pkikit::Bytes("rsa-leaf.der"));
  ASSERT_EQ(run.status, 0) << run.owner.fatalText;
  EXPECT_EQ(run.engine.IsEstablished(), 1);
  EXPECT_EQ(run.owner.certificateCode, int(0x800B0109u));
  EXPECT_EQ(run.owner.certificateText,
            "[0x800b0109] A certification chain processed correctly but terminated in a root certificate not trusted "
            "by the trust provider.");
  // The chain's trust is the owner's to settle; the error event still reports it.
  ASSERT_FALSE(run.owner.errors.empty());
  EXPECT_EQ(run.owner.errors[0].rfind("280 Error verifying Server certificate: 800b0109", 0), 0u);
  EXPECT_EQ(run.owner.chainText.rfind("-----BEGIN CERTIFICATE-----", 0), 0u);
}

TEST(ClientHandshakeChecks, WrongHostIsRefused) {
  REQUIRE_OR_SKIP(testsupport::HaveOpenssl(), "openssl command not found");
  REQUIRE_OR_SKIP(!pkikit::Ensure().empty(), "PKI fixture kit could not be made");
  Checked run;
  run.Run("wrong.example", 0x10, "");
  EXPECT_EQ(run.status, 280);
  EXPECT_EQ(run.engine.IsEstablished(), 0);
  EXPECT_EQ(run.owner.certificateText, "[0x113] Server name does not match server certificate");
  EXPECT_EQ(run.owner.fatalCode, 280);
  EXPECT_EQ(run.owner.fatalText, "Server certificate validation failed. Connection aborted.");
  EXPECT_TRUE(run.owner.HasStatus("Error verifying Server certificate:  113 Server name does not match"));
  EXPECT_TRUE(FileShows(run.run.log, "alert certificate unknown")) << testsupport::ReadFileText(run.run.log);
}

TEST(ClientHandshakeChecks, ResumptionWithACopiedEngine) {
  REQUIRE_OR_SKIP(testsupport::HaveOpenssl(), "openssl command not found");
  REQUIRE_OR_SKIP(!pkikit::Ensure().empty(), "PKI fixture kit could not be made");
  const Case c{"resumed", "rsa", 0x0C00, "TLS_ECDHE_RSA_WITH_AES_128_GCM_SHA256", "ECDHE-RSA-AES128-GCM-SHA256",
               "-tls1_2", 0xC02F};
  ServerRun run;
  ASSERT_TRUE(run.Start("rsa", c, {"-no_ticket"}));
  TlsEngine first;
  SocketOwner firstOwner;
  firstOwner.fd = Connect(run.server.port());
  ASSERT_GE(firstOwner.fd, 0);
  (void)first.SetDefaults(&firstOwner, 1);
  ASSERT_EQ(first.SetEnabledProtocols(c.mask), 0);
  ASSERT_EQ(first.SetRemoteHost("localhost"), 0);
  ASSERT_EQ(first.SetSecurityFlags(0x10), 0);
  ASSERT_EQ(first.StartHandshake(), 0);
  ASSERT_EQ(Pump(first, firstOwner, [&] { return first.IsEstablished() != 0; }), 0) << firstOwner.fatalText;
  EXPECT_EQ(first.resumed, 0);
  // A clean close keeps the session in the server's cache.
  const std::string ask = "GET / HTTP/1.0\r\n\r\n";
  int asked = 0;
  ASSERT_EQ(first.Send(ask.data(), int(ask.size()), asked), 0);
  (void)Pump(first, firstOwner, [&] { return first.IsClosed() != 0; });
  ASSERT_EQ(first.SendCloseNotify(), 0);
  ::close(firstOwner.fd);

  // The copy carries the cached session to the next connection.
  TlsEngine second;
  ASSERT_EQ(second.CopyFrom(first), 0);
  SocketOwner owner;
  owner.fd = Connect(run.server.port());
  ASSERT_GE(owner.fd, 0);
  second.owner = &owner;
  ASSERT_EQ(second.StartHandshake(), 0);
  ASSERT_EQ(Pump(second, owner, [&] { return second.IsEstablished() != 0; }), 0) << owner.fatalText;
  EXPECT_EQ(second.resumed, 1);
  EXPECT_TRUE(owner.HasStatus("Resuming previous SSL session."));
  EXPECT_EQ(owner.certificateCode, -1);  // no certificate in a resumed handshake
  EXPECT_TRUE(Hex(second.current.masterSecret) == Hex(first.current.masterSecret));
  const std::string request = "GET / HTTP/1.0\r\n\r\n";
  int sent = 0;
  ASSERT_EQ(second.Send(request.data(), int(request.size()), sent), 0);
  (void)Pump(second, owner, [&] { return owner.data.find("</HTML>") != std::string::npos ||
                                         owner.data.find("</html>") != std::string::npos; });
  ::close(owner.fd);
  EXPECT_EQ(owner.data.rfind("HTTP/1.0 200 ok", 0), 0u) << owner.data.substr(0, 200);
  EXPECT_NE(owner.data.find("Reused, TLSv1.2"), std::string::npos);
}

const Case kCases[] = {
    {"ecdhe_rsa_aes128_gcm", "rsa", 0x0C00, "TLS_ECDHE_RSA_WITH_AES_128_GCM_SHA256", "ECDHE-RSA-AES128-GCM-SHA256",
     "-tls1_2", 0xC02F},
    {"ecdhe_rsa_aes256_gcm", "rsa", 0x0C00, "TLS_ECDHE_RSA_WITH_AES_256_GCM_SHA384", "ECDHE-RSA-AES256-GCM-SHA384",
     "-tls1_2", 0xC030},
    {"ecdhe_ecdsa_aes128_gcm", "p256", 0x0C00, "TLS_ECDHE_ECDSA_WITH_AES_128_GCM_SHA256",
     "ECDHE-ECDSA-AES128-GCM-SHA256", "-tls1_2", 0xC02B},
    {"ecdhe_ecdsa_p384_cbc_sha384", "p384", 0x0C00, "TLS_ECDHE_ECDSA_WITH_AES_256_CBC_SHA384",
     "ECDHE-ECDSA-AES256-SHA384", "-tls1_2", 0xC024},
    {"dhe_rsa_aes128_gcm", "rsa", 0x0C00, "TLS_DHE_RSA_WITH_AES_128_GCM_SHA256", "DHE-RSA-AES128-GCM-SHA256",
     "-tls1_2", 0x009E},
    {"dhe_rsa_aes256_cbc_sha256", "rsa", 0x0C00, "TLS_DHE_RSA_WITH_AES_256_CBC_SHA256", "DHE-RSA-AES256-SHA256",
     "-tls1_2", 0x006B},
    {"rsa_aes128_cbc_sha", "rsa", 0x0C00, "TLS_RSA_WITH_AES_128_CBC_SHA", "AES128-SHA", "-tls1_2", 0x002F},
    {"rsa_aes256_cbc_sha256", "rsa", 0x0C00, "TLS_RSA_WITH_AES_256_CBC_SHA256", "AES256-SHA256", "-tls1_2", 0x003D},
    {"rsa_aes256_gcm", "rsa", 0x0C00, "TLS_RSA_WITH_AES_256_GCM_SHA384", "AES256-GCM-SHA384", "-tls1_2", 0x009D},
    {"ecdhe_rsa_aes256_cbc_sha384", "rsa", 0x0C00, "TLS_ECDHE_RSA_WITH_AES_256_CBC_SHA384",
     "ECDHE-RSA-AES256-SHA384", "-tls1_2", 0xC028},
    {"tls10_rsa_aes128_cbc", "rsa", 0x00C0, "TLS_RSA_WITH_AES_128_CBC_SHA", "AES128-SHA:@SECLEVEL=0", "-tls1",
     0x002F},
    {"tls10_ecdhe_rsa_cbc", "rsa", 0x00C0, "TLS_ECDHE_RSA_WITH_AES_256_CBC_SHA", "ECDHE-RSA-AES256-SHA:@SECLEVEL=0",
     "-tls1", 0xC014},
    {"tls10_dhe_rsa_cbc", "rsa", 0x00C0, "TLS_DHE_RSA_WITH_AES_128_CBC_SHA", "DHE-RSA-AES128-SHA:@SECLEVEL=0",
     "-tls1", 0x0033},
    {"tls11_ecdhe_ecdsa_cbc", "p256", 0x0300, "TLS_ECDHE_ECDSA_WITH_AES_128_CBC_SHA",
     "ECDHE-ECDSA-AES128-SHA:@SECLEVEL=0", "-tls1_1", 0xC009},
    {"tls11_rsa_aes256_cbc", "rsa", 0x0300, "TLS_RSA_WITH_AES_256_CBC_SHA", "AES256-SHA:@SECLEVEL=0", "-tls1_1",
     0x0035},
    {"dhe_dss_aes128_cbc", "dsa", 0x0C00, "TLS_DHE_DSS_WITH_AES_128_CBC_SHA", "DHE-DSS-AES128-SHA:@SECLEVEL=0",
     "-tls1_2", 0x0032},
    {"dhe_dss_aes256_gcm", "dsa", 0x0C00, "TLS_DHE_DSS_WITH_AES_256_GCM_SHA384", "DHE-DSS-AES256-GCM-SHA384:@SECLEVEL=0",
     "-tls1_2", 0x00A3},
    {"tls10_dhe_dss_cbc", "dsa", 0x00C0, "TLS_DHE_DSS_WITH_AES_256_CBC_SHA", "DHE-DSS-AES256-SHA:@SECLEVEL=0", "-tls1",
     0x0038},
    // SSL 3.0 and TLS 1.0 without TLS 1.3: the hello goes out in the SSL 2.0 form.
    {"ssl2_form_hello_tls10", "rsa", 0x00F0, "TLS_RSA_WITH_AES_128_CBC_SHA", "AES128-SHA:@SECLEVEL=0", "-tls1",
     0x002F},
};

INSTANTIATE_TEST_SUITE_P(Suites, ClientHandshakePeer, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace
