#pragma once
// The IPPort component behind its entry-point handle: one TCP client core,
// the property and method tables by id, and the host callback for its
// events.
#include "net/ipport/IPPortBase.h"
#include "net/ipport/TcpClientCore.h"

namespace tornell {

// Event ids of the callback.
enum IPPortEvent : int {
  kIPPortConnected = 1,
  kIPPortConnectionStatus = 2,
  kIPPortDataIn = 3,
  kIPPortDisconnected = 4,
  kIPPortError = 5,
  kIPPortReadyToSend = 6,
  kIPPortSSLServerAuthentication = 7,
  kIPPortSSLStatus = 8,
};

constexpr int kIPPortLastProperty = 30;
// Set's answer for an id it does not serve.
constexpr int kStatusNotSettable = -1;

class IPPort : public IPPortBase {
 public:
  IPPort(EventCallback callback, void* context);
  ~IPPort() override;

  // ---- events ----
  int FireConnected(int& statusCode, const char*& description) override;
  int FireConnectionStatus(const char*& event, int& statusCode, const char*& description) override;
  int FireDataIn(const char*& text, int& length, int& eol) override;
  int FireDisconnected(int& statusCode, const char*& description) override;
  int FireError(int& errorCode, const char*& description) override;
  int FireReadyToSend() override;
  int FireSSLServerAuthentication(const char*& encoded, int& length, const char*& subject, const char*& issuer,
                                  const char*& status, int& accept) override;
  int FireSSLStatus(const char*& message) override;

  // ---- entry-point operations ----
  int CheckIndex(int property, int index);
  void* Get(int property, int index, int* length);
  int Set(int property, int index, const void* value, int length);
  int Do(int method, int argc, void** argv, int* lengths);

  TcpClientCore& Core() { return core_; }

 private:
  int SetProperty(int property, const void* value, int length);
  int RunMethod(int method, bool wide, int argc, void** argv, int* lengths);

  TcpClientCore core_;
};

}  // namespace tornell
