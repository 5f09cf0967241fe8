// The record layer between two engines and against crafted records: framing,
// splitting, reassembly, alerts, ChangeCipherSpec and the refusals of
// unauthenticated or malformed input, checked by the alert on the wire.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "EngineHarness.h"

using namespace enginetest;

namespace {

constexpr int kAes128Gcm13 = 0x1301;
constexpr int kChaCha13 = 0x1303;
constexpr int kEcdheRsaAes128Gcm = 0xC02F;
constexpr int kRsaAes128Sha = 0x002F;
constexpr int kRsaRc4Sha = 0x0005;

struct SuiteCase {
  const char* name;
  int code, version, keyLength, ivLength;
};

const SuiteCase kSuites[] = {
    {"TLS 1.3 AES-128-GCM", kAes128Gcm13, 0x0304, 16, 12},
    {"TLS 1.3 ChaCha20-Poly1305", kChaCha13, 0x0304, 32, 12},
    {"TLS 1.2 AES-128-GCM", kEcdheRsaAes128Gcm, 0x0303, 16, 4},
    {"TLS 1.2 AES-128-CBC-SHA", kRsaAes128Sha, 0x0303, 16, 16},
    {"TLS 1.0 AES-128-CBC-SHA", kRsaAes128Sha, 0x0301, 16, 16},
    {"SSL 3.0 AES-128-CBC-SHA", kRsaAes128Sha, 0x0300, 16, 16},
    {"TLS 1.2 RC4-SHA", kRsaRc4Sha, 0x0303, 16, 0},
};

std::string Pattern(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = char(i * 7 + i / 251);
  return s;
}

// The alert a peer engine reads from `wire` (the sender's protected alert).
std::string AlertSeen(Pair& pair, const std::string& wire) {
  (void)pair.client.Receive(wire.data(), int(wire.size()));
  return pair.clientOwner.fatalText;
}

TEST(RecordLayer, DataRoundTripsWholeByteByByteAndCoalesced) {
  for (const SuiteCase& s : kSuites) {
    SCOPED_TRACE(s.name);
    Pair pair;
    ASSERT_EQ(pair.Setup(s.code, s.version, s.keyLength, s.ivLength), 0);
    const std::string data = Pattern(40000);
    int sent = 0;
    ASSERT_EQ(pair.client.Send(data.data(), int(data.size()), sent), 0);
    EXPECT_EQ(sent, 40000);
    const std::string wire = pair.clientOwner.Take();
    EXPECT_EQ(pair.clientOwner.sendCalls, 3);
    ASSERT_EQ(pair.server.Receive(wire.data(), int(wire.size())), 0);
    EXPECT_EQ(pair.serverOwner.data, data);

    pair.serverOwner.data.clear();
    ASSERT_EQ(pair.client.Send("hello", 5, sent), 0);
    ASSERT_EQ(pair.client.Send(" world", 6, sent), 0);
    const std::string two = pair.clientOwner.Take();
    for (char c : two) ASSERT_EQ(pair.server.Receive(&c, 1), 0);
    EXPECT_EQ(pair.serverOwner.data, "hello world");

    // Reads that end inside a header, inside a record and beyond the next.
    for (size_t piece : {3u, 4099u, 16390u, 40000u}) {
      pair.serverOwner.data.clear();
      ASSERT_EQ(pair.client.Send(data.data(), int(data.size()), sent), 0);
      const std::string stream = pair.clientOwner.Take();
      for (size_t at = 0; at < stream.size(); at += piece) {
        ASSERT_EQ(pair.server.Receive(stream.data() + at, int(std::min(piece, stream.size() - at))), 0);
      }
      EXPECT_EQ(pair.serverOwner.data, data) << piece;
    }
  }
}

TEST(RecordLayer, Tls13RecordSizes) {
  Pair pair;
  ASSERT_EQ(pair.Setup(kAes128Gcm13, 0x0304, 16, 12), 0);
  const std::string data = Pattern(40000);
  int sent = 0;
  ASSERT_EQ(pair.client.Send(data.data(), int(data.size()), sent), 0);
  const std::string wire = pair.clientOwner.Take();
  // Each record: the data, the inner type and the tag.
  ASSERT_EQ(wire.size(), 3u * 5 + 40000 + 3 * 17);
  EXPECT_EQ(Record(23, 0x0303, "").substr(0, 3), wire.substr(0, 3));
  EXPECT_EQ((uint8_t(wire[3]) << 8) | uint8_t(wire[4]), 16384 + 17);
}

TEST(RecordLayer, WouldBlockAtAnyByteLosesNothing) {
  for (long cut : {0L, 1L, 4L, 5L, 100L, 16400L, 16405L, 16426L, 20000L, 33000L}) {
    SCOPED_TRACE(cut);
    Pair pair;
    ASSERT_EQ(pair.Setup(kAes128Gcm13, 0x0304, 16, 12), 0);
    const std::string data = Pattern(33000);
    pair.clientOwner.budget = cut;
    int sent = 0;
    const int status = pair.client.Send(data.data(), int(data.size()), sent);
    EXPECT_TRUE(status == 0 || status == TlsEngine::kWouldBlock);
    std::string more = data.substr(size_t(sent));
    pair.clientOwner.budget = -1;
    if (!more.empty()) {
      // Later data queues behind what is waiting.
      ASSERT_EQ(pair.client.Send(more.data(), int(more.size()), sent), 0);
    } else {
      ASSERT_EQ(pair.client.FlushPending(), 0);
    }
    const std::string wire = pair.clientOwner.Take();
    ASSERT_EQ(pair.server.Receive(wire.data(), int(wire.size())), 0);
    EXPECT_EQ(pair.serverOwner.data, data);
  }
}

TEST(RecordLayer, SendBeforeTheHandshakeIsRefused) {
  TlsEngine engine;
  MemoryOwner owner;
  (void)engine.SetDefaults(&owner, 1);
  ASSERT_EQ(engine.StartHandshake(), 0);
  owner.wire.clear();  // the ClientHello
  int sent = 5;
  EXPECT_EQ(engine.Send("secret", 6, sent), TlsEngine::kStatusNotEstablished);
  EXPECT_EQ(sent, 0);
  EXPECT_TRUE(owner.wire.empty());
}

// A client engine in the middle of a TLS 1.2 handshake, no keys yet.
struct Plain {
  TlsEngine engine;
  MemoryOwner owner;
  Plain() {
    (void)engine.SetDefaults(&owner, 1);
    EXPECT_EQ(engine.StartHandshake(), 0);
    owner.wire.clear();  // the ClientHello
    engine.current.version = engine.pending.version = 0x0303;
    EXPECT_EQ(engine.current.clientRandom.Set("r"), 0);
    EXPECT_EQ(engine.pending.clientRandom.Set("r"), 0);
  }
  int Feed(const std::string& bytes) { return engine.Receive(bytes.data(), int(bytes.size())); }
  // Messages of a type the client ignores reach the dispatcher and are reported.
  int Dispatched() const {
    int n = 0;
    for (const std::string& s : owner.statuses) n += s.rfind("Unexpected Handshake message: ", 0) == 0 ? 1 : 0;
    return n;
  }
  std::string FatalAlert(int description) const { return Record(21, 0x0303, std::string{char(2), char(description)}); }
};

TEST(RecordLayer, PlaintextApplicationDataIsRefused) {
  Plain p;
  EXPECT_EQ(p.Feed(Record(23, 0x0303, "forged")), TlsEngine::kStatusNegotiationFailed);
  EXPECT_TRUE(p.owner.data.empty());
  EXPECT_EQ(p.owner.wire, p.FatalAlert(10));
  // Latched: later input and output do nothing.
  p.owner.wire.clear();
  EXPECT_EQ(p.Feed(Record(22, 0x0303, std::string("\x0e\x00\x00\x00", 4))), TlsEngine::kStatusNegotiationFailed);
  int sent = 0;
  EXPECT_EQ(p.engine.Send("x", 1, sent), TlsEngine::kStatusNegotiationFailed);
  EXPECT_TRUE(p.owner.wire.empty());
  EXPECT_EQ(p.Dispatched(), 0);
  EXPECT_EQ(p.owner.fatalCalls, 1);
}

TEST(RecordLayer, ChangeCipherSpecOnlyWhenExpected) {
  struct Case {
    const char* name;
    int state;
    bool keys;
    std::string payload;
    bool accepted;
  } cases[] = {
      {"awaiting Finished with keys", 8, true, "\x01", true},
      {"before the server's flight", 1, true, "\x01", false},
      {"no pending keys", 8, false, "\x01", false},
      {"wrong payload", 8, true, "\x02", false},
      {"long payload", 8, true, std::string("\x01\x01", 2), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Plain p;
    p.engine.handshakeState = c.state;
    if (c.keys) {
      ASSERT_EQ(SetState(p.engine.pending.readState, kRsaAes128Sha, ClientKeys(16, 16)), 0);
    }
    const int status = p.Feed(Record(20, 0x0303, c.payload));
    if (c.accepted) {
      EXPECT_EQ(status, 0);
      EXPECT_EQ(p.engine.current.IsReadActive(), 1);
      ASSERT_FALSE(p.owner.statuses.empty());
      EXPECT_EQ(p.owner.statuses.back(), "ChangeCipherSpec message received. Switching read context");
      // A second one is refused, under the new keys.
      EXPECT_NE(p.Feed(Record(20, 0x0303, c.payload)), 0);
    } else {
      EXPECT_EQ(status, TlsEngine::kStatusNegotiationFailed);
      EXPECT_EQ(p.owner.wire, p.FatalAlert(10));
      EXPECT_EQ(p.engine.current.IsReadActive(), 0);
    }
  }
}

TEST(RecordLayer, AlertsReceived) {
  {
    Plain p;
    EXPECT_EQ(p.Feed(p.FatalAlert(40)), TlsEngine::kStatusIntegrityFailed);
    EXPECT_EQ(p.owner.fatalText.rfind("Received fatal alert: ", 0), 0u);
    EXPECT_EQ(p.owner.fatalCalls, 1);
  }
  {
    Plain p;
    EXPECT_EQ(p.Feed(Record(21, 0x0303, std::string("\x01\x5a", 2))), 0);
    ASSERT_FALSE(p.owner.statuses.empty());
    EXPECT_EQ(p.owner.statuses.back(), "Warning Alert: USER_CANCELED");
    EXPECT_EQ(p.owner.fatalCalls, 0);
    EXPECT_TRUE(p.owner.wire.empty());
  }
  {
    // close_notify before the handshake completed is a failure, not an end.
    Plain p;
    EXPECT_EQ(p.Feed(Record(21, 0x0303, std::string("\x01\x00", 2))), TlsEngine::kStatusHandshakeFailed);
  }
  {
    Plain p;
    EXPECT_EQ(p.Feed(Record(21, 0x0303, std::string("\x01", 1))), TlsEngine::kStatusNegotiationFailed);
    EXPECT_EQ(p.owner.wire, p.FatalAlert(50));
  }
}

TEST(RecordLayer, Tls13WarningAlertsAreFatalButUserCanceled) {
  for (int description : {90, 42}) {
    Pair pair;
    ASSERT_EQ(pair.Setup(kAes128Gcm13, 0x0304, 16, 12), 0);
    ASSERT_EQ(pair.client.SendAlert(1, description), 0);
    const std::string wire = pair.clientOwner.Take();
    const int status = pair.server.Receive(wire.data(), int(wire.size()));
    EXPECT_EQ(status, description == 90 ? 0 : TlsEngine::kStatusIntegrityFailed) << description;
  }
}

TEST(RecordLayer, CloseNotifyAnsweredOnceThenInputDropped) {
  Pair pair;
  ASSERT_EQ(pair.Setup(kEcdheRsaAes128Gcm, 0x0303, 16, 4), 0);
  ASSERT_EQ(pair.client.SendCloseNotify(), 0);
  int sent = 0;
  pair.client.handshakeState = 10;  // keep writing after our own close, as a misbehaving peer would
  ASSERT_EQ(pair.client.Send("late", 4, sent), 0);
  const std::string wire = pair.clientOwner.Take();
  ASSERT_EQ(pair.server.Receive(wire.data(), int(wire.size())), 0);
  EXPECT_EQ(pair.server.IsClosed(), 1);
  EXPECT_TRUE(pair.serverOwner.data.empty());
  const std::string answer = pair.serverOwner.Take();
  EXPECT_EQ(answer.size(), 5u + 8 + 2 + 16);
  ASSERT_EQ(pair.server.SendCloseNotify(), 0);
  EXPECT_TRUE(pair.serverOwner.wire.empty());
}

TEST(RecordLayer, HandshakeMessagesSplitAndJoined) {
  Plain p;
  // Type 3 is no message a client takes: each one is only reported.
  const std::string hello = std::string("\x03\x00\x00\x02", 4) + "ab";
  const std::string cert = std::string("\x03\x00\x4e\x20", 4) + std::string(20000, 'c');
  const std::string done = std::string("\x03\x00\x00\x00", 4);
  // Three messages in one record, then one message over two records with a
  // header cut across the boundary.
  const std::string all = hello + done + cert + done;
  const std::string first = all.substr(0, 6 + 4 + 10000), second = all.substr(first.size());
  std::string input = Record(22, 0x0303, first) + Record(22, 0x0303, second);
  // Two records and three bytes of a third: the tail waits.
  input += Record(22, 0x0303, hello).substr(0, 3);
  ASSERT_EQ(p.Feed(input), 0);
  ASSERT_EQ(p.Dispatched(), 4);
  EXPECT_EQ(p.engine.receiveBuffer.Length(), 3);
  ASSERT_EQ(p.Feed(Record(22, 0x0303, hello).substr(3)), 0);
  EXPECT_EQ(p.Dispatched(), 5);

  // A header cut in two records waits for its rest.
  Plain q;
  ASSERT_EQ(q.Feed(Record(22, 0x0303, hello.substr(0, 2))), 0);
  ASSERT_EQ(q.Feed(Record(22, 0x0303, hello.substr(2))), 0);
  EXPECT_EQ(q.Dispatched(), 1);
}

TEST(RecordLayer, FragmentRefusals) {
  {
    Plain p;
    p.engine.handshakeState = 8;
    ASSERT_EQ(SetState(p.engine.pending.readState, kRsaAes128Sha, ClientKeys(16, 16)), 0);
    ASSERT_EQ(p.Feed(Record(22, 0x0303, std::string("\x0b\x00\x01\x00", 4) + "abc")), 0);
    EXPECT_EQ(p.Feed(Record(20, 0x0303, "\x01")), TlsEngine::kStatusNegotiationFailed);
    EXPECT_EQ(p.owner.wire, p.FatalAlert(10));
  }
  {
    Plain p;
    EXPECT_EQ(p.Feed(Record(22, 0x0303, std::string("\x0b\x10\x00\x01", 4))), TlsEngine::kStatusNegotiationFailed);
    EXPECT_EQ(p.owner.wire, p.FatalAlert(50));
  }
  {
    Plain p;
    std::string big = Record(22, 0x0303, "");
    big[3] = char(0x48);
    big[4] = char(0x01);  // 18433 bytes: above any protected record
    EXPECT_EQ(p.Feed(big), TlsEngine::kStatusIntegrityFailed);
    EXPECT_EQ(p.owner.wire, p.FatalAlert(22));
  }
  {
    Plain p;
    EXPECT_EQ(p.Feed("GET / HTTP/1.1\r\n"), TlsEngine::kStatusHandshakeFailed);
    EXPECT_EQ(p.owner.fatalText, "Unrecognized SSL packet data received.");
  }
}

TEST(RecordLayer, Tls13Refusals) {
  // The compatibility ChangeCipherSpec: one is dropped, a second is refused.
  {
    Pair pair;
    ASSERT_EQ(pair.Setup(kAes128Gcm13, 0x0304, 16, 12), 0);
    pair.server.handshakeState = 8;
    EXPECT_EQ(pair.server.Receive(Record(20, 0x0303, "\x01").data(), 6), 0);
    EXPECT_EQ(pair.server.Receive(Record(20, 0x0303, "\x01").data(), 6), TlsEngine::kStatusNegotiationFailed);
    EXPECT_EQ(AlertSeen(pair, pair.serverOwner.Take()).substr(0, 22), "Received fatal alert: ");
  }
  // Plaintext handshake or alert records after the keys are in place.
  for (int type : {21, 22}) {
    Pair pair;
    ASSERT_EQ(pair.Setup(kAes128Gcm13, 0x0304, 16, 12), 0);
    const std::string record = Record(type, 0x0303, std::string("\x02\x28", 2));
    EXPECT_EQ(pair.server.Receive(record.data(), int(record.size())), TlsEngine::kStatusNegotiationFailed);
  }
  // Inner plaintext: data, type, zero padding; all zeros has no type.
  {
    Pair pair;
    ASSERT_EQ(pair.Setup(kAes128Gcm13, 0x0304, 16, 12), 0);
    // The engine adds the type byte 0 behind: hello, 0x17 and three zeros.
    const std::string inner = std::string("hello\x17\x00\x00", 8);
    ASSERT_EQ(pair.client.ProtectRecord(0, 0x0303, inner.data(), int(inner.size())), 0);
    const std::string wire = pair.clientOwner.Take();
    ASSERT_EQ(pair.server.Receive(wire.data(), int(wire.size())), 0);
    EXPECT_EQ(pair.serverOwner.data, "hello");
  }
  {
    Pair pair;
    ASSERT_EQ(pair.Setup(kAes128Gcm13, 0x0304, 16, 12), 0);
    std::string wire;
    ASSERT_EQ(pair.client.ProtectRecord(0, 0x0303, std::string(4, '\0').data(), 4), 0);  // inner type 0 too
    wire = pair.clientOwner.Take();
    EXPECT_EQ(pair.server.Receive(wire.data(), int(wire.size())), TlsEngine::kStatusNegotiationFailed);
  }
  // A wrong tag: alert 20 and 286.
  {
    Pair pair;
    ASSERT_EQ(pair.Setup(kAes128Gcm13, 0x0304, 16, 12), 0);
    int sent = 0;
    ASSERT_EQ(pair.client.Send("data", 4, sent), 0);
    std::string wire = pair.clientOwner.Take();
    wire.back() ^= 1;
    EXPECT_EQ(pair.server.Receive(wire.data(), int(wire.size())), TlsEngine::kStatusIntegrityFailed);
    EXPECT_EQ(pair.serverOwner.fatalText, "Invalid MAC found in encrypted packet");
    EXPECT_TRUE(pair.serverOwner.data.empty());
    EXPECT_EQ(AlertSeen(pair, pair.serverOwner.Take()), "Received fatal alert: BAD_RECORD_MAC");
  }
  // Too short for a tag.
  {
    Pair pair;
    ASSERT_EQ(pair.Setup(kAes128Gcm13, 0x0304, 16, 12), 0);
    const std::string record = Record(23, 0x0303, std::string(16, 'x'));
    EXPECT_EQ(pair.server.Receive(record.data(), int(record.size())), TlsEngine::kStatusIntegrityFailed);
    EXPECT_EQ(pair.serverOwner.fatalText, "AEAD encrypted packet is too short.");
  }
}

TEST(RecordLayer, Tls12AeadShortAndOversizedPlaintext) {
  {
    Pair pair;
    ASSERT_EQ(pair.Setup(kEcdheRsaAes128Gcm, 0x0303, 16, 4), 0);
    const std::string record = Record(23, 0x0303, std::string(23, 'x'));
    EXPECT_EQ(pair.server.Receive(record.data(), int(record.size())), TlsEngine::kStatusIntegrityFailed);
    EXPECT_EQ(pair.serverOwner.fatalText, "AEAD encrypted packet is too short.");
    EXPECT_EQ(AlertSeen(pair, pair.serverOwner.Take()), "Received fatal alert: DECODE_ERROR");
  }
  {
    Pair pair;
    ASSERT_EQ(pair.Setup(kEcdheRsaAes128Gcm, 0x0303, 16, 4), 0);
    const std::string big = Pattern(16385);
    ASSERT_EQ(pair.client.ProtectRecord(23, 0x0303, big.data(), int(big.size())), 0);
    const std::string wire = pair.clientOwner.Take();
    EXPECT_EQ(pair.server.Receive(wire.data(), int(wire.size())), TlsEngine::kStatusIntegrityFailed);
    EXPECT_TRUE(pair.serverOwner.data.empty());
    EXPECT_EQ(AlertSeen(pair, pair.serverOwner.Take()), "Received fatal alert: RECORD_OVERFLOW");
  }
}

TEST(RecordLayer, FlightIsOneWrite) {
  TlsEngine engine;
  MemoryOwner owner;
  (void)engine.SetDefaults(&owner, 1);
  ASSERT_EQ(engine.StartHandshake(), 0);
  owner.wire.clear();  // the ClientHello
  owner.sendCalls = 0;
  engine.BeginFlight();
  for (int i = 0; i < 5; ++i) ASSERT_EQ(engine.SendAlert(1, 90), 0);
  EXPECT_EQ(owner.sendCalls, 0);
  ASSERT_EQ(engine.FlushFlight(), 0);
  EXPECT_EQ(owner.sendCalls, 1);
  EXPECT_EQ(owner.wire.size(), 35u);
}

TEST(RecordLayer, EncryptedExtensions) {
  struct Case {
    const char* name;
    std::string body;
    int status;
    const char* alpn;
  } cases[] = {
      {"empty", std::string("\x00\x00", 2), 0, ""},
      {"one offered protocol", std::string("\x00\x09\x00\x10\x00\x05\x00\x03\x02h2", 11), 0, "h2"},
      {"protocol not offered", std::string("\x00\x09\x00\x10\x00\x05\x00\x03\x02h3", 11), 278, ""},
      {"two protocols", std::string("\x00\x0c\x00\x10\x00\x08\x00\x06\x02h2\x02h2", 14), 278, ""},
      {"groups", std::string("\x00\x08\x00\x0a\x00\x04\x00\x02\x00\x17", 10), 0, ""},
      {"groups of the wrong size", std::string("\x00\x08\x00\x0a\x00\x04\x00\x04\x00\x17", 10), 278, ""},
      {"early data", std::string("\x00\x04\x00\x2a\x00\x00", 6), 278, ""},
      {"length past the end", std::string("\x00\x09\x00\x10\x00\x05", 6), 278, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Plain p;
    ASSERT_EQ(p.engine.SetAlpnProtocols("http/1.1,h2"), 0);
    WireBuffer in(c.body.data(), 0, int(c.body.size()));
    int consumed = 0;
    EXPECT_EQ(p.engine.ParseEncryptedExtensions(in, consumed), c.status);
    EXPECT_STREQ(p.engine.GetNegotiatedAlpn(), c.alpn);
    if (c.status == 0) {
      EXPECT_EQ(consumed, int(c.body.size()));
      EXPECT_EQ(p.engine.handshakeState, 31);
    }
  }
}

TEST(RecordLayer, NewSessionTicketAndVectors) {
  Plain p;
  const std::string ticket = std::string("\x00\x00\x0e\x10\x01\x02\x03\x04\x01\x07\x00\x03tkt\x00\x00", 17);
  WireBuffer in(ticket.data(), 0, int(ticket.size()));
  int consumed = 0;
  ASSERT_EQ(p.engine.ParseNewSessionTicket(in, consumed), 0);
  EXPECT_EQ(consumed, 17);
  WireBuffer cut(ticket.data(), 0, 14);
  EXPECT_EQ(p.engine.ParseNewSessionTicket(cut, consumed), TlsEngine::kStatusNegotiationFailed);

  CodeList items;
  const std::string groups("\x00\x04\x00\x17\x00\x18", 6);
  WireBuffer g(groups.data(), 0, 6);
  EXPECT_EQ(TlsEngine::ReadIntVector(g, 2, 2, items), 6);
  EXPECT_EQ(items.Get(1), 24);
  WireBuffer overlong(groups.data(), 0, 5);
  EXPECT_EQ(TlsEngine::ReadIntVector(overlong, 2, 2, items), -1);
  WireBuffer wide(groups.data(), 0, 6);
  EXPECT_EQ(TlsEngine::ReadIntVector(wide, 5, 2, items), -1);
}

TEST(RecordLayer, XorSequenceIntoIv) {
  ByteString iv;
  ASSERT_EQ(iv.Set(std::string(12, '\0').data(), 12), 0);
  uint8_t out[12];
  TlsEngine::XorSequenceIntoIv(iv, 0x0102030405060708ULL, out);
  const uint8_t expected[12] = {0, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8};
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 12), std::string(reinterpret_cast<const char*>(expected), 12));
}

}  // namespace

