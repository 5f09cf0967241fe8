#include "net/proxy/FirewallNegotiator.h"

#include <arpa/inet.h>

#include <cstdio>
#include <cstring>

#include "core/base/Status.h"
#include "net/connection/HostNameLookup.h"
#include "net/connection/TcpConnection.h"

namespace tornell {

namespace {

// Copies at most the credential limit of the text.
template <typename Text>
int SetCut(Text& field, const char* text) {
  if (text == nullptr) return field.Set("");
  const size_t n = strnlen(text, FirewallNegotiator::kMaxCredentialLength);
  return field.Set(text, static_cast<int>(n));
}

}  // namespace

// ---- settings ----------------------------------------------------------------------

int FirewallNegotiator::SetType(int type) {
  type_ = static_cast<uint8_t>(type);
  switch (type) {
    case kFirewallTunnel:
    case kFirewallTunnelNtlm:
    case kFirewallTunnelNegotiate:
    case kFirewallTunnelDigest:
      if (port_ == 0) port_ = kHttpProxyPort;
      break;
    case kFirewallSocks4:
    case kFirewallSocks5:
      if (port_ == 0) port_ = kSocksPort;
      break;
    default:
      port_ = 0;
      break;
  }
  return 0;
}

int FirewallNegotiator::SetHost(const char* text) {
  host_ = 0;
  if (text == nullptr || *text == '\0') return 0;
  const in_addr_t parsed = inet_addr(text);
  if (parsed != INADDR_NONE) {
    host_ = parsed;
    return 0;
  }
  in_addr address{};
  TORNELL_TRY(LookupHostByName(text, &address));
  host_ = address.s_addr;
  return 0;
}

int FirewallNegotiator::ClearHost() {
  host_ = 0;
  return 0;
}

const char* FirewallNegotiator::GetHost() {
  if (host_ == 0) return "";
  const unsigned char* b = reinterpret_cast<const unsigned char*>(&host_);
  std::snprintf(hostText_, sizeof hostText_, "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
  return hostText_;
}

int FirewallNegotiator::SetPort(int port) {
  port_ = port;
  return 0;
}

int FirewallNegotiator::SetUser(const char* text) { return SetCut(user_, text); }

int FirewallNegotiator::SetPassword(const char* text) { return SetCut(password_, text); }

int FirewallNegotiator::SetAutoDetect(int) { return 0; }

bool FirewallNegotiator::IsConnected() const {
  if (negotiating_) return false;
  return owner_ != nullptr && owner_->GetSocketHandle() != -1 && owner_->IsConnected();
}

// ---- event entries ----------------------------------------------------------------

int FirewallNegotiator::Begin(int code) {
  replyBuffer_.Clear();
  savedTerminator_.Clear();
  if (code != 0) {
    negotiating_ = false;
    if (type_ != kFirewallNone) static_cast<void>(owner_->OnSocketStatus("Firewall connection failed.", code));
    return owner_->OnSocketConnected(code);
  }
  negotiating_ = true;
  if (type_ != kFirewallNone) static_cast<void>(owner_->OnSocketStatus("Firewall connection complete.", 0));
  int sent = 0;
  switch (type_) {
    case kFirewallNone:
      negotiating_ = false;
      return owner_->OnSocketConnected(0);
    case kFirewallTunnel:
      sent = SendTunnelRequest();
      break;
    case kFirewallSocks4:
      sent = SendSocks4Request();
      break;
    case kFirewallSocks5:
      sent = SendSocks5Greeting();
      break;
    case kFirewallTunnelNtlm:
    case kFirewallTunnelNegotiate:
    case kFirewallTunnelDigest:
      sent = BeginAuthenticatedTunnel();
      break;
    default:
      // No exchange is defined: the bytes that arrive are consumed.
      return 0;
  }
  if (sent != 0 && negotiating_) return Fail(nullptr);
  return 0;
}

int FirewallNegotiator::ProcessReply(const char* bytes, int length, int lineFlag) {
  if (type_ == kFirewallNone || !negotiating_) return owner_->OnSocketData(bytes, length, lineFlag);
  static_cast<void>(owner_->OnProxyReply(bytes, length));  // a logging hook
  switch (type_) {
    case kFirewallTunnel:
      return TunnelReply(bytes, length, lineFlag);
    case kFirewallSocks4:
      return Socks4Reply(bytes, length, lineFlag);
    case kFirewallSocks5:
      return Socks5Reply(bytes, length, lineFlag);
    case kFirewallTunnelNtlm:
    case kFirewallTunnelNegotiate:
    case kFirewallTunnelDigest:
      return AuthenticatedTunnelReply(bytes, length, lineFlag);
    default:
      return 0;
  }
}

int FirewallNegotiator::OnClosed(int code) {
  GiveBackTerminator();
  negotiating_ = false;
  replyBuffer_.Clear();
  savedTerminator_.Clear();
  if (type_ != kFirewallNone) static_cast<void>(owner_->OnSocketStatus("Firewall host disconnected.", code));
  return owner_->OnSocketDisconnected(code);
}

int FirewallNegotiator::OnWritable() { return owner_->OnSocketWritable(); }

int FirewallNegotiator::ReportError(int code, const char* text) { return owner_->OnSocketError(code, text); }

int FirewallNegotiator::Fail(const char* text) {
  GiveBackTerminator();
  static_cast<void>(owner_->OnSocketError(kStatusProxyFailed, text != nullptr ? text : owner_->GetLastErrorText()));
  negotiating_ = false;
  if (text != nullptr) static_cast<void>(owner_->SetErrorText(text));
  static_cast<void>(owner_->OnSocketConnected(kStatusProxyFailed));
  static_cast<void>(owner_->Disconnect(0));
  return 0;
}

}  // namespace tornell
