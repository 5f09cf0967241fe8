// What the digest classes do differently from one another: a second Final,
// where the digest ends, resets through the base class, SHA-1's length limit,
// refused lengths, and the sponge settings.
#include <gtest/gtest.h>

#include <string>

#include "DigestTestUtil.h"
#include "crypto/digest/hash/Md2Digest.h"
#include "crypto/digest/hash/Md4Digest.h"
#include "crypto/digest/hash/Md5Digest.h"
#include "crypto/digest/hash/Md5Sha1Digest.h"
#include "crypto/digest/hash/Ripemd160Digest.h"
#include "crypto/digest/hash/Sha1Digest.h"
#include "crypto/digest/hash/Sha256Digest.h"
#include "crypto/digest/hash/Sha3Digest.h"
#include "crypto/digest/hash/Sha512Digest.h"
#include "crypto/digest/hash/ShakeDigest.h"

namespace {

using namespace tornell;
using digesttest::Hex;

const char kAbc[] = "abc";

struct Finished {
  std::string first;
  std::string second;
};

// Hashes "abc", finishes twice and returns both digests (n bytes each).
template <class T>
Finished FinalTwice(int n) {
  T d;
  (void)d.Update(kAbc, 3);
  Finished out;
  out.first = Hex(d.Final(), n);
  out.second = Hex(d.Final(), n);
  return out;
}

TEST(DigestObjects, SecondFinalFollowsEachClass) {
  auto sha1 = FinalTwice<Sha1Digest>(20);
  EXPECT_EQ(sha1.first, "a9993e364706816aba3e25717850c26c9cd0d89d");
  EXPECT_EQ(sha1.second, sha1.first) << "SHA-1 keeps its finished digest";

  // Every other class pads, compresses or wipes again: the second is no digest.
  auto md5 = FinalTwice<Md5Digest>(16);
  EXPECT_EQ(md5.first, "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_NE(md5.second, md5.first);
  auto sha256 = FinalTwice<Sha256Digest>(32);
  EXPECT_EQ(sha256.first, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_NE(sha256.second, sha256.first);
  auto sha512 = FinalTwice<Sha512Digest>(64);
  EXPECT_NE(sha512.second, sha512.first);
  auto ripemd = FinalTwice<Ripemd160Digest>(20);
  EXPECT_EQ(ripemd.first, "8eb208f7e05d987a9b044a8e98c6b087f15a0bfc");
  EXPECT_NE(ripemd.second, ripemd.first);
  auto md4 = FinalTwice<Md4Digest>(16);
  EXPECT_EQ(md4.first, "a448017aaf21d8525fc10ae87aa6729d");
  EXPECT_NE(md4.second, md4.first);
  auto md2 = FinalTwice<Md2Digest>(16);
  EXPECT_EQ(md2.first, "da853b0d3f88d99b30283a69e6ded6bb");
  EXPECT_NE(md2.second, md2.first);
  auto keccak = FinalTwice<Sha3_256Digest>(32);
  EXPECT_EQ(keccak.first, "4e03657aea45a94fc7d47ba826c8d667c0d1e6e33a64a036ec44f58fa12d6c45");
  EXPECT_NE(keccak.second, keccak.first);
  auto shake = FinalTwice<Shake128Digest>(32);
  EXPECT_NE(shake.second, shake.first);

  auto pair = FinalTwice<Md5Sha1Digest>(36);
  EXPECT_EQ(pair.first, md5.first + sha1.first);
  EXPECT_NE(pair.second.substr(0, 32), pair.first.substr(0, 32)) << "MD5 half pads again";
  EXPECT_EQ(pair.second.substr(32), sha1.first) << "SHA-1 half repeats";
}

TEST(DigestObjects, FinalEndsTheDigestWithAZeroByteWhereEachClassPutsIt) {
  Sha224Digest sha224;
  sha224.Update(kAbc, 3);
  const unsigned char* p = sha224.Final();
  EXPECT_EQ(Hex(p, 28), "23097d223405d8228642a477bda255b32aadbce4bda0b3f7e36c9da7");
  EXPECT_NE(Hex(p + 28, 4), "00000000") << "bytes 28-31 hold the rest of the last word";
  EXPECT_EQ(p[32], 0);

  Sha384Digest sha384;
  sha384.Update(kAbc, 3);
  p = sha384.Final();
  EXPECT_EQ(Hex(p, 8), "cb00753f45a35e8b");
  EXPECT_EQ(p[64], 0);

  Sha512_224Digest sha512_224;
  sha512_224.Update(kAbc, 3);
  p = sha512_224.Final();
  EXPECT_EQ(Hex(p, 28), "4634270f707b6a54daae7530460842e20e37ed265ceee9a43e8924aa");
  EXPECT_EQ(p[28], 0);

  Sha512_256Digest sha512_256;
  sha512_256.Update(kAbc, 3);
  p = sha512_256.Final();
  EXPECT_EQ(p[32], 0);

  Md5Digest md5;
  EXPECT_EQ(md5.Final()[16], 0);
  Sha1Digest sha1;
  EXPECT_EQ(sha1.Final()[20], 0);
  Ripemd160Digest ripemd;
  EXPECT_EQ(ripemd.Final()[20], 0);
  Md4Digest md4;
  EXPECT_EQ(md4.Final()[16], 0);
  Md2Digest md2;
  EXPECT_EQ(md2.Final()[16], 0);
}

TEST(DigestObjects, ResetThroughTheBaseClassKeepsTheVariant) {
  Sha224Digest sha224;
  sha224.Update("junk", 4);
  Sha256Digest& asBase = sha224;
  asBase.Reset();
  asBase.Update(kAbc, 3);
  EXPECT_EQ(Hex(asBase.Final(), 28), "23097d223405d8228642a477bda255b32aadbce4bda0b3f7e36c9da7");

  Sha384Digest sha384;
  sha384.Update("junk", 4);
  Sha512Digest& asBase512 = sha384;
  asBase512.Reset();
  asBase512.Update(kAbc, 3);
  EXPECT_EQ(Hex(asBase512.Final(), 8), "cb00753f45a35e8b");
}

TEST(DigestObjects, Sha1FailsOnceTheBitCountOverflowsUntilReset) {
  Sha1Digest sha1;
  sha1.countHigh = 0xffffffff;  // as after 2^64 - 8 bits
  sha1.countLow = 0xfffffff8;
  EXPECT_EQ(sha1.Update("x", 1), 1);
  EXPECT_EQ(sha1.failed, 1);
  EXPECT_EQ(sha1.Update("x", 1), 1);
  EXPECT_EQ(sha1.Final(), nullptr);

  Md5Sha1Digest pair;
  pair.sha1.countHigh = 0xffffffff;
  pair.sha1.countLow = 0xfffffff8;
  EXPECT_EQ(pair.Update("x", 1), 1);
  EXPECT_EQ(pair.Final(), nullptr) << "no half digest is handed out";

  EXPECT_EQ(sha1.Reset(), 0);
  EXPECT_EQ(sha1.Update(kAbc, 3), 0);
  EXPECT_EQ(Hex(sha1.Final(), 20), "a9993e364706816aba3e25717850c26c9cd0d89d");
}

// Feeds "ab", then a refused chunk (negative length, or null with a length),
// then "c": the refused chunk must leave no trace.
template <class T>
std::string AbcAroundRefusedChunks(int n) {
  T d;
  (void)d.Update("ab", 2);
  (void)d.Update("zzzz", -1);
  (void)d.Update("zzzz", -2147483647 - 1);
  (void)d.Update(nullptr, 5);
  (void)d.Update("zzzz", 0);
  (void)d.Update("c", 1);
  return Hex(d.Final(), n);
}

TEST(DigestObjects, NegativeLengthsAndNullDataAreRefused) {
  EXPECT_EQ(AbcAroundRefusedChunks<Md5Digest>(16), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(AbcAroundRefusedChunks<Sha1Digest>(20), "a9993e364706816aba3e25717850c26c9cd0d89d");
  EXPECT_EQ(AbcAroundRefusedChunks<Sha256Digest>(32),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(AbcAroundRefusedChunks<Sha512Digest>(8), "ddaf35a193617aba");
  EXPECT_EQ(AbcAroundRefusedChunks<Ripemd160Digest>(20), "8eb208f7e05d987a9b044a8e98c6b087f15a0bfc");
  EXPECT_EQ(AbcAroundRefusedChunks<Md4Digest>(16), "a448017aaf21d8525fc10ae87aa6729d");
  EXPECT_EQ(AbcAroundRefusedChunks<Md2Digest>(16), "da853b0d3f88d99b30283a69e6ded6bb");
  EXPECT_EQ(AbcAroundRefusedChunks<Sha3_256Digest>(32),
            "4e03657aea45a94fc7d47ba826c8d667c0d1e6e33a64a036ec44f58fa12d6c45");
  EXPECT_EQ(AbcAroundRefusedChunks<Md5Sha1Digest>(36),
            "900150983cd24fb0d6963f7d28e17f72a9993e364706816aba3e25717850c26c9cd0d89d");

  Sha1Digest sha1;
  EXPECT_EQ(sha1.Update("x", -1), 1);
  EXPECT_EQ(sha1.Update(nullptr, 1), 1);
  EXPECT_EQ(sha1.failed, 0) << "a refused chunk does not fail the object";
}

TEST(DigestObjects, ShakeOutputLengthIsASettingInWholeBytes) {
  Shake256Digest shake;
  EXPECT_EQ(shake.GetOutputBits(), 512);
  shake.Update(kAbc, 3);
  const std::string full = Hex(shake.Final(), 64);

  // Bits beyond whole bytes are dropped; the setting survives Reset.
  EXPECT_EQ(shake.SetOutputBits(260), 0);
  EXPECT_EQ(0, shake.Reset());
  EXPECT_EQ(shake.GetOutputBits(), 260);
  shake.Update(kAbc, 3);
  const unsigned char* out = shake.Final();
  EXPECT_EQ(shake.output.Length(), 32);
  EXPECT_EQ(Hex(out, 32), full.substr(0, 64));

  shake.SetOutputBits(7);
  EXPECT_EQ(0, shake.Reset());
  ASSERT_NE(shake.Final(), nullptr);
  EXPECT_EQ(shake.output.Length(), 0) << "fewer than 8 bits give no output";
  shake.SetOutputBits(-8);
  EXPECT_EQ(0, shake.Reset());
  ASSERT_NE(shake.Final(), nullptr);
  EXPECT_EQ(shake.output.Length(), 0);
}

TEST(DigestObjects, SpongeSettingsSurviveResetAndTravelWithCopyFrom) {
  Sha3_256Digest fips;
  EXPECT_EQ(fips.SetPaddingMode(Sha3Digest::kFipsPadding), 0);
  fips.Update("junk", 4);
  EXPECT_EQ(0, fips.Reset());
  fips.Update("ab", 2);

  Sha3_256Digest copy;  // Keccak padding until the copy takes the source's mode
  EXPECT_EQ(copy.CopyFrom(fips), 0);
  copy.Update("c", 1);
  EXPECT_EQ(Hex(copy.Final(), 32), "3a985da74fe225b2045c172d6bd390bd855f086e3e9d525b46bfe24511431532");

  Shake128Digest shake;
  shake.SetOutputBits(200 * 8);
  shake.Update("ab", 2);
  Shake128Digest shakeCopy;
  EXPECT_EQ(shakeCopy.CopyFrom(shake), 0);
  EXPECT_EQ(shakeCopy.GetOutputBits(), 1600);
  shake.Update("c", 1);
  shakeCopy.Update("c", 1);
  const std::string a = Hex(shake.Final(), 200);
  EXPECT_EQ(Hex(shakeCopy.Final(), 200), a);
}

}  // namespace
