#include <gtest/gtest.h>

#include <cstring>

#include "EngineHelpers.h"

using namespace tornell;
using namespace aeadtest;

namespace {

Bytes Seq(size_t n, int start = 0) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = uint8_t(start + int(i) * 13);
  return b;
}

TEST(SymmetricCipher, SelectionByIdAndName) {
  SymmetricCipher c;
  EXPECT_EQ(0, c.GetAlgorithm());
  EXPECT_EQ(256, c.GetKeyBits());
  EXPECT_EQ(128, c.GetBlockBits());
  EXPECT_EQ(CipherMode::CBC, c.GetMode());
  EXPECT_EQ(CipherPadding::None, c.GetPadding());

  struct Named {
    const char* name;
    int status, id;
  } names[] = {{" AES ", 0, 0},           {"AES-GCM", 0, 12},       {"TripleDES", 0, 2}, {"ChaCha20-Poly1305", 0, 15},
               {"aes_gcm", 2001, -1},     {"aes\t", 2001, -1},      {"", 2001, -1},      {"arcfour", 0, 7},
               {"correctedblocktea", 0, 11}, {"  rijndael", 0, 13}};
  for (const Named& n : names) {
    SCOPED_TRACE(n.name);
    EXPECT_EQ(0, c.SetAlgorithm(5));
    EXPECT_EQ(n.status, c.SetAlgorithmByName(n.name));
    EXPECT_EQ(n.id < 0 ? 5 : n.id, c.GetAlgorithm());
  }
  EXPECT_EQ(0, c.SetAlgorithmByName("aes-gcm"));
  EXPECT_EQ(CipherMode::GCM, c.GetMode());

  // Ids outside the table stay selected and make every keying fail.
  Bytes key(32, 1), iv(16, 2);
  for (int bad : {16, -1, -100000}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(2001, c.SetAlgorithm(bad));
    EXPECT_EQ(2001, c.InitEncrypt(C(key), 32, C(iv), 16));
    int length = 16;
    ByteString out;
    EXPECT_EQ(2001, c.Update(C(key), 0, length, out));
    EXPECT_EQ(2001, c.Final(C(key), 0, 16, out));
  }
}

TEST(SymmetricCipher, KeyIvAndTagSizeChecks) {
  SymmetricCipher c;
  Bytes buf(300, 7);
  struct SizeCase {
    int alg, keyBytes, status;
  } keys[] = {{0, 16, 0}, {0, 24, 0}, {0, 20, 2005}, {0, 40, 2005}, {2, 16, 0}, {2, 8, 2005},
              {7, 256, 0}, {7, 257, 2005}, {14, 31, 2005}, {13, 24, 0}, {1, 8, 0}, {1, 7, 2005}};
  for (const SizeCase& k : keys) {
    SCOPED_TRACE(std::to_string(k.alg) + "/" + std::to_string(k.keyBytes));
    EXPECT_EQ(0, c.SetAlgorithm(k.alg));
    EXPECT_EQ(k.status, c.SetKey(C(buf), k.keyBytes));
    EXPECT_EQ(k.status, c.SetKeyBits(k.keyBytes * 8));
  }
  EXPECT_EQ(0, c.SetAlgorithm(2));
  EXPECT_EQ(128, c.GetKeyBits());
  EXPECT_EQ(2005, c.SetKeyBits(64));
  EXPECT_EQ(128, c.GetKeyBits());

  EXPECT_EQ(0, c.SetAlgorithm(0));
  EXPECT_EQ(2006, c.SetIV(C(buf), 8));
  EXPECT_EQ(0, c.SetIV(C(buf), 16));
  EXPECT_EQ(0, c.SetAlgorithm(13));
  EXPECT_EQ(0, c.SetIV(C(buf), 32));
  EXPECT_EQ(2006, c.SetIV(C(buf), 20));
  EXPECT_EQ(0, c.SetAlgorithm(12));
  EXPECT_EQ(0, c.SetIV(C(buf), 60));  // no check in GCM mode
  EXPECT_EQ(0, c.SetMode(CipherMode::CBC));
  EXPECT_EQ(2006, c.SetIV(C(buf), 12));
  EXPECT_EQ(0, c.SetIV(C(buf), 0));

  // Tag sizes of AES-GCM: 96 to 128 bits in GCM mode, only 0 in any other.
  EXPECT_EQ(0, c.SetAlgorithm(12));
  EXPECT_EQ(2009, c.SetTagBits(100));
  EXPECT_EQ(2009, c.SetTagBits(88));
  EXPECT_EQ(0, c.SetTagBits(104));
  EXPECT_EQ(0, c.SetMode(CipherMode::CBC));
  EXPECT_EQ(2009, c.SetTagBits(96));
  EXPECT_EQ(0, c.SetTagBits(0));
}

