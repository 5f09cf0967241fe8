#include "TreeCertificateReader.h"

#include <cstring>

#include "core/base/Status.h"
#include "pki/der/DerStatus.h"
#include "pki/x509/DerChildren.h"
#include "pki/x509/X509Codec.h"

namespace treereader {

using namespace tornell;
using namespace tornell::pki;
using tornell::pki::detail::ChildAt;
using tornell::pki::detail::ContentOf;
using tornell::pki::detail::LoadSplit;
using tornell::pki::detail::OidOf;
using tornell::pki::detail::SplitChildAt;

namespace {

int SplitFirst(DerElement& node, DerElement*& first) {
  TORNELL_TRY(node.SplitChildren());
  first = node.firstChild;
  return first == nullptr ? kDerMissing : kStatusOk;
}

int TimeOf(const DerElement& node, int i, ByteString& text) {
  ByteString time;
  TORNELL_TRY(ContentOf(node, i, time));
  return X509Codec::TimeToText(time, text);
}

bool IsUniqueId(int tag) { return tag == 0x81 || tag == 0x82 || tag == 0xA1 || tag == 0xA2; }

int ParseAlgorithmIdentifier(const ByteString& element, AlgorithmIdentifier& out) {
  DerElement node;
  TORNELL_TRY(LoadSplit(node, element));
  TORNELL_TRY(OidOf(node, 0, out.oid));
  if (node.childCount >= 2) TORNELL_TRY(out.parameters.Assign(node.Child(1)->body.output));
  return kStatusOk;
}

int ParseExtension(const ByteString& element, CertificateExtension& ext) {
  DerElement node;
  TORNELL_TRY(LoadSplit(node, element));
  TORNELL_TRY(OidOf(node, 0, ext.extnId));
  ext.critical = 0;
  DerElement* value = nullptr;
  TORNELL_TRY(ChildAt(node, 1, value));
  if (value->tag == 0x01) {
    ByteString flag;
    TORNELL_TRY(value->body.ReadElement(0, flag));
    ext.critical = flag.ByteAt(0) != 0 ? 1 : 0;
    TORNELL_TRY(ChildAt(node, 2, value));
  }
  return ext.extnValue.Assign(value->body.output);
}

int ParseExtensions(DerElement& wrapper, TbsCertificate& tbs) {
  TORNELL_TRY(wrapper.SplitChildren());
  DerElement* list = nullptr;
  TORNELL_TRY(SplitChildAt(wrapper, 0, list));
  for (DerElement* e = list->firstChild; e != nullptr; e = e->nextSibling) {
    TORNELL_TRY(tbs.extensionsEncoded.Add(e->body.output.Data(), e->body.output.Length()));
    CertificateExtension ext;
    TORNELL_TRY(ParseExtension(e->body.output, ext));
    TORNELL_TRY(tbs.extensions.Append(ext));
  }
  return kStatusOk;
}

int ParseSpkiRsa(const DerElement& node, SubjectPublicKeyInfo& info) {
  DerElement* bitString = nullptr;
  TORNELL_TRY(ChildAt(node, 1, bitString));
  ByteString bits;
  TORNELL_TRY(bitString->body.ReadBitString(0, bits));
  DerElement key;
  TORNELL_TRY(LoadSplit(key, bits));
  if (key.childCount < 2) return kStatusOk;
  TORNELL_TRY(ContentOf(key, 0, info.Rsa().n));
  return ContentOf(key, 1, info.Rsa().e);
}

int ParseSpkiDsa(const DerElement& node, const DerElement& algorithm, SubjectPublicKeyInfo& info) {
  DerElement* params = nullptr;
  TORNELL_TRY(SplitChildAt(algorithm, 1, params));
  if (params->childCount < 3) return kDerMissing;
  TORNELL_TRY(ContentOf(*params, 0, info.Dsa().p));
  TORNELL_TRY(ContentOf(*params, 1, info.Dsa().q));
  TORNELL_TRY(ContentOf(*params, 2, info.Dsa().g));
  DerElement* bitString = nullptr;
  TORNELL_TRY(ChildAt(node, 1, bitString));
  DerWriter bits;
  TORNELL_TRY(bitString->body.ReadBitString(0, bits.output));
  return bits.ReadElement(0, info.Dsa().y);
}

int ParseSpkiEc(const DerElement& node, const DerElement& algorithm, SubjectPublicKeyInfo& info) {
  DerElement* params = nullptr;
  TORNELL_TRY(ChildAt(algorithm, 1, params));
  TORNELL_TRY(X509Codec::ParseEcParameters(params->body.output.Data(), params->body.output.Length(), info.Ec()));
  DerElement* bitString = nullptr;
  TORNELL_TRY(ChildAt(node, 1, bitString));
  ByteString point;
  TORNELL_TRY(bitString->body.ReadBitString(0, point));
  return info.Ec().SetPublicPoint(point);
}

int ParseSubjectPublicKeyInfo(const ByteString& element, SubjectPublicKeyInfo& info) {
  DerElement node;
  TORNELL_TRY(LoadSplit(node, element));
  if (node.childCount != 2) return kDerMissing;
  DerElement* algorithm = node.firstChild;
  TORNELL_TRY(algorithm->SplitChildren());
  TORNELL_TRY(OidOf(*algorithm, 0, info.algorithm.oid));
  const ByteString name(info.KeyAlgorithmName());
  if (name.Equals("RSA")) return ParseSpkiRsa(node, info);
  if (name.Equals("DSA")) return ParseSpkiDsa(node, *algorithm, info);
  if (name.Equals("IdEcPublicKey")) return ParseSpkiEc(node, *algorithm, info);
  return kStatusOk;
}

int ParseTbsCertificate(const ByteString& element, TbsCertificate& tbs) {
  DerElement node;
  TORNELL_TRY(LoadSplit(node, element));
  DerElement* first = nullptr;
  TORNELL_TRY(ChildAt(node, 0, first));
  int k = 0;
  if (first->IsConstructed()) {
    TORNELL_TRY(first->SplitChildren());
    DerElement* value = nullptr;
    TORNELL_TRY(ChildAt(*first, 0, value));
    TORNELL_TRY(value->body.ReadInt(0, tbs.version));
    k = 1;
  }
  DerElement* field = nullptr;
  TORNELL_TRY(ChildAt(node, k, field));
  TORNELL_TRY(tbs.serialNumberEncoded.Assign(field->body.output));
  TORNELL_TRY(tbs.serialNumber.Clear());
  ByteString serial;
  TORNELL_TRY(field->body.ReadIntegerBytes(0, serial));
  TORNELL_TRY(tbs.serialNumber.AppendHex(serial.Data(), serial.Length()));
  TORNELL_TRY(ChildAt(node, k + 1, field));
  TORNELL_TRY(ParseAlgorithmIdentifier(field->body.output, tbs.signature));
  TORNELL_TRY(ChildAt(node, k + 2, field));
  TORNELL_TRY(tbs.issuerEncoded.Assign(field->body.output));
  TORNELL_TRY(DecodeName(field->body.output, tbs.issuer));
  TORNELL_TRY(SplitChildAt(node, k + 3, field));
  TORNELL_TRY(TimeOf(*field, 0, tbs.notBefore));
  TORNELL_TRY(TimeOf(*field, 1, tbs.notAfter));
  TORNELL_TRY(ChildAt(node, k + 4, field));
  TORNELL_TRY(DecodeName(field->body.output, tbs.subject));
  TORNELL_TRY(ChildAt(node, k + 5, field));
  TORNELL_TRY(field->body.ReadElement(0, tbs.subjectPublicKeyInfoContent));
  TORNELL_TRY(ParseSubjectPublicKeyInfo(field->body.output, tbs.subjectPublicKeyInfo));
  DerElement* optional = field->nextSibling;
  while (optional != nullptr && IsUniqueId(optional->tag)) optional = optional->nextSibling;
  if (optional != nullptr && optional->tag == 0xA3) TORNELL_TRY(ParseExtensions(*optional, tbs));
  return kStatusOk;
}

bool SameKey(const SubjectPublicKeyInfo& a, const SubjectPublicKeyInfo& b) {
  return a.algorithm.oid.Equals(b.algorithm.oid) && a.algorithm.parameters.Equals(b.algorithm.parameters) &&
         a.Rsa().n.Equals(b.Rsa().n) && a.Rsa().e.Equals(b.Rsa().e) && a.Dsa().p.Equals(b.Dsa().p) &&
         a.Dsa().q.Equals(b.Dsa().q) && a.Dsa().g.Equals(b.Dsa().g) && a.Dsa().y.Equals(b.Dsa().y) &&
         a.Ec().curveIndex == b.Ec().curveIndex && a.Ec().X.Equals(b.Ec().X) && a.Ec().Y.Equals(b.Ec().Y);
}

}  // namespace

int DecodeName(const ByteString& name, ByteString& text) {
  DerElement root;
  TORNELL_TRY(root.body.output.Assign(name));
  TORNELL_TRY(root.SplitChildren());
  TORNELL_TRY(text.Clear());
  StringList pairs;
  for (DerElement* rdn = root.firstChild; rdn != nullptr; rdn = rdn->nextSibling) {
    DerElement* atv = nullptr;
    TORNELL_TRY(SplitFirst(*rdn, atv));
    DerElement* type = nullptr;
    TORNELL_TRY(SplitFirst(*atv, type));
    if (type->nextSibling == nullptr) return kDerMissing;
    ByteString oid;
    TORNELL_TRY(type->body.ReadOid(0, oid));
    TORNELL_TRY(pairs.Add(oid.Data(), oid.Length()));
    const ByteString& value = type->nextSibling->body.output;
    TORNELL_TRY(pairs.Add(value.Data(), value.Length()));
  }
  return X509Codec::DnPairsToText(pairs, text);
}

int DecodeCertificate(const void* data, int length, X509Certificate& cert, bool fullAlgorithm) {
  DerElement node;
  TORNELL_TRY(LoadSplit(node, data, length));
  if (node.childCount < 3) return kDerMissing;
  DerElement* tbs = node.firstChild;
  DerElement* algorithm = tbs->nextSibling;
  DerElement* signature = algorithm->nextSibling;
  TORNELL_TRY(cert.tbsEncoded.Assign(tbs->body.output));
  TORNELL_TRY(ParseTbsCertificate(tbs->body.output, cert.tbs));
  if (fullAlgorithm) {
    TORNELL_TRY(ParseAlgorithmIdentifier(algorithm->body.output, cert.signatureAlgorithm));
    return signature->body.ReadElement(0, cert.signatureValue);
  }
  TORNELL_TRY(algorithm->SplitChildren());
  TORNELL_TRY(OidOf(*algorithm, 0, cert.signatureAlgorithm.oid));
  return signature->body.ReadBitString(0, cert.signatureValue);
}

const char* FirstDifference(const X509Certificate& a, const X509Certificate& b) {
  const TbsCertificate& s = a.tbs;
  const TbsCertificate& t = b.tbs;
  if (!a.tbsEncoded.Equals(b.tbsEncoded)) return "tbsEncoded";
  if (s.version != t.version) return "version";
  if (!s.serialNumberEncoded.Equals(t.serialNumberEncoded)) return "serialNumberEncoded";
  if (!s.serialNumber.Equals(t.serialNumber)) return "serialNumber";
  if (!s.signature.oid.Equals(t.signature.oid)) return "signature";
  if (!s.signature.parameters.Equals(t.signature.parameters)) return "signature parameters";
  if (!s.issuer.Equals(t.issuer)) return "issuer";
  if (!s.issuerEncoded.Equals(t.issuerEncoded)) return "issuerEncoded";
  if (!s.notBefore.Equals(t.notBefore)) return "notBefore";
  if (!s.notAfter.Equals(t.notAfter)) return "notAfter";
  if (!s.subject.Equals(t.subject)) return "subject";
  if (!s.subjectPublicKeyInfoContent.Equals(t.subjectPublicKeyInfoContent)) return "subjectPublicKeyInfoContent";
  if (!SameKey(s.subjectPublicKeyInfo, t.subjectPublicKeyInfo)) return "subjectPublicKeyInfo";
  if (s.extensionsEncoded.Count() != t.extensionsEncoded.Count()) return "extensionsEncoded count";
  for (int i = 0; i < s.extensionsEncoded.Count(); ++i) {
    if (s.extensionsEncoded.EntryLength(i) != t.extensionsEncoded.EntryLength(i) ||
        std::memcmp(s.extensionsEncoded.Get(i), t.extensionsEncoded.Get(i),
                    size_t(s.extensionsEncoded.EntryLength(i))) != 0) {
      return "extensionsEncoded";
    }
  }
  auto& se = const_cast<PtrList<CertificateExtension>&>(s.extensions);
  auto& te = const_cast<PtrList<CertificateExtension>&>(t.extensions);
  if (se.Count() != te.Count()) return "extensions count";
  for (int i = 0; i < se.Count(); ++i) {
    const CertificateExtension* x = se.Get(i);
    const CertificateExtension* y = te.Get(i);
    if (x == nullptr || y == nullptr) return "extension missing";
    if (!x->extnId.Equals(y->extnId) || x->critical != y->critical || !x->extnValue.Equals(y->extnValue)) {
      return "extension";
    }
  }
  if (!a.signatureAlgorithm.oid.Equals(b.signatureAlgorithm.oid)) return "signatureAlgorithm";
  if (!a.signatureAlgorithm.parameters.Equals(b.signatureAlgorithm.parameters)) return "signatureAlgorithm parameters";
  if (!a.signatureValue.Equals(b.signatureValue)) return "signatureValue";
  return "";
}

}  // namespace treereader
