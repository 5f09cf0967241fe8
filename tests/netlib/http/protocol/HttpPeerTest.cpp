// Whole requests against real servers on 127.0.0.1: nginx (keep-alive, WebDAV
// PUT and DELETE, gzip, redirects), Python's HTTP/1.0 http.server, and
// openssl s_server for https. Uploads are compared with the file the server
// wrote, downloads with the file it served.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "Http1Client.h"
#include "PeerProcess.h"
#include "TestFiles.h"
#include "TestSupport.h"
#include "http/base/HttpStatus.h"

using namespace tornell;
using http1test::Client;
namespace fs = std::filesystem;

namespace {

using testsupport::ReadFile;
using testsupport::WriteFile;
using testsupport::Pattern;

std::string Words(size_t size) {
  std::string out;
  while (out.size() < size) out += "the quick brown fox jumps over the lazy dog " + std::to_string(out.size()) + "\n";
  return out;
}

class Folder : public testsupport::TempFolder {
 public:
  Folder() : TempFolder("http1-test") {}
};

class Nginx : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_OR_SKIP(!testsupport::FindProgram("nginx").empty(), "nginx is not installed");
    const fs::path d = dir_.path();
    fs::create_directories(d / "www" / "gz");
    fs::create_directories(d / "www" / "up");
    WriteFile(d / "www" / "small.txt", Pattern(100, 1));
    WriteFile(d / "www" / "big.bin", Pattern(3 << 20, 2));
    WriteFile(d / "www" / "gz" / "text.txt", Words(300000));
    // A free port may be taken by another program before nginx binds it: a
    // few tries, each with a port of its own.
    bool started = false;
    for (int i = 0; i < 3 && !started; ++i) started = StartNginx(d);
    ASSERT_TRUE(started);
  }
  bool StartNginx(const fs::path& d) {
    const int port = testsupport::FreePort();
    std::ofstream conf(d / "nginx.conf");
    conf << "daemon off; master_process off; worker_processes 1;\n"
         << "pid " << (d / "nginx.pid").string() << "; error_log " << (d / "error.log").string() << ";\n"
         << "events { worker_connections 64; }\nhttp {\n"
         << "  log_format c '$connection $request';\n"
         << "  access_log " << (d / "access.log").string() << " c;\n";
    for (const char* t : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"}) {
      conf << "  " << t << "_temp_path " << (d / t).string() << ";\n";
    }
    conf << "  server {\n    listen 127.0.0.1:" << port << ";\n    root " << (d / "www").string() << ";\n"
         << "    location /up/ { dav_methods PUT DELETE; create_full_put_path on; client_max_body_size 0; }\n"
         << "    location /gz/ { gzip on; gzip_types *; gzip_min_length 0; }\n";
    for (int code : {301, 302, 303, 307}) {
      conf << "    location = /r" << code << " { return " << code << " /small.txt; }\n";
    }
    conf << "  }\n}\n";
    conf.close();
    return nginx_.Start({"nginx", "-p", d.string(), "-c", (d / "nginx.conf").string()}, port,
                        (d / "nginx.out").string());
  }
  std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(nginx_.port()) + path; }
  const fs::path& Dir() const { return dir_.path(); }

  Folder dir_;
  testsupport::PeerProcess nginx_;
};

