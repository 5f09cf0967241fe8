// The TLS 1.3 client against the handshake traces of RFC 8448, read in place
// from the RFC's text: the key schedule, the record keys, the transcript
// (with the message_hash of a HelloRetryRequest) and the client's records
// must give the printed bytes exactly.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "../record/EngineHarness.h"
#include "SecretDumps.h"
#include "TestSupport.h"
#include "TestText.h"
#include "crypto/ecc/curve/EcKey.h"

namespace {

using namespace enginetest;

// The labelled values of one section of the RFC: "{side}  action" headings,
// each followed by "label (n octets):  hex ..." values that may run across
// lines and page breaks.
struct Trace {
  struct Value {
    std::string heading, label, bytes;
  };
  std::vector<Value> values;

  bool Load(const std::string& section, const std::string& nextSection) {
    std::ifstream in(testsupport::VectorsDir() / "rfc" / "rfc8448.txt");
    std::string line, heading;
    bool inside = false;
    const std::regex valueLine(R"(^ {6}(\S.*?) \((\d+) octets\):(.*)$)");
    const std::regex hexByte(R"(^[0-9a-f]{2}$)");
    Value* open = nullptr;
    size_t wanted = 0;
    while (std::getline(in, line)) {
      if (line.rfind(section, 0) == 0) inside = true;
      if (line.rfind(nextSection, 0) == 0) break;
      if (!inside) continue;
      std::string rest = line;
      std::smatch m;
      if (line.rfind("   {", 0) == 0) {
        heading = line.substr(3);
        open = nullptr;
        continue;
      }
      if (std::regex_match(line, m, valueLine)) {
        values.push_back({heading, m[1].str(), ""});
        open = &values.back();
        wanted = std::stoul(m[2].str());
        rest = m[3].str();
      }
      if (open == nullptr) continue;
      std::istringstream words(rest);
      std::string word;
      while (open->bytes.size() < wanted && words >> word) {
        if (std::regex_match(word, hexByte)) open->bytes += char(std::stoi(word, nullptr, 16));
      }
      if (open->bytes.size() == wanted) open = nullptr;
    }
    return !values.empty();
  }

