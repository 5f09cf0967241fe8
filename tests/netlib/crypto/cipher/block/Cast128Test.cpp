#include "crypto/cipher/block/Cast128Cipher.h"

#include "../CipherTestUtil.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace ciphertest;
using namespace tornell;

namespace {

TEST(Cast128, Rfc2144VectorsAndRoundCounts) {
  struct { const char* key; const char* cipher; int rounds; } cases[] = {
      {"0123456712345678234567893456789a", "238b4fe5847e44b2", 16},
      {"01234567123456782345", "eb6a711a2c02271b", 12},
      {"0123456712", "7ac816d16e9b302e", 12},
  };
  const Bytes pt = Unhex("0123456789abcdef");
  for (const auto& c : cases) {
    Bytes key = Unhex(c.key);
    Cast128Cipher cast, copy;
    ASSERT_EQ(cast.SetKey(key.data(), static_cast<int>(key.size())), 0);
    EXPECT_EQ(cast.GetRounds(), c.rounds);
    unsigned char out[8];
    EXPECT_EQ(0, cast.EncryptBlock(pt.data(), out));
    EXPECT_EQ(Hex(out, 8), c.cipher);
    EXPECT_EQ(0, copy.CopyFrom(cast));
    EXPECT_EQ(0, copy.DecryptBlock(out, out));
    EXPECT_EQ(Hex(out, 8), Hex(pt));
  }
  Cast128Cipher c;
  unsigned char key[17] = {};
  EXPECT_EQ(0, c.SetKey(key, 10));
  EXPECT_EQ(c.GetRounds(), 12);
  EXPECT_EQ(0, c.SetKey(key, 11));
  EXPECT_EQ(c.GetRounds(), 16);
  EXPECT_EQ(c.SetKey(key, 17), 1);
}

TEST(Cast128, RandomKeysAgainstPythonCryptography) {
  bool ok = false;
  auto rows = PythonRandomRows("CAST5", {5, 8, 10, 11, 13, 16, 16}, 48, ok);
  REQUIRE_OR_SKIP(ok, "python3-cryptography CAST5 not available");
  for (const auto& r : rows) {
    Bytes key = Unhex(r[0]), pt = Unhex(r[1]), out(pt.size());
    Cast128Cipher c;
    EXPECT_EQ(0, c.SetKey(key.data(), static_cast<int>(key.size())));
    for (size_t i = 0; i < pt.size(); i += 8) EXPECT_EQ(0, c.EncryptBlock(&pt[i], &out[i]));
    EXPECT_EQ(Hex(out), r[2]) << "key " << r[0];
    for (size_t i = 0; i < pt.size(); i += 8) EXPECT_EQ(0, c.DecryptBlock(&out[i], &out[i]));
    EXPECT_EQ(Hex(out), r[1]);
  }
}

}  // namespace