namespace {

TEST(RecordLayer, CbcWithEveryMacHash) {
  struct Case {
    const char* name;
    int code, version, keyLength, macLength;
  } cases[] = {
      {"SHA-256", 0x003C, 0x0303, 16, 32},
      {"SHA-384", 0xC024, 0x0303, 32, 48},
      {"SSL 3.0 SHA-1", 0x0035, 0x0300, 32, 20},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Pair pair;
    ASSERT_EQ(pair.Setup(c.code, c.version, c.keyLength, 16, c.macLength), 0);
    for (size_t n : {0u, 1u, 15u, 16u, 300u, 16384u}) {
      const std::string data = Pattern(n);
      int sent = 0;
      ASSERT_EQ(pair.client.Send(data.data(), int(data.size()), sent), 0);
      std::string wire = pair.clientOwner.Take();
      pair.serverOwner.data.clear();
      ASSERT_EQ(pair.server.Receive(wire.data(), int(wire.size())), 0);
      EXPECT_EQ(pair.serverOwner.data, data);
    }
    int sent = 0;
    ASSERT_EQ(pair.client.Send("x", 1, sent), 0);
    std::string wire = pair.clientOwner.Take();
    wire[wire.size() - 20] ^= 1;  // inside the MAC or padding of the last block
    EXPECT_EQ(pair.server.Receive(wire.data(), int(wire.size())), TlsEngine::kStatusIntegrityFailed);
  }
}

}  // namespace

