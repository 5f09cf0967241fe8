// The secure connection with the real engine against OpenSSL's and GnuTLS's
// servers on 127.0.0.1, with a test PKI made at run time.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <string>

#include "PeerProcess.h"
#include "SecureTestSupport.h"
#include "TestPki.h"
#include "TestSupport.h"

using nettest::Event;
using nettest::EventConnection;
using nettest::PrepareTls;
using nettest::PumpUntil;
using testsupport::PeerProcess;
using testsupport::StartOpensslServer;
using testsupport::TestPki;

namespace {

// A TLS 1.2 server that requires a client certificate from the test CA.
bool StartRequiringClientCertificate(PeerProcess& server) {
  return StartOpensslServer(server, {"-www", "-tls1_2", "-Verify", "1", "-verify_return_error", "-CAfile",
                               TestPki::Get().Path("ca.crt")});
}

// The connection's own SSLStatus lines, without the engine's progress texts.
std::vector<Event> ConnectionEvents(const EventConnection& connection) {
  static const std::vector<std::string> own = {"Attempting to connect to server.", "Using internal security API."};
  std::vector<Event> kept;
  for (const Event& event : connection.events) {
    if (event.kind == "SSLStatus" && std::find(own.begin(), own.end(), event.text) == own.end()) continue;
    if (event.kind == "Error" || event.kind == "DataIn") continue;
    kept.push_back(event);
  }
  return kept;
}

}  // namespace

TEST(SecureConnectionPeer, OpensslEventsAlpnAndAGet) {
  PeerProcess server;
  REQUIRE_OR_SKIP(StartOpensslServer(server, {"-www", "-alpn", "h2,http/1.1"}), "openssl is not installed");
  EventConnection connection;
  ASSERT_EQ(PrepareTls(connection), 0);
  ASSERT_EQ(connection.Configure("ALPNExtension=http/1.1"), 0);
  ASSERT_EQ(connection.ConnectTo("localhost", server.port()), 0) << connection.GetLastErrorText();
  const std::vector<Event> events = ConnectionEvents(connection);
  const std::vector<Event> expected = {
      {"SSLStatus", 0, "Attempting to connect to server.", ""},
      {"ConnectionStatus", 0, "Remote host connection complete. Initiating SSL handshake.", "OK"},
      {"SSLStatus", 0, "Using internal security API.", ""},
      {"ConnectionStatus", 0, "SSL handshake complete.", "OK"},
      {"Connected", 0, "", "OK"},
      {"ReadyToSend", 0, "", ""}};
  // The server's certificate event is checked on its own below.
  std::vector<Event> withoutAuthentication;
  for (const Event& event : events) {
    if (event.kind != "SSLServerAuthentication") withoutAuthentication.push_back(event);
  }
  EXPECT_EQ(withoutAuthentication, expected);
  EXPECT_STREQ(connection.GetNegotiatedAlpn(), "http/1.1");
  ASSERT_EQ(connection.SendText("GET / HTTP/1.0\r\n\r\n"), 0);
  ASSERT_EQ(connection.WaitForReply(), 0);
  const std::string reply(connection.GetReply().Data(), static_cast<size_t>(connection.GetReply().Length()));
  EXPECT_EQ(reply.rfind("HTTP/1.0 200 ok", 0), 0u) << reply;
}

TEST(SecureConnectionPeer, GnutlsEchoLinesAndHeldBackBytes) {
  const TestPki& pki = TestPki::Get();
  PeerProcess server;
  REQUIRE_OR_SKIP(pki.ok && server.Start({"gnutls-serv", "--port", "{port}", "--x509certfile", pki.Path("chain.crt"),
                                          "--x509keyfile", pki.Path("srv.key"), "--echo"}),
                  "gnutls-serv is not installed");
  EventConnection connection;
  connection.SetSingleLineMode(false);
  ASSERT_EQ(PrepareTls(connection), 0);
  ASSERT_EQ(connection.SetEol("\r\n", 2), 0);
  ASSERT_EQ(connection.ConnectTo("localhost", server.port()), 0) << connection.GetLastErrorText();
  // Two records, the line split between them. (The echo turns a CR LF that
  // ends a record into LF, so no record ends with the terminator.)
  ASSERT_EQ(connection.SendText("one\r\ntw"), 0);
  ASSERT_EQ(connection.SendText("o\r\nend"), 0);
  ASSERT_TRUE(PumpUntil(connection, [&] { return connection.Count("DataIn") >= 2; }));
  EXPECT_EQ(connection.received, "onetwo");
  EXPECT_EQ(connection.TlsQueue().Length(), 3u);  // "end" waits for its terminator
  // Delivery off while 3 MB come back: the held bytes stay near the limit.
  ASSERT_EQ(connection.SetEol(nullptr, 0), 0);
  connection.recordData = false;
  connection.received.clear();
  ASSERT_EQ(connection.SetReceiveEnabled(0), 0);
  // The echo answers whole lines only.
  std::string data(3 << 20, '\0');
  std::mt19937 random(3);
  for (size_t i = 0; i < data.size(); ++i) data[i] = i % 100 == 99 ? '\n' : static_cast<char>('a' + random() % 26);
  ASSERT_EQ(connection.SendData(data.data(), static_cast<int>(data.size()), 0, 0), 0);
  PumpUntil(connection, [] { return false; }, 500);
  EXPECT_LE(connection.GetTlsPendingLength(), tornell::SecureConnection::kTlsPendingLimit + 65536);
  ASSERT_EQ(connection.SetReceiveEnabled(1), 0);
  ASSERT_TRUE(PumpUntil(connection, [&] { return connection.received.size() >= data.size(); }, 20000));
  EXPECT_TRUE(connection.received == data);
}

