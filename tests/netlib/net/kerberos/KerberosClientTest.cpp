// The Kerberos client against a real MIT KDC on loopback, with its tokens
// checked by MIT's GSS acceptor (python3-gssapi), and the request bytes
// checked by openssl asn1parse.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "KerberosClientSupport.h"

namespace {

using kerberostest::Realm;
using kerberostest::TestClient;
using testsupport::Hex;

class KerberosClientTest : public kerberostest::RealmTest {};

// MIT takes an AP-REQ whose authenticator carries no GSS checksum as one
// with no flags: the token is accepted as it stands.
TEST_F(KerberosClientTest, MitAcceptsTheToken) {
  TestClient client;
  realm_->Prepare(client, "user@TEST.LOCAL", "userpw", realm_->port);
  ASSERT_EQ(client.Authenticate(), 0) << client.GetLastErrorText();
  // The user's key: aes128, the only offered type the user has a key of.
  EXPECT_NE(client.Logs().find("Current Encrypt Type is 17."), std::string::npos) << client.Logs();
  // The session keys: rc4-hmac, the first offered type the KDC allows.
  EXPECT_EQ(client.GetEtype(), 23);
  EXPECT_EQ(client.GetState(), 0);
  EXPECT_FALSE(client.IsActive());
  const char* data = nullptr;
  int length = 0;
  ASSERT_EQ(client.GetAuthToken(data, length), 0);
  ASSERT_GT(length, 0);
  EXPECT_EQ(static_cast<unsigned char>(data[0]), 0x60);
  EXPECT_EQ(realm_->Accept(std::string(data, static_cast<size_t>(length))), "user@TEST.LOCAL");
  EXPECT_EQ(client.Packets(), "0 KRB_AS_REQ|1 KRB_AS_REP|0 KRB_TGS_REQ|1 KRB_TGS_REP");
}

TEST_F(KerberosClientTest, PreAuthenticatedUserAndEncodedToken) {
  TestClient client;
  realm_->Prepare(client, "alice@TEST.LOCAL", "alicepw", realm_->port);
  ASSERT_EQ(client.SetEncodeAuthToken(1), 0);
  const char* answer = nullptr;
  ASSERT_EQ(client.ConfigText("LogKerberosPackets=true", answer), 0);
  ASSERT_EQ(client.Authenticate(), 0) << client.GetLastErrorText();
  // With packet logging each name is followed by a dump of the datagram.
  ASSERT_FALSE(client.rawPackets.empty());
  EXPECT_EQ(client.rawPackets[0].rfind("KRB_AS_REQ.\r\n00000000  6A ", 0), 0u) << client.rawPackets[0];
  EXPECT_EQ(client.rawPackets[1].rfind("KRB_ERROR.\r\n00000000  7E ", 0), 0u) << client.rawPackets[1];
  EXPECT_EQ(client.Packets(), "0 KRB_AS_REQ|1 KRB_ERROR|0 KRB_AS_REQ|1 KRB_AS_REP|0 KRB_TGS_REQ|1 KRB_TGS_REP");
  const char* data = nullptr;
  int length = 0;
  ASSERT_EQ(client.GetAuthToken(data, length), 0);
  tornell::ByteString decoded;
  ASSERT_EQ(decoded.Set(data, length), 0);
  ASSERT_EQ(decoded.Base64Decode(), 0);
  EXPECT_EQ(decoded.ByteAt(0), 0x60);
  EXPECT_EQ(realm_->Accept(std::string(decoded.Data(), static_cast<size_t>(decoded.Length()))), "alice@TEST.LOCAL");
  EXPECT_NE(client.Logs().find("Current Encrypt Type is 17."), std::string::npos) << client.Logs();
  EXPECT_NE(client.Logs().find("Current Salt is \"TEST.LOCALalice\"."), std::string::npos) << client.Logs();
  // The key stays out of the log; its length is all that shows.
  EXPECT_NE(client.Logs().find("Kerberos Key Hex String:\r\n(16 bytes)"), std::string::npos) << client.Logs();

  // A second exchange on the same object starts again from the AS-REQ.
  client.ClearRecords();
  ASSERT_EQ(client.Authenticate(), 0) << client.GetLastErrorText();
  EXPECT_EQ(client.Packets(), "0 KRB_AS_REQ|1 KRB_ERROR|0 KRB_AS_REQ|1 KRB_AS_REP|0 KRB_TGS_REQ|1 KRB_TGS_REP");
}

TEST_F(KerberosClientTest, EncryptionTypes) {
  struct Case {
    const char* user;
    const char* password;
    const char* types;
    int etype;
  };
  const Case cases[] = {
      {"user@TEST.LOCAL", "userpw", "aes256-cts-hmac-sha1-96", 18},
      {"alice@TEST.LOCAL", "alicepw", "aes256-cts-hmac-sha1-96", 18},
      {"carol@TEST.LOCAL", "carolpw", "rc4-hmac", 23},
      {"carol@TEST.LOCAL", "carolpw", "*", 23},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.user) + " " + c.types);
    TestClient client;
    realm_->Prepare(client, c.user, c.password, realm_->port);
    const char* answer = nullptr;
    ASSERT_EQ(client.ConfigText((std::string("EncryptionTypes=") + c.types).c_str(), answer), 0);
    ASSERT_EQ(client.Authenticate(), 0) << client.GetLastErrorText();
    EXPECT_EQ(client.GetEtype(), c.etype);
    const char* data = nullptr;
    int length = 0;
    ASSERT_EQ(client.GetAuthToken(data, length), 0);
    EXPECT_EQ(realm_->Accept(std::string(data, static_cast<size_t>(length))), std::string(c.user));
  }
}

