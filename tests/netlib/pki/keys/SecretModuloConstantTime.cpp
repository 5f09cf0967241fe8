// The CRT exponent a key reader derives from d and p, with both secret: no
// branch or memory index may follow them.
#include <cstdint>

#include "SecretProbe.h"
#include "core/text/ByteString.h"
#include "core/text/SecretBytes.h"
#include "crypto/bigint/BigInteger.h"
#include "pki/keys/SecretModulo.h"

using namespace tornell;

namespace {

int CrtExponent() {
  uint8_t prime[128], exponent[256];
  for (int i = 0; i < 128; ++i) prime[i] = static_cast<uint8_t>(i * 29 + 131);
  prime[0] |= 0x80;
  prime[127] |= 1;
  for (int i = 0; i < 256; ++i) exponent[i] = static_cast<uint8_t>(i * 71 + 5);
  ByteString p, d;
  SecretBytes dP;
  if (p.Set(prime, 128) != 0 || d.Set(exponent, 256) != 0) return 1;
  probe::MarkSecret(p.Data(), 128);
  probe::MarkSecret(d.Data(), 256);
  int status = pki::ReduceSecret(d, p, 1, dP);
  probe::Reveal(&status, sizeof status);
  probe::Reveal(dP.Data(), static_cast<size_t>(dP.Length()));
  if (status != 0 || dP.Length() != 128) return 1;
  // The same value by the variable-time division, once both are public.
  BigInteger expected;
  if (BigInteger(exponent, 256, 1).Mod(BigInteger(prime, 128, 1).Subtract(BigInteger::ONE), expected) != 0) return 1;
  return BigInteger(dP.Bytes(), dP.Length(), 1).Equals(expected) ? 0 : 1;
}

const probe::Case kCases[] = {{"d mod (p - 1) with d and p secret", CrtExponent}};

}  // namespace

PROBE_MAIN(kCases)
