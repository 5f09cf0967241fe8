#pragma once
// The HTTP/1.x client protocol object on the blocking transport: every
// request setting, the state of the response in progress, the action
// dispatcher and the events it raises on its component.
#include <cstdint>

#include "core/base/FilePath.h"
#include "core/base/FileStream.h"
#include "core/text/ByteString.h"
#include "core/text/HeaderText.h"
#include "core/text/InlineString.h"
#include "core/text/SecretBytes.h"
#include "http/cookies/HttpCookieList.h"
#include "http/decode/ContentDecoder.h"
#include "http/headers/HttpHeaderList.h"
#include "http/h2/Http2Connection.h"
#include "http/headers/HttpLog.h"
#include "http/protocol/HttpEventSink.h"
#include "http/protocol/Http2Forwarders.h"
#include "http/protocol/KdcUdpClient.h"
#include "http/url/UrlTarget.h"
#include "net/auth/DigestAuthenticator.h"
#include "net/connection/TransferConnection.h"

namespace tornell {

enum HttpAction { kHttpInterrupt = 0, kHttpGet = 1, kHttpPost = 2, kHttpHead = 3, kHttpClearRequest = 4,
                  kHttpPut = 5, kHttpDelete = 6 };

enum HttpAuthScheme { kAuthBasic = 0, kAuthDigest = 1, kAuthProprietary = 2, kAuthNone = 3, kAuthNtlm = 4,
                      kAuthNegotiate = 5, kAuthAutomatic = 7 };

constexpr int kHttpStatusBusy = 143;

class HttpProtocol : public TransferConnection, public HttpLogSink {
 public:
  static constexpr int kDefaultChunkSize = 16384;
  static constexpr unsigned kDefaultMaxLineLength = 4000;
  static constexpr char kDefaultUserAgent[] = "Tornell HTTP Client";

  HttpProtocol();
  ~HttpProtocol() override;

  // Every default; also the full reset of the component. Nonzero on success.
  int Init();

  // ---- overrides of the connection layers ----
  int RegisterSocket(long descriptor, long mask, void*& handle) override;
  int ExternalWait(long& milliseconds) override;
  int ExternalRegisterSocket(long descriptor, long mask, void*& handle) override;
  int ExternalUnregisterSocket(void* handle) override;
  int FireError(int code, char* description) override;
  [[nodiscard]] int SendPlain(const char* data, int length) override;
  int OnProxyReply(const char* data, int length) override;
  int OnLog(int level, const char* message, const char* type) override;
  int OnDisconnected(int code) override;
  int OnConnected(int code) override;
  int DoEvents(int milliseconds, void* context) override;
  using TransferConnection::DoEvents;
  int FireDataIn(const char* data, int length, int eol) override;
  bool TakesWholeRecords() const override;
  int OnFileProgress(long bytesSoFar, int code) override;
  int Receive(int mode) override;
  int Close() override;
  int FireConnected(int code, const char* description) override;
  int FireDisconnected(int code, const char* description) override;
  int FireConnectionStatus(const char* event, int code, const char* description) override;
  int FireSSLServerAuthentication(const char* encoded, int length, const char* subject, const char* issuer,
                                  const char* status, int& accept) override;
  int FireSSLStatus(const char* message) override;

  // ---- virtual operations of the protocol object ----
  [[nodiscard]] virtual int DoAction(int action);
  virtual int FireHeader(const char* name, const char* value);
  virtual int FireSetCookie(const char* name, const char* value, const char* expires, const char* domain,
                            const char* path, int secure);
  virtual int FireRedirect(const char* location, int& accept);
  virtual int FireStatus(const char* version, int code, const char* description);
  virtual int FireStartTransfer(int direction);
  // The text is terminated for the event at `length`; the byte there is put
  // back afterwards, so the buffer must have room for it.
  virtual int FireTransfer(int direction, int64_t bytes, int percent, char* text, int length);
  virtual int FireEndTransfer(int direction);
  int FireLog(int level, const char* message, const char* type) override;

  // ---- operations ----
  int ClearRequest();
  [[nodiscard]] int WaitForResponse();
  // The end of a response: file closed, EndTransfer once, ResponseDone set.
  int EndResponse();

