// The password-to-key derivation: the one-iteration form against the openssl
// command's `enc -P`, the other orders, counts and MD2 against the reference
// script, and the PBKDF2 form against hashlib through the same script.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../mac/MacTestUtil.h"
#include "crypto/digest/kdf/PasswordKeyDeriver.h"

namespace {

using namespace tornell;
using mactest::Hex;

struct KeyAndIv {
  int status;
  std::string key;
  std::string iv;
};

KeyAndIv DeriveKeyAndIv(const char* hash, const char* password, const std::string& salt,
                        int iterations, int keyLength, int ivLength, int passwordFirst) {
  PasswordKeyDeriver deriver;
  EXPECT_EQ(deriver.SetHashName(hash), 0);
  EXPECT_EQ(deriver.SetPassword(password), 0);
  EXPECT_EQ(deriver.SetSalt(salt.data(), static_cast<int>(salt.size())), 0);
  char* key = nullptr;
  char* iv = nullptr;
  KeyAndIv r;
  r.status = deriver.DeriveKeyAndIv(iterations, key, keyLength, iv, ivLength, passwordFirst);
  EXPECT_EQ(deriver.GetLastError(), r.status);
  if (key != nullptr) r.key = Hex(key, keyLength);
  if (iv != nullptr) r.iv = Hex(iv, ivLength);
  return r;
}

// "key=..." and "iv =..." of `openssl enc -P`, lower-cased and joined by a space.
std::string OpensslEnc(const char* md, const char* cipher, const std::string& salt,
                       const char* password) {
  std::string key;
  std::string iv;
  for (const std::string& line :
       mactest::Lines(mactest::Run(std::string("openssl enc -P ") + cipher + " -md " + md +
                                   " -S " + Hex(salt) + " -pass pass:" + password))) {
    std::string value = line.substr(line.find('=') + 1);
    for (char& ch : value) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    if (line.rfind("key=", 0) == 0) key = value;
    if (line.rfind("iv", 0) == 0) iv = value;
  }
  return key + " " + iv;
}

TEST(PasswordKeyDeriver, OneIterationMatchesOpensslEnc) {
  REQUIRE_OR_SKIP(OpensslEnc("md5", "-aes-128-cbc", "12345678", "x").size() > 2,
                  "the openssl command");
  const struct {
    const char* md;
    const char* cipher;
    int keyLength;
    int ivLength;
  } cases[] = {{"md5", "-aes-192-cbc", 24, 16}, {"md5", "-des-ede3-cbc", 24, 8},
               {"sha1", "-aes-256-cbc", 32, 16}, {"sha1", "-aes-128-cbc", 16, 16},
               {"md5", "-aes-256-cbc", 32, 16}};
  int n = 0;
  for (const auto& c : cases) {
    const std::string salt = mactest::Pattern(8, ++n);
    const KeyAndIv ours = DeriveKeyAndIv(c.md, "correct horse", salt, 1, c.keyLength, c.ivLength, 0);
    ASSERT_EQ(ours.status, 0);
    EXPECT_EQ(ours.key + " " + ours.iv, OpensslEnc(c.md, c.cipher, salt, "'correct horse'"))
        << c.md << " " << c.cipher;
  }
}

TEST(PasswordKeyDeriver, OtherOrdersCountsAndDigestsAgainstReference) {
  const struct {
    const char* hash;  // as the deriver takes it
    const char* reference;
    int iterations;
    int passwordFirst;
    int length;
  } cases[] = {{"MD5", "md5", 1, 1, 40},   {"md5", "md5", 3, 0, 40},    {"SHA1", "sha1", 5, 1, 56},
               {"Md2", "md2", 1, 0, 40},   {"MD2", "md2", 2, 1, 33},    {"sha1", "sha1", 0, 0, 20}};
  std::vector<std::string> requests;
  for (const auto& c : cases) {
    requests.push_back(std::string("btk ") + c.reference + " " +
                       std::to_string(c.iterations < 1 ? 1 : c.iterations) + " " +
                       std::to_string(c.passwordFirst) + " " + std::to_string(c.length) + " " +
                       Hex(std::string("pass phrase")) + " " + Hex(mactest::Pattern(8, c.length)));
  }
  const std::vector<std::string> expected = mactest::Reference(requests);
  REQUIRE_OR_SKIP(!expected.empty(), "python3 with pycryptodome");
  for (size_t i = 0; i < requests.size(); ++i) {
    const auto& c = cases[i];
    const KeyAndIv ours = DeriveKeyAndIv(c.hash, "pass phrase", mactest::Pattern(8, c.length),
                                         c.iterations, c.length - 16, 16, c.passwordFirst);
    ASSERT_EQ(ours.status, 0) << requests[i];
    EXPECT_EQ(ours.key + ours.iv, expected[i]) << requests[i];
  }
}

TEST(PasswordKeyDeriver, PasswordFirstChangesOnlyTheLaterBlocks) {
  const std::string salt = "saltsalt";
  const KeyAndIv plain = DeriveKeyAndIv("MD5", "pw", salt, 1, 24, 16, 0);
  const KeyAndIv first = DeriveKeyAndIv("MD5", "pw", salt, 1, 24, 16, 1);
  EXPECT_EQ(plain.key.substr(0, 32), first.key.substr(0, 32));
  EXPECT_NE(plain.key.substr(32), first.key.substr(32));
}

TEST(PasswordKeyDeriver, HmacNamesSelectPbkdf2) {
  const struct {
    const char* name;
    const char* reference;
  } cases[] = {{"hmacsha256", "sha256"},     {"HMACSHA1", "sha1"},       {"HmacSHA384", "sha384"},
               {"hmac-sha224", "sha224"},    {"PBKDF2-hmac-sha512", "sha512"},
               {"hmacMD5", "md5"},           {"hmacripemd160", "ripemd160"}};
  std::vector<std::string> requests;
  for (const auto& c : cases) {
    requests.push_back(std::string("pbkdf2 ") + c.reference + " 7 48 " + Hex(std::string("pw")) +
                       " " + Hex(std::string("NaCl")));
  }
  const std::vector<std::string> expected = mactest::Reference(requests);
  REQUIRE_OR_SKIP(!expected.empty(), "python3 with pycryptodome");
  for (size_t i = 0; i < requests.size(); ++i) {
    const KeyAndIv ours = DeriveKeyAndIv(cases[i].name, "pw", "NaCl", 7, 32, 16, 0);
    ASSERT_EQ(ours.status, 0) << cases[i].name;
    EXPECT_EQ(ours.key + ours.iv, expected[i]) << cases[i].name;
  }
}

TEST(PasswordKeyDeriver, RefusesWhatItCannotDerive) {
  // The digest word before "hmac", written with a hyphen, or missing.
  for (const char* name : {"sha256hmac", "hmacsha-256", "hmac", "SHA256", "sha-1", ""}) {
    EXPECT_EQ(DeriveKeyAndIv(name, "pw", "salt", 1, 16, 16, 0).status, kStatusUnknownKdfHash)
        << name;
  }
  // A bytes-to-key name is only looked at when a byte is asked for.
  EXPECT_EQ(DeriveKeyAndIv("SHA256", "pw", "salt", 1, 0, 0, 0).status, 0);
  // PBKDF2 limits: no iteration, more than 29 blocks.
  EXPECT_EQ(DeriveKeyAndIv("hmacsha1", "pw", "salt", 0, 16, 16, 0).status, kStatusKdfBadRequest);
  EXPECT_EQ(DeriveKeyAndIv("hmacsha1", "pw", "salt", 1, 570, 11, 0).status, kStatusNoMemory);
  EXPECT_EQ(DeriveKeyAndIv("hmacsha1", "pw", "salt", 1, 570, 10, 0).status, 0);
}

TEST(PasswordKeyDeriver, DeriveBytesStopsAtTheZeroByteOfThePassword) {
  PasswordKeyDeriver deriver;
  ByteString cut;
  ByteString whole;
  ASSERT_EQ(deriver.DeriveBytes(1, "MD5", "pw\0ignored", "salt", 4, 20, 0, cut), 0);
  ASSERT_EQ(deriver.DeriveBytes(1, "MD5", "pw", "salt", 4, 20, 0, whole), 0);
  EXPECT_EQ(cut.Length(), 20);
  EXPECT_TRUE(cut.Equals(whole));
}

}  // namespace
