#include <gtest/gtest.h>

#include <string>

#include "SocketTestSupport.h"
#include "core/text/ByteString.h"
#include "net/auth/AuthTokenProvider.h"

using sockettest::TestSocket;

namespace {

std::string Query(TestSocket& s, const char* key) {
  const char* answer = nullptr;
  EXPECT_EQ(s.ConfigText(key, answer), 0) << key;
  return answer != nullptr ? answer : "";
}

int Set(TestSocket& s, const std::string& request) {
  const char* answer = nullptr;
  return s.ConfigText(request.c_str(), answer);
}

struct SettingCase {
  const char* key;
  const char* fresh;  // answer of a fresh object
  const char* set;    // value written
  const char* after;  // answer afterwards
};

// Every key of the socket settings handler: default, then a round trip.
const SettingCase kSettings[] = {
    {"SelectWaitMillis", "20", "0x40", "64"},
    {"AbsoluteTimeout", "False", "yes", "True"},
    {"TimeoutInMilliseconds", "0", "TRUE", "1"},
    {"WinsockStatus", "0", "5", "0"},
    {"IgnoreExternalEvents", "False", "1", "True"},
    {"SSLEnabledCipherSuites", "", "AES128-GCM-SHA256", "AES128-GCM-SHA256"},
    {"SSLAlgorithmList", "", "CALG_AES_256", "CALG_AES_256"},
    {"SSLSecurityFlags", "0", "0x1FFFFFFFF", "-1"},
    {"SSLIncludeCertChain", "False", "True", "True"},
    {"SSLEnabledProtocols", "4032", "0x100000300", "768"},
    {"SSLEnableRenegotiation", "True", "False", "False"},
    {"UseIPv6", "False", "2", "True"},
    {"UseGetAddrInfo", "True", "no", "False"},
    {"KerberosSPN", "", "HTTP/web.example", "HTTP/web.example"},
    {"UseSystemSSPI", "False", "True", "False"},
    {"RecordToFile", "", "/tmp/t.exp", "/tmp/t.exp"},
    {"UseInternalSecurityAPI", "True", "False", "False"},
    {"selectwaitmillis", "20", "7", "7"},  // keys ignore case
};

TEST(SocketSettings, EveryKeyDefaultAndRoundTrip) {
  for (const SettingCase& c : kSettings) {
    SCOPED_TRACE(c.key);
    TestSocket s;
    EXPECT_EQ(Query(s, c.key), c.fresh);
    EXPECT_EQ(Set(s, std::string(c.key) + "=" + c.set), 0);
    EXPECT_EQ(Query(s, c.key), c.after);
  }
}

TEST(SocketSettings, KeysWithRulesOfTheirOwn) {
  TestSocket s;
  // One setting under two names.
  Set(s, "SSLAlgorithmList=x");
  EXPECT_EQ(Query(s, "SSLEnabledCipherSuites"), "x");
  // "on" is the only way to switch recording on; the query reads the transcript.
  EXPECT_EQ(Set(s, "RecordToString=ON"), 0);
  EXPECT_EQ(0, s.LogData(0, "hi", 2));
  EXPECT_EQ(Query(s, "RecordToString"), "\r\nexpect -exact \"hi\"\r\n");
  Set(s, "RecordToString=True");
  EXPECT_EQ(0, s.LogData(0, "more", 4));
  EXPECT_EQ(Query(s, "RecordToString"), "\r\nexpect -exact \"hi\"\r\n");
  // UseIPv6: yes sets the flag, on does not.
  Set(s, "UseIPv6=yes");
  EXPECT_EQ(Query(s, "UseIPv6"), "True");
  Set(s, "UseIPv6=on");
  EXPECT_EQ(Query(s, "UseIPv6"), "False");

  const char* answer = nullptr;
  for (const char* request : {"UseFIPSCompliantAPI", "UseFIPSCompliantAPI=True"}) {
    s.ClearError();
    EXPECT_EQ(s.ConfigText(request, answer), -1);
    EXPECT_STREQ(answer, "");
    EXPECT_STREQ(s.GetLastErrorText(),
                 "UseFIPSCompliantAPI is not applicable in this environment. The UseFIPSCompliantAPI "
                 "setting may only be set if the OpenSSL FIPS Object Module is in use.");
  }
  EXPECT_EQ(s.ConfigText("NoSuchKey", answer), -1);
  EXPECT_STREQ(s.GetLastErrorText(), "Unknown config setting.");
  EXPECT_EQ(Set(s, "CodePage=65001"), 0);  // passed on to the component base
  EXPECT_EQ(Query(s, "CodePage"), "65001");
}

TEST(SocketSettings, TimeoutKeepsItsNumberWhenTheUnitChanges) {
  TestSocket s;
  s.SetTimeout(60, 0);
  s.StartTimeout();
  EXPECT_NE(s.GetDeadline(), 0u);
  Set(s, "TimeoutInMilliseconds=True");
  EXPECT_EQ(s.GetTimeout(), 60);
  EXPECT_EQ(s.GetDeadline(), 0u);
  Set(s, "TimeoutInMilliseconds=False");
  EXPECT_EQ(s.GetTimeout(), 60);
  s.SetTimeout(3000000, 1);  // 3e9 ms does not fit: the longest time-out
  EXPECT_EQ(s.GetTimeout(), 2147483);
  s.SetTimeout(static_cast<unsigned>(-1), 1);  // callers give negatives their own meaning
  EXPECT_EQ(s.GetTimeout(), -1);
  s.SetIdleTimeout(7, 1);
  EXPECT_EQ(s.GetIdleTimeout(), 7);
  EXPECT_NE(s.GetIdleDeadline(), 0u);
  EXPECT_FALSE(s.IdleDeadlinePassed());
}

TEST(SocketSettings, ResetKeepsTheTlsAndRecordingSettings) {
  TestSocket s;
  Set(s, "SSLEnabledProtocols=12");
  Set(s, "KerberosSPN=spn");
  Set(s, "SelectWaitMillis=5");
  Set(s, "UseIPv6=True");
  EXPECT_EQ(0, s.SetSslCertStorePassword("pw"));
  EXPECT_EQ(s.Reset(), 1);
  EXPECT_EQ(Query(s, "SSLEnabledProtocols"), "12");
  EXPECT_EQ(Query(s, "KerberosSPN"), "spn");
  EXPECT_EQ(Query(s, "SelectWaitMillis"), "20");
  EXPECT_EQ(Query(s, "UseIPv6"), "False");
  EXPECT_STREQ(s.GetSslCertStorePassword(), "pw");
  EXPECT_EQ(s.GetReceiveBufferSize(), 65536);
  EXPECT_EQ(s.GetSendBufferSize(), 65536);
  EXPECT_EQ(signal(SIGPIPE, SIG_IGN), SIG_IGN);
}

TEST(SocketSettings, BufferSizesApplyToAnOpenSocket) {
  TestSocket s;
  s.descriptor_ = socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_GE(s.descriptor_, 0);
  EXPECT_EQ(s.SetReceiveBufferSize(32768), 0);
  int value = 0;
  socklen_t size = sizeof value;
  getsockopt(s.descriptor_, SOL_SOCKET, SO_RCVBUF, &value, &size);
  EXPECT_GE(value, 32768);  // the kernel doubles what it is given
  close(s.descriptor_);
  EXPECT_EQ(s.SetSendBufferSize(1000), EBADF);
  EXPECT_EQ(s.GetSendBufferSize(), 1000);
  s.descriptor_ = -1;
}

TEST(SocketSettings, CertificateSettings) {
  TestSocket s;
  int length = 0;
  EXPECT_EQ(s.SetSslCertEncoded("", length), 0);
  EXPECT_EQ(s.GetSelectedCertificateIndex(), 0);
  length = 3;
  EXPECT_EQ(s.SetSslCertEncoded("abc", length), 272);
  EXPECT_EQ(s.GetSelectedCertificateIndex(), -1);
  EXPECT_EQ(s.SetSslCertStore("x", 1), 306);
  char subject[] = "CN=x";
  EXPECT_EQ(s.SetSslCertSubject(subject), 306);
  EXPECT_EQ(s.GetSslCertSubject(), nullptr);
  EXPECT_EQ(s.SetSslCertStorePassword(nullptr), 0);
  EXPECT_STREQ(s.GetSslCertStorePassword(), "");
  EXPECT_EQ(s.LoadSslCertStoreFile("/nonexistent/store.p7b"), 3);
  EXPECT_STREQ(s.GetLastErrorText(), "The certificate file could not be opened.");
  EXPECT_EQ(s.SetSslCertStoreP7b("x", 1), 306);
  EXPECT_STREQ(s.GetLastErrorText(), "P7B support is not available in the Unix edition.");
}

TEST(SocketSettings, ReportErrorTexts) {
  TestSocket s;
  EXPECT_EQ(s.ReportError(0), 0);
  EXPECT_STREQ(s.GetLastErrorText(), "");
  EXPECT_EQ(s.ReportError(110), 110);
  EXPECT_STREQ(s.GetLastErrorText(), "[110] Connection timed out.");
  EXPECT_EQ(s.ReportError(111), 111);  // a text is there already
  EXPECT_STREQ(s.GetLastErrorText(), "[110] Connection timed out.");
  EXPECT_EQ(s.ReportError(301), 301);
  EXPECT_STREQ(s.GetLastErrorText(), "Interrupted.");
  EXPECT_EQ(s.ReportError(200), 200);
  EXPECT_STREQ(s.GetLastErrorText(), "Out of memory.");
  EXPECT_EQ(s.GetLastErrorCode(), 0);
}

TEST(SocketSettings, KerberosTokenIsFoundAfterTheFirstByte) {
  TestSocket s;
  tornell::ByteString token;
  const unsigned char oid[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x12, 0x01, 0x02, 0x02};
  const unsigned char withHeader[] = {0x60, 0x0B, 0x06, 0x09, 0x2A, 0x86, 0x48, 0x86,
                                      0xF7, 0x12, 0x01, 0x02, 0x02};
  EXPECT_EQ(0, token.AppendBase64(withHeader, sizeof withHeader, 0, 64, 0));
  EXPECT_EQ(s.IsKerberosToken(token.CStr()), 1);
  token.Clear();
  EXPECT_EQ(0, token.AppendBase64(oid, sizeof oid, 0, 64, 0));
  EXPECT_EQ(s.IsKerberosToken(token.CStr()), 0);
  EXPECT_EQ(s.IsKerberosToken("TlRMTVNTUAABAAAA"), 0);  // NTLM
}

TEST(SocketSettings, AuthTokenProviderCredentialsAndDiagnostics) {
  TestSocket s;
  EXPECT_EQ(s.SetAuthCredentials("NTLM", "CORP\\bob\\x", "secret"), 0);
  tornell::ByteString out;
  EXPECT_EQ(0, out.Set("stale"));
  const int status = s.GetAuthToken(out, "NTLM", "web.example", "");
  EXPECT_EQ(status, 0);
  EXPECT_EQ(std::string(out.CStr()).rfind("TlRMTVNTUAABAAAA", 0), 0u);  // NEGOTIATE in Base64
  EXPECT_EQ(std::string(s.GetAuthDiagnostics())
                .rfind("Getting authentication token.\r\nParameters:\r\n\tprotocol=\"NTLM\", "
                       "user=\"bob\\x\", domain=\"CORP\", password(len)=\"6\", server=\"web.example\", "
                       "server side=\"False\"\r\n",
                       0),
            0u);

  tornell::AuthTokenProvider provider;
  EXPECT_STREQ(provider.GetDiagnosticText(), "");
  EXPECT_STREQ(provider.GetErrorText(), "");
  EXPECT_EQ(provider.SetCredentials("NTLM", "alice", ""), 0);
  EXPECT_EQ(provider.SetServerSide(5), 0);
  tornell::ByteString input;
  tornell::ByteString token;
  EXPECT_EQ(provider.GetToken(token, "NTLM", "h", input, nullptr), 0);  // server side: no token
  EXPECT_EQ(token.Length(), 0);
  EXPECT_NE(std::string(provider.GetDiagnosticText()).find("user=\"alice\", domain=\"\""),
            std::string::npos);
  EXPECT_EQ(provider.SetUseSystemSspi(1), 0);
  EXPECT_EQ(provider.GetUseSystemSspi(), 0);
}

TEST(SocketSettings, XmlElementTextAndCopyText) {
  tornell::ByteString doc;
  EXPECT_EQ(0, doc.Set("<a><s:Value attr=\"1\">inner<x/></s:Value><Value>two</Value></a>"));
  tornell::ByteString out;
  EXPECT_EQ(TestSocket::GetXmlElementText("Value", doc, out), 0);
  EXPECT_STREQ(out.CStr(), "inner<x/>");
  out.Clear();
  EXPECT_EQ(TestSocket::GetXmlElementText("Missing", doc, out), 0);
  EXPECT_STREQ(out.CStr(), "");

  char buffer[5] = {'x', 'x', 'x', 'x', 'x'};
  EXPECT_EQ(TestSocket::CopyText(buffer, 5, 0, "abcdefg"), 4);
  EXPECT_STREQ(buffer, "abcd");
  EXPECT_EQ(TestSocket::CopyText(buffer, 5, 0, nullptr), 0);
}

}  // namespace
