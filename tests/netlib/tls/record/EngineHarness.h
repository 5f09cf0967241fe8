#pragma once
// In-memory owners for TLS engines and key installation as a finished
// handshake leaves it, so records can travel between two engines or be
// crafted by hand.
#include <string>
#include <vector>

#include "tls/engine/TlsEngine.h"

namespace enginetest {

using namespace tornell;

struct MemoryOwner : TlsOwner {
  std::string wire;  // every byte the engine wrote
  std::string data;  // decrypted application data
  std::vector<std::string> statuses;
  std::vector<std::string> errors;
  int fatalCode = 0;
  std::string fatalText;
  int fatalCalls = 0;
  int handshakeDone = 0;    // every end, failed ones included
  int handshakeFailed = 0;  // the ends that carried an error text
  int sendCalls = 0;
  long budget = -1;  // bytes the transport takes before it would block; -1 no limit

  int SendRaw(const char* p, int n, int& sent) override {
    ++sendCalls;
    if (budget < 0 || budget >= n) {
      wire.append(p, size_t(n));
      sent = n;
      if (budget >= 0) budget -= n;
      return 0;
    }
    sent = int(budget);
    wire.append(p, size_t(sent));
    budget = 0;
    return TlsOwner::kWouldBlock;
  }
  int OnTlsData(const char* p, int n) override {
    data.append(p, size_t(n));
    return 0;
  }
  int OnTlsHandshakeDone(const char* error) override {
    ++handshakeDone;
    if (error != nullptr) ++handshakeFailed;
    return 0;
  }
  int OnTlsStatus(const char* text) override {
    statuses.emplace_back(text);
    return 0;
  }
  int OnTlsError(int code, const char* text) override {
    errors.push_back(std::to_string(code) + " " + text);
    return 0;
  }
  int OnTlsCertificate(ByteString&, SelectedCertificate&, int, const char*, int&) override { return 0; }
  int ReturnError(int code, const char* text) override {
    ++fatalCalls;
    fatalCode = code;
    fatalText = text;
    return code;
  }
  bool HasStatus(const std::string& text) const {
    for (const std::string& s : statuses) {
      if (s.find(text) != std::string::npos) return true;
    }
    return false;
  }
  std::string Take() {
    std::string out;
    out.swap(wire);
    return out;
  }
};

struct Keys {
  std::string key, iv, mac;
};

inline int SetState(RecordCipherState& state, int code, const Keys& keys) {
  ByteString key, iv, mac;
  if (key.Set(keys.key.data(), int(keys.key.size())) != 0 || iv.Set(keys.iv.data(), int(keys.iv.size())) != 0 ||
      mac.Set(keys.mac.data(), int(keys.mac.size())) != 0) {
    return 1;
  }
  if (state.SetSuiteByCode(code) != 0) return 1;
  if (state.Suite().IsAead() != 0) {
    if (state.SetKeyAndIv(key, ByteString()) != 0 || state.SetFixedIv(iv) != 0) return 1;
  } else if (state.SetKeyAndIv(key, iv) != 0 || state.SetMacSecret(mac) != 0) {
    return 1;
  }
  return state.Activate();
}

// The engine as a finished handshake with this suite and version leaves it.
inline int Install(TlsEngine& engine, MemoryOwner& owner, int role, int code, int version, const Keys& client,
                   const Keys& server) {
  (void)engine.SetDefaults(&owner, role);
  // No hello: the keys below stand for the handshake.
  if (engine.current.Reset() != 0 || engine.pending.Reset() != 0) return 1;
  engine.current.isClient = engine.pending.isClient = role;
  engine.tls13 = version == 0x0304 ? 1 : 0;
  engine.current.version = version;
  engine.pending.version = version;
  if (engine.current.clientRandom.Set("client random") != 0 || engine.current.serverRandom.Set("server random") != 0) {
    return 1;
  }
  if (SetState(engine.current.writeState, code, role != 0 ? client : server) != 0) return 1;
  if (SetState(engine.current.readState, code, role != 0 ? server : client) != 0) return 1;
  const int status = engine.CompleteHandshake();
  owner.statuses.clear();  // the handshake summary
  return status;
}

inline Keys ClientKeys(int keyLength, int ivLength) {
  return {std::string(size_t(keyLength), 'k'), std::string(size_t(ivLength), 'i'), std::string(20, 'm')};
}
inline Keys ServerKeys(int keyLength, int ivLength) {
  return {std::string(size_t(keyLength), 'K'), std::string(size_t(ivLength), 'I'), std::string(20, 'M')};
}

// A client and a server engine with matching keys.
struct Pair {
  TlsEngine client, server;
  MemoryOwner clientOwner, serverOwner;
  int Setup(int code, int version, int keyLength, int ivLength, int macLength = 20) {
    Keys c = ClientKeys(keyLength, ivLength), s = ServerKeys(keyLength, ivLength);
    c.mac.assign(size_t(macLength), 'm');
    s.mac.assign(size_t(macLength), 'M');
    if (Install(client, clientOwner, 1, code, version, c, s) != 0) return 1;
    return Install(server, serverOwner, 0, code, version, c, s);
  }
};

inline std::string Record(int type, int version, const std::string& body) {
  std::string r;
  r += char(type);
  r += char(version >> 8);
  r += char(version);
  r += char(body.size() >> 8);
  r += char(body.size());
  return r + body;
}

}  // namespace enginetest