TEST_F(Nginx, EveryMethodOnOneKeptConnection) {
  Client client;
  client.SetHttpKeepAlive(1);
  static_cast<void>(client.PostData().Set("abc"));
  WriteFile(Dir() / "attach.bin", Pattern(70000, 3));
  ASSERT_EQ(client.attachedFile_.Set((Dir() / "attach.bin").c_str()), 0);
  ASSERT_EQ(client.Run(kHttpPut, Url("/up/a.bin")), 0) << client.GetLastErrorText();
  EXPECT_EQ(client.GetStatusCode(), 201);
  EXPECT_EQ(ReadFile(Dir() / "www" / "up" / "a.bin"), "abc" + Pattern(70000, 3));
  EXPECT_GT(client.events.uploadCalls, 0);

  client.PostData().Clear();
  client.attachedFile_.Clear();
  ASSERT_EQ(client.Run(kHttpGet, Url("/small.txt")), 0) << client.GetLastErrorText();
  EXPECT_EQ(client.Body(), Pattern(100, 1));
  ASSERT_EQ(client.Run(kHttpHead, Url("/small.txt")), 0);
  EXPECT_EQ(client.Body(), "");
  EXPECT_EQ(client.GetContentLength(), 100);
  static_cast<void>(client.PostData().Set("x=1"));
  EXPECT_EQ(client.Run(kHttpPost, Url("/small.txt")), kHttpStatusProtocolError);
  EXPECT_STREQ(client.GetLastErrorText(), "HTTP protocol error. 405 Not Allowed.");
  client.PostData().Clear();
  ASSERT_EQ(client.Run(kHttpDelete, Url("/up/a.bin")), 0) << client.GetLastErrorText();
  EXPECT_EQ(client.GetStatusCode(), 204);
  EXPECT_FALSE(fs::exists(Dir() / "www" / "up" / "a.bin"));
  EXPECT_EQ(client.Run(kHttpGet, Url("/up/a.bin")), kHttpStatusProtocolError);

  // nginx numbers its connections: one for all six requests.
  nginx_.Stop();
  std::istringstream log(ReadFile(Dir() / "access.log"));
  std::string line, first;
  int lines = 0;
  while (std::getline(log, line)) {
    const std::string id = line.substr(0, line.find(' '));
    if (first.empty()) first = id;
    EXPECT_EQ(id, first) << line;
    ++lines;
  }
  EXPECT_EQ(lines, 6);
}

TEST_F(Nginx, ChunkedUploadsMatchTheStoredFile) {
  WriteFile(Dir() / "attach.bin", Pattern(1 << 20, 4));
  for (int chunkSize : {0, 1000}) {
    Client client;
    client.useChunkedEncoding_ = 1;
    client.chunkSize_ = chunkSize;
    static_cast<void>(client.PostData().Set("head-"));
    ASSERT_EQ(client.attachedFile_.Set((Dir() / "attach.bin").c_str()), 0);
    ASSERT_EQ(client.Run(kHttpPut, Url("/up/c.bin")), 0) << client.GetLastErrorText();
    EXPECT_TRUE(ReadFile(Dir() / "www" / "up" / "c.bin") == "head-" + Pattern(1 << 20, 4)) << chunkSize;
  }
}

TEST_F(Nginx, DownloadsIntoMemoryAndIntoAFile) {
  const std::string big = Pattern(3 << 20, 2);
  Client memory;
  ASSERT_EQ(memory.Run(kHttpGet, Url("/big.bin")), 0) << memory.GetLastErrorText();
  EXPECT_TRUE(memory.Body() == big);
  EXPECT_EQ(memory.events.received, static_cast<int64_t>(big.size()));
  EXPECT_EQ(memory.events.starts, 1);
  EXPECT_EQ(memory.events.ends, 1);

  Client file;
  ASSERT_EQ(file.localFile_.Set((Dir() / "copy.bin").c_str()), 0);
  ASSERT_EQ(file.Run(kHttpGet, Url("/big.bin")), 0) << file.GetLastErrorText();
  EXPECT_TRUE(file.Body().empty());
  EXPECT_TRUE(ReadFile(Dir() / "copy.bin") == big);

  Client unwritable;
  ASSERT_EQ(unwritable.localFile_.Set((Dir() / "no" / "such" / "dir.bin").c_str()), 0);
  EXPECT_EQ(unwritable.Run(kHttpGet, Url("/small.txt")), kStatusCannotOpenFile);
  EXPECT_STREQ(unwritable.GetLastErrorText(), "Can't open local file for writing.");
}

