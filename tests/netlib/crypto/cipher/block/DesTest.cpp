#include "crypto/cipher/block/Des.h"
#include "crypto/cipher/block/DesCipher.h"
#include "crypto/cipher/block/TripleDesCipher.h"

#include "../CipherTestUtil.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace ciphertest;
using namespace tornell;

namespace {

std::string DesEncrypt(const Bytes& key, const Bytes& block, int decrypt = 0) {
  DesSchedule s;
  DesKeySchedule(s, key.data(), decrypt);
  unsigned char out[8];
  DesCryptBlock(s, block.data(), out);
  return Hex(out, 8);
}

TEST(Des, PublishedVectorsBothDirections) {
  struct { const char *key, *plain, *cipher; } cases[] = {
      {"133457799bbcdff1", "0123456789abcdef", "85e813540f0ab405"},
      {"0123456789abcdef", "4e6f772069732074", "3fa40e8a984d4815"},
      {"0101010101010101", "95f8a5e5dd31d900", "8000000000000000"},  // variable-plaintext KAT
      {"8001010101010101", "0000000000000000", "95a8d72813daa94d"},  // variable-key KAT
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DesEncrypt(Unhex(c.key), Unhex(c.plain)), c.cipher);
    EXPECT_EQ(DesEncrypt(Unhex(c.key), Unhex(c.cipher), 1), c.plain);
  }
}

TEST(Des, ParityBitsAreIgnoredAndInPlaceWorks) {
  Bytes key = Unhex("133457799bbcdff1"), flipped = key, pt = Unhex("0123456789abcdef");
  for (auto& b : flipped) b ^= 1;
  DesSchedule a, b;
  DesKeySchedule(a, key.data(), 0);
  DesKeySchedule(b, flipped.data(), 0);
  EXPECT_EQ(0, std::memcmp(&a, &b, sizeof a));
  DesCryptBlock(a, pt.data(), pt.data());
  EXPECT_EQ(Hex(pt), "85e813540f0ab405");
}

TEST(TripleDes, Sp80067ExampleAndKeyForms) {
  Bytes key = Unhex("0123456789abcdef23456789abcdef01456789abcdef0123");
  Bytes pt = Unhex("5468652071756663" "6b2062726f776e20" "666f78206a756d70");
  const std::string ct = "a826fd8ce53b855f" "cce21c8112256fe6" "68d5c05dd9b6b900";
  TripleDesCipher enc, dec, copy;
  EXPECT_EQ(0, enc.SetKey(key.data(), 24, 1, 1));
  EXPECT_EQ(0, dec.SetKey(key.data(), 24, 0, 1));
  Bytes out(24);
  for (int i = 0; i < 24; i += 8) EXPECT_EQ(0, enc.EncryptBlock(&pt[i], &out[i]));
  EXPECT_EQ(Hex(out), ct);
  EXPECT_EQ(0, copy.CopyFrom(dec));
  for (int i = 0; i < 24; i += 8) EXPECT_EQ(0, copy.DecryptBlock(&out[i], &out[i]));
  EXPECT_EQ(Hex(out), Hex(pt));

  // Two-key form: K1 K2 behaves as K1 K2 K1.
  Bytes k16(key.begin(), key.begin() + 16), k24 = k16;
  k24.insert(k24.end(), key.begin(), key.begin() + 8);
  TripleDesCipher a, b;
  EXPECT_EQ(0, a.SetKey(k16.data(), 16, 1, 1));
  EXPECT_EQ(0, b.SetKey(k24.data(), 24, 1, 1));
  unsigned char x[8], y[8];
  EXPECT_EQ(0, a.EncryptBlock(pt.data(), x));
  EXPECT_EQ(0, b.EncryptBlock(pt.data(), y));
  EXPECT_EQ(Hex(x, 8), Hex(y, 8));

  // Equal thirds degenerate to single DES; CFB decrypt keeps the forward schedule.
  Bytes k1(key.begin(), key.begin() + 8), same = k1;
  same.insert(same.end(), k1.begin(), k1.end());
  same.insert(same.end(), k1.begin(), k1.end());
  TripleDesCipher t;
  EXPECT_EQ(0, t.SetKey(same.data(), 24, 0, 4));
  EXPECT_EQ(0, t.EncryptBlock(pt.data(), x));
  EXPECT_EQ(Hex(x, 8), DesEncrypt(k1, Bytes(pt.begin(), pt.begin() + 8)));
  DesCipher d;
  EXPECT_EQ(0, d.SetKey(k1.data(), 8, 0, 3));
  EXPECT_EQ(0, d.EncryptBlock(pt.data(), y));
  EXPECT_EQ(Hex(y, 8), Hex(x, 8));
}

TEST(TripleDes, RandomKeysAgainstPythonCryptography) {
  REQUIRE_OR_SKIP(HavePythonModule("cryptography"), "python3-cryptography not installed");
  bool ok = false;
  const std::string text = RunPython(R"(
import os, warnings
warnings.filterwarnings('ignore')
try:
    from cryptography.hazmat.decrepit.ciphers.algorithms import TripleDES
except ImportError:
    from cryptography.hazmat.primitives.ciphers.algorithms import TripleDES
from cryptography.hazmat.primitives.ciphers import Cipher, modes
for n in (8, 16, 24, 24, 16, 24):
    k, p = os.urandom(n), os.urandom(40)
    e = Cipher(TripleDES(k * (24 // n) if n == 8 else k), modes.ECB()).encryptor()
    print(k.hex(), p.hex(), (e.update(p) + e.finalize()).hex())
)",
                                     ok);
  ASSERT_TRUE(ok);
  auto rows = Rows(text);
  ASSERT_EQ(rows.size(), 6u);
  for (const auto& r : rows) {
    Bytes key = Unhex(r[0]), pt = Unhex(r[1]), out(pt.size());
    if (key.size() == 8) {
      DesCipher c;
      EXPECT_EQ(0, c.SetKey(key.data(), 8, 1, 2));
      for (size_t i = 0; i < pt.size(); i += 8) EXPECT_EQ(0, c.EncryptBlock(&pt[i], &out[i]));
    } else {
      TripleDesCipher c;
      EXPECT_EQ(0, c.SetKey(key.data(), static_cast<int>(key.size()), 1, 2));
      for (size_t i = 0; i < pt.size(); i += 8) EXPECT_EQ(0, c.EncryptBlock(&pt[i], &out[i]));
    }
    EXPECT_EQ(Hex(out), r[2]) << r[0];
  }
}

TEST(Des, RandomKeysAgainstOpensslLegacyProvider) {
  bool ok = false;
  RunCommand("openssl enc -des-ecb -provider legacy -provider default -K 0123456789abcdef "
             "-nopad -in /dev/null 2>/dev/null",
             ok);
  REQUIRE_OR_SKIP(ok, "openssl legacy provider (DES) not available");
  const char* keys[] = {"fedcba9876543210", "0e329232ea6d0d73", "a1b2c3d4e5f60718"};
  const std::string pt = "0123456789abcdef" "1122334455667788";
  for (const char* k : keys) {
    const std::string out = RunCommand("printf '" + PrintfEscapes(Unhex(pt)) +
                                           "' | openssl enc -des-ecb -provider legacy -provider "
                                           "default -nopad -K " + k + " | " + kHexDump, ok);
    ASSERT_TRUE(ok);
    Bytes key = Unhex(k), p = Unhex(pt);
    EXPECT_EQ(DesEncrypt(key, Bytes(p.begin(), p.begin() + 8)) +
                  DesEncrypt(key, Bytes(p.begin() + 8, p.end())),
              out);
  }
}

}  // namespace
