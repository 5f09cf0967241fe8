#pragma once
// Peers and helpers of the proxy tunnel tests: a socat echo as the target,
// squid with a scratch configuration, the scripted proxy, and connecting
// through a proxy with a recording connection.
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "ConnectionTestSupport.h"
#include "PeerProcess.h"
#include "TestProcess.h"
#include "TestSupport.h"

namespace proxytest {

using nettest::PumpUntil;
using nettest::RecordingConnection;
using testsupport::PeerProcess;
using testsupport::ScratchDir;

inline bool StartEcho(PeerProcess& echo) {
  return echo.Start({"socat", "TCP4-LISTEN:{port},bind=127.0.0.1,reuseaddr,fork", "EXEC:cat"});
}

// Connects through the proxy and returns the code OnSocketConnected got
// (-1 when none came in time).
inline int ConnectThrough(RecordingConnection& connection, int type, int proxyPort, const char* target, int targetPort) {
  EXPECT_EQ(connection.SetFirewallType(type), 0);
  EXPECT_EQ(connection.SetFirewallHost("127.0.0.1"), 0);
  EXPECT_EQ(connection.SetFirewallPort(proxyPort), 0);
  EXPECT_EQ(connection.SetRemoteHost(target), 0);
  EXPECT_EQ(connection.SetRemotePort(targetPort), 0);
  if (connection.Connect(1) != 0) return -1;
  if (!PumpUntil(connection, [&] { return connection.Count("connected") > 0; }, 10000)) return -1;
  return connection.First("connected")->code;
}

// Bytes sent after the tunnel is up come back through it.
inline void ExpectEcho(RecordingConnection& connection, const std::string& before = "") {
  ASSERT_TRUE(connection.IsConnected());
  ASSERT_FALSE(connection.IsNegotiatingProxy());
  ASSERT_EQ(connection.Send("through the tunnel", 18, 0, 1), 0);
  ASSERT_TRUE(PumpUntil(connection, [&] { return connection.received.size() >= before.size() + 18; }));
  EXPECT_EQ(connection.received, before + "through the tunnel");
}

inline void ExpectStatusLines(const RecordingConnection& connection) {
  const nettest::Hook* status = connection.First("status");
  ASSERT_NE(status, nullptr);
  EXPECT_EQ(status->text, "Firewall connection complete.");
}

inline void OwnBy(const std::filesystem::path& dir, const char* user, const char* groupName) {
  const passwd* account = getpwnam(user);
  const struct group* team = getgrnam(groupName);
  ASSERT_NE(account, nullptr);
  ASSERT_NE(team, nullptr);
  ASSERT_EQ(chmod(dir.c_str(), 0755), 0);
  ASSERT_EQ(chown(dir.c_str(), account->pw_uid, team->gr_gid), 0);
}

inline void WriteFile(const std::filesystem::path& path, const std::string& text) {
  std::ofstream out(path);
  out << text;
}

inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

struct Scripted {
  ScratchDir dir{"scripted-proxy"};
  PeerProcess peer;
  bool Start(const std::string& mode) {
    const std::string script = (testsupport::SourceDir() / "tests/netlib/net/proxy/scripted_proxy.py").string();
    return peer.Start({"/usr/bin/python3", script, "{port}", mode, (dir.path() / "requests").string()});
  }
  std::string Requests() { return ReadFile(dir.path() / "requests"); }
  // The authenticated modes' own check of each second request: "ok" lines.
  std::string Verdicts() { return ReadFile(dir.path() / "requests.verdict"); }
};


inline size_t Occurrences(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// squid on a free port with a scratch folder that its user "proxy" owns;
// authLines are its auth_param lines. Every request needs credentials.
struct Squid {
  ScratchDir dir{"squid"};
  PeerProcess peer;
  std::string Path(const std::string& name) const { return (dir.path() / name).string(); }
  bool Start(const std::string& authLines) {
    const int port = testsupport::FreePort();
    const std::string s = dir.path().string();
    WriteFile(Path("squid.conf"),
              "http_port 127.0.0.1:" + std::to_string(port) + "\npid_filename " + s + "/squid.pid\ncache_log " + s +
                  "/cache.log\naccess_log stdio:" + s +
                  "/access.log\ncache_store_log none\ncache deny all\ncache_mem 4 MB\ncoredump_dir " + s +
                  "\nnetdb_filename none\npinger_enable off\nshutdown_lifetime 0 seconds\n"
                  "dns_nameservers 127.0.0.1\nudp_outgoing_address 127.0.0.1\n" +
                  authLines + "acl authed proxy_auth REQUIRED\nhttp_access allow authed\nhttp_access deny all\n");
    const passwd* proxyUser = getpwnam("proxy");
    if (proxyUser == nullptr) return false;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
      if (chown(entry.path().c_str(), proxyUser->pw_uid, proxyUser->pw_gid) != 0) return false;
    }
    if (chown(s.c_str(), proxyUser->pw_uid, proxyUser->pw_gid) != 0 || chmod(s.c_str(), 0755) != 0) return false;
    peer.SetStopSignal(SIGKILL);
    return peer.Start({"squid", "-N", "-f", s + "/squid.conf"}, port, s + "/run.log");
  }
  // squid logs a request when it ends (a tunnel when it closes), a little
  // after the client is done: waits, bounded, until the text is in the access
  // log `count` times, and returns the log.
  std::string WaitForAccessLine(const std::string& text, size_t count = 1) const {
    std::string access;
    for (int i = 0; i < 500; ++i) {
      access = ReadFile(Path("access.log"));
      if (Occurrences(access, text) >= count) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return access;
  }
};

}  // namespace proxytest
