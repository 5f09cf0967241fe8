#include "core/base/Status.h"
#include "http/component/HttpComponent.h"

namespace tornell {

namespace {

bool IsReadOnly(int property) {
  switch (property) {
    case 9: case 10: case 12: case 13: case 25: case 30: case 31: case 32: case 51: case 52: case 54: case 56:
      return true;
    default:
      return false;
  }
}

bool IsCookieText(int property) { return (property >= 9 && property <= 12) || property == 14; }

void* Text(const char* text) { return PackText(text); }

}  // namespace

// ---- properties --------------------------------------------------------------------------

// The cookie index check empties the error text and sets its own on failure;
// the last error code stays what it was.
bool HttpComponent::CookieIndexInRange(int index) {
  const int code = protocol_.GetLastErrorCode();
  const bool inRange = protocol_.CheckCookieIndex(index) == kStatusOk;
  protocol_.SetLastErrorCode(code);
  return inRange;
}

int HttpComponent::CheckIndex(int property, int index) {
  if (property >= 9 && property <= 14) return CookieIndexInRange(index) ? kStatusOk : kHttpStatusIndexCheck;
  if (property == 31 || property == 32) {
    const bool inRange = index >= 0 && index < protocol_.ResponseHeaders().Count();
    return inRange ? kStatusOk : kHttpStatusIndexCheck;
  }
  return kStatusOk;
}

void* HttpComponent::Get(int property, int index, int* length) {
  const bool wide = StripWideOffset(property);
  if (property == kPropertyVersion) return const_cast<char*>(kComponentVersion);
  if (property == kPropertyCodePage) return PackInt(protocol_.GetCodePage());
  protocol_.SetLastErrorCode(0);
  if (IsCookieText(property) && !CookieIndexInRange(index)) {
    protocol_.SetLastErrorCode(kStatusIndexRange);
    return Text("");
  }
  if ((property == 31 || property == 32) && (index < 0 || index >= protocol_.ResponseHeaders().Count())) {
    protocol_.SetLastErrorCode(kStatusIndexRange);
    return Text("");
  }
  return GetProperty(property, wide, index, length);
}

void* HttpComponent::GetProperty(int property, bool wide, int index, int* length) {
  HttpProtocol& p = protocol_;
  HttpCookieList& cookies = p.Cookies();
  switch (property) {
    case 1: return Text(p.Accept().CStr());
    case 2: return PackInt(p.GetAllowHTTPCompression());
    case 3: return wide ? nullptr : Text(p.AttachedFile().Name());  // no wide file names on this platform
    case 4: return Text(p.GetAuthorization());
    case 5: return PackInt(p.GetAuthScheme());
    case 6: return PackInt(p.IsConnected() ? 1 : 0);
    case 7: return Text(p.ContentType().CStr());
    case 8: return PackInt(cookies.Count());
    case 9: return Text(cookies.Domain(index));
    case 10: return Text(cookies.Expiry(index));
    case 11: return Text(cookies.Name(index));
    case 12: return Text(cookies.Path(index));
    case 13: return PackInt(cookies.Secure(index));
    case 14: return Text(cookies.Value(index));
    case 15: return PackInt(p.GetFirewallAutoDetect() ? 1 : 0);
    case 16: return PackInt(p.GetFirewallType());
    case 17: return Text(p.GetFirewallHost());
    case 18: return Text(p.GetFirewallPassword());
    case 19: return PackInt(p.GetFirewallPort());
    case 20: return Text(p.GetFirewallUser());
    case 21: return PackInt(p.GetFollowRedirects());
    case 22: return Text(p.From().CStr());
    case 23: return Text(p.HttpMethod().CStr());
    case 24: return Text(p.GetHTTPVersion());
    case 25: return PackInt(p.GetIdle());
    case 26: return Text(p.IfModifiedSince().CStr());
    case 27: return wide ? nullptr : Text(p.LocalFile().Name());
    case 28: return Text(p.GetLocalHost());
    case 29: return Text(p.OtherHeaders().CStr());
    case 30: return PackInt(p.ResponseHeaders().Count());
    case 31: return Text(p.ResponseHeaders().Name(index));
    case 32: return Text(p.ResponseHeaders().Value(index));
    case 33: return Text(p.GetPassword());
    case 34: return ReadBytes([&p](char** d, int* n) {
        *d = const_cast<char*>(p.PostData().CStr());
        *n = p.PostData().Length();
        return 0;
      }, length);
    case 35: return Text(p.Pragma().CStr());
    case 36: return PackInt(p.GetProxyAuthScheme());
    case 37: return PackInt(p.GetProxyAutoDetect());
    case 38: return Text(p.GetProxyPassword());
    case 39: return PackInt(p.GetProxyPort());
    case 40: return Text(p.ProxyServer().CStr());
    case 41: return PackInt(p.GetProxySSL());
    case 42: return Text(p.GetProxyUser());
    case 43: return Text(p.Range().CStr());
    case 44: return Text(p.Referer().CStr());
    case 45: return ReadBytes([&p](char** d, int* n) { return p.GetStoredBytes(d, n); }, length);
    case 46: return ReadBytes([&p](char** d, int* n) { return p.GetSslCertEncoded(d, n); }, length);
    case 47: return ReadBytes([&p](char** d, int* n) { return p.GetSslCertStore(d, n); }, length);
    case 48: return Text(p.GetSslCertStorePassword());
    case 49: return PackInt(p.GetSslCertStoreType());
    case 50: return Text(p.GetSslCertSubject());
    case 51: return ReadBytes([&p](char** d, int* n) { return p.GetClearedBytes(d, n); }, length);
    case 52: return Text(p.StatusLine().CStr());
    case 53: return PackInt(p.GetTimeout());
    case 54: return ReadBytes([&p](char** d, int* n) {
        *d = const_cast<char*>(p.TransferredData().CStr());
        *n = p.TransferredData().Length();
        return 0;
      }, length);
    case 55:
      limitHolder_ = p.GetTransferredDataLimit();
      return &limitHolder_;
    case 56: return Text(p.TransferredHeaders().CStr());
    case 57: return Text(p.GetURL());
    case 58: return Text(p.GetURLPath());
    case 59: return PackInt(p.GetURLPort());
    case 60: return Text(p.GetURLScheme());
    case 61: return Text(p.GetURLServer());
    case 62: return Text(p.GetUser());
    default: return nullptr;
  }
}

int HttpComponent::Set(int property, int index, const void* value, int length) {
  if (property < 1 || property > kHttpLastProperty || IsReadOnly(property)) return kHttpStatusNotSettable;
  // The check leaves its text; its code is not stored.
  if ((property == 11 || property == 14) && !CookieIndexInRange(index)) return kStatusIndexRange;
  return FinishCall(protocol_, SetProperty(property, index, value, length));
}

int HttpComponent::SetProperty(int property, int index, const void* value, int length) {
  HttpProtocol& p = protocol_;
  const int number = UnpackInt(value);
  const char* text = UnpackText(value);
  const char* bytes = value != nullptr ? static_cast<const char*>(value) : "";
  int count = BytesLength(value, length);
  switch (property) {
    case 1: return p.Accept().Set(text);
    case 2: p.SetAllowHTTPCompression(0); return kStatusOk;  // only the configuration key turns it on
    case 3: return p.AttachedFile().Set(text);
    case 4: return p.SetCallerAuthorization(text);
    case 5: return p.SetAuthScheme(number);
    case 6: return p.SetConnected(number, 0);
    case 7: return p.ContentType().Set(text);
    case 8: return p.Cookies().SetCount(number);
    case 11: return p.Cookies().SetName(index, text);
    case 14: return p.Cookies().SetValue(index, text);
    case 15: return p.SetFirewallAutoDetect(number);
    case 16: return p.SetFirewallType(number);
    case 17: return p.SetFirewallHost(text);
    case 18: return p.SetFirewallPassword(text);
    case 19: return p.SetFirewallPort(number);
    case 20: return p.SetFirewallUser(text);
    case 21: p.SetFollowRedirects(number); return kStatusOk;
    case 22: return p.From().Set(text);
    case 23: return p.HttpMethod().Set(text);
    case 24: return p.SetHTTPVersion(text);
    case 26: return p.IfModifiedSince().Set(text);
    case 27: return p.LocalFile().Set(text);
    case 28: return p.SetLocalHost(text);
    case 29: return p.OtherHeaders().Set(text);
    case 33: return p.SetPassword(text);
    case 34: return p.PostData().Set(bytes, count);
    case 35: return p.Pragma().Set(text);
    case 36: return p.SetProxyAuthScheme(number);
    case 37: return kStatusOk;  // accepted, nothing to detect
    case 38: return p.SetProxyPassword(text);
    case 39: p.SetProxyPort(number); return kStatusOk;
    case 40: return p.ProxyServer().Set(text);
    case 41: return p.SetProxySSL(number);
    case 42: return p.SetProxyUser(text);
    case 43: return p.Range().Set(text);
    case 44: return p.Referer().Set(text);
    case 45: return p.SetStoredBytes(bytes, count);
    case 46: return p.SetSslCertEncoded(bytes, count);
    case 47: return p.SetSslCertStore(bytes, count);
    case 48: return p.SetSslCertStorePassword(text);
    case 49: return p.SetSslCertStoreType(number);
    case 50: {
      ByteString subject;
      TORNELL_TRY(subject.Set(text));
      return p.SetSslCertSubject(const_cast<char*>(subject.CStr()));
    }
    case 53: return p.SetTimeout(static_cast<unsigned>(number), 1);
    case 55: p.SetTransferredDataLimit(value != nullptr ? *static_cast<const int64_t*>(value) : 0); return kStatusOk;
    case 57: return p.SetURL(text, 0);
    case 58: return p.SetURLPath(text);
    case 59: return p.SetURLPort(number);
    case 60: return p.SetURLScheme(text);
    case 61: return p.SetURLServer(text);
    case 62: return p.SetUser(text);
    default: return kHttpStatusNotSettable;
  }
}

// ---- methods -----------------------------------------------------------------------------

int HttpComponent::Do(int method, int argc, void** argv, int*) {
  const bool wide = StripWideMethodOffset(method);
  switch (method) {
    case kMethodExternalLoopOff: return protocol_.SetExternalEventLoop(0);
    case kMethodExternalLoopOn: return protocol_.SetExternalEventLoop(1);
    case kMethodExternalPoll: return protocol_.PollEvents(UnpackLong(ArgAt(argc, argv, 0)));
    default: break;
  }
  return FinishCall(protocol_, RunMethod(method, wide, argc, argv));
}

int HttpComponent::RunMethod(int method, bool wide, int argc, void** argv) {
  HttpProtocol& p = protocol_;
  const int codePage = p.GetCodePage();
  WideString converted;
  const char* text = UnpackText(ArgAt(argc, argv, 0));
  auto onUrl = [&](int action) {
    TORNELL_TRY(ConvertWideArgument(wide, codePage, converted, text));
    TORNELL_TRY(p.SetURL(text, 0));
    return p.DoAction(action);
  };
  switch (method) {
    case 2: {  // AddCookie
      WideString convertedValue;
      const char* value = UnpackText(ArgAt(argc, argv, 1));
      TORNELL_TRY(ConvertWideArgument(wide, codePage, converted, text));
      TORNELL_TRY(ConvertWideArgument(wide, codePage, convertedValue, value));
      return p.AddCookie(text, value);
    }
    case 3: {  // Config: the answer goes to argv[1] even when argc is 1
      TORNELL_TRY(ConvertWideArgument(wide, codePage, converted, text));
      const char* answer = "";
      const int code = p.ConfigText(text, answer);
      if (argv != nullptr && argc >= 1) argv[1] = const_cast<char*>(answer);
      return code;
    }
    case 4: return onUrl(kHttpDelete);
    case 5: static_cast<void>(p.DoEventsOnce()); return kStatusOk;
    case 6: return onUrl(kHttpGet);
    case 7: return onUrl(kHttpHead);
    case 8: return p.DoAction(kHttpInterrupt);
    case 9: return onUrl(kHttpPost);
    case 10: return onUrl(kHttpPut);
    case 11: return p.Init() != 0 ? 0 : 1;
    case 12: return p.DoAction(kHttpClearRequest);
    default: return kStatusOk;  // unknown ids do nothing
  }
}

}  // namespace tornell
