// The DSA public value of a PKCS#8 key with x secret: no branch or memory
// index may follow x.
#include <cstdint>

#include "SecretProbe.h"
#include "core/text/ByteString.h"
#include "crypto/bigint/BigInteger.h"
#include "pki/x509/DsaPublicValue.h"

using namespace tornell;

namespace {

int PublicValue() {
  // p = 2^521 - 1, a prime; g = 3.
  ByteString p, g, x, y;
  uint8_t modulus[66];
  modulus[0] = 0x01;
  for (int i = 1; i < 66; ++i) modulus[i] = 0xFF;
  if (p.Set(modulus, 66) != 0 || g.Set("\x03", 1) != 0) return 1;
  uint8_t secret[32];
  for (int i = 0; i < 32; ++i) secret[i] = static_cast<uint8_t>(i * 53 + 7);
  if (x.Set(secret, 32) != 0) return 1;
  probe::MarkSecret(x.Data(), 32);
  int status = pki::DsaPublicValue(p, g, x, y);
  probe::Reveal(&status, sizeof status);
  probe::Reveal(y.Data(), static_cast<size_t>(y.Length()));
  if (status != 0 || y.Length() != 66) return 1;
  // The same value by the variable-time exponentiation, once x is public.
  probe::Reveal(x.Data(), 32);
  BigInteger expected;
  if (BigInteger(3).ModPow(BigInteger(secret, 32, 1), BigInteger(modulus, 66, 1), expected) != 0) return 1;
  return BigInteger(y.Bytes(), y.Length(), 1).Equals(expected) ? 0 : 1;
}

const probe::Case kCases[] = {{"dsa public value from a secret x", PublicValue}};

}  // namespace

PROBE_MAIN(kCases)
