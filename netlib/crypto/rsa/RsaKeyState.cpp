#include "crypto/rsa/RsaKeyState.h"

#include <algorithm>
#include <initializer_list>

#include "core/base/Status.h"
#include "core/secure/ConstantTime.h"
#include "core/secure/SecureWipe.h"
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

std::vector<Limb> PowSecret(Montgomery& ctx, const std::vector<Limb>& base, const std::vector<Limb>& exp) {
  std::vector<Limb> r(ctx.k);
  MontgomeryPowSecret(ctx, r.data(), base.data(), exp.data(), exp.size());
  return r;
}

void Wipe(std::vector<Limb>& v) { SecureWipe(v.data(), v.size() * sizeof(Limb)); }

void WipeContext(Montgomery& ctx) {
  for (std::vector<Limb>* v : {&ctx.mod, &ctx.rr, &ctx.rrr, &ctx.scratch}) Wipe(*v);
  SecureWipeObject(ctx.n0);
}

// The Chinese remainder form on limbs: m1 = c^dP mod p, m2 = c^dQ mod q,
// h = (m1 - m2) qInv mod p, result m2 + q h. Every step runs in time set by
// the sizes of p and q.
std::vector<Limb> CrtPow(RsaKeyState& st, const std::vector<Limb>& c) {
  const size_t kp = st.ctxP.k, kq = st.ctxQ.k, kn = st.ctxN.k;
  const std::vector<Limb> cp = ReduceLimbs(st.ctxP, c.data(), c.size()), cq = ReduceLimbs(st.ctxQ, c.data(), c.size());
  std::vector<Limb> m1(kp), m2(kq);
  const auto &ep = st.dPFixed, &eq = st.dQFixed;
  if (!MontgomeryPowSecretPair(st.ctxP, m1.data(), cp.data(), ep.data(), ep.size(), st.ctxQ, m2.data(), cq.data(),
                               eq.data(), eq.size())) {
    m1 = PowSecret(st.ctxP, cp, st.dPFixed);
    m2 = PowSecret(st.ctxQ, cq, st.dQFixed);
  }
  std::vector<Limb> m2p = ReduceLimbs(st.ctxP, m2.data(), kq);
  std::vector<Limb> t(kp), masked(kp);
  Limb borrow = limb::SubN(t.data(), m1.data(), m2p.data(), kp);
  const Limb mask = ct::MaskFromBit(borrow);
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
    return kStatusOk;
  }
  return m.ModPow(st.d, st.n, result);
}

// The unblinded exponentiation of c (< n, kn limbs).
std::vector<Limb> CorePow(RsaKeyState& st, const std::vector<Limb>& c) {
  if (st.fastCrt) return CrtPow(st, c);
  return PowSecret(st.ctxN, c, st.dFixed);
}

// kn random limbs below 2^(bits(n) - 1), so below n; never trimmed.
std::vector<Limb> RandomBelow(RsaKeyState& st, RandomSource& random) {
  const size_t kn = st.ctxN.k;
  std::vector<Limb> v(kn);
  random.Fill(reinterpret_cast<char*>(v.data()), 0, int(kn * sizeof(Limb)));
  const int top = st.n.BitLength() - 1;  // bits kept
  for (size_t i = 0; i < kn; ++i) {
    const size_t low = i * 64;
    if (low >= size_t(top)) v[i] = 0;
    else if (size_t(top) - low < 64) v[i] &= (Limb(1) << (size_t(top) - low)) - 1;
  }
  return v;
}

