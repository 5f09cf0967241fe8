#include "pki/keys/SshKeyFields.h"

#include "core/base/Status.h"
#include "pki/keys/SecretModulo.h"

namespace tornell::pki {

int SshCurveIndex(const ByteString& name) {
  static const char* const kNames[] = {"nistp256", "nistp384", "nistp521"};
  for (int i = 0; i < 3; ++i) {
    if (name.EqualsIgnoreCase(kNames[i])) return i;
  }
  return -1;
}

int DeriveRsaCrtExponents(RsaKey& key) {
  TORNELL_TRY(ReduceSecret(key.d, key.p, 1, key.dP));
  return ReduceSecret(key.d, key.q, 1, key.dQ);
}

}  // namespace tornell::pki
