// The response side of the HTTP/1.x client: the status line, the header
// fields, the body in its three framings (length, chunks, close), the
// content decoding, where the body goes, and the evaluation of the exchange.
#include <cstdio>
#include <cstring>

#include <strings.h>

#include "core/base/Status.h"
#include "core/text/TextUtils.h"
#include "http/base/HttpStatus.h"
#include "http/protocol/HttpProtocol.h"
#include "http/url/UrlSplit.h"

namespace tornell {

namespace {

constexpr char kLongLineText[] = "HTTP protocol error. Header line too long.";
constexpr char kChunkSizeText[] = "HTTP protocol error. Invalid chunk size.";
constexpr char kClosedText[] = "Connection closed.";
constexpr char kLocalFileText[] = "Can't open local file for writing.";
constexpr char kNoLocationText[] = "HTTP protocol error. Expected header 'redirectlocation' was not found.";
constexpr int kStatusProxyAuthFailed = 157;
constexpr int kRedirectPumpSteps = 10;

bool IsRedirectStatus(int code) { return code >= 300 && code < 400; }

// The last coding of a Transfer-Encoding value, blanks around it dropped.
bool LastCodingIsChunked(const char* value) {
  const char* last = std::strrchr(value, ',');
  const char* p = last != nullptr ? last + 1 : value;
  while (*p == ' ' || *p == '\t') ++p;
  const char* end = p + std::strlen(p);
  while (end > p && (end[-1] == ' ' || end[-1] == '\t')) --end;
  return end - p == 7 && strncasecmp(p, "chunked", 7) == 0;
}

// Hex digits, then nothing, blanks or a chunk extension. -1 for anything
// else, including a size past the int range.
int ParseChunkSize(const char* text, int length) {
  int at = 0;
  while (at < length && (text[at] == ' ' || text[at] == '\t')) ++at;
  int64_t size = 0;
  int digits = 0;
  for (; at < length && HexDigitValue(static_cast<unsigned char>(text[at])) >= 0; ++at, ++digits) {
    size = size * 16 + HexDigitValue(static_cast<unsigned char>(text[at]));
    if (size > 0x7FFFFFFF) return -1;
  }
  if (digits == 0) return -1;
  if (at < length && text[at] != ';' && text[at] != ' ' && text[at] != '\t' && text[at] != '\r') return -1;
  return static_cast<int>(size);
}

}  // namespace

// Decoded blocks continue through the rest of the body stage as they come.
class BodySink : public DecodedSink {
 public:
  explicit BodySink(HttpProtocol& owner) : owner_(owner) {}
  int OnDecoded(const unsigned char* data, int length) override {
    return owner_.DeliverBody(reinterpret_cast<char*>(const_cast<unsigned char*>(data)), length);
  }

