// The receive handlers, one per frame type.
#include <algorithm>
#include <climits>

#include "core/base/Status.h"
#include "core/buffer/BigEndian.h"
#include "http/h2/Http2Connection.h"
#include "http/h2/Http2Engine.h"
#include "http/h2/Http2HeadersFrame.h"

namespace tornell {

namespace {

constexpr char kStreamResetPattern[] = "HTTP/2 Protocol Error: Stream reset. {0} Error code {1}.";
constexpr char kGoAwayPattern[] = "HTTP/2 Protocol Error: Stream not processed before GoAway. {0} Error code {1}.";

int ClampToInt(uint32_t value) { return value > INT_MAX ? INT_MAX : static_cast<int>(value); }

}  // namespace

void Http2Engine::EndedByPeer() {
  remoteEnded_ = 1;
  if (state_ == kStreamOpened) {
    state_ = kStreamHalfClosedRemote;
  } else if (state_ == kStreamHalfClosedLocal) {
    // Both ends are done: the stream is closed and needs no reset.
    state_ = kStreamClosed;
  } else if (state_ == kStreamClosed) {
    peerClosed_ = 1;
  }
}

// The frame's own parse; its failure text becomes the connection's.
#define TORNELL_H2_PARSE(frameObject, bytes, size)                                     \
  do {                                                                                 \
    if (const int parsed_ = (frameObject).Parse((bytes), (size)); parsed_ != kStatusOk) \
      return Fail(parsed_, (frameObject).GetLastErrorText());                          \
  } while (0)

int Http2Engine::OnData(const FrameHeader& header, const char* payload) {
  if (header.streamId == 0) return Fail(kHttp2ProtocolError, "PROTOCOL_ERROR: Receive Data Frame with StreamIdentifier is 0.");
  const char* body = payload;
  int bodyLength = header.length;
  if ((header.flags & Http2Frame::kFlagPadded) != 0) {
    if (header.length < 1) {
      return Fail(kHttp2FrameSizeError, "FRAME_SIZE_ERROR: Receive Data Frame with PADDED flag and no pad length.");
    }
    const int padLength = static_cast<int>(BigEndian::Read(payload, header.length, 0, 1));
    if (padLength > header.length - 1) {
      return Fail(kHttp2ProtocolError,
                  FormatMessage("PROTOCOL_ERROR: Receive Data Frame with PadLength {0} more than dataLen {1}.",
                                int64_t{padLength}, int64_t{header.length - 1}));
    }
    body = payload + 1;
    bodyLength = header.length - 1 - padLength;
  }
  const bool current = IsCurrent(header.streamId);
  if (current && state_ != kStreamOpened && state_ != kStreamHalfClosedLocal) {
    return Fail(kHttp2ProtocolError, "PROTOCOL_ERROR");
  }
  // Flow control counts the whole payload, padding included.
  const int64_t connectionWindow = connection_->ConnectionReceiveWindow() - header.length;
  if (connectionWindow < 0 || (current && streamReceiveWindow_ < header.length)) {
    return Fail(kHttp2FlowControlError,
                FormatMessage("FLOW_CONTROL_ERROR: Receive Data Frame of {0} bytes beyond the window of {1}.",
                              int64_t{header.length},
                              current ? std::min(streamReceiveWindow_, connection_->ConnectionReceiveWindow())
                                      : connection_->ConnectionReceiveWindow()));
  }
  connection_->SetConnectionReceiveWindow(connectionWindow);
  // Another stream's data (a refused push, a stream we reset) only uses up
  // the connection's window.
  if (!current) return RefillWindows(header.streamId, false);
  streamReceiveWindow_ -= header.length;
  Http2Owner* owner = connection_->Owner();
  if (bodyLength > 0) TORNELL_TRY(owner->DeliverEvent(kHttp2EventData, body, bodyLength));
  const bool end = (header.flags & Http2Frame::kFlagEndStream) != 0;
  if (end) {
    EndedByPeer();
    TORNELL_TRY(owner->DeliverEvent(kHttp2EventStreamEnd, nullptr, 0));
  }
  return RefillWindows(header.streamId, !end);
}

int Http2Engine::RefillWindows(int streamId, bool streamToo) {
  constexpr int64_t kRefillAt = kHttp2ReceiveWindow / 2;
  if (streamToo && streamReceiveWindow_ <= kRefillAt) {
    Http2WindowUpdateFrame update;
    update.SetStreamId(streamId);
    update.Increment = static_cast<uint32_t>(kHttp2ReceiveWindow - streamReceiveWindow_);
    TORNELL_TRY(SendWindowUpdate(update));
    streamReceiveWindow_ = kHttp2ReceiveWindow;
  }
  if (connection_->ConnectionReceiveWindow() <= kRefillAt) {
    Http2WindowUpdateFrame update;
    update.Increment = static_cast<uint32_t>(kHttp2ReceiveWindow - connection_->ConnectionReceiveWindow());
    TORNELL_TRY(SendWindowUpdate(update));
    connection_->SetConnectionReceiveWindow(kHttp2ReceiveWindow);
  }
  return kStatusOk;
}

int Http2Engine::OnHeaders(const char* frame, int length) {
  Http2HeadersFrame headers;
  TORNELL_H2_PARSE(headers, frame, length);
  if (headers.StreamId() == 0) return Fail(kHttp2ProtocolError, "PROTOCOL_ERROR");
  if (IsCurrent(headers.StreamId()) &&
      (state_ == kStreamReservedLocal || state_ == kStreamHalfClosedRemote || ClosedByPeer())) {
    return Fail(kHttp2ProtocolError,
                FormatMessage("PROTOCOL_ERROR: Receive Headers Frame with error state {0}.", StateName(state_)));
  }
  return BeginBlock(Http2Frame::kHeaders, headers.StreamId(), 0, headers.EndStream(), headers.HeaderBlock,
                    headers.EndHeaders());
}

int Http2Engine::OnPushPromise(const char* frame, int length) {
  Http2PushPromiseFrame promise;
  TORNELL_H2_PARSE(promise, frame, length);
  if (promise.StreamId() == 0) {
    return Fail(kHttp2ProtocolError, "PROTOCOL_ERROR: Receive PushPromise Frame with StreamIdentifier is 0.");
  }
  if (IsCurrent(promise.StreamId()) && state_ != kStreamOpened && state_ != kStreamHalfClosedLocal) {
    return Fail(kHttp2ProtocolError,
                FormatMessage("PROTOCOL_ERROR: Receive PushPromise Frame with error state {0}.", StateName(state_)));
  }
  // The block is decoded (the table must stay in step), then the promise refused.
  return BeginBlock(Http2Frame::kPushPromise, promise.StreamId(), static_cast<int>(promise.PromisedStreamId), false,
                    promise.HeaderBlock, promise.EndHeaders());
}

int Http2Engine::OnContinuation(const char* frame, int length) {
  Http2ContinuationFrame continuation;
  TORNELL_H2_PARSE(continuation, frame, length);
  if (continuation.StreamId() == 0) {
    return Fail(kHttp2ProtocolError, "PROTOCOL_ERROR: Receive Continuation Frame with StreamIdentifier is not 0.");
  }
  if (blockType_ < 0) {
    return Fail(kHttp2ProtocolError, "PROTOCOL_ERROR: Receive Continuation Frame without a header block to continue.");
  }
  TORNELL_TRY(AppendFragment(continuation.HeaderBlock));
  return continuation.EndHeaders() ? FinishBlock() : kStatusOk;
}

int Http2Engine::BeginBlock(int kind, int streamId, int promisedId, bool endStream, const ByteString& fragment,
                            bool endHeaders) {
  TORNELL_TRY(block_.Clear());
  blockType_ = kind;
  blockStreamId_ = streamId;
  blockPromisedId_ = promisedId;
  blockEndStream_ = endStream ? 1 : 0;
  TORNELL_TRY(AppendFragment(fragment));
  return endHeaders ? FinishBlock() : kStatusOk;
}

int Http2Engine::AppendFragment(const ByteString& fragment) {
  if (static_cast<int64_t>(block_.Length()) + fragment.Length() > kHttp2MaxHeaderBlock) {
    blockType_ = -1;
    (void)block_.Clear();
    return Fail(kHttp2ProtocolError, FormatMessage("PROTOCOL_ERROR: Receive header block above {0} bytes.",
                                                   int64_t{kHttp2MaxHeaderBlock}));
  }
  return block_.Append(fragment);
}

int Http2Engine::FinishBlock() {
  const int kind = blockType_;
  const int streamId = blockStreamId_;
  const bool endStream = blockEndStream_ != 0;
  blockType_ = -1;
  StringList pairs;
  ByteString text;
  const int decoded =
      Http2HeadersFrame::DecodeHeaderBlock(block_.Data(), 0, block_.Length(), connection_->DecoderTable(), pairs, &text);
  (void)block_.Clear();
  if (decoded != kStatusOk) return Fail(decoded, text.CStr());
  if (kind == Http2Frame::kPushPromise) return SendRstStream(blockPromisedId_, kHttp2RefusedStream);
  // Another stream's block only keeps the decoder's table in step.
  if (!IsCurrent(streamId)) return kStatusOk;
  if (state_ == kStreamReservedRemote) state_ = kStreamHalfClosedLocal;
  TORNELL_TRY(DeliverHeaders(pairs));
  if (!endStream) return kStatusOk;
  EndedByPeer();
  return connection_->Owner()->DeliverEvent(kHttp2EventStreamEnd, nullptr, 0);
}

int Http2Engine::DeliverHeaders(const StringList& pairs) {
  Http2Owner* owner = connection_->Owner();
  for (int i = 0; i + 1 < pairs.Count(); i += 2) {
    StringList pair;
    TORNELL_TRY(pair.Add(pairs.Get(i), pairs.EntryLength(i)));
    TORNELL_TRY(pair.Add(pairs.Get(i + 1), pairs.EntryLength(i + 1)));
    (void)owner->DeliverEvent(kHttp2EventHeader, &pair, 2);  // a field the owner refuses does not stop the block
  }
  return owner->DeliverEvent(kHttp2EventHeadersEnd, nullptr, 0);
}

int Http2Engine::OnPriority(const char* frame, int length) {
  Http2PriorityFrame priority;
  TORNELL_H2_PARSE(priority, frame, length);
  // One stream at a time: there is nothing to order.
  return priority.StreamId() == 0 ? Fail(kHttp2ProtocolError, "PROTOCOL_ERROR") : kStatusOk;
}

int Http2Engine::OnRstStream(const char* frame, int length) {
  Http2RstStreamFrame reset;
  TORNELL_H2_PARSE(reset, frame, length);
  if (reset.StreamId() == 0) {
    return Fail(kHttp2ProtocolError, "PROTOCOL_ERROR: Receive RstStream Frame with StreamIdentifier is 0.");
  }
  if (!IsCurrent(reset.StreamId())) return kStatusOk;
  if (ClosedByPeer()) {
    return Fail(kHttp2ProtocolError,
                FormatMessage("PROTOCOL_ERROR: Receive Headers Frame with error state {0}.", StateName(state_)));
  }
  if (state_ == kStreamClosed) {
    peerClosed_ = 1;
  } else {
    state_ = kStreamClosed;
  }
  const bool responseEnded = remoteEnded_ != 0;
  remoteEnded_ = 1;
  peerReset_ = 1;
  Http2Owner* owner = connection_->Owner();
  if (reset.ErrorCode == kHttp2NoError) {
    // After a whole response this only stops the upload; before it, the
    // response ends where it is.
    return responseEnded ? kStatusOk : owner->DeliverEvent(kHttp2EventStreamEnd, nullptr, 0);
  }
  const int code = static_cast<int>(reset.ErrorCode);
  if (!responseEnded) TORNELL_TRY(owner->DeliverEvent(kHttp2EventStreamEnd, nullptr, 0));
  connection_->SetError(kStatusHttp2StreamReset,
                        FormatMessage(kStreamResetPattern, ErrorCodeText(code), ErrorCodeName(code)));
  return kStatusOk;
}

int Http2Engine::OnSettings(const FrameHeader& header, const char* payload) {
  if (header.streamId != 0) {
    return Fail(kHttp2ProtocolError, "PROTOCOL_ERROR: Receive Settings Frame with StreamIdentifier is not 0.");
  }
  if ((header.flags & Http2Frame::kFlagAck) != 0) {
    if (header.length == 0) return kStatusOk;
    return Fail(kHttp2FrameSizeError,
                FormatMessage("FRAME_SIZE_ERROR: Receive Settings Frame with Ack Flags but payloadLen is {0} not 0.",
                              int64_t{header.length}));
  }
  if (header.length % 6 != 0) {
    return Fail(kHttp2FrameSizeError,
                FormatMessage("FRAME_SIZE_ERROR: Receive Settings Frame with payloadLen {0} not a multiple of 6.",
                              int64_t{header.length}));
  }
  // In the order sent: a setting given twice takes its last value.
  for (int at = 0; at + 6 <= header.length; at += 6) {
    const int id = static_cast<int>(BigEndian::Read(payload, header.length, at, 2));
    TORNELL_TRY(ApplySetting(id, BigEndian::Read(payload, header.length, at + 2, 4)));
  }
  Http2SettingsFrame ack;
  ack.SetAck(true);
  return WriteFrame(ack);
}

int Http2Engine::ApplySetting(int id, uint32_t value) {
  switch (id) {
    case Http2SettingsFrame::kHeaderTableSize:
      return connection_->SetHeaderTableSize(ClampToInt(value));
    case Http2SettingsFrame::kEnablePush:
      if (value > 1) {
        return Fail(kHttp2ProtocolError,
                    FormatMessage("PROTOCOL_ERROR: Receive Settings Frame with ENABLE_PUSH {0}.", int64_t{value}));
      }
      return connection_->SetEnablePush(static_cast<int>(value));
    case Http2SettingsFrame::kMaxConcurrentStreams:
      return connection_->SetMaxConcurrentStreams(ClampToInt(value));
    case Http2SettingsFrame::kInitialWindowSize: {
      if (value > kHttp2MaxWindow) {
        return Fail(kHttp2FlowControlError,
                    FormatMessage("FLOW_CONTROL_ERROR: Receive Settings Frame with INITIAL_WINDOW_SIZE {0}.",
                                  int64_t{value}));
      }
      // The open stream's window moves by the change (RFC 7540 6.9.2).
      const int64_t window = streamSendWindow_ + int64_t{value} - connection_->GetPeerInitialWindowSize();
      if (state_ != kStreamIdle) {
        if (window > kHttp2MaxWindow) {
          return Fail(kHttp2FlowControlError,
                      FormatMessage("FLOW_CONTROL_ERROR: Receive Settings Frame raising the stream window to {0}.",
                                    window));
        }
        streamSendWindow_ = window;
      }
      return connection_->SetPeerInitialWindowSize(static_cast<int>(value));
    }
    case Http2SettingsFrame::kMaxFrameSize:
      if (value < static_cast<uint32_t>(Http2Connection::kMinFrameSize) ||
          value > static_cast<uint32_t>(Http2Connection::kMaxFrameSizeLimit)) {
        return Fail(kHttp2ProtocolError,
                    FormatMessage("PROTOCOL_ERROR: Receive Settings Frame with MAX_FRAME_SIZE {0}.", int64_t{value}));
      }
      return connection_->SetMaxFrameSize(static_cast<int>(value));
    case Http2SettingsFrame::kMaxHeaderListSize:
      return connection_->SetMaxHeaderListSize(ClampToInt(value));
    default:
      return kStatusOk;  // unknown settings are ignored
  }
}

int Http2Engine::OnPing(const char* frame, int length) {
  const FrameHeader header = ReadHeader(frame);
  if (header.streamId != 0) {
    return Fail(kHttp2ProtocolError, "PROTOCOL_ERROR: Receive Ping Frame with StreamIdentifier is not 0.");
  }
  if (header.length != Http2PingFrame::kOpaqueLength) {
    return Fail(kHttp2FrameSizeError,
                FormatMessage("FRAME_SIZE_ERROR: Receive Ping Frame with PadLen {0} differet from Ping Frame PadLen "
                              "should be {1}.",
                              int64_t{header.length}, int64_t{Http2PingFrame::kOpaqueLength}));
  }
  if ((header.flags & Http2Frame::kFlagAck) != 0) return kStatusOk;
  Http2PingFrame pong;
  pong.SetAck(true);
  TORNELL_TRY(pong.OpaqueData.Set(frame + kHttp2FrameHeaderSize, length - kHttp2FrameHeaderSize));
  return WriteFrame(pong);
}

int Http2Engine::OnGoAway(const char* frame, int length) {
  if (ReadHeader(frame).streamId != 0) {
    return Fail(kHttp2ProtocolError, "PROTOCOL_ERROR: Receive GoAway Frame with StreamIdentifier is not 0.");
  }
  Http2GoAwayFrame goAway;
  TORNELL_H2_PARSE(goAway, frame, length);
  connection_->NoteGoAway(static_cast<int>(goAway.LastStreamId), goAway.ErrorCode);
  // A stream the peer will not process ends here; one it will finishes,
  // and the owner closes the connection after it.
  if (!IsCurrent(streamId_) || streamId_ <= static_cast<int>(goAway.LastStreamId) || remoteEnded_ != 0) {
    return kStatusOk;
  }
  state_ = kStreamClosed;
  remoteEnded_ = 1;
  TORNELL_TRY(connection_->Owner()->DeliverEvent(kHttp2EventStreamEnd, nullptr, 0));
  const int code = static_cast<int>(goAway.ErrorCode);
  connection_->SetError(kStatusHttp2StreamReset, FormatMessage(kGoAwayPattern, ErrorCodeText(code), ErrorCodeName(code)));
  return kStatusOk;
}

int Http2Engine::OnWindowUpdate(const char* frame, int length) {
  const FrameHeader header = ReadHeader(frame);
  if (header.length != 4) {
    return Fail(kHttp2FrameSizeError,
                FormatMessage("FRAME_SIZE_ERROR: Receive WindowUpdate Frame with PadLen {0} differet from PadLen "
                              "should be {1}.",
                              int64_t{header.length}, int64_t{4}));
  }
  const bool connectionLevel = header.streamId == 0;
  if (!connectionLevel && !IsCurrent(header.streamId)) return kStatusOk;
  const int64_t increment =
      BigEndian::Read(frame, length, kHttp2FrameHeaderSize, 4) & Http2Frame::kStreamIdMask;
  if (increment == 0) {
    return Fail(kHttp2ProtocolError, "PROTOCOL_ERROR: Receive WindowUpdata Frame with WindowIncrement is 0.");
  }
  const int64_t window = (connectionLevel ? connection_->ConnectionSendWindow() : streamSendWindow_) + increment;
  if (window > kHttp2MaxWindow) {
    return Fail(kHttp2FlowControlError,
                FormatMessage("FLOW_CONTROL_ERROR: Receive WindowUpdate Frame raising the window to {0}.", window));
  }
  if (connectionLevel) {
    connection_->SetConnectionSendWindow(window);
  } else {
    streamSendWindow_ = window;
  }
  return kStatusOk;
}

}  // namespace tornell