  bool Has(const std::string& heading, const std::string& label, int nth = 0) const {
    for (const Value& v : values) {
      if (v.heading.rfind(heading, 0) == 0 && v.label == label && nth-- == 0) return true;
    }
    return false;
  }
  // The nth value with this label under a heading that starts with `heading`.
  std::string Get(const std::string& heading, const std::string& label, int nth = 0) const {
    for (const Value& v : values) {
      if (v.heading.rfind(heading, 0) == 0 && v.label == label && nth-- == 0) return v.bytes;
    }
    ADD_FAILURE() << "no value " << label << " under " << heading;
    return "";
  }
};

std::string Bytes(const ByteString& b) { return std::string(b.Data(), size_t(b.Length())); }
std::string HexOf(const std::string& s) { return testsupport::Hex(s); }

// A client that takes the trace's server certificate (an expired test
// certificate without a trusted root): the owner's word is final.
struct TraceOwner : MemoryOwner {
  int OnTlsCertificate(ByteString&, SelectedCertificate&, int, const char*, int& accept) override {
    accept = 1;
    return 0;
  }
};

struct TraceClient {
  TlsEngine engine;
  TraceOwner owner;
  TraceClient() {
    (void)engine.SetDefaults(&owner, 1);
    engine.logSecrets = 1;
    EXPECT_EQ(engine.SetEnabledProtocols(0x3000), 0);
    EXPECT_EQ(engine.SetRemoteHost("server"), 0);
  }
  std::string Dump(const char* label) const { return peertest::Dumped(owner.statuses, label); }
  int Dispatch(const std::string& message) {
    WireBuffer in(message.data(), 0, int(message.size()));
    return engine.DispatchHandshake(in);
  }
  int Receive(const std::string& record) { return engine.Receive(record.data(), int(record.size())); }
};

// The handshake secrets and keys of the trace, as the engine dumped them.
void ExpectHandshakeSchedule(const TraceClient& c, const Trace& t) {
  EXPECT_EQ(c.Dump("Tls13_EarlySecret"), HexOf(t.Get("{server}  extract secret \"early\"", "secret")));
  EXPECT_EQ(c.Dump("preHandshakeSecret"),
            HexOf(t.Get("{server}  derive secret for handshake \"tls13 derived\"", "expanded")));
  EXPECT_EQ(c.Dump("Tls13_HandshakeSecret"), HexOf(t.Get("{server}  extract secret \"handshake\"", "secret")));
  EXPECT_EQ(c.Dump("h2"), HexOf(t.Get("{server}  derive secret \"tls13 c hs traffic\"", "hash")));
  EXPECT_EQ(c.Dump("Tls13_ClientHandshakeTrafficSecret"),
            HexOf(t.Get("{server}  derive secret \"tls13 c hs traffic\"", "expanded")));
  EXPECT_EQ(c.Dump("Tls13_ServerHandshakeTrafficSecret"),
            HexOf(t.Get("{server}  derive secret \"tls13 s hs traffic\"", "expanded")));
  const std::string serverKeys = "{server}  derive write traffic keys for handshake data";
  const std::string clientKeys = "{server}  derive read traffic keys for handshake data";
  EXPECT_EQ(c.Dump("Tls13_ServerHandshakeKey"), HexOf(t.Get(serverKeys, "key expanded")));
  EXPECT_EQ(c.Dump("Tls13_ServerHandshakeIV"), HexOf(t.Get(serverKeys, "iv expanded")));
  EXPECT_EQ(c.Dump("Tls13_ClientHandshakeKey"), HexOf(t.Get(clientKeys, "key expanded")));
  EXPECT_EQ(c.Dump("Tls13_ClientHandshakeIV"), HexOf(t.Get(clientKeys, "iv expanded")));
  EXPECT_EQ(c.Dump("server_finished_key"), HexOf(t.Get("{server}  calculate finished", "expanded")));
  EXPECT_EQ(c.Dump("client_finished_key"), HexOf(t.Get("{client}  calculate finished", "expanded")));
  EXPECT_EQ(c.Dump("MasterSecret"), HexOf(t.Get("{server}  extract secret \"master\"", "secret")));
}

void ExchangeData(TraceClient& c, const Trace& t);

// From the server's encrypted flight to the end of the connection: the flight
// decrypts to the printed messages, the server's certificate, signature and
// Finished are taken, and every record the client writes is the printed one.
// `serverRecords` and `clientRecords`: the handshake records each side sent before.
void RunFromServerFlight(TraceClient& c, const Trace& t, int serverRecords, int clientRecords) {
  TlsEngine& e = c.engine;
  ASSERT_EQ(e.handshakeState, tlsstate::kTls13ServerHello);
  const std::string flight = t.Get("{server}  send handshake record", "complete record", serverRecords);
  int type = 0;
  ByteString plain;
  ASSERT_EQ(e.UnprotectRecord(flight.data(), int(flight.size()), type, plain), 0);
  EXPECT_EQ(type, 22);
  const std::string extensions = t.Get("{server}  construct an EncryptedExtensions", "EncryptedExtensions");
  const std::string certificate = t.Get("{server}  construct a Certificate", "Certificate");
  const std::string verify = t.Get("{server}  construct a CertificateVerify", "CertificateVerify");
  const std::string finished = t.Get("{server}  construct a Finished", "Finished");
  ASSERT_EQ(HexOf(Bytes(plain)), HexOf(extensions + certificate + verify + finished));

  // The trace's server answers extensions (record_size_limit) this client
  // never offers and would refuse: its EncryptedExtensions enters the
  // transcript as read, and the rest runs through the dispatcher.
  ASSERT_EQ(e.handshakeMessages.PutBytes(extensions.data(), int(extensions.size())), 0);
  e.handshakeState = tlsstate::kTls13Extensions;
  c.owner.Take();
  ASSERT_EQ(c.Dispatch(certificate), 0) << c.owner.fatalText;
  ASSERT_EQ(c.Dispatch(verify), 0) << c.owner.fatalText;
  EXPECT_EQ(e.pending.peerSignatureScheme, 0x0804);
  ASSERT_EQ(c.Dispatch(finished), 0) << c.owner.fatalText;
  ASSERT_EQ(e.IsEstablished(), 1);
  EXPECT_EQ(HexOf(c.owner.Take()), HexOf(t.Get("{client}  send handshake record", "complete record", clientRecords)));

  // The application secrets and keys.
  EXPECT_EQ(HexOf(Bytes(e.applicationTrafficSecrets[0])),
            HexOf(t.Get("{server}  derive secret \"tls13 c ap traffic\"", "expanded")));
  EXPECT_EQ(HexOf(Bytes(e.applicationTrafficSecrets[1])),
            HexOf(t.Get("{server}  derive secret \"tls13 s ap traffic\"", "expanded")));
  EXPECT_EQ(HexOf(Bytes(e.current.exporterMasterSecret)),
            HexOf(t.Get("{server}  derive secret \"tls13 exp master\"", "expanded")));
  const std::string serverApp = "{server}  derive write traffic keys for application data";
  const std::string clientApp = "{client}  derive write traffic keys for application data";
  EXPECT_EQ(HexOf(Bytes(e.current.serverApplicationKey)), HexOf(t.Get(serverApp, "key expanded")));
  EXPECT_EQ(HexOf(Bytes(e.current.serverApplicationIv)), HexOf(t.Get(serverApp, "iv expanded")));
  EXPECT_EQ(HexOf(Bytes(e.current.clientApplicationKey)), HexOf(t.Get(clientApp, "key expanded")));
  EXPECT_EQ(HexOf(Bytes(e.current.clientApplicationIv)), HexOf(t.Get(clientApp, "iv expanded")));

  // Where the trace goes on: the session ticket is taken and dropped, and
  // application data goes both ways. Then the close.
  if (t.Has("{server}  send application_data record", "complete record")) {
    ASSERT_EQ(c.Receive(t.Get("{server}  send handshake record", "complete record", serverRecords + 1)), 0)
        << c.owner.fatalText;
    ExchangeData(c, t);
  }
  ASSERT_EQ(e.SendCloseNotify(), 0);
  EXPECT_EQ(HexOf(c.owner.Take()), HexOf(t.Get("{client}  send alert record", "complete record")));
}

void ExchangeData(TraceClient& c, const Trace& t) {
  TlsEngine& e = c.engine;
  const std::string data = t.Get("{client}  send application_data record", "payload");
  int sent = 0;
  ASSERT_EQ(e.Send(data.data(), int(data.size()), sent), 0);
  EXPECT_EQ(HexOf(c.owner.Take()), HexOf(t.Get("{client}  send application_data record", "complete record")));
  ASSERT_EQ(c.Receive(t.Get("{server}  send application_data record", "complete record")), 0) << c.owner.fatalText;
  EXPECT_EQ(HexOf(c.owner.data), HexOf(t.Get("{server}  send application_data record", "payload")));
}

TEST(Rfc8448Trace, SimpleOneRoundTrip) {
  Trace t;
  REQUIRE_OR_SKIP(t.Load("3.  Simple 1-RTT Handshake", "4.  Resumed 0-RTT Handshake"),
                  "rfc8448.txt not found under the vectors folder");
  TraceClient c;
  TlsEngine& e = c.engine;
  // The trace's hellos stand for ours: its client offered X25519, which this
  // client does not, so the schedule starts from the printed shared secret.
  const std::string hello = t.Get("{client}  construct a ClientHello", "ClientHello");
  const std::string serverHello = t.Get("{server}  construct a ServerHello", "ServerHello");
  ASSERT_EQ(e.handshakeMessages.PutBytes(hello.data(), int(hello.size())), 0);
  ASSERT_EQ(e.handshakeMessages.PutBytes(serverHello.data(), int(serverHello.size())), 0);
  ASSERT_EQ(e.pending.clientRandom.Set(hello.data() + 6, 32), 0);
  ASSERT_EQ(e.pending.serverRandom.Set(serverHello.data() + 6, 32), 0);
  e.pending.isClient = 1;
  e.pending.version = 0x0304;
  e.tls13 = 1;
  ASSERT_EQ(e.pending.readState.SetSuiteByCode(0x1301), 0);
  ASSERT_EQ(e.pending.writeState.SetSuiteByCode(0x1301), 0);
  const std::string shared = t.Get("{server}  extract secret \"handshake\"", "IKM");
  ByteString secret;
  ASSERT_EQ(secret.Set(shared.data(), int(shared.size())), 0);
  ASSERT_EQ(e.DeriveTls13HandshakeKeysFrom(secret), 0);
  e.handshakeState = tlsstate::kTls13ServerHello;
  ExpectHandshakeSchedule(c, t);
  RunFromServerFlight(c, t, 1, 1);
}

TEST(Rfc8448Trace, HelloRetryRequest) {
  Trace t;
  REQUIRE_OR_SKIP(t.Load("5.  HelloRetryRequest", "6.  Client Authentication"),
                  "rfc8448.txt not found under the vectors folder");
  TraceClient c;
  TlsEngine& e = c.engine;
  // No first share for P-256, so a retry asking for it is in order.
  ASSERT_EQ(e.SetTls13KeyShareGroups("ecdhe_secp384r1"), 0);
  ASSERT_EQ(e.StartHandshake(), 0);
  const std::string hello1 = t.Get("{client}  construct a ClientHello", "ClientHello", 0);
  const std::string retry = t.Get("{server}  construct a ServerHello", "ServerHello", 0);
  const std::string hello2 = t.Get("{client}  construct a ClientHello", "ClientHello", 1);
  e.handshakeMessages.Clear();
  ASSERT_EQ(e.handshakeMessages.PutBytes(hello1.data(), int(hello1.size())), 0);
  c.owner.Take();
  ASSERT_EQ(c.Receive(t.Get("{server}  send handshake record", "complete record", 0)), 0) << c.owner.fatalText;
  ASSERT_EQ(e.pending.helloRetry, 1);
  EXPECT_EQ(e.pending.selectedGroup, 23);
  EXPECT_FALSE(c.owner.Take().empty());  // the second hello went out

  // The transcript is now message_hash(first hello), the retry and our second
  // hello; the trace's second hello takes the place of ours.
  const int kept = 4 + 32 + int(retry.size());
  ASSERT_GT(e.handshakeMessages.Length(), kept);
  const std::string head(e.handshakeMessages.Data(), size_t(kept));
  EXPECT_EQ(HexOf(head.substr(0, 4)), "fe000020");
  EXPECT_EQ(HexOf(head.substr(36)), HexOf(retry));
  WireBuffer transcript;
  ASSERT_EQ(transcript.PutBytes(head.data(), kept), 0);
  ASSERT_EQ(transcript.PutBytes(hello2.data(), int(hello2.size())), 0);
  e.handshakeMessages.Clear();
  ASSERT_EQ(e.handshakeMessages.PutBytes(transcript.Data(), transcript.Length()), 0);

  // Our one P-256 share takes the trace's private key, and the trace's
  // ServerHello runs through the dispatcher to the handshake keys.
  ASSERT_EQ(e.keyShares.Count(), 1);
  const std::string priv = t.Get("{client}  create an ephemeral P-256 key pair", "private key");
  EcKey key;
  ASSERT_EQ(key.D.Set(priv.data(), int(priv.size())), 0);
  key.curveIndex = eckeycurve::kP256;
  ASSERT_EQ(e.keyShares.Get(0)->SetOwnEcKey(key), 0);
  ASSERT_EQ(c.Receive(t.Get("{server}  send handshake record", "complete record", 1)), 0) << c.owner.fatalText;
  EXPECT_EQ(c.Dump("dhSecret"), HexOf(t.Get("{server}  extract secret \"handshake\"", "IKM")));
  ExpectHandshakeSchedule(c, t);
  RunFromServerFlight(c, t, 2, 2);
}

}  // namespace
