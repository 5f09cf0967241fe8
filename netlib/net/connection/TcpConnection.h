#pragma once
// Non-blocking TCP client socket: remote and local endpoint, name resolution,
// the asynchronous connect, socket-event dispatch, receive with record
// splitting, send, the TCP options and the transfer-rate limiter. Every
// connect, received byte and writable event passes the proxy negotiator; the
// results reach the socket hooks a subclass implements. The embedded TLS
// engine writes its records through SendRaw and hands everything else back
// through the owner calls, which a subclass overrides.
#include <netinet/in.h>

#include <cstdint>

#include "core/buffer/ByteQueue.h"
#include "core/socket/SocketCore.h"
#include "core/text/ByteString.h"
#include "net/proxy/FirewallNegotiator.h"
#include "tls/engine/TlsEngine.h"
#include "tls/engine/TlsOwner.h"

namespace tornell {

constexpr int kTcpSocketMessage = 101;
// Read, write, connect and close.
constexpr long kTcpEventMask = kEventRead | kEventWrite | kEventConnect | kEventClose;

constexpr int kStatusRemotePortBusy = 100;
constexpr int kStatusRemoteHostBusy = 101;
constexpr int kStatusAddressInvalid = 102;
constexpr int kStatusAlreadyConnected = 104;
constexpr int kStatusLocalPortBusy = 106;
constexpr int kStatusNotConnected = 107;
constexpr int kStatusWouldBlock = 11;
constexpr int kStatusMaxLineLengthBusy = 112;
constexpr int kStatusPortZero = 116;

class TcpConnection : public SocketCore, public TlsOwner {
 public:
  static constexpr unsigned kDefaultMaxLineLength = 2048;
  static constexpr unsigned kMaxLineLengthLimit = 65536;
  // Idle time after which the transfer-rate window starts afresh.
  static constexpr long kRateWindowIdleMs = 60000;

  TcpConnection();
  ~TcpConnection() override;

  // Nonzero on success.
  int Reset();

  // ---- virtual operations, in slot order ----
  [[nodiscard]] virtual int Connect(int connect);
  [[nodiscard]] virtual int SetMaxLineLength(unsigned length);
  virtual unsigned GetMaxLineLength() const { return receiveQueue_.Capacity(); }
  virtual int Close();
  [[nodiscard]] virtual int Receive(int mode);
  [[nodiscard]] virtual int SendPlain(const char* data, int length);
  virtual int OnProxyReply(const char* data, int length);
  [[nodiscard]] virtual int TlsSetDefaults(int role);
  [[nodiscard]] virtual int TlsStartHandshake();
  [[nodiscard]] virtual int TlsClose(long code, int fromPeer);
  [[nodiscard]] virtual int TlsReceive(const char* data, int length);
  [[nodiscard]] virtual int TlsSend(const char* data, int length, int& sent);
  [[nodiscard]] virtual int TlsFlushPending();
  int SendRaw(const char* data, int length, int& sent) override;
  int OnTlsData(const char* data, int length) override;
  int OnTlsHandshakeDone(const char* error) override;
  int OnTlsStatus(const char* text) override;
  int OnTlsError(int code, const char* text) override;
  int OnTlsCertificate(ByteString& encoded, SelectedCertificate& certificate, int status, const char* text,
                       int& accept) override;
  int ReturnError(int code, const char* text) override { return ComponentBase::ReturnError(code, text); }
  [[nodiscard]] virtual int CopyTlsFrom(TcpConnection* other);
  virtual int OnSocketConnected(int code) = 0;
  virtual int OnSocketDisconnected(int code) = 0;
  virtual int OnSocketData(const char* data, int length, int eol) = 0;
  virtual int OnSocketError(int code, const char* text) = 0;
  virtual int OnSocketWritable() = 0;
  virtual int OnSocketStatus(const char* text, int code) = 0;
  virtual int OnRecord(const char* data, int length, int eol);
  virtual int OnLog(int level, const char* message, const char* type);

  // ---- overrides ----
  int HandleMessage(int message, unsigned long descriptor, long event) override;
  int Config(ConfigSetting* setting, const char*& answer) override;
  const char* GetLocalHost() override;

