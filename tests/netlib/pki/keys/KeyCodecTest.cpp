// The key codec against openssl: kit key files read field for field, the
// writers byte for byte, encrypted output opened by openssl, and the
// password cipher against python3 `cryptography`.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "../kit/PkiKit.h"
#include "TestSupport.h"
#include "TestText.h"
#include "pki/keys/KeyCodec.h"
#include "pki/x509/X509Codec.h"

using tornell::ByteString;
using tornell::DsaKey;
using tornell::EcKey;
using tornell::RsaKey;
using tornell::SecretBytes;
using namespace tornell::pki;

namespace {

constexpr const char* kKit = "openssl, faketime or flock missing, or make_kit.sh failed";
constexpr const char* kPassword = "kit secret";

using pkikit::HexOf;
using pkikit::Text;

std::string Magnitude(std::string hex) {
  while (hex.size() > 2 && hex.compare(0, 2, "00") == 0) hex.erase(0, 2);
  return hex;
}

SecretBytes Secret(const char* text) {
  SecretBytes s;
  EXPECT_EQ(s.Set(text), 0);
  return s;
}

// The hex blocks of `openssl pkey -text -noout`, by field name.
std::map<std::string, std::string> PkeyFields(const std::string& file, const char* pass = nullptr) {
  bool ok = false;
  std::string command = "openssl pkey -text -noout -in " + file;
  if (pass != nullptr) command += std::string(" -passin 'pass:") + pass + "'";
  return pkikit::TextFields(pkikit::Run(command, ok));
}

int ReadFile(const std::string& name, const char* password, KeyHolder& holder, TextArmor& blob) {
  const std::string bytes = pkikit::Bytes(name);
  ByteString error;
  return KeyCodec::ReadPrivateKeyFile(bytes.data(), static_cast<int>(bytes.size()), Secret(password), blob, holder,
                                      error);
}

TEST(KeyCodec, ReadsKitKeyFiles) {
  REQUIRE_OR_SKIP(!pkikit::Ensure().empty(), kKit);
  const struct {
    const char* file;
    const char* reference;
    int type;
  } cases[] = {{"rsa-trad.pem", "rsa-leaf.key", kKeyTypeRsa},     {"rsa-des3.pem", "rsa-leaf.key", kKeyTypeRsa},
               {"rsa-aes128.pem", "rsa-leaf.key", kKeyTypeRsa},   {"rsa-trad.bin", "rsa-leaf.key", kKeyTypeRsa},
               {"dsa-trad.pem", "dsa-leaf.key", kKeyTypeDsa},     {"dsa-des3.pem", "dsa-leaf.key", kKeyTypeDsa},
               {"p256-sec1.pem", "p256-leaf.key", kKeyTypeEc},    {"p384-sec1.pem", "p384-leaf.key", kKeyTypeEc},
               {"p521-sec1.pem", "p521-leaf.key", kKeyTypeEc},    {"p384-param.pem", "p384-param.pem", kKeyTypeEc},
               {"p256-nopub.pem", "p256-nopub.pem", kKeyTypeEc},  {"rsa-p8.pem", "rsa-leaf.key", kKeyTypeRsa},
               {"dsa-p8.pem", "dsa-leaf.key", kKeyTypeDsa},       {"p256-p8.pem", "p256-leaf.key", kKeyTypeEc},
               {"ed25519-p8.pem", "ed25519-leaf.key", kKeyTypeEdDsa}, {"ed448.key", "ed448.key", kKeyTypeEdDsa},
               {"rsa-p8des3.pem", "rsa-leaf.key", kKeyTypeRsa},   {"p256-p8des3.pem", "p256-leaf.key", kKeyTypeEc}};
  for (const auto& c : cases) {
    KeyHolder holder;
    TextArmor blob;
    ASSERT_EQ(ReadFile(c.file, kPassword, holder, blob), 0) << c.file;
    ASSERT_EQ(holder.type, c.type) << c.file;
    auto f = PkeyFields(c.reference);
    if (c.type == kKeyTypeRsa) {
      const RsaKey& k = holder.rsaKey;
      EXPECT_EQ(Magnitude(HexOf(k.n)), Magnitude(f["modulus"])) << c.file;
      EXPECT_EQ(Magnitude(HexOf(k.d)), Magnitude(f["privateExponent"])) << c.file;
      EXPECT_EQ(Magnitude(HexOf(k.p)), Magnitude(f["prime1"])) << c.file;
      EXPECT_EQ(Magnitude(HexOf(k.qInv)), Magnitude(f["coefficient"])) << c.file;
      EXPECT_EQ(Text(blob).substr(8, 4), "RSA2") << c.file;
    } else if (c.type == kKeyTypeDsa) {
      const DsaKey& k = holder.dsaKey;
      EXPECT_EQ(Magnitude(HexOf(k.x)), Magnitude(f["priv"])) << c.file;
      EXPECT_EQ(Magnitude(HexOf(k.y)), Magnitude(f["pub"])) << c.file;
      EXPECT_EQ(Magnitude(HexOf(k.p)), Magnitude(f["P"])) << c.file;
      EXPECT_EQ(Magnitude(HexOf(k.g)), Magnitude(f["G"])) << c.file;
      EXPECT_EQ(Text(blob).substr(8, 4), "DSS4") << c.file;
    } else if (c.type == kKeyTypeEc) {
      const EcKey& k = holder.ecKey;
      EXPECT_EQ(Magnitude(HexOf(k.D)), Magnitude(f["priv"])) << c.file;
      if (std::string(c.file) == "p256-nopub.pem") {
        EXPECT_TRUE(k.X.IsEmpty());
      } else {
        EXPECT_EQ("04" + HexOf(k.X) + HexOf(k.Y), f["pub"]) << c.file;
      }
      EXPECT_EQ(Text(blob).substr(0, 2), "EC") << c.file;
    } else {
      const EcKey& k = holder.edDsaKey;
      EXPECT_EQ(HexOf(k.edPrivate), f["priv"]) << c.file;
      EXPECT_EQ(HexOf(k.edPublic), f["pub"]) << c.file;
      EXPECT_EQ(Text(blob).substr(0, 2), "Ed") << c.file;
    }
  }
}

TEST(KeyCodec, RefusedFilesAndWrongPasswords) {
  REQUIRE_OR_SKIP(!pkikit::Ensure().empty(), kKit);
  for (const char* file : {"rsa-aes256.pem", "rsa-p8sha256.pem", "rsa-p8aes.pem", "rsa-p8v1.pem", "rsa-leaf.crt"}) {
    KeyHolder holder;
    TextArmor blob;
    EXPECT_EQ(ReadFile(file, kPassword, holder, blob), kKeyFormatNotFound) << file;
  }
  for (const char* file : {"rsa-des3.pem", "rsa-aes128.pem", "dsa-des3.pem", "rsa-p8des3.pem", "p256-p8des3.pem"}) {
    for (int i = 0; i < 20; ++i) {
      KeyHolder holder;
      TextArmor blob;
      const std::string password = "not it " + std::to_string(i);
      EXPECT_NE(ReadFile(file, password.c_str(), holder, blob), 0) << file << " " << password;
    }
  }
}

TEST(KeyCodec, WritersMatchOpenssl) {
  REQUIRE_OR_SKIP(!pkikit::Ensure().empty(), kKit);
  KeyHolder rsa, dsa, ec, ed;
  TextArmor blob;
  ASSERT_EQ(ReadFile("rsa-trad.pem", "", rsa, blob), 0);
  ASSERT_EQ(ReadFile("dsa-trad.pem", "", dsa, blob), 0);
  ASSERT_EQ(ReadFile("p256-sec1.pem", "", ec, blob), 0);
  ASSERT_EQ(ReadFile("ed25519-p8.pem", "", ed, blob), 0);
  bool ok = false;
  auto der = [&ok](const std::string& command) {
    return testsupport::Unhex(pkikit::Run("(" + command + ") | od -An -tx1 | tr -d ' \\n'", ok));
  };
  ByteString out;
  ASSERT_EQ(KeyCodec::WriteRsaPkcs1(rsa.rsaKey, 0, out), 0);
  EXPECT_EQ(Text(out), pkikit::Bytes("rsa-trad.bin"));
  ASSERT_EQ(KeyCodec::WriteRsaPkcs8(rsa.rsaKey, 0, out), 0);
  EXPECT_EQ(Text(out), pkikit::Bytes("rsa.p8"));
  DsaKey noY;
  ASSERT_EQ(noY.CopyFrom(dsa.dsaKey), 0);
  noY.y.Clear();
  ASSERT_EQ(KeyCodec::WriteDsaTraditional(noY, 0, out), 0);  // y computed again from x
  EXPECT_EQ(Text(out), pkikit::Bytes("dsa-trad.bin"));
  ASSERT_EQ(KeyCodec::WriteDsaPkcs8(dsa.dsaKey, 0, out), 0);
  EXPECT_EQ(Text(out), pkikit::Bytes("dsa.p8"));
  ASSERT_EQ(KeyCodec::WriteEcKey(ec.ecKey, 0, out, 0), 0);
  EXPECT_EQ(Text(out), pkikit::Bytes("p256.p8"));
  ASSERT_EQ(KeyCodec::WriteEcKey(ec.ecKey, 0, out, 1), 0);
  EXPECT_EQ(Text(out), der("openssl pkey -in p256-leaf.key -pubout -outform DER"));
  ASSERT_EQ(KeyCodec::WriteEdwardsKey(ed.edDsaKey, 0, out, 0), 0);
  EXPECT_EQ(Text(out), pkikit::Bytes("ed25519.p8"));
  ASSERT_EQ(KeyCodec::WriteEdwardsKey(ed.edDsaKey, 0, out, 1), 0);
  EXPECT_EQ(Text(out), der("openssl pkey -in ed25519-leaf.key -pubout -outform DER"));
  EXPECT_EQ(KeyCodec::WriteEdwardsKey(ec.ecKey, 0, out, 0), kKeyOtherType);
  // PEM forms pass openssl's own checks.
  const struct {
    int which;
    const char* check;
  } checks[] = {{0, "openssl rsa -check -noout"}, {1, "openssl pkey -check -noout"}, {2, "openssl pkey -check -noout"},
                {3, "openssl pkey -check -noout"}};
  for (const auto& c : checks) {
    ByteString pem;
    switch (c.which) {
      case 0: ASSERT_EQ(KeyCodec::WriteRsaPkcs8(rsa.rsaKey, 1, pem), 0); break;
      case 1: ASSERT_EQ(KeyCodec::WriteDsaPkcs8(dsa.dsaKey, 1, pem), 0); break;
      case 2: ASSERT_EQ(KeyCodec::WriteRsaPkcs1(rsa.rsaKey, 1, pem), 0); break;
      default: ASSERT_EQ(KeyCodec::WriteEdwardsKey(ed.edDsaKey, 1, pem, 0), 0); break;
    }
    testsupport::RunCommand(std::string("(") + c.check + " >/dev/null 2>&1)", Text(pem), ok);
    EXPECT_TRUE(ok) << c.check << " " << c.which;
  }
}

TEST(KeyCodec, EncryptedOutputOpensInOpenssl) {
  REQUIRE_OR_SKIP(!pkikit::Ensure().empty(), kKit);
  const std::string p8 = pkikit::Bytes("rsa.p8"), pkcs1 = pkikit::Bytes("rsa-trad.bin");
  const std::string dsa = pkikit::Bytes("dsa-trad.bin");
  bool ok = false;
  ByteString pem;
  ASSERT_EQ(KeyCodec::WriteEncryptedPkcs8(p8.data(), static_cast<int>(p8.size()), Secret(kPassword), pem), 0);
  std::string got = testsupport::RunCommand(
      "(openssl pkcs8 -topk8 -nocrypt -passin 'pass:kit secret' -outform DER 2>/dev/null | od -An -tx1 | tr -d ' \\n')",
      Text(pem), ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(got, testsupport::Hex(p8));
  ASSERT_EQ(KeyCodec::WriteEncryptedPem(pkcs1.data(), static_cast<int>(pkcs1.size()), "RSA PRIVATE KEY",
                                        Secret(kPassword), pem),
            0);
  EXPECT_NE(Text(pem).find("\r\nDEK-Info: DES-EDE3-CBC,"), std::string::npos);
  got = testsupport::RunCommand(
      "(openssl rsa -traditional -passin 'pass:kit secret' -outform DER 2>/dev/null | od -An -tx1 | tr -d ' \\n')",
      Text(pem), ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(got, testsupport::Hex(pkcs1));
  ASSERT_EQ(KeyCodec::WriteEncryptedPem(dsa.data(), static_cast<int>(dsa.size()), "DSA PRIVATE KEY",
                                        Secret(kPassword), pem),
            0);
  got = testsupport::RunCommand(
      "(openssl dsa -passin 'pass:kit secret' -outform DER 2>/dev/null | od -An -tx1 | tr -d ' \\n')", Text(pem), ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(got, testsupport::Hex(dsa));
}

TEST(KeyCodec, ExportForms) {
  REQUIRE_OR_SKIP(!pkikit::Ensure().empty(), kKit);
  ByteString out;
  const std::string rsaP8 = pkikit::Bytes("rsa-p8.pem");
  ASSERT_EQ(KeyCodec::ExportTraditionalPem(rsaP8.c_str(), nullptr, out), 0);
  TextArmor expected;
  const std::string pkcs1 = pkikit::Bytes("rsa-trad.bin");
  ASSERT_EQ(expected.EncodePem("RSA PRIVATE KEY", pkcs1.data(), static_cast<int>(pkcs1.size())), 0);
  EXPECT_EQ(Text(out), Text(expected));
  const SecretBytes password = Secret(kPassword);
  ASSERT_EQ(KeyCodec::ExportTraditionalPem(rsaP8.c_str(), &password, out), 0);
  KeyHolder holder;
  TextArmor blob;
  ByteString error;
  ASSERT_EQ(KeyCodec::ReadPrivateKeyFile(out.Data(), out.Length(), password, blob, holder, error), 0);
  EXPECT_EQ(holder.type, kKeyTypeRsa);
  const std::string ecP8 = pkikit::Bytes("p256-p8.pem"), edP8 = pkikit::Bytes("ed25519-p8.pem");
  EXPECT_EQ(KeyCodec::ExportTraditionalPem(ecP8.c_str(), nullptr, out), kKeyOtherType);
  EXPECT_EQ(KeyCodec::ExportTraditionalPem(edP8.c_str(), nullptr, out), kKeyOtherType);
  ASSERT_EQ(KeyCodec::ExportPkcs8Pem(ecP8.c_str(), nullptr, out), 0);
  const std::string ecDer = pkikit::Bytes("p256.p8");
  ASSERT_EQ(expected.EncodePem("PRIVATE KEY", ecDer.data(), static_cast<int>(ecDer.size())), 0);
  EXPECT_EQ(Text(out), Text(expected));
  const std::string trad = pkikit::Bytes("rsa-trad.pem");
  EXPECT_EQ(KeyCodec::ExportPkcs8Pem(trad.c_str(), nullptr, out), kKeyFormatNotFound);
}

TEST(KeyCodec, Edges) {
  ByteString hex;
  ASSERT_EQ(KeyCodec::AppendHex("\x00\xff\x1a", 3, 1, hex), 0);
  ASSERT_EQ(KeyCodec::AppendHex("\x00\xff\x1a", 3, 0, hex), 0);
  EXPECT_EQ(Text(hex), "00FF1A00ff1a");
  RsaKey pub;
  ASSERT_EQ(pub.n.Set("\x00\xc3", 2), 0);
  ASSERT_EQ(pub.e.Set("\x01\x00\x01", 3), 0);
  ByteString out;
  ASSERT_EQ(KeyCodec::WriteRsaPkcs1(pub, 0, out), 0);
  EXPECT_EQ(HexOf(out), "3009020200c30203010001");
  ASSERT_EQ(KeyCodec::WriteRsaPkcs1(pub, 1, out), 0);
  EXPECT_EQ(Text(out).rfind("-----BEGIN RSA PUBLIC KEY-----", 0), 0u);
  ByteString random;
  ASSERT_EQ(KeyCodec::RandomBytes(32, random), 0);
  EXPECT_EQ(random.Length(), 32);
  ByteString cipher;
  EXPECT_EQ(KeyCodec::PasswordEncrypt("abc", 3, Secret("pw"), "aes-128-cbc", "saltsalt", 8, nullptr, 0, nullptr, 0,
                                      cipher),
            kKeyUnknownName);
  // Round trip: the plaintext comes back followed by its padding.
  ASSERT_EQ(KeyCodec::PasswordEncrypt("abc", 3, Secret("pw"), "AES-256-CBC", "saltsalt", 8, "hmacsha256", 10,
                                      "0123456789abcdef", 16, cipher),
            0);
  SecretBytes plain;
  ASSERT_EQ(KeyCodec::PasswordDecrypt(cipher.Data(), cipher.Length(), Secret("pw"), "AES-256-CBC", "saltsalt", 8,
                                      "hmacsha256", 10, "0123456789abcdef", 16, plain),
            0);
  EXPECT_EQ(Text(plain), "abc" + std::string(13, '\x0d'));
  KeyHolder holder;
  TextArmor blob;
  ByteString error;
  EXPECT_EQ(KeyCodec::ReadPrivateKeyFile("no key here", 11, Secret(""), blob, holder, error), kKeyFormatNotFound);
  // SEC1 without [0]: no curve, width 32.
  const std::string sec1 = testsupport::Unhex("30250201010420" + std::string(64, '1'));
  EcKey key;
  ASSERT_EQ(KeyCodec::ReadEcPrivateKey(sec1.data(), static_cast<int>(sec1.size()), blob, key, error), 0);
  EXPECT_EQ(key.curveIndex, -1);
  EXPECT_EQ(testsupport::Hex(Text(blob)), "454320" + std::string(64, '1') + "0000");
  const std::string badCurve = testsupport::Unhex("302e0201010420" + std::string(64, '1') + "a00706052b81040022");
  ASSERT_EQ(KeyCodec::ReadEcPrivateKey(badCurve.data(), static_cast<int>(badCurve.size()), blob, key, error), 0);
  EXPECT_EQ(key.curveIndex, 1);
  const std::string unknown = testsupport::Unhex("302e0201010420" + std::string(64, '1') + "a00706052b8104000a");
  EXPECT_EQ(KeyCodec::ReadEcPrivateKey(unknown.data(), static_cast<int>(unknown.size()), blob, key, error),
            kKeyUnusable);
  EXPECT_EQ(Text(error), "Error decoding key: unknown curve information.");
}

TEST(KeyCodec, WriterEdges) {
  // A P-521 public key is written 66 bytes wide even when X and Y are held shorter.
  EcKey p521;
  p521.curveIndex = 2;
  ASSERT_EQ(p521.X.Set(std::string(65, '\x11').data(), 65), 0);
  ASSERT_EQ(p521.Y.Set(std::string(66, '\x22').data(), 66), 0);
  ByteString out;
  ASSERT_EQ(KeyCodec::WriteEcKey(p521, 0, out, 1), 0);
  const std::string hex = HexOf(out);
  EXPECT_NE(hex.find("038186000400" + std::string(130, '1') + std::string(132, '2')), std::string::npos);
  ASSERT_EQ(KeyCodec::WriteEcKey(p521, 1, out, 0), 0);
  EXPECT_EQ(Text(out).rfind("-----BEGIN EC PUBLIC KEY-----", 0), 0u);
  // The fixed-width headers of the encrypted PKCS#8 writer.
  const std::string plain(600, '\x5a');
  ASSERT_EQ(KeyCodec::WriteEncryptedPkcs8(plain.data(), 600, Secret("pw"), out), 0);
  SecretBytes der;
  ASSERT_EQ(KeyCodec::PemDecode(out.CStr(), "ENCRYPTED PRIVATE KEY", der, nullptr), 0);
  const std::string d = HexOf(der);
  EXPECT_EQ(d.substr(0, 4), "3082");
  EXPECT_EQ(d.substr(8, 6), "304006");  // AlgorithmIdentifier: two-byte header
  // ... and it opens again with the same password, padding checked.
  int isDsa = 0, isEc = 0;
  TextArmor back;
  EXPECT_EQ(KeyFileFormats::DecodePkcs8(back, out.Data(), out.Length(), Secret("pw"), isDsa, isEc),
            kKeyFormatNotFound);  // the bytes are no PrivateKeyInfo
  ASSERT_EQ(KeyCodec::WriteEncryptedPem(plain.data(), 600, "RSA PRIVATE KEY", Secret("pw"), out), 0);
  const std::string pem = Text(out);
  const size_t dek = pem.find("DEK-Info: DES-EDE3-CBC,");
  ASSERT_NE(dek, std::string::npos);
  const std::string iv = pem.substr(dek + 23, 16);
  EXPECT_EQ(iv.find_first_not_of("0123456789ABCDEF"), std::string::npos);
  EXPECT_EQ(pem.substr(dek + 39, 4), "\r\n\r\n");
  const SecretBytes pw = Secret("pw");
  ASSERT_EQ(KeyCodec::PemDecode(out.CStr(), "RSA PRIVATE KEY", der, &pw), 0);
  EXPECT_EQ(Text(der), plain + std::string(8, '\x08'));
}

TEST(KeyCodec, OldEdwardsFormStillRead) {
  // Version 1, a constructed OCTET STRING and the public key under [1] primitive.
  const std::string priv(64, 'a'), pub(64, 'b');
  const std::string old = testsupport::Unhex("3050020101300506032b6570" "2422" "0420" + priv + "8120" + pub);
  TextArmor pem;
  ASSERT_EQ(pem.EncodePem("PRIVATE KEY", old.data(), static_cast<int>(old.size())), 0);
  KeyHolder holder;
  TextArmor blob;
  ByteString error;
  ASSERT_EQ(KeyCodec::ReadPrivateKeyFile(pem.Data(), pem.Length(), Secret(""), blob, holder, error), 0);
  EXPECT_EQ(holder.type, kKeyTypeEdDsa);
  EXPECT_EQ(HexOf(holder.edDsaKey.edPrivate), priv);
  EXPECT_EQ(HexOf(holder.edDsaKey.edPublic), pub);
  EXPECT_EQ(testsupport::Hex(Text(blob)), "456403" "20" + priv + "20" + pub + "00");
}

TEST(KeyCodec, EcBlobOfP384) {
  REQUIRE_OR_SKIP(!pkikit::Ensure().empty(), kKit);
  KeyHolder holder;
  TextArmor blob;
  ASSERT_EQ(ReadFile("p384-sec1.pem", "", holder, blob), 0);
  auto f = PkeyFields("p384-leaf.key");
  const std::string pub = f["pub"];
  ASSERT_EQ(pub.size(), 2u + 192u);
  std::string d = Magnitude(f["priv"]);
  d.insert(0, 96 - d.size(), '0');
  EXPECT_EQ(testsupport::Hex(Text(blob)), "454301" "30" + d + "30" + pub.substr(2, 96) + "30" + pub.substr(98));
}

// PBKDF2 and the cipher of python3 `cryptography`, decrypted here.
const char* const kEncrypt = R"PY(
import sys
from cryptography.hazmat.primitives import hashes, padding
from cryptography.hazmat.primitives.kdf.pbkdf2 import PBKDF2HMAC
from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes
try:
    from cryptography.hazmat.decrepit.ciphers.algorithms import TripleDES
except ImportError:
    TripleDES = algorithms.TripleDES
hash_name, cipher_name, salt = sys.argv[1], sys.argv[2], bytes.fromhex(sys.argv[3])
h = hashes.SHA1() if hash_name == 'hmacsha1' else hashes.SHA256()
size, make, block = {'DES-EDE3-CBC': (24, TripleDES, 64), 'AES-128-CBC': (16, algorithms.AES, 128),
                     'AES-256-CBC': (32, algorithms.AES, 128)}[cipher_name]
key = PBKDF2HMAC(algorithm=h, length=size, salt=salt, iterations=1000).derive(b'kit secret')
iv = bytes(range(block // 8))
p = padding.PKCS7(block).padder(); data = p.update(b'plaintext of the test') + p.finalize()
e = Cipher(make(key), modes.CBC(iv)).encryptor()
print((e.update(data) + e.finalize()).hex())
)PY";

TEST(KeyCodec, PasswordDecryptMatchesCryptography) {
  REQUIRE_OR_SKIP(testsupport::HavePythonModule("cryptography"), "python3 cryptography missing");
  const std::string salts[] = {"0102030405060708", "000102030405060708090a0b0c0d0e0f",
                               "000102030405060708090a0b0c0d0e0f10111213"};
  for (const char* hash : {"hmacsha1", "hmacsha256"}) {
    for (const char* cipher : {"DES-EDE3-CBC", "AES-128-CBC", "AES-256-CBC"}) {
      for (const std::string& saltHex : salts) {
        bool ok = false;
        const std::string out = testsupport::RunPython(kEncrypt, ok, {hash, cipher, saltHex});
        ASSERT_TRUE(ok);
        const std::string data = testsupport::Unhex(out.substr(0, out.size() - 1));
        const std::string salt = testsupport::Unhex(saltHex);
        const std::string iv = testsupport::Unhex(std::string(cipher).rfind("AES", 0) == 0
                                                      ? "000102030405060708090a0b0c0d0e0f"
                                                      : "0001020304050607");
        SecretBytes plain;
        ASSERT_EQ(KeyCodec::PasswordDecrypt(data.data(), static_cast<int>(data.size()), Secret(kPassword), cipher,
                                            salt.data(), static_cast<int>(salt.size()), hash, 1000, iv.data(), static_cast<int>(iv.size()), plain),
                  0)
            << hash << " " << cipher << " " << saltHex;
        EXPECT_EQ(Text(plain).substr(0, 21), "plaintext of the test") << hash << " " << cipher << " " << saltHex;
      }
    }
  }
}

TEST(KeyCodec, WycheproofPrivateKeyPem) {
  for (const char* file : {"rsa_pkcs1_2048_test.json", "rsa_oaep_2048_sha1_mgf1sha1_test.json",
                           "rsa_oaep_2048_sha256_mgf1sha256_test.json"}) {
    bool ok = false;
    const std::string rows = testsupport::RunPython(
        "import json,sys\nd=json.load(open(sys.argv[1]))\nfor g in d['testGroups']:\n"
        "  print(g['privateKeyPem'].encode().hex(), g['privateKey']['modulus'], g['privateKey']['privateExponent'])\n",
        ok, {(testsupport::VectorsDir() / "wycheproof" / file).string()});
    REQUIRE_OR_SKIP(ok && !rows.empty(), "Wycheproof vectors or python3 missing");
    for (const auto& row : testsupport::Rows(rows)) {
      ASSERT_EQ(row.size(), 3u);
      const std::string pem = testsupport::Unhex(row[0]);
      KeyHolder holder;
      TextArmor blob;
      ByteString error;
      ASSERT_EQ(KeyCodec::ReadPrivateKeyFile(pem.data(), static_cast<int>(pem.size()), Secret(""), blob, holder, error), 0)
          << file;
      EXPECT_EQ(Magnitude(HexOf(holder.rsaKey.n)), Magnitude(row[1])) << file;
      EXPECT_EQ(Magnitude(HexOf(holder.rsaKey.d)), Magnitude(row[2])) << file;
    }
  }
}

}  // namespace
