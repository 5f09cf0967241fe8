#pragma once
// Taking a URL apart into the parts a request needs, and the percent-encoding
// of its path and query.
#include "core/text/ByteString.h"
#include "core/text/SecretBytes.h"

namespace tornell::http {

// The segments of a URL. The caller fills them with the values in force; the
// segments the URL does not carry keep them.
struct UrlParts {
  ShortString scheme;
  ShortString host;
  ByteString path;  // request target: path and query
  int port = 0;
  ShortString user;
  SecretBytes password;
  int schemeDefaultPort = 80;
  bool ipv6Literal = false;     // the host was written in brackets
  bool hasCredentials = false;  // the URL carried a user part
};

struct UrlEncoding {
  int encodeUrl = 0;
  int encodeRedirectLocation = 0;
  int encodeQueryString = 1;
};

// 0, an allocation failure, or kHttpStatusInvalidValue for a port that is
// not a number up to 65535. A redirect may be relative to parts.path.
[[nodiscard]] int SplitUrl(const char* url, int length, UrlParts& parts, const UrlEncoding& encoding,
                           int redirect);

// Appends path and query of `target` (split at its first '?'). With `full`
// every byte outside the safe set is encoded (the query's set keeps '=' and
// encodes '/', or the query goes as it is without `encodeQuery`); bytes
// 0x00-0x20 and 0x7F are encoded always, so no blank or line end ever
// reaches the request line.
[[nodiscard]] int AppendEncodedTarget(ByteString& out, const char* target, int length, bool full,
                                      bool encodeQuery);

}  // namespace tornell::http
