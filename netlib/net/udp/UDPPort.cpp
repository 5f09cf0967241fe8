#include "net/udp/UDPPort.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "core/base/ConfigSetting.h"
#include "core/base/Status.h"
#include "core/text/TextUtils.h"

namespace tornell {

namespace {

const char* TrueFalse(bool value) { return value ? "True" : "False"; }

int SetIntOption(int fd, int level, int name, int value) {
  return setsockopt(fd, level, name, &value, sizeof value) == 0 ? kStatusOk : errno;
}

// Control buffer large enough for any packet-information message.
constexpr size_t kControlBufferSize = 1024;

}  // namespace

UDPPort::UDPPort() = default;

// No final receive pass here: its events would reach a subclass or sink
// that is already gone.
UDPPort::~UDPPort() {
  if (descriptor_ != -1) static_cast<void>(AsyncSelect(descriptor_, nullptr, kUdpSocketMessage, 0));
  CloseSocket();
}

int UDPPort::Reset() {
  SocketCore::Reset();
  if (receiveQueue_.Allocate(kUdpDefaultPacketSize) == 0) return kStatusUdpNoMemory;
  remoteIpv4_.s_addr = 0;
  std::memset(&remoteIpv6_, 0, sizeof remoteIpv6_);
  remoteIpv6_.sin6_family = AF_INET6;
  remotePort_ = 0;
  localPort_ = 0;
  qosFlags_ = 0;
  timeToLive_ = 0;
  inReceive_ = false;
  closePending_ = false;
  pumpDataInDoEvents_ = false;
  useConnection_ = false;
  shareLocalPort_ = false;
  captureIpPacketInfo_ = false;
  dontFragment_ = false;
  destinationAddress_.Clear();
  sourceIpAddress_.Clear();
  return kStatusOk;
}

UDPPortEvents* UDPPort::Sink() {
  auto* sink = static_cast<UDPPortEvents*>(GetEventSink());
  if (sink != nullptr) sink->OnCodePage(GetCodePage());
  return sink;
}

// ---- events ----------------------------------------------------------------

int UDPPort::OnDataIn(const char* data, int length, const char* sourceAddress, int sourcePort) {
  UDPPortEvents* sink = Sink();
  return sink != nullptr ? sink->OnDataIn(data, length, sourceAddress, sourcePort) : kStatusOk;
}

int UDPPort::OnReadyToSend() {
  UDPPortEvents* sink = Sink();
  return sink != nullptr ? sink->OnReadyToSend() : kStatusOk;
}

int UDPPort::FireError(int code, char* description) {
  UDPPortEvents* sink = Sink();
  return sink != nullptr ? sink->OnError(code, description) : kStatusOk;
}

int UDPPort::ReportError(int code, const char* text) { return FireError(code, const_cast<char*>(text)); }

int UDPPort::ExternalWait(long& milliseconds) {
  UDPPortEvents* sink = Sink();
  return sink != nullptr ? sink->OnExternalWait(milliseconds) : kStatusOk;
}

int UDPPort::ExternalRegisterSocket(long descriptor, long mask, void*& handle) {
  UDPPortEvents* sink = Sink();
  return sink != nullptr ? sink->OnExternalRegister(descriptor, mask, handle) : kStatusOk;
}

int UDPPort::ExternalUnregisterSocket(void* handle) {
  UDPPortEvents* sink = Sink();
  return sink != nullptr ? sink->OnExternalUnregister(handle) : kStatusOk;
}

int UDPPort::RegisterSocket(long descriptor, long mask, void*& handle) {
  return ExternalRegisterSocket(descriptor, mask, handle);
}

// ---- activation ----------------------------------------------------------------

int UDPPort::SetActive(bool active) {
  if (!active) return Close(0);
  ClearError();
  if (descriptor_ != -1) return ReturnError(kStatusUdpAlreadyActive, "UDPPort is already Active.");
  closePending_ = false;
  receiveQueue_.Clear();
  if (useConnection_ && remotePort_ == 0) {
    return ReturnError(kStatusUdpPortZero,
                       "RemotePort can't be zero when UseConnection is set. Please specify a valid service port "
                       "number.");
  }
  return Open();
}

int UDPPort::Open() {
  TORNELL_TRY(OpenSocket());
  TORNELL_TRY(BindSocket());
  ApplyOptions();
  if (useConnection_) {
    int result = 0;
    if (ipv6Flag_ != 0) {
      sockaddr_in6 to = remoteIpv6_;
      to.sin6_port = htons(static_cast<uint16_t>(remotePort_));
      result = connect(descriptor_, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    } else {
      sockaddr_in to{};
      to.sin_family = AF_INET;
      to.sin_addr = remoteIpv4_;
      to.sin_port = htons(static_cast<uint16_t>(remotePort_));
      result = connect(descriptor_, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    }
    if (result == -1 && errno != EAGAIN) return FailOpen(errno);
  }
  if (AsyncSelect(descriptor_, nullptr, kUdpSocketMessage, kUdpEventMask) != 0) return FailOpen(errno);
  return kStatusOk;
}

int UDPPort::OpenSocket() {
  descriptor_ = socket(ipv6Flag_ != 0 ? AF_INET6 : AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (descriptor_ == -1) return errno;
  if (shareLocalPort_) static_cast<void>(SetIntOption(descriptor_, SOL_SOCKET, SO_REUSEADDR, 1));
  if (captureIpPacketInfo_) {
    int result = 0;
    if (ipv6Flag_ != 0) {
      result = SetIntOption(descriptor_, IPPROTO_IPV6, IPV6_RECVPKTINFO, 1);
      static_cast<void>(SetIntOption(descriptor_, IPPROTO_IPV6, IPV6_V6ONLY, 0));
    } else {
      result = SetIntOption(descriptor_, IPPROTO_IP, IP_PKTINFO, 1);
    }
    if (IsLogging() != 0) {
      char line[96];
      std::snprintf(line, sizeof line, "%s=%d", "ret_setsockopt_CaptureIPPacketInfo", result == 0 ? 0 : -1);
      static_cast<void>(LogText(line));
    }
  }
  return kStatusOk;
}

int UDPPort::BindSocket() {
  int result = 0;
  if (ipv6Flag_ != 0) {
    sockaddr_in6 local = localIpv6_;
    local.sin6_family = AF_INET6;
    local.sin6_port = htons(static_cast<uint16_t>(localPort_));
    result = bind(descriptor_, reinterpret_cast<const sockaddr*>(&local), sizeof local);
  } else {
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr = localIpv4_;
    local.sin_port = htons(static_cast<uint16_t>(localPort_));
    result = bind(descriptor_, reinterpret_cast<const sockaddr*>(&local), sizeof local);
  }
  return result == 0 ? kStatusOk : FailOpen(errno);
}

// Options whose failure does not stop the activation.
void UDPPort::ApplyOptions() {
  static_cast<void>(SetReceiveBufferSize(receiveBufferSize_));
  static_cast<void>(SetSendBufferSize(sendBufferSize_));
  static_cast<void>(SetIntOption(descriptor_, SOL_SOCKET, SO_DONTROUTE, 0));
  if (qosFlags_ != 0) static_cast<void>(SetIntOption(descriptor_, IPPROTO_IP, IP_TOS, qosFlags_));
  if (timeToLive_ != 0) {
    if (ipv6Flag_ != 0) {
      static_cast<void>(SetIntOption(descriptor_, IPPROTO_IPV6, IPV6_UNICAST_HOPS, timeToLive_));
    } else {
      static_cast<void>(SetIntOption(descriptor_, IPPROTO_IP, IP_TTL, timeToLive_));
    }
  }
  if (ipv6Flag_ == 0) static_cast<void>(SetIntOption(descriptor_, SOL_SOCKET, SO_BROADCAST, 1));
  ClearError();
}

int UDPPort::FailOpen(int code) {
  CloseSocket();
  return code;
}

int UDPPort::CloseSocket() {
  if (descriptor_ != -1) {
    ::close(descriptor_);
    descriptor_ = -1;
  }
  inReceive_ = false;
  return kStatusOk;
}

int UDPPort::Close(int) {
  if (descriptor_ == -1) return CloseSocket();
  static_cast<void>(AsyncSelect(descriptor_, nullptr, kUdpSocketMessage, 0));
  if (inReceive_) {
    closePending_ = true;
    return kStatusOk;
  }
  // What is already queued is still delivered.
  static_cast<void>(Receive(true));
  if (descriptor_ == -1) return CloseSocket();
  const int result = ::close(descriptor_);
  const int error = result != 0 ? errno : 0;
  descriptor_ = -1;
  static_cast<void>(AsyncSelect(-1, nullptr, kUdpSocketMessage, 0));
  CloseSocket();
  return error;
}

// ---- sending -----------------------------------------------------------------

int UDPPort::Send(const char* bytes, int length) {
  ClearError();
  if (descriptor_ == -1) return ReturnError(kStatusUdpNotActive, "The control must be Active for this operation.");
  if (length == 0) return kStatusOk;
  if (bytes == nullptr || length < 0) return ReturnError(EINVAL, "Invalid data.");
  if (remotePort_ == 0) {
    return ReturnError(kStatusUdpPortZero, "RemotePort can't be zero. Please specify a valid service port number.");
  }
  TORNELL_TRY(SendPlain(bytes, length));
  if (absoluteTimeout_ == 0) StartTimeout();
  return kStatusOk;
}

int UDPPort::SendPlain(const char* bytes, int length) {
  const size_t size = static_cast<size_t>(length);
  ssize_t sent = -1;
  if (useConnection_) {
    sent = ::send(descriptor_, bytes, size, MSG_NOSIGNAL);
  } else if (ipv6Flag_ != 0) {
    sockaddr_in6 to = remoteIpv6_;
    to.sin6_port = htons(static_cast<uint16_t>(remotePort_));
    sent = ::sendto(descriptor_, bytes, size, MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&to), sizeof to);
  } else {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr = remoteIpv4_;
    to.sin_port = htons(static_cast<uint16_t>(remotePort_));
    if (sourceIpAddress_.Length() != 0) return SendWithSource(bytes, length, to);
    sent = ::sendto(descriptor_, bytes, size, MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&to), sizeof to);
  }
  return sent == -1 ? errno : kStatusOk;
}

// One IP_PKTINFO control message carries the source address.
int UDPPort::SendWithSource(const char* bytes, int length, const sockaddr_in& to) {
  in_pktinfo info{};
  if (inet_aton(sourceIpAddress_.CStr(), &info.ipi_spec_dst) == 0) return EINVAL;
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
  iovec part{const_cast<char*>(bytes), static_cast<size_t>(length)};
  msghdr message{};
  message.msg_name = const_cast<sockaddr_in*>(&to);
  message.msg_namelen = sizeof to;
  message.msg_iov = &part;
  message.msg_iovlen = 1;
  message.msg_control = control;
  message.msg_controllen = sizeof control;
  cmsghdr* header = CMSG_FIRSTHDR(&message);
  header->cmsg_level = IPPROTO_IP;
  header->cmsg_type = IP_PKTINFO;
  header->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
  std::memcpy(CMSG_DATA(header), &info, sizeof info);
  return ::sendmsg(descriptor_, &message, MSG_NOSIGNAL) == -1 ? errno : kStatusOk;
}

// ---- receiving -------------------------------------------------------------------

int UDPPort::ReadOne(int& received, sockaddr_storage& from) {
  receiveQueue_.Clear();
  char* at = nullptr;
  unsigned space = 0;
  receiveQueue_.GetWriteSpan(&at, &space);
  space = receiveQueue_.Capacity();
  socklen_t fromSize = sizeof from;
  ssize_t result = -1;
  if (captureIpPacketInfo_) {
    alignas(cmsghdr) char control[kControlBufferSize];
    iovec part{at, space};
    msghdr message{};
    message.msg_name = &from;
    message.msg_namelen = fromSize;
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    result = ::recvmsg(descriptor_, &message, 0);
    const int error = errno;
    if (IsLogging() != 0) {
      char line[96];
      std::snprintf(line, sizeof line, "%s=%d", "CUDPPort::RecevMsg, recvmsg, ret", static_cast<int>(result));
      static_cast<void>(LogText(line));
    }
    if (result > 0) {
      for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
        if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
          in_pktinfo info{};
          std::memcpy(&info, CMSG_DATA(c), sizeof info);
          TORNELL_TRY(destinationAddress_.Set(Ipv4AddressToText(info.ipi_addr)));
        } else if (c->cmsg_level == IPPROTO_IPV6 && c->cmsg_type == IPV6_PKTINFO) {
          in6_pktinfo info{};
          std::memcpy(&info, CMSG_DATA(c), sizeof info);
          sockaddr_in6 address{};
          address.sin6_family = AF_INET6;
          address.sin6_addr = info.ipi6_addr;
          char text[64];
          TORNELL_TRY(destinationAddress_.Set(Ipv6AddressToText(&address, text)));
        }
      }
    }
    errno = error;
  } else if (useConnection_) {
    result = ::recv(descriptor_, at, space, 0);
  } else {
    result = ::recvfrom(descriptor_, at, space, 0, reinterpret_cast<sockaddr*>(&from), &fromSize);
  }
  if (result == -1) return errno;
  received = static_cast<int>(result);
  return kStatusOk;
}