TEST_F(KerberosClientTest, KdcErrors) {
  struct Case {
    const char* user;
    const char* password;
    int code;
    const char* text;
  };
  const Case cases[] = {
      {"nobody@TEST.LOCAL", "x", 952,
       "Received KRB-ERROR response. Error Code: 0x6 (KDC_ERR_C_PRINCIPAL_UNKNOWN). Client not found in Kerberos "
       "database."},
      {"alice@TEST.LOCAL", "wrong", 952,
       "Received KRB-ERROR response. Error Code: 0x18 (KDC_ERR_PREAUTH_FAILED). Pre-authentication information was "
       "invalid."},
      // Without pre-authentication the KDC answers anyone; the reply does not decrypt.
      {"user@TEST.LOCAL", "wrong", 953, "Integrity check error."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.user);
    TestClient client;
    realm_->Prepare(client, c.user, c.password, realm_->port);
    EXPECT_EQ(client.Authenticate(), c.code);
    EXPECT_STREQ(client.GetLastErrorText(), c.text);
    EXPECT_EQ(client.GetState(), 0);
    EXPECT_FALSE(client.IsActive());
  }
}

TEST_F(KerberosClientTest, NoKdcTimesOut) {
  TestClient client;
  realm_->Prepare(client, "user@TEST.LOCAL", "userpw", testsupport::FreePort(AF_INET));
  client.SetTimeout(2, 1);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(client.Authenticate(), 301);
  const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_STREQ(client.GetLastErrorText(), "Timeout.");
  EXPECT_GE(seconds, 1.9);
  EXPECT_LT(seconds, 10);
  EXPECT_EQ(client.GetState(), 0);
  EXPECT_FALSE(client.IsActive());
}

TEST_F(KerberosClientTest, AuthenticateInsideAHookIsBusy) {
  TestClient client;
  realm_->Prepare(client, "user@TEST.LOCAL", "userpw", realm_->port);
  client.reenterOnReceive = true;
  ASSERT_EQ(client.Authenticate(), 0) << client.GetLastErrorText();
  ASSERT_FALSE(client.nested.empty());
  for (const auto& [code, text] : client.nested) {
    EXPECT_EQ(code, 950);
    EXPECT_EQ(text, "Busy performing other action.");
  }
}

TEST_F(KerberosClientTest, KeytabLogin) {
  TestClient client;
  realm_->Prepare(client, "user@OTHER.REALM", "", realm_->port);
  const char* answer = nullptr;
  const std::string keytab = (realm_->dir->path() / "user.keytab").string();
  ASSERT_EQ(client.ConfigText(("KerberosKeytabFile=" + keytab).c_str(), answer), 0);
  EXPECT_NE(client.Logs().find("Kerberos KeytabFile Hex String:\r\n("), std::string::npos);
  // The realm given with the user name holds until the keytab entry is chosen.
  ASSERT_EQ(client.SetUser("user@TEST.LOCAL"), 0);
  ASSERT_EQ(client.Authenticate(), 0) << client.GetLastErrorText();
  EXPECT_NE(client.Logs().find("Encrypt type match, Current Encrypt Type is 17."), std::string::npos)
      << client.Logs();
  EXPECT_EQ(client.servicePrincipal_.CStr(), std::string("user"));
  const char* data = nullptr;
  int length = 0;
  ASSERT_EQ(client.GetAuthToken(data, length), 0);
  EXPECT_EQ(realm_->Accept(std::string(data, static_cast<size_t>(length)), "user.keytab"), "user@TEST.LOCAL");

  TestClient rc4;
  realm_->Prepare(rc4, "user@TEST.LOCAL", "", realm_->port);
  const std::string rc4Keytab = (realm_->dir->path() / "user-rc4.keytab").string();
  ASSERT_EQ(rc4.ConfigText(("KerberosKeytabFile=" + rc4Keytab).c_str(), answer), 0);
  EXPECT_EQ(rc4.Authenticate(), 953);
  EXPECT_STREQ(rc4.GetLastErrorText(), "Cannot found entrypt type match with server.");
  EXPECT_NE(rc4.Logs().find("Encrypt type not match"), std::string::npos);
}

