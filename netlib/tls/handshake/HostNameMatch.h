#pragma once
// Whether a certificate names the host a client connected to. Names are
// compared as whole decoded values: a DNS name against the dNSName entries
// of the subject alternative names (the first common name only when there
// are none), an IP address against the iPAddress entries by bytes.
#include "core/text/ByteString.h"
#include "core/text/StringList.h"

namespace tornell::pki {
class X509Certificate;
}  // namespace tornell::pki

namespace tornell::tls {

// 1 when the certificate names the host, 0 when not.
int HostMatchesCertificate(const pki::X509Certificate& leaf, const char* host);
// One DNS name of a certificate against a host name: ASCII case ignored; a
// "*" only as the whole left-most label of a name with at least two labels
// after it, standing for exactly one label; never for an IP address.
int DnsNameMatches(const char* pattern, int patternLength, const char* host);
// The dNSName and iPAddress entries of the subject alternative names, and
// the first common name of the subject, as decoded bytes. `hasNames` is set
// when the certificate has a subject alternative name extension.
[[nodiscard]] int CertificateNames(const pki::X509Certificate& leaf, StringList& dnsNames, StringList& ipAddresses,
                                   ByteString& commonName, int& hasNames);

}  // namespace tornell::tls
