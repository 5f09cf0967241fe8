// Certificate names against host names, over certificates made by the
// Python cryptography package, whose own reading of the first common name
// is the expected value.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "TestText.h"
#include "pki/der/DerElement.h"
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

// The subjectAltName entries as a parsed DerElement tree reads them: the
// reference for the reading in place.
int TreeNames(const std::string& extnValue, std::vector<std::string>& dns, std::vector<std::string>& ips) {
  pki::DerWriter octets;
  if (octets.output.Set(extnValue.data(), int(extnValue.size())) != 0) return -1;
  ByteString content;
  if (const int status = octets.ReadElement(0, content); status != 0) return status;
  pki::DerElement names;
  if (names.body.output.Assign(content) != 0) return -1;
  if (const int status = names.Parse(); status != 0) return status;
  for (pki::DerElement* name = names.firstChild; name != nullptr; name = name->nextSibling) {
    if (name->tag != 0x82 && name->tag != 0x87) continue;
    ByteString value;
    if (const int status = name->body.ReadElement(0, value); status != 0) return status;
    (name->tag == 0x82 ? dns : ips).emplace_back(value.Data(), size_t(value.Length()));
  }
  return 0;
}

std::vector<std::string> Entries(const StringList& list) {
  std::vector<std::string> out;
  for (int i = 0; i < list.Count(); ++i) out.emplace_back(list.Get(i), size_t(list.EntryLength(i)));
  return out;
}

std::string Tlv(int tag, const std::string& content) {
  std::string out(1, char(tag));
  const size_t n = content.size();
  if (n < 0x80) {
    out += char(n);
  } else if (n < 0x100) {
    out += "\x81";
    out += char(n);
  } else {
    out += "\x82";
    out += char(n >> 8);
    out += char(n & 0xFF);
  }
  return out + content;
}

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

TEST(HostNameMatch, SubjectAltNamesReadInPlaceAsTheTreeReadsThem) {
  const std::string dns = Tlv(0x82, "a.example"), ip = Tlv(0x87, std::string("\x0a\x00\x00\x01", 4));
  const std::string rdn = Tlv(0x31, Tlv(0x30, Tlv(0x06, "\x55\x04\x03") + Tlv(0x0C, "dir.example")));
  const std::string directory = Tlv(0xA4, Tlv(0x30, rdn));
  const std::string other = Tlv(0xA0, Tlv(0x06, "\x2b\x06\x01") + Tlv(0xA0, Tlv(0x0C, "x")));
  std::string deep = Tlv(0x0C, "z");
  for (int i = 0; i < 300; ++i) deep = Tlv(0xA0 | (i % 3), deep);
  const std::string broken = Tlv(0xA4, std::string("\x30\x02\x31\x00\x05", 5));  // a child past its first is cut
  const std::string highTag = Tlv(0xA4, Tlv(0x30, std::string("\x3f\x01\x00", 3)));
  const std::vector<std::string> lists = {
      "",
      Tlv(0x30, ""),
      Tlv(0x30, dns),
      Tlv(0x30, dns + ip + dns),
      Tlv(0x30, directory + dns + other + ip),
      Tlv(0x30, deep + dns),
      Tlv(0x30, dns + broken + ip),
      Tlv(0x30, highTag + dns),
      Tlv(0x30, dns) + "trailing",
      Tlv(0x04, dns),
      Tlv(0x30, std::string("\x82\x05" "abc", 5)),
      Tlv(0x30, dns + std::string("\x82\x05" "abc", 5)),
      Tlv(0x30, std::string("\x01", 1)),
      Tlv(0x30, Tlv(0xA4, std::string("\x01", 1)) + dns),
      Tlv(0x30, Tlv(0xA4, "") + ip),
      std::string("\x30\x05", 2) + dns,
  };
  std::vector<std::string> values;
  for (const std::string& list : lists) {
    values.push_back(Tlv(0x04, list));
    values.push_back(list);  // an outer element that is not an octet string
  }
  values.push_back("");
  values.push_back(std::string("\x04\x09", 2));
  for (size_t i = 0; i < values.size(); ++i) {
    SCOPED_TRACE(i);
    pki::CertificateExtension extension;
    ASSERT_EQ(extension.extnId.Set("2.5.29.17"), 0);
    ASSERT_EQ(extension.extnValue.Set(values[i].data(), int(values[i].size())), 0);
    pki::X509Certificate leaf;
    ASSERT_EQ(leaf.tbs.extensions.Append(extension), 0);
    std::vector<std::string> treeDns, treeIps;
    const int treeStatus = TreeNames(values[i], treeDns, treeIps);
    StringList dnsNames, ipAddresses;
    ByteString commonName;
    int hasNames = 0;
    const int status = tls::CertificateNames(leaf, dnsNames, ipAddresses, commonName, hasNames);
    EXPECT_EQ(status, treeStatus);
    EXPECT_EQ(hasNames, 1);
    if (status != 0 || treeStatus != 0) continue;
    EXPECT_EQ(Entries(dnsNames), treeDns);
    EXPECT_EQ(Entries(ipAddresses), treeIps);
  }
}