int UDPPort::Receive(bool final) {
  for (;;) {
    if (descriptor_ == -1) return kStatusOk;
    if (closePending_ && !final) {
      inReceive_ = false;
      return Close(kEventClose);
    }
    int received = 0;
    sockaddr_storage from{};
    const int error = ReadOne(received, from);
    if (error != 0) {
      if (error == EAGAIN || error == kStatusUdpNotSocket) return error;
      if (error == kStatusUdpUnreachable) {
        static_cast<void>(ReportError(error, "Destination unreachable (service unavailable?)."));
      } else {
        static_cast<void>(ReportError(error, "Winsock error in recv()"));
      }
      return error;
    }
    if (received == 0) {
      if (!final) inReceive_ = false;
      return kStatusOk;
    }
    char addressText[64] = {};
    int port = 0;
    if (useConnection_) {
      std::snprintf(addressText, sizeof addressText, "%s", GetRemoteHost());
      port = remotePort_;
    } else if (from.ss_family == AF_INET6) {
      const auto& six = reinterpret_cast<const sockaddr_in6&>(from);
      Ipv6AddressToText(&six, addressText);
      port = ntohs(six.sin6_port);
    } else if (from.ss_family == AF_INET) {
      const auto& four = reinterpret_cast<const sockaddr_in&>(from);
      std::snprintf(addressText, sizeof addressText, "%s", Ipv4AddressToText(four.sin_addr));
      port = ntohs(four.sin_port);
    }
    if (absoluteTimeout_ == 0) StartTimeout();
    char* data = nullptr;
    unsigned unused = 0;
    receiveQueue_.GetWriteSpan(&data, &unused);
    // The buffer holds one byte past its capacity, so the terminator always fits.
    const char saved = data[received];
    data[received] = '\0';
    const int result = OnDataIn(data, received, addressText, port);
    data[received] = saved;
    if (result != 0) return result;
  }
}

