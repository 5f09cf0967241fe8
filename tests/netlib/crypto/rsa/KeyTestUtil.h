#pragma once
// Hex helpers shared by the key tests.
#include <cctype>
#include <string>

#include "TestText.h"
#include "core/text/ByteString.h"

namespace tornell::keytest {

// Hex digits to bytes; blanks are skipped.
inline ByteString FromHex(const std::string& hex) {
  std::string digits;
  for (char c : hex)
    if (!std::isspace(static_cast<unsigned char>(c))) digits += c;
  ByteString out;
  out.AppendFromHex(digits.c_str());
  return out;
}

inline std::string Hex(const char* data, int length) { return testsupport::Hex(data, static_cast<size_t>(length)); }

inline std::string Hex(const ByteString& v) { return Hex(v.Data(), v.Length()); }

}  // namespace tornell::keytest
