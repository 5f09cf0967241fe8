#include "pki/x509/CertificateWalk.h"

#include <cstring>

#include "core/base/Status.h"
#include "pki/der/DerStatus.h"
#include "pki/x509/X509Codec.h"

namespace tornell::pki::walk {

namespace {

// The children of a split node taken in order: 447 once they run out.
struct ChildCursor {
  DerRun run;
  int left = 0;

  explicit ChildCursor(const DerNode& node) : run(node.children), left(node.count) {}
  int Take(DerRun& child) {
    if (left == 0) return kDerMissing;
    child = DerTakeChild(run);
    --left;
    return kStatusOk;
  }
};

bool IsConstructed(DerRun element) { return (element.at[0] & 0x20) != 0; }

// Fields of a TBSCertificate that may stand between the public-key info and
// the extensions: issuerUniqueID and subjectUniqueID, implicitly tagged
// [1] and [2], in either tag form.
bool IsUniqueId(int tag) { return tag == 0x81 || tag == 0x82 || tag == 0xA1 || tag == 0xA2; }

int OidAt(const DerNode& node, int i, ByteString& out) {
  DerRun child;
  TORNELL_TRY(DerChildAt(node, i, child));
  return DerOidTextAt(child, out);
}

int ContentAt(const DerNode& node, int i, ByteString& out) {
  DerRun child;
  TORNELL_TRY(DerChildAt(node, i, child));
  return DerContentAt(child, out);
}

int TimeAt(const DerNode& node, int i, ByteString& text) {
  DerRun child, time;
  TORNELL_TRY(DerChildAt(node, i, child));
  TORNELL_TRY(DerContentAt(child, time));
  return X509Codec::TimeToText(reinterpret_cast<const char*>(time.at), time.Length(), text);
}

int ReadExtensions(DerRun wrapper, TbsCertificate& tbs) {
  DerNode outer;
  TORNELL_TRY(DerSplit(wrapper, outer));
  DerRun listBytes;
  TORNELL_TRY(DerChildAt(outer, 0, listBytes));
  DerNode list;
  TORNELL_TRY(DerSplit(listBytes, list));
  ChildCursor cursor(list);
  DerRun e;
  while (cursor.Take(e) == kStatusOk) {
    TORNELL_TRY(tbs.extensionsEncoded.Add(e.at, e.Length()));
    CertificateExtension ext;
    TORNELL_TRY(ReadExtension(e, ext));
    TORNELL_TRY(tbs.extensions.Append(ext));
  }
  return kStatusOk;
}

int ReadSpkiRsa(DerRun bitString, SubjectPublicKeyInfo& info) {
  DerRun bits;
  TORNELL_TRY(DerBitStringAt(bitString, bits));
  DerNode key;
  TORNELL_TRY(DerSplit(bits, key));
  if (key.count < 2) return kStatusOk;
  TORNELL_TRY(ContentAt(key, 0, info.Rsa().n));
  return ContentAt(key, 1, info.Rsa().e);
}

int ReadSpkiDsa(DerRun bitString, const DerNode& algorithm, SubjectPublicKeyInfo& info) {
  DerRun paramsBytes;
  TORNELL_TRY(DerChildAt(algorithm, 1, paramsBytes));
  DerNode params;
  TORNELL_TRY(DerSplit(paramsBytes, params));
  if (params.count < 3) return kDerMissing;
  TORNELL_TRY(ContentAt(params, 0, info.Dsa().p));
  TORNELL_TRY(ContentAt(params, 1, info.Dsa().q));
  TORNELL_TRY(ContentAt(params, 2, info.Dsa().g));
  DerRun bits;
  TORNELL_TRY(DerBitStringAt(bitString, bits));
  return DerContentAt(bits, info.Dsa().y);
}

int ReadSpkiEc(DerRun bitString, const DerNode& algorithm, SubjectPublicKeyInfo& info) {
  DerRun params;
  TORNELL_TRY(DerChildAt(algorithm, 1, params));
  TORNELL_TRY(X509Codec::ParseEcParameters(params.at, params.Length(), info.Ec()));
  ByteString point;
  TORNELL_TRY(DerBitStringAt(bitString, point));
  return info.Ec().SetPublicPoint(point);
}

// The type and value of the first attribute of a relative name.
int FirstAttribute(DerRun rdn, DerRun& type, DerRun& value) {
  DerNode set;
  TORNELL_TRY(DerSplit(rdn, set));
  DerRun atv;
  if (DerChildAt(set, 0, atv) != kStatusOk) return kDerMissing;
  DerNode pair;
  TORNELL_TRY(DerSplit(atv, pair));
  if (pair.count < 2) return kDerMissing;
  ChildCursor cursor(pair);
  TORNELL_TRY(cursor.Take(type));
  return cursor.Take(value);
}

}  // namespace

int ReadAlgorithmIdentifier(DerRun bytes, AlgorithmIdentifier& out) {
  DerNode node;
  TORNELL_TRY(DerSplit(bytes, node));
  TORNELL_TRY(OidAt(node, 0, out.oid));
  DerRun parameters;
  if (DerChildAt(node, 1, parameters) == kStatusOk) TORNELL_TRY(out.parameters.Set(parameters.at, parameters.Length()));
  return kStatusOk;
}

int ReadExtension(DerRun bytes, CertificateExtension& ext) {
  DerNode node;
  TORNELL_TRY(DerSplit(bytes, node));
  TORNELL_TRY(OidAt(node, 0, ext.extnId));
  ext.critical = 0;
  DerRun value;
  TORNELL_TRY(DerChildAt(node, 1, value));
  if (value.at[0] == 0x01) {
    DerRun flag;
    TORNELL_TRY(DerContentAt(value, flag));
    ext.critical = !flag.Empty() && flag.at[0] != 0 ? 1 : 0;
    TORNELL_TRY(DerChildAt(node, 2, value));
  }
  return ext.extnValue.Set(value.at, value.Length());
}

int ReadSubjectPublicKeyInfo(DerRun bytes, SubjectPublicKeyInfo& info) {
  DerNode node;
  TORNELL_TRY(DerSplit(bytes, node));
  if (node.count != 2) return kDerMissing;
  ChildCursor cursor(node);
  DerRun algorithmBytes, bitString;
  TORNELL_TRY(cursor.Take(algorithmBytes));
  TORNELL_TRY(cursor.Take(bitString));
  DerNode algorithm;
  TORNELL_TRY(DerSplit(algorithmBytes, algorithm));
  TORNELL_TRY(OidAt(algorithm, 0, info.algorithm.oid));
  const char* name = info.KeyAlgorithmName();
  if (std::strcmp(name, "RSA") == 0) return ReadSpkiRsa(bitString, info);
  if (std::strcmp(name, "DSA") == 0) return ReadSpkiDsa(bitString, algorithm, info);
  if (std::strcmp(name, "IdEcPublicKey") == 0) return ReadSpkiEc(bitString, algorithm, info);
  return kStatusOk;
}

int ReadDistinguishedName(DerRun bytes, ByteString& text) {
  DerNode root;
  TORNELL_TRY(DerSplit(bytes, root));
  TORNELL_TRY(text.Clear());
  // The whole structure is checked before any text is written, as the pair
  // list was collected first; the first attributes found are kept for the text.
  constexpr int kKept = 16;
  DerRun types[kKept], values[kKept];
  ChildCursor check(root);
  DerRun rdn, type, value;
  for (int i = 0; check.Take(rdn) == kStatusOk; ++i) {
    TORNELL_TRY(FirstAttribute(rdn, type, value));
    TORNELL_TRY(DerOidCheckAt(type));
    if (i < kKept) {
      types[i] = type;
      values[i] = value;
    }
  }
  ChildCursor cursor(root);
  ByteString oid;
  for (int i = 0; cursor.Take(rdn) == kStatusOk; ++i) {
    if (i < kKept) {
      type = types[i];
      value = values[i];
    } else {
      TORNELL_TRY(FirstAttribute(rdn, type, value));
    }
    TORNELL_TRY(DerOidTextAt(type, oid));
    TORNELL_TRY(X509Codec::AppendDnPair(oid, value.at, value.Length(), text));
  }
  return kStatusOk;
}

int ReadTbsCertificate(DerRun bytes, TbsCertificate& tbs) {
  DerNode node;
  TORNELL_TRY(DerSplit(bytes, node));
  ChildCursor cursor(node);
  DerRun field;
  TORNELL_TRY(cursor.Take(field));
  if (IsConstructed(field)) {
    DerNode version;
    TORNELL_TRY(DerSplit(field, version));
    DerRun value;
    TORNELL_TRY(DerChildAt(version, 0, value));
    TORNELL_TRY(DerIntAt(value, tbs.version));
    TORNELL_TRY(cursor.Take(field));
  }
  TORNELL_TRY(tbs.serialNumberEncoded.Set(field.at, field.Length()));
  TORNELL_TRY(tbs.serialNumber.Clear());
  ByteString serial;
  TORNELL_TRY(DerIntegerBytesAt(field, serial));
  TORNELL_TRY(tbs.serialNumber.AppendHex(serial.Data(), serial.Length()));

  TORNELL_TRY(cursor.Take(field));
  TORNELL_TRY(ReadAlgorithmIdentifier(field, tbs.signature));

  TORNELL_TRY(cursor.Take(field));
  TORNELL_TRY(tbs.issuerEncoded.Set(field.at, field.Length()));
  TORNELL_TRY(ReadDistinguishedName(field, tbs.issuer));

  TORNELL_TRY(cursor.Take(field));
  DerNode validity;
  TORNELL_TRY(DerSplit(field, validity));
  TORNELL_TRY(TimeAt(validity, 0, tbs.notBefore));
  TORNELL_TRY(TimeAt(validity, 1, tbs.notAfter));

  TORNELL_TRY(cursor.Take(field));
  TORNELL_TRY(ReadDistinguishedName(field, tbs.subject));

  TORNELL_TRY(cursor.Take(field));
  TORNELL_TRY(DerContentAt(field, tbs.subjectPublicKeyInfoContent));
  TORNELL_TRY(ReadSubjectPublicKeyInfo(field, tbs.subjectPublicKeyInfo));

  while (cursor.Take(field) == kStatusOk) {
    if (IsUniqueId(field.at[0])) continue;
    if (field.at[0] == 0xA3) TORNELL_TRY(ReadExtensions(field, tbs));
    break;
  }
  return kStatusOk;
}

int ReadCertificate(DerRun bytes, X509Certificate& cert, bool fullAlgorithm) {
  DerNode node;
  TORNELL_TRY(DerSplit(bytes, node));
  if (node.count < 3) return kDerMissing;
  ChildCursor cursor(node);
  DerRun tbs, algorithm, signature;
  TORNELL_TRY(cursor.Take(tbs));
  TORNELL_TRY(cursor.Take(algorithm));
  TORNELL_TRY(cursor.Take(signature));
  TORNELL_TRY(cert.tbsEncoded.Set(tbs.at, tbs.Length()));
  TORNELL_TRY(ReadTbsCertificate(tbs, cert.tbs));
  if (fullAlgorithm) {
    TORNELL_TRY(ReadAlgorithmIdentifier(algorithm, cert.signatureAlgorithm));
    return DerContentAt(signature, cert.signatureValue);
  }
  DerNode identifier;
  TORNELL_TRY(DerSplit(algorithm, identifier));
  TORNELL_TRY(OidAt(identifier, 0, cert.signatureAlgorithm.oid));
  return DerBitStringAt(signature, cert.signatureValue);
}

}  // namespace tornell::pki::walk
