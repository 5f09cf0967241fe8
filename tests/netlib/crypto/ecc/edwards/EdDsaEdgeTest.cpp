// EdDSA argument checks, the hardened decoding and signing rules, key
// handling and the SHA-512 Ed448 scheme (which no peer implements).
#include <gtest/gtest.h>

#include <cstring>

#include "VectorTools.h"
#include "crypto/digest/hash/HashAlgorithm.h"
#include "crypto/digest/hash/HashContext.h"
#include "crypto/ecc/edwards/EdDsa.h"
#include "crypto/ecc/edwards/EdwardsMath.h"

using tornell::ByteString;
using tornell::EdDsa;
using tornell::EdwardsMath;
using namespace edtest;

namespace {

Bytes Seed(size_t n, int salt) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<unsigned char>(i * 13 + salt);
  return b;
}

Bytes Public(const Bytes& seed) {
  ByteString out;
  EXPECT_EQ(EdDsa::PublicFromSeed(seed.data(), static_cast<int>(seed.size()), out), 0);
  return Bytes(out.Bytes(), out.Bytes() + out.Length());
}

Bytes ToBytes(const ByteString& s) { return Bytes(s.Bytes(), s.Bytes() + s.Length()); }

const unsigned char kMsg[] = "attack at dawn";
constexpr int kMsgLen = 14;

}  // namespace

TEST(EdDsaEdge, ContextRules) {
  const Bytes seed = Seed(32, 1), pub = Public(seed), seed448 = Seed(57, 2), pub448 = Public(seed448);
  ByteString sig;
  const unsigned char ctx[1] = {'x'};
  EXPECT_EQ(EdDsa::SignEd25519ctx(kMsg, kMsgLen, ctx, 0, pub.data(), 32, seed.data(), 32, sig),
            tornell::kEdDsaContextLength);
  Bytes longCtx(256, 'c');
  EXPECT_EQ(EdDsa::SignEd25519ctx(kMsg, kMsgLen, longCtx.data(), 256, pub.data(), 32, seed.data(), 32, sig),
            tornell::kEdDsaContextLength);
  EXPECT_EQ(EdDsa::SignEd448(kMsg, kMsgLen, longCtx.data(), 256, pub448.data(), 57, seed448.data(), 57, sig),
            tornell::kEdDsaContextLength);
  EXPECT_EQ(EdDsa::SignEd25519ph(kMsg, kMsgLen, 0, nullptr, 0, pub.data(), 32, seed.data(), 32, sig), 0);
  EXPECT_EQ(EdDsa::SignEd448(kMsg, kMsgLen, nullptr, 0, pub448.data(), 57, seed448.data(), 57, sig), 0);
  EXPECT_EQ(EdDsa::SignEd448ph(kMsg, kMsgLen, 0, nullptr, 0, pub448.data(), 57, seed448.data(), 57, sig), 0);
  // Verification status codes of the context form.
  Bytes s64(64, 0);
  EXPECT_EQ(EdDsa::VerifyEd25519ctx(kMsg, kMsgLen, ctx, 1, pub.data(), 31, s64.data(), 64),
            tornell::kEdDsaPublicKeyLength);
  EXPECT_EQ(EdDsa::VerifyEd25519ctx(kMsg, kMsgLen, ctx, 1, pub.data(), 32, s64.data(), 63),
            tornell::kEdDsaSignatureLength);
  EXPECT_EQ(EdDsa::VerifyEd25519ctx(kMsg, kMsgLen, ctx, 0, pub.data(), 32, s64.data(), 64),
            tornell::kEdDsaContextLength);
}

