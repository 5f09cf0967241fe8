#pragma once
// The arithmetic of one DSA signature on fixed-width limb arrays, apart from
// the engine's checks and nonce drawing: every step that touches the private
// key x or the nonce k runs in time set by the sizes of p and q alone.
#include <cstddef>
#include <vector>

#include "crypto/bigint/BigInteger.h"
#include "crypto/bigint/Montgomery.h"

namespace tornell {

// The public domain (p, q, g) in working form.
struct DsaGroup {
  Montgomery mp, mq;
  std::vector<limb::Limb> g;    // g mod p, mp.k limbs
  std::vector<limb::Limb> qm2;  // q - 2, mq.k limbs: the exponent of the inverse
  int qBits = 0;
};

// p and q odd and at least 3, g any value.
void DsaGroupInit(DsaGroup& group, const BigInteger& p, const BigInteger& q, const BigInteger& g);

// r = (g^k mod p) mod q and s = k^-1 (h + x r) mod q, each mq.k limbs, for x
// and h below q and 0 < k < q (all mq.k limbs).
void DsaSignCore(DsaGroup& group, const limb::Limb* x, const limb::Limb* k, const limb::Limb* h, limb::Limb* r,
                 limb::Limb* s);

}  // namespace tornell
