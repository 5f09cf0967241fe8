#pragma once
// The cookie store of the HTTP object: seven entries a cookie (domain,
// expiry, name, path, secure, value, origin) and the raw cookie text a caller
// may set to be sent once as it is.
#include "core/text/ByteString.h"
#include "core/text/StringList.h"

namespace tornell {

class HttpCookieList {
 public:
  static constexpr int kColumns = 7;
  enum Column { kDomain = 0, kExpiry, kName, kPath, kSecure, kValue, kOrigin };
  static constexpr int kServerCookie = 0;
  static constexpr int kCallerCookie = 1;

  HttpCookieList() = default;
  HttpCookieList(const HttpCookieList&) = delete;
  HttpCookieList& operator=(const HttpCookieList&) = delete;

  // Empties the cookies; the raw text stays.
  [[nodiscard]] int Clear() { return entries_.Clear(); }
  int Count() const { return entries_.Count() / kColumns; }
  [[nodiscard]] int CheckIndex(int i) const;
  // Cut to, or padded with empty cookies up to, n cookies.
  [[nodiscard]] int SetCount(int n);

  // nullptr out of range.
  const char* Domain(int i) const { return Text(i, kDomain); }
  const char* Expiry(int i) const { return Text(i, kExpiry); }
  const char* Name(int i) const { return Text(i, kName); }
  const char* Path(int i) const { return Text(i, kPath); }
  const char* Value(int i) const { return Text(i, kValue); }
  // 0 out of range.
  long Secure(int i) const { return Number(i, kSecure); }
  long Origin(int i) const { return Number(i, kOrigin); }

  [[nodiscard]] int SetName(int i, const char* name) { return SetText(i, kName, name); }
  [[nodiscard]] int SetValue(int i, const char* value) { return SetText(i, kValue, value); }
  [[nodiscard]] int SetExpiry(int i, const char* expiry) { return SetText(i, kExpiry, expiry); }
  [[nodiscard]] int SetSecure(int i, long secure);

  // The cookie of that name, domain and path (ASCII case ignored) takes the
  // new value, expiry and secure flag and keeps its origin; else one is added.
  [[nodiscard]] int AddOrUpdate(const char* name, const char* value, const char* expiry,
                                const char* domain, const char* path, long secure, long origin);
  // A cookie the caller adds: no domain, path or expiry, kept across servers.
  [[nodiscard]] int AddCallerCookie(const char* name, const char* value) {
    return AddOrUpdate(name, value, "", "", "", 0, kCallerCookie);
  }
  // Keeps only the caller's cookies, in their order.
  [[nodiscard]] int DropServerCookies(int dontClearCookiesOnUrlChange);

  // The Cookie header value: the raw text when set, else name=value of each
  // cookie joined by "; ", without secure cookies unless the transport is.
  // kHttpStatusInvalidValue when the value could end the field early.
  [[nodiscard]] int HeaderValue(bool secureTransport, ByteString& out, ByteString* errorText) const;

  ByteString rawText;

 private:
  const char* Text(int i, int column) const;
  long Number(int i, int column) const;
  [[nodiscard]] int SetText(int i, int column, const char* text);

  StringList entries_;
};

// Clears the error text; an index outside the table sets
// "Invalid cookie index (out of range)." and gives kHttpStatusCookieIndex.
[[nodiscard]] int CheckCookieIndex(const HttpCookieList& cookies, int i, ByteString& errorText);

}  // namespace tornell
