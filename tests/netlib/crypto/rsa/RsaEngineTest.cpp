// RSA engine behaviour beyond the published vectors: key loading and its
// errors, the raw operations' widths, CRT and blinding against plain
// exponentiation, generation, and the padding rules and their statuses.
#include <gtest/gtest.h>

#include <climits>
#include <initializer_list>
#include <string>

#include "KeyTestUtil.h"
#include "crypto/bigint/BigInteger.h"
#include "crypto/rsa/RsaEngine.h"

namespace tornell {
namespace {

using keytest::FromHex;
using keytest::Hex;

BigInteger Num(const ByteString& v) { return BigInteger(v.Bytes(), v.Length(), 1); }

// One 1024-bit key for the cases below, generated once.
const RsaKey& TestKey() {
  static RsaKey key;
  static bool made = false;
  if (!made) {
    RsaEngine engine;
    EXPECT_EQ(0, engine.SetKeySize(1024));
    EXPECT_EQ(0, engine.GenerateKey(1, key, 1));
    made = true;
  }
  return key;
}

// Fills `out` with the named fields of the test key ("crt": dP, dQ, qInv).
void Only(std::initializer_list<const char*> names, RsaKey& out) {
  const RsaKey& k = TestKey();
  for (const char* n : names) {
    std::string s(n);
    if (s == "n") out.n.Assign(k.n);
    if (s == "e") out.e.Assign(k.e);
    if (s == "d") out.d.Assign(k.d);
    if (s == "p") out.p.Assign(k.p);
    if (s == "q") out.q.Assign(k.q);
    if (s == "crt") out.dP.Assign(k.dP), out.dQ.Assign(k.dQ), out.qInv.Assign(k.qInv);
  }
}

TEST(RsaEngineTest, SetKeyErrors) {
  struct Case {
    const char *n, *e, *d;
    int rc;
  } cases[] = {{"", "010001", "", 1101},  {"0000", "010001", "", 1102}, {"c5", "", "", 1103},
               {"c5", "00", "", 1104},    {"c5", "", "00", 1105},       {"00c5", "03", "", 0}};
  for (const auto& c : cases) {
    RsaKey key;
    key.n.Assign(FromHex(c.n));
    key.e.Assign(FromHex(c.e));
    key.d.Assign(FromHex(c.d));
    RsaEngine engine;
    EXPECT_EQ(c.rc, engine.SetKey(key)) << c.n << "/" << c.e << "/" << c.d;
    if (c.rc == 0) {
      EXPECT_EQ(8, engine.keyBits);
    }
  }
}

TEST(RsaEngineTest, PrivateOperationAgreesWithPlainExponentiationForEveryKeyForm) {
  const RsaKey& k = TestKey();
  const BigInteger n = Num(k.n), d = Num(k.d);
  const char* m = "0123456789abcdef fedcba9876543210 00ff00ff";
  ByteString msg = FromHex(m);
  BigInteger expect;
  ASSERT_EQ(0, Num(msg).ModPow(d, n, expect));
  // With e (blinding by r^e), without e (blinding by r^-d), CRT derived by
  // SetKey, CRT given without d, and d alone.
  const std::initializer_list<const char*> forms[] = {{"n", "e", "d", "p", "q", "crt"}, {"n", "d", "p", "q", "crt"},
                                                      {"n", "e", "d", "p", "q"},        {"n", "e", "p", "q", "crt"},
                                                      {"n", "d"},                       {"n", "e", "d"}};
  for (const auto& names : forms) {
    RsaKey form;
    Only(names, form);
    RsaEngine engine;
    ASSERT_EQ(0, engine.SetKey(form));
    for (int round = 0; round < 3; ++round) {  // the blinding pair changes every time
      ByteString out;
      ASSERT_EQ(0, engine.PrivateOperation(msg.Data(), msg.Length(), out));
      EXPECT_TRUE(Num(out).Equals(expect));
      EXPECT_NE(0, out.Bytes()[0]);
    }
  }
  RsaEngine publicOnly;
  RsaKey pub;
  Only({"n", "e"}, pub);
  ASSERT_EQ(0, publicOnly.SetKey(pub));
  ByteString out;
  EXPECT_EQ(1111, publicOnly.PrivateOperation(msg.Data(), msg.Length(), out));
}

// A private value wider than its modulus would run the ladder on the
// caller's sizes; it is refused before any exponentiation.
TEST(RsaEngineTest, PrivateValuesWiderThanTheirModulusAreRefused) {
  const RsaKey& k = TestKey();
  const std::string wide = "01" + std::string(2 * 200, '0');
  const char* fields[] = {"d", "dP", "dQ", "qInv", "p"};
  for (const char* field : fields) {
    RsaEngine engine;
    ASSERT_EQ(0, engine.key.CopyFrom(k));
    RsaKey& key = engine.key;
    ByteString* f = std::string(field) == "d"    ? static_cast<ByteString*>(&key.d)
                    : std::string(field) == "dP" ? &key.dP
                    : std::string(field) == "dQ" ? &key.dQ
                    : std::string(field) == "qInv" ? &key.qInv
                                                   : &key.p;
    ASSERT_EQ(0, f->Assign(FromHex(wide)));
    ByteString out;
    EXPECT_EQ(1111, engine.PrivateOperation("\x05", 1, out)) << field;
    const std::string h32(32, '\x22');
    EXPECT_EQ(1111, engine.SignHash(h32.data(), 32, "SHA256", out, 0, 0)) << field;
  }
}

TEST(RsaEngineTest, RawOperationWidths) {
  RsaEngine engine;
  RsaKey full;
  Only({"n", "e", "d", "p", "q", "crt"}, full);
  ASSERT_EQ(0, engine.SetKey(full));
  ByteString out;
  ASSERT_EQ(0, engine.PrivateOperation("\0", 1, out));
  EXPECT_EQ(0, out.Length());
  ASSERT_EQ(0, engine.PublicOperation("\0", 1, out));
  EXPECT_EQ(std::string(256, '0'), Hex(out));
  for (int i = 0; i < 8; ++i) {
    ByteString c, in = FromHex("01");
    ASSERT_EQ(0, engine.PublicOperation(in.Data(), in.Length(), c));
    EXPECT_EQ(128, c.Length());
  }
  // A modulus of 1028 bits is 129 bytes long.
  RsaKey odd;
  odd.n.Assign(FromHex("0f" + std::string(256, 'f')));
  odd.e.Assign(FromHex("03"));
  ASSERT_EQ(0, engine.SetKey(odd));
  ByteString c;
  ASSERT_EQ(0, engine.PublicOperation("\x02", 1, c));
  EXPECT_EQ(129, c.Length());
  EXPECT_EQ("08", Hex(c).substr(256));
}

TEST(RsaEngineTest, GenerationGivesExactSizesAndIsKeptOnTheEngine) {
  for (int method : {0, 1}) {
    RsaEngine engine;
    ASSERT_EQ(0, engine.SetKeySize(512));
    RsaKey a, b;
    ASSERT_EQ(0, engine.GenerateKey(0, a, method));
    EXPECT_EQ(512, Num(a.n).BitLength());
    EXPECT_EQ("010001", Hex(a.e));
    EXPECT_EQ(0, a.d.Length());
    for (const ByteString* f : std::initializer_list<const ByteString*>{&a.n, &a.p, &a.q, &a.dP, &a.dQ, &a.qInv}) {
      ASSERT_GT(f->Length(), 0);
      EXPECT_NE(0, f->Bytes()[0]);
    }
    EXPECT_TRUE(Num(a.p).Multiply(Num(a.q)).Equals(Num(a.n)));
    ASSERT_EQ(0, engine.GenerateKey(1, b, method));
    EXPECT_EQ(Hex(a.n), Hex(b.n));
    ASSERT_GT(b.d.Length(), 0);
    if (method == 1) {
      EXPECT_NE(0, Num(b.d).BitLength() % 8);
    }
  }
  RsaEngine tiny;
  tiny.keyBits = 64;  // below the table: refused rather than searched for ever
  RsaKey out;
  EXPECT_EQ(1206, tiny.GenerateKey(1, out, 0));
}

TEST(RsaEngineTest, NormalizeLengthsPadsAndNeverDropsSignificantBytes) {
  RsaKey k;
  k.n.Assign(FromHex("00" + std::string(256, 'c')));  // 129 bytes with a sign byte
  k.dP.Assign(FromHex(std::string(126, 'a')));        // 63 bytes
  k.d.Assign(FromHex("0001" + std::string(254, '1')));
  ASSERT_EQ(0, k.NormalizeLengths());
  EXPECT_EQ(128, k.n.Length());
  EXPECT_EQ(64, k.dP.Length());
  EXPECT_EQ(0, k.dP.Bytes()[0]);
  EXPECT_EQ(128, k.d.Length());
  RsaKey odd;  // 131 significant bytes: rounding down would cut into n
  odd.n.Assign(FromHex(std::string(262, 'e')));
  ASSERT_EQ(0, odd.NormalizeLengths());
  EXPECT_EQ(131, odd.n.Length());
}

class RsaPaddingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RsaKey k;
    Only({"n", "e", "d", "p", "q", "crt"}, k);
    ASSERT_EQ(0, engine.SetKey(k));
  }
  RsaEngine engine;
  const std::string h20 = std::string(20, '\x11'), h32 = std::string(32, '\x22'), h36 = std::string(36, '\x33');
};

