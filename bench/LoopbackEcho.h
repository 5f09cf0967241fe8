#pragma once
// The loopback echo rows' common parts: a thread that accepts one connection
// on 127.0.0.1 and echoes it until it closes, and the plain blocking socket
// loop (the peer) that each row's own client is measured against.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <thread>
#include <vector>

namespace loopback {

constexpr int kBlock = 65536;
constexpr int kRounds = 16384;  // 1 GB an iteration

// A socket listening on 127.0.0.1 at a free port, whose address it fills;
// -1 when none can be made.
inline int ListenOnLoopback(sockaddr_in &address) {
  const int listener = socket(AF_INET, SOCK_STREAM, 0);
  address = sockaddr_in{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  if (listener < 0 || bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
      listen(listener, 1) != 0 || getsockname(listener, reinterpret_cast<sockaddr *>(&address), &size) != 0) {
    if (listener >= 0) close(listener);
    return -1;
  }
  return listener;
}

struct EchoServer {
  int listener = -1;
  int port = 0;
  std::thread echo;

  bool Open() {
    sockaddr_in address{};
    listener = ListenOnLoopback(address);
    if (listener < 0) return false;
    port = ntohs(address.sin_port);
    echo = std::thread([fd = listener] {
      const int peer = accept(fd, nullptr, nullptr);
      if (peer < 0) return;
      std::vector<char> buffer(kBlock);
      for (;;) {
        const ssize_t n = recv(peer, buffer.data(), buffer.size(), 0);
        if (n <= 0) break;
        ssize_t sent = 0;
        while (sent < n) {
          const ssize_t m = send(peer, buffer.data() + sent, static_cast<size_t>(n - sent), MSG_NOSIGNAL);
          if (m <= 0) break;
          sent += m;
        }
        if (sent < n) break;
      }
      close(peer);
    });
    return true;
  }

  ~EchoServer() {
    if (listener >= 0) shutdown(listener, SHUT_RDWR);
    if (echo.joinable()) echo.join();
    if (listener >= 0) close(listener);
  }
};

// Opens the echo server, or marks the row skipped with the reason.
inline bool OpenOrSkip(EchoServer &server, benchmark::State &state) {
  if (server.Open()) return true;
  state.SkipWithError("no loopback listener");
  return false;
}

// The peer: each block written whole, then read back in reads of readSize
// bytes (a blocking write of 64 KB fits the loopback buffers while the echo
// drains them).
inline void PlainEchoLoop(benchmark::State &state, int readSize) {
  EchoServer server;
  if (!OpenOrSkip(server, state)) return;
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(server.port));
  if (connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
    close(fd);
    state.SkipWithError("connect failed");
    return;
  }
  std::vector<char> block(kBlock, 'x');
  std::vector<char> reply(static_cast<size_t>(readSize));
  for (auto _ : state) {
    for (int round = 0; round < kRounds; ++round) {
      ssize_t sent = 0;
      while (sent < kBlock) {
        const ssize_t n = send(fd, block.data() + sent, static_cast<size_t>(kBlock - sent), MSG_NOSIGNAL);
        if (n <= 0) break;
        sent += n;
      }
      long received = 0;
      while (received < kBlock) {
        const ssize_t n = recv(fd, reply.data(), reply.size(), 0);
        if (n <= 0) break;
        received += n;
      }
      if (sent != kBlock || received != kBlock) {
        state.SkipWithError("echo failed");
        close(fd);
        return;
      }
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kBlock * kRounds);
  close(fd);
}

}  // namespace loopback