TEST(EdDsaEdge, PrehashedInputMatchesHashing) {
  const Bytes seed = Seed(32, 3), pub = Public(seed), seed448 = Seed(57, 4), pub448 = Public(seed448);
  ByteString plain, pre, digest;
  ASSERT_EQ(EdDsa::SignEd25519ph(kMsg, kMsgLen, 0, nullptr, 0, pub.data(), 32, seed.data(), 32, plain), 0);
  tornell::HashContext sha512;
  ASSERT_EQ(0, sha512.SetAlgorithm(tornell::HashAlgorithm::kSha512));
  ASSERT_EQ(sha512.Digest(reinterpret_cast<const char*>(kMsg), kMsgLen, digest), 0);
  ASSERT_EQ(EdDsa::SignEd25519ph(digest.Bytes(), 64, 1, nullptr, 0, pub.data(), 32, seed.data(), 32, pre), 0);
  EXPECT_TRUE(pre.Equals(plain));
  EXPECT_EQ(EdDsa::VerifyEd25519ph(digest.Bytes(), 64, 1, nullptr, 0, pub.data(), 32, plain.Bytes(), 64), 1);
  EXPECT_EQ(EdDsa::VerifyEd25519ph(kMsg, kMsgLen, 1, nullptr, 0, pub.data(), 32, plain.Bytes(), 64), 0);
  EXPECT_EQ(EdDsa::SignEd25519ph(kMsg, kMsgLen, 1, nullptr, 0, pub.data(), 32, seed.data(), 32, pre),
            tornell::kEdDsaPrehashLength);
  EXPECT_EQ(EdDsa::SignEd448ph(kMsg, 63, 1, nullptr, 0, pub448.data(), 57, seed448.data(), 57, pre),
            tornell::kEdDsaPrehashLength);
}

TEST(EdDsaEdge, Ed25519RejectsMalleableAndNonCanonicalInputs) {
  const Bytes seed = Seed(32, 5), pub = Public(seed);
  ByteString sig;
  ASSERT_EQ(EdDsa::SignEd25519(kMsg, kMsgLen, pub.data(), 32, seed.data(), 32, sig), 0);
  Bytes s = ToBytes(sig);
  ASSERT_EQ(EdDsa::VerifyEd25519(kMsg, kMsgLen, pub.data(), 32, s.data(), 64), 1);
  // S + L verifies the same equation but is not the canonical S.
  const Bytes order = FromHex("edd3f55c1a631258d69cf7a2def9de1400000000000000000000000000000010");
  Bytes plusL = s;
  int carry = 0;
  for (int i = 0; i < 32; ++i) {
    const int v = plusL[32 + i] + order[i] + carry;
    plusL[32 + i] = static_cast<unsigned char>(v);
    carry = v >> 8;
  }
  ASSERT_EQ(plusL[63] & 0xE0, 0);
  EXPECT_EQ(EdDsa::VerifyEd25519(kMsg, kMsgLen, pub.data(), 32, plusL.data(), 64), 0);
  Bytes topBits = s;
  topBits[63] |= 0x20;
  EXPECT_EQ(EdDsa::VerifyEd25519(kMsg, kMsgLen, pub.data(), 32, topBits.data(), 64), 0);

  // For the identity as public key any (R = S*B, S) verifies, which makes its
  // other encodings easy to test: y = p + 1 and x = 0 with the sign bit.
  unsigned char scalar[32] = {5};
  tornell::Ed25519ExtendedPoint R;
  ASSERT_EQ(EdwardsMath::Ed25519MultiplyBase(R, scalar, 32), 0);
  Bytes forged(64, 0);
  EdwardsMath::EncodeEd25519Point(forged.data(), 32, R);
  forged[32] = 5;
  Bytes identity(32, 0);
  identity[0] = 1;
  EXPECT_EQ(EdDsa::VerifyEd25519(kMsg, kMsgLen, identity.data(), 32, forged.data(), 64), 1);
  Bytes yAboveP = FromHex("eeffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff7f");
  EXPECT_EQ(EdDsa::VerifyEd25519(kMsg, kMsgLen, yAboveP.data(), 32, forged.data(), 64), 0);
  Bytes signedZero = identity;
  signedZero[31] = 0x80;
  EXPECT_EQ(EdDsa::VerifyEd25519(kMsg, kMsgLen, signedZero.data(), 32, forged.data(), 64), 0);
  tornell::Ed25519ExtendedPoint p;
  EXPECT_EQ(EdwardsMath::DecodeEd25519PointNegated(p, yAboveP.data(), 32), 0);
  EXPECT_EQ(EdwardsMath::DecodeEd25519PointNegated(p, signedZero.data(), 32), 0);
  Bytes noRoot(32, 0);
  noRoot[0] = 2;
  EXPECT_EQ(EdwardsMath::DecodeEd25519PointNegated(p, noRoot.data(), 32), 0);
}

