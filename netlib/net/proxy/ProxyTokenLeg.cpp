// The CONNECT tunnels with NTLM and Negotiate credentials. Both run the same
// NTLM exchange: under "Negotiate" the tokens are raw NTLM messages.
#include <cstring>

#include "core/base/Status.h"
#include "net/connection/TcpConnection.h"
#include "net/proxy/FirewallNegotiator.h"
#include "net/proxy/ProxyAuthStates.h"
#include "net/proxy/ProxyStatusLine.h"

namespace tornell {

int FirewallNegotiator::SendTokenRequest(const char* token) {
  ByteString request;
  int status = StartConnectRequest(request);
  if (status == 0 && !IsSafeRequestText(token, static_cast<int>(std::strlen(token)))) {
    return Fail("The firewall request would carry a line break.");
  }
  if (status == 0) status = request.Append("\r\nProxy-Authorization: ");
  if (status == 0) status = request.Append(SchemeName());
  if (status == 0) status = request.AppendByte(' ');
  if (status == 0) status = request.Append(token);
  if (status == 0) status = request.Append("\r\nProxy-Connection: Keep-Alive");
  if (status == 0) status = FinishConnectRequest(request);
  return SendLegRequest(status, request);
}

// Only a challenge of this tunnel's own scheme is held: a proxy offering
// Basic beside NTLM must not have its Basic realm taken for the token.
int FirewallNegotiator::TokenChallenge(const char* value) {
  const char* token = proxyleg::ChallengeOf(value, SchemeName());
  if (token == nullptr) return 0;
  return replyBuffer_.Set(token) != 0 ? Fail("Out of memory.") : 0;
}

int FirewallNegotiator::RespondWithToken() {
  ByteString token;
  if (owner_->GetAuthToken(token, SchemeName(), owner_->GetRemoteHostText(), replyBuffer_.CStr()) != 0) {
    return Fail(nullptr);
  }
  bodyChunked_ = false;
  bodyLength_ = bodyRead_ = 0;
  negotiationState_ = proxyleg::kSecondStatus;
  return SendTokenRequest(token.CStr());
}

}  // namespace tornell
