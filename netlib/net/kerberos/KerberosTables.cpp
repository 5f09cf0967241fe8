#include "net/kerberos/KerberosTables.h"

#include "core/text/TextUtils.h"

namespace tornell::net {

namespace {

struct EtypeRow {
  int number;
  const char* name;
};

constexpr EtypeRow kEtypes[] = {
    {3, "des-cbc-md5"},
    {17, "aes128-cts-hmac-sha1-96"},
    {18, "aes256-cts-hmac-sha1-96"},
    {23, "rc4-hmac"},
};

struct KdcErrorRow {
  int code;
  const char* name;
  const char* text;
};

// Code 12 carries the text of 11 as the KDC's own table does.
constexpr KdcErrorRow kKdcErrors[] = {
    {1, "KDC_ERR_NAME_EXP", "Client's entry in KDC database has expired"},
    {2, "KDC_ERR_SERVICE_EXP", "Server's entry in KDC database has expired"},
    {3, "KDC_ERR_BAD_PVNO", "Requested Kerberos version number not supported"},
    {4, "KDC_ERR_C_OLD_MAST_KVNO", "Client's key encrypted in old master key"},
    {5, "KDC_ERR_S_OLD_MAST_KVNO", "Server's key encrypted in old master key"},
    {6, "KDC_ERR_C_PRINCIPAL_UNKNOWN", "Client not found in Kerberos database"},
    {7, "KDC_ERR_S_PRINCIPAL_UNKNOWN", "Server not found in Kerberos database"},
    {8, "KDC_ERR_PRINCIPAL_NOT_UNIQUE", "Multiple principal entries in KDC database"},
    {9, "KDC_ERR_NULL_KEY", "The client or server has a null key (master key)"},
    {10, "KDC_ERR_CANNOT_POSTDATE", "Ticket (TGT) not eligible for postdating"},
    {11, "KDC_ERR_NEVER_VALID", "Requested start time is later than end time"},
    {12, "KDC_ERR_POLICY", "Requested start time is later than end time"},
    {13, "KDC_ERR_BADOPTION", "KDC cannot accommodate requested option"},
    {14, "KDC_ERR_ETYPE_NOSUPP", "KDC has no support for encryption type"},
    {15, "KDC_ERR_SUMTYPE_NOSUPP", "KDC has no support for checksum type"},
    {16, "KDC_ERR_PADATA_TYPE_NOSUPP", "KDC has no support for PADATA type (pre-authentication data)"},
    {17, "KDC_ERR_TRTYPE_NOSUPP", "KDC has no support for transited type"},
    {18, "KDC_ERR_CLIENT_REVOKED", "Client's credentials have been revoked"},
    {19, "KDC_ERR_SERVICE_REVOKED", "Credentials for server have been revoked"},
    {20, "KDC_ERR_TGT_REVOKED", "TGT has been revoked"},
    {21, "KDC_ERR_CLIENT_NOTYET", "Client not yet valid-try again later"},
    {22, "KDC_ERR_SERVICE_NOTYET", "Server not yet valid-try again later"},
    {23, "KDC_ERR_KEY_EXPIRED", "Password has expired-change password to reset"},
    {24, "KDC_ERR_PREAUTH_FAILED", "Pre-authentication information was invalid"},
    {25, "KDC_ERR_PREAUTH_REQUIRED", "Additional preauthentication required"},
    {26, "KDC_ERR_SERVER_NOMATCH", "KDC does not know about the requested server"},
    {27, "KDC_ERR_MUST_USE_USER2USER", "KDC_ERR_MUST_USE_USER2USER"},
    {28, "KDC_ERR_PATH_NOT_ACCEPTED", "KDC_ERR_PATH_NOT_ACCEPTED"},
    {29, "KDC_ERR_SVC_UNAVAILABLE", "KDC is unavailable"},
    {31, "KRB_AP_ERR_BAD_INTEGRITY", "Integrity check on decrypted field failed"},
    {32, "KRB_AP_ERR_TKT_EXPIRED", "The ticket has expired"},
    {33, "KRB_AP_ERR_TKT_NYV", "The ticket is not yet valid"},
    {34, "KRB_AP_ERR_REPEAT", "The request is a replay"},
    {35, "KRB_AP_ERR_NOT_US", "The ticket is not for us"},
    {36, "KRB_AP_ERR_BADMATCH", "The ticket and authenticator do not match"},
    {37, "KRB_AP_ERR_SKEW", "The clock skew is too great"},
    {38, "KRB_AP_ERR_BADADDR", "Network address in network layer header doesn't match address inside ticket"},
    {39, "KRB_AP_ERR_BADVERSION", "Protocol version numbers don't match (PVNO)"},
    {40, "KRB_AP_ERR_MSG_TYPE", "Message type is unsupported"},
    {41, "KRB_AP_ERR_MODIFIED", "Message stream modified and checksum didn't match"},
    {42, "KRB_AP_ERR_BADORDER", "Message out of order (possible tampering)"},
    {44, "KRB_AP_ERR_BADKEYVER", "Specified version of key is not available"},
    {45, "KRB_AP_ERR_NOKEY", "Service key not available"},
    {46, "KRB_AP_ERR_MUT_FAIL", "Mutual authentication failed"},
    {47, "KRB_AP_ERR_BADDIRECTION", "Incorrect message direction"},
    {48, "KRB_AP_ERR_METHOD", "Alternative authentication method required"},
    {49, "KRB_AP_ERR_BADSEQ", "Incorrect sequence number in message"},
    {50, "KRB_AP_ERR_INAPP_CKSUM", "Inappropriate type of checksum in message (checksum may be unsupported)"},
    {51, "KRB_AP_PATH_NOT_ACCEPTED", "Desired path is unreachable"},
    {52, "KRB_ERR_REP_TOO_BIG", "Too much data"},
    {60, "KRB_ERR_GENERIC", "Generic error; the description is in the e-data field"},
    {61, "KRB_ERR_FIELD_TOOLONG", "Field is too long for this implementation"},
    {62, "KDC_ERROR_CLIENT_NOT_TRUSTED", "The client trust failed or is not implemented"},
    {63, "KDC_ERROR_KDC_NOT_TRUSTED", "The KDC server trust failed or could not be verified"},
    {64, "KDC_ERROR_INVALID_SIG", "The signature is invalid"},
    {65, "KDC_ERR_KEY_TOO_WEAK", "A higher encryption level is needed"},
    {66, "KDC_ERR_CERTIFICATE_MISMATCH", "Certificate mismatched"},
    {67, "KRB_AP_ERR_NO_TGT", "No TGT was presented or available"},
    {68, "KDC_ERR_WRONG_REALM", "Incorrect domain or principal"},
    {69, "KRB_AP_ERR_USER_TO_USER_REQUIRED", "User-to-user authorization is required"},
    {70, "KDC_ERR_CANT_VERIFY_CERTIFICATE", "KDC_ERR_CANT_VERIFY_CERTIFICATE"},
    {71, "KDC_ERR_INVALID_CERTIFICATE", "KDC_ERR_INVALID_CERTIFICATE"},
    {72, "KDC_ERR_REVOKED_CERTIFICATE", "The certificate has be revoked"},
    {73, "KDC_ERR_REVOCATION_STATUS_UNKNOWN", "Revocation status unknown"},
    {74, "KDC_ERR_REVOCATION_STATUS_UNAVAILABLE", "Revocation status unavailable"},
    {75, "KDC_ERR_CLIENT_NAME_MISMATCH", "Client name mismatched"},
    {76, "KDC_ERR_KDC_NAME_MISMATCH", "KDC name mismatched"},
};

const KdcErrorRow* FindKdcError(int code) {
  for (const KdcErrorRow& row : kKdcErrors) {
    if (row.code == code) return &row;
  }
  return nullptr;
}

}  // namespace

const char* kerberosEtypeName(int number) {
  for (const EtypeRow& row : kEtypes) {
    if (row.number == number) return row.name;
  }
  return "Unknown";
}

int kerberosEtypeFromName(const char* text) {
  if (text == nullptr) return -1;
  for (const EtypeRow& row : kEtypes) {
    if (CompareNoCase(text, row.name) == 0) return row.number;
  }
  return -1;
}

const char* kdcErrorName(int code) {
  const KdcErrorRow* row = FindKdcError(code);
  return row != nullptr ? row->name : "UNKNOWN";
}

const char* kdcErrorText(int code) {
  const KdcErrorRow* row = FindKdcError(code);
  return row != nullptr ? row->text : "UNKNOWN";
}

}  // namespace tornell::net
