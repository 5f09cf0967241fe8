// libFuzzer target for the proxy's reply parsing: the negotiator of a
// connection that never touches a socket is fed arbitrary reply pieces for
// each exchange. The first byte picks the exchange and the credentials; each
// piece is a byte, whose low 7 bits give its length and whose top bit makes
// it a record (a line without its terminator), and that many bytes.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "net/connection/TcpConnection.h"
#include "../../../support/FuzzRequire.h"

namespace {

class FakeOwner : public tornell::TcpConnection {
 public:
  int SendPlain(const char* data, int length) override {
    sent.append(data, static_cast<size_t>(length));
    return 0;
  }
  int OnSocketConnected(int code) override {
    connectedCode = code;
    ++connects;
    return 0;
  }
  int OnSocketDisconnected(int) override { return 0; }
  int OnSocketData(const char*, int length, int) override {
    Require(length >= 0, "negative length");
    passed += static_cast<size_t>(length);
    return 0;
  }
  int OnSocketError(int, const char* text) override {
    Require(text != nullptr, "null error text");
    return 0;
  }
  int OnSocketWritable() override { return 0; }
  int OnSocketStatus(const char*, int) override { return 0; }
  int ExternalWait(long&) override { return 0; }
  int ExternalRegisterSocket(long, long, void*&) override { return 0; }
  int ExternalUnregisterSocket(void*) override { return 0; }

  std::string sent;
  int connectedCode = -1;
  int connects = 0;
  size_t passed = 0;
};

const int kTypes[] = {tornell::kFirewallTunnel,           tornell::kFirewallSocks4,
                      tornell::kFirewallSocks5,           tornell::kFirewallTunnelNtlm,
                      tornell::kFirewallTunnelNegotiate, tornell::kFirewallTunnelDigest,
                      7};
constexpr int kTypeCount = sizeof kTypes / sizeof kTypes[0];

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  FakeOwner owner;
  const uint8_t control = data[0];
  Require(owner.SetFirewallType(kTypes[control % kTypeCount]) == 0, "type");
  if ((control & 0x10) != 0) Require(owner.SetFirewallUser("user") == 0, "user");
  if ((control & 0x20) != 0) Require(owner.SetFirewallPassword("pass") == 0, "password");
  Require(owner.SetRemoteHost((control & 0x40) != 0 ? "*example.test" : "127.0.0.1") == 0, "host");
  Require(owner.SetRemotePort(443) == 0, "port");
  if ((control & 0x80) != 0) Require(owner.SetEol("\n", 1) == 0, "eol");
  const int eolBefore = (control & 0x80) != 0 ? 1 : 0;
  tornell::FirewallNegotiator& proxy = owner.Proxy();
  static_cast<void>(proxy.Begin(0));
  size_t at = 1;
  while (at < size) {
    const size_t length = std::min<size_t>(data[at] & 0x7F, size - at - 1);
    const char* piece = reinterpret_cast<const char*>(data + at + 1);
    static_cast<void>(proxy.ProcessReply(piece, static_cast<int>(length), data[at] >> 7));
    at += 1 + length;
  }
  Require(owner.connects <= 1, "connected more than once");
  if (owner.connectedCode == 0) Require(!proxy.IsNegotiating(), "up but still negotiating");
  // The authenticated tunnels read lines under their own terminator and
  // give the owner's back however they end.
  const int type = owner.GetFirewallType();
  if (!proxy.IsNegotiating() && type >= tornell::kFirewallTunnelNtlm && type <= tornell::kFirewallTunnelDigest) {
    char* eol = nullptr;
    int eolLength = 0;
    static_cast<void>(owner.GetEol(&eol, &eolLength));
    Require(eolLength == eolBefore, "terminator not restored");
  }
  Require(owner.ReceiveQueue().Length() <= owner.ReceiveQueue().Capacity(), "queue overflow");
  return 0;
}
