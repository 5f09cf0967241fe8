// Token descriptions: exact texts for NTLM messages and the raw-data lines,
// bounded reads of a peer's offsets, and SPNEGO tokens made by MIT Kerberos.
#include <cstring>
#include <string>

#include "NtlmTestSupport.h"
#include "TestProcess.h"
#include "TestSupport.h"
#include "net/auth/NtlmProvider.h"

namespace {

using namespace ntlmtest;
using tornell::ByteString;
using tornell::NtlmProvider;

std::string Describe(const std::string& token) {
  ByteString log;
  EXPECT_EQ(NtlmProvider::DumpToken(Bytes(token), log), 0);
  EXPECT_EQ(std::strlen(log.CStr()), static_cast<size_t>(log.Length())) << "zero byte in the log";
  return std::string(log.Data(), static_cast<size_t>(log.Length()));
}

TEST(NtlmDiagnostics, Negotiate) {
  NtlmProvider p;
  ByteString token;
  ASSERT_EQ(p.BuildNegotiate(token), 0);
  EXPECT_EQ(Describe(std::string(token.Data(), 40)),
            "Found NTLM token:\r\n\tLength: 40\r\n\tNTLMSSP Signature: NTLMSSP\r\n"
            "\tNTLM Message Type: Negotiate\r\n\tFlags: 0xa2088207\r\n"
            "\tOS Version: Version 0.0 (Build 0); NTLM Current Revision 15\r\n"
            "\tRaw Data: TlRMTVNTUAABAAAAB4IIogAAAAAAAAAAAAAAAAAAAAAAAAAAAAAADw==\r\n");
}

TEST(NtlmDiagnostics, EmptyAndUnknownTokens) {
  EXPECT_EQ(Describe(""), "Token is empty.\r\n");
  const std::string log = Describe(std::string(100, '\x01'));
  std::string line;
  for (int i = 0; i < 16; ++i) line += "AQEB";
  // Raw data in lines of 64, 64 and 8 characters.
  EXPECT_EQ(log, "Unknown token type.\r\n\tRaw Data: " + line + "\r\n" + line + "\r\nAQEBAQ==\r\n");
}

TEST(NtlmDiagnostics, SquidChallenge) {
  EXPECT_EQ(Describe(SquidChallenge()),
            "Found NTLM token:\r\n\tLength: 49\r\n\tNTLMSSP Signature: NTLMSSP\r\n"
            "\tNTLM Message Type: Challenge\r\n\tFlags: 0xa2088207\r\n"
            "\tTarget Name: : \r\n"  // its offset points far outside the 49 bytes
            "\tChallenge: 4f2353ac108c8386\r\n"
            "\tRaw Data: TlRMTVNTUAACAAAACQAJAK6qqqoHggiiTyNTrBCMg4YAAAAAAAA6AFdPUktHUk9V\r\nUA==\r\n");
}

TEST(NtlmDiagnostics, ChallengeFields) {
  const std::string info = std::string("\x01\x00\x04\x00" "S\0\0\x01" "\x09\x00\x02\x00" "\xab\xcd" "\0\0\0\0", 16);
  // Flag 0x4000: the reserved bytes are shown; the target information sits after them either way.
  const std::string withReserved = Challenge(0x02814205, FromHex("1122334455667788"), "", info);
  EXPECT_EQ(Describe(withReserved).substr(0, Describe(withReserved).find("\tRaw Data: ")),
            "Found NTLM token:\r\n\tLength: 72\r\n\tNTLMSSP Signature: NTLMSSP\r\n"
            "\tNTLM Message Type: Challenge\r\n\tFlags: 0x2814205\r\n"
            "\tChallenge: 1122334455667788\r\n\tReserved: 0000000000000000\r\n"
            "\tTarget Information: Type: 1 (Server name), Data: S?\tType: 9, Data: abcd\t\r\n"
            "\tOS Version: Version 6.1 (Build 7601); NTLM Current Revision 15\r\n");
  const std::string without = Challenge(0x00810205, FromHex("1122334455667788"), "", info);
  const std::string text = Describe(without);
  EXPECT_EQ(text.find("Reserved"), std::string::npos);
  EXPECT_NE(text.find("Type: 9, Data: abcd"), std::string::npos);
}

TEST(NtlmDiagnostics, HostileOffsetsStayInsideTheMessage) {
  // An AV pair longer than its field, a field longer than the message, an OEM name with a zero byte.
  std::string m = Challenge(0x00810206, FromHex("1122334455667788"), std::string("A\0B", 3),
                            std::string("\x02\x00\xff\x7f" "D\0", 6));
  m[40] = '\x40';  // TargetInfo Len 0x40 past the end
  m[42] = '\x40';
  const std::string text = Describe(m);
  EXPECT_NE(text.find("\tTarget Name: : A?B\r\n"), std::string::npos);
  EXPECT_NE(text.find("Type: 2 (Domain name), Data: D\t"), std::string::npos);
  std::string auth = FromHex("4e544c4d5353500003000000") + std::string(48, '\xff') + std::string(20, '\0');
  const std::string described = Describe(auth);
  EXPECT_NE(described.find("\tNTLM Message Type: Authenticate\r\n"), std::string::npos);
}

TEST(NtlmDiagnostics, AuthenticateOfTheEngine) {
  NtlmProvider p;
  ASSERT_EQ(p.SetCredentials("NTLM", "Domain\\User", "Password"), 0);
  ByteString out;
  ASSERT_EQ(p.ProcessChallenge(out, Bytes(Challenge(0x00000201, FromHex("0123456789abcdef")))), 0);
  const std::string text = Describe(std::string(out.Data(), static_cast<size_t>(out.Length())));
  EXPECT_EQ(text.substr(0, text.find("\tRaw Data: ")),
            "Found NTLM token:\r\n\tLength: 140\r\n\tNTLMSSP Signature: NTLMSSP\r\n"
            "\tNTLM Message Type: Authenticate\r\n\tFlags: 0x0\r\n"
            "\tOS Version: Version 0.0 (Build 0); NTLM Current Revision 15\r\n"
            "\tDomain Name: D?o?m?a?i?n?\r\n\tUser: U?s?e?r?\r\n"
            "\tLM/LMv2 Response: 98def7b87f88aa5dafe2df779688a172def11c7d5ccdef13\r\n"
            "\tNTLM/NTLMv2 Response: 67c43011f30298a2ad35ece64f16331c44bdbed927841f94\r\n");
}

// ---- GSS-API and SPNEGO ---------------------------------------------------------------

TEST(NtlmDiagnostics, GssTokensOtherThanSpnegoInit) {
  // [APPLICATION 0] { OID 1.2.840.113554.1.2.2 }: a Kerberos token without SPNEGO.
  std::string text = Describe(FromHex("600b06092a864886f712010202"));
  EXPECT_EQ(text.substr(0, text.find("\tRaw Data: ")),
            "Found GSS-API token:\r\n\tOID: 1.2.840.113554.1.2.2\r\nUnknown token OID.");
  // SPNEGO with a NegTokenResp.
  text = Describe(FromHex("600c06062b0601050502a1023000"));
  EXPECT_EQ(text.substr(0, text.find("\tRaw Data: ")),
            "Found GSS-API token:\r\n\tOID: 1.3.6.1.5.5.2\r\n\tFound SPNEGO token. Response token (NegTokenTarg).\r\n");
  // A truncated element ends the description without the raw data.
  ByteString log;
  EXPECT_NE(NtlmProvider::DumpToken(Bytes(FromHex("600c06062b06010505")), log), 0);
  EXPECT_EQ(std::string(log.CStr()).find("Raw Data"), std::string::npos);
}

TEST(NtlmDiagnostics, SpnegoFromMitKerberos) {
  testsupport::ScratchDir dir("spnego");
  const auto run = testsupport::RunChild(
      {"/usr/bin/python3", std::string(NTLM_TEST_DIR) + "/spnego_token.py", dir.path().string()},
      {"PATH=/usr/sbin:/usr/bin:/sbin:/bin"}, "", 60);
  ASSERT_TRUE(run.started);
  const int code = WIFEXITED(run.status) ? WEXITSTATUS(run.status) : -1;
  REQUIRE_OR_SKIP(code != 77, "Kerberos programs or python3-gssapi missing: " + run.output);
  ASSERT_EQ(code, 0) << run.output;
  const std::string token = FromHex(run.output.substr(0, run.output.find('\n')));
  const std::string text = Describe(token);
  const std::string head =
      "Found GSS-API token:\r\n\tOID: 1.3.6.1.5.5.2\r\n\tFound SPNEGO token. Init token (NegTokenInit):\r\n"
      "\t\tFound mech types: \r\n\t\t\t1.2.840.113554.1.2.2\r\n";
  EXPECT_EQ(text.substr(0, head.size()), head) << text;
  for (const char* line : {"\t\tFound mech token, length is ", ". Kerberos KRB_AP_REQ token:\r\n",
                           "\t\t\tPvno : 5\r\n", "\t\t\tNSG Type : AP-REQ (14)\r\n", "\t\t\tAPOptions: use-session-key(0) ",
                           "\t\t\tTicket: \r\n\t\t\t\tTkt-vno: 5\r\n", "\t\t\t\tRealm: TEST.LOCAL\r\n",
                           "\t\t\t\tPrincipal Name: type(", "\t\t\t\t\tName: HTTP\r\n\t\t\t\t\tName: localhost\r\n",
                           "\t\t\tAuthenticator Encryption Type: 18\r\n", "\tRaw Data: "}) {
    EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;

  }
}

}  // namespace
