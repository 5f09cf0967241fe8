// PKCS#8 PrivateKeyInfo (RFC 5208, RFC 5958 and RFC 8410) and its attributes.
#include "core/base/Status.h"
#include "crypto/bigint/BigInteger.h"
#include "pki/der/DerStatus.h"
#include "pki/x509/DerChildren.h"
#include "pki/x509/DsaPublicValue.h"
#include "pki/x509/X509Codec.h"

namespace tornell::pki {

namespace {

using detail::ChildAt;
using detail::ContentOf;
using detail::SplitChildAt;

int ParseRsa(const DerElement& node, KeyInfo& key) {
  DerElement* octets = nullptr;
  TORNELL_TRY(SplitChildAt(node, 2, octets));
  DerElement* inner = nullptr;
  TORNELL_TRY(SplitChildAt(*octets, 0, inner));
  ByteString* fields[] = {&key.rsaKey.n, &key.rsaKey.e, &key.rsaKey.d, &key.rsaKey.p,
                          &key.rsaKey.q, &key.rsaKey.dP, &key.rsaKey.dQ, &key.rsaKey.qInv};
  for (int i = 0; i < 8; ++i) TORNELL_TRY(ContentOf(*inner, i + 1, *fields[i]));
  DerElement* attributes = node.Child(3);
  // Only the constructed [0] holds attributes; a [1] publicKey is no attribute list.
  if (attributes != nullptr && attributes->tag == 0xA0) {
    return X509Codec::ParseKeyAttributes(attributes, key.attributeNames, key.attributeValues);
  }
  return kStatusOk;
}

int ParseDsa(const DerElement& node, const DerElement& algorithm, KeyInfo& key) {
  DerElement* params = nullptr;
  TORNELL_TRY(SplitChildAt(algorithm, 1, params));
  TORNELL_TRY(ContentOf(*params, 0, key.dsaKey.p));
  TORNELL_TRY(ContentOf(*params, 1, key.dsaKey.q));
  TORNELL_TRY(ContentOf(*params, 2, key.dsaKey.g));
  DerElement* octets = nullptr;
  TORNELL_TRY(SplitChildAt(node, 2, octets));
  TORNELL_TRY(ContentOf(*octets, 0, key.dsaKey.x));
  if (key.dsaKey.y.IsEmpty() && !key.dsaKey.p.IsEmpty() && !key.dsaKey.g.IsEmpty() && !key.dsaKey.x.IsEmpty()) {
    // y is public: its magnitude is kept with a 0x00 in front when the top bit is set.
    ByteString y;
    TORNELL_TRY(DsaPublicValue(key.dsaKey.p, key.dsaKey.g, key.dsaKey.x, y));
    return BigInteger(y.Bytes(), y.Length(), 1).ToByteString(key.dsaKey.y);
  }
  return kStatusOk;
}

int ParseEc(const DerElement& node, const DerElement& algorithm, KeyInfo& key) {
  DerElement* params = nullptr;
  TORNELL_TRY(ChildAt(algorithm, 1, params));
  TORNELL_TRY(X509Codec::ParseEcParameters(params->body.output.Data(), params->body.output.Length(), key.ecKey));
  DerElement* octets = nullptr;
  TORNELL_TRY(SplitChildAt(node, 2, octets));
  DerElement* inner = nullptr;
  TORNELL_TRY(SplitChildAt(*octets, 0, inner));
  TORNELL_TRY(ContentOf(*inner, 1, key.ecKey.D));
  for (DerElement* c = inner->Child(2); c != nullptr; c = c->nextSibling) {
    TORNELL_TRY(c->SplitChildren());
    if (c->tag != 0xA1) continue;
    DerElement* bits = nullptr;
    TORNELL_TRY(ChildAt(*c, 0, bits));
    ByteString point;
    TORNELL_TRY(bits->body.ReadBitString(0, point));
    TORNELL_TRY(key.ecKey.SetPublicPoint(point));
  }
  return kStatusOk;
}

int ParseEdwards(const DerElement& node, KeyInfo& key, bool ed25519) {
  DerElement* octets = nullptr;
  TORNELL_TRY(SplitChildAt(node, 2, octets));
  TORNELL_TRY(ContentOf(*octets, 0, key.ecKey.edPrivate));
  const int publicLength = ed25519 ? 32 : 57;
  for (DerElement* c = node.Child(3); c != nullptr; c = c->nextSibling) {
    if ((c->tag & 0xA0) == 0xA0) {
      TORNELL_TRY(X509Codec::ParseKeyAttributes(c, key.attributeNames, key.attributeValues));
    } else if (c->tag == 0x81) {
      ByteString content;
      TORNELL_TRY(c->body.ReadElement(0, content));
      // RFC 8410 carries the key as a BIT STRING body, 00 || key; the
      // library's own files hold the bare key.
      if (content.Length() == publicLength + 1 && content.ByteAt(0) == 0x00) TORNELL_TRY(content.EraseFront(1));
      TORNELL_TRY(key.ecKey.edPublic.Set(content.Data(), content.Length()));
    }
  }
  key.ecKey.curveIndex = ed25519 ? eckeycurve::kEd25519 : eckeycurve::kEd448;
  return kStatusOk;
}

}  // namespace

int X509Codec::ParsePrivateKeyInfo(const void* data, int length, KeyInfo& key) {
  DerElement node;
  node.MarkSecret();
  TORNELL_TRY(node.body.output.Set(data, length));
  TORNELL_TRY(node.SplitChildren());
  DerElement* version = nullptr;
  TORNELL_TRY(ChildAt(node, 0, version));
  TORNELL_TRY(version->body.ReadInt(0, key.version));
  DerElement* algorithm = nullptr;
  TORNELL_TRY(SplitChildAt(node, 1, algorithm));
  DerElement* oid = nullptr;
  TORNELL_TRY(ChildAt(*algorithm, 0, oid));
  TORNELL_TRY(oid->body.ReadOid(0, key.oid));
  if (key.IsRsa()) return ParseRsa(node, key);
  if (key.IsDsa()) return ParseDsa(node, *algorithm, key);
  if (key.IsEc()) return ParseEc(node, *algorithm, key);
  if (key.IsEdDsa()) return ParseEdwards(node, key, key.oid.Equals("1.3.101.112"));
  return kDerMalformed;
}

int X509Codec::ParseKeyAttributes(DerElement* node, StringList& names, StringList& values) {
  if (node == nullptr) return kDerMissing;
  TORNELL_TRY(node->SplitChildren());
  for (DerElement* a = node->firstChild; a != nullptr; a = a->nextSibling) {
    TORNELL_TRY(a->SplitChildren());
    DerElement* type = nullptr;
    TORNELL_TRY(ChildAt(*a, 0, type));
    ByteString oid;
    TORNELL_TRY(type->body.ReadOid(0, oid));
    TORNELL_TRY(names.Add(oid.Data(), oid.Length()));
    DerElement* set = nullptr;
    TORNELL_TRY(SplitChildAt(*a, 1, set));
    ByteString value;
    TORNELL_TRY(ContentOf(*set, 0, value));
    TORNELL_TRY(values.Add(value.Data(), value.Length()));
  }
  return kStatusOk;
}

}  // namespace tornell::pki
