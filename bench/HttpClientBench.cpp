// HTTP/1.1 client against one local nginx, bodies kept in memory: keep-alive
// GETs of a 100-byte file (requests per second) and a 100 MB download
// (throughput). Ours is the protocol object with KeepAlive on; the peer is
// libcurl with one easy handle reused.
#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <arpa/inet.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "http/protocol/HttpProtocol.h"

namespace {

namespace fs = std::filesystem;
constexpr size_t kBigSize = 100u << 20;

int PickPort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  int port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
    port = ntohs(address.sin_port);
  }
  close(fd);
  return port;
}

bool Answers(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return ok;
}

// One nginx for the whole run, started on first use, stopped at exit.
class Server {
 public:
  static Server& Get() {
    static Server server;
    return server;
  }
  bool Up() const { return pid_ > 0; }
  std::string Url(const char* path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }

  ~Server() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
    std::error_code ignored;
    if (!dir_.empty()) fs::remove_all(dir_, ignored);
  }

 private:
  Server() {
    char name[] = "/tmp/http-bench-XXXXXX";
    if (mkdtemp(name) == nullptr) return;
    dir_ = name;
    fs::create_directories(dir_ / "www");
    std::ofstream(dir_ / "www" / "small.txt") << std::string(100, 's');
    {
      std::ofstream big(dir_ / "www" / "big.bin", std::ios::binary);
      std::string block(1 << 20, 'b');
      for (size_t i = 0; i < kBigSize / block.size(); ++i) big << block;
    }
    port_ = PickPort();
    std::ofstream conf(dir_ / "nginx.conf");
    conf << "daemon off; master_process off; worker_processes 1;\n"
         << "pid " << (dir_ / "nginx.pid").string() << "; error_log " << (dir_ / "error.log").string() << ";\n"
         << "events { worker_connections 64; }\nhttp {\n  access_log off;\n  keepalive_requests 10000000;\n"
         << "  sendfile on;\n";
    for (const char* t : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"}) {
      conf << "  " << t << "_temp_path " << (dir_ / t).string() << ";\n";
    }
    conf << "  server { listen 127.0.0.1:" << port_ << "; root " << (dir_ / "www").string() << "; }\n}\n";
    conf.close();
    const std::string confPath = (dir_ / "nginx.conf").string();
    const std::string prefix = dir_.string();
    pid_ = fork();
    if (pid_ == 0) {
      std::FILE* out = std::freopen("/dev/null", "w", stdout);
      std::FILE* err = std::freopen("/dev/null", "w", stderr);
      if (out == nullptr || err == nullptr) _exit(126);
      execlp("nginx", "nginx", "-p", prefix.c_str(), "-c", confPath.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    for (int i = 0; i < 250 && pid_ > 0; ++i) {
      if (Answers(port_)) return;
      if (waitpid(pid_, nullptr, WNOHANG) == pid_) pid_ = -1;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (pid_ > 0) kill(pid_, SIGKILL), waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

  fs::path dir_;
  int port_ = 0;
  pid_t pid_ = -1;
};

class Client : public tornell::HttpProtocol {
 public:
  Client() {
    SetHttpKeepAlive(1);
    static_cast<void>(SetTimeout(30, 1));
  }
};

void Ours(benchmark::State& state, const char* path, size_t expected) {
  Server& server = Server::Get();
  if (!server.Up()) {
    state.SkipWithError("nginx did not start");
    return;
  }
  Client client;
  const std::string url = server.Url(path);
  for (auto _ : state) {
    if (client.SetURL(url.c_str(), 0) != 0 || client.DoAction(tornell::kHttpGet) != 0 ||
        static_cast<size_t>(client.TransferredData().Length()) != expected) {
      state.SkipWithError("request failed");
      return;
    }
  }
}

size_t Collect(char* data, size_t size, size_t count, void* context) {
  static_cast<std::string*>(context)->append(data, size * count);
  return size * count;
}

void Peer(benchmark::State& state, const char* path, size_t expected) {
  Server& server = Server::Get();
  if (!server.Up()) {
    state.SkipWithError("nginx did not start");
    return;
  }
  CURL* curl = curl_easy_init();
  std::string body;
  const std::string url = server.Url(path);
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Collect);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
  for (auto _ : state) {
    body.clear();
    body.shrink_to_fit();  // as ours, each body collected from empty
    if (curl_easy_perform(curl) != CURLE_OK || body.size() != expected) {
      state.SkipWithError("request failed");
      break;
    }
  }
  curl_easy_cleanup(curl);
}

void SmallOurs(benchmark::State& state) {
  Ours(state, "/small.txt", 100);
  state.SetItemsProcessed(state.iterations());
}
void SmallPeer(benchmark::State& state) {
  Peer(state, "/small.txt", 100);
  state.SetItemsProcessed(state.iterations());
}
void BigOurs(benchmark::State& state) {
  Ours(state, "/big.bin", kBigSize);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBigSize));
}
void BigPeer(benchmark::State& state) {
  Peer(state, "/big.bin", kBigSize);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBigSize));
}

}  // namespace

BENCHMARK(SmallOurs)->Name("HttpKeepAliveGet100B/ours")->Unit(benchmark::kMicrosecond);
BENCHMARK(SmallPeer)->Name("HttpKeepAliveGet100B/peer")->Unit(benchmark::kMicrosecond);
BENCHMARK(BigOurs)->Name("HttpGet100MB/ours")->Unit(benchmark::kMillisecond);
BENCHMARK(BigPeer)->Name("HttpGet100MB/peer")->Unit(benchmark::kMillisecond);