TEST_F(Nginx, GzipBodiesAreDecodedWhenAllowed) {
  Client client;
  client.allowHttpCompression_ = 1;
  ASSERT_EQ(client.Run(kHttpGet, Url("/gz/text.txt")), 0) << client.GetLastErrorText();
  EXPECT_STREQ(client.ResponseHeaders().Find("Content-Encoding"), "gzip");
  EXPECT_TRUE(client.Body() == Words(300000));
  EXPECT_LT(client.GetBytesTransferred(), 300000 / 4);
}

TEST_F(Nginx, Redirects) {
  for (int follow : {1, 2}) {
    for (const char* path : {"/r301", "/r302", "/r303", "/r307"}) {
      Client client;
      client.SetFollowRedirects(follow);
      ASSERT_EQ(client.Run(kHttpGet, Url(path)), 0) << path << ": " << client.GetLastErrorText();
      EXPECT_EQ(client.Body(), Pattern(100, 1)) << path;
      EXPECT_EQ(client.events.redirects.size(), 1u);
      EXPECT_EQ(client.events.ends, 1) << path;  // the redirect's own body raised none
    }
  }
  // A POST repeats as a GET after 303, and after 302 only when asked to.
  struct Case {
    const char* path;
    int getOn302;
    int result;
  };
  for (const Case& c : {Case{"/r303", 0, 0}, Case{"/r302", 1, 0}, Case{"/r302", 0, kHttpStatusProtocolError},
                        Case{"/r307", 0, kHttpStatusProtocolError}}) {
    Client client;
    client.SetFollowRedirects(1);
    client.getOn302Redirect_ = c.getOn302;
    static_cast<void>(client.PostData().Set("x=1"));
    EXPECT_EQ(client.Run(kHttpPost, Url(c.path)), c.result) << c.path << " " << client.GetLastErrorText();
  }
}

TEST(HttpPeers, PythonHttp10Server) {
  REQUIRE_OR_SKIP(!testsupport::FindProgram("/usr/bin/python3").empty(), "python3 is not installed");
  Folder dir;
  WriteFile(dir.path() / "page.html", Words(20000));
  testsupport::PeerProcess server;
  ASSERT_TRUE(server.Start({"/usr/bin/python3", "-m", "http.server", "{port}", "--bind", "127.0.0.1", "--directory",
                            dir.path().string()}));
  const std::string base = "http://127.0.0.1:" + std::to_string(server.port());
  for (int keepAlive : {0, 1}) {
    Client client;
    client.SetHttpKeepAlive(keepAlive);
    ASSERT_EQ(client.Run(kHttpGet, base + "/page.html"), 0) << client.GetLastErrorText();
    EXPECT_EQ(std::string(client.GetResponseVersion()), "HTTP/1.0");
    EXPECT_TRUE(client.Body() == Words(20000));
    ASSERT_EQ(client.Run(kHttpHead, base + "/page.html"), 0) << client.GetLastErrorText();
    EXPECT_EQ(client.Body(), "");
  }
}

class Accepting : public http1test::EventLog {
 public:
  int FireSSLServerAuthentication(const char*&, int&, const char*&, const char*&, const char*&, int& accept) override {
    accept = 1;
    return 0;
  }
};

