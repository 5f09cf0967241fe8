// Key derivations after the agreement against independent tools: openssl's
// SSKDF for the concatenation KDF and its TLS1-PRF for kdf 12, Python's
// hashlib and hmac for the hash and HMAC numbers.
#include <gtest/gtest.h>

#include "EngineTestUtil.h"
#include "crypto/ecc/engine/EccEngine.h"

using namespace tornell;
using namespace enginetest;

namespace {

// openssl kdf output "AB:CD:..." as lower-case hex.
std::string OpensslKdf(const std::string& args) {
  const std::string out = RunTool("openssl kdf " + args + " 2>/dev/null");
  std::string hex;
  for (char c : out) {
    if (std::isxdigit(static_cast<unsigned char>(c))) hex.push_back(static_cast<char>(std::tolower(c)));
  }
  return hex;
}

// Two fresh keys, their shared x, and an engine holding the own key.
struct Agreement {
  EcKey own;
  EcKey peer;
  ByteString z;
  EccEngine engine;
};

void Agree(int index, Agreement& a) {
  EccEngine gen;
  EXPECT_EQ(gen.SetCurveIndex(index), 0);
  ASSERT_EQ(gen.GenerateKey(1, a.own), 0);
  ASSERT_EQ(gen.GenerateKey(1, a.peer), 0);
  ASSERT_EQ(EccEngine::ComputeSharedSecret(a.own.D, a.peer, 0, a.z), 0);
  ASSERT_EQ(a.engine.SetKey(a.own), 0);
}

TEST(EngineDerive, ConcatKdfAgainstOpensslSskdf) {
  REQUIRE_OR_SKIP(HasOpenssl(), "openssl absent");
  Agreement a;
  Agree(0, a);
  EccEngine& engine = a.engine;
  const struct {
    const char* ours;
    const char* theirs;
    int length;
  } hashes[] = {{nullptr, "SHA2-256", 32}, {"SHA1", "SHA1", 20}, {"SHA384", "SHA2-384", 48},
                {"SHA512", "SHA2-512", 64}};
  for (const auto& h : hashes) {
    ByteString out;
    ASSERT_EQ(engine.DeriveKeyConcat(a.peer, h.ours, "alg", 3, "partyU", 6, "partyV", 6, "pub", 3, "priv", 4, out), 0);
    ASSERT_EQ(out.Length(), h.length);
    const std::string info = Hex("algpartyUpartyVpubpriv", 22);
    const std::string expected = OpensslKdf("-keylen " + std::to_string(h.length) + " -kdfopt digest:" + h.theirs +
                                            " -kdfopt hexkey:" + Hex(a.z) + " -kdfopt hexinfo:" + info + " SSKDF");
    EXPECT_EQ(Hex(out), expected) << h.theirs;
  }
}

TEST(EngineDerive, TlsPrfAgainstOpenssl) {
  REQUIRE_OR_SKIP(HasOpenssl(), "openssl absent");
  Agreement a;
  Agree(1, a);
  EccEngine& engine = a.engine;
  std::string seed(64, '\0');
  for (int i = 0; i < 64; ++i) seed[i] = static_cast<char>(i * 5 + 3);
  ByteString out;
  ASSERT_EQ(engine.DeriveKey(a.peer, 12, "master secret", 13, seed.data(), 64, nullptr, 0, out), 0);
  const std::string expected =
      OpensslKdf("-keylen 48 -kdfopt digest:MD5-SHA1 -kdfopt hexsecret:" + Hex(a.z) +
                 " -kdfopt hexseed:" + Hex("master secret", 13) + Hex(seed.data(), 64) + " TLS1-PRF");
  EXPECT_EQ(Hex(out), expected);
}

TEST(EngineDerive, HashAndHmacNumbersAgainstPython) {
  REQUIRE_OR_SKIP(HasPython(), "python3 absent");
  Agreement a;
  Agree(0, a);
  EccEngine& engine = a.engine;
  const std::string first = "0a0b0c";
  const std::string second = "ddeeff00";
  const std::string input = first + Hex(a.z) + second;
  const std::string key = "6b6579";
  const struct {
    int kdf;
    const char* name;
    bool hmac;
  } cases[] = {{0, "sha1", false},   {1, "sha256", false}, {2, "sha384", false}, {3, "sha512", false},
               {6, "md5", false},    {7, "sha1", true},    {8, "sha256", true},  {9, "sha384", true},
               {10, "sha512", true}, {11, "md5", true},    {99, "sha1", false}};
  for (const auto& c : cases) {
    ByteString out;
    const std::string f = Bytes(first), s = Bytes(second), k = Bytes(key);
    ASSERT_EQ(engine.DeriveKey(a.peer, c.kdf, f.data(), 3, s.data(), 4, k.data(), 3, out), 0);
    const std::string args = c.hmac ? std::string("mac ") + c.name + " " + key + " " + input
                                    : std::string("digest ") + c.name + " " + input;
    EXPECT_EQ(Hex(out), Reference(args)[0][0]) << c.kdf;
  }
}

}  // namespace
