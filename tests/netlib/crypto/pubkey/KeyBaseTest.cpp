// Key base: width fitting, key-size table and the DER signature form.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "crypto/pubkey/AsymmetricKey.h"
#include "core/base/Status.h"
#include "crypto/pubkey/DerLength.h"
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

// Halves of 128 bytes or more need long-form INTEGER lengths, and a body of
// 256 or more a two-byte SEQUENCE length; the strict reader takes them back.
TEST(PublicKeyAlgorithmTest, EncodeDerSignatureLongLengthsRoundTrip) {
  struct Case {
    int rBytes, sBytes;
    const char* head;  // the SEQUENCE and first INTEGER headers
  } cases[] = {{250, 1, "3082010102 81fb00"}, {127, 127, "308201040281 8000"}, {126, 1, "30818402 7f00"},
               {300, 300, "30820261 0282012d00"}};
  for (const auto& c : cases) {
    ByteString r = FromHex(std::string(size_t(2 * c.rBytes), 'f')), s = FromHex(std::string(size_t(2 * c.sBytes), '7'));
    ByteString out;
    ASSERT_EQ(0, PublicKeyAlgorithm::EncodeDerSignature(r, s, out));
    std::string head = c.head;
    head.erase(std::remove(head.begin(), head.end(), ' '), head.end());
    EXPECT_EQ(head, Hex(out).substr(0, head.size())) << c.rBytes;
    SignaturePair pair;
    ASSERT_EQ(1, PublicKeyAlgorithm::DecodeDerSignature(out.Data(), out.Length(), pair)) << c.rBytes;
    EXPECT_EQ(Hex(r), Hex(pair.r));
    EXPECT_EQ(Hex(s), Hex(pair.s));
  }
}

TEST(PublicKeyAlgorithmTest, DecodeDerSignatureIsStrict) {
  struct Case {
    const char* in;
    int ok;
    const char *r, *s;
  } cases[] = {
      {"3006020105020107", 1, "05", "07"},
      {"300702020080020107", 1, "0080", "07"},          // sign byte kept as encoded
      {"3006020105020107aabb", 0, "", ""},              // bytes after the SEQUENCE
      {"300702020005020107", 0, "", ""},                // zero byte that is not needed
      {"3006020180020107", 0, "", ""},                  // sign byte missing
      {"3006020100020107", 1, "00", "07"},              // zero itself
      {"300602000201070000", 0, "", ""},                // empty INTEGER
      {"308106020105020107", 0, "", ""},                // long form below 128
      {"3080020105020107", 0, "", ""},                  // indefinite length
      {"30800201050201070000", 0, "", ""},              // indefinite, with end octets
      {"308200060201050201 07", 0, "", ""},             // leading zero length octet
      {"3008020105020107 0500", 0, "", ""},              // a NULL after s, inside
      {"3007020105020107", 0, "", ""},                  // SEQUENCE longer than the input
      {"3005020105020107", 0, "", ""},                  // SEQUENCE shorter than its content
      {"3007020105028101 07", 0, "", ""},               // long-form INTEGER length below 128
      {"3085000000000602010502010700", 0, "", ""},      // five length bytes
      {"30060201050201", 0, "", ""},                    // s runs past the end
      {"3106020105020107", 0, "", ""},                  // not a SEQUENCE
      {"3006020905020107", 0, "", ""},                  // r runs past the end
      {"30060201050301 07", 0, "", ""},                 // second tag is not INTEGER
      {"3006020105", 0, "", ""},                        // five bytes
  };
  for (const auto& c : cases) {
    std::string hex = c.in;
    hex.erase(std::remove(hex.begin(), hex.end(), ' '), hex.end());
    ByteString in = FromHex(hex);
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

TEST(DerLengthTest, WritesAndReadsTheShortestForm) {
  struct Case {
    size_t length;
    const char* octets;
  } cases[] = {{0, "00"}, {127, "7f"}, {128, "8180"}, {255, "81ff"}, {256, "820100"}, {65536, "83010000"},
               {0xFFFFFFFFu, "84ffffffff"}};
  for (const auto& c : cases) {
    ByteString out;
    ASSERT_EQ(0, der::AppendLength(out, c.length));
    EXPECT_EQ(c.octets, Hex(out));
    // Reading back needs the content present; the size only has to admit it.
    size_t pos = 0, length = 0;
    EXPECT_TRUE(der::ReadLength(out.Bytes(), size_t(out.Length()) + c.length, pos, length));
    EXPECT_EQ(c.length, length);
    EXPECT_EQ(size_t(out.Length()), pos);
  }
  ByteString out;
  if (sizeof(size_t) > 4) {
    EXPECT_EQ(kStatusIndexRange, der::AppendLength(out, size_t(der::kMaxLength) + 1));
  }
}

}  // namespace
}  // namespace tornell
