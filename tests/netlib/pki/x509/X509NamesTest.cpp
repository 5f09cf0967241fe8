#include <gtest/gtest.h>

#include <string>

#include "X509TestText.h"
#include "pki/x509/X509Codec.h"

using tornell::ByteString;
using tornell::StringList;
using tornell::pki::DerWriter;
using tornell::pki::X509Codec;
using x509test::HexOf;

namespace {

ByteString FromHex(const std::string& hex) {
  const std::string bytes = testsupport::Unhex(hex);
  ByteString s;
  EXPECT_EQ(s.Set(bytes.data(), static_cast<int>(bytes.size())), 0);
  return s;
}

// SET { SEQUENCE { OID, value } } for each pair, as one Name.
std::string Name(const std::string& rdns) {
  char header[24];
  std::snprintf(header, sizeof header, "30%02zx", rdns.size() / 2);
  return header + rdns;
}
std::string Rdn(const std::string& oidContent, const std::string& value) {
  char atv[24], set[24], oid[24];
  std::snprintf(oid, sizeof oid, "06%02zx", oidContent.size() / 2);
  const std::string inner = oid + oidContent + value;
  std::snprintf(atv, sizeof atv, "30%02zx", inner.size() / 2);
  std::snprintf(set, sizeof set, "31%02zx", inner.size() / 2 + 2);
  return set + std::string(atv) + inner;
}

TEST(X509Names, DecodeKeepsOrderShortNamesAndFirstValues) {
  const std::string c = Rdn("550406", "13025553"), o = Rdn("55040a", "0c0441636d65"),
                    cn = Rdn("550403", "1308536572766572203d"), uid = Rdn("0992268993f22c640119", "1603616263"),
                    bmp = Rdn("550403", "1e0400480069");
  const struct {
    std::string der;
    const char* text;
  } cases[] = {
      {Name(c + o + cn), "C=US,O=Acme,CN=Server ="},
      {Name(uid), "0.9.2342.19200300.100.1.25=abc"},
      {Name(bmp), "CN=Hi"},
      {"3000", ""},
      // Two values in one RDN: the first is kept.
      {"3018311630090603550403130261613009060355040b13026262", "CN=aa"},
  };
  for (const auto& t : cases) {
    ByteString text("stale");
    ASSERT_EQ(X509Codec::DecodeDistinguishedName(FromHex(t.der), text), 0) << t.der;
    EXPECT_STREQ(text.CStr(), t.text);
  }
  ByteString text;
  EXPECT_EQ(X509Codec::DecodeDistinguishedName(FromHex(Name("3100")), text), 447);
  EXPECT_EQ(X509Codec::DecodeDistinguishedName(FromHex(Name("31023000")), text), 447);
  EXPECT_EQ(X509Codec::DecodeDistinguishedName(FromHex(Name(Rdn("550403", "1e03004800"))), text), 434);
}

TEST(X509Names, EncodeWritesOneValuePerRdnWithItsStringTag) {
  const struct {
    const char* text;
    const char* der;
  } cases[] = {
      {"C=US,O=Acme,CN=Server 1",
       "302f310b3009060355040613025553310d300b060355040a130441636d653111300f060355040313085365727665722031"},
      {"E=a@b,CN=\xc3\xa9", "30213112301006092a864886f70d0109011603614062310b300906035504031302c3a9"},
      {"0.9.2342.19200300.100.1.25=x", "30133111300f060a0992268993f22c640119130178"},
      {"", "3000"},
  };
  for (const auto& c : cases) {
    DerWriter w;
    ASSERT_EQ(X509Codec::EncodeDistinguishedName(c.text, w), 0) << c.text;
    EXPECT_EQ(HexOf(w.output), c.der) << c.text;
    ByteString back;
    ASSERT_EQ(X509Codec::DecodeDistinguishedName(w.output, back), 0);
    EXPECT_STREQ(back.CStr(), c.text);
  }
}

TEST(X509Names, TextToPairs) {
  StringList pairs;
  ASSERT_EQ(X509Codec::DnTextToPairs("CN=a=b, O=c", pairs), 0);
  ASSERT_EQ(pairs.Count(), 4);
  EXPECT_STREQ(pairs.Get(0), "2.5.4.3");
  EXPECT_STREQ(pairs.Get(1), "a=b");
  EXPECT_STREQ(pairs.Get(2), " O");
  EXPECT_STREQ(pairs.Get(3), "c");
  EXPECT_EQ(X509Codec::DnTextToPairs("CN=a,,O=b", pairs), -1);
  EXPECT_EQ(X509Codec::DnTextToPairs("CN", pairs), -1);
  StringList odd;
  ASSERT_EQ(odd.Add("2.5.4.3"), 0);
  ByteString text;
  EXPECT_EQ(X509Codec::DnPairsToText(odd, text), -1);
  const struct {
    const char* name;
    const char* oid;
  } shortNames[] = {{"C", "2.5.4.6"},   {"SERIALNUMBER", "2.5.4.5"}, {"PostalCode", "2.5.4.17"},
                    {"S", "2.5.4.8"},   {"L", "2.5.4.7"},            {"STREET", "2.5.4.9"},
                    {"O", "2.5.4.10"},  {"OU", "2.5.4.11"},          {"CN", "2.5.4.3"},
                    {"SN", "2.5.4.4"},  {"G", "2.5.4.42"},           {"I", "2.5.4.43"},
                    {"E", "1.2.840.113549.1.9.1"}, {"T", "2.5.4.12"}, {"cn", "cn"}};
  for (const auto& s : shortNames) {
    ByteString oid, name;
    ASSERT_EQ(X509Codec::ShortNameToAttributeOid(s.name, oid), 0);
    EXPECT_STREQ(oid.CStr(), s.oid);
    ASSERT_EQ(X509Codec::AttributeOidToShortName(oid, name), 0);
    EXPECT_STREQ(name.CStr(), s.name);
  }
}

TEST(X509Names, LookupTables) {
  EXPECT_STREQ(X509Codec::NameToOid("SHA-256"), "2.16.840.1.101.3.4.2.1");
  EXPECT_STREQ(X509Codec::NameToOid("sha-256"), "2.16.840.1.101.3.4.2.1");
  EXPECT_STREQ(X509Codec::NameToOid("3DESCBC"), "1.3.14.3.2.7");
  EXPECT_STREQ(X509Codec::NameToOid("AesCbc256"), "2.16.840.1.101.3.4.1.42");
  EXPECT_STREQ(X509Codec::NameToOid("nosuch"), "nosuch");
  EXPECT_STREQ(X509Codec::NameToOid(""), "");
  EXPECT_STREQ(X509Codec::NameToOid(nullptr), "");
  EXPECT_STREQ(X509Codec::SignatureOidToHash("1.2.840.113549.1.1.5"), "SHA1");
  EXPECT_STREQ(X509Codec::SignatureOidToHash("1.2.840.10045.4.3.4"), "SHA512");
  EXPECT_STREQ(X509Codec::SignatureOidToHash("1.2.3"), "1.2.3");
  EXPECT_STREQ(X509Codec::OidToName("1.3.14.3.2.26"), "sha1");
  EXPECT_STREQ(X509Codec::OidToName("1.2.840.113549.1.1.11"), "RSA_SHA256RSA");
  EXPECT_STREQ(X509Codec::OidToName("1.3.14.3.2.29"), "OIWSEC_sha1RSASign");
  EXPECT_STREQ(X509Codec::OidToName("2.16.840.1.101.2.1.1.21"), "INFOSEC_mosaicUpdatedInteg");
  EXPECT_STREQ(X509Codec::OidToName("2.16.840.1.101.3.4.1.42"), "AES_256");
  EXPECT_STREQ(X509Codec::OidToName("1.2.840.113549.1.12"), "PKCS_12");
  EXPECT_STREQ(X509Codec::OidToName("9.9"), "9.9");
  EXPECT_STREQ(X509Codec::OidToName(""), "");
}

}  // namespace
