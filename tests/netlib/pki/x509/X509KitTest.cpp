// Certificates and keys of the openssl-made kit against openssl's and
// python cryptography's reading of the same files.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "../kit/PkiKit.h"
#include "X509TestText.h"
#include "crypto/ecc/curve/EcStatus.h"
#include "pki/der/DerElement.h"
#include "pki/x509/X509Codec.h"

using tornell::ByteString;
using tornell::pki::CertificateExtension;
using tornell::pki::DerElement;
using tornell::pki::DerWriter;
using tornell::pki::X509Certificate;
using tornell::pki::X509Codec;
using x509test::HexOf;
using x509test::Lower;
using x509test::Magnitude;

namespace {

#define REQUIRE_KIT() REQUIRE_OR_SKIP(!pkikit::Ensure().empty(), "openssl, faketime or flock missing, or make_kit.sh failed")

int ExpectedStatus(const std::string& name) {
  if (name == "compressed.der") return tornell::kEcBadPoint;
  if (name == "k1.der") return tornell::kEcUnknownCurve;
  return 0;
}

std::string OpensslValue(const std::string& command, const std::string& key, bool& ok) {
  for (const std::string& line : testsupport::Lines(pkikit::Run(command, ok))) {
    if (line.rfind(key + "=", 0) == 0) return line.substr(key.size() + 1);
  }
  ok = false;
  return "";
}

std::string Digits(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c >= '0' && c <= '9') out += c;
  }
  return out;
}

// openssl's one-line name in our form: ST and emailAddress under their short
// names, and only the first value of a multi-valued RDN.
std::string OurNameForm(const std::string& openssl) {
  std::string out;
  size_t at = 0;
  while (at <= openssl.size()) {
    size_t end = openssl.find(',', at);
    if (end == std::string::npos) end = openssl.size();
    std::string rdn = openssl.substr(at, end - at);
    rdn = rdn.substr(0, rdn.find('+'));
    if (rdn.rfind("ST=", 0) == 0) rdn = "S=" + rdn.substr(3);
    if (rdn.rfind("emailAddress=", 0) == 0) rdn = "E=" + rdn.substr(13);
    if (!out.empty()) out += ",";
    out += rdn;
    at = end + 1;
  }
  return out;
}

TEST(X509Kit, TreesMatchAsn1parse) {
  REQUIRE_KIT();
  std::vector<std::string> files(std::begin(pkikit::kCertificates), std::end(pkikit::kCertificates));
  files.insert(files.end(), std::begin(pkikit::kPrivateKeys), std::end(pkikit::kPrivateKeys));
  for (const std::string& name : files) {
    bool ok = false;
    const auto expected = x509test::AsnRows(pkikit::Run("openssl asn1parse -inform DER -i -in " + name, ok));
    ASSERT_TRUE(ok) << name;
    DerElement root;
    ASSERT_EQ(pkikit::Load(name, root.body.output), 0);
    ASSERT_EQ(root.Parse(), 0) << name;
    std::vector<x509test::TreeRow> ours;
    x509test::TreeRows(root, 0, 0, ours);
    EXPECT_EQ(ours, expected) << name;
  }
}

