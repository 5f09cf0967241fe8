#pragma once
// Names of the Kerberos encryption types and the names and texts of the KDC
// error codes. The results are static texts.

namespace tornell::net {

// "Unknown" for a number not in the table.
const char* kerberosEtypeName(int number);
// Compared without regard to ASCII case; -1 when no name matches.
int kerberosEtypeFromName(const char* text);
// "UNKNOWN" for a code not in the table.
const char* kdcErrorName(int code);
const char* kdcErrorText(int code);

}  // namespace tornell::net
