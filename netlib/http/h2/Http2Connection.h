#pragma once
// The HTTP/2 side of the HTTP protocol object: the settings of both ends,
// the connection-level windows, the two HPACK header tables and the stream
// engine. All writing and waiting goes through the owner (Http2Owner).
#include <cstdint>

#include "core/base/ComponentBase.h"
#include "core/text/ByteString.h"
#include "core/text/StringList.h"
#include "http/h2/HpackStaticTable.h"
#include "http/h2/Http2Engine.h"
#include "http/h2/Http2Owner.h"

namespace tornell {

class Http2Connection : public ComponentBase {
 public:
  static constexpr char kPreface[] = "PRI * HTTP/2.0\r\n\r\nSM\r\n\r\n";
  static constexpr int kDefaultWindow = 65535;
  static constexpr int kDefaultMaxConcurrentStreams = 100;
  static constexpr int kDefaultHeaderTableSize = 4096;
  static constexpr int kDefaultMaxHeaderListSize = 32768;
  static constexpr int kMinFrameSize = 16384;
  static constexpr int kMaxFrameSizeLimit = 16777215;

  Http2Connection();

  void BindProtocol(Http2Owner* owner) { owner_ = owner; }
  Http2Owner* Owner() const { return owner_; }
  [[nodiscard]] int Reset();

  [[nodiscard]] int SendPreface();
  [[nodiscard]] int OpenStream(StringList& headers, bool endStream);
  [[nodiscard]] int SendData(const char* data, int length, bool endStream);
  [[nodiscard]] int OnDataIn(const char* data, int length, int flag);
  [[nodiscard]] int CloseStream();

  int IsPrefaceSent() const { return prefaceSent_; }
  int GetEnablePush() const { return enablePush_; }
  int GetInitialWindowSize() const { return initialWindowSize_; }
  int GetPeerInitialWindowSize() const { return peerInitialWindowSize_; }
  int GetMaxFrameSize() const { return maxFrameSize_; }
  int GetHeaderTableSize() const { return headerTableSize_; }
  int GetMaxConcurrentStreams() const { return maxConcurrentStreams_; }
  int GetMaxHeaderListSize() const { return maxHeaderListSize_; }
  int GetNextStreamId() const { return nextStreamId_; }
  HpackStaticTable& EncoderTable() { return encoderTable_; }
  HpackStaticTable& DecoderTable() { return decoderTable_; }
  Http2Engine& Engine() { return engine_; }
  const char* GetHeadersWithoutIndexing() const { return headersWithoutIndexing_.CStr(); }
  [[nodiscard]] int SetHeadersWithoutIndexing(const char* text) { return headersWithoutIndexing_.Set(text); }

  int SetHeaderTableSize(int value);
  int SetEnablePush(int value) { enablePush_ = value; return 0; }
  int SetMaxConcurrentStreams(int value) { maxConcurrentStreams_ = value; return 0; }
  int SetPeerInitialWindowSize(int value) { peerInitialWindowSize_ = value; return 0; }
  int SetMaxFrameSize(int value) { maxFrameSize_ = value; return 0; }
  int SetMaxHeaderListSize(int value) { maxHeaderListSize_ = value; return 0; }

  int64_t ConnectionReceiveWindow() const { return connectionReceiveWindow_; }
  int64_t ConnectionSendWindow() const { return connectionSendWindow_; }
  void SetConnectionReceiveWindow(int64_t window) { connectionReceiveWindow_ = window; }
  void SetConnectionSendWindow(int64_t window) { connectionSendWindow_ = window; }

  // GOAWAY: once received, no new stream may start on this transport.
  bool IsGoingAway() const { return goAway_ != 0; }
  void NoteGoAway(int lastStreamId, uint32_t code) {
    goAway_ = 1;
    goAwayLastStreamId_ = lastStreamId;
    goAwayCode_ = code;
  }
  int GoAwayLastStreamId() const { return goAwayLastStreamId_; }
  uint32_t GoAwayCode() const { return goAwayCode_; }

 private:
  Http2Owner* owner_ = nullptr;
  HpackStaticTable encoderTable_;
  HpackStaticTable decoderTable_;
  Http2Engine engine_;
  int prefaceSent_ = 0;
  int nextStreamId_ = 1;
  int headerTableSize_ = kDefaultHeaderTableSize;
  int enablePush_ = 0;
  int maxConcurrentStreams_ = kDefaultMaxConcurrentStreams;
  int initialWindowSize_ = kDefaultWindow;
  int peerInitialWindowSize_ = kDefaultWindow;
  int maxFrameSize_ = kMinFrameSize;
  int maxHeaderListSize_ = kDefaultMaxHeaderListSize;
  ByteString headersWithoutIndexing_;
  int64_t connectionReceiveWindow_ = kDefaultWindow;
  int64_t connectionSendWindow_ = kDefaultWindow;
  uint8_t goAway_ = 0;
  int goAwayLastStreamId_ = 0;
  uint32_t goAwayCode_ = 0;
};

}  // namespace tornell
