// Key base: width fitting, key-size table and the DER signature form.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "crypto/pubkey/AsymmetricKey.h"
#include "crypto/pubkey/PublicKeyAlgorithm.h"
#include "../rsa/KeyTestUtil.h"

namespace tornell {
namespace {

using keytest::FromHex;
using keytest::Hex;

TEST(AsymmetricKeyTest, FitLengthPadsTrimsAndLeavesEmpty) {
  struct Case {
    const char* in;
    int width;
    const char* out;
  } cases[] = {{"", 4, ""}, {"0102", 4, "00000102"}, {"000102", 2, "0102"}, {"0102", 2, "0102"}};
  for (const auto& c : cases) {
    ByteString v = FromHex(c.in);
    ASSERT_EQ(0, AsymmetricKey::FitLength(c.width, v));
    EXPECT_EQ(c.out, Hex(v)) << c.in << " to " << c.width;
  }
}

TEST(PublicKeyAlgorithmTest, KeySizeTable) {
  struct Case {
    int type, bits, rc;
  } cases[] = {{0, 384, 0},    {0, 4096, 0},    {0, 392, 0},    {0, 388, 1206}, {0, 4104, 1206},
               {0, 376, 1206}, {1, 576, 0},     {1, 520, 1206}, {1, 4096, 0},   {2, 512, 0},
               {3, 128, 0},    {3, 256, 1206},  {7, 0, 0},      {7, 1024, 1206}};
  for (const auto& c : cases) {
    PublicKeyAlgorithm alg(c.type);
    EXPECT_EQ(1024, alg.keyBits);
    EXPECT_EQ(c.rc, alg.SetKeySize(c.bits)) << c.type << "/" << c.bits;
    EXPECT_EQ(c.rc == 0 ? c.bits : 1024, alg.keyBits);
  }
}

TEST(PublicKeyAlgorithmTest, NormalizeDerInteger) {
  struct Case {
    const char *in, *out;
  } cases[] = {{"80", "0080"}, {"00007f", "7f"}, {"0080", "0080"}, {"00", "00"}, {"0000", "00"}, {"", ""},
               {"000000ff01", "00ff01"}};
  for (const auto& c : cases) {
    ByteString v = FromHex(c.in);
    ASSERT_EQ(0, PublicKeyAlgorithm::NormalizeDerInteger(v));
    EXPECT_EQ(c.out, Hex(v)) << c.in;
  }
}

TEST(PublicKeyAlgorithmTest, EncodeDerSignatureShortAndLongForm) {
  ByteString r = FromHex("80"), s = FromHex("01"), out;
  ASSERT_EQ(0, PublicKeyAlgorithm::EncodeDerSignature(r, s, out));
  EXPECT_EQ("300702020080020101", Hex(out));

  ByteString r64 = FromHex(std::string(128, 'f')), s64 = FromHex(std::string(128, 'e'));
  ASSERT_EQ(0, PublicKeyAlgorithm::EncodeDerSignature(r64, s64, out));
  EXPECT_EQ(3 + 134, out.Length());
  EXPECT_EQ("308186024100", Hex(out).substr(0, 12));

  SignaturePair pair;
  ASSERT_EQ(1, PublicKeyAlgorithm::DecodeDerSignature(out.Data(), out.Length(), pair));
  EXPECT_EQ("00" + std::string(128, 'f'), Hex(pair.r));
  EXPECT_EQ("00" + std::string(128, 'e'), Hex(pair.s));
}

TEST(PublicKeyAlgorithmTest, DecodeDerSignatureAcceptsAndRejects) {
  struct Case {
    const char* in;
    int ok;
    const char *r, *s;
  } cases[] = {
      {"3006020105020107", 1, "05", "07"},
      {"3006020105020107aabb", 1, "05", "07"},          // trailing bytes allowed
      {"300702020005020107", 1, "0005", "07"},          // sign byte kept as encoded
      {"3081060201050201 07", 1, "05", "07"},           // one-byte long form
      {"3080020105020107", 1, "05", "07"},              // zero count gives length 0
      {"30060201050201", 0, "", ""},                    // s runs past the end
      {"3106020105020107", 0, "", ""},                  // not a SEQUENCE
      {"3085000000000602010502010700", 0, "", ""},      // five length bytes
      {"3006020905020107", 0, "", ""},                  // r runs past the end
      {"30060201050301 07", 0, "", ""},                 // second tag is not INTEGER
      {"3007020105020107", 0, "", ""},                  // SEQUENCE longer than the input
      {"3006020105", 0, "", ""},                        // five bytes
  };
  for (const auto& c : cases) {
    ByteString in = FromHex(c.in);
    SignaturePair pair;
    EXPECT_EQ(c.ok, PublicKeyAlgorithm::DecodeDerSignature(in.Data(), in.Length(), pair)) << c.in;
    if (c.ok) {
      EXPECT_EQ(c.r, Hex(pair.r));
      EXPECT_EQ(c.s, Hex(pair.s));
    }
  }
  SignaturePair pair;
  EXPECT_EQ(0, PublicKeyAlgorithm::DecodeDerSignature(nullptr, 8, pair));
}

}  // namespace
}  // namespace tornell
