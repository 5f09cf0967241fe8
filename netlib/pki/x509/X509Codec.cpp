// Certificates, their parts and the PKCS#6 / PKCS#7 certificate forms.
#include "pki/x509/X509Codec.h"

#include "core/base/Status.h"
#include "crypto/ecc/curve/EcCurve.h"
#include "pki/der/DerStatus.h"
#include "pki/x509/DerChildren.h"

namespace tornell::pki {

namespace {

using detail::ChildAt;
using detail::ContentOf;
using detail::LoadSplit;
using detail::OidOf;
using detail::SplitChildAt;

int TimeOf(const DerElement& node, int i, ByteString& text) {
  ByteString time;
  TORNELL_TRY(ContentOf(node, i, time));
  return X509Codec::TimeToText(time, text);
}

// Fields of a TBSCertificate that may stand between the public-key info and
// the extensions: issuerUniqueID and subjectUniqueID, implicitly tagged
// [1] and [2], in either tag form.
bool IsUniqueId(int tag) { return tag == 0x81 || tag == 0x82 || tag == 0xA1 || tag == 0xA2; }

int ParseExtensions(DerElement& wrapper, TbsCertificate& tbs) {
  TORNELL_TRY(wrapper.SplitChildren());
  DerElement* list = nullptr;
  TORNELL_TRY(SplitChildAt(wrapper, 0, list));
  for (DerElement* e = list->firstChild; e != nullptr; e = e->nextSibling) {
    TORNELL_TRY(tbs.extensionsEncoded.Add(e->body.output.Data(), e->body.output.Length()));
    CertificateExtension ext;
    TORNELL_TRY(X509Codec::ParseExtension(e->body.output, ext));
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
  TORNELL_TRY(ContentOf(key, 0, info.rsaKey.n));
  return ContentOf(key, 1, info.rsaKey.e);
}

int ParseSpkiDsa(const DerElement& node, const DerElement& algorithm, SubjectPublicKeyInfo& info) {
  DerElement* params = nullptr;
  TORNELL_TRY(SplitChildAt(algorithm, 1, params));
  if (params->childCount < 3) return kDerMissing;
  TORNELL_TRY(ContentOf(*params, 0, info.dsaKey.p));
  TORNELL_TRY(ContentOf(*params, 1, info.dsaKey.q));
  TORNELL_TRY(ContentOf(*params, 2, info.dsaKey.g));
  DerElement* bitString = nullptr;
  TORNELL_TRY(ChildAt(node, 1, bitString));
  DerWriter bits;
  TORNELL_TRY(bitString->body.ReadBitString(0, bits.output));
  return bits.ReadElement(0, info.dsaKey.y);
}

int ParseSpkiEc(const DerElement& node, const DerElement& algorithm, SubjectPublicKeyInfo& info) {
  DerElement* params = nullptr;
  TORNELL_TRY(ChildAt(algorithm, 1, params));
  TORNELL_TRY(X509Codec::ParseEcParameters(params->body.output.Data(), params->body.output.Length(), info.ecKey));
  DerElement* bitString = nullptr;
  TORNELL_TRY(ChildAt(node, 1, bitString));
  ByteString point;
  TORNELL_TRY(bitString->body.ReadBitString(0, point));
  return info.ecKey.SetPublicPoint(point);
}

int ParseCertificateInto(const void* data, int length, X509Certificate& cert, bool fullAlgorithm) {
  DerElement node;
  TORNELL_TRY(LoadSplit(node, data, length));
  if (node.childCount < 3) return kDerMissing;
  DerElement* tbs = node.firstChild;
  DerElement* algorithm = tbs->nextSibling;
  DerElement* signature = algorithm->nextSibling;
  TORNELL_TRY(cert.tbsEncoded.Assign(tbs->body.output));
  TORNELL_TRY(X509Codec::ParseTbsCertificate(tbs->body.output, cert.tbs));
  if (fullAlgorithm) {
    TORNELL_TRY(X509Codec::ParseAlgorithmIdentifier(algorithm->body.output, cert.signatureAlgorithm));
    return signature->body.ReadElement(0, cert.signatureValue);
  }
  TORNELL_TRY(algorithm->SplitChildren());
  TORNELL_TRY(OidOf(*algorithm, 0, cert.signatureAlgorithm.oid));
  return signature->body.ReadBitString(0, cert.signatureValue);
}

}  // namespace

int X509Certificate::Decode() { return ParseCertificateInto(encoded.Data(), encoded.Length(), *this, true); }

int X509Codec::ParseAlgorithmIdentifier(const ByteString& element, AlgorithmIdentifier& out) {
  DerElement node;
  TORNELL_TRY(LoadSplit(node, element));
  TORNELL_TRY(OidOf(node, 0, out.oid));
  if (node.childCount >= 2) TORNELL_TRY(out.parameters.Assign(node.Child(1)->body.output));
  return kStatusOk;
}

int X509Codec::WriteAlgorithmIdentifier(const AlgorithmIdentifier* id, ByteString& out, int withParameters) {
  if (id == nullptr) return kDerEncodeFailed;
  DerWriter w;
  TORNELL_TRY(w.OpenSequence());
  TORNELL_TRY(w.AppendOid(id->oid.CStr(), 0x06));
  if (withParameters != 0) {
    if (!id->parameters.IsEmpty()) {
      TORNELL_TRY(w.output.Append(id->parameters));
    } else {
      TORNELL_TRY(w.AppendNull(0x05));
    }
  }
  TORNELL_TRY(w.CloseSequence());
  return out.Append(w.output);
}

int X509Codec::ParseTbsCertificate(const ByteString& element, TbsCertificate& tbs) {
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
  TORNELL_TRY(DecodeDistinguishedName(field->body.output, tbs.issuer));

  TORNELL_TRY(SplitChildAt(node, k + 3, field));
  TORNELL_TRY(TimeOf(*field, 0, tbs.notBefore));
  TORNELL_TRY(TimeOf(*field, 1, tbs.notAfter));

  TORNELL_TRY(ChildAt(node, k + 4, field));
  TORNELL_TRY(DecodeDistinguishedName(field->body.output, tbs.subject));

  TORNELL_TRY(ChildAt(node, k + 5, field));
  TORNELL_TRY(field->body.ReadElement(0, tbs.subjectPublicKeyInfoContent));
  TORNELL_TRY(ParseSubjectPublicKeyInfo(field->body.output, tbs.subjectPublicKeyInfo));

  DerElement* optional = field->nextSibling;
  while (optional != nullptr && IsUniqueId(optional->tag)) optional = optional->nextSibling;
  if (optional != nullptr && optional->tag == 0xA3) TORNELL_TRY(ParseExtensions(*optional, tbs));
  return kStatusOk;
}

int X509Codec::WriteTbsCertificate(const TbsCertificate* tbs, DerWriter& w) {
  if (tbs == nullptr) return kDerEncodeFailed;
  TORNELL_TRY(w.OpenSequence());
  TORNELL_TRY(w.Open(0xA0));
  TORNELL_TRY(w.AppendInteger(tbs->version, 0x02));
  TORNELL_TRY(w.Close());
  ByteString serial;
  TORNELL_TRY(serial.AppendFromHex(tbs->serialNumber.CStr()));
  TORNELL_TRY(w.AppendIntegerBytes(serial.Data(), serial.Length()));
  TORNELL_TRY(WriteAlgorithmIdentifier(&tbs->signature, w.output, 1));
  TORNELL_TRY(EncodeDistinguishedName(tbs->issuer.CStr(), w));
  TORNELL_TRY(w.OpenSequence());
  TORNELL_TRY(WriteTime(&tbs->notBefore, w));
  TORNELL_TRY(WriteTime(&tbs->notAfter, w));
  TORNELL_TRY(w.CloseSequence());
  TORNELL_TRY(EncodeDistinguishedName(tbs->subject.CStr(), w));
  TORNELL_TRY(WriteSubjectPublicKeyInfo(&tbs->subjectPublicKeyInfo, w));
  auto& extensions = const_cast<PtrList<CertificateExtension>&>(tbs->extensions);
  if (extensions.Count() > 0) {
    TORNELL_TRY(w.Open(0xA3));
    TORNELL_TRY(w.OpenSequence());
    for (int i = 0; i < extensions.Count(); ++i) {
      const CertificateExtension* ext = extensions.Get(i);
      if (ext == nullptr) return kStatusNoMemory;
      TORNELL_TRY(WriteExtension(*ext, w));
    }
    TORNELL_TRY(w.CloseSequence());
    TORNELL_TRY(w.Close());
  }
  return w.CloseSequence();
}

int X509Codec::ParseCertificate(const void* data, int length, X509Certificate& cert) {
  TORNELL_TRY(cert.encoded.Set(data, length));
  return ParseCertificateInto(data, length, cert, false);
}

int X509Codec::ParseCertificate(const ByteString& encoded, X509Certificate& cert) {
  return ParseCertificate(encoded.Data(), encoded.Length(), cert);
}

int X509Codec::WriteCertificate(const X509Certificate& cert, DerWriter& w) {
  if (!cert.encoded.IsEmpty()) return w.output.Append(cert.encoded);
  TORNELL_TRY(w.OpenSequence());
  TORNELL_TRY(WriteTbsCertificate(&cert.tbs, w));
  TORNELL_TRY(WriteAlgorithmIdentifier(&cert.signatureAlgorithm, w.output, 1));
  TORNELL_TRY(w.AppendBitString(cert.signatureValue.Data(), cert.signatureValue.Length(), 0x03));
  return w.CloseSequence();
}

int X509Codec::ParseSubjectPublicKeyInfo(const ByteString& element, SubjectPublicKeyInfo& info) {
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

int X509Codec::WriteSubjectPublicKeyInfo(const SubjectPublicKeyInfo* info, DerWriter& w) {
  if (info == nullptr) return kDerEncodeFailed;
  TORNELL_TRY(w.OpenSequence());
  TORNELL_TRY(WriteAlgorithmIdentifier(&info->algorithm, w.output, 1));
  if (!info->rsaKey.n.IsEmpty()) {
    DerWriter key;
    TORNELL_TRY(key.OpenSequence());
    TORNELL_TRY(key.AppendIntegerBytes(info->rsaKey.n.Data(), info->rsaKey.n.Length()));
    TORNELL_TRY(key.AppendIntegerBytes(info->rsaKey.e.Data(), info->rsaKey.e.Length()));
    TORNELL_TRY(key.CloseSequence());
    TORNELL_TRY(w.AppendBitString(key.output.Data(), key.output.Length(), 0x03));
  } else {
    TORNELL_TRY(w.AppendBitString(nullptr, 0, 0x03));
  }
  return w.CloseSequence();
}

int X509Codec::TimeToText(const ByteString& time, ByteString& text) {
  const int n = time.Length();
  const char* t = time.Data();
  if (n < 2) return kDerMalformed;
  ByteString result;
  if (n == 13) {
    if (t[0] < '0' || t[0] > '9' || t[1] < '0' || t[1] > '9') return kDerMalformed;
    const int yy = (t[0] - '0') * 10 + (t[1] - '0');
    TORNELL_TRY(result.AppendInt(yy < 50 ? 2000 + yy : 1900 + yy));
  } else {
    TORNELL_TRY(result.Append(t, 2));
  }
  TORNELL_TRY(result.Append(t + 2, n - 2));
  TORNELL_TRY(result.TrimChar('Z'));
  return text.Set(result.Data(), result.Length());
}

int X509Codec::WriteTime(const ByteString* text, DerWriter& w) {
  if (text == nullptr) return kDerEncodeFailed;
  int year = 0;
  for (int i = 0; i < 4 && i < text->Length(); ++i) {
    const char c = text->Data()[i];
    if (c < '0' || c > '9') break;
    year = year * 10 + (c - '0');
  }
  ByteString content;
  if (year > 2049) {
    TORNELL_TRY(content.Append(*text));
  } else if (text->Length() > 2) {
    TORNELL_TRY(content.Append(text->Data() + 2, text->Length() - 2));
  }
  TORNELL_TRY(content.AppendByte('Z'));
  return w.AppendPrimitive(content.Data(), content.Length(), year > 2049 ? 0x18 : 0x17);
}

int X509Codec::ParseExtension(const ByteString& element, CertificateExtension& ext) {
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

int X509Codec::WriteExtension(const CertificateExtension& ext, DerWriter& w) {
  TORNELL_TRY(w.OpenSequence());
  TORNELL_TRY(w.AppendOid(ext.extnId.CStr(), 0x06));
  if (ext.critical != 0) TORNELL_TRY(w.AppendBoolean(1, 0x01));
  TORNELL_TRY(w.output.Append(ext.extnValue));
  return w.CloseSequence();
}

int X509Codec::ParseExtendedCertificateInfo(const void* data, int length, ExtendedCertificateInfo& info) {
  DerElement node;
  TORNELL_TRY(LoadSplit(node, data, length));
  if (node.childCount <= 2) return kDerMissing;
  TORNELL_TRY(node.firstChild->body.ReadInt(0, info.version));
  const ByteString& cert = node.Child(1)->body.output;
  TORNELL_TRY(ParseCertificate(cert.Data(), cert.Length(), info.certificate));
  DerElement* set = nullptr;
  TORNELL_TRY(SplitChildAt(node, 2, set));
  for (DerElement* a = set->firstChild; a != nullptr; a = a->nextSibling) {
    CertificateExtension attribute;
    TORNELL_TRY(ParseExtension(a->body.output, attribute));
    TORNELL_TRY(info.attributes.Append(attribute));
  }
  return kStatusOk;
}

int X509Codec::WriteExtendedCertificateInfo(const ExtendedCertificateInfo& info, DerWriter& w) {
  TORNELL_TRY(w.OpenSequence());
  TORNELL_TRY(w.AppendInteger(info.version, 0x02));
  TORNELL_TRY(WriteCertificate(info.certificate, w));
  TORNELL_TRY(w.OpenSet());
  auto& attributes = const_cast<PtrList<CertificateExtension>&>(info.attributes);
  for (int i = 0; i < attributes.Count(); ++i) {
    const CertificateExtension* a = attributes.Get(i);
    if (a == nullptr) return kStatusNoMemory;
    TORNELL_TRY(WriteExtension(*a, w));
  }
  TORNELL_TRY(w.Close());
  return w.Close();
}

int X509Codec::ParseExtendedCertificate(const void* data, int length, ExtendedCertificate& cert) {
  DerElement node;
  TORNELL_TRY(LoadSplit(node, data, length));
  if (node.childCount < 3) return kDerMissing;
  const ByteString& info = node.firstChild->body.output;
  TORNELL_TRY(ParseExtendedCertificateInfo(info.Data(), info.Length(), cert.info));
  TORNELL_TRY(ParseAlgorithmIdentifier(node.Child(1)->body.output, cert.signatureAlgorithm));
  return node.Child(2)->body.ReadBitString(0, cert.signature);
}

int X509Codec::WriteExtendedCertificate(const ExtendedCertificate& cert, DerWriter& w) {
  TORNELL_TRY(w.Open(0xA0));
  TORNELL_TRY(WriteExtendedCertificateInfo(cert.info, w));
  TORNELL_TRY(WriteAlgorithmIdentifier(&cert.signatureAlgorithm, w.output, 1));
  TORNELL_TRY(w.AppendBitString(cert.signature.Data(), cert.signature.Length(), 0x03));
  return w.Close();
}

int X509Codec::ParseCertificateChoice(const void* data, int length, CertificateChoice& choice) {
  if (data == nullptr || length < 1) return kStatusOk;
  const int first = static_cast<const unsigned char*>(data)[0];
  if (first == 0xA0) return ParseExtendedCertificate(data, length, choice.extendedCertificate);
  if (first == 0x30) return ParseCertificate(data, length, choice.certificate);
  return kStatusOk;
}

int X509Codec::WriteCertificateChoice(const CertificateChoice& choice, DerWriter& w) {
  if (!choice.certificate.signatureValue.IsEmpty()) return WriteCertificate(choice.certificate, w);
  if (!choice.extendedCertificate.signature.IsEmpty()) return WriteExtendedCertificate(choice.extendedCertificate, w);
  return kStatusOk;
}

int X509Codec::ParseEcParameters(const void* data, int length, EcKey& key) {
  if (data == nullptr || length < 1) return kStatusOk;
  const int first = static_cast<const unsigned char*>(data)[0];
  if (first == 0x06) {
    DerWriter oidElement;
    TORNELL_TRY(oidElement.output.Set(data, length));
    ByteString oid;
    TORNELL_TRY(oidElement.ReadOid(0, oid));
    return key.SetCurveByOid(oid.CStr());
  }
  if (first != 0x30) return kStatusOk;
  DerElement node;
  TORNELL_TRY(LoadSplit(node, data, length));
  if (node.childCount < 5) return kDerMissing;
  DerElement* field = nullptr;
  TORNELL_TRY(SplitChildAt(node, 1, field));
  ByteString p, a, b, seed, base, order;
  DerElement* prime = nullptr;
  TORNELL_TRY(ChildAt(*field, 1, prime));
  TORNELL_TRY(prime->body.ReadIntegerBytes(0, p));
  DerElement* curve = nullptr;
  TORNELL_TRY(SplitChildAt(node, 2, curve));
  TORNELL_TRY(ContentOf(*curve, 0, a));
  TORNELL_TRY(ContentOf(*curve, 1, b));
  if (curve->childCount > 2) TORNELL_TRY(curve->Child(2)->body.ReadBitString(0, seed));
  TORNELL_TRY(ContentOf(node, 3, base));
  TORNELL_TRY(node.Child(4)->body.ReadIntegerBytes(0, order));
  int cofactor = 1;
  if (node.childCount > 5) TORNELL_TRY(node.Child(5)->body.ReadInt(0, cofactor));
  if (node.childCount > 6) {
    AlgorithmIdentifier hash;
    TORNELL_TRY(ParseAlgorithmIdentifier(node.Child(6)->body.output, hash));
  }
  EcCurve explicitCurve;
  TORNELL_TRY(explicitCurve.SetParameters(p, a, b, base, seed, order, cofactor));
  key.curveIndex = explicitCurve.IdentifyCurve();
  return kStatusOk;
}

int X509Codec::ParseIssuerAndSerial(const ByteString& element, ByteString* issuer, ByteString* serial,
                                    ByteString* alternativeIssuer) {
  DerElement node;
  TORNELL_TRY(LoadSplit(node, element));
  DerElement* name = nullptr;
  TORNELL_TRY(ChildAt(node, 0, name));
  if (alternativeIssuer != nullptr) return DecodeDistinguishedName(name->body.output, *alternativeIssuer);
  if (issuer != nullptr) TORNELL_TRY(DecodeDistinguishedName(name->body.output, *issuer));
  DerElement* number = nullptr;
  TORNELL_TRY(ChildAt(node, 1, number));
  if (serial == nullptr) return kStatusOk;
  return number->body.ReadIntegerBytes(0, *serial);
}

}  // namespace tornell::pki
