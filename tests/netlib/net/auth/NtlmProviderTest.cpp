// The token provider: credentials, the two legs and their log, the socket
// core's Base64 path, and a real type-1/2/3 exchange with squid.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "NtlmTestSupport.h"
#include "PeerProcess.h"
#include "SocketTestSupport.h"
#include "TestProcess.h"
#include "TestSupport.h"
#include "net/auth/AuthTokenProvider.h"

namespace {

using namespace ntlmtest;
using tornell::AuthTokenProvider;
using tornell::ByteString;

const std::string kServerChallenge = FromHex("0123456789abcdef");

TEST(NtlmProvider, DomainSplit) {
  const struct {
    const char* text;
    const char* domain;
    const char* user;
  } cases[] = {{"CORP\\alice", "CORP", "alice"}, {"alice", "", "alice"}, {"A\\B\\C", "A", "B\\C"}, {"\\alice", "", "alice"}};
  for (const auto& c : cases) {
    AuthTokenProvider p;
    ASSERT_EQ(p.SetCredentials("NTLM", c.text, "12345678"), 0);
    ByteString out;
    ByteString input;
    ASSERT_EQ(p.GetToken(out, "NTLM", "h", input, nullptr), 0);
    const std::string expected = std::string("user=\"") + c.user + "\", domain=\"" + c.domain +
                                 "\", password(len)=\"8\"";
    EXPECT_NE(std::string(p.GetDiagnosticText()).find(expected), std::string::npos) << c.text;
    EXPECT_EQ(std::string(p.GetDiagnosticText()).find("12345678"), std::string::npos);
  }
}

TEST(NtlmProvider, EachEmptyInputStartsAfresh) {
  AuthTokenProvider p;
  ASSERT_EQ(p.SetCredentials("NTLM", "alice", "pw"), 0);
  ByteString input;
  ByteString first;
  ByteString second;
  ASSERT_EQ(p.GetToken(first, "NTLM", "h", input, nullptr), 0);
  const std::string log = p.GetDiagnosticText();
  ASSERT_EQ(p.GetToken(second, "Negotiate", "h", input, nullptr), 0);
  EXPECT_EQ(Hex(first), Hex(second));
  EXPECT_EQ(first.Length(), 40);
  const std::string again = p.GetDiagnosticText();
  EXPECT_EQ(again.find("Getting authentication token."), 0u);
  EXPECT_EQ(again.find("Getting authentication token.", 1), std::string::npos);  // cleared, not appended
  EXPECT_NE(again.find("protocol=\"Negotiate\""), std::string::npos);
}

TEST(NtlmProvider, ServerSideProducesNothing) {
  AuthTokenProvider p;
  ASSERT_EQ(p.SetCredentials("NTLM", "alice", "pw"), 0);
  ASSERT_EQ(p.SetServerSide(7), 0);
  ByteString out;
  ASSERT_EQ(out.Set("untouched"), 0);
  ByteString input;
  ASSERT_EQ(p.GetToken(out, "NTLM", "srv", input, nullptr), 0);
  EXPECT_STREQ(out.CStr(), "untouched");
  EXPECT_STREQ(p.GetDiagnosticText(),
               "Getting authentication token.\r\nParameters:\r\n\tprotocol=\"NTLM\", user=\"alice\", domain=\"\", "
               "password(len)=\"2\", server=\"srv\", server side=\"True\"\r\n"
               "Finished getting authentication token.\r\n");
  EXPECT_EQ(p.SetUseSystemSspi(1), 0);
  EXPECT_EQ(p.GetUseSystemSspi(), 0);
}

TEST(NtlmProvider, TwoLegLog) {
  AuthTokenProvider p;
  ASSERT_EQ(p.SetCredentials("NTLM", "D\\u", "pw"), 0);
  ByteString out;
  ByteString input;
  ASSERT_EQ(p.GetToken(out, "NTLM", "web", input, nullptr), 0);
  const uint8_t client[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  p.SetClientChallenge(client);
  const std::string info = std::string("\x02\x00\x06\x00" "D\0O\0M\0" "\x07\x00\x08\x00", 14) +
                           FromHex("0090d336b734c301") + std::string(4, '\0');
  ByteString challenge =
      Bytes(Challenge(0x02898205, kServerChallenge, std::string("S\0R\0V\0", 6), info));
  ASSERT_EQ(p.GetToken(out, "NTLM", "web", challenge, nullptr), 0);
  EXPECT_STREQ(p.GetDiagnosticText(),
      "Getting authentication token.\r\n"
      "Parameters:\r\n"
      "\tprotocol=\"NTLM\", user=\"u\", domain=\"D\", password(len)=\"2\", server=\"web\", server side=\"False\"\r\n"
      "Generating negotiate data.\r\n"
      "Generated token - Found NTLM token:\r\n"
      "\tLength: 41\r\n"
      "\tNTLMSSP Signature: NTLMSSP\r\n"
      "\tNTLM Message Type: Negotiate\r\n"
      "\tFlags: 0xa2089207\r\n"
      "\tOS Version: Version 0.0 (Build 0); NTLM Current Revision 15\r\n"
      "\tSupplied Domain: D\r\n"
      "\tRaw Data: TlRMTVNTUAABAAAAB5IIogEAAQAoAAAAAAAAAAAAAAAAAAAAAAAAD0Q=\r\n"
      "Finished getting authentication token.\r\n"
      "Getting authentication token.\r\n"
      "Parameters:\r\n"
      "\tprotocol=\"NTLM\", user=\"u\", domain=\"D\", password(len)=\"2\", server=\"web\", server side=\"False\"\r\n"
      "Input token - Found NTLM token:\r\n"
      "\tLength: 88\r\n"
      "\tNTLMSSP Signature: NTLMSSP\r\n"
      "\tNTLM Message Type: Challenge\r\n"
      "\tFlags: 0x2898205\r\n"
      "\tTarget Name: : SRV\r\n"
      "\tChallenge: 0123456789abcdef\r\n"
      "\tTarget Information: Type: 2 (Domain name), Data: DOM\tType: 7 (Timestamp), Data: 0090d336b734c301\t\r\n"
      "\tOS Version: Version 6.1 (Build 7601); NTLM Current Revision 15\r\n"
      "\tRaw Data: TlRMTVNTUAACAAAABgAGADgAAAAFgokCASNFZ4mrze8AAAAAAAAAABoAGgA+AAAA\r\n"
      "BgGxHQAAAA9TAFIAVgACAAYARABPAE0ABwAIAACQ0za3NMMBAAAAAA==\r\n"
      "Generating authentication data.\r\n"
      "Generated token - Found NTLM token:\r\n"
      "\tLength: 124\r\n"
      "\tNTLMSSP Signature: NTLMSSP\r\n"
      "\tNTLM Message Type: Authenticate\r\n"
      "\tFlags: 0xa2888205\r\n"
      "\tOS Version: Version 0.0 (Build 0); NTLM Current Revision 15\r\n"
      "\tDomain Name: D\r\n"
      "\tUser: u\r\n"
      "\tLM/LMv2 Response: 010203040506070800000000000000000000000000000000\r\n"
      "\tNTLM/NTLMv2 Response: 42fce94081b03a5a8db80ed478249c19cff2f373068d0d52\r\n"
      "\tRaw Data: TlRMTVNTUAADAAAAGAAYAEwAAAAYABgAZAAAAAIAAgBIAAAAAgACAEoAAAAAAAAA\r\n"
      "AAAAAAAAAAAAAAAABYKIogAAAAAAAAAPRAB1AAECAwQFBgcIAAAAAAAAAAAAAAAA\r\n"
      "AAAAAEL86UCBsDpajbgO1HgknBnP8vNzBo0NUg==\r\n"
      "Finished getting authentication token.\r\n");
}

TEST(NtlmProvider, FailedSecondLegKeepsErrorText) {
  AuthTokenProvider p;
  ASSERT_EQ(p.SetCredentials("NTLM", "alice", "pw"), 0);
  ByteString out;
  ByteString input;
  ASSERT_EQ(p.GetToken(out, "NTLM", "h", input, nullptr), 0);
  ByteString bad = Bytes(Challenge(0x205, kServerChallenge).substr(0, 20));
  ByteString none;
  EXPECT_EQ(p.GetToken(none, "NTLM", "h", bad, nullptr), -1);
  EXPECT_EQ(none.Length(), 0);
  const std::string log = p.GetDiagnosticText();
  EXPECT_EQ(log.find("Finished getting authentication token."), log.rfind("Finished getting authentication token."));
  EXPECT_NE(log.substr(log.size() - 40).find("Generating authentication data.\r\n"), std::string::npos);
  EXPECT_STREQ(p.GetErrorText(), "Could not process server's NTLM authentication token: message too short.");
  ASSERT_EQ(p.GetToken(out, "NTLM", "h", input, nullptr), 0);
  EXPECT_STREQ(p.GetErrorText(), "Could not process server's NTLM authentication token: message too short.");
}

// ---- SocketCore::GetAuthToken and a real exchange with squid ------------------------

TEST(NtlmProvider, SocketCoreTokensInBase64) {
  sockettest::TestSocket s;
  ASSERT_EQ(s.SetAuthCredentials("NTLM", "alice", "pw"), 0);
  ByteString first;
  ASSERT_EQ(s.GetAuthToken(first, "NTLM", "h", ""), 0);
  EXPECT_STREQ(first.CStr(), "TlRMTVNTUAABAAAAB4IIogAAAAAAAAAAAAAAAAAAAAAAAAAAAAAADw==");
  ByteString challenge;
  const std::string raw = Challenge(0x00088205, kServerChallenge);
  ASSERT_EQ(challenge.AppendBase64(raw.data(), static_cast<int>(raw.size()), 0, 64, 0), 0);
  ByteString second;
  ASSERT_EQ(s.GetAuthToken(second, "NTLM", "h", challenge.CStr()), 0);
  EXPECT_EQ(std::string(second.CStr()).rfind("TlRMTVNTUAADAAAA", 0), 0u);
  ByteString bad;
  EXPECT_EQ(s.GetAuthToken(bad, "NTLM", "h", "AAAA"), -1);
  EXPECT_STREQ(s.GetLastErrorText(), "Could not process server's NTLM authentication token: invalid signature.");
  EXPECT_NE(std::string(s.GetAuthDiagnostics()).find("Unknown token type.\r\n\tRaw Data: AAAA\r\n"), std::string::npos);
}

class Client {
 public:
  explicit Client(int port) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    timeval timeout{5, 0};
    setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  }
  ~Client() { close(fd_); }
  bool connected() const { return connected_; }
  // Sends a request and reads one response (headers and a Content-Length body).
  std::string Ask(const std::string& request) {
    if (send(fd_, request.data(), request.size(), 0) != static_cast<ssize_t>(request.size())) return "";
    std::string reply;
    char buffer[4096];
    for (int i = 0; i < 1000; ++i) {
      const size_t end = reply.find("\r\n\r\n");
      if (end != std::string::npos) {
        const size_t at = reply.find("Content-Length: ");
        const size_t length = at != std::string::npos && at < end ? std::stoul(reply.substr(at + 16)) : 0;
        if (reply.size() >= end + 4 + length) break;
      }
      const ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      reply.append(buffer, static_cast<size_t>(n));
    }
    return reply;
  }

 private:
  int fd_ = -1;
  bool connected_ = false;
};

std::string HeaderValue(const std::string& reply, const std::string& prefix) {
  const size_t at = reply.find(prefix);
  if (at == std::string::npos) return "";
  const size_t start = at + prefix.size();
  return reply.substr(start, reply.find("\r\n", start) - start);
}

TEST(NtlmProviderLive, SquidFakeAuth) {
  REQUIRE_OR_SKIP(!testsupport::FindProgram("squid").empty() &&
                      access("/usr/lib/squid/ntlm_fake_auth", X_OK) == 0,
                  "squid with ntlm_fake_auth is not installed");
  testsupport::ScratchDir dir("ntlm-squid");
  const std::string s = dir.path().string();
  const int port = testsupport::FreePort();
  ASSERT_NE(port, 0);
  std::ofstream(s + "/squid.conf")
      << "http_port 127.0.0.1:" << port << "\npid_filename " << s << "/squid.pid\ncache_log " << s
      << "/cache.log\naccess_log stdio:" << s << "/access.log\ncache_store_log none\ncache deny all\n"
      << "cache_mem 4 MB\ncoredump_dir " << s << "\nnetdb_filename none\npinger_enable off\n"
      << "shutdown_lifetime 0 seconds\ndns_nameservers 127.0.0.1\nudp_outgoing_address 127.0.0.1\n"
      << "auth_param ntlm program /usr/lib/squid/ntlm_fake_auth\nauth_param ntlm children 1 startup=1\n"
      << "acl authed proxy_auth REQUIRED\nhttp_access allow authed\nhttp_access deny all\n";
  const passwd* proxyUser = getpwnam("proxy");
  ASSERT_NE(proxyUser, nullptr);
  for (const char* name : {"", "/squid.conf"}) {
    ASSERT_EQ(chown((s + name).c_str(), proxyUser->pw_uid, proxyUser->pw_gid), 0);
  }
  ASSERT_EQ(chmod(s.c_str(), 0755), 0);
  testsupport::PeerProcess squid;
  squid.SetStopSignal(SIGKILL);
  ASSERT_TRUE(squid.Start({"squid", "-N", "-f", s + "/squid.conf"}, port, s + "/run.log"));

  sockettest::TestSocket socket;
  ASSERT_EQ(socket.SetAuthCredentials("NTLM", "CORP\\alice", "anything"), 0);
  Client client(port);
  ASSERT_TRUE(client.connected());
  const std::string request = "GET http://127.0.0.1:9/ HTTP/1.1\r\nHost: 127.0.0.1:9\r\n";
  ByteString negotiate;
  ASSERT_EQ(socket.GetAuthToken(negotiate, "NTLM", "127.0.0.1", ""), 0);
  const std::string first = client.Ask(request + "Proxy-Authorization: NTLM " + negotiate.CStr() + "\r\n\r\n");
  const std::string challenge = HeaderValue(first, "Proxy-Authenticate: NTLM ");
  ASSERT_FALSE(challenge.empty()) << first;
  ByteString authenticate;
  ASSERT_EQ(socket.GetAuthToken(authenticate, "NTLM", "127.0.0.1", challenge.c_str()), 0)
      << socket.GetLastErrorText();
  const std::string second = client.Ask(request + "Proxy-Authorization: NTLM " + authenticate.CStr() + "\r\n\r\n");
  ASSERT_GT(second.size(), 12u);
  // Authenticated: squid goes on to the (closed) origin port instead of asking again.
  EXPECT_EQ(std::atoi(second.c_str() + 9), 503) << second.substr(0, 300);
  EXPECT_NE(second.find("ERR_CONNECT_FAIL"), std::string::npos);
  const std::string log = socket.GetAuthDiagnostics();
  EXPECT_NE(log.find("\tNTLM Message Type: Challenge\r\n"), std::string::npos);
  EXPECT_NE(log.find("\tTarget Name: : \r\n"), std::string::npos);  // its offset points far outside
  EXPECT_NE(log.find("Finished getting authentication token.\r\n"), std::string::npos);
}

}  // namespace