TEST(SymmetricCipher, EcbIgnoresTheIv) {
  SymmetricCipher a, b;
  Bytes key(16, 3), data = Seq(32);
  EXPECT_EQ(0, a.SetMode(CipherMode::ECB));
  EXPECT_EQ(0, b.SetMode(CipherMode::ECB));
  EXPECT_EQ(0, a.SetIV(C(data), 5));
  ASSERT_EQ(0, a.InitEncrypt(C(key), 16, nullptr, 3));
  ASSERT_EQ(0, b.InitEncrypt(C(key), 16, C(data), 16));
  EXPECT_EQ(ToHex(Pass(a, data).out), ToHex(Pass(b, data).out));
}

TEST(SymmetricCipher, PaddingOnEncryption) {
  Bytes key(16, 4), iv(16, 0);
  SymmetricCipher enc, dec;
  EXPECT_EQ(0, enc.SetPadding(CipherPadding::PKCS7));
  ASSERT_EQ(0, enc.InitEncrypt(C(key), 16, C(iv), 16));
  Outcome o = Pass(enc, Seq(16));
  ASSERT_EQ(32u, o.out.size());
  ASSERT_EQ(0, dec.InitDecrypt(C(key), 16, C(iv), 16));
  Outcome raw = Pass(dec, o.out);
  EXPECT_EQ(ToHex(raw.out.data() + 16, 16), std::string(32, '0').replace(0, 32, "10101010101010101010101010101010"));
  EXPECT_EQ(0, enc.InitEncrypt());
  EXPECT_EQ(16u, Pass(enc, {}).out.size());

  // Zeros: aligned data gains a block, and decryption strips message zeros too.
  EXPECT_EQ(0, enc.SetPadding(CipherPadding::Zeros));
  EXPECT_EQ(0, enc.InitEncrypt());
  Bytes msg = Seq(16);
  msg[14] = msg[15] = 0;
  o = Pass(enc, msg);
  ASSERT_EQ(32u, o.out.size());
  EXPECT_EQ(0, dec.SetPadding(CipherPadding::Zeros));
  EXPECT_EQ(0, dec.InitDecrypt());
  EXPECT_EQ(14u, Pass(dec, o.out).out.size());

  // No padding and a partial block.
  EXPECT_EQ(0, enc.SetPadding(CipherPadding::None));
  EXPECT_EQ(0, enc.InitEncrypt());
  EXPECT_EQ(2003, Pass(enc, Seq(17)).status);
  EXPECT_EQ(0, dec.InitDecrypt());
  EXPECT_EQ(2003, Pass(dec, Seq(17)).status);
}

// Ciphertexts whose decryption ends in the given final blocks.
Bytes SealRaw(const Bytes& key, const Bytes& plain) {
  SymmetricCipher enc;
  EXPECT_EQ(0, enc.SetMode(CipherMode::ECB));
  EXPECT_EQ(0, enc.InitEncrypt(C(key), 16, nullptr, 0));
  return Pass(enc, plain).out;
}

