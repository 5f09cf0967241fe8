// 64 KB written to an echo thread over 127.0.0.1 and read back, repeated up
// to 1 GB, through the IPPort entry points: Send (method 9) with a Timeout
// set, the echo counted in the host's DataIn events, MaxLineLength 65536
// (ours); beside a blocking socket loop (peer).
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <thread>
#include <vector>

#include "net/ipport/IPPortEntry.h"

namespace {

constexpr int kBlock = 65536;
constexpr int kRounds = 16384;  // 1 GB an iteration

// Accepts one connection and echoes it until it closes.
struct Echo {
  int listener = -1;
  int port = 0;
  std::thread thread;

  bool Open() {
    listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        listen(listener, 1) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr *>(&address), &size) != 0) {
      return false;
    }
    port = ntohs(address.sin_port);
    thread = std::thread([fd = listener] {
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

  ~Echo() {
    if (listener >= 0) shutdown(listener, SHUT_RDWR);
    if (thread.joinable()) thread.join();
    if (listener >= 0) close(listener);
  }
};

int CountDataIn(void *context, int id, int, void **, int *lengths) {
  if (id == 3) *static_cast<long *>(context) += lengths[0];
  return 0;
}

void EchoOurs(benchmark::State &state) {
  Echo server;
  if (!server.Open()) {
    state.SkipWithError("no loopback listener");
    return;
  }
  long received = 0;
  void *port = Tornell_IPPort_Create(CountDataIn, &received);
  void *config[2] = {const_cast<char *>("MaxLineLength=65536"), nullptr};
  int configLengths[2] = {0, 0};
  void *connect[2] = {const_cast<char *>("127.0.0.1"), reinterpret_cast<void *>(static_cast<intptr_t>(server.port))};
  int connectLengths[2] = {0, 0};
  if (Tornell_IPPort_Do(port, 2, 2, config, configLengths) != 0 ||
      Tornell_IPPort_Do(port, 3, 2, connect, connectLengths) != 0) {
    state.SkipWithError("connect failed");
    Tornell_IPPort_Destroy(port);
    return;
  }
  std::vector<char> block(kBlock, 'x');
  void *send[1] = {block.data()};
  int sendLengths[1] = {kBlock};
  for (auto _ : state) {
    for (int round = 0; round < kRounds; ++round) {
      received = 0;
      sendLengths[0] = kBlock;
      if (Tornell_IPPort_Do(port, 9, 1, send, sendLengths) != 0) {
        state.SkipWithError("send failed");
        Tornell_IPPort_Destroy(port);
        return;
      }
      for (int steps = 0; received < kBlock; ++steps) {
        if (steps == 100000) {
          state.SkipWithError("echo lost");
          Tornell_IPPort_Destroy(port);
          return;
        }
        Tornell_IPPort_Do(port, 5, 0, nullptr, nullptr);
      }
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kBlock * kRounds);
  Tornell_IPPort_Do(port, 4, 0, nullptr, nullptr);
  Tornell_IPPort_Destroy(port);
}

void EchoPeer(benchmark::State &state) {
  Echo server;
  if (!server.Open()) {
    state.SkipWithError("no loopback listener");
    return;
  }
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
  std::vector<char> reply(kBlock);
  for (auto _ : state) {
    for (int round = 0; round < kRounds; ++round) {
      ssize_t sent = 0;
      while (sent < kBlock) {
        const ssize_t n = ::send(fd, block.data() + sent, static_cast<size_t>(kBlock - sent), MSG_NOSIGNAL);
        if (n <= 0) break;
        sent += n;
      }
      long got = 0;
      while (got < kBlock) {
        const ssize_t n = recv(fd, reply.data(), reply.size(), 0);
        if (n <= 0) break;
        got += n;
      }
      if (sent != kBlock || got != kBlock) {
        state.SkipWithError("echo failed");
        close(fd);
        return;
      }
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kBlock * kRounds);
  close(fd);
}

}  // namespace

BENCHMARK(EchoOurs)->Name("IPPortEcho1GB/ours")->Unit(benchmark::kMillisecond);
BENCHMARK(EchoPeer)->Name("IPPortEcho1GB/peer")->Unit(benchmark::kMillisecond);
