#include "core/base/ConfigSetting.h"

#include <cstring>

#include "core/base/StatusCodes.h"
#include "core/text/TextUtils.h"

namespace tornell {

namespace {

const char* HexDigitsAfterPrefix(const char* v) {
  return (v[0] == '0' && (v[1] == 'x' || v[1] == 'X')) ? v + 2 : nullptr;
}

}  // namespace

int ConfigSetting::Parse(const char* text) {
  name.Clear();
  value.Clear();
  query = 0;
  if (text == nullptr) return kStatusOk;

  ByteString scratch;  // bracket text; never emptied, so a second group continues the first
  bool inBrackets = false;
  int status = 0;
  for (const char* p = text; *p != '\0'; ++p) {
    const char c = *p;
    if (c == '=') return SetValue(p + 1, p + std::strlen(p));
    if (!inBrackets) {
      if (c == '[' || c == '(') {
        inBrackets = true;
      } else {
        status = name.AppendByte(c);
      }
    } else if (c == ']' || c == ')') {
      inBrackets = false;
      index = ParseInt(scratch.CStr());  // read before trimming
      status = indexText.Assign(scratch);
      if (status == 0) status = indexText.TrimChar(' ');
    } else {
      status = scratch.AppendByte(c);
    }
    if (status != 0) return status;
  }
  query = 1;
  return kStatusOk;
}

int ConfigSetting::SetValue(const char* start, const char* textEnd) {
  const char* end = textEnd;  // one past the last byte
  while (start < end && *start == ' ') ++start;
  if (start < end && *start == '"') ++start;
  while (end > start && end[-1] == ' ') --end;
  if (end > start && end[-1] == '"') --end;
  return value.Set(start, static_cast<int>(end - start));
}

bool ConfigSetting::NameIs(const char* key) const {
  return CompareNoCase(key, name.CStr()) == 0;
}

int ConfigSetting::AsInt() const {
  const char* hex = HexDigitsAfterPrefix(value.CStr());
  return hex != nullptr ? ParseHexInt(hex) : ParseInt(value.CStr());
}

uint32_t ConfigSetting::AsUnsigned() const {
  const char* hex = HexDigitsAfterPrefix(value.CStr());
  return static_cast<uint32_t>(hex != nullptr ? ParseHexInt64(hex) : ParseInt64(value.CStr()));
}

int64_t ConfigSetting::AsInt64() const {
  const char* hex = HexDigitsAfterPrefix(value.CStr());
  return hex != nullptr ? ParseHexInt64(hex) : ParseLong(value.CStr());
}

bool ConfigSetting::AsBool() const {
  const char* v = value.CStr();
  return CompareNoCase(v, "TRUE") == 0 || CompareNoCase(v, "yes") == 0 || CompareNoCase(v, "1") == 0;
}

}  // namespace tornell