TEST(SecureConnectionPeer, StartSslAndWaitOverAPlainConnection) {
  PeerProcess server;
  REQUIRE_OR_SKIP(StartOpensslServer(server, {"-www"}), "openssl is not installed");
  EventConnection connection;
  ASSERT_EQ(connection.SetTimeout(20, 1), 0);
  ASSERT_EQ(connection.Configure("SSLSecurityFlags=16"), 0);  // the chain's self-signed root counts as trusted
  ASSERT_EQ(connection.ConnectTo("localhost", server.port()), 0);
  ASSERT_EQ(connection.StartSslAndWait(), 0) << connection.GetLastErrorText();
  EXPECT_TRUE(connection.IsConnected());
  EXPECT_EQ(connection.GetUseSSL(), 1);
}

TEST(SecureConnectionPeer, RequiredClientCertificateFailsTheConnect) {
  PeerProcess server;
  REQUIRE_OR_SKIP(StartRequiringClientCertificate(server), "openssl is not installed");
  EventConnection connection;
  ASSERT_EQ(PrepareTls(connection), 0);
  const auto started = std::chrono::steady_clock::now();
  const int status = connection.ConnectTo("localhost", server.port());
  EXPECT_NE(status, 0);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
  EXPECT_NE(std::string(connection.GetLastErrorText()).find("HANDSHAKE_FAILURE"), std::string::npos)
      << connection.GetLastErrorText();
  EXPECT_FALSE(connection.IsConnected());
  EXPECT_EQ(connection.Count("Connected"), 0);
}

TEST(SecureConnectionPeer, RequiredClientCertificateReportsTheHandshakeEnd) {
  PeerProcess server;
  REQUIRE_OR_SKIP(StartRequiringClientCertificate(server), "openssl is not installed");
  EventConnection connection;
  ASSERT_EQ(PrepareTls(connection), 0);
  EXPECT_NE(connection.ConnectTo("localhost", server.port()), 0);
  bool seen = false;
  for (const Event& event : connection.events) {
    if (event.kind == "ConnectionStatus" && event.text == "SSL handshake complete.") {
      EXPECT_EQ(event.code, tornell::kStatusTlsHandshakeFailed);
      EXPECT_FALSE(event.description.empty());
      seen = true;
    }
  }
  EXPECT_TRUE(seen);
}

TEST(SecureConnectionPeer, HandshakeWithNoProtocolEndsAtOnce) {
  PeerProcess server;
  REQUIRE_OR_SKIP(StartOpensslServer(server, {"-www"}), "openssl is not installed");
  EventConnection connection;
  ASSERT_EQ(connection.SetTimeout(60, 1), 0);
  ASSERT_EQ(connection.Configure("SSLEnabledProtocols=0"), 0);
  ASSERT_EQ(connection.SetUseSSL(true), 0);
  const auto started = std::chrono::steady_clock::now();
  EXPECT_NE(connection.ConnectTo("localhost", server.port()), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(1));
  EXPECT_EQ(connection.GetTimeout(), 60);
}

TEST(SecureConnectionPeer, ServerAuthenticationCarriesSubjectAndIssuer) {
  PeerProcess server;
  REQUIRE_OR_SKIP(StartOpensslServer(server, {"-www"}), "openssl is not installed");
  EventConnection connection;
  ASSERT_EQ(connection.SetTimeout(20, 1), 0);
  ASSERT_EQ(connection.SetUseSSL(true), 0);
  ASSERT_EQ(connection.ConnectTo("localhost", server.port()), 0) << connection.GetLastErrorText();
  const std::vector<Event> events = ConnectionEvents(connection);
  ASSERT_GE(events.size(), 4u);
  EXPECT_EQ(events[3].kind, "SSLServerAuthentication");
  EXPECT_NE(events[3].text.find("localhost|"), std::string::npos);
  EXPECT_NE(events[3].text.find("Test rsa CA"), std::string::npos);
}

// The connection hands its certificate store to the engine: a server that
// requires a client certificate gets the ECDSA one of a PKCS#12 store, and
// the connection completes.
TEST(SecureConnectionPeer, ClientCertificateFromTheStore) {
  PeerProcess server;
  const TestPki& pki = TestPki::Get();
  REQUIRE_OR_SKIP(StartOpensslServer(server, {"-www", "-Verify", "1", "-verify_return_error", "-CAfile",
                                              pki.Path("ca.crt")}),
                  "openssl is not installed");
  for (int protocols : {0x0C00, 0x3000}) {
    SCOPED_TRACE(protocols);
    EventConnection connection;
    connection.SetSingleLineMode(false);
    ASSERT_EQ(connection.SetTimeout(20, 1), 0);
    ASSERT_EQ(connection.Configure("SSLSecurityFlags=16"), 0);
    ASSERT_EQ(connection.Configure("SSLEnabledProtocols=" + std::to_string(protocols)), 0);
    connection.UseCertificateStore(3, testsupport::ReadFileText(pki.Path("cli.p12")), "pw", "*");
    ASSERT_EQ(connection.SetUseSSL(true), 0);
    ASSERT_EQ(connection.ConnectTo("localhost", server.port()), 0) << connection.GetLastErrorText();
    ASSERT_EQ(connection.SendText("GET / HTTP/1.0\r\n\r\n"), 0);
    ASSERT_TRUE(PumpUntil(connection, [&] { return connection.received.find("</HTML>") != std::string::npos; }))
        << connection.received.size() << " " << connection.received.substr(0, 200);
    const std::string& reply = connection.received;
    EXPECT_NE(reply.find("Client certificate"), std::string::npos) << reply.substr(0, 300);
    EXPECT_NE(reply.find("CN=client"), std::string::npos);
    static_cast<void>(connection.Close());
  }
}