  // ---- request side ----
  // `unused` is 1 for HEAD and DELETE, 0 otherwise; it changes nothing.
  [[nodiscard]] int RequestWithoutBody(const char* method, int unused);
  [[nodiscard]] int RequestWithBody(const char* method, int unused);
  [[nodiscard]] int StartRequest(const char* method);
  [[nodiscard]] int WriteRequestLine(const char* method, bool hasBody, bool finalCrlf, ByteString& out);
  [[nodiscard]] virtual int WriteHeaders(bool hasBody, ByteString& out);
  [[nodiscard]] int SendRequestHead(const char* method, bool hasBody, bool finalCrlf);
  [[nodiscard]] int SendHttp1NoBody(const char* method);
  [[nodiscard]] int SendHttp1WithBody(const char* method, bool finalCrlf);
  // The Authorization and Proxy-Authorization texts for the schemes this
  // object builds itself; `retry` after a 401 or 407.
  [[nodiscard]] virtual int BuildAuthorization(int retry);
  [[nodiscard]] virtual int BuildProxyAuthorization(int retry);

  // ---- HTTP/2 request path ----
  [[nodiscard]] int SendHttp2Request(const char* method, bool hasBody, int flag);
  [[nodiscard]] int BuildHttp2HeaderList(const char* method, bool hasBody, StringList& list);
  [[nodiscard]] int SendHttp2Data(const char* data, int length, const char* what, bool last);
  int OnHttp2Event(int kind, const void* data, int length);
  // Received bytes of an HTTP/2 exchange, and the end of an asynchronous one.
  int OnHttp2DataIn(const char* data, int length, int eol);
  int EndAsyncHttp2Exchange();
  Http2Connection& Http2() { return http2_; }
  KdcUdpClient& Kerberos() { return kdc_; }
  // What "h2" the request offers by ALPN: both protocols with the fallback
  // allowed, "h2" alone without it, none for HTTP/1.x.
  [[nodiscard]] int OfferAlpnForVersion();
  // The connection speaks HTTP/2: asked for, and "h2" selected by ALPN.
  bool IsHttp2Active() const;

  // ---- response side ----
  // One line (terminator removed, eol set) or block of the response. The
  // data must have room for two more bytes.
  [[nodiscard]] int OnDataIn(char* data, int length, int eol);
  [[nodiscard]] int OnResponseHeader(const char* name, const char* value);
  [[nodiscard]] int OnResponseBody(char* data, int length);
  // The wait for the response ended with `code`: the action's result.
  [[nodiscard]] int FinishRequest(int code);

  [[nodiscard]] int SetAuthScheme(int code);
  int GetAuthScheme() const { return authScheme_; }
  [[nodiscard]] int SetProxyAuthScheme(int code);
  int GetProxyAuthScheme() const { return proxyAuthScheme_; }
  static const char* AuthSchemeName(int code);

  // URL handling: redirect 0 for the caller's URL, 1 for a Location.
  [[nodiscard]] int SetURL(const char* url, int redirect);
  const char* GetURL() const { return target_.Url().CStr(); }
  [[nodiscard]] int SetURLScheme(const char* scheme) { return target_.SetScheme(scheme); }
  const char* GetURLScheme() const { return target_.Scheme().CStr(); }
  [[nodiscard]] int SetURLServer(const char* server);
  const char* GetURLServer() const { return target_.Server().CStr(); }
  [[nodiscard]] int SetURLPort(int port);
  int GetURLPort() const { return target_.Port(); }
  [[nodiscard]] int SetURLPath(const char* path) { return target_.SetPath(path); }
  const char* GetURLPath() const { return target_.Path().CStr(); }
  UrlTarget& Target() { return target_; }
  // The request's host and port for the connection; an open connection to
  // another endpoint is closed first.
  [[nodiscard]] int SetTargetHost(const char* host);
  [[nodiscard]] int SetTargetPort(int port);
  // Headers the caller meant for its own URL stay home on a redirect that
  // leaves that origin.
  bool IsOtherOrigin() const { return target_.IsOtherOrigin(); }

  // Cookies.
  [[nodiscard]] int ParseSetCookie(const char* text);
  [[nodiscard]] int AddCookie(const char* name, const char* value) { return cookies_.AddCallerCookie(name, value); }
  [[nodiscard]] int DropServerCookies() { return cookies_.DropServerCookies(dontClearCookiesOnUrlChange_); }
  [[nodiscard]] int CheckCookieIndex(int i);
  // The Cookie value for this request; secure cookies go over https only.
  [[nodiscard]] int CookieHeaderValue(ByteString& out);
  HttpCookieList& Cookies() { return cookies_; }

  // Chunked request bodies: the line before and after each chunk.
  [[nodiscard]] int SendChunkHeader(long length);
  [[nodiscard]] int SendChunkTrailer();

