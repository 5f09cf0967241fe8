#pragma once
// A transfer connection that records its connection events, and a stand-in
// TLS engine that passes bytes through unchanged, so the secure paths run
// against plain loopback peers.
#include <functional>
#include <string>
#include <vector>

#include "ConnectionTestSupport.h"
#include "net/connection/TransferConnection.h"

namespace nettest {

struct Event {
  std::string kind;  // Connected, ConnectionStatus, DataIn, Disconnected, Error, ReadyToSend, SSLStatus, ...
  int code = 0;      // code, or eol for DataIn
  std::string text;  // status text or data
  std::string description;
  bool operator==(const Event& other) const {
    return kind == other.kind && code == other.code && text == other.text && description == other.description;
  }
};

inline std::ostream& operator<<(std::ostream& out, const Event& event) {
  return out << event.kind << "(" << event.code << ", \"" << event.text << "\", \"" << event.description << "\")";
}

class EventConnection : public tornell::TransferConnection {
 public:
  int FireConnected(int code, const char* description) override { return Add("Connected", code, "", description); }
  int FireDisconnected(int code, const char* description) override {
    return Add("Disconnected", code, "", description);
  }
  int FireReadyToSend() override { return Add("ReadyToSend", 0, "", ""); }
  int FireConnectionStatus(const char* event, int code, const char* description) override {
    Add("ConnectionStatus", code, event, description);
    return onStatus ? onStatus(*this, event) : 0;
  }
  int FireSSLStatus(const char* message) override { return Add("SSLStatus", 0, message, ""); }
  // The test CA is trusted by no system store: its certificates are accepted here.
  int FireSSLServerAuthentication(const char*, int, const char* subject, const char* issuer, const char* status,
                                  int& accept) override {
    accept = 1;
    return Add("SSLServerAuthentication", 0, std::string(subject) + "|" + issuer, status);
  }
  int FireError(int code, char* description) override { return Add("Error", code, description, ""); }
  int FireDataIn(const char* data, int length, int eol) override {
    const std::string bytes(data, static_cast<size_t>(length));
    if (recordData) events.push_back({"DataIn", eol, bytes, ""});
    received += bytes;
    return TransferConnection::FireDataIn(data, length, eol);
  }
  int OnFileProgress(long bytesSoFar, int code) override {
    progress.push_back(bytesSoFar);
    return code;
  }
  int ExternalWait(long&) override { return 0; }
  int ExternalRegisterSocket(long, long, void*& handle) override {
    handle = this;
    return 0;
  }
  int ExternalUnregisterSocket(void*) override { return 0; }

  int Add(const char* kind, int code, const std::string& text, const char* description) {
    events.push_back({kind, code, text, description != nullptr ? description : ""});
    return 0;
  }
  // The events without the given kinds.
  std::vector<Event> Without(const std::vector<std::string>& kinds) const {
    std::vector<Event> kept;
    for (const Event& event : events) {
      bool drop = false;
      for (const std::string& kind : kinds) drop = drop || event.kind == kind;
      if (!drop) kept.push_back(event);
    }
    return kept;
  }
  int Count(const std::string& kind) const {
    int n = 0;
    for (const Event& event : events) n += event.kind == kind ? 1 : 0;
    return n;
  }
  int Configure(const std::string& text) {
    const char* answer = nullptr;
    return ConfigText(text.c_str(), answer);
  }
  std::string Query(const std::string& key) {
    const char* answer = nullptr;
    if (ConfigText(key.c_str(), answer) != 0 || answer == nullptr) return "<error>";
    return answer;
  }

  // The socket core keeps no certificate store on this platform: the test
  // holds the store and the subject for the connection to hand on.
  void UseCertificateStore(int type, const std::string& bytes, const char* password, const char* subject) {
    heldStore_ = bytes;
    heldSubject_ = subject;
    storeBytes_ = heldStore_.data();
    storeLength_ = static_cast<int>(heldStore_.size());
    certSubject_ = heldSubject_.data();
    static_cast<void>(SetSslCertStoreType(type));
    static_cast<void>(SetSslCertStorePassword(password));
  }
  ~EventConnection() override {
    storeBytes_ = nullptr;
    certSubject_ = nullptr;
  }

  std::vector<Event> events;
  std::vector<long> progress;
  std::string received;
  bool recordData = true;
  std::function<int(EventConnection&, const char*)> onStatus;

 private:
  std::string heldStore_;
  std::string heldSubject_;
};

// TLS from the connect on, a 20 s Timeout, and a self-signed root at the top
// of the server's chain counted as trusted.
inline int PrepareTls(EventConnection& connection) {
  int status = connection.SetTimeout(20, 1);
  if (status == 0) status = connection.Configure("SSLSecurityFlags=16");
  if (status == 0) status = connection.SetUseSSL(true);
  return status;
}

// The engine's slots replaced by a pass-through: the handshake completes as
// soon as it starts (unless told to fail or to hang), records are the bytes
// themselves.
class PassThroughTls : public EventConnection {
 public:
  int TlsStartHandshake() override {
    if (startStatus != 0) return startStatus;
    if (hang) return 0;
    Tls().established = 1;
    return OnTlsHandshakeDone(nullptr);
  }
  int TlsReceive(const char* data, int length) override { return OnTlsData(data, length); }
  int TlsSend(const char* data, int length, int& sent) override {
    sent = 0;
    if (Tls().established == 0) return tornell::kStatusNotConnected;
    if (length <= 0) return 0;
    return SendRaw(data, length, sent);
  }
  int TlsClose(long, int) override {
    Tls().established = 0;
    return 0;
  }

  int startStatus = 0;
  bool hang = false;
};

}  // namespace nettest