TEST(EdDsaEdge, Ed448RejectsBadEncodings) {
  const Bytes seed = Seed(57, 6), pub = Public(seed);
  ByteString sig;
  ASSERT_EQ(EdDsa::SignEd448(kMsg, kMsgLen, nullptr, 0, pub.data(), 57, seed.data(), 57, sig), 0);
  Bytes s = ToBytes(sig);
  ASSERT_EQ(EdDsa::VerifyEd448(kMsg, kMsgLen, nullptr, 0, pub.data(), 57, s.data(), 114), 1);
  Bytes last = s;
  last[113] = 1;
  EXPECT_EQ(EdDsa::VerifyEd448(kMsg, kMsgLen, nullptr, 0, pub.data(), 57, last.data(), 114), 0);
  Bytes lowBits = pub;
  lowBits[56] |= 0x7F;
  EXPECT_EQ(EdDsa::VerifyEd448(kMsg, kMsgLen, nullptr, 0, lowBits.data(), 57, s.data(), 114), 0);
  tornell::Ed448ExtensiblePoint p;
  EXPECT_EQ(EdwardsMath::DecodeEd448Point(p, lowBits.data(), 57), 0);
  Bytes identity(57, 0);
  identity[0] = 1;
  EXPECT_EQ(EdwardsMath::DecodeEd448Point(p, identity.data(), 57), 1);
  identity[56] = 0x80;
  EXPECT_EQ(EdwardsMath::DecodeEd448Point(p, identity.data(), 57), 0);
  Bytes noRoot(57, 0);
  noRoot[0] = 2;
  EXPECT_EQ(EdwardsMath::DecodeEd448Point(p, noRoot.data(), 57), 0);
  Bytes yIsP = FromHex("fffffffffffffffffffffffffffffffffffffffffffffffffffffffffeffffffffffffffffffffffffffffffffffffffffffffffffffffff00");
  EXPECT_EQ(EdwardsMath::DecodeEd448Point(p, yIsP.data(), 57), 0);
}

TEST(EdDsaEdge, SigningRefusesAPublicKeyThatIsNotTheSeeds) {
  const Bytes seed = Seed(32, 7), other = Public(Seed(32, 8));
  const Bytes seed448 = Seed(57, 9), other448 = Public(Seed(57, 10));
  ByteString sig;
  EXPECT_EQ(EdDsa::SignEd25519(kMsg, kMsgLen, other.data(), 32, seed.data(), 32, sig), tornell::kEdDsaKeyLength);
  EXPECT_EQ(EdDsa::SignEd448(kMsg, kMsgLen, nullptr, 0, other448.data(), 57, seed448.data(), 57, sig),
            tornell::kEdDsaKeyLength);
  EXPECT_EQ(EdDsa::SignEd25519(kMsg, kMsgLen, other.data(), 31, seed.data(), 32, sig), tornell::kEdDsaKeyLength);
}

TEST(EdDsaEdge, KeysAndPairCheck) {
  ByteString out;
  EXPECT_EQ(EdDsa::PublicFromSeed(Seed(57, 1).data(), 57, out), 0);
  EXPECT_EQ(out.Length(), 57);
  EXPECT_EQ(EdDsa::PublicFromSeed(Seed(33, 1).data(), 33, out), tornell::kEdDsaKeyLength);
  const Bytes seed = Seed(32, 11), pub = Public(seed), seed448 = Seed(57, 12);
  EXPECT_EQ(EdDsa::CheckKeyPair(pub.data(), 32, seed448.data(), 57, 0), 0);
  EXPECT_EQ(EdDsa::CheckKeyPair(nullptr, 0, seed.data(), 32, 0), 1);
  EXPECT_EQ(EdDsa::CheckKeyPair(nullptr, 0, nullptr, 0, 1), 0);
  EXPECT_EQ(EdDsa::CheckKeyPair(pub.data(), 32, seed.data(), 32, 1), 1);
  EXPECT_EQ(EdDsa::CheckKeyPair(Public(Seed(32, 13)).data(), 32, seed.data(), 32, 1), 0);
  EXPECT_EQ(EdDsa::CheckKeyPair(Public(Seed(32, 13)).data(), 32, seed.data(), 32, 0), 1);

  for (int curve : {32, 57}) {
    ByteString genPub, genSeed, sig;
    ASSERT_EQ(curve == 32 ? EdDsa::GenerateEd25519(genPub, genSeed) : EdDsa::GenerateEd448(genPub, genSeed), 0);
    ASSERT_EQ(genSeed.Length(), curve);
    EXPECT_EQ(EdDsa::CheckKeyPair(genPub.Bytes(), genPub.Length(), genSeed.Bytes(), curve, 1), 1);
    if (curve == 32) {
      ASSERT_EQ(EdDsa::SignEd25519(kMsg, kMsgLen, genPub.Bytes(), 32, genSeed.Bytes(), 32, sig), 0);
      EXPECT_EQ(EdDsa::VerifyEd25519(kMsg, kMsgLen, genPub.Bytes(), 32, sig.Bytes(), 64), 1);
    } else {
      ASSERT_EQ(EdDsa::SignEd448(kMsg, kMsgLen, nullptr, 0, genPub.Bytes(), 57, genSeed.Bytes(), 57, sig), 0);
      EXPECT_EQ(EdDsa::VerifyEd448(kMsg, kMsgLen, nullptr, 0, genPub.Bytes(), 57, sig.Bytes(), 114), 1);
    }
  }
}

