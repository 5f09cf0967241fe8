#pragma once
// A scratch MIT realm with its KDC on a free loopback port (stopped by PID),
// MIT's GSS acceptor run on a token, and a client that records its logs.
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>

#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "PeerProcess.h"
#include "TestProcess.h"
#include "TestSupport.h"
#include "TestText.h"
#include "net/kerberos/KerberosClient.h"

namespace kerberostest {

inline std::string Trim(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

class TestClient : public tornell::KerberosClient {
 public:
  using KerberosClient::etypeList_;
  using KerberosClient::nonce_;
  using KerberosClient::realm_;
  using KerberosClient::salt_;
  using KerberosClient::servicePrincipal_;
  using KerberosClient::sessionKey_;
  using KerberosClient::state_;
  using KerberosClient::ticket_;
  using KerberosClient::user_;

  int OnLog(int, const char* text, const char*) override {
    logs_ += text;
    logs_ += "\n";
    return 0;
  }
  int OnPacketLog(int direction, const char* text) override {
    rawPackets.emplace_back(text);
    std::string name(text);
    name = name.substr(0, name.find(".\r\n"));
    packets_ += (packets_.empty() ? "" : "|") + std::to_string(direction) + " " + name;
    if (direction == 1 && reenterOnReceive) {
      const int code = Authenticate();
      nested.emplace_back(code, GetLastErrorText());
    }
    if (direction == 1 && awaitCopy) AwaitCopy();
    return 0;
  }
  void AwaitCopy() const {
    pollfd socket{GetSocketHandle(), POLLIN, 0};
    static_cast<void>(poll(&socket, 1, 5000));
  }
  const std::string& Logs() const { return logs_; }
  const std::string& Packets() const { return packets_; }
  void ClearRecords() {
    logs_.clear();
    packets_.clear();
  }

  bool reenterOnReceive = false;
  // A KDC that sends each reply twice: the copy is meant to arrive while the
  // reply is handled, before the client reads on. On a loaded machine the
  // sender can be held up between its two sends, and a late copy would meet
  // the next request's wait, so the copy is waited for (bounded) here.
  bool awaitCopy = false;
  std::vector<std::string> rawPackets;
  std::vector<std::pair<int, std::string>> nested;

 private:
  std::string logs_;
  std::string packets_;
};

struct Realm {
  Realm() {
    using testsupport::FindProgram;
    if (FindProgram("krb5kdc").empty() || FindProgram("kdb5_util").empty() || FindProgram("kadmin.local").empty() ||
        FindProgram("ktutil").empty()) {
      problem = "the MIT KDC and tools (krb5-kdc, krb5-admin-server, krb5-user) are not installed";
      return;
    }
    if (!testsupport::HavePythonModule("gssapi")) {
      problem = "python3-gssapi is not installed";
      return;
    }
    dir = std::make_unique<testsupport::ScratchDir>("kdc");
    port = testsupport::FreePort(AF_INET);
    const std::string script = (testsupport::SourceDir() / "tests/netlib/net/kerberos/kdc_realm.sh").string();
    const testsupport::ChildRun made =
        testsupport::RunChild({"/bin/sh", script, dir->path().string(), std::to_string(port)},
                              {"PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin"}, "", 60);
    if (!made.started || made.status != 0) {
      problem = "the realm could not be made";
      return;
    }
    setenv("KRB5_CONFIG", (dir->path() / "krb5.conf").c_str(), 1);
    setenv("KRB5_KDC_PROFILE", (dir->path() / "kdc.conf").c_str(), 1);
    const std::string pidFile = (dir->path() / "kdc.pid").string();
    if (!kdc.Start({"krb5kdc", "-n", "-P", pidFile}, port, (dir->path() / "kdc.out").string())) {
      problem = "krb5kdc did not start";
      return;
    }
    ok = true;
  }
  ~Realm() { kdc.Stop(); }

  void Prepare(tornell::KerberosClient& client, const char* user, const char* password, int kdcPort) const {
    ASSERT_EQ(client.Init(), 1);
    client.SetTimeout(5, 1);
    ASSERT_EQ(client.SetRemotePort(kdcPort), 0);
    ASSERT_EQ(client.SetKdcHost("127.0.0.1"), 0);
    ASSERT_EQ(client.SetUser(user), 0);
    ASSERT_EQ(client.SetPassword(password), 0);
    ASSERT_EQ(client.SetServicePrincipal("HTTP/localhost"), 0);
  }

  // MIT's acceptor on the token; the initiator's name, or "" when refused.
  std::string Accept(const std::string& token, const std::string& keytab = "http.keytab") const {
    const std::string script = (testsupport::SourceDir() / "tests/netlib/net/kerberos/gss_accept.py").string();
    const testsupport::ChildRun run = testsupport::RunChild(
        {"/usr/bin/python3", script, testsupport::Hex(token)},
        {"KRB5_CONFIG=" + (dir->path() / "krb5.conf").string(), "KRB5_KTNAME=FILE:" + (dir->path() / keytab).string(),
         "KRB5RCACHETYPE=none", "PATH=/usr/bin:/bin"},
        "", 30);
    return Trim(run.output);
  }

  std::string EnvPrefix() const {
    return "KRB5_CONFIG='" + (dir->path() / "krb5.conf").string() + "' KRB5CCNAME='FILE:" +
           (dir->path() / "ccache").string() + "' ";
  }

  std::unique_ptr<testsupport::ScratchDir> dir;
  testsupport::PeerProcess kdc;
  int port = 0;
  bool ok = false;
  std::string problem;
};

// One realm for every test of a suite: starting a KDC takes seconds.
class RealmTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { realm_ = new Realm(); }
  static void TearDownTestSuite() {
    delete realm_;
    realm_ = nullptr;
  }
  void SetUp() override { REQUIRE_OR_SKIP(realm_->ok, realm_->problem); }

  static inline Realm* realm_ = nullptr;
};

}  // namespace kerberostest
