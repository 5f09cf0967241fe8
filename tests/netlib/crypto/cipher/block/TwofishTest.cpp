#include "crypto/cipher/block/TwofishCipher.h"

#include "../CipherTestUtil.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace ciphertest;
using namespace tornell;

namespace {

TEST(Twofish, PublishedKnownAnswers) {
  struct { const char *key, *cipher; } cases[] = {
      {"00000000000000000000000000000000", "9f589f5cf6122c32b6bfec2f2ae8c35a"},
      {"0123456789abcdeffedcba98765432100011223344556677", "cfd1d2e5a9be9cdf501f13b892bd2248"},
      {"0123456789abcdeffedcba987654321000112233445566778899aabbccddeeff",
       "37527be0052334b89f0cfccae87cfa20"},
  };
  for (const auto& c : cases) {
    Bytes key = Unhex(c.key);
    TwofishCipher tf, copy;
    ASSERT_EQ(tf.SetKey(key.data(), static_cast<int>(key.size())), 0);
    unsigned char block[16] = {};
    EXPECT_EQ(0, tf.EncryptBlock(block, block));
    EXPECT_EQ(Hex(block, 16), c.cipher);
    ASSERT_EQ(copy.CopyFrom(tf), 0);
    EXPECT_EQ(0, copy.DecryptBlock(block, block));
    EXPECT_EQ(Hex(block, 16), std::string(32, '0'));
  }
}

// The iterated table of the Twofish paper (128-bit keys): each step keys
// with the previous plaintext and encrypts the previous ciphertext.
TEST(Twofish, IteratedTable128) {
  unsigned char key[16] = {}, pt[16] = {}, ct[16];
  for (int i = 1; i <= 49; ++i) {
    TwofishCipher tf;
    EXPECT_EQ(0, tf.SetKey(key, 16));
    EXPECT_EQ(0, tf.EncryptBlock(pt, ct));
    std::memcpy(key, pt, 16);
    std::memcpy(pt, ct, 16);
  }
  EXPECT_EQ(Hex(ct, 16), "5d9d4eeffa9151575524f115815a12e0");
}

TEST(Twofish, PartialPiecesAreDropped) {
  unsigned char key[32], pt[16], a[16], b[16];
  for (int i = 0; i < 32; ++i) key[i] = static_cast<unsigned char>(i * 37 + 1);
  for (int i = 0; i < 16; ++i) pt[i] = static_cast<unsigned char>(i);
  struct { int length, keyedAs; } cases[] = {{20, 16}, {23, 16}, {28, 24}, {31, 24}};
  for (const auto& c : cases) {
    TwofishCipher x, y;
    EXPECT_EQ(0, x.SetKey(key, c.length));
    EXPECT_EQ(0, y.SetKey(key, c.keyedAs));
    EXPECT_EQ(0, x.EncryptBlock(pt, a));
    EXPECT_EQ(0, y.EncryptBlock(pt, b));
    EXPECT_EQ(Hex(a, 16), Hex(b, 16)) << c.length;
  }
  TwofishCipher t;
  EXPECT_EQ(t.SetKey(key, 15), 1);
}

}  // namespace
