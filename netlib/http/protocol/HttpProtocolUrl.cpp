#include "http/protocol/HttpProtocol.h"

#include "core/base/Status.h"
#include "http/base/HttpStatus.h"
#include "http/cookies/SetCookie.h"

namespace tornell {

namespace {

constexpr char kCookieIndexText[] = "Invalid cookie index (out of range).";

}  // namespace

int HttpProtocol::SetURL(const char* url, int redirect) {
  UrlChange change;
  const int status = target_.SetURL(url, redirect, change);
  if (status != kStatusOk) {
    // The reason set before the close is the one the caller sees.
    ByteString reason;
    static_cast<void>(reason.Set(target_.ErrorText().IsEmpty() ? GetLastErrorText() : target_.ErrorText().CStr()));
    if (change.closeConnection) Close();
    SetErrorText(reason.CStr());
    return status;
  }
  return ApplyUrlChange(change);
}

int HttpProtocol::ApplyUrlChange(const UrlChange& change) {
  if (change.closeConnection) Close();
  if (change.resetAuthentication) {
    serverDigest_.Reset();
    proxyDigest_.Reset();
    pendingAuth_.Clear();
    pendingProxyAuth_.Clear();
  }
  if (change.resetAuthentication) {
    // Each new URL starts its own handshake: NTLM and Negotiate need their
    // first token on the first request.
    TORNELL_TRY(BuildAuthorization(1));
    TORNELL_TRY(BuildProxyAuthorization(0));
  }
  // A Location on another origin gets no credentials of the first one,
  // whatever their scheme.
  if (change.clearAuthorization) authorization_.Clear();
  authAttempts_ = 0;
  proxyAuthAttempts_ = 0;
  // Cookies of one server never go to another, redirect or not.
  if (change.dropServerCookies) TORNELL_TRY(DropServerCookies());
  return kStatusOk;
}

int HttpProtocol::SetURLServer(const char* server) {
  UrlChange change;
  const int status = target_.SetServer(server, change);
  if (status != kStatusOk) return ReturnError(status, target_.ErrorText().CStr());
  if (change.dropServerCookies) TORNELL_TRY(DropServerCookies());
  return kStatusOk;
}

int HttpProtocol::SetURLPort(int port) {
  UrlChange change;
  target_.SetPort(port, change);
  if (change.dropServerCookies) TORNELL_TRY(DropServerCookies());
  return kStatusOk;
}

int HttpProtocol::SetTargetHost(const char* host) {
  const char* name = host != nullptr ? host : "";
  if (connected_ != 0) {
    // Kept: the open connection already goes where this request goes.
    if (target_.Server().Equals(name) || remoteHost_.Equals(name)) return kStatusOk;
    Close();
  }
  return SetRemoteHost(name);
}

int HttpProtocol::SetTargetPort(int port) {
  if (connected_ != 0) {
    if (port == remotePort_) return kStatusOk;
    Close();
  }
  return SetRemotePort(port);
}

// ---- cookies ------------------------------------------------------------------------------

int HttpProtocol::ParseSetCookie(const char* text) {
  http::SetCookieFields fields;
  TORNELL_TRY(http::ParseSetCookie(text, -1, fields));
  static_cast<void>(FireSetCookie(fields.name.CStr(), fields.value.CStr(), fields.expiry.CStr(),
                                  fields.domain.CStr(), fields.path.CStr(), fields.secure));
  return cookies_.AddOrUpdate(fields.name.CStr(), fields.value.CStr(), fields.expiry.CStr(), fields.domain.CStr(),
                              fields.path.CStr(), fields.secure, HttpCookieList::kServerCookie);
}

int HttpProtocol::CheckCookieIndex(int i) {
  ClearError();
  if (i < 0 || i >= cookies_.Count()) return ReturnError(kHttpStatusCookieIndex, kCookieIndexText);
  return kStatusOk;
}

int HttpProtocol::CookieHeaderValue(ByteString& out) {
  ByteString errorText;
  const int status = cookies_.HeaderValue(target_.Scheme().EqualsIgnoreCase("https"), out, &errorText);
  if (status != kStatusOk && !errorText.IsEmpty()) return ReturnError(status, errorText.CStr());
  return status;
}

}  // namespace tornell
