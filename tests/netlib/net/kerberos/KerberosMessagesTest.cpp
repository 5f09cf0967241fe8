// The requests' bytes: openssl asn1parse on the first AS-REQ, the
// KDCOptions and nonce fields, principal names, the GSS-API framing, and the
// client's user, encryption-type and configuration settings.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "TestText.h"
#include "net/kerberos/KerberosClient.h"

namespace {

using tornell::ByteString;
using tornell::KerberosClient;
using testsupport::Hex;

std::string HexOf(const ByteString& bytes) { return Hex(bytes.Data(), static_cast<size_t>(bytes.Length())); }

void Prepare(KerberosClient& client) {
  ASSERT_EQ(client.Init(), 1);
  ASSERT_EQ(client.SetUser("user@TEST.LOCAL"), 0);
  ASSERT_EQ(client.SetPassword("userpw"), 0);
  ASSERT_EQ(client.SetServicePrincipal("HTTP/localhost"), 0);
}

TEST(KerberosMessages, FirstAsRequestParsesWithOpenssl) {
  REQUIRE_OR_SKIP(testsupport::HaveOpenssl(), "openssl is not installed");
  KerberosClient client;
  Prepare(client);
  ByteString request;
  ASSERT_EQ(client.BuildKdcRequest(10, true, request), 0);
  testsupport::TempFile der(std::string(request.Data(), static_cast<size_t>(request.Length())));
  ASSERT_TRUE(der.Made());
  bool ok = false;
  const std::string out = testsupport::RunCommand("openssl asn1parse -inform DER -in '" + der.Path() + "'", ok);
  ASSERT_TRUE(ok) << out;
  // The fields at depth 2 (the request) and depth 4 (its body), in order.
  std::string request2, body4;
  for (const std::string& line : testsupport::Lines(out)) {
    const size_t at = line.find("cont [ ");
    if (at == std::string::npos) continue;
    const std::string n = line.substr(at + 7, line.find(' ', at + 7) - at - 7);
    if (line.find("d=2 ") != std::string::npos) request2 += n + ",";
    if (line.find("d=4 ") != std::string::npos) body4 += n + ",";
  }
  EXPECT_EQ(request2, "1,2,4,");
  EXPECT_EQ(body4, "0,1,2,3,5,7,8,");
  EXPECT_NE(out.find("appl [ 10 ]"), std::string::npos);
  EXPECT_NE(out.find(":19700101000000Z"), std::string::npos);
  // user, the realm, then krbtgt and the realm in the server name
  EXPECT_NE(out.find("l=   6 prim: GENERALSTRING"), std::string::npos) << out;
}

TEST(KerberosMessages, KdcOptions) {
  struct Case {
    const char* options;
    int type;
    const char* field;
  };
  const Case cases[] = {
      {"KDCOptions=0x40810010", 10, "a00703050040810010"},  // forwardable, renewable, canonicalize, renewable-ok
      {"KDCOptions=0x20000003", 10, "a00703050000000000"},  // forwarded, renew, validate
      {"KDCOptions=0x20000003", 12, "a00703050020000003"},
  };
  for (const Case& c : cases) {
    KerberosClient client;
    Prepare(client);
    const char* answer = nullptr;
    ASSERT_EQ(client.ConfigText(c.options, answer), 0);
    ByteString body;
    ASSERT_EQ(client.BuildKdcRequestBody(c.type, body), 0);
    // The first field, right after the SEQUENCE header (short or 0x82 form).
    const size_t at = HexOf(body).find(c.field);
    EXPECT_TRUE(at == 4 || at == 8) << c.options << " " << c.type << " " << HexOf(body);
  }
}

// Masked to six bits, the first byte is often small and sometimes 0: the
// nonce still takes four content bytes.
TEST(KerberosMessages, NonceHasFourContentBytes) {
  KerberosClient client;
  Prepare(client);
  for (int i = 0; i < 200; ++i) {
    ByteString body;
    ASSERT_EQ(client.BuildKdcRequestBody(10, body), 0);
    const std::string hex = HexOf(body);
    const size_t at = hex.find("a7060204");
    ASSERT_NE(at, std::string::npos) << hex;
    EXPECT_LT(std::stoi(hex.substr(at + 8, 2), nullptr, 16), 0x40);
  }
}

TEST(KerberosMessages, PrincipalNames) {
  struct Case {
    const char* text;
    int type;
    const char* der;
  };
  const Case cases[] = {
      {"a/b", 1, "300fa003020101a10830061b01611b0162"},
      {"a@b/c", 1, "3011a003020101a10a30081b03614062" "1b0163"},
      {"krbtgt@R", 2, "3014a003020102a10d300b1b066b72627467741b0152"},
      {"solo", 0, "300fa003020100a10830061b04736f6c6f"},
  };
  for (const Case& c : cases) {
    ByteString text(c.text), out;
    ASSERT_EQ(KerberosClient::BuildPrincipalName(text, out, c.type), 0);
    EXPECT_EQ(HexOf(out), c.der) << c.text;
    EXPECT_STREQ(text.CStr(), c.text);
  }
}

TEST(KerberosMessages, GssTokenFraming) {
  ByteString apReq, out("kept");
  ASSERT_EQ(KerberosClient::WrapGssToken(apReq, out), 0);
  EXPECT_STREQ(out.CStr(), "kept");
  ASSERT_EQ(apReq.Set("\x6e\x00", 2), 0);
  ASSERT_EQ(KerberosClient::WrapGssToken(apReq, out), 0);
  EXPECT_EQ(HexOf(out), "600f06092a864886f71201020201006e00");
}

TEST(KerberosClientSettings, SetUser) {
  struct Case {
    const char* text;
    const char* user;
    const char* realm;
  };
  const Case cases[] = {
      {"bob@EXAMPLE.COM", "bob", "EXAMPLE.COM"},
      {"EXAMPLE.COM/bob", "bob", "EXAMPLE.COM"},
      {"svc/host@EXAMPLE.COM", "svc/host", "EXAMPLE.COM"},
      {"bob", "bob", ""},
  };
  for (const Case& c : cases) {
    KerberosClient client;
    ASSERT_EQ(client.Init(), 1);
    ASSERT_EQ(client.SetUser(c.text), 0);
    ByteString body;
    ASSERT_EQ(client.BuildKdcRequestBody(10, body), 0);
    ByteString name(c.user), expected;
    ASSERT_EQ(KerberosClient::BuildPrincipalName(name, expected, 1), 0);
    EXPECT_NE(HexOf(body).find("a1" + Hex(std::string(1, static_cast<char>(expected.Length()))) + HexOf(expected)),
              std::string::npos)
        << c.text;
    EXPECT_NE(HexOf(body).find(Hex(std::string(c.realm))), std::string::npos) << c.text;
  }
  KerberosClient client;
  ASSERT_EQ(client.Init(), 1);
  ASSERT_EQ(client.SetUser("bob"), 0);
  EXPECT_EQ(client.Authenticate(), 951);
  EXPECT_STREQ(client.GetLastErrorText(), "Invalid username.");
}

TEST(KerberosClientSettings, EncryptionTypesAndKeys) {
  KerberosClient client;
  ASSERT_EQ(client.Init(), 1);
  const char* answer = nullptr;
  ASSERT_EQ(client.ConfigText("EncryptionTypes", answer), 0);
  EXPECT_STREQ(answer, "des-cbc-md5,rc4-hmac,aes128-cts-hmac-sha1-96");
  EXPECT_EQ(client.ConfigText("EncryptionTypes=rc4-hmac, aes128-cts-hmac-sha1-96", answer), 954);
  EXPECT_STREQ(client.GetLastErrorText(), "Invalid encryption type:  aes128-cts-hmac-sha1-96");
  ASSERT_EQ(client.ConfigText("EncryptionTypes", answer), 0);
  EXPECT_STREQ(answer, "rc4-hmac");
  ASSERT_EQ(client.ConfigText("encryptiontypes=*", answer), 0);
  ASSERT_EQ(client.ConfigText("EncryptionTypes", answer), 0);
  EXPECT_STREQ(answer, "des-cbc-md5,rc4-hmac,aes128-cts-hmac-sha1-96");

  ASSERT_EQ(client.ConfigText("KDCOptions=0X10", answer), 0);
  ASSERT_EQ(client.ConfigText("KDCOptions", answer), 0);
  EXPECT_STREQ(answer, "16");
  ASSERT_EQ(client.ConfigText("LogKerberosPackets=yes", answer), 0);
  ASSERT_EQ(client.ConfigText("LogKerberosPackets", answer), 0);
  EXPECT_STREQ(answer, "True");
  ASSERT_EQ(client.ConfigText("UsePlatformKerberosAPI=1", answer), 0);
  EXPECT_EQ(client.Authenticate(), 306);
  EXPECT_STREQ(client.GetLastErrorText(), "This platform's Kerberos API is not supported.");
  // A key of the socket core is not the client's: it goes to the component base.
  EXPECT_NE(client.ConfigText("CodePage", answer), 954);
}

}  // namespace
