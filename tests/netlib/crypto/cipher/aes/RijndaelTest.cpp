#include "crypto/cipher/aes/Aes.h"
#include "crypto/cipher/aes/Rijndael.h"
#include "crypto/cipher/aes/RijndaelCipher.h"

#include "../CipherTestUtil.h"
#include "ProcessorPath.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace ciphertest;
using namespace tornell;

namespace {

class RijndaelPaths : public ::testing::TestWithParam<uint32_t> {};

INSTANTIATE_TEST_SUITE_P(Both, RijndaelPaths, ::testing::Values(cpu::path::kAesNi, testsupport::kPortablePath),
                         [](const auto& info) { return info.param == 0 ? "Portable" : "Hardware"; });

TEST_P(RijndaelPaths, SixteenByteBlocksAreAes) {
  USE_PROCESSOR_PATH_OR_SKIP(GetParam());
  {
    for (int keyLength : {16, 24, 32}) {
      unsigned char key[32], pt[16], a[16], b[16];
      for (int i = 0; i < 32; ++i) key[i] = static_cast<unsigned char>(i * 7 + keyLength);
      for (int i = 0; i < 16; ++i) pt[i] = static_cast<unsigned char>(i * 13);
      uint32_t aesKs[60], rk[256];
      const int rounds = AesKeySetupEncrypt(aesKs, key, keyLength * 8);
      ASSERT_EQ(RijndaelKeySetup(rk, key, keyLength, 16, 0), rounds);
      EXPECT_EQ(0, std::memcmp(aesKs, rk, sizeof(uint32_t) * 4 * (rounds + 1)));
      AesKeySetupDecrypt(aesKs, key, keyLength * 8);
      RijndaelKeySetup(rk, key, keyLength, 16, 1);
      EXPECT_EQ(0, std::memcmp(aesKs, rk, sizeof(uint32_t) * 4 * (rounds + 1)));
      RijndaelCipher obj;
      ASSERT_EQ(obj.SetKey(key, keyLength, 16, 1, 1), 0);
      EXPECT_EQ(0, obj.EncryptBlock(pt, a));
      AesKeySetupEncrypt(aesKs, key, keyLength * 8);
      AesEncryptBlock(aesKs, rounds, pt, b);
      EXPECT_EQ(Hex(a, 16), Hex(b, 16));
    }
  }
}

TEST(Rijndael, RoundCountsAndRoundTripForEveryShape) {
  struct { int key, block, rounds; } shapes[] = {
      {16, 16, 10}, {16, 24, 12}, {16, 32, 14}, {24, 16, 12}, {24, 24, 12},
      {24, 32, 14}, {32, 16, 14}, {32, 24, 14}, {32, 32, 14}};
  for (const auto& s : shapes) {
    unsigned char key[32], pt[32], ct[32], back[32];
    for (int i = 0; i < 32; ++i) {
      key[i] = static_cast<unsigned char>(0xA5 ^ (i * 31));
      pt[i] = static_cast<unsigned char>(i * 3 + s.block);
    }
    RijndaelCipher enc, dec, copy;
    ASSERT_EQ(enc.SetKey(key, s.key, s.block, 1, 1), 0);
    ASSERT_EQ(dec.SetKey(key, s.key, s.block, 0, 1), 0);
    EXPECT_EQ(enc.GetRounds(), s.rounds);
    ASSERT_EQ(copy.CopyFrom(dec), 0);
    EXPECT_EQ(0, enc.EncryptBlock(pt, ct));
    EXPECT_NE(0, std::memcmp(pt, ct, s.block));
    EXPECT_EQ(0, copy.DecryptBlock(ct, back));
    EXPECT_EQ(Hex(back, s.block), Hex(pt, s.block)) << s.key << "/" << s.block;
    std::memcpy(back, pt, 32);
    EXPECT_EQ(0, enc.EncryptBlock(back, back));  // in place
    EXPECT_EQ(Hex(back, s.block), Hex(ct, s.block));
  }
}

// Wide blocks against libmcrypt's rijndael-192 and rijndael-256 in ECB.
TEST(Rijndael, WideBlocksAgainstLibmcrypt) {
  bool ok = false;
  const std::string text = RunPython(R"(
import ctypes, ctypes.util, os, sys
name = ctypes.util.find_library('mcrypt') or 'libmcrypt.so.4'
try:
    lib = ctypes.CDLL(name)
except OSError:
    sys.exit(3)
lib.mcrypt_module_open.restype = ctypes.c_void_p
lib.mcrypt_module_open.argtypes = [ctypes.c_char_p, ctypes.c_char_p, ctypes.c_char_p, ctypes.c_char_p]
lib.mcrypt_generic_init.argtypes = [ctypes.c_void_p, ctypes.c_void_p, ctypes.c_int, ctypes.c_void_p]
lib.mcrypt_generic.argtypes = [ctypes.c_void_p, ctypes.c_void_p, ctypes.c_int]
lib.mcrypt_generic_deinit.argtypes = [ctypes.c_void_p]
lib.mcrypt_module_close.argtypes = [ctypes.c_void_p]
for bits in (192, 256):
    for klen in (16, 24, 32):
        for _ in range(3):
            k, p = os.urandom(klen), os.urandom(bits // 8 * 2)
            td = lib.mcrypt_module_open(b'rijndael-%d' % bits, None, b'ecb', None)
            if not td:
                sys.exit(3)
            kb = ctypes.create_string_buffer(k, klen)
            buf = ctypes.create_string_buffer(p, len(p))
            lib.mcrypt_generic_init(td, kb, klen, None)
            lib.mcrypt_generic(td, buf, len(p))
            lib.mcrypt_generic_deinit(td)
            lib.mcrypt_module_close(td)
            print(bits // 8, k.hex(), p.hex(), buf.raw.hex())
)",
                                     ok);
  REQUIRE_OR_SKIP(ok, "libmcrypt4 not available");
  auto rows = Rows(text);
  ASSERT_EQ(rows.size(), 18u);
  for (const auto& r : rows) {
    const int block = std::stoi(r[0]);
    Bytes key = Unhex(r[1]), pt = Unhex(r[2]);
    const int klen = static_cast<int>(key.size());
    RijndaelCipher enc, dec;
    EXPECT_EQ(0, enc.SetKey(key.data(), klen, block, 1, 2));
    EXPECT_EQ(0, dec.SetKey(key.data(), klen, block, 0, 2));
    Bytes out(pt.size());
    for (size_t i = 0; i < pt.size(); i += static_cast<size_t>(block))
      EXPECT_EQ(0, enc.EncryptBlock(&pt[i], &out[i]));
    EXPECT_EQ(Hex(out), r[3]) << block << " " << klen;
    for (size_t i = 0; i < pt.size(); i += static_cast<size_t>(block))
      EXPECT_EQ(0, dec.DecryptBlock(&out[i], &out[i]));
    EXPECT_EQ(Hex(out), r[2]);
  }
}

TEST(Rijndael, ScheduleSizes) {
  uint32_t rk[256];
  unsigned char key[32] = {};
  EXPECT_EQ(RijndaelKeySetup(rk, key, 16, 32, 0), 14);  // 120 words
  EXPECT_EQ(RijndaelKeySetup(rk, key, 32, 24, 0), 14);
  EXPECT_EQ(RijndaelKeySetup(rk, key, 24, 24, 0), 12);
}

}  // namespace
