// Objects that read a fixed number of key bytes refuse shorter keys
// rather than read past them, and keep their schedule.
#include "crypto/cipher/block/DesCipher.h"
#include "crypto/cipher/block/IdeaCipher.h"
#include "crypto/cipher/block/TeaCipher.h"
#include "crypto/cipher/block/TripleDesCipher.h"
#include "crypto/cipher/block/XteaCipher.h"
#include "crypto/cipher/block/XxteaCipher.h"

#include "../CipherTestUtil.h"

#include <gtest/gtest.h>

#include <memory>

using namespace ciphertest;
using namespace tornell;

namespace {

template <typename Cipher>
void ExpectShortKeyRefused(int needed) {
  unsigned char key[24], pt[8] = {1, 2, 3, 4, 5, 6, 7, 8}, before[8], after[8];
  for (int i = 0; i < 24; ++i) key[i] = static_cast<unsigned char>(0x30 + i);
  Cipher c;
  ASSERT_EQ(c.SetKey(key, needed, 1, 1), 0);
  EXPECT_EQ(0, c.EncryptBlock(pt, before));
  // An exact-size heap copy lets the sanitizer catch any read past it.
  auto shortKey = std::make_unique<unsigned char[]>(static_cast<size_t>(needed - 1));
  for (int i = 0; i < needed - 1; ++i) shortKey[i] = 0xEE;
  EXPECT_EQ(c.SetKey(shortKey.get(), needed - 1, 1, 1), 1);
  EXPECT_EQ(0, c.EncryptBlock(pt, after));
  EXPECT_EQ(Hex(after, 8), Hex(before, 8));
}

TEST(ShortKeys, FixedLengthReadersRefuseShorterKeys) {
  ExpectShortKeyRefused<DesCipher>(8);
  ExpectShortKeyRefused<TripleDesCipher>(16);
  ExpectShortKeyRefused<IdeaCipher>(16);
  ExpectShortKeyRefused<TeaCipher>(16);
  ExpectShortKeyRefused<XteaCipher>(16);
  XxteaCipher x;
  unsigned char key[15] = {};
  EXPECT_EQ(x.SetKey(key, 15, 1, 1), 1);
}

}  // namespace
