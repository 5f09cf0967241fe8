#pragma once
// What the OpenSSH and PuTTY readers share: the SSH curve names and the CRT
// exponents that neither file holds.
#include "core/text/ByteString.h"
#include "crypto/rsa/RsaKey.h"

namespace tornell::pki {

// "nistp256" 0, "nistp384" 1, "nistp521" 2 (any case); -1 for another name.
int SshCurveIndex(const ByteString& name);
// dP = d mod (p - 1), dQ = d mod (q - 1).
[[nodiscard]] int DeriveRsaCrtExponents(RsaKey& key);

}  // namespace tornell::pki
