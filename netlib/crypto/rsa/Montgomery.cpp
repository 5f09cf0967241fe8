#include "crypto/rsa/Montgomery.h"

namespace tornell {

using limb::DLimb;
using limb::Limb;

namespace {

// Reduces the 2k-limb t (clobbered) to t / R mod m in r, for t < m * R.
void Reduce(const Montgomery& ctx, Limb* r, Limb* t) {
  const size_t k = ctx.k;
  const Limb* m = ctx.mod.data();
  Limb top = 0;
  for (size_t i = 0; i < k; ++i) {
    Limb q = t[i] * ctx.n0;
    Limb c = limb::MulAddRow(t + i, m, k, q);
    DLimb s = DLimb(t[i + k]) + c + top;
    t[i + k] = limb::Lo(s);
    top = limb::Hi(s);
  }
  // The value top:t[k..2k) is below 2m; subtract m exactly when it is >= m,
  // choosing by mask so the timing does not tell which.
  Limb borrow = limb::SubN(r, t + k, m, k);
  Limb keep = Limb(0) - (1 + top - borrow);  // all ones: keep the difference
  __asm__("" : "+r"(keep));
  for (size_t i = 0; i < k; ++i) r[i] = (r[i] & keep) | (t[k + i] & ~keep);
}

// Copies entry idx of the table of n entries of k limbs into out, touching
// every entry the same way whatever idx is.
void ScanTable(Limb* out, const Limb* table, size_t n, size_t k, Limb idx) {
  for (size_t j = 0; j < k; ++j) out[j] = 0;
  for (size_t i = 0; i < n; ++i) {
    Limb mask = limb::MaskNonZero(Limb(i) ^ idx) ^ ~Limb(0);
    __asm__("" : "+r"(mask));
    const Limb* e = table + i * k;
    for (size_t j = 0; j < k; ++j) out[j] |= e[j] & mask;
  }
}

// Bits [pos, pos + w) of exp, reading limbs at public positions only.
Limb WindowAt(const Limb* exp, size_t en, size_t pos, int w) {
  size_t li = pos / 64;
  int bi = int(pos % 64);
  Limb v = li < en ? exp[li] >> bi : 0;
  if (bi + w > 64 && li + 1 < en) v |= exp[li + 1] << (64 - bi);
  return v & ((Limb(1) << w) - 1);
}

size_t ExpBits(const Limb* exp, size_t en) {
  size_t n = limb::Trim(exp, en);
  return n == 0 ? 0 : (n - 1) * 64 + size_t(limb::BitLen(exp[n - 1]));
}

// R mod m into r: computed as REDC(R^2 mod m).
void MontgomeryOne(const Montgomery& ctx, Limb* r, Limb* scratch) {
  const size_t k = ctx.k;
  for (size_t i = 0; i < 2 * k; ++i) scratch[i] = 0;
  for (size_t i = 0; i < k; ++i) scratch[i] = ctx.rr[i];
  Reduce(ctx, r, scratch);
}

}  // namespace

void MontgomeryInit(Montgomery& ctx, const Limb* m, size_t k) {
  ctx.k = k;
  ctx.mod.assign(m, m + k);
  ctx.n0 = Limb(0) - limb::InverseLimb(m[0]);
  ctx.scratch.assign(2 * k + 1, 0);
  std::vector<Limb> r2(2 * k + 1, 0), q(k + 2);
  r2[2 * k] = 1;
  ctx.rr.assign(k, 0);
  limb::DivRem(q.data(), ctx.rr.data(), r2.data(), 2 * k + 1, m, k);
}

void MontgomeryMul(const Montgomery& ctx, Limb* r, const Limb* a, const Limb* b, Limb* scratch) {
  limb::Mul(scratch, a, ctx.k, b, ctx.k);
  Reduce(ctx, r, scratch);
}

void MontgomerySquare(const Montgomery& ctx, Limb* r, const Limb* a, Limb* scratch) {
  limb::Square(scratch, a, ctx.k);
  Reduce(ctx, r, scratch);
}

void MontgomeryPowSecret(Montgomery& ctx, Limb* r, const Limb* base, const Limb* exp, size_t en) {
  const size_t k = ctx.k;
  const size_t ebits = ExpBits(exp, en);
  const int w = ebits > 512 ? 5 : ebits > 128 ? 4 : ebits > 32 ? 3 : 1;
  const size_t entries = size_t(1) << w;
  std::vector<Limb> work(entries * k + 3 * k);
  Limb* table = work.data();
  Limb* acc = table + entries * k;
  Limb* pick = acc + k;
  Limb* scratch = ctx.scratch.data();

  MontgomeryOne(ctx, table, scratch);
  MontgomeryMul(ctx, table + k, base, ctx.rr.data(), scratch);
  for (size_t i = 2; i < entries; ++i) MontgomeryMul(ctx, table + i * k, table + (i - 1) * k, table + k, scratch);

  size_t windows = (ebits + size_t(w) - 1) / size_t(w);
  if (windows == 0) windows = 1;
  size_t pos = (windows - 1) * size_t(w);
  ScanTable(acc, table, entries, k, WindowAt(exp, en, pos, w));
  while (pos > 0) {
    pos -= size_t(w);
    for (int s = 0; s < w; ++s) MontgomerySquare(ctx, acc, acc, scratch);
    ScanTable(pick, table, entries, k, WindowAt(exp, en, pos, w));
    MontgomeryMul(ctx, acc, acc, pick, scratch);
  }
  // Leave Montgomery form: multiply by plain 1.
  for (size_t i = 0; i < k; ++i) pick[i] = 0;
  pick[0] = 1;
  MontgomeryMul(ctx, r, acc, pick, scratch);
}

void MontgomeryPowPublic(Montgomery& ctx, Limb* r, const Limb* base, const Limb* exp, size_t en) {
  const size_t k = ctx.k;
  std::vector<Limb> work(3 * k);
  Limb* b = work.data();
  Limb* acc = b + k;
  Limb* one = acc + k;
  Limb* scratch = ctx.scratch.data();
  MontgomeryMul(ctx, b, base, ctx.rr.data(), scratch);
  size_t ebits = ExpBits(exp, en);
  MontgomeryOne(ctx, acc, scratch);
  for (size_t i = ebits; i-- > 0;) {
    MontgomerySquare(ctx, acc, acc, scratch);
    if ((exp[i / 64] >> (i % 64)) & 1) MontgomeryMul(ctx, acc, acc, b, scratch);
  }
  for (size_t i = 0; i < k; ++i) one[i] = 0;
  one[0] = 1;
  MontgomeryMul(ctx, r, acc, one, scratch);
}

}  // namespace tornell
