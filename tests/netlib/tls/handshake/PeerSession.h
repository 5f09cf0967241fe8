#pragma once
// A TLS client engine over a loopback TCP connection to a real server: the
// owner writes to the socket, a bounded poll loop feeds the engine, and the
// server's key log gives the master secret to compare.
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>

#include "../record/EngineHarness.h"
#include "PeerProcess.h"
#include "pki/store/SelectedCertificate.h"

namespace peertest {

using namespace tornell;
using testsupport::PeerProcess;

// The in-memory owner's records, with the writes going to the socket.
struct SocketOwner : enginetest::MemoryOwner {
  int fd = -1;

  int SendRaw(const char* p, int n, int& sent) override {
    sent = 0;
    while (sent < n) {
      const ssize_t w = ::send(fd, p + sent, size_t(n - sent), MSG_NOSIGNAL);
      if (w <= 0) return 1;
      sent += int(w);
    }
    return 0;
  }
  // The certificate check: with `pinned` (DER) set, the leaf is accepted
  // exactly when it is that certificate, whatever the checks said.
  std::string pinned;
  int certificateCode = -1;
  std::string certificateText;
  std::string chainText;
  int OnTlsCertificate(ByteString& chain, SelectedCertificate& leaf, int code, const char* text, int& accept) override {
    certificateCode = code;
    certificateText = text;
    chainText = chain.CStr();
    if (!pinned.empty()) {
      ByteString der;
      accept = leaf.GetEncoded(der) == 0 && std::string(der.Data(), size_t(der.Length())) == pinned ? 1 : 0;
    }
    return 0;
  }
};

inline int Connect(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(uint16_t(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) return fd;
  if (fd >= 0) ::close(fd);
  return -1;
}

// Feeds what the socket delivers until `done` holds, the engine fails, the
// peer closes or the time is up. Returns the engine's last status.
template <typename Done>
int Pump(TlsEngine& engine, SocketOwner& owner, Done done, int seconds = 10) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  char buffer[16384];
  while (!done() && std::chrono::steady_clock::now() < deadline) {
    pollfd p{owner.fd, POLLIN, 0};
    if (::poll(&p, 1, 100) <= 0) continue;
    const ssize_t n = ::recv(owner.fd, buffer, sizeof buffer, 0);
    if (n <= 0) {
      (void)engine.OnPeerClosed(0, 1);
      return engine.GetFailure();
    }
    const int status = engine.Receive(buffer, int(n));
    if (status != 0) return status;
  }
  return engine.GetFailure();
}

// Waits (bounded, 10 s: a peer under a loaded machine may be slow to write)
// until the file holds the text.
inline bool FileShows(const std::string& path, const std::string& text) {
  for (int i = 0; i < 500; ++i) {
    std::ifstream in(path);
    std::stringstream all;
    all << in.rdbuf();
    if (all.str().find(text) != std::string::npos) return true;
    ::usleep(20000);
  }
  return false;
}

inline std::string Hex(const ByteString& bytes) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (int i = 0; i < bytes.Length(); ++i) {
    out += digits[bytes.ByteAt(i) >> 4];
    out += digits[bytes.ByteAt(i) & 15];
  }
  return out;
}

// The master secret the server logged for this client random, in hex.
inline std::string LoggedMaster(const std::string& keylog, const std::string& clientRandom) {
  std::ifstream in(keylog);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string label, random, secret;
    words >> label >> random >> secret;
    if (label == "CLIENT_RANDOM" && random == clientRandom) return secret;
  }
  return "";
}

}  // namespace peertest
