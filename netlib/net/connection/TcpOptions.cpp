#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/utsname.h>

#include <cstdio>

#include "core/base/Status.h"
#include "core/text/TextUtils.h"
#include "net/connection/TcpConnection.h"

namespace tornell {

namespace {

const char* BoolText(int value) { return value != 0 ? "True" : "False"; }

int SetIntOption(int descriptor, int level, int option, int value) {
  if (setsockopt(descriptor, level, option, &value, sizeof value) != 0) return GetSystemError();
  return 0;
}

// Whole seconds, a remainder of milliseconds counting as one more second.
int SecondsRoundedUp(int milliseconds) { return milliseconds / 1000 + (milliseconds % 1000 != 0 ? 1 : 0); }

// SO_REUSEPORT came with Linux 3.9.
bool KernelHasReusePort() {
  utsname name{};
  if (uname(&name) != 0) return true;
  int major = 0;
  int minor = 0;
  if (std::sscanf(name.release, "%d.%d", &major, &minor) != 2) return true;
  return major > 3 || (major == 3 && minor >= 9);
}

}  // namespace

int TcpConnection::ApplyLinger(int flag) {
  linger value{};
  if (flag == 0) {
    value = {1, 0};  // abortive close
  } else if (lingerTime_ != 0) {
    value = {1, lingerTime_};
  } else {
    value = {0, 0};
  }
  if (setsockopt(descriptor_, SOL_SOCKET, SO_LINGER, &value, sizeof value) != 0) return GetSystemError();
  return 0;
}

int TcpConnection::SetLinger(int flag) {
  if (descriptor_ != -1) TORNELL_TRY(ApplyLinger(flag));
  linger_ = flag != 0 ? 1 : 0;
  return 0;
}

int TcpConnection::SetLingerTime(int seconds) {
  lingerTime_ = seconds;
  return SetLinger(linger_);
}

int TcpConnection::SetKeepAlive(int value) {
  keepAlive_ = value;
  if (descriptor_ == -1) return 0;
  if (const int status = SetIntOption(descriptor_, SOL_SOCKET, SO_KEEPALIVE, value); status != 0) {
    int actual = 0;
    socklen_t size = sizeof actual;
    if (getsockopt(descriptor_, SOL_SOCKET, SO_KEEPALIVE, &actual, &size) == 0) keepAlive_ = actual;
    return status;
  }
  if (value == 0) return 0;
  if (keepAliveTime_ > 0) {
    TORNELL_TRY(SetIntOption(descriptor_, IPPROTO_TCP, TCP_KEEPIDLE, SecondsRoundedUp(keepAliveTime_)));
  }
  if (keepAliveInterval_ > 0) {
    TORNELL_TRY(SetIntOption(descriptor_, IPPROTO_TCP, TCP_KEEPINTVL, SecondsRoundedUp(keepAliveInterval_)));
  }
  return 0;
}

int TcpConnection::SetKeepAliveTime(int milliseconds) {
  keepAliveTime_ = milliseconds;
  return SetKeepAlive(keepAliveTime_ >= 1 || keepAliveInterval_ >= 1 ? 1 : keepAlive_);
}

int TcpConnection::SetKeepAliveInterval(int milliseconds) {
  keepAliveInterval_ = milliseconds;
  return SetKeepAlive(keepAliveTime_ >= 1 || keepAliveInterval_ >= 1 ? 1 : keepAlive_);
}

int TcpConnection::SetTcpNoDelay(int value) {
  if (descriptor_ != -1) TORNELL_TRY(SetIntOption(descriptor_, IPPROTO_TCP, TCP_NODELAY, value));
  tcpNoDelay_ = value != 0 ? 1 : 0;
  return 0;
}

int TcpConnection::ApplyShareLocalPort() {
  static_cast<void>(SetIntOption(descriptor_, SOL_SOCKET, SO_REUSEADDR, 1));
  if (KernelHasReusePort()) static_cast<void>(SetIntOption(descriptor_, SOL_SOCKET, SO_REUSEPORT, 1));
  return 0;
}

int TcpConnection::SetShareLocalPort(int value) {
  shareLocalPort_ = value != 0 ? 1 : 0;
  if (descriptor_ != -1 && value != 0) return ApplyShareLocalPort();
  return 0;
}

int TcpConnection::SetMaxLineLength(unsigned length) {
  if (descriptor_ != -1) {
    return ReturnError(kStatusMaxLineLengthBusy,
                       "You cannot change MaxLineLength at this time. A connection is in progress.");
  }
  // A queue that holds no byte would hand on an empty "full" queue forever.
  unsigned capacity = length < kMaxLineLengthLimit ? length : kMaxLineLengthLimit;
  if (capacity == 0) capacity = 1;
  return receiveQueue_.Allocate(capacity) != 0 ? 0 : kStatusNoMemory;
}

int TcpConnection::SetEol(const char* bytes, int length) {
  if (receiveQueue_.SetTerminator(bytes, length > 0 ? static_cast<unsigned>(length) : 0) == 0) {
    return kStatusNoMemory;
  }
  // Data already queued is split again under the new terminator.
  if (connected_ != 0) static_cast<void>(MarkReadPending());
  return 0;
}

int TcpConnection::SetSplitCrlf(int on) {
  return receiveQueue_.SetLineMode(on) != 0 ? 0 : kStatusNoMemory;
}

int TcpConnection::SetReceiveEnabled(int value) {
  receiveEnabled_ = value != 0 ? 1 : 0;
  if (value != 0 && connected_ != 0) {
    static_cast<void>(MarkReadPending());
  } else if (connected_ == 0 && descriptor_ != -1 && GetTimeout() >= 0) {
    return Receive(3);
  }
  return 0;
}

int TcpConnection::SetMaxReceiveDataTime(int milliseconds) {
  maxReceiveDataTime_ = milliseconds;
  return 0;
}

int TcpConnection::SetMaxTransferRate(long bytesPerSecond) {
  maxTransferRate_ = bytesPerSecond;
  return 0;
}

// ---- configuration ------------------------------------------------------------------

int TcpConnection::Config(ConfigSetting* setting, const char*& answer) {
  const bool query = setting->IsQuery();
  auto boolAnswer = [&](int value) { return SetConfigAnswer(answer, BoolText(value)); };
  auto number = [&](long value) { return SetConfigAnswer(answer, value); };
  if (setting->NameIs("ShareLocalPort")) {
    return query ? boolAnswer(shareLocalPort_) : SetShareLocalPort(setting->AsBool() ? 1 : 0);
  }
  if (setting->NameIs("MaxTransferRate")) {
    return query ? number(maxTransferRate_) : SetMaxTransferRate(static_cast<long>(setting->AsUnsigned()));
  }
  if (setting->NameIs("SplitCRLF")) {
    return query ? boolAnswer(GetSplitCrlf()) : SetSplitCrlf(setting->AsBool() ? 1 : 0);
  }
  if (setting->NameIs("MaxLineLength")) {
    return query ? number(static_cast<long>(GetMaxLineLength())) : SetMaxLineLength(setting->AsUnsigned());
  }
  if (setting->NameIs("SocketHandle")) return number(descriptor_);
  if (setting->NameIs("LocalHost")) {
    return query ? SetConfigAnswer(answer, GetLocalHost()) : SetLocalHost(setting->Value());
  }
  if (setting->NameIs("LocalPort")) return query ? number(GetLocalPort()) : SetLocalPort(setting->AsInt());
  if (setting->NameIs("FirewallAutoDetect")) return query ? boolAnswer(0) : 0;
  if (setting->NameIs("FirewallHost")) {
    return query ? SetConfigAnswer(answer, GetFirewallHost()) : SetFirewallHost(setting->Value());
  }
  if (setting->NameIs("FirewallPort")) return query ? number(GetFirewallPort()) : SetFirewallPort(setting->AsInt());
  if (setting->NameIs("FirewallType")) return query ? number(GetFirewallType()) : SetFirewallType(setting->AsInt());
  if (setting->NameIs("FirewallUser")) {
    return query ? SetConfigAnswer(answer, GetFirewallUser()) : SetFirewallUser(setting->Value());
  }
  if (setting->NameIs("FirewallPassword")) {
    return query ? SetConfigAnswer(answer, GetFirewallPassword()) : SetFirewallPassword(setting->Value());
  }
  if (setting->NameIs("FirewallData")) return 0;
  if (setting->NameIs("InBufferSize")) {
    return query ? number(GetReceiveBufferSize()) : SetReceiveBufferSize(setting->AsInt());
  }
  if (setting->NameIs("OutBufferSize")) {
    return query ? number(GetSendBufferSize()) : SetSendBufferSize(setting->AsInt());
  }
  if (setting->NameIs("TcpNoDelay")) return query ? boolAnswer(tcpNoDelay_) : SetTcpNoDelay(setting->AsBool() ? 1 : 0);
  if (setting->NameIs("TCPKeepAlive")) return query ? number(keepAlive_) : SetKeepAlive(setting->AsBool() ? 1 : 0);
  if (setting->NameIs("KeepAliveTime")) return query ? number(keepAliveTime_) : SetKeepAliveTime(setting->AsInt());
  if (setting->NameIs("KeepAliveInterval")) {
    return query ? number(keepAliveInterval_) : SetKeepAliveInterval(setting->AsInt());
  }
  if (setting->NameIs("MaxReceiveDataTime")) {
    return query ? number(maxReceiveDataTime_) : SetMaxReceiveDataTime(setting->AsInt());
  }
  if (setting->NameIs("LingerTime")) return query ? number(lingerTime_) : SetLingerTime(setting->AsInt());
  if (setting->NameIs("Linger")) return query ? number(linger_) : SetLinger(setting->AsBool() ? 1 : 0);
  if (setting->NameIs("GracefullyShutDownSSL")) {
    if (query) return boolAnswer(gracefulTlsShutdown_);
    gracefulTlsShutdown_ = setting->AsBool() ? 1 : 0;
    return 0;
  }
  if (setting->NameIs("ProxyExceptionsList")) {
    return query ? SetConfigAnswer(answer, proxyExceptions_.CStr()) : SetProxyExceptionsList(setting->Value());
  }
  if (setting->NameIs("BindIPv6Address")) {
    if (query) return boolAnswer(bindIpv6Address_);
    bindIpv6Address_ = setting->AsBool() ? 1 : 0;
    return 0;
  }
  if (setting->NameIs("TLS13SignatureAlgorithms")) {
    return query ? SetConfigAnswer(answer, tls13Schemes_.CStr()) : SetTls13SignatureAlgorithms(setting->Value());
  }
  if (setting->NameIs("TLS12SignatureAlgorithms")) {
    return query ? SetConfigAnswer(answer, tls12SignatureAlgorithms_.CStr())
                 : SetTls12SignatureAlgorithms(setting->Value());
  }
  if (setting->NameIs("TLS13KeyShareGroups")) {
    return query ? SetConfigAnswer(answer, tls13KeyShareGroups_.CStr()) : SetTls13KeyShareGroups(setting->Value());
  }
  if (setting->NameIs("TLS13SupportedGroups")) {
    return query ? SetConfigAnswer(answer, tls13Groups_.CStr()) : SetTls13SupportedGroups(setting->Value());
  }
  if (setting->NameIs("TLS12SupportedGroups")) {
    return query ? SetConfigAnswer(answer, tls12Groups_.CStr()) : SetTls12SupportedGroups(setting->Value());
  }
  if (setting->NameIs("LogSSLPackets")) {
    if (query) return number(logSslPackets_);
    logSslPackets_ = setting->AsBool() ? 1 : 0;
    return 0;
  }
  return SocketCore::Config(setting, answer);
}

}  // namespace tornell
