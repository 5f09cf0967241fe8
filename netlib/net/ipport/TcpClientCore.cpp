#include "net/ipport/TcpClientCore.h"

#include "core/base/FileStream.h"
#include "core/base/Status.h"
#include "net/ipport/IPPortBase.h"

namespace tornell {

namespace {

const char* OrEmpty(const char* text) { return text != nullptr ? text : ""; }

}  // namespace

int TcpClientCore::Init() {
  if (ProtocolConnection::Reset() == 0) return 0;
  static_cast<void>(SetSplitCrlf(0));
  ProtocolConnection::SetSingleLineMode(false);
  fileSend_ = 0;
  fileBytes_ = 0;
  return 1;
}

IPPortBase* TcpClientCore::Sink() {
  auto* sink = static_cast<IPPortBase*>(GetEventSink());
  if (sink != nullptr) sink->OnCodePage(GetCodePage());
  return sink;
}

// ---- connect and disconnect ----------------------------------------------------------

int TcpClientCore::SetConnected(int on) {
  if (on != 0 && (tlsStartMode_ == 2 || tlsStartMode_ == 3)) TORNELL_TRY(SetUseSSL(false));
  if (!Blocking() && connectionTimeout_ == 0) return SecureConnection::SetConnected(on, 0);
  static_cast<void>(StartTimeout());
  if (on == 0) return SecureConnection::SetConnected(0, 0);
  const int result = ConnectAndWait();
  if (result == 0) static_cast<void>(SetReceiveEnabled(1));
  return result;
}

int TcpClientCore::Connect(const char* host, int port) {
  if (tlsStartMode_ == 2 || tlsStartMode_ == 3) TORNELL_TRY(SetUseSSL(false));
  if (!Blocking() && connectionTimeout_ == 0) {
    TORNELL_TRY(SetRemoteHost(host));
    TORNELL_TRY(SetRemotePort(port));
    return SecureConnection::SetConnected(1, 0);
  }
  static_cast<void>(StartTimeout());
  return ConnectTo(host, port);
}

int TcpClientCore::Disconnect() {
  if (!Blocking()) return SecureConnection::SetConnected(0, 0);
  static_cast<void>(StartTimeout());
  return DisconnectAndWait();
}

// ---- sending ---------------------------------------------------------------------------

int TcpClientCore::SendBytes(const char* data, int length) {
  fileSend_ = 0;
  if (!Blocking()) return Send(data, length, 0);
  const int result = SendData(data, length, 1, 0);
  if (singleLineMode_ == 0) ResumeReceive();
  return result;
}

int TcpClientCore::SendLine(const char* text) {
  static_cast<void>(StartTimeout());
  ByteString line;
  TORNELL_TRY(line.Set(OrEmpty(text)));
  TORNELL_TRY(line.Append("\r\n"));
  if (singleLineMode_ != 0) static_cast<void>(SetReceiveEnabled(0));
  return SendBytes(line.Data(), line.Length());
}

int TcpClientCore::SendFile(const char* fileName) {
  if (fileName == nullptr || fileName[0] == '\0') {
    return ReturnError(kStatusSendFileNoName, "You must provide the name of a file to send.");
  }
  if (!Blocking()) {
    return ReturnError(kStatusNotBlocking, "This operation cannot be performed in a non-blocking manner.");
  }
  fileBytes_ = 0;
  fileSend_ = 1;
  FileStream file;
  int code = file.OpenRead(fileName);
  if (code == kFileOk) {
    const long total = file.Size();
    // A size that cannot be read (a pipe, say) would send nothing and report
    // success; it is a read failure.
    if (total < 0) code = kFileReadError;
    long remaining = total;
    char chunk[kSendFileChunk];
    while (code == kFileOk && remaining >= 1) {
      const int n = remaining > kSendFileChunk - 1 ? kSendFileChunk : static_cast<int>(remaining);
      code = file.Read(chunk, static_cast<unsigned>(n));
      if (code == kFileOk) code = SendData(chunk, n, 1, 0);
      if (code != kFileOk) break;
      remaining -= n;
      fileBytes_ += n;
      const double divisor = total == 0 ? 1.0 : static_cast<double>(total);
      static_cast<void>(OnSendFileProgress(static_cast<int>(static_cast<double>(total - remaining) / divisor * 100)));
    }
    file.Close();
  }
  switch (code) {
    case kFileOpenReadFailed: SetErrorText("Cannot open file for reading."); break;
    case kFileSeekError: SetErrorText("Error opening file for reading."); break;
    case 1: case kFileNotOpen: case kFileReadError: case 9: case kFileShortRead:
      SetErrorText("Error reading file.");
      break;
    default: break;
  }
  if (singleLineMode_ == 0) ResumeReceive();
  return code;
}

// Only when it is off: turning it on again makes the next wait step read
// first and then still wait its whole time, once for every send.
void TcpClientCore::ResumeReceive() {
  if (GetReceiveEnabled() == 0) static_cast<void>(SetReceiveEnabled(1));
}

int64_t TcpClientCore::GetBytesSent() const {
  if (fileSend_ != 0) return fileBytes_;
  if (!Blocking()) return SecureConnection::GetBytesSent();
  return 0;
}

// ---- receiving -------------------------------------------------------------------------

int TcpClientCore::GetLine(const char*& line) {
  line = "";
  if (!Blocking()) return ReturnError(kStatusInterrupted, "GetLine requires a positive Timeout value.");
  static_cast<void>(StartTimeout());
  TORNELL_TRY(SetSingleLineMode(1));
  reply_.Clear();
  if (!IsConnected()) {
    char* record = nullptr;
    int n = 0;
    if (tlsEnabled_ != 0 && tlsQueue_.ReadRecord(record, n) != 0) {
      TORNELL_TRY(reply_.Set(record, n));
      line = reply_.CStr();
      return 0;
    }
    return ReturnError(kStatusInterrupted, "Disconnected.");
  }
  TORNELL_TRY(WaitForReply());
  line = reply_.CStr();
  return 0;
}

int TcpClientCore::SetSingleLineMode(int on) {
  static_cast<void>(SetSplitCrlf(on));
  if (on != 0) static_cast<void>(SetReceiveEnabled(0));
  ProtocolConnection::SetSingleLineMode(on != 0);
  return 0;
}

int TcpClientCore::StartSSL() { return GetTimeout() < 1 ? StartSsl() : StartSslAndWait(); }

// Plain input takes the same path as decrypted input, so that records and
// lines are cut for both.
int TcpClientCore::OnSocketData(const char* data, int length, int eol) {
  if (tlsEnabled_ != 0 && UsesInternalEngine()) return SecureConnection::OnSocketData(data, length, eol);
  return DeliverData(data, length, eol);
}

int TcpClientCore::DeliverData(const char* data, int length, int eol) {
  if (recordLength_ < 1) return OnLineData(data, length, eol);
  return SplitRecords(data, length, eol);
}

int TcpClientCore::OnRecord(const char* data, int length, int eol) { return OnLineData(data, length, eol); }

int TcpClientCore::OnLineData(const char* data, int length, int eol) {
  if (static_cast<unsigned>(reply_.Length()) > kReplyLinesKept * GetMaxLineLength()) reply_.Clear();
  if (absoluteTimeout_ == 0) static_cast<void>(StartTimeout());
  // Only GetLine reads the reply buffer, and it empties it before it waits:
  // a piece that arrives outside that wait would be copied there only to be
  // thrown away, so of such a piece only the line end counts.
  if (Blocking()) static_cast<void>(ProtocolConnection::OnDataIn(data, waiting_ != 0 ? length : 0, eol));
  return FireDataIn(data, length, eol);
}

// ---- events ----------------------------------------------------------------------------

int TcpClientCore::FireConnected(int code, const char* description) {
  IPPortBase* sink = Sink();
  if (sink == nullptr) return 0;
  description = OrEmpty(description);
  static_cast<void>(sink->FireConnected(code, description));
  return 0;
}

int TcpClientCore::FireConnectionStatus(const char* event, int code, const char* description) {
  IPPortBase* sink = Sink();
  if (sink == nullptr) return 0;
  event = OrEmpty(event);
  description = OrEmpty(description);
  static_cast<void>(sink->FireConnectionStatus(event, code, description));
  return 0;
}

int TcpClientCore::FireDataIn(const char* data, int length, int eol) {
  IPPortBase* sink = Sink();
  if (sink == nullptr) return 0;
  if (data == nullptr || length <= 0) {
    const char* empty = "";
    int none = 0;
    static_cast<void>(sink->FireDataIn(empty, none, eol));
    return 0;
  }
  // Every buffer that reaches here keeps a spare byte after the data, so the
  // host may read the piece as a C string for the duration of the call.
  char* end = const_cast<char*>(data) + length;
  const char saved = *end;
  *end = '\0';
  static_cast<void>(sink->FireDataIn(data, length, eol));
  *end = saved;
  return 0;
}

int TcpClientCore::FireDisconnected(int code, const char* description) {
  IPPortBase* sink = Sink();
  if (sink == nullptr) return 0;
  description = OrEmpty(description);
  static_cast<void>(sink->FireDisconnected(code, description));
  return 0;
}

int TcpClientCore::FireError(int code, char* description) {
  IPPortBase* sink = Sink();
  if (sink == nullptr) return 0;
  const char* text = OrEmpty(description);
  static_cast<void>(sink->FireError(code, text));
  return 0;
}

int TcpClientCore::FireReadyToSend() {
  IPPortBase* sink = Sink();
  if (sink == nullptr) return 0;
  static_cast<void>(sink->FireReadyToSend());
  return 0;
}

int TcpClientCore::FireSSLServerAuthentication(const char* encoded, int length, const char* subject,
                                               const char* issuer, const char* status, int& accept) {
  IPPortBase* sink = Sink();
  if (sink == nullptr) return 0;
  encoded = OrEmpty(encoded);
  subject = OrEmpty(subject);
  issuer = OrEmpty(issuer);
  status = OrEmpty(status);
  static_cast<void>(sink->FireSSLServerAuthentication(encoded, length, subject, issuer, status, accept));
  return 0;
}

int TcpClientCore::FireSSLStatus(const char* message) {
  IPPortBase* sink = Sink();
  if (sink == nullptr) return 0;
  message = OrEmpty(message);
  static_cast<void>(sink->FireSSLStatus(message));
  return 0;
}

// ---- external event loop ---------------------------------------------------------------

int TcpClientCore::RegisterSocket(long descriptor, long mask, void*& handle) {
  return ExternalRegisterSocket(descriptor, mask, handle);
}

int TcpClientCore::ExternalWait(long& milliseconds) {
  IPPortBase* sink = Sink();
  return sink != nullptr ? sink->ExternalWait(milliseconds) : 0;
}

int TcpClientCore::ExternalRegisterSocket(long descriptor, long mask, void*& handle) {
  IPPortBase* sink = Sink();
  return sink != nullptr ? sink->ExternalRegisterSocket(descriptor, mask, handle) : 0;
}

int TcpClientCore::ExternalUnregisterSocket(void* handle) {
  IPPortBase* sink = Sink();
  return sink != nullptr ? sink->ExternalUnregisterSocket(handle) : 0;
}

}  // namespace tornell
