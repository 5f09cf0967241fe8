#pragma once
// A test peer (socat, a proxy daemon, a scripted server) started on a free
// loopback port, waited for until it listens, and stopped by its PID. Every
// wait is bounded.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

// A port nothing listens on at the moment of asking (the system's choice).
inline int FreePort(int family = AF_INET) {
  const int fd = socket(family, SOCK_STREAM, 0);
  if (fd < 0) return 0;
  int port = 0;
  if (family == AF_INET6) {
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_addr = in6addr_loopback;
    socklen_t size = sizeof address;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
      port = ntohs(address.sin6_port);
    }
  } else {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
      port = ntohs(address.sin_port);
    }
  }
  close(fd);
  return port;
}

// Full path of a program in PATH or the system folders; "" when absent.
inline std::string FindProgram(const std::string& name) {
  if (name.find('/') != std::string::npos) return access(name.c_str(), X_OK) == 0 ? name : "";
  std::string path = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
  path += ":/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin";
  std::stringstream dirs(path);
  std::string dir;
  while (std::getline(dirs, dir, ':')) {
    if (dir.empty()) continue;
    const std::string candidate = dir + "/" + name;
    struct stat info{};
    if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(candidate.c_str(), X_OK) == 0) {
      return candidate;
    }
  }
  return "";
}

// True when a socket listens on the port (read from /proc, so the check
// takes no connection from the peer).
inline bool IsListening(int port) {
  char wanted[8];
  std::snprintf(wanted, sizeof wanted, "%04X", port);
  for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
    std::ifstream in(table);
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) {
      std::istringstream fields(line);
      std::string slot, local, remote, state;
      fields >> slot >> local >> remote >> state;
      const size_t colon = local.rfind(':');
      if (state == "0A" && colon != std::string::npos && local.substr(colon + 1) == wanted) return true;
    }
  }
  return false;
}

class PeerProcess {
 public:
  PeerProcess() = default;
  ~PeerProcess() { Stop(); }
  PeerProcess(const PeerProcess&) = delete;
  PeerProcess& operator=(const PeerProcess&) = delete;

  // Runs argv (argv[0] looked up with FindProgram; every "{port}" in the
  // arguments replaced by the port) and waits until the port listens. A
  // port of 0 picks a free one. Output goes to logPath ("" = discarded).
  bool Start(std::vector<std::string> argv, int port = 0, const std::string& logPath = "",
             int family = AF_INET, int seconds = 10) {
    Stop();
    if (argv.empty()) return false;
    const std::string program = FindProgram(argv[0]);
    if (program.empty()) return false;
    port_ = port != 0 ? port : FreePort(family);
    if (port_ == 0) return false;
    for (std::string& arg : argv) {
      for (size_t at = arg.find("{port}"); at != std::string::npos; at = arg.find("{port}"))
        arg.replace(at, 6, std::to_string(port_));
    }
    argv[0] = program;
    std::vector<char*> args;
    for (std::string& arg : argv) args.push_back(arg.data());
    args.push_back(nullptr);
    const std::string log = logPath.empty() ? "/dev/null" : logPath;
    pid_ = fork();
    if (pid_ < 0) return false;
    if (pid_ == 0) {
      std::FILE* out = std::freopen(log.c_str(), "a", stdout);
      std::FILE* err = std::freopen(log.c_str(), "a", stderr);
      if (out == nullptr || err == nullptr) _exit(126);
      execv(args[0], args.data());
      _exit(127);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
      if (IsListening(port_)) return true;
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return false;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    Stop();
    return false;
  }

  // Terminates the peer and reaps it; SIGKILL when it does not end in time.
  void Stop() {
    if (pid_ <= 0) return;
    kill(pid_, stopSignal_);
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (waitpid(pid_, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() >= deadline) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    pid_ = -1;
  }

  int port() const { return port_; }
  pid_t pid() const { return pid_; }
  bool running() const { return pid_ > 0; }
  // For peers that take long to end on SIGTERM (squid).
  void SetStopSignal(int signal) { stopSignal_ = signal; }

 private:
  pid_t pid_ = -1;
  int port_ = 0;
  int stopSignal_ = SIGTERM;
};

}  // namespace testsupport
