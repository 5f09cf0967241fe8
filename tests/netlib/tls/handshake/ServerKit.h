#pragma once
// The server's own certificates: the PKI kit's leaves with their key and
// intermediate in PKCS#12 files made by the openssl command, loaded as the
// engine's selected certificate; and a client and a server engine joined in
// memory.
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>

#include "../record/EngineHarness.h"
#include "../../pki/kit/PkiKit.h"
#include "pki/store/SelectedCertificate.h"

namespace serverkit {

using namespace tornell;

inline constexpr const char* kPassword = "server pass";

// The PKCS#12 file of the kit's leaf of that key type ("rsa", "p256", "dsa"), made once.
inline std::string PfxPath(const std::string& type) {
  const std::string dir = pkikit::Ensure();
  if (dir.empty()) return "";
  const std::string out = dir + "/server-" + type + "-" + std::to_string(::getpid()) + ".p12";
  if (std::filesystem::exists(out)) return out;
  bool ok = false;
  (void)pkikit::Run("openssl pkcs12 -export -inkey " + type + "-leaf.key -in " + type + "-leaf.crt -certfile " +
                        type + "-int.crt -passout 'pass:" + kPassword + "' -out " + out + " 2>&1",
                    ok);
  return ok ? out : "";
}

// A selected certificate (the kit's leaf) whose manager also holds the
// leaf's private key, from the PKCS#12 file; null when it cannot be made.
inline std::unique_ptr<SelectedCertificate> Identity(const std::string& type) {
  const std::string path = PfxPath(type);
  if (path.empty()) return nullptr;
  const std::string leaf = pkikit::Bytes(type + "-leaf.crt");
  const std::string pfx = testsupport::ReadFileText(path);
  auto own = std::make_unique<SelectedCertificate>();
  if (own->Init(nullptr, 0, 0, nullptr, nullptr, leaf.data(), int(leaf.size())) != 0 || own->GetManager() == nullptr ||
      own->GetManager()->Store().Clear() != 0 ||
      own->GetManager()->Store().AddPkcs12(pfx.data(), int(pfx.size()), kPassword) != 0) {
    return nullptr;
  }
  return own;
}

// An owner that accepts whatever certificate the peer shows.
struct TrustingOwner : enginetest::MemoryOwner {
  int OnTlsCertificate(ByteString&, SelectedCertificate&, int, const char*, int& accept) override {
    accept = 1;
    return 0;
  }
  bool HasStatus(const std::string& text) const {
    for (const std::string& s : statuses) {
      if (s.find(text) != std::string::npos) return true;
    }
    return false;
  }
};

// Our client and our server, each writing into the other's input.
struct MemoryPair {
  TlsEngine client, server;
  TrustingOwner clientOwner, serverOwner;
  int clientStatus = 0, serverStatus = 0;
  std::string upLog, downLog;  // every byte each side sent, in order

  MemoryPair() {
    (void)client.SetDefaults(&clientOwner, 1);
    (void)server.SetDefaults(&serverOwner, 0);
    (void)client.SetRemoteHost("localhost");
  }
  // Moves bytes both ways until neither side writes any more (bounded).
  void Pump() {
    for (int round = 0; round < 64; ++round) {
      const std::string toServer = clientOwner.Take();
      const std::string toClient = serverOwner.Take();
      if (toServer.empty() && toClient.empty()) return;
      upLog += toServer;
      downLog += toClient;
      if (!toServer.empty() && serverStatus == 0) serverStatus = server.Receive(toServer.data(), int(toServer.size()));
      if (!toClient.empty() && clientStatus == 0) clientStatus = client.Receive(toClient.data(), int(toClient.size()));
    }
  }
  int Handshake() {
    int status = server.StartHandshake();
    if (status == 0) status = client.StartHandshake();
    if (status != 0) return status;
    Pump();
    return clientStatus != 0 ? clientStatus : serverStatus;
  }
  bool Established() const { return client.IsEstablished() != 0 && server.IsEstablished() != 0; }
  // Data both ways; true when each side read exactly what the other sent.
  bool Exchange(const std::string& up, const std::string& down) {
    serverOwner.data.clear();
    clientOwner.data.clear();
    int sent = 0;
    if (client.Send(up.data(), int(up.size()), sent) != 0 || server.Send(down.data(), int(down.size()), sent) != 0) {
      return false;
    }
    Pump();
    return serverOwner.data == up && clientOwner.data == down;
  }
};

}  // namespace serverkit
