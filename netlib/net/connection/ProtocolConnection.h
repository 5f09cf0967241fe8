#pragma once
// The blocking operations the components' methods run on: connect and wait,
// disconnect and wait, send everything (waiting out would-block), send in
// chunks with progress, and wait for a reply. Every wait is a loop of single
// wait steps in which the socket and component events run; an interrupt
// request or the deadline ends it with 301.
#include "core/text/ByteString.h"
#include "net/connection/SecureConnection.h"

namespace tornell {

class ProtocolConnection : public SecureConnection {
 public:
  // WaitForReply reads on its own after this many wait steps.
  static constexpr int kReadEverySteps = 1001;

  ProtocolConnection();
  ~ProtocolConnection() override;

  // Nonzero on success.
  int Reset();

  // ---- virtual operations, in slot order ----
  virtual int GetMaskSensitive() const { return maskSensitive_; }
  virtual int OnProgress(int bytesSoFar);
  virtual int BeforeSend(const char* data, int length);
  virtual int AfterSend(const char* data, int length);
  virtual int CheckReply();

  // ---- overrides ----
  int Config(ConfigSetting* setting, const char*& answer) override;
  int ReturnError(int code, const char* text) override;
  int OnConnected(int code) override;
  int OnDisconnected(int code) override;
  int FireDataIn(const char* data, int length, int eol) override { return OnDataIn(data, length, eol); }

  // ---- operations ----
  int Interrupt();
  [[nodiscard]] int ConnectAndWait();
  [[nodiscard]] int ConnectTo(const char* host, int port);
  [[nodiscard]] int DisconnectAndWait();
  [[nodiscard]] int WaitForDisconnect();
  [[nodiscard]] int WaitForReply();
  [[nodiscard]] int SendData(const char* data, int length, int progress, int hooks);
  [[nodiscard]] int SendText(const char* text);
  [[nodiscard]] int SendInChunks(const char* data, int length, int chunkSize, int hooks);
  int OnDataIn(const char* data, int length, int eol);

  // ---- settings ----
  void SetSingleLineMode(bool on) { singleLineMode_ = on ? 1 : 0; }
  int GetSingleLineMode() const { return singleLineMode_; }
  void SetMaskSensitive(bool on) { maskSensitive_ = on ? 1 : 0; }
  int GetConnectionTimeout() const { return connectionTimeout_; }
  void SetConnectionTimeout(int value) { connectionTimeout_ = value; }
  const ByteString& GetReply() const { return reply_; }
  int IsWaitingForReply() const { return waiting_; }

 protected:
  ByteString reply_;
  uint8_t waiting_ = 0;
  uint8_t singleLineMode_ = 1;
  int connectCode_ = 0;
  int disconnectCode_ = 0;
  ByteString connectErrorText_;
  int connectionTimeout_ = 0;
  const char* chunk_ = nullptr;
  int chunkLength_ = 0;
  ByteString transferText_;
  uint8_t useExtendedDst_ = 1;
  uint8_t maskSensitive_ = 0;
};

}  // namespace tornell