TEST(HttpPeers, HttpsFromOpensslServer) {
  REQUIRE_OR_SKIP(!testsupport::FindProgram("openssl").empty(), "openssl is not installed");
  Folder dir;
  const std::string d = dir.path().string();
  const std::string make = "cd " + d + " && openssl req -x509 -newkey rsa:2048 -nodes -subj /CN=localhost -days 2 " +
                           "-keyout key.pem -out cert.pem >/dev/null 2>&1";
  ASSERT_EQ(std::system(make.c_str()), 0);
  WriteFile(dir.path() / "page.txt", Pattern(200000, 5));
  const std::string cwd = fs::current_path().string();
  ASSERT_EQ(chdir(d.c_str()), 0);  // -WWW serves the working folder
  testsupport::PeerProcess server;
  const bool started = server.Start({"openssl", "s_server", "-accept", "127.0.0.1:{port}", "-cert", d + "/cert.pem",
                                     "-key", d + "/key.pem", "-WWW", "-quiet"});
  ASSERT_EQ(chdir(cwd.c_str()), 0);
  ASSERT_TRUE(started);
  Client client;
  Accepting events;
  client.SetEventSink(static_cast<ComponentHandle*>(&events));
  // s_server takes one connection at a time and closes each after its answer.
  for (int round = 0; round < 2; ++round) {
    ASSERT_EQ(client.Run(kHttpGet, "https://127.0.0.1:" + std::to_string(server.port()) + "/page.txt"), 0)
        << client.GetLastErrorText();
    EXPECT_TRUE(client.Body() == Pattern(200000, 5));
  }
}

}  // namespace

