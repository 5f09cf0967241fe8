// The TLS pseudo-random functions against the openssl command's TLS1-PRF
// (SHA-256, SHA-384, MD5-SHA1 and, for P_hash, other digests) and the SSL 3.0
// key block against the reference script.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "MacTestUtil.h"
#include "crypto/digest/mac/TlsPrf.h"

namespace {

using namespace tornell;
using mactest::Hex;

ByteString Bytes(const std::string& s) {
  ByteString b;
  b.Set(s.data(), static_cast<int>(s.size()));
  return b;
}

std::string Text(const ByteString& b) { return std::string(b.Data(), static_cast<size_t>(b.Length())); }

// The openssl command's TLS1-PRF output in lower-case hex, or "" when absent.
std::string OpensslPrf(const char* digest, const std::string& secret, const std::string& seed,
                       int length) {
  std::string out = mactest::Run("openssl kdf -binary -keylen " + std::to_string(length) +
                                 " -kdfopt digest:" + digest + " -kdfopt hexsecret:" +
                                 Hex(secret) + " -kdfopt hexseed:" + Hex(seed) + " TLS1-PRF");
  return Hex(out);
}

struct PrfCase {
  int secretLength;
  int seedLength;
  int length;
};

// Odd and even secrets (the TLS 1.0 halves overlap for odd ones), lengths
// that cut the last block and the 48-byte master secret.
const PrfCase kPrfCases[] = {{48, 77, 48}, {5, 13, 104}, {1, 64, 20}, {33, 1, 100},
                             {64, 200, 37}, {200, 32, 129}};

using Prf = int (*)(const ByteString&, const ByteString&, int, ByteString&);

struct PrfForm {
  const char* opensslDigest;
  Prf prf;
};

TEST(TlsPrf, AgainstOpenssl) {
  const PrfForm forms[] = {{"SHA256", TlsPrf::Tls12PrfSha256},
                           {"SHA384", TlsPrf::Tls12PrfSha384},
                           {"MD5-SHA1", TlsPrf::Tls10Prf}};
  REQUIRE_OR_SKIP(!OpensslPrf("SHA256", "s", "x", 4).empty(), "the openssl command with TLS1-PRF");
  int n = 0;
  for (const PrfForm& form : forms) {
    for (const PrfCase& c : kPrfCases) {
      const std::string secret = mactest::Pattern(c.secretLength, ++n);
      const std::string seed = mactest::Pattern(c.seedLength, ++n);
      ByteString out;
      ASSERT_EQ(form.prf(Bytes(secret), Bytes(seed), c.length, out), 0);
      EXPECT_EQ(Hex(Text(out)), OpensslPrf(form.opensslDigest, secret, seed, c.length))
          << form.opensslDigest << " secret " << c.secretLength << " length " << c.length;
    }
  }
}

// P_hash over digests no TLS version names is the same construction.
TEST(TlsPrf, PHashOverOtherDigests) {
  REQUIRE_OR_SKIP(!OpensslPrf("SHA1", "s", "x", 4).empty(), "the openssl command with TLS1-PRF");
  const struct {
    int id;
    const char* opensslDigest;
  } digests[] = {{HashAlgorithm::kSha1, "SHA1"},
                 {HashAlgorithm::kMd5, "MD5"},
                 {HashAlgorithm::kSha224, "SHA224"},
                 {HashAlgorithm::kSha512, "SHA512"},
                 {HashAlgorithm::kSha512_256, "SHA512-256"},
                 {HashAlgorithm::kRipemd160, "RIPEMD160"}};
  for (const auto& d : digests) {
    const std::string secret = mactest::Pattern(150, d.id);
    const std::string seed = mactest::Pattern(41, d.id + 50);
    Hmac mac;
    ASSERT_EQ(mac.Init(d.id, secret.data(), static_cast<int>(secret.size())), 0);
    // A message left open on the object takes no part.
    ASSERT_EQ(mac.Update("stray", 5), 0);
    ByteString out;
    ASSERT_EQ(TlsPrf::PHash(mac, Bytes(seed), 150, out), 0);
    EXPECT_EQ(Hex(Text(out)), OpensslPrf(d.opensslDigest, secret, seed, 150)) << d.opensslDigest;
  }
}

TEST(TlsPrf, Tls10SplitsTheSecretWithAnOverlappingMiddleByte) {
  const std::string secret = "\x01\x02\x03\x04\x05";
  const std::string seed = "seed";
  Hmac md5;
  Hmac sha1;
  ASSERT_EQ(md5.Init(HashAlgorithm::kMd5, secret.data(), 3), 0);
  ASSERT_EQ(sha1.Init(HashAlgorithm::kSha1, secret.data() + 2, 3), 0);
  ByteString p1;
  ByteString p2;
  ASSERT_EQ(TlsPrf::PHash(md5, Bytes(seed), 104, p1), 0);
  ASSERT_EQ(TlsPrf::PHash(sha1, Bytes(seed), 104, p2), 0);
  ByteString out;
  out.Set("old content");
  ASSERT_EQ(TlsPrf::Tls10Prf(Bytes(secret), Bytes(seed), 104, out), 0);
  ASSERT_EQ(out.Length(), 104);
  for (int i = 0; i < 104; ++i) {
    EXPECT_EQ(out.ByteAt(i), p1.ByteAt(i) ^ p2.ByteAt(i)) << i;
  }
  // An empty secret keys both halves with nothing.
  ASSERT_EQ(TlsPrf::Tls10Prf(ByteString(), Bytes(seed), 20, out), 0);
  if (!OpensslPrf("SHA1", "s", "x", 4).empty()) {
    EXPECT_EQ(Hex(Text(out)), OpensslPrf("MD5-SHA1", "", seed, 20));
  }
}

TEST(TlsPrf, Ssl3KeyBlockAgainstReference) {
  const int lengths[] = {48, 16, 1, 104, 416, 500, 1600};
  std::vector<std::string> requests;
  for (int length : lengths) {
    requests.push_back("ssl3 " + std::to_string(length) + " " + Hex(mactest::Pattern(48, length)) +
                       " " + Hex(mactest::Pattern(64, length + 1)));
  }
  const std::vector<std::string> expected = mactest::Reference(requests);
  REQUIRE_OR_SKIP(!expected.empty(), "python3 with pycryptodome");
  for (size_t i = 0; i < requests.size(); ++i) {
    ByteString out;
    ASSERT_EQ(TlsPrf::Ssl3KeyBlock(Bytes(mactest::Pattern(48, lengths[i])),
                                   Bytes(mactest::Pattern(64, lengths[i] + 1)), lengths[i], out),
              0);
    EXPECT_EQ(Hex(Text(out)), expected[i]) << lengths[i];
  }
}

TEST(TlsPrf, Ssl3KeyBlockRefusesLabelsPastItsBuffer) {
  ByteString out;
  EXPECT_EQ(TlsPrf::Ssl3KeyBlock(Bytes("secret"), Bytes("seed"), 1601, out), kStatusKdfBadRequest);
  EXPECT_EQ(out.Length(), 0);
  EXPECT_EQ(TlsPrf::Ssl3KeyBlock(Bytes("secret"), Bytes("seed"), 1600, out), 0);
  EXPECT_EQ(out.Length(), 1600);
}

TEST(TlsPrf, ZeroLengthGivesNothing) {
  const Prf prfs[] = {TlsPrf::Tls12PrfSha256, TlsPrf::Tls12PrfSha384, TlsPrf::Tls10Prf,
                      TlsPrf::Ssl3KeyBlock};
  for (Prf prf : prfs) {
    ByteString out;
    EXPECT_EQ(prf(Bytes("secret"), Bytes("seed"), 0, out), 0);
    EXPECT_EQ(out.Length(), 0);
  }
}

TEST(TlsPrf, UnknownDigestIsReported) {
  Hmac mac;
  ASSERT_EQ(mac.Init(18, "k", 1), 0);
  ByteString out;
  EXPECT_EQ(TlsPrf::PHash(mac, Bytes("seed"), 10, out), kStatusUnknownDigest);
  EXPECT_EQ(out.Length(), 0);
}

}  // namespace
