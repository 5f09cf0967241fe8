// CMS (PKCS#7) signed data: attributes, SignerInfo and SignedData.
#include "core/base/Status.h"
#include "pki/der/DerStatus.h"
#include "pki/x509/DerChildren.h"
#include "pki/x509/X509Codec.h"

namespace tornell::pki {

namespace {

using detail::ChildAt;
using detail::ContentOf;
using detail::LoadSplit;
using detail::OidOf;

constexpr const char* kOidContentType = "1.2.840.113549.1.9.3";
constexpr const char* kOidMessageDigest = "1.2.840.113549.1.9.4";
constexpr const char* kOidSigningTime = "1.2.840.113549.1.9.5";

// One value of an attribute's SET in the form the record keeps for its type.
int AttributeValue(const ByteString& type, const DerElement& value, ByteString& out) {
  if (type.Equals(kOidContentType)) return value.body.ReadOid(0, out);
  if (type.Equals(kOidMessageDigest)) return value.body.ReadString(0, out);
  if (type.Equals(kOidSigningTime)) {
    ByteString time;
    TORNELL_TRY(value.body.ReadElement(0, time));
    return X509Codec::TimeToText(time, out);
  }
  return out.Assign(value.body.output);
}

// Each element of an implicitly tagged SET OF Attribute, appended in order.
int ParseAttributeList(DerElement& wrapper, PtrList<CmsAttribute>& list) {
  TORNELL_TRY(wrapper.SplitChildren());
  for (DerElement* e = wrapper.firstChild; e != nullptr; e = e->nextSibling) {
    CmsAttribute attribute;
    TORNELL_TRY(X509Codec::ParseCmsAttribute(e->body.output, attribute));
    TORNELL_TRY(list.Append(attribute));
  }
  return kStatusOk;
}

// INTEGER from magnitude bytes: the inverse of dropping one leading 00.
int AppendSerial(const ByteString& serial, DerWriter& w) {
  ByteString content;
  if (serial.IsEmpty() || (serial.ByteAt(0) & 0x80) != 0) TORNELL_TRY(content.AppendByte(0));
  TORNELL_TRY(content.Append(serial));
  return w.AppendPrimitive(content.Data(), content.Length(), 0x02);
}

template <typename T>
T* At(const PtrList<T>& list, int i) {
  return const_cast<PtrList<T>&>(list).Get(i);
}

}  // namespace

int X509Codec::ParseCmsAttribute(const ByteString& element, CmsAttribute& attribute) {
  DerElement node;
  TORNELL_TRY(LoadSplit(node, element));
  TORNELL_TRY(OidOf(node, 0, attribute.type));
  DerElement* set = nullptr;
  TORNELL_TRY(detail::SplitChildAt(node, 1, set));
  for (DerElement* v = set->firstChild; v != nullptr; v = v->nextSibling) {
    ByteString value;
    TORNELL_TRY(AttributeValue(attribute.type, *v, value));
    TORNELL_TRY(attribute.values.Add(value.Data(), value.Length()));
  }
  return kStatusOk;
}

int X509Codec::WriteCmsAttribute(const CmsAttribute& attribute, DerWriter& w) {
  TORNELL_TRY(w.OpenSequence());
  TORNELL_TRY(w.AppendOid(attribute.type.CStr(), 0x06));
  TORNELL_TRY(w.OpenSet());
  for (int i = 0; i < attribute.values.Count(); ++i) {
    const char* value = attribute.values.Get(i);
    const int length = attribute.values.EntryLength(i);
    if (attribute.type.Equals(kOidContentType)) {
      TORNELL_TRY(w.AppendOid(value, 0x06));
    } else if (attribute.type.Equals(kOidSigningTime)) {
      ByteString text;
      TORNELL_TRY(text.Set(value, length));
      TORNELL_TRY(WriteTime(&text, w));
    } else if (attribute.type.Equals(kOidMessageDigest)) {
      TORNELL_TRY(w.AppendPrimitive(value, length, 0x04));
    } else {
      TORNELL_TRY(w.output.Append(value, length));
    }
  }
  TORNELL_TRY(w.CloseSet());
  return w.CloseSequence();
}

int X509Codec::ParseSignerInfo(const ByteString& element, SignerInfo& signer) {
  DerElement node;
  TORNELL_TRY(LoadSplit(node, element));
  if (node.childCount <= 4) return kDerMissing;
  TORNELL_TRY(node.firstChild->body.ReadInt(0, signer.version));
  DerElement* field = node.firstChild->nextSibling;
  if (field->tag == 0xA0) {
    TORNELL_TRY(field->SplitChildren());
    TORNELL_TRY(ContentOf(*field, 0, signer.subjectKeyIdentifier));
  } else if (field->tag == 0x80) {
    // The key identifier as CMS writes it: [0] IMPLICIT OCTET STRING.
    TORNELL_TRY(field->body.ReadString(0, signer.subjectKeyIdentifier));
  } else {
    TORNELL_TRY(ParseIssuerAndSerial(field->body.output, &signer.issuer, &signer.serialNumber, nullptr));
  }
  field = field->nextSibling;
  TORNELL_TRY(ParseAlgorithmIdentifier(field->body.output, signer.digestAlgorithm));
  TORNELL_TRY(signer.authenticatedAttributes.Clear());
  field = field->nextSibling;
  if (field->tag == 0xA0) {
    TORNELL_TRY(ParseAttributeList(*field, signer.authenticatedAttributes));
    field = field->nextSibling;
  }
  if (field == nullptr || field->nextSibling == nullptr) return kDerMissing;
  TORNELL_TRY(ParseAlgorithmIdentifier(field->body.output, signer.signatureAlgorithm));
  field = field->nextSibling;
  TORNELL_TRY(field->body.ReadString(0, signer.signature));
  field = field->nextSibling;
  if (field != nullptr && field->tag == 0xA1) {
    TORNELL_TRY(signer.unauthenticatedAttributes.Clear());
    TORNELL_TRY(ParseAttributeList(*field, signer.unauthenticatedAttributes));
  }
  return kStatusOk;
}

int X509Codec::WriteSignerInfo(const SignerInfo& signer, DerWriter& w) {
  TORNELL_TRY(w.OpenSequence());
  TORNELL_TRY(w.AppendInteger(signer.version, 0x02));
  TORNELL_TRY(w.OpenSequence());
  if (!signer.issuerEncoded.IsEmpty()) {
    TORNELL_TRY(w.output.Append(signer.issuerEncoded));
  } else {
    TORNELL_TRY(EncodeDistinguishedName(signer.issuer.CStr(), w));
  }
  if (!signer.serialNumberEncoded.IsEmpty()) {
    TORNELL_TRY(w.output.Append(signer.serialNumberEncoded));
  } else {
    TORNELL_TRY(AppendSerial(signer.serialNumber, w));
  }
  TORNELL_TRY(w.CloseSequence());
  TORNELL_TRY(WriteAlgorithmIdentifier(&signer.digestAlgorithm, w.output, 1));
  const PtrList<CmsAttribute>& attributes = signer.authenticatedAttributes;
  if (attributes.Count() > 0) {
    TORNELL_TRY(w.Open(0xA0));
    for (int i = 0; i < attributes.Count(); ++i) {
      const CmsAttribute* attribute = At(attributes, i);
      if (attribute == nullptr) return kStatusNoMemory;
      TORNELL_TRY(WriteCmsAttribute(*attribute, w));
    }
    TORNELL_TRY(w.Close());
  }
  TORNELL_TRY(WriteAlgorithmIdentifier(&signer.signatureAlgorithm, w.output, 1));
  TORNELL_TRY(w.AppendPrimitive(signer.signature.Data(), signer.signature.Length(), 0x04));
  return w.CloseSequence();
}

int X509Codec::ParseSignedData(const ByteString& element, SignedData& data) {
  DerElement node;
  TORNELL_TRY(LoadSplit(node, element));
  if (node.childCount <= 4) return kDerMissing;
  DerElement* field = node.firstChild;
  TORNELL_TRY(field->body.ReadInt(0, data.version));

  field = field->nextSibling;
  TORNELL_TRY(field->SplitChildren());
  TORNELL_TRY(data.digestAlgorithms.Clear());
  for (DerElement* e = field->firstChild; e != nullptr; e = e->nextSibling) {
    AlgorithmIdentifier algorithm;
    TORNELL_TRY(ParseAlgorithmIdentifier(e->body.output, algorithm));
    TORNELL_TRY(data.digestAlgorithms.Append(algorithm));
  }

  field = field->nextSibling;
  TORNELL_TRY(field->SplitChildren());
  TORNELL_TRY(OidOf(*field, 0, data.contentType));
  if (field->childCount >= 2) {
    DerElement* wrapper = field->firstChild->nextSibling;
    TORNELL_TRY(wrapper->SplitChildren());
    TORNELL_TRY(ContentOf(*wrapper, 0, data.content));
  }

  field = field->nextSibling;
  if (field->tag == 0xA0) {
    TORNELL_TRY(field->SplitChildren());
    for (DerElement* e = field->firstChild; e != nullptr; e = e->nextSibling) {
      CertificateChoice choice;
      TORNELL_TRY(ParseCertificateChoice(e->body.output.Data(), e->body.output.Length(), choice));
      TORNELL_TRY(data.certificates.Append(choice));
    }
    field = field->nextSibling;
  }
  // Revocation lists carry nothing the record keeps.
  if (field != nullptr && field->tag == 0xA1) field = field->nextSibling;
  if (field == nullptr) return kDerMissing;
  TORNELL_TRY(field->SplitChildren());
  for (DerElement* e = field->firstChild; e != nullptr; e = e->nextSibling) {
    SignerInfo signer;
    TORNELL_TRY(ParseSignerInfo(e->body.output, signer));
    TORNELL_TRY(data.signerInfos.Append(signer));
  }
  return kStatusOk;
}

int X509Codec::WriteSignedData(const SignedData& data, DerWriter& w) {
  TORNELL_TRY(w.OpenSequence());
  TORNELL_TRY(w.AppendInteger(data.version, 0x02));
  TORNELL_TRY(w.OpenSet());
  for (int i = 0; i < data.digestAlgorithms.Count(); ++i) {
    const AlgorithmIdentifier* algorithm = At(data.digestAlgorithms, i);
    if (algorithm == nullptr) return kStatusNoMemory;
    TORNELL_TRY(WriteAlgorithmIdentifier(algorithm, w.output, 1));
  }
  TORNELL_TRY(w.CloseSet());
  TORNELL_TRY(w.OpenSequence());
  TORNELL_TRY(w.AppendOid(data.contentType.CStr(), 0x06));
  if (!data.content.IsEmpty()) {
    TORNELL_TRY(w.Open(0xA0));
    TORNELL_TRY(w.AppendPrimitive(data.content.Data(), data.content.Length(), 0x04));
    TORNELL_TRY(w.Close());
  }
  TORNELL_TRY(w.CloseSequence());
  if (data.certificates.Count() > 0) {
    TORNELL_TRY(w.Open(0xA0));
    for (int i = 0; i < data.certificates.Count(); ++i) {
      const CertificateChoice* choice = At(data.certificates, i);
      if (choice == nullptr) return kStatusNoMemory;
      TORNELL_TRY(WriteCertificateChoice(*choice, w));
    }
    TORNELL_TRY(w.Close());
  }
  TORNELL_TRY(w.OpenSet());
  for (int i = 0; i < data.signerInfos.Count(); ++i) {
    const SignerInfo* signer = At(data.signerInfos, i);
    if (signer == nullptr) return kStatusNoMemory;
    TORNELL_TRY(WriteSignerInfo(*signer, w));
  }
  TORNELL_TRY(w.CloseSet());
  return w.CloseSequence();
}

}  // namespace tornell::pki
