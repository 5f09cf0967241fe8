// SSL 3.0's own constructions (the master secret, the key block and the
// MD5/SHA-1 hashes of the Finished and CertificateVerify messages) against a
// model of the SSL 3.0 specification written with Python's hashlib.
#include <gtest/gtest.h>

#include <string>

#include "../record/EngineHarness.h"
#include "SecretDumps.h"
#include "TestSupport.h"
#include "TestText.h"

namespace {

using namespace enginetest;

const char* const kModel = R"(import hashlib, sys
pre, cr, sr, msgs = (bytes.fromhex(a) for a in sys.argv[1:5])
def block(secret, seed, n):
    out = b''
    i = 1
    while len(out) < n:
        salt = bytes([0x40 + i]) * i
        out += hashlib.md5(secret + hashlib.sha1(salt + secret + seed).digest()).digest()
        i += 1
    return out[:n]
def hashes(sender, master, data):
    inner = data + sender + master
    md5 = hashlib.md5(master + b'\x5c' * 48 + hashlib.md5(inner + b'\x36' * 48).digest()).digest()
    sha = hashlib.sha1(master + b'\x5c' * 40 + hashlib.sha1(inner + b'\x36' * 40).digest()).digest()
    return md5 + sha
master = block(pre, cr + sr, 48)
kb = block(master, sr + cr, 2 * 20 + 2 * 24 + 2 * 8)
print(master.hex())
for at, n in ((0, 20), (20, 20), (40, 24), (64, 24), (88, 8), (96, 8)):
    print(kb[at:at + n].hex())
print(hashes(b'CLNT', master, msgs).hex())
print(hashes(b'SRVR', master, msgs).hex())
print(hashes(b'', master, msgs).hex())
)";

std::string Bytes(const ByteString& b) { return std::string(b.Data(), size_t(b.Length())); }

TEST(Ssl3Hashes, MasterSecretKeyBlockFinishedAndCertificateVerify) {
  REQUIRE_OR_SKIP(testsupport::HaveTool("/usr/bin/python3"), "python3 not found");
  std::string pre(48, '\0'), cr(32, '\0'), sr(32, '\0'), messages;
  for (int i = 0; i < 48; ++i) pre[size_t(i)] = char(i * 37 + 3);
  for (int i = 0; i < 32; ++i) cr[size_t(i)] = char(i * 11 + 1), sr[size_t(i)] = char(200 - i * 5);
  for (int i = 0; i < 300; ++i) messages += char(i * 13);
  bool ok = false;
  const std::vector<std::string> expected = testsupport::Lines(testsupport::RunPython(
      kModel, ok, {testsupport::Hex(pre), testsupport::Hex(cr), testsupport::Hex(sr), testsupport::Hex(messages)}));
  ASSERT_TRUE(ok);
  ASSERT_EQ(expected.size(), 10u);

  MemoryOwner owner;
  TlsEngine engine;
  (void)engine.SetDefaults(&owner, 1);
  engine.logSecrets = 1;
  TlsSecurityContext& context = engine.pending;
  context.version = 0x0300;
  ASSERT_EQ(context.clientRandom.Set(cr.data(), int(cr.size())), 0);
  ASSERT_EQ(context.serverRandom.Set(sr.data(), int(sr.size())), 0);
  ASSERT_EQ(context.readState.SetSuiteByCode(0x000A), 0);  // 3DES with SHA-1: 20-byte MACs, 24-byte keys, 8-byte IVs
  ASSERT_EQ(context.writeState.SetSuiteByCode(0x000A), 0);
  ByteString premaster;
  ASSERT_EQ(premaster.Set(pre.data(), int(pre.size())), 0);
  ASSERT_EQ(engine.ComputeMasterSecret(premaster), 0);
  EXPECT_EQ(testsupport::Hex(Bytes(context.masterSecret)), expected[0]);
  ASSERT_EQ(engine.DeriveKeyBlock(context), 0);
  const char* labels[] = {"Client MAC Key", "Server MAC Key", "Client Encryption Key",
                          "Server Encryption Key", "Client IV", "server IV"};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(peertest::Dumped(owner.statuses, labels[i]), expected[size_t(i + 1)]) << labels[i];

  ASSERT_EQ(engine.handshakeMessages.PutBytes(messages.data(), int(messages.size())), 0);
  ByteString finished;
  ASSERT_EQ(engine.ComputeFinished(context, ByteString("CLNT"), 1, finished), 0);
  EXPECT_EQ(testsupport::Hex(Bytes(finished)), expected[7]);
  ASSERT_EQ(engine.ComputeFinished(context, ByteString("SRVR"), 0, finished), 0);
  EXPECT_EQ(testsupport::Hex(Bytes(finished)), expected[8]);
  ByteString verify;
  ASSERT_EQ(TlsEngine::Ssl3HandshakeHash(nullptr, context.masterSecret, engine.handshakeMessages, verify), 0);
  EXPECT_EQ(testsupport::Hex(Bytes(verify)), expected[9]);
}

}  // namespace
