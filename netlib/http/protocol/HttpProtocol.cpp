#include "http/protocol/HttpProtocol.h"

#include "core/base/Status.h"
#include "core/text/TextUtils.h"

namespace tornell {

namespace {

constexpr char kBusyText[] = "Busy performing current action.";
constexpr char kCloseWaitText[] = "Received header 'Connection: close', waiting for the connection to close.";

}  // namespace

HttpProtocol::HttpProtocol() { static_cast<void>(Init()); }

HttpProtocol::~HttpProtocol() { localStream_.Close(); }

int HttpProtocol::Init() {
  if (ProtocolConnection::Reset() == 0) return 0;
  http2_.BindProtocol(&http2Owner_);
  if (http2_.Reset() != 0) return 0;
  http2HeadersDone_ = 0;
  http2Async_ = 0;
  debugTrace_ = 0;
  currentAction_ = 0;
  authScheme_ = kAuthBasic;
  proxyAuthScheme_ = kAuthBasic;
  if (userAgent_.Set(kDefaultUserAgent) != kStatusOk) return 0;
  proxyPort_ = 80;
  UrlChange change;
  // The exact-case prefix rule leaves the default port at 80 for "".
  if (target_.SetURL("", 0, change) != kStatusOk) return 0;
  if (httpVersion_.Set("1.1") != kStatusOk) return 0;
  responseParseState_ = 0;
  bytesTransferred_ = 0;
  contentLength_ = -1;
  statusCode_ = 0;
  requestLength_ = 0;
  target_.followRedirects = 0;
  keepAliveRequests_ = 0;
  serverDigest_.Reset();
  proxyDigest_.Reset();
  authAttempts_ = proxyAuthAttempts_ = 0;
  proxyAutoDetect_ = 0;
  if (SetMaxLineLength(kDefaultMaxLineLength) != kStatusOk) return 0;
  getOn302Redirect_ = 0;
  keepTransferredRequest_ = 0;
  dontClearCookiesOnUrlChange_ = 0;
  target_.encoding.encodeQueryString = 1;
  target_.encoding.encodeRedirectLocation = 0;
  append_ = createLocalFileAttributes_ = allowHttpCompression_ = 0;
  if (acceptEncoding_.Set("gzip, deflate") != kStatusOk) return 0;
  if (decoder_.Reset() != kStatusOk) return 0;
  target_.encoding.encodeUrl = 0;
  absoluteUri_ = usePlatformHttpClient_ = useChunkedEncoding_ = 0;
  chunkSize_ = kDefaultChunkSize;
  target_.maxRedirectAttempts = UrlTarget::kDefaultMaxRedirects;
  postDataAfterNegotiate_ = 1;
  target_.allowIdenticalRedirectUrl = 0;
  negotiateTokenReady_ = 0;
  uploading_ = 0;
  allowHttpFallback_ = 1;
  useWinInet_ = readContentLength_ = 0;
  useWinInetCookies_ = 1;
  log_.SetLevel(HttpLog::kDefaultLevel);
  useInternalKerberos_ = 0;
  return kdc_.Bind(this);
}

// ---- actions ------------------------------------------------------------------------

int HttpProtocol::DoAction(int action) {
  ByteString urlLine;
  if (log_.Level() >= 2 && urlLine.Set("URL: ") == kStatusOk && urlLine.Append(target_.Url().CStr()) == kStatusOk) {
    static_cast<void>(LogText(2, urlLine.CStr(), "Info"));
  }
  if (currentAction_ != 0 && action != kHttpInterrupt) return ReturnError(kHttpStatusBusy, kBusyText);

  static_cast<void>(StartTimeout());
  static_cast<void>(decoder_.Reset());
  if (currentAction_ != 0) interruptRequest_ = 0;
  ClearError();
  statusLine_.Clear();
  statusCode_ = 0;
  responseVersion_.Clear();
  reasonPhrase_.Clear();
  redirectLocation_.Clear();
  requestLength_ = 0;
  responseDone_ = 0;
  if (action != kHttpInterrupt) currentAction_ = static_cast<uint8_t>(action);

  int result = 0;
  const char* custom = httpMethod_.IsEmpty() ? nullptr : httpMethod_.CStr();
  switch (action) {
    case kHttpInterrupt:
      if (currentAction_ == 0) return 0;
      Interrupt();
      currentAction_ = 0;
      if (uploading_ == 0) Close();
      return 0;
    case kHttpGet: result = RunRequest(custom != nullptr ? custom : "GET", false); break;
    case kHttpHead: result = RunRequest(custom != nullptr ? custom : "HEAD", false); break;
    case kHttpDelete: result = RunRequest(custom != nullptr ? custom : "DELETE", false); break;
    case kHttpPost: result = RunRequest(custom != nullptr ? custom : "POST", true); break;
    case kHttpPut: result = RunRequest(custom != nullptr ? custom : "PUT", true); break;
    case kHttpClearRequest:
      transferredData_.Clear();
      getOn302Redirect_ = 0;
      result = ClearRequest();
      break;
    default: break;
  }

  if (result == 0 && keepAliveRequests_ != 0 && CompareNoCase(responseHeaders_.Find("Connection"), "close") == 0) {
    static_cast<void>(LogText(1, kCloseWaitText, "Info"));
    Close();
    // The deadline armed above bounds this wait.
    while (connected_ != 0 || connecting_ != 0 || IsNegotiatingProxy()) {
      if (DoEvents() == kWaitStop) break;
    }
  }

  ByteString errorCopy;
  static_cast<void>(errorCopy.Set(GetLastErrorText()));
  if (action != kHttpClearRequest && GetTimeout() >= 0) OnBlockingActionDone();
  if (WasInterrupted() != 0) {
    result = kStatusInterrupted;
    ClearInterrupted();
  }
  currentAction_ = 0;
  if (IsErrorTextEmpty() != 0 && !errorCopy.IsEmpty()) SetErrorText(errorCopy.CStr());
  return result;
}

int HttpProtocol::ClearRequest() {
  UrlChange change;
  TORNELL_TRY(target_.SetURL("", 0, change));
  postData_.Clear();
  contentType_.Clear();
  TORNELL_TRY(ClearCredentialState());
  proxyUser_.Clear();
  proxyPassword_.Clear();
  proxyAuthorization_.Clear();
  accept_.Clear();
  from_.Clear();
  ifModifiedSince_.Clear();
  referer_.Clear();
  pragma_.Clear();
  otherHeaders_.Clear();
  statusLine_.Clear();
  attachedFile_.Clear();
  localFile_.Clear();
  TORNELL_TRY(responseHeaders_.Clear());
  TORNELL_TRY(cookies_.Clear());
  TORNELL_TRY(decoder_.Reset());
  return 0;
}

// Server credentials, both Digest engines and both pending challenges.
int HttpProtocol::ClearCredentialState() {
  TORNELL_TRY(target_.SetUser(""));
  TORNELL_TRY(target_.SetPassword(""));
  authorization_.Clear();
  serverDigest_.Reset();
  proxyDigest_.Reset();
  pendingAuth_.Clear();
  pendingProxyAuth_.Clear();
  return 0;
}

int HttpProtocol::WaitForResponse() {
  static_cast<void>(LogText(2, "Request Sent", "Info"));
  if (connected_ == 0 || GetTimeout() < 0) return 0;
  disconnectCode_ = 0;
  // ResponseDone was cleared when the request started: an answer that came
  // during the upload has ended the wait already.
  for (;;) {
    if (DoEvents() == kWaitStop) return kStatusInterrupted;
    if (responseDone_ != 0) return 0;
    if (GetLastErrorCode() != 0) return GetLastErrorCode();
    if (connected_ == 0 || disconnectCode_ != 0) return disconnectCode_;
  }
}

int HttpProtocol::EndResponse() {
  localStream_.Close();
  // An HTTP/1.0 server closes after its answer unless it says otherwise: a
  // next request must not go out on that connection.
  const bool peerCloses = responseVersion_.Equals("HTTP/1.0") &&
                          CompareNoCase(responseHeaders_.Find("Connection"), "keep-alive") != 0;
  if (keepAliveRequests_ == 0 || GetTimeout() < 0 || peerCloses) Close();
  if (responseDone_ != 0) return 0;
  responseDone_ = 1;
  const bool redirecting = statusCode_ >= 300 && statusCode_ < 400 && !redirectLocation_.IsEmpty();
  if (!redirecting) static_cast<void>(FireEndTransfer(1));
  return 0;
}

// ---- authentication schemes ---------------------------------------------------------------

const char* HttpProtocol::AuthSchemeName(int code) {
  switch (code) {
    case kAuthBasic: return "Basic";
    case kAuthDigest: return "Digest";
    case kAuthProprietary: return "Proprietary";
    case kAuthNone: return "None";
    case kAuthNtlm: return "NTLM";
    case kAuthNegotiate: return "Negotiate";
    case kAuthAutomatic: return "Automatic";
    default: return "";
  }
}

int HttpProtocol::SetAuthScheme(int code) {
  pendingAuth_.Clear();
  if (code != authScheme_) {
    TORNELL_TRY(target_.SetUser(""));
    TORNELL_TRY(target_.SetPassword(""));
    authorization_.Clear();
  }
  if (code == kAuthNtlm || code == kAuthNegotiate) keepAliveRequests_ = 1;
  authScheme_ = static_cast<uint8_t>(code);
  return 0;
}

int HttpProtocol::SetProxyAuthScheme(int code) {
  pendingProxyAuth_.Clear();
  if (code != proxyAuthScheme_) {
    proxyAuthorization_.Clear();
    if (code == kAuthNone) {
      proxyUser_.Clear();
      proxyPassword_.Clear();
    }
  }
  if (code == kAuthNtlm) keepAliveRequests_ = 1;
  proxyAuthScheme_ = static_cast<uint8_t>(code);
  return 0;
}

}  // namespace tornell
