// 100 MB fetched over HTTP/2 on TLS 1.3 (TLS_AES_128_GCM_SHA256) from nghttpd
// and h2o on 127.0.0.1, a fresh connection each time: a GET of the HTTP
// protocol object (ours) beside libcurl with CURL_HTTP_VERSION_2TLS (peer).
// The servers are started once, by PID, and stopped at exit.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "BenchPath.h"
#include "http/protocol/HttpEventSink.h"
#include "http/protocol/HttpProtocol.h"

#include <curl/curl.h>

namespace {

constexpr int64_t kFileSize = 100 * 1000 * 1000;
constexpr char kSuite[] = "TLS_AES_128_GCM_SHA256";

bool Listening(int port) {
  char wanted[8];
  std::snprintf(wanted, sizeof wanted, ":%04X ", port);
  std::ifstream in("/proc/net/tcp");
  for (std::string line; std::getline(in, line);) {
    if (line.find(wanted) != std::string::npos && line.find(" 0A ") != std::string::npos) return true;
  }
  return false;
}

// The two servers over one folder with the file and a certificate.
class Servers {
 public:
  static Servers& Get() {
    static Servers servers;
    return servers;
  }
  int Port(bool h2o) const { return h2o ? h2oPort_ : nghttpdPort_; }

 private:
  Servers() {
    char pattern[] = "/tmp/h2bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) return;
    dir_ = pattern;
    std::filesystem::create_directories(dir_ + "/www");
    const std::string make = "cd '" + dir_ + "' && openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 "
                             "-nodes -keyout srv.key -out srv.crt -days 30 -subj /CN=localhost "
                             "-addext subjectAltName=DNS:localhost >/dev/null 2>&1 && head -c " +
                             std::to_string(kFileSize) + " /dev/urandom > www/big.bin";
    if (std::system(make.c_str()) != 0) return;
    const int base = 20000 + static_cast<int>(getpid() % 20000);
    nghttpdPort_ = Start({"/usr/sbin/nghttpd", "-a", "127.0.0.1", "-d", dir_ + "/www", std::to_string(base),
                          dir_ + "/srv.key", dir_ + "/srv.crt"},
                         base, nghttpd_);
    std::ofstream(dir_ + "/h2o.conf")
        << "user: root\npid-file: " << dir_ << "/h2o.pid\nerror-log: " << dir_ << "/h2o.log\nnum-threads: 1\n"
        << "listen: {host: 127.0.0.1, port: " << base + 1 << ", ssl: {certificate-file: " << dir_
        << "/srv.crt, key-file: " << dir_ << "/srv.key, ocsp-update-interval: 0}}\n"
        << "hosts: {default: {paths: {/: {file.dir: " << dir_ << "/www}}}}\n";
    h2oPort_ = Start({"/usr/bin/h2o", "-c", dir_ + "/h2o.conf"}, base + 1, h2o_);
  }
  ~Servers() {
    for (pid_t pid : {nghttpd_, h2o_}) {
      if (pid <= 0) continue;
      kill(pid, SIGTERM);
      for (int i = 0; i < 300 && waitpid(pid, nullptr, WNOHANG) == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, WNOHANG);
    }
    if (!dir_.empty()) std::filesystem::remove_all(dir_);
  }
  static int Start(std::vector<std::string> argv, int port, pid_t& pid) {
    if (access(argv[0].c_str(), X_OK) != 0) return 0;
    pid = fork();
    if (pid == 0) {
      std::vector<char*> args;
      for (std::string& a : argv) args.push_back(a.data());
      args.push_back(nullptr);
      if (std::freopen("/dev/null", "w", stdout) == nullptr || std::freopen("/dev/null", "w", stderr) == nullptr) {
        _exit(126);
      }
      execv(args[0], args.data());
      _exit(127);
    }
    for (int i = 0; i < 500; ++i) {
      if (Listening(port)) return port;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return 0;
  }

  std::string dir_;
  pid_t nghttpd_ = -1;
  pid_t h2o_ = -1;
  int nghttpdPort_ = 0;
  int h2oPort_ = 0;
};

// The protocol object as a host uses it, with its default settings (HTTP/2
// asked for, TLS 1.3 with the bench's suite); body bytes are counted in the
// Transfer event, as curl's are in its write callback, and not collected.
class Counter : public tornell::HttpEventSink {
 public:
  Counter() : tornell::HttpEventSink(nullptr, nullptr) {}
  int FireSSLServerAuthentication(const char*&, int&, const char*&, const char*&, const char*&, int& accept) override {
    accept = 1;  // the bench's own certificate
    return 0;
  }
  int FireTransfer(int& direction, int64_t&, int&, const char*&, int& length) override {
    if (direction == 1) received += length;
    return 0;
  }
  int64_t received = 0;
};

class Fetcher : public tornell::HttpProtocol {
 public:
  Fetcher() { SetEventSink(static_cast<tornell::ComponentHandle*>(&counter)); }

