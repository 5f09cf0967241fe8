#include "http/h2/Http2Connection.h"

#include "core/base/Status.h"

namespace tornell {

Http2Connection::Http2Connection() {
  engine_.Bind(this);
  (void)Reset();  // only the tables' allocations can fail; they retry at the next Reset
}

int Http2Connection::Reset() {
  engine_.Reset();
  engine_.ClearInput();
  TORNELL_TRY(encoderTable_.Reset());
  TORNELL_TRY(decoderTable_.Reset());
  prefaceSent_ = 0;
  nextStreamId_ = 1;
  headerTableSize_ = kDefaultHeaderTableSize;
  enablePush_ = 0;
  maxConcurrentStreams_ = kDefaultMaxConcurrentStreams;
  initialWindowSize_ = kDefaultWindow;
  peerInitialWindowSize_ = kDefaultWindow;
  maxFrameSize_ = kMinFrameSize;
  maxHeaderListSize_ = kDefaultMaxHeaderListSize;
  connectionReceiveWindow_ = kDefaultWindow;
  connectionSendWindow_ = kDefaultWindow;
  goAway_ = 0;
  goAwayLastStreamId_ = 0;
  goAwayCode_ = 0;
  return kStatusOk;
}

int Http2Connection::SetHeaderTableSize(int value) {
  headerTableSize_ = value;
  // Our encoder must stay within what the peer's decoder keeps.
  return encoderTable_.SetEncoderMaxSize(value);
}

int Http2Connection::SendPreface() {
  SetLastErrorCode(0);
  if (owner_ == nullptr) return kStatusHttp2NotConnected;
  TORNELL_TRY(owner_->SendText(kPreface));
  Http2SettingsFrame settings;
  settings.Set(Http2SettingsFrame::kMaxConcurrentStreams, static_cast<uint32_t>(maxConcurrentStreams_));
  settings.Set(Http2SettingsFrame::kInitialWindowSize, static_cast<uint32_t>(initialWindowSize_));
  ByteString out;
  TORNELL_TRY(settings.Serialize(out));
  TORNELL_TRY(owner_->SendBytes(out.Data(), out.Length()));
  Http2WindowUpdateFrame update;
  update.Increment = static_cast<uint32_t>(initialWindowSize_);
  TORNELL_TRY(out.Clear());
  TORNELL_TRY(update.Serialize(out));
  TORNELL_TRY(owner_->SendBytes(out.Data(), out.Length()));
  connectionReceiveWindow_ += initialWindowSize_;
  prefaceSent_ = 1;
  return kStatusOk;
}

int Http2Connection::OpenStream(StringList& headers, bool endStream) {
  // A stale error of the last exchange must not fail this one.
  ClearError();
  engine_.Reset();
  engine_.SetStreamReceiveWindow(initialWindowSize_);
  engine_.SetStreamSendWindow(peerInitialWindowSize_);
  engine_.SetStreamId(nextStreamId_);
  TORNELL_TRY(engine_.SendHeaders(headers, endStream));
  nextStreamId_ += 2;
  return kStatusOk;
}

int Http2Connection::SendData(const char* data, int length, bool endStream) {
  if (owner_ == nullptr) return kStatusOk;
  return engine_.SendData(data, length, endStream);
}

int Http2Connection::OnDataIn(const char* data, int length, int flag) {
  // Before the preface nothing of ours is on the wire to answer to.
  if (owner_ == nullptr || prefaceSent_ == 0) return kStatusOk;
  return engine_.ProcessInput(data, length, flag);
}

int Http2Connection::CloseStream() {
  if (owner_ == nullptr) return kStatusOk;
  const int status = engine_.Close();
  engine_.Reset();
  return status;
}

}  // namespace tornell