  // ---- operations ----
  [[nodiscard]] int Disconnect(long code);
  [[nodiscard]] int Send(const char* data, int length, int flags, int afterNegotiation);
  int OnSocketEvent(int message, unsigned long descriptor, long event);
  long GetTransferRate();
  long GetTransferRateAt(uint32_t now);
  [[nodiscard]] int ThrottleTransfer();
  // The send loop counts what it sent.
  void NoteTransferred(long bytes, uint32_t now);
  [[nodiscard]] int SplitRecords(const char* data, int length, int eol);

  // ---- settings ----
  [[nodiscard]] int SetRemoteHost(const char* text);
  const char* GetRemoteHost();
  const char* GetRemoteHostText() const { return remoteHost_.CStr(); }
  [[nodiscard]] int SetRemotePort(int port);
  int GetRemotePort() const { return remotePort_; }
  [[nodiscard]] int SetLocalPort(int port);
  int GetLocalPort();
  [[nodiscard]] int SetReceiveEnabled(int value);
  int GetReceiveEnabled() const { return receiveEnabled_; }
  [[nodiscard]] int SetEol(const char* bytes, int length);
  int GetEol(char** bytes, int* length) const { return receiveQueue_.GetTerminator(bytes, length); }
  [[nodiscard]] int SetSplitCrlf(int on);
  int GetSplitCrlf() const { return receiveQueue_.IsLineMode(); }
  [[nodiscard]] int SetLinger(int flag);
  int GetLinger() const { return linger_; }
  [[nodiscard]] int SetLingerTime(int seconds);
  int GetLingerTime() const { return lingerTime_; }
  [[nodiscard]] int SetKeepAlive(int value);
  int GetKeepAlive() const { return keepAlive_; }
  [[nodiscard]] int SetKeepAliveTime(int milliseconds);
  int GetKeepAliveTime() const { return keepAliveTime_; }
  [[nodiscard]] int SetKeepAliveInterval(int milliseconds);
  int GetKeepAliveInterval() const { return keepAliveInterval_; }
  [[nodiscard]] int SetTcpNoDelay(int value);
  int GetTcpNoDelay() const { return tcpNoDelay_; }
  [[nodiscard]] int SetShareLocalPort(int value);
  int GetShareLocalPort() const { return shareLocalPort_; }
  int SetMaxReceiveDataTime(int milliseconds);
  int GetMaxReceiveDataTime() const { return maxReceiveDataTime_; }
  int SetMaxTransferRate(long bytesPerSecond);
  long GetMaxTransferRate() const { return maxTransferRate_; }
  [[nodiscard]] int SetProxyExceptionsList(const char* text) { return proxyExceptions_.Set(text); }
  const char* GetProxyExceptionsList() const { return proxyExceptions_.CStr(); }
  [[nodiscard]] int SetRecordLength(int length);
  int GetRecordLength() const { return recordLength_; }

  [[nodiscard]] int SetFirewallType(int type) { return proxy_.SetType(type); }
  int GetFirewallType() const { return proxy_.GetType(); }
  [[nodiscard]] int SetFirewallHost(const char* text);
  const char* GetFirewallHost() { return proxy_.GetHost(); }
  [[nodiscard]] int SetFirewallPort(int port) { return proxy_.SetPort(port); }
  int GetFirewallPort() const { return proxy_.GetPort(); }
  [[nodiscard]] int SetFirewallUser(const char* text) { return proxy_.SetUser(text); }
  const char* GetFirewallUser() const { return proxy_.GetUser(); }
  [[nodiscard]] int SetFirewallPassword(const char* text) { return proxy_.SetPassword(text); }
  const char* GetFirewallPassword() const { return proxy_.GetPassword(); }
  [[nodiscard]] int SetFirewallAutoDetect(int value) { return proxy_.SetAutoDetect(value); }
  bool GetFirewallAutoDetect() const { return proxy_.GetAutoDetect(); }
  FirewallNegotiator& Proxy() { return proxy_; }

