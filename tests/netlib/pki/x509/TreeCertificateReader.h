#pragma once
// The certificate reader as it was before certificates were read in place:
// every level split into a tree of DerElement nodes. Kept as the reference
// the in-place reader must agree with, field by field and status by status.
#include "pki/x509/CertificateRecords.h"

namespace treereader {

// As X509Codec::ParseCertificate (fullAlgorithm false) and
// X509Certificate::Decode (true) read `data` into `cert`.
[[nodiscard]] int DecodeCertificate(const void* data, int length, tornell::pki::X509Certificate& cert,
                                    bool fullAlgorithm);
[[nodiscard]] int DecodeName(const tornell::ByteString& name, tornell::ByteString& text);

// Empty when the two records hold the same fields, else the first that differs.
const char* FirstDifference(const tornell::pki::X509Certificate& a, const tornell::pki::X509Certificate& b);

}  // namespace treereader
