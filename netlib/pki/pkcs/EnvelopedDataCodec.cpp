// The EnvelopedData body and its key-transport recipient infos.
#include "core/base/Status.h"
#include "pki/der/DerElement.h"
#include "pki/der/DerStatus.h"
#include "pki/pkcs/Pkcs7ContentInfo.h"
#include "pki/x509/DerChildren.h"
#include "pki/x509/X509Codec.h"

namespace tornell::pki {

namespace {

using detail::ChildAt;
using detail::ContentOf;
using detail::LoadSplit;
using detail::OidOf;
using detail::SplitChildAt;

constexpr const char* kOidRsaesOaep = "1.2.840.113549.1.1.7";

// The AlgorithmIdentifier inside an explicitly tagged field.
int TaggedAlgorithm(DerElement& field, AlgorithmIdentifier& out) {
  TORNELL_TRY(field.SplitChildren());
  DerElement* inner = nullptr;
  TORNELL_TRY(ChildAt(field, 0, inner));
  return X509Codec::ParseAlgorithmIdentifier(inner->body.output, out);
}

// RSAES-OAEP-params: hash, mask generation hash and label, by tag.
int ParseOaepParameters(const ByteString& parameters, KeyTransRecipientInfo& out) {
  DerElement node;
  TORNELL_TRY(LoadSplit(node, parameters));
  for (DerElement* e = node.firstChild; e != nullptr; e = e->nextSibling) {
    if (e->tag == 0xA0) {
      TORNELL_TRY(TaggedAlgorithm(*e, out.oaepHashAlgorithm));
    } else if (e->tag == 0xA1) {
      AlgorithmIdentifier mgf;
      TORNELL_TRY(TaggedAlgorithm(*e, mgf));
      TORNELL_TRY(X509Codec::ParseAlgorithmIdentifier(mgf.parameters, out.oaepMaskGenHashAlgorithm));
    } else if (e->tag == 0xA2) {
      AlgorithmIdentifier source;
      TORNELL_TRY(TaggedAlgorithm(*e, source));
      DerWriter label;
      TORNELL_TRY(label.output.Assign(source.parameters));
      TORNELL_TRY(label.ReadElement(0, out.oaepLabel));
    }
  }
  return kStatusOk;
}

}  // namespace

int Pkcs7ContentInfo::DecodeEnvelopedData(const ByteString& content, EnvelopedData& out) {
  DerElement node;
  TORNELL_TRY(LoadSplit(node, content));
  if (node.childCount != 3) return kDerMissing;
  DerElement* field = node.firstChild;
  TORNELL_TRY(field->body.ReadInt(0, out.version));
  field = field->nextSibling;
  TORNELL_TRY(field->SplitChildren());
  for (DerElement* e = field->firstChild; e != nullptr; e = e->nextSibling) {
    KeyTransRecipientInfo recipient;
    TORNELL_TRY(DecodeKeyTransRecipientInfo(e->body.output, recipient));
    TORNELL_TRY(out.recipientInfos.Append(recipient));
  }
  field = field->nextSibling;
  TORNELL_TRY(field->SplitChildren());
  EncryptedContentInfo& info = out.encryptedContentInfo;
  TORNELL_TRY(OidOf(*field, 0, info.contentType));
  DerElement* algorithm = nullptr;
  TORNELL_TRY(SplitChildAt(*field, 1, algorithm));
  TORNELL_TRY(OidOf(*algorithm, 0, info.contentEncryptionAlgorithm));
  TORNELL_TRY(ContentOf(*algorithm, 1, info.contentEncryptionParameters));
  return ContentOf(*field, 2, info.encryptedContent);
}

int Pkcs7ContentInfo::DecodeKeyTransRecipientInfo(const ByteString& element, KeyTransRecipientInfo& out) {
  DerElement node;
  TORNELL_TRY(LoadSplit(node, element));
  if (node.childCount < 4) return kDerMissing;
  DerElement* field = node.firstChild;
  TORNELL_TRY(field->body.ReadInt(0, out.version));
  field = field->nextSibling;
  // Only issuerAndSerialNumber is read; a subject key identifier's bytes
  // need not form elements, so they are not split.
  if (out.version == 0) {
    TORNELL_TRY(X509Codec::ParseIssuerAndSerial(field->body.output, &out.issuer, &out.serialNumber, nullptr));
  }
  field = field->nextSibling;
  TORNELL_TRY(X509Codec::ParseAlgorithmIdentifier(field->body.output, out.keyEncryptionAlgorithm));
  if (out.keyEncryptionAlgorithm.oid.Equals(kOidRsaesOaep) && !out.keyEncryptionAlgorithm.parameters.IsEmpty()) {
    TORNELL_TRY(ParseOaepParameters(out.keyEncryptionAlgorithm.parameters, out));
  }
  return field->nextSibling->body.ReadElement(0, out.encryptedKey);
}

}  // namespace tornell::pki
