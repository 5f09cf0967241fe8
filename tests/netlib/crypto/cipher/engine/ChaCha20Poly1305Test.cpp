#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "PathLevels.h"
#include "VectorFiles.h"
#include "crypto/cipher/stream/ChaCha20.h"
#include "crypto/cipher/aead/ChaCha20Poly1305.h"
#include "crypto/cipher/aead/Poly1305.h"

using namespace tornell;
using namespace aeadtest;

namespace {

const std::string kSunscreen =
    "Ladies and Gentlemen of the class of '99: If I could offer you only one tip for the future, "
    "sunscreen would be it.";

Bytes Range(int from, int count) {
  Bytes b;
  for (int i = 0; i < count; ++i) b.push_back(uint8_t(from + i));
  return b;
}

// Every case runs on the AVX-512, the AVX2 and the portable path.
using ChaChaPaths = PathLevels;

TEST_P(ChaChaPaths, Rfc8439BlockAndCipherVectors) {
  USE_PROCESSOR_PATH_OR_SKIP(GetParam());
  Bytes key = Range(0, 32);
  ChaCha20 c;
  ASSERT_EQ(0, c.SetKey(key.data(), 32, Hex("000000090000004a00000000").data(), 12, 1));
  uint8_t block[64] = {};
  EXPECT_EQ(0, c.Encrypt(block, 64, block));
  EXPECT_EQ(ToHex(block, 64),
            "10f1e7e4d13b5915500fdd1fa32071c4c7d1f4c733c068030422aa9ac3d46c4e"
            "d2826446079faa0914c2d705d98b02a2b5129cd1de164eb9cbd083e8a2503c4e");

  ASSERT_EQ(0, c.SetKey(key.data(), 32, Hex("000000000000004a00000000").data(), 12, 1));
  Bytes out(kSunscreen.size());
  EXPECT_EQ(0, c.Encrypt(reinterpret_cast<const uint8_t*>(kSunscreen.data()), out.size(), out.data()));
  EXPECT_EQ(ToHex(out),
            "6e2e359a2568f98041ba0728dd0d6981e97e7aec1d4360c20a27afccfd9fae0b"
            "f91b65c5524733ab8f593dabcd62b3571639d624e65152ab8f530c359f0861d8"
            "07ca0dbf500d6a6156a38e088a22b65e52bc514d16ccf806818ce91ab7793736"
            "5af90bbf74a35be6b40b8eedf2785e42874d");
}

TEST_P(ChaChaPaths, PiecesGiveTheSameKeystreamAsOneCall) {
  USE_PROCESSOR_PATH_OR_SKIP(GetParam());
  // Long enough for the eight-block path, starting near the 32-bit counter wrap.
  Bytes key = Range(7, 32), nonce = Range(1, 12), msg = Range(3, 1500);
  ChaCha20 whole, pieces;
  EXPECT_EQ(0, whole.SetKey(key.data(), 32, nonce.data(), 12, 0xFFFFFFFC));
  EXPECT_EQ(0, pieces.SetKey(key.data(), 32, nonce.data(), 12, 0xFFFFFFFC));
  Bytes a(msg.size()), b(msg.size());
  EXPECT_EQ(0, whole.Encrypt(msg.data(), msg.size(), a.data()));
  size_t cuts[] = {1, 63, 64, 65, 600, 1};
  size_t at = 0;
  for (size_t n : cuts) {
    EXPECT_EQ(0, pieces.Encrypt(msg.data() + at, n, b.data() + at));
    at += n;
  }
  EXPECT_EQ(0, pieces.Encrypt(msg.data() + at, msg.size() - at, b.data() + at));
  EXPECT_EQ(ToHex(a), ToHex(b));

  // Every other path must produce the same bytes.
  for (uint32_t level : {kWidePath, kVaes256Path, kVectorPath, kPortablePath}) {
    if (!Available(level)) continue;
    tornell::cpu::ScopedRestrict path(level);
    ChaCha20 other;
    EXPECT_EQ(0, other.SetKey(key.data(), 32, nonce.data(), 12, 0xFFFFFFFC));
    Bytes c(msg.size());
    EXPECT_EQ(0, other.Encrypt(msg.data(), msg.size(), c.data()));
    EXPECT_EQ(ToHex(a), ToHex(c)) << level;
  }
}

// Long runs of blocks take the IFMA path where there is one; values near the
// prime (all-ones blocks, the largest clamped r) stress its carries.
TEST_P(ChaChaPaths, Poly1305LongInputsAgreeWithThePortableCode) {
  USE_PROCESSOR_PATH_OR_SKIP(GetParam());
  Bytes ones(2100, 0xFF), mixed = Range(7, 2100);
  Bytes keys[] = {Hex("ffffff0ffcffff0ffcffff0ffcffff0fffffffffffffffffffffffffffffffff"), Range(40, 32)};
  for (const Bytes& key : keys) {
    for (const Bytes* msg : {&ones, &mixed}) {
      for (size_t length : {size_t(256), size_t(16 * 17 + 5), size_t(1000), size_t(2100)}) {
        SCOPED_TRACE(length);
        auto tag = [&](uint32_t level, std::vector<size_t> cuts) {
          tornell::cpu::ScopedRestrict path(level);
          Poly1305 p;
          EXPECT_EQ(0, p.SetKey(key.data()));
          size_t at = 0;
          cuts.push_back(length);
          for (size_t n : cuts) {
            n = std::min(n, length - at);
            EXPECT_EQ(0, p.Update(msg->data() + at, n));
            at += n;
          }
          return ToHex(p.Finish(), 16);
        };
        std::string reference = tag(kPortablePath, {});
        EXPECT_EQ(tag(GetParam(), {}), reference);
        EXPECT_EQ(tag(GetParam(), {3, 300}), reference);
      }
    }
  }
}

// Long messages take the vector kernels with Poly1305 stitched in; pieces
// of any size and every path agree with the portable code in one call.
TEST_P(ChaChaPaths, LongMessagesAgreeWithThePortableCode) {
  USE_PROCESSOR_PATH_OR_SKIP(GetParam());
  Bytes key = Range(5, 32), nonce = Range(9, 12), aad = Range(1, 13), msg = Range(0, 3000);
  auto seal = [&](std::vector<size_t> cuts, bool encrypt, const Bytes& input) {
    ChaCha20Poly1305 a;
    EXPECT_EQ(0, a.Init(key.data(), 32, nonce.data(), 12, 0, 1));
    EXPECT_EQ(0, a.SetAad(aad.data(), int(aad.size())));
    Bytes out(input.size());
    size_t at = 0;
    cuts.push_back(input.size());
    for (size_t n : cuts) {
      n = std::min(n, input.size() - at);
      if (encrypt) {
        EXPECT_EQ(0, a.Process(const_cast<uint8_t*>(input.data()) + at, n, out.data() + at, true));
      } else {
        EXPECT_EQ(0, a.Process(out.data() + at, n, const_cast<uint8_t*>(input.data()) + at, false));
      }
      at += n;
    }
    uint8_t tag[16];
    int tagLength = 16;
    EXPECT_EQ(0, a.Final(tag, &tagLength, true));
    return std::pair{out, ToHex(tag, 16)};
  };
  auto reference = [&] {
    tornell::cpu::ScopedRestrict portable(kPortablePath);
    return seal({}, true, msg);
  }();
  for (const std::vector<size_t>& cuts : {std::vector<size_t>{}, std::vector<size_t>{1, 600, 1030}, {1024, 512}}) {
    auto sealed = seal(cuts, true, msg);
    EXPECT_EQ(ToHex(sealed.first), ToHex(reference.first));
    EXPECT_EQ(sealed.second, reference.second);
    auto opened = seal(cuts, false, reference.first);
    EXPECT_EQ(ToHex(opened.first), ToHex(msg));
    EXPECT_EQ(opened.second, reference.second);  // the tag over the same ciphertext
  }
}

AEAD_ALL_PATHS(ChaChaPaths);

TEST(ChaCha20, KeyIsCheckedBeforeNonce) {
  Bytes key = Range(0, 33), nonce = Range(0, 16);
  ChaCha20 c;
  EXPECT_EQ(3001, c.SetKey(key.data(), 31, nonce.data(), 16, 0));
  EXPECT_EQ(3001, c.SetKey(key.data(), 33, nonce.data(), 12, 0));
  EXPECT_EQ(3000, c.SetKey(key.data(), 32, nonce.data(), 16, 0));
  EXPECT_EQ(0, c.SetKey(key.data(), 32, nonce.data(), 8, 0));
}

TEST(ChaCha20, CopyFromContinuesMidBlock) {
  Bytes key = Range(0, 32), nonce = Range(0, 12), msg = Range(0, 200);
  ChaCha20 a, b;
  EXPECT_EQ(0, a.SetKey(key.data(), 32, nonce.data(), 12, 0));
  Bytes x(200), y(200);
  EXPECT_EQ(0, a.Encrypt(msg.data(), 37, x.data()));
  EXPECT_EQ(0, b.CopyFrom(a));
  EXPECT_EQ(0, a.Encrypt(msg.data() + 37, 163, x.data() + 37));
  EXPECT_EQ(0, b.Encrypt(msg.data() + 37, 163, y.data() + 37));
  EXPECT_EQ(ToHex(x.data() + 37, 163), ToHex(y.data() + 37, 163));
}

TEST(Poly1305, Rfc8439TagInOneCallAndInPieces) {
  Bytes key = Hex("85d6be7857556d337f4452fe42d506a80103808afb0db2fd4abff6af4149f51b");
  std::string msg = "Cryptographic Forum Research Group";
  const auto* m = reinterpret_cast<const uint8_t*>(msg.data());
  Poly1305 p;
  EXPECT_EQ(0, p.SetKey(key.data()));
  EXPECT_EQ(0, p.Update(m, msg.size()));
  EXPECT_EQ(ToHex(p.Finish(), 16), "a8061dc1305136c6c22b8baf0c0127a9");
  EXPECT_EQ(0, p.SetKey(key.data()));
  EXPECT_EQ(0, p.Update(m, 1));
  EXPECT_EQ(0, p.Update(m + 1, 0));
  EXPECT_EQ(0, p.Update(m + 1, 20));
  EXPECT_EQ(0, p.Update(m + 21, msg.size() - 21));
  EXPECT_EQ(ToHex(p.Finish(), 16), "a8061dc1305136c6c22b8baf0c0127a9");
}

TEST(Poly1305, FinalReductionOfValuesNearThePrime) {
  // r = 0 leaves h = 0 so the tag is s; r = 1 with all-ones blocks drives h past 2^130 - 5.
  Bytes key(32, 0);
  key[0] = 1;
  for (int i = 16; i < 32; ++i) key[i] = 0;
  Bytes msg(16, 0xFF);
  Poly1305 p;
  EXPECT_EQ(0, p.SetKey(key.data()));
  EXPECT_EQ(0, p.Update(msg.data(), 16));
  // h = 2^128 + 2^128 - 1 = 2^129 - 1, below the prime: tag is its low 128 bits.
  EXPECT_EQ(ToHex(p.Finish(), 16), "ffffffffffffffffffffffffffffffff");
  // Known extreme case (RFC 8439 test vector #6 of appendix A.3): h reduces to 2^130 - 5 + 3.
  Bytes k6 = Hex("0200000000000000000000000000000000000000000000000000000000000000");
  Bytes m6 = Hex("ffffffffffffffffffffffffffffffff");
  EXPECT_EQ(0, p.SetKey(k6.data()));
  EXPECT_EQ(0, p.Update(m6.data(), 16));
  EXPECT_EQ(ToHex(p.Finish(), 16), "03000000000000000000000000000000");
}

TEST(ChaCha20Poly1305, Rfc8439OneTimeKeyAndAeadExample) {
  Bytes key = Range(0x80, 32);
  ChaCha20Poly1305 a;
  ASSERT_EQ(0, a.Init(key.data(), 32, Hex("000000000001020304050607").data(), 12, 0, 1));
  ASSERT_EQ(0, a.Init(key.data(), 32, Hex("070000004041424344454647").data(), 12, 0, 1));
  Bytes aad = Hex("50515253c0c1c2c3c4c5c6c7");
  ASSERT_EQ(0, a.SetAad(aad.data(), int(aad.size())));
  Bytes pt(kSunscreen.begin(), kSunscreen.end()), ct(pt.size());
  ASSERT_EQ(0, a.Process(pt.data(), 50, ct.data(), true));
  ASSERT_EQ(0, a.Process(pt.data() + 50, pt.size() - 50, ct.data() + 50, true));
  uint8_t tag[16];
  int tagLength = 16;
  ASSERT_EQ(0, a.Final(tag, &tagLength, true));
  EXPECT_EQ(ToHex(ct),
            "d31a8d34648e60db7b86afbc53ef7ec2a4aded51296e08fea9e2b5a736ee62d6"
            "3dbea45e8ca9671282fafb69da92728b1a71de0a9e060b2905d6a5b67ecd3b36"
            "92ddbd7f2d778b8c9803aee328091b58fab324e4fad675945585808b4831d7bc"
            "3ff4def08e4b7a9de576d26586cec64b6116");
  EXPECT_EQ(ToHex(tag, 16), "1ae10b594f09e26a7e902ecbd0600691");

  auto open = [&](const uint8_t* expected, int length) {
    ChaCha20Poly1305 d;
    EXPECT_EQ(0, d.Init(key.data(), 32, Hex("070000004041424344454647").data(), 12, 0, 1));
    EXPECT_EQ(0, d.SetAad(aad.data(), int(aad.size())));
    Bytes back(ct.size());
    EXPECT_EQ(0, d.Process(back.data(), ct.size(), ct.data(), false));
    int n = length;
    int st = d.Final(const_cast<uint8_t*>(expected), &n, false);
    if (st == 0) {
      EXPECT_EQ(std::string(back.begin(), back.end()), kSunscreen);
    }
    return st;
  };
  EXPECT_EQ(0, open(tag, 16));
  EXPECT_EQ(1000, open(tag, 12));  // a truncated tag never verifies
  EXPECT_EQ(-1, open(nullptr, 16));
  uint8_t bad[16];
  std::memcpy(bad, tag, 16);
  bad[15] ^= 1;
  EXPECT_EQ(1000, open(bad, 16));
}

TEST(ChaCha20Poly1305, OneTimeKeyFromBlockZero) {
  Bytes key = Range(0x80, 32);
  ChaCha20 c;
  EXPECT_EQ(0, c.SetKey(key.data(), 32, Hex("000000000001020304050607").data(), 12, 0));
  uint8_t block[32] = {};
  EXPECT_EQ(0, c.Encrypt(block, 32, block));
  EXPECT_EQ(ToHex(block, 32), "8ad5a08b905f81cc815040274ab29471a833b637e3fd0da508dbb8e2fdd1a646");
}

TEST(ChaCha20Poly1305, InitPassesKeyAndNonceErrors) {
  Bytes key = Range(0, 32), nonce = Range(0, 16);
  ChaCha20Poly1305 a;
  EXPECT_EQ(3001, a.Init(key.data(), 16, nonce.data(), 12, 0, 1));
  EXPECT_EQ(3000, a.Init(key.data(), 32, nonce.data(), 16, 0, 1));
}

}  // namespace
