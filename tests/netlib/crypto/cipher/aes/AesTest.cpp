#include "crypto/cipher/aes/Aes.h"
#include "crypto/cipher/aes/AesCipher.h"
#include "crypto/cipher/aes/AesHardware.h"

#include "../CipherTestUtil.h"
#include "ProcessorPath.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace ciphertest;
using namespace tornell;

namespace {

// Every AES case runs on the 256-bit VAES instructions (CBC decryption
// uses them), on AES-NI (each skipped where the processor lacks it) and on
// the portable code.
class AesPaths : public ::testing::TestWithParam<uint32_t> {};

INSTANTIATE_TEST_SUITE_P(Both, AesPaths,
                         ::testing::Values(cpu::path::kAesVaes256, cpu::path::kAesNi, testsupport::kPortablePath),
                         [](const auto& info) {
                           return info.param == 0                      ? "Portable"
                                  : info.param == cpu::path::kAesNi ? "Hardware"
                                                                      : "Vaes256";
                         });

struct BlockVector {
  const char* key;
  const char* plain;
  const char* cipher;
  int rounds;
};

// FIPS 197 appendix C and the SP 800-38A ECB examples.
const BlockVector kBlockVectors[] = {
    {"000102030405060708090a0b0c0d0e0f", "00112233445566778899aabbccddeeff",
     "69c4e0d86a7b0430d8cdb78070b4c55a", 10},
    {"000102030405060708090a0b0c0d0e0f1011121314151617", "00112233445566778899aabbccddeeff",
     "dda97ca4864cdfe06eaf70a0ec0d7191", 12},
    {"000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
     "00112233445566778899aabbccddeeff", "8ea2b7ca516745bfeafc49904b496089", 14},
    {"2b7e151628aed2a6abf7158809cf4f3c", "6bc1bee22e409f96e93d7e117393172a",
     "3ad77bb40d7a3660a89ecaf32466ef97", 10},
};

TEST_P(AesPaths, PublishedBlocksBothDirectionsAndInPlace) {
  USE_PROCESSOR_PATH_OR_SKIP(GetParam());
  for (const auto& v : kBlockVectors) {
    Bytes key = Unhex(v.key), pt = Unhex(v.plain), ct = Unhex(v.cipher);
    uint32_t enc[60], dec[60];
    const int bits = static_cast<int>(key.size() * 8);
    ASSERT_EQ(AesKeySetupEncrypt(enc, key.data(), bits), v.rounds);
    ASSERT_EQ(AesKeySetupDecrypt(dec, key.data(), bits), v.rounds);
    unsigned char out[16];
    AesEncryptBlock(enc, v.rounds, pt.data(), out);
    EXPECT_EQ(Hex(out, 16), v.cipher);
    AesDecryptBlock(dec, v.rounds, ct.data(), out);
    EXPECT_EQ(Hex(out, 16), v.plain);
    unsigned char buf[16];
    std::memcpy(buf, pt.data(), 16);
    AesEncryptBlock(enc, v.rounds, buf, buf);
    EXPECT_EQ(Hex(buf, 16), v.cipher);
    AesDecryptBlock(dec, v.rounds, buf, buf);
    EXPECT_EQ(Hex(buf, 16), v.plain);
  }
}

// SP 800-38A F.2.1/F.2.2, then a longer message (the sixteen- and eight-block loops and
// their tail) decrypted whole, in place and in pieces against block calls.
TEST_P(AesPaths, CbcEntriesBothDirectionsInPlaceAndInPieces) {
  USE_PROCESSOR_PATH_OR_SKIP(GetParam());
  const Bytes key = Unhex("2b7e151628aed2a6abf7158809cf4f3c"), iv = Unhex("000102030405060708090a0b0c0d0e0f");
  const Bytes pt = Unhex("6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51"
                         "30c81c46a35ce411e5fbc1191a0a52eff69f2445df4f9b17ad2b417be66c3710");
  const std::string ct = "7649abac8119b246cee98e9b12e9197d5086cb9b507219ee95db113a917678b2"
                         "73bed6b8e3c1743b7116e69e222295163ff1caa1681fac09120eca307586e1a7";
  AesCipher enc, dec;
  ASSERT_EQ(0, enc.SetKey(key.data(), 16, 1, 1));
  ASSERT_EQ(0, dec.SetKey(key.data(), 16, 0, 1));
  Bytes chain = iv, out(pt.size());
  ASSERT_EQ(0, enc.EncryptCbc(chain.data(), pt.data(), out.data(), 4));
  EXPECT_EQ(Hex(out), ct);
  EXPECT_EQ(Hex(chain), ct.substr(96));
  chain = iv;
  ASSERT_EQ(0, dec.DecryptCbc(chain.data(), out.data(), out.data(), 4));
  EXPECT_EQ(Hex(out), Hex(pt));
  EXPECT_EQ(Hex(chain), ct.substr(96));

  const int blocks = 16 * 2 + 8 + 5;
  Bytes longPt(16 * blocks), longCt(16 * blocks), want(16 * blocks);
  for (size_t i = 0; i < longPt.size(); ++i) longPt[i] = uint8_t(i * 37 + 11);
  chain = iv;
  ASSERT_EQ(0, enc.EncryptCbc(chain.data(), longPt.data(), longCt.data(), blocks));
  for (int b = 0; b < blocks; ++b) {
    ASSERT_EQ(0, dec.DecryptBlock(longCt.data() + 16 * b, want.data() + 16 * b));
    for (int k = 0; k < 16; ++k) want[16 * b + k] ^= b == 0 ? iv[k] : longCt[16 * (b - 1) + k];
  }
  EXPECT_EQ(Hex(want), Hex(longPt));
  Bytes whole(longCt.size()), inPlace = longCt, pieces(longCt.size());
  chain = iv;
  ASSERT_EQ(0, dec.DecryptCbc(chain.data(), longCt.data(), whole.data(), blocks));
  EXPECT_EQ(Hex(whole), Hex(longPt));
  chain = iv;
  ASSERT_EQ(0, dec.DecryptCbc(chain.data(), inPlace.data(), inPlace.data(), blocks));
  EXPECT_EQ(Hex(inPlace), Hex(longPt));
  EXPECT_EQ(Hex(chain), Hex(longCt.data() + 16 * (blocks - 1), 16));
  chain = iv;
  int at = 0;
  for (int n : {3, 17, 1, 16, 8}) {
    ASSERT_EQ(0, dec.DecryptCbc(chain.data(), longCt.data() + 16 * at, pieces.data() + 16 * at, n));
    at += n;
  }
  EXPECT_EQ(Hex(pieces), Hex(longPt));
}

TEST_P(AesPaths, KeyExpansionWordsAndInvalidLengths) {
  USE_PROCESSOR_PATH_OR_SKIP(GetParam());
  // FIPS 197 appendix A: first derived and last schedule words.
  struct {
    const char* key;
    int words;
    uint32_t first, last;
  } cases[] = {
      {"2b7e151628aed2a6abf7158809cf4f3c", 44, 0xa0fafe17, 0xb6630ca6},
      {"8e73b0f7da0e6452c810f32b809079e562f8ead2522c6b7b", 52, 0xfe0c91f7, 0x01002202},
      {"603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4", 60, 0x9ba35411,
       0x706c631e},
  };
  for (const auto& c : cases) {
    Bytes key = Unhex(c.key);
    uint32_t w[60], d[60];
    const int nk = static_cast<int>(key.size() / 4);
    const int rounds = AesKeySetupEncrypt(w, key.data(), nk * 32);
    EXPECT_EQ((rounds + 1) * 4, c.words);
    EXPECT_EQ(w[nk], c.first);
    EXPECT_EQ(w[c.words - 1], c.last);
    // The decryption schedule starts with the last round key, unchanged.
    AesKeySetupDecrypt(d, key.data(), nk * 32);
    EXPECT_EQ(d[3], c.last);
    EXPECT_EQ(d[c.words - 4], w[0]);
  }
  uint32_t w[60];
  unsigned char key[32] = {};
  EXPECT_EQ(AesKeySetupEncrypt(w, key, 64), 0);
  EXPECT_EQ(AesKeySetupDecrypt(w, key, 160), 0);
}

// The AESKEYGENASSIST schedule, byte for byte the word schedule above (which
// the FIPS 197 words check), for keys of every size with every byte value.
TEST(AesHardwareSchedule, MatchesTheWordScheduleForEveryKeySize) {
  USE_PROCESSOR_PATH_OR_SKIP(cpu::path::kAesNi);
  for (int keyBytes : {16, 24, 32}) {
    for (int seed = 0; seed < 64; ++seed) {
      unsigned char key[32];
      for (int i = 0; i < keyBytes; ++i) key[i] = static_cast<unsigned char>(seed * 67 + i * 29 + (seed >> 3) * i);
      uint32_t words[60];
      const int rounds = AesKeySetupEncrypt(words, key, keyBytes * 8);
      unsigned char expected[15 * 16], got[15 * 16];
      aeshw::SwapSchedule(words, rounds, expected);
      std::memset(got, 0xA5, sizeof got);
      ASSERT_EQ(rounds, aeshw::ExpandEncryptKeySwapped(key, keyBytes * 8, got)) << keyBytes;
      ASSERT_EQ(0, std::memcmp(expected, got, size_t(16 * (rounds + 1)))) << keyBytes << " " << seed;
      // Nothing beyond the last round key is touched.
      for (size_t i = size_t(16 * (rounds + 1)); i < sizeof got; ++i) ASSERT_EQ(0xA5, got[i]);
    }
  }
  unsigned char key[32] = {}, out[15 * 16] = {};
  EXPECT_EQ(0, aeshw::ExpandEncryptKeySwapped(key, 64, out));
  EXPECT_EQ(0, aeshw::ExpandEncryptKeySwapped(key, 160, out));
}

// Random keys and data against Python's cryptography: ECB over 19 blocks
// (wide and single-block paths) and CFB-128 over 37 bytes.
TEST_P(AesPaths, RandomDataAgainstPythonCryptography) {
  USE_PROCESSOR_PATH_OR_SKIP(GetParam());
  REQUIRE_OR_SKIP(HavePythonModule("cryptography"), "python3-cryptography not installed");
  bool ok = false;
  const std::string text = RunPython(R"(
import os
from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes
for n in (16, 24, 32):
    for _ in range(4):
        k, iv, p, q = os.urandom(n), os.urandom(16), os.urandom(16 * 19), os.urandom(37)
        e = Cipher(algorithms.AES(k), modes.ECB()).encryptor()
        c = e.update(p) + e.finalize()
        f = Cipher(algorithms.AES(k), modes.CFB(iv)).encryptor()
        d = f.update(q) + f.finalize()
        print(k.hex(), iv.hex(), p.hex(), c.hex(), q.hex(), d.hex())
)",
                                     ok);
  ASSERT_TRUE(ok);
  auto rows = Rows(text);
  ASSERT_EQ(rows.size(), 12u);
  for (const auto& r : rows) {
    Bytes key = Unhex(r[0]), iv = Unhex(r[1]), pt = Unhex(r[2]), q = Unhex(r[4]);
    const int len = static_cast<int>(key.size());
    AesCipher enc, dec;
    ASSERT_EQ(enc.SetKey(key.data(), len, 1, 2), 0);
    ASSERT_EQ(dec.SetKey(key.data(), len, 0, 2), 0);
    Bytes out(pt.size());
    ASSERT_EQ(enc.EncryptBlocks(pt.data(), out.data(), 19), 0);
    EXPECT_EQ(Hex(out), r[3]);
    ASSERT_EQ(dec.DecryptBlocks(out.data(), out.data(), 19), 0);
    EXPECT_EQ(Hex(out), r[2]);
    Bytes cfb = q;
    AesCfb128Encrypt(cfb.data(), 37, key.data(), len * 8, iv.data());
    EXPECT_EQ(Hex(cfb), r[5]);
    AesCfb128Decrypt(cfb.data(), 37, key.data(), len * 8, iv.data());
    EXPECT_EQ(Hex(cfb), r[4]);
    EXPECT_EQ(Hex(iv), r[1]);
  }
}

