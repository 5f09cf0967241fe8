// Round trip of 64 bytes to an echo thread over 127.0.0.1; the client waits
// through the socket core's wait step (ours) or in a blocking recv (peer).
// A round trip is latency, so the table compares wall time per exchange.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

#include "BenchPath.h"
#include "LoopbackEcho.h"
#include "core/socket/SocketCore.h"

namespace {

constexpr int kMessage = 64;

struct EchoPair {
  int client = -1;
  int server = -1;
  std::thread echo;

  bool Open() {
    sockaddr_in address{};
    const int listener = loopback::ListenOnLoopback(address);
    if (listener < 0) return false;
    client = socket(AF_INET, SOCK_STREAM, 0);
    const bool ok = connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                    (server = accept(listener, nullptr, nullptr)) >= 0;
    close(listener);
    if (!ok) return false;
    const int one = 1;
    setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    setsockopt(server, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    echo = std::thread([fd = server] {
      char buffer[kMessage];
      for (;;) {
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0 || send(fd, buffer, static_cast<size_t>(n), 0) != n) return;
      }
    });
    return true;
  }

  ~EchoPair() {
    if (client >= 0) shutdown(client, SHUT_RDWR);
    if (echo.joinable()) echo.join();
    if (client >= 0) close(client);
    if (server >= 0) close(server);
  }
};

class PingClient : public tornell::SocketCore {
 public:
  PingClient() { Reset(); }
  int HandleMessage(int, unsigned long descriptor, long event) override {
    if (event != tornell::kEventRead) return tornell::kStatusOk;
    const ssize_t n = recv(static_cast<int>(descriptor), reply + received, kMessage - received, 0);
    if (n > 0) received += static_cast<int>(n);
    if (n == 0) closed = true;
    return tornell::kStatusOk;
  }
  int ExternalWait(long&) override { return tornell::kStatusOk; }
  int ExternalRegisterSocket(long, long, void*&) override { return tornell::kStatusOk; }
  int ExternalUnregisterSocket(void*) override { return tornell::kStatusOk; }

  char reply[kMessage] = {};
  int received = 0;
  bool closed = false;
};

void PingPongOurs(benchmark::State& state) {
  benchpath::LabelPortable(state);
  EchoPair pair;
  if (!pair.Open()) {
    state.SkipWithError("no loopback socket pair");
    return;
  }
  PingClient client;
  client.AsyncSelect(pair.client, nullptr, 101, tornell::kEventRead | tornell::kEventClose);
  client.SetTimeout(5, 1);
  char message[kMessage] = {};
  for (auto _ : state) {
    client.received = 0;
    client.StartTimeout();
    if (send(pair.client, message, kMessage, 0) != kMessage) {
      state.SkipWithError("send failed");
      break;
    }
    while (client.received < kMessage && !client.closed && client.DoEvents(1000) == tornell::kWaitGoOn) {
    }
    if (client.received != kMessage) {
      state.SkipWithError("no echo");
      break;
    }
  }
}

void PingPongPeer(benchmark::State& state) {
  EchoPair pair;
  if (!pair.Open()) {
    state.SkipWithError("no loopback socket pair");
    return;
  }
  char message[kMessage] = {};
  char reply[kMessage];
  for (auto _ : state) {
    if (send(pair.client, message, kMessage, 0) != kMessage) {
      state.SkipWithError("send failed");
      break;
    }
    int received = 0;
    while (received < kMessage) {
      const ssize_t n = recv(pair.client, reply + received, kMessage - received, 0);
      if (n <= 0) break;
      received += static_cast<int>(n);
    }
    if (received != kMessage) {
      state.SkipWithError("no echo");
      break;
    }
  }
}

}  // namespace

BENCHMARK(PingPongOurs)->Name("LoopbackPingPong64/ours");
BENCHMARK(PingPongPeer)->Name("LoopbackPingPong64/peer");