TEST(SymmetricCipher, Pkcs7RemovalChecksEveryPadByte) {
  Bytes key(16, 5);
  struct PadCase {
    std::string last16;
    int status;
    size_t kept;  // of 32 bytes
  } cases[] = {
      {"0102030405060708090a0b0c0d0e0f01", 0, 31},
      {"10101010101010101010101010101010", 0, 16},
      {"0102030405060708090a0b0c0d030303", 0, 29},
      {"0102030405060708090a0b0c0d050404", 2004, 32},  // a pad byte differs
      {"0102030405060708090a0b0c04040404", 0, 28},
      {"0102030405060708090a0b0c0d0e0f80", 2004, 32},  // count beyond the output
      {"0102030405060708090a0b0c0d0e0f00", 2004, 32},  // zero is no padding
      {"0102030405060708090a0b0c0d0e0f11", 2004, 32},  // 17 exceeds the block
      {"1010101010101010101010101010100f", 2004, 32},
  };
  for (const PadCase& p : cases) {
    SCOPED_TRACE(p.last16);
    Bytes plain = Seq(16, 1);
    Bytes tail = Hex(p.last16);
    plain.insert(plain.end(), tail.begin(), tail.end());
    Bytes ct = SealRaw(key, plain);
    SymmetricCipher dec;
    EXPECT_EQ(0, dec.SetMode(CipherMode::ECB));
    EXPECT_EQ(0, dec.SetPadding(CipherPadding::PKCS7));
    ASSERT_EQ(0, dec.InitDecrypt(C(key), 16, nullptr, 0));
    Outcome o = Pass(dec, ct);
    EXPECT_EQ(p.status, o.status);
    EXPECT_EQ(p.kept, o.out.size());  // a malformed pad leaves the decrypted data as it is
  }
  // ZerosAndCount removes by the count alone.
  Bytes plain = Seq(48);
  plain[47] = 20;
  SymmetricCipher dec;
  EXPECT_EQ(0, dec.SetMode(CipherMode::ECB));
  EXPECT_EQ(0, dec.SetPadding(CipherPadding::ZerosAndCount));
  ASSERT_EQ(0, dec.InitDecrypt(C(key), 16, nullptr, 0));
  EXPECT_EQ(28u, Pass(dec, SealRaw(key, plain)).out.size());
}

TEST(SymmetricCipher, UpdateTakesWholeBlocksOnly) {
  Bytes key(16, 6), iv(16, 9), data = Seq(48);
  for (int mode : {CipherMode::ECB, CipherMode::CBC, CipherMode::CTS}) {
    SCOPED_TRACE(mode);
    SymmetricCipher a, b;
    EXPECT_EQ(0, a.SetMode(mode));
    EXPECT_EQ(0, b.SetMode(mode));
    ASSERT_EQ(0, a.InitEncrypt(C(key), 16, C(iv), 16));
    ASSERT_EQ(0, b.InitEncrypt(C(key), 16, C(iv), 16));
    ByteString out;
    int length = 15;
    EXPECT_EQ(0, a.Update(C(data), 0, length, out));
    EXPECT_EQ(0, length);
    EXPECT_EQ(0, out.Length());
    EXPECT_EQ(ToHex(Pass(a, data, {33}).out), ToHex(Pass(b, data).out));
  }
  SymmetricCipher c;
  EXPECT_EQ(0, c.SetMode(9));
  ASSERT_EQ(0, c.InitEncrypt(C(key), 16, C(iv), 16));
  ByteString out;
  int length = 20;
  EXPECT_EQ(2002, c.Update(C(data), 0, length, out));
  EXPECT_EQ(16, length);
}

