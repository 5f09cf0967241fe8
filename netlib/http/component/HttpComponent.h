#pragma once
// The HTTP component behind its entry-point handle: one HTTP protocol object,
// the property and method tables by id, and the host callback for the
// fourteen events.
#include <cstdint>

#include "http/protocol/HttpEventSink.h"
#include "http/protocol/HttpProtocol.h"

namespace tornell {

// Event ids of the callback.
enum HttpEvent : int {
  kHttpConnected = 1,
  kHttpConnectionStatus = 2,
  kHttpDisconnected = 3,
  kHttpEndTransfer = 4,
  kHttpError = 5,
  kHttpHeader = 6,
  kHttpLog = 7,
  kHttpRedirect = 8,
  kHttpSetCookie = 9,
  kHttpSSLServerAuthentication = 10,
  kHttpSSLStatus = 11,
  kHttpStartTransfer = 12,
  kHttpStatus = 13,
  kHttpTransfer = 14,
};

constexpr int kHttpLastProperty = 62;
// CheckIndex's answer for an index outside its list.
constexpr int kHttpStatusIndexCheck = 280;
// Set's answer for an id it does not serve.
constexpr int kHttpStatusNotSettable = -1;

class HttpComponent : public HttpEventSink {
 public:
  HttpComponent(EventCallback callback, void* context);
  ~HttpComponent() override;

  // ---- events ----
  int FireConnected(int& statusCode, const char*& description) override;
  int FireConnectionStatus(const char*& event, int& statusCode, const char*& description) override;
  int FireDisconnected(int& statusCode, const char*& description) override;
  int FireEndTransfer(int& direction) override;
  int FireError(int& errorCode, const char*& description) override;
  int FireHeader(const char*& field, const char*& value) override;
  int FireLog(int& level, const char*& message, const char*& type) override;
  int FireRedirect(const char*& location, int& accept) override;
  int FireSetCookie(const char*& name, const char*& value, const char*& expires, const char*& domain,
                    const char*& path, int& secure) override;
  int FireSSLServerAuthentication(const char*& encoded, int& length, const char*& subject, const char*& issuer,
                                  const char*& status, int& accept) override;
  int FireSSLStatus(const char*& message) override;
  int FireStartTransfer(int& direction) override;
  int FireStatus(const char*& version, int& statusCode, const char*& description) override;
  int FireTransfer(int& direction, int64_t& bytes, int& percent, const char*& text, int& length) override;

  // ---- entry-point operations ----
  int CheckIndex(int property, int index);
  void* Get(int property, int index, int* length);
  int Set(int property, int index, const void* value, int length);
  int Do(int method, int argc, void** argv, int* lengths);

  HttpProtocol& Protocol() { return protocol_; }

 private:
  bool CookieIndexInRange(int index);
  void* GetProperty(int property, bool wide, int index, int* length);
  int SetProperty(int property, int index, const void* value, int length);
  int RunMethod(int method, bool wide, int argc, void** argv);

  HttpProtocol protocol_;
  // Property 55 is read out through this.
  int64_t limitHolder_ = 0;
};

}  // namespace tornell
