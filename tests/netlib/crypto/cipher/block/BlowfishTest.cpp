#include "crypto/cipher/block/BlowfishCipher.h"

#include "core/text/ByteString.h"

#include "../CipherTestUtil.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace ciphertest;
using namespace tornell;

namespace {

TEST(Blowfish, PublishedVectorsAndCopy) {
  // Eric Young's table of Schneier's test data.
  struct { const char *key, *plain, *cipher; } cases[] = {
      {"0000000000000000", "0000000000000000", "4ef997456198dd78"},
      {"ffffffffffffffff", "ffffffffffffffff", "51866fd5b85ecb8a"},
      {"3000000000000000", "1000000000000001", "7d856f9a613063f2"},
      {"0123456789abcdef", "1111111111111111", "61f9c3802281b096"},
      {"fedcba9876543210", "0123456789abcdef", "0aceab0fc6a0a28d"},
      {"f0e1d2c3b4a5968778695a4b3c2d1e0f0011223344556677", "fedcba9876543210",
       "05044b62fa52d080"},
  };
  for (const auto& c : cases) {
    Bytes key = Unhex(c.key), pt = Unhex(c.plain);
    BlowfishCipher bf, copy;
    ASSERT_EQ(bf.SetKey(key.data(), static_cast<int>(key.size())), 0);
    unsigned char out[8];
    EXPECT_EQ(0, bf.EncryptBlock(pt.data(), out));
    EXPECT_EQ(Hex(out, 8), c.cipher) << c.key;
    ASSERT_EQ(copy.CopyFrom(bf), 0);
    EXPECT_EQ(0, copy.DecryptBlock(out, out));
    EXPECT_EQ(Hex(out, 8), c.plain);
  }
  BlowfishCipher empty;
  EXPECT_EQ(empty.SetKey(nullptr, 0), 1);
}

// The key feeds 18 words: bytes past 72 take no part, bytes up to 72 do.
TEST(Blowfish, KeyBytesPast72AreUnused) {
  unsigned char key[80], pt[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  for (int i = 0; i < 80; ++i) key[i] = static_cast<unsigned char>(i * 13 + 5);
  auto encrypt = [&](int length) {
    BlowfishCipher bf;
    EXPECT_EQ(0, bf.SetKey(key, length));
    unsigned char out[8];
    EXPECT_EQ(0, bf.EncryptBlock(pt, out));
    return Hex(out, 8);
  };
  EXPECT_EQ(encrypt(80), encrypt(72));
  EXPECT_NE(encrypt(72), encrypt(71));
  EXPECT_NE(encrypt(56), encrypt(55));
}

TEST(Blowfish, RandomKeysAgainstPythonCryptography) {
  bool ok = false;
  auto rows = PythonRandomRows("Blowfish", {4, 5, 16, 20, 33, 56}, 40, ok);
  REQUIRE_OR_SKIP(ok, "python3-cryptography Blowfish not available");
  for (const auto& r : rows) {
    Bytes key = Unhex(r[0]), pt = Unhex(r[1]), out(pt.size());
    BlowfishCipher bf;
    EXPECT_EQ(0, bf.SetKey(key.data(), static_cast<int>(key.size())));
    for (size_t i = 0; i < pt.size(); i += 8) EXPECT_EQ(0, bf.EncryptBlock(&pt[i], &out[i]));
    EXPECT_EQ(Hex(out), r[2]) << "key " << r[0];
  }
}

// bcrypt_pbkdf with one round and 32 output bytes is exactly one bcrypt
// hash of SHA-512(password) and SHA-512(salt || 00000001); python3-bcrypt
// provides bcrypt_pbkdf, hashlib the two digests.
TEST(Blowfish, BcryptHashMatchesBcryptPbkdf) {
  REQUIRE_OR_SKIP(HavePythonModule("bcrypt"), "python3-bcrypt not installed");
  bool ok = false;
  const std::string text = RunPython(R"(
import bcrypt, hashlib, os
for pw, salt in ((b'password', b'salt'), (b'p', b'x'), (os.urandom(40), os.urandom(16)),
                 (os.urandom(100), os.urandom(64))):
    try:
        out = bcrypt.kdf(pw, salt, 32, 1, ignore_few_rounds=True)
    except TypeError:
        out = bcrypt.kdf(pw, salt, 32, 1)
    p = hashlib.sha512(pw).digest()
    s = hashlib.sha512(salt + b'\x00\x00\x00\x01').digest()
    print(p.hex(), s.hex(), out.hex())
)",
                                     ok);
  REQUIRE_OR_SKIP(ok, "bcrypt.kdf refused the input");
  auto rows = Rows(text);
  ASSERT_EQ(rows.size(), 4u);
  for (const auto& r : rows) {
    Bytes p = Unhex(r[0]), s = Unhex(r[1]);
    BlowfishCipher bf;
    ByteString out;
    ASSERT_EQ(bf.BcryptHash(p.data(), 64, s.data(), 64, out), 0);
    ASSERT_EQ(out.Length(), 32);
    EXPECT_EQ(Hex(out.Bytes(), 32), r[2]);
  }
}

}  // namespace