// Wycheproof AES-CBC with PKCS#5 padding, through the raw block functions.
TEST_P(AesPaths, WycheproofCbcPkcs5) {
  USE_PROCESSOR_PATH_OR_SKIP(GetParam());
  const auto path = testsupport::VectorsDir() / "wycheproof" / "aes_cbc_pkcs5_test.json";
  REQUIRE_OR_SKIP(std::filesystem::exists(path), "Wycheproof aes_cbc_pkcs5_test.json missing");
  auto rows = testsupport::WycheproofRows("aes_cbc_pkcs5_test.json",
                                          "t['tcId'], t['result'], t['key'], t['iv'], t['msg'], t['ct']");
  ASSERT_GT(rows.size(), 100u);
  for (const auto& r : rows) {
    Bytes key = Unhex(r[2]), iv = Unhex(r[3]), msg = Unhex(r[4]), ct = Unhex(r[5]);
    const int bits = static_cast<int>(key.size() * 8);
    uint32_t enc[60], dec[60];
    const int rounds = AesKeySetupEncrypt(enc, key.data(), bits);
    ASSERT_EQ(AesKeySetupDecrypt(dec, key.data(), bits), rounds) << r[0];
    if (r[1] == "valid") {
      Bytes p = msg;
      const size_t pad = 16 - p.size() % 16;
      p.insert(p.end(), pad, static_cast<unsigned char>(pad));
      Bytes chain = iv;
      for (size_t i = 0; i < p.size(); i += 16) {
        for (int j = 0; j < 16; ++j) p[i + j] ^= chain[j];
        AesEncryptBlock(enc, rounds, &p[i], &p[i]);
        chain.assign(p.begin() + i, p.begin() + i + 16);
      }
      EXPECT_EQ(Hex(p), r[5]) << "tcId " << r[0];
    }
    if (ct.empty() || ct.size() % 16 != 0) continue;
    Bytes p(ct.size());
    for (size_t i = 0; i < ct.size(); i += 16) {
      AesDecryptBlock(dec, rounds, &ct[i], &p[i]);
      for (int j = 0; j < 16; ++j) p[i + j] ^= i == 0 ? iv[j] : ct[i - 16 + j];
    }
    const unsigned pad = p.back();
    bool padOk = pad >= 1 && pad <= 16;
    for (unsigned j = 1; padOk && j <= pad; ++j) padOk = p[p.size() - j] == pad;
    if (r[1] == "valid") {
      ASSERT_TRUE(padOk) << r[0];
      EXPECT_EQ(Hex(p.data(), p.size() - pad), r[4]) << "tcId " << r[0];
    } else {
      EXPECT_FALSE(padOk) << "tcId " << r[0];
    }
  }
}

