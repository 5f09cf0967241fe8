#pragma once
// An in-memory owner for the HTTP/2 connection: what it writes is kept, the
// events it raises are recorded as text, and each wait step runs a scripted
// action (feeding the peer's frames) or ends the wait.
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "TestText.h"
#include "core/text/StringList.h"
#include "http/h2/Http2Connection.h"

namespace h2test {

// One frame: the 9-byte header and the payload given in hex.
inline std::string Frame(int type, int flags, uint32_t stream, const std::string& payloadHex = "") {
  const std::string payload = testsupport::Unhex(payloadHex);
  std::string out;
  const size_t n = payload.size();
  out += static_cast<char>((n >> 16) & 0xFF);
  out += static_cast<char>((n >> 8) & 0xFF);
  out += static_cast<char>(n & 0xFF);
  out += static_cast<char>(type);
  out += static_cast<char>(flags);
  for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((stream >> shift) & 0xFF);
  return out + payload;
}

inline std::string U32(uint32_t value) {
  char hex[9];
  std::snprintf(hex, sizeof hex, "%08x", value);
  return hex;
}

class MemoryOwner : public tornell::Http2Owner {
 public:
  explicit MemoryOwner(tornell::Http2Connection& connection) : connection_(connection) {
    connection.BindProtocol(this);
  }
  int GetLogLevel() override { return logLevel; }
  int Log(const char* text, const char* category) override {
    logs.push_back(std::string(category) + "|" + text);
    return 0;
  }
  bool IsInterruptPending() override { return interrupt; }
  int DoEvents() override {
    ++waits;
    if (onWait.empty()) return 1;
    auto action = onWait.front();
    onWait.pop_front();
    action();
    return 0;
  }
  int SendText(const char* text) override {
    sent += text;
    return 0;
  }
  int SendBytes(const char* data, int length) override {
    sent.append(data, static_cast<size_t>(length));
    return 0;
  }
  int SendInChunks(const char* data, int length, int, int flag) override {
    chunkFlags += flag;
    sent.append(data, static_cast<size_t>(length));
    return 0;
  }
  int DeliverEvent(int kind, const void* data, int length) override {
    switch (kind) {
      case tornell::kHttp2EventHeader: {
        const auto* pair = static_cast<const tornell::StringList*>(data);
        events.push_back("H " + std::string(pair->Get(0), static_cast<size_t>(pair->EntryLength(0))) + ": " +
                         std::string(pair->Get(1), static_cast<size_t>(pair->EntryLength(1))));
        break;
      }
      case tornell::kHttp2EventHeadersEnd: events.push_back("E"); break;
      case tornell::kHttp2EventData:
        body.append(static_cast<const char*>(data), static_cast<size_t>(length));
        events.push_back("D " + std::to_string(length));
        break;
      case tornell::kHttp2EventStreamEnd: events.push_back("X"); break;
      default: events.push_back("?"); break;
    }
    return 0;
  }
  // Feeds the bytes whole, or one at a time; the first failure is returned.
  int Feed(const std::string& bytes, bool oneByOne = false) {
    if (!oneByOne) return connection_.OnDataIn(bytes.data(), static_cast<int>(bytes.size()), 0);
    for (char c : bytes) {
      const int status = connection_.OnDataIn(&c, 1, 0);
      if (status != 0) return status;
    }
    return 0;
  }
  std::string TakeSent() {
    std::string out;
    out.swap(sent);
    return out;
  }

  int logLevel = 0;
  bool interrupt = false;
  int waits = 0;
  int chunkFlags = 0;
  std::deque<std::function<void()>> onWait;
  std::string sent;
  std::string body;
  std::vector<std::string> events;
  std::vector<std::string> logs;

 private:
  tornell::Http2Connection& connection_;
};

}  // namespace h2test
