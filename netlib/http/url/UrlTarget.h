#pragma once
// The target of the next request as the caller or a redirect sets it: the URL
// segments, the redirect budget and the credentials the URL carries. It tells
// the protocol object what a change means for the connection, the
// authentication state and the cookies.
#include "core/text/ByteString.h"
#include "core/text/SecretBytes.h"
#include "http/url/UrlSplit.h"

namespace tornell {

// What the protocol object has to do after a URL was set.
struct UrlChange {
  bool closeConnection = false;     // scheme, server or port changed, or the URL failed
  bool dropServerCookies = false;   // server or port changed
  bool resetAuthentication = false; // Digest engines and pending challenges
  bool clearAuthorization = false;  // a redirect left the origin: no credentials follow it
};

class UrlTarget {
 public:
  static constexpr int kDefaultMaxRedirects = 20;

  UrlTarget();
  UrlTarget(const UrlTarget&) = delete;
  UrlTarget& operator=(const UrlTarget&) = delete;

  // redirect 0 for the caller's URL, 1 for a Location being followed.
  [[nodiscard]] int SetURL(const char* url, int redirect, UrlChange& change);

  // Property setters; a server or port change drops the server cookies.
  [[nodiscard]] int SetScheme(const char* scheme) { return scheme_.Set(scheme); }
  [[nodiscard]] int SetPath(const char* path) { return path_.Set(path); }
  [[nodiscard]] int SetServer(const char* server, UrlChange& change);
  void SetPort(int port, UrlChange& change);

  // True while the target lies outside the origin of the URL the caller set,
  // so headers meant for that origin stay home.
  bool IsOtherOrigin() const;

  const ByteString& Url() const { return url_; }
  const ShortString& Scheme() const { return scheme_; }
  const ShortString& Server() const { return server_; }
  int Port() const { return port_; }
  const ByteString& Path() const { return path_; }
  int SchemeDefaultPort() const { return schemeDefaultPort_; }
  bool Ipv6Literal() const { return ipv6Literal_; }
  const ShortString& User() const { return user_; }
  const SecretBytes& Password() const { return password_; }
  [[nodiscard]] int SetUser(const char* user) { return user_.Set(user); }
  [[nodiscard]] int SetPassword(const char* password) { return password_.Set(password); }
  int RedirectsLeft() const { return redirectsLeft_; }
  // A new budget also restarts the one being spent.
  void SetMaxRedirectAttempts(int count) { maxRedirectAttempts = redirectsLeft_ = count; }
  const ByteString& ErrorText() const { return errorText_; }

  int maxRedirectAttempts = kDefaultMaxRedirects;
  int allowIdenticalRedirectUrl = 0;
  int followRedirects = 0;  // 0 never, 1 always, 2 same scheme only
  http::UrlEncoding encoding;

 private:
  [[nodiscard]] int Fail(int status, const char* text, UrlChange& change);
  [[nodiscard]] int Clear();

  ByteString url_;
  ShortString scheme_;
  ShortString server_;
  int port_ = 80;
  ByteString path_;
  int schemeDefaultPort_ = 80;
  bool ipv6Literal_ = false;
  ShortString user_;
  SecretBytes password_;
  int redirectsLeft_ = kDefaultMaxRedirects;
  // Origin of the URL the caller set.
  ShortString originScheme_;
  ShortString originServer_;
  int originPort_ = 80;
  ByteString errorText_;
};

}  // namespace tornell