TEST_F(RsaPaddingTest, DigestNamesAndHashLengths) {
  ByteString prefix;
  EXPECT_EQ(0, RsaEngine::GetDigestInfoPrefix("sha256", prefix));
  EXPECT_EQ(19, prefix.Length());
  EXPECT_EQ(1106, RsaEngine::GetDigestInfoPrefix("SHA-256", prefix));
  prefix.Clear();
  EXPECT_EQ(0, RsaEngine::GetDigestInfoPrefix("", prefix));
  EXPECT_EQ("3021300906052b0e03021a05000414", Hex(prefix));
  prefix.Clear();
  EXPECT_EQ(0, RsaEngine::GetDigestInfoPrefix(nullptr, prefix));
  EXPECT_EQ(15, prefix.Length());
  ByteString sig;
  EXPECT_EQ(1109, engine.SignHash(h32.data(), 32, "SHA1", sig, 0, 0));
  EXPECT_EQ(1109, engine.SignHash(h20.data(), 20, "MD5SHA1", sig, 0, 0));
  EXPECT_EQ(1107, engine.SignHash(nullptr, 20, "SHA1", sig, 0, 0));
  // MD5SHA1 writes no prefix: the block ends 00, then the 36 hash bytes.
  ASSERT_EQ(0, engine.SignHash(h36.data(), 36, "MD5SHA1", sig, 0, 0));
  ByteString block;
  ASSERT_EQ(0, engine.PublicOperation(sig.Data(), sig.Length(), block));
  EXPECT_EQ("0001ff", Hex(block).substr(0, 6));
  EXPECT_EQ("00" + std::string(72, '3'), Hex(block).substr(2 * (128 - 37)));
}

