#pragma once
// What the authentication peer tests share: a client that keeps every Log
// line, an event log that accepts any server certificate, and the check
// that no line carries a credential.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Http1Client.h"

namespace authpeer {

// Collects every Log line as "level type message".
class LoggingClient : public http1test::Client {
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
  std::vector<std::string> lines;
};

// Test peers use throwaway certificates.
class AcceptingEvents : public http1test::EventLog {
 public:
  int FireSSLServerAuthentication(const char*&, int&, const char*&, const char*&, const char*&, int& accept) override {
    accept = 1;
    return 0;
  }
};

// No line may show a password or a Basic value, padded or not.
inline void ExpectNoCredentials(const std::vector<std::string>& lines, const std::vector<std::string>& secrets) {
  for (const std::string& line : lines) {
    for (std::string secret : secrets) {
      while (!secret.empty() && secret.back() == '=') secret.pop_back();
      EXPECT_EQ(line.find(secret), std::string::npos) << line;
    }
  }
}

}  // namespace authpeer