 private:
  HttpProtocol& owner_;
};

// ---- entry from the transport ---------------------------------------------------------

int HttpProtocol::FireDataIn(const char* data, int length, int eol) {
  // After a failure the rest of the stream means nothing.
  if (responseError_ != 0) return 0;
  if (IsHttp2Active()) return OnHttp2DataIn(data, length, eol);
  const int status = OnDataIn(const_cast<char*>(data), length, eol);
  if (status != 0) return FailResponse(status, nullptr);
  return 0;
}

// Ends the exchange: the code stays as the last error, so the response wait
// returns it, and the connection, now at an unknown point of the stream, is
// closed.
int HttpProtocol::FailResponse(int code, const char* text) {
  if (responseError_ != 0) return responseError_;
  responseError_ = code;
  ByteString copy;
  static_cast<void>(copy.Set(text != nullptr ? text : GetLastErrorText()));
  Close();
  static_cast<void>(ReturnError(code, copy.CStr()));
  return code;
}

void HttpProtocol::ResetResponse() {
  bytesTransferred_ = 0;
  statusLine_.Clear();
  transferredHeaders_.Clear();
  responseContentType_.Clear();
  transferredData_.Clear();
  partialLine_.Clear();
  chunked_ = 0;
  chunkRemaining_ = 0;
  serverDigestTaken_ = 0;
  proxyDigestTaken_ = 0;
  SetSingleLineMode(false);
}

int HttpProtocol::OnDataIn(char* data, int length, int eol) {
  const uint8_t state = responseParseState_;
  if (state <= kHeaders && (state != kExpectStatus || !partialLine_.IsEmpty() || (length > 0 && data[0] == 'H'))) {
    // A line longer than the receive queue arrives in pieces: gather it.
    if (eol == 0 || !partialLine_.IsEmpty()) {
      if (partialLine_.Length() + length > kMaxHeaderLine) {
        return ReturnError(kHttpStatusProtocolError, kLongLineText);
      }
      TORNELL_TRY(partialLine_.Append(data, length));
      if (eol == 0) return 0;
      ByteString line;
      TORNELL_TRY(line.Assign(partialLine_));
      partialLine_.Clear();
      return OnDataIn(line.Data(), line.Length(), 1);
    }
  }
  switch (state) {
    case kExpectStatus:
      return ParseStatusLine(data, length, eol);
    case kInterimResponse:
      if (length < 2) {
        responseParseState_ = kExpectStatus;
        statusLine_.Clear();
        transferredHeaders_.Clear();
        responseContentType_.Clear();
        transferredData_.Clear();
        return 0;
      }
      if (data[0] != 'H') return ProtocolConnection::OnDataIn(data, length, eol);
      responseParseState_ = kExpectStatus;
      return ParseStatusLine(data, length, eol);
    case kHeaders:
      if (eol != 0 && length > 0 && data[length - 1] == '\r') --length;
      if (length == 0) return OnHeadersDone();
      return OnHeaderLine(data, length);
    case kBody:
      return OnResponseBody(data, length);
    case kChunkHeader:
      return OnChunkSize(data, length);
    case kChunkData:
      return OnChunkData(data, length, eol);
    case kChunkEnd:
      return EndResponse();
    case kChunkDataCr:
      responseParseState_ = kChunkData;
      if (length > 0 && data[0] == '\n') {
        char none[2] = {};
        TORNELL_TRY(OnDataIn(none, 0, 1));
        return OnDataIn(data + 1, length - 1, eol);
      }
      {
        char cr[2] = {'\r', 0};
        TORNELL_TRY(OnDataIn(cr, 1, 0));
      }
      return OnDataIn(data, length, eol);
    default:
      return 0;
  }
}

// ---- status line and header fields ---------------------------------------------------

int HttpProtocol::ParseStatusLine(char* data, int length, int eol) {
  ResetResponse();
  if (length == 0 || data[0] != 'H') {
    // No status line: what came is the body.
    reply_.Clear();
    responseParseState_ = kBody;
    TORNELL_TRY(scratch_.Set(data, length));
    if (eol != 0) TORNELL_TRY(scratch_.Append("\n"));
    TORNELL_TRY(SwitchTerminator("", 0));
    return OnDataIn(scratch_.Data(), scratch_.Length(), 0);
  }
  if (log_.Level() >= 2) TORNELL_TRY(LogText(2, "Response Received", "Info"));
  responseParseState_ = kHeaders;
  if (length > 0 && data[length - 1] == '\r') --length;
  TORNELL_TRY(statusLine_.Set(data, length));
  if (log_.Level() >= 2) TORNELL_TRY(log_.Log2("Status Line: ", statusLine_.CStr(), "Info"));
  const char* line = statusLine_.CStr();
  const char* blank = std::strchr(line, ' ');
  TORNELL_TRY(responseVersion_.Set(line, blank != nullptr ? static_cast<int>(blank - line) : length));
  reasonPhrase_.Clear();
  statusCode_ = 0;
  if (blank != nullptr) {
    const char* code = blank + 1;
    const char* second = std::strchr(code, ' ');
    ByteString number;
    TORNELL_TRY(number.Set(code, second != nullptr ? static_cast<int>(second - code) : static_cast<int>(std::strlen(code))));
    statusCode_ = ParseInt(number.CStr());
    if (second != nullptr) TORNELL_TRY(reasonPhrase_.Set(second + 1));
  }
  if (statusCode_ >= 100 && statusCode_ < 200 && statusCode_ != 101) {
    responseParseState_ = kInterimResponse;
  } else {
    static_cast<void>(FireStatus(responseVersion_.CStr(), statusCode_, reasonPhrase_.CStr()));
  }
  return ProtocolConnection::OnDataIn(data, length, eol);
}

int HttpProtocol::OnHeaderLine(char* data, int length) {
  TORNELL_TRY(transferredHeaders_.Append(data, length));
  TORNELL_TRY(transferredHeaders_.Append("\r\n"));
  TORNELL_TRY(currentHeader_.Set(data, length));
  if (log_.Level() >= 3) TORNELL_TRY(LogText(3, currentHeader_.CStr(), "ResponseHeaders"));
  char* value = currentHeader_.SplitField();
  if (value == nullptr) return 0;
  while (*value == ' ' || *value == '\t') ++value;
  return OnResponseHeader(currentHeader_.CStr(), value);
}

int HttpProtocol::OnResponseHeader(const char* name, const char* value) {
  if (target_.followRedirects != 0 && CompareNoCase(name, "Location") == 0) TORNELL_TRY(redirectLocation_.Set(value));
  TORNELL_TRY(responseHeaders_.Add(name, value));
  const int result = FireHeader(name, value);
  if (CompareNoCase(name, "Content-Type") == 0) {
    TORNELL_TRY(responseContentType_.Set(value));
  } else if (CompareNoCase(name, "Content-Length") == 0) {
    contentLength_ = ParseInt64(value);
  } else if (CompareNoCase(name, "Transfer-Encoding") == 0) {
    // Only the last coding frames the message; any before it are content.
    chunked_ = LastCodingIsChunked(value) ? 1 : 0;
  } else if (CompareNoCase(name, "WWW-Authenticate") == 0) {
    if (authScheme_ != kAuthProprietary && authScheme_ != 6) authorization_.Clear();
    const char* blank = std::strchr(value, ' ');
    const int schemeLength = blank != nullptr ? static_cast<int>(blank - value) : static_cast<int>(std::strlen(value));
    const char* rest = blank != nullptr ? blank + 1 : "";
    if ((authScheme_ == kAuthNtlm && schemeLength == 4 && strncasecmp(value, "NTLM", 4) == 0) ||
        (authScheme_ == kAuthNegotiate && schemeLength == 9 && strncasecmp(value, "Negotiate", 9) == 0)) {
      TORNELL_TRY(pendingAuth_.Set(rest));
    } else if (schemeLength == 6 && strncasecmp(value, "Digest", 6) == 0) {
      TORNELL_TRY(TakeDigestChallenge(serverDigest_, serverDigestTaken_, rest));
    }
  } else if (CompareNoCase(name, "content-encoding") == 0) {
    if (allowHttpCompression_ != 0 && decoder_.OnContentEncoding(value) != 0) {
      return ReturnError(kHttpStatusProtocolError, decoder_.ErrorText().CStr());
    }
  } else if (CompareNoCase(name, "Proxy-Authenticate") == 0) {
    if (proxyAuthScheme_ != kAuthProprietary) proxyAuthorization_.Clear();
    const char* blank = std::strchr(value, ' ');
    const int schemeLength = blank != nullptr ? static_cast<int>(blank - value) : static_cast<int>(std::strlen(value));
    const char* rest = blank != nullptr ? blank + 1 : "";
    if (schemeLength == 4 && std::strncmp(value, "NTLM", 4) == 0) {
      TORNELL_TRY(pendingProxyAuth_.Set(rest));
    } else if (schemeLength == 6 && strncasecmp(value, "Digest", 6) == 0) {
      TORNELL_TRY(TakeDigestChallenge(proxyDigest_, proxyDigestTaken_, rest));
    }
  } else if (CompareNoCase(name, "Set-Cookie") == 0) {
    static_cast<void>(ParseSetCookie(value));
  }
  return result;
}

int HttpProtocol::OnHeadersDone() {
  const bool noBody = requestMethod_.Equals("HEAD") || statusCode_ == 204 || statusCode_ == 304 || statusCode_ == 101;
  if (noBody) {
    if (statusCode_ == 101) TORNELL_TRY(SetReceiveEnabled(0));
    return EndResponse();
  }
  if (!(IsRedirectStatus(statusCode_) && !redirectLocation_.IsEmpty())) static_cast<void>(FireStartTransfer(1));
  if (chunked_ != 0) {
    responseParseState_ = kChunkHeader;
    return SwitchTerminator("\r\n", 2);
  }
  responseParseState_ = kBody;
  if (contentLength_ == 0) TORNELL_TRY(EndResponse());
  return SwitchTerminator("", 0);
}

// With nothing queued there is nothing to split again: the socket's own
// readiness brings the next bytes, and the wait step does not linger over a
// read it was told is pending.
int HttpProtocol::SwitchTerminator(const char* eol, int length) {
  TORNELL_TRY(SetEol(eol, length));
  SkipIdleRead();
  return 0;
}

// A read marked pending runs at the start of the next wait step, which then
// still waits its whole time even when that read completed the response.
void HttpProtocol::SkipIdleRead() {
  if (receiveQueue_.Length() == 0) readPending_ = 0;
}

// ---- chunks -------------------------------------------------------------------------------

int HttpProtocol::OnChunkSize(const char* data, int length) {
  const int size = ParseChunkSize(data, length);
  if (size < 0) return ReturnError(kHttpStatusProtocolError, kChunkSizeText);
  chunkRemaining_ = size;
  if (size >= 1) {
    responseParseState_ = kChunkData;
    return 0;
  }
  responseParseState_ = kChunkEnd;
  // The body is whole: a compressed one must have ended too.
  if (decoder_.Finish() != 0) return ReturnError(kHttpStatusProtocolError, decoder_.ErrorText().CStr());
  return 0;
}

int HttpProtocol::OnChunkData(char* data, int length, int eol) {
  chunkRemaining_ -= length;
  if (eol == 0) {
    if (static_cast<unsigned>(length) == GetMaxLineLength() && length > 0 && data[length - 1] == '\r') {
      // Perhaps the first half of a line end: decided by the next piece.
      responseParseState_ = kChunkDataCr;
      --length;
      ++chunkRemaining_;
    }
    return length > 0 ? OnResponseBody(data, length) : 0;
  }
  chunkRemaining_ -= 2;
  if (chunkRemaining_ < 0) {
    responseParseState_ = kChunkHeader;
    return length > 0 ? OnResponseBody(data, length) : 0;
  }
  // The line end was chunk data.
  TORNELL_TRY(scratch_.Set(data, length));
  TORNELL_TRY(scratch_.Append("\r\n"));
  return OnResponseBody(scratch_.Data(), scratch_.Length());
}

// ---- body -----------------------------------------------------------------------------------

int HttpProtocol::OnResponseBody(char* data, int length) {
  if (!redirectLocation_.IsEmpty() && IsRedirectStatus(statusCode_)) {
    if (connected_ != 0 && chunked_ == 0) Close();
    return 0;
  }
  bool beyond = false;
  if (responseParseState_ == kBody && contentLength_ >= 0 && bytesTransferred_ + length > contentLength_) {
    // Bytes past the announced length belong to no response.
    length = static_cast<int>(contentLength_ - bytesTransferred_);
    beyond = true;
  }
  bytesTransferred_ += length;
  if (decoder_.Mode() != ContentDecoder::kNone) {
    BodySink sink(*this);
    if (decoder_.Feed(reinterpret_cast<const unsigned char*>(data), length, sink) != 0) {
      return ReturnError(GetLastErrorCode() != 0 ? GetLastErrorCode() : kHttpStatusProtocolError,
                         decoder_.ErrorText().IsEmpty() ? GetLastErrorText() : decoder_.ErrorText().CStr());
    }
  } else if (length > 0) {
    TORNELL_TRY(DeliverBody(data, length));
  }
  if (responseParseState_ == kBody && contentLength_ >= 0 && bytesTransferred_ >= contentLength_) {
    if (decoder_.Finish() != 0) return ReturnError(kHttpStatusProtocolError, decoder_.ErrorText().CStr());
    TORNELL_TRY(EndResponse());
    if (beyond) Close();
  }
  return 0;
}

int HttpProtocol::OpenLocalFile() {
  const int status = append_ != 0 ? localStream_.OpenAppend(localFile_)
                                  : localStream_.Create(localFile_, createLocalFileAttributes_);
  if (status == kFileOk) return 0;
  static_cast<void>(ReturnError(kStatusCannotOpenFile, kLocalFileText));
  static_cast<void>(RaiseError(kStatusCannotOpenFile, kLocalFileText));
  return kStatusCannotOpenFile;
}

int HttpProtocol::DeliverBody(char* data, int length) {
  if (log_.Level() >= 2) TORNELL_TRY(LogBody(data, length, "ResponseBody"));
  if (!(localFile_.Length() == 0) && !localStream_.IsOpen() && statusCode_ >= 200 && statusCode_ < 300) {
    TORNELL_TRY(OpenLocalFile());
  }
  if (localStream_.IsOpen()) {
    const int status = localStream_.Write(data, static_cast<unsigned>(length));
    if (status != kFileOk) {
      static_cast<void>(RaiseError(status, "Error writing to LocalFile."));
      return ReturnError(status, "Error writing to LocalFile.");
    }
  } else {
    const int64_t limit = transferredDataLimit_;
    int keep = length;
    if (limit > 0) {
      const int64_t room = limit - transferredData_.Length();
      keep = room <= 0 ? 0 : (room < keep ? static_cast<int>(room) : keep);
    }
    if (keep > 0) {
      const int status = transferredData_.Append(data, keep);
      if (status != 0) {
        static_cast<void>(RaiseError(status, "Error appending to TransferredData."));
        return ReturnError(status, "Error appending to TransferredData.");
      }
    }
  }
  int percent = -1;
  if (contentLength_ > 0) {
    const int64_t share = bytesTransferred_ * 100 / contentLength_;
    percent = share > 100 ? 100 : static_cast<int>(share);
  }
  if (statusCode_ != 401 && statusCode_ != 407) static_cast<void>(FireTransfer(1, bytesTransferred_, percent, data, length));
  return 0;
}

// ---- the end of the exchange ---------------------------------------------------------------

int HttpProtocol::OnDisconnected(int code) {
  if (responseDone_ == 0 && responseError_ == 0 && currentAction_ != 0) {
    const uint8_t state = responseParseState_;
    const bool closeDelimited = state == kBody && contentLength_ < 0;
    if (closeDelimited) {
      if (decoder_.Finish() != 0) static_cast<void>(FailResponse(kHttpStatusProtocolError, decoder_.ErrorText().CStr()));
    } else if (state != kExpectStatus || !statusLine_.IsEmpty()) {
      // Cut short: a missing rest of the body is no complete response.
      static_cast<void>(FailResponse(kStatusNotConnected, kClosedText));
    }
  }
  static_cast<void>(EndResponse());
  return TransferConnection::OnDisconnected(code);
}

int HttpProtocol::RepeatAction(int action) {
  currentAction_ = 0;
  return DoAction(action);
}

int HttpProtocol::FinishRequest(int code) {
  if (code == kStatusInterrupted) {
    Close();
    return kStatusInterrupted;
  }
  if (WasInterrupted() != 0) return kStatusInterrupted;
  if (responseError_ != 0) {
    if (GetLastErrorCode() != responseError_) static_cast<void>(ReturnError(responseError_, GetLastErrorText()));
    return responseError_;
  }
  if (statusLine_.IsEmpty()) {
    if (responseDone_ != 0) return ReturnError(kStatusNotConnected, kClosedText);
    return code;
  }
  if (log_.Level() >= 2) TORNELL_TRY(LogText(2, "Transfer Complete", "Info"));
  if (log_.Level() >= 1) {
    char count[32];
    std::snprintf(count, sizeof count, ", %lld Bytes Transferred", static_cast<long long>(bytesTransferred_));
    ByteString line;
    TORNELL_TRY(line.Set("Response: "));
    TORNELL_TRY(line.Append(statusLine_.CStr()));
    TORNELL_TRY(line.Append(count));
    TORNELL_TRY(LogText(1, line.CStr(), "Info"));
  }
  if ((statusCode_ >= 200 && statusCode_ < 300) || statusCode_ == 101) return code;

  ByteString text;
  if (statusCode_ == 407) TORNELL_TRY(text.Set("Proxy error: "));
  char number[16];
  std::snprintf(number, sizeof number, "%d ", statusCode_);
  TORNELL_TRY(text.Append("HTTP protocol error. "));
  TORNELL_TRY(text.Append(number));
  TORNELL_TRY(text.Append(reasonPhrase_.CStr()));
  if (!text.EndsWith(".")) TORNELL_TRY(text.Append("."));
  const int action = currentAction_;

  if (statusCode_ == 401 && (authScheme_ == kAuthDigest || authScheme_ == kAuthNtlm || authScheme_ == kAuthNegotiate)) {
    if (authAttempts_ < 1) {
      ++authAttempts_;
      currentAction_ = 0;
      TORNELL_TRY(BuildAuthorization(1));
      return RepeatAction(action);
    }
    authAttempts_ = 0;
    return ReturnError(kHttpStatusProtocolError, text.CStr());
  }
  if (statusCode_ == 407 &&
      (proxyAuthScheme_ == kAuthNtlm || proxyAuthScheme_ == kAuthNegotiate || proxyAuthScheme_ == kAuthDigest)) {
    if (proxyAuthAttempts_ < 1) {
      ++proxyAuthAttempts_;
      currentAction_ = 0;
      TORNELL_TRY(BuildProxyAuthorization(1));
      return RepeatAction(action);
    }
    proxyAuthAttempts_ = 0;
    return ReturnError(kStatusProxyAuthFailed, text.CStr());
  }
  if (target_.followRedirects != 0 && IsRedirectStatus(statusCode_) && statusCode_ != 304 && statusCode_ != 305) {
    if (action != kHttpGet && action != kHttpPost && action != kHttpHead && target_.followRedirects != 1) {
      return ReturnError(kHttpStatusProtocolError, text.CStr());
    }
    return FollowRedirect(action);
  }
  return ReturnError(kHttpStatusProtocolError, text.CStr());
}

int HttpProtocol::FollowRedirect(int action) {
  ByteString text;
  char number[16];
  std::snprintf(number, sizeof number, "%d ", statusCode_);
  TORNELL_TRY(text.Set("HTTP protocol error. "));
  TORNELL_TRY(text.Append(number));
  TORNELL_TRY(text.Append(reasonPhrase_.CStr()));
  if (!text.EndsWith(".")) TORNELL_TRY(text.Append("."));

  int accept = 0;
  if (target_.followRedirects == 1) {
    accept = 1;
  } else if (target_.followRedirects == 2) {
    http::UrlParts parts;
    TORNELL_TRY(parts.path.Set(target_.Path().CStr()));
    const int split = http::SplitUrl(redirectLocation_.CStr(), redirectLocation_.Length(), parts, target_.encoding, 1);
    if (split != 0) return split;
    // A relative Location keeps the scheme.
    accept = parts.scheme.IsEmpty() || parts.scheme.EqualsIgnoreCase(target_.Scheme().CStr()) ? 1 : 0;
  }
  if (redirectLocation_.IsEmpty()) return ReturnError(kHttpStatusProtocolError, kNoLocationText);
  ByteString location;
  TORNELL_TRY(location.Set(redirectLocation_.CStr()));
  TORNELL_TRY(SetURL(location.CStr(), 1));
  static_cast<void>(FireRedirect(location.CStr(), accept));
  if (accept == 0) return ReturnError(kHttpStatusProtocolError, text.CStr());
  for (int i = 0; i < kRedirectPumpSteps; ++i) static_cast<void>(DoEvents(0));
  int next = action;
  if (action == kHttpPost && (statusCode_ == 303 || (statusCode_ == 302 && getOn302Redirect_ != 0))) next = kHttpGet;
  return RepeatAction(next);
}

}  // namespace tornell