TEST_F(RsaPaddingTest, Pkcs1VerifyPrefixCheckLengthAndRange) {
  ByteString sig;
  ASSERT_EQ(0, engine.SignHash(h32.data(), 32, "SHA256", sig, 0, 0));
  int valid = 0;
  // The same hash under another DigestInfo (SHA-512/256's OID): with
  // checkPrefix 0 only the hash counts, with 1 the prefix must match.
  ByteString forgedPrefix = FromHex("3031300d060960864801650304020605000420");
  EXPECT_EQ(0, engine.VerifyPkcs1(h32.data(), 32, forgedPrefix, sig.Data(), sig.Length(), 0, valid));
  EXPECT_EQ(1, valid);
  EXPECT_EQ(0, engine.VerifyPkcs1(h32.data(), 32, forgedPrefix, sig.Data(), sig.Length(), 1, valid));
  EXPECT_EQ(0, valid);
  // s + n is the same residue but not a valid signature; nor is s with a
  // leading zero byte or with its first byte dropped.
  ByteString plusN;
  ASSERT_EQ(0, Num(sig).Add(Num(TestKey().n)).ToByteString(plusN));
  ByteString longer = FromHex("00" + Hex(sig)), shorter = FromHex(Hex(sig).substr(2));
  for (const ByteString* s : {&plusN, &longer}) {
    EXPECT_EQ(0, engine.VerifyHash(h32.data(), 32, "SHA256", s->Data(), s->Length(), valid, 0, 0, 1));
    EXPECT_EQ(0, valid);
  }
  if (sig.Bytes()[0] == 0) {
    EXPECT_EQ(0, engine.VerifyHash(h32.data(), 32, "SHA256", shorter.Data(), shorter.Length(), valid, 0, 0, 1));
    EXPECT_EQ(0, valid);
  }
  EXPECT_EQ(0, engine.VerifyHash(h32.data(), 32, "SHA256", sig.Data(), sig.Length(), valid, 0, 0, 1));
  EXPECT_EQ(1, valid);
}

