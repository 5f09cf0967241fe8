// Negotiate through the built-in Kerberos client: tickets from a real MIT KDC,
// tokens checked by an HTTP server that accepts them with MIT's GSS acceptor
// (python3-gssapi) and answers with the initiator's name and the body it got.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Http1Client.h"
#include "KerberosClientSupport.h"
#include "PeerProcess.h"
#include "TestSupport.h"
#include "TestText.h"
#include "http/base/HttpStatus.h"

using namespace tornell;
using kerberostest::Realm;

namespace {

using http1test::LoggingClient;

class KerberosHttp : public kerberostest::RealmTest {
 protected:

  // The server accepts with this key table of the realm.
  void StartServer(const char* keytab) {
    ASSERT_TRUE(server_.Start({"/usr/bin/python3", std::string(HTTP1_TEST_DIR) + "/negotiate_peer.py", "{port}",
                               (realm_->dir->path() / keytab).string()}));
  }
  std::string Url(const char* host, const char* path = "/") const {
    return std::string("http://") + host + ":" + std::to_string(server_.port()) + path;
  }
  std::string Keytab(const char* name) const { return (realm_->dir->path() / name).string(); }

  // Negotiate with the built-in client; the realm's KDC listens on a free
  // port, not on 88.
  static void Prepare(LoggingClient& client, const char* user, const char* password) {
    ASSERT_EQ(client.Kerberos().SetRemotePort(realm_->port), 0);
    client.Kerberos().SetTimeout(10, 1);
    ASSERT_EQ(client.SetAuthScheme(kAuthNegotiate), 0);
    ASSERT_EQ(client.SetUser(user), 0);
    ASSERT_EQ(client.SetPassword(password), 0);
    ASSERT_EQ(client.Config("UseInternalKerberos=1"), "");
  }

  // The user's long-term keys as MIT's klist shows them, lower-case hex.
  static std::vector<std::string> UserKeys() {
    bool ok = false;
    const std::string table = (realm_->dir->path() / "user.keytab").string();
    const std::string listing = testsupport::RunCommand(realm_->EnvPrefix() + "klist -k -t -e -K '" + table + "'", ok);
    std::vector<std::string> keys;
    for (size_t at = listing.find("(0x"); at != std::string::npos; at = listing.find("(0x", at + 1)) {
      keys.push_back(listing.substr(at + 3, listing.find(')', at) - at - 3));
    }
    return keys;
  }

  testsupport::PeerProcess server_;
};


TEST_F(KerberosHttp, PasswordLoginReachesTheAcceptor) {
  StartServer("http.keytab");
  struct Case {
    const char* user;
    const char* password;
    const char* host;  // of the URL
    const char* spn;   // KerberosSPN; empty: HTTP/ and the URL's host
    const char* kdc;   // KerberosKDC; empty: the URL's host
  };
  const Case cases[] = {
      {"user@TEST.LOCAL", "userpw", "localhost", "", "127.0.0.1"},
      {"TEST.LOCAL/user", "userpw", "127.0.0.1", "HTTP/localhost", ""},
      {"alice@TEST.LOCAL", "alicepw", "localhost", "", "127.0.0.1"},  // pre-authentication required
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.user) + " " + c.host);
    LoggingClient client;
    Prepare(client, c.user, c.password);
    ASSERT_EQ(client.Config(std::string("KerberosSPN=") + c.spn), "");
    ASSERT_EQ(client.Config(std::string("KerberosKDC=") + c.kdc), "");
    EXPECT_EQ(client.Config("KerberosKDC"), c.kdc);
    ASSERT_EQ(client.Run(kHttpGet, Url(c.host)), 0) << client.GetLastErrorText();
    const std::string name = std::string(c.user).find('@') != std::string::npos ? c.user : "user@TEST.LOCAL";
    EXPECT_EQ(client.Body(), name + " ");
    // The ticket goes with the first request.
    EXPECT_EQ(client.events.statuses, std::vector<int>{200});
    EXPECT_TRUE(client.LoggedStartingWith("1 Kerberos [Kerberos] Authenticate start. (KerberosKDC: 127.0.0.1)."));
  }
}

TEST_F(KerberosHttp, KeytabLogin) {
  // With a key table the ticket names the table's principal: the acceptor
  // needs the user's own key.
  StartServer("user.keytab");
  LoggingClient client;
  ASSERT_EQ(client.Kerberos().SetRemotePort(realm_->port), 0);
  ASSERT_EQ(client.SetAuthScheme(kAuthNegotiate), 0);
  ASSERT_EQ(client.SetUser("user@TEST.LOCAL"), 0);
  ASSERT_EQ(client.Config("KerberosKDC=127.0.0.1"), "");
  ASSERT_EQ(client.Config("Loglevel=3"), "");
  EXPECT_EQ(client.Config("KerberosKeytabFile"), "");
  // The key table alone chooses the built-in client.
  ASSERT_EQ(client.Config("KerberosKeytabFile=" + Keytab("user.keytab")), "");
  EXPECT_EQ(client.Config("KerberosKeytabFile"), Keytab("user.keytab"));
  EXPECT_EQ(client.Config("UseInternalKerberos"), "0");
  ASSERT_EQ(client.Run(kHttpGet, Url("localhost")), 0) << client.GetLastErrorText();
  EXPECT_EQ(client.Body(), "user@TEST.LOCAL ");
  EXPECT_TRUE(client.LoggedStartingWith("3 Kerberos [Kerberos] Kerberos KeytabFile Hex String:\r\n("));
  EXPECT_TRUE(client.LoggedStartingWith("1 Kerberos [Kerberos] Encrypt type match, Current Encrypt Type is 17."));

  // A file that cannot be read fails the setting; the name stays, as the
  // Kerberos client keeps it.
  LoggingClient missing;
  EXPECT_EQ(missing.Config("KerberosKeytabFile=" + Keytab("no.keytab")).rfind("<code ", 0), 0u);
  EXPECT_EQ(missing.Config("KerberosKeytabFile"), Keytab("no.keytab"));
}

