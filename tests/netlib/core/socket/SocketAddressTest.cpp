#include <gtest/gtest.h>
#include <net/if.h>
#include <netdb.h>

#include <cstring>
#include <string>

#include "SocketTestSupport.h"

using sockettest::TestSocket;

namespace {

std::string HostName() {
  char name[256] = {};
  gethostname(name, sizeof name - 1);
  return name;
}

int Set(TestSocket& s, const char* request) {
  const char* answer = nullptr;
  return s.ConfigText(request, answer);
}

struct LocalHostCase {
  const char* useIpv6;  // "UseIPv6" value
  const char* text;
  int ipv6;             // IPv6 flag afterwards
  const char* ipv4;     // dotted local IPv4 address afterwards
  const char* ipv6Text; // numeric local IPv6 address afterwards ("" when unset)
  const char* scope;    // interface whose index is the scope id ("" for 0)
};

const LocalHostCase kLocalHosts[] = {
    {"False", "127.0.0.1", 0, "127.0.0.1", "::", ""},
    {"False", "localhost", 0, "127.0.0.1", "::", ""},  // through the resolver
    {"2", "127.0.0.1", 0, "127.0.0.1", "::", ""},
    {"2", "::1", 1, "0.0.0.0", "::1", ""},
    {"True", "::1", 1, "0.0.0.0", "::1", ""},
    {"True", "fe80::1%lo", 1, "0.0.0.0", "fe80::1%lo", "lo"},
    {"True", "fe80::1%nosuchif9", 1, "0.0.0.0", "fe80::1", ""},
};

TEST(SocketAddress, SetLocalHostTable) {
  for (const LocalHostCase& c : kLocalHosts) {
    SCOPED_TRACE(std::string(c.useIpv6) + " " + c.text);
    TestSocket s;
    Set(s, (std::string("UseIPv6=") + c.useIpv6).c_str());
    ASSERT_EQ(s.SetLocalHost(c.text), 0);
    EXPECT_EQ(s.IsIpv6(), c.ipv6);
    EXPECT_STREQ(s.GetLocalHostSetting(), c.text);
    EXPECT_STREQ(s.Ipv4AddressToText(s.GetLocalIpv4()), c.ipv4);
    char text[60];
    EXPECT_STREQ(s.Ipv6AddressToText(&s.GetLocalIpv6(), text), c.ipv6Text);
    EXPECT_EQ(s.GetLocalIpv6().sin6_scope_id, *c.scope != 0 ? if_nametoindex(c.scope) : 0u);
    EXPECT_EQ(s.GetLocalIpv6().sin6_family, AF_INET6);
    // The getter names the host until an IPv4 address is stored.
    EXPECT_EQ(std::string(s.GetLocalHost()),
              std::strcmp(c.ipv4, "0.0.0.0") == 0 ? HostName() : std::string(c.ipv4));
  }
}

TEST(SocketAddress, EmptyAndUnresolvableLocalHost) {
  TestSocket s;
  ASSERT_EQ(s.SetLocalHost("127.0.0.1"), 0);
  ASSERT_EQ(s.SetLocalHost(""), 0);
  EXPECT_EQ(s.GetLocalIpv4().s_addr, 0u);
  EXPECT_STREQ(s.GetLocalHostSetting(), "");
  EXPECT_EQ(std::string(s.GetLocalHost()), HostName());

  EXPECT_NE(s.SetLocalHost("no-such-host.invalid"), 0);
  EXPECT_EQ(s.GetLocalIpv4().s_addr, 0u);
  EXPECT_STREQ(s.GetLocalHostSetting(), "no-such-host.invalid");

  Set(s, "UseIPv6=True");
  EXPECT_NE(s.SetLocalHost("not an address"), 0);
}

TEST(SocketAddress, Conversions) {
  TestSocket s;
  in_addr address{};
  const unsigned char bytes[4] = {0xC0, 0xA8, 0x00, 0x01};
  std::memcpy(&address.s_addr, bytes, 4);
  EXPECT_STREQ(s.Ipv4AddressToText(address), "192.168.0.1");

  EXPECT_EQ(s.Ipv4TextToAddress("10.0.0.1", &address, 0, 0), 0);
  EXPECT_STREQ(s.Ipv4AddressToText(address), "10.0.0.1");
  EXPECT_EQ(s.Ipv4TextToAddress("", &address, 0, 0), 0);
  EXPECT_EQ(address.s_addr, 0u);
  EXPECT_EQ(s.Ipv4TextToAddress("not-an-ip", &address, AI_NUMERICHOST, 0), EAI_NONAME);

  sockaddr_in6 six{};
  EXPECT_EQ(s.str2ipv6addr(nullptr, &six, 0, 0), 0);
  EXPECT_EQ(six.sin6_family, AF_INET6);
  EXPECT_EQ(s.str2ipv6addr("2001:db8::5", &six, AI_NUMERICHOST, SOCK_STREAM), 0);
  char text[60];
  EXPECT_STREQ(s.Ipv6AddressToText(&six, text), "2001:db8::5");
}

}  // namespace