TEST(SymmetricCipher, CiphertextStealingRfc3962) {
  const std::string msg = "I would like the General Gau's Chicken, please, and wonton soup.";
  Bytes key = Hex("636869636b656e207465726979616b69"), iv(16, 0);
  struct CtsCase {
    size_t length;
    const char* ct;
  } cases[] = {
      {17, "c6353568f2bf8cb4d8a580362da7ff7f97"},
      {31, "fc00783e0efdb2c1d445d4c8eff7ed2297687268d6ecccc0c07b25e25ecfe5"},
      {32, "39312523a78662d5be7fcbcc98ebf5a897687268d6ecccc0c07b25e25ecfe584"},
      {47, "97687268d6ecccc0c07b25e25ecfe584b3fffd940c16a18c1b5549d2f838029e39312523a78662d5be7fcbcc98ebf5"},
      {48, "97687268d6ecccc0c07b25e25ecfe5849dad8bbb96c4cdc03bc103e1a194bbd839312523a78662d5be7fcbcc98ebf5a8"},
      {64, "97687268d6ecccc0c07b25e25ecfe58439312523a78662d5be7fcbcc98ebf5a84807efe836ee89a526730dbc2f7bc840"
           "9dad8bbb96c4cdc03bc103e1a194bbd8"},
  };
  for (const CtsCase& k : cases) {
    SCOPED_TRACE(k.length);
    Bytes plain(msg.begin(), msg.begin() + long(k.length));
    for (const std::vector<size_t>& cuts : {std::vector<size_t>{}, std::vector<size_t>{1, 15, 17, 33}}) {
      SymmetricCipher enc, dec;
      EXPECT_EQ(0, enc.SetAlgorithmByName("aes"));
      EXPECT_EQ(0, enc.SetMode(CipherMode::CTS));
      EXPECT_EQ(0, dec.SetMode(CipherMode::CTS));
      ASSERT_EQ(0, enc.InitEncrypt(C(key), 16, C(iv), 16));
      Outcome o = Pass(enc, plain, cuts);
      ASSERT_EQ(0, o.status);
      EXPECT_EQ(ToHex(o.out), k.ct);
      ASSERT_EQ(0, dec.InitDecrypt(C(key), 16, C(iv), 16));
      o = Pass(dec, Hex(k.ct), cuts);
      ASSERT_EQ(0, o.status);
      EXPECT_EQ(std::string(o.out.begin(), o.out.end()), msg.substr(0, k.length));
    }
  }
  // One block is plain CBC (Kerberos derives keys this way); less is refused.
  SymmetricCipher cts, cbc;
  EXPECT_EQ(0, cts.SetMode(CipherMode::CTS));
  ASSERT_EQ(0, cts.InitEncrypt(C(key), 16, C(iv), 16));
  ASSERT_EQ(0, cbc.InitEncrypt(C(key), 16, C(iv), 16));
  Bytes block = Seq(16);
  EXPECT_EQ(ToHex(Pass(cts, block).out), ToHex(Pass(cbc, block).out));
  EXPECT_EQ(0, cts.InitEncrypt());
  Outcome shortOne = Pass(cts, Seq(15));
  EXPECT_EQ(2007, shortOne.status);
  EXPECT_TRUE(shortOne.out.empty());
  EXPECT_EQ(0, cts.InitDecrypt());
  EXPECT_EQ(2007, Pass(cts, {}).status);
}

TEST(SymmetricCipher, FeedbackModesRunTheForwardCipher) {
  Bytes key(32, 8), iv = Seq(16), data = Seq(50);
  for (int mode : {CipherMode::OFB, CipherMode::CFB}) {
    SCOPED_TRACE(mode);
    SymmetricCipher enc, dec;
    EXPECT_EQ(0, enc.SetMode(mode));
    EXPECT_EQ(0, dec.SetMode(mode));
    ASSERT_EQ(0, enc.InitEncrypt(C(key), 32, C(iv), 16));
    ASSERT_EQ(0, dec.InitDecrypt(C(key), 32, C(iv), 16));
    Outcome sealed = Pass(enc, data, {5, 11});
    ASSERT_EQ(50u, sealed.out.size());
    EXPECT_EQ(ToHex(Pass(dec, sealed.out, {1, 32}).out), ToHex(data));
  }
}

