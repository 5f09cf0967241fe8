// The datagram port against a python echo on loopback.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "core/base/ConfigSetting.h"
#include "net/udp/UDPPort.h"

namespace {

using tornell::UDPPort;

// The echo peer, started with a pipe for its port and stopped by its PID.
class EchoPeer {
 public:
  ~EchoPeer() { Stop(); }
  int Start(bool ipv6) {
    int fds[2];
    if (access("/usr/bin/python3", X_OK) != 0 || pipe(fds) != 0) return 0;
    const std::string script = (testsupport::SourceDir() / "tests/netlib/net/udp/udp_echo.py").string();
    pid_ = fork();
    if (pid_ == 0) {
      dup2(fds[1], 1);
      close(fds[0]);
      close(fds[1]);
      execl("/usr/bin/python3", "python3", script.c_str(), ipv6 ? "6" : "4", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    char line[16] = {};
    size_t got = 0;
    while (got < sizeof line - 1) {
      const ssize_t n = read(fds[0], line + got, 1);
      if (n <= 0 || line[got] == '\n') break;
      got += static_cast<size_t>(n);
    }
    close(fds[0]);
    return atoi(line);
  }
  void Stop() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
};

struct Datagram {
  std::string data;
  std::string address;
  int port = 0;
  bool terminated = false;
};

class Recorder : public tornell::UDPPortEvents {
 public:
  int OnDataIn(const char* data, int length, const char* address, int port) override {
    received.push_back({std::string(data, static_cast<size_t>(length)), address, port, data[length] == '\0'});
    return onData ? onData() : 0;
  }
  int OnError(int code, const char* description) override {
    errors.emplace_back(code, description);
    return 0;
  }
  std::vector<Datagram> received;
  std::vector<std::pair<int, std::string>> errors;
  std::function<int()> onData;
};

class Port : public UDPPort {
 public:
  Port() {
    EXPECT_EQ(Reset(), 0);
    SetEventSink(&events);
  }
  std::string Config(const std::string& text) {
    const char* answer = nullptr;
    const int status = ConfigText(text.c_str(), answer);
    return status == 0 && answer != nullptr ? answer : "status " + std::to_string(status);
  }
  Recorder events;
};

// Wait steps until the condition holds; bounded.
template <typename Condition>
bool Pump(UDPPort& port, Condition condition, void* context = nullptr, int milliseconds = 3000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    static_cast<void>(port.DoEvents(10, context));
  }
  return true;
}

class UdpEcho : public ::testing::Test {
 protected:
  void Open(Port& port, bool ipv6 = false) {
    echoPort_ = echo_.Start(ipv6);
    ASSERT_NE(echoPort_, 0) << "python echo did not start";
    if (ipv6) {
      ASSERT_EQ(port.Config("UseIPv6=1"), "");
    }
    ASSERT_EQ(port.SetRemoteHost(ipv6 ? "::1" : "127.0.0.1"), 0);
    ASSERT_EQ(port.SetRemotePort(echoPort_), 0);
    ASSERT_EQ(port.SetActive(true), 0) << port.GetLastErrorText();
  }
  EchoPeer echo_;
  int echoPort_ = 0;
};

TEST_F(UdpEcho, DatagramComesBackWithSenderAndTerminator) {
  Port port;
  Open(port);
  ASSERT_EQ(port.Send("hello", 5), 0);
  ASSERT_TRUE(Pump(port, [&] { return !port.events.received.empty(); }));
  const Datagram& d = port.events.received[0];
  EXPECT_EQ(d.data, "hello");
  EXPECT_EQ(d.address, "127.0.0.1");
  EXPECT_EQ(d.port, echoPort_);
  EXPECT_TRUE(d.terminated);
}

TEST_F(UdpEcho, LongDatagramsAreCutToMaxPacketSize) {
  struct Case {
    int maxPacketSize;
    int capacity;
    int sent;
    int received;
  };
  for (const Case c : {Case{0, 8192, 9000, 8192}, Case{100000, 65536, 65000, 65000}, Case{16, 16, 16, 16}}) {
    Port port;
    if (c.maxPacketSize != 0) {
      ASSERT_EQ(port.SetMaxPacketSize(c.maxPacketSize), 0);
    }
    EXPECT_EQ(port.GetMaxPacketSize(), c.capacity);
    Open(port);
    const std::string payload(static_cast<size_t>(c.sent), 'x');
    ASSERT_EQ(port.Send(payload.data(), c.sent), 0) << port.GetLastErrorText();
    ASSERT_TRUE(Pump(port, [&] { return !port.events.received.empty(); })) << c.sent;
    EXPECT_EQ(static_cast<int>(port.events.received[0].data.size()), c.received);
    EXPECT_TRUE(port.events.received[0].terminated);
    echo_.Stop();
  }
}

TEST_F(UdpEcho, PacketInfoGivesTheDestinationAddress) {
  for (const bool ipv6 : {false, true}) {
    Port port;
    ASSERT_EQ(port.Config("CaptureIPPacketInfo=True"), "");
    EXPECT_EQ(port.Config("CaptureIPPacketInfo"), "1");
    Open(port, ipv6);
    ASSERT_EQ(port.Send("info", 4), 0);
    ASSERT_TRUE(Pump(port, [&] { return !port.events.received.empty(); }));
    EXPECT_EQ(port.Config("DestinationAddress"), ipv6 ? "::1" : "127.0.0.1");
    EXPECT_EQ(port.events.received[0].address, ipv6 ? "::1" : "127.0.0.1");
    EXPECT_EQ(port.events.received[0].data, "info");
    echo_.Stop();
  }
}

TEST_F(UdpEcho, SourceAddressGoesThroughPacketInfo) {
  Port port;
  ASSERT_EQ(port.Config("SourceIPAddress=127.0.0.1"), "");
  Open(port);
  ASSERT_EQ(port.Send("from", 4), 0) << port.GetLastErrorText();
  ASSERT_TRUE(Pump(port, [&] { return !port.events.received.empty(); }));
  EXPECT_EQ(port.events.received[0].data, "from");
  ASSERT_EQ(port.Config("SourceIPAddress=not-an-address"), "");
  EXPECT_NE(port.Send("from", 4), 0);
}

TEST_F(UdpEcho, CloseInsideDataInWaitsForThePassToEnd) {
  Port port;
  Open(port);
  bool activeInside = false;
  port.events.onData = [&] {
    EXPECT_EQ(port.SetActive(false), 0);
    activeInside = port.IsActive();
    return 0;
  };
  ASSERT_EQ(port.Send("one", 3), 0);
  int context = 0;
  ASSERT_TRUE(Pump(port, [&] { return !port.events.received.empty(); }, &context));
  EXPECT_TRUE(activeInside);
  EXPECT_FALSE(port.IsActive());
}

TEST_F(UdpEcho, ConnectedSocketExchangesAndReportsARefusal) {
  Port port;
  ASSERT_EQ(port.SetUseConnection(true), 0);
  Open(port);
  ASSERT_EQ(port.Send("conn", 4), 0);
  ASSERT_TRUE(Pump(port, [&] { return !port.events.received.empty(); }));
  EXPECT_EQ(port.events.received[0].data, "conn");
  EXPECT_EQ(port.events.received[0].port, echoPort_);
  echo_.Stop();
  // Nothing listens now: the refusal comes back as an error on the next read.
  ASSERT_EQ(port.Send("gone", 4), 0);
  ASSERT_TRUE(Pump(port, [&] { return !port.events.errors.empty(); }));
  EXPECT_EQ(port.events.errors[0].first, ECONNREFUSED);
  EXPECT_EQ(port.events.errors[0].second, "Winsock error in recv()");
}

TEST(UdpPort, RefusalsWithoutAPeer) {
  Port port;
  EXPECT_EQ(port.Send("x", 1), tornell::kStatusUdpNotActive);
  EXPECT_STREQ(port.GetLastErrorText(), "The control must be Active for this operation.");
  ASSERT_EQ(port.SetUseConnection(true), 0);
  EXPECT_EQ(port.SetActive(true), tornell::kStatusUdpPortZero);
  EXPECT_EQ(port.GetSocketHandle(), -1);
  ASSERT_EQ(port.SetUseConnection(false), 0);
  ASSERT_EQ(port.SetActive(true), 0);
  EXPECT_EQ(port.Send("", 0), 0);  // nothing to send, even with port 0
  EXPECT_EQ(port.Send("x", 1), tornell::kStatusUdpPortZero);
  EXPECT_EQ(port.SetActive(true), tornell::kStatusUdpAlreadyActive);
  EXPECT_STREQ(port.GetLastErrorText(), "UDPPort is already Active.");
  EXPECT_NE(port.GetLocalPort(), 0);
  EXPECT_STREQ(port.GetLocalHost(), "0.0.0.0");
}

TEST(UdpPort, SettingsRefusedWhileActive) {
  Port port;
  ASSERT_EQ(port.SetUseConnection(true), 0);
  ASSERT_EQ(port.SetRemoteHost("127.0.0.1"), 0);
  ASSERT_EQ(port.SetRemotePort(9), 0);
  ASSERT_EQ(port.SetActive(true), 0);
  struct Case {
    std::function<int()> call;
    int code;
    const char* text;
  };
  const Case cases[] = {
      {[&] { return port.SetMaxPacketSize(100); }, 112, "Cannot change the MaxPacketSize while control is Active."},
      {[&] { return port.SetLocalPort(1); }, 106, "You cannot change the LocalPort while the control is Active."},
      {[&] { return port.SetLocalHost("127.0.0.1"); }, 107, "Cannot change LocalHost while the control is Active."},
      {[&] { return port.SetUseConnection(false); }, 117,
       "Cannot change UseConnection option while the control is Active."},
      {[&] { return port.SetRemoteHost("127.0.0.2"); }, 114,
       "Cannot change RemoteHost when UseConnection is set and the control is Active."},
      {[&] { return port.SetRemotePort(10); }, 115,
       "Cannot change RemotePort when UseConnection is set and the control is Active."},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.call(), c.code);
    EXPECT_STREQ(port.GetLastErrorText(), c.text);
  }
  ASSERT_EQ(port.SetActive(false), 0);
  EXPECT_EQ(port.SetMaxPacketSize(100), 0);
}

TEST(UdpPort, ConfigurationKeys) {
  Port port;
  const std::pair<const char*, const char*> defaults[] = {
      {"UseConnection", "False"}, {"ShareLocalPort", "False"}, {"MaxPacketSize", "8192"},
      {"QOSFlags", "0"},          {"SocketHandle", "-1"},      {"InBufferSize", "65536"},
      {"OutBufferSize", "65536"}, {"TimeToLive", "0"},         {"TTL", "0"},
      {"PumpDataInDoEvents", "False"}, {"CaptureIPPacketInfo", "0"}, {"DestinationAddress", ""},
      {"LocalPort", "0"},         {"SourceIPAddress", ""},     {"DontFragment", "False"},
  };
  for (const auto& [key, value] : defaults) EXPECT_EQ(port.Config(key), value) << key;
  const std::pair<const char*, const char*> writes[] = {
      {"DontFragment=True", "True"}, {"TTL=7", "7"}, {"MaxPacketSize=100000", "65536"},
      {"ShareLocalPort=True", "True"}, {"PumpDataInDoEvents=True", "True"}, {"UseConnection=True", "True"},
  };
  for (const auto& [write, read] : writes) {
    ASSERT_EQ(port.Config(write), "") << write;
    const std::string key(write, std::strchr(write, '='));
    EXPECT_EQ(port.Config(key), read) << key;
  }
  EXPECT_EQ(port.Config("TimeToLive"), "7");
}

TEST(UdpPort, BroadcastAddressNeedsNoLookup) {
  Port port;
  ASSERT_EQ(port.SetRemoteHost("255.255.255.255"), 0);
  EXPECT_STREQ(port.GetRemoteHost(), "255.255.255.255");
  ASSERT_EQ(port.SetRemoteHost(""), 0);
  EXPECT_STREQ(port.GetRemoteHost(), "");
  ASSERT_EQ(port.SetRemoteHost("10.1.2.3"), 0);
  EXPECT_STREQ(port.GetRemoteHost(), "10.1.2.3");
}

}  // namespace
