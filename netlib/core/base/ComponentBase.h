#pragma once
// Root of every component and protocol object: last error, code page, debug-log
// settings, the event sink and the chain of configuration handlers.

#include <cstdint>

#include "core/text/ByteString.h"
#include "core/base/ConfigSetting.h"

namespace tornell {

class ComponentBase {
 public:
  ComponentBase() = default;
  virtual ~ComponentBase() = default;
  ComponentBase(const ComponentBase&) = delete;
  ComponentBase& operator=(const ComponentBase&) = delete;

  virtual void NoOpHook() {}
  virtual int GetCodePage() { return codePage_; }
  virtual int HandleMessage(int message, unsigned long descriptor, long event);
  // Each class takes its own keys and passes every other key to its base.
  virtual int Config(ConfigSetting* setting, const char*& answer);
  virtual int PollEvents(long timeout);

  // Parses "name[index]=value" (or a bare name to read) and runs the handler
  // chain. The answer stays valid until this object's next answer.
  [[nodiscard]] int ConfigText(const char* text, const char*& answer);

  [[nodiscard]] int SetConfigAnswer(const char*& answer, const char* value);
  [[nodiscard]] int SetConfigAnswer(const char*& answer, int value);
  [[nodiscard]] int SetConfigAnswer(const char*& answer, long value);
  [[nodiscard]] int SetConfigAnswer(const char*& answer, unsigned long value);
  [[nodiscard]] int SetConfigAnswer(const char*& answer, unsigned int value);

  int GetLastErrorCode() const { return errorCode_; }
  int SetLastErrorCode(int code) { return errorCode_ = code; }
  const char* GetLastErrorText() const { return errorText_.CStr(); }
  void ClearError();
  int IsErrorTextEmpty() const { return errorText_.Length() == 0 ? 1 : 0; }
  // The error text is best effort: a text that cannot be stored leaves it
  // short, and the status the caller returns is what counts. These return
  // the string's status but are not [[nodiscard]].
  int SetErrorText(const char* text);
  int SetErrorText(const char* prefix, int number, const char* suffix);
  int AppendErrorText(const char* text);
  int AppendErrorText(const char* prefix, int number, const char* suffix);
  int SetError(int code, const char* text);
  // Sets the text and hands the code back; the entry points store it.
  int ReturnError(int code, const char* text);
  int FilterOutOfMemory(int code);

  void Reset();

  const char* GetLogFile() const { return logFile_.CStr(); }
  [[nodiscard]] int SetLogFile(const char* name);
  int IsLogging() const { return loggingOn_; }
  unsigned int GetLogOption() const { return logOption_; }
  int8_t GetCharsetMode() const { return charsetMode_; }

  void SetEventSink(void* sink) { eventSink_ = sink; }
  void* GetEventSink() const { return eventSink_; }

 private:
  int errorCode_ = 0;
  int codePage_ = 0;
  ByteString errorText_;
  ByteString configAnswer_;
  ShortString logFile_;
  int loggingOn_ = 0;
  unsigned int logOption_ = 0;
  int8_t charsetMode_ = 0;
  void* eventSink_ = nullptr;
};

}  // namespace tornell
