// 64 KB written to an echo thread over 127.0.0.1 and read back, repeated up
// to 1 GB: the connection driven by Send and its wait step, the bytes
// counted in OnSocketData (ours), beside a blocking socket loop (peer). The
// SendData row sends each block through the blocking transport instead.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>
#include <vector>

#include "net/connection/ProtocolConnection.h"
#include "net/connection/TcpConnection.h"

namespace {

constexpr int kBlock = 65536;
constexpr int kRounds = 16384;  // 1 GB an iteration

// Accepts one connection and echoes it until it closes.
struct EchoServer {
  int listener = -1;
  int port = 0;
  std::thread echo;

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

class CountingConnection : public tornell::TcpConnection {
 public:
  int OnSocketConnected(int code) override {
    connected = code == 0 ? 1 : -1;
    return 0;
  }
  int OnSocketDisconnected(int) override {
    connected = -1;
    return 0;
  }
  int OnSocketData(const char *, int length, int) override {
    received += length;
    return 0;
  }
  int OnSocketError(int, const char *) override { return 0; }
  int OnSocketWritable() override { return 0; }
  int OnSocketStatus(const char *, int) override { return 0; }
  int ExternalWait(long &) override { return 0; }
  int ExternalRegisterSocket(long, long, void *&) override { return 0; }
  int ExternalUnregisterSocket(void *) override { return 0; }

  int connected = 0;
  long received = 0;
};

template <int kLine>
void EchoOurs(benchmark::State &state) {
  EchoServer server;
  if (!server.Open()) {
    state.SkipWithError("no loopback listener");
    return;
  }
  CountingConnection connection;
  if (connection.SetMaxLineLength(static_cast<unsigned>(kLine)) != 0 ||
      connection.SetRemoteHost("127.0.0.1") != 0 || connection.SetRemotePort(server.port) != 0 ||
      connection.Connect(1) != 0) {
    state.SkipWithError("connect failed");
    return;
  }
  for (int i = 0; i < 500 && connection.connected == 0; ++i) static_cast<void>(connection.DoEvents(10));
  if (connection.connected != 1) {
    state.SkipWithError("not connected");
    return;
  }
  std::vector<char> block(kBlock, 'x');
  for (auto _ : state) {
    for (int round = 0; round < kRounds; ++round) {
      connection.received = 0;
      int sent = 0;
      while (sent < kBlock || connection.received < kBlock) {
        if (sent < kBlock) {
          const int status = connection.Send(block.data() + sent, kBlock - sent, 0, 1);
          if (status != 0 && status != tornell::kStatusWouldBlock) {
            state.SkipWithError("send failed");
            return;
          }
          sent += connection.GetBytesLastSent();
        }
        if (connection.received < kBlock && connection.DoEvents(1000) == 0) {
          state.SkipWithError("wait failed");
          return;
        }
      }
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kBlock * kRounds);
  static_cast<void>(connection.Disconnect(0));
}

class CountingTransport : public tornell::ProtocolConnection {
 public:
  int FireDataIn(const char *, int length, int) override {
    received += length;
    return 0;
  }
  int ExternalWait(long &) override { return 0; }
  int ExternalRegisterSocket(long, long, void *&) override { return 0; }
  int ExternalUnregisterSocket(void *) override { return 0; }

  long received = 0;
};

void EchoSendData(benchmark::State &state) {
  EchoServer server;
  if (!server.Open()) {
    state.SkipWithError("no loopback listener");
    return;
  }
  CountingTransport connection;
  if (connection.SetMaxLineLength(kBlock) != 0 || connection.SetTimeout(60, 1) != 0 ||
      connection.ConnectTo("127.0.0.1", server.port) != 0) {
    state.SkipWithError("connect failed");
    return;
  }
  std::vector<char> block(kBlock, 'x');
  for (auto _ : state) {
    for (int round = 0; round < kRounds; ++round) {
      connection.received = 0;
      if (connection.SendData(block.data(), kBlock, 0, 0) != 0) {
        state.SkipWithError("send failed");
        return;
      }
      while (connection.received < kBlock) {
        if (connection.DoEvents(1000) == 0) {
          state.SkipWithError("wait failed");
          return;
        }
      }
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kBlock * kRounds);
  static_cast<void>(connection.DisconnectAndWait());
}

template <int kLine>
void EchoPeer(benchmark::State &state) {
  EchoServer server;
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
  std::vector<char> reply(static_cast<size_t>(kLine));
  for (auto _ : state) {
    for (int round = 0; round < kRounds; ++round) {
      // Written whole, then read back: a blocking write of 64 KB fits the
      // loopback buffers while the echo drains them.
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

}  // namespace

// MaxLineLength 65536, and the default 2048.
BENCHMARK(EchoOurs<65536>)->Name("LoopbackEcho1GB/ours")->Unit(benchmark::kMillisecond);
BENCHMARK(EchoPeer<65536>)->Name("LoopbackEcho1GB/peer")->Unit(benchmark::kMillisecond);
BENCHMARK(EchoSendData)->Name("LoopbackEcho1GBSendData/ours")->Unit(benchmark::kMillisecond);
BENCHMARK(EchoPeer<65536>)->Name("LoopbackEcho1GBSendData/peer")->Unit(benchmark::kMillisecond);
BENCHMARK(EchoOurs<2048>)->Name("LoopbackEcho1GBLine2048/ours")->Unit(benchmark::kMillisecond);
BENCHMARK(EchoPeer<2048>)->Name("LoopbackEcho1GBLine2048/peer")->Unit(benchmark::kMillisecond);
