#include "http/headers/HttpLog.h"

#include "core/base/Status.h"
#include "http/headers/HeaderText.h"

namespace tornell {

int HttpLog::Emit(int level, ByteString& text, const char* type) {
  TORNELL_TRY(http::MaskBasicCredentials(text));
  if (sink_ == nullptr) return kStatusOk;
  return sink_->FireLog(level, text.CStr(), type != nullptr ? type : "");
}

int HttpLog::LogText(int level, const char* text, const char* type) {
  if (level_ < level) return kStatusOk;
  ByteString line;
  TORNELL_TRY(line.Set(text));
  return Emit(level, line, type);
}

int HttpLog::Log1(const char* prefix, const char* text, const char* type) {
  if (level_ < 1) return kStatusOk;
  ByteString line;
  TORNELL_TRY(line.Set(prefix));
  TORNELL_TRY(line.Append(text));
  return Emit(1, line, type);
}

int HttpLog::Log2(const char* prefix, const char* text, const char* type) {
  if (level_ < 2) return kStatusOk;
  ByteString line;
  TORNELL_TRY(line.Set(prefix));
  TORNELL_TRY(line.Append(text));
  return Emit(2, line, type);
}

int HttpLog::Log3(const char* text, const char* type) { return LogText(3, text, type); }

int HttpLog::LogBody(const void* data, int length, const char* type) {
  if (level_ < 2 || data == nullptr || length <= 0) return kStatusOk;
  ByteString line;
  TORNELL_TRY(line.Set(data, length));
  return Emit(3, line, type);
}

int HttpLog::LogProxyRequest(const void* data, int length) {
  if (level_ < 1) return kStatusOk;
  ByteString line;
  TORNELL_TRY(http::EscapeControl(data, length, line));
  return Emit(1, line, "FirewallRequest");
}

int HttpLog::LogProxyResponse(const void* data, int length) {
  if (level_ < 1) return kStatusOk;
  ByteString line;
  TORNELL_TRY(http::EscapeControl(data, length, line));
  return Emit(1, line, "FirewallResponse");
}

}  // namespace tornell
