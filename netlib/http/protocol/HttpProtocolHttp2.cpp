// The HTTP/2 request path: the request as a HEADERS frame and DATA frames
// through the HTTP/2 connection, the response fed back from its events, and
// the fall back to HTTP/1.1 when the server does not select "h2".
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "core/base/Status.h"
#include "core/text/TextUtils.h"
#include "http/base/HttpStatus.h"
#include "http/protocol/HttpProtocol.h"

namespace tornell {

namespace {

constexpr int kStatusNoHttp2 = 161;
constexpr char kNoFallbackText[] = "Server does not support HTTP/2 and AllowHTTPFallback is False.";
constexpr char kPlaintextText[] = "Plaintext URLs are not supported over HTTP/2.";
constexpr char kFallbackText[] = "Server does not support ALPN protocol h2. Falling back to HTTP/1.1";
// File pieces: the largest multiple of the peer's frame size up to this.
constexpr int kFilePiece = 16384;

// Holds the HTTP/2 writes between its start and End (or its end of scope,
// on an early return) for one send.
class Http2Batch {
 public:
  explicit Http2Batch(Http2Forwarders& owner) : owner_(owner) { owner_.BeginBatch(); }
  Http2Batch(const Http2Batch&) = delete;
  Http2Batch& operator=(const Http2Batch&) = delete;
  ~Http2Batch() {
    if (open_) static_cast<void>(owner_.EndBatch());  // the early return's own status stands
  }
  int End() {
    open_ = false;
    return owner_.EndBatch();
  }

