#pragma once
// Name resolution through gethostbyname, which reports through h_errno, not
// errno: the h_errno value is the status, with its own texts.
#include <netinet/in.h>

namespace tornell {

// The first IPv4 address of the name into *address (network order); 0, or
// the h_errno value (never 0 on failure).
[[nodiscard]] int LookupHostByName(const char* name, in_addr* address);

// The error text for an h_errno value.
const char* HostLookupErrorText(int code);

}  // namespace tornell
