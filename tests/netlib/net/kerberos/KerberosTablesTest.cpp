// Encryption type names and KDC error names and texts.
#include <gtest/gtest.h>

#include <string>

#include "net/kerberos/KerberosTables.h"

namespace {

using namespace tornell::net;

TEST(KerberosTables, EtypeNames) {
  struct Case {
    int number;
    const char* name;
  };
  for (const Case c : {Case{3, "des-cbc-md5"}, Case{17, "aes128-cts-hmac-sha1-96"}, Case{18, "aes256-cts-hmac-sha1-96"},
                       Case{23, "rc4-hmac"}}) {
    EXPECT_STREQ(kerberosEtypeName(c.number), c.name);
    EXPECT_EQ(kerberosEtypeFromName(c.name), c.number);
  }
  EXPECT_STREQ(kerberosEtypeName(16), "Unknown");
  EXPECT_STREQ(kerberosEtypeName(-1), "Unknown");
  const std::pair<const char*, int> names[] = {
      {"RC4-HMAC", 23}, {"rc4-hmac ", -1}, {"Aes256-Cts-Hmac-Sha1-96", 18}, {"", -1}, {"des", -1}};
  for (const auto& [name, number] : names) EXPECT_EQ(kerberosEtypeFromName(name), number) << name;
  EXPECT_EQ(kerberosEtypeFromName(nullptr), -1);
}

TEST(KerberosTables, KdcErrors) {
  struct Case {
    int code;
    const char* name;
    const char* text;
  };
  const Case cases[] = {
      {1, "KDC_ERR_NAME_EXP", "Client's entry in KDC database has expired"},
      {11, "KDC_ERR_NEVER_VALID", "Requested start time is later than end time"},
      {12, "KDC_ERR_POLICY", "Requested start time is later than end time"},
      {16, "KDC_ERR_PADATA_TYPE_NOSUPP", "KDC has no support for PADATA type (pre-authentication data)"},
      {24, "KDC_ERR_PREAUTH_FAILED", "Pre-authentication information was invalid"},
      {25, "KDC_ERR_PREAUTH_REQUIRED", "Additional preauthentication required"},
      {27, "KDC_ERR_MUST_USE_USER2USER", "KDC_ERR_MUST_USE_USER2USER"},
      {28, "KDC_ERR_PATH_NOT_ACCEPTED", "KDC_ERR_PATH_NOT_ACCEPTED"},
      {29, "KDC_ERR_SVC_UNAVAILABLE", "KDC is unavailable"},
      {31, "KRB_AP_ERR_BAD_INTEGRITY", "Integrity check on decrypted field failed"},
      {37, "KRB_AP_ERR_SKEW", "The clock skew is too great"},
      {52, "KRB_ERR_REP_TOO_BIG", "Too much data"},
      {60, "KRB_ERR_GENERIC", "Generic error; the description is in the e-data field"},
      {68, "KDC_ERR_WRONG_REALM", "Incorrect domain or principal"},
      {70, "KDC_ERR_CANT_VERIFY_CERTIFICATE", "KDC_ERR_CANT_VERIFY_CERTIFICATE"},
      {71, "KDC_ERR_INVALID_CERTIFICATE", "KDC_ERR_INVALID_CERTIFICATE"},
      {72, "KDC_ERR_REVOKED_CERTIFICATE", "The certificate has be revoked"},
      {76, "KDC_ERR_KDC_NAME_MISMATCH", "KDC name mismatched"},
  };
  for (const Case& c : cases) {
    EXPECT_STREQ(kdcErrorName(c.code), c.name) << c.code;
    EXPECT_STREQ(kdcErrorText(c.code), c.text) << c.code;
  }
  int known = 0;
  for (int code = -2; code <= 80; ++code) {
    const bool unknown = code <= 0 || code == 30 || code == 43 || (code >= 53 && code <= 59) || code > 76;
    known += unknown ? 0 : 1;
    EXPECT_EQ(std::string(kdcErrorName(code)) == "UNKNOWN", unknown) << code;
    EXPECT_EQ(std::string(kdcErrorText(code)) == "UNKNOWN", unknown) << code;
  }
  EXPECT_EQ(known, 67);
}

}  // namespace