TEST_F(RsaPaddingTest, SmallModulusRefusesLongEncodings) {
  RsaEngine small;
  ASSERT_EQ(0, small.SetKeySize(512));
  RsaKey k;
  ASSERT_EQ(0, small.GenerateKey(1, k, 0));
  const std::string h64(64, '\x44');
  ByteString sig;
  EXPECT_EQ(1112, small.SignHash(h64.data(), 64, "SHA512", sig, 0, 0));
  EXPECT_EQ(1112, small.SignHash(h64.data(), 64, "SHA512", sig, 1, -1));
  EXPECT_EQ(0, small.SignHash(h32.data(), 32, "SHA256", sig, 1, 30));
  EXPECT_EQ(1112, small.SignHash(h32.data(), 32, "SHA256", sig, 1, 31));
}

TEST_F(RsaPaddingTest, PssSaltLengthsAndWrongLength) {
  for (int salt : {-1, 0, 20, 94}) {
    ByteString sig;
    ASSERT_EQ(0, engine.SignHash(h32.data(), 32, "SHA256", sig, 1, salt)) << salt;
    int valid = 0;
    EXPECT_EQ(0, engine.VerifyHash(h32.data(), 32, "SHA256", sig.Data(), sig.Length(), valid, 1, salt, 1));
    EXPECT_EQ(1, valid) << salt;
    const int other = salt == 20 ? 32 : 20;
    EXPECT_EQ(1119, engine.VerifyHash(h32.data(), 32, "SHA256", sig.Data(), sig.Length(), valid, 1, other, 1));
    EXPECT_EQ(0, valid);
    EXPECT_EQ(1119, engine.VerifyHash(h32.data(), 32, "SHA256", sig.Data() + 1, sig.Length() - 1, valid, 1, salt, 1));
  }
  ByteString sig;
  EXPECT_EQ(2001, engine.SignHash(h32.data(), 32, "SHA-3-999", sig, 1, -1));
}

// A block that passes the PSS trailer and top-bit checks is found in a few
// hundred tries with the public key alone; salt lengths near INT_MAX then
// must be refused, not overflow into an index before the block.
TEST_F(RsaPaddingTest, PssHugeSaltLengthsAreRefused) {
  ByteString s, block;
  std::string raw(128, '\0');
  bool found = false;
  for (int i = 0; i < 20000 && !found; ++i) {
    for (int j = 0; j < 4; ++j) raw[size_t(j)] = char(i >> (8 * j));
    raw[0] = char(raw[0] & 0x3f);
    block.Clear();
    ASSERT_EQ(0, engine.PublicOperation(raw.data(), 128, block));
    found = block.Length() == 128 && block.Bytes()[127] == 0xBC && block.Bytes()[0] < 0x80;
  }
  ASSERT_TRUE(found);
  for (int salt : {INT_MAX, INT_MAX - 32 - 1, INT_MAX - 32 - 2, INT_MAX - 100, 128 - 32 - 1}) {
    int valid = 1;
    EXPECT_EQ(1119, engine.VerifyHash(h32.data(), 32, "SHA256", raw.data(), 128, valid, 1, salt, 1)) << salt;
    EXPECT_EQ(0, valid);
    ByteString sig;
    EXPECT_EQ(1112, engine.SignHash(h32.data(), 32, "SHA256", sig, 1, salt)) << salt;
    EXPECT_EQ(0, sig.Length());
  }
}

TEST_F(RsaPaddingTest, Type2EncryptionLimitsAndPadding) {
  const std::string max(128 - 11, 'm'), over(128 - 10, 'm');
  ByteString ct, pt;
  EXPECT_EQ(1118, engine.EncryptPkcs1(over.data(), int(over.size()), ct));
  ASSERT_EQ(0, engine.EncryptPkcs1(max.data(), int(max.size()), ct));
  ASSERT_EQ(0, engine.PrivateOperation(ct.Data(), ct.Length(), pt));
  EXPECT_EQ("02", Hex(pt).substr(0, 2));  // the 00 is not part of the minimal form
  for (int i = 1; i <= 8; ++i) EXPECT_NE(0, pt.Bytes()[i]);
  EXPECT_EQ(0, pt.Bytes()[9]);
  pt.Clear();
  ASSERT_EQ(0, engine.DecryptPkcs1(ct.Data(), ct.Length(), pt));
  EXPECT_EQ(max, std::string(pt.Data(), pt.Length()));
  EXPECT_EQ(1113, engine.EncryptPkcs1(nullptr, 0, ct));
}

