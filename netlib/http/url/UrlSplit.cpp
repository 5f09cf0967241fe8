#include "http/url/UrlSplit.h"

#include <cstring>

#include "core/base/Status.h"
#include "core/text/TextUtils.h"
#include "http/base/HttpStatus.h"

namespace tornell::http {

namespace {

constexpr int kMaxPort = 65535;

bool IsAlnum(unsigned char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsPathSafe(unsigned char c) {
  return IsAlnum(c) || std::strchr("-./_@*&", c) != nullptr;
}

bool IsQuerySafe(unsigned char c) {
  return IsAlnum(c) || std::strchr("-._@*&=", c) != nullptr;
}

// Bytes that would break the request line whatever the settings.
bool MustEncode(unsigned char c) { return c <= 0x20 || c == 0x7F; }

int AppendEscaped(ByteString& out, unsigned char c) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  const char escaped[3] = {'%', kHex[c >> 4], kHex[c & 15]};
  return out.Append(escaped, 3);
}

// mode 0: only what must be encoded; 1: path set; 2: query set.
int AppendWithSet(ByteString& out, const char* text, int length, int mode) {
  for (int i = 0; i < length; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    bool keep = !MustEncode(c);
    if (mode == 1) keep = c != 0 && IsPathSafe(c);
    if (mode == 2) keep = c != 0 && IsQuerySafe(c);
    TORNELL_TRY(keep ? out.AppendByte(c) : AppendEscaped(out, c));
  }
  return kStatusOk;
}

int FindIn(const char* text, int length, char c) {
  const void* hit = length > 0 ? std::memchr(text, c, static_cast<size_t>(length)) : nullptr;
  return hit == nullptr ? -1 : static_cast<int>(static_cast<const char*>(hit) - text);
}

int FindLast(const char* text, int length, char c) {
  for (int i = length - 1; i >= 0; --i) {
    if (text[i] == c) return i;
  }
  return -1;
}

// The scheme ends at the first ':' that comes before any '/' or '?'.
int SchemeEnd(const char* text, int length) {
  if (length == 0 || text[0] == '/') return -1;
  for (int i = 0; i < length; ++i) {
    if (text[i] == ':') return i;
    if (text[i] == '/' || text[i] == '?') return -1;
  }
  return -1;
}

int ParsePort(const char* text, int length, int& port) {
  if (length == 0) return kStatusOk;  // "host:" names no port
  int value = 0;
  for (int i = 0; i < length; ++i) {
    if (!IsDecimalDigit(text[i])) return kHttpStatusInvalidValue;
    value = value * 10 + (text[i] - '0');
    if (value > kMaxPort) return kHttpStatusInvalidValue;
  }
  port = value;
  return kStatusOk;
}

int SplitAuthority(const char* text, int length, UrlParts& parts) {
  const int at = FindLast(text, length, '@');
  if (at >= 0) {
    const int colon = FindIn(text, at, ':');
    parts.hasCredentials = true;
    TORNELL_TRY(parts.user.Set(text, colon >= 0 ? colon : at));
    TORNELL_TRY(colon >= 0 ? parts.password.Set(text + colon + 1, at - colon - 1)
                           : parts.password.Set(""));
    text += at + 1;
    length -= at + 1;
  }
  if (length == 0) return kStatusOk;
  if (text[0] == '[') {
    int close = FindIn(text, length, ']');
    parts.ipv6Literal = true;
    if (close < 0) return parts.host.Set(text + 1, length - 1);
    TORNELL_TRY(parts.host.Set(text + 1, close - 1));
    const int rest = close + 1;
    if (rest < length && text[rest] == ':') return ParsePort(text + rest + 1, length - rest - 1, parts.port);
    return kStatusOk;
  }
  const int colon = FindIn(text, length, ':');
  if (colon < 0) return parts.host.Set(text, length);
  TORNELL_TRY(parts.host.Set(text, colon));
  return ParsePort(text + colon + 1, length - colon - 1, parts.port);
}

// A reference relative to the current path, which loses its query; a
// reference from the root replaces it.
int ResolveRelative(const char* rest, int length, ByteString& path, bool full, bool encodeQuery) {
  if (length > 0 && rest[0] == '/') {
    TORNELL_TRY(path.Set(""));
    return AppendEncodedTarget(path, rest, length, full, encodeQuery);
  }
  if (length >= 2 && rest[0] == '.' && rest[1] == '/') {
    rest += 2;
    length -= 2;
  }
  const int query = path.Find('?');
  if (query >= 0) TORNELL_TRY(path.Resize(query));
  const int slash = FindLast(path.Data(), path.Length(), '/');
  TORNELL_TRY(slash >= 0 ? path.Resize(slash + 1) : path.Set("/"));
  return AppendEncodedTarget(path, rest, length, full, encodeQuery);
}

}  // namespace

int AppendEncodedTarget(ByteString& out, const char* target, int length, bool full,
                        bool encodeQuery) {
  if (target == nullptr || length <= 0) return kStatusOk;
  const int query = FindIn(target, length, '?');
  const int pathLength = query >= 0 ? query : length;
  TORNELL_TRY(AppendWithSet(out, target, pathLength, full ? 1 : 0));
  if (query < 0) return kStatusOk;
  if (query + 1 >= length) return full ? kStatusOk : out.AppendByte('?');  // an empty query
  TORNELL_TRY(out.AppendByte('?'));
  return AppendWithSet(out, target + query + 1, length - query - 1, full && encodeQuery ? 2 : 0);
}

int SplitUrl(const char* url, int length, UrlParts& parts, const UrlEncoding& encoding,
             int redirect) {
  if (url == nullptr) length = 0;
  if (length < 0) length = static_cast<int>(std::strlen(url));
  // The fragment belongs to the client; a server would take it as a name.
  const int fragment = FindIn(url, length, '#');
  if (fragment >= 0) length = fragment;
  const bool full = redirect ? encoding.encodeRedirectLocation != 0 : encoding.encodeUrl != 0;
  const bool encodeQuery = encoding.encodeQueryString != 0;

  const char* rest = url;
  const int schemeEnd = SchemeEnd(url, length);
  if (schemeEnd >= 0) {
    TORNELL_TRY(parts.scheme.Set(url, schemeEnd));
    if (parts.scheme.EqualsIgnoreCase("http")) {
      parts.port = 80;
      parts.schemeDefaultPort = 80;
    } else if (parts.scheme.EqualsIgnoreCase("https")) {
      parts.port = 443;
      parts.schemeDefaultPort = 443;
    }
    TORNELL_TRY(parts.path.Set(""));
    rest += schemeEnd + 1;
    length -= schemeEnd + 1;
  }

  const bool authority = length >= 2 && rest[0] == '/' && rest[1] == '/';
  if (redirect && !authority) {
    TORNELL_TRY(ResolveRelative(rest, length, parts.path, full, encodeQuery));
  } else {
    if (authority) {
      rest += 2;
      length -= 2;
      // A new authority brings its own path; nothing of the old one stays.
      TORNELL_TRY(parts.path.Set(""));
    }
    const int slash = FindIn(rest, length, '/');
    const int query = FindIn(rest, length, '?');
    int pathStart = length;
    if (slash >= 0 && (query < 0 || slash < query)) {
      pathStart = slash;
    } else {
      TORNELL_TRY(parts.path.AppendByte('/'));
      if (query >= 0) pathStart = query;
    }
    TORNELL_TRY(AppendEncodedTarget(parts.path, rest + pathStart, length - pathStart, full, encodeQuery));
    TORNELL_TRY(SplitAuthority(rest, pathStart, parts));
  }
  if (parts.path.IsEmpty()) TORNELL_TRY(parts.path.Set("/"));
  return kStatusOk;
}

}  // namespace tornell::http
