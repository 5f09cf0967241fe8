// TLS 1.3 KeyUpdate against openssl s_server: its "k" and "K" commands and
// an update of our own, each followed by data both ways under the new keys.
#include <gtest/gtest.h>

#include <string>

#include "FifoServer.h"
#include "TestSupport.h"

namespace {

using namespace peertest;

int CountStatus(const SocketOwner& owner, const std::string& text) {
  int n = 0;
  for (const std::string& s : owner.statuses) n += s == text ? 1 : 0;
  return n;
}

TEST(KeyUpdatePeer, ServerAndClientUpdatesWithDataBothWays) {
  REQUIRE_OR_SKIP(testsupport::HaveOpenssl(), "openssl command not found");
  REQUIRE_OR_SKIP(!pkikit::Ensure().empty(), "PKI fixture kit could not be made");
  for (const char* suite : {"TLS_AES_256_GCM_SHA384", "TLS_CHACHA20_POLY1305_SHA256"}) {
    FifoServer peer;
    ASSERT_TRUE(peer.Start(std::string("key_update_") + suite, "rsa", {"-tls1_3", "-ciphersuites", suite}));
    TlsEngine engine;
    SocketOwner owner;
    owner.fd = Connect(peer.server.port());
    ASSERT_GE(owner.fd, 0);
    (void)engine.SetDefaults(&owner, 1);
    ASSERT_EQ(engine.SetEnabledProtocols(0x3000), 0);
    ASSERT_EQ(engine.SetRemoteHost("localhost"), 0);
    ASSERT_EQ(engine.SetSecurityFlags(0x10), 0);  // the kit's self-signed root counts as trusted
    ASSERT_EQ(engine.StartHandshake(), 0);
    ASSERT_EQ(Pump(engine, owner, [&] { return engine.IsEstablished() != 0; }), 0) << owner.fatalText;

    // Each step: the server's command, then a line down and a line up.
    struct Step {
      const char* command;  // nullptr: the client updates and asks for the server's
      int received;         // KeyUpdates the client has taken after the step
      int sent;             // KeyUpdates the client has sent
    } steps[] = {{nullptr, 0, 0}, {"K", 1, 1}, {"k", 2, 1}, {nullptr, 3, 2}, {"K", 4, 3}};
    int round = 0;
    for (const Step& step : steps) {
      const std::string tag = std::string(suite) + " step " + std::to_string(round++);
      if (step.command != nullptr) {
        // The server acts on the command at once; nothing else is written
        // until its KeyUpdate is here, so the command stays a line of its own.
        ASSERT_TRUE(peer.Line(step.command));
        ASSERT_EQ(Pump(engine, owner, [&] { return CountStatus(owner, "KeyUpdate message received") == step.received; }),
                  0) << tag << ": " << owner.fatalText;
      } else if (round > 1) {
        ASSERT_EQ(engine.SendKeyUpdate(1), 0);
      }
      // Up first: the server has read any update of ours before it writes again.
      const std::string up = "up " + tag + "\n";
      int sent = 0;
      ASSERT_EQ(engine.Send(up.data(), int(up.size()), sent), 0);
      ASSERT_TRUE(FileShows(peer.log, "up " + tag)) << testsupport::ReadFileText(peer.log);
      ASSERT_TRUE(peer.Line("down " + tag));
      ASSERT_EQ(Pump(engine, owner, [&] { return owner.data.find("down " + tag) != std::string::npos; }), 0)
          << tag << ": " << owner.fatalText;
      EXPECT_EQ(CountStatus(owner, "KeyUpdate message received"), step.received) << tag;
      EXPECT_EQ(CountStatus(owner, "KeyUpdate message sent"), step.sent) << tag;
    }
    EXPECT_EQ(testsupport::ReadFileText(peer.log).find("error"), std::string::npos) << testsupport::ReadFileText(peer.log);
    ::close(owner.fd);
  }
}

}  // namespace
