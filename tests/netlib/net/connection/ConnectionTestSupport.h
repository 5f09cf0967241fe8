#pragma once
// A connection that records its hooks, and bounded event pumping.
#include <dirent.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <functional>
#include <string>
#include <vector>

#include "net/connection/TcpConnection.h"

namespace nettest {

struct Hook {
  std::string kind;  // connected, disconnected, data, error, writable, status, record, log TYPE
  int code = 0;      // code, or eol for data and records
  std::string text;  // data bytes or message text
};

class RecordingConnection : public tornell::TcpConnection {
 public:
  int HandleMessage(int message, unsigned long descriptor, long event) override {
    if (message == tornell::kTcpSocketMessage) events.push_back(event & 0xFFFF);
    return TcpConnection::HandleMessage(message, descriptor, event);
  }
  int OnSocketConnected(int code) override { return Add("connected", code, ""); }
  int OnSocketDisconnected(int code) override { return Add("disconnected", code, ""); }
  int OnSocketData(const char* data, int length, int eol) override {
    hooks.push_back({"data", eol, std::string(data, static_cast<size_t>(length))});
    received.append(data, static_cast<size_t>(length));
    return onData ? onData(*this, data, length, eol) : 0;
  }
  int OnSocketError(int code, const char* text) override { return Add("error", code, text); }
  int OnSocketWritable() override { return Add("writable", 0, ""); }
  int OnSocketStatus(const char* text, int code) override { return Add("status", code, text); }
  int OnLog(int level, const char* message, const char* type) override {
    hooks.push_back({std::string("log ") + type, level, message});
    return 0;
  }
  int OnRecord(const char* data, int length, int eol) override {
    hooks.push_back({"record", eol, std::string(data, static_cast<size_t>(length))});
    return 0;
  }
  int ExternalWait(long&) override { return 0; }
  int ExternalRegisterSocket(long, long, void*& handle) override {
    handle = this;
    return 0;
  }
  int ExternalUnregisterSocket(void*) override { return 0; }

  int Add(const char* kind, int code, const char* text) {
    hooks.push_back({kind, code, text != nullptr ? text : ""});
    return 0;
  }
  int Count(const std::string& kind) const {
    int n = 0;
    for (const Hook& hook : hooks) n += hook.kind == kind ? 1 : 0;
    return n;
  }
  const Hook* First(const std::string& kind) const {
    for (const Hook& hook : hooks) {
      if (hook.kind == kind) return &hook;
    }
    return nullptr;
  }

  std::vector<long> events;
  std::vector<Hook> hooks;
  std::string received;
  std::function<int(RecordingConnection&, const char*, int, int)> onData;
};

// Wait steps until the condition holds or the time is up; true when it held.
template <typename Condition>
bool PumpUntil(tornell::TcpConnection& connection, Condition condition, int milliseconds = 5000) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    static_cast<void>(connection.DoEvents(10));
    // A closed connection has nothing to wait on: do not spin.
    if (connection.GetSocketHandle() == -1 && !condition()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }
  return true;
}

// Sends everything, running wait steps while the socket is full so that an
// echo can drain; false on a failure or when the time is up.
inline bool SendAll(tornell::TcpConnection& connection, const std::string& data, int milliseconds = 20000) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  size_t at = 0;
  while (at < data.size()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    const int chunk = static_cast<int>(std::min<size_t>(data.size() - at, 16384));
    const int status = connection.Send(data.data() + at, chunk, 0, 1);
    if (status == 0 || status == tornell::kStatusWouldBlock) {
      at += static_cast<size_t>(connection.GetBytesLastSent());
      if (status != 0) static_cast<void>(connection.DoEvents(10));
      continue;
    }
    return false;
  }
  return true;
}

inline int OpenDescriptorCount() {
  int n = 0;
  if (DIR* dir = opendir("/proc/self/fd")) {
    while (readdir(dir) != nullptr) ++n;
    closedir(dir);
  }
  return n;
}

}  // namespace nettest
