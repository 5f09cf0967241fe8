#include "http/component/HttpComponent.h"

#include "core/base/Status.h"
#include "http/base/HttpStatus.h"

namespace tornell {

HttpComponent::HttpComponent(EventCallback callback, void* context) : HttpEventSink(callback, context) {
  protocol_.SetEventSink(static_cast<ComponentHandle*>(this));
  static_cast<void>(protocol_.Init());
  // Defaults through the property setters; their results do not matter here.
  static_cast<void>(protocol_.Accept().Set(""));
  protocol_.SetAllowHTTPCompression(0);
  static_cast<void>(protocol_.SetCallerAuthorization(""));
  static_cast<void>(protocol_.SetAuthScheme(kAuthBasic));
  static_cast<void>(protocol_.SetFirewallAutoDetect(0));
  static_cast<void>(protocol_.SetFirewallType(0));
  static_cast<void>(protocol_.SetFirewallHost(""));
  static_cast<void>(protocol_.SetFirewallPassword(""));
  static_cast<void>(protocol_.SetFirewallPort(0));
  static_cast<void>(protocol_.SetFirewallUser(""));
  protocol_.SetFollowRedirects(0);
  static_cast<void>(protocol_.LocalFile().Set(""));
  static_cast<void>(protocol_.SetPassword(""));
  static_cast<void>(protocol_.SetProxyAuthScheme(kAuthBasic));
  static_cast<void>(protocol_.SetProxyPassword(""));
  protocol_.SetProxyPort(80);
  static_cast<void>(protocol_.ProxyServer().Set(""));
  static_cast<void>(protocol_.SetProxySSL(0));
  static_cast<void>(protocol_.SetProxyUser(""));
  static_cast<void>(protocol_.Range().Set(""));
  static_cast<void>(protocol_.SetSslCertStorePassword(""));
  static_cast<void>(protocol_.SetSslCertStoreType(0));
  static_cast<void>(protocol_.SetSslCertStore("MY", 2));
  char noSubject[1] = {0};
  static_cast<void>(protocol_.SetSslCertSubject(noSubject));
  static_cast<void>(protocol_.SetTimeout(60, 0));
  protocol_.SetTransferredDataLimit(0);
  static_cast<void>(protocol_.SetURL("", 0));
  static_cast<void>(protocol_.SetUser(""));
}

// The protocol object may still close its connection while it goes; no event
// reaches a component that is half destroyed.
HttpComponent::~HttpComponent() { protocol_.SetEventSink(nullptr); }

// ---- events ------------------------------------------------------------------------------

int HttpComponent::FireConnected(int& statusCode, const char*& description) {
  if (Callback() == nullptr) return 0;
  void* argv[2] = {PackInt(statusCode), PackText(description)};
  int lengths[2] = {0, 0};
  return Raise(kHttpConnected, 2, argv, lengths);
}

int HttpComponent::FireConnectionStatus(const char*& event, int& statusCode, const char*& description) {
  if (Callback() == nullptr) return 0;
  void* argv[3] = {PackText(event), PackInt(statusCode), PackText(description)};
  int lengths[3] = {0, 0, 0};
  return Raise(kHttpConnectionStatus, 3, argv, lengths);
}

int HttpComponent::FireDisconnected(int& statusCode, const char*& description) {
  if (Callback() == nullptr) return 0;
  void* argv[2] = {PackInt(statusCode), PackText(description)};
  int lengths[2] = {0, 0};
  return Raise(kHttpDisconnected, 2, argv, lengths);
}

int HttpComponent::FireEndTransfer(int& direction) {
  if (Callback() == nullptr) return 0;
  void* argv[1] = {PackInt(direction)};
  int lengths[1] = {0};
  return Raise(kHttpEndTransfer, 1, argv, lengths);
}

int HttpComponent::FireError(int& errorCode, const char*& description) {
  if (Callback() == nullptr) return 0;
  void* argv[2] = {PackInt(errorCode), PackText(description)};
  int lengths[2] = {0, 0};
  return Raise(kHttpError, 2, argv, lengths);
}

int HttpComponent::FireHeader(const char*& field, const char*& value) {
  if (Callback() == nullptr) return 0;
  void* argv[2] = {PackText(field), PackText(value)};
  int lengths[2] = {0, 0};
  return Raise(kHttpHeader, 2, argv, lengths);
}

int HttpComponent::FireLog(int& level, const char*& message, const char*& type) {
  if (Callback() == nullptr) return 0;
  void* argv[3] = {PackInt(level), PackText(message), PackText(type)};
  int lengths[3] = {0, 0, 0};
  return Raise(kHttpLog, 3, argv, lengths);
}

int HttpComponent::FireRedirect(const char*& location, int& accept) {
  if (Callback() == nullptr) return 0;
  void* argv[2] = {PackText(location), PackInt(accept)};
  int lengths[2] = {0, 0};
  const int result = Raise(kHttpRedirect, 2, argv, lengths);
  accept = UnpackInt(argv[1]);
  return result;
}

int HttpComponent::FireSetCookie(const char*& name, const char*& value, const char*& expires,
                                 const char*& domain, const char*& path, int& secure) {
  if (Callback() == nullptr) return 0;
  void* argv[6] = {PackText(name),   PackText(value), PackText(expires),
                   PackText(domain), PackText(path),  PackInt(secure)};
  int lengths[6] = {0, 0, 0, 0, 0, 0};
  return Raise(kHttpSetCookie, 6, argv, lengths);
}

int HttpComponent::FireSSLServerAuthentication(const char*& encoded, int& length, const char*& subject,
                                               const char*& issuer, const char*& status, int& accept) {
  if (Callback() == nullptr) return 0;
  void* argv[5] = {PackText(encoded), PackText(subject), PackText(issuer), PackText(status), PackInt(accept)};
  int lengths[5] = {length, 0, 0, 0, 0};
  const int result = Raise(kHttpSSLServerAuthentication, 5, argv, lengths);
  accept = UnpackInt(argv[4]);
  return result;
}

int HttpComponent::FireSSLStatus(const char*& message) {
  if (Callback() == nullptr) return 0;
  void* argv[1] = {PackText(message)};
  int lengths[1] = {0};
  return Raise(kHttpSSLStatus, 1, argv, lengths);
}

int HttpComponent::FireStartTransfer(int& direction) {
  if (Callback() == nullptr) return 0;
  void* argv[1] = {PackInt(direction)};
  int lengths[1] = {0};
  return Raise(kHttpStartTransfer, 1, argv, lengths);
}

int HttpComponent::FireStatus(const char*& version, int& statusCode, const char*& description) {
  if (Callback() == nullptr) return 0;
  void* argv[3] = {PackText(version), PackInt(statusCode), PackText(description)};
  int lengths[3] = {0, 0, 0};
  return Raise(kHttpStatus, 3, argv, lengths);
}

int HttpComponent::FireTransfer(int& direction, int64_t& bytes, int& percent, const char*& text, int& length) {
  if (Callback() == nullptr) return 0;
  void* argv[4] = {PackInt(direction), &bytes, PackInt(percent), PackText(text)};
  int lengths[4] = {0, 0, 0, length};
  return Raise(kHttpTransfer, 4, argv, lengths);
}

}  // namespace tornell
