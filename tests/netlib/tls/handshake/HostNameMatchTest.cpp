// Certificate names against host names, over certificates made by the
// Python cryptography package, whose own reading of the first common name
// is the expected value.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "TestText.h"
#include "pki/x509/CertificateRecords.h"
#include "tls/handshake/HostNameMatch.h"

using namespace tornell;

namespace {

// One line per certificate: DER hex, then the first common name in hex or "-".
const char kMakeCertificates[] = R"PY(
import datetime
from cryptography import x509
from cryptography.x509.oid import NameOID
from cryptography.hazmat.primitives import hashes
from cryptography.hazmat.primitives.serialization import Encoding
from cryptography.hazmat.primitives.asymmetric import ec

key = ec.generate_private_key(ec.SECP256R1())
def attr(oid, value):
    return x509.NameAttribute(oid, value)
cn, org, unit = NameOID.COMMON_NAME, NameOID.ORGANIZATION_NAME, NameOID.ORGANIZATIONAL_UNIT_NAME
subjects = [
    (x509.Name([attr(org, "Kit"), attr(cn, "kit.example")]), None),
    (x509.Name([attr(cn, "first.example"), attr(unit, "u"), attr(cn, "second.example")]), None),
    (x509.Name([x509.RelativeDistinguishedName([attr(org, "Kit"), attr(cn, "multi.example")])]), None),
    (x509.Name([attr(cn, "cn.example")]), ["alt.example"]),
    (x509.Name([attr(org, "No common name")]), None),
    (x509.Name([attr(cn, "*.wild.example")]), None),
]
now = datetime.datetime(2026, 1, 1)
for name, alt in subjects:
    builder = (x509.CertificateBuilder().subject_name(name).issuer_name(name).public_key(key.public_key())
               .serial_number(7).not_valid_before(now).not_valid_after(now + datetime.timedelta(days=9)))
    if alt:
        builder = builder.add_extension(x509.SubjectAlternativeName([x509.DNSName(n) for n in alt]), False)
    cert = builder.sign(key, hashes.SHA256())
    der = cert.public_bytes(Encoding.DER)
    names = cert.subject.get_attributes_for_oid(cn)
    print(der.hex(), names[0].value.encode().hex() if names else "-")
)PY";

std::vector<std::string> Certificates() {
  bool ok = false;
  return testsupport::Lines(testsupport::RunPython(kMakeCertificates, ok));
}

}  // namespace

TEST(HostNameMatch, FirstCommonNameAndHostChecks) {
  REQUIRE_OR_SKIP(testsupport::HavePythonModule("cryptography"), "python3 cryptography package not found");
  const std::vector<std::string> lines = Certificates();
  ASSERT_EQ(lines.size(), 6u);
  struct Row {
    const char* match;
    const char* other;
    int hasNames;
  } rows[] = {
      {"kit.example", "example", 0},         {"first.example", "second.example", 0},
      {"multi.example", "kit.example", 0},   {"alt.example", "cn.example", 1},
      {nullptr, "no.example", 0},            {"a.wild.example", "wild.example", 0},
  };
  for (size_t i = 0; i < lines.size(); ++i) {
    SCOPED_TRACE(i);
    const std::vector<std::string> words = testsupport::Words(lines[i]);
    ASSERT_EQ(words.size(), 2u);
    const std::string der = testsupport::Unhex(words[0]);
    pki::X509Certificate leaf;
    ASSERT_EQ(leaf.encoded.Set(der.data(), int(der.size())), 0);
    ASSERT_EQ(leaf.Decode(), 0);
    StringList dnsNames, ipAddresses;
    ByteString commonName;
    int hasNames = -1;
    ASSERT_EQ(tls::CertificateNames(leaf, dnsNames, ipAddresses, commonName, hasNames), 0);
    const std::string expected = words[1] == "-" ? "" : testsupport::Unhex(words[1]);
    EXPECT_EQ(commonName.Length() == 0 ? std::string() : std::string(commonName.Data(), size_t(commonName.Length())),
              expected);
    EXPECT_EQ(hasNames, rows[i].hasNames);
    if (rows[i].match != nullptr) {
      EXPECT_EQ(tls::HostMatchesCertificate(leaf, rows[i].match), 1);
    }
    EXPECT_EQ(tls::HostMatchesCertificate(leaf, rows[i].other), 0);
  }
}
