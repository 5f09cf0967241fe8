#include "crypto/cipher/block/Rc2Cipher.h"

#include "../CipherTestUtil.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace ciphertest;
using namespace tornell;

namespace {

// RFC 2268 section 5, the cases whose effective bits equal the key bits.
TEST(Rc2, Rfc2268VectorsAndCopy) {
  struct { const char *key, *plain, *cipher; } cases[] = {
      {"ffffffffffffffff", "ffffffffffffffff", "278b27e42e2f0d49"},
      {"3000000000000000", "1000000000000001", "30649edf9be7d2c2"},
      {"88bca90e90875a7f0f79c384627bafb2", "0000000000000000", "2269552ab0f85ca6"},
  };
  for (const auto& c : cases) {
    Bytes key = Unhex(c.key), pt = Unhex(c.plain);
    Rc2Cipher rc2, copy;
    ASSERT_EQ(rc2.SetKey(key.data(), static_cast<int>(key.size())), 0);
    EXPECT_EQ(0, copy.CopyFrom(rc2));
    unsigned char out[8];
    EXPECT_EQ(0, copy.EncryptBlock(pt.data(), out));
    EXPECT_EQ(Hex(out, 8), c.cipher);
    EXPECT_EQ(0, copy.DecryptBlock(out, out));
    EXPECT_EQ(Hex(out, 8), c.plain);
  }
  Rc2Cipher rc2;
  EXPECT_EQ(rc2.SetKey(nullptr, 0), 1);
}

// openssl's rc2-40-cbc, rc2-64-cbc and rc2-cbc use 40, 64 and 128
// effective bits with 5-, 8- and 16-byte keys.
TEST(Rc2, KeyBitsAreEffectiveBitsAgainstOpenssl) {
  bool ok = false;
  RunCommand("openssl enc -rc2-40-cbc -provider legacy -provider default -K 0102030405 "
             "-iv 0000000000000000 -nopad -in /dev/null 2>/dev/null",
             ok);
  REQUIRE_OR_SKIP(ok, "openssl legacy provider (RC2) not available");
  struct { const char *cipher, *key; } cases[] = {
      {"rc2-40-cbc", "a1b2c3d4e5"}, {"rc2-64-cbc", "0011223344556677"},
      {"rc2-cbc", "00112233445566778899aabbccddeeff"}};
  const Bytes pt = Unhex("0123456789abcdef" "fedcba9876543210");
  for (const auto& c : cases) {
    const std::string out = RunCommand(
        "printf '" + PrintfEscapes(pt) + "' | openssl enc -" + c.cipher +
            " -provider legacy -provider default -nopad -iv 0000000000000000 -K " + c.key +
            " | " + kHexDump,
        ok);
    ASSERT_TRUE(ok);
    Bytes key = Unhex(c.key), data = pt;
    Rc2Cipher rc2;
    EXPECT_EQ(0, rc2.SetKey(key.data(), static_cast<int>(key.size())));
    EXPECT_EQ(0, rc2.EncryptBlock(&data[0], &data[0]));  // zero IV: first block is ECB
    for (int i = 0; i < 8; ++i) data[8 + i] ^= data[i];
    EXPECT_EQ(0, rc2.EncryptBlock(&data[8], &data[8]));
    EXPECT_EQ(Hex(data), out) << c.cipher;
  }
}

}  // namespace
