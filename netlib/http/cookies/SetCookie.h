#pragma once
// Reading the value of a Set-Cookie response field.
#include "core/text/ByteString.h"

namespace tornell::http {

struct SetCookieFields {
  ByteString name;
  ByteString value;
  ByteString expiry;
  ByteString domain;
  ByteString path;
  int secure = 0;
};

// Name and value come from the text before the first ';'; then the
// attributes Expires, Domain, Path and Secure (ASCII case ignored, a later
// one wins); others are passed over.
[[nodiscard]] int ParseSetCookie(const char* text, int length, SetCookieFields& out);

}  // namespace tornell::http
