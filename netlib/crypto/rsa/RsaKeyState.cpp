#include "crypto/rsa/RsaKeyState.h"

#include <algorithm>

#include "crypto/pubkey/KeyNumbers.h"
#include "crypto/bigint/MontgomeryIfma.h"
#include "crypto/random/RandomSource.h"
#include "crypto/rsa/RsaKey.h"
#include "crypto/rsa/RsaStatus.h"

namespace tornell {

using limb::Limb;

namespace {

using keynum::CanMontgomery;
using keynum::FromField;
using keynum::Limbs;

void SetUp(Montgomery& ctx, const BigInteger& m) { MontgomeryInit(ctx, m.Magnitude().data(), m.Magnitude().size()); }

// v * R mod m for v < m, through one multiply by R^2.
std::vector<Limb> ToMont(Montgomery& ctx, const std::vector<Limb>& v) {
  std::vector<Limb> r(ctx.k);
  MontgomeryMul(ctx, r.data(), v.data(), ctx.rr.data(), ctx.scratch.data());
  return r;
}

// c mod m without a division, for c of at most 2k limbs.
std::vector<Limb> ReduceLimbs(Montgomery& ctx, const Limb* c, size_t cn) {
  std::vector<Limb> r(ctx.k);
  MontgomeryReduceInput(ctx, r.data(), c, cn, ctx.scratch.data());
  return r;
}

std::vector<Limb> PowSecret(Montgomery& ctx, const std::vector<Limb>& base, const BigInteger& exp) {
  std::vector<Limb> r(ctx.k);
  MontgomeryPowSecret(ctx, r.data(), base.data(), exp.Magnitude().data(), exp.Magnitude().size());
  return r;
}

// The Chinese remainder form on limbs: m1 = c^dP mod p, m2 = c^dQ mod q,
// h = (m1 - m2) qInv mod p, result m2 + q h. Every step runs in time set by
// the sizes of p and q.
std::vector<Limb> CrtPow(RsaKeyState& st, const std::vector<Limb>& c) {
  const size_t kp = st.ctxP.k, kq = st.ctxQ.k, kn = st.ctxN.k;
  const std::vector<Limb> cp = ReduceLimbs(st.ctxP, c.data(), c.size()), cq = ReduceLimbs(st.ctxQ, c.data(), c.size());
  std::vector<Limb> m1(kp), m2(kq);
  const auto &ep = st.dP.Magnitude(), &eq = st.dQ.Magnitude();
  if (!MontgomeryPowSecretPair(st.ctxP, m1.data(), cp.data(), ep.data(), ep.size(), st.ctxQ, m2.data(), cq.data(),
                               eq.data(), eq.size())) {
    m1 = PowSecret(st.ctxP, cp, st.dP);
    m2 = PowSecret(st.ctxQ, cq, st.dQ);
  }
  std::vector<Limb> m2p = ReduceLimbs(st.ctxP, m2.data(), kq);
  std::vector<Limb> t(kp), masked(kp);
  Limb borrow = limb::SubN(t.data(), m1.data(), m2p.data(), kp);
  Limb mask = Limb(0) - borrow;
  __asm__("" : "+r"(mask));
  for (size_t i = 0; i < kp; ++i) masked[i] = st.ctxP.mod[i] & mask;
  limb::AddN(t.data(), t.data(), masked.data(), kp);
  std::vector<Limb> h(kp);
  MontgomeryMul(st.ctxP, h.data(), t.data(), st.qInvMont.data(), st.ctxP.scratch.data());
  std::vector<Limb> r(std::max(kp + kq, kn) + 1, 0);
  limb::Mul(r.data(), st.ctxQ.mod.data(), kq, h.data(), kp);
  Limb carry = limb::AddN(r.data(), r.data(), m2.data(), kq);
  for (size_t i = kq; i < r.size(); ++i) {  // every limb, so no early stop tells how far it ran
    const limb::DLimb sum = limb::DLimb(r[i]) + carry;
    r[i] = limb::Lo(sum);
    carry = limb::Hi(sum);
  }
  r.resize(kn);
  return r;
}

// The plain form on big integers, for moduli the Montgomery code cannot
// take (even or unbalanced); no blinding is possible there.
int GenericPow(RsaKeyState& st, const BigInteger& m, BigInteger& result) {
  int rc = 0;
  if (st.hasCrt) {
    BigInteger m1, m2, h;
    if ((rc = m.ModPow(st.dP, st.p, m1)) != 0 || (rc = m.ModPow(st.dQ, st.q, m2)) != 0) return rc;
    if ((rc = m1.Subtract(m2).Multiply(st.qInv).Mod(st.p, h)) != 0) return rc;
    result = m2.Add(st.q.Multiply(h));
    return 0;
  }
  return m.ModPow(st.d, st.n, result);
}

// The unblinded exponentiation of c (< n, kn limbs).
std::vector<Limb> CorePow(RsaKeyState& st, const std::vector<Limb>& c) {
  if (st.fastCrt) return CrtPow(st, c);
  return PowSecret(st.ctxN, c, st.d);
}

bool InitBlinding(RsaKeyState& st, RandomSource& random) {
  const size_t kn = st.ctxN.k;
  for (int attempt = 0; attempt < 8; ++attempt) {
    BigInteger r(st.n.BitLength() - 1, random), rInv;
    if (r.ModInverse(st.n, rInv) != 0) continue;
    std::vector<Limb> a, ai;
    if (st.hasE) {
      BigInteger re;
      if (RsaPublicRaw(st, r, re) != 0) return false;
      a = Limbs(re, kn);
      ai = Limbs(rInv, kn);
    } else {
      // Without e the pair is (r, (r^-1)^d), the second taken once here.
      a = Limbs(r, kn);
      ai = CorePow(st, Limbs(rInv, kn));
    }
    st.blind = ToMont(st.ctxN, a);
    st.unblind = ToMont(st.ctxN, ai);
    st.blindingReady = true;
    return true;
  }
  return false;
}

}  // namespace

bool RsaKeyStateMatches(const RsaKeyState& st, const RsaKey& key) {
  const RsaKey& s = st.source;
  return s.n.Equals(key.n) && s.e.Equals(key.e) && s.d.Equals(key.d) && s.p.Equals(key.p) && s.q.Equals(key.q) &&
         s.dP.Equals(key.dP) && s.dQ.Equals(key.dQ) && s.qInv.Equals(key.qInv);
}

void RsaKeyStateInit(RsaKeyState& st, const RsaKey& key) {
  st.source.CopyFrom(key);
  st.hasE = key.e.Length() > 0;
  st.hasD = key.d.Length() > 0;
  st.e = FromField(key.e);
  st.d = FromField(key.d);
  st.p = FromField(key.p);
  st.q = FromField(key.q);
  st.dP = FromField(key.dP);
  st.dQ = FromField(key.dQ);
  st.qInv = FromField(key.qInv);
  st.hasCrt = key.p.Length() > 0 && key.q.Length() > 0 && key.dP.Length() > 0 && key.dQ.Length() > 0 &&
              key.qInv.Length() > 0 && st.p.Signum() > 0 && st.q.Signum() > 0;
  if (key.n.Length() > 0) {
    st.n = FromField(key.n);
  } else if (key.p.Length() > 0 && key.q.Length() > 0) {
    st.n = st.p.Multiply(st.q);
  }
  st.hasN = st.n.Signum() > 0;
  st.fastN = CanMontgomery(st.n);
  if (st.fastN) SetUp(st.ctxN, st.n);
  if (st.fastN && st.hasCrt && CanMontgomery(st.p) && CanMontgomery(st.q) && st.p.Multiply(st.q).Equals(st.n)) {
    SetUp(st.ctxP, st.p);
    SetUp(st.ctxQ, st.q);
    const size_t kn = st.ctxN.k, kp = st.ctxP.k, kq = st.ctxQ.k;
    const auto& qInv = st.qInv.Magnitude();
    if (kn <= 2 * kp && kn <= 2 * kq && kq <= 2 * kp && qInv.size() <= 2 * kp) {
      st.qInvMont = ToMont(st.ctxP, ReduceLimbs(st.ctxP, qInv.data(), qInv.size()));
      st.fastCrt = true;
    }
  }
}

int RsaPublicRaw(RsaKeyState& st, const BigInteger& m, BigInteger& c) {
  if (!st.fastN) return m.ModPow(st.e, st.n, c);
  BigInteger reduced = m;
  if (m.CompareTo(st.n) >= 0) {
    int rc = m.Mod(st.n, reduced);
    if (rc != 0) return rc;
  }
  const size_t k = st.ctxN.k;
  std::vector<Limb> b = Limbs(reduced, k), r(k);
  if (st.e.Signum() == 0) {
    c = BigInteger::ONE;
    return 0;
  }
  const auto& e = st.e.Magnitude();
  if (!MontgomeryPowPublicIfma(st.ctxN, r.data(), b.data(), e.data(), e.size()))
    MontgomeryPowPublic(st.ctxN, r.data(), b.data(), e.data(), e.size());
  c = BigInteger::FromLimbs(std::move(r), 1);
  return 0;
}

int RsaPrivateRaw(RsaKeyState& st, RandomSource& random, const BigInteger& m, BigInteger& result) {
  const bool usable = (st.hasN && st.hasD) || st.hasCrt;
  if (!usable) return rsa_status::kNoPrivateKey;
  if (!st.fastN || (!st.fastCrt && !st.hasD)) return GenericPow(st, m, result);

  BigInteger reduced = m;
  if (m.CompareTo(st.n) >= 0) {
    int rc = m.Mod(st.n, reduced);
    if (rc != 0) return rc;
  }
  const size_t kn = st.ctxN.k;
  Limb* scratch = st.ctxN.scratch.data();
  if (!st.blindingReady && !InitBlinding(st, random)) return GenericPow(st, reduced, result);
  std::vector<Limb> c = Limbs(reduced, kn);
  MontgomeryMul(st.ctxN, c.data(), c.data(), st.blind.data(), scratch);
  std::vector<Limb> r = CorePow(st, c);
  if (st.fastCrt && st.hasE) {
    // A fault in one CRT half would give away a factor of n: check the
    // result against the public key before it leaves.
    BigInteger back;
    int rc = RsaPublicRaw(st, BigInteger::FromLimbs(r, 1), back);
    if (rc != 0) return rc;
    if (!back.Equals(BigInteger::FromLimbs(c, 1))) {
      if (!st.hasD) return rsa_status::kNoPrivateKey;
      r = PowSecret(st.ctxN, c, st.d);
    }
  }
  MontgomeryMul(st.ctxN, r.data(), r.data(), st.unblind.data(), scratch);
  MontgomerySquare(st.ctxN, st.blind.data(), st.blind.data(), scratch);
  MontgomerySquare(st.ctxN, st.unblind.data(), st.unblind.data(), scratch);
  result = BigInteger::FromLimbs(std::move(r), 1);
  return 0;
}

}  // namespace tornell
