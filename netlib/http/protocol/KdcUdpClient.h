#pragma once
// The HTTP object's built-in Kerberos client: the exchange of the Kerberos
// client, with its log lines raised as "[Kerberos] " lines of type
// "Kerberos" on the owner's Log event while it is bound.
#include "net/kerberos/KerberosClient.h"

namespace tornell {

class HttpProtocol;

class KdcUdpClient : public KerberosClient {
 public:
  KdcUdpClient() = default;
  ~KdcUdpClient() override;
  KdcUdpClient(const KdcUdpClient&) = delete;
  KdcUdpClient& operator=(const KdcUdpClient&) = delete;

  // Stores the owner and initialises the client: 1 on success, else 0.
  int Bind(HttpProtocol* owner);

  int OnPacketLog(int direction, const char* text) override;
  int OnLog(int level, const char* text, const char* category) override;

 private:
  HttpProtocol* owner_ = nullptr;
};

}  // namespace tornell
