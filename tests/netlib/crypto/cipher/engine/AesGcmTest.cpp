#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "EngineHelpers.h"
#include "PathLevels.h"
#include "VectorFiles.h"
#include "crypto/cipher/aead/AesGcm.h"
#include "crypto/cipher/aes/Aes.h"
#include "crypto/cipher/engine/SymmetricCipher.h"

using namespace tornell;
using namespace aeadtest;

namespace {

const std::string K = "feffe9928665731c6d6a8f9467308308";
const std::string P60 =
    "d9313225f88406e5a55909c5aff5269a86a7a9531534f7da2e4c303d8a318a721c3c0c95956809532fcf0e2449a6b525"
    "b16aedf5aa0de657ba637b39";
const std::string A = "feedfacedeadbeeffeedfacedeadbeefabaddad2";
const std::string IV60 =
    "9313225df88406e555909c5aff5269aa6a7a9538534f7da1e4c303d2a318a728c3c0c95156809539fcf0e2429a6b5254"
    "16aedbf5a0de6a57a637b39b";

struct GcmCase {
  const char* name;
  std::string key, iv, aad, pt, ct, tag;  // ct empty: only the tag is checked
};

// Test cases of the GCM specification (AES-128, -192 and -256; 96-bit, 8-byte and 60-byte IVs).
const GcmCase kSpecCases[] = {
    {"1", std::string(32, '0'), std::string(24, '0'), "", "", "", "58e2fccefa7e3061367f1d57a4e7455a"},
    {"2", std::string(32, '0'), std::string(24, '0'), "", std::string(32, '0'), "0388dace60b6a392f328c2b971b2fe78",
     "ab6e47d42cec13bdf53a67b21257bddf"},
    {"4", K, "cafebabefacedbaddecaf888", A, P60,
     "42831ec2217774244b7221b784d0d49ce3aa212f2c02a4e035c17e2329aca12e21d514b25466931c7d8f6a5aac84aa05"
     "1ba30b396a0aac973d58e091",
     "5bc94fbc3221a5db94fae95ae7121a47"},
    {"5", K, "cafebabefacedbad", A, P60,
     "61353b4c2806934a777ff51fa22a4755699b2a714fcdc6f83766e5f97b6c742373806900e49f24b22b097544d4896b42"
     "4989b5e1ebac0f07c23f4598",
     "3612d2e79e3b0785561be14aaca2fccb"},
    {"6", K, IV60, A, P60,
     "8ce24998625615b603a033aca13fb894be9112a5c3a211a8ba262a3cca7e2ca701e4a9a4fba43c90ccdcb281d48c7c6f"
     "d62875d2aca417034c34aee5",
     "619cc5aefffe0bfa462af43c1699d050"},
    {"10", K + K.substr(0, 16), "cafebabefacedbaddecaf888", A, P60, "", "2519498e80f1478f37ba55bd6d27618c"},
    {"12", K + K.substr(0, 16), IV60, A, P60, "", "dcf566ff291c25bbb8568fc3d376a6d9"},
    {"16", K + K, "cafebabefacedbaddecaf888", A, P60, "", "76fc6ece0f4e1768cddf8853bb2d551b"},
    {"17", K + K, "cafebabefacedbad", A, P60, "", "3a337dbf46a792c45e454913fe2ea8f2"},
    {"18", K + K, IV60, A, P60, "", "a44a8266ee1c8eb0c8b5d4cf5ae9f19a"},
};

class GcmPaths : public PathLevels {
 protected:
  // Encrypts with the data given in pieces of the listed sizes (the rest in a last piece).
  static std::string Seal(const Bytes& key, const Bytes& iv, const Bytes& aad, const Bytes& pt,
                          std::vector<size_t> cuts, Bytes* tagOut = nullptr) {
    AesGcm g;
    EXPECT_EQ(0, g.SetKey(key.data(), int(key.size())));
    EXPECT_EQ(0, g.SetIV(iv.data(), iv.size()));
    EXPECT_EQ(0, g.AddAad(aad.data(), aad.size()));
    Bytes ct(pt.size());
    size_t at = 0;
    cuts.push_back(pt.size());
    for (size_t n : cuts) {
      n = std::min(n, pt.size() - at);
      EXPECT_EQ(0, g.Update(const_cast<uint8_t*>(pt.data()) + at, n, ct.data() + at, true));
      at += n;
    }
    Bytes tag(16);
    int len = 16;
    EXPECT_EQ(0, g.Finish(tag.data(), &len, 1));
    if (tagOut) *tagOut = tag;
    return ToHex(ct) + "/" + ToHex(tag);
  }
};

TEST_P(GcmPaths, SpecificationTestCases) {
  USE_PROCESSOR_PATH_OR_SKIP(GetParam());
  for (const GcmCase& c : kSpecCases) {
    SCOPED_TRACE(c.name);
    Bytes key = Hex(c.key), iv = Hex(c.iv), aad = Hex(c.aad), pt = Hex(c.pt);
    AesGcm g;
    ASSERT_EQ(0, g.SetKey(key.data(), int(key.size())));
    Bytes ct(pt.size() + 1), tag(16);
    int tagLength = 16;
    ASSERT_EQ(0, g.EncryptAndTag(iv.data(), iv.size(), aad.data(), aad.size(), pt.data(), pt.size(), ct.data(),
                                 tag.data(), &tagLength));
    ct.resize(pt.size());
    if (!c.ct.empty()) {
      EXPECT_EQ(ToHex(ct), c.ct);
    }
    EXPECT_EQ(ToHex(tag), c.tag);

    Bytes back(pt.size() + 1);
    ASSERT_EQ(0, g.SetKey(key.data(), int(key.size())));
    EXPECT_EQ(0, g.DecryptAndVerify(iv.data(), iv.size(), aad.data(), aad.size(), ct.data(), ct.size(), tag.data(),
                                    16, back.data()));
    back.resize(pt.size());
    EXPECT_EQ(ToHex(back), c.pt);
  }
}

TEST_P(GcmPaths, PiecesGiveTheSameResultAsOneCall) {
  USE_PROCESSOR_PATH_OR_SKIP(GetParam());
  Bytes key = Hex(K), iv = Hex("cafebabefacedbaddecaf888"), aad = Hex(A);
  Bytes pt;
  for (int i = 0; i < 1000; ++i) pt.push_back(uint8_t(i * 7 + 3));
  std::string whole = Seal(key, iv, aad, pt, {});
  EXPECT_EQ(whole, Seal(key, iv, aad, pt, {1, 15, 17, 33}));
  EXPECT_EQ(whole, Seal(key, iv, aad, pt, {16, 1, 200, 33, 17, 15}));

  // IV and AAD in pieces too.
  AesGcm g;
  EXPECT_EQ(0, g.SetKey(key.data(), 16));
  EXPECT_EQ(0, g.SetIV(iv.data(), 8));
  EXPECT_EQ(0, g.SetIV(iv.data() + 8, 4));
  EXPECT_EQ(0, g.AddAad(aad.data(), 3));
  EXPECT_EQ(0, g.AddAad(aad.data() + 3, aad.size() - 3));
  Bytes ct(pt.size()), tag(16);
  EXPECT_EQ(0, g.Update(pt.data(), pt.size(), ct.data(), true));
  int len = 16;
  EXPECT_EQ(0, g.Finish(tag.data(), &len, 1));
  EXPECT_EQ(whole, ToHex(ct) + "/" + ToHex(tag));

  // Every other path gives the same bytes.
  for (uint32_t level : {kWidePath, kVaes256Path, kVectorPath, kPortablePath}) {
    if (!Available(level)) continue;
    tornell::cpu::ScopedRestrict path(level);
    EXPECT_EQ(whole, Seal(key, iv, aad, pt, {129})) << level;
  }
}

// GCM needs at least one IV bit: an empty IV would give the pre-counter
// block 0 under every key. Refused when the IV phase ends, also by the engine.
TEST_P(GcmPaths, EmptyIvIsRefused) {
  USE_PROCESSOR_PATH_OR_SKIP(GetParam());
  Bytes key(16, 1), data(20, 3);
  AesGcm g;
  ASSERT_EQ(0, g.SetKey(key.data(), 16));
  ASSERT_EQ(0, g.SetIV(nullptr, 0));
  EXPECT_EQ(AesGcm::kBadIvSize, g.AddAad(nullptr, 0));
  EXPECT_EQ(AesGcm::kWrongPhase, g.Update(data.data(), data.size(), data.data(), true));

  SymmetricCipher c;
  ASSERT_EQ(0, c.SetAlgorithm(12));
  EXPECT_EQ(SymmetricCipher::kBadIvSize, c.InitEncrypt(C(key), 16, nullptr, 0));
  // One IV byte is enough.
  EXPECT_EQ(0, c.InitEncrypt(C(key), 16, C(data), 1));
}

TEST_P(GcmPaths, TruncatedTagsAndTheShortTagRefusal) {
  USE_PROCESSOR_PATH_OR_SKIP(GetParam());
  Bytes key = Hex(K), iv = Hex("cafebabefacedbaddecaf888"), aad = Hex(A), pt = Hex(P60);
  Bytes full;
  Seal(key, iv, aad, pt, {}, &full);

  auto sealTag = [&](int requested, int* got) {
    AesGcm g;
    EXPECT_EQ(0, g.SetKey(key.data(), 16));
    Bytes ct(pt.size()), tag(20, 0xAA);
    *got = requested;
    EXPECT_EQ(0, g.EncryptAndTag(iv.data(), 12, aad.data(), aad.size(), pt.data(), pt.size(), ct.data(),
                                 tag.data(), got));
    return tag;
  };
  int got = 0;
  Bytes t12 = sealTag(12, &got);
  EXPECT_EQ(12, got);
  EXPECT_EQ(ToHex(t12.data(), 12), ToHex(full.data(), 12));
  EXPECT_EQ(0xAA, t12[12]);
  sealTag(20, &got);
  EXPECT_EQ(16, got);

  auto open = [&](const uint8_t* tag, int length) {
    AesGcm g;
    EXPECT_EQ(0, g.SetKey(key.data(), 16));
    Bytes ct = Hex(Seal(key, iv, aad, pt, {}).substr(0, 120)), out(pt.size());
    return g.DecryptAndVerify(iv.data(), 12, aad.data(), aad.size(), ct.data(), ct.size(), tag, length, out.data());
  };
  Bytes wrongTail = full;
  wrongTail[13] ^= 0x40;
  EXPECT_EQ(0, open(wrongTail.data(), 12));  // only 12 bytes are compared
  EXPECT_EQ(1000, open(wrongTail.data(), 16));
  EXPECT_EQ(1000, open(full.data(), 0));      // nothing to compare is a failure, not a pass
  EXPECT_EQ(1000, open(full.data(), -4));
  EXPECT_EQ(1000, open(full.data(), 11));
  EXPECT_EQ(0, open(full.data(), 16));
}

TEST_P(GcmPaths, WrongTagLeavesZeroPlaintext) {
  USE_PROCESSOR_PATH_OR_SKIP(GetParam());
  Bytes key = Hex(K), iv = Hex("cafebabefacedbaddecaf888"), pt = Hex(P60);
  Bytes tag;
  std::string sealed = Seal(key, iv, {}, pt, {}, &tag);
  Bytes ct = Hex(sealed.substr(0, 120));
  tag[0] ^= 1;
  AesGcm g;
  EXPECT_EQ(0, g.SetKey(key.data(), 16));
  Bytes out(pt.size(), 0x55);
  EXPECT_EQ(1000, g.DecryptAndVerify(iv.data(), 12, nullptr, 0, ct.data(), ct.size(), tag.data(), 16, out.data()));
  EXPECT_EQ(ToHex(out), std::string(120, '0'));
}

TEST_P(GcmPaths, PhasesOnlyRunForward) {
  USE_PROCESSOR_PATH_OR_SKIP(GetParam());
  Bytes key(16, 2), buf(32);
  AesGcm g;
  EXPECT_EQ(0, g.SetKey(key.data(), 16));
  EXPECT_EQ(-1, g.Update(buf.data(), 4, buf.data() + 16, true));  // still in the IV phase
  EXPECT_EQ(0, g.SetIV(buf.data(), 12));
  EXPECT_EQ(0, g.AddAad(buf.data(), 5));
  int len = 16;
  EXPECT_EQ(-1, g.Finish(buf.data(), &len, 1));
  EXPECT_EQ(0, g.Update(buf.data(), 4, buf.data() + 16, true));
  EXPECT_EQ(-1, g.AddAad(buf.data(), 1));
  EXPECT_EQ(-1, g.SetIV(buf.data(), 1));
}

TEST_P(GcmPaths, CounterBudget) {
  USE_PROCESSOR_PATH_OR_SKIP(GetParam());
  Bytes key(16, 3), pt(200, 0), ct(200);
  AesGcm g;
  EXPECT_EQ(0, g.SetKey(key.data(), 16));
  EXPECT_EQ(0, g.SetIV(pt.data(), 12));
  EXPECT_EQ(0, g.AddAad(nullptr, 0));
  g.budget = 5;  // one increment ends the AAD phase, then one per block
  EXPECT_EQ(1001, g.Update(pt.data(), 200, ct.data(), true));
  EXPECT_EQ(0u, g.budget);
}

TEST_P(GcmPaths, CopyFromContinuesTheMessage) {
  USE_PROCESSOR_PATH_OR_SKIP(GetParam());
  Bytes key = Hex(K), iv = Hex("cafebabefacedbaddecaf888"), aad = Hex(A);
  Bytes pt(300);
  for (size_t i = 0; i < pt.size(); ++i) pt[i] = uint8_t(i);
  std::string whole = Seal(key, iv, aad, pt, {});
  AesGcm a, b;
  EXPECT_EQ(0, a.SetKey(key.data(), 16));
  EXPECT_EQ(0, a.SetIV(iv.data(), 12));
  EXPECT_EQ(0, a.AddAad(aad.data(), aad.size()));
  Bytes ct(pt.size()), tag(16);
  EXPECT_EQ(0, a.Update(pt.data(), 37, ct.data(), true));
  ASSERT_EQ(0, b.CopyFrom(a));
  EXPECT_EQ(0, b.Update(pt.data() + 37, pt.size() - 37, ct.data() + 37, true));
  int len = 16;
  EXPECT_EQ(0, b.Finish(tag.data(), &len, 1));
  EXPECT_EQ(whole, ToHex(ct) + "/" + ToHex(tag));
}

// A key's GHASH powers grow with the longest message so far: messages
// restarted on one key, short ones before and after long ones, seal as a
// freshly keyed state does.
TEST_P(GcmPaths, RestartedMessagesMatchAFreshKey) {
  USE_PROCESSOR_PATH_OR_SKIP(GetParam());
  Bytes key = Hex(K + K), iv = Hex("cafebabefacedbaddecaf888"), aad = Hex(A);
  AesGcm reused;
  ASSERT_EQ(0, reused.SetKey(key.data(), 32));
  for (size_t size : {5u, 40u, 130u, 300u, 16u, 700u, 3u}) {
    SCOPED_TRACE(size);
    Bytes pt(size);
    for (size_t i = 0; i < size; ++i) pt[i] = uint8_t(i * 7 + size);
    iv[11] = uint8_t(size);
    reused.Restart();
    Bytes ct(size), tag(16);
    int len = 16;
    ASSERT_EQ(0, reused.EncryptAndTag(iv.data(), 12, aad.data(), aad.size(), pt.data(), size, ct.data(), tag.data(),
                                      &len));
    EXPECT_EQ(Seal(key, iv, aad, pt, {}), ToHex(ct) + "/" + ToHex(tag));
  }
}

// Record layers seal and open in place; the wide kernels hash a chunk while
// the next is ciphered, so a long message in place must give the same bytes.
TEST_P(GcmPaths, InPlaceGivesTheSameBytes) {
  USE_PROCESSOR_PATH_OR_SKIP(GetParam());
  for (int keyLength : {16, 24, 32}) {
    SCOPED_TRACE(keyLength);
    Bytes key(size_t(keyLength), 0x5c), iv = Hex("cafebabefacedbaddecaf888"), aad = Hex(A);
    Bytes pt(4096 + 16 * 7 + 5);
    for (size_t i = 0; i < pt.size(); ++i) pt[i] = uint8_t(i * 13 + 1);
    std::string sealed = Seal(key, iv, aad, pt, {});
    Bytes buf = pt, tag(16);
    int len = 16;
    AesGcm g;
    ASSERT_EQ(0, g.SetKey(key.data(), keyLength));
    ASSERT_EQ(0, g.EncryptAndTag(iv.data(), 12, aad.data(), aad.size(), buf.data(), buf.size(), buf.data(),
                                 tag.data(), &len));
    EXPECT_EQ(sealed, ToHex(buf) + "/" + ToHex(tag));
    ASSERT_EQ(0, g.SetKey(key.data(), keyLength));
    EXPECT_EQ(0, g.DecryptAndVerify(iv.data(), 12, aad.data(), aad.size(), buf.data(), buf.size(), tag.data(), 16,
                                    buf.data()));
    EXPECT_EQ(ToHex(pt), ToHex(buf));
    // Every other path seals the same bytes.
    for (uint32_t level : {kWidePath, kVaes256Path, kVectorPath, kPortablePath}) {
      if (!Available(level)) continue;
      tornell::cpu::ScopedRestrict path(level);
      EXPECT_EQ(sealed, Seal(key, iv, aad, pt, {300})) << level;
    }
  }
}

AEAD_ALL_PATHS(GcmPaths);

bool Holds(const AesGcm& g, const uint8_t* secret) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(&g);
  for (size_t at = 0; at + 16 <= sizeof g; ++at) {
    if (std::memcmp(bytes + at, secret, 16) == 0) return true;
  }
  return false;
}