TEST(EdDsaEdge, Sha512Ed448SchemeRoundTripAndTamper) {
  ByteString key, pub, sig;
  EXPECT_EQ(EdDsa::DeriveEd448Sha512Key(Seed(31, 1).data(), 31, key), tornell::kEdDsaKeyLength);
  for (int round = 0; round < 6; ++round) {
    const Bytes seed = Seed(32, 40 + round);
    ASSERT_EQ(EdDsa::DeriveEd448Sha512Key(seed.data(), 32, key), 0);
    ASSERT_EQ(key.Length(), 144);
    EXPECT_EQ(std::memcmp(key.Bytes() + 112, seed.data(), 32), 0);
    EXPECT_EQ(EdDsa::Ed448Sha512PublicKey(key.Bytes(), 143, pub), tornell::kEdDsaLongKeyLength);
    ASSERT_EQ(EdDsa::Ed448Sha512PublicKey(key.Bytes(), 144, pub), 0);
    ASSERT_EQ(pub.Length(), 56);
    const Bytes msg = Seed(static_cast<size_t>(round * 9), round);
    const unsigned char* m = msg.empty() ? nullptr : msg.data();
    const int n = static_cast<int>(msg.size());
    EXPECT_EQ(EdDsa::SignEd448Sha512(m, n, key.Bytes(), 143, sig), tornell::kEdDsaLongKeyLength);
    ASSERT_EQ(EdDsa::SignEd448Sha512(m, n, key.Bytes(), 144, sig), 0);
    ASSERT_EQ(sig.Length(), 112);
    const Bytes s = ToBytes(sig);
    EXPECT_EQ(EdDsa::VerifyEd448Sha512(m, n, pub.Bytes(), 56, s.data(), 112), 1) << round;
    Bytes other = msg;
    other.push_back(1);
    EXPECT_EQ(EdDsa::VerifyEd448Sha512(other.data(), n + 1, pub.Bytes(), 56, s.data(), 112), 0);
    for (size_t at : {size_t{3}, size_t{60}}) {
      Bytes bad = s;
      bad[at] ^= 0x10;
      EXPECT_EQ(EdDsa::VerifyEd448Sha512(m, n, pub.Bytes(), 56, bad.data(), 112), 0);
    }
    Bytes badPub = ToBytes(pub);
    badPub[5] ^= 1;
    EXPECT_EQ(EdDsa::VerifyEd448Sha512(m, n, badPub.data(), 56, s.data(), 112), 0);
    EXPECT_EQ(EdDsa::VerifyEd448Sha512(m, n, pub.Bytes(), 55, s.data(), 112), 0);
  }
  // A secret scalar at or above the group order is refused.
  Bytes bad = ToBytes(key);
  std::memset(bad.data(), 0xFF, 56);
  EXPECT_EQ(EdDsa::SignEd448Sha512(kMsg, kMsgLen, bad.data(), 144, sig), tornell::kEdDsaScalarRange);
}
