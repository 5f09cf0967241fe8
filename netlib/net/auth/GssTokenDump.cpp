// The GSS-API, SPNEGO and Kerberos part of the token descriptions.
#include "core/base/Status.h"
#include "net/auth/NtlmProvider.h"

namespace tornell {

int NtlmProvider::DumpGssToken(const ByteString&, ByteString& log) {
  return log.Append("Found GSS-API token:\r\n");
}

int NtlmProvider::DumpKerberosMessage(const ByteString&, ByteString&, const char*) { return kStatusOk; }

}  // namespace tornell
