// The PKCS#12 key and IV derivation against the openssl command's PKCS12KDF
// (diversifiers 1 and 2) over digests with 64- and 128-byte blocks, and its
// treatment of passwords, salts and lengths.
#include <gtest/gtest.h>

#include <string>

#include "../mac/MacTestUtil.h"
#include "crypto/digest/kdf/Pkcs12KeyDerivation.h"

namespace {

using namespace tornell;
using mactest::Hex;

std::string Bmp(const std::string& password) {
  std::string out;
  for (char c : password) {
    out += '\0';
    out += c;
  }
  return out + std::string(2, '\0');
}

// The openssl command takes the password already in its BMPString form.
std::string OpensslKdf(const char* digest, const std::string& password, const std::string& salt,
                       int iterations, int id, int length) {
  return Hex(mactest::Run("openssl kdf -binary -keylen " + std::to_string(length) +
                          " -kdfopt digest:" + digest + " -kdfopt hexpass:" + Hex(Bmp(password)) +
                          " -kdfopt hexsalt:" + Hex(salt) + " -kdfopt iter:" +
                          std::to_string(iterations) + " -kdfopt id:" + std::to_string(id) +
                          " PKCS12KDF"));
}

std::string Derive(const char* hash, const std::string& password, const std::string& salt,
                   int iterations, int id, int length) {
  Pkcs12KeyDerivation kdf;
  ByteString saltBytes;
  saltBytes.Set(salt.data(), static_cast<int>(salt.size()));
  EXPECT_EQ(kdf.SetHashName(hash), 0);
  EXPECT_EQ(kdf.SetPassword(password.c_str()), 0);
  EXPECT_EQ(kdf.SetSalt(saltBytes), 0);
  ByteString out;
  const int status = id == 1 ? kdf.DeriveKey(iterations, length, out)
                             : kdf.DeriveIv(iterations, length, out);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(kdf.GetLastError(), status);
  EXPECT_EQ(out.Length(), length);
  return Hex(out.Data(), out.Length());
}

TEST(Pkcs12KeyDerivation, AgainstOpenssl) {
  REQUIRE_OR_SKIP(!OpensslKdf("SHA1", "pw", "salt", 1, 1, 8).empty(),
                  "the openssl command with PKCS12KDF");
  const struct {
    const char* hash;
    const char* opensslDigest;
    const char* password;
    int saltLength;
    int iterations;
    int length;
  } cases[] = {
      // The triple-DES scheme: a 24-byte key (two blocks, the second cut) and
      // an 8-byte IV with 2048 iterations.
      {"SHA1", "SHA1", "smeg", 8, 2048, 24},
      {"SHA1", "SHA1", "", 8, 1, 20},            // the password is 00 00 alone
      {"SHA1", "SHA1", "caf\xe9", 0, 3, 40},     // byte E9 is the character U+00E9; no salt
      {"sha-256", "SHA256", "a longer password that spans more than one block of I", 20, 5, 70},
      {"SHA384", "SHA384", "queeg", 8, 2, 100},  // 128-byte blocks
      {"SHA-512", "SHA512", "kryten", 65, 2, 129},
      {"SHA224", "SHA224", "lister", 8, 2, 30},
      {"MD5", "MD5", "rimmer", 8, 10, 33},
      {"SHA512/256", "SHA512-256", "holly", 9, 2, 64},
      {"RIPEMD160", "RIPEMD160", "cat", 8, 2, 24},
  };
  int n = 0;
  for (const auto& c : cases) {
    const std::string salt = mactest::Pattern(c.saltLength, ++n);
    for (int id : {1, 2}) {
      EXPECT_EQ(Derive(c.hash, c.password, salt, c.iterations, id, c.length),
                OpensslKdf(c.opensslDigest, c.password, salt, c.iterations, id, c.length))
          << c.hash << " id " << id;
    }
  }
}

TEST(Pkcs12KeyDerivation, PasswordToBmp) {
  Pkcs12KeyDerivation kdf;
  ByteString out;
  ASSERT_EQ(kdf.PasswordToBmp(out), 0);
  EXPECT_EQ(Hex(out.Data(), out.Length()), "0000");
  ASSERT_EQ(kdf.SetPassword("a\xe9"), 0);
  ASSERT_EQ(kdf.PasswordToBmp(out), 0);
  EXPECT_EQ(Hex(out.Data(), out.Length()), "006100e90000");
}

TEST(Pkcs12KeyDerivation, LengthsAndUnknownDigests) {
  Pkcs12KeyDerivation kdf;
  ByteString out;
  ASSERT_EQ(kdf.SetHashName("SHA1"), 0);
  ASSERT_EQ(kdf.DeriveKey(1, 0, out), 0);
  EXPECT_EQ(out.Length(), 0);
  // A longer output starts with the shorter one.
  ByteString shortKey;
  ByteString longKey;
  ASSERT_EQ(kdf.DeriveKey(4, 20, shortKey), 0);
  ASSERT_EQ(kdf.DeriveKey(4, 24, longKey), 0);
  EXPECT_EQ(Hex(longKey.Data(), 20), Hex(shortKey.Data(), 20));
  // 0 and 1 iterations both hash once.
  ASSERT_EQ(kdf.DeriveIv(0, 8, shortKey), 0);
  ASSERT_EQ(kdf.DeriveIv(1, 8, longKey), 0);
  EXPECT_TRUE(shortKey.Equals(longKey));

  out.Set("kept");
  ASSERT_EQ(kdf.SetHashName("SHA3-256"), 0);
  EXPECT_EQ(kdf.DeriveKey(1, 16, out), kStatusUnknownDigest);
  EXPECT_EQ(kdf.GetLastError(), kStatusUnknownDigest);
  EXPECT_TRUE(out.Equals("kept", 4));
}

}  // namespace
