#pragma once
// The certificate reader behind X509Codec: certificates, their TBS part,
// names, algorithm identifiers, public-key infos and extensions read in
// place from the caller's bytes. Each takes the bytes of one element as a
// split tree node holds them and answers as that tree's reader did, statuses
// and the order fields are filled in included.
#include "pki/der/DerRun.h"
#include "pki/x509/CertificateRecords.h"

namespace tornell::pki::walk {

// With fullAlgorithm (X509Certificate::Decode) the signature algorithm keeps
// its parameters and signatureValue its unused-bits byte; without
// (X509Codec::ParseCertificate) only the identifier and the bits are read.
[[nodiscard]] int ReadCertificate(DerRun bytes, X509Certificate& cert, bool fullAlgorithm);
[[nodiscard]] int ReadTbsCertificate(DerRun bytes, TbsCertificate& tbs);
[[nodiscard]] int ReadAlgorithmIdentifier(DerRun bytes, AlgorithmIdentifier& out);
[[nodiscard]] int ReadSubjectPublicKeyInfo(DerRun bytes, SubjectPublicKeyInfo& info);
[[nodiscard]] int ReadExtension(DerRun bytes, CertificateExtension& ext);
// The first attribute of each relative name as "CN=a,O=b" text.
[[nodiscard]] int ReadDistinguishedName(DerRun bytes, ByteString& text);

}  // namespace tornell::pki::walk
