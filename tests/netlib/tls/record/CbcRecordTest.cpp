// CBC records made by Python's cryptography (AES-128-CBC with HMAC-SHA1,
// TLS 1.2 explicit IV): every padding length, and bad padding, bad MAC, both,
// short and non-block lengths, each refused with one alert 20.
#include <gtest/gtest.h>

#include <string>

#include "EngineHarness.h"
#include "TestSupport.h"
#include "TestText.h"

using namespace enginetest;
using testsupport::Hex;
using testsupport::Unhex;

namespace {

const char* const kMaker = R"(
import hmac, hashlib, os, sys
from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes
key = b'k' * 16; mac_key = b'm' * 20
def record(data, pad, bad_pad=False, bad_mac=False, raw=None, last=None):
    hdr = bytes([23, 3, 3])
    mac = hmac.new(mac_key, bytes(8) + hdr + len(data).to_bytes(2, 'big') + data, hashlib.sha1).digest()
    if bad_mac: mac = bytes([mac[0] ^ 1]) + mac[1:]
    padding = bytes([pad]) * (pad + 1)
    if bad_pad: padding = bytes([pad ^ 0x80]) + padding[1:]
    plain = data + mac + padding
    if last is not None: plain = plain[:-1] + bytes([last])
    iv = os.urandom(16)
    if raw is not None:
        body = raw
    else:
        enc = Cipher(algorithms.AES(key), modes.CBC(iv)).encryptor()
        body = iv + enc.update(plain) + enc.finalize()
    return (hdr + len(body).to_bytes(2, 'big') + body).hex()
for pad in range(256):
    n = (16 - (20 + 20 + pad + 1) % 16) % 16 + 20
    data = bytes(range(n)) if n else b''
    print('ok', data.hex() or '-', record(data, pad))
d = b'0123456789abc'  # 13 + 20 + 15 = 48
print('padding', '-', record(d, 14, bad_pad=True))
print('padding', '-', record(d, 14, last=200))
print('mac', '-', record(d, 14, bad_mac=True))
print('both', '-', record(d, 14, bad_pad=True, bad_mac=True))
print('short', '-', record(b'', 0, raw=os.urandom(16)))
print('short', '-', record(b'', 0, raw=os.urandom(32)))
print('length', '-', record(b'', 0, raw=os.urandom(47)))
)";

std::string AlertSeen(Pair& pair) {
  const std::string wire = pair.serverOwner.Take();
  (void)pair.client.Receive(wire.data(), int(wire.size()));
  return pair.clientOwner.fatalText;
}

TEST(CbcRecord, RecordsFromPythonCryptography) {
  REQUIRE_OR_SKIP(testsupport::HavePythonModule("cryptography"), "python3 cryptography is not available");
  bool ok = false;
  const std::string out = testsupport::RunPython(kMaker, ok);
  ASSERT_TRUE(ok);
  int good = 0, bad = 0;
  for (const auto& row : testsupport::Rows(out)) {
    ASSERT_EQ(row.size(), 3u);
    SCOPED_TRACE(row[0] + " " + row[2].substr(0, 80));
    Pair pair;
    ASSERT_EQ(pair.Setup(0x002F, 0x0303, 16, 16), 0);
    const std::string record = Unhex(row[2]);
    const int status = pair.server.Receive(record.data(), int(record.size()));
    if (row[0] == "ok") {
      ++good;
      ASSERT_EQ(status, 0);
      EXPECT_EQ(Hex(pair.serverOwner.data), row[1] == "-" ? "" : row[1]);
      continue;
    }
    ++bad;
    EXPECT_EQ(status, TlsEngine::kStatusIntegrityFailed);
    EXPECT_TRUE(pair.serverOwner.data.empty());
    EXPECT_EQ(pair.serverOwner.errors.size(), 1u);
    // One alert, bad_record_mac, whatever failed.
    EXPECT_EQ(AlertSeen(pair), "Received fatal alert: BAD_RECORD_MAC");
    const std::string& text = pair.serverOwner.fatalText;
    if (row[0] == "mac") {
      EXPECT_EQ(text, "Invalid MAC found in encrypted packet");
    } else if (row[0] == "padding" || row[0] == "both") {
      EXPECT_EQ(text, "Invalid padding found in encrypted packet");
    }
  }
  EXPECT_EQ(good, 256);
  EXPECT_EQ(bad, 7);
}

}  // namespace
