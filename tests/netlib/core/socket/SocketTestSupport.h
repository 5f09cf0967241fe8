#pragma once
// A concrete socket object that records its events, and loopback sockets for
// the wait tests. Every loop is bounded in count and time.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <vector>

#include "core/socket/SocketCore.h"

namespace sockettest {

struct Event {
  int message;
  unsigned long descriptor;
  long event;
};

class TestSocket : public tornell::SocketCore {
 public:
  TestSocket() { Reset(); }

  int HandleMessage(int message, unsigned long descriptor, long event) override {
    events.push_back({message, descriptor, event});
    if (onEvent) onEvent(*this, event);
    return 0;
  }
  int ExternalWait(long& milliseconds) override {
    ++externalWaits;
    milliseconds = externalAnswer;
    return 0;
  }
  int ExternalRegisterSocket(long, long, void*& handle) override {
    handle = this;
    return 0;
  }
  int ExternalUnregisterSocket(void*) override { return 0; }

  // Opened up for the tests.
  using SocketCore::descriptor_;

  std::vector<Event> events;
  std::function<void(TestSocket&, long)> onEvent;
  int externalWaits = 0;
  long externalAnswer = 0;
};

inline double MillisSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

inline sockaddr_in Loopback(uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

// A listening socket on 127.0.0.1 with a port of the system's choosing.
inline int Listen(uint16_t* port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = Loopback(0);
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(fd, 4) != 0) {
    if (fd >= 0) close(fd);
    return -1;
  }
  socklen_t size = sizeof address;
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
  *port = ntohs(address.sin_port);
  return fd;
}

// A connected TCP pair over 127.0.0.1: client and accepted server side.
inline bool ConnectedPair(int* client, int* server) {
  uint16_t port = 0;
  const int listener = Listen(&port);
  if (listener < 0) return false;
  *client = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = Loopback(port);
  const bool ok =
      connect(*client, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      (*server = accept(listener, nullptr, nullptr)) >= 0;
  close(listener);
  if (ok) {
    const int one = 1;
    setsockopt(*client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    setsockopt(*server, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  }
  return ok;
}

}  // namespace sockettest
