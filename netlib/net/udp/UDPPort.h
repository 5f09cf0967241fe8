#pragma once
// Datagram socket: one UDP socket (IPv4 or IPv6), optionally connected to a
// fixed peer, that sends datagrams to the remote end and hands every
// datagram read from the socket-event loop to OnDataIn with its sender.
#include <netinet/in.h>

#include <cstdint>

#include "core/buffer/ByteQueue.h"
#include "core/socket/SocketCore.h"
#include "core/text/ByteString.h"

namespace tornell {

constexpr int kUdpSocketMessage = 102;
constexpr long kUdpEventMask = kEventRead | kEventWrite;
constexpr int kUdpDefaultPacketSize = 8192;
constexpr int kUdpMaxPacketSize = 65536;

constexpr int kStatusUdpAlreadyActive = 104;
constexpr int kStatusUdpLocalPortActive = 106;
constexpr int kStatusUdpLocalHostActive = 107;
constexpr int kStatusUdpNotActive = 109;
constexpr int kStatusUdpPacketSizeActive = 112;
constexpr int kStatusUdpRemoteHostActive = 114;
constexpr int kStatusUdpRemotePortActive = 115;
constexpr int kStatusUdpPortZero = 116;
constexpr int kStatusUdpUseConnectionActive = 117;
constexpr int kStatusUdpNoMemory = 200;
constexpr int kStatusUdpUnreachable = 104;  // ECONNRESET on a receive
constexpr int kStatusUdpNotSocket = 88;      // ENOTSOCK on a receive

// Receiver of a UDPPort's events, registered with SetEventSink. The code
// page is handed over before every event.
class UDPPortEvents {
 public:
  virtual ~UDPPortEvents() = default;
  virtual int OnCodePage(int) { return 0; }
  virtual int OnDataIn(const char* data, int length, const char* sourceAddress, int sourcePort) = 0;
  virtual int OnError(int code, const char* description) = 0;
  virtual int OnReadyToSend() { return 0; }
  // External event loop (events 2000, 2001, 2002).
  virtual int OnExternalWait(long&) { return 0; }
  virtual int OnExternalRegister(long, long, void*&) { return 0; }
  virtual int OnExternalUnregister(void*) { return 0; }
};

class UDPPort : public SocketCore {
 public:
  UDPPort();
  ~UDPPort() override;

  int Reset();

  // ---- overrides of SocketCore ----
  int HandleMessage(int message, unsigned long descriptor, long event) override;
  int Config(ConfigSetting* setting, const char*& answer) override;
  int RegisterSocket(long descriptor, long mask, void*& handle) override;
  int ExternalWait(long& milliseconds) override;
  int ExternalRegisterSocket(long descriptor, long mask, void*& handle) override;
  int ExternalUnregisterSocket(void* handle) override;
  const char* GetLocalHost() override;
  [[nodiscard]] int SetLocalHost(const char* text) override;
  int DoEvents(int milliseconds, void* context) override;
  int FireError(int code, char* description) override;

  // ---- added virtual operations ----
  virtual int OnDataIn(const char* data, int length, const char* sourceAddress, int sourcePort);
  virtual int OnReadyToSend();
  virtual int ReportError(int code, const char* text);

  // ---- operations ----
  [[nodiscard]] int SetActive(bool active);
  bool IsActive() const { return descriptor_ != -1; }
  [[nodiscard]] int Send(const char* bytes, int length);
  [[nodiscard]] int Close(int code);

  // ---- settings ----
  [[nodiscard]] int SetRemoteHost(const char* text);
  const char* GetRemoteHost();
  [[nodiscard]] int SetRemotePort(int port);
  int GetRemotePort() const { return remotePort_; }
  [[nodiscard]] int SetLocalPort(int port);
  int GetLocalPort();
  [[nodiscard]] int SetMaxPacketSize(int size);
  int GetMaxPacketSize() const { return static_cast<int>(receiveQueue_.Capacity()); }
  [[nodiscard]] int SetQosFlags(int flags);
  int GetQosFlags();
  [[nodiscard]] int SetTimeToLive(int ttl);
  int GetTimeToLive() const { return timeToLive_; }
  [[nodiscard]] int SetUseConnection(bool on);
  bool GetUseConnection() const { return useConnection_; }
  int SetShareLocalPort(bool on);
  bool GetShareLocalPort() const { return shareLocalPort_; }
  int GetSocketHandle() const { return descriptor_; }
  const char* GetDestinationAddress() const { return destinationAddress_.CStr(); }

 protected:
  UDPPortEvents* Sink();
  [[nodiscard]] int Receive(bool final);
  [[nodiscard]] int ReadOne(int& received, sockaddr_storage& from);
  [[nodiscard]] int Open();
  [[nodiscard]] int OpenSocket();
  [[nodiscard]] int BindSocket();
  void ApplyOptions();
  [[nodiscard]] int SendPlain(const char* bytes, int length);
  [[nodiscard]] int SendWithSource(const char* bytes, int length, const sockaddr_in& to);
  [[nodiscard]] int FailOpen(int code);
  int CloseSocket();
  [[nodiscard]] int SetDefaultIpv4Remote(const char* text);

  ByteQueue receiveQueue_;
  in_addr remoteIpv4_{};
  sockaddr_in6 remoteIpv6_{};
  int remotePort_ = 0;
  int localPort_ = 0;
  int qosFlags_ = 0;
  int timeToLive_ = 0;
  bool inReceive_ = false;
  bool closePending_ = false;
  bool pumpDataInDoEvents_ = false;
  bool useConnection_ = false;
  bool shareLocalPort_ = false;
  bool captureIpPacketInfo_ = false;
  bool dontFragment_ = false;
  ByteString destinationAddress_;
  ByteString sourceIpAddress_;
  char remoteText_[60] = {};
  char localText_[60] = {};
};

}  // namespace tornell