namespace {

TEST(PacketTrace, RecordsAndSummaries) {
  Pair pair;
  ASSERT_EQ(pair.Setup(kEcdheRsaAes128Gcm, 0x0303, 16, 4), 0);
  int sent = 0;
  // Off: nothing.
  EXPECT_EQ(pair.server.TraceRecord("x", 1, nullptr, 0, 0), 0);
  EXPECT_TRUE(pair.serverOwner.statuses.empty());
  ASSERT_EQ(pair.client.Send("0123456789abcdef", 16, sent), 0);
  const std::string wire = pair.clientOwner.Take();
  ASSERT_EQ(wire.size(), 45u);
  ASSERT_EQ(pair.server.SetLogPackets(1), 0);
  ASSERT_EQ(pair.server.Receive(wire.data(), int(wire.size())), 0);
  ASSERT_EQ(pair.serverOwner.statuses.size(), 1u);
  const std::string& text = pair.serverOwner.statuses[0];
  EXPECT_EQ(text.rfind("[TLS] Incoming Application Data Protocol: Application Data (45 bytes)\r\n", 0), 0u);
  EXPECT_NE(text.find("\r\n-----Decrypted (21 bytes)-----\r\n"), std::string::npos);

  EXPECT_STREQ(pair.server.VersionText(0x0305), "Selected TLS Version: Unknown (773)");
  EXPECT_STREQ(pair.server.VersionText(0x0303), "Selected TLS Version: TLS1.2");
  ASSERT_EQ(pair.server.SetEnabledProtocols(0x3C00), 0);
  EXPECT_STREQ(pair.server.EnabledVersionsText(), "Enabling TLS versions: TLS1.3 TLS1.2 ");
  CodeList codes;
  ASSERT_EQ(codes.Add(0x1301), 0);
  ASSERT_EQ(codes.Add(0x002F), 0);
  EXPECT_STREQ(pair.server.OfferedSuitesText(codes),
               "Cipher Suites:\r\n    TLS_AES_128_GCM_SHA256 (0x1301);\r\n    TLS_RSA_WITH_AES_128_CBC_SHA (0x002f)");
  EXPECT_EQ(TlsEngine::IsNistCurveGroup(24), 1);
  EXPECT_EQ(TlsEngine::IsNistCurveGroup(29), 0);
}

TEST(PacketTrace, SecretDumpOnlyWhenEnabled) {
  TlsEngine engine;
  MemoryOwner owner;
  (void)engine.SetDefaults(&owner, 1);
  EXPECT_EQ(engine.SecretDump("key", "abc", 3), 0);
  EXPECT_TRUE(owner.statuses.empty());
  engine.logSecrets = 1;
  const std::string bytes = std::string("0123456789ABCDEF", 16) + "\x01z";
  ASSERT_EQ(engine.SecretDump("master", bytes.data(), int(bytes.size())), 0);
  ASSERT_EQ(owner.statuses.size(), 1u);
  EXPECT_EQ(owner.statuses[0],
            "==master==(18 bytes)\r\n"
            "30 31 32 33 34 35 36 37 38 39 41 42 43 44 45 46     0123456789ABCDEF\r\n"
            "01 7A " + std::string(42, ' ') + "    .z");
  ASSERT_EQ(engine.SecretDump("label only", nullptr, 0), 0);
  EXPECT_EQ(owner.statuses[1], "==label only");
}

}  // namespace
