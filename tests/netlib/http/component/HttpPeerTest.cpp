// The component against real servers on 127.0.0.1, driven by the C host and
// by a class derived from HTTP: nginx for GET, WebDAV PUT and redirects, and
// a Python server that sends its body one byte at a time.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "HttpHost.h"
#include "PeerProcess.h"
#include "TestFiles.h"
#include "TestSupport.h"
#include "http/HTTP.h"

namespace fs = std::filesystem;

namespace {

using testsupport::ReadFile;
using testsupport::Pattern;

class Folder : public testsupport::TempFolder {
 public:
  Folder() : TempFolder("httpcomp-test") {}
};

struct HttpDeleter {
  void operator()(void* http) const { Tornell_HTTP_Destroy(http); }
};
using Http = std::unique_ptr<void, HttpDeleter>;

std::string Body(void* http) {
  int length = 0;
  const char* data = HttpHostGetBytes(http, 54, &length);
  return data != nullptr ? std::string(data, static_cast<size_t>(length)) : std::string("<null>");
}

class NginxHost : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_OR_SKIP(!testsupport::FindProgram("nginx").empty(), "nginx is not installed");
    const fs::path d = dir_.path();
    fs::create_directories(d / "www" / "dav");
    std::ofstream(d / "www" / "page.bin", std::ios::binary) << Pattern(300000, 7);
    const int port = testsupport::FreePort();
    std::ofstream conf(d / "nginx.conf");
    conf << "daemon off; master_process off; worker_processes 1;\n"
         << "pid " << (d / "nginx.pid").string() << "; error_log " << (d / "error.log").string() << ";\n"
         << "events { worker_connections 64; }\nhttp {\n  access_log off;\n";
    for (const char* t : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"}) {
      conf << "  " << t << "_temp_path " << (d / t).string() << ";\n";
    }
    conf << "  server {\n    listen 127.0.0.1:" << port << ";\n    root " << (d / "www").string() << ";\n"
         << "    location /dav/ { dav_methods PUT DELETE; create_full_put_path on; client_max_body_size 0; }\n"
         << "    location = /moved { return 302 /page.bin; }\n  }\n}\n";
    conf.close();
    ASSERT_TRUE(nginx_.Start({"nginx", "-p", d.string(), "-c", (d / "nginx.conf").string()}, port,
                             (d / "nginx.out").string()));
    HttpHostInit(host_.get());
    http_.reset(Tornell_HTTP_Create(HttpHostCallback, host_.get()));
    ASSERT_NE(http_, nullptr);
    host_->handle = http_.get();
  }

  std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(nginx_.port()) + path; }

  // The event ids in order, without log and status lines, repeats folded.
  std::vector<int> Sequence() const {
    std::vector<int> ids;
    for (int i = 0; i < host_->count; ++i) {
      const int id = host_->events[i].id;
      if (id == 2 || id == 7 || id == 11) continue;
      if (ids.empty() || ids.back() != id) ids.push_back(id);
    }
    return ids;
  }

  Folder dir_;
  testsupport::PeerProcess nginx_;
  std::unique_ptr<HttpHost> host_ = std::make_unique<HttpHost>();
  Http http_;
};

TEST_F(NginxHost, GetRaisesTheEventsInOrderAndKeepsTheBody) {
  ASSERT_EQ(HttpHostUrlMethod(http_.get(), 6, Url("/page.bin").c_str()), 0) << Tornell_HTTP_GetLastError(http_.get());
  const std::string file = ReadFile(dir_.path() / "www" / "page.bin");
  EXPECT_TRUE(Body(http_.get()) == file);
  EXPECT_TRUE(std::string(host_->body, static_cast<size_t>(host_->bodyLength)) == file);
  EXPECT_EQ(host_->lastBytesTransferred, static_cast<long long>(file.size()));
  // Connected, Status, Header..., StartTransfer, Transfer..., EndTransfer; the
  // client's own close after the response raises no Disconnected, a peer's would.
  std::vector<int> ids = Sequence();
  if (!ids.empty() && ids.back() == 3) ids.pop_back();
  EXPECT_EQ(ids, (std::vector<int>{1, 13, 6, 12, 14, 4}));
  EXPECT_STREQ(HttpHostGetText(http_.get(), 52, 0), "HTTP/1.1 200 OK");
  EXPECT_GT(HttpHostGetInt(http_.get(), 30), 0);
  EXPECT_EQ(Tornell_HTTP_GetLastErrorCode(http_.get()), 0);
}

TEST_F(NginxHost, PutThroughWebDavReadsBack) {
  const std::string upload = Pattern(70000, 11);
  ASSERT_EQ(HttpHostSetBytes(http_.get(), 34, upload.data(), static_cast<int>(upload.size())), 0);
  ASSERT_EQ(HttpHostUrlMethod(http_.get(), 10, Url("/dav/put.bin").c_str()), 0)
      << Tornell_HTTP_GetLastError(http_.get());
  EXPECT_TRUE(ReadFile(dir_.path() / "www" / "dav" / "put.bin") == upload);
  ASSERT_EQ(HttpHostSetBytes(http_.get(), 34, nullptr, 0), 0);
  ASSERT_EQ(HttpHostUrlMethod(http_.get(), 6, Url("/dav/put.bin").c_str()), 0);
  EXPECT_TRUE(Body(http_.get()) == upload);
}

