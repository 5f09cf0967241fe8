#include "net/connection/ProtocolConnection.h"

#include <cstring>

#include "core/base/Status.h"
#include "core/text/TextUtils.h"

namespace tornell {

ProtocolConnection::ProtocolConnection() { static_cast<void>(Reset()); }

ProtocolConnection::~ProtocolConnection() { Interrupt(); }

int ProtocolConnection::Reset() {
  useExtendedDst_ = 1;
  reply_.Clear();
  waiting_ = 0;
  connectCode_ = disconnectCode_ = 0;
  singleLineMode_ = 1;
  const int done = SecureConnection::Reset();
  connectionTimeout_ = 0;
  chunk_ = nullptr;
  chunkLength_ = 0;
  maskSensitive_ = 0;
  return done;
}

int ProtocolConnection::OnProgress(int) { return 0; }
int ProtocolConnection::BeforeSend(const char*, int) { return 0; }
int ProtocolConnection::AfterSend(const char*, int) { return 0; }
int ProtocolConnection::CheckReply() { return 0; }

int ProtocolConnection::Interrupt() {
  RequestInterrupt();
  ClearInterrupted();
  return 0;
}

// ---- events ------------------------------------------------------------------------

int ProtocolConnection::ReturnError(int code, const char* text) {
  if (code != 0) {
    static_cast<void>(connectErrorText_.Set(text != nullptr ? text : ""));
    connectCode_ = code;
  }
  return TcpConnection::ReturnError(code, text);
}

int ProtocolConnection::OnConnected(int code) {
  connectCode_ = code;
  static_cast<void>(connectErrorText_.Set(GetLastErrorText()));
  return SecureConnection::OnConnected(code);
}

int ProtocolConnection::OnDisconnected(int code) {
  disconnectCode_ = code;
  return SecureConnection::OnDisconnected(code);
}

int ProtocolConnection::OnDataIn(const char* data, int length, int eol) {
  if (length > 0 && reply_.Append(data, length) != 0) {
    static_cast<void>(RaiseError(kStatusNoMemory, "Out of memory in DataIn [IPPMsg]."));
  }
  if (eol != 0) {
    waiting_ = 0;
    if (singleLineMode_ != 0) static_cast<void>(SetReceiveEnabled(0));
  }
  return 0;
}

// ---- connect and disconnect -----------------------------------------------------------

int ProtocolConnection::ConnectAndWait() {
  interruptRequest_ = 0;
  if (IsConnected()) return 0;
  reply_.Clear();
  connectCode_ = 0;
  static_cast<void>(SetReceiveEnabled(0));
  TORNELL_TRY(SetConnected(1, 0));
  // Kept exactly as set, whatever the unit.
  const int savedTimeout = timeout_;
  const uint32_t deadline = GetDeadline();
  const bool ownTimeout = connectionTimeout_ > 0;
  if (ownTimeout) static_cast<void>(SetTimeout(static_cast<unsigned>(connectionTimeout_), 1));
  if (savedTimeout != 0 || connectionTimeout_ != 0) static_cast<void>(StartTimeout());
  int result = 0;
  for (;;) {
    if (IsConnected() || connectCode_ != 0) {
      static_cast<void>(SetReceiveEnabled(1));
      if (connectCode_ != 0) static_cast<void>(SetErrorText(connectErrorText_.CStr()));
      result = connectCode_;
      break;
    }
    if (DoEvents() == kWaitStop) {
      ByteString text;
      static_cast<void>(text.Set(GetLastErrorText()));
      static_cast<void>(SetConnected(0, 0));
      if (!text.IsEmpty()) static_cast<void>(SetErrorText(text.CStr()));
      result = kStatusInterrupted;
      break;
    }
  }
  // Every way out gives the caller its own Timeout back.
  if (ownTimeout) {
    timeout_ = savedTimeout;
    if (absoluteTimeout_ != 0) static_cast<void>(SetDeadline(deadline));
  }
  return result;
}

int ProtocolConnection::ConnectTo(const char* host, int port) {
  TORNELL_TRY(SetRemoteHost(host));
  TORNELL_TRY(SetRemotePort(port));
  return ConnectAndWait();
}

int ProtocolConnection::DisconnectAndWait() {
  interruptRequest_ = 0;
  if (!IsConnected()) return 0;
  TORNELL_TRY(SetConnected(0, 0));
  return WaitForDisconnect();
}

int ProtocolConnection::WaitForDisconnect() {
  interruptRequest_ = 0;
  if (!IsConnected()) return 0;
  disconnectCode_ = 0;
  while (IsConnected() && disconnectCode_ == 0) {
    if (DoEvents() == kWaitStop) return kStatusInterrupted;
  }
  return disconnectCode_;
}

// ---- replies -------------------------------------------------------------------------

int ProtocolConnection::WaitForReply() {
  interruptRequest_ = 0;
  reply_.Clear();
  waiting_ = 1;
  static_cast<void>(SetReceiveEnabled(1));
  int steps = 0;
  while (waiting_ != 0) {
    if (DoEvents() == kWaitStop) return kStatusInterrupted;
    if (++steps == kReadEverySteps) {
      static_cast<void>(Receive(0));  // its failures were reported
      steps = 0;
    }
    if (waiting_ == 0) break;
    TORNELL_TRY(CheckReply());
    if (!IsConnected()) return kStatusInterrupted;
  }
  if (absoluteTimeout_ == 0) static_cast<void>(StartTimeout());
  return 0;
}

// ---- send ----------------------------------------------------------------------------

int ProtocolConnection::SendData(const char* data, int length, int progress, int hooks) {
  interruptRequest_ = 0;
  if (length <= 0) return 0;
  if (hooks != 0) TORNELL_TRY(BeforeSend(data, length));
  int remaining = length;
  int sentSoFar = 0;
  for (;;) {
    TORNELL_TRY(ThrottleTransfer());
    const int status = Send(data, remaining, 0);
    NoteTransferred(GetBytesSent(), TickCountMs());
    if (status != kStatusWouldBlock) {
      if (status != 0) return status;
      return hooks != 0 ? AfterSend(data, remaining) : 0;
    }
    const int taken = GetBytesSent();
    remaining -= taken;
    data += taken;
    sentSoFar += taken;
    // With TLS the engine may still hold records: go on, with no new data,
    // until it has flushed them.
    if (tlsEnabled_ == 0 && remaining == 0) return hooks != 0 ? AfterSend(data, remaining) : 0;
    if (DoEvents() == kWaitStop) return kStatusInterrupted;
    if (progress != 0) TORNELL_TRY(OnProgress(sentSoFar));
  }
}

int ProtocolConnection::SendText(const char* text) {
  return SendData(text, text != nullptr ? static_cast<int>(std::strlen(text)) : 0, 1, 0);
}

int ProtocolConnection::SendInChunks(const char* data, int length, int chunkSize, int hooks) {
  int sent = 0;
  while (sent < length) {
    const int left = length - sent;
    const int chunk = chunkSize > 0 && chunkSize < left ? chunkSize : left;
    chunk_ = data + sent;
    chunkLength_ = chunk;
    TORNELL_TRY(SendData(data + sent, chunk, 0, hooks));
    sent += chunk;
    TORNELL_TRY(OnProgress(sent));
  }
  return 0;
}

// ---- configuration ---------------------------------------------------------------------

int ProtocolConnection::Config(ConfigSetting* setting, const char*& answer) {
  const bool query = setting->IsQuery();
  if (setting->NameIs("UseExtendedDST")) {
    if (query) return SetConfigAnswer(answer, static_cast<int>(useExtendedDst_));
    useExtendedDst_ = setting->AsBool() ? 1 : 0;
    return 0;
  }
  if (setting->NameIs("ConnectionTimeout")) {
    if (query) return SetConfigAnswer(answer, connectionTimeout_);
    connectionTimeout_ = setting->AsInt();
    return 0;
  }
  if (setting->NameIs("TransferText")) {
    TORNELL_TRY(transferText_.Set(chunk_ != nullptr ? chunk_ : "", chunk_ != nullptr ? chunkLength_ : 0));
    return SetConfigAnswer(answer, transferText_.CStr());
  }
  if (setting->NameIs("ALPNExtension")) {
    return query ? SetConfigAnswer(answer, GetAlpnList()) : SetAlpnList(setting->Value());
  }
  if (setting->NameIs("MaskSensitive")) {
    if (query) return SetConfigAnswer(answer, GetMaskSensitive());
    maskSensitive_ = setting->AsBool() ? 1 : 0;
    return 0;
  }
  return TcpConnection::Config(setting, answer);
}

}  // namespace tornell
