#include "http/protocol/HttpProtocol.h"

#include "core/base/Status.h"
#include "http/headers/HeaderText.h"

namespace tornell {

namespace {

const char* Text(const char* text) { return text != nullptr ? text : ""; }

}  // namespace

// Only an HTTP component registers itself on this object.
HttpEventSink* HttpProtocol::RegisteredSink() const {
  return static_cast<HttpEventSink*>(static_cast<ComponentHandle*>(GetEventSink()));
}

// The component registered itself; it receives the code page before each event.
HttpEventSink* HttpProtocol::Sink() {
  HttpEventSink* sink = RegisteredSink();
  if (sink != nullptr) sink->OnCodePage(GetCodePage());
  return sink;
}

int HttpProtocol::FireConnected(int code, const char* description) {
  HttpEventSink* sink = Sink();
  if (sink == nullptr) return 0;
  const char* text = Text(description);
  sink->FireConnected(code, text);
  return 0;
}

int HttpProtocol::FireConnectionStatus(const char* event, int code, const char* description) {
  HttpEventSink* sink = Sink();
  if (sink == nullptr) return 0;
  const char* eventText = Text(event);
  const char* text = Text(description);
  sink->FireConnectionStatus(eventText, code, text);
  return 0;
}

int HttpProtocol::FireDisconnected(int code, const char* description) {
  HttpEventSink* sink = Sink();
  if (sink == nullptr) return 0;
  const char* text = Text(description);
  sink->FireDisconnected(code, text);
  return 0;
}

int HttpProtocol::FireEndTransfer(int direction) {
  HttpEventSink* sink = Sink();
  if (sink == nullptr) return 0;
  sink->FireEndTransfer(direction);
  return 0;
}

int HttpProtocol::FireError(int code, char* description) {
  HttpEventSink* sink = Sink();
  if (sink == nullptr) return 0;
  const char* text = Text(description);
  sink->FireError(code, text);
  return 0;
}

int HttpProtocol::FireHeader(const char* name, const char* value) {
  HttpEventSink* sink = Sink();
  if (sink == nullptr) return 0;
  const char* nameText = Text(name);
  const char* valueText = Text(value);
  sink->FireHeader(nameText, valueText);
  return 0;
}

int HttpProtocol::FireLog(int level, const char* message, const char* type) {
  HttpEventSink* sink = Sink();
  if (sink == nullptr) return 0;
  const char* text = Text(message);
  const char* typeText = Text(type);
  sink->FireLog(level, text, typeText);
  return 0;
}

int HttpProtocol::FireRedirect(const char* location, int& accept) {
  HttpEventSink* sink = Sink();
  if (sink == nullptr) return 0;
  const char* text = Text(location);
  sink->FireRedirect(text, accept);
  return 0;
}

int HttpProtocol::FireSetCookie(const char* name, const char* value, const char* expires, const char* domain,
                                const char* path, int secure) {
  HttpEventSink* sink = Sink();
  if (sink == nullptr) return 0;
  const char* nameText = Text(name);
  const char* valueText = Text(value);
  const char* expiresText = Text(expires);
  const char* domainText = Text(domain);
  const char* pathText = Text(path);
  sink->FireSetCookie(nameText, valueText, expiresText, domainText, pathText, secure);
  return 0;
}

int HttpProtocol::FireSSLServerAuthentication(const char* encoded, int length, const char* subject,
                                              const char* issuer, const char* status, int& accept) {
  HttpEventSink* sink = Sink();
  if (sink == nullptr) return 0;
  const char* encodedText = Text(encoded);
  const char* subjectText = Text(subject);
  const char* issuerText = Text(issuer);
  const char* statusText = Text(status);
  sink->FireSSLServerAuthentication(encodedText, length, subjectText, issuerText, statusText, accept);
  return 0;
}

int HttpProtocol::FireSSLStatus(const char* message) {
  HttpEventSink* sink = Sink();
  if (sink == nullptr) return 0;
  const char* text = Text(message);
  sink->FireSSLStatus(text);
  return 0;
}

int HttpProtocol::FireStartTransfer(int direction) {
  HttpEventSink* sink = Sink();
  if (sink == nullptr) return 0;
  sink->FireStartTransfer(direction);
  return 0;
}

int HttpProtocol::FireStatus(const char* version, int code, const char* description) {
  HttpEventSink* sink = Sink();
  if (sink == nullptr) return 0;
  const char* versionText = Text(version);
  const char* text = Text(description);
  sink->FireStatus(versionText, code, text);
  return 0;
}

int HttpProtocol::FireTransfer(int direction, int64_t bytes, int percent, char* text, int length) {
  HttpEventSink* sink = Sink();
  if (sink == nullptr) return 0;
  if (text == nullptr || length <= 0) {
    const char* empty = "";
    int zero = 0;
    sink->FireTransfer(direction, bytes, percent, empty, zero);
    return 0;
  }
  const char saved = text[length];
  text[length] = '\0';
  const char* terminated = text;
  sink->FireTransfer(direction, bytes, percent, terminated, length);
  text[length] = saved;
  return 0;
}

// ---- external event loop ----------------------------------------------------------------

int HttpProtocol::RegisterSocket(long descriptor, long mask, void*& handle) {
  return ExternalRegisterSocket(descriptor, mask, handle);
}

int HttpProtocol::ExternalWait(long& milliseconds) {
  HttpEventSink* sink = RegisteredSink();
  return sink != nullptr ? sink->ExternalWait(milliseconds) : 0;
}

int HttpProtocol::ExternalRegisterSocket(long descriptor, long mask, void*& handle) {
  HttpEventSink* sink = RegisteredSink();
  return sink != nullptr ? sink->ExternalRegisterSocket(descriptor, mask, handle) : 0;
}

int HttpProtocol::ExternalUnregisterSocket(void* handle) {
  HttpEventSink* sink = RegisteredSink();
  return sink != nullptr ? sink->ExternalUnregisterSocket(handle) : 0;
}

// ---- log hooks of the connection layers ---------------------------------------------------

int HttpProtocol::OnLog(int level, const char* message, const char* type) { return FireLog(level, message, type); }

int HttpProtocol::SendPlain(const char* data, int length) {
  if (log_.Level() > 0) static_cast<void>(log_.LogProxyRequest(data, length));
  return TransferConnection::SendPlain(data, length);
}

int HttpProtocol::OnProxyReply(const char* data, int length) {
  if (log_.Level() >= 1) static_cast<void>(log_.LogProxyResponse(data, length));
  return 0;
}

// ---- chunk framing ------------------------------------------------------------------------

int HttpProtocol::SendChunkHeader(long length) {
  ByteString line;
  TORNELL_TRY(http::AppendChunkHeader(line, length));
  return SendData(line.CStr(), line.Length(), 1, 0);
}

int HttpProtocol::SendChunkTrailer() { return SendData(http::kChunkTrailer, 2, 1, 0); }

}  // namespace tornell
