#include "crypto/cipher/block/IdeaCipher.h"

#include "../CipherTestUtil.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace ciphertest;
using namespace tornell;

namespace {

TEST(Idea, PublishedVectorAndScheduleChoice) {
  struct { const char *key, *plain, *cipher; } published[] = {
      {"80000000000000000000000000000000", "0000000000000000", "b1f5f7f87901370f"},
      {"2bd6459f82c5b300952c49104881ff48", "f129a6601ef62a47", "ea024714ad5c4d84"},
  };
  for (const auto& p : published) {
    IdeaCipher c;
    unsigned char block[8];
    EXPECT_EQ(0, c.SetKey(Unhex(p.key).data(), 16, 1, 1));
    EXPECT_EQ(0, c.EncryptBlock(Unhex(p.plain).data(), block));
    EXPECT_EQ(Hex(block, 8), p.cipher);
  }
  Bytes key = Unhex("00010002000300040005000600070008"), pt = Unhex("0000000100020003");
  const std::string ct = "11fbed2b01986de5";
  unsigned char out[8];
  IdeaCipher enc, dec, copy;
  EXPECT_EQ(0, enc.SetKey(key.data(), 16, 1, 1));
  EXPECT_EQ(0, enc.EncryptBlock(pt.data(), out));
  EXPECT_EQ(Hex(out, 8), ct);
  EXPECT_EQ(0, dec.SetKey(key.data(), 16, 0, 1));
  EXPECT_EQ(0, copy.CopyFrom(dec));
  EXPECT_EQ(0, copy.DecryptBlock(out, out));
  EXPECT_EQ(Hex(out, 8), Hex(pt));
  for (int mode : {3, 4}) {
    IdeaCipher forward;
    EXPECT_EQ(0, forward.SetKey(key.data(), 16, 0, mode));
    EXPECT_EQ(0, forward.DecryptBlock(pt.data(), out));
    EXPECT_EQ(Hex(out, 8), ct);
  }
}

// Random keys, the zero key (every multiplication subkey 0, standing for
// 65536) and the all-ones key against a plain model of the definition.
TEST(Idea, RandomKeysAgainstPlainModel) {
  bool ok = false;
  auto rows = Rows(RunCommand("/usr/bin/python3 " CIPHER_TEST_DIR "/idea_model.py 6", ok));
  ASSERT_TRUE(ok);
  ASSERT_EQ(rows.size(), 8u);
  for (const auto& r : rows) {
    Bytes key = Unhex(r[0]), pt = Unhex(r[1]), out(pt.size());
    IdeaCipher enc, dec;
    EXPECT_EQ(0, enc.SetKey(key.data(), 16, 1, 2));
    EXPECT_EQ(0, dec.SetKey(key.data(), 16, 0, 2));
    for (size_t i = 0; i < pt.size(); i += 8) EXPECT_EQ(0, enc.EncryptBlock(&pt[i], &out[i]));
    EXPECT_EQ(Hex(out), r[2]) << "key " << r[0];
    for (size_t i = 0; i < pt.size(); i += 8) EXPECT_EQ(0, dec.DecryptBlock(&out[i], &out[i]));
    EXPECT_EQ(Hex(out), r[1]);
  }
}

}  // namespace
