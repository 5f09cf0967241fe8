#pragma once
// The socket object of the IPPort component: blocking or non-blocking by the
// Timeout setting (0 = non-blocking), bytes, lines and files out, lines and
// fixed-length records in, and every connection event passed to the
// component.
#include <cstdint>

#include "net/connection/ProtocolConnection.h"

namespace tornell {

class IPPortBase;

constexpr int kStatusSendFileNoName = 3;
constexpr int kStatusNotBlocking = 702;
constexpr int kSendFileChunk = 16384;
// The reply buffer is emptied once it holds more than this many lines' worth.
constexpr unsigned kReplyLinesKept = 20;

class TcpClientCore : public ProtocolConnection {
 public:
  TcpClientCore() = default;
  ~TcpClientCore() override = default;

  // 1 on success, 0 when the reset fails.
  int Init();

  // ---- added virtual operations, in slot order ----
  virtual int Reinit() { return Init() != 0 ? 0 : 1; }
  virtual int OnLineData(const char* data, int length, int eol);
  virtual int OnSendFileProgress(int) { return 0; }

  // ---- overrides ----
  int RegisterSocket(long descriptor, long mask, void*& handle) override;
  int ExternalWait(long& milliseconds) override;
  int ExternalRegisterSocket(long descriptor, long mask, void*& handle) override;
  int ExternalUnregisterSocket(void* handle) override;
  int FireError(int code, char* description) override;
  int OnRecord(const char* data, int length, int eol) override;
  int OnSocketData(const char* data, int length, int eol) override;
  int DeliverData(const char* data, int length, int eol) override;
  int FireConnected(int code, const char* description) override;
  int FireDataIn(const char* data, int length, int eol) override;
  int FireDisconnected(int code, const char* description) override;
  int FireReadyToSend() override;
  int FireConnectionStatus(const char* event, int code, const char* description) override;
  int FireSSLServerAuthentication(const char* encoded, int length, const char* subject, const char* issuer,
                                  const char* status, int& accept) override;
  int FireSSLStatus(const char* message) override;

  // ---- operations ----
  [[nodiscard]] int SetConnected(int on);
  [[nodiscard]] int Connect(const char* host, int port);
  [[nodiscard]] int Disconnect();
  [[nodiscard]] int SendBytes(const char* data, int length);
  [[nodiscard]] int SendLine(const char* text);
  [[nodiscard]] int SendFile(const char* fileName);
  [[nodiscard]] int GetLine(const char*& line);
  [[nodiscard]] int StartSSL();
  int64_t GetBytesSent() const;
  int GetSingleLineMode() const { return ProtocolConnection::GetSingleLineMode(); }
  [[nodiscard]] int SetSingleLineMode(int on);

 private:
  bool Blocking() const { return GetTimeout() != 0; }
  IPPortBase* Sink();
  void ResumeReceive();

  uint8_t fileSend_ = 0;
  int64_t fileBytes_ = 0;
};

}  // namespace tornell