// r^-1 mod n without letting the inversion see r: the variable-time
// inverse runs on t = r u for a fresh random u, which is uniform and
// independent of r, and r^-1 = t^-1 u. False when t is not invertible.
bool InverseBlinded(RsaKeyState& st, RandomSource& random, const std::vector<Limb>& r, std::vector<Limb>& rInv) {
  Montgomery& ctx = st.ctxN;
  Limb* scratch = ctx.scratch.data();
  std::vector<Limb> u = RandomBelow(st, random), t(ctx.k), uMont = ToMont(ctx, u);
  MontgomeryMul(ctx, t.data(), r.data(), uMont.data(), scratch);  // r u mod n
  BigInteger tInv;
  if (BigInteger::FromLimbs(t, 1).ModInverse(st.n, tInv) != 0 || tInv.Signum() == 0) return false;
  const std::vector<Limb> ti = Limbs(tInv, ctx.k);
  rInv.assign(ctx.k, 0);
  MontgomeryMul(ctx, rInv.data(), ti.data(), uMont.data(), scratch);  // t^-1 u mod n
  Wipe(u), Wipe(uMont);
  return true;
}

bool InitBlinding(RsaKeyState& st, RandomSource& random) {
  const size_t kn = st.ctxN.k;
  for (int attempt = 0; attempt < 8; ++attempt) {
    std::vector<Limb> r = RandomBelow(st, random), rInv, a, ai;
    if (!InverseBlinded(st, random, r, rInv)) continue;
    if (st.hasE) {
      a.assign(kn, 0);
      const auto& e = st.e.Magnitude();
      MontgomeryPowPublic(st.ctxN, a.data(), r.data(), e.data(), e.size());
      ai = rInv;
    } else {
      // Without e the pair is (r, (r^-1)^d), the second taken once here.
      a = r;
      ai = CorePow(st, rInv);
    }
    st.blind = ToMont(st.ctxN, a);
    st.unblind = ToMont(st.ctxN, ai);
    Wipe(r), Wipe(rInv), Wipe(a), Wipe(ai);
    st.blindingReady = true;
    return true;
  }
  return false;
}

// Whether every private value is no wider than the modulus it belongs to.
bool PrivateWidthsOk(const RsaKeyState& st) {
  const int nBits = st.n.BitLength();
  if (st.hasD && st.d.BitLength() > nBits) return false;
  if (!st.hasCrt) return true;
  const int pBits = st.p.BitLength(), qBits = st.q.BitLength();
  return pBits <= nBits && qBits <= nBits && st.dP.BitLength() <= pBits && st.dQ.BitLength() <= qBits &&
         st.qInv.BitLength() <= pBits;
}

}  // namespace

bool RsaKeyStateMatches(const RsaKeyState& st, const RsaKey& key) {
  const RsaKey& s = st.source;
  return s.n.Equals(key.n) && s.e.Equals(key.e) && s.d.Equals(key.d) && s.p.Equals(key.p) && s.q.Equals(key.q) &&
         s.dP.Equals(key.dP) && s.dQ.Equals(key.dQ) && s.qInv.Equals(key.qInv);
}

RsaKeyState::~RsaKeyState() {
  // The BigIntegers wipe themselves.
  for (std::vector<Limb>* v : {&dFixed, &dPFixed, &dQFixed, &qInvMont, &blind, &unblind}) Wipe(*v);
  for (Montgomery* c : {&ctxP, &ctxQ}) WipeContext(*c);
  Wipe(ctxN.scratch);
}

void RsaKeyStateInit(RsaKeyState& st, const RsaKey& key) {
  // Without a full copy the state still serves this key; it is rebuilt on
  // the next use, as for a key that changed.
  if (st.source.CopyFrom(key) != kStatusOk) st.source.Clear();
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
  st.privateWidthsOk = PrivateWidthsOk(st);
  if (!st.privateWidthsOk) return;
  st.fastN = CanMontgomery(st.n);
  if (st.fastN) {
    SetUp(st.ctxN, st.n);
    if (st.hasD) st.dFixed = Limbs(st.d, st.ctxN.k);
  }
  if (st.fastN && st.hasCrt && CanMontgomery(st.p) && CanMontgomery(st.q) && st.p.Multiply(st.q).Equals(st.n)) {
    SetUp(st.ctxP, st.p);
    SetUp(st.ctxQ, st.q);
    const size_t kn = st.ctxN.k, kp = st.ctxP.k, kq = st.ctxQ.k;
    const auto& qInv = st.qInv.Magnitude();
    if (kn <= 2 * kp && kn <= 2 * kq && kq <= 2 * kp && qInv.size() <= 2 * kp) {
      st.qInvMont = ToMont(st.ctxP, ReduceLimbs(st.ctxP, qInv.data(), qInv.size()));
      st.dPFixed = Limbs(st.dP, kp);
      st.dQFixed = Limbs(st.dQ, kq);
      st.fastCrt = true;
    }
  }
}