TEST(X509Kit, CertificateFieldsMatchOpenssl) {
  REQUIRE_KIT();
  for (const char* file : pkikit::kCertificates) {
    const std::string name = file;
    ByteString der;
    ASSERT_EQ(pkikit::Load(name, der), 0);
    X509Certificate parsed;
    ASSERT_EQ(X509Codec::ParseCertificate(der, parsed), ExpectedStatus(name)) << name;
    X509Certificate decoded;
    ASSERT_EQ(decoded.encoded.Assign(der), 0);
    ASSERT_EQ(decoded.Decode(), ExpectedStatus(name)) << name;
    if (ExpectedStatus(name) != 0) continue;

    const std::string x509 = "openssl x509 -inform DER -in " + name + " -noout ";
    bool ok = false;
    EXPECT_EQ(parsed.tbs.serialNumber.CStr(), Lower(OpensslValue(x509 + "-serial", "serial", ok))) << name;
    EXPECT_EQ(parsed.tbs.notBefore.CStr(), Digits(OpensslValue(x509 + "-dates -dateopt iso_8601", "notBefore", ok)));
    EXPECT_EQ(parsed.tbs.notAfter.CStr(), Digits(OpensslValue(x509 + "-dates -dateopt iso_8601", "notAfter", ok)));
    const std::string nameopt = "-nameopt sep_comma_plus,sname,utf8,-esc_msb";
    EXPECT_EQ(parsed.GetSubject(), OurNameForm(OpensslValue(x509 + "-subject " + nameopt, "subject", ok))) << name;
    EXPECT_EQ(parsed.GetIssuer(), OurNameForm(OpensslValue(x509 + "-issuer " + nameopt, "issuer", ok))) << name;
    EXPECT_TRUE(ok) << name;

    // Decode keeps the whole algorithm and the unused-bits byte.
    EXPECT_EQ(HexOf(decoded.signatureValue), "00" + HexOf(parsed.signatureValue)) << name;
    EXPECT_TRUE(decoded.signatureAlgorithm.oid.Equals(parsed.signatureAlgorithm.oid));
    EXPECT_EQ(HexOf(decoded.tbsEncoded), HexOf(parsed.tbsEncoded));
    EXPECT_EQ(decoded.tbs.extensions.Count(), parsed.tbs.extensions.Count());

    const std::string algorithm = parsed.GetKeyAlgorithm();
    const auto& spki = parsed.tbs.subjectPublicKeyInfo;
    if (algorithm == "RSA") {
      EXPECT_EQ(Magnitude(HexOf(spki.Rsa().n)), Lower(OpensslValue(x509 + "-modulus", "Modulus", ok))) << name;
      EXPECT_EQ(HexOf(spki.Rsa().e), "010001");
    } else if (algorithm == "DSA" || algorithm == "IdEcPublicKey") {
      const auto blocks = x509test::HexBlocks(pkikit::Run(x509 + "-pubkey | openssl pkey -pubin -noout -text", ok));
      ASSERT_TRUE(ok) << name;
      if (algorithm == "DSA") {
        EXPECT_EQ(Magnitude(HexOf(spki.Dsa().y)), Magnitude(blocks.at("pub"))) << name;
        EXPECT_EQ(Magnitude(HexOf(spki.Dsa().p)), Magnitude(blocks.at("P")));
        EXPECT_EQ(Magnitude(HexOf(spki.Dsa().q)), Magnitude(blocks.at("Q")));
        EXPECT_EQ(Magnitude(HexOf(spki.Dsa().g)), Magnitude(blocks.at("G")));
      } else {
        EXPECT_EQ("04" + HexOf(spki.Ec().X) + HexOf(spki.Ec().Y), blocks.at("pub")) << name;
        const int curve = name.rfind("p384", 0) == 0 ? 1 : name.rfind("p521", 0) == 0 ? 2 : 0;
        EXPECT_EQ(spki.Ec().curveIndex, curve) << name;
      }
    } else {
      EXPECT_EQ(algorithm, "Unknown");
      EXPECT_STREQ(spki.algorithm.oid.CStr(), "1.3.101.112") << name;
    }
  }
}