  // Log lines reach FireLog only up to the log level, Basic values masked.
  [[nodiscard]] int LogText(int level, const char* text, const char* type) { return log_.LogText(level, text, type); }
  [[nodiscard]] int LogBody(const void* data, int length, const char* type) {
    return log_.LogBody(data, length, type);
  }
  int GetLogLevel() const { return log_.Level(); }
  // Also switches the Kerberos client's packet dumps: on from level 2.
  void SetLogLevel(int level);

  // ---- settings and state ----
  HttpHeaderList& ResponseHeaders() { return responseHeaders_; }
  int GetCurrentAction() const { return currentAction_; }
  int GetHttpKeepAlive() const { return keepAliveRequests_; }
  void SetHttpKeepAlive(int on) { keepAliveRequests_ = on != 0 ? 1 : 0; }
  int GetResponseDone() const { return responseDone_; }
  int GetFollowRedirects() const { return target_.followRedirects; }
  void SetFollowRedirects(int value) { target_.followRedirects = value; }
  const char* GetUser() const { return target_.User().CStr(); }
  // New credentials answer no earlier challenge and rebuild the header.
  [[nodiscard]] int SetUser(const char* user);
  const char* GetPassword() const { return target_.Password().CStr(); }
  [[nodiscard]] int SetPassword(const char* password);
  const char* GetAuthorization() const { return authorization_.CStr(); }
  [[nodiscard]] int SetAuthorization(const char* text) { return authorization_.Set(text); }
  const char* GetProxyUser() const { return proxyUser_.CStr(); }
  [[nodiscard]] int SetProxyUser(const char* text);
  const char* GetProxyPassword() const { return proxyPassword_.CStr(); }
  [[nodiscard]] int SetProxyPassword(const char* text);
  const char* GetProxyAuthorization() const { return proxyAuthorization_.CStr(); }
  [[nodiscard]] int SetProxyAuthorization(const char* text) { return proxyAuthorization_.Set(text); }
  const char* GetPendingAuth() const { return pendingAuth_.CStr(); }
  [[nodiscard]] int SetPendingAuth(const char* text) { return pendingAuth_.Set(text); }
  const char* GetPendingProxyAuth() const { return pendingProxyAuth_.CStr(); }
  [[nodiscard]] int SetPendingProxyAuth(const char* text) { return pendingProxyAuth_.Set(text); }
  ShortString& UserAgent() { return userAgent_; }
  ShortString& Range() { return range_; }
  ShortString& Accept() { return accept_; }
  ShortString& HttpMethod() { return httpMethod_; }
  const char* GetRequestMethod() const { return requestMethod_.CStr(); }
  const char* GetHTTPVersion() const { return httpVersion_.CStr(); }
  ByteString& OtherHeaders() { return otherHeaders_; }
  ByteString& PostData() { return postData_; }
  ByteString& TransferredData() { return transferredData_; }
  InlineString<50>& RedirectLocation() { return redirectLocation_; }
  InlineString<30>& StatusLine() { return statusLine_; }
  int GetStatusCode() const { return statusCode_; }
  int GetDontClearCookiesOnUrlChange() const { return dontClearCookiesOnUrlChange_; }
  void SetDontClearCookiesOnUrlChange(int value) { dontClearCookiesOnUrlChange_ = value; }
  int GetChunkSize() const { return chunkSize_; }
  int GetPostDataAfterNegotiate() const { return postDataAfterNegotiate_; }
  int GetAllowHTTPFallback() const { return allowHttpFallback_; }
  const char* GetAcceptEncoding() const { return acceptEncoding_.CStr(); }
  int64_t GetContentLength() const { return contentLength_; }
  int64_t GetTransferredDataLimit() const { return transferredDataLimit_; }
  void SetTransferredDataLimit(int64_t limit) { transferredDataLimit_ = limit; }
  int GetResponseParseState() const { return responseParseState_; }
  int64_t GetBytesTransferred() const { return bytesTransferred_; }
  const char* GetResponseVersion() const { return responseVersion_.CStr(); }
  const char* GetReasonPhrase() const { return reasonPhrase_.CStr(); }
  const ByteString& TransferredHeaders() const { return transferredHeaders_; }
  const ByteString& SentHeaders() const { return sentHeaders_; }
  const ByteString& TransferredRequest() const { return transferredRequest_; }
  const char* GetResponseContentType() const { return responseContentType_.CStr(); }

