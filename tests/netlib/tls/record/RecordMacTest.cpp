// Record MACs against Python: hmac for the TLS form, a hashlib model of the
// SSL 3.0 nested hash with its 48- and 40-byte pads.
#include <gtest/gtest.h>

#include <string>

#include "EngineHarness.h"
#include "TestSupport.h"
#include "TestText.h"

using namespace enginetest;
using testsupport::Hex;

namespace {

const char* const kModel = R"(
import hashlib, hmac, sys
kind, name, secret, seq, typ, ver, data = sys.argv[1:]
secret = bytes.fromhex(secret); data = bytes.fromhex(data)
seq = int(seq).to_bytes(8, 'big'); typ = bytes([int(typ)]); ver = int(ver).to_bytes(2, 'big')
n = len(data).to_bytes(2, 'big')
if kind == 'tls':
    print(hmac.new(secret, seq + typ + ver + n + data, name).hexdigest())
else:
    pad = 48 if name == 'md5' else 40
    inner = hashlib.new(name, secret + b'\x36' * pad + seq + typ + n + data).digest()
    print(hashlib.new(name, secret + b'\x5c' * pad + inner).hexdigest())
)";

TEST(RecordMac, AgainstPython) {
  REQUIRE_OR_SKIP(testsupport::HavePythonModule("hmac"), "python3 is not available");
  struct Case {
    const char* name;
    int code, version, macLength;
    const char* pyKind;
    const char* pyHash;
    uint64_t sequence;
    int type;
    std::string data;
  } cases[] = {
      {"TLS 1.2 SHA-256, empty record", 0x003C, 0x0303, 32, "tls", "sha256", 0, 23, ""},
      {"TLS 1.0 SHA-1", 0x002F, 0x0301, 20, "tls", "sha1", 5, 22, "handshake bytes"},
      {"SSL 3.0 MD5", 0x0004, 0x0300, 16, "ssl3", "md5", 7, 23, "application data"},
      {"SSL 3.0 SHA-1", 0x0005, 0x0300, 20, "ssl3", "sha1", 0x0102030405ULL, 21, std::string("\x01\x00", 2)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TlsEngine engine;
    engine.current.version = c.version;
    Keys keys = ClientKeys(16, 16);
    keys.mac.assign(size_t(c.macLength), '\x5a');
    ASSERT_EQ(SetState(engine.current.writeState, c.code, keys), 0);
    ByteString data, mac;
    ASSERT_EQ(data.Set(c.data.data(), int(c.data.size())), 0);
    ASSERT_EQ(engine.ComputeRecordMac(data, mac, c.sequence, c.type), 0);
    bool ok = false;
    const std::string expected =
        testsupport::RunPython(kModel, ok,
                               {c.pyKind, c.pyHash, Hex(keys.mac), std::to_string(c.sequence),
                                std::to_string(c.type), std::to_string(c.version), Hex(c.data)});
    ASSERT_TRUE(ok);
    EXPECT_EQ(Hex(std::string(mac.Data(), size_t(mac.Length()))) + "\n", expected);
  }
}

TEST(RecordMac, UnknownHashNameFails) {
  ByteString out, data;
  EXPECT_NE(TlsEngine::DigestByName("NOSUCHHASH", data, out), 0);
  ASSERT_EQ(TlsEngine::DigestByName("SHA256", data, out), 0);
  EXPECT_EQ(out.Length(), 32);
}

}  // namespace