// A new key leaves nothing of the old one in the object: not its hash key H
// in either byte order (the tables and the powers of the carry-less path),
// nor a round key, whichever paths the two keys run on.
TEST(GcmRekey, NothingOfThePreviousKeyRemains) {
  const Bytes oldKey = Hex(K), newKey = Hex(K.substr(2) + "11");
  uint32_t words[60];
  const int rounds = AesKeySetupEncrypt(words, oldKey.data(), 128);
  uint8_t h[16] = {}, reversed[16], roundKey[16];
  AesEncryptBlock(words, rounds, h, h);
  for (int i = 0; i < 16; ++i) reversed[i] = h[15 - i];
  for (int i = 0; i < 4; ++i) {
    for (int b = 0; b < 4; ++b) roundKey[4 * i + b] = uint8_t(words[4 + i] >> (24 - 8 * b));
  }
  for (size_t length : {size_t(0), size_t(1000)}) {
    Bytes pt(length, 0x5A);
    for (uint32_t first : {kWidePath, kVaes256Path, kVectorPath, kPortablePath}) {
      for (uint32_t second : {kWidePath, kVaes256Path, kVectorPath, kPortablePath}) {
        if (!Available(first) || !Available(second)) continue;
        SCOPED_TRACE(testing::Message() << first << " then " << second << ", " << length << " bytes");
        AesGcm g;
        {
          tornell::cpu::ScopedRestrict path(first);
          ASSERT_EQ(0, g.SetKey(oldKey.data(), 16));
          Bytes ct(pt.size()), tag(16);
          int tagLength = 16;
          // A long message makes the higher powers of H as well.
          if (length > 0) {
            ASSERT_EQ(0, g.EncryptAndTag(oldKey.data(), 12, nullptr, 0, pt.data(), pt.size(), ct.data(), tag.data(),
                                         &tagLength));
          }
        }
        tornell::cpu::ScopedRestrict path(second);
        ASSERT_EQ(0, g.SetKey(newKey.data(), 16));
        EXPECT_FALSE(Holds(g, h));
        EXPECT_FALSE(Holds(g, reversed));
        EXPECT_FALSE(Holds(g, roundKey));
      }
    }
  }
}

}  // namespace