  // ---- configuration keys and the component's property accessors ----
  int Config(ConfigSetting* setting, const char*& answer) override;
  // Stored first, then checked: 202 for anything but 1.0, 1.1 and 2.0.
  [[nodiscard]] int SetHTTPVersion(const char* text);
  // The host's Authorization text: the scheme becomes Proprietary unless it
  // already sends the text as it is.
  [[nodiscard]] int SetCallerAuthorization(const char* text);
  ShortString& From() { return from_; }
  ShortString& IfModifiedSince() { return ifModifiedSince_; }
  ShortString& Referer() { return referer_; }
  ShortString& Pragma() { return pragma_; }
  ByteString& ContentType() { return contentType_; }
  FilePath& AttachedFile() { return attachedFile_; }
  FilePath& LocalFile() { return localFile_; }
  ShortString& ProxyServer() { return proxyServer_; }
  int GetProxyPort() const { return proxyPort_; }
  void SetProxyPort(int port) { proxyPort_ = port; }
  int GetProxyAutoDetect() const { return proxyAutoDetect_; }
  int GetProxySSL() const { return proxySsl_; }
  // 3 tunnels through a CONNECT proxy; every other mode leaves the firewall off.
  [[nodiscard]] int SetProxySSL(int mode);
  int GetAllowHTTPCompression() const { return allowHttpCompression_; }
  void SetAllowHTTPCompression(int on) { allowHttpCompression_ = on != 0 ? 1 : 0; }
  int GetIdle() const { return currentAction_ == 0 ? 1 : 0; }

 protected:
  // The request itself (line, headers, body, response); the request side
  // supplies it. `withBody` for POST and PUT.
  [[nodiscard]] virtual int RunRequest(const char* method, bool withBody);

  HttpEventSink* RegisteredSink() const;
  // The registered sink, handed the code page first.
  HttpEventSink* Sink();
  [[nodiscard]] int ClearCredentialState();
  [[nodiscard]] int ApplyUrlChange(const UrlChange& change);

  // Response parser states.
  enum ParseState : uint8_t { kExpectStatus = 0, kInterimResponse = 1, kHeaders = 2, kBody = 3, kChunkHeader = 4,
                              kChunkData = 5, kChunkEnd = 6, kChunkDataCr = 7 };
  // A header line longer than this is refused rather than gathered.
  static constexpr int kMaxHeaderLine = 65536;

  // Request side helpers.
  bool IsDirectRequest() const;
  bool IsBodyWithheld() const;
  [[nodiscard]] int SendRequestHead(const char* method, bool hasBody, bool finalCrlf, const ByteString* inlineBody);
  [[nodiscard]] int AppendHeader(ByteString& out, const char* name, const char* value);
  [[nodiscard]] int SendBody(int chunkSize);
  [[nodiscard]] int SendPostData(int chunkSize);
  [[nodiscard]] int RecordAttachedFile();
  [[nodiscard]] int SendChunkedFile(int chunkSize);
  [[nodiscard]] int ReissueRequest();
  bool HasRequestBody() const;
  // Authorization helpers: one Digest value, one NTLM or Negotiate token.
  [[nodiscard]] int BuildDigest(DigestAuthenticator& digest, const char* user, const SecretBytes& password,
                                bool withAlgorithm, ByteString& out);
  [[nodiscard]] int BuildNtlmToken(const char* user, const SecretBytes& password, const char* server,
                                   const char* challenge, int retry, ByteString& out);
  [[nodiscard]] int BuildNegotiateToken(int retry, ByteString& out);
  // Negotiate through the built-in Kerberos client: a whole AS and TGS
  // exchange with the KDC, then the Base64 GSS-API token.
  [[nodiscard]] int BuildKerberosToken(const ByteString& spn, ByteString& out);
  // The first Digest challenge of a response this client can answer wins;
  // later ones (say SHA-256 after MD5) must not replace it.
  [[nodiscard]] int TakeDigestChallenge(DigestAuthenticator& digest, uint8_t& taken, const char* text);
  // Response side helpers.
  void ResetResponse();
  [[nodiscard]] int ParseStatusLine(char* data, int length, int eol);
  [[nodiscard]] int OnHeaderLine(char* data, int length);
  [[nodiscard]] int OnHeadersDone();
  [[nodiscard]] int SwitchTerminator(const char* eol, int length);
  void SkipIdleRead();
  [[nodiscard]] int OnChunkSize(const char* data, int length);
  [[nodiscard]] int OnChunkData(char* data, int length, int eol);
  [[nodiscard]] int DeliverBody(char* data, int length);
  [[nodiscard]] int OpenLocalFile();
  [[nodiscard]] int FailResponse(int code, const char* text);
  [[nodiscard]] int RepeatAction(int action);
  [[nodiscard]] int FollowRedirect(int action);
  friend class BodySink;

