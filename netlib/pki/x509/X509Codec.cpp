// Certificates, their parts and the PKCS#6 / PKCS#7 certificate forms.
#include "pki/x509/X509Codec.h"

#include <cstring>

#include "core/base/Status.h"
#include "core/text/TextUtils.h"
#include "crypto/ecc/curve/EcCurve.h"
#include "pki/der/DerStatus.h"
#include "pki/x509/CertificateWalk.h"
#include "pki/x509/DerChildren.h"

namespace tornell::pki {

namespace {

using detail::ChildAt;
using detail::ContentOf;
using detail::LoadSplit;
using detail::OidOf;
using detail::SplitChildAt;

}  // namespace

int X509Certificate::Decode() { return walk::ReadCertificate(DerRunOf(encoded), *this, true); }

int X509Codec::ParseAlgorithmIdentifier(const ByteString& element, AlgorithmIdentifier& out) {
  return walk::ReadAlgorithmIdentifier(DerRunOf(element), out);
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
  return walk::ReadTbsCertificate(DerRunOf(element), tbs);
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
  return walk::ReadCertificate(DerRunOf(data, size_t(length > 0 ? length : 0)), cert, false);
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
  return walk::ReadSubjectPublicKeyInfo(DerRunOf(element), info);
}

int X509Codec::WriteSubjectPublicKeyInfo(const SubjectPublicKeyInfo* info, DerWriter& w) {
  if (info == nullptr) return kDerEncodeFailed;
  TORNELL_TRY(w.OpenSequence());
  TORNELL_TRY(WriteAlgorithmIdentifier(&info->algorithm, w.output, 1));
  if (!info->Rsa().n.IsEmpty()) {
    DerWriter key;
    TORNELL_TRY(key.OpenSequence());
    TORNELL_TRY(key.AppendIntegerBytes(info->Rsa().n.Data(), info->Rsa().n.Length()));
    TORNELL_TRY(key.AppendIntegerBytes(info->Rsa().e.Data(), info->Rsa().e.Length()));
    TORNELL_TRY(key.CloseSequence());
    TORNELL_TRY(w.AppendBitString(key.output.Data(), key.output.Length(), 0x03));
  } else {
    TORNELL_TRY(w.AppendBitString(nullptr, 0, 0x03));
  }
  return w.CloseSequence();
}

int X509Codec::TimeToText(const ByteString& time, ByteString& text) {
  return TimeToText(time.Data(), time.Length(), text);
}

int X509Codec::TimeToText(const char* t, int n, ByteString& text) {
  if (n < 2) return kDerMalformed;
  // Every certificate read has two of these: kept off the printf route.
  ByteString result;
  if (n == 13) {
    if (t[0] < '0' || t[0] > '9' || t[1] < '0' || t[1] > '9') return kDerMalformed;
    const int yy = (t[0] - '0') * 10 + (t[1] - '0');
    char year[8];
    char* at = year;
    FormatPaddedUnsigned(&at, unsigned(yy < 50 ? 2000 + yy : 1900 + yy), 0, '0');
    TORNELL_TRY(result.Append(year, int(at - year)));
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
  return walk::ReadExtension(DerRunOf(element), ext);
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
    ByteString oid;
    TORNELL_TRY(DerOidTextAt(DerRunOf(data, size_t(length)), oid));
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