  // The TLS lists: validated, then handed to the engine at each handshake.
  [[nodiscard]] int SetTls12SupportedGroups(const char* text);
  const char* GetTls12SupportedGroups() const { return tls12Groups_.CStr(); }
  [[nodiscard]] int SetTls13SupportedGroups(const char* text);
  const char* GetTls13SupportedGroups() const { return tls13Groups_.CStr(); }
  [[nodiscard]] int SetTls13KeyShareGroups(const char* text);
  const char* GetTls13KeyShareGroups() const { return tls13KeyShareGroups_.CStr(); }
  [[nodiscard]] int SetTls13SignatureAlgorithms(const char* text);
  const char* GetTls13SignatureAlgorithms() const { return tls13Schemes_.CStr(); }
  [[nodiscard]] int SetTls12SignatureAlgorithms(const char* text);
  const char* GetTls12SignatureAlgorithms() const { return tls12SignatureAlgorithms_.CStr(); }
  int GetLogSslPackets() const { return logSslPackets_; }
  void SetLogSslPackets(int value) { logSslPackets_ = value != 0 ? 1 : 0; }
  int GetGracefullyShutDownSsl() const { return gracefulTlsShutdown_; }
  TlsEngine& Tls() { return tls_; }

  int GetSocketHandle() const { return descriptor_; }
  bool IsConnected() const { return connected_ != 0 && !proxy_.IsNegotiating(); }
  bool IsNegotiatingProxy() const { return proxy_.GetType() != kFirewallNone && proxy_.IsNegotiating(); }
  bool IsConnecting() const { return connecting_ != 0; }
  int GetBytesLastSent() const { return bytesLastSent_; }
  int GetReadyToSend() const { return readyToSend_; }
  void SetReadyToSend(int value) { readyToSend_ = value; }
  ByteQueue& ReceiveQueue() { return receiveQueue_; }

 protected:
  // True while the receive loop may go on reading.
  bool MayRead() const;
  bool LogsReceivedData() const;
  [[nodiscard]] int FinishDisconnect(long code, bool drain);
  [[nodiscard]] int Deliver(const char* data, int length, int eol);
  [[nodiscard]] int DeliverRecords();
  // Encrypted input is read in blocks of this size, not the queue's.
  static constexpr int kTlsReadSize = 65536;
  static constexpr int kTlsReadDrained = -1;
  static constexpr int kTlsReadClosed = -2;
  bool ReadsTlsRecords(int mode) const;
  [[nodiscard]] int ReceiveTlsRecords();
  [[nodiscard]] int ResetTlsLists();
  [[nodiscard]] int ApplyLinger(int flag);
  [[nodiscard]] int ApplyShareLocalPort();
  [[nodiscard]] int OpenSocket(const sockaddr_in& target);

  ByteString remoteHost_;
  in_addr remoteIpv4_{};
  sockaddr_in6 remoteIpv6_{};
  int remotePort_ = 0;
  int localPort_ = 0;
  long pendingCloseCode_ = 0;
  int bytesLastSent_ = 0;
  int readyToSend_ = 0;
  FirewallNegotiator proxy_;
  ByteString proxyExceptions_;
  ByteQueue receiveQueue_;
  ByteString tlsReadBlock_;
  // A received byte that did not fit the queue; it goes in before any other.
  char heldByte_ = 0;
  uint8_t holdsByte_ = 0;
  ByteString recordBuffer_;
  int recordLength_ = 0;
  uint8_t splittingRecords_ = 0;
  TlsEngine tls_;
  ByteString tls12Groups_;
  ByteString tls13Groups_;
  ByteString tls13KeyShareGroups_;
  ByteString tls13Schemes_;
  ByteString tls12SignatureAlgorithms_;
  int logSslPackets_ = 0;
  uint8_t connected_ = 0;
  uint8_t connecting_ = 0;
  uint8_t receiveEnabled_ = 1;
  uint8_t linger_ = 1;
  int lingerTime_ = 0;
  int keepAlive_ = 0;
  int keepAliveTime_ = 0;
  int keepAliveInterval_ = 0;
  int maxReceiveDataTime_ = 0;
  uint8_t closePending_ = 0;
  uint8_t tcpNoDelay_ = 0;
  uint8_t shareLocalPort_ = 0;
  uint8_t gracefulTlsShutdown_ = 0;
  long maxTransferRate_ = 0;
  long transferBytes_ = 0;
  long windowStart_ = 0;
  long lastActivity_ = 0;
  uint8_t bindIpv6Address_ = 1;
  uint8_t inReceive_ = 0;
  // Set while Disconnect drains and closes, so a hook that disconnects
  // again from inside that drain does not start a second close.
  uint8_t disconnecting_ = 0;
  char remoteText_[60] = {};
  char localText_[60] = {};
};

}  // namespace tornell
