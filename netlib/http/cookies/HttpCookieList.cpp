#include "http/cookies/HttpCookieList.h"

#include <climits>

#include "core/base/Status.h"
#include "core/text/TextUtils.h"
#include "http/base/HttpStatus.h"
#include "http/headers/HeaderText.h"

namespace tornell {

namespace {

bool SameNoCase(const char* a, const char* b) {
  return CompareNoCase(a != nullptr ? a : "", b != nullptr ? b : "") == 0;
}

}  // namespace

int HttpCookieList::CheckIndex(int i) const {
  return (i >= 0 && i < Count()) ? kStatusOk : kHttpStatusCookieIndex;
}

int HttpCookieList::SetCount(int n) {
  if (n < 0) return kStatusOk;
  if (n > INT_MAX / kColumns) return kStatusNoMemory;
  return entries_.SetCount(n * kColumns);
}

const char* HttpCookieList::Text(int i, int column) const {
  return CheckIndex(i) == kStatusOk ? entries_.Get(i * kColumns + column) : nullptr;
}

long HttpCookieList::Number(int i, int column) const {
  return CheckIndex(i) == kStatusOk ? static_cast<long>(entries_.GetLong(i * kColumns + column)) : 0;
}

int HttpCookieList::SetText(int i, int column, const char* text) {
  TORNELL_TRY(CheckIndex(i));
  return entries_.Set(i * kColumns + column, text);
}

int HttpCookieList::SetSecure(int i, long secure) {
  TORNELL_TRY(CheckIndex(i));
  return entries_.SetInt(i * kColumns + kSecure, secure != 0 ? 1 : 0);
}

int HttpCookieList::AddOrUpdate(const char* name, const char* value, const char* expiry,
                                const char* domain, const char* path, long secure, long origin) {
  const long secureFlag = secure != 0 ? 1 : 0;
  for (int i = 0; i < Count(); ++i) {
    if (SameNoCase(Name(i), name) && SameNoCase(Domain(i), domain) && SameNoCase(Path(i), path)) {
      TORNELL_TRY(entries_.Set(i * kColumns + kExpiry, expiry != nullptr ? expiry : ""));
      TORNELL_TRY(entries_.Set(i * kColumns + kValue, value != nullptr ? value : ""));
      return entries_.SetInt(i * kColumns + kSecure, secureFlag);
    }
  }
  // All seven or none: a half-added cookie would shift every later one.
  const int before = entries_.Count();
  int status = entries_.Add(domain);
  if (status == kStatusOk) status = entries_.Add(expiry);
  if (status == kStatusOk) status = entries_.Add(name);
  if (status == kStatusOk) status = entries_.Add(path);
  if (status == kStatusOk) status = entries_.AddInt(secureFlag);
  if (status == kStatusOk) status = entries_.Add(value);
  if (status == kStatusOk) status = entries_.AddInt(origin);
  if (status != kStatusOk) {
    const int cut = entries_.SetCount(before);
    (void)cut;  // shrinking does not allocate
  }
  return status;
}

int HttpCookieList::DropServerCookies(int dontClearCookiesOnUrlChange) {
  if (dontClearCookiesOnUrlChange != 0 || Count() == 0) return kStatusOk;
  HttpCookieList kept;
  for (int i = 0; i < Count(); ++i) {
    if (Origin(i) != kCallerCookie) continue;
    TORNELL_TRY(kept.AddOrUpdate(Name(i), Value(i), Expiry(i), Domain(i), Path(i), Secure(i),
                                 Origin(i)));
  }
  return entries_.Assign(kept.entries_);
}

int HttpCookieList::HeaderValue(bool secureTransport, ByteString& out, ByteString* errorText) const {
  TORNELL_TRY(out.Set(""));
  if (!rawText.IsEmpty()) {
    TORNELL_TRY(out.Assign(rawText));
  } else {
    for (int i = 0; i < Count(); ++i) {
      if (Secure(i) != 0 && !secureTransport) continue;
      if (!out.IsEmpty()) TORNELL_TRY(out.Append("; "));
      TORNELL_TRY(out.Append(Name(i)));
      TORNELL_TRY(out.AppendByte('='));
      TORNELL_TRY(out.Append(Value(i)));
    }
  }
  return http::CheckHeaderValue(out.Data(), out.Length(), errorText);
}

int CheckCookieIndex(const HttpCookieList& cookies, int i, ByteString& errorText) {
  TORNELL_TRY(errorText.Set(""));
  if (cookies.CheckIndex(i) == kStatusOk) return kStatusOk;
  TORNELL_TRY(errorText.Set("Invalid cookie index (out of range)."));
  return kHttpStatusCookieIndex;
}

}  // namespace tornell
