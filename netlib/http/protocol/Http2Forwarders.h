#pragma once
// What the HTTP/2 connection asks of the protocol object, each passed to the
// protocol object's own operation.
#include "core/text/ByteString.h"
#include "http/h2/Http2Owner.h"

namespace tornell {

class HttpProtocol;

class Http2Forwarders : public Http2Owner {
 public:
  explicit Http2Forwarders(HttpProtocol& protocol) : protocol_(protocol) {}

  int GetLogLevel() override;
  int Log(const char* text, const char* category) override;
  bool IsInterruptPending() override;
  int DoEvents() override;
  [[nodiscard]] int SendText(const char* text) override;
  [[nodiscard]] int SendBytes(const char* data, int length) override;
  [[nodiscard]] int SendInChunks(const char* data, int length, int chunk, int flag) override;
  int DeliverEvent(int kind, const void* data, int length) override;

  // Writes from BeginBatch to EndBatch leave in one send, in their order.
  // The first request's preface, SETTINGS, WINDOW_UPDATE and HEADERS as
  // separate small sends would wait, under Nagle's algorithm, for the
  // server's delayed acknowledgement of the first of them.
  void BeginBatch() { batching_ = true; }
  [[nodiscard]] int EndBatch();

 private:
  [[nodiscard]] int Write(const char* data, int length);
  [[nodiscard]] int Flush();

  HttpProtocol& protocol_;
  bool batching_ = false;
  ByteString batch_;
};

}  // namespace tornell
