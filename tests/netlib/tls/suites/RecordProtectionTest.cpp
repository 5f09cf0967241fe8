// Record protection of a suite: AEAD records against Wycheproof and Python
// cryptography, chained CBC records, the sequence numbers and the MAC pads.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "TestText.h"
#include "tls/suites/CipherSuite.h"
#include "tls/suites/RecordCipherState.h"

using namespace tornell;
using testsupport::Hex;
using testsupport::Unhex;

namespace {

ByteString Bytes(const std::string& bytes) {
  ByteString out;
  EXPECT_EQ(out.Set(bytes.data(), int(bytes.size())), 0);
  return out;
}

std::string Str(const ByteString& bytes) { return std::string(bytes.Data(), size_t(bytes.Length())); }

WireBuffer Wire(const std::string& bytes) { return WireBuffer(bytes.data(), 0, int(bytes.size())); }

// Seals one record; the ciphertext with the tag, or the failing status in `status`.
std::string Seal(CipherSuite& suite, const std::string& nonce, const std::string& aad, const std::string& plain,
                 int& status) {
  ByteString out;
  status = suite.PrepareAead(Wire(nonce), Wire(aad), nullptr);
  if (status == 0) status = suite.Encrypt(plain.data(), int(plain.size()), out);
  return Str(out);
}

std::string Open(CipherSuite& suite, const std::string& nonce, const std::string& aad, const std::string& sealed,
                 const std::string& tag, int& status) {
  ByteString out, expected = Bytes(tag);
  status = suite.PrepareAead(Wire(nonce), Wire(aad), &expected);
  if (status == 0) status = suite.Decrypt(sealed.data(), int(sealed.size()), out);
  return Str(out);
}

// Every case of the file with a 96-bit IV and a 128-bit tag through one suite.
void RunWycheproof(const char* file, int code) {
  const auto rows = testsupport::WycheproofRows(
      file, "g['ivSize'], g['tagSize'], t['tcId'], t['key'], t['iv'], t['aad'], t['msg'], t['ct'], t['tag'], t['result']");
  REQUIRE_OR_SKIP(!rows.empty(), std::string(file) + " or python3 is not available");
  int valid = 0, invalid = 0;
  for (const auto& r : rows) {
    if (r.size() != 10 || r[0] != "96" || r[1] != "128") continue;
    SCOPED_TRACE(std::string(file) + " tcId " + r[2]);
    const std::string key = Unhex(r[3]), iv = Unhex(r[4]), aad = Unhex(r[5]), msg = Unhex(r[6]), ct = Unhex(r[7]),
                      tag = Unhex(r[8]);
    CipherSuite suite;
    ASSERT_EQ(CipherSuite::CopyByCode(code, suite), 0);
    const int keyStatus = suite.SetKeyAndIv(Bytes(key), ByteString());
    if (keyStatus != 0) {
      EXPECT_EQ(r[9], "invalid");  // a key size the suite's cipher does not take
      continue;
    }
    int status = 0;
    const std::string opened = Open(suite, iv, aad, ct, tag, status);
    if (r[9] == "invalid") {
      ++invalid;
      EXPECT_EQ(status, SymmetricCipher::kAuthFailed);
      EXPECT_TRUE(opened.empty());
      continue;
    }
    ++valid;
    ASSERT_EQ(status, 0);
    EXPECT_EQ(Hex(opened), Hex(msg));
    const std::string sealed = Seal(suite, iv, aad, msg, status);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(Hex(sealed), Hex(ct + tag));
  }
  EXPECT_GT(valid, 20);
  EXPECT_GT(invalid, 5);
}

TEST(RecordProtection, AesGcmWycheproof) { RunWycheproof("aes_gcm_test.json", 0x1301); }

TEST(RecordProtection, ChaCha20Poly1305Wycheproof) { RunWycheproof("chacha20_poly1305_test.json", 0x1303); }

// Records of one key in a row, each against Python's AEAD of the same nonce.
TEST(RecordProtection, AeadRecordsInARowMatchPython) {
  REQUIRE_OR_SKIP(testsupport::HavePythonModule("cryptography"), "python3 cryptography is not available");
  const std::string program =
      "import sys\n"
      "from cryptography.hazmat.primitives.ciphers.aead import AESGCM, ChaCha20Poly1305\n"
      "key = bytes(range(32))\n"
      "for alg in (AESGCM(key[:16]), AESGCM(key), ChaCha20Poly1305(key)):\n"
      "  for seq, size in enumerate((0, 17, 34, 51, 700, 150, 20)):\n"
      "    nonce = bytes(4) + seq.to_bytes(8, 'big')\n"
      "    aad = seq.to_bytes(8, 'big') + bytes([23, 3, 3]) + size.to_bytes(2, 'big')\n"
      "    print(alg.encrypt(nonce, bytes([seq]) * size, aad).hex() or '-')\n";
  bool ok = false;
  const auto lines = testsupport::Lines(testsupport::RunPython(program, ok));
  ASSERT_TRUE(ok);
  // Short records, then long ones after them: one key serves every length.
  const int sizes[] = {0, 17, 34, 51, 700, 150, 20};
  const int records = int(sizeof sizes / sizeof sizes[0]);
  ASSERT_EQ(lines.size(), size_t(3 * records));
  std::string key;
  for (int i = 0; i < 32; ++i) key += char(i);
  const int codes[] = {0x009C, 0x009D, 0x1303};
  for (int a = 0; a < 3; ++a) {
    CipherSuite writer, reader;
    ASSERT_EQ(CipherSuite::CopyByCode(codes[a], writer), 0);
    ASSERT_EQ(CipherSuite::CopyByCode(codes[a], reader), 0);
    const std::string k = key.substr(0, size_t(writer.GetKeyLength()));
    ASSERT_EQ(writer.SetKeyAndIv(Bytes(k), ByteString()), 0);
    ASSERT_EQ(reader.SetKeyAndIv(Bytes(k), ByteString()), 0);
    for (int seq = 0; seq < records; ++seq) {
      SCOPED_TRACE("suite " + std::to_string(codes[a]) + " record " + std::to_string(seq));
      std::string number(8, '\0');
      number[7] = char(seq);
      const std::string nonce = std::string(4, '\0') + number;
      const std::string aad = number + std::string{23, 3, 3, char(sizes[seq] >> 8), char(sizes[seq] & 0xFF)};
      const std::string plain(size_t(sizes[seq]), char(seq));
      int status = 0;
      const std::string sealed = Seal(writer, nonce, aad, plain, status);
      ASSERT_EQ(status, 0);
      EXPECT_EQ(sealed.size(), plain.size() + 16);
      EXPECT_EQ(Hex(sealed), lines[size_t(a * records + seq)]);
      const std::string body = sealed.substr(0, plain.size()), tag = sealed.substr(plain.size());
      EXPECT_EQ(Open(reader, nonce, aad, body, tag, status), plain);
      EXPECT_EQ(status, 0);
    }
  }
}

TEST(RecordProtection, AeadFailures) {
  CipherSuite suite;
  ASSERT_EQ(CipherSuite::CopyByCode(0xC02F, suite), 0);
  ASSERT_EQ(suite.SetKeyAndIv(Bytes(std::string(16, 'k')), ByteString()), 0);
  const std::string nonce(12, 'n'), aad(13, 'a'), plain = "attack at dawn";
  int status = 0;
  const std::string sealed = Seal(suite, nonce, aad, plain, status);
  ASSERT_EQ(status, 0);
  const std::string body = sealed.substr(0, plain.size());
  std::string tag = sealed.substr(plain.size());
  tag[5] ^= 1;
  ByteString out("kept");
  ByteString wrong = Bytes(tag);
  ASSERT_EQ(suite.PrepareAead(Wire(nonce), Wire(aad), &wrong), 0);
  EXPECT_EQ(suite.Decrypt(body.data(), int(body.size()), out), SymmetricCipher::kAuthFailed);
  EXPECT_STREQ(out.CStr(), "kept");  // nothing of the forged record is appended
  // A tag is used for one record only; without one the record fails.
  EXPECT_EQ(suite.Decrypt(body.data(), int(body.size()), out), SymmetricCipher::kAuthFailed);
  ByteString shortTag = Bytes(sealed.substr(plain.size(), 12));
  ASSERT_EQ(suite.PrepareAead(Wire(nonce), Wire(aad), &shortTag), 0);
  EXPECT_EQ(suite.Decrypt(body.data(), int(body.size()), out), SymmetricCipher::kAuthFailed);

  CipherSuite chacha;
  ASSERT_EQ(CipherSuite::CopyByCode(0x1303, chacha), 0);
  ASSERT_EQ(chacha.SetKeyAndIv(Bytes(std::string(32, 'k')), ByteString()), 0);
  ASSERT_EQ(chacha.PrepareAead(Wire(nonce), Wire(aad), nullptr), 0);
  EXPECT_EQ(chacha.Decrypt(body.data(), int(body.size()), out), SymmetricCipher::kNoTag);
}

// The CBC chain runs on from record to record, also across a copy of the state.
TEST(RecordProtection, CbcRecordsChainLikeOneMessage) {
  REQUIRE_OR_SKIP(testsupport::HavePythonModule("cryptography"), "python3 cryptography is not available");
  const std::string program =
      "from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes\n"
      "key, iv = bytes(range(32)), bytes(range(100, 116))\n"
      "data = bytes(range(48)) + bytes(range(200, 232))\n"
      "e = Cipher(algorithms.AES(key), modes.CBC(iv)).encryptor()\n"
      "print((e.update(data) + e.finalize()).hex())\n"
      "k3, iv3 = bytes(range(24)), bytes(range(8))\n"
      "try:\n"
      "  from cryptography.hazmat.decrepit.ciphers.algorithms import TripleDES\n"
      "except ImportError:\n"
      "  TripleDES = algorithms.TripleDES\n"
      "e = Cipher(TripleDES(k3), modes.CBC(iv3)).encryptor()\n"
      "print((e.update(data) + e.finalize()).hex())\n";
  bool ok = false;
  const auto lines = testsupport::Lines(testsupport::RunPython(program, ok));
  ASSERT_TRUE(ok);
  ASSERT_EQ(lines.size(), 2u);
  std::string data;
  for (int i = 0; i < 48; ++i) data += char(i);
  for (int i = 200; i < 232; ++i) data += char(i);
  struct Case {
    int code;
    int keyBytes;
    int ivFrom;
    int ivBytes;
  };
  const Case cases[] = {{0x0035, 32, 100, 16}, {0x000A, 24, 0, 8}};
  for (int c = 0; c < 2; ++c) {
    SCOPED_TRACE(cases[c].code);
    std::string key, iv;
    for (int i = 0; i < cases[c].keyBytes; ++i) key += char(i);
    for (int i = 0; i < cases[c].ivBytes; ++i) iv += char(cases[c].ivFrom + i);
    RecordCipherState writer, reader;
    ASSERT_EQ(writer.SetSuiteByCode(cases[c].code), 0);
    ASSERT_EQ(reader.SetSuiteByCode(cases[c].code), 0);
    ASSERT_EQ(writer.SetKeyAndIv(Bytes(key), Bytes(iv)), 0);
    ASSERT_EQ(reader.SetKeyAndIv(Bytes(key), Bytes(iv)), 0);
    ByteString first, second, plain;
    ASSERT_EQ(writer.Suite().Encrypt(data.data(), 48, first), 0);
    RecordCipherState copy;
    ASSERT_EQ(copy.CopyFrom(writer), 0);
    ASSERT_EQ(copy.Suite().Encrypt(data.data() + 48, 32, second), 0);
    EXPECT_EQ(Hex(Str(first) + Str(second)), lines[size_t(c)]);
    ASSERT_EQ(writer.Suite().Encrypt(data.data() + 48, 32, first), 0);
    EXPECT_EQ(Hex(Str(first)), lines[size_t(c)]);
    ASSERT_EQ(reader.Suite().Decrypt(Str(first).substr(0, 16).data(), 16, plain), 0);
    ASSERT_EQ(reader.Suite().Decrypt(Str(first).substr(16).data(), first.Length() - 16, plain), 0);
    EXPECT_EQ(Str(plain), data);
  }
}

// A CBC record that is not whole blocks is refused, in either direction, and
// leaves nothing behind for the next record.
TEST(RecordProtection, CbcRecordsAreWholeBlocks) {
  CipherSuite writer, reader;
  ASSERT_EQ(CipherSuite::CopyByCode(0x000A, writer), 0);
  ASSERT_EQ(CipherSuite::CopyByCode(0x000A, reader), 0);
  const ByteString key(std::string(24, 'k').c_str()), iv("12345678");
  ASSERT_EQ(writer.SetKeyAndIv(key, iv), 0);
  ASSERT_EQ(reader.SetKeyAndIv(key, iv), 0);
  ByteString sealed, opened;
  EXPECT_EQ(writer.Encrypt("0123456789", 10, sealed), SymmetricCipher::kPartialBlock);
  EXPECT_TRUE(sealed.IsEmpty());
  ASSERT_EQ(writer.Encrypt("0123456789abcdef", 16, sealed), 0);
  EXPECT_EQ(reader.Decrypt(sealed.Data(), 15, opened), SymmetricCipher::kPartialBlock);
  ASSERT_EQ(reader.Decrypt(sealed, opened), 0);
  EXPECT_EQ(Str(opened), "0123456789abcdef");
}

// RC4 records take any length and continue one key stream (Python's ARC4 over both).
TEST(RecordProtection, Rc4RecordsContinueTheKeyStream) {
  REQUIRE_OR_SKIP(testsupport::HavePythonModule("cryptography"), "python3 cryptography is not available");
  bool ok = false;
  const auto lines = testsupport::Lines(testsupport::RunPython(
      "from cryptography.hazmat.primitives.ciphers import Cipher\n"
      "try:\n"
      "  from cryptography.hazmat.decrepit.ciphers.algorithms import ARC4\n"
      "except ImportError:\n"
      "  from cryptography.hazmat.primitives.ciphers.algorithms import ARC4\n"
      "e = Cipher(ARC4(b'0123456789abcdef'), None).encryptor()\n"
      "print(e.update(b'first record' + b'second, longer record').hex())\n",
      ok));
  ASSERT_TRUE(ok);
  ASSERT_EQ(lines.size(), 1u);
  CipherSuite rc4;
  ASSERT_EQ(CipherSuite::CopyByCode(0x0005, rc4), 0);
  ASSERT_EQ(rc4.SetKeyAndIv(ByteString("0123456789abcdef"), ByteString()), 0);
  ByteString sealed;
  ASSERT_EQ(rc4.Encrypt("first record", 12, sealed), 0);
  ASSERT_EQ(rc4.Encrypt("second, longer record", 21, sealed), 0);
  EXPECT_EQ(Hex(Str(sealed)), lines[0]);
}

TEST(RecordProtection, MacAndPads) {
  REQUIRE_OR_SKIP(testsupport::HavePythonModule("hmac"), "python3 is not available");
  bool ok = false;
  const auto lines = testsupport::Lines(testsupport::RunPython(
      "import hmac, hashlib\n"
      "for h in ('sha1', 'md5', 'sha256', 'sha384'):\n"
      "  print(hmac.new(b'mac secret', b'record data', h).hexdigest())\n",
      ok));
  ASSERT_TRUE(ok);
  const int codes[] = {0x002F, 0x0004, 0x003C, 0xC024};
  for (int i = 0; i < 4; ++i) {
    CipherSuite suite;
    ASSERT_EQ(CipherSuite::CopyByCode(codes[i], suite), 0);
    ASSERT_EQ(suite.SetMacSecret(ByteString("mac secret")), 0);
    ByteString mac;
    ASSERT_EQ(suite.ComputeMac(ByteString("record data"), mac), 0);
    EXPECT_EQ(Hex(Str(mac)), lines[size_t(i)]);
    // A copy is keyed with the copied secret.
    CipherSuite copy;
    ASSERT_EQ(copy.CopyFrom(suite), 0);
    ASSERT_EQ(copy.ComputeMac(ByteString("record data"), mac), 0);
    EXPECT_EQ(Hex(Str(mac)), lines[size_t(i)]);
  }
  CipherSuite md5, sha;
  ASSERT_EQ(CipherSuite::CopyByCode(0x0004, md5), 0);
  ASSERT_EQ(CipherSuite::CopyByCode(0x0005, sha), 0);
  ByteString pad;
  ASSERT_EQ(md5.Ssl3Pad1(pad), 0);
  EXPECT_EQ(Str(pad), std::string(48, '\x36'));
  ASSERT_EQ(sha.Ssl3Pad1(pad), 0);
  EXPECT_EQ(Str(pad), std::string(40, '\x36'));
  ASSERT_EQ(md5.Ssl3Pad2(pad), 0);
  EXPECT_EQ(Str(pad), std::string(48, '\x5C'));
  ASSERT_EQ(sha.Ssl3Pad2(pad), 0);
  EXPECT_EQ(Str(pad), std::string(40, '\x5C'));
  // Not an AEAD suite: PrepareAead does nothing.
  EXPECT_EQ(sha.PrepareAead(Wire("n"), Wire("a"), nullptr), 0);
}

TEST(RecordCipherState, SequenceAndReset) {
  RecordCipherState state;
  EXPECT_EQ(state.IsActive(), 0);
  EXPECT_EQ(state.Suite().IsEmpty(), 1);
  ASSERT_EQ(state.SetSuiteByCode(0x0047), 0);  // not in the registry: nothing changes
  EXPECT_EQ(state.Suite().IsEmpty(), 1);
  ASSERT_EQ(state.SetSuiteByCode(0x1302), 0);
  EXPECT_EQ(state.NextSequence(), 0u);
  EXPECT_EQ(state.NextSequence(), 1u);
  ASSERT_EQ(state.Activate(), 0);
  EXPECT_EQ(state.IsActive(), 1);
  EXPECT_EQ(state.NextSequence(), 0u);
  EXPECT_EQ(state.NextSequence(), 1u);
  EXPECT_EQ(state.NextSequence(), 2u);
  state.SetCompressionMethod(1);
  ASSERT_EQ(state.SetFixedIv(ByteString("123456789012")), 0);
  RecordCipherState copy;
  ASSERT_EQ(copy.CopyFrom(state), 0);
  EXPECT_EQ(copy.GetSequence(), 3u);
  EXPECT_EQ(copy.GetCompressionMethod(), 1);
  EXPECT_EQ(copy.Suite().GetCode(), 0x1302);
  ByteString iv;
  ASSERT_EQ(copy.GetFixedIv(iv), 0);
  EXPECT_STREQ(iv.CStr(), "123456789012");
  ASSERT_EQ(state.Reset(), 0);
  EXPECT_EQ(state.IsActive(), 0);
  EXPECT_EQ(state.GetSequence(), 0u);
  EXPECT_EQ(state.GetCompressionMethod(), 0);
  EXPECT_EQ(state.Suite().GetCode(), 0x1302);
  ASSERT_EQ(state.GetFixedIv(iv), 0);
  EXPECT_TRUE(iv.IsEmpty());
}

}  // namespace