namespace {

// An https origin served by openssl s_server -WWW from `dir`.
bool StartHttpsOrigin(const Folder& dir, testsupport::PeerProcess& server) {
  const std::string d = dir.path().string();
  const std::string make = "cd " + d + " && openssl req -x509 -newkey rsa:2048 -nodes -subj /CN=localhost -days 2 " +
                           "-keyout key.pem -out cert.pem >/dev/null 2>&1";
  if (std::system(make.c_str()) != 0) return false;
  const std::string cwd = fs::current_path().string();
  if (chdir(d.c_str()) != 0) return false;
  const bool started = server.Start({"openssl", "s_server", "-accept", "127.0.0.1:{port}", "-cert", d + "/cert.pem",
                                     "-key", d + "/key.pem", "-WWW", "-quiet"});
  return chdir(cwd.c_str()) == 0 && started;
}

TEST(HttpPeers, ThroughTinyproxyAndSquid) {
  REQUIRE_OR_SKIP(!testsupport::FindProgram("tinyproxy").empty(), "tinyproxy is not installed");
  REQUIRE_OR_SKIP(!testsupport::FindProgram("squid").empty(), "squid is not installed");
  REQUIRE_OR_SKIP(!testsupport::FindProgram("setpriv").empty(), "setpriv is not installed");
  REQUIRE_OR_SKIP(!testsupport::FindProgram("htpasswd").empty(), "htpasswd is not installed");
  REQUIRE_OR_SKIP(!testsupport::FindProgram("openssl").empty(), "openssl is not installed");
  Folder dir;
  const std::string d = dir.path().string();
  WriteFile(dir.path() / "page.txt", Pattern(50000, 6));
  testsupport::PeerProcess plain;
  ASSERT_TRUE(plain.Start({"/usr/bin/python3", "-m", "http.server", "{port}", "--bind", "127.0.0.1", "--directory", d}));
  testsupport::PeerProcess secure;
  ASSERT_TRUE(StartHttpsOrigin(dir, secure));

  // tinyproxy forwards a request written in the absolute form, with Basic
  // proxy credentials.
  const int tinyPort = testsupport::FreePort();
  ASSERT_EQ(std::system(("chmod 777 " + d).c_str()), 0);
  {
    std::ofstream conf(dir.path() / "tp.conf");
    conf << "Port " << tinyPort << "\nListen 127.0.0.1\nTimeout 30\nPidFile \"" << d << "/tp.pid\"\nLogFile \"" << d
         << "/tp.log\"\nAllow 127.0.0.1\nBasicAuth user pass\n";
  }
  testsupport::PeerProcess tiny;
  ASSERT_TRUE(tiny.Start({"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", "tinyproxy", "-d", "-c",
                          d + "/tp.conf"}, tinyPort));
  Client viaTiny;
  static_cast<void>(viaTiny.proxyServer_.Set("127.0.0.1"));
  viaTiny.proxyPort_ = tinyPort;
  EXPECT_EQ(viaTiny.Run(kHttpGet, "http://127.0.0.1:" + std::to_string(plain.port()) + "/page.txt"), kHttpStatusProtocolError);
  EXPECT_STREQ(viaTiny.GetLastErrorText(), "Proxy error: HTTP protocol error. 407 Proxy Authentication Required.");
  ASSERT_EQ(viaTiny.SetProxyUser("user"), 0);
  ASSERT_EQ(viaTiny.SetProxyPassword("pass"), 0);
  ASSERT_EQ(viaTiny.BuildProxyAuthorization(0), 0);
  ASSERT_EQ(viaTiny.Run(kHttpGet, "http://127.0.0.1:" + std::to_string(plain.port()) + "/page.txt"), 0)
      << viaTiny.GetLastErrorText();
  EXPECT_TRUE(viaTiny.Body() == Pattern(50000, 6));

  // squid opens a CONNECT tunnel to the https origin after Basic credentials.
  const fs::path s = dir.path() / "squid";
  fs::create_directories(s);
  const int squidPort = testsupport::FreePort();
  ASSERT_EQ(std::system(("htpasswd -bc " + s.string() + "/basic.passwd user pass >/dev/null 2>&1").c_str()), 0);
  {
    std::ofstream conf(s / "squid.conf");
    conf << "http_port 127.0.0.1:" << squidPort << "\npid_filename " << s.string() << "/squid.pid\ncache_log "
         << s.string() << "/cache.log\naccess_log stdio:" << s.string() << "/access.log\ncache_store_log none\n"
         << "cache deny all\ncache_mem 4 MB\ncoredump_dir " << s.string() << "\nnetdb_filename none\n"
         << "pinger_enable off\nshutdown_lifetime 0 seconds\ndns_nameservers 127.0.0.1\n"
         << "udp_outgoing_address 127.0.0.1\nauth_param basic program /usr/lib/squid/basic_ncsa_auth " << s.string()
         << "/basic.passwd\nauth_param basic children 1 startup=1\nauth_param basic realm squid-basic\n"
         << "acl authed proxy_auth REQUIRED\nhttp_access allow authed\nhttp_access deny all\n";
  }
  ASSERT_EQ(std::system(("chown -R proxy:proxy " + s.string()).c_str()), 0);
  testsupport::PeerProcess squid;
  squid.SetStopSignal(SIGKILL);
  ASSERT_TRUE(squid.Start({"squid", "-N", "-f", s.string() + "/squid.conf"}, squidPort));
  Client viaSquid;
  Accepting events;
  viaSquid.SetEventSink(static_cast<ComponentHandle*>(&events));
  static_cast<void>(viaSquid.proxyServer_.Set("127.0.0.1"));
  viaSquid.proxyPort_ = squidPort;
  // Tunnel mode set outright: the request inside goes in origin form, the
  // only one s_server -WWW reads.
  viaSquid.proxySsl_ = 3;
  ASSERT_EQ(viaSquid.SetProxyUser("user"), 0);
  ASSERT_EQ(viaSquid.SetProxyPassword("pass"), 0);
  ASSERT_EQ(viaSquid.Run(kHttpGet, "https://127.0.0.1:" + std::to_string(secure.port()) + "/page.txt"), 0)
      << viaSquid.GetLastErrorText();
  EXPECT_TRUE(viaSquid.Body() == Pattern(50000, 6));
  // squid logs a tunnel when it ends: close ours, then give the line a moment.
  static_cast<void>(viaSquid.Close());
  const std::string line = "CONNECT 127.0.0.1:" + std::to_string(secure.port());
  bool logged = false;
  for (int i = 0; i < 100 && !logged; ++i) {
    logged = ReadFile(s / "access.log").find(line) != std::string::npos;
    if (!logged) usleep(50 * 1000);
  }
  squid.Stop();
  EXPECT_TRUE(logged) << ReadFile(s / "access.log");
}

}  // namespace
