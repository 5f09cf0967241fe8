#include "http/cookies/SetCookie.h"

#include <cstring>

#include "core/base/Status.h"
#include "core/text/TextUtils.h"

namespace tornell::http {

namespace {

struct Span {
  const char* at;
  int length;
};

int Find(Span s, char c) {
  const void* hit = s.length > 0 ? std::memchr(s.at, c, static_cast<size_t>(s.length)) : nullptr;
  return hit == nullptr ? -1 : static_cast<int>(static_cast<const char*>(hit) - s.at);
}

Span TrimBlanks(Span s) {
  while (s.length > 0 && (s.at[0] == ' ' || s.at[0] == '\t')) {
    ++s.at;
    --s.length;
  }
  while (s.length > 0 && (s.at[s.length - 1] == ' ' || s.at[s.length - 1] == '\t')) --s.length;
  return s;
}

bool NameIs(Span name, const char* expected) {
  const int n = static_cast<int>(std::strlen(expected));
  return name.length == n && CompareNoCaseN(name.at, expected, static_cast<unsigned long>(n)) == 0;
}

int ApplyAttribute(Span attribute, SetCookieFields& out) {
  const int eq = Find(attribute, '=');
  const Span name = TrimBlanks({attribute.at, eq >= 0 ? eq : attribute.length});
  const Span value = eq >= 0 ? TrimBlanks({attribute.at + eq + 1, attribute.length - eq - 1}) : Span{"", 0};
  if (NameIs(name, "expires")) return out.expiry.Set(value.at, value.length);
  if (NameIs(name, "domain")) return out.domain.Set(value.at, value.length);
  if (NameIs(name, "path")) return out.path.Set(value.at, value.length);
  if (NameIs(name, "secure")) out.secure = 1;
  return kStatusOk;
}

}  // namespace

int ParseSetCookie(const char* text, int length, SetCookieFields& out) {
  out.secure = 0;
  TORNELL_TRY(out.expiry.Set(""));
  TORNELL_TRY(out.domain.Set(""));
  TORNELL_TRY(out.path.Set(""));
  if (text == nullptr) length = 0;
  if (length < 0) length = static_cast<int>(std::strlen(text));
  Span rest{text != nullptr ? text : "", length};

  // The pair ends at the first ';', so an attribute's '=' never splits it.
  const int semicolon = Find(rest, ';');
  const Span pair{rest.at, semicolon >= 0 ? semicolon : rest.length};
  const int eq = Find(pair, '=');
  TORNELL_TRY(out.name.Set(pair.at, eq >= 0 ? eq : pair.length));
  TORNELL_TRY(eq >= 0 ? out.value.Set(pair.at + eq + 1, pair.length - eq - 1) : out.value.Set(""));
  if (semicolon < 0) return kStatusOk;

  rest = {rest.at + semicolon + 1, rest.length - semicolon - 1};
  while (rest.length > 0) {
    const int end = Find(rest, ';');
    const Span attribute{rest.at, end >= 0 ? end : rest.length};
    TORNELL_TRY(ApplyAttribute(attribute, out));
    if (end < 0) break;
    rest = {rest.at + end + 1, rest.length - end - 1};
  }
  return kStatusOk;
}

}  // namespace tornell::http
