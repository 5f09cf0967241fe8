#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "SocketTestSupport.h"
#include "TestSupport.h"
#include "core/text/TextUtils.h"

using sockettest::Event;
using sockettest::MillisSince;
using sockettest::TestSocket;
using Clock = std::chrono::steady_clock;

namespace {

constexpr long kConnectMask = 1 | 2 | 16 | 32;

int CountEvents(const std::vector<Event>& events, long low) {
  int n = 0;
  for (const Event& e : events) n += (e.event & 0xFFFF) == low ? 1 : 0;
  return n;
}

// Runs wait steps until the predicate holds, at most count steps and 5 s.
template <typename Pred>
bool StepUntil(TestSocket& s, Pred done, int count = 200) {
  const auto start = Clock::now();
  for (int i = 0; i < count && MillisSince(start) < 5000; ++i) {
    if (done()) return true;
    s.DoEvents(20);
  }
  return done();
}

// Wait steps until one says stop (bounded by count and limitMs); the time taken.
double StepUntilStop(TestSocket& s, double limitMs) {
  const auto start = Clock::now();
  for (int steps = 0; steps < 2000 && MillisSince(start) < limitMs; ++steps) {
    if (s.DoEvents() != 1) break;
  }
  return MillisSince(start);
}

struct Fds {
  int a = -1;
  int b = -1;
  ~Fds() {
    if (a >= 0) close(a);
    if (b >= 0) close(b);
  }
};

TEST(SocketWait, RefusedConnectGivesOneConnectEventWithTheErrorThenRead) {
  uint16_t port = 0;
  const int listener = sockettest::Listen(&port);
  ASSERT_GE(listener, 0);
  close(listener);  // nothing listens there now
  Fds fds;
  fds.a = socket(AF_INET, SOCK_STREAM, 0);
  TestSocket s;
  s.AsyncSelect(fds.a, nullptr, 101, kConnectMask);
  sockaddr_in address = sockettest::Loopback(port);
  ASSERT_EQ(connect(fds.a, reinterpret_cast<sockaddr*>(&address), sizeof address), -1);
  ASSERT_EQ(errno, EINPROGRESS);

  ASSERT_TRUE(StepUntil(s, [&] { return !s.events.empty(); }));
  for (int i = 0; i < 5; ++i) s.DoEvents(10);

  ASSERT_EQ(CountEvents(s.events, 16), 1);
  EXPECT_EQ(s.events[0].event, (111L << 16) | 16);
  EXPECT_EQ(s.events[0].message, 101);
  EXPECT_EQ(s.events[0].descriptor, static_cast<unsigned long>(fds.a));
  // In the same pass the failed socket also reads as writable (asked for)
  // and then as readable.
  ASSERT_GE(s.events.size(), 3u);
  EXPECT_EQ(s.events[1].event, 2);
  EXPECT_EQ(s.events[2].event, 1);
  EXPECT_EQ(s.GetEventMask() & 16, 0);
}

TEST(SocketWait, ConnectThenWriteInterestIsOneShot) {
  uint16_t port = 0;
  Fds fds;
  fds.b = sockettest::Listen(&port);
  ASSERT_GE(fds.b, 0);
  fds.a = socket(AF_INET, SOCK_STREAM, 0);
  TestSocket s;
  s.AsyncSelect(fds.a, nullptr, 101, kConnectMask);
  EXPECT_NE(fcntl(fds.a, F_GETFL) & O_NONBLOCK, 0);
  sockaddr_in address = sockettest::Loopback(port);
  connect(fds.a, reinterpret_cast<sockaddr*>(&address), sizeof address);

  ASSERT_TRUE(StepUntil(s, [&] { return CountEvents(s.events, 2) > 0; }));
  for (int i = 0; i < 3; ++i) s.DoEvents(10);
  ASSERT_EQ(s.events.size(), 2u);
  EXPECT_EQ(s.events[0].event, 16);  // connected, error 0
  EXPECT_EQ(s.events[1].event, 2);

  s.AddEventMask(2);
  s.DoEvents(10);
  s.DoEvents(10);
  EXPECT_EQ(CountEvents(s.events, 2), 2);

  // Readable data gives the read event whatever the mask holds.
  const int peer = accept(fds.b, nullptr, nullptr);
  ASSERT_GE(peer, 0);
  s.ClearEventMaskBits(1);
  ASSERT_EQ(send(peer, "x", 1, 0), 1);
  ASSERT_TRUE(StepUntil(s, [&] { return CountEvents(s.events, 1) > 0; }));
  close(peer);
}

TEST(SocketWait, AcceptEventInsteadOfReadWhenAsked) {
  uint16_t port = 0;
  Fds fds;
  fds.a = sockettest::Listen(&port);
  TestSocket s;
  s.AsyncSelect(fds.a, nullptr, 7, 8 | 1);
  fds.b = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = sockettest::Loopback(port);
  ASSERT_EQ(connect(fds.b, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_TRUE(StepUntil(s, [&] { return !s.events.empty(); }));
  EXPECT_EQ(s.events[0].event, 8);
  EXPECT_EQ(s.events[0].message, 7);
}

TEST(SocketWait, ReadPendingIsDeliveredFirst) {
  Fds fds;
  ASSERT_TRUE(sockettest::ConnectedPair(&fds.a, &fds.b));
  TestSocket s;
  s.AsyncSelect(fds.a, nullptr, 101, 1);
  s.MarkReadPending();
  const auto start = Clock::now();
  EXPECT_EQ(s.DoEvents(50), 1);
  ASSERT_EQ(s.events.size(), 1u);
  EXPECT_EQ(s.events[0].event, 1);
  EXPECT_GE(MillisSince(start), 40);  // then it waited: nothing was there
  s.DoEvents(0);
  EXPECT_EQ(s.events.size(), 1u);
}

TEST(SocketWait, SilentPeerTimesOutInSecondsAndInMilliseconds) {
  uint16_t port = 0;
  Fds fds;
  const int listener = sockettest::Listen(&port);
  ASSERT_GE(listener, 0);
  fds.a = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = sockettest::Loopback(port);
  ASSERT_EQ(connect(fds.a, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  fds.b = accept(listener, nullptr, nullptr);
  close(listener);

  struct Case {
    const char* unit;
    unsigned timeout;
    double minMs;
  };
  for (const Case& c : {Case{"False", 1, 1000}, Case{"True", 300, 300}}) {
    SCOPED_TRACE(c.unit);
    TestSocket s;
    s.AsyncSelect(fds.a, nullptr, 101, 1);
    const char* answer = nullptr;
    ASSERT_EQ(s.ConfigText((std::string("TimeoutInMilliseconds=") + c.unit).c_str(), answer), 0);
    s.SetTimeout(c.timeout, 1);
    s.StartTimeout();
    const double took = StepUntilStop(s, 5000);
    EXPECT_STREQ(s.GetLastErrorText(), "Timeout.");
    EXPECT_GE(took, c.minMs);
    EXPECT_LT(took, c.minMs + 1500);
    EXPECT_TRUE(s.events.empty());
  }
}

TEST(SocketWait, NoTimeoutWithoutDescriptorOrDeadline) {
  TestSocket s;
  s.SetTimeout(0, 1);
  EXPECT_EQ(s.StartTimeout(), 0u);
  const auto start = Clock::now();
  for (int i = 0; i < 100; ++i) ASSERT_EQ(s.DoEvents(1000), 1);
  EXPECT_LT(MillisSince(start), 500);  // no descriptor: no sleeping
}

TEST(SocketWait, InterruptFromAHandlerStopsTheWait) {
  Fds fds;
  ASSERT_TRUE(sockettest::ConnectedPair(&fds.a, &fds.b));
  TestSocket s;
  s.AsyncSelect(fds.a, nullptr, 101, 1);
  s.SetTimeout(10, 1);
  s.StartTimeout();
  s.onEvent = [](TestSocket& self, long event) {
    if (event == 1) self.RequestInterrupt();
  };
  ASSERT_EQ(send(fds.b, "ping", 4, 0), 4);
  int result = 1;
  const auto start = Clock::now();
  for (int i = 0; i < 200 && result == 1 && MillisSince(start) < 5000; ++i) result = s.DoEvents();
  EXPECT_EQ(result, 0);
  EXPECT_STREQ(s.GetLastErrorText(), "Interrupted.");
  EXPECT_EQ(s.WasInterrupted(), 1);
  EXPECT_EQ(s.IsInterruptRequested(), 0);

  // A request made before the step stops it without waiting.
  s.onEvent = nullptr;
  s.ClearError();
  s.RequestInterrupt();
  const auto again = Clock::now();
  EXPECT_EQ(s.DoEvents(2000), 0);
  EXPECT_LT(MillisSince(again), 1000);
  EXPECT_STREQ(s.GetLastErrorText(), "Interrupted.");
}

TEST(SocketWait, ExternalLoopWaitsThroughTheHost) {
  Fds fds;
  ASSERT_TRUE(sockettest::ConnectedPair(&fds.a, &fds.b));
  TestSocket s;
  s.SetExternalEventLoop(1);
  s.AsyncSelect(fds.a, nullptr, 101, 1);
  ASSERT_EQ(send(fds.b, "x", 1, 0), 1);
  s.externalAnswer = 0;
  ASSERT_TRUE(StepUntil(s, [&] { return !s.events.empty(); }));
  EXPECT_GE(s.externalWaits, 1);
  s.externalAnswer = -1;
  EXPECT_EQ(s.DoEvents(10), 0);
  EXPECT_STREQ(s.GetLastErrorText(), "Interrupted.");
}

TEST(SocketWait, DescriptorAbove1024Works) {
  rlimit limit{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &limit), 0);
  const rlimit saved = limit;
  if (limit.rlim_cur < 2048) limit.rlim_cur = limit.rlim_max < 2048 ? limit.rlim_max : 2048;
  setrlimit(RLIMIT_NOFILE, &limit);
  getrlimit(RLIMIT_NOFILE, &limit);
  REQUIRE_OR_SKIP(limit.rlim_cur > 1500, "the descriptor limit cannot be raised above 1500");

  Fds fds;
  int client = -1;
  ASSERT_TRUE(sockettest::ConnectedPair(&client, &fds.b));
  fds.a = dup2(client, 1500);
  close(client);
  ASSERT_EQ(fds.a, 1500);

  TestSocket s;
  s.AsyncSelect(fds.a, nullptr, 101, 1 | 2);
  ASSERT_EQ(send(fds.b, "data", 4, 0), 4);
  ASSERT_TRUE(StepUntil(s, [&] { return CountEvents(s.events, 1) > 0; }));
  EXPECT_EQ(CountEvents(s.events, 2), 1);
  for (const Event& e : s.events) EXPECT_EQ(e.descriptor, 1500u);
  close(fds.a);
  fds.a = -1;
  setrlimit(RLIMIT_NOFILE, &saved);
}

TEST(SocketWait, BadDescriptorReportsTheCloseEvent) {
  TestSocket s;
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  s.AsyncSelect(fd, nullptr, 101, 1 | 32);
  close(fd);
  EXPECT_EQ(s.WaitForEvents(0), -1);
  ASSERT_EQ(s.events.size(), 1u);
  EXPECT_EQ(s.events[0].event, (static_cast<long>(EBADF) << 16) | 32);
}

volatile sig_atomic_t g_signals = 0;
void CountSignal(int) { g_signals = g_signals + 1; }

TEST(SocketWait, ThreeSignalsEndThePassWithoutEvents) {
  Fds fds;
  ASSERT_TRUE(sockettest::ConnectedPair(&fds.a, &fds.b));
  TestSocket s;
  s.AsyncSelect(fds.a, nullptr, 101, 1 | 32);
  struct sigaction action {};
  struct sigaction saved {};
  action.sa_handler = CountSignal;
  sigemptyset(&action.sa_mask);
  ASSERT_EQ(sigaction(SIGALRM, &action, &saved), 0);
  itimerval timer{};
  timer.it_value.tv_usec = 20000;
  timer.it_interval.tv_usec = 20000;
  g_signals = 0;
  setitimer(ITIMER_REAL, &timer, nullptr);
  const auto start = Clock::now();
  const int result = s.WaitForEvents(3000);
  const double took = MillisSince(start);
  itimerval off{};
  setitimer(ITIMER_REAL, &off, nullptr);
  sigaction(SIGALRM, &saved, nullptr);
  EXPECT_EQ(result, 0);
  EXPECT_TRUE(s.events.empty());
  EXPECT_GE(g_signals, 3);
  EXPECT_LT(took, 2000);
}

TEST(SocketWait, DeadlineComparisonFollowsTheClockWrap) {
  constexpr uint32_t P = tornell::kTickPeriodMs;
  struct Case {
    uint32_t armed, deadline, now;
    bool passed;
  };
  const Case cases[] = {
      {1000, 6000, 5999, false},      {1000, 6000, 6000, false},    {1000, 6000, 6001, true},
      {P - 2000, 3000, P - 1, false},  // armed 2 s before the wrap, 5 s span
      {P - 2000, 3000, 10, false},     {P - 2000, 3000, 2999, false}, {P - 2000, 3000, 3001, true},
      {P - 1, P, 0, false},            {P - 1, P, 1, true},  // a deadline on the wrap itself
  };
  for (const Case& c : cases) {
    EXPECT_EQ(tornell::TickDeadlinePassed(c.armed, c.deadline, c.now), c.passed)
        << c.armed << " " << c.deadline << " " << c.now;
  }
}

TEST(SocketWait, RestoredDeadlineKeepsItsMeaning) {
  TestSocket s;
  s.SetTimeout(60, 1);
  const uint32_t saved = s.StartTimeout();
  s.SetTimeout(1, 1);
  s.StartTimeout();
  s.SetDeadline(saved);  // still a minute ahead
  EXPECT_EQ(s.DoEvents(0), 1);
  const uint32_t past = (tornell::TickCountMs() + tornell::kTickPeriodMs - 10) % tornell::kTickPeriodMs;
  s.SetDeadline(past);
  EXPECT_EQ(s.DoEvents(0), 0);
  EXPECT_STREQ(s.GetLastErrorText(), "Timeout.");
}

// The body of TimeoutUnderFaketime, run in a child under faketime: the clock
// starts two seconds before the tick wraps and a three-second time-out must end
// after three seconds. Outside that child it has nothing to check.
TEST(SocketWaitChild, TimeoutAcrossTheTickWrap) {
  if (std::getenv("SOCKET_WRAP_CHILD") == nullptr) return;
  Fds fds;
  ASSERT_TRUE(sockettest::ConnectedPair(&fds.a, &fds.b));
  TestSocket s;
  s.AsyncSelect(fds.a, nullptr, 101, 1);
  const uint32_t first = tornell::TickCountMs();
  ASSERT_GT(first, tornell::kTickPeriodMs - 10000) << "the fake clock is not near the wrap";
  s.SetTimeout(3, 1);
  s.StartTimeout();
  const double took = StepUntilStop(s, 8000);
  EXPECT_STREQ(s.GetLastErrorText(), "Timeout.");
  EXPECT_LT(tornell::TickCountMs(), first) << "the clock did not wrap during the wait";
  EXPECT_GE(took, 2900);
  EXPECT_LT(took, 6000);
}

TEST(SocketWait, TimeoutUnderFaketime) {
  const char* lib = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1";
  REQUIRE_OR_SKIP(access(lib, R_OK) == 0, "libfaketime is not installed");
  char self[4096];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  ASSERT_GT(n, 0);
  self[n] = 0;
  // 1700000000 is a multiple of 1000000 seconds: the tick wraps there.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    setenv("SOCKET_WRAP_CHILD", "1", 1);
    setenv("LD_PRELOAD", lib, 1);
    setenv("FAKETIME", "@2023-11-14 22:13:18", 1);
    setenv("TZ", "UTC", 1);
    setenv("FAKETIME_DONT_FAKE_MONOTONIC", "1", 1);
    setenv("FAKETIME_DONT_RESET", "1", 1);
    setenv("ASAN_OPTIONS", "verify_asan_link_order=0:detect_leaks=0", 1);
    execl(self, self, "--gtest_filter=SocketWaitChild.TimeoutAcrossTheTickWrap", static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  const auto start = Clock::now();
  pid_t done = 0;
  while ((done = waitpid(child, &status, WNOHANG)) == 0 && MillisSince(start) < 30000) usleep(20000);
  if (done == 0) {
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
    FAIL() << "the child did not finish";
  }
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
