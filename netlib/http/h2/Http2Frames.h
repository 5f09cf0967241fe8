#pragma once
// The HTTP/2 frame types other than HEADERS (RFC 7540 section 6). Each object
// is filled and serialized, or parsed from one whole frame.
#include <cstdint>

#include "http/h2/Http2Frame.h"

namespace tornell {

class Http2DataFrame : public Http2Frame {
 public:
  Http2DataFrame() { Reset(); }
  void Reset() { PadLength = 0; (void)Data.Clear(); }
  [[nodiscard]] int Serialize(ByteString& out) override;
  [[nodiscard]] int Parse(const void* data, int length) override;
  bool EndStream() const { return HasFlag(kFlagEndStream); }
  void SetEndStream(bool on) { SetFlag(kFlagEndStream, on); }

  int PadLength = 0;  // 0 to 255
  ByteString Data;    // padding removed

 protected:
  const char* FrameName() const override { return "Data Frame"; }
};

class Http2PriorityFrame : public Http2Frame {
 public:
  Http2PriorityFrame() { Reset(); }
  void Reset() { StreamDependency = 0; Weight = 0; }
  [[nodiscard]] int Serialize(ByteString& out) override;
  [[nodiscard]] int Parse(const void* data, int length) override;

  uint32_t StreamDependency = 0;  // the top bit is the exclusive flag
  int Weight = 0;

 protected:
  const char* FrameName() const override { return "Priority Frame"; }
};

class Http2RstStreamFrame : public Http2Frame {
 public:
  Http2RstStreamFrame() { Reset(); }
  void Reset() { ErrorCode = 0; }
  [[nodiscard]] int Serialize(ByteString& out) override;
  [[nodiscard]] int Parse(const void* data, int length) override;

  uint32_t ErrorCode = 0;

 protected:
  const char* FrameName() const override { return "RstStream Frame"; }
};

class Http2SettingsFrame : public Http2Frame {
 public:
  static constexpr int kHeaderTableSize = 1;
  static constexpr int kEnablePush = 2;
  static constexpr int kMaxConcurrentStreams = 3;
  static constexpr int kInitialWindowSize = 4;
  static constexpr int kMaxFrameSize = 5;
  static constexpr int kMaxHeaderListSize = 6;
  static constexpr int kSettingCount = 6;
  static constexpr uint32_t kAbsent = 0xFFFFFFFF;

  Http2SettingsFrame() { Reset(); }
  void Reset() {
    for (uint32_t& value : Values) value = kAbsent;
  }
  [[nodiscard]] int Serialize(ByteString& out) override;
  [[nodiscard]] int Parse(const void* data, int length) override;
  bool IsAck() const { return HasFlag(kFlagAck); }
  void SetAck(bool on) { SetFlag(kFlagAck, on); }

  // Setting id 1 to 6; kAbsent for another id or a setting not present.
  uint32_t Get(int id) const { return (id >= 1 && id <= kSettingCount) ? Values[id - 1] : kAbsent; }
  void Set(int id, uint32_t value) {
    if (id >= 1 && id <= kSettingCount) Values[id - 1] = value;
  }

  uint32_t Values[kSettingCount] = {};

 protected:
  const char* FrameName() const override { return "Settings Frame"; }
};

class Http2PushPromiseFrame : public Http2Frame {
 public:
  Http2PushPromiseFrame() { Reset(); }
  void Reset() { PadLength = 0; PromisedStreamId = 0; (void)HeaderBlock.Clear(); }
  [[nodiscard]] int Serialize(ByteString& out) override;
  [[nodiscard]] int Parse(const void* data, int length) override;
  bool EndHeaders() const { return HasFlag(kFlagEndHeaders); }

  int PadLength = 0;
  uint32_t PromisedStreamId = 0;
  // The header block fragment as received; the engine decodes the whole
  // block once its last fragment has arrived.
  ByteString HeaderBlock;

 protected:
  const char* FrameName() const override { return "PushPromise Frame"; }
};

class Http2PingFrame : public Http2Frame {
 public:
  static constexpr int kOpaqueLength = 8;

  Http2PingFrame() { Reset(); }
  void Reset() { (void)OpaqueData.Clear(); }
  [[nodiscard]] int Serialize(ByteString& out) override;
  [[nodiscard]] int Parse(const void* data, int length) override;
  bool IsAck() const { return HasFlag(kFlagAck); }
  void SetAck(bool on) { SetFlag(kFlagAck, on); }

  ByteString OpaqueData;

 protected:
  const char* FrameName() const override { return "Ping Frame"; }
};

class Http2GoAwayFrame : public Http2Frame {
 public:
  Http2GoAwayFrame() { Reset(); }
  void Reset() { LastStreamId = 0; ErrorCode = 0; (void)DebugData.Clear(); }
  [[nodiscard]] int Serialize(ByteString& out) override;
  [[nodiscard]] int Parse(const void* data, int length) override;

  uint32_t LastStreamId = 0;
  uint32_t ErrorCode = 0;
  ByteString DebugData;

 protected:
  const char* FrameName() const override { return "GoAway Frame"; }
};

class Http2WindowUpdateFrame : public Http2Frame {
 public:
  Http2WindowUpdateFrame() { Reset(); }
  void Reset() { Increment = 0; }
  [[nodiscard]] int Serialize(ByteString& out) override;
  [[nodiscard]] int Parse(const void* data, int length) override;

  uint32_t Increment = 0;

 protected:
  const char* FrameName() const override { return "WindowUpdate Frame"; }
};

class Http2ContinuationFrame : public Http2Frame {
 public:
  Http2ContinuationFrame() { Reset(); }
  void Reset() { (void)HeaderBlock.Clear(); }
  [[nodiscard]] int Serialize(ByteString& out) override;
  [[nodiscard]] int Parse(const void* data, int length) override;
  bool EndHeaders() const { return HasFlag(kFlagEndHeaders); }
  void SetEndHeaders(bool on) { SetFlag(kFlagEndHeaders, on); }

  ByteString HeaderBlock;  // the fragment as received

 protected:
  const char* FrameName() const override { return "Continuation Frame"; }
};

}  // namespace tornell
