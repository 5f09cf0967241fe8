#pragma once
// A private or public key as read from PKCS#8, a SubjectPublicKeyInfo or a
// key file; Edwards keys live in the EC part.
#include "core/text/ByteString.h"
#include "core/text/StringList.h"
#include "crypto/dsa/DsaKey.h"
#include "crypto/ecc/curve/EcKey.h"
#include "crypto/rsa/RsaKey.h"

namespace tornell::pki {

struct KeyInfo {
  int version = 0;
  ByteString oid;
  RsaKey rsaKey;
  DsaKey dsaKey;
  EcKey ecKey;
  StringList attributeNames;
  StringList attributeValues;

  [[nodiscard]] int CopyFrom(const KeyInfo& other);
  KeyInfo* Clone() const;

  bool IsRsa() const;
  bool IsDsa() const;
  bool IsEc() const;
  bool IsEdDsa() const;
  bool IsEcOrEdDsa() const { return IsEc() || IsEdDsa(); }

  // Copy the part whatever `oid` says.
  [[nodiscard]] int GetRsaKey(RsaKey& key) const { return key.CopyFrom(rsaKey); }
  [[nodiscard]] int GetDsaKey(DsaKey& key) const { return key.CopyFrom(dsaKey); }
  [[nodiscard]] int GetEcKey(EcKey& key) const { return key.CopyFrom(ecKey); }
};

}  // namespace tornell::pki
