#include "http/h2/Http2Frames.h"

#include "core/base/Status.h"

namespace tornell {

namespace {

uint32_t ReadU32(FrameBuffer& in) {
  int value = 0;
  // Callers check the length first, so the read cannot come up short.
  (void)in.GetU32(value);
  return static_cast<uint32_t>(value);
}

}  // namespace

// ---- DATA -----------------------------------------------------------------

int Http2DataFrame::Serialize(ByteString& out) {
  const int pad = PadLength & 0xFF;
  FrameBuffer payload;
  SetType(kData);
  SetFlag(kFlagPadded, pad != 0);
  if (pad != 0) TORNELL_TRY(payload.PutU8(pad));
  TORNELL_TRY(payload.PutBytes(Data));
  TORNELL_TRY(PutPadding(payload, pad));
  return Finish(payload, out);
}

int Http2DataFrame::Parse(const void* data, int length) {
  Reset();
  TORNELL_TRY(Http2Frame::Parse(data, length));
  FrameBuffer in;
  TORNELL_TRY(OpenPayload(in));
  int available = 0;
  TORNELL_TRY(ReadPadding(in, 0, PadLength, available));
  return Data.Set(in.CurrentPointer(), available);
}

// ---- PRIORITY -------------------------------------------------------------

int Http2PriorityFrame::Serialize(ByteString& out) {
  FrameBuffer payload;
  SetType(kPriority);
  TORNELL_TRY(payload.PutU32(static_cast<int>(StreamDependency)));
  TORNELL_TRY(payload.PutU8(Weight & 0xFF));
  return Finish(payload, out);
}

int Http2PriorityFrame::Parse(const void* data, int length) {
  Reset();
  TORNELL_TRY(Http2Frame::Parse(data, length));
  TORNELL_TRY(RequireLength(5, true));
  FrameBuffer in;
  TORNELL_TRY(OpenPayload(in));
  StreamDependency = ReadU32(in);
  Weight = in.GetU8();
  return kStatusOk;
}

// ---- RST_STREAM -----------------------------------------------------------

int Http2RstStreamFrame::Serialize(ByteString& out) {
  FrameBuffer payload;
  SetType(kRstStream);
  TORNELL_TRY(payload.PutU32(static_cast<int>(ErrorCode)));
  return Finish(payload, out);
}

int Http2RstStreamFrame::Parse(const void* data, int length) {
  Reset();
  TORNELL_TRY(Http2Frame::Parse(data, length));
  TORNELL_TRY(RequireLength(4, true));
  FrameBuffer in;
  TORNELL_TRY(OpenPayload(in));
  ErrorCode = ReadU32(in);
  return kStatusOk;
}

// ---- SETTINGS -------------------------------------------------------------

int Http2SettingsFrame::Serialize(ByteString& out) {
  FrameBuffer payload;
  SetType(kSettings);
  for (int id = 1; id <= kSettingCount; ++id) {
    if (Get(id) == kAbsent) continue;
    TORNELL_TRY(payload.PutU16(id));
    TORNELL_TRY(payload.PutU32(static_cast<int>(Get(id))));
  }
  return Finish(payload, out);
}

int Http2SettingsFrame::Parse(const void* data, int length) {
  Reset();
  TORNELL_TRY(Http2Frame::Parse(data, length));
  if (Length() % 6 != 0) {
    return Fail(kHttp2FrameSizeError, "with payload length not a multiple of 6.");
  }
  FrameBuffer in;
  TORNELL_TRY(OpenPayload(in));
  while (in.Remaining() >= 6) {
    const int id = in.GetU16();
    Set(id, ReadU32(in));  // unknown ids are ignored
  }
  return kStatusOk;
}

// ---- PUSH_PROMISE ---------------------------------------------------------

int Http2PushPromiseFrame::Serialize(ByteString& out) {
  const int pad = PadLength & 0xFF;
  FrameBuffer payload;
  SetType(kPushPromise);
  SetFlag(kFlagPadded, pad != 0);
  if (pad != 0) TORNELL_TRY(payload.PutU8(pad));
  TORNELL_TRY(payload.PutU32(static_cast<int>(PromisedStreamId & kStreamIdMask)));
  TORNELL_TRY(payload.PutBytes(HeaderBlock));
  TORNELL_TRY(PutPadding(payload, pad));
  return Finish(payload, out);
}

int Http2PushPromiseFrame::Parse(const void* data, int length) {
  Reset();
  TORNELL_TRY(Http2Frame::Parse(data, length));
  FrameBuffer in;
  TORNELL_TRY(OpenPayload(in));
  int available = 0;
  TORNELL_TRY(ReadPadding(in, 4, PadLength, available));
  PromisedStreamId = ReadU32(in) & kStreamIdMask;
  return HeaderBlock.Set(in.CurrentPointer(), available);
}

// ---- PING -----------------------------------------------------------------

int Http2PingFrame::Serialize(ByteString& out) {
  FrameBuffer payload;
  SetType(kPing);
  TORNELL_TRY(payload.PutBytes(OpaqueData));
  return Finish(payload, out);
}

int Http2PingFrame::Parse(const void* data, int length) {
  Reset();
  TORNELL_TRY(Http2Frame::Parse(data, length));
  TORNELL_TRY(RequireLength(kOpaqueLength, true));
  return OpaqueData.Set(PayloadData(), PayloadLength());
}

// ---- GOAWAY ---------------------------------------------------------------

int Http2GoAwayFrame::Serialize(ByteString& out) {
  FrameBuffer payload;
  SetType(kGoAway);
  TORNELL_TRY(payload.PutU32(static_cast<int>(LastStreamId & kStreamIdMask)));
  TORNELL_TRY(payload.PutU32(static_cast<int>(ErrorCode)));
  TORNELL_TRY(payload.PutBytes(DebugData));
  return Finish(payload, out);
}

int Http2GoAwayFrame::Parse(const void* data, int length) {
  Reset();
  TORNELL_TRY(Http2Frame::Parse(data, length));
  TORNELL_TRY(RequireLength(8, false));
  FrameBuffer in;
  TORNELL_TRY(OpenPayload(in));
  LastStreamId = ReadU32(in) & kStreamIdMask;
  ErrorCode = ReadU32(in);
  return DebugData.Set(in.CurrentPointer(), in.Remaining());
}

// ---- WINDOW_UPDATE --------------------------------------------------------

int Http2WindowUpdateFrame::Serialize(ByteString& out) {
  FrameBuffer payload;
  SetType(kWindowUpdate);
  TORNELL_TRY(payload.PutU32(static_cast<int>(Increment & kStreamIdMask)));
  return Finish(payload, out);
}

int Http2WindowUpdateFrame::Parse(const void* data, int length) {
  Reset();
  TORNELL_TRY(Http2Frame::Parse(data, length));
  TORNELL_TRY(RequireLength(4, true));
  FrameBuffer in;
  TORNELL_TRY(OpenPayload(in));
  Increment = ReadU32(in) & kStreamIdMask;
  return kStatusOk;
}

// ---- CONTINUATION ---------------------------------------------------------

int Http2ContinuationFrame::Serialize(ByteString& out) {
  FrameBuffer payload;
  SetType(kContinuation);
  TORNELL_TRY(payload.PutBytes(HeaderBlock));
  return Finish(payload, out);
}

int Http2ContinuationFrame::Parse(const void* data, int length) {
  Reset();
  TORNELL_TRY(Http2Frame::Parse(data, length));
  return HeaderBlock.Set(PayloadData(), PayloadLength());
}

}  // namespace tornell