int RsaPublicRaw(RsaKeyState& st, const BigInteger& m, BigInteger& c) {
  if (!st.fastN) return m.ModPowPublic(st.e, st.n, c);
  BigInteger reduced = m;
  if (m.CompareTo(st.n) >= 0) {
    int rc = m.Mod(st.n, reduced);
    if (rc != 0) return rc;
  }
  const size_t k = st.ctxN.k;
  std::vector<Limb> b = Limbs(reduced, k), r(k);
  if (st.e.Signum() == 0) {
    c = BigInteger::ONE;
    return kStatusOk;
  }
  const auto& e = st.e.Magnitude();
  if (!MontgomeryPowPublicIfma(st.ctxN, r.data(), b.data(), e.data(), e.size()))
    MontgomeryPowPublic(st.ctxN, r.data(), b.data(), e.data(), e.size());
  c = BigInteger::FromLimbs(std::move(r), 1);
  return kStatusOk;
}

int RsaPrivateFixed(RsaKeyState& st, RandomSource& random, const BigInteger& m, uint8_t* out, size_t width) {
  const bool usable = (st.hasN && st.hasD) || st.hasCrt;
  if (!usable || !st.privateWidthsOk) return rsa_status::kNoPrivateKey;
  if (!st.fastN || (!st.fastCrt && !st.hasD)) {
    BigInteger result;
    TORNELL_TRY(GenericPow(st, m, result));
    result.ToBytes(out, int(width));
    return kStatusOk;
  }

  BigInteger reduced = m;
  if (m.CompareTo(st.n) >= 0) TORNELL_TRY(m.Mod(st.n, reduced));
  const size_t kn = st.ctxN.k;
  Limb* scratch = st.ctxN.scratch.data();
  if (!st.blindingReady && !InitBlinding(st, random)) {
    BigInteger result;
    TORNELL_TRY(GenericPow(st, reduced, result));
    result.ToBytes(out, int(width));
    return kStatusOk;
  }
  std::vector<Limb> c = Limbs(reduced, kn);
  MontgomeryMul(st.ctxN, c.data(), c.data(), st.blind.data(), scratch);
  std::vector<Limb> r = CorePow(st, c);
  if (st.fastCrt && st.hasE) {
    // A fault in one CRT half would give away a factor of n: check the
    // result against the public key before it leaves.
    std::vector<Limb> back(kn);
    const auto& e = st.e.Magnitude();
    MontgomeryPowPublic(st.ctxN, back.data(), r.data(), e.data(), e.size());
    if (!ct::BytesEqual(back.data(), c.data(), kn * sizeof(Limb))) {
      if (!st.hasD) return rsa_status::kNoPrivateKey;
      r = PowSecret(st.ctxN, c, st.dFixed);
    }
  }
  MontgomeryMul(st.ctxN, r.data(), r.data(), st.unblind.data(), scratch);
  MontgomerySquare(st.ctxN, st.blind.data(), st.blind.data(), scratch);
  MontgomerySquare(st.ctxN, st.unblind.data(), st.unblind.data(), scratch);
  keynum::StoreFixed(r.data(), kn, out, width);
  Wipe(r), Wipe(c);
  return kStatusOk;
}

}  // namespace tornell
