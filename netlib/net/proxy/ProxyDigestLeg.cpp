// The CONNECT tunnel with Digest credentials.
#include "core/base/Status.h"
#include "net/connection/TcpConnection.h"
#include "net/proxy/FirewallNegotiator.h"
#include "net/proxy/ProxyAuthStates.h"
#include "net/proxy/ProxyStatusLine.h"

namespace tornell {

// Without an authorization this is the first request; an empty one still
// gives an empty "Proxy-Authorization: " line.
int FirewallNegotiator::SendDigestRequest(const ByteString* authorization) {
  if (authorization != nullptr && !IsSafeRequestText(authorization->Data(), authorization->Length())) {
    return Fail("The firewall request would carry a line break.");
  }
  ByteString request;
  int status = StartConnectRequest(request);
  if (status == 0) status = request.Append("\r\nHost: ");
  if (status == 0) status = AppendTarget(request);
  if (status == 0) status = request.Append("\r\nContent-Length: 0\r\nProxy-Connection: Keep-Alive\r\nPragma: no-cache");
  if (status == 0 && authorization != nullptr) {
    status = request.Append("\r\nProxy-Authorization: ");
    if (status == 0) status = request.Append(authorization->Data(), authorization->Length());
  }
  if (status == 0) status = FinishConnectRequest(request);
  return SendLegRequest(status, request);
}

// The first challenge this client can answer is kept: a proxy may offer
// SHA-256 before MD5.
int FirewallNegotiator::DigestChallenge(const char* value) {
  if (digestChallengeTaken_) return 0;
  const char* parameters = proxyleg::ChallengeOf(value, "Digest");
  if (parameters == nullptr) return 0;
  if (digest_.ParseChallenge(parameters) != 0) return Fail("Out of memory.");
  digestChallengeTaken_ = digest_.KnownAlgorithm();
  return 0;
}

int FirewallNegotiator::RespondWithDigest() {
  // Without a request URI the CONNECT target is the one the proxy checks.
  ByteString uri;
  const int built = digestUri_.IsEmpty() ? AppendTarget(uri) : uri.Set(digestUri_.Data(), digestUri_.Length());
  if (built != 0 || digest_.SetCredentials(user_.Data(), user_.Length(), password_.Data(), password_.Length()) != 0 ||
      digest_.SetRequest("CONNECT", uri.CStr(), nullptr, 0) != 0) {
    return Fail("Out of memory.");
  }
  ByteString authorization;
  const int status = digest_.BuildAuthorization(authorization, false);
  if (status == DigestAuthenticator::kStatusUnusable) return Fail(digest_.GetErrorText());
  if (status != 0) return Fail("Out of memory.");
  negotiationState_ = proxyleg::kSecondStatus;
  return SendDigestRequest(&authorization);
}

}  // namespace tornell
