#include "http/h2/Http2Engine.h"

#include <algorithm>
#include <cstring>

#include "core/base/Status.h"
#include "core/buffer/BigEndian.h"
#include "http/h2/Http2Connection.h"
#include "http/h2/Http2HeadersFrame.h"

namespace tornell {

void Http2Engine::Reset() {
  state_ = kStreamIdle;
  remoteEnded_ = 0;
  peerReset_ = 0;
  // A flag left by the last stream would fail this one's frames.
  peerClosed_ = 0;
  headerFields_.Clear();
}

void Http2Engine::ClearInput() {
  // The buffer stays: a frame being handled may still be read from it.
  partialLength_ = 0;
  (void)deferred_.Clear();  // Clear cannot fail
  (void)block_.Clear();
  blockType_ = -1;
}

int Http2Engine::Fail(int code, const char* text) {
  return connection_ != nullptr ? connection_->ReturnError(code, text) : code;
}

int Http2Engine::WriteFrame(Http2Frame& frame) {
  // While received bytes are being handled, answers wait until they are
  // done: a write may wait, and the transport may then reuse the buffer
  // those bytes are in.
  if (busy_ != 0) return frame.Serialize(answers_);
  TORNELL_TRY(frameOut_.Clear());
  TORNELL_TRY(frame.Serialize(frameOut_));
  return connection_->Owner()->SendBytes(frameOut_.Data(), frameOut_.Length());
}

int Http2Engine::SendAnswers() {
  if (answers_.Length() == 0) return kStatusOk;
  ByteString out(std::move(answers_));
  (void)answers_.Clear();
  return connection_->Owner()->SendBytes(out.Data(), out.Length());
}

// ---- sending -------------------------------------------------------------------------

int Http2Engine::SendHeaders(StringList& headers, bool endStream) {
  Http2Owner* owner = connection_ != nullptr ? connection_->Owner() : nullptr;
  if (owner == nullptr) return kStatusHttp2NotConnected;
  if (headers.Count() % 2 != 0) {
    return Fail(kHttp2ProtocolError, FormatMessage("PROTOCOL_ERROR: Send Headers Frame headersSize is {0}.",
                                                   int64_t{headers.Count()}));
  }
  if (state_ == kStreamReservedRemote || state_ == kStreamHalfClosedLocal || state_ == kStreamClosed) {
    return Fail(kHttp2ProtocolError,
                FormatMessage("PROTOCOL_ERROR: Send Headers Frame with error state {0}.", StateName(state_)));
  }
  const int logLevel = owner->GetLogLevel();
  if (logLevel > 0) owner->Log("Sending Headers:", "Info");
  headerFields_.Clear();
  for (int i = 0; i + 1 < headers.Count(); i += 2) {
    if (Http2HeadersFrame::IsConnectionSpecific(headers.Get(i)) != 0) continue;
    HpackHeaderField field;
    TORNELL_TRY(field.Set(headers.Get(i), headers.EntryLength(i), headers.Get(i + 1), headers.EntryLength(i + 1)));
    field.Name.ToLower();
    TORNELL_TRY(headerFields_.Add(field));
    if (logLevel > 2) {
      ByteString line;
      TORNELL_TRY(line.Assign(field.Name));
      TORNELL_TRY(line.AppendByte(':'));
      TORNELL_TRY(line.Append(field.Value));
      owner->Log(line.CStr(), "RequestHeaders");
    }
  }
  ByteString block;
  TORNELL_TRY(Http2HeadersFrame::EncodeHeaderBlock(true, headerFields_, connection_->EncoderTable(),
                                                   connection_->GetHeadersWithoutIndexing(), block));
  // A block above the peer's frame size goes on in CONTINUATION frames, all
  // in one write so nothing can come between them.
  const int piece = std::max(connection_->GetMaxFrameSize(), Http2Connection::kMinFrameSize);
  TORNELL_TRY(frameOut_.Clear());
  Http2HeadersFrame first;
  first.SetStreamId(streamId_);
  first.SetEndStream(endStream);
  const int firstLength = std::min(block.Length(), piece);
  TORNELL_TRY(first.HeaderBlock.Set(block.Data(), firstLength));
  first.SetEndHeaders(firstLength == block.Length());
  TORNELL_TRY(first.Serialize(frameOut_));
  for (int at = firstLength; at < block.Length();) {
    const int n = std::min(block.Length() - at, piece);
    Http2ContinuationFrame next;
    next.SetStreamId(streamId_);
    TORNELL_TRY(next.HeaderBlock.Set(block.Data() + at, n));
    at += n;
    next.SetEndHeaders(at == block.Length());
    TORNELL_TRY(next.Serialize(frameOut_));
  }
  // The stream's receive window grows right away to what keeps a download
  // at the link's speed; the preface advertised only the default.
  const int64_t raise = kHttp2ReceiveWindow - streamReceiveWindow_;
  if (raise > 0) {
    Http2WindowUpdateFrame update;
    update.SetStreamId(streamId_);
    update.Increment = static_cast<uint32_t>(raise);
    TORNELL_TRY(update.Serialize(frameOut_));
  }
  TORNELL_TRY(owner->SendBytes(frameOut_.Data(), frameOut_.Length()));
  if (raise > 0) streamReceiveWindow_ = kHttp2ReceiveWindow;
  if (state_ == kStreamIdle) state_ = kStreamOpened;
  if (state_ == kStreamReservedLocal) state_ = kStreamHalfClosedRemote;
  if (endStream) {
    if (state_ == kStreamOpened) {
      state_ = kStreamHalfClosedLocal;
    } else if (state_ == kStreamHalfClosedRemote) {
      state_ = kStreamClosed;
    }
  }
  return kStatusOk;
}

int Http2Engine::SendData(const char* data, int length, bool endStream) {
  Http2Owner* owner = connection_ != nullptr ? connection_->Owner() : nullptr;
  if (owner == nullptr) return kStatusOk;
  if (length < 0) length = 0;
  int sent = 0;
  do {
    // Once the peer has ended or reset the stream it wants no more of the
    // body: the upload stops quietly and the response (or the reset) stands.
    if (remoteEnded_ != 0 && state_ == kStreamClosed) return kStatusOk;
    if (state_ != kStreamOpened && state_ != kStreamHalfClosedRemote) {
      return Fail(kHttp2ProtocolError,
                  FormatMessage("PROTOCOL_ERROR: Send Data Frame with error state {0}.", StateName(state_)));
    }
    const int left = length - sent;
    int64_t room = std::min<int64_t>(streamSendWindow_, connection_->ConnectionSendWindow());
    room = std::min<int64_t>(room, std::min(connection_->GetMaxFrameSize(), Http2Connection::kMinFrameSize));
    if (left > 0 && room <= 0) {
      // Both windows must open before any byte may go.
      if (owner->DoEvents() != 0) {
        connection_->SetError(kStatusHttp2Wait, "Timeout or interrupt while waiting for the HTTP/2 send window.");
        return kStatusHttp2Wait;
      }
      continue;
    }
    const int n = static_cast<int>(std::min<int64_t>(left, room));
    const bool last = endStream && sent + n == length;
    const int flags = last ? Http2Frame::kFlagEndStream : 0;
    TORNELL_TRY(frameOut_.Resize(kHttp2FrameHeaderSize + n));
    char* out = frameOut_.Data();
    BigEndian::Write(static_cast<uint64_t>(n), out, 0, 3);
    out[3] = static_cast<char>(Http2Frame::kData);
    out[4] = static_cast<char>(flags);
    BigEndian::Write(static_cast<uint64_t>(streamId_) & Http2Frame::kStreamIdMask, out, 5, 4);
    if (n > 0) std::copy(data + sent, data + sent + n, out + kHttp2FrameHeaderSize);
    TORNELL_TRY(owner->SendInChunks(out, frameOut_.Length(), frameOut_.Length(), 0));
    sent += n;
    streamSendWindow_ -= n;
    connection_->SetConnectionSendWindow(connection_->ConnectionSendWindow() - n);
    if (last) {
      if (state_ == kStreamOpened) {
        state_ = kStreamHalfClosedLocal;
      } else if (state_ == kStreamHalfClosedRemote) {
        state_ = kStreamClosed;
      }
    }
    if (owner->IsInterruptPending()) {
      connection_->SetLastErrorCode(kStatusHttp2Wait);
      return kStatusOk;
    }
  } while (sent < length);
  return kStatusOk;
}

int Http2Engine::Close() {
  // Only a stream still open on both or one side needs telling; a finished
  // or reset one is already closed for the peer.
  if (state_ == kStreamOpened || state_ == kStreamHalfClosedLocal || state_ == kStreamHalfClosedRemote) {
    return SendRstStream(streamId_, kHttp2Cancel);
  }
  return kStatusOk;
}

int Http2Engine::SendRstStream(int streamId, int errorCode) {
  if (connection_ == nullptr || connection_->Owner() == nullptr) return kStatusHttp2NotConnected;
  const bool current = streamId == streamId_;
  if (current && state_ == kStreamClosed) {
    return Fail(kHttp2ProtocolError,
                FormatMessage("PROTOCOL_ERROR: Send RstStream Frame with error state {0}.", StateName(state_)));
  }
  if (current && state_ != kStreamIdle) state_ = kStreamClosed;
  Http2RstStreamFrame frame;
  frame.SetStreamId(streamId);
  frame.ErrorCode = static_cast<uint32_t>(errorCode);
  return WriteFrame(frame);
}

int Http2Engine::SendWindowUpdate(Http2WindowUpdateFrame& frame) {
  if (connection_ == nullptr || connection_->Owner() == nullptr) return kStatusHttp2NotConnected;
  return WriteFrame(frame);
}

int Http2Engine::ReportStreamReset(int code, const char* pattern, bool responseEnded) {
  if (!responseEnded) TORNELL_TRY(connection_->Owner()->DeliverEvent(kHttp2EventStreamEnd, nullptr, 0));
  connection_->SetError(kStatusHttp2StreamReset, FormatMessage(pattern, ErrorCodeText(code), ErrorCodeName(code)));
  return kStatusOk;
}

// ---- the frame reader ----------------------------------------------------------------

Http2Engine::FrameHeader Http2Engine::ReadHeader(const char* bytes) {
  FrameHeader header;
  header.length = static_cast<int>(BigEndian::Read(bytes, kHttp2FrameHeaderSize, 0, 3));
  header.type = static_cast<int>(BigEndian::Read(bytes, kHttp2FrameHeaderSize, 3, 1));
  header.flags = static_cast<int>(BigEndian::Read(bytes, kHttp2FrameHeaderSize, 4, 1));
  header.streamId = static_cast<int>(BigEndian::Read(bytes, kHttp2FrameHeaderSize, 5, 4) & Http2Frame::kStreamIdMask);
  return header;
}

int Http2Engine::CheckHeader(const FrameHeader& header) {
  // Refused from the header alone: nothing this large is ever buffered.
  if (header.length > kHttp2MaxFrameSize) {
    return Fail(kHttp2FrameSizeError,
                FormatMessage("FRAME_SIZE_ERROR: Receive Frame with payload length {0} more than {1}.",
                              int64_t{header.length}, int64_t{kHttp2MaxFrameSize}));
  }
  // A header block in progress admits nothing but its own CONTINUATION.
  if (blockType_ >= 0 && (header.type != Http2Frame::kContinuation || header.streamId != blockStreamId_)) {
    return Fail(kHttp2ProtocolError,
                FormatMessage("PROTOCOL_ERROR: Receive frame type {0} on stream {1} inside a header block.",
                              int64_t{header.type}, int64_t{header.streamId}));
  }
  return kStatusOk;
}

int Http2Engine::ProcessInput(const char* data, int length, int flag) {
  (void)flag;
  if (data == nullptr || length <= 0) return kStatusOk;
  // A handler's write may wait and take in more bytes; they queue behind
  // the ones being handled.
  if (busy_ != 0) return deferred_.Append(data, length);
  busy_ = 1;
  int status = Consume(data, length);
  if (status == kStatusOk) status = SendAnswers();
  while (status == kStatusOk && deferred_.Length() > 0) {
    ByteString more(std::move(deferred_));
    (void)deferred_.Clear();
    status = Consume(more.Data(), more.Length());
    if (status == kStatusOk) status = SendAnswers();
  }
  (void)answers_.Clear();
  busy_ = 0;
  return status;
}

int Http2Engine::ProcessHeldInput() {
  if (busy_ != 0 || deferred_.Length() == 0) return kStatusOk;
  ByteString held(std::move(deferred_));
  (void)deferred_.Clear();
  return ProcessInput(held.Data(), held.Length(), 0);
}

int Http2Engine::Consume(const char* data, int length) {
  int at = 0;
  // First finish a frame begun in an earlier call, taking only its bytes.
  while (partialLength_ > 0 && at < length) {
    char* held = partial_.Data();
    int wanted = kHttp2FrameHeaderSize - partialLength_;
    if (wanted <= 0) wanted = kHttp2FrameHeaderSize + ReadHeader(held).length - partialLength_;
    const int take = std::min(wanted, length - at);
    std::memcpy(held + partialLength_, data + at, static_cast<size_t>(take));
    partialLength_ += take;
    at += take;
    if (partialLength_ == kHttp2FrameHeaderSize) {
      const int checked = CheckHeader(ReadHeader(held));
      if (checked != kStatusOk) {
        partialLength_ = 0;
        return checked;
      }
    }
    if (partialLength_ < kHttp2FrameHeaderSize) continue;
    const int size = kHttp2FrameHeaderSize + ReadHeader(held).length;
    if (partialLength_ < size) continue;
    // Handled where it was joined: nothing writes to the buffer until this
    // returns, since bytes taken in meanwhile wait in deferred_.
    partialLength_ = 0;
    TORNELL_TRY(Dispatch(held, size));
  }
  // Then whole frames straight from the caller's bytes.
  while (length - at >= kHttp2FrameHeaderSize) {
    const FrameHeader header = ReadHeader(data + at);
    TORNELL_TRY(CheckHeader(header));
    const int size = kHttp2FrameHeaderSize + header.length;
    if (length - at < size) break;
    const int status = Dispatch(data + at, size);
    at += size;
    if (status != kStatusOk) return status;
  }
  return HoldPartial(data + at, length - at);
}

int Http2Engine::HoldPartial(const char* data, int length) {
  if (length <= 0) return kStatusOk;
  // Never more than one frame: CheckHeader has bounded its length.
  if (partial_.Length() == 0) TORNELL_TRY(partial_.Resize(kHttp2FrameHeaderSize + kHttp2MaxFrameSize));
  std::memcpy(partial_.Data() + partialLength_, data, static_cast<size_t>(length));
  partialLength_ += length;
  return kStatusOk;
}

int Http2Engine::Dispatch(const char* frame, int length) {
  const FrameHeader header = ReadHeader(frame);
  const char* payload = frame + kHttp2FrameHeaderSize;
  switch (header.type) {
    case Http2Frame::kData: return OnData(header, payload);
    case Http2Frame::kHeaders: return OnHeaders(frame, length);
    case Http2Frame::kPriority: return OnPriority(frame, length);
    case Http2Frame::kRstStream: return OnRstStream(frame, length);
    case Http2Frame::kSettings: return OnSettings(header, payload);
    case Http2Frame::kPushPromise: return OnPushPromise(frame, length);
    case Http2Frame::kPing: return OnPing(frame, length);
    case Http2Frame::kGoAway: return OnGoAway(frame, length);
    case Http2Frame::kWindowUpdate: return OnWindowUpdate(frame, length);
    case Http2Frame::kContinuation: return OnContinuation(frame, length);
    default: return kStatusOk;  // extension frames are ignored
  }
}

}  // namespace tornell