TEST(X509Kit, ExtensionsMatchPythonCryptography) {
  REQUIRE_KIT();
  REQUIRE_OR_SKIP(testsupport::HavePythonModule("cryptography"), "python3 cryptography missing");
  const std::string program =
      "import sys\n"
      "from cryptography import x509\n"
      "for f in sys.argv[1:]:\n"
      "  c = x509.load_der_x509_certificate(open(f, 'rb').read())\n"
      "  for e in c.extensions:\n"
      "    print(f.split('/')[-1], e.oid.dotted_string, int(e.critical), e.value.public_bytes().hex())\n";
  std::vector<std::string> args;
  for (const char* file : pkikit::kCertificates) {
    if (ExpectedStatus(file) == 0) args.push_back(pkikit::Path(file));
  }
  bool ok = false;
  const auto rows = testsupport::Rows(testsupport::RunPython(program, ok, args));
  ASSERT_TRUE(ok);
  std::map<std::string, std::vector<std::string>> expected;
  for (const auto& row : rows) expected[row[0]].push_back(row[1] + " " + row[2] + " " + row[3]);
  EXPECT_EQ(expected["rsa-leaf.der"].size(), 6u);
  for (const char* file : pkikit::kCertificates) {
    if (ExpectedStatus(file) != 0) continue;
    ByteString der;
    ASSERT_EQ(pkikit::Load(file, der), 0);
    X509Certificate cert;
    ASSERT_EQ(X509Codec::ParseCertificate(der, cert), 0);
    std::vector<std::string> ours;
    for (int i = 0; i < cert.tbs.extensions.Count(); ++i) {
      const CertificateExtension* e = cert.tbs.extensions.Get(i);
      DerWriter value;
      ASSERT_EQ(value.output.Assign(e->extnValue), 0);
      ByteString content;
      ASSERT_EQ(value.ReadElement(0, content), 0);
      ours.push_back(std::string(e->extnId.CStr()) + " " + std::to_string(e->critical) + " " + HexOf(content));
      EXPECT_EQ(cert.tbs.extensionsEncoded.EntryLength(i) > 0, true);
    }
    EXPECT_EQ(ours, expected[file]) << file;
  }
}

TEST(X509Kit, VersionOneAndTimeEdges) {
  REQUIRE_KIT();
  const struct {
    const char* file;
    int version;
    const char* notBeforePrefix;
    int notAfterTag;
  } cases[] = {{"v1.der", 0, "20", 0x17}, {"rsa-leaf.der", 2, "20", 0x17}, {"far.der", 2, "20", 0x18},
               {"y49.der", 2, "2049123000", 0x17}, {"y50.der", 2, "1950010100", 0x17}};
  for (const auto& c : cases) {
    ByteString der;
    ASSERT_EQ(pkikit::Load(c.file, der), 0);
    X509Certificate cert;
    ASSERT_EQ(X509Codec::ParseCertificate(der, cert), 0) << c.file;
    EXPECT_EQ(cert.tbs.version, c.version) << c.file;
    EXPECT_EQ(std::string(cert.tbs.notBefore.CStr()).rfind(c.notBeforePrefix, 0), 0u) << c.file;
    EXPECT_EQ(cert.tbs.notBefore.Length(), 14);
    // Written back, each time keeps the form it came in.
    DerWriter w;
    ASSERT_EQ(X509Codec::WriteTime(&cert.tbs.notAfter, w), 0);
    EXPECT_EQ(w.output.ByteAt(0), c.notAfterTag) << c.file;
    ByteString back;
    ASSERT_EQ(w.ReadElement(0, back), 0);
    ByteString text;
    ASSERT_EQ(X509Codec::TimeToText(back, text), 0);
    EXPECT_TRUE(text.Equals(cert.tbs.notAfter)) << c.file;
  }
  ByteString der;
  ASSERT_EQ(pkikit::Load("explicit.der", der), 0);
  X509Certificate cert;
  ASSERT_EQ(X509Codec::ParseCertificate(der, cert), 0);
  EXPECT_EQ(cert.tbs.subjectPublicKeyInfo.Ec().curveIndex, 0);
}

TEST(X509Kit, PrintableCertificateReencodesByteForByte) {
  REQUIRE_KIT();
  ByteString der;
  ASSERT_EQ(pkikit::Load("printable.der", der), 0);
  X509Certificate cert;
  ASSERT_EQ(X509Codec::ParseCertificate(der, cert), 0);
  DerWriter same;
  ASSERT_EQ(X509Codec::WriteCertificate(cert, same), 0);
  EXPECT_EQ(HexOf(same.output), HexOf(der));
  ASSERT_EQ(cert.encoded.Clear(), 0);
  DerWriter rebuilt;
  ASSERT_EQ(X509Codec::WriteCertificate(cert, rebuilt), 0);
  EXPECT_EQ(HexOf(rebuilt.output), HexOf(der));
}

