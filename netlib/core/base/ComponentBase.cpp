#include "core/base/ComponentBase.h"

#include <cstdio>

namespace tornell {

namespace {
const char kEmptyAnswer[] = "";
}  // namespace

int ComponentBase::HandleMessage(int, unsigned long, long) { return kStatusOk; }

int ComponentBase::PollEvents(long) { return kStatusOk; }

int ComponentBase::ConfigText(const char* text, const char*& answer) {
  answer = kEmptyAnswer;
  ConfigSetting setting;
  int status = setting.Parse(text);
  if (status != 0) return status;
  return Config(&setting, answer);
}

int ComponentBase::Config(ConfigSetting* setting, const char*& answer) {
  const bool query = setting->IsQuery();
  if (setting->NameIs("CodePage")) {
    if (query) return SetConfigAnswer(answer, GetCodePage());
    codePage_ = setting->AsInt();
    return kStatusOk;
  }
  if (setting->NameIs("CharsetMode")) {
    if (query) return SetConfigAnswer(answer, static_cast<int>(charsetMode_));
    charsetMode_ = static_cast<int8_t>(setting->AsInt());
    return kStatusOk;
  }
  if (setting->NameIs("LogDebugFile")) {
    if (query) return SetConfigAnswer(answer, logFile_.CStr());
    return SetLogFile(setting->Value());
  }
  if (setting->NameIs("LogDebugOption")) {
    if (query) return SetConfigAnswer(answer, logOption_);
    logOption_ = setting->AsUnsigned();
    return kStatusOk;
  }
  if (setting->NameIs("LastError")) {
    if (query) return SetConfigAnswer(answer, errorText_.CStr());
    return kStatusOk;
  }
  if (setting->NameIs("ZeroMemory")) {
    if (query) return SetConfigAnswer(answer, g_zeroMemory != 0 ? "True" : "False");
    g_zeroMemory = setting->AsBool() ? 1 : 0;
    return kStatusOk;
  }
  answer = kEmptyAnswer;
  SetErrorText("Unknown config setting.");
  return kStatusFailed;
}

int ComponentBase::SetConfigAnswer(const char*& answer, const char* value) {
  int status = configAnswer_.Set(value != nullptr ? value : "");
  answer = configAnswer_.CStr();
  return status;
}

int ComponentBase::SetConfigAnswer(const char*& answer, int value) {
  char text[16];
  std::snprintf(text, sizeof text, "%d", value);
  return SetConfigAnswer(answer, static_cast<const char*>(text));
}

// Wider values are reported by their low 32 bits, as a signed number.
int ComponentBase::SetConfigAnswer(const char*& answer, long value) {
  return SetConfigAnswer(answer, static_cast<int>(static_cast<uint32_t>(value)));
}

int ComponentBase::SetConfigAnswer(const char*& answer, unsigned long value) {
  return SetConfigAnswer(answer, static_cast<int>(static_cast<uint32_t>(value)));
}

int ComponentBase::SetConfigAnswer(const char*& answer, unsigned int value) {
  char text[16];
  std::snprintf(text, sizeof text, "%u", value);
  return SetConfigAnswer(answer, static_cast<const char*>(text));
}

void ComponentBase::ClearError() {
  errorText_.Clear();
  errorCode_ = 0;
}

int ComponentBase::SetErrorText(const char* text) {
  return errorText_.Set(text != nullptr ? text : "");
}

int ComponentBase::SetErrorText(const char* prefix, int number, const char* suffix) {
  ClearError();
  return AppendErrorText(prefix, number, suffix);
}

int ComponentBase::AppendErrorText(const char* text) { return errorText_.Append(text); }

int ComponentBase::AppendErrorText(const char* prefix, int number, const char* suffix) {
  int status = errorText_.Append(prefix);
  if (status == kStatusOk) status = errorText_.AppendInt(number);
  if (status == kStatusOk) status = errorText_.Append(suffix);
  return status;
}

int ComponentBase::SetError(int code, const char* text) {
  ClearError();
  errorCode_ = code;
  return SetErrorText(text);
}

int ComponentBase::ReturnError(int code, const char* text) {
  SetErrorText(text);
  return code;
}

int ComponentBase::FilterOutOfMemory(int code) {
  if (code == kStatusNoMemory) SetErrorText("Out of memory.");
  return code;
}

void ComponentBase::Reset() {
  ClearError();
  charsetMode_ = 0;
}

int ComponentBase::SetLogFile(const char* name) {
  int status = logFile_.Set(name != nullptr ? name : "");
  loggingOn_ = logFile_.Length() != 0 ? 1 : 0;
  return status;
}

}  // namespace tornell