TEST(SymmetricCipher, AesGcmTagRules) {
  Bytes key(16, 1), iv(12, 2), data = Seq(40);
  SymmetricCipher enc;
  ASSERT_EQ(0, enc.SetAlgorithmByName("aes-gcm"));
  ASSERT_EQ(0, enc.InitEncrypt(C(key), 16, C(iv), 12));
  ASSERT_EQ(0, Pass(enc, data).status);
  Bytes tag12 = Tag(enc);
  EXPECT_EQ(12u, tag12.size());

  auto open = [&](const Bytes& tag, int tagBitsSetting, bool viaNonGcm) {
    SymmetricCipher dec;
    EXPECT_EQ(0, dec.SetAlgorithm(12));
    if (viaNonGcm) {
      EXPECT_EQ(0, dec.SetMode(CipherMode::CBC));
      EXPECT_EQ(0, dec.SetTagBits(tagBitsSetting));
      EXPECT_EQ(0, dec.SetMode(CipherMode::GCM));
    } else {
      EXPECT_EQ(0, dec.SetTagBits(tagBitsSetting));
    }
    EXPECT_EQ(0, dec.SetTag(C(tag), int(tag.size())));
    EXPECT_EQ(0, dec.InitDecrypt(C(key), 16, C(iv), 12));
    EXPECT_EQ(0, enc.InitEncrypt());
    Outcome sealed = Pass(enc, data);
    return Pass(dec, sealed.out, {7});
  };
  Outcome ok = open(tag12, 96, false);
  EXPECT_EQ(0, ok.status);
  EXPECT_EQ(ToHex(ok.out), ToHex(data));

  Bytes tag16 = tag12;
  tag16.resize(16);
  Outcome wrongLength = open(tag16, 96, false);
  EXPECT_EQ(2010, wrongLength.status);
  EXPECT_TRUE(wrongLength.out.empty());

  // A zero-length tag reached through a non-GCM mode must not verify.
  Outcome empty = open({}, 0, true);
  EXPECT_EQ(2010, empty.status);
  EXPECT_TRUE(empty.out.empty());

  Bytes bad = tag12;
  bad[11] ^= 1;
  EXPECT_EQ(2010, open(bad, 96, false).status);

  // AES-GCM outside GCM mode has no data path; GCM mode on another algorithm neither.
  SymmetricCipher other;
  EXPECT_EQ(0, other.SetAlgorithm(12));
  EXPECT_EQ(0, other.SetMode(CipherMode::CBC));
  ASSERT_EQ(0, other.InitEncrypt(C(key), 16, nullptr, 0));
  EXPECT_EQ(2001, Pass(other, data).status);
  EXPECT_EQ(0, other.SetAlgorithm(14));
  EXPECT_EQ(0, other.SetMode(CipherMode::GCM));
  ASSERT_EQ(0, other.InitEncrypt(C(Bytes(32, 1)), 32, C(iv), 12));
  EXPECT_EQ(2001, Pass(other, data).status);
}

TEST(SymmetricCipher, ChaCha20Poly1305TagRules) {
  Bytes key(32, 1), iv(12, 2), data = Seq(40);
  SymmetricCipher enc, dec;
  EXPECT_EQ(0, enc.SetAlgorithm(15));
  EXPECT_EQ(0, dec.SetAlgorithm(15));
  ASSERT_EQ(0, enc.InitEncrypt(C(key), 32, C(iv), 12));
  Outcome sealed = Pass(enc, data);
  ASSERT_EQ(0, sealed.status);
  EXPECT_EQ(16u, Tag(enc).size());
  ASSERT_EQ(0, dec.InitDecrypt(C(key), 32, C(iv), 12));
  Outcome noTag = Pass(dec, sealed.out);
  EXPECT_EQ(2008, noTag.status);
  EXPECT_TRUE(noTag.out.empty());
  Bytes tag = Tag(enc);
  tag.resize(12);
  EXPECT_EQ(0, dec.SetTag(C(tag), 12));
  EXPECT_EQ(0, dec.InitDecrypt());
  EXPECT_EQ(2010, Pass(dec, sealed.out).status);
  EXPECT_EQ(3000, dec.InitDecrypt(C(key), 32, C(iv), 10));
}

