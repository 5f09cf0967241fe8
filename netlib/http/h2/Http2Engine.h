#pragma once
// The state of the one HTTP/2 stream in progress, and the reader that cuts
// the received bytes into frames and runs one handler per frame type. Only
// one stream is ever open; frames of other streams keep the header tables
// and the connection window in step and are otherwise dropped.
#include <cstdint>

#include "core/buffer/PtrList.h"
#include "core/text/ByteString.h"
#include "core/text/StringList.h"
#include "http/h2/HpackHeaderField.h"
#include "http/h2/Http2Frames.h"

namespace tornell {

class Http2Connection;

enum Http2StreamState {
  kStreamIdle = 0,
  kStreamOpened = 1,
  kStreamReservedLocal = 2,
  kStreamReservedRemote = 3,
  kStreamHalfClosedRemote = 4,
  kStreamHalfClosedLocal = 5,
  kStreamClosed = 6,
};

// HTTP/2 error codes beyond those of the frame layer.
constexpr int kHttp2NoError = 0;
constexpr int kHttp2FlowControlError = 3;
constexpr int kHttp2RefusedStream = 7;
constexpr int kHttp2Cancel = 8;
// A stream reset or refused by the peer; stored on the connection.
constexpr int kStatusHttp2StreamReset = 162;
constexpr int kStatusHttp2Wait = 301;
// The connection has no owner to write through.
constexpr int kStatusHttp2NotConnected = 107;

// Flow-control windows are 31 bits.
constexpr int64_t kHttp2MaxWindow = 0x7FFFFFFF;
// What our receive windows are raised to after the preface, and refilled to
// when they fall to half. The preface's 65,535 would hold one stream to
// about half of what the link carries.
constexpr int kHttp2ReceiveWindow = 16 * 1024 * 1024;
// A header block gathered over CONTINUATION frames may not grow beyond this.
constexpr int kHttp2MaxHeaderBlock = 256 * 1024;

class Http2Engine {
 public:
  Http2Engine() = default;
  Http2Engine(const Http2Engine&) = delete;
  Http2Engine& operator=(const Http2Engine&) = delete;

  // The stream back to IDLE. Received bytes and a header block still being
  // gathered belong to the connection and stay.
  void Reset();
  // Drops the received bytes not yet processed (a new transport connection).
  void ClearInput();
  void Bind(Http2Connection* connection) { connection_ = connection; }
  Http2Connection* Connection() const { return connection_; }
  void SetStreamId(int id) { streamId_ = id; }
  int StreamId() const { return streamId_; }
  void SetStreamSendWindow(int64_t window) { streamSendWindow_ = window; }
  void SetStreamReceiveWindow(int64_t window) { streamReceiveWindow_ = window; }
  int64_t StreamSendWindow() const { return streamSendWindow_; }
  int64_t StreamReceiveWindow() const { return streamReceiveWindow_; }
  int State() const { return state_; }
  bool PeerClosed() const { return peerClosed_ != 0; }
  // True once the peer has ended or reset the stream: an upload stops there.
  bool RemoteEnded() const { return remoteEnded_ != 0; }
  int InputLength() const { return partialLength_; }

  // ---- sending ----
  [[nodiscard]] int SendHeaders(StringList& headers, bool endStream);
  // Sends the bytes as DATA frames within the peer's windows, waiting for
  // WINDOW_UPDATE when they are spent.
  [[nodiscard]] int SendData(const char* data, int length, bool endStream);
  [[nodiscard]] int Close();
  [[nodiscard]] int SendRstStream(int streamId, int errorCode);
  [[nodiscard]] int SendWindowUpdate(Http2WindowUpdateFrame& frame);

  // ---- receiving ----
  [[nodiscard]] int ProcessInput(const char* data, int length, int flag);
  // Keeps bytes that may not be answered yet; ProcessHeldInput runs them.
  [[nodiscard]] int HoldInput(const char* data, int length) { return deferred_.Append(data, length); }
  [[nodiscard]] int ProcessHeldInput();