TEST_F(KerberosHttp, WrongPasswordFails) {
  struct Case {
    const char* user;
    int code;
    const char* text;
  };
  const Case cases[] = {
      // The reply is sealed with the user's key: the wrong one cannot open it.
      {"user@TEST.LOCAL", 953, "Integrity check error."},
      // The KDC checks the pre-authentication itself.
      {"alice@TEST.LOCAL", 952,
       "Received KRB-ERROR response. Error Code: 0x18 (KDC_ERR_PREAUTH_FAILED). Pre-authentication information was "
       "invalid."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.user);
    LoggingClient client;
    Prepare(client, c.user, "wrong");
    ASSERT_EQ(client.Config("KerberosKDC=127.0.0.1"), "");
    EXPECT_EQ(client.SetURL("http://localhost:1/", 0), c.code);
    EXPECT_STREQ(client.GetLastErrorText(), c.text);
    EXPECT_STREQ(client.GetAuthorization(), "");
  }
}

TEST_F(KerberosHttp, RefusedTicketIsAskedForOnceMore) {
  // Without the service's key the server refuses the ticket; the retry runs
  // a fresh exchange, and its refusal ends the request.
  StartServer("user.keytab");
  LoggingClient client;
  Prepare(client, "user@TEST.LOCAL", "userpw");
  ASSERT_EQ(client.Config("KerberosKDC=127.0.0.1"), "");
  EXPECT_EQ(client.Run(kHttpGet, Url("localhost")), kHttpStatusProtocolError);
  EXPECT_EQ(client.events.statuses, (std::vector<int>{401, 401}));
  int exchanges = 0;
  for (const std::string& line : client.lines) {
    exchanges += line.rfind("1 Kerberos [Kerberos] Authenticate start.", 0) == 0 ? 1 : 0;
  }
  EXPECT_EQ(exchanges, 2);
}

TEST_F(KerberosHttp, PostCarriesItsBodyAtOnce) {
  StartServer("http.keytab");
  LoggingClient client;
  Prepare(client, "user@TEST.LOCAL", "userpw");
  ASSERT_EQ(client.Config("KerberosKDC=127.0.0.1"), "");
  ASSERT_EQ(client.PostData().Set("name=value&more=1"), 0);
  ASSERT_EQ(client.Run(kHttpPost, Url("localhost", "/form")), 0) << client.GetLastErrorText();
  // One request, with the body: no handshake to wait for.
  EXPECT_EQ(client.events.statuses, std::vector<int>{200});
  EXPECT_EQ(client.Body(), "user@TEST.LOCAL name=value&more=1");
}

TEST_F(KerberosHttp, LogLinesByLevelWithoutKeys) {
  StartServer("http.keytab");
  const std::vector<std::string> keys = UserKeys();
  ASSERT_FALSE(keys.empty());
  for (int level : {1, 2, 3}) {
    SCOPED_TRACE(level);
    LoggingClient client;
    ASSERT_EQ(client.Config("Loglevel=" + std::to_string(level)), "");
    // The level also switches the client's packet dumps.
    const char* answer = nullptr;
    ASSERT_EQ(client.Kerberos().ConfigText("LogKerberosPackets", answer), 0);
    EXPECT_STREQ(answer, level >= 2 ? "True" : "False");
    Prepare(client, "user@TEST.LOCAL", "userpw");
    ASSERT_EQ(client.Config("KerberosKDC=127.0.0.1"), "");
    ASSERT_EQ(client.Run(kHttpGet, Url("localhost")), 0) << client.GetLastErrorText();
    int kerberosLines = 0;
    for (const std::string& line : client.lines) {
      for (const std::string& key : keys) EXPECT_EQ(line.find(key), std::string::npos) << line;
      if (line.find(" Kerberos ") != 1) continue;
      ++kerberosLines;
      EXPECT_LE(line[0] - '0', level) << line;
      EXPECT_EQ(line.find("[Kerberos] "), 11u) << line;
    }
    EXPECT_GT(kerberosLines, 0);
    EXPECT_TRUE(client.LoggedStartingWith("1 Kerberos [Kerberos] Current Encrypt Type is 17."));
    // Packets at level 3, each with its dump.
    EXPECT_EQ(client.LoggedStartingWith("3 Kerberos [Kerberos] Direction: 0, Description: KRB_AS_REQ.\r\n00000000  6A "),
              level == 3);
    EXPECT_EQ(client.LoggedStartingWith("3 Kerberos [Kerberos] Direction: 1, Description: KRB_TGS_REP.\r\n00000000  6D "),
              level == 3);
    EXPECT_EQ(client.LoggedStartingWith("3 Kerberos [Kerberos] Kerberos Key Hex String:\r\n(16 bytes)"), level == 3);
  }
}

}  // namespace