TEST_P(AesPaths, EcbPkcs7OneShotLengths) {
  USE_PROCESSOR_PATH_OR_SKIP(GetParam());
  Bytes key = Unhex("000102030405060708090a0b0c0d0e0f");
  uint32_t enc[60];
  const int rounds = AesKeySetupEncrypt(enc, key.data(), 128);
  unsigned char sixteen[16];
  std::memset(sixteen, 0x10, 16);
  unsigned char expectPad[16];
  AesEncryptBlock(enc, rounds, sixteen, expectPad);

  unsigned char buf[300] = {};
  int len = 0;
  AesEcbPkcs7Encrypt(buf, len, key.data(), 128, nullptr);
  EXPECT_EQ(len, 16);
  EXPECT_EQ(Hex(buf, 16), Hex(expectPad, 16));
  AesEcbPkcs7Decrypt(buf, len, key.data(), 128, nullptr);
  EXPECT_EQ(len, 0);

  struct { int in, out; } grow[] = {{16, 32}, {20, 32}, {31, 32}, {33, 48}};
  for (const auto& g : grow) {
    for (int i = 0; i < g.in; ++i) buf[i] = static_cast<unsigned char>(i + 1);
    len = g.in;
    AesEcbPkcs7Encrypt(buf, len, key.data(), 128, nullptr);
    EXPECT_EQ(len, g.out);
    AesEcbPkcs7Decrypt(buf, len, key.data(), 128, nullptr);
    EXPECT_EQ(len, g.in);
    for (int i = 0; i < g.in; ++i) ASSERT_EQ(buf[i], i + 1);
  }

  // 256 bytes whose last plain byte is 0xC8 drop 200 bytes, never negative.
  for (int i = 0; i < 256; ++i) buf[i] = 0xC8;
  AesEncryptBlocks(enc, rounds, buf, buf, 16);
  len = 256;
  AesEcbPkcs7Decrypt(buf, len, key.data(), 128, nullptr);
  EXPECT_EQ(len, 56);
}

