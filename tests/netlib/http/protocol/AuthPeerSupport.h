#pragma once
// What the authentication peer tests share: a client that keeps every Log
// line, an event log that accepts any server certificate, and the check
// that no line carries a credential.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Http1Client.h"

namespace authpeer {

using http1test::LoggingClient;

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
