#include "pki/pkcs/Pkcs12Reader.h"

#include "core/base/Status.h"
#include "pki/der/DerCodec.h"
#include "pki/der/DerStatus.h"
#include "pki/x509/DerChildren.h"
#include "pki/x509/RecordCopy.h"
#include "pki/x509/X509Codec.h"

namespace tornell::pki {

namespace {

using detail::ChildAt;
using detail::ContentOf;
using detail::OidOf;
using detail::SplitChildAt;

constexpr const char* kOidData = "1.2.840.113549.1.7.1";
constexpr const char* kOidEncryptedData = "1.2.840.113549.1.7.6";
constexpr const char* kOidShroudedKeyBag = "1.2.840.113549.1.12.10.1.2";
constexpr const char* kOidCertBag = "1.2.840.113549.1.12.10.1.3";
constexpr const char* kOidX509Certificate = "1.2.840.113549.1.9.22.1";
constexpr const char* kOidPbes2 = "1.2.840.113549.1.5.13";

// Decrypted bytes are trusted only when they form exactly one element.
bool IsOneElement(const ByteString& bytes) {
  const auto length = static_cast<size_t>(bytes.Length());
  return length > 0 && DerElementLength(bytes.Bytes(), length) == length;
}

template <typename T>
int ReplaceWithCopies(PtrList<T>& to, const PtrList<T>& from) {
  TORNELL_TRY(to.Clear());
  return detail::InsertClones(to, from);
}

}  // namespace

int Pkcs12Reader::CopyFrom(const Pkcs12Reader& other) {
  if (&other == this) return kStatusOk;
  TORNELL_TRY(pfxData.Assign(other.pfxData));
  version = other.version;
  TORNELL_TRY(macAlgorithm.Assign(other.macAlgorithm));
  TORNELL_TRY(macDigest.Assign(other.macDigest));
  TORNELL_TRY(macSalt.Assign(other.macSalt));
  macIterations = other.macIterations;
  TORNELL_TRY(password.Assign(other.password));
  TORNELL_TRY(errorText.Assign(other.errorText));
  maxIterations = other.maxIterations;
  TORNELL_TRY(ReplaceWithCopies(keys, other.keys));
  return ReplaceWithCopies(certificates, other.certificates);
}

int Pkcs12Reader::SetData(const void* bytes, int length) {
  if (length < 0 || (bytes == nullptr && length > 0)) return kDerMissing;
  return pfxData.Set(bytes, length);
}

int Pkcs12Reader::SetPassword(const char* text) { return password.Set(text != nullptr ? text : ""); }

int Pkcs12Reader::SetError(const char* text) {
  (void)errorText.Set(text);
  return kDerMalformed;
}

bool Pkcs12Reader::UsableCount(int iterations) const {
  return iterations >= 1 && (maxIterations <= 0 || iterations <= maxIterations);
}

int Pkcs12Reader::Parse() {
  DerElement root;
  TORNELL_TRY(root.body.output.Assign(pfxData));
  TORNELL_TRY(root.SplitChildren());
  if (root.childCount < 2) return kDerMissing;
  TORNELL_TRY(root.firstChild->body.ReadInt(0, version));
  TORNELL_TRY(ReadAuthenticatedSafe(*root.firstChild->nextSibling));
  if (root.childCount >= 3) TORNELL_TRY(ReadMacInfo(*root.Child(2)));
  return kStatusOk;
}

int Pkcs12Reader::ReadContentInfo(DerElement& node, ByteString& type, DerElement*& inner) {
  TORNELL_TRY(node.SplitChildren());
  if (node.childCount != 2) return kDerMissing;
  TORNELL_TRY(OidOf(node, 0, type));
  DerElement* wrapper = node.firstChild->nextSibling;
  TORNELL_TRY(wrapper->SplitChildren());
  return ChildAt(*wrapper, 0, inner);
}

int Pkcs12Reader::ReadAuthenticatedSafe(DerElement& node) {
  ByteString type;
  DerElement* octets = nullptr;
  TORNELL_TRY(ReadContentInfo(node, type, octets));
  // Public-key integrity mode (signed data) is not supported.
  if (!type.Equals(kOidData)) return kDerMissing;
  TORNELL_TRY(octets->SplitChildren());
  DerElement* safe = nullptr;
  TORNELL_TRY(SplitChildAt(*octets, 0, safe));
  for (DerElement* info = safe->firstChild; info != nullptr; info = info->nextSibling) {
    DerElement* inner = nullptr;
    TORNELL_TRY(ReadContentInfo(*info, type, inner));
    if (type.Equals(kOidData)) {
      TORNELL_TRY(inner->SplitChildren());
      DerElement* contents = nullptr;
      TORNELL_TRY(ChildAt(*inner, 0, contents));
      TORNELL_TRY(ReadSafeContents(*contents));
    } else if (type.Equals(kOidEncryptedData)) {
      DerElement plain;
      plain.MarkSecret();
      TORNELL_TRY(DecryptEncryptedData(*inner, plain));
      TORNELL_TRY(ReadSafeContents(plain));
    } else {
      return SetError("Failed to parse AuthenticatedSafe.");
    }
  }
  return kStatusOk;
}

int Pkcs12Reader::ReadMacInfo(DerElement& node) {
  TORNELL_TRY(node.SplitChildren());
  if (node.childCount < 2) return kDerMissing;
  DerElement* digestInfo = node.firstChild;
  TORNELL_TRY(digestInfo->SplitChildren());
  if (digestInfo->childCount != 2) return kDerMissing;
  DerElement* algorithm = nullptr;
  TORNELL_TRY(SplitChildAt(*digestInfo, 0, algorithm));
  TORNELL_TRY(OidOf(*algorithm, 0, macAlgorithm));
  TORNELL_TRY(ContentOf(*digestInfo, 1, macDigest));
  TORNELL_TRY(ContentOf(node, 1, macSalt));
  if (node.childCount >= 3) TORNELL_TRY(node.Child(2)->body.ReadInt(0, macIterations));
  return kStatusOk;
}

int Pkcs12Reader::ReadSafeContents(DerElement& node) {
  TORNELL_TRY(node.SplitChildren());
  for (DerElement* bag = node.firstChild; bag != nullptr; bag = bag->nextSibling) {
    TORNELL_TRY(bag->SplitChildren());
    ByteString bagId;
    TORNELL_TRY(OidOf(*bag, 0, bagId));
    DerElement* wrapper = nullptr;
    TORNELL_TRY(SplitChildAt(*bag, 1, wrapper));
    if (bag->childCount >= 3) {
      // Friendly names and key ids: read for their soundness, not kept.
      StringList names, values;
      TORNELL_TRY(X509Codec::ParseKeyAttributes(bag->Child(2), names, values));
    }
    DerElement* value = nullptr;
    TORNELL_TRY(ChildAt(*wrapper, 0, value));
    if (bagId.Equals(kOidShroudedKeyBag)) {
      TORNELL_TRY(ReadShroudedKeyBag(*value));
    } else if (bagId.Equals(kOidCertBag)) {
      TORNELL_TRY(ReadCertBag(*value));
    } else {
      return SetError("Failed to parse SafeBag.");
    }
  }
  return kStatusOk;
}

int Pkcs12Reader::ReadAlgorithm(DerElement& node, ByteString& oid, ByteString& parameters, int& iterations) {
  if (node.SplitChildren() != kStatusOk) return SetError("Failed to decode algorithm.");
  if (OidOf(node, 0, oid) != kStatusOk) return SetError("Failed to decode algorithm.algOID");
  DerElement* field = node.Child(1);
  if (oid.Equals(kOidPbes2)) {
    if (field == nullptr || parameters.Assign(field->body.output) != kStatusOk) {
      return SetError("Failed to decode algorithm.parameters");
    }
    return kStatusOk;
  }
  if (field == nullptr || field->SplitChildren() != kStatusOk) return SetError("Failed to decode algorithm.parameters");
  if (ContentOf(*field, 0, parameters) != kStatusOk) return SetError("Failed to decode algorithm.salt.");
  DerElement* count = field->Child(1);
  if (count == nullptr || count->body.ReadInt(0, iterations) != kStatusOk || !UsableCount(iterations)) {
    return SetError("Failed to decode algorithm.iteration.");
  }
  return kStatusOk;
}

int Pkcs12Reader::DecryptEncryptedData(DerElement& node, DerElement& out) {
  if (node.SplitChildren() != kStatusOk || node.childCount != 2) return SetError("Failed to parse EncryptedData.");
  int cmsVersion = 0;
  if (node.firstChild->body.ReadInt(0, cmsVersion) != kStatusOk) return SetError("Failed to parse CMSVersion.");
  DerElement* info = node.firstChild->nextSibling;
  if (info->SplitChildren() != kStatusOk) return SetError("Failed to decode EncryptedContentInfo.");
  if (info->childCount != 3) return SetError("Invalid EncryptedContentInfo.");
  ByteString oid, parameters, encrypted;
  int iterations = 0;
  if (ReadAlgorithm(*info->Child(1), oid, parameters, iterations) != kStatusOk) {
    return SetError("Failed to decode ContentEncryptionAlgorithmIdentifier.");
  }
  TORNELL_TRY(ContentOf(*info, 2, encrypted));
  SecretBytes plain;
  TORNELL_TRY(DecryptContent(encrypted, oid, parameters, iterations, plain));
  if (!IsOneElement(plain)) return SetError("Failed to parse EncryptedData.");
  return out.body.output.Assign(plain);
}

int Pkcs12Reader::ReadShroudedKeyBag(DerElement& node) {
  if (node.SplitChildren() != kStatusOk || node.childCount != 2) {
    return SetError("Failed to parse PKCS8ShroudedKeyBag.");
  }
  ByteString oid, parameters, encrypted;
  int iterations = 0;
  TORNELL_TRY(ReadAlgorithm(*node.firstChild, oid, parameters, iterations));
  TORNELL_TRY(ContentOf(node, 1, encrypted));
  SecretBytes plain;
  const int status = DecryptContent(encrypted, oid, parameters, iterations, plain);
  if (status == kPkcs12UnusableScheme) return status;
  // A wrong password shows as bad padding or bytes that are no one element.
  if (status != kStatusOk || !IsOneElement(plain)) return SetError("Private key is not parsed.");
  KeyInfo key;
  const int parsed = X509Codec::ParsePrivateKeyInfo(plain.Data(), plain.Length(), key);
  if (parsed != kStatusOk) {
    (void)SetError("Private key is not parsed.");
    return parsed;
  }
  return keys.Append(key);
}

int Pkcs12Reader::ReadCertBag(DerElement& node) {
  TORNELL_TRY(node.SplitChildren());
  ByteString certId;
  TORNELL_TRY(OidOf(node, 0, certId));
  DerElement* wrapper = nullptr;
  TORNELL_TRY(SplitChildAt(node, 1, wrapper));
  DerElement* octets = nullptr;
  TORNELL_TRY(SplitChildAt(*wrapper, 0, octets));
  DerElement* encoded = nullptr;
  TORNELL_TRY(ChildAt(*octets, 0, encoded));
  if (!certId.Equals(kOidX509Certificate)) return SetError("Failed to parse CertBag.");
  TORNELL_TRY(encoded->SplitChildren());
  X509Certificate certificate;
  DerElement* tbs = nullptr;
  TORNELL_TRY(ChildAt(*encoded, 0, tbs));
  TORNELL_TRY(certificate.tbsEncoded.Assign(tbs->body.output));
  TORNELL_TRY(ContentOf(*encoded, 2, certificate.signatureValue));
  return certificates.Append(certificate);
}

const char* Pkcs12Reader::GetKeyAlgorithm() const {
  if (keys.Count() == 0) return "";
  const KeyInfo* key = const_cast<PtrList<KeyInfo>&>(keys).Get(0);
  if (key == nullptr) return "";
  if (key->IsRsa()) return "RSA";
  if (key->IsDsa()) return "DSA";
  if (key->IsEc()) return "IdEcPublicKey";
  if (key->IsEdDsa()) return "EdDSA";
  return "";
}

int Pkcs12Reader::GetRsaKey(RsaKey& key, int) const {
  const KeyInfo* first = keys.Count() > 0 ? const_cast<PtrList<KeyInfo>&>(keys).Get(0) : nullptr;
  if (first == nullptr || !first->IsRsa()) return kStatusFailed;
  return first->GetRsaKey(key) == kStatusOk ? kStatusOk : kStatusFailed;
}

int Pkcs12Reader::GetDsaKey(DsaKey& key, int) const {
  const KeyInfo* first = keys.Count() > 0 ? const_cast<PtrList<KeyInfo>&>(keys).Get(0) : nullptr;
  if (first == nullptr || !first->IsDsa()) return kStatusFailed;
  return first->GetDsaKey(key) == kStatusOk ? kStatusOk : kStatusFailed;
}

int Pkcs12Reader::GetEcKey(EcKey& key, int) const {
  const KeyInfo* first = keys.Count() > 0 ? const_cast<PtrList<KeyInfo>&>(keys).Get(0) : nullptr;
  if (first == nullptr || !first->IsEcOrEdDsa()) return kStatusFailed;
  return first->GetEcKey(key) == kStatusOk ? kStatusOk : kStatusFailed;
}

}  // namespace tornell::pki