int UDPPort::HandleMessage(int message, unsigned long descriptor, long event) {
  if (message != kUdpSocketMessage || descriptor_ == -1 || descriptor != static_cast<unsigned long>(descriptor_)) {
    return SocketCore::HandleMessage(message, descriptor, event);
  }
  if ((event & 0xFFFF) == kEventRead) {
    if (!inReceive_) {
      inReceive_ = true;
      static_cast<void>(Receive(false));
      inReceive_ = false;
      if (closePending_) static_cast<void>(Close(kEventClose));
    }
  } else if ((event & 0xFFFF) == kEventWrite) {
    static_cast<void>(OnReadyToSend());
  }
  return kStatusOk;
}

int UDPPort::DoEvents(int milliseconds, void* context) {
  if (context == nullptr || pumpDataInDoEvents_) static_cast<void>(Receive(false));
  return SocketCore::DoEvents(milliseconds, context);
}

// ---- settings ------------------------------------------------------------------------

int UDPPort::SetRemoteHost(const char* text) {
  ClearError();
  if (useConnection_ && descriptor_ != -1) {
    return ReturnError(kStatusUdpRemoteHostActive,
                       "Cannot change RemoteHost when UseConnection is set and the control is Active.");
  }
  remoteIpv4_.s_addr = 0;
  std::memset(&remoteIpv6_, 0, sizeof remoteIpv6_);
  remoteIpv6_.sin6_family = AF_INET6;
  if (text == nullptr || *text == '\0') return kStatusOk;
  if (std::strcmp(text, "255.255.255.255") == 0) {
    remoteIpv4_.s_addr = INADDR_BROADCAST;
    return kStatusOk;
  }
  if (ipv6Mode_ == 2) {
    in6_addr probe{};
    ipv6Flag_ = inet_pton(AF_INET6, text, &probe) == 1 ? 1 : 0;
  }
  if (ipv6Flag_ != 0) return str2ipv6addr(text, &remoteIpv6_, 0, SOCK_DGRAM);
  return SetDefaultIpv4Remote(text);
}

