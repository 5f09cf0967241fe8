// Our client against our server in one process: every version, the key
// exchanges no peer program offers, and both ends agreeing on the secrets.
#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <string>

#include "SecretDumps.h"
#include "ServerKit.h"
#include "TestProcess.h"
#include "TestSupport.h"

namespace {

using namespace serverkit;

struct Case {
  const char* name;
  const char* kit;
  int clientMask;
  int serverMask;
  const char* suite;  // the client offers this one alone; "" for its defaults
  int version;
  int code;
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

// The last status texts of one side, for a failure's message.
std::string Tail(const TrustingOwner& owner) {
  std::string out;
  const size_t n = owner.statuses.size();
  for (size_t i = n > 6 ? n - 6 : 0; i < n; ++i) out += "  | " + owner.statuses[i].substr(0, 160) + "\n";
  return out;
}

class ServerMemory : public ::testing::TestWithParam<Case> {};

TEST_P(ServerMemory, CompletesAndCarriesData) {
  const Case& c = GetParam();
  auto own = Identity(c.kit);
  REQUIRE_OR_SKIP(own != nullptr, "PKI fixture kit or its PKCS#12 file could not be made");
  MemoryPair pair;
  pair.server.ownCertificate = own.get();
  ASSERT_EQ(pair.client.SetEnabledProtocols(c.clientMask), 0);
  ASSERT_EQ(pair.server.SetEnabledProtocols(c.serverMask), 0);
  if (*c.suite != '\0') {
    ASSERT_EQ(pair.client.SetCipherSuites(c.suite), 0);
  }
  ASSERT_EQ(pair.Handshake(), 0) << "client: " << pair.clientOwner.fatalText
                                 << " server: " << pair.serverOwner.fatalText
                                 << "\n" << Tail(pair.clientOwner) << "\n" << Tail(pair.serverOwner);
  ASSERT_TRUE(pair.Established());
  EXPECT_EQ(pair.server.current.version, c.version);
  EXPECT_EQ(pair.client.current.version, c.version);
  EXPECT_EQ(pair.server.current.readState.Suite().GetCode(), c.code);
  if (c.version != 0x0304) {
    EXPECT_TRUE(pair.server.current.masterSecret.Equals(pair.client.current.masterSecret));
  }
  EXPECT_TRUE(pair.Exchange("client to server", "server to client"));
  EXPECT_TRUE(pair.Exchange(std::string(40000, 'u'), std::string(20000, 'd')));
}

INSTANTIATE_TEST_SUITE_P(
    Suites, ServerMemory,
    ::testing::Values(
        Case{"tls12_rsa_aes_cbc", "rsa", 0x0C00, 0x0C00, "TLS_RSA_WITH_AES_128_CBC_SHA", 0x0303, 0x002F},
        Case{"tls12_ecdhe_rsa_gcm", "rsa", 0x0C00, 0x0C00, "TLS_ECDHE_RSA_WITH_AES_128_GCM_SHA256", 0x0303, 0xC02F},
        Case{"tls12_ecdhe_rsa_sha384", "rsa", 0x0C00, 0x0C00, "TLS_ECDHE_RSA_WITH_AES_256_GCM_SHA384", 0x0303, 0xC030},
        Case{"tls12_dhe_rsa", "rsa", 0x0C00, 0x0C00, "TLS_DHE_RSA_WITH_AES_128_CBC_SHA256", 0x0303, 0x0067},
        Case{"tls12_dhe_dss", "dsa", 0x0C00, 0x0C00, "TLS_DHE_DSS_WITH_AES_128_CBC_SHA", 0x0303, 0x0032},
        Case{"tls12_ecdhe_ecdsa", "p256", 0x0C00, 0x0C00, "TLS_ECDHE_ECDSA_WITH_AES_128_GCM_SHA256", 0x0303, 0xC02B},
        Case{"tls12_ecdh_ecdsa", "p256", 0x0C00, 0x0C00, "TLS_ECDH_ECDSA_WITH_AES_128_CBC_SHA", 0x0303, 0xC004},
        Case{"tls12_des", "rsa", 0x0C00, 0x0C00, "TLS_RSA_WITH_DES_CBC_SHA", 0x0303, 0x0009},
        Case{"tls11_ecdhe_rsa", "rsa", 0x0300, 0x0300, "TLS_ECDHE_RSA_WITH_AES_128_CBC_SHA", 0x0302, 0xC013},
        Case{"tls10_dhe_rsa", "rsa", 0x00C0, 0x00C0, "TLS_DHE_RSA_WITH_AES_256_CBC_SHA", 0x0301, 0x0039},
        Case{"ssl30_rsa_aes", "rsa", 0x00F0, 0x0030, "TLS_RSA_WITH_AES_128_CBC_SHA", 0x0300, 0x002F},
        Case{"ssl30_dhe_rsa", "rsa", 0x00F0, 0x0030, "TLS_DHE_RSA_WITH_AES_128_CBC_SHA", 0x0300, 0x0033},
        Case{"ssl30_3des", "rsa", 0x00F0, 0x0030, "TLS_RSA_WITH_3DES_EDE_CBC_SHA", 0x0300, 0x000A},
        Case{"ssl30_rc4_md5", "rsa", 0x00F0, 0x0030, "TLS_RSA_WITH_RC4_128_MD5", 0x0300, 0x0004},
        Case{"ssl30_rc4_sha", "rsa", 0x00F0, 0x0030, "TLS_RSA_WITH_RC4_128_SHA", 0x0300, 0x0005},
        Case{"ssl30_des", "rsa", 0x00F0, 0x0030, "TLS_RSA_WITH_DES_CBC_SHA", 0x0300, 0x0009},
        Case{"tls13_rsa", "rsa", 0x3000, 0x3000, "", 0x0304, 0x1301},
        Case{"tls13_p256", "p256", 0x3000, 0x3000, "TLS_AES_256_GCM_SHA384", 0x0304, 0x1302},
        Case{"tls13_chacha", "rsa", 0x3000, 0x3000, "TLS_CHACHA20_POLY1305_SHA256", 0x0304, 0x1303},
        Case{"default_masks", "rsa", 0xFFFF, 0xFFFF, "", 0x0304, 0x1301}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

bool HasStatus(const TrustingOwner& owner, const std::string& text) {
  for (const std::string& s : owner.statuses) {
    if (s == text) return true;
  }
  return false;
}

void HandshakeAt(MemoryPair& pair, pki::SelectedCertificate* own, int mask, const char* suites) {
  pair.server.ownCertificate = own;
  ASSERT_EQ(pair.client.SetEnabledProtocols(mask), 0);
  ASSERT_EQ(pair.server.SetEnabledProtocols(mask), 0);
  ASSERT_EQ(pair.client.SetCipherSuites(suites), 0);
  ASSERT_EQ(pair.Handshake(), 0);
}

// The status texts every handshake builds, byte for byte on both sides:
// the offered suites (the renegotiation SCSV has no name), the version and
// suite chosen, and the summary with its numbers.
TEST(ServerMemoryStatus, HandshakeTexts) {
  auto rsa = Identity("rsa");
  REQUIRE_OR_SKIP(rsa != nullptr, "PKI fixture kit or its PKCS#12 file could not be made");
  {
    MemoryPair pair;
    HandshakeAt(pair, rsa.get(), 0x0C00, "TLS_ECDHE_RSA_WITH_AES_128_CBC_SHA");
    EXPECT_TRUE(HasStatus(pair.clientOwner, "Cipher Suites:\r\n    TLS_ECDHE_RSA_WITH_AES_128_CBC_SHA (0xc013)"));
    EXPECT_TRUE(HasStatus(pair.serverOwner,
                    "Cipher Suites:\r\n    TLS_ECDHE_RSA_WITH_AES_128_CBC_SHA (0xc013);\r\n    Unknown (0x00ff)"));
    EXPECT_TRUE(HasStatus(pair.serverOwner, "Selected TLS Version: TLS1.2"));
    EXPECT_TRUE(HasStatus(pair.serverOwner, "Selected Cipher Suite: TLS_ECDHE_RSA_WITH_AES_128_CBC_SHA (0xC013)"));
    const std::string summary =
        "Negotiated SSL parameters: Protocol: TLS1.2 Cipher: AES Cipher strength: 128 Hash: SHA1 Hash Strength: 0x14 "
        "Key exchange: DH Ephemeral Key exchange strength: 256";
    EXPECT_TRUE(HasStatus(pair.clientOwner, summary));
    EXPECT_TRUE(HasStatus(pair.serverOwner, summary));
  }
  auto ec = Identity("p256");
  REQUIRE_OR_SKIP(ec != nullptr, "PKI fixture kit or its PKCS#12 file could not be made");
  MemoryPair pair;
  HandshakeAt(pair, ec.get(), 0x3000, "TLS_AES_256_GCM_SHA384;TLS_AES_128_GCM_SHA256");
  EXPECT_TRUE(HasStatus(pair.serverOwner,
                  "Cipher Suites:\r\n    TLS_AES_256_GCM_SHA384 (0x1302);\r\n    TLS_AES_128_GCM_SHA256 (0x1301);"
                  "\r\n    Unknown (0x00ff)"));
  EXPECT_TRUE(HasStatus(pair.serverOwner, "Selected TLS Version: TLS1.3"));
  EXPECT_TRUE(HasStatus(pair.serverOwner, "Selected Cipher Suite: TLS_AES_256_GCM_SHA384 (0x1302)"));
  EXPECT_TRUE(HasStatus(pair.serverOwner, "Selected Group: ecdhe_secp256r1"));
  const std::string summary =
      "Negotiated SSL parameters: Protocol: TLS1.3 Cipher: AES-GCM Cipher strength: 256 Key exchange:  "
      "Key exchange strength: 256 Local Signature scheme: ecdsa_secp256r1_sha256 Remote Signature scheme: "
      "ecdsa_secp256r1_sha256";
  EXPECT_TRUE(HasStatus(pair.serverOwner, summary));
}

// Export suites, which both ends take only with the export permission: RSA
// export with the server's temporary 512-bit key (its own key is 2048
// bits), and Diffie-Hellman export with the 512-bit group.
TEST(ServerMemoryExport, AgreesOnTheExportKeyExchanges) {
  auto own = Identity("rsa");
  REQUIRE_OR_SKIP(own != nullptr, "PKI fixture kit or its PKCS#12 file could not be made");
  struct ExportCase {
    const char* suite;
    int code;
    const char* keyExchangeText;
  };
  const ExportCase cases[] = {{"TLS_RSA_EXPORT_WITH_DES40_CBC_SHA", 0x0008, "with ephemeral RSA keys sent"},
                              {"TLS_DHE_RSA_EXPORT_WITH_DES40_CBC_SHA", 0x0014, "with Diffie-Hellman keys sent"}};
  for (const ExportCase& c : cases) {
    SCOPED_TRACE(c.suite);
    MemoryPair pair;
    pair.server.ownCertificate = own.get();
    pair.client.relaxedChecks = pair.server.relaxedChecks = 1;
    ASSERT_EQ(pair.client.SetEnabledProtocols(0x00C0), 0);
    ASSERT_EQ(pair.server.SetEnabledProtocols(0x00C0), 0);
    ASSERT_EQ(pair.client.SetCipherSuites(c.suite), 0);
    ASSERT_EQ(pair.Handshake(), 0) << "client: " << pair.clientOwner.fatalText
                                   << " server: " << pair.serverOwner.fatalText << "\n"
                                   << Tail(pair.clientOwner) << "\n" << Tail(pair.serverOwner);
    ASSERT_TRUE(pair.Established());
    EXPECT_EQ(pair.server.current.readState.Suite().GetCode(), c.code);
    EXPECT_TRUE(pair.serverOwner.HasStatus(std::string("ServerKeyExchange message ") + c.keyExchangeText));
    EXPECT_TRUE(pair.server.current.masterSecret.Equals(pair.client.current.masterSecret));
    if (c.code == 0x0008) {
      EXPECT_EQ(pair.client.current.KeyExchangeBits(), 512);
      EXPECT_EQ(pair.server.current.KeyExchangeBits(), 512);
    }
    EXPECT_TRUE(pair.Exchange("client to server", "server to client"));
  }
  // Without the permission the client offers neither and the server takes neither.
  MemoryPair refused;
  refused.server.ownCertificate = own.get();
  refused.server.relaxedChecks = 1;
  ASSERT_EQ(refused.client.SetCipherSuites("TLS_RSA_EXPORT_WITH_DES40_CBC_SHA"), 0);
  EXPECT_NE(refused.Handshake(), 0);
  EXPECT_FALSE(refused.Established());
}

// One pair of engines, two handshakes in a row: the second starts from what
// the first left in the engines and both contexts, and still completes and
// carries data; under TLS 1.2 it resumes the first session.
TEST(ServerMemoryReuse, SecondHandshakeOnTheSameEngines) {
  auto own = Identity("p256");
  REQUIRE_OR_SKIP(own != nullptr, "PKI fixture kit or its PKCS#12 file could not be made");
  struct Round {
    int mask;
    int version;
    int resumed;
  };
  for (const Round r : {Round{0x3000, 0x0304, 0}, Round{0x0C00, 0x0303, 1}}) {
    SCOPED_TRACE(r.version);
    MemoryPair pair;
    pair.server.ownCertificate = own.get();
    ASSERT_EQ(pair.client.SetEnabledProtocols(r.mask), 0);
    ASSERT_EQ(pair.server.SetEnabledProtocols(r.mask), 0);
    for (int round = 1; round <= 2; ++round) {
      ASSERT_EQ(pair.Handshake(), 0) << "client: " << pair.clientOwner.fatalText
                                     << " server: " << pair.serverOwner.fatalText;
      EXPECT_EQ(pair.clientOwner.handshakeDone, round);
      EXPECT_EQ(pair.serverOwner.handshakeDone, round);
      EXPECT_EQ(pair.clientOwner.handshakeFailed + pair.serverOwner.handshakeFailed, 0);
      EXPECT_EQ(pair.client.current.version, r.version);
      EXPECT_TRUE(pair.Exchange("round " + std::to_string(round) + " up", std::string(5000, char('0' + round))));
    }
    EXPECT_EQ(pair.client.resumed, r.resumed);
    EXPECT_EQ(pair.server.resumed, r.resumed);
  }
}

}  // namespace

namespace {

std::string Dumped(const TrustingOwner& owner, const std::string& label) {
  return peertest::Dumped(owner.statuses, label);
}

std::string HexOf(const std::string& bytes) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

struct Ssl3Case {
  const char* name;
  const char* suite;
  const char* cipher;
  int keyLength;
  const char* mac;
};

void PrintTo(const Ssl3Case& c, std::ostream* out) { *out << c.name; }

class Ssl3Model : public ::testing::TestWithParam<Ssl3Case> {};

// The model's verdict on the captured handshake; extra is more JSON fields.
testsupport::ChildRun RunSsl3Model(const MemoryPair& pair, const char* cipher, int keyLength, const char* mac,
                                      const std::string& extra) {
  testsupport::ScratchDir dir("ssl3_model");
  const std::string input = (dir.path() / "input.json").string();
  {
    std::ofstream out(input);
    out << "{\"master\": \"" << HexOf(std::string(pair.server.current.masterSecret.Data(),
                                                  size_t(pair.server.current.masterSecret.Length())))
        << "\", \"client_to_server\": \"" << HexOf(pair.upLog) << "\", \"server_to_client\": \"" << HexOf(pair.downLog)
        << "\", \"cipher\": \"" << cipher << "\", \"key_length\": " << keyLength << ", \"mac\": \"" << mac << "\""
        << extra << "}";
  }
  return testsupport::RunChild(
      {"/usr/bin/python3", (testsupport::SourceDir() / "tests/netlib/tls/handshake/ssl3_model.py").string(), input},
      {"PATH=/usr/bin:/bin"}, "", 60);
}

// SSL 3.0 has no peer program left: a Python model reads the captured bytes
// with the master secret and must agree on the key block, every record's MAC
// and both Finished messages.
TEST_P(Ssl3Model, AgreesWithTheCapturedHandshake) {
  const Ssl3Case& c = GetParam();
  REQUIRE_OR_SKIP(testsupport::HaveTool("/usr/bin/python3"), "python3 not found");
  auto own = Identity("rsa");
  REQUIRE_OR_SKIP(own != nullptr, "PKI fixture kit or its PKCS#12 file could not be made");
  MemoryPair pair;
  pair.server.ownCertificate = own.get();
  pair.server.logSecrets = 1;
  ASSERT_EQ(pair.client.SetEnabledProtocols(0x00F0), 0);
  ASSERT_EQ(pair.server.SetEnabledProtocols(0x0030), 0);
  ASSERT_EQ(pair.client.SetCipherSuites(c.suite), 0);
  ASSERT_EQ(pair.Handshake(), 0) << pair.serverOwner.fatalText;
  ASSERT_EQ(pair.server.current.version, 0x0300);
  ASSERT_TRUE(pair.Exchange("client data over ssl 3.0", std::string(3000, 's')));
  const auto run = RunSsl3Model(pair, c.cipher, c.keyLength, c.mac, "");
  ASSERT_TRUE(run.started);
  ASSERT_EQ(run.status, 0) << run.output;
  const std::string keyBlock = Dumped(pair.serverOwner, "Key Block");
  const size_t at = run.output.find("\"key_block\": \"") + 14;
  const std::string modelBlock = run.output.substr(at, run.output.find('"', at) - at);
  ASSERT_FALSE(keyBlock.empty());
  EXPECT_EQ(keyBlock.substr(0, modelBlock.size()), modelBlock);
  EXPECT_NE(run.output.find(HexOf("client data over ssl 3.0")), std::string::npos);
  EXPECT_NE(run.output.find(HexOf(std::string(3000, 's'))), std::string::npos);
}

// A client certificate under SSL 3.0: the CertificateVerify of an RSA, a DSA
// and an ECDSA key, checked by the model and by our server.
TEST(Ssl3ModelClientCertificate, CertificateVerifyOfEachKeyType) {
  REQUIRE_OR_SKIP(testsupport::HaveTool("/usr/bin/python3"), "python3 not found");
  auto own = Identity("rsa");
  REQUIRE_OR_SKIP(own != nullptr, "PKI fixture kit or its PKCS#12 file could not be made");
  for (const char* kit : {"rsa", "dsa", "p256"}) {
    SCOPED_TRACE(kit);
    auto client = Identity(kit);
    ASSERT_NE(client, nullptr);
    MemoryPair pair;
    pair.server.ownCertificate = own.get();
    pair.server.authenticateClients = 1;
    pair.client.ownCertificate = client.get();
    ASSERT_EQ(pair.client.SetEnabledProtocols(0x00F0), 0);
    ASSERT_EQ(pair.server.SetEnabledProtocols(0x0030), 0);
    ASSERT_EQ(pair.client.SetCipherSuites("TLS_RSA_WITH_AES_128_CBC_SHA"), 0);
    ASSERT_EQ(pair.Handshake(), 0) << pair.serverOwner.fatalText << pair.clientOwner.fatalText;
    ASSERT_TRUE(pair.serverOwner.HasStatus("CertificateVerify message received"));
    ASSERT_TRUE(pair.Exchange("client data over ssl 3.0", "server data"));
    const std::string leaf = pkikit::Bytes(std::string(kit) + "-leaf.der");
    const auto run = RunSsl3Model(pair, "aes", 16, "sha1", ", \"client_certificate\": \"" + HexOf(leaf) + "\"");
    ASSERT_TRUE(run.started);
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("\"certificate_verify\": true"), std::string::npos) << run.output;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Suites, Ssl3Model,
    ::testing::Values(Ssl3Case{"rsa_aes128", "TLS_RSA_WITH_AES_128_CBC_SHA", "aes", 16, "sha1"},
                      Ssl3Case{"dhe_rsa_aes256", "TLS_DHE_RSA_WITH_AES_256_CBC_SHA", "aes", 32, "sha1"},
                      Ssl3Case{"rsa_3des", "TLS_RSA_WITH_3DES_EDE_CBC_SHA", "3des", 24, "sha1"},
                      Ssl3Case{"rsa_des", "TLS_RSA_WITH_DES_CBC_SHA", "des", 8, "sha1"},
                      Ssl3Case{"rsa_rc4_md5", "TLS_RSA_WITH_RC4_128_MD5", "rc4", 16, "md5"},
                      Ssl3Case{"rsa_rc4_sha", "TLS_RSA_WITH_RC4_128_SHA", "rc4", 16, "sha1"}),
    [](const ::testing::TestParamInfo<Ssl3Case>& info) { return std::string(info.param.name); });

}  // namespace
