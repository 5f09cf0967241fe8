// The tunnel exchanges: HTTP CONNECT with Basic credentials, SOCKS4 and
// SOCKS5 (RFC 1928, with the user/password step of RFC 1929).
#include <arpa/inet.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "core/base/Status.h"
#include "core/text/SecretBytes.h"
#include "net/connection/HostNameLookup.h"
#include "net/connection/TcpConnection.h"
#include "net/proxy/FirewallNegotiator.h"

namespace tornell {

namespace {

constexpr int kSocks4ReplyLength = 8;
constexpr int kSocks5NameLimit = 255;

int AppendPort(ByteString& out, int port) {
  TORNELL_TRY(out.AppendByte((port >> 8) & 0xFF));
  return out.AppendByte(port & 0xFF);
}

int SignedByte(int byte) { return static_cast<int8_t>(static_cast<uint8_t>(byte)); }

const char* Socks5ReplyText(int code) {
  switch (code) {
    case 1: return "general SOCKS server failure";
    case 2: return "connection not allowed by ruleset";
    case 3: return "network unreachable";
    case 4: return "host unreachable";
    case 5: return "connection refused";
    case 6: return "TTL expired";
    case 7: return "command not supported";
    case 8: return "address type not supported";
    default: return nullptr;
  }
}

}  // namespace

// A CR, LF or NUL would end the request line early and add lines of its own.
bool FirewallNegotiator::IsSafeRequestText(const char* text, int length) {
  for (int i = 0; i < length; ++i) {
    if (text[i] == '\r' || text[i] == '\n' || text[i] == '\0') return false;
  }
  return true;
}

int FirewallNegotiator::Send(const ByteString& bytes) {
  return owner_->SendPlain(bytes.Data(), bytes.Length());
}

int FirewallNegotiator::ResolveTarget(in_addr* address) {
  const char* host = owner_->GetRemoteHostText();
  address->s_addr = inet_addr(host);
  if (address->s_addr != INADDR_NONE && *host != '\0') return 0;
  if (*host != '\0' && LookupHostByName(host, address) == 0) return 0;
  address->s_addr = 0;
  TORNELL_TRY(Fail("The firewall could not be given the address of the remote host."));
  return kStatusProxyFailed;
}

int FirewallNegotiator::HandTailToOwner(const char* bytes, int length, int lineFlag) {
  ByteQueue& queue = owner_->ReceiveQueue();
  int appended = queue.Append(bytes, static_cast<unsigned>(length));
  if (appended != 0 && lineFlag != 0) {
    char* terminator = nullptr;
    int terminatorLength = 0;
    static_cast<void>(queue.GetTerminator(&terminator, &terminatorLength));
    appended = queue.Append(terminator, static_cast<unsigned>(terminatorLength));
  }
  return appended;
}

// ---- HTTP CONNECT with Basic credentials ------------------------------------------

int FirewallNegotiator::StartConnectRequest(ByteString& request) {
  const char* host = owner_->GetRemoteHostText();
  if (!IsSafeRequestText(host, static_cast<int>(std::strlen(host))) ||
      !IsSafeRequestText(userAgent_.Data(), userAgent_.Length())) {
    TORNELL_TRY(Fail("The firewall request would carry a line break."));
    return kStatusProxyFailed;
  }
  TORNELL_TRY(request.Append("CONNECT "));
  TORNELL_TRY(AppendTarget(request));
  return request.Append(" HTTP/1.0");
}

int FirewallNegotiator::AppendTarget(ByteString& out) {
  TORNELL_TRY(out.Append(owner_->GetRemoteHostText()));
  TORNELL_TRY(out.AppendByte(':'));
  return out.AppendInt(owner_->GetRemotePort());
}

int FirewallNegotiator::FinishConnectRequest(ByteString& request) {
  if (!userAgent_.IsEmpty()) {
    TORNELL_TRY(request.Append("\r\nUser-Agent: "));
    TORNELL_TRY(request.Append(userAgent_.Data(), userAgent_.Length()));
  }
  return request.Append("\r\n\r\n");
}

int FirewallNegotiator::SendTunnelRequest() {
  SecretBytes request;
  TORNELL_TRY(StartConnectRequest(request));
  if (!user_.IsEmpty() || !password_.IsEmpty()) {
    SecretBytes credentials;
    TORNELL_TRY(credentials.Append(user_.Data(), user_.Length()));
    TORNELL_TRY(credentials.AppendByte(':'));
    TORNELL_TRY(credentials.Append(password_.Data(), password_.Length()));
    TORNELL_TRY(request.Append("\r\nProxy-Authorization: Basic "));
    TORNELL_TRY(request.AppendBase64(credentials.Data(), credentials.Length(), 0, 64, 0));
  }
  TORNELL_TRY(FinishConnectRequest(request));
  return Send(request);
}

int FirewallNegotiator::TunnelReply(const char* bytes, int length, int lineFlag) {
  TORNELL_TRY(replyBuffer_.Append(bytes, length));
  if (lineFlag != 0) {
    char* terminator = nullptr;
    int terminatorLength = 0;
    static_cast<void>(owner_->GetEol(&terminator, &terminatorLength));
    TORNELL_TRY(replyBuffer_.Append(terminator, terminatorLength));
  }
  const char* reply = replyBuffer_.CStr();
  const int replyLength = replyBuffer_.Length();
  if (replyLength > 9) {
    int at = 0;
    while (at < replyLength && reply[at] != ' ') ++at;
    while (at < replyLength && reply[at] == ' ') ++at;
    if (at < replyLength && reply[at] != '2') {
      negotiating_ = false;
      static_cast<void>(owner_->OnSocketError(kStatusProxyFailed, reply));
      int lineEnd = 0;
      while (lineEnd < replyLength && reply[lineEnd] != '\r' && reply[lineEnd] != '\n') ++lineEnd;
      ByteString text;
      TORNELL_TRY(text.Set("Firewall error. "));
      TORNELL_TRY(text.Append(reply, lineEnd));
      if (!text.EndsWith(".")) TORNELL_TRY(text.AppendByte('.'));
      static_cast<void>(owner_->SetErrorText(text.CStr()));
      return owner_->OnSocketConnected(kStatusProxyFailed);
    }
  }
  int end = replyBuffer_.Find("\r\n\r\n");
  int endLength = 4;
  if (end < 0) {
    end = replyBuffer_.Find("\n\n");
    endLength = 2;
  }
  if (end < 0) {
    if (replyLength > kMaxReplyLength) {
      TORNELL_TRY(Fail("The firewall reply header has no end."));
      return kStatusProxyFailed;
    }
    return 0;
  }
  negotiating_ = false;
  const int handled = owner_->OnSocketConnected(0);
  const int tail = end + endLength;
  if (handled == 0 && tail < replyLength) return HandTailToOwner(reply + tail, replyLength - tail, 0);
  return handled;
}

// ---- SOCKS4 ----------------------------------------------------------------------------

int FirewallNegotiator::SendSocks4Request() {
  in_addr target{};
  TORNELL_TRY(ResolveTarget(&target));
  ByteString request;
  TORNELL_TRY(request.AppendByte(4));
  TORNELL_TRY(request.AppendByte(1));
  TORNELL_TRY(AppendPort(request, owner_->GetRemotePort()));
  TORNELL_TRY(request.Append(&target.s_addr, 4));
  TORNELL_TRY(request.Append(user_.Data(), user_.Length()));
  TORNELL_TRY(request.AppendByte(0));
  return Send(request);
}

int FirewallNegotiator::Socks4Reply(const char* bytes, int length, int lineFlag) {
  TORNELL_TRY(replyBuffer_.Append(bytes, length));
  if (replyBuffer_.Length() < kSocks4ReplyLength) return 0;
  negotiating_ = false;
  const int code = replyBuffer_.ByteAt(1);
  switch (code) {
    case 90: {
      const int handled = owner_->OnSocketConnected(0);
      if (handled != 0 || replyBuffer_.Length() == kSocks4ReplyLength) return handled;
      return HandTailToOwner(replyBuffer_.Data() + kSocks4ReplyLength,
                             replyBuffer_.Length() - kSocks4ReplyLength, lineFlag);
    }
    case 91:
      return Fail("firewall request rejected or failed");
    case 92:
      return Fail("firewall request rejected because identd is not available");
    case 93:
      return Fail("firewall request rejected because identd reports different user");
    default: {
      char text[48];
      std::snprintf(text, sizeof text, "unknown firewall error: %d", SignedByte(code));
      return Fail(text);
    }
  }
}

// ---- SOCKS5 ----------------------------------------------------------------------------

int FirewallNegotiator::SendSocks5Greeting() {
  ByteString greeting;
  if (!user_.IsEmpty() && !password_.IsEmpty()) {
    TORNELL_TRY(greeting.Append("\x05\x02\x00\x02", 4));
  } else {
    TORNELL_TRY(greeting.Append("\x05\x01\x00", 3));
  }
  negotiationState_ = 1;
  return Send(greeting);
}

int FirewallNegotiator::SendSocks5Request() {
  const char* host = owner_->GetRemoteHostText();
  ByteString request;
  TORNELL_TRY(request.Append("\x05\x01\x00", 3));
  if (host[0] == '*') {
    const int nameLength = static_cast<int>(std::strlen(host + 1));
    if (nameLength > kSocks5NameLimit) {
      TORNELL_TRY(Fail("The remote host name is too long for the firewall."));
      return kStatusProxyFailed;
    }
    TORNELL_TRY(request.AppendByte(3));
    TORNELL_TRY(request.AppendByte(nameLength));
    TORNELL_TRY(request.Append(host + 1, nameLength));
  } else {
    in_addr target{};
    TORNELL_TRY(ResolveTarget(&target));
    TORNELL_TRY(request.AppendByte(1));
    TORNELL_TRY(request.Append(&target.s_addr, 4));
  }
  TORNELL_TRY(AppendPort(request, owner_->GetRemotePort()));
  negotiationState_ = 3;
  return Send(request);
}

int FirewallNegotiator::Socks5Reply(const char* bytes, int length, int lineFlag) {
  TORNELL_TRY(replyBuffer_.Append(bytes, length));
  if (replyBuffer_.Length() < 2) return 0;
  const int code = replyBuffer_.ByteAt(1);
  if (negotiationState_ == 1) {
    if (code == 0) {
      negotiationState_ = 3;
      TORNELL_TRY(replyBuffer_.EraseFront(2));
      if (SendSocks5Request() != 0 && negotiating_) return Fail(nullptr);
      return 0;
    }
    if (code == 2) {
      SecretBytes step;
      TORNELL_TRY(step.AppendByte(1));
      TORNELL_TRY(step.AppendByte(user_.Length()));
      TORNELL_TRY(step.Append(user_.Data(), user_.Length()));
      TORNELL_TRY(step.AppendByte(password_.Length()));
      TORNELL_TRY(step.Append(password_.Data(), password_.Length()));
      negotiationState_ = 2;
      TORNELL_TRY(replyBuffer_.EraseFront(2));
      if (Send(step) != 0) return Fail(nullptr);
      return 0;
    }
    return Fail(code == 0xFF ? "no acceptable firewall authentication methods"
                             : "unknown firewall authentication method");
  }
  if (negotiationState_ == 2) {
    if (code != 0) {
      char text[48];
      std::snprintf(text, sizeof text, "firewall authentication failed: %d", SignedByte(code));
      return Fail(text);
    }
    replyBuffer_.Clear();
    if (SendSocks5Request() != 0 && negotiating_) return Fail(nullptr);
    return 0;
  }
  return Socks5ConnectReply(lineFlag);
}

// The reply's length follows from its bound address type.
int FirewallNegotiator::Socks5ConnectReply(int lineFlag) {
  const int code = replyBuffer_.ByteAt(1);
  if (code != 0) {
    negotiating_ = false;
    const char* known = Socks5ReplyText(code);
    if (known != nullptr) return Fail(known);
    char text[48];
    std::snprintf(text, sizeof text, "unknown firewall error: %d", SignedByte(code));
    return Fail(text);
  }
  if (replyBuffer_.Length() < 5) return 0;
  int replyLength = 0;
  switch (replyBuffer_.ByteAt(3)) {
    case 1:
      replyLength = 10;
      break;
    case 3:
      replyLength = 7 + replyBuffer_.ByteAt(4);
      break;
    case 4:
      replyLength = 22;
      break;
    default:
      return Fail("unknown firewall address type");
  }
  if (replyBuffer_.Length() < replyLength) return 0;
  negotiating_ = false;
  const int handled = owner_->OnSocketConnected(0);
  if (handled != 0 || replyBuffer_.Length() == replyLength) return handled;
  return HandTailToOwner(replyBuffer_.Data() + replyLength, replyBuffer_.Length() - replyLength, lineFlag);
}

}  // namespace tornell
