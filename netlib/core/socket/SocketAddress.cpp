#include <arpa/inet.h>
#include <net/if.h>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "core/socket/SocketCore.h"
#include "core/text/TextUtils.h"

namespace tornell {

namespace {

void ClearIpv6(sockaddr_in6* address) {
  std::memset(address, 0, sizeof *address);
  address->sin6_family = AF_INET6;
}

}  // namespace

int SocketCore::str2ipv6addr(const char* text, sockaddr_in6* address, int flags, int socktype) {
  if (text == nullptr || *text == '\0') {
    ClearIpv6(address);
    return kStatusOk;
  }
  // A text that does not parse leaves the "any" address, not a familyless one.
  ClearIpv6(address);
  addrinfo hints{};
  hints.ai_family = AF_INET6;
  hints.ai_flags = flags;
  hints.ai_socktype = socktype;
  ByteString copy;
  if (copy.Set(text) != 0) return EAI_MEMORY;
  unsigned scope = 0;
  const int percent = copy.Find('%');
  if (percent >= 0) {
    scope = if_nametoindex(copy.CStr() + percent + 1);
    if (copy.Resize(percent) != 0) return EAI_MEMORY;
  }
  addrinfo* result = nullptr;
  const int status = getaddrinfo(copy.CStr(), nullptr, &hints, &result);
  if (status == 0 && result != nullptr) {
    if (result->ai_addr != nullptr && result->ai_addrlen >= sizeof(sockaddr_in6)) {
      std::memcpy(address, result->ai_addr, sizeof *address);
      if (scope != 0) address->sin6_scope_id = scope;
    }
    freeaddrinfo(result);
  }
  return status;
}

int SocketCore::Ipv4TextToAddress(const char* text, in_addr* address, int flags, int socktype) {
  address->s_addr = 0;
  if (text == nullptr || *text == '\0') return kStatusOk;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_flags = flags;
  hints.ai_socktype = socktype;
  addrinfo* result = nullptr;
  const int status = getaddrinfo(text, nullptr, &hints, &result);
  if (status == 0 && result != nullptr) {
    if (result->ai_addr != nullptr && result->ai_addrlen >= sizeof(sockaddr_in)) {
      *address = reinterpret_cast<const sockaddr_in*>(result->ai_addr)->sin_addr;
    }
    freeaddrinfo(result);
  }
  return status;
}

const char* SocketCore::Ipv6AddressToText(const sockaddr_in6* address, char* buffer) {
  buffer[0] = 0;
  if (getnameinfo(reinterpret_cast<const sockaddr*>(address), sizeof *address, buffer, 60, nullptr,
                  0, NI_NUMERICHOST) != 0) {
    buffer[0] = 0;
  }
  return buffer;
}

const char* SocketCore::Ipv4AddressToText(in_addr address) {
  const unsigned char* b = reinterpret_cast<const unsigned char*>(&address.s_addr);
  std::snprintf(ipv4Text_, sizeof ipv4Text_, "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
  return ipv4Text_;
}

int SocketCore::SetLocalHost(const char* text) {
  ClearError();
  if (text == nullptr || *text == '\0') {
    localHostSetting_.Clear();
    localIpv4_.s_addr = 0;
    ipv6Text_[0] = 0;
    ClearIpv6(&localIpv6_);
    return kStatusOk;
  }
  int status = localHostSetting_.Set(text);
  if (status != 0) return status;
  if (IsLookupPending()) CancelLookup();
  if (ipv6Mode_ == 2) ipv6Flag_ = str2ipv6addr(text, &localIpv6_, 0, 0) == 0 ? 1 : 0;
  if (ipv6Flag_ != 0) return str2ipv6addr(text, &localIpv6_, 0, 0);
  localIpv4_.s_addr = inet_addr(text);
  if (localIpv4_.s_addr != INADDR_NONE) return kStatusOk;
  localIpv4_.s_addr = 0;
  SetSystemError(0);
  const hostent* entry = gethostbyname(text);
  if (entry == nullptr || entry->h_addr_list == nullptr || entry->h_addr_list[0] == nullptr ||
      entry->h_length != 4) {
    // The resolver reports through h_errno and often leaves errno at 0; a
    // failed lookup must not read as success.
    const int error = GetSystemError();
    return error != 0 ? error : EAI_NONAME;
  }
  std::memcpy(&localIpv4_.s_addr, entry->h_addr_list[0], 4);
  return kStatusOk;
}

const char* SocketCore::GetLocalHost() {
  if (localIpv4_.s_addr == 0) {
    if (gethostname(localHostText_, sizeof localHostText_ - 1) != 0) {
      SetSystemErrorText(GetSystemError());
      localHostText_[0] = 0;
    }
    localHostText_[sizeof localHostText_ - 1] = 0;
    return localHostText_;
  }
  if (ipv6Flag_ != 0) return Ipv6AddressToText(&localIpv6_, ipv6Text_);
  return Ipv4AddressToText(localIpv4_);
}

const char* SocketCore::GetLocalAddressText() {
  if (ipv6Flag_ != 0) return Ipv6AddressToText(&localIpv6_, ipv6Text_);
  const char* name = GetLocalHost();
  const hostent* entry = gethostbyname(name);
  if (entry == nullptr || entry->h_addr_list == nullptr || entry->h_addr_list[0] == nullptr ||
      entry->h_length != 4) {
    return name;
  }
  in_addr address;
  std::memcpy(&address.s_addr, entry->h_addr_list[0], 4);
  return Ipv4AddressToText(address);
}

}  // namespace tornell
