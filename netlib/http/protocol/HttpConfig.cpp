#include <cstring>

#include "core/base/Status.h"
#include "core/text/TextUtils.h"
#include "http/base/HttpStatus.h"
#include "http/protocol/HttpProtocol.h"

namespace tornell {

namespace {

constexpr char kVersionText[] = "Invalid HTTP version. Please use a supported HTTP version (1.0, 1.1, 2.0).";
constexpr char kHttp2Alpn[] = "h2";
// The scheme code without a name; its text is sent as it is, like Proprietary.
constexpr int kAuthUnnamed = 6;

const char* BoolText(int value) { return value != 0 ? "True" : "False"; }

bool IsKnownVersion(const char* text) {
  return std::strcmp(text, "1.0") == 0 || std::strcmp(text, "1.1") == 0 || std::strcmp(text, "2.0") == 0;
}

}  // namespace

int HttpProtocol::SetHTTPVersion(const char* text) {
  TORNELL_TRY(httpVersion_.Set(text != nullptr ? text : ""));
  if (!IsKnownVersion(httpVersion_.CStr())) return ReturnError(kHttpStatusInvalidValue, kVersionText);
  if (httpVersion_.Equals("2.0")) return SetAlpnList(kHttp2Alpn);
  // Offering h2 while speaking HTTP/1.x would let a server pick a protocol
  // this request cannot talk.
  if (std::strcmp(GetAlpnList(), kHttp2Alpn) == 0) return SetAlpnList("");
  return kStatusOk;
}

int HttpProtocol::SetCallerAuthorization(const char* text) {
  if (authScheme_ != kAuthProprietary && authScheme_ != kAuthUnnamed) authScheme_ = kAuthProprietary;
  return authorization_.Set(text);
}

int HttpProtocol::SetUser(const char* user) {
  TORNELL_TRY(target_.SetUser(user));
  pendingAuth_.Clear();
  // NTLM and Negotiate tokens are made per request.
  return authScheme_ == kAuthNtlm || authScheme_ == kAuthNegotiate ? kStatusOk : BuildAuthorization(0);
}

int HttpProtocol::SetPassword(const char* password) {
  TORNELL_TRY(target_.SetPassword(password));
  pendingAuth_.Clear();
  return authScheme_ == kAuthNtlm || authScheme_ == kAuthNegotiate ? kStatusOk : BuildAuthorization(0);
}

int HttpProtocol::SetProxyUser(const char* text) {
  TORNELL_TRY(proxyUser_.Set(text));
  return BuildProxyAuthorization(0);
}

int HttpProtocol::SetProxyPassword(const char* text) {
  TORNELL_TRY(proxyPassword_.Set(text));
  return BuildProxyAuthorization(0);
}

int HttpProtocol::SetProxySSL(int mode) {
  proxySsl_ = static_cast<uint8_t>(mode);
  return SetFirewallType(mode == 3 ? kFirewallTunnel : kFirewallNone);
}

// Keys are tested in a fixed order; a key this class does not take, a query
// of a write-only key and a value for a query-only key go to the base.
int HttpProtocol::Config(ConfigSetting* setting, const char*& answer) {
  const bool query = setting->IsQuery();
  auto is = [&](const char* key) { return setting->NameIs(key); };
  auto flag = [&](auto& field) {
    if (query) return SetConfigAnswer(answer, BoolText(field));
    field = setting->AsBool() ? 1 : 0;
    return kStatusOk;
  };
  // A boolean that answers 0 or 1.
  auto digit = [&](auto& field) {
    if (query) return SetConfigAnswer(answer, static_cast<int>(field));
    field = setting->AsBool() ? 1 : 0;
    return kStatusOk;
  };
  auto number = [&](int& field) {
    if (query) return SetConfigAnswer(answer, field);
    field = setting->AsInt();
    return kStatusOk;
  };
  auto text = [&](auto& field) {
    if (query) return SetConfigAnswer(answer, field.CStr());
    return field.Set(setting->Value());
  };
  auto base = [&]() { return TransferConnection::Config(setting, answer); };

  if (is("TransferredData")) return query ? SetConfigAnswer(answer, transferredData_.CStr()) : base();
  if (is("ResetTransferredData")) {
    if (!query) return base();
    transferredData_.Clear();
    return kStatusOk;
  }
  if (is("TransferredHeaders")) return query ? SetConfigAnswer(answer, transferredHeaders_.CStr()) : base();
  if (is("StatusLine")) return query ? SetConfigAnswer(answer, statusLine_.CStr()) : base();
  if (is("TransferredRequest")) {
    if (query) return SetConfigAnswer(answer, transferredRequest_.CStr());
    keepTransferredRequest_ = CompareNoCase(setting->Value(), "on") == 0 ? 1 : 0;
    return kStatusOk;
  }
  if (is("SentHeaders")) return query ? SetConfigAnswer(answer, sentHeaders_.CStr()) : base();
  if (is("HTTPVersion")) return query ? SetConfigAnswer(answer, httpVersion_.CStr()) : SetHTTPVersion(setting->Value());
  if (is("UserAgent")) {
    if (query) return SetConfigAnswer(answer, userAgent_.CStr());
    TORNELL_TRY(Proxy().SetUserAgent(setting->Value()));
    return userAgent_.Set(setting->Value());
  }
  if (is("MaxTransferredData") || is("TransferredDataLimit")) {
    if (query) return SetConfigAnswer(answer, static_cast<int>(transferredDataLimit_));
    transferredDataLimit_ = setting->AsInt();
    return kStatusOk;
  }
  if (is("KeepAlive")) return flag(keepAliveRequests_);
  if (is("Authorization")) {
    return query ? SetConfigAnswer(answer, authorization_.CStr()) : SetCallerAuthorization(setting->Value());
  }
  if (is("AcceptEncoding")) return text(acceptEncoding_);
  if (is("AllowHTTPCompression")) return digit(allowHttpCompression_);
  if (is("ProxyAuthScheme")) {
    return query ? SetConfigAnswer(answer, static_cast<int>(proxyAuthScheme_)) : SetProxyAuthScheme(setting->AsInt());
  }
  if (is("ProxyServer")) return text(proxyServer_);
  if (is("ProxyPort")) return number(proxyPort_);
  if (is("ProxyUser")) return query ? SetConfigAnswer(answer, proxyUser_.CStr()) : SetProxyUser(setting->Value());
  if (is("ProxyPassword")) {
    return query ? SetConfigAnswer(answer, proxyPassword_.CStr()) : SetProxyPassword(setting->Value());
  }
  if (is("ProxyAuthorization")) return text(proxyAuthorization_);
  if (is("IfModifiedSince")) return text(ifModifiedSince_);
  if (is("EncodeURL")) return flag(target_.encoding.encodeUrl);
  if (is("EncodeQueryString")) return flag(target_.encoding.encodeQueryString);
  if (is("EncodeRedirectLocation")) return flag(target_.encoding.encodeRedirectLocation);
  if (is("Append")) return flag(append_);
  if (is("CreateLocalFileAttributes")) return number(createLocalFileAttributes_);
  if (is("SingleLineMode")) {
    if (query) return SetConfigAnswer(answer, GetSingleLineMode());
    SetSingleLineMode(setting->AsBool());
    return kStatusOk;
  }
  if (is("LocalFile")) return query ? SetConfigAnswer(answer, localFile_.Name()) : localFile_.Set(setting->Value());
  if (is("GetOn302Redirect")) return digit(getOn302Redirect_);
  if (is("AbsoluteURI")) return flag(absoluteUri_);
  if (is("DebugTrace")) return flag(debugTrace_);
  if (is("DontClearCookiesOnUrlChange")) return flag(dontClearCookiesOnUrlChange_);
  if (is("UsePlatformHTTPClient")) return flag(usePlatformHttpClient_);
  if (is("FollowRedirects")) return number(target_.followRedirects);
  if (is("HttpCookies")) return text(cookies_.rawText);
  if (is("MaxRedirectAttempts")) {
    if (query) return SetConfigAnswer(answer, target_.maxRedirectAttempts);
    target_.SetMaxRedirectAttempts(setting->AsInt());
    return kStatusOk;
  }
  if (is("BytesTransferred")) return query ? SetConfigAnswer(answer, static_cast<long>(bytesTransferred_)) : base();
  if (is("UseChunkedEncoding")) return flag(useChunkedEncoding_);
  if (is("ChunkSize")) return number(chunkSize_);
  if (is("PostDataAfterNegotiate")) return flag(postDataAfterNegotiate_);
  if (is("AllowIdenticalRedirectURL")) return flag(target_.allowIdenticalRedirectUrl);
  if (is("OtherHeaders")) return text(otherHeaders_);
  if (is("KerberosToken")) {
    if (query) return base();
    TORNELL_TRY(SetAuthScheme(kAuthProprietary));
    ByteString value;
    TORNELL_TRY(value.Set("Negotiate "));
    TORNELL_TRY(value.Append(setting->Value()));
    return authorization_.Set(value.CStr());
  }
  if (is("UseWinInet")) return flag(useWinInet_);
  if (is("UseWinInetCookies")) return flag(useWinInetCookies_);
  if (is("ReadContentLength")) return flag(readContentLength_);
  if (is("Loglevel")) {
    if (query) return SetConfigAnswer(answer, GetLogLevel());
    SetLogLevel(setting->AsInt());
    return kStatusOk;
  }
  if (is("NegotiatedHTTPVersion")) return query ? SetConfigAnswer(answer, negotiatedHttpVersion_.CStr()) : base();
  if (is("AllowHTTPFallback")) return flag(allowHttpFallback_);
  if (is("HTTP2HeadersWithoutIndexing")) {
    if (query) return SetConfigAnswer(answer, http2_.GetHeadersWithoutIndexing());
    return http2_.SetHeadersWithoutIndexing(setting->Value());
  }
  if (is("UseInternalKerberos")) return digit(useInternalKerberos_);
  if (is("KerberosKeytabFile")) {
    kdc_.ClearError();
    const int status = kdc_.Config(setting, answer);
    return status == kStatusOk ? status : ReturnError(status, kdc_.GetLastErrorText());
  }
  if (is("KerberosKDC")) return text(kerberosKdc_);
  return base();
}

void HttpProtocol::SetLogLevel(int level) {
  log_.SetLevel(level);
  static_cast<void>(kdc_.SetLogPackets(level >= 2 ? 1 : 0));
}

}  // namespace tornell
