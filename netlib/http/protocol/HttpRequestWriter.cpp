// The request side of the HTTP/1.x client: proxy, tunnel or direct
// connection, the request line and header block, and the body from PostData
// and AttachedFile.
#include <cstdio>

#include "core/base/Status.h"
#include "core/text/TextUtils.h"
#include "http/base/HttpStatus.h"
#include "http/headers/HeaderText.h"
#include "http/protocol/HttpProtocol.h"

namespace tornell {

namespace {

constexpr char kVersionText[] = "Invalid HTTP version. Please use a supported HTTP version (1.0, 1.1, 2.0).";
constexpr char kNoServerText[] = "No server specified in URL";
constexpr char kUnknownProxySchemeText[] = "Unknown proxy authentication scheme.";
constexpr char kAttachedFileText[] = "Can't open AttachedFile.";
constexpr int kStatusNoServer = 152;
constexpr int kStatusBadScheme = 153;
// A body this small goes out in the same write as the head.
constexpr int kInlineBodyLimit = 16384;
// Upload progress stopped because the response is already in.
constexpr int kUploadAnswered = -1;
constexpr int kAsyncSendSeconds = 10;

bool IsHttpVersion(const ShortString& version) {
  return version.EqualsIgnoreCase("1.0") || version.EqualsIgnoreCase("1.1") || version.EqualsIgnoreCase("2.0");
}

}  // namespace

// ---- entry points --------------------------------------------------------------------

int HttpProtocol::RunRequest(const char* method, bool withBody) {
  return withBody ? RequestWithBody(method, 0) : RequestWithoutBody(method, method[0] == 'H' || method[0] == 'D');
}

int HttpProtocol::RequestWithoutBody(const char* method, int) {
  if (!IsHttpVersion(httpVersion_)) return ReturnError(kHttpStatusInvalidValue, kVersionText);
  TORNELL_TRY(negotiatedHttpVersion_.Assign(httpVersion_));
  if (connected_ == 0) ClearNegotiatedAlpn();
  if (httpVersion_.Equals("2.0")) return SendHttp2Request(method, false, 0);
  TORNELL_TRY(OfferAlpnForVersion());
  return SendHttp1NoBody(method);
}

int HttpProtocol::RequestWithBody(const char* method, int) {
  if (!IsHttpVersion(httpVersion_)) return ReturnError(kHttpStatusInvalidValue, kVersionText);
  TORNELL_TRY(negotiatedHttpVersion_.Assign(httpVersion_));
  if (connected_ == 0) ClearNegotiatedAlpn();
  if (httpVersion_.Equals("2.0")) return SendHttp2Request(method, true, 0);
  TORNELL_TRY(OfferAlpnForVersion());
  // The header block of a body request ends with its own blank line.
  return SendHttp1WithBody(method, false);
}

// ---- connection ------------------------------------------------------------------------

bool HttpProtocol::IsDirectRequest() const {
  return FirewallNegotiator::IsProxyException(proxyExceptions_.CStr(), target_.Server().CStr(), target_.Port(),
                                              target_.Scheme().CStr());
}

int HttpProtocol::StartRequest(const char* method) {
  proxyMode_ = proxySsl_;
  TORNELL_TRY(responseHeaders_.Clear());
  TORNELL_TRY(requestMethod_.Set(method));
  ResetResponse();
  // The status lines the transport keeps would pile up over kept connections.
  reply_.Clear();
  responseParseState_ = kExpectStatus;
  contentLength_ = -1;
  responseDone_ = 0;
  responseError_ = 0;
  directRequest_ = IsDirectRequest() ? 1 : 0;
  if (!(httpVersion_.Equals("2.0") && negotiatedHttpVersion_.Equals("2.0"))) TORNELL_TRY(SwitchTerminator("\n", 1));
  if (target_.Server().IsEmpty()) return ReturnError(kStatusNoServer, kNoServerText);

  const bool viaProxy = !proxyServer_.IsEmpty() && directRequest_ == 0;
  const bool https = target_.Scheme().EqualsIgnoreCase("https");
  if (viaProxy && proxyMode_ == 0 && https) proxyMode_ = 3;
  const bool forwarding = viaProxy && proxyMode_ != 3;
  if (!forwarding) {
    if (!https && !target_.Scheme().EqualsIgnoreCase("http")) {
      ByteString text;
      TORNELL_TRY(text.Set("Specified URLScheme ("));
      TORNELL_TRY(text.Append(target_.Scheme().CStr()));
      TORNELL_TRY(text.Append(") is invalid."));
      return ReturnError(kStatusBadScheme, text.CStr());
    }
    TORNELL_TRY(SetTargetHost(target_.Server().CStr()));
    TORNELL_TRY(SetTargetPort(target_.Port()));
  } else if (!(proxyAuthScheme_ == kAuthNtlm && proxyAuthAttempts_ > 0)) {
    TORNELL_TRY(SetFirewallType(kFirewallNone));
    TORNELL_TRY(SetTargetHost(proxyServer_.CStr()));
    TORNELL_TRY(SetTargetPort(proxyPort_));
  }

  ByteString summary;
  if (log_.Level() >= 1) {
    if (log_.Level() >= 2) {
      TORNELL_TRY(log_.Log2("HTTP Method: ", method, "Info"));
      TORNELL_TRY(log_.Log2("HTTP Version: ", httpVersion_.CStr(), "Info"));
    }
    TORNELL_TRY(summary.Set("Sending Request: "));
    TORNELL_TRY(summary.Append(method));
    TORNELL_TRY(summary.Append(" (HTTP "));
    TORNELL_TRY(summary.Append(httpVersion_.CStr()));
    TORNELL_TRY(summary.Append(") to "));
    TORNELL_TRY(summary.Append(target_.Url().CStr()));
  }
  const int tls = SetUseSSL(https);
  if (tls != 0) return ReturnError(tls, "Cannot enable SSL.");

  if (viaProxy) {
    if (log_.Level() >= 1) {
      char port[16];
      std::snprintf(port, sizeof port, "%d", proxyPort_);
      TORNELL_TRY(summary.Append(" via proxy server '"));
      TORNELL_TRY(summary.Append(proxyServer_.CStr()));
      TORNELL_TRY(summary.Append(":"));
      TORNELL_TRY(summary.Append(port));
      TORNELL_TRY(summary.Append("'"));
      if (!proxyUser_.IsEmpty()) {
        TORNELL_TRY(summary.Append(" with credentials '"));
        TORNELL_TRY(summary.Append(proxyUser_.CStr()));
        TORNELL_TRY(summary.Append("\\"));
        TORNELL_TRY(summary.AppendRepeated(proxyPassword_.Length(), 'x'));
        TORNELL_TRY(summary.Append("' ("));
        TORNELL_TRY(summary.Append(AuthSchemeName(proxyAuthScheme_)));
        TORNELL_TRY(summary.Append(")"));
      }
      TORNELL_TRY(LogText(1, summary.CStr(), "Info"));
      summary.Clear();
    }
    if (proxyMode_ == 1) TORNELL_TRY(SetUseSSL(true));
    if (proxyMode_ == 2) TORNELL_TRY(SetUseSSL(false));
    if (proxyMode_ == 3) {
      static_cast<void>(SetUseSSL(https));
      int type = kFirewallNone;
      switch (proxyAuthScheme_) {
        case kAuthBasic:
        case kAuthNone: type = kFirewallTunnel; break;
        case kAuthDigest:
          type = kFirewallTunnelDigest;
          TORNELL_TRY(proxy_.SetDigestUri(target_.Path().CStr()));
          break;
        case kAuthNtlm: type = kFirewallTunnelNtlm; break;
        case kAuthNegotiate: type = kFirewallTunnelNegotiate; break;
        default: return ReturnError(kStatusBadScheme, kUnknownProxySchemeText);
      }
      TORNELL_TRY(SetFirewallType(type));
      TORNELL_TRY(SetFirewallHost(proxyServer_.CStr()));
      TORNELL_TRY(SetFirewallPort(proxyPort_));
      TORNELL_TRY(SetFirewallUser(proxyUser_.CStr()));
      TORNELL_TRY(SetFirewallPassword(proxyPassword_.CStr()));
      TORNELL_TRY(SetTargetHost(target_.Server().CStr()));
      TORNELL_TRY(SetTargetPort(target_.Port()));
    }
  }
  if (!summary.IsEmpty()) TORNELL_TRY(LogText(1, summary.CStr(), "Info"));

  if (IsConnected()) return 0;
  if (GetTimeout() < 0) return SetConnected(1, 0);
  return ConnectAndWait();
}

// ---- the head --------------------------------------------------------------------------

int HttpProtocol::AppendHeader(ByteString& out, const char* name, const char* value) {
  ByteString reason;
  const int checked = http::CheckHeaderValue(value, -1, &reason);
  if (checked != 0) return ReturnError(checked, reason.IsEmpty() ? http::kInvalidHeaderValueText : reason.CStr());
  TORNELL_TRY(out.Append("\r\n"));
  TORNELL_TRY(out.Append(name));
  TORNELL_TRY(out.Append(": "));
  return out.Append(value);
}

int HttpProtocol::WriteRequestLine(const char* method, bool hasBody, bool finalCrlf, ByteString& out) {
  directRequest_ = IsDirectRequest() ? 1 : 0;
  // A method or target with a blank or line break would split the line.
  for (const char* text : {method, absoluteUri_ != 0 ? target_.Url().CStr() : target_.Path().CStr()}) {
    for (const char* p = text; *p != '\0'; ++p) {
      if (*p == ' ' || *p == '\r' || *p == '\n') return ReturnError(kHttpStatusInvalidValue, http::kInvalidHeaderValueText);
    }
  }
  TORNELL_TRY(out.Set(method));
  TORNELL_TRY(out.Append(" "));
  const bool absoluteForm = !proxyServer_.IsEmpty() && directRequest_ == 0 && proxySsl_ != 3;
  if (absoluteUri_ != 0) {
    TORNELL_TRY(out.Append(target_.Url().CStr()));
  } else {
    if (absoluteForm) {
      TORNELL_TRY(out.Append(target_.Scheme().CStr()));
      TORNELL_TRY(out.Append("://"));
      TORNELL_TRY(out.Append(target_.Server().CStr()));
      if (target_.Port() != target_.SchemeDefaultPort()) {
        char port[16];
        std::snprintf(port, sizeof port, ":%d", target_.Port());
        TORNELL_TRY(out.Append(port));
      }
    }
    TORNELL_TRY(out.Append(target_.Path().CStr()));
  }
  TORNELL_TRY(out.Append(" HTTP/"));
  TORNELL_TRY(out.Append(negotiatedHttpVersion_.IsEmpty() ? httpVersion_.CStr() : negotiatedHttpVersion_.CStr()));
  TORNELL_TRY(WriteHeaders(hasBody, out));
  if (finalCrlf) TORNELL_TRY(out.Append("\r\n"));
  return 0;
}

bool HttpProtocol::IsBodyWithheld() const {
  if (postDataAfterNegotiate_ == 0) return false;
  return (authScheme_ == kAuthNtlm && authAttempts_ == 0) ||
         (authScheme_ == kAuthNegotiate && authAttempts_ == 0 && negotiateTokenReady_ == 0) ||
         (authScheme_ == kAuthDigest && authAttempts_ == 0) ||
         (proxyAuthScheme_ == kAuthNtlm && proxyAuthAttempts_ == 0);
}

int HttpProtocol::WriteHeaders(bool hasBody, ByteString& out) {
  if (!otherHeaders_.StartsWith("Host:") && absoluteUri_ == 0) {
    ByteString host;
    const ShortString& server = target_.Server();
    if (server.Find(':') >= 0) {
      const int percent = server.Find('%');
      TORNELL_TRY(host.Set("["));
      TORNELL_TRY(host.Append(server.CStr(), percent >= 0 ? percent : server.Length()));
      TORNELL_TRY(host.Append("]"));
    } else {
      TORNELL_TRY(host.Set(server.CStr()));
    }
    if (target_.Port() != target_.SchemeDefaultPort()) {
      char port[16];
      std::snprintf(port, sizeof port, ":%d", target_.Port());
      TORNELL_TRY(host.Append(port));
    }
    TORNELL_TRY(AppendHeader(out, "Host", host.CStr()));
  }
  if (!authorization_.IsEmpty()) TORNELL_TRY(AppendHeader(out, "Authorization", authorization_.CStr()));
  // Only the proxy that forwards the request may see its credentials: not
  // the origin behind a tunnel, nor a host the exception list excludes.
  const bool forwarding = !proxyServer_.IsEmpty() && directRequest_ == 0 && proxyMode_ != 3;
  if (forwarding && !proxyAuthorization_.IsEmpty()) {
    TORNELL_TRY(AppendHeader(out, "Proxy-Authorization", proxyAuthorization_.CStr()));
  }
  if (!accept_.IsEmpty()) TORNELL_TRY(AppendHeader(out, "Accept", accept_.CStr()));
  if (allowHttpCompression_ != 0 && !acceptEncoding_.IsEmpty()) {
    TORNELL_TRY(AppendHeader(out, "Accept-Encoding", acceptEncoding_.CStr()));
  }
  if (!from_.IsEmpty()) TORNELL_TRY(AppendHeader(out, "From", from_.CStr()));
  if (!userAgent_.IsEmpty()) TORNELL_TRY(AppendHeader(out, "User-Agent", userAgent_.CStr()));
  if (!ifModifiedSince_.IsEmpty()) TORNELL_TRY(AppendHeader(out, "If-Modified-Since", ifModifiedSince_.CStr()));
  if (!referer_.IsEmpty()) TORNELL_TRY(AppendHeader(out, "Referer", referer_.CStr()));
  if (!pragma_.IsEmpty()) TORNELL_TRY(AppendHeader(out, "Pragma", pragma_.CStr()));
  if (!range_.IsEmpty()) {
    ByteString range;
    TORNELL_TRY(range.Set("bytes="));
    TORNELL_TRY(range.Append(range_.CStr()));
    TORNELL_TRY(AppendHeader(out, "Range", range.CStr()));
  }
  if (cookies_.Count() > 0) {
    ByteString cookie;
    TORNELL_TRY(CookieHeaderValue(cookie));
    if (!cookie.IsEmpty()) TORNELL_TRY(AppendHeader(out, "Cookie", cookie.CStr()));
  }
  if (keepAliveRequests_ == 0) {
    TORNELL_TRY(out.Append("\r\nConnection: close"));
  } else if (httpVersion_.Equals("1.0")) {
    TORNELL_TRY(out.Append("\r\nConnection: Keep-Alive"));
  }
  TORNELL_TRY(out.Append("\r\n"));
  if (!otherHeaders_.IsEmpty()) {
    TORNELL_TRY(http::EnsureCrLf(otherHeaders_));
    if (IsOtherOrigin()) {
      ByteString kept;
      TORNELL_TRY(http::StripCredentialHeaders(otherHeaders_.CStr(), otherHeaders_.Length(), kept));
      TORNELL_TRY(out.Append(kept.CStr(), kept.Length()));
    } else {
      TORNELL_TRY(out.Append(otherHeaders_.CStr(), otherHeaders_.Length()));
    }
  }
  if (!hasBody) return 0;

  if (!contentType_.IsEmpty()) {
    ByteString reason;
    if (http::CheckHeaderValue(contentType_.CStr(), contentType_.Length(), &reason) != 0) {
      return ReturnError(kHttpStatusInvalidValue, http::kInvalidHeaderValueText);
    }
    TORNELL_TRY(out.Append("Content-Type: "));
    TORNELL_TRY(out.Append(contentType_.CStr(), contentType_.Length()));
    TORNELL_TRY(out.Append("\r\n"));
  }
  if (IsBodyWithheld()) {
    requestLength_ = 0;
  } else if (!(attachedFile_.Length() == 0)) {
    FileStream file;
    if (file.OpenRead(attachedFile_) != kFileOk) return ReturnError(kStatusCannotOpenFile, kAttachedFileText);
    const long size = file.Size();
    file.Close();
    if (size > 0) requestLength_ += size;
  }
  if (!IsBodyWithheld() && useChunkedEncoding_ != 0) return out.Append("Transfer-Encoding: chunked\r\n\r\n");
  char length[48];
  std::snprintf(length, sizeof length, "Content-Length: %lld\r\n\r\n", static_cast<long long>(requestLength_));
  return out.Append(length);
}

int HttpProtocol::SendRequestHead(const char* method, bool hasBody, bool finalCrlf) {
  return SendRequestHead(method, hasBody, finalCrlf, nullptr);
}

int HttpProtocol::SendRequestHead(const char* method, bool hasBody, bool finalCrlf, const ByteString* inlineBody) {
  TORNELL_TRY(StartRequest(method));
  // Still connecting: the connected hook sends the request.
  if (GetTimeout() < 0 && !IsConnected()) return 0;
  if (log_.Level() >= 3) TORNELL_TRY(LogText(3, "Sending Headers", "Info"));
  ByteString head;
  TORNELL_TRY(WriteRequestLine(method, hasBody, finalCrlf, head));
  if (keepTransferredRequest_ != 0) TORNELL_TRY(sentHeaders_.Assign(head));
  if (debugTrace_ != 0) static_cast<void>(FireTransfer(0, head.Length(), -1, head.Data(), head.Length()));
  const int headLength = head.Length();
  // Head and a small body in one write, so no segment waits for the ACK of
  // the one before.
  if (inlineBody != nullptr) TORNELL_TRY(head.Append(inlineBody->CStr(), inlineBody->Length()));
  TORNELL_TRY(SendData(head.CStr(), head.Length(), 1, 0));
  if (log_.Level() >= 3) {
    head.Data()[headLength] = '\0';
    TORNELL_TRY(LogText(3, head.CStr(), "RequestHeaders"));
  }
  return 0;
}

// ---- the two request paths ----------------------------------------------------------------

int HttpProtocol::SendHttp1NoBody(const char* method) {
  TORNELL_TRY(SendRequestHead(method, false, true));
  if (GetTimeout() < 0 && !IsConnected()) return 0;
  TORNELL_TRY(SetReceiveEnabled(1));
  SkipIdleRead();
  if (sendOnly_ != 0) return 0;
  return FinishRequest(WaitForResponse());
}

int HttpProtocol::SendHttp1WithBody(const char* method, bool finalCrlf) {
  const int chunkSize = useChunkedEncoding_ != 0 && chunkSize_ > 0 ? chunkSize_ : kDefaultChunkSize;
  requestLength_ = postData_.Length();
  const bool withheld = IsBodyWithheld();
  const bool hasBody = !withheld && (!postData_.IsEmpty() || !(attachedFile_.Length() == 0));
  const bool inlineBody = hasBody && (attachedFile_.Length() == 0) && useChunkedEncoding_ == 0 &&
                          postData_.Length() <= kInlineBodyLimit && debugTrace_ == 0 && log_.Level() < 2;
  TORNELL_TRY(SendRequestHead(method, true, finalCrlf, inlineBody ? &postData_ : nullptr));
  if (GetTimeout() < 0 && !IsConnected()) return 0;
  TORNELL_TRY(SetReceiveEnabled(1));
  SkipIdleRead();
  if (keepTransferredRequest_ != 0) transferredRequest_.Clear();

  int sent = 0;
  if (inlineBody) {
    if (keepTransferredRequest_ != 0) TORNELL_TRY(transferredRequest_.Assign(postData_));
  } else if (!withheld && (hasBody || useChunkedEncoding_ != 0)) {
    sent = SendBody(chunkSize);
  }
  if (sent == kUploadAnswered) sent = 0;
  if (sent != 0) {
    if (uploading_ != 0) {
      uploading_ = 0;
      if (IsInterruptRequested() != 0 || WasInterrupted() != 0) Close();
    }
    return sent;
  }
  if (sendOnly_ != 0) return 0;
  return FinishRequest(WaitForResponse());
}

int HttpProtocol::SendPostData(int chunkSize) {
  if (debugTrace_ != 0) static_cast<void>(FireTransfer(0, postData_.Length(), -1, postData_.Data(), postData_.Length()));
  if (useChunkedEncoding_ == 0) {
    TORNELL_TRY(SendInChunks(postData_.CStr(), postData_.Length(), chunkSize, 0));
  } else {
    for (int at = 0; at < postData_.Length();) {
      const int piece = postData_.Length() - at < chunkSize ? postData_.Length() - at : chunkSize;
      ByteString framed;
      TORNELL_TRY(http::AppendChunkHeader(framed, piece));
      TORNELL_TRY(framed.Append(postData_.CStr() + at, piece));
      TORNELL_TRY(framed.Append(http::kChunkTrailer));
      chunk_ = postData_.CStr() + at;
      chunkLength_ = piece;
      TORNELL_TRY(SendData(framed.CStr(), framed.Length(), 0, 0));
      at += piece;
      TORNELL_TRY(OnProgress(at));
    }
  }
  if (log_.Level() >= 3) TORNELL_TRY(LogBody(postData_.CStr(), postData_.Length(), "RequestBody"));
  if (keepTransferredRequest_ != 0) TORNELL_TRY(transferredRequest_.Assign(postData_));
  return 0;
}

// The body the request carries in full. Chunked bodies always end with the
// last chunk, empty or not.
int HttpProtocol::SendBody(int chunkSize) {
  if (log_.Level() >= 2) TORNELL_TRY(LogText(2, "Preparing PostData", "Info"));
  static_cast<void>(FireStartTransfer(0));
  if (log_.Level() >= 2) TORNELL_TRY(LogText(2, "Sending Body", "Info"));
  uploading_ = 1;
  int status = 0;
  if (!postData_.IsEmpty()) status = SendPostData(chunkSize);
  if (status == 0 && attachedFile_.Length() != 0) {
    status = useChunkedEncoding_ != 0 ? SendChunkedFile(chunkSize) : SendFile(attachedFile_, chunkSize, 0);
    if (status == 0 && (keepTransferredRequest_ != 0 || log_.Level() >= 3)) status = RecordAttachedFile();
  }
  if (status == 0 && useChunkedEncoding_ != 0) status = SendData(http::kLastChunk, 5, 0, 0);
  // The server answered and closed while the body was still going out.
  if (status != 0 && responseDone_ != 0 && !statusLine_.IsEmpty()) status = kUploadAnswered;
  // An answer that arrived early ends the upload as a finished one; any
  // other failure leaves Uploading for the caller to settle.
  if (status != 0 && status != kUploadAnswered) return status;
  if (IsInterruptRequested() != 0 || WasInterrupted() != 0) Close();
  uploading_ = 0;
  static_cast<void>(FireEndTransfer(0));
  return status;
}

// Each chunk goes out framed in one write.
int HttpProtocol::SendChunkedFile(int chunkSize) {
  FileStream file;
  if (file.OpenRead(attachedFile_) != kFileOk) return ReturnError(kStatusCannotOpenFile, "Can't open file for reading.");
  const long size = file.Size();
  if (size < 0) return ReturnError(kFileReadError, "Can't read the file size.");
  ByteString framed;
  long sent = 0;
  int result = 0;
  while (result == 0 && sent < size) {
    const int piece = static_cast<int>(size - sent < chunkSize ? size - sent : chunkSize);
    framed.Clear();
    result = http::AppendChunkHeader(framed, piece);
    const int headerLength = framed.Length();
    if (result == 0) result = framed.Resize(headerLength + piece);
    if (result == 0) result = file.Read(framed.Data() + headerLength, static_cast<unsigned>(piece));
    if (result == 0) result = framed.Append(http::kChunkTrailer);
    if (result == 0) result = SendData(framed.CStr(), framed.Length(), 0, 0);
    if (result != 0) break;
    sent += piece;
    result = OnFileProgress(sent, 0);
  }
  file.Close();
  return result;
}

int HttpProtocol::RecordAttachedFile() {
  FileStream file;
  if (file.OpenRead(attachedFile_) != kFileOk) return 0;
  const long size = file.Size();
  char piece[kDefaultChunkSize];
  for (long at = 0; at < size;) {
    const unsigned n = static_cast<unsigned>(size - at < kDefaultChunkSize ? size - at : kDefaultChunkSize);
    if (file.Read(piece, n) != kFileOk) break;
    if (log_.Level() >= 3) TORNELL_TRY(LogBody(piece, static_cast<int>(n), "RequestBody"));
    if (keepTransferredRequest_ != 0) TORNELL_TRY(transferredRequest_.Append(piece, n));
    at += n;
  }
  file.Close();
  return 0;
}

// ---- upload progress and the asynchronous connect ----------------------------------------

int HttpProtocol::OnFileProgress(long bytesSoFar, int) {
  if (uploading_ != 0) {
    const int64_t total = requestLength_ > bytesSoFar ? requestLength_ : bytesSoFar;
    int percent = static_cast<int>(static_cast<double>(bytesSoFar) / (static_cast<double>(total) / 100.0 + 1.0));
    if (percent > 99) percent = 99;
    static_cast<void>(FireTransfer(0, bytesSoFar, percent, nullptr, 0));
  }
  if (IsInterruptRequested() != 0) return kStatusInterrupted;
  // An answer before the body is complete (a refusal, most often) ends the
  // upload; the response is evaluated once the send returns.
  if (responseDone_ != 0 && !statusLine_.IsEmpty()) {
    return (statusCode_ >= 200 && statusCode_ < 300) ? 0 : kUploadAnswered;
  }
  return 0;
}

int HttpProtocol::OnConnected(int code) {
  if (code != 0 || GetTimeout() >= 0) return TransferConnection::OnConnected(code);
  const int status = TransferConnection::OnConnected(code);
  // This hook runs inside the receive step that finished the handshake, where
  // nothing more is read: an HTTP/2 upload, which waits for the server's
  // window updates, goes out from the host's next wait step instead.
  if (httpVersion_.Equals("2.0") && IsHttp2Active() && HasRequestBody()) {
    http2Reissue_ = 1;
    return status;
  }
  static_cast<void>(ReissueRequest());
  return status;
}

int HttpProtocol::DoEvents(int milliseconds, void* context) {
  if (http2Reissue_ != 0 && inReceive_ == 0) {
    http2Reissue_ = 0;
    static_cast<void>(ReissueRequest());  // a failure went to the Error event
  }
  return TransferConnection::DoEvents(milliseconds, context);
}

bool HttpProtocol::HasRequestBody() const { return !postData_.IsEmpty() || !(attachedFile_.Length() == 0); }

int HttpProtocol::ReissueRequest() {
  const int saved = timeout_;
  static_cast<void>(SetTimeout(kAsyncSendSeconds, 1));
  static_cast<void>(StartTimeout());
  sendOnly_ = 1;
  const bool withBody = HasRequestBody();
  ByteString method;
  int status = method.Assign(requestMethod_);
  if (status == 0) status = withBody ? RequestWithBody(method.CStr(), 0) : RequestWithoutBody(method.CStr(), 0);
  sendOnly_ = 0;
  timeout_ = saved;
  if (status != 0) static_cast<void>(RaiseError(status, GetLastErrorText()));
  return status;
}

}  // namespace tornell