TEST_F(NginxHost, ARedirectRefusedByTheCallbackEndsTheRequest) {
  ASSERT_EQ(HttpHostSetInt(http_.get(), 21, 1), 0);
  host_->redirectAccept = 0;
  EXPECT_EQ(HttpHostUrlMethod(http_.get(), 6, Url("/moved").c_str()), 151);
  EXPECT_EQ(Tornell_HTTP_GetLastErrorCode(http_.get()), 151);
  EXPECT_EQ(HttpHostCount(host_.get(), 8), 1);
  // Accepted, it is followed to the file.
  host_->redirectAccept = -1;
  ASSERT_EQ(HttpHostUrlMethod(http_.get(), 6, Url("/moved").c_str()), 0) << Tornell_HTTP_GetLastError(http_.get());
  EXPECT_TRUE(Body(http_.get()) == ReadFile(dir_.path() / "www" / "page.bin"));
}

TEST_F(NginxHost, NoRedirectBudgetGives310) {
  const char* answer = nullptr;
  ASSERT_EQ(HttpHostSetInt(http_.get(), 21, 1), 0);
  ASSERT_EQ(HttpHostConfig(http_.get(), "MaxRedirectAttempts=0", &answer), 0);
  EXPECT_EQ(HttpHostUrlMethod(http_.get(), 6, Url("/moved").c_str()), 310);
}

TEST_F(NginxHost, WithoutACallbackTheComponentStillFetches) {
  Http quiet(Tornell_HTTP_Create(nullptr, nullptr));
  ASSERT_EQ(HttpHostUrlMethod(quiet.get(), 6, Url("/page.bin").c_str()), 0) << Tornell_HTTP_GetLastError(quiet.get());
  EXPECT_TRUE(Body(quiet.get()) == ReadFile(dir_.path() / "www" / "page.bin"));
}

TEST_F(NginxHost, DestroyAfterAnInterruptedAction) {
  host_->interruptOnTransfer = 1;
  EXPECT_EQ(HttpHostUrlMethod(http_.get(), 6, Url("/page.bin").c_str()), 301);
  EXPECT_EQ(HttpHostGetInt(http_.get(), 25), 1);
  // The leak check at exit covers what Destroy leaves behind.
  http_.reset();
}

// The host's answer to the certificate event decides, whatever the check found.
TEST(HttpPeer, TheHostAnswersForTheServerCertificate) {
  REQUIRE_OR_SKIP(!testsupport::FindProgram("openssl").empty(), "openssl is not installed");
  Folder dir;
  const std::string d = dir.path().string();
  const std::string make = "cd " + d + " && openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes " +
                           "-subj /CN=localhost -days 2 -keyout key.pem -out cert.pem >/dev/null 2>&1";
  ASSERT_EQ(std::system(make.c_str()), 0);
  std::ofstream(dir.path() / "page.txt", std::ios::binary) << Pattern(5000, 3);
  testsupport::PeerProcess server;
  // -WWW serves the folder it runs in.
  ASSERT_TRUE(server.Start({"/bin/sh", "-c", "cd " + d + " && exec openssl s_server -accept 127.0.0.1:{port} " +
                            "-cert cert.pem -key key.pem -WWW -quiet"}));
  const std::string url = "https://127.0.0.1:" + std::to_string(server.port()) + "/page.txt";
  for (int accept : {0, 1}) {
    SCOPED_TRACE(accept);
    auto host = std::make_unique<HttpHost>();
    HttpHostInit(host.get());
    host->serverAccept = accept;
    Http http(Tornell_HTTP_Create(HttpHostCallback, host.get()));
    const int code = HttpHostUrlMethod(http.get(), 6, url.c_str());
    ASSERT_EQ(HttpHostCount(host.get(), 10), 1);
    EXPECT_GT(host->certificateLength, 0);
    if (accept == 1) {
      EXPECT_EQ(code, 0) << Tornell_HTTP_GetLastError(http.get());
      EXPECT_TRUE(Body(http.get()) == Pattern(5000, 3));
    } else {
      EXPECT_NE(code, 0);
      EXPECT_EQ(Body(http.get()), "");
    }
  }
}

// Interrupt from inside a Transfer event of a body that trickles in.
class Interrupting : public tornell::HTTP {
 public:
  int FireTransfer(tornell::HTTPTransferEventParams* e) override {
    if (e->Direction == 1 && ++transfers == 3) {
      void* argv[1] = {nullptr};
      int lengths[1] = {0};
      Tornell_HTTP_Do(Handle(), 8, 0, argv, lengths);
    }
    return 0;
  }
  int transfers = 0;
};

TEST(HttpPeer, InterruptFromATransferEventEndsTheGet) {
  const fs::path script = testsupport::SourceDir() / "tests/netlib/http/component/slow_body.py";
  REQUIRE_OR_SKIP(!testsupport::FindProgram("/usr/bin/python3").empty(), "python3 is not installed");
  testsupport::PeerProcess server;
  ASSERT_TRUE(server.Start({"/usr/bin/python3", script.string(), "{port}"}));
  Interrupting http;
  EXPECT_EQ(http.Get(("http://127.0.0.1:" + std::to_string(server.port()) + "/slow").c_str()), 301);
  EXPECT_EQ(http.transfers, 3);
  EXPECT_STREQ(http.GetLastError(), "Interrupted.");
  char* data = nullptr;
  int length = 0;
  EXPECT_EQ(http.GetTransferredData(data, length), 0);
  EXPECT_LT(length, 200);
}

}  // namespace
