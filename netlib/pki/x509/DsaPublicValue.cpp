#include "pki/x509/DsaPublicValue.h"

#include <vector>

#include "core/base/Status.h"
#include "core/secure/SecureWipe.h"
#include "crypto/bigint/BigInteger.h"
#include "crypto/bigint/Montgomery.h"
#include "crypto/pubkey/KeyNumbers.h"
#include "pki/der/DerStatus.h"

namespace tornell::pki {

using limb::Limb;

// The exponent is x + 2^B, B the first limb boundary above x's stored width:
// its top limb is the constant 1, so the window count and every table read
// follow the width of x alone. The public factor g^(2^B) is divided out
// afterwards with Montgomery products, which run in fixed time.
int DsaPublicValue(const ByteString& p, const ByteString& g, const ByteString& x, ByteString& y) {
  const BigInteger modulus = keynum::FromField(p);
  if (!keynum::CanMontgomery(modulus)) return kDerMalformed;
  Montgomery ctx;
  MontgomeryInit(ctx, modulus.Magnitude().data(), modulus.Magnitude().size());
  const size_t k = ctx.k;
  BigInteger base;
  TORNELL_TRY(keynum::FromField(g).Mod(modulus, base));
  const std::vector<Limb> baseLimbs = keynum::Limbs(base, k);

  const size_t xLimbs = (static_cast<size_t>(x.Length()) + 7) / 8;
  std::vector<Limb> exponent(xLimbs + 1, 0);
  for (int i = 0; i < x.Length(); ++i) {
    const size_t bit = 8 * static_cast<size_t>(x.Length() - 1 - i);
    exponent[bit / 64] |= static_cast<Limb>(x.Bytes()[i]) << (bit % 64);
  }
  exponent[xLimbs] = 1;
  std::vector<Limb> power(k, 0);
  MontgomeryPowSecret(ctx, power.data(), baseLimbs.data(), exponent.data(), exponent.size());
  SecureWipe(exponent.data(), exponent.size() * sizeof(Limb));

  BigInteger shift, inverse;
  TORNELL_TRY(base.ModPow(BigInteger::ONE.ShiftLeft(static_cast<int>(64 * xLimbs)), modulus, shift));
  TORNELL_TRY(shift.ModInverse(modulus, inverse));
  const std::vector<Limb> inverseLimbs = keynum::Limbs(inverse, k);
  std::vector<Limb> value(k, 0);
  MontgomeryMul(ctx, value.data(), power.data(), inverseLimbs.data(), ctx.scratch.data());
  MontgomeryMul(ctx, value.data(), value.data(), ctx.rr.data(), ctx.scratch.data());

  TORNELL_TRY(y.Resize(p.Length()));
  for (int i = 0; i < p.Length(); ++i) {
    const size_t bit = 8 * static_cast<size_t>(p.Length() - 1 - i);
    y.Bytes()[i] = bit / 64 < k ? static_cast<uint8_t>(value[bit / 64] >> (bit % 64)) : 0;
  }
  SecureWipe(power.data(), power.size() * sizeof(Limb));
  return kStatusOk;
}

}  // namespace tornell::pki
