#include "http/url/UrlTarget.h"

#include <cstring>

#include "core/base/Status.h"
#include "core/text/TextUtils.h"
#include "http/base/HttpStatus.h"

namespace tornell {

namespace {

constexpr char kDefaultScheme[] = "http";
constexpr char kIdenticalText[] = "Attempting to redirect to identical URL.  Aborting connection.";
constexpr char kTooManyText[] = "There were too many redirects.";
constexpr char kBadHostText[] = "Invalid character in URL host.";
constexpr char kBadPortText[] = "Invalid port in URL.";

// A host goes into the Host header and the name lookup as it is.
bool HostIsClean(const ShortString& host) {
  for (int i = 0; i < host.Length(); ++i) {
    const unsigned char c = host.Bytes()[i];
    if (c < 0x21 || c == 0x7F) return false;
  }
  return true;
}

}  // namespace

UrlTarget::UrlTarget() {
  const int status = Clear();
  (void)status;  // short inline texts: nothing to allocate
}

int UrlTarget::Clear() {
  TORNELL_TRY(url_.Set(""));
  TORNELL_TRY(server_.Set(""));
  TORNELL_TRY(path_.Set(""));
  TORNELL_TRY(user_.Set(""));
  TORNELL_TRY(password_.Set(""));
  TORNELL_TRY(scheme_.Set(kDefaultScheme));
  port_ = schemeDefaultPort_;
  TORNELL_TRY(originScheme_.Set(kDefaultScheme));
  TORNELL_TRY(originServer_.Set(""));
  originPort_ = port_;
  return kStatusOk;
}

int UrlTarget::Fail(int status, const char* text, UrlChange& change) {
  change.closeConnection = true;
  if (text != nullptr) TORNELL_TRY(errorText_.Set(text));
  return status;
}

int UrlTarget::SetURL(const char* url, int redirect, UrlChange& change) {
  change = UrlChange{};
  if (url == nullptr || *url == '\0') return Clear();

  http::UrlParts parts;
  if (redirect) {
    if (!allowIdenticalRedirectUrl && url_.Equals(url)) {
      return Fail(kHttpStatusProtocolError, kIdenticalText, change);
    }
    if (redirectsLeft_ < 1) return Fail(kHttpStatusTooManyRedirects, kTooManyText, change);
    --redirectsLeft_;
    TORNELL_TRY(parts.scheme.Assign(scheme_));
    TORNELL_TRY(parts.host.Assign(server_));
    TORNELL_TRY(parts.path.Assign(path_));
    parts.port = port_;
    parts.schemeDefaultPort = schemeDefaultPort_;
  } else {
    // The exact-case prefix decides, as callers have always relied on.
    if (std::strncmp(url, "http:", 5) == 0) schemeDefaultPort_ = 80;
    if (std::strncmp(url, "https:", 6) == 0) schemeDefaultPort_ = 443;
    TORNELL_TRY(parts.scheme.Set(kDefaultScheme));
    parts.port = schemeDefaultPort_;
    parts.schemeDefaultPort = schemeDefaultPort_;
    redirectsLeft_ = maxRedirectAttempts;
  }

  const int split = http::SplitUrl(url, -1, parts, encoding, redirect);
  if (split == kHttpStatusInvalidValue) return Fail(split, kBadPortText, change);
  if (split != kStatusOk) return Fail(split, nullptr, change);
  if (parts.scheme.IsEmpty()) TORNELL_TRY(parts.scheme.Assign(scheme_));
  if (parts.host.IsEmpty()) TORNELL_TRY(parts.host.Assign(server_));
  if (parts.port == 0) parts.port = port_;
  if (!HostIsClean(parts.host)) return Fail(kHttpStatusInvalidValue, kBadHostText, change);

  const bool otherServer = !parts.host.EqualsIgnoreCase(server_.CStr()) || parts.port != port_;
  const bool otherOrigin = otherServer || !parts.scheme.EqualsIgnoreCase(scheme_.CStr());
  change.closeConnection = otherOrigin;
  change.resetAuthentication = true;
  change.dropServerCookies = otherServer;

  TORNELL_TRY(url_.Set(url));
  TORNELL_TRY(path_.Assign(parts.path));
  TORNELL_TRY(scheme_.Assign(parts.scheme));
  TORNELL_TRY(server_.Assign(parts.host));
  port_ = parts.port;
  schemeDefaultPort_ = parts.schemeDefaultPort;
  ipv6Literal_ = parts.ipv6Literal;

  if (parts.hasCredentials || (redirect && followRedirects != 1)) {
    TORNELL_TRY(user_.Assign(parts.user));
    TORNELL_TRY(password_.Assign(parts.password));
  } else if (redirect && otherOrigin) {
    // Credentials were given for the first origin, not for wherever a
    // Location points.
    TORNELL_TRY(user_.Set(""));
    TORNELL_TRY(password_.Set(""));
    change.clearAuthorization = true;
  }
  if (redirect && otherOrigin && !parts.hasCredentials) change.clearAuthorization = true;

  if (!redirect) {
    TORNELL_TRY(originScheme_.Assign(scheme_));
    TORNELL_TRY(originServer_.Assign(server_));
    originPort_ = port_;
  }
  return kStatusOk;
}

int UrlTarget::SetServer(const char* server, UrlChange& change) {
  change = UrlChange{};
  ShortString host;
  TORNELL_TRY(host.Set(server));
  if (!HostIsClean(host)) return Fail(kHttpStatusInvalidValue, kBadHostText, change);
  change.dropServerCookies = !host.EqualsIgnoreCase(server_.CStr());
  TORNELL_TRY(server_.Assign(host));
  return originServer_.Assign(host);
}

void UrlTarget::SetPort(int port, UrlChange& change) {
  change = UrlChange{};
  change.dropServerCookies = port != port_;
  port_ = port;
  originPort_ = port;
}

bool UrlTarget::IsOtherOrigin() const {
  return !scheme_.EqualsIgnoreCase(originScheme_.CStr()) ||
         !server_.EqualsIgnoreCase(originServer_.CStr()) || port_ != originPort_;
}

}  // namespace tornell
