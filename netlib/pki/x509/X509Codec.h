#pragma once
// Static operations between DER and the certificate records: certificates,
// their TBS part, validity times, extensions, public-key infos, PKCS#6 and
// PKCS#7 certificate forms, EC parameters, PKCS#8 private keys, object
// identifier names and distinguished names.
#include <cstddef>
#include <cstdint>

#include "core/text/ByteString.h"
#include "core/text/StringList.h"
#include "pki/der/DerElement.h"
#include "pki/der/DerWriter.h"
#include "pki/x509/CertificateRecords.h"
#include "pki/x509/CmsRecords.h"
#include "pki/x509/KeyInfo.h"

namespace tornell::pki {

// A distinguished-name text or pair list that cannot be used.
constexpr int kX509BadNameText = -1;

class X509Codec {
 public:
  // ---- certificates -------------------------------------------------------
  [[nodiscard]] static int ParseAlgorithmIdentifier(const ByteString& element, AlgorithmIdentifier& out);
  [[nodiscard]] static int WriteAlgorithmIdentifier(const AlgorithmIdentifier* id, ByteString& out, int withParameters);
  [[nodiscard]] static int ParseTbsCertificate(const ByteString& element, TbsCertificate& tbs);
  [[nodiscard]] static int WriteTbsCertificate(const TbsCertificate* tbs, DerWriter& writer);
  [[nodiscard]] static int ParseCertificate(const void* data, int length, X509Certificate& cert);
  [[nodiscard]] static int ParseCertificate(const ByteString& encoded, X509Certificate& cert);
  [[nodiscard]] static int WriteCertificate(const X509Certificate& cert, DerWriter& writer);
  [[nodiscard]] static int ParseSubjectPublicKeyInfo(const ByteString& element, SubjectPublicKeyInfo& info);
  [[nodiscard]] static int WriteSubjectPublicKeyInfo(const SubjectPublicKeyInfo* info, DerWriter& writer);
  [[nodiscard]] static int TimeToText(const ByteString& time, ByteString& text);
  [[nodiscard]] static int TimeToText(const char* time, int length, ByteString& text);
  [[nodiscard]] static int WriteTime(const ByteString* text, DerWriter& writer);
  [[nodiscard]] static int ParseExtension(const ByteString& element, CertificateExtension& ext);
  [[nodiscard]] static int WriteExtension(const CertificateExtension& ext, DerWriter& writer);
  [[nodiscard]] static int ParseExtendedCertificateInfo(const void* data, int length, ExtendedCertificateInfo& info);
  [[nodiscard]] static int WriteExtendedCertificateInfo(const ExtendedCertificateInfo& info, DerWriter& writer);
  [[nodiscard]] static int ParseExtendedCertificate(const void* data, int length, ExtendedCertificate& cert);
  [[nodiscard]] static int WriteExtendedCertificate(const ExtendedCertificate& cert, DerWriter& writer);
  [[nodiscard]] static int ParseCertificateChoice(const void* data, int length, CertificateChoice& choice);
  [[nodiscard]] static int WriteCertificateChoice(const CertificateChoice& choice, DerWriter& writer);
  [[nodiscard]] static int ParseEcParameters(const void* data, int length, EcKey& key);
  [[nodiscard]] static int ParsePrivateKeyInfo(const void* data, int length, KeyInfo& key);
  [[nodiscard]] static int ParseKeyAttributes(DerElement* node, StringList& names, StringList& values);
  [[nodiscard]] static int ParseIssuerAndSerial(const ByteString& element, ByteString* issuer, ByteString* serial,
                                                ByteString* alternativeIssuer);

  // ---- CMS signed data ---------------------------------------------------------
  // Each takes or appends one complete element. The signer's serial number is
  // kept and written as the INTEGER's content bytes, one leading 00 dropped.
  [[nodiscard]] static int ParseCmsAttribute(const ByteString& element, CmsAttribute& attribute);
  [[nodiscard]] static int WriteCmsAttribute(const CmsAttribute& attribute, DerWriter& writer);
  [[nodiscard]] static int ParseSignerInfo(const ByteString& element, SignerInfo& signer);
  [[nodiscard]] static int WriteSignerInfo(const SignerInfo& signer, DerWriter& writer);
  // Revocation lists ([1]) are skipped; the signer infos after them are read.
  [[nodiscard]] static int ParseSignedData(const ByteString& element, SignedData& data);
  // The form ParseSignedData reads: eContent under [0], certificates under [0].
  [[nodiscard]] static int WriteSignedData(const SignedData& data, DerWriter& writer);

  // ---- object identifiers and names -----------------------------------------
  // Static texts; the argument itself when nothing matches, "" for null or "".
  static const char* OidToName(const char* oid);
  static const char* NameToOid(const char* name);
  static const char* SignatureOidToHash(const char* oid);
  [[nodiscard]] static int AttributeOidToShortName(const ByteString& oid, ByteString& out);
  [[nodiscard]] static int ShortNameToAttributeOid(const char* name, ByteString& out);
  [[nodiscard]] static int DnPairsToText(const StringList& pairs, ByteString& text);
  // Appends "name=value" for an attribute type's dotted OID and the value's
  // whole element, after a ',' unless the text is empty; a BMPString value
  // is turned into UTF-8.
  [[nodiscard]] static int AppendDnPair(const ByteString& oid, const void* value, int valueLength, ByteString& text);
  [[nodiscard]] static int DnTextToPairs(const char* text, StringList& pairs);
  [[nodiscard]] static int DecodeDistinguishedName(const ByteString& name, ByteString& text);
  [[nodiscard]] static int EncodeDistinguishedName(const char* text, DerWriter& writer);
};

}  // namespace tornell::pki