// Blocks built by hand and raised to d: only 00 02, eight or more non-zero
// bytes and a separator decrypt; everything else is the one status 1114.
TEST_F(RsaPaddingTest, Type2DecryptionHasOneErrorStatus) {
  const int k = 128;
  struct Case {
    const char* head;  // first two bytes
    int padding;       // count of non-zero padding bytes
    bool separator;    // a 00 after them, the rest message bytes
    int rc;
  } cases[] = {
      {"0002", 8, true, 0},    {"0002", 100, true, 0},      {"0002", 7, true, 1114}, {"0001", 8, true, 1114},
      {"0000", 8, true, 1114}, {"0102", 8, true, 1114},     {"0003", 8, true, 1114}, {"0002", k - 2, false, 1114},
  };
  const BigInteger n = Num(TestKey().n), e = Num(TestKey().e);
  for (const auto& c : cases) {
    std::string hex = std::string(c.head) + std::string(size_t(2 * c.padding), '5') + (c.separator ? "00" : "");
    const size_t messageBytes = size_t(2 * k) > hex.size() ? (size_t(2 * k) - hex.size()) / 2 : 0;
    for (size_t i = 0; i < messageBytes; ++i) hex += "6d";
    ByteString block = FromHex(hex), ct, pt;
    BigInteger cv;
    ASSERT_EQ(0, Num(block).ModPow(e, n, cv));
    ASSERT_EQ(0, cv.ToByteString(ct));
    ASSERT_EQ(0, AsymmetricKey::FitLength(k, ct));  // k bytes: without the sign byte ToByteString may add
    EXPECT_EQ(c.rc, engine.DecryptPkcs1(ct.Data(), ct.Length(), pt)) << c.head << " " << c.padding;
    if (c.rc == 0) {
      EXPECT_EQ(std::string(messageBytes, 'm'), std::string(pt.Data(), pt.Length()));
    }
  }
  // A ciphertext not below n.
  ByteString big;
  ASSERT_EQ(0, n.Add(BigInteger::ONE).ToByteString(big));
  ASSERT_EQ(0, AsymmetricKey::FitLength(k, big));
  ByteString pt;
  EXPECT_EQ(1114, engine.DecryptPkcs1(big.Data(), big.Length(), pt));
}

TEST_F(RsaPaddingTest, OaepLimitsAndLabelBinding) {
  const std::string max(128 - 2 * 32 - 2, 'o'), over(max.size() + 1, 'o');
  ByteString ct, pt;
  EXPECT_EQ(1118, engine.EncryptWithPadding(over.data(), int(over.size()), ct, 1, nullptr, 0, "SHA256", "SHA256"));
  ASSERT_EQ(0, engine.EncryptWithPadding(max.data(), int(max.size()), ct, 1, "L", 1, "SHA256", "SHA256"));
  EXPECT_EQ(1114, engine.DecryptWithPadding(ct.Data(), ct.Length(), pt, 1, "M", 1, "SHA256", "SHA256"));
  EXPECT_EQ(1114, engine.DecryptWithPadding(ct.Data(), ct.Length(), pt, 1, "L", 1, "SHA512/256", "SHA256"));
  ASSERT_EQ(0, engine.DecryptWithPadding(ct.Data(), ct.Length(), pt, 1, "L", 1, "SHA256", "SHA256"));
  EXPECT_EQ(max, std::string(pt.Data(), pt.Length()));
  // SHA-512 needs k >= 130: a 1024-bit key is too short to decrypt with it.
  EXPECT_EQ(1112, engine.DecryptWithPadding(ct.Data(), ct.Length(), pt, 1, nullptr, 0, "SHA512", nullptr));
  EXPECT_EQ(2001, engine.EncryptWithPadding("x", 1, ct, 1, nullptr, 0, "NOPE", nullptr));
}

TEST(RsaMgf1Test, LengthsAndErrors) {
  ByteString out;
  EXPECT_EQ(0, RsaEngine::Mgf1("seed", 4, "SHA1", 0, out));
  EXPECT_EQ(0, out.Length());
  ASSERT_EQ(0, RsaEngine::Mgf1("seed", 4, "SHA1", 21, out));
  EXPECT_EQ(21, out.Length());
  ByteString longer;
  ASSERT_EQ(0, RsaEngine::Mgf1("seed", 4, "SHA1", 40, longer));
  EXPECT_EQ(Hex(out), Hex(longer).substr(0, 42));
  EXPECT_EQ(1113, RsaEngine::Mgf1(nullptr, 4, "SHA1", 4, out));
  EXPECT_EQ(1113, RsaEngine::Mgf1("seed", 4, "SHA1", -1, out));
  EXPECT_EQ(2001, RsaEngine::Mgf1("seed", 4, "SHA-9", 4, out));
}

}  // namespace
}  // namespace tornell
