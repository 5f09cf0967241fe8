// What the CONNECT tunnels with NTLM, Negotiate and Digest credentials share:
// the start, reading the proxy's replies line by line, the 401/407 body
// (sized or chunked), the receive-queue terminator and the ends of a leg.
#include "core/base/Status.h"
#include "core/text/TextUtils.h"
#include "net/connection/TcpConnection.h"
#include "net/proxy/FirewallNegotiator.h"
#include "net/proxy/ProxyAuthStates.h"
#include "net/proxy/ProxyStatusLine.h"

namespace tornell {

const char* FirewallNegotiator::SchemeName() const {
  return type_ == kFirewallTunnelNegotiate ? "Negotiate" : "NTLM";
}

int FirewallNegotiator::BeginAuthenticatedTunnel() {
  headerLine_.Clear();
  bodyLength_ = bodyRead_ = 0;
  bodyChunked_ = false;
  digestChallengeTaken_ = false;
  if (SaveTerminator() != 0 || SetLineTerminator() != 0) return Fail("Out of memory.");
  negotiationState_ = proxyleg::kStatus;
  if (type_ == kFirewallTunnelDigest) {
    digest_.Reset();
    return SendDigestRequest(nullptr);
  }
  ByteString token;
  if (owner_->SetAuthCredentials(SchemeName(), user_.CStr(), password_.CStr()) != 0 ||
      owner_->GetAuthToken(token, SchemeName(), owner_->GetRemoteHostText(), "") != 0) {
    return Fail(nullptr);
  }
  static_cast<void>(owner_->OnLog(2, owner_->GetAuthDiagnostics(), "Info"));
  return SendTokenRequest(token.CStr());
}

// Records complete a line; pieces without the line flag only add to it. The
// body of a 401/407 is counted, not kept.
int FirewallNegotiator::AuthenticatedTunnelReply(const char* bytes, int length, int lineFlag) {
  if (negotiationState_ == proxyleg::kBody) {
    if (!BodyComplete(length, lineFlag)) return 0;
    if (bodyChunked_) {
      negotiationState_ = proxyleg::kChunkSize;
      return 0;
    }
    if (SetLineTerminator() != 0) return Fail("Out of memory.");
    return Respond();
  }
  if (headerLine_.Append(bytes, length) != 0) return Fail("Out of memory.");
  if (lineFlag == 0) {
    if (headerLine_.Length() > kMaxReplyLength) return Fail("The firewall reply line has no end.");
    return 0;
  }
  const int result = ReplyLine();
  headerLine_.Clear();
  return result;
}

int FirewallNegotiator::ReplyLine() {
  char* line = headerLine_.Data();
  const bool digest = type_ == kFirewallTunnelDigest;
  switch (negotiationState_) {
    case proxyleg::kStatus: {
      const proxyleg::StatusLine status = proxyleg::SplitStatusLine(line);
      const int code = ParseInt(status.code);
      if (code == 401 || code == 407) {
        bodyLength_ = bodyRead_ = 0;
        bodyChunked_ = false;
        negotiationState_ = proxyleg::kHeaders;
        return 0;
      }
      if (code == 200) {
        negotiationState_ = proxyleg::kSkipHeaders;
        return 0;
      }
      return LegStatusFailure(digest ? "Firewall error while attempting digest authentication. Expected 401 or 407 "
                                       "but got: "
                                     : "Firewall error while attempting NTLM authentication. Expected 401 or 407 but "
                                       "got: ",
                              status.code, status.reason);
    }
    case proxyleg::kHeaders: {
      if (*line == '\0') return EndOfChallengeHeaders();
      const char* value = headerLine_.SplitField();
      if (NoteBodyHeader(line, value) != 0 || CompareNoCase(line, "Proxy-Authenticate") != 0) return 0;
      return digest ? DigestChallenge(value) : TokenChallenge(value);
    }
    case proxyleg::kSecondStatus: {
      const proxyleg::StatusLine status = proxyleg::SplitStatusLine(line);
      if (status.code[0] == '2') {
        negotiationState_ = proxyleg::kSkipHeaders;
        return 0;
      }
      return LegStatusFailure(digest ? "Firewall error after digest authentication. Expected a status code beginning "
                                       "with 2 but got: "
                                     : "Firewall error after NTLM authentication. Expected a status code beginning "
                                       "with 2 but got: ",
                              status.code, status.reason);
    }
    case proxyleg::kSkipHeaders:
      return *line == '\0' ? TunnelUp() : 0;
    case proxyleg::kChunkSize:
      return ChunkSizeLine(line);
    case proxyleg::kTrailer:
      return *line == '\0' ? Respond() : 0;
    default:
      return 0;
  }
}

// ---- the 401/407 body --------------------------------------------------------------------

int FirewallNegotiator::NoteBodyHeader(const char* name, const char* value) {
  if (CompareNoCase(name, "Content-Length") == 0) {
    const int64_t length = ParseInt64(value);
    bodyLength_ = length > 0 ? length : 0;
    bodyRead_ = 0;
    return 1;
  }
  if (CompareNoCase(name, "Transfer-Encoding") == 0) {
    // Chunked framing outranks any length given beside it.
    if (FindNoCase(value, "chunked") != nullptr) bodyChunked_ = true;
    return 1;
  }
  return 0;
}

// A sized body is read raw (no terminator): its lines may end in LF alone,
// which a CRLF terminator would never split.
int FirewallNegotiator::EndOfChallengeHeaders() {
  if (bodyChunked_) {
    negotiationState_ = proxyleg::kChunkSize;
    return 0;
  }
  if (bodyLength_ == 0) return Respond();
  if (SetRawTerminator() != 0) return Fail("Out of memory.");
  negotiationState_ = proxyleg::kBody;
  return 0;
}

// Chunk data arrives as CRLF records, each short of the line break it ended
// in; the record that completes the chunk also took the CRLF after it.
bool FirewallNegotiator::BodyComplete(int length, int lineFlag) {
  bodyRead_ += length;
  if (bodyRead_ >= bodyLength_) return true;
  if (lineFlag != 0 && bodyChunked_) bodyRead_ += 2;
  return false;
}

int FirewallNegotiator::ChunkSizeLine(const char* line) {
  if (*line == '\0') return 0;
  const int64_t size = ParseHexInt64(line);
  bodyLength_ = size > 0 ? size : 0;
  bodyRead_ = 0;
  // After the last chunk come trailer lines up to a blank line.
  negotiationState_ = bodyLength_ > 0 ? proxyleg::kBody : proxyleg::kTrailer;
  return 0;
}

int FirewallNegotiator::Respond() {
  return type_ == kFirewallTunnelDigest ? RespondWithDigest() : RespondWithToken();
}

// A request of a leg once built (status 0) or not: a refused host text has
// already failed the tunnel, anything else ran out of memory.
int FirewallNegotiator::SendLegRequest(int built, const ByteString& request) {
  if (built != 0) return negotiating_ ? Fail("Out of memory.") : 0;
  return Send(request) != 0 ? Fail(nullptr) : 0;
}

// ---- the ends of a leg --------------------------------------------------------------------

int FirewallNegotiator::LegStatusFailure(const char* prefix, const char* code, const char* reason) {
  negotiating_ = false;
  ByteString text;
  if (text.Set(prefix) != 0 || text.Append(code) != 0 || text.AppendByte(' ') != 0 || text.Append(reason) != 0 ||
      RestoreTerminator() != 0) {
    return Fail("Out of memory.");
  }
  static_cast<void>(owner_->OnSocketError(kStatusProxyFailed, text.CStr()));
  static_cast<void>(owner_->SetErrorText(text.CStr()));
  return owner_->OnSocketConnected(kStatusProxyFailed);
}

// The whole reply is consumed and the owner's terminator is back before the
// tunnel is reported: what follows belongs to the tunnel.
int FirewallNegotiator::TunnelUp() {
  if (RestoreTerminator() != 0) return Fail("Out of memory.");
  negotiating_ = false;
  negotiationState_ = proxyleg::kDone;
  return owner_->OnSocketConnected(0);
}

// ---- the receive-queue terminator ------------------------------------------------------

int FirewallNegotiator::SaveTerminator() {
  char* bytes = nullptr;
  int length = 0;
  static_cast<void>(owner_->GetEol(&bytes, &length));
  savedLineMode_ = owner_->GetSplitCrlf() != 0;
  return savedTerminator_.Set(bytes, length);
}

int FirewallNegotiator::SetLineTerminator() {
  // Line mode would also split at a lone CR or LF.
  if (owner_->GetSplitCrlf() != 0) TORNELL_TRY(owner_->SetSplitCrlf(0));
  return owner_->SetEol("\r\n", 2);
}

int FirewallNegotiator::SetRawTerminator() { return owner_->SetEol(nullptr, 0); }

void FirewallNegotiator::GiveBackTerminator() {
  if (negotiating_ && type_ >= kFirewallTunnelNtlm && type_ <= kFirewallTunnelDigest) {
    static_cast<void>(RestoreTerminator());
  }
}

int FirewallNegotiator::RestoreTerminator() {
  if (savedLineMode_) return owner_->SetSplitCrlf(1);
  return owner_->SetEol(savedTerminator_.Data(), savedTerminator_.Length());
}

}  // namespace tornell
