// 64 KB written to an echo thread over 127.0.0.1 and read back, repeated up
// to 1 GB, through the IPPort entry points: Send (method 9) with a Timeout
// set, the echo counted in the host's DataIn events, MaxLineLength 65536
// (ours); beside a blocking socket loop (peer).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "LoopbackEcho.h"
#include "net/ipport/IPPortEntry.h"

namespace {

using loopback::kBlock;
using loopback::kRounds;

int CountDataIn(void *context, int id, int, void **, int *lengths) {
  if (id == 3) *static_cast<long *>(context) += lengths[0];
  return 0;
}

void EchoOurs(benchmark::State &state) {
  loopback::EchoServer server;
  if (!loopback::OpenOrSkip(server, state)) return;
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

void EchoPeer(benchmark::State &state) { loopback::PlainEchoLoop(state, kBlock); }

}  // namespace

BENCHMARK(EchoOurs)->Name("IPPortEcho1GB/ours")->Unit(benchmark::kMillisecond);
BENCHMARK(EchoPeer)->Name("IPPortEcho1GB/peer")->Unit(benchmark::kMillisecond);
