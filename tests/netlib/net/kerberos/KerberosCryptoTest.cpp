// Kerberos encryption types against the RFC 3961/3962 vectors and a python
// reference written from RFC 3961, 3962 and 4757.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "TestText.h"
#include "crypto/cipher/engine/SymmetricCipher.h"
#include "net/kerberos/KerberosClient.h"
#include "net/kerberos/KerberosPrimitives.h"

namespace {

using tornell::ByteString;
using tornell::KerberosClient;
using testsupport::Hex;
using testsupport::Unhex;

ByteString Bytes(const std::string& s) {
  ByteString out;
  EXPECT_EQ(out.Set(s.data(), static_cast<int>(s.size())), 0);
  return out;
}
std::string Str(const ByteString& b) { return std::string(b.Data(), static_cast<size_t>(b.Length())); }
std::string HexOf(const ByteString& b) { return Hex(Str(b)); }
std::string HexOrDash(const std::string& s) { return s.empty() ? "-" : Hex(s); }

// des-cbc-md5 leaves its fill in the plaintext: k bytes of k, or eight zeros.
std::string WithDesFill(const std::string& plain) {
  const size_t rest = (24 + plain.size()) % 8;
  return rest == 0 ? plain + std::string(8, '\0') : plain + std::string(8 - rest, static_cast<char>(8 - rest));
}

std::string ReferenceScript() {
  return (testsupport::SourceDir() / "tests/netlib/net/kerberos/krb_reference.py").string();
}
bool HaveReference() { return testsupport::HavePythonModule("Cryptodome"); }

TEST(KerberosPrimitives, EdgeCases) {
  using namespace tornell::net;
  ByteString out;
  const uint8_t ff[] = {0xFF, 0xFF};
  const uint8_t one[] = {0x00, 0x01};
  ASSERT_EQ(KerberosOnesComplementAdd(ff, one, 2, out), 0);
  EXPECT_EQ(HexOf(out), "0001");
  struct Rotation {
    int shift;
    const char* result;
  };
  for (const Rotation r : {Rotation{1, "4000"}, Rotation{15, "0001"}, Rotation{16, "8000"}, Rotation{13, "0004"}}) {
    ASSERT_EQ(KerberosRotateRight(Bytes(Unhex("8000")), 2, r.shift, out), 0);
    EXPECT_EQ(HexOf(out), r.result) << r.shift;
  }
  ASSERT_EQ(KerberosPutU32(1, 0, out), 0);
  EXPECT_EQ(HexOf(out), "01000000");
  ASSERT_EQ(KerberosPutU32(1, 1, out), 0);
  EXPECT_EQ(HexOf(out), "00000001");
  EXPECT_EQ(KerberosLcm(7, 16), 112);
  EXPECT_EQ(KerberosGetBit(0x80, 0), 1);
  EXPECT_EQ(KerberosGetBit(0x80, 7), 0);
  EXPECT_EQ(KerberosSetBit(0x00, 7, 5), 0x01);
  EXPECT_EQ(KerberosSetBit(0xFF, 0, 0), 0x7F);
  EXPECT_EQ(KerberosReadU32BigEndian(Bytes(Unhex("04b0"))), 0x04b00000u);
  EXPECT_EQ(KerberosReadU32BigEndian(Bytes(Unhex("000004b0ff"))), 1200u);
  // RFC 2104 test 1: an empty name takes HMAC-MD5.
  ASSERT_EQ(KerberosHmac("", Bytes(std::string(16, '\x0b')), Bytes("Hi There"), out), 0);
  EXPECT_EQ(HexOf(out), "9294727a3638bb1c13f48ef8158bfc9d");
  ASSERT_EQ(KerberosHmac("HMACSHA1", Bytes(std::string(20, '\x0b')), Bytes("Hi There"), out), 0);
  EXPECT_EQ(HexOf(out), "b617318655057264e28bc0b6fb378c8ef146be00");
  ASSERT_EQ(KerberosDigest("md4", Bytes("abc"), out), 0);
  EXPECT_EQ(HexOf(out), "a448017aaf21d8525fc10ae87aa6729d");
  ASSERT_EQ(KerberosDigest("other", Bytes("abc"), out), 0);
  EXPECT_EQ(HexOf(out), "900150983cd24fb0d6963f7d28e17f72");
  ASSERT_EQ(KerberosRandomSeqNumber(out), 0);
  EXPECT_EQ(out.Length(), 4);
  EXPECT_EQ(out.Bytes()[0] & 0x80, 0);
}

TEST(KerberosPrimitives, NFoldMatchesRfc3961) {
  struct Case {
    int bits;
    const char* input;
    const char* output;
  };
  const Case cases[] = {
      {64, "012345", "be072631276b1955"},
      {56, "password", "78a07b6caf85fa"},
      {64, "Rough Consensus, and Running Code", "bb6ed30870b7f0e0"},
      {168, "password", "59e4a8ca7c0385c3c37b3f6d2000247cb6e6bd5b3e"},
      {192, "MASSACHVSETTS INSTITVTE OF TECHNOLOGY", "db3b0d8f0b061e603282b308a50841229ad798fab9540c1b"},
      {168, "Q", "518a54a215a8452a518a54a215a8452a518a54a215"},
      {168, "ba", "fb25d531ae8974499f52fd92ea9857c4ba24cf297e"},
      {64, "kerberos", "6b65726265726f73"},
      {128, "kerberos", "6b65726265726f737b9b5b2b93132b93"},
      {168, "kerberos", "8372c236344e5f1550cd0747e15d62ca7a5a3bcea4"},
      {256, "kerberos", "6b65726265726f737b9b5b2b93132b935c9bdcdad95c9899c4cae4dee6d6cae4"},
  };
  for (const Case& c : cases) {
    ByteString out;
    ASSERT_EQ(KerberosClient::NFold(Bytes(c.input), c.bits / 8, out), 0);
    EXPECT_EQ(HexOf(out), c.output) << c.bits << "-fold of " << c.input;
  }
}

TEST(KerberosStringToKey, DesMatchesRfc3961) {
  struct Case {
    const char* password;
    const char* salt;
    const char* key;
  };
  const Case cases[] = {
      {"password", "ATHENA.MIT.EDUraeburn", "cbc22fae235298e3"},
      {"potatoe", "WHITEHOUSE.GOVdanny", "df3d32a74fd92a01"},
      {"\xf0\x9d\x84\x9e", "EXAMPLE.COMpianist", "4ffb26bab0cd9413"},
      {"\xc3\x9f", "ATHENA.MIT.EDUJuri\xc5\xa1i\xc4\x87", "62c81a5232b5e69d"},
      {"11119999", "AAAAAAAA", "984054d0f1a73e31"},
      {"NNNN6666", "FFFFAAAA", "c4bf6b25adf7a4f8"},  // the weak-key correction
  };
  KerberosClient client;
  for (const Case& c : cases) {
    ByteString key;
    ASSERT_EQ(client.StringToKey(tornell::kKerberosEtypeDesCbcMd5, Bytes(c.password), Bytes(c.salt), ByteString(), key),
              0);
    EXPECT_EQ(HexOf(key), c.key) << c.password;
  }
}

TEST(KerberosStringToKey, AesMatchesRfc3962AndRefusesBadCounts) {
  struct Case {
    const char* params;
    int etype;
    const char* key;
  };
  const Case cases[] = {
      {"00000001", 17, "42263c6e89f4fc28b8df68ee09799f15"},
      {"00000001", 18, "fe697b52bc0d3ce14432ba036a92e65bbb52280990a2fa27883998d72af30161"},
      {"00000002", 17, "c651bf29e2300ac27fa469d693bdda13"},
      {"00000002", 18, "a2e16d16b36069c135d5e9d2e25f896102685618b95914b467c67622225824ff"},
      {"000004b0", 17, "4c01cd46d632d01e6dbe230a01ed642a"},
      {"000004b0", 18, "55a6ac740ad17b4846941051e1e8b0a7548d93b0ab30a8bc3ff16280382b8c2a"},
  };
  KerberosClient client;
  for (const Case& c : cases) {
    ByteString key;
    ASSERT_EQ(client.StringToKey(c.etype, Bytes("password"), Bytes("ATHENA.MIT.EDUraeburn"), Bytes(Unhex(c.params)),
                                 key),
              0);
    EXPECT_EQ(HexOf(key), c.key) << c.params << " " << c.etype;
  }
  // The default count is 4096: the same key as s2kparams 00 00 10 00.
  ByteString byDefault, byCount, refused;
  ASSERT_EQ(client.StringToKey(17, Bytes("pw"), Bytes("salt"), ByteString(), byDefault), 0);
  ASSERT_EQ(client.StringToKey(17, Bytes("pw"), Bytes("salt"), Bytes(Unhex("00001000")), byCount), 0);
  EXPECT_EQ(HexOf(byDefault), HexOf(byCount));
  for (const char* params : {"00000000", "01000001", "ffffffff"}) {
    EXPECT_EQ(client.StringToKey(18, Bytes("pw"), Bytes("salt"), Bytes(Unhex(params)), refused),
              tornell::kStatusKerberosBadIterations)
        << params;
  }
}

TEST(KerberosCipher, AesCtsMatchesRfc3962) {
  const std::string key = Unhex("636869636b656e207465726979616b69");
  const std::string plain = Unhex(
      "4920776f756c64206c696b652074686520"
      "47656e6572616c2047617527732043"
      "6869636b656e2c20706c656173652c");
  struct Case {
    size_t length;
    const char* cipher;
  };
  const Case cases[] = {
      {17, "c6353568f2bf8cb4d8a580362da7ff7f97"},
      {31, "fc00783e0efdb2c1d445d4c8eff7ed2297687268d6ecccc0c07b25e25ecfe5"},
      {32, "39312523a78662d5be7fcbcc98ebf5a897687268d6ecccc0c07b25e25ecfe584"},
  };
  for (const Case& c : cases) {
    ByteString out, back;
    ASSERT_EQ(KerberosClient::AesTransform(Bytes(plain.substr(0, c.length)), Bytes(key), ByteString(),
                                           tornell::CipherMode::CTS, true, out),
              0);
    EXPECT_EQ(HexOf(out), c.cipher) << c.length;
    ASSERT_EQ(KerberosClient::AesTransform(out, Bytes(key), ByteString(), tornell::CipherMode::CTS, false, back), 0);
    EXPECT_EQ(Str(back), plain.substr(0, c.length));
  }
}

// Keys of each etype for the exchanges with the reference.
struct EtypeKey {
  int etype;
  std::string key;
};

std::vector<EtypeKey> Keys(KerberosClient& client) {
  std::vector<EtypeKey> keys;
  for (const int etype : {3, 17, 18, 23}) {
    ByteString key;
    const std::string password = etype == 23 ? std::string("p\0w\0", 4) : "secret";
    EXPECT_EQ(client.StringToKey(etype, Bytes(password), Bytes("EXAMPLE.COMuser"), ByteString(), key), 0);
    keys.push_back({etype, Str(key)});
  }
  return keys;
}

TEST(KerberosCipher, BothWaysWithTheReference) {
  REQUIRE_OR_SKIP(HaveReference(), "python3 with Cryptodome is not available");
  KerberosClient client;
  const std::vector<EtypeKey> keys = Keys(client);
  // String-to-key of the reference for the three etypes it derives.
  std::vector<std::string> requests;
  for (const EtypeKey& k : keys) {
    if (k.etype == 3) continue;
    const std::string password = k.etype == 23 ? std::string("p\0w\0", 4) : "secret";
    requests.push_back("s2k " + std::to_string(k.etype) + " " + Hex(password) + " " + Hex("EXAMPLE.COMuser") + " -");
  }
  std::vector<std::string> answers = testsupport::RunReferenceScript(ReferenceScript(), requests);
  ASSERT_EQ(answers.size(), 3u);
  EXPECT_EQ(answers[0], Hex(keys[1].key));
  EXPECT_EQ(answers[1], Hex(keys[2].key));
  EXPECT_EQ(answers[2], Hex(keys[3].key));

  struct Sample {
    int etype;
    int usage;
    std::string plain;
    std::string ours;  // our ciphertext
  };
  std::vector<Sample> samples;
  for (const EtypeKey& k : keys) {
    for (const int usage : {1, 3, 7, 11, 24}) {
      for (const size_t length : {0, 1, 5, 8, 16, 17, 31, 40, 100}) {
        Sample s{k.etype, usage, std::string(length, static_cast<char>('a' + usage)), ""};
        ByteString out;
        EXPECT_EQ(client.EncryptData(k.etype, Bytes(s.plain), Bytes(k.key), usage, out), 0);
        s.ours = Str(out);
        samples.push_back(s);
      }
    }
  }
  requests.clear();
  for (const Sample& s : samples) {
    const std::string key = Hex(keys[s.etype == 3 ? 0 : s.etype == 17 ? 1 : s.etype == 18 ? 2 : 3].key);
    const std::string head = std::to_string(s.etype) + " " + key + " " + std::to_string(s.usage) + " ";
    requests.push_back("dec " + head + HexOrDash(s.ours));
    requests.push_back("enc " + head + HexOrDash(s.plain));
  }
  answers = testsupport::RunReferenceScript(ReferenceScript(), requests);
  ASSERT_EQ(answers.size(), requests.size());
  for (size_t i = 0; i < samples.size(); ++i) {
    const Sample& s = samples[i];
    const std::string context = std::to_string(s.etype) + "/" + std::to_string(s.usage) + "/" +
                                std::to_string(s.plain.size());
    const std::string expected = s.etype == 3 ? WithDesFill(s.plain) : s.plain;
    EXPECT_EQ(answers[2 * i], HexOrDash(expected)) << "reference decrypts ours " << context;
    ByteString plain;
    const std::string key = keys[s.etype == 3 ? 0 : s.etype == 17 ? 1 : s.etype == 18 ? 2 : 3].key;
    ASSERT_EQ(client.DecryptData(s.etype, Bytes(Unhex(answers[2 * i + 1])), Bytes(key), s.usage, plain), 0) << context;
    EXPECT_EQ(Str(plain), expected) << "we decrypt the reference's " << context;
  }
}

TEST(KerberosCipher, ChecksumsMatchTheReference) {
  REQUIRE_OR_SKIP(HaveReference(), "python3 with Cryptodome is not available");
  KerberosClient client;
  const std::vector<EtypeKey> keys = Keys(client);
  std::vector<std::string> requests;
  std::vector<std::string> ours;
  const std::string data = "checksummed request body";
  for (const EtypeKey& k : keys) {
    for (const int usage : {0, 6, 17}) {
      ByteString sum;
      int type = 0;
      ASSERT_EQ(client.ComputeChecksum(k.etype, usage, Bytes(k.key), Bytes(data), sum, type), 0);
      const int expectedType = k.etype == 3 ? 1 : k.etype == 23 ? 7 : k.etype == 17 ? 15 : 16;
      EXPECT_EQ(type, expectedType);
      ours.push_back(HexOf(sum));
      requests.push_back("cksum " + std::to_string(k.etype) + " " + Hex(k.key) + " " + std::to_string(usage) + " " +
                         Hex(data));
    }
  }
  EXPECT_EQ(testsupport::RunReferenceScript(ReferenceScript(), requests), ours);
}

TEST(KerberosCipher, EdgeCases) {
  KerberosClient client;
  const std::vector<EtypeKey> keys = Keys(client);
  ByteString out, back;
  // des-cbc-md5 length: 24 + plaintext + fill (k bytes of k, or eight zeros).
  for (const auto& [length, total] : {std::pair{5, 32}, std::pair{8, 40}}) {
    ASSERT_EQ(client.EncryptData(3, Bytes(std::string(static_cast<size_t>(length), 'x')), Bytes(keys[0].key), 0, out), 0);
    EXPECT_EQ(out.Length(), total);
    ASSERT_EQ(client.DecryptData(3, out, Bytes(keys[0].key), 0, back), 0);
    EXPECT_EQ(back.Length(), total - 24);  // the fill stays in the plaintext
  }
  // rc4-hmac: usage 3 is taken as 8.
  ASSERT_EQ(client.EncryptData(23, Bytes("tgs"), Bytes(keys[3].key), 3, out), 0);
  ASSERT_EQ(client.DecryptData(23, out, Bytes(keys[3].key), 8, back), 0);
  EXPECT_EQ(Str(back), "tgs");
  // aes checksum: usage 0 is usage 6.
  ByteString zero, six;
  int type = 0;
  ASSERT_EQ(client.ComputeChecksum(18, 0, Bytes(keys[2].key), Bytes("body"), zero, type), 0);
  ASSERT_EQ(client.ComputeChecksum(18, 6, Bytes(keys[2].key), Bytes("body"), six, type), 0);
  EXPECT_EQ(HexOf(zero), HexOf(six));
  ASSERT_EQ(client.ComputeChecksum(99, 6, Bytes(keys[2].key), Bytes("body"), out, type), 0);
  EXPECT_EQ(type, 0);
  EXPECT_EQ(out.Length(), 0);
  // Random keys and their keyvalue element.
  for (const auto& [etype, length, head] :
       {std::tuple{18, 32, "a1220420"}, std::tuple{17, 16, "a1120410"}, std::tuple{3, 8, "a10a0408"}}) {
    ByteString key, keyvalue;
    ASSERT_EQ(client.MakeRandomKey(etype, key, keyvalue), 0);
    EXPECT_EQ(key.Length(), length);
    EXPECT_EQ(HexOf(keyvalue), head + HexOf(key));
  }
  // A flipped bit anywhere fails the check, for every etype.
  for (const EtypeKey& k : keys) {
    ASSERT_EQ(client.EncryptData(k.etype, Bytes("authenticator body"), Bytes(k.key), 11, out), 0);
    for (int bit = 0; bit < out.Length() * 8; bit += 7) {
      std::string flipped = Str(out);
      flipped[static_cast<size_t>(bit / 8)] = static_cast<char>(flipped[static_cast<size_t>(bit / 8)] ^ (1 << (bit % 8)));
      EXPECT_EQ(client.DecryptData(k.etype, Bytes(flipped), Bytes(k.key), 11, back), tornell::kStatusKerberosIntegrity)
          << k.etype << " bit " << bit;
      EXPECT_STREQ(client.GetLastErrorText(), "Integrity check error.");
    }
  }
  // Short or unaligned ciphertexts are refused, not read past their end.
  struct Short {
    int etype;
    size_t length;
    int code;
  };
  for (const Short s : {Short{3, 16, 953}, Short{3, 31, 953}, Short{3, 0, 953}, Short{23, 16, 432},
                        Short{23, 23, 432}, Short{17, 11, 432}}) {
    const std::string key = s.etype == 3 ? keys[0].key : s.etype == 23 ? keys[3].key : keys[1].key;
    EXPECT_EQ(client.DecryptData(s.etype, Bytes(std::string(s.length, 'z')), Bytes(key), 1, back), s.code)
        << s.etype << "/" << s.length;
  }
  EXPECT_NE(client.DecryptData(17, Bytes(std::string(20, 'z')), Bytes(keys[1].key), 1, back), 0);
  // Unsupported etypes.
  for (const int etype : {0, 1, 16, 24}) {
    EXPECT_EQ(client.EncryptData(etype, Bytes("x"), Bytes(keys[1].key), 1, out),
              tornell::kStatusKerberosUnsupportedEtype);
    EXPECT_STREQ(client.GetLastErrorText(), "Unsupported encryption type.");
    EXPECT_EQ(client.DecryptData(etype, Bytes("x"), Bytes(keys[1].key), 1, out),
              tornell::kStatusKerberosUnsupportedEtype);
    EXPECT_EQ(client.StringToKey(etype, Bytes("x"), Bytes("y"), ByteString(), out),
              tornell::kStatusKerberosUnsupportedEtype);
    EXPECT_EQ(client.MakeRandomKey(etype, out, back), tornell::kStatusKerberosUnsupportedEtype);
  }
}

}  // namespace
