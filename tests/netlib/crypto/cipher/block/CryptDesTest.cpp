#include "crypto/cipher/block/CryptDes.h"
#include "crypto/cipher/block/Des.h"
#include "crypto/cipher/block/TripleDesCipher.h"

#include "../CipherTestUtil.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace ciphertest;
using namespace tornell;

namespace {

Bytes DesEcb(const Bytes& key, Bytes data, int decrypt) {
  DesSchedule s;
  DesKeySchedule(s, key.data(), decrypt);
  for (size_t i = 0; i < data.size(); i += 8) DesCryptBlock(s, &data[i], &data[i]);
  return data;
}

TEST(CryptDes, EcbIsPlainDesAndIgnoresParity) {
  const char* keys[] = {"133457799bbcdff1", "0123456789abcdef", "fedcba9876543210",
                        "8001010101010101", "7ca110454a1a6e57"};
  Bytes data = Unhex("0123456789abcdef" "01a1d6d039776742" "0000000000000000");
  for (const char* k : keys) {
    Bytes key = Unhex(k), flipped = key;
    for (auto& b : flipped) b ^= 1;
    Bytes ours = data;
    CryptDesEcbEncrypt(ours.data(), 3, key.data());
    EXPECT_EQ(Hex(ours), Hex(DesEcb(key, data, 0))) << k;
    Bytes again = data;
    CryptDesEcbEncrypt(again.data(), 3, flipped.data());
    EXPECT_EQ(Hex(again), Hex(ours));
    CryptDesEcbDecrypt(ours.data(), 3, key.data());
    EXPECT_EQ(Hex(ours), Hex(data));
  }
  Bytes fips = Unhex("0123456789abcdef");
  CryptDesEcbEncrypt(fips.data(), 1, Unhex("133457799bbcdff1").data());
  EXPECT_EQ(Hex(fips), "85e813540f0ab405");
  CryptDesEcbEncrypt(fips.data(), 0, Unhex("133457799bbcdff1").data());  // no-op
  EXPECT_EQ(Hex(fips), "85e813540f0ab405");
}

TEST(CryptDes, IterationsChainDes) {
  Bytes key = Unhex("0e329232ea6d0d73"), block = Unhex("8787878787878787");
  EXPECT_EQ(0, CryptDesSetKey(key.data()));
  unsigned char out[8], back[8];
  EXPECT_EQ(0, CryptDesCipher(block.data(), out, 0, 3));
  Bytes expect = DesEcb(key, DesEcb(key, DesEcb(key, block, 0), 0), 0);
  EXPECT_EQ(Hex(out, 8), Hex(expect));
  EXPECT_EQ(0, CryptDesCipher(out, back, 0, -3));
  EXPECT_EQ(Hex(back, 8), Hex(block));
}

TEST(CryptDes, Ede3CbcKeyFormsMatchTripleDesObject) {
  Bytes key = Unhex("0123456789abcdef23456789abcdef01456789abcdef0123");
  Bytes iv = Unhex("f0e1d2c3b4a59687"), data(40);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<unsigned char>(i * 11 + 3);

  for (int keyLength : {16, 24}) {
    // Independent reference: the table-free DES object in CBC.
    TripleDesCipher ref;
    EXPECT_EQ(0, ref.SetKey(key.data(), keyLength, 1, 1));
    Bytes expect = data, chain = iv;
    for (size_t i = 0; i < expect.size(); i += 8) {
      for (int j = 0; j < 8; ++j) expect[i + j] ^= chain[j];
      EXPECT_EQ(0, ref.EncryptBlock(&expect[i], &expect[i]));
      chain.assign(expect.begin() + i, expect.begin() + i + 8);
    }
    Bytes ours = data;
    CryptDesEde3CbcEncrypt(ours.data(), 5, key.data(), keyLength, iv.data());
    EXPECT_EQ(Hex(ours), Hex(expect)) << keyLength;
    CryptDesEde3CbcDecrypt(ours.data(), 5, key.data(), keyLength, iv.data());
    EXPECT_EQ(Hex(ours), Hex(data));
  }
  Bytes single = data, ede = data;
  CryptDesCbcEncrypt(single.data(), 5, key.data(), iv.data());
  CryptDesEde3CbcEncrypt(ede.data(), 5, key.data(), 8, iv.data());
  EXPECT_EQ(Hex(single), Hex(ede));
  EXPECT_EQ(Hex(iv), "f0e1d2c3b4a59687");
  CryptDesCbcDecrypt(single.data(), 5, key.data(), iv.data());
  EXPECT_EQ(Hex(single), Hex(data));
}

TEST(CryptDes, PasswordHashMatchesSystemCrypt) {
  EXPECT_STREQ(CryptDesHashPassword("test", "ab"), "abgOeLfPimXQo");
  EXPECT_EQ(std::string(CryptDesHashPassword("passwordXYZ", "x1")),
            std::string(CryptDesHashPassword("password", "x1")));
  const std::string oneChar = CryptDesHashPassword("secret", "Q");
  EXPECT_EQ(oneChar, std::string(CryptDesHashPassword("secret", "Q.")));
  EXPECT_EQ(oneChar.size(), 13u);

  struct { const char *password, *salt; } cases[] = {
      {"", ".."}, {"a", "zz"}, {"hello", "HW"}, {"password", "x1"},
      {"12345678", "./"}, {"\x7f~!@#$%", "9Z"}, {"longerthan8", "Ab"}};
  for (const auto& c : cases) {
    bool ok = false;
    const std::string expect = RunCommand(
        "perl -e 'print crypt($ARGV[0], $ARGV[1])' -- '" + std::string(c.password) + "' '" +
            c.salt + "'",
        ok);
    REQUIRE_OR_SKIP(ok && expect.size() == 13, "perl crypt() not available");
    EXPECT_EQ(CryptDesHashPassword(c.password, c.salt), expect) << c.password;
  }
}

}  // namespace
