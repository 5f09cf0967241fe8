#pragma once
// One typed key (RSA, DSA, EC or EdDSA) with free name/value attributes, as
// the key readers build it and the certificate store keeps it.
#include "core/text/StringList.h"
#include "crypto/dsa/DsaKey.h"
#include "crypto/ecc/curve/EcKey.h"
#include "crypto/rsa/RsaKey.h"
#include "pki/x509/CertificateRecords.h"
#include "pki/x509/KeyInfo.h"

namespace tornell::pki {

constexpr int kKeyTypeNone = 0;
constexpr int kKeyTypeRsa = 1;
constexpr int kKeyTypeDsa = 2;
constexpr int kKeyTypeEc = 3;
constexpr int kKeyTypeEdDsa = 4;
constexpr int kKeyOtherType = -1;  // the held key is of another type

class KeyHolder {
 public:
  KeyHolder() = default;
  KeyHolder(const KeyHolder&) = delete;
  KeyHolder& operator=(const KeyHolder&) = delete;

  int type = kKeyTypeNone;
  RsaKey rsaKey;
  DsaKey dsaKey;
  EcKey ecKey;
  EcKey edDsaKey;
  StringList attributeNames;
  StringList attributeValues;

  [[nodiscard]] int CopyFrom(const KeyHolder& other);
  // Edwards keys are not taken from a public-key info.
  [[nodiscard]] int FromSubjectPublicKeyInfo(const SubjectPublicKeyInfo& info);
  [[nodiscard]] int FromKeyInfo(const KeyInfo& info);
  // kKeyOtherType unless the holder has a key of that type; the int is ignored.
  [[nodiscard]] int GetRsaKey(RsaKey& key, int = 0) const;
  [[nodiscard]] int GetDsaKey(DsaKey& key, int = 0) const;
  // The EC key for type 3, the Edwards key for type 4.
  [[nodiscard]] int GetEcKey(EcKey& key, int = 0) const;
  const char* GetKeyAlgorithm() const;
  [[nodiscard]] int AddAttribute(const char* name, const char* value);
  // The first value of the name, "" when there is none.
  const char* GetAttribute(const char* name) const;
};

}  // namespace tornell::pki
