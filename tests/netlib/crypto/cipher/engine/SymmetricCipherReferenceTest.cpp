// The engine against Python's cryptography over random inputs, every
// algorithm with a reference there, in every mode and padding the engine
// offers, in one call and split across calls.
#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "EngineHelpers.h"
#include "PathLevels.h"

using namespace tornell;
using namespace aeadtest;

namespace {

struct RefCase {
  int alg, mode, padding;
  Bytes key, iv, aad, data;
  std::string expected;
};

struct AlgSpec {
  int id;
  std::vector<int> keyLengths;  // bytes
  int block;                    // bytes; 0 for stream and AEAD algorithms
  int ivLength;
};

// Twofish, TEA, XTEA and XXTEA have no reference in Python's cryptography
// (IDEA and RC2 only where its OpenSSL still offers them); their own tests
// cover them, the round trip below covers their path through the engine.
std::vector<AlgSpec> Algorithms() {
  return {{0, {16, 24, 32}, 16, 16}, {1, {8}, 8, 8},         {2, {16, 24}, 8, 8},   {13, {16, 32}, 16, 32},
          {3, {5, 16}, 8, 8},         {4, {4, 56}, 8, 8},     {6, {16}, 8, 8},       {8, {16}, 8, 8},
          {7, {5, 16, 32}, 0, 0},     {14, {32}, 0, 12},      {14, {32}, 0, 8},      {12, {16, 24, 32}, 0, 12},
          {15, {32}, 0, 12}};
}

Bytes Random(std::mt19937& rng, size_t n) {
  Bytes b(n);
  for (auto& x : b) x = uint8_t(rng());
  return b;
}

std::vector<RefCase> MakeCases() {
  std::mt19937 rng(20261210);
  std::vector<RefCase> cases;
  for (const AlgSpec& a : Algorithms()) {
    for (int keyLength : a.keyLengths) {
      auto add = [&](int mode, int padding, size_t length) {
        RefCase c{a.id, mode, padding, Random(rng, size_t(keyLength)), Random(rng, size_t(a.ivLength)), {},
                  Random(rng, length), ""};
        if (a.id == 12 || a.id == 15) c.aad = Random(rng, rng() % 40);
        cases.push_back(c);
      };
      if (a.block == 0) {
        for (size_t length : {0, 1, 100, 700, 2100}) add(CipherMode::CBC, CipherPadding::None, length);
        continue;
      }
      const size_t b = size_t(a.block);
      for (int mode : {CipherMode::ECB, CipherMode::CBC}) {
        add(mode, CipherPadding::None, 0);
        add(mode, CipherPadding::None, b * (1 + rng() % 6));
        for (int padding : {CipherPadding::PKCS7, CipherPadding::Zeros, CipherPadding::ZerosAndCount}) {
          add(mode, padding, rng() % 70);
          add(mode, padding, b * 3);
        }
      }
      for (int mode : {CipherMode::OFB, CipherMode::CFB}) {
        add(mode, CipherPadding::None, 1 + rng() % 90);
        add(mode, CipherPadding::PKCS7, 1 + rng() % 90);  // padding plays no part in these modes
      }
      add(CipherMode::CTS, CipherPadding::None, b);
      add(CipherMode::CTS, CipherPadding::None, b + 1);
      add(CipherMode::CTS, CipherPadding::None, b * 2);
      add(CipherMode::CTS, CipherPadding::None, b * 2 + 1 + rng() % (b * 4));
    }
  }
  return cases;
}

using testsupport::HexOrDash;

// One python run for all cases.
bool FillExpected(std::vector<RefCase>& cases) {
  std::vector<std::string> requests;
  for (const RefCase& c : cases) {
    std::ostringstream line;
    line << c.alg << ' ' << c.mode << ' ' << c.padding << ' ' << HexOrDash(c.key) << ' ' << HexOrDash(c.iv) << ' '
         << HexOrDash(c.aad) << ' ' << HexOrDash(c.data);
    requests.push_back(line.str());
  }
  const std::vector<std::string> lines =
      testsupport::RunReferenceScript(std::string(ENGINE_TEST_DIR) + "/cipher_reference.py", requests);
  for (size_t i = 0; i < lines.size(); ++i) cases[i].expected = lines[i] == "-" ? "" : lines[i];
  return lines.size() == cases.size();
}

bool HaveCryptography() { return testsupport::HavePythonModule("cryptography.hazmat.primitives.ciphers.aead"); }

void Configure(SymmetricCipher& c, const RefCase& rc) {
  ASSERT_EQ(0, c.SetAlgorithm(rc.alg));
  if (rc.alg != 12) {
    EXPECT_EQ(0, c.SetMode(rc.mode));
  }
  EXPECT_EQ(0, c.SetPadding(rc.padding));
  ASSERT_EQ(0, c.SetTagBits(128));
  ASSERT_EQ(0, c.SetAad(C(rc.aad), int(rc.aad.size())));
}

// The plaintext a decryption must give back.
Bytes Recovered(const RefCase& rc) {
  Bytes d = rc.data;
  if (rc.padding == CipherPadding::Zeros && (rc.mode == CipherMode::ECB || rc.mode == CipherMode::CBC))
    while (!d.empty() && d.back() == 0) d.pop_back();
  return d;
}

// Run on every processor-instruction path and on the portable code.
using SymmetricCipherReference = PathLevels;

TEST_P(SymmetricCipherReference, EveryModeAndPaddingMatchesPythonCryptography) {
  USE_PROCESSOR_PATH_OR_SKIP(GetParam());
  REQUIRE_OR_SKIP(HaveCryptography(), "python3 with the cryptography package is not installed");
  std::vector<RefCase> cases = MakeCases();
  ASSERT_TRUE(FillExpected(cases));
  const bool aead[16] = {false, false, false, false, false, false, false, false,
                         false, false, false, false, true,  false, false, true};
  size_t compared = 0;
  const std::vector<std::vector<size_t>> splits = {{}, {1, 15, 17, 33}, {33, 17, 15, 1}, {16, 16, 3}};
  for (const RefCase& rc : cases) {
    SCOPED_TRACE("alg " + std::to_string(rc.alg) + " mode " + std::to_string(rc.mode) + " padding " +
                 std::to_string(rc.padding) + " key " + std::to_string(rc.key.size()) + " length " +
                 std::to_string(rc.data.size()));
    if (rc.expected == "SKIP") continue;  // this cryptography (or its OpenSSL) lacks the algorithm
    ASSERT_NE(rc.expected.substr(0, 3), "ERR") << rc.expected;
    ++compared;
    Bytes expected = Hex(rc.expected), tag;
    if (aead[rc.alg]) {
      tag.assign(expected.end() - 16, expected.end());
      expected.resize(expected.size() - 16);
    }
    for (const auto& cuts : splits) {
      SymmetricCipher enc;
      Configure(enc, rc);
      ASSERT_EQ(0, enc.InitEncrypt(C(rc.key), int(rc.key.size()), C(rc.iv), int(rc.iv.size())));
      Outcome o = Pass(enc, rc.data, cuts);
      ASSERT_EQ(0, o.status);
      EXPECT_EQ(ToHex(o.out), ToHex(expected));
      if (aead[rc.alg]) {
        EXPECT_EQ(ToHex(Tag(enc)), ToHex(tag));
      }

      SymmetricCipher dec;
      Configure(dec, rc);
      EXPECT_EQ(0, dec.SetTag(C(tag), int(tag.size())));
      ASSERT_EQ(0, dec.InitDecrypt(C(rc.key), int(rc.key.size()), C(rc.iv), int(rc.iv.size())));
      o = Pass(dec, expected, cuts);
      ASSERT_EQ(0, o.status);
      EXPECT_EQ(ToHex(o.out), ToHex(Recovered(rc)));
    }
  }
  EXPECT_GT(compared, cases.size() * 3 / 4);
  std::printf("compared %zu of %zu cases\n", compared, cases.size());
}

AEAD_ALL_PATHS(SymmetricCipherReference);

TEST(SymmetricCipherPadding, RandomAndCountPadsWithACountAfterRandomBytes) {
  Bytes key(16, 9), iv(16, 1), data(21, 0x33);
  SymmetricCipher enc, dec;
  for (SymmetricCipher* c : {&enc, &dec}) {
    EXPECT_EQ(0, c->SetAlgorithm(0));
    EXPECT_EQ(0, c->SetPadding(CipherPadding::RandomAndCount));
  }
  ASSERT_EQ(0, enc.InitEncrypt(C(key), 16, C(iv), 16));
  Outcome sealed = Pass(enc, data, {1, 15});
  ASSERT_EQ(0, sealed.status);
  ASSERT_EQ(32u, sealed.out.size());
  ASSERT_EQ(0, dec.InitDecrypt(C(key), 16, C(iv), 16));
  EXPECT_EQ(0, dec.SetPadding(CipherPadding::None));
  Outcome raw = Pass(dec, sealed.out);
  ASSERT_EQ(0, raw.status);
  EXPECT_EQ(11, raw.out.back());
  EXPECT_EQ(0, dec.SetPadding(CipherPadding::RandomAndCount));
  EXPECT_EQ(0, dec.InitDecrypt());
  EXPECT_EQ(ToHex(Pass(dec, sealed.out).out), ToHex(data));
}

}  // namespace