int UDPPort::SetDefaultIpv4Remote(const char* text) {
  in_addr address{};
  if (inet_aton(text, &address) != 0) {
    remoteIpv4_ = address;
    return kStatusOk;
  }
  if (useGetAddrInfo_ != 0) return Ipv4TextToAddress(text, &remoteIpv4_, 0, SOCK_DGRAM);
  // The thread-safe lookup in place of gethostbyname.
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  const int result = getaddrinfo(text, nullptr, &hints, &found);
  if (result != 0 || found == nullptr) return result != 0 ? result : EAI_NONAME;
  remoteIpv4_ = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
  freeaddrinfo(found);
  return kStatusOk;
}

const char* UDPPort::GetRemoteHost() {
  if (ipv6Flag_ != 0) return Ipv6AddressToText(&remoteIpv6_, remoteText_);
  if (remoteIpv4_.s_addr == 0) return "";
  std::snprintf(remoteText_, sizeof remoteText_, "%s", Ipv4AddressToText(remoteIpv4_));
  return remoteText_;
}

int UDPPort::SetRemotePort(int port) {
  ClearError();
  if (useConnection_ && descriptor_ != -1) {
    return ReturnError(kStatusUdpRemotePortActive,
                       "Cannot change RemotePort when UseConnection is set and the control is Active.");
  }
  remotePort_ = port;
  return kStatusOk;
}

