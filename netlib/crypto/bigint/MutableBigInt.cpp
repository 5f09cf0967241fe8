#include "crypto/bigint/MutableBigInt.h"

#include "core/base/Status.h"

#include <algorithm>

#include "crypto/bigint/BigIntStatus.h"
#include "crypto/bigint/SignedMutableBigInt.h"

namespace tornell {

using limb::DLimb;
using limb::Limb;

using namespace bigint_status;

MutableBigInt::MutableBigInt(uint64_t word) {
  if (word != 0) mag.push_back(word);
}

MutableBigInt::MutableBigInt(const uint32_t* words, int len) {
  if (words == nullptr || len <= 0) return;
  mag.assign((size_t(len) + 1) / 2, 0);
  for (int i = 0; i < len; ++i) {
    size_t bit = size_t(len - 1 - i) * 32;
    mag[bit / 64] |= Limb(words[i]) << (bit % 64);
  }
  Normalize();
}

MutableBigInt::MutableBigInt(const Limb* limbs, size_t n) { SetValue(limbs, n); }

void MutableBigInt::Reset() { mag.clear(); }

void MutableBigInt::SetValue(const Limb* limbs, size_t n) {
  mag.assign(limbs, limbs + n);
  Normalize();
}

int MutableBigInt::CopyOut(uint32_t* out, int n) const {
  int len = Length();
  int count = std::min(n, len);
  for (int i = 0; i < count; ++i) {
    size_t bit = size_t(len - 1 - i) * 32;
    out[i] = uint32_t(mag[bit / 64] >> (bit % 64));
  }
  return count;
}

void MutableBigInt::Normalize() { mag.resize(limb::Trim(mag.data(), mag.size())); }

int MutableBigInt::Length() const { return (BitLength() + 31) / 32; }

int MutableBigInt::BitLength() const {
  return mag.empty() ? 0 : int(mag.size() - 1) * 64 + limb::BitLen(mag.back());
}

int MutableBigInt::Compare(const MutableBigInt& b) const {
  return limb::CompareTrimmed(mag.data(), mag.size(), b.mag.data(), b.mag.size());
}

int MutableBigInt::LowestSetBit() const {
  for (size_t i = 0; i < mag.size(); ++i) {
    if (mag[i] != 0) return int(i) * 64 + __builtin_ctzll(mag[i]);
  }
  return -1;
}

void MutableBigInt::Add(const MutableBigInt& b) {
  if (mag.size() < b.mag.size()) mag.resize(b.mag.size(), 0);
  Limb carry = limb::AddN(mag.data(), mag.data(), b.mag.data(), b.mag.size());
  carry = limb::AddWord(mag.data() + b.mag.size(), mag.size() - b.mag.size(), carry);
  if (carry != 0) mag.push_back(carry);
}

int MutableBigInt::Subtract(const MutableBigInt& b) {
  int cmp = Compare(b);
  if (cmp == 0) {
    mag.clear();
  } else if (cmp > 0) {
    limb::Limb borrow = limb::SubN(mag.data(), mag.data(), b.mag.data(), b.mag.size());
    limb::SubWord(mag.data() + b.mag.size(), mag.size() - b.mag.size(), borrow);
  } else {
    std::vector<Limb> diff(b.mag);
    limb::Limb borrow = limb::SubN(diff.data(), diff.data(), mag.data(), mag.size());
    limb::SubWord(diff.data() + mag.size(), diff.size() - mag.size(), borrow);
    mag.swap(diff);
  }
  Normalize();
  return cmp;
}

void MutableBigInt::Multiply(const MutableBigInt& y, MutableBigInt& z) const {
  if (IsZero() || y.IsZero()) {
    z.Reset();
    return;
  }
  std::vector<Limb> out(mag.size() + y.mag.size());
  if (this == &y)
    limb::Square(out.data(), mag.data(), mag.size());
  else
    limb::Mul(out.data(), mag.data(), mag.size(), y.mag.data(), y.mag.size());
  z.mag.swap(out);
  z.Normalize();
}

void MutableBigInt::MultiplyByWord(uint64_t y, MutableBigInt& z) const {
  if (y == 0 || IsZero()) {
    z.Reset();
    return;
  }
  std::vector<Limb> out(mag.size() + 1);
  out[mag.size()] = limb::MulWord(out.data(), mag.data(), mag.size(), y);
  z.mag.swap(out);
  z.Normalize();
}

void MutableBigInt::LeftShift(int n) {
  if (IsZero() || n <= 0) return;
  size_t limbs = size_t(n) / 64;
  int bits = n % 64;
  mag.insert(mag.begin(), limbs, 0);
  Limb out = limb::ShiftLeftBits(mag.data() + limbs, mag.size() - limbs, bits);
  if (out != 0) mag.push_back(out);
}

void MutableBigInt::RightShift(int n) {
  if (IsZero() || n <= 0) return;
  size_t limbs = size_t(n) / 64;
  if (limbs >= mag.size()) {
    mag.clear();
    return;
  }
  mag.erase(mag.begin(), mag.begin() + std::ptrdiff_t(limbs));
  limb::ShiftRightBits(mag.data(), mag.size(), n % 64);
  Normalize();
}

uint64_t MutableBigInt::DivideOneWord(uint64_t d, MutableBigInt& quotient) const {
  std::vector<Limb> q(mag.size());
  Limb rem = 0;
  for (size_t i = mag.size(); i-- > 0;) q[i] = limb::Div128(rem, mag[i], d, &rem);
  quotient.mag.swap(q);
  quotient.Normalize();
  return rem;
}

int MutableBigInt::Divide(const MutableBigInt& b, MutableBigInt& quotient, MutableBigInt& remainder) const {
  if (b.IsZero()) return kDivideByZero;
  int cmp = Compare(b);
  if (cmp < 0) {
    MutableBigInt r(*this);
    quotient.Reset();
    remainder = r;
    return 0;
  }
  if (cmp == 0) {
    quotient = MutableBigInt(1);
    remainder.Reset();
    return 0;
  }
  std::vector<Limb> q(mag.size() - b.mag.size() + 1), r(b.mag.size());
  limb::DivRem(q.data(), r.data(), mag.data(), mag.size(), b.mag.data(), b.mag.size());
  quotient.mag.swap(q);
  quotient.Normalize();
  remainder.mag.swap(r);
  remainder.Normalize();
  return 0;
}

uint32_t MutableBigInt::InverseMod32(uint32_t w) {
  uint32_t t = w;
  for (int i = 0; i < 4; ++i) t *= 2 - w * t;
  return t;
}

int MutableBigInt::MutableModInverse(const MutableBigInt& p, MutableBigInt& result) const {
  result.Reset();
  if (p.IsOdd()) return ModInverseOdd(p, result);
  if (IsEven()) return kNotInvertible;
  int e = p.LowestSetBit();
  MutableBigInt m(p);
  m.RightShift(e);
  if (m.IsOne()) return ModInverseMP2(e, result);

  // Solve modulo the odd part and modulo 2^e, then join the two by CRT.
  MutableBigInt oddPart, evenPart, y1, y2, t1, t2, q;
  MutableBigInt reduced, unused;
  TORNELL_TRY(Divide(m, unused, reduced));
  if (reduced.IsZero()) return kNotInvertible;
  int rc = reduced.ModInverseOdd(m, oddPart);
  if (rc != 0) return rc;
  rc = ModInverseMP2(e, evenPart);
  if (rc != 0) return rc;
  ModInverseBP2(m, e, y1);
  rc = m.ModInverseMP2(e, y2);
  if (rc != 0) return rc;
  oddPart.LeftShift(e);
  oddPart.Multiply(y1, t1);
  evenPart.Multiply(m, t2);
  t2.Multiply(y2, q);
  t1.Add(q);
  return t1.Divide(p, unused, result);
}

int MutableBigInt::ModInverseOdd(const MutableBigInt& p, MutableBigInt& result) const {
  result.Reset();
  MutableBigInt f(*this), g(p);
  SignedMutableBigInt c(1), d;
  int k = 0;
  if (f.IsZero()) return kNotInvertible;
  if (f.IsEven()) {
    int tz = f.LowestSetBit();
    f.RightShift(tz);
    d.LeftShift(tz);
    k = tz;
  }
  while (!f.IsOne()) {
    if (f.IsZero()) return kNotInvertible;
    if (f.Compare(g) < 0) {
      std::swap(f, g);
      std::swap(c, d);
    }
    if (((f.mag[0] ^ g.mag[0]) & 3) == 0) {
      f.Subtract(g);
      c.SignedSubtract(d);
    } else {
      f.Add(g);
      c.SignedAdd(d);
    }
    if (f.IsZero()) return kNotInvertible;
    int tz = f.LowestSetBit();
    f.RightShift(tz);
    d.LeftShift(tz);
    k += tz;
  }
  while (c.sign < 0 && !c.IsZero()) c.SignedAdd(p);
  MutableBigInt cm(c);
  Fixup(cm, p, k, result);
  return 0;
}

void MutableBigInt::Fixup(MutableBigInt& c, const MutableBigInt& p, int k, MutableBigInt& result) {
  // Montgomery-style division by 2^k: add multiples of p that clear the low
  // bits, then drop them.
  const Limb r = Limb(0) - limb::InverseLimb(p.mag[0]);
  const size_t pn = p.mag.size();
  std::vector<Limb>& v = c.mag;
  int wholeLimbs = k / 64, bits = k % 64;
  for (int i = 0; i < wholeLimbs; ++i) {
    if (v.size() < pn + 1) v.resize(pn + 1, 0);
    Limb q = r * v[0];
    Limb carry = limb::MulAddWord(v.data(), p.mag.data(), pn, q);
    carry = limb::AddWord(v.data() + pn, v.size() - pn, carry);
    if (carry != 0) v.push_back(carry);
    v.erase(v.begin());
  }
  if (bits > 0) {
    if (v.size() < pn + 1) v.resize(pn + 1, 0);
    Limb q = (r * v[0]) & ((Limb(1) << bits) - 1);
    Limb carry = limb::MulAddWord(v.data(), p.mag.data(), pn, q);
    carry = limb::AddWord(v.data() + pn, v.size() - pn, carry);
    if (carry != 0) v.push_back(carry);
    limb::ShiftRightBits(v.data(), v.size(), bits);
  }
  c.Normalize();
  while (c.Compare(p) >= 0) c.Subtract(p);
  result = c;
}

int MutableBigInt::ModInverseMP2(int k, MutableBigInt& result) const {
  result.Reset();
  if (IsEven() || k < 0) return kNotInvertible;
  if (k > 64) return EuclidModInverse(k, result);
  Limb t = limb::InverseLimb(mag[0]);
  if (k < 64) t &= (Limb(1) << k) - 1;
  result = MutableBigInt(t);
  return 0;
}

int MutableBigInt::EuclidModInverse(int k, MutableBigInt& result) const {
  result.Reset();
  if (IsOne()) {
    result = MutableBigInt(1);
    return 0;
  }
  MutableBigInt mod(1);
  mod.LeftShift(k);
  MutableBigInt a(*this), b, q, r, t0(1), t1, prod;
  int rc = mod.Divide(a, q, b);
  if (rc != 0) return rc;
  t1 = q;
  // One half-step: x = x mod y and acc += (x / y) * other.
  auto step = [&](MutableBigInt& x, const MutableBigInt& y, MutableBigInt& acc, const MutableBigInt& other) {
    int status = x.Divide(y, q, r);
    if (status != 0) return status;
    if (r.IsZero()) return kNotInvertible;
    x = r;
    q.Multiply(other, prod);
    acc.Add(prod);
    return 0;
  };
  while (!b.IsOne()) {
    if (b.IsZero()) return kNotInvertible;
    rc = step(a, b, t0, t1);
    if (rc != 0) return rc;
    if (a.IsOne()) {
      result = t0;
      return 0;
    }
    rc = step(b, a, t1, t0);
    if (rc != 0) return rc;
  }
  mod.Subtract(t1);
  result = mod;
  return 0;
}

void MutableBigInt::ModInverseBP2(const MutableBigInt& m, int k, MutableBigInt& result) {
  MutableBigInt one(1);
  Fixup(one, m, k, result);
}

}  // namespace tornell