  // ---- texts ----
  static const char* ReasonPhrase(int code);
  static const char* StateName(int state);
  const char* ErrorCodeName(int code);
  static const char* ErrorCodeText(int code);
  const char* FormatMessage(const char* pattern, const char* a, const char* b = nullptr);
  const char* FormatMessage(const char* pattern, int64_t a);
  const char* FormatMessage(const char* pattern, int64_t a, int64_t b);
  // Event 3 (unless the response had ended), then error 162 with the
  // code's text on the connection.
  [[nodiscard]] int ReportStreamReset(int code, const char* pattern, bool responseEnded);

 private:
  struct FrameHeader {
    int length = 0;
    int type = 0;
    int flags = 0;
    int streamId = 0;
  };

  static FrameHeader ReadHeader(const char* bytes);
  [[nodiscard]] int Consume(const char* data, int length);
  // Keeps the start of a frame that the next bytes complete.
  [[nodiscard]] int HoldPartial(const char* data, int length);
  [[nodiscard]] int CheckHeader(const FrameHeader& header);
  [[nodiscard]] int Dispatch(const char* frame, int length);
  // Fails with the code and the formatted text (the connection keeps the text).
  int Fail(int code, const char* text);
  // The stream in progress, as long as the peer has not reset it: frames
  // that were in flight when it did are dropped like another stream's.
  bool IsCurrent(int streamId) const { return streamId == streamId_ && state_ != kStreamIdle && peerReset_ == 0; }
  bool ClosedByPeer() const { return state_ == kStreamClosed && peerClosed_ != 0; }
  void EndedByPeer();

  [[nodiscard]] int OnData(const FrameHeader& header, const char* payload);
  [[nodiscard]] int OnHeaders(const char* frame, int length);
  [[nodiscard]] int OnPriority(const char* frame, int length);
  [[nodiscard]] int OnRstStream(const char* frame, int length);
  [[nodiscard]] int OnSettings(const FrameHeader& header, const char* payload);
  [[nodiscard]] int OnPushPromise(const char* frame, int length);
  [[nodiscard]] int OnPing(const char* frame, int length);
  [[nodiscard]] int OnGoAway(const char* frame, int length);
  [[nodiscard]] int OnWindowUpdate(const char* frame, int length);
  [[nodiscard]] int OnContinuation(const char* frame, int length);

  [[nodiscard]] int ApplySetting(int id, uint32_t value);
  [[nodiscard]] int RefillWindows(int streamId, bool streamToo);
  // Header blocks: the first fragment, further fragments, and the whole block.
  [[nodiscard]] int BeginBlock(int kind, int streamId, int promisedId, bool endStream, const ByteString& fragment,
                               bool endHeaders);
  [[nodiscard]] int AppendFragment(const ByteString& fragment);
  [[nodiscard]] int FinishBlock();
  [[nodiscard]] int DeliverHeaders(const StringList& pairs);
  [[nodiscard]] int WriteFrame(Http2Frame& frame);
  [[nodiscard]] int SendAnswers();

  Http2Connection* connection_ = nullptr;
  uint8_t peerClosed_ = 0;
  uint8_t remoteEnded_ = 0;
  uint8_t peerReset_ = 0;
  int state_ = kStreamIdle;
  int streamId_ = 1;
  int64_t streamSendWindow_ = 0;
  int64_t streamReceiveWindow_ = 0;
  // A frame begun in an earlier call: the first partialLength_ bytes of
  // partial_, which is sized once for the largest frame and never shrinks
  // while the connection lives, so a frame joined in it is handled in place.
  ByteString partial_;
  int partialLength_ = 0;
  // Bytes that arrived while a frame was being handled.
  ByteString deferred_;
  uint8_t busy_ = 0;
  ByteString errorText_;
  ByteString codeNameText_;
  PtrList<HpackHeaderField> headerFields_;
  // The header block being gathered: HEADERS or PUSH_PROMISE, its stream and
  // promised stream, and its END_STREAM flag.
  ByteString block_;
  int blockType_ = -1;
  int blockStreamId_ = 0;
  int blockPromisedId_ = 0;
  uint8_t blockEndStream_ = 0;
  ByteString frameOut_;
  // Frames written while received bytes were being handled, sent after them.
  ByteString answers_;
};

}  // namespace tornell