TEST(X509Kit, UniqueIdentifiersBeforeExtensionsAreSkipped) {
  REQUIRE_KIT();
  // Splices issuerUniqueID [1] and subjectUniqueID [2] in front of the [3]
  // extensions of a kit TBS and fixes the outer lengths.
  const std::string program =
      "import sys\n"
      "d = open(sys.argv[1], 'rb').read()\n"
      "def head(b, i):\n"
      "  n = b[i + 1]\n"
      "  if n < 128: return 2, n\n"
      "  k = n & 127\n"
      "  return 2 + k, int.from_bytes(b[i + 2:i + 2 + k], 'big')\n"
      "def wrap(tag, c):\n"
      "  n = len(c)\n"
      "  if n < 128: return bytes([tag, n]) + c\n"
      "  k = (n.bit_length() + 7) // 8\n"
      "  return bytes([tag, 128 | k]) + n.to_bytes(k, 'big') + c\n"
      "ch, cl = head(d, 0)\n"
      "th, tl = head(d, ch)\n"
      "tbs = d[ch + th:ch + th + tl]\n"
      "i = 0\n"
      "while tbs[i] != 0xA3:\n"
      "  h, l = head(tbs, i)\n"
      "  i += h + l\n"
      "tbs = tbs[:i] + bytes.fromhex('810300aabb820200cc') + tbs[i:]\n"
      "rest = d[ch + th + tl:ch + cl]\n"
      "sys.stdout.buffer.write(wrap(0x30, wrap(0x30, tbs) + rest))\n";
  bool ok = false;
  const std::string spliced = testsupport::RunPython(program, ok, {pkikit::Path("rsa-leaf.der")});
  ASSERT_TRUE(ok);
  testsupport::TempFile file(spliced);
  const std::string text =
      testsupport::RunCommand("openssl x509 -inform DER -noout -text -in '" + file.Path() + "'", ok);
  ASSERT_TRUE(ok);
  // openssl lists each extension as "X509v3 <name>:" with " critical" when set.
  std::vector<int> opensslCritical;
  bool inExtensions = false;
  for (const std::string& line : testsupport::Lines(text)) {
    if (line.find("X509v3 extensions:") != std::string::npos) {
      inExtensions = true;
    } else if (inExtensions && line.find("X509v3 ") != std::string::npos && line.find(':') != std::string::npos) {
      opensslCritical.push_back(line.find("critical") != std::string::npos ? 1 : 0);
    } else if (line.find("Signature Algorithm") != std::string::npos && inExtensions) {
      break;
    }
  }
  EXPECT_NE(text.find("Issuer Unique ID"), std::string::npos);
  ByteString der;
  ASSERT_EQ(der.Set(spliced.data(), static_cast<int>(spliced.size())), 0);
  X509Certificate cert;
  ASSERT_EQ(X509Codec::ParseCertificate(der, cert), 0);
  std::vector<int> ours;
  for (int i = 0; i < cert.tbs.extensions.Count(); ++i) ours.push_back(cert.tbs.extensions.Get(i)->critical);
  EXPECT_EQ(ours, opensslCritical);
  EXPECT_EQ(ours.size(), 6u);
  ByteString original;
  ASSERT_EQ(pkikit::Load("rsa-leaf.der", original), 0);
  X509Certificate plain;
  ASSERT_EQ(X509Codec::ParseCertificate(original, plain), 0);
  ASSERT_EQ(plain.tbs.extensions.Count(), cert.tbs.extensions.Count());
  for (int i = 0; i < plain.tbs.extensions.Count(); ++i) {
    EXPECT_TRUE(plain.tbs.extensions.Get(i)->extnValue.Equals(cert.tbs.extensions.Get(i)->extnValue));
  }
}

}  // namespace
