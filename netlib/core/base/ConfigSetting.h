#pragma once
// One parsed configuration request: name[index]=value, or a bare name to read.

#include <cstdint>

#include "core/text/ByteString.h"

namespace tornell {

class ConfigSetting {
 public:
  ByteString name;       // as written: no case folding, no trimming
  ByteString value;      // quotes and outer spaces dropped
  ByteString indexText;  // text between the brackets, spaces trimmed
  int index = -1;        // -1 when the request had no (closed) brackets
  uint8_t query = 0;     // 1 when the request had no "="

  // 0, or 200 when memory could not be had.
  [[nodiscard]] int Parse(const char* text);

  bool IsQuery() const { return query != 0; }
  bool NameIs(const char* key) const;
  const char* Value() const { return value.CStr(); }

  // Numbers may be written in hexadecimal after "0x" or "0X".
  int AsInt() const;
  uint32_t AsUnsigned() const;
  int64_t AsInt64() const;
  // "TRUE", "yes" and "1" in any case are true; everything else is false.
  bool AsBool() const;

 private:
  [[nodiscard]] int SetValue(const char* start, const char* textEnd);
};

}  // namespace tornell
