// Client certificates against openssl s_server on 127.0.0.1: the engine's own
// certificate and key come from a PKCS#12 or PEM store, the server asks for
// a certificate (required or optional) and shows the one it verified on its
// status page; without one a required certificate ends the handshake with
// the server's alert.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "../../pki/kit/OwnStore.h"
#include "PeerSession.h"
#include "TestSupport.h"
#include "TestText.h"

namespace {

using namespace peertest;

constexpr const char* kKitMissing = "PKI fixture kit could not be made";

struct Case {
  const char* name;
  const char* kind;       // kit leaf and key the client presents ("" for none)
  int storeType;          // 3 PKCS#12 blob, 7 PEM blob
  int protocols;          // the engine's protocol mask
  std::vector<std::string> server;  // extra s_server options
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

std::string Folder() {
  const std::string dir =
      std::filesystem::temp_directory_path() / ("client_cert_peer_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  return dir;
}

// The issuing chain of every kit kind, for the server to verify with.
std::string TrustFile() {
  const std::string path = Folder() + "/trusted.pem";
  std::ofstream out(path);
  for (const char* kind : {"rsa", "p256", "dsa"}) {
    out << testsupport::ReadFileText(pkikit::Path(std::string(kind) + "-int.crt"))
        << testsupport::ReadFileText(pkikit::Path(std::string(kind) + "-root.crt"));
  }
  return path;
}

struct Client {
  PeerProcess server;
  std::string log;
  TlsEngine engine;
  SocketOwner owner;
  int status = -1;

  void Run(const Case& c, const std::vector<std::string>& request) {
    log = Folder() + "/" + c.name + ".log";
    std::vector<std::string> argv = {"openssl", "s_server", "-accept", "127.0.0.1:{port}",
                                     "-cert", pkikit::Path("rsa-leaf.crt"), "-key", pkikit::Path("rsa-leaf.key"),
                                     "-CAfile", TrustFile(), "-www"};
    argv.insert(argv.end(), c.server.begin(), c.server.end());
    argv.insert(argv.end(), request.begin(), request.end());
    ASSERT_TRUE(server.Start(argv, 0, log));
    owner.fd = Connect(server.port());
    ASSERT_GE(owner.fd, 0);
    owner.pinned = pkikit::Bytes("rsa-leaf.der");
    (void)engine.SetDefaults(&owner, 1);
    ASSERT_EQ(engine.SetEnabledProtocols(c.protocols), 0);
    ASSERT_EQ(engine.SetRemoteHost("kit.example"), 0);
    if (*c.kind != '\0') {
      const std::string store = c.storeType == 3 ? pkikit::Pkcs12Store(c.kind) : pkikit::PemStore(c.kind);
      ASSERT_FALSE(store.empty());
      ASSERT_EQ(engine.SetCertificateStore(store.data(), int(store.size()), c.storeType, pkikit::kStorePassword, "*"),
                0);
    }
    ASSERT_EQ(engine.StartHandshake(), 0);
    status = Pump(engine, owner, [&] { return engine.IsEstablished() != 0; });
  }

  // A GET answered by the status page, or the failure that ended it.
  int Get() {
    const std::string request = "GET / HTTP/1.0\r\n\r\n";
    int sent = 0;
    const int result = engine.Send(request.data(), int(request.size()), sent);
    if (result != 0) return result;
    return Pump(engine, owner, [&] { return owner.data.find("</HTML>") != std::string::npos; });
  }

  ~Client() {
    if (owner.fd >= 0) ::close(owner.fd);
  }
};

class ClientCertificatePeer : public ::testing::TestWithParam<Case> {};

TEST_P(ClientCertificatePeer, ServerVerifiesTheCertificate) {
  REQUIRE_OR_SKIP(testsupport::HaveOpenssl(), "openssl command not found");
  REQUIRE_OR_SKIP(!pkikit::Ensure().empty(), kKitMissing);
  const Case& c = GetParam();
  Client client;
  client.Run(c, {"-Verify", "1", "-verify_return_error"});
  ASSERT_EQ(client.status, 0) << client.owner.fatalText << " / " << testsupport::ReadFileText(client.log);
  ASSERT_EQ(client.Get(), 0) << client.owner.fatalText;
  EXPECT_EQ(client.owner.data.rfind("HTTP/1.0 200 ok", 0), 0u);
  // The server shows the certificate it verified: the kit leaf of the kind.
  EXPECT_NE(client.owner.data.find("Client certificate"), std::string::npos) << client.owner.data.substr(0, 400);
  const std::string algorithm = std::string(c.kind) == "rsa"    ? "rsaEncryption"
                                : std::string(c.kind) == "dsa" ? "dsaEncryption"
                                                               : "id-ecPublicKey";
  EXPECT_NE(client.owner.data.find("Public Key Algorithm: " + algorithm), std::string::npos);
  EXPECT_TRUE(client.owner.HasStatus("Certificate sent to peer"));
  // Under TLS 1.3 an RSA key signs with PSS only.
  if (c.protocols == 0x3000 && std::string(c.kind) == "rsa") {
    EXPECT_TRUE(client.owner.HasStatus("Selected Tls13_OurSignatureScheme: rsa_pss_"));
  }
}

const Case kCases[] = {
    {"tls12_rsa_pkcs12", "rsa", 3, 0x0C00, {"-tls1_2"}},
    {"tls12_ecdsa_pem", "p256", 7, 0x0C00, {"-tls1_2"}},
    {"tls12_dsa_pem", "dsa", 7, 0x0C00, {"-tls1_2", "-cipher", "ALL:@SECLEVEL=0"}},
    {"tls10_rsa_pem", "rsa", 7, 0x00C0, {"-tls1", "-cipher", "ALL:@SECLEVEL=0"}},
    {"tls10_ecdsa_pkcs12", "p256", 3, 0x00C0, {"-tls1", "-cipher", "ALL:@SECLEVEL=0"}},
    {"tls13_rsa_pkcs12", "rsa", 3, 0x3000, {"-tls1_3"}},
    {"tls13_ecdsa_pem", "p256", 7, 0x3000, {"-tls1_3"}},
};

INSTANTIATE_TEST_SUITE_P(Kinds, ClientCertificatePeer, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

// Asked without being required: with a certificate the server shows it,
// without one the connection goes on all the same.
TEST(ClientCertificatePeerOptional, WithAndWithoutACertificate) {
  REQUIRE_OR_SKIP(testsupport::HaveOpenssl(), "openssl command not found");
  REQUIRE_OR_SKIP(!pkikit::Ensure().empty(), kKitMissing);
  for (int protocols : {0x0C00, 0x3000}) {
    for (const char* kind : {"rsa", ""}) {
      SCOPED_TRACE(std::to_string(protocols) + " '" + kind + "'");
      const Case c{"optional", kind, 3, protocols, {}};
      Client client;
      client.Run(c, {"-verify", "1"});
      ASSERT_EQ(client.status, 0) << client.owner.fatalText;
      ASSERT_EQ(client.Get(), 0) << client.owner.fatalText;
      EXPECT_EQ(client.owner.data.find("Client certificate") != std::string::npos, *kind != '\0');
      EXPECT_EQ(client.owner.HasStatus("Client certificate is not specified."), *kind == '\0');
    }
  }
}

// Required but not there: TLS 1.2 ends in the handshake with the server's
// alert; TLS 1.3 completes and the alert arrives with the first reply.
TEST(ClientCertificatePeerOptional, RequiredButMissing) {
  REQUIRE_OR_SKIP(testsupport::HaveOpenssl(), "openssl command not found");
  REQUIRE_OR_SKIP(!pkikit::Ensure().empty(), kKitMissing);
  const Case tls12{"missing12", "", 3, 0x0C00, {"-tls1_2"}};
  Client first;
  first.Run(tls12, {"-Verify", "1", "-verify_return_error"});
  EXPECT_EQ(first.status, 286);
  EXPECT_EQ(first.owner.fatalText, "Received fatal alert: HANDSHAKE_FAILURE");
  EXPECT_EQ(first.owner.handshakeDone, 1);  // the end of the failed handshake
  EXPECT_EQ(first.engine.IsEstablished(), 0);

  const Case tls13{"missing13", "", 3, 0x3000, {"-tls1_3"}};
  Client second;
  second.Run(tls13, {"-Verify", "1", "-verify_return_error"});
  ASSERT_EQ(second.status, 0);
  EXPECT_EQ(second.Get(), 286);
  EXPECT_NE(second.owner.fatalText.find("Received fatal alert: "), std::string::npos);
  EXPECT_TRUE(second.owner.data.empty());
}

}  // namespace
