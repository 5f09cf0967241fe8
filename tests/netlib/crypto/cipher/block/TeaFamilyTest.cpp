#include "crypto/cipher/block/TeaCipher.h"
#include "crypto/cipher/block/XteaCipher.h"
#include "crypto/cipher/block/XxteaCipher.h"

#include "../CipherTestUtil.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace ciphertest;
using namespace tornell;

namespace {

template <typename Cipher>
void CheckBlock(const Bytes& key, const Bytes& pt, const std::string& expect) {
  Cipher c, copy;
  EXPECT_EQ(0, c.SetKey(key.data(), 16, 1, 1));
  EXPECT_EQ(0, copy.CopyFrom(c));
  Bytes out(8);
  EXPECT_EQ(0, copy.EncryptBlock(pt.data(), out.data()));
  EXPECT_EQ(Hex(out), expect) << "key " << Hex(key);
  EXPECT_EQ(0, copy.DecryptBlock(out.data(), out.data()));
  EXPECT_EQ(Hex(out), Hex(pt));
}

// Against tea_model.py, which first reproduces the standard TEA, XTEA and
// XXTEA vectors and then applies this library's variants.
TEST(TeaFamily, AgainstIndependentModel) {
  bool ok = false;
  auto rows = Rows(RunCommand("/usr/bin/python3 " CIPHER_TEST_DIR "/tea_model.py 5", ok));
  ASSERT_TRUE(ok) << "model failed its standard vectors";
  ASSERT_EQ(rows.size(), 26u);
  for (const auto& r : rows) {
    Bytes key = Unhex(r[1]), pt = Unhex(r[2]);
    if (r[0] == "tea") {
      CheckBlock<TeaCipher>(key, pt, r[3]);
    } else if (r[0] == "xtea") {
      CheckBlock<XteaCipher>(key, pt, r[3]);
    } else {
      XxteaCipher x;
      EXPECT_EQ(0, x.SetKey(key.data(), 16, 1, 1));
      const int n = static_cast<int>(pt.size());
      Bytes out(pt.size());
      ASSERT_EQ(x.EncryptBlock(pt.data(), n, out.data()), 0);
      EXPECT_EQ(Hex(out), r[3]);
      ASSERT_EQ(x.DecryptBlock(out.data(), n, out.data()), 0);
      EXPECT_EQ(Hex(out), r[2]);
    }
  }
}

TEST(TeaFamily, XxteaBlockRules) {
  XxteaCipher x;
  Bytes key(16, 0x5A);
  EXPECT_EQ(0, x.SetKey(key.data(), 16, 1, 1));
  // Ten bytes: two words processed, the last two bytes left alone.
  Bytes in = Unhex("00112233445566778899"), out(10, 0xEE), eight(8);
  ASSERT_EQ(x.EncryptBlock(in.data(), 10, out.data()), 0);
  EXPECT_EQ(0, x.EncryptBlock(in.data(), 8, eight.data()));
  EXPECT_EQ(Hex(out), Hex(eight) + "eeee");
  // Under two words the cipher is undefined or not invertible.
  EXPECT_EQ(x.EncryptBlock(in.data(), 4, out.data()), -1);
  EXPECT_EQ(Hex(out), Hex(eight) + "eeee");
  // A long block takes the heap path.
  Bytes big(1024), back(1024);
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<unsigned char>(i);
  ASSERT_EQ(x.EncryptBlock(big.data(), 1024, back.data()), 0);
  ASSERT_EQ(x.DecryptBlock(back.data(), 1024, back.data()), 0);
  EXPECT_EQ(back, big);
}

}  // namespace
