#include "pki/x509/KeyInfo.h"

#include <new>

#include "core/base/Status.h"

namespace tornell::pki {

int KeyInfo::CopyFrom(const KeyInfo& other) {
  version = other.version;
  TORNELL_TRY(oid.Assign(other.oid));
  TORNELL_TRY(rsaKey.CopyFrom(other.rsaKey));
  TORNELL_TRY(dsaKey.CopyFrom(other.dsaKey));
  TORNELL_TRY(ecKey.CopyFrom(other.ecKey));
  TORNELL_TRY(attributeNames.Assign(other.attributeNames));
  return attributeValues.Assign(other.attributeValues);
}

KeyInfo* KeyInfo::Clone() const {
  KeyInfo* copy = new (std::nothrow) KeyInfo();
  if (copy != nullptr) (void)copy->CopyFrom(*this);
  return copy;
}

bool KeyInfo::IsRsa() const { return oid.Equals("1.2.840.113549.1.1.1"); }
bool KeyInfo::IsDsa() const { return oid.Equals("1.2.840.10040.4.1"); }
bool KeyInfo::IsEc() const { return oid.Equals("1.2.840.10045.2.1"); }
bool KeyInfo::IsEdDsa() const { return oid.Equals("1.3.101.112") || oid.Equals("1.3.101.113"); }

}  // namespace tornell::pki
