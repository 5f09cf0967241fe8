#include "http/h2/Http2Frame.h"

#include <cstdio>

#include "core/base/Status.h"

namespace tornell {

namespace {

const char* ErrorName(int code) {
  switch (code) {
    case kHttp2ProtocolError: return "PROTOCOL_ERROR";
    case kHttp2FrameSizeError: return "FRAME_SIZE_ERROR";
    case kHttp2CompressionError: return "COMPRESSION_ERROR";
    default: return nullptr;  // not an HTTP/2 error: the text has no name
  }
}

}  // namespace

void Http2Frame::Reset() {
  length_ = 0;
  type_ = 0;
  flags_ = 0;
  streamId_ = 0;
  (void)payload_.Clear();  // Clear cannot fail
  (void)parseMessage_.Clear();
}

int Http2Frame::Serialize(ByteString& out) {
  FrameBuffer frame;
  TORNELL_TRY(frame.PutU24(0));
  TORNELL_TRY(frame.PutU8(type_ & 0xFF));
  TORNELL_TRY(frame.PutU8(flags_ & 0xFF));
  TORNELL_TRY(frame.PutU32(static_cast<int>(static_cast<uint32_t>(streamId_) & kStreamIdMask)));
  TORNELL_TRY(frame.PutBytes(payload_));
  TORNELL_TRY(frame.PatchU24(0, payload_.Length()));
  return out.Append(frame.Data(), frame.Length());
}

int Http2Frame::Parse(const void* data, int length) {
  Reset();
  if (data == nullptr || length < kHttp2FrameHeaderSize) return Fail(kStatusWireShort, "with a header cut short.");
  FrameBuffer in;
  TORNELL_TRY(in.Assign(data, 0, length));
  TORNELL_TRY(in.GetU24(length_));
  type_ = in.GetU8();
  flags_ = in.GetU8();
  int streamId = 0;
  TORNELL_TRY(in.GetU32(streamId));
  streamId_ = static_cast<int>(static_cast<uint32_t>(streamId) & kStreamIdMask);
  if (length_ > kHttp2MaxFrameSize) {
    char detail[96];
    std::snprintf(detail, sizeof detail, "with payload length %d more than %d.", length_, kHttp2MaxFrameSize);
    return Fail(kHttp2FrameSizeError, detail);
  }
  if (in.Remaining() < length_) return Fail(kStatusWireShort, "with fewer payload bytes than its length.");
  return payload_.Set(in.CurrentPointer(), length_);
}

int Http2Frame::OpenPayload(FrameBuffer& in) const { return in.Assign(payload_.Data(), 0, payload_.Length()); }

int Http2Frame::Finish(const FrameBuffer& payload, ByteString& out) {
  TORNELL_TRY(payload_.Set(payload.Data(), payload.Length()));
  return Http2Frame::Serialize(out);
}

int Http2Frame::Fail(int code, const char* detail) {
  // Only memory can fail here, and the code says more than the text.
  const char* name = ErrorName(code);
  (void)parseMessage_.Set(name != nullptr ? name : "");
  (void)parseMessage_.Append(name != nullptr ? ": Receive " : "Receive ");
  (void)parseMessage_.Append(FrameName());
  (void)parseMessage_.Append(" ");
  (void)parseMessage_.Append(detail);
  return ReturnError(code, parseMessage_.CStr());
}

int Http2Frame::RequireLength(int wanted, bool exact) {
  if (exact ? length_ == wanted : length_ >= wanted) return kStatusOk;
  char detail[96];
  std::snprintf(detail, sizeof detail, "with payload length %d, %s %d.", length_,
                exact ? "should be" : "should be at least", wanted);
  return Fail(kHttp2FrameSizeError, detail);
}

int Http2Frame::ReadPadding(FrameBuffer& in, int fixed, int& padLength, int& available) {
  padLength = 0;
  if (HasFlag(kFlagPadded)) {
    TORNELL_TRY(RequireLength(1, false));
    padLength = in.GetU8();
  }
  available = in.Remaining() - fixed;
  if (available < 0) {
    // Fields cut short are a size fault whatever the padding says.
    char detail[96];
    std::snprintf(detail, sizeof detail, "with payload length %d too short for its fields.", length_);
    return Fail(kHttp2FrameSizeError, detail);
  }
  if (padLength > available) {
    char detail[96];
    std::snprintf(detail, sizeof detail, "with PadLength %d more than dataLen %d.", padLength, available);
    return Fail(kHttp2ProtocolError, detail);
  }
  available -= padLength;
  return kStatusOk;
}

int Http2Frame::PutPadding(FrameBuffer& payload, int padLength) {
  if (padLength <= 0) return kStatusOk;
  ByteString zeros;
  TORNELL_TRY(zeros.AppendRepeated(padLength, 0));
  return payload.PutBytes(zeros);
}

}  // namespace tornell