  bool Fetch(int port) {
    const char* answer = nullptr;
    SetTransferredDataLimit(1);
    const std::string url = "https://localhost:" + std::to_string(port) + "/big.bin";
    return SetTimeout(60, 1) == 0 && SetHTTPVersion("2.0") == 0 &&
           ConfigText("SSLEnabledProtocols=12288", answer) == 0 &&
           ConfigText((std::string("SSLEnabledCipherSuites=") + kSuite).c_str(), answer) == 0 &&
           SetURL(url.c_str(), 0) == 0 && DoAction(tornell::kHttpGet) == 0 && GetStatusCode() == 200 &&
           negotiatedHttpVersion_.Equals("2.0");
  }

  Counter counter;
};

void FetchOurs(benchmark::State& state, bool h2o) {
  const int port = Servers::Get().Port(h2o);
  if (port == 0) {
    state.SkipWithError(h2o ? "h2o is not installed" : "nghttpd is not installed");
    return;
  }
  for (auto _ : state) {
    Fetcher fetcher;
    if (!fetcher.Fetch(port) || fetcher.counter.received != kFileSize) {
      state.SkipWithError("fetch failed");
      return;
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kFileSize);
  benchpath::Label(state, benchpath::kAesGcm);
}

size_t CountBytes(char*, size_t size, size_t count, void* total) {
  *static_cast<int64_t*>(total) += static_cast<int64_t>(size * count);
  return size * count;
}

void FetchCurl(benchmark::State& state, bool h2o) {
  const int port = Servers::Get().Port(h2o);
  if (port == 0) {
    state.SkipWithError(h2o ? "h2o is not installed" : "nghttpd is not installed");
    return;
  }
  const std::string url = "https://localhost:" + std::to_string(port) + "/big.bin";
  for (auto _ : state) {
    CURL* curl = curl_easy_init();
    int64_t total = 0;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_2TLS);
    curl_easy_setopt(curl, CURLOPT_SSLVERSION, CURL_SSLVERSION_TLSv1_3);
    curl_easy_setopt(curl, CURLOPT_TLS13_CIPHERS, kSuite);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 0L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, CountBytes);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &total);
    const CURLcode code = curl_easy_perform(curl);
    long version = 0;
    curl_easy_getinfo(curl, CURLINFO_HTTP_VERSION, &version);
    curl_easy_cleanup(curl);
    if (code != CURLE_OK || total != kFileSize || version != CURL_HTTP_VERSION_2_0) {
      state.SkipWithError("curl fetch failed");
      return;
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kFileSize);
}

BENCHMARK_CAPTURE(FetchCurl, nghttpd, false)->Name("Http2Get100MBNghttpd/peer")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(FetchCurl, h2o, true)->Name("Http2Get100MBH2o/peer")->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_CAPTURE(FetchOurs, nghttpd, false)->Name("Http2Get100MBNghttpd/ours")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(FetchOurs, h2o, true)->Name("Http2Get100MBH2o/ours")->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
