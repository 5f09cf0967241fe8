// Basic credentials against nginx auth_basic with an apr1 user file made by
// openssl passwd; nginx's access log shows the Authorization header it got.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "AuthPeerSupport.h"
#include "PeerProcess.h"
#include "TestFiles.h"
#include "TestSupport.h"
#include "http/base/HttpStatus.h"

using namespace tornell;
namespace fs = std::filesystem;

namespace {

// The apr1 hash of the password, by openssl.
std::string Apr1(const std::string& password) {
  std::string out;
  std::FILE* pipe = popen(("openssl passwd -apr1 '" + password + "'").c_str(), "r");
  if (pipe == nullptr) return out;
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) out += buffer;
  if (pclose(pipe) != 0) return "";
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return out;
}

class NginxBasic : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_OR_SKIP(!testsupport::FindProgram("nginx").empty(), "nginx is not installed");
    REQUIRE_OR_SKIP(!testsupport::FindProgram("openssl").empty(), "openssl is not installed");
    const fs::path d = dir_.path();
    fs::create_directories(d / "www" / "priv");
    testsupport::WriteFile(d / "www" / "priv" / "a.txt", "basic page\n");
    const std::string hash = Apr1("secret");
    ASSERT_EQ(hash.rfind("$apr1$", 0), 0u) << hash;
    testsupport::WriteFile(d / "users", "user:" + hash + "\n");
    // Another program may take a free port before nginx binds it.
    bool started = false;
    for (int i = 0; i < 3 && !started; ++i) started = Start(d);
    ASSERT_TRUE(started);
  }
  bool Start(const fs::path& d) {
    const int port = testsupport::FreePort();
    std::ofstream conf(d / "nginx.conf");
    conf << "daemon off; master_process off; worker_processes 1;\n"
         << "pid " << (d / "nginx.pid").string() << "; error_log " << (d / "error.log").string() << ";\n"
         << "events { worker_connections 64; }\nhttp {\n"
         << "  log_format a '[$remote_user|$http_authorization|$status]';\n"
         << "  access_log " << (d / "access.log").string() << " a;\n";
    for (const char* t : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"}) {
      conf << "  " << t << "_temp_path " << (d / t).string() << ";\n";
    }
    conf << "  server {\n    listen 127.0.0.1:" << port << ";\n    root " << (d / "www").string() << ";\n"
         << "    location /priv/ { auth_basic \"basic realm\"; auth_basic_user_file " << (d / "users").string()
         << "; }\n  }\n}\n";
    conf.close();
    return nginx_.Start({"nginx", "-p", d.string(), "-c", (d / "nginx.conf").string()}, port,
                        (d / "nginx.out").string());
  }
  std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(nginx_.port()) + path; }
  // The access log lines, once nginx has stopped and flushed them.
  std::vector<std::string> AccessLines() {
    nginx_.Stop();
    std::vector<std::string> out;
    std::istringstream log(testsupport::ReadFile(dir_.path() / "access.log"));
    for (std::string line; std::getline(log, line);) out.push_back(line);
    return out;
  }

  testsupport::TempFolder dir_{"http-basic"};
  testsupport::PeerProcess nginx_;
};

TEST_F(NginxBasic, CredentialsAsTheServerSeesThem) {
  struct Case {
    const char* user;
    const char* password;
    int result;
    const char* logged;  // what nginx logged: user, Authorization header, status
    int masked;          // length of the value our own log line masks; -1: no line
  };
  const Case cases[] = {
      {"user", "secret", 0, "[user|Basic dXNlcjpzZWNyZXQ=|200]", 16},
      {"user", "wrong", kHttpStatusProtocolError, "[user|Basic dXNlcjp3cm9uZw==|401]", 16},
      {"", "secret", kHttpStatusProtocolError, "[-|Basic OnNlY3JldA==|401]", 12},
      {"", "", kHttpStatusProtocolError, "[-|-|401]", -1},
  };
  std::vector<std::string> expected;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.user) + ":" + c.password);
    authpeer::LoggingClient client;
    client.SetLogLevel(3);
    ASSERT_EQ(client.SetAuthScheme(kAuthBasic), 0);
    ASSERT_EQ(client.SetUser(c.user), 0);
    ASSERT_EQ(client.SetPassword(c.password), 0);
    EXPECT_EQ(client.Run(kHttpGet, Url("/priv/a.txt")), c.result) << client.GetLastErrorText();
    if (c.result == 0) {
      EXPECT_EQ(client.Body(), "basic page\n");
      EXPECT_EQ(client.events.statuses, std::vector<int>{200});
    } else {
      // Basic goes up front: a 401 is final.
      EXPECT_EQ(client.events.statuses, std::vector<int>{401});
      EXPECT_STREQ(client.GetLastErrorText(), "HTTP protocol error. 401 Unauthorized.");
    }
    authpeer::ExpectNoCredentials(client.lines, {"secret", "dXNlcjpzZWNyZXQ=", "OnNlY3JldA=="});
    // Setting the URL logs the text it rebuilt, with the value masked.
    int authorizationLines = 0;
    for (const std::string& line : client.lines) authorizationLines += line.rfind("2 Info Authorization: ", 0) == 0;
    EXPECT_EQ(authorizationLines, c.masked < 0 ? 0 : 1);
    if (c.masked >= 0) {
      EXPECT_TRUE(client.Logged("2 Info Authorization: Basic " + std::string(c.masked, 'x')));
    }
    expected.push_back(c.logged);
  }
  EXPECT_EQ(AccessLines(), expected);
}

}  // namespace
