// Entry points of the CONNECT tunnels with NTLM, Negotiate and Digest proxy
// credentials. Until their exchanges exist, such a tunnel fails at once
// rather than waiting for a reply it could not read.
#include "core/base/Status.h"
#include "net/connection/TcpConnection.h"
#include "net/proxy/FirewallNegotiator.h"

namespace tornell {

int FirewallNegotiator::BeginAuthenticatedTunnel() {
  TORNELL_TRY(Fail("This firewall authentication is not available."));
  return 0;
}

int FirewallNegotiator::AuthenticatedTunnelReply(const char*, int, int) { return 0; }

}  // namespace tornell
