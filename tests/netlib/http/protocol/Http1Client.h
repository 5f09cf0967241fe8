#pragma once
// The HTTP protocol object as the request tests drive it: its settings
// reachable, its events recorded.
#include <cstdint>
#include <string>
#include <vector>

#include "http/protocol/HttpProtocol.h"

namespace http1test {

class EventLog : public tornell::HttpEventSink {
 public:
  EventLog() : tornell::HttpEventSink(nullptr, nullptr) {}
  int FireStatus(const char*&, int& code, const char*&) override {
    statuses.push_back(code);
    return 0;
  }
  int FireStartTransfer(int& direction) override {
    starts += direction == 1 ? 1 : 0;
    return 0;
  }
  int FireTransfer(int& direction, int64_t& bytes, int&, const char*&, int& length) override {
    if (direction == 1) {
      received += length;
      lastBytes = bytes;
    } else {
      uploadCalls++;
    }
    return 0;
  }
  int FireEndTransfer(int& direction) override {
    ends += direction == 1 ? 1 : 0;
    return 0;
  }
  int FireError(int& code, const char*& text) override {
    errors.push_back(std::to_string(code) + " " + text);
    return 0;
  }
  int FireRedirect(const char*& location, int&) override {
    redirects.push_back(location);
    return 0;
  }
  int FireHeader(const char*& name, const char*& value) override {
    if (std::string(name) == "Set-Cookie") cookieLength = static_cast<int>(std::string(value).size());
    return 0;
  }

  std::vector<int> statuses;
  std::vector<std::string> errors;
  std::vector<std::string> redirects;
  int starts = 0;
  int ends = 0;
  int uploadCalls = 0;
  int64_t received = 0;
  int64_t lastBytes = 0;
  int cookieLength = 0;
};

class Client : public tornell::HttpProtocol {
 public:
  Client() {
    SetEventSink(static_cast<tornell::ComponentHandle*>(&events));
    static_cast<void>(SetTimeout(10, 1));
  }

  // GET, POST, HEAD, PUT or DELETE of the URL; the action's result.
  int Run(int action, const std::string& url) {
    if (SetURL(url.c_str(), 0) != 0) return -1;
    return DoAction(action);
  }
  std::string Body() const { return std::string(transferredData_.CStr(), transferredData_.Length()); }

  using tornell::HttpProtocol::absoluteUri_;
  using tornell::HttpProtocol::allowHttpCompression_;
  using tornell::HttpProtocol::attachedFile_;
  using tornell::HttpProtocol::chunkSize_;
  using tornell::HttpProtocol::contentType_;
  using tornell::HttpProtocol::debugTrace_;
  using tornell::HttpProtocol::getOn302Redirect_;
  using tornell::HttpProtocol::httpVersion_;
  using tornell::HttpProtocol::keepTransferredRequest_;
  using tornell::HttpProtocol::localFile_;
  using tornell::HttpProtocol::proxyPort_;
  using tornell::HttpProtocol::proxyServer_;
  using tornell::HttpProtocol::proxySsl_;
  using tornell::HttpProtocol::useChunkedEncoding_;

  EventLog events;
};

// Every Log line as "level type message", so tests can look for lines and for
// leaked credentials.
class LoggingClient : public Client {
 public:
  int FireLog(int level, const char* message, const char* type) override {
    lines.push_back(std::to_string(level) + " " + type + " " + message);
    return 0;
  }
  bool Logged(const std::string& line) const {
    for (const std::string& l : lines) {
      if (l == line) return true;
    }
    return false;
  }
  bool LoggedStartingWith(const std::string& prefix) const {
    for (const std::string& l : lines) {
      if (l.rfind(prefix, 0) == 0) return true;
    }
    return false;
  }
  // A configuration key's answer, or "<code N>" when it fails.
  std::string Config(const std::string& text) {
    const char* answer = nullptr;
    const int code = ConfigText(text.c_str(), answer);
    if (code != 0) return "<code " + std::to_string(code) + ">";
    return answer != nullptr ? answer : "";
  }
  std::vector<std::string> lines;
};

}  // namespace http1test
