// PBKDF2 against RFC 6070, the Wycheproof files and, for every digest number,
// the reference script; then the limits of one derivation.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../mac/MacTestUtil.h"
#include "crypto/digest/kdf/Pbkdf2.h"

namespace {

using namespace tornell;
using mactest::Hex;

int Derive(int id, const std::string& password, const std::string& salt, int iterations,
           int length, std::string& out) {
  Pbkdf2 kdf;
  out.assign(static_cast<size_t>(length > 0 ? length : 0), '\0');
  return kdf.Derive(id, password.data(), static_cast<int>(password.size()), salt.data(),
                    static_cast<int>(salt.size()), iterations, length * 8, out.data());
}

std::string DeriveHex(int id, const std::string& password, const std::string& salt,
                      int iterations, int length) {
  std::string out;
  EXPECT_EQ(Derive(id, password, salt, iterations, length, out), 0);
  return Hex(out);
}

TEST(Pbkdf2Vectors, Rfc6070) {
  const struct {
    const char* password;
    int passwordLength;
    const char* salt;
    int saltLength;
    int iterations;
    const char* expected;
  } cases[] = {
      {"password", 8, "salt", 4, 1, "0c60c80f961f0e71f3a9b524af6012062fe037a6"},
      {"password", 8, "salt", 4, 2, "ea6c014dc72d6f8ccd1ed92ace1d41f0d8de8957"},
      {"password", 8, "salt", 4, 4096, "4b007901b765489abead49d926f721d065a429c1"},
      {"passwordPASSWORDpassword", 24, "saltSALTsaltSALTsaltSALTsaltSALTsalt", 36, 4096,
       "3d2eec4fe41c849b80c8d83662c0e44a8b291a964cf2f07038"},
      {"pass\0word", 9, "sa\0lt", 5, 4096, "56fa6aa75548099dcc37d7f03425e0c3"},
  };
  // 16777216 iterations (the fourth case of the RFC) are left out: minutes under ASan.
  for (const auto& c : cases) {
    const std::string expected = c.expected;
    EXPECT_EQ(DeriveHex(HashAlgorithm::kSha1, std::string(c.password, c.passwordLength),
                        std::string(c.salt, c.saltLength), c.iterations,
                        static_cast<int>(expected.size() / 2)),
              expected);
  }
}

TEST(Pbkdf2Vectors, Wycheproof) {
  const struct {
    const char* file;
    int id;
  } files[] = {{"pbkdf2_hmacsha1_test.json", HashAlgorithm::kSha1},
               {"pbkdf2_hmacsha256_test.json", HashAlgorithm::kSha256}};
  // Counts above this take too long under the sanitizers (one case of each
  // file: 16,777,216 and 80,000 iterations); the others cover 1 to 4096.
  constexpr int kMaxIterations = 10000;
  for (const auto& f : files) {
    auto cases = testsupport::WycheproofRows(
        f.file, "t['tcId'], t['result'], t['iterationCount'], t['dkLen'], t['password'], "
                "t['salt'], t['dk']");
    REQUIRE_OR_SKIP(!cases.empty(), std::string("Wycheproof vectors and python3 for ") + f.file);
    int skipped = 0;
    for (const auto& c : cases) {
      ASSERT_EQ(c.size(), 7u);
      const int iterations = std::stoi(c[2]);
      if (iterations > kMaxIterations) {
        ++skipped;
        continue;
      }
      std::string out;
      const int length = std::stoi(c[3]);
      const int status = Derive(f.id, mactest::FromHex(c[4]), mactest::FromHex(c[5]), iterations,
                                length, out);
      if (length > Pbkdf2::kMaxBlocks * HashContext::DigestLengthOf(f.id)) {
        EXPECT_EQ(status, kStatusNoMemory) << f.file << " case " << c[0];
        continue;
      }
      ASSERT_EQ(status, 0) << f.file << " case " << c[0];
      EXPECT_EQ(Hex(out) == c[6], c[1] == "valid") << f.file << " case " << c[0];
    }
    EXPECT_LE(skipped, 1) << f.file;
  }
}

TEST(Pbkdf2Vectors, EveryDigestAgainstReference) {
  std::vector<std::string> requests;
  std::vector<int> lengths;
  for (int id = 0; id < HashAlgorithm::kCount; ++id) {
    // Two and a half blocks; a password longer than the digest's block.
    const int length = HashContext::DigestLengthOf(id) * 5 / 2;
    lengths.push_back(length);
    requests.push_back(std::string("pbkdf2 ") + mactest::kReferenceNames[id] + " 3 " +
                       std::to_string(length) + " " +
                       Hex(mactest::Pattern(Hmac::BlockSizeOf(id) + 1, id)) + " " +
                       Hex(mactest::Pattern(id + 1, id + 20)));
  }
  const std::vector<std::string> expected = mactest::Reference(requests);
  REQUIRE_OR_SKIP(!expected.empty(), "python3 with pycryptodome and the openssl command");
  mactest::OnBothPaths([&] {
    for (int id = 0; id < HashAlgorithm::kCount; ++id) {
      EXPECT_EQ(DeriveHex(id, mactest::Pattern(Hmac::BlockSizeOf(id) + 1, id),
                          mactest::Pattern(id + 1, id + 20), 3, lengths[id]),
                expected[id])
          << requests[id];
    }
  });
}

TEST(Pbkdf2, LimitsOfOneDerivation) {
  std::string out;
  // 29 blocks of SHA-1 are the most one call derives.
  EXPECT_EQ(Derive(HashAlgorithm::kSha1, "pw", "salt", 1, 580, out), 0);
  const std::string full = out;
  EXPECT_EQ(Derive(HashAlgorithm::kSha1, "pw", "salt", 1, 581, out), kStatusNoMemory);
  // A length inside a block is the front of the longer output.
  EXPECT_EQ(Derive(HashAlgorithm::kSha1, "pw", "salt", 1, 45, out), 0);
  EXPECT_EQ(out, full.substr(0, 45));
  EXPECT_EQ(Derive(HashAlgorithm::kSha1, "pw", "salt", 1, 0, out), 0);
  EXPECT_EQ(Derive(18, "pw", "salt", 1, 16, out), kStatusNoMemory);
  // No iteration would give an all-zero key that owes nothing to the password.
  EXPECT_EQ(Derive(HashAlgorithm::kSha1, "pw", "salt", 0, 20, out), kStatusKdfBadRequest);
  EXPECT_EQ(Derive(HashAlgorithm::kSha1, "pw", "salt", -5, 20, out), kStatusKdfBadRequest);
}

TEST(Pbkdf2, BlocksAreNumberedFromOne) {
  Pbkdf2 kdf;
  std::string whole;
  ASSERT_EQ(Derive(HashAlgorithm::kSha256, "password", "salt", 2, 64, whole), 0);
  // Derive selects the digest the block calls then use.
  std::string unused(32, '\0');
  ASSERT_EQ(kdf.Derive(HashAlgorithm::kSha256, "password", 8, "salt", 4, 2, 256, unused.data()), 0);
  char block[32];
  ASSERT_EQ(kdf.DeriveBlock("password", 8, "salt", 4, 2, 1, block), 0);
  EXPECT_EQ(Hex(block, 32), Hex(whole.substr(32)));
  EXPECT_EQ(Pbkdf2::CeilDiv(40, 20), 2);
  EXPECT_EQ(Pbkdf2::CeilDiv(41, 20), 3);
}

}  // namespace
