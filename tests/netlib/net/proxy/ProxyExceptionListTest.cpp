#include <gtest/gtest.h>

#include "net/proxy/FirewallNegotiator.h"

using tornell::FirewallNegotiator;

TEST(ProxyExceptionList, Table) {
  struct Case {
    const char* list;
    const char* host;
    int port;
    const char* scheme;
    bool bypass;
  };
  const Case cases[] = {
      {"", "www.example.com", 80, "http", false},
      {" ; ;; ", "www.example.com", 80, nullptr, false},
      {"www.example.com", "www.example.com", 0, nullptr, true},
      {"  WWW.Example.COM  ", "www.example.com", 0, nullptr, true},  // trimmed, lower-cased
      {"www.example.com", " WWW.EXAMPLE.COM ", 0, nullptr, true},
      {"other.com;www.example.com", "www.example.com", 0, nullptr, true},
      {"other.com", "www.example.com", 0, nullptr, false},
      {"*", "anything.at.all", 0, nullptr, true},
      {"ab*", "ab", 0, nullptr, false},  // a prefix before '*' needs one more byte
      {"ab*", "abc", 0, nullptr, true},
      {"ab*", "xabc", 0, nullptr, false},
      {"*.com", "www.example.com", 0, nullptr, true},
      {"*.com", "www.company.com", 0, nullptr, true},  // ".com" also occurs earlier: every place is tried
      {"*.com", "www.company.org", 0, nullptr, false},
      {"*.example.*", "www.example.org", 0, nullptr, true},
      {"www.*.com", "www.company.com", 0, nullptr, true},
      {"www.*.com", "www.company.org", 0, nullptr, false},
      {"10.0.*", "10.0.3.4", 0, nullptr, true},
      {"10.0.*", "10.1.3.4", 0, nullptr, false},
      {"a*b*c", "aXbYbZc", 0, nullptr, true},
      {"a*b*c", "aXbYbZ", 0, nullptr, false},
      {"8080", "any.host", 8080, nullptr, true},  // a bare port matches every host on it
      {"8080", "any.host", 80, nullptr, false},
      {"0", "any.host", 0, nullptr, false},  // port 0 is never compared
      {"https://", "any.host", 443, "HTTPS", true},
      {"https://", "any.host", 443, "https://", true},
      {"https://", "any.host", 443, "http", false},
      {"https://", "any.host", 443, nullptr, false},
      {"*.com", nullptr, 0, nullptr, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FirewallNegotiator::IsProxyException(c.list, c.host, c.port, c.scheme), c.bypass)
        << "'" << c.list << "' vs '" << (c.host != nullptr ? c.host : "(null)") << "' port " << c.port;
  }
  EXPECT_FALSE(FirewallNegotiator::AutoDetectBypass("www.example.com", 80, "http"));
}