TEST_P(AesPaths, ObjectDirectionRuleAndCopy) {
  USE_PROCESSOR_PATH_OR_SKIP(GetParam());
  Bytes key = Unhex("000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f");
  Bytes pt = Unhex("00112233445566778899aabbccddeeff");
  const std::string ct = "8ea2b7ca516745bfeafc49904b496089";
  unsigned char out[16];
  for (int mode : {3, 4}) {  // OFB, CFB: forward cipher even when decrypting
    AesCipher a;
    ASSERT_EQ(a.SetKey(key.data(), 32, 0, mode), 0);
    EXPECT_EQ(a.GetRounds(), 14);
    EXPECT_EQ(0, a.EncryptBlock(pt.data(), out));
    EXPECT_EQ(Hex(out, 16), ct);
  }
  AesCipher dec, copy;
  ASSERT_EQ(dec.SetKey(key.data(), 32, 0, 1), 0);
  ASSERT_EQ(copy.CopyFrom(dec), 0);
  Bytes c = Unhex(ct);
  EXPECT_EQ(0, copy.DecryptBlock(c.data(), out));
  EXPECT_EQ(Hex(out, 16), Hex(pt));
  // A cipher never keyed runs on the all-zero schedule; copied over a keyed
  // one, it takes that one back there, old round keys gone.
  AesCipher fresh, reset;
  ASSERT_EQ(reset.SetKey(key.data(), 32, 1, 1), 0);
  ASSERT_EQ(reset.CopyFrom(fresh), 0);
  unsigned char fromFresh[16], fromReset[16];
  EXPECT_EQ(0, fresh.EncryptBlock(pt.data(), fromFresh));
  EXPECT_EQ(0, reset.EncryptBlock(pt.data(), fromReset));
  EXPECT_EQ(Hex(fromReset, 16), Hex(fromFresh, 16));
  EXPECT_NE(Hex(fromReset, 16), ct);
}

}  // namespace
