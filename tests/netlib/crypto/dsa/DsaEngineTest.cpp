// DSA engine: key loading, both signature forms, hash truncation, and the two
// parameter generators checked by the group's own arithmetic.
#include <gtest/gtest.h>

#include <string>

#include "../rsa/KeyTestUtil.h"
#include "crypto/bigint/BigInteger.h"
#include "crypto/dsa/DsaEngine.h"
#include "crypto/random/RandomSource.h"

namespace tornell {
namespace {

using keytest::FromHex;
using keytest::Hex;

BigInteger Num(const ByteString& v) { return BigInteger(v.Bytes(), v.Length(), 1); }

// q divides p - 1, g has order q, y = g^x, and p and q are prime.
void ExpectSoundParameters(const DsaKey& k, int pBits, int qBits) {
  const BigInteger p = Num(k.p), q = Num(k.q), g = Num(k.g), x = Num(k.x), y = Num(k.y);
  EXPECT_EQ(pBits, p.BitLength());
  EXPECT_EQ(qBits, q.BitLength());
  EXPECT_EQ(0, p.Subtract(BigInteger::ONE).Remainder(q).Signum());
  BigInteger gq, gx;
  ASSERT_EQ(0, g.ModPow(q, p, gq));
  EXPECT_TRUE(gq.Equals(BigInteger::ONE));
  EXPECT_GT(g.CompareTo(BigInteger::ONE), 0);
  ASSERT_EQ(0, g.ModPow(x, p, gx));
  EXPECT_TRUE(gx.Equals(y));
  EXPECT_LT(x.CompareTo(q), 0);
  RandomSource random;
  EXPECT_TRUE(p.IsProbablePrime(40, &random));
  EXPECT_TRUE(q.IsProbablePrime(40, &random));
  for (const ByteString* f : std::initializer_list<const ByteString*>{&k.p, &k.q, &k.g, &k.y, &k.x}) EXPECT_NE(0, f->Bytes()[0]);
}

// One 1024/160 key shared by the signing cases.
DsaEngine& SharedEngine() {
  static DsaEngine engine;
  static bool made = false;
  if (!made) {
    DsaKey k;
    EXPECT_EQ(0, engine.GenerateKey(1, k, 0));
    made = true;
  }
  return engine;
}

TEST(DsaEngineTest, SetKeyNeedsTheDomainAndOneKeyValue) {
  const DsaKey& full = SharedEngine().key;
  struct Case {
    bool p, q, g, y, x;
    int rc;
  } cases[] = {{true, true, true, true, true, 0},   {true, true, true, false, true, 0},
               {true, true, true, false, false, 1201}, {false, true, true, true, true, 1201},
               {true, true, false, true, true, 1201}};
  for (const auto& c : cases) {
    DsaKey k;
    if (c.p) k.p.Assign(full.p);
    if (c.q) k.q.Assign(full.q);
    if (c.g) k.g.Assign(full.g);
    if (c.y) k.y.Assign(full.y);
    if (c.x) k.x.Assign(full.x);
    DsaEngine engine;
    EXPECT_EQ(c.rc, engine.SetKey(k));
  }
  DsaKey zeroQ;
  ASSERT_EQ(0, zeroQ.CopyFrom(full));
  zeroQ.q.Assign(FromHex("00"));
  DsaEngine engine;
  EXPECT_EQ(1201, engine.SetKey(zeroQ));

  // Without y signing works and nothing verifies.
  DsaKey noY;
  ASSERT_EQ(0, noY.CopyFrom(full));
  noY.y.Clear();
  ASSERT_EQ(0, engine.SetKey(noY));
  const std::string h(20, '\x01');
  ByteString sig;
  ASSERT_EQ(0, engine.SignHash(h.data(), 20, sig));
  int valid = 1;
  EXPECT_EQ(0, engine.VerifyHash(h.data(), 20, sig.Data(), sig.Length(), valid));
  EXPECT_EQ(0, valid);
}

// Values a caller put together are checked before any exponentiation: each
// of these ran for minutes in the ladder before being refused or signed.
TEST(DsaEngineTest, InconsistentDomainsAndKeysAreRefusedBeforeSigning) {
  const DsaKey& full = SharedEngine().key;
  const std::string wide(2 * 300, 'f');
  struct Case {
    const char* what;
    const char* field;
    std::string hex;
  } cases[] = {{"q missing", "q", ""},
               {"q as wide as p", "q", Hex(full.p)},
               {"q wider than p", "q", "01" + Hex(full.p)},
               {"q even", "q", "0100"},
               {"g of one", "g", "01"},
               {"g equal to p", "g", Hex(full.p)},
               {"g wider than p", "g", wide},
               {"x wider than q", "x", wide},
               {"p even", "p", Hex(full.p) + "00"},
               {"p outside the size table", "p", "ff" + Hex(full.p).substr(2, 2 * 64 + 2)}};
  const std::string h(20, '\x01');
  for (const auto& c : cases) {
    DsaEngine engine;
    ASSERT_EQ(0, engine.key.CopyFrom(full));
    ByteString* f = std::string(c.field) == "q" ? &engine.key.q
                    : std::string(c.field) == "g" ? &engine.key.g
                    : std::string(c.field) == "x" ? static_cast<ByteString*>(&engine.key.x)
                                                  : &engine.key.p;
    ASSERT_EQ(0, f->Assign(FromHex(c.hex)));
    ByteString sig;
    EXPECT_EQ(1201, engine.SignHash(h.data(), 20, sig)) << c.what;
    EXPECT_EQ(0, sig.Length()) << c.what;
  }
}

// x is read at its field's width and reduced mod q without a division: a
// leading zero byte, or x + q in the same width, signs as x does.
TEST(DsaEngineTest, PrivateKeyIsReducedAtItsWidth) {
  const DsaKey& full = SharedEngine().key;
  ByteString plusQ;
  ASSERT_EQ(0, Num(full.x).Add(Num(full.q)).ToByteString(plusQ));
  for (const std::string& x : {"00" + Hex(full.x), Hex(plusQ)}) {
    DsaEngine engine;
    ASSERT_EQ(0, engine.key.CopyFrom(full));
    ASSERT_EQ(0, engine.key.x.Assign(FromHex(x)));
    const std::string h(20, '\x07');
    ByteString sig;
    ASSERT_EQ(0, engine.SignHash(h.data(), 20, sig)) << x;
    int valid = 0;
    EXPECT_EQ(0, engine.VerifyHash(h.data(), 20, sig.Data(), sig.Length(), valid));
    EXPECT_EQ(1, valid) << x;
  }
}

TEST(DsaEngineTest, StatusesOfAnEmptyEngineAndMissingInputs) {
  DsaEngine empty;
  ByteString sig;
  int valid = 1;
  EXPECT_EQ(1203, empty.SignHash("h", 1, sig));
  EXPECT_EQ(1203, empty.VerifyHash("h", 1, "s", 1, valid));
  EXPECT_EQ(1202, empty.SignHash(nullptr, 1, sig));
  EXPECT_EQ(1205, empty.VerifyHash("h", 1, nullptr, 0, valid));
  DsaEngine& engine = SharedEngine();
  DsaKey pub;
  ASSERT_EQ(0, pub.CopyFrom(engine.key));
  pub.x.Clear();
  DsaEngine verifier;
  ASSERT_EQ(0, verifier.SetKey(pub));
  EXPECT_EQ(1204, verifier.SignHash("h", 1, sig));
}

TEST(DsaEngineTest, RawAndDerFormsBothVerifyForEveryHashLength) {
  DsaEngine& engine = SharedEngine();
  for (int hashLength : {20, 28, 32, 64, 8}) {  // shorter and longer than q
    SCOPED_TRACE(hashLength);
    std::string h(size_t(hashLength), '\0');
    for (int i = 0; i < hashLength; ++i) h[size_t(i)] = char(0x80 + i);
    ByteString raw, der;
    engine.SetSignatureFormat(0);
    ASSERT_EQ(0, engine.SignHash(h.data(), hashLength, raw));
    EXPECT_EQ(40, raw.Length());
    engine.SetSignatureFormat(1);
    ASSERT_EQ(0, engine.SignHash(h.data(), hashLength, der));
    EXPECT_EQ(0x30, der.Bytes()[0]);
    EXPECT_EQ(der.Length() - 2, der.Bytes()[1]);
    EXPECT_EQ(1, DsaEngine::IsDerSignature(der.Data(), der.Length()));
    for (const ByteString* sig : {&raw, &der}) {
      int valid = 0;
      EXPECT_EQ(0, engine.VerifyHash(h.data(), hashLength, sig->Data(), sig->Length(), valid));
      EXPECT_EQ(1, valid);
    }
    // Only the leftmost 160 bits count: a change past them still verifies,
    // a change inside them does not.
    if (hashLength > 20) {
      std::string tail = h, head = h;
      tail.back() = char(tail.back() ^ 1);
      head[0] = char(head[0] ^ 1);
      int valid = 0;
      EXPECT_EQ(0, engine.VerifyHash(tail.data(), hashLength, raw.Data(), raw.Length(), valid));
      EXPECT_EQ(1, valid);
      EXPECT_EQ(0, engine.VerifyHash(head.data(), hashLength, raw.Data(), raw.Length(), valid));
      EXPECT_EQ(0, valid);
    }
  }
  engine.SetSignatureFormat(0);
}

TEST(DsaEngineTest, MalformedSignaturesAreInvalidNotErrors) {
  DsaEngine& engine = SharedEngine();
  const std::string h(20, '\x42');
  ByteString raw;
  ASSERT_EQ(0, engine.SignHash(h.data(), 20, raw));
  const ByteString& q = engine.key.q;
  struct Case {
    std::string sig;
  } cases[] = {
      {Hex(raw).substr(0, 78)},                          // odd length
      {Hex(raw).substr(0, 40)},                          // r alone
      {std::string(40, '0') + Hex(raw).substr(40)},      // r = 0
      {Hex(q) + Hex(raw).substr(40)},                    // r = q
      {"3006020101020101"},                              // tiny r and s
      {"3007020101020101"},                              // SEQUENCE length disagrees
  };
  for (const auto& c : cases) {
    ByteString sig = FromHex(c.sig);
    int valid = 1;
    EXPECT_EQ(0, engine.VerifyHash(h.data(), 20, sig.Data(), sig.Length(), valid)) << c.sig;
    EXPECT_EQ(0, valid) << c.sig;
  }
}

TEST(DsaEngineTest, GenerationSizesAndRefusals) {
  struct Case {
    int bits, method, rc, qBits;
  } cases[] = {{1024, 0, 0, 160}, {1000, 0, 1206, 0}, {1024, 1, 0, 160},
               {512, 1, 0, 160},  {1088, 1, 1206, 0}, {448, 1, 1206, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.bits) + "/" + std::to_string(c.method));
    DsaEngine engine;
    engine.keyBits = c.bits;
    DsaKey a;
    ASSERT_EQ(c.rc, engine.GenerateKey(0, a, c.method));
    if (c.rc != 0) continue;
    EXPECT_EQ(0, a.x.Length());
    DsaKey b;
    ASSERT_EQ(0, engine.GenerateKey(1, b, c.method));
    EXPECT_EQ(Hex(a.p), Hex(b.p));
    EXPECT_EQ(Hex(a.y), Hex(b.y));
    ExpectSoundParameters(b, c.bits, c.qBits);
  }
}

// The larger sizes of the FIPS 186-3 table, once each (sanitised builds are
// slow: kept to one generation per size).
TEST(DsaEngineTest, GenerationPicksQByL) {
  for (auto [bits, qBits] : {std::pair{2048, 224}}) {
    DsaEngine engine;
    engine.keyBits = bits;
    DsaKey k;
    ASSERT_EQ(0, engine.GenerateKey(1, k, 0));
    ExpectSoundParameters(k, bits, qBits);
    const std::string h(32, '\x07');
    ByteString sig;
    ASSERT_EQ(0, engine.SignHash(h.data(), 32, sig));
    EXPECT_EQ(2 * qBits / 8, sig.Length());
  }
}

TEST(DsaKeyTest, NormalizeLengthsAndCopy) {
  DsaKey k;
  k.p.Assign(FromHex("00" + std::string(256, 'b')));  // 129 bytes with a sign byte
  k.g.Assign(FromHex(std::string(254, '2')));         // 127 bytes
  k.q.Assign(FromHex("00" + std::string(40, '9')));
  k.x.Assign(FromHex(std::string(38, '3')));
  k.auxInt = 7;
  ASSERT_EQ(0, k.NormalizeLengths());
  EXPECT_EQ(128, k.p.Length());
  EXPECT_EQ(128, k.g.Length());
  EXPECT_EQ(20, k.q.Length());
  EXPECT_EQ(20, k.x.Length());
  EXPECT_EQ(0, k.y.Length());
  DsaKey copy;
  ASSERT_EQ(0, copy.CopyFrom(k));
  EXPECT_EQ(7, copy.auxInt);
  EXPECT_EQ(Hex(k.g), Hex(copy.g));
  copy.Clear();
  EXPECT_EQ(0, copy.auxInt);
  EXPECT_EQ(0, copy.p.Length());
}

}  // namespace
}  // namespace tornell