int UDPPort::SetLocalPort(int port) {
  ClearError();
  if (descriptor_ != -1) {
    return ReturnError(kStatusUdpLocalPortActive, "You cannot change the LocalPort while the control is Active.");
  }
  localPort_ = port;
  return kStatusOk;
}

int UDPPort::GetLocalPort() {
  if (descriptor_ == -1) return localPort_;
  sockaddr_storage bound{};
  socklen_t size = sizeof bound;
  if (getsockname(descriptor_, reinterpret_cast<sockaddr*>(&bound), &size) != 0) return localPort_;
  if (bound.ss_family == AF_INET6) return ntohs(reinterpret_cast<const sockaddr_in6&>(bound).sin6_port);
  return ntohs(reinterpret_cast<const sockaddr_in&>(bound).sin_port);
}

int UDPPort::SetLocalHost(const char* text) {
  ClearError();
  if (descriptor_ != -1) {
    return ReturnError(kStatusUdpLocalHostActive, "Cannot change LocalHost while the control is Active.");
  }
  return SocketCore::SetLocalHost(text);
}

const char* UDPPort::GetLocalHost() {
  if (descriptor_ == -1) return SocketCore::GetLocalHost();
  sockaddr_storage bound{};
  socklen_t size = sizeof bound;
  if (getsockname(descriptor_, reinterpret_cast<sockaddr*>(&bound), &size) != 0) return SocketCore::GetLocalHost();
  if (bound.ss_family == AF_INET6) return Ipv6AddressToText(reinterpret_cast<const sockaddr_in6*>(&bound), localText_);
  std::snprintf(localText_, sizeof localText_, "%s",
                Ipv4AddressToText(reinterpret_cast<const sockaddr_in&>(bound).sin_addr));
  return localText_;
}

int UDPPort::SetUseConnection(bool on) {
  ClearError();
  if (descriptor_ != -1) {
    return ReturnError(kStatusUdpUseConnectionActive, "Cannot change UseConnection option while the control is Active.");
  }
  useConnection_ = on;
  return kStatusOk;
}

int UDPPort::SetShareLocalPort(bool on) {
  shareLocalPort_ = on;
  return kStatusOk;
}

int UDPPort::SetMaxPacketSize(int size) {
  ClearError();
  if (descriptor_ != -1) {
    return ReturnError(kStatusUdpPacketSizeActive, "Cannot change the MaxPacketSize while control is Active.");
  }
  // A datagram is never longer than this.
  const int capacity = size > kUdpMaxPacketSize ? kUdpMaxPacketSize : (size < 1 ? 1 : size);
  if (receiveQueue_.Allocate(static_cast<unsigned>(capacity)) == 0) return kStatusUdpNoMemory;
  return kStatusOk;
}

