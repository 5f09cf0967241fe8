#include "net/connection/HostNameLookup.h"

#include <netdb.h>

#include <cstring>

namespace tornell {

int LookupHostByName(const char* name, in_addr* address) {
  address->s_addr = 0;
  h_errno = 0;
  const hostent* entry = gethostbyname(name);
  if (entry == nullptr || entry->h_addrtype != AF_INET || entry->h_length != 4 ||
      entry->h_addr_list == nullptr || entry->h_addr_list[0] == nullptr) {
    // A lookup that failed without a reason must still read as a failure.
    return h_errno != 0 ? h_errno : NO_RECOVERY;
  }
  std::memcpy(&address->s_addr, entry->h_addr_list[0], 4);
  return 0;
}

const char* HostLookupErrorText(int code) {
  switch (code) {
    case HOST_NOT_FOUND:
      return "The specified host is unknown.";
    case TRY_AGAIN:
      return "A temporary error occurred on an authoritative name server.  Try again later.";
    case NO_RECOVERY:
      return " A non-recoverable name server error occurred.";
    case NO_DATA:
      return " The requested name is valid but does not have an IP address.";
    default:
      return "A name resolution error occurred.";
  }
}

}  // namespace tornell
