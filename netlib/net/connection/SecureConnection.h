#pragma once
// TLS over the TCP connection, driven by the embedded engine, and the
// connection events every component raises. The events do nothing here: the
// components override them to reach their hosts. Decrypted data pass a second
// queue that splits them into records by the EOL.
#include "core/buffer/ByteQueue.h"
#include "core/text/ByteString.h"
#include "net/connection/TcpConnection.h"

namespace tornell {

constexpr int kStatusTlsHandshakeFailed = 276;

class SecureConnection : public TcpConnection {
 public:
  static constexpr int kSslStateIdle = 12;
  static constexpr int kSslStatePlatformConnecting = 13;
  // With an EOL, a partial record waits while at least this much room is left.
  static constexpr unsigned kPartialRecordRoom = 256;
  // Decrypted bytes held back while delivery is off; above this the socket is
  // no longer read until delivery resumes.
  static constexpr int kTlsPendingLimit = 1 << 20;

  SecureConnection();
  ~SecureConnection() override;

  // Nonzero on success.
  int Reset();

  // ---- virtual operations, in slot order ----
  virtual int LogSslStatus(const char* text) { return FireSSLStatus(text); }
  virtual int NotifyReadyToSend() { return FireReadyToSend(); }
  virtual int OnConnected(int code);
  virtual int DeliverData(const char* data, int length, int eol) { return FireDataIn(data, length, eol); }
  virtual int OnDisconnected(int code);
  virtual int CheckServerCertificate(const char* encoded, int length, const char* subject, const char* issuer,
                                     const char* status, int& accept);
  virtual int FireConnected(int code, const char* description);
  virtual int FireDataIn(const char* data, int length, int eol);
  virtual int FireDisconnected(int code, const char* description);
  virtual int FireReadyToSend();
  virtual int FireConnectionStatus(const char* event, int code, const char* description);
  [[nodiscard]] virtual int SetUseSSL(bool on);
  [[nodiscard]] virtual int StopSsl();
  [[nodiscard]] virtual int SetReceiveEnabled(int value);
  virtual int GetReceiveEnabled() const;
  virtual int FireSSLServerAuthentication(const char* encoded, int length, const char* subject, const char* issuer,
                                          const char* status, int& accept);
  virtual int FireSSLStatus(const char* message);
  virtual int OnTlsStartModeChanged(int mode);

  // True while the receiver frames the decrypted stream itself (no
  // terminator, no split into lines): records then reach it whole.
  virtual bool TakesWholeRecords() const { return false; }

  // ---- overrides ----
  int DataHook(int kind, const char* data, int length) override { return SocketCore::DataHook(kind, data, length); }
  int FireError(int code, char* description) override;
  int SetMaxLineLength(unsigned length) override;
  unsigned GetMaxLineLength() const override;
  int Close() override;
  int Receive(int mode) override;
  int OnTlsData(const char* data, int length) override;
  int OnTlsHandshakeDone(const char* error) override;
  int OnTlsStatus(const char* text) override;
  int OnTlsError(int code, const char* text) override;
  int OnTlsCertificate(ByteString& encoded, SelectedCertificate& certificate, int status, const char* text,
                       int& accept) override;
  int OnSocketConnected(int code) override;
  int OnSocketDisconnected(int code) override;
  int OnSocketData(const char* data, int length, int eol) override;
  int OnSocketError(int code, const char* text) override;
  int OnSocketWritable() override;
  int OnSocketStatus(const char* text, int code) override;

  // ---- operations ----
  [[nodiscard]] int SetConnected(int connect, long code);
  [[nodiscard]] int Send(const char* data, int length, int flags);
  int GetBytesSent() const { return tlsEnabled_ != 0 ? tlsBytesSent_ : bytesLastSent_; }
  bool IsConnected() const;
  [[nodiscard]] int StartSsl();
  [[nodiscard]] int StartSslAndWait();
  [[nodiscard]] int DeliverTlsData(const char* data, int length);

  // ---- settings ----
  [[nodiscard]] int SetEol(const char* bytes, int length);
  int GetEol(char** bytes, int* length) const;
  [[nodiscard]] int SetSplitCrlf(int on);
  int GetSplitCrlf() const;
  int GetUseSSL() const { return tlsEnabled_; }
  int GetTlsStartMode() const { return tlsStartMode_; }
  [[nodiscard]] int SetTlsStartMode(int mode);
  bool GetTlsEnabled() const { return tlsStartMode_ != 3; }
  [[nodiscard]] int SetTlsEnabled(bool on);
  [[nodiscard]] int SetAlpnList(const char* text) { return alpnList_.Set(text != nullptr ? text : ""); }
  const char* GetAlpnList() const { return alpnList_.CStr(); }
  const char* GetNegotiatedAlpn() const { return negotiatedAlpn_.CStr(); }
  int GetNegotiatedAlpnLength() const { return negotiatedAlpn_.Length(); }
  void ClearNegotiatedAlpn() { negotiatedAlpn_.Clear(); }
  int GetStoredBytes(char** bytes, int* length) const;
  [[nodiscard]] int SetStoredBytes(const char* bytes, int& length);
  int GetClearedBytes(char** bytes, int* length);
  int GetSslState() const { return sslState_; }
  int GetTlsPendingLength() const { return tlsPending_.Length() - pendingStart_; }
  ByteQueue& TlsQueue() { return tlsQueue_; }

 protected:
  bool UsesInternalEngine() const { return useInternalSecurity_ != 0; }
  // The engine's settings for one handshake, each step's failure returned.
  [[nodiscard]] int ConfigureTls();
  // The description an event carries: "OK" for 0, else the error text.
  const char* Description(int code, bool fillText);
  int RaiseError(int code, const char* text);
  [[nodiscard]] int QueuePending();

  ByteString alpnList_;
  ByteString negotiatedAlpn_;
  ByteQueue tlsQueue_;
  // tlsPending_ from pendingStart_ on: decrypted bytes the queue had no room for.
  ByteString tlsPending_;
  int pendingStart_ = 0;
  int tlsReceiveEnabled_ = 1;
  int sslState_ = kSslStateIdle;
  int tlsStartMode_ = 3;
  char* storedBytes_ = nullptr;
  int storedLength_ = 0;
  ByteString clearedBytes_;
  int tlsBytesSent_ = 0;
};

}  // namespace tornell
