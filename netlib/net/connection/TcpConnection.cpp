#include "net/connection/TcpConnection.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "core/base/Status.h"
#include "core/text/TextUtils.h"
#include "net/connection/HostNameLookup.h"

namespace tornell {

TcpConnection::TcpConnection() {
  remoteIpv6_.sin6_family = AF_INET6;
  static_cast<void>(Reset());
}

TcpConnection::~TcpConnection() {
  ClearError();
  // No events and no proxy close step: the owner is going away.
  if (descriptor_ != -1) Close();
}

int TcpConnection::Reset() {
  static_cast<void>(SocketCore::Reset());
  remoteHost_.Clear();
  remoteIpv4_.s_addr = 0;
  std::memset(&remoteIpv6_, 0, sizeof remoteIpv6_);
  remoteIpv6_.sin6_family = AF_INET6;
  remotePort_ = localPort_ = 0;
  pendingCloseCode_ = 0;
  bytesLastSent_ = readyToSend_ = 0;
  proxyExceptions_.Clear();
  recordBuffer_.Clear();
  recordLength_ = 0;
  splittingRecords_ = 0;
  logSslPackets_ = 0;
  static_cast<void>(tls_.SetDefaults(this, 1));
  if (ResetTlsLists() != 0) return 0;
  connected_ = connecting_ = 0;
  receiveEnabled_ = 1;
  linger_ = 1;
  lingerTime_ = keepAlive_ = keepAliveTime_ = keepAliveInterval_ = maxReceiveDataTime_ = 0;
  closePending_ = tcpNoDelay_ = shareLocalPort_ = gracefulTlsShutdown_ = 0;
  maxTransferRate_ = transferBytes_ = windowStart_ = lastActivity_ = 0;
  bindIpv6Address_ = 1;
  inReceive_ = disconnecting_ = 0;
  proxy_.SetOwner(this);
  static_cast<void>(receiveQueue_.Reset());
  holdsByte_ = 0;
  return receiveQueue_.Allocate(kDefaultMaxLineLength);
}

// ---- endpoints ---------------------------------------------------------------

int TcpConnection::SetRemoteHost(const char* text) {
  ClearError();
  if (remoteHost_.Set(text) != 0) return kStatusNoMemory;
  // The proxy resolves the name itself.
  if (proxy_.GetType() != kFirewallNone) return 0;
  if (descriptor_ != -1) {
    return ReturnError(kStatusRemoteHostBusy,
                       "You cannot change the RemoteHost at this time. A connection is in progress.");
  }
  std::memset(&remoteIpv6_, 0, sizeof remoteIpv6_);
  remoteIpv6_.sin6_family = AF_INET6;
  remoteIpv4_.s_addr = 0;
  if (text == nullptr || *text == '\0') return 0;
  if (ipv6Mode_ == 2) ipv6Flag_ = str2ipv6addr(text, &remoteIpv6_, 0, SOCK_STREAM) == 0 ? 1 : 0;
  if (ipv6Flag_ != 0) return str2ipv6addr(text, &remoteIpv6_, 0, SOCK_STREAM);
  const in_addr_t parsed = inet_addr(text);
  if (parsed != INADDR_NONE) {
    remoteIpv4_.s_addr = parsed;
    return 0;
  }
  if (useGetAddrInfo_ != 0) return Ipv4TextToAddress(text, &remoteIpv4_, 0, SOCK_STREAM);
  const int status = LookupHostByName(text, &remoteIpv4_);
  if (status != 0) return ReturnError(status, HostLookupErrorText(status));
  return 0;
}

const char* TcpConnection::GetRemoteHost() {
  if (proxy_.GetType() != kFirewallNone) return remoteHost_.CStr();
  if (ipv6Flag_ != 0) return Ipv6AddressToText(&remoteIpv6_, remoteText_);
  if (remoteIpv4_.s_addr == 0) return "";
  return Ipv4AddressToText(remoteIpv4_);
}

int TcpConnection::SetRemotePort(int port) {
  if (descriptor_ != -1) {
    return ReturnError(kStatusRemotePortBusy,
                       "You cannot change the RemotePort at this time. A connection is in progress.");
  }
  remotePort_ = port;
  return 0;
}

int TcpConnection::SetLocalPort(int port) {
  if (descriptor_ != -1) {
    return ReturnError(kStatusLocalPortBusy,
                       "You cannot change the LocalPort at this time. A connection is in progress.");
  }
  localPort_ = port;
  return 0;
}

int TcpConnection::GetLocalPort() {
  if (descriptor_ == -1) return localPort_;
  if (ipv6Flag_ != 0) {
    sockaddr_in6 local{};
    socklen_t size = sizeof local;
    if (getsockname(descriptor_, reinterpret_cast<sockaddr*>(&local), &size) != 0) return 0;
    return ntohs(local.sin6_port);
  }
  sockaddr_in local{};
  socklen_t size = sizeof local;
  if (getsockname(descriptor_, reinterpret_cast<sockaddr*>(&local), &size) != 0) return 0;
  return ntohs(local.sin_port);
}

const char* TcpConnection::GetLocalHost() {
  if (connected_ != 0 && descriptor_ != -1) {
    if (ipv6Flag_ != 0) {
      sockaddr_in6 local{};
      socklen_t size = sizeof local;
      if (getsockname(descriptor_, reinterpret_cast<sockaddr*>(&local), &size) == 0) {
        return Ipv6AddressToText(&local, localText_);
      }
    } else {
      sockaddr_in local{};
      socklen_t size = sizeof local;
      if (getsockname(descriptor_, reinterpret_cast<sockaddr*>(&local), &size) == 0) {
        return Ipv4AddressToText(local.sin_addr);
      }
    }
  }
  return SocketCore::GetLocalHost();
}

int TcpConnection::SetFirewallHost(const char* text) {
  ClearError();
  const int status = proxy_.SetHost(text);
  if (status != 0) return ReturnError(status, HostLookupErrorText(status));
  return 0;
}

// ---- connect and close ----------------------------------------------------------

int TcpConnection::Connect(int connect) {
  if (connect == 0) return Disconnect(0);
  ClearError();
  pendingCloseCode_ = 0;
  if (descriptor_ != -1) {
    return ReturnError(kStatusAlreadyConnected,
                       "Already connected. If you want to reconnect, close the current connection first.");
  }
  closePending_ = 0;
  static_cast<void>(receiveQueue_.Clear());
  holdsByte_ = 0;
  sockaddr_in target{};
  target.sin_family = AF_INET;
  int targetPort = remotePort_;
  target.sin_addr.s_addr = remoteIpv4_.s_addr;
  if (proxy_.GetType() != kFirewallNone) {
    target.sin_addr.s_addr = proxy_.GetHostAddress();
    targetPort = proxy_.GetPort();
    if (FirewallNegotiator::IsProxyException(proxyExceptions_.CStr(), remoteHost_.CStr(), remotePort_,
                                             nullptr)) {
      TORNELL_TRY(proxy_.SetType(kFirewallNone));
      TORNELL_TRY(proxy_.ClearHost());
      if (!remoteHost_.IsEmpty()) {
        ByteString host;
        TORNELL_TRY(host.Assign(remoteHost_));
        TORNELL_TRY(SetRemoteHost(host.CStr()));
      }
      target.sin_addr.s_addr = remoteIpv4_.s_addr;
      targetPort = remotePort_;
    }
  }
  const bool viaProxy = proxy_.GetType() != kFirewallNone;
  if (ipv6Flag_ == 0 && target.sin_addr.s_addr == 0) {
    return ReturnError(kStatusAddressInvalid, viaProxy ? "The FirewallHost address is invalid (0.0.0.0)."
                                                       : "The RemoteHost address is invalid (0.0.0.0).");
  }
  if (targetPort == 0) {
    return ReturnError(kStatusPortZero, viaProxy
                                            ? "The FirewallPort is invalid (0)."
                                            : "RemotePort can't be zero. Please specify a valid service port number.");
  }
  target.sin_port = htons(static_cast<uint16_t>(targetPort));
  return OpenSocket(target);
}

int TcpConnection::OpenSocket(const sockaddr_in& target) {
  connected_ = 0;
  if (ipv6Flag_ != 0) {
    descriptor_ = socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (descriptor_ == -1) return GetSystemError();
    if (bindIpv6Address_ != 0) {
      sockaddr_in6 local = localIpv6_;
      local.sin6_family = AF_INET6;
      local.sin6_port = htons(static_cast<uint16_t>(localPort_));
      if (bind(descriptor_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        const int error = GetSystemError();
        Close();
        return error;
      }
    }
  } else {
    descriptor_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (descriptor_ == -1) return GetSystemError();
    if (shareLocalPort_ != 0) static_cast<void>(ApplyShareLocalPort());  // failures ignored
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr = localIpv4_;
    local.sin_port = htons(static_cast<uint16_t>(localPort_));
    if (bind(descriptor_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
      const int error = GetSystemError();
      Close();
      return error;
    }
  }
  // Option failures do not stop the connect: the socket works with defaults.
  static_cast<void>(SetKeepAlive(keepAlive_));
  static_cast<void>(SetLinger(linger_));
  static_cast<void>(SetReceiveBufferSize(receiveBufferSize_));
  static_cast<void>(SetSendBufferSize(sendBufferSize_));
  const int one = 1;
  static_cast<void>(setsockopt(descriptor_, SOL_SOCKET, SO_OOBINLINE, &one, sizeof one));
  if (tcpNoDelay_ != 0) static_cast<void>(SetTcpNoDelay(1));
  const int selected = AsyncSelect(descriptor_, nullptr, kTcpSocketMessage, kTcpEventMask);
  if (selected != 0) {
    Close();
    return selected;
  }
  connecting_ = 1;
  int result = 0;
  if (ipv6Flag_ != 0) {
    sockaddr_in6 remote = remoteIpv6_;
    remote.sin6_port = target.sin_port;
    result = connect(descriptor_, reinterpret_cast<sockaddr*>(&remote), sizeof remote);
  } else {
    result = connect(descriptor_, reinterpret_cast<const sockaddr*>(&target), sizeof target);
  }
  if (result == -1 && errno != EINPROGRESS) {
    const int error = GetSystemError();
    connecting_ = 0;
    Close();
    return error;
  }
  return 0;
}

int TcpConnection::Disconnect(long code) { return FinishDisconnect(code, true); }

int TcpConnection::FinishDisconnect(long code, bool drain) {
  if (descriptor_ == -1) return Close();
  if (disconnecting_ != 0) return 0;
  static_cast<void>(AsyncSelect(descriptor_, nullptr, kTcpSocketMessage, 0));
  if (inReceive_ != 0) {
    closePending_ = 1;
    pendingCloseCode_ = code;
    return 0;
  }
  disconnecting_ = 1;
  // A close a hook asked for inside the receive loop reads nothing more.
  if (drain && receiveEnabled_ != 0) static_cast<void>(Receive(1));  // its failures were reported
  if (connected_ != 0) {
    connected_ = 0;
    static_cast<void>(proxy_.OnClosed(static_cast<int>(code >> 16)));
    static_cast<void>(CloseTranscript());
  }
  int result = 0;
  if (descriptor_ != -1) {
    if (close(descriptor_) != 0) result = GetSystemError();
    descriptor_ = -1;
    Close();
  }
  disconnecting_ = 0;
  return result;
}

int TcpConnection::Close() {
  if (descriptor_ != -1) close(descriptor_);
  descriptor_ = -1;
  // The wait loop must not watch the closed number: the system hands it to
  // the next socket or file opened.
  if (eventDescriptor_ != -1) static_cast<void>(AsyncSelect(-1, nullptr, eventMessage_, 0));
  connected_ = connecting_ = 0;
  bytesLastSent_ = 0;
  inReceive_ = 0;
  receiveEnabled_ = 1;
  return 0;
}

// ---- events ------------------------------------------------------------------------

int TcpConnection::HandleMessage(int message, unsigned long descriptor, long event) {
  return OnSocketEvent(message, descriptor, event);
}

int TcpConnection::OnSocketEvent(int message, unsigned long descriptor, long event) {
  if (message != kTcpSocketMessage || descriptor_ == -1 ||
      descriptor != static_cast<unsigned long>(descriptor_)) {
    return SocketCore::HandleMessage(message, descriptor, event);
  }
  const int error = static_cast<int>((event >> 16) & 0xFFFF);
  switch (event & 0xFFFF) {
    case kEventRead:
      if ((receiveEnabled_ != 0 || proxy_.IsNegotiating()) && inReceive_ == 0) {
        inReceive_ = 1;
        static_cast<void>(Receive(0));  // failures went to OnSocketError
        inReceive_ = 0;
      }
      break;
    case kEventWrite:
      static_cast<void>(proxy_.OnWritable());
      break;
    case kEventConnect: {
      connecting_ = 0;
      connected_ = 1;
      const int one = 1;
      static_cast<void>(setsockopt(descriptor_, SOL_SOCKET, SO_OOBINLINE, &one, sizeof one));
      if (error != 0) {
        connected_ = 0;
        static_cast<void>(proxy_.Begin(error));
        Close();
      } else {
        static_cast<void>(OpenTranscript());
        static_cast<void>(proxy_.Begin(0));
      }
      break;
    }
    case kEventClose:
      if (connecting_ != 0) {
        static_cast<void>(Receive(0));
      } else {
        connecting_ = 0;
        static_cast<void>(Disconnect(event));
      }
      break;
    default:
      break;
  }
  return 0;
}

// ---- send ----------------------------------------------------------------------------

int TcpConnection::SendPlain(const char* data, int length) { return Send(data, length, 0, 0); }

int TcpConnection::Send(const char* data, int length, int flags, int afterNegotiation) {
  ClearError();
  const bool ready = afterNegotiation != 0 ? IsConnected() : connected_ != 0;
  if (!ready || descriptor_ == -1) {
    SetSystemError(ENOTCONN);
    return kStatusNotConnected;
  }
  if (length <= 0) return 0;
  const ssize_t sent = send(descriptor_, data, static_cast<size_t>(length), flags | MSG_NOSIGNAL);
  if (sent < 0) {
    const int error = GetSystemError();
    bytesLastSent_ = 0;
    static_cast<void>(AddEventMask(kEventWrite));
    if (error == EAGAIN) readyToSend_ = 0;
    return error;
  }
  if (absoluteTimeout_ == 0) static_cast<void>(StartTimeout());
  bytesLastSent_ = static_cast<int>(sent);
  if (tlsEnabled_ == 0 || proxy_.IsNegotiating()) static_cast<void>(LogData(0, data, bytesLastSent_));
  if (sent < length) {
    static_cast<void>(AddEventMask(kEventWrite));
    SetSystemError(EAGAIN);
    readyToSend_ = 0;
    return kStatusWouldBlock;
  }
  return 0;
}

// ---- default hooks --------------------------------------------------------------------

int TcpConnection::OnProxyReply(const char*, int) { return 0; }

int TcpConnection::OnRecord(const char*, int, int) { return 0; }

int TcpConnection::OnLog(int, const char*, const char*) { return 0; }

}  // namespace tornell
