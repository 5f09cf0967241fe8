// 64 KB written to an echo thread over 127.0.0.1 and read back, repeated up
// to 1 GB: the connection driven by Send and its wait step, the bytes
// counted in OnSocketData (ours), beside a blocking socket loop (peer). The
// SendData row sends each block through the blocking transport instead.
#include <benchmark/benchmark.h>

#include <vector>

#include "LoopbackEcho.h"
#include "net/connection/ProtocolConnection.h"
#include "net/connection/TcpConnection.h"

namespace {

using loopback::EchoServer;
using loopback::kBlock;
using loopback::kRounds;

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
  if (!loopback::OpenOrSkip(server, state)) return;
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
  if (!loopback::OpenOrSkip(server, state)) return;
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
  loopback::PlainEchoLoop(state, kLine);
}

}  // namespace

// MaxLineLength 65536, and the default 2048.
BENCHMARK(EchoOurs<65536>)->Name("LoopbackEcho1GB/ours")->Unit(benchmark::kMillisecond);
BENCHMARK(EchoPeer<65536>)->Name("LoopbackEcho1GB/peer")->Unit(benchmark::kMillisecond);
BENCHMARK(EchoSendData)->Name("LoopbackEcho1GBSendData/ours")->Unit(benchmark::kMillisecond);
BENCHMARK(EchoPeer<65536>)->Name("LoopbackEcho1GBSendData/peer")->Unit(benchmark::kMillisecond);
BENCHMARK(EchoOurs<2048>)->Name("LoopbackEcho1GBLine2048/ours")->Unit(benchmark::kMillisecond);
BENCHMARK(EchoPeer<2048>)->Name("LoopbackEcho1GBLine2048/peer")->Unit(benchmark::kMillisecond);