// The MIT tools log in with the same principals: the realm is sound.
TEST_F(KerberosClientTest, KinitReference) {
  for (const char* who : {"user userpw", "alice alicepw", "carol carolpw"}) {
    const std::string pair(who);
    const std::string name = pair.substr(0, pair.find(' '));
    bool ok = false;
    testsupport::RunCommand(realm_->EnvPrefix() + "kinit " + name + " >/dev/null 2>&1",
                            pair.substr(pair.find(' ') + 1) + "\n", ok);
    EXPECT_TRUE(ok) << name;
  }
}

// A python KDC in front of the real one, changing its replies.
class ScriptedKdc {
 public:
  bool Start(const char* mode, int kdcPort) {
    const std::string script = (testsupport::SourceDir() / "tests/netlib/net/kerberos/scripted_kdc.py").string();
    return process_.Start({"/usr/bin/python3", script, mode, "{port}", std::to_string(kdcPort)});
  }
  int port() const { return process_.port(); }

 private:
  testsupport::PeerProcess process_;
};

TEST_F(KerberosClientTest, ScriptedReplies) {
  struct Case {
    const char* mode;
    const char* user;
    const char* password;
    int secondCode;  // -1: one exchange only
    const char* text;
    const char* packets;
  };
  const Case cases[] = {
      // A replayed AS-REP carries the nonce of the earlier request.
      {"replay-first-as", "user@TEST.LOCAL", "userpw", 1, "Error response", "0 KRB_AS_REQ|1 KRB_AS_REP"},
      // A TGS-REP while the client waits for an AS-REP.
      {"tgs-for-as", "user@TEST.LOCAL", "userpw", 1, "Error response", "0 KRB_AS_REQ|1 Error response"},
      // Pre-authentication demanded again after the pre-authenticated request: one round only.
      {"replay-first-as", "alice@TEST.LOCAL", "alicepw", -1,
       "Received KRB-ERROR response. Error Code: 0x19 (KDC_ERR_PREAUTH_REQUIRED). Additional preauthentication "
       "required.",
       "0 KRB_AS_REQ|1 KRB_ERROR|0 KRB_AS_REQ|1 KRB_ERROR"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.mode) + " " + c.user);
    ScriptedKdc kdc;
    ASSERT_TRUE(kdc.Start(c.mode, realm_->port));
    TestClient client;
    realm_->Prepare(client, c.user, c.password, kdc.port());
    if (c.secondCode != -1) {
      ASSERT_EQ(client.Authenticate(), 0) << client.GetLastErrorText();
      client.ClearRecords();
      EXPECT_EQ(client.Authenticate(), c.secondCode);
    } else {
      EXPECT_EQ(client.Authenticate(), 952);
    }
    EXPECT_STREQ(client.GetLastErrorText(), c.text);
    EXPECT_EQ(client.Packets(), c.packets);
    EXPECT_EQ(client.GetState(), 0);
  }
}

TEST_F(KerberosClientTest, ScriptedRepliesThatSucceed) {
  struct Case {
    const char* mode;
    const char* user;
    const char* password;
    int etype;
    const char* absentLog;
  };
  const Case cases[] = {
      // No ETYPE-INFO2: the enc-part names the type and the salt is realm + user.
      {"strip-padata", "user@TEST.LOCAL", "userpw", 23, "Current Encrypt Type"},
      // Copies arrive in states 2, 4 and 5 and are ignored.
      {"duplicate", "alice@TEST.LOCAL", "alicepw", 23, "Error response"},
      // PA-ENC-TIMESTAMP first and no ETYPE-INFO2: rc4-hmac is taken.
      {"enc-timestamp", "carol@TEST.LOCAL", "carolpw", 23, "Current Encrypt Type is 1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.mode) + " " + c.user);
    ScriptedKdc kdc;
    ASSERT_TRUE(kdc.Start(c.mode, realm_->port));
    TestClient client;
    client.awaitCopy = std::string(c.mode) == "duplicate";
    realm_->Prepare(client, c.user, c.password, kdc.port());
    ASSERT_EQ(client.Authenticate(), 0) << client.GetLastErrorText();
    EXPECT_EQ(client.GetEtype(), c.etype);
    EXPECT_EQ(client.Logs().find(c.absentLog), std::string::npos) << client.Logs();
    const char* data = nullptr;
    int length = 0;
    ASSERT_EQ(client.GetAuthToken(data, length), 0);
    EXPECT_EQ(realm_->Accept(std::string(data, static_cast<size_t>(length))), std::string(c.user));
  }
}

}  // namespace
