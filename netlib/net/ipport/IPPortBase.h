#pragma once
// What the TCP client core raises on its component: the handle's operations
// and then the eight connection events, in slot order. The order of the
// events is not the order of their ids.
#include "net/component/ComponentHandle.h"

namespace tornell {

class IPPortBase : public ComponentHandle {
 public:
  using ComponentHandle::ComponentHandle;

  virtual int FireConnected(int& statusCode, const char*& description) = 0;
  virtual int FireConnectionStatus(const char*& event, int& statusCode, const char*& description) = 0;
  virtual int FireDataIn(const char*& text, int& length, int& eol) = 0;
  virtual int FireDisconnected(int& statusCode, const char*& description) = 0;
  virtual int FireError(int& errorCode, const char*& description) = 0;
  virtual int FireReadyToSend() = 0;
  virtual int FireSSLServerAuthentication(const char*& encoded, int& length, const char*& subject,
                                          const char*& issuer, const char*& status, int& accept) = 0;
  virtual int FireSSLStatus(const char*& message) = 0;
};

}  // namespace tornell
