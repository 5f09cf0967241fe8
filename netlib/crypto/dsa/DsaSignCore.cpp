#include "crypto/dsa/DsaSignCore.h"

#include "core/secure/ConstantTime.h"
#include "core/secure/SecureWipe.h"
#include "crypto/pubkey/KeyNumbers.h"

namespace tornell {

using limb::Limb;

namespace {

// Wipes the scratch vectors of a signature when it leaves.
struct WipeOnExit {
  std::vector<std::vector<Limb>*> list;
  ~WipeOnExit() {
    for (auto* v : list) SecureWipe(v->data(), v->size() * sizeof(Limb));
  }
};

}  // namespace

void DsaGroupInit(DsaGroup& group, const BigInteger& p, const BigInteger& q, const BigInteger& g) {
  MontgomeryInit(group.mp, p.Magnitude().data(), p.Magnitude().size());
  MontgomeryInit(group.mq, q.Magnitude().data(), q.Magnitude().size());
  group.qBits = q.BitLength();
  group.g.assign(group.mp.k, 0);
  MontgomeryReduceWide(group.mp, group.g.data(), g.Magnitude().data(), g.Magnitude().size());
  group.qm2 = keynum::Limbs(q.Subtract(BigInteger(int64_t(2))), group.mq.k);
}

// The exponent is k + q or k + 2q, whichever has bits(q) + 1 bits (chosen by
// mask), so the ladder's length never follows k; the inverse is k^(q-2).
void DsaSignCore(DsaGroup& group, const Limb* x, const Limb* k, const Limb* h, Limb* r, Limb* s) {
  Montgomery& mp = group.mp;
  Montgomery& mq = group.mq;
  const size_t kq = mq.k, ke = kq + 1;
  std::vector<Limb> qe(ke, 0), k1(ke, 0), k2(ke), gk(mp.k), kinv(kq), xr(kq), sum(kq), sub(kq);
  WipeOnExit wipe{{&k1, &k2, &gk, &kinv, &xr, &sum, &sub}};
  for (size_t i = 0; i < kq; ++i) qe[i] = mq.mod[i], k1[i] = k[i];
  limb::AddN(k1.data(), k1.data(), qe.data(), ke);
  limb::AddN(k2.data(), k1.data(), qe.data(), ke);
  const Limb top = ct::MaskFromBit(Limb((k1[size_t(group.qBits) / 64] >> (group.qBits % 64)) & 1));
  for (size_t i = 0; i < ke; ++i) k1[i] = ct::Select(top, k1[i], k2[i]);

  MontgomeryPowSecret(mp, gk.data(), group.g.data(), k1.data(), ke, size_t(group.qBits) + 1);
  MontgomeryReduceWide(mq, r, gk.data(), mp.k);

  MontgomeryPowSecret(mq, kinv.data(), k, group.qm2.data(), kq, size_t(group.qBits));
  Limb* scratch = mq.scratch.data();
  MontgomeryMul(mq, xr.data(), x, r, scratch);
  MontgomeryMul(mq, xr.data(), xr.data(), mq.rr.data(), scratch);  // x r mod q
  const Limb carry = limb::AddN(sum.data(), xr.data(), h, kq);
  const Limb borrow = limb::SubN(sub.data(), sum.data(), mq.mod.data(), kq);
  const Limb useSub = ct::MaskFromBit(Limb(carry | (borrow ^ 1)));
  for (size_t i = 0; i < kq; ++i) sum[i] = ct::Select(useSub, sub[i], sum[i]);
  MontgomeryMul(mq, s, kinv.data(), sum.data(), scratch);
  MontgomeryMul(mq, s, s, mq.rr.data(), scratch);
}

}  // namespace tornell
