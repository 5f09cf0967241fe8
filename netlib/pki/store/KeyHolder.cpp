#include "pki/store/KeyHolder.h"

#include <cstring>

#include "core/base/Status.h"

namespace tornell::pki {

int KeyHolder::CopyFrom(const KeyHolder& other) {
  if (&other == this) return kStatusOk;
  type = other.type;
  TORNELL_TRY(rsaKey.CopyFrom(other.rsaKey));
  TORNELL_TRY(dsaKey.CopyFrom(other.dsaKey));
  TORNELL_TRY(ecKey.CopyFrom(other.ecKey));
  TORNELL_TRY(edDsaKey.CopyFrom(other.edDsaKey));
  attributeNames.Clear();
  attributeValues.Clear();
  for (int i = 0; i < other.attributeNames.Count(); ++i) TORNELL_TRY(attributeNames.Add(other.attributeNames.Get(i)));
  for (int i = 0; i < other.attributeValues.Count(); ++i) TORNELL_TRY(attributeValues.Add(other.attributeValues.Get(i)));
  return kStatusOk;
}

int KeyHolder::FromSubjectPublicKeyInfo(const SubjectPublicKeyInfo& info) {
  const char* name = info.KeyAlgorithmName();
  if (std::strcmp(name, "RSA") == 0) {
    type = kKeyTypeRsa;
    return rsaKey.CopyFrom(info.Rsa());
  }
  if (std::strcmp(name, "IdEcPublicKey") == 0) {
    type = kKeyTypeEc;
    return ecKey.CopyFrom(info.Ec());
  }
  if (std::strcmp(name, "DSA") == 0) {
    type = kKeyTypeDsa;
    return dsaKey.CopyFrom(info.Dsa());
  }
  return kStatusOk;
}

int KeyHolder::FromKeyInfo(const KeyInfo& info) {
  if (info.IsRsa()) {
    type = kKeyTypeRsa;
    return rsaKey.CopyFrom(info.rsaKey);
  }
  if (info.IsDsa()) {
    type = kKeyTypeDsa;
    return dsaKey.CopyFrom(info.dsaKey);
  }
  if (info.IsEc()) {
    type = kKeyTypeEc;
    return ecKey.CopyFrom(info.ecKey);
  }
  if (info.IsEdDsa()) {
    type = kKeyTypeEdDsa;
    return edDsaKey.CopyFrom(info.ecKey);
  }
  return kStatusOk;
}

int KeyHolder::GetRsaKey(RsaKey& key, int) const {
  if (type != kKeyTypeRsa) return kKeyOtherType;
  return key.CopyFrom(rsaKey);
}

int KeyHolder::GetDsaKey(DsaKey& key, int) const {
  if (type != kKeyTypeDsa) return kKeyOtherType;
  return key.CopyFrom(dsaKey);
}

int KeyHolder::GetEcKey(EcKey& key, int) const {
  if (type == kKeyTypeEc) return key.CopyFrom(ecKey);
  if (type == kKeyTypeEdDsa) return key.CopyFrom(edDsaKey);
  return kKeyOtherType;
}

const char* KeyHolder::GetKeyAlgorithm() const {
  switch (type) {
    case kKeyTypeRsa: return "RSA";
    case kKeyTypeDsa: return "DSA";
    case kKeyTypeEc: return "IdEcPublicKey";
    case kKeyTypeEdDsa: return "EdDSA";
    default: return "";
  }
}

int KeyHolder::AddAttribute(const char* name, const char* value) {
  TORNELL_TRY(attributeNames.Add(name));
  return attributeValues.Add(value);
}

const char* KeyHolder::GetAttribute(const char* name) const {
  for (int i = 0; i < attributeNames.Count(); ++i) {
    if (std::strcmp(attributeNames.Get(i), name) == 0) return attributeValues.Get(i);
  }
  return "";
}

}  // namespace tornell::pki
