// Hmac against the published vectors (RFC 2202, RFC 4231, Wycheproof) and,
// for every digest number, against an independent reference over keys and
// messages on each side of the block boundaries; then the object's own rules.
// The vector runs go once with the processor's fast paths and once without.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "MacTestUtil.h"
#include "crypto/digest/mac/Hmac.h"

namespace {

using namespace tornell;
using mactest::Hex;
using mactest::kReferenceNames;
using mactest::OnBothPaths;

std::string MacOf(int id, const std::string& key, const std::string& msg) {
  Hmac mac;
  ByteString out;
  EXPECT_EQ(mac.Init(id, key.data(), static_cast<int>(key.size())), 0);
  EXPECT_EQ(mac.Mac(msg.data(), static_cast<int>(msg.size()), out), 0);
  return std::string(out.Data(), static_cast<size_t>(out.Length()));
}

struct RfcCase {
  int id;
  int keyByte;  // -1: the bytes 0x01..0x19; -2: "Jefe"
  int keyLength;
  const char* data;  // text, or null for 50 bytes of dataByte
  int dataByte;
  const char* expected;  // compared over its own length (truncated cases)
};

const char kHiThere[] = "Hi There";
const char kJefe[] = "what do ya want for nothing?";
const char kTruncation[] = "Test With Truncation";
const char kHashKeyFirst[] = "Test Using Larger Than Block-Size Key - Hash Key First";
const char kLargerData2202[] =
    "Test Using Larger Than Block-Size Key and Larger Than One Block-Size Data";
const char kLargerData4231[] =
    "This is a test using a larger than block-size key and a larger than block-size data. The "
    "key needs to be hashed before being used by the HMAC algorithm.";

// RFC 2202 (MD5, SHA-1) and RFC 4231 (SHA-224 to SHA-512).
const RfcCase kRfcCases[] = {
    {1, 0x0b, 16, kHiThere, 0, "9294727a3638bb1c13f48ef8158bfc9d"},
    {1, -2, 4, kJefe, 0, "750c783e6ab0b503eaa86e310a5db738"},
    {1, 0xaa, 16, nullptr, 0xdd, "56be34521d144c88dbb8c733f0e8b3f6"},
    {1, -1, 25, nullptr, 0xcd, "697eaf0aca3a3aea3a75164746ffaa79"},
    {1, 0x0c, 16, kTruncation, 0, "56461ef2342edc00f9bab995"},
    {1, 0xaa, 80, kHashKeyFirst, 0, "6b1ab7fe4bd7bf8f0b62e6ce61b9d0cd"},
    {1, 0xaa, 80, kLargerData2202, 0, "6f630fad67cda0ee1fb1f562db3aa53e"},
    {0, 0x0b, 20, kHiThere, 0, "b617318655057264e28bc0b6fb378c8ef146be00"},
    {0, -2, 4, kJefe, 0, "effcdf6ae5eb2fa2d27416d5f184df9c259a7c79"},
    {0, 0xaa, 20, nullptr, 0xdd, "125d7342b9ac11cd91a39af48aa17b4f63f175d3"},
    {0, -1, 25, nullptr, 0xcd, "4c9007f4026250c6bc8414f9bf50c86c2d7235da"},
    {0, 0x0c, 20, kTruncation, 0, "4c1a03424b55e07fe7f27be1"},
    {0, 0xaa, 80, kHashKeyFirst, 0, "aa4ae5e15272d00e95705637ce8a3b55ed402112"},
    {0, 0xaa, 80, kLargerData2202, 0, "e8e99d0f45237d786d6bbaa7965c7808bbff1a91"},
    {3, 0x0b, 20, kHiThere, 0, "896fb1128abbdf196832107cd49df33f47b4b1169912ba4f53684b22"},
    {3, -2, 4, kJefe, 0, "a30e01098bc6dbbf45690f3a7e9e6d0f8bbea2a39e6148008fd05e44"},
    {3, 0xaa, 20, nullptr, 0xdd, "7fb3cb3588c6c1f6ffa9694d7d6ad2649365b0c1f65d69d1ec8333ea"},
    {3, -1, 25, nullptr, 0xcd, "6c11506874013cac6a2abc1bb382627cec6a90d86efc012de7afec5a"},
    {3, 0x0c, 20, kTruncation, 0, "0e2aea68a90c8d37c988bcdb9fca6fa8"},
    {3, 0xaa, 131, kHashKeyFirst, 0, "95e9a0db962095adaebe9b2d6f0dbce2d499f112f2d2b7273fa6870e"},
    {3, 0xaa, 131, kLargerData4231, 0, "3a854166ac5d9f023f54d517d0b39dbd946770db9c2b95c9f6f565d1"},
    {2, 0x0b, 20, kHiThere, 0, "b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7"},
    {2, -2, 4, kJefe, 0, "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843"},
    {2, 0xaa, 20, nullptr, 0xdd, "773ea91e36800e46854db8ebd09181a72959098b3ef8c122d9635514ced565fe"},
    {2, -1, 25, nullptr, 0xcd, "82558a389a443c0ea4cc819899f2083a85f0faa3e578f8077a2e3ff46729665b"},
    {2, 0x0c, 20, kTruncation, 0, "a3b6167473100ee06e0c796c2955552b"},
    {2, 0xaa, 131, kHashKeyFirst, 0,
     "60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54"},
    {2, 0xaa, 131, kLargerData4231, 0,
     "9b09ffa71b942fcb27635fbcd5b0e944bfdc63644f0713938a7f51535c3a35e2"},
    {7, 0x0b, 20, kHiThere, 0,
     "afd03944d84895626b0825f4ab46907f15f9dadbe4101ec682aa034c7cebc59cfaea9ea9076ede7f4af152e8b2fa9"
     "cb6"},
    {7, -2, 4, kJefe, 0,
     "af45d2e376484031617f78d2b58a6b1b9c7ef464f5a01b47e42ec3736322445e8e2240ca5e69e2c78b3239ecfab21"
     "649"},
    {7, 0xaa, 20, nullptr, 0xdd,
     "88062608d3e6ad8a0aa2ace014c8a86f0aa635d947ac9febe83ef4e55966144b2a5ab39dc13814b94e3ab6e101a34"
     "f27"},
    {7, -1, 25, nullptr, 0xcd,
     "3e8a69b7783c25851933ab6290af6ca77a9981480850009cc5577c6e1f573b4e6801dd23c4a7d679ccf8a386c674c"
     "ffb"},
    {7, 0x0c, 20, kTruncation, 0, "3abf34c3503b2a23a46efc619baef897"},
    {7, 0xaa, 131, kHashKeyFirst, 0,
     "4ece084485813e9088d2c63a041bc5b44f9ef1012a2b588f3cd11f05033ac4c60c2ef6ab4030fe8296248df163f44"
     "952"},
    {7, 0xaa, 131, kLargerData4231, 0,
     "6617178e941f020d351e2f254e8fd32c602420feb0b8fb9adccebb82461e99c5a678cc31e799176d3860e6110c465"
     "23e"},
    {4, 0x0b, 20, kHiThere, 0,
     "87aa7cdea5ef619d4ff0b4241a1d6cb02379f4e2ce4ec2787ad0b30545e17cdedaa833b7d6b8a702038b274eaea3f"
     "4e4be9d914eeb61f1702e696c203a126854"},
    {4, -2, 4, kJefe, 0,
     "164b7a7bfcf819e2e395fbe73b56e0a387bd64222e831fd610270cd7ea2505549758bf75c05a994a6d034f65f8f0e"
     "6fdcaeab1a34d4a6b4b636e070a38bce737"},
    {4, 0xaa, 20, nullptr, 0xdd,
     "fa73b0089d56a284efb0f0756c890be9b1b5dbdd8ee81a3655f83e33b2279d39bf3e848279a722c806b485a47e67c"
     "807b946a337bee8942674278859e13292fb"},
    {4, -1, 25, nullptr, 0xcd,
     "b0ba465637458c6990e5a8c5f61d4af7e576d97ff94b872de76f8050361ee3dba91ca5c11aa25eb4d679275cc5788"
     "063a5f19741120c4f2de2adebeb10a298dd"},
    {4, 0x0c, 20, kTruncation, 0, "415fad6271580a531d4179bc891d87a6"},
    {4, 0xaa, 131, kHashKeyFirst, 0,
     "80b24263c7c1a3ebb71493c1dd7be8b49b46d1f41b4aeec1121b013783f8f3526b56d037e05f2598bd0fd2215d6a1"
     "e5295e64f73f63f0aec8b915a985d786598"},
    {4, 0xaa, 131, kLargerData4231, 0,
     "e37b6a775dc87dbaa4dfa9f96e5e3ffddebd71f8867289865df5a32d20cdc944b6022cac3c4982b10d5eeb55c3e4d"
     "e15134676fb6de0446065c97440fa8c6a58"},
};

TEST(HmacVectors, Rfc2202AndRfc4231) {
  OnBothPaths([] {
    for (const RfcCase& c : kRfcCases) {
      std::string key;
      if (c.keyByte == -2) {
        key = "Jefe";
      } else {
        for (int i = 0; i < c.keyLength; ++i) {
          key += static_cast<char>(c.keyByte == -1 ? i + 1 : c.keyByte);
        }
      }
      std::string data = c.data != nullptr ? c.data : std::string(50, static_cast<char>(c.dataByte));
      std::string expected = c.expected;
      EXPECT_EQ(Hex(MacOf(c.id, key, data)).substr(0, expected.size()), expected)
          << "id " << c.id << " key length " << key.size();
    }
  });
}

struct VectorFile {
  const char* file;
  int id;
};

TEST(HmacVectors, Wycheproof) {
  const VectorFile files[] = {{"hmac_sha1_test.json", HashAlgorithm::kSha1},
                              {"hmac_sha256_test.json", HashAlgorithm::kSha256},
                              {"hmac_sha512_test.json", HashAlgorithm::kSha512}};
  for (const VectorFile& f : files) {
    auto cases = testsupport::WycheproofRows(f.file, "t['tcId'], t['result'], g['tagSize'], t['key'], "
                                              "t['msg'], t['tag']");
    REQUIRE_OR_SKIP(!cases.empty(), std::string("Wycheproof vectors and python3 for ") + f.file);
    OnBothPaths([&] {
      for (const auto& c : cases) {
        ASSERT_EQ(c.size(), 6u);
        const std::string tag = Hex(MacOf(f.id, mactest::FromHex(c[3]), mactest::FromHex(c[4])))
                                    .substr(0, static_cast<size_t>(std::stoi(c[2]) / 4));
        // Invalid cases carry a tag altered from the right one.
        EXPECT_EQ(tag == c[5], c[1] == "valid") << f.file << " case " << c[0];
      }
    });
  }
}

// Every digest number: keys and messages on each side of the digest's block,
// fed whole and in uneven pieces through one object that MACs them in turn.
TEST(HmacVectors, EveryDigestAgainstReference) {
  struct Case {
    int id;
    std::string key;
    std::string msg;
  };
  std::vector<Case> cases;
  std::vector<std::string> requests;
  for (int id = 0; id < HashAlgorithm::kCount; ++id) {
    const int block = Hmac::BlockSizeOf(id);
    const int keyLengths[] = {0, 3, block - 1, block, block + 1, 2 * block + 5};
    const int msgLengths[] = {0, 1, block - 9, block, block + 1, 3 * block + 7};
    for (int k = 0; k < 6; ++k) {
      Case c{id, mactest::Pattern(keyLengths[k], id * 16 + k),
             mactest::Pattern(msgLengths[k], id * 16 + k + 8)};
      requests.push_back(std::string("hmac ") + kReferenceNames[id] + " " + mactest::Arg(c.key) +
                         " " + mactest::Arg(c.msg));
      cases.push_back(std::move(c));
    }
  }
  const std::vector<std::string> expected = mactest::Reference(requests);
  REQUIRE_OR_SKIP(!expected.empty(), "python3 with pycryptodome and the openssl command");
  OnBothPaths([&] {
    Hmac mac;
    for (size_t i = 0; i < cases.size(); ++i) {
      const Case& c = cases[i];
      SCOPED_TRACE(requests[i]);
      if (i % 6 == 0) ASSERT_EQ(mac.Init(c.id, c.key.data(), static_cast<int>(c.key.size())), 0);
      else ASSERT_EQ(mac.SetKey(c.key.data(), static_cast<int>(c.key.size())), 0);
      // Pieces of 1, 2, 3 ... bytes straddle every block edge somewhere.
      size_t at = 0;
      for (size_t piece = 1; at < c.msg.size(); ++piece) {
        const size_t n = std::min(piece, c.msg.size() - at);
        ASSERT_EQ(mac.Update(c.msg.data() + at, static_cast<int>(n)), 0);
        at += n;
      }
      ASSERT_EQ(mac.Final(), 0);
      EXPECT_EQ(Hex(mac.GetMac(), mac.GetMacLength()), expected[i]);
      EXPECT_EQ(mac.GetMacLength() * 8, mac.GetMacBits());
      EXPECT_EQ(Hex(MacOf(c.id, c.key, c.msg)), expected[i]);
    }
  });
}

TEST(Hmac, BlockSizesCoverEveryDigest) {
  using namespace HashAlgorithm;
  const int expected[kCount] = {64, 64, 64, 64, 128, 128, 128, 128, 64,
                                64, 16, 64, 144, 136, 104, 72,  168, 136};
  for (int id = 0; id < kCount; ++id) {
    EXPECT_EQ(Hmac::BlockSizeOf(id), expected[id]) << id;
    EXPECT_LE(Hmac::BlockSizeOf(id), Hmac::kMaxBlockBytes);
    EXPECT_LE(HashContext::DigestLengthOf(id), Hmac::kMaxMacBytes);
  }
  EXPECT_EQ(Hmac::BlockSizeOf(18), 64);
}

TEST(Hmac, FinalWithoutUpdateIsTheMacOfTheEmptyMessage) {
  for (int id : {0, 2, 4, 10, 12, 16}) {
    Hmac mac;
    ASSERT_EQ(mac.Init(id, "key", 3), 0);
    ASSERT_EQ(mac.Final(), 0);
    EXPECT_EQ(std::string(mac.GetMac(), static_cast<size_t>(mac.GetMacLength())),
              MacOf(id, "key", "")) << id;
    // And again after a message, when the pads are pending once more.
    ASSERT_EQ(mac.Update("abc", 3), 0);
    ASSERT_EQ(mac.Final(), 0);
    ASSERT_EQ(mac.Final(), 0);
    EXPECT_EQ(std::string(mac.GetMac(), static_cast<size_t>(mac.GetMacLength())),
              MacOf(id, "key", "")) << id;
  }
}

TEST(Hmac, KeyChangesTakeEffectWithTheNextMessage) {
  const std::string longKey(200, 'k');
  Hmac mac;
  ASSERT_EQ(mac.Init(HashAlgorithm::kSha256, longKey.data(), 200), 0);
  ASSERT_EQ(mac.Update("first ", 6), 0);
  ASSERT_EQ(mac.SetKey("other", 5), 0);
  ASSERT_EQ(mac.Update("message", 7), 0);
  ASSERT_EQ(mac.Final(), 0);
  EXPECT_EQ(std::string(mac.GetMac(), 32), MacOf(HashAlgorithm::kSha256, longKey, "first message"));
  ASSERT_EQ(mac.Update("second", 6), 0);
  ASSERT_EQ(mac.Final(), 0);
  EXPECT_EQ(std::string(mac.GetMac(), 32), MacOf(HashAlgorithm::kSha256, "other", "second"));

  // Init with a new id drops the keyed states of the old one.
  ASSERT_EQ(mac.Init(HashAlgorithm::kSha384, "other", 5), 0);
  EXPECT_EQ(mac.GetMacBits(), 384);
  ASSERT_EQ(mac.Update("second", 6), 0);
  ASSERT_EQ(mac.Final(), 0);
  EXPECT_EQ(std::string(mac.GetMac(), 48), MacOf(HashAlgorithm::kSha384, "other", "second"));
}

TEST(Hmac, MacRepeatsAndAbandonsAnOpenMessage) {
  Hmac mac;
  ByteString first;
  ByteString second;
  ASSERT_EQ(mac.Init(HashAlgorithm::kMd5, "Jefe", 4), 0);
  ASSERT_EQ(mac.Mac(kJefe, sizeof kJefe - 1, first), 0);
  ASSERT_EQ(mac.Update("stray", 5), 0);
  ASSERT_EQ(mac.Mac(kJefe, sizeof kJefe - 1, second), 0);
  EXPECT_EQ(Hex(first.Data(), first.Length()), "750c783e6ab0b503eaa86e310a5db738");
  EXPECT_TRUE(first.Equals(second));
}

TEST(Hmac, UnknownDigestIsReportedByUpdateAndFinal) {
  Hmac mac;
  ASSERT_EQ(mac.Init(18, "key", 3), 0);
  EXPECT_EQ(mac.GetMacBits(), 0);
  EXPECT_EQ(mac.GetBlockSize(), 64);
  EXPECT_EQ(mac.Update("x", 1), kStatusUnknownDigest);
  EXPECT_EQ(mac.Final(), kStatusUnknownDigest);
  ByteString out;
  EXPECT_EQ(mac.Mac("x", 1, out), kStatusUnknownDigest);
  EXPECT_EQ(mac.GetMacLength(), 0);
  // The object recovers with a known id.
  ASSERT_EQ(mac.Init(HashAlgorithm::kMd5, "Jefe", 4), 0);
  ASSERT_EQ(mac.Mac(kJefe, sizeof kJefe - 1, out), 0);
  EXPECT_EQ(Hex(out.Data(), out.Length()), "750c783e6ab0b503eaa86e310a5db738");
}

}  // namespace
