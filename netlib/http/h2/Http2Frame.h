#pragma once
// Base of the HTTP/2 frame classes (RFC 7540 section 4): the 9-byte header
// and the payload. Subclasses build their payload before the base writes the
// frame, and read their fields from the payload after the base has parsed it.
#include <cstdint>

#include "core/base/ComponentBase.h"
#include "core/text/ByteString.h"
#include "http/h2/FrameBuffer.h"
#include "http/h2/Http2Status.h"

namespace tornell {

class Http2Frame : public ComponentBase {
 public:
  static constexpr int kData = 0;
  static constexpr int kHeaders = 1;
  static constexpr int kPriority = 2;
  static constexpr int kRstStream = 3;
  static constexpr int kSettings = 4;
  static constexpr int kPushPromise = 5;
  static constexpr int kPing = 6;
  static constexpr int kGoAway = 7;
  static constexpr int kWindowUpdate = 8;
  static constexpr int kContinuation = 9;

  static constexpr int kFlagEndStream = 0x1;
  static constexpr int kFlagAck = 0x1;
  static constexpr int kFlagEndHeaders = 0x4;
  static constexpr int kFlagPadded = 0x8;
  static constexpr int kFlagPriority = 0x20;

  // Stream ids, promised ids and window increments are 31 bits; the top bit
  // is reserved.
  static constexpr uint32_t kStreamIdMask = 0x7FFFFFFF;

  Http2Frame() { Reset(); }

  void Reset();

  // Appends the frame (header and payload) to out.
  [[nodiscard]] virtual int Serialize(ByteString& out);
  // Reads one whole frame, header included. A payload longer than 16384 is a
  // FRAME_SIZE_ERROR; fewer bytes than the header announces is 1080.
  [[nodiscard]] virtual int Parse(const void* data, int length);

  int Length() const { return length_; }
  int Type() const { return type_; }
  int Flags() const { return flags_; }
  int StreamId() const { return streamId_; }
  const char* PayloadData() const { return payload_.Data(); }
  int PayloadLength() const { return payload_.Length(); }

  void SetType(int type) { type_ = type; }
  void SetFlags(int flags) { flags_ = flags; }
  void SetStreamId(int streamId) { streamId_ = streamId; }
  [[nodiscard]] int SetPayload(const void* data, int length) { return payload_.Set(data, length); }

 protected:
  bool HasFlag(int flag) const { return (flags_ & flag) != 0; }
  void SetFlag(int flag, bool on) { flags_ = on ? (flags_ | flag) : (flags_ & ~flag); }
  // The payload as a buffer to read the subclass's fields from.
  [[nodiscard]] int OpenPayload(FrameBuffer& in) const;
  // Stores the built payload and writes the frame.
  [[nodiscard]] int Finish(const FrameBuffer& payload, ByteString& out);
  // Sets the error text "<name>: Receive <frame> <detail>" and returns code.
  int Fail(int code, const char* detail);
  // Reads the pad length of a PADDED frame and checks it against the bytes
  // after it less `fixed` bytes of fields; `available` receives what is left
  // for the content.
  [[nodiscard]] int ReadPadding(FrameBuffer& in, int fixed, int& padLength, int& available);
  [[nodiscard]] int RequireLength(int wanted, bool exact);
  [[nodiscard]] static int PutPadding(FrameBuffer& payload, int padLength);

  virtual const char* FrameName() const { return "Frame"; }

 private:
  int length_ = 0;
  int type_ = 0;
  int flags_ = 0;
  int streamId_ = 0;
  ByteString payload_;
  ByteString parseMessage_;
};

}  // namespace tornell