 private:
  Http2Forwarders& owner_;
  bool open_ = true;
};

bool AlpnHasH2(const char* text) {
  const char* at = text;
  while (at != nullptr && *at != '\0') {
    const char* comma = std::strchr(at, ',');
    const size_t n = comma != nullptr ? static_cast<size_t>(comma - at) : std::strlen(at);
    if (n == 2 && CompareNoCaseN(at, "h2", 2) == 0) return true;
    at = comma != nullptr ? comma + 1 : nullptr;
  }
  return false;
}

}  // namespace

// ---- the owner side of the HTTP/2 connection ---------------------------------------------

int Http2Forwarders::GetLogLevel() { return protocol_.GetLogLevel(); }
int Http2Forwarders::Log(const char* text, const char* category) { return protocol_.LogText(3, text, category); }
bool Http2Forwarders::IsInterruptPending() { return protocol_.IsInterruptRequested() != 0; }
int Http2Forwarders::DoEvents() {
  // Nothing may wait for an answer to bytes not yet sent.
  if (Flush() != 0) return 1;
  return protocol_.DoEvents() == kWaitStop ? 1 : 0;
}
int Http2Forwarders::SendText(const char* text) {
  return Write(text, text != nullptr ? static_cast<int>(std::strlen(text)) : 0);
}
int Http2Forwarders::SendBytes(const char* data, int length) { return Write(data, length); }
int Http2Forwarders::SendInChunks(const char* data, int length, int chunk, int) {
  TORNELL_TRY(Flush());
  // Never HTTP/1.1 chunk framing inside HTTP/2.
  return protocol_.SendInChunks(data, length, chunk, 0);
}

int Http2Forwarders::Write(const char* data, int length) {
  if (!batching_) return protocol_.SendData(data, length, 1, 0);
  return batch_.Append(data, length);
}

int Http2Forwarders::Flush() {
  if (batch_.IsEmpty()) return 0;
  ByteString out(std::move(batch_));
  batch_.Clear();
  return protocol_.SendData(out.Data(), out.Length(), 1, 0);
}

int Http2Forwarders::EndBatch() {
  batching_ = false;
  return Flush();
}

int Http2Forwarders::DeliverEvent(int kind, const void* data, int length) {
  return protocol_.OnHttp2Event(kind, data, length);
}

// ---- request -------------------------------------------------------------------------------

int HttpProtocol::OfferAlpnForVersion() {
  if (!httpVersion_.Equals("2.0")) {
    // An HTTP/1.x request cannot go on a connection that speaks HTTP/2.
    if (IsConnected() && GetNegotiatedAlpnLength() > 0 && AlpnHasH2(GetNegotiatedAlpn())) {
      Close();
      ClearNegotiatedAlpn();
    }
    return SetAlpnList("");
  }
  return SetAlpnList(allowHttpFallback_ != 0 ? "h2,http/1.1" : "h2");
}

bool HttpProtocol::IsHttp2Active() const {
  return negotiatedHttpVersion_.Equals("2.0") && GetNegotiatedAlpnLength() > 0 && AlpnHasH2(GetNegotiatedAlpn());
}

// The frame reader joins frames across records itself; the TLS queue's
// pieces would only copy each record once more.
bool HttpProtocol::TakesWholeRecords() const { return IsHttp2Active(); }

int HttpProtocol::SendHttp2Request(const char* method, bool hasBody, int flag) {
  // A connection the server is closing takes no new stream.
  if (IsConnected() && http2_.IsGoingAway()) Close();
  // A new transport connection starts a new HTTP/2 connection; what the
  // server sends during the connect is kept for it.
  if (!IsConnected()) TORNELL_TRY(http2_.Reset());
  // Binary frames from the first byte on: a terminator left by HTTP/1.x
  // would split them (the server's SETTINGS may come during the connect).
  TORNELL_TRY(SwitchTerminator("", 0));
  TORNELL_TRY(OfferAlpnForVersion());
  http2Async_ = http2Reissue_ = 0;
  TORNELL_TRY(StartRequest(method));
  // Asynchronous and still connecting: the connected hook sends the
  // request once ALPN has settled the protocol.
  if (GetTimeout() < 0 && !IsConnected()) return 0;
  bool h2 = false;
  if (GetNegotiatedAlpnLength() > 0) {
    if (log_.Level() >= 2) TORNELL_TRY(log_.Log2("Received ALPN: ", GetNegotiatedAlpn(), "Info"));
    h2 = AlpnHasH2(GetNegotiatedAlpn());
  }
  if (!h2) {
    if (allowHttpFallback_ == 0) return ReturnError(kStatusNoHttp2, kNoFallbackText);
    if (!target_.Scheme().EqualsIgnoreCase("https")) return ReturnError(kStatusNoHttp2, kPlaintextText);
    static_cast<void>(FireSSLStatus(kFallbackText));
    TORNELL_TRY(negotiatedHttpVersion_.Set("1.1"));
    TORNELL_TRY(SwitchTerminator("\n", 1));
    return hasBody ? SendHttp1WithBody(method, flag != 0) : SendHttp1NoBody(method);
  }
  TORNELL_TRY(negotiatedHttpVersion_.Set("2.0"));
  bool withBody = false;
  {
    // Everything up to the HEADERS frame leaves in one send, also what
    // answers the server's first frames meanwhile.
    Http2Batch batch(http2Owner_);
    if (http2_.IsPrefaceSent() == 0) {
      const int preface = http2_.SendPreface();
      if (preface != 0) return ReturnError(preface, http2_.GetLastErrorText());
    }
    http2HeadersDone_ = 0;
    StringList headers;
    TORNELL_TRY(BuildHttp2HeaderList(method, hasBody, headers));
    const bool withheld = hasBody && IsBodyWithheld();
    withBody = hasBody && !withheld && (!postData_.IsEmpty() || attachedFile_.Length() != 0);
    TORNELL_TRY(SetReceiveEnabled(1));
    const int opened = http2_.OpenStream(headers, !withBody);
    if (opened != 0) return ReturnError(opened, http2_.GetLastErrorText());
    // A failing send reports as it did from the preface or the stream's opening.
    const int sent = batch.End();
    if (sent != 0) return ReturnError(sent, http2_.GetLastErrorText());
  }
  if (withBody) {
    static_cast<void>(FireStartTransfer(0));
    uploading_ = 1;
    if (keepTransferredRequest_ != 0) transferredRequest_.Clear();
    int sent = 0;
    if (!postData_.IsEmpty()) {
      if (debugTrace_ != 0) {
        static_cast<void>(FireTransfer(0, postData_.Length(), -1, postData_.Data(), postData_.Length()));
      }
      sent = SendHttp2Data(postData_.Data(), postData_.Length(), "PostData", attachedFile_.Length() == 0);
      if (sent == 0 && keepTransferredRequest_ != 0) sent = transferredRequest_.Assign(postData_);
    }
    if (sent == 0 && attachedFile_.Length() != 0) {
      FileStream file;
      if (file.OpenRead(attachedFile_) != kFileOk) {
        sent = ReturnError(kHttpStatusProtocolError, "Cannot open AttachedFile.");
      } else {
        const long size = file.Size();
        const int frame = http2_.GetMaxFrameSize();
        const int piece = frame <= kFilePiece ? kFilePiece / frame * frame : kFilePiece;
        char buffer[kFilePiece];
        for (long at = 0; sent == 0 && at < size && IsInterruptRequested() == 0;) {
          const unsigned n = static_cast<unsigned>(size - at < piece ? size - at : piece);
          if (file.Read(buffer, n) != kFileOk) {
            sent = ReturnError(kHttpStatusProtocolError, "Cannot read AttachedFile.");
            break;
          }
          at += n;
          sent = SendHttp2Data(buffer, static_cast<int>(n), "AttachedFile", at >= size);
          if (sent == 0 && keepTransferredRequest_ != 0) sent = transferredRequest_.Append(buffer, n);
        }
        file.Close();
      }
    }
    if (IsInterruptRequested() != 0 || WasInterrupted() != 0) Close();
    uploading_ = 0;
    static_cast<void>(FireEndTransfer(0));
    if (sent != 0) return sent;
  }
  if (sendOnly_ != 0) {
    // Asynchronous: the response completes through the events of the host's
    // wait steps; one that came during the upload is complete already.
    http2Async_ = 1;
    return responseDone_ != 0 ? EndAsyncHttp2Exchange() : 0;
  }
  const int waited = WaitForResponse();
  static_cast<void>(http2_.CloseStream());  // a failed reset changes nothing of the response
  const bool goingAway = http2_.IsGoingAway();
  if (keepAliveRequests_ == 0 || goingAway) {
    TORNELL_TRY(http2_.Reset());
    if (goingAway) Close();
  }
  if (http2_.GetLastErrorCode() != 0) return ReturnError(http2_.GetLastErrorCode(), http2_.GetLastErrorText());
  return FinishRequest(waited);
}

// Nobody waits for an asynchronous exchange: its end settles the HTTP/2
// state here, and a failure (a reset stream, a protocol error) goes to the
// Error event, since no action returns it.
int HttpProtocol::EndAsyncHttp2Exchange() {
  http2Async_ = 0;
  const int code = http2_.GetLastErrorCode();
  ByteString text;
  if (code != 0) static_cast<void>(text.Set(http2_.GetLastErrorText()));
  static_cast<void>(http2_.CloseStream());  // the connection may be closed already
  if (keepAliveRequests_ == 0 || GetTimeout() < 0 || http2_.IsGoingAway()) {
    Close();
    TORNELL_TRY(http2_.Reset());
  }
  if (code == 0) return 0;
  static_cast<void>(ReturnError(code, text.CStr()));
  static_cast<void>(RaiseError(code, text.CStr()));
  return code;
}

int HttpProtocol::OnHttp2DataIn(const char* data, int length, int eol) {
  const int framed = http2_.OnDataIn(data, length, eol);
  // Once the response is whole, a failing write of a window update or an
  // acknowledgement (the connection may be closing) changes nothing.
  if (framed != 0 && responseDone_ == 0) {
    const int failed = FailResponse(framed, http2_.GetLastErrorText());
    if (http2Async_ != 0) {
      http2Async_ = 0;
      static_cast<void>(RaiseError(failed, GetLastErrorText()));
    }
    return failed;
  }
  if (http2Async_ != 0 && responseDone_ != 0) static_cast<void>(EndAsyncHttp2Exchange());
  return 0;
}

int HttpProtocol::SendHttp2Data(const char* data, int length, const char* what, bool last) {
  if (length <= 0) return 0;
  const int status = http2_.SendData(data, length, last);
  if (status == 0) return 0;
  // A wait for the send window that was interrupted or timed out.
  if (status == kStatusHttp2Wait) return ReturnError(status, http2_.GetLastErrorText());
  ByteString text;
  TORNELL_TRY(text.Set("Cannot upload "));
  TORNELL_TRY(text.Append(what));
  TORNELL_TRY(text.Append(": "));
  TORNELL_TRY(text.Append(http2_.GetLastErrorText()));
  return ReturnError(kHttpStatusProtocolError, text.CStr());
}

int HttpProtocol::BuildHttp2HeaderList(const char* method, bool hasBody, StringList& list) {
  TORNELL_TRY(list.Clear());
  TORNELL_TRY(list.Add(":method"));
  TORNELL_TRY(list.Add(method));
  TORNELL_TRY(list.Add(":scheme"));
  TORNELL_TRY(list.Add(target_.Scheme().CStr()));
  TORNELL_TRY(list.Add(":path"));
  TORNELL_TRY(list.Add(absoluteUri_ != 0 ? target_.Url().CStr() : target_.Path().CStr()));
  TORNELL_TRY(list.Add(":authority"));
  ByteString authority;
  TORNELL_TRY(authority.Set(target_.Server().CStr()));
  if (target_.Port() != 80) {
    char port[16];
    std::snprintf(port, sizeof port, ":%d", target_.Port());
    TORNELL_TRY(authority.Append(port));
  }
  TORNELL_TRY(list.Add(authority.CStr()));
  requestLength_ = postData_.Length();
  sentHeaders_.Clear();
  TORNELL_TRY(WriteHeaders(hasBody, sentHeaders_));
  // Each header line: the name up to the first colon outside quotes, the
  // value after the blanks that follow it.
  const char* text = sentHeaders_.CStr();
  const char* end = text + sentHeaders_.Length();
  for (const char* line = text; line < end;) {
    const char* stop = line;
    while (stop < end && *stop != '\r' && *stop != '\n') ++stop;
    const char* colon = nullptr;
    bool quoted = false;
    for (const char* p = line; p < stop && colon == nullptr; ++p) {
      if (*p == '"') quoted = !quoted;
      if (*p == ':' && !quoted) colon = p;
    }
    if (colon != nullptr && colon > line) {
      const int nameLength = static_cast<int>(colon - line);
      const char* value = colon + 1;
      while (value < stop && (*value == ' ' || *value == '\t')) ++value;
      if (!(nameLength == 4 && std::strncmp(line, "Host", 4) == 0)) {
        TORNELL_TRY(list.Add(line, nameLength));
        TORNELL_TRY(list.Add(value, static_cast<int>(stop - value)));
      }
    }
    line = stop < end ? stop + 1 : end;
  }
  ByteString sent;
  for (int i = 0; i + 1 < list.Count(); i += 2) {
    TORNELL_TRY(sent.Append(list.Get(i), list.EntryLength(i)));
    TORNELL_TRY(sent.Append(": "));
    TORNELL_TRY(sent.Append(list.Get(i + 1), list.EntryLength(i + 1)));
    TORNELL_TRY(sent.Append("\r\n"));
  }
  return sentHeaders_.Assign(sent);
}

// ---- response ------------------------------------------------------------------------------

int HttpProtocol::OnHttp2Event(int kind, const void* data, int length) {
  switch (kind) {
    case kHttp2EventHeader: {
      const auto* pair = static_cast<const StringList*>(data);
      if (pair == nullptr || pair->Count() < 2) return 0;
      ByteString name;
      ByteString value;
      TORNELL_TRY(name.Set(pair->Get(0), pair->EntryLength(0)));
      TORNELL_TRY(value.Set(pair->Get(1), pair->EntryLength(1)));
      // Trailers only tell the host; they change nothing of the response.
      if (http2HeadersDone_ != 0) return FireHeader(name.CStr(), value.CStr());
      TORNELL_TRY(transferredHeaders_.Append(name));
      TORNELL_TRY(transferredHeaders_.Append(": "));
      TORNELL_TRY(transferredHeaders_.Append(value));
      TORNELL_TRY(transferredHeaders_.Append("\r\n"));
      if (log_.Level() >= 3) {
        ByteString line;
        TORNELL_TRY(line.Assign(name));
        TORNELL_TRY(line.Append(":"));
        TORNELL_TRY(line.Append(value));
        TORNELL_TRY(LogText(3, line.CStr(), "ResponseHeaders"));
      }
      if (name.Equals(":status")) {
        statusCode_ = std::atoi(value.CStr());
        TORNELL_TRY(responseVersion_.Set("HTTP/2.0"));
        TORNELL_TRY(reasonPhrase_.Set(Http2Engine::ReasonPhrase(statusCode_)));
        ByteString line;
        TORNELL_TRY(line.Set("HTTP/2.0 "));
        TORNELL_TRY(line.Append(value));
        TORNELL_TRY(line.Append(" "));
        TORNELL_TRY(line.Append(reasonPhrase_.CStr()));
        TORNELL_TRY(statusLine_.Set(line.CStr()));
        responseParseState_ = kHeaders;
        if (statusCode_ < 100 || statusCode_ >= 200 || statusCode_ == 101) {
          static_cast<void>(FireStatus(responseVersion_.CStr(), statusCode_, reasonPhrase_.CStr()));
        }
      }
      return OnResponseHeader(name.CStr(), value.CStr());
    }
    case kHttp2EventHeadersEnd: {
      if (statusCode_ >= 100 && statusCode_ < 200 && statusCode_ != 101) {
        // An interim answer (103): the real response follows in the next block.
        TORNELL_TRY(responseHeaders_.Clear());
        transferredHeaders_.Clear();
        statusLine_.Clear();
        redirectLocation_.Clear();
        contentLength_ = -1;
        return 0;
      }
      http2HeadersDone_ = 1;
      const bool noBody =
          requestMethod_.Equals("HEAD") || statusCode_ == 204 || statusCode_ == 304 || statusCode_ == 101;
      if (noBody) {
        if (statusCode_ == 101) TORNELL_TRY(SetReceiveEnabled(0));
        return EndResponse();
      }
      if (!(statusCode_ >= 300 && statusCode_ < 400 && !redirectLocation_.IsEmpty())) static_cast<void>(FireStartTransfer(1));
      responseParseState_ = kBody;
      // The terminator is already off for the whole exchange; setting it
      // here would hand on queued bytes inside this event.
      if (contentLength_ == 0) TORNELL_TRY(EndResponse());
      return 0;
    }
    case kHttp2EventData:
      if (responseDone_ != 0) return 0;
      return OnResponseBody(static_cast<char*>(const_cast<void*>(data)), length);
    case kHttp2EventStreamEnd:
      if (log_.Level() >= 2) TORNELL_TRY(LogText(2, "Response Received", "Info"));
      if (decoder_.Mode() != ContentDecoder::kNone && responseDone_ == 0 && decoder_.Finish() != 0) {
        return ReturnError(kHttpStatusProtocolError, decoder_.ErrorText().CStr());
      }
      return EndResponse();
    default:
      return 0;
  }
}

}  // namespace tornell
