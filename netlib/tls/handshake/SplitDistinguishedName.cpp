#include "tls/handshake/SplitDistinguishedName.h"

#include <cstring>

#include "core/base/Status.h"
#include "core/text/ByteString.h"

namespace tornell::tls {
namespace {

// A hex digit's value; any other character counts with its low four bits.
int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return c & 0x0F;
}

int AddTrimmed(ByteString& component, StringList& out) {
  TORNELL_TRY(component.Trim());
  TORNELL_TRY(out.Add(component.Data(), component.Length()));
  component.Clear();
  return kStatusOk;
}

}  // namespace

int SplitDistinguishedName(const char* text, StringList& out) {
  if (text == nullptr) return kStatusOk;
  ByteString component;
  bool quoted = false, escaped = false;
  int pending = -1;  // the first digit of a hex pair
  for (const char* at = text; *at != '\0'; ++at) {
    const char c = *at;
    if (quoted) {
      if (escaped) {
        TORNELL_TRY(component.AppendByte(c));
        escaped = false;
      } else if (c == '\\') {
        escaped = true;
      } else if (c == '"') {
        quoted = false;
      } else {
        TORNELL_TRY(component.AppendByte(c));
      }
    } else if (escaped) {
      if (std::strchr(",=+<>#:;\\\"", c) != nullptr) {
        TORNELL_TRY(component.AppendByte(c));
        escaped = false;
      } else if (pending >= 0) {
        TORNELL_TRY(component.AppendByte((HexValue(char(pending)) << 4) | HexValue(c)));
        escaped = false;
        pending = -1;
      } else {
        pending = uint8_t(c);
      }
    } else if (c == ',') {
      TORNELL_TRY(AddTrimmed(component, out));
    } else if (c == '\\') {
      escaped = true;
      pending = -1;
    } else if (c == '"') {
      quoted = true;
    } else {
      TORNELL_TRY(component.AppendByte(c));
    }
  }
  if (component.Length() > 0) TORNELL_TRY(AddTrimmed(component, out));
  return kStatusOk;
}

}  // namespace tornell::tls