int UDPPort::SetQosFlags(int flags) {
  if (flags == 0 && qosFlags_ == 0) return kStatusOk;
  if (descriptor_ != -1) TORNELL_TRY(SetIntOption(descriptor_, IPPROTO_IP, IP_TOS, flags));
  qosFlags_ = flags;
  return kStatusOk;
}

int UDPPort::GetQosFlags() {
  if (descriptor_ != -1) {
    int value = 0;
    socklen_t size = sizeof value;
    if (getsockopt(descriptor_, IPPROTO_IP, IP_TOS, &value, &size) == 0) qosFlags_ = value;
  }
  return qosFlags_;
}

int UDPPort::SetTimeToLive(int ttl) {
  timeToLive_ = ttl;
  if (ttl == 0 || descriptor_ == -1) return kStatusOk;
  const int level = ipv6Flag_ != 0 ? IPPROTO_IPV6 : IPPROTO_IP;
  const int name = ipv6Flag_ != 0 ? IPV6_UNICAST_HOPS : IP_TTL;
  const int error = SetIntOption(descriptor_, level, name, ttl);
  if (error != 0) {
    int held = 0;
    socklen_t size = sizeof held;
    if (getsockopt(descriptor_, level, name, &held, &size) == 0) timeToLive_ = held;
  }
  return error;
}

// ---- configuration --------------------------------------------------------------------

int UDPPort::Config(ConfigSetting* setting, const char*& answer) {
  const bool query = setting->IsQuery();
  auto flag = [&](bool& field) {
    if (query) return SetConfigAnswer(answer, TrueFalse(field));
    field = setting->AsBool();
    return kStatusOk;
  };
  auto text = [&](ByteString& field) {
    if (query) return SetConfigAnswer(answer, field.CStr());
    return field.Set(setting->Value());
  };
  if (setting->NameIs("UseConnection")) {
    if (query) return SetConfigAnswer(answer, TrueFalse(useConnection_));
    return SetUseConnection(setting->AsBool());
  }
  if (setting->NameIs("ShareLocalPort")) return flag(shareLocalPort_);
  if (setting->NameIs("MaxPacketSize")) {
    if (query) return SetConfigAnswer(answer, GetMaxPacketSize());
    return SetMaxPacketSize(setting->AsInt());
  }
  if (setting->NameIs("QOSFlags")) {
    if (query) return SetConfigAnswer(answer, GetQosFlags());
    return SetQosFlags(setting->AsInt());
  }
  if (setting->NameIs("SocketHandle") && query) return SetConfigAnswer(answer, descriptor_);
  if (setting->NameIs("InBufferSize")) {
    if (query) return SetConfigAnswer(answer, GetReceiveBufferSize());
    return SetReceiveBufferSize(setting->AsInt());
  }
  if (setting->NameIs("OutBufferSize")) {
    if (query) return SetConfigAnswer(answer, GetSendBufferSize());
    return SetSendBufferSize(setting->AsInt());
  }
  if (setting->NameIs("TimeToLive") || setting->NameIs("TTL")) {
    if (query) return SetConfigAnswer(answer, timeToLive_);
    return SetTimeToLive(setting->AsInt());
  }
  if (setting->NameIs("PumpDataInDoEvents")) return flag(pumpDataInDoEvents_);
  if (setting->NameIs("CaptureIPPacketInfo")) {
    if (query) return SetConfigAnswer(answer, captureIpPacketInfo_ ? 1 : 0);
    captureIpPacketInfo_ = setting->AsBool();
    return kStatusOk;
  }
  if (setting->NameIs("DestinationAddress") && query) return SetConfigAnswer(answer, destinationAddress_.CStr());
  if (setting->NameIs("LocalHost")) {
    if (query) return SetConfigAnswer(answer, GetLocalHost());
    return SetLocalHost(setting->Value());
  }
  if (setting->NameIs("LocalPort")) {
    if (query) return SetConfigAnswer(answer, GetLocalPort());
    return SetLocalPort(setting->AsInt());
  }
  if (setting->NameIs("SourceIPAddress")) return text(sourceIpAddress_);
  if (setting->NameIs("DontFragment")) return flag(dontFragment_);
  return SocketCore::Config(setting, answer);
}

}  // namespace tornell
