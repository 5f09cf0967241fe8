#pragma once
// What the HTTP protocol object raises on the component that registered
// itself as its event sink. Every argument is passed by reference so the
// component can hand it to the host as it is; Accept flags travel back.
#include <cstdint>

#include "net/component/ComponentHandle.h"

namespace tornell {

class HttpEventSink : public ComponentHandle {
 public:
  HttpEventSink(EventCallback callback, void* context) : ComponentHandle(callback, context) {}

  virtual int FireConnected(int&, const char*&) { return 0; }
  virtual int FireConnectionStatus(const char*&, int&, const char*&) { return 0; }
  virtual int FireDisconnected(int&, const char*&) { return 0; }
  virtual int FireEndTransfer(int&) { return 0; }
  virtual int FireError(int&, const char*&) { return 0; }
  virtual int FireHeader(const char*&, const char*&) { return 0; }
  virtual int FireLog(int&, const char*&, const char*&) { return 0; }
  virtual int FireRedirect(const char*&, int&) { return 0; }
  virtual int FireSetCookie(const char*&, const char*&, const char*&, const char*&, const char*&, int&) {
    return 0;
  }
  virtual int FireSSLServerAuthentication(const char*&, int&, const char*&, const char*&, const char*&, int&) {
    return 0;
  }
  virtual int FireSSLStatus(const char*&) { return 0; }
  virtual int FireStartTransfer(int&) { return 0; }
  virtual int FireStatus(const char*&, int&, const char*&) { return 0; }
  virtual int FireTransfer(int&, int64_t&, int&, const char*&, int&) { return 0; }
};

}  // namespace tornell