// A copy taken in the middle of a message continues it exactly.
TEST(SymmetricCipher, CopyFromMidStream) {
  struct Setup {
    const char* name;
    int alg, mode, keyLength, ivLength;
  } setups[] = {{"aes-cbc", 0, CipherMode::CBC, 16, 16}, {"aes-cfb", 0, CipherMode::CFB, 32, 16},
                {"aes-ofb", 0, CipherMode::OFB, 24, 16}, {"aes-cts", 0, CipherMode::CTS, 16, 16},
                {"3des-cbc", 2, CipherMode::CBC, 24, 8},  {"chacha20", 14, CipherMode::CBC, 32, 12},
                {"aes-gcm", 12, CipherMode::GCM, 16, 12}, {"chacha20-poly1305", 15, CipherMode::CBC, 32, 12}};
  Bytes data = Seq(100, 5), key = Seq(32, 1), iv = Seq(16, 2), aad = Seq(13);
  for (const Setup& s : setups) {
    SCOPED_TRACE(s.name);
    SymmetricCipher a, b;
    EXPECT_EQ(0, a.SetAlgorithm(s.alg));
    EXPECT_EQ(0, a.SetMode(s.mode));
    EXPECT_EQ(0, a.SetPadding(CipherPadding::PKCS7));
    EXPECT_EQ(0, a.SetAad(C(aad), 13));
    EXPECT_EQ(0, a.SetTagBits(128));
    ASSERT_EQ(0, a.InitEncrypt(C(key), s.keyLength, C(iv), s.ivLength));
    Outcome whole = Pass(a, data);
    ASSERT_EQ(0, whole.status);
    Bytes wholeTag = Tag(a);

    ASSERT_EQ(0, a.InitEncrypt());
    ByteString out;
    int length = 37;
    ASSERT_EQ(0, a.Update(C(data), 0, length, out));
    ASSERT_EQ(0, b.CopyFrom(a));
    EXPECT_EQ(0u, Tag(b).size());  // the tag and the AAD are not copied
    EXPECT_EQ(0, b.SetTagBits(128));
    ASSERT_EQ(0, b.Final(C(data), length, int(data.size()) - length, out));
    Bytes got(reinterpret_cast<const uint8_t*>(out.Data()), reinterpret_cast<const uint8_t*>(out.Data()) + out.Length());
    EXPECT_EQ(ToHex(got), ToHex(whole.out));
    EXPECT_EQ(ToHex(Tag(b)), ToHex(wholeTag));
  }
}

