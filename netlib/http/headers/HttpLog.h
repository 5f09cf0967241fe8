#pragma once
// The HTTP object's log operations: a line reaches the Log event only when
// its level is at most the log level, with any Basic credential masked.
#include "core/text/ByteString.h"

namespace tornell {

// Receiver of the lines; the protocol object passes them to its Log event.
class HttpLogSink {
 public:
  virtual ~HttpLogSink() = default;
  [[nodiscard]] virtual int FireLog(int level, const char* message, const char* type) = 0;
};

class HttpLog {
 public:
  static constexpr int kDefaultLevel = 1;

  explicit HttpLog(HttpLogSink* sink) : sink_(sink) {}

  int Level() const { return level_; }
  void SetLevel(int level) { level_ = level; }

  [[nodiscard]] int LogText(int level, const char* text, const char* type);
  // prefix + text at levels 1 and 2; a single text at level 3.
  [[nodiscard]] int Log1(const char* prefix, const char* text, const char* type);
  [[nodiscard]] int Log2(const char* prefix, const char* text, const char* type);
  [[nodiscard]] int Log3(const char* text, const char* type);
  // Body bytes, raised with level 3 from log level 2 up.
  [[nodiscard]] int LogBody(const void* data, int length, const char* type);
  // Proxy exchange, escaped, at level 1.
  [[nodiscard]] int LogProxyRequest(const void* data, int length);
  [[nodiscard]] int LogProxyResponse(const void* data, int length);

 private:
  [[nodiscard]] int Emit(int level, ByteString& text, const char* type);

  HttpLogSink* sink_;
  int level_ = kDefaultLevel;
};

}  // namespace tornell