  HttpHeaderList responseHeaders_;
  HttpCookieList cookies_;
  int debugTrace_ = 0;
  uint8_t currentAction_ = 0;
  uint8_t authScheme_ = kAuthBasic;
  uint8_t proxyAuthScheme_ = kAuthBasic;
  uint8_t responseParseState_ = 0;
  int64_t bytesTransferred_ = 0;
  HttpLog log_{this};
  ByteString transferredHeaders_;
  ByteString transferredData_;
  int64_t contentLength_ = -1;
  uint8_t keepAliveRequests_ = 0;
  uint8_t responseDone_ = 0;
  uint8_t proxyAutoDetect_ = 0;
  uint8_t proxySsl_ = 0;
  InlineString<50> redirectLocation_;
  // URL, its parts, the default port, the server credentials, the redirect
  // budget and policy and the encoding switches.
  UrlTarget target_;
  ShortString proxyServer_;
  int proxyPort_ = 80;
  SecretBytes authorization_;
  ShortString proxyUser_;
  SecretBytes proxyPassword_;
  SecretBytes proxyAuthorization_;
  ShortString accept_;
  ShortString acceptEncoding_;
  ShortString from_;
  ShortString userAgent_;
  ShortString ifModifiedSince_;
  ShortString referer_;
  ShortString pragma_;
  ShortString range_;
  InlineString<30> statusLine_;
  ShortString responseVersion_;
  ShortString reasonPhrase_;
  int statusCode_ = 0;
  ShortString httpMethod_;
  ShortString requestMethod_;
  ShortString httpVersion_;
  ShortString pendingAuth_;
  ShortString pendingProxyAuth_;
  int authAttempts_ = 0;
  int proxyAuthAttempts_ = 0;
  int getOn302Redirect_ = 0;
  uint8_t keepTransferredRequest_ = 0;
  ByteString transferredRequest_;
  ByteString sentHeaders_;
  ShortString negotiatedHttpVersion_;
  int dontClearCookiesOnUrlChange_ = 0;
  int absoluteUri_ = 0;
  int allowHttpFallback_ = 1;
  int useChunkedEncoding_ = 0;
  int chunkSize_ = kDefaultChunkSize;
  int createLocalFileAttributes_ = 0;
  DigestAuthenticator serverDigest_;
  DigestAuthenticator proxyDigest_;
  uint8_t serverDigestTaken_ = 0;
  uint8_t proxyDigestTaken_ = 0;
  int allowHttpCompression_ = 0;
  ContentDecoder decoder_;
  int usePlatformHttpClient_ = 0;
  int append_ = 0;
  int postDataAfterNegotiate_ = 1;
  int negotiateTokenReady_ = 0;
  // The HTTP/2 side and what it calls back (Http2Forwarders).
  Http2Connection http2_;
  Http2Forwarders http2Owner_{*this};
  // The final header block of the HTTP/2 response has ended: another one
  // is trailers.
  uint8_t http2HeadersDone_ = 0;
  // An asynchronous request went out over HTTP/2; its stream is still open.
  uint8_t http2Async_ = 0;
  // An asynchronous HTTP/2 request with a body waits for the next wait step.
  uint8_t http2Reissue_ = 0;
  int useInternalKerberos_ = 0;
  KdcUdpClient kdc_;
  // The KDC host; empty: the URL's server.
  ShortString kerberosKdc_;
  FilePath attachedFile_;
  FilePath localFile_;
  FileStream localStream_;
  int64_t requestLength_ = 0;
  // One request: the proxy mode, whether the proxy is bypassed, whether the
  // body waits for the authentication handshake.
  uint8_t proxyMode_ = 0;
  uint8_t directRequest_ = 0;
  uint8_t chunked_ = 0;
  // The connected hook sends the request of an asynchronous action; it
  // does not wait for the response there.
  uint8_t sendOnly_ = 0;
  int chunkRemaining_ = 0;
  // A line that arrived in pieces, gathered up to its end.
  ByteString partialLine_;
  ByteString scratch_;
  // Plain body bytes are read into this block.
  static constexpr int kBodyBlock = 256 * 1024;
  ByteString bodyBlock_;
  ShortString responseContentType_;
  HeaderText currentHeader_;
  // Collected body bytes at most (0: no limit).
  int64_t transferredDataLimit_ = 0;
  // What ended the response early: a parse or storage error, or a close
  // before the body was complete.
  int responseError_ = 0;
  ByteString contentType_;
  ByteString postData_;
  ByteString otherHeaders_;
  // Stored only.
  int useWinInet_ = 0;
  int readContentLength_ = 0;
  int useWinInetCookies_ = 1;
};

}  // namespace tornell