// Every algorithm in every mode it offers: pieces give the same bytes as one
// call, and decryption gives the message back.
TEST(SymmetricCipher, EveryAlgorithmRoundTrips) {
  struct Alg {
    int id, keyBytes, ivBytes;
    bool block;
  } algs[] = {{0, 16, 16, true},  {1, 8, 8, true},   {2, 24, 8, true},   {3, 16, 8, true},  {4, 20, 8, true},
              {5, 32, 16, true},  {6, 16, 8, true},  {7, 16, 0, false},  {8, 16, 8, true},  {9, 16, 8, true},
              {10, 16, 8, true},  {11, 16, 8, true}, {12, 32, 12, false}, {13, 24, 16, true}, {14, 32, 8, false},
              {15, 32, 12, false}};
  Bytes key = Seq(32, 3), iv = Seq(16, 4), data = Seq(77, 5);
  for (const Alg& a : algs) {
    std::vector<int> modes = {CipherMode::CBC};
    if (a.block) modes = {CipherMode::ECB, CipherMode::CBC, CipherMode::OFB, CipherMode::CFB, CipherMode::CTS};
    for (int mode : modes) {
      SCOPED_TRACE(std::to_string(a.id) + " mode " + std::to_string(mode));
      SymmetricCipher enc, enc2, dec;
      for (SymmetricCipher* c : {&enc, &enc2, &dec}) {
        ASSERT_EQ(0, c->SetAlgorithm(a.id));
        if (a.block) {
          EXPECT_EQ(0, c->SetMode(mode));
        }
        EXPECT_EQ(0, c->SetPadding(CipherPadding::PKCS7));
      }
      ASSERT_EQ(0, enc.InitEncrypt(C(key), a.keyBytes, C(iv), a.ivBytes));
      ASSERT_EQ(0, enc2.InitEncrypt(C(key), a.keyBytes, C(iv), a.ivBytes));
      Outcome one = Pass(enc, data), pieces = Pass(enc2, data, {1, 15, 17, 33});
      ASSERT_EQ(0, one.status);
      ASSERT_EQ(0, pieces.status);
      EXPECT_EQ(ToHex(one.out), ToHex(pieces.out));
      EXPECT_NE(ToHex(one.out).substr(0, 32), ToHex(data).substr(0, 32));
      Bytes tag = Tag(enc);
      EXPECT_EQ(0, dec.SetTag(C(tag), int(tag.size())));
      ASSERT_EQ(0, dec.InitDecrypt(C(key), a.keyBytes, C(iv), a.ivBytes));
      Outcome back = Pass(dec, one.out, {33});
      ASSERT_EQ(0, back.status);
      EXPECT_EQ(ToHex(back.out), ToHex(data));
    }
  }
}

// One engine holds only the algorithm it has selected: the same engine,
// re-selected from algorithm to algorithm, gives what a fresh engine gives,
// and a copy takes over whichever algorithm its source holds.
TEST(SymmetricCipher, OneEngineServesEveryAlgorithmInTurn) {
  const int keyBytes[16] = {16, 8, 24, 16, 20, 32, 16, 16, 16, 16, 16, 16, 32, 24, 32, 32};
  const int ivBytes[16] = {16, 8, 8, 8, 8, 16, 8, 0, 8, 8, 8, 8, 12, 16, 12, 12};
  Bytes key = Seq(32, 7), iv = Seq(16, 8), data = Seq(40, 9);
  SymmetricCipher reused, copy;
  for (int round = 0; round < 2; ++round) {
    for (int id = 0; id < 16; ++id) {
      SCOPED_TRACE(id);
      SymmetricCipher fresh;
      for (SymmetricCipher* c : {&reused, &fresh}) {
        ASSERT_EQ(0, c->SetAlgorithm(id));
        EXPECT_EQ(0, c->SetPadding(CipherPadding::PKCS7));
        ASSERT_EQ(0, c->InitEncrypt(C(key), keyBytes[id], C(iv), ivBytes[id]));
      }
      // The copy last held another algorithm (or none); it continues this one.
      ASSERT_EQ(0, copy.CopyFrom(reused));
      Outcome a = Pass(reused, data), b = Pass(fresh, data), c = Pass(copy, data);
      ASSERT_EQ(0, a.status);
      ASSERT_EQ(0, b.status);
      ASSERT_EQ(0, c.status);
      EXPECT_EQ(ToHex(a.out), ToHex(b.out));
      EXPECT_EQ(ToHex(a.out), ToHex(c.out));
    }
  }
}

TEST(SymmetricCipher, RijndaelRunsSixteenByteBlocksWithTheFrontOfALongIv) {
  Bytes key(32, 3), iv = Seq(32), data = Seq(48);
  SymmetricCipher r, a;
  EXPECT_EQ(0, r.SetAlgorithm(13));
  ASSERT_EQ(0, r.InitEncrypt(C(key), 32, C(iv), 32));
  ASSERT_EQ(0, a.InitEncrypt(C(key), 32, C(iv), 16));
  EXPECT_EQ(ToHex(Pass(r, data).out), ToHex(Pass(a, data).out));
}

}  // namespace
