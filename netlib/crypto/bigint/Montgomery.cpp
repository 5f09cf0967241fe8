#include "crypto/bigint/Montgomery.h"

#include "core/cpu/CpuFeatures.h"
#include "core/secure/ConstantTime.h"
#include "core/secure/SecureWipe.h"
#include "crypto/bigint/MulAddRowAdx.h"

namespace tornell {

using limb::DLimb;
using limb::Limb;

namespace {

// Adds multiples of m that clear the low k limbs of the 2k-limb t; the value
// t / R is left in top:t[k..2k).
template <Limb (*Row)(Limb*, const Limb*, size_t, Limb)>
Limb ReduceRows(const Montgomery& ctx, Limb* t) {
  const size_t k = ctx.k;
  const Limb* m = ctx.mod.data();
  Limb top = 0;
  for (size_t i = 0; i < k; ++i) {
    Limb q = t[i] * ctx.n0;
    Limb c = Row(t + i, m, k, q);
    DLimb s = DLimb(t[i + k]) + c + top;
    t[i + k] = limb::Lo(s);
    top = limb::Hi(s);
  }
  return top;
}

#if defined(__x86_64__)
// The common RSA and DSA sizes reduce eight rows at a time in registers.
Limb ReduceLoopAdx(const Montgomery& ctx, Limb* t) {
  switch (ctx.k) {
    case 8: return limb::ReduceWindowAdx<8>(t, ctx.mod.data(), ctx.n0);
    case 16: return limb::ReduceWindowAdx<16>(t, ctx.mod.data(), ctx.n0);
    case 32: return limb::ReduceWindowAdx<32>(t, ctx.mod.data(), ctx.n0);
    default: return ReduceRows<limb::MulAddRowAdx>(ctx, t);
  }
}
#endif

Limb ReduceLoop(const Montgomery& ctx, Limb* t) {
#if defined(__x86_64__)
  if (cpu::Has(cpu::path::kMulxAdx)) return ReduceLoopAdx(ctx, t);
#endif
  return ReduceRows<limb::MulAddWord>(ctx, t);
}

// r = top:v - m when that is >= 0, else v (for top:v < 2m), chosen by mask so
// the timing does not tell which.
void SubtractIfAbove(const Montgomery& ctx, Limb* r, const Limb* v, Limb top) {
  const size_t k = ctx.k;
  Limb borrow = limb::SubN(r, v, ctx.mod.data(), k);
  const Limb keep = ct::MaskFromBit(Limb(1 + top - borrow));  // all ones: keep the difference
  for (size_t i = 0; i < k; ++i) r[i] = ct::Select(keep, r[i], v[i]);
}

// Reduces the 2k-limb t (clobbered) to t / R mod m in r, for t < m * R.
void Reduce(const Montgomery& ctx, Limb* r, Limb* t) {
  Limb top = ReduceLoop(ctx, t);
  SubtractIfAbove(ctx, r, t + ctx.k, top);
}

#if defined(__x86_64__)
// R 256-bit registers of out (4R limbs from limb j) gathered across the
// whole table: every entry is loaded, masked and OR-ed in.
template <size_t R>
[[gnu::target("avx2"), gnu::always_inline]] inline void ScanColumnsAvx2(Limb* out, const Limb* table, size_t n,
                                                                         size_t k, const Limb* masks, size_t j) {
  __m256i acc[R];
  for (size_t r = 0; r < R; ++r) acc[r] = _mm256_setzero_si256();
  for (size_t i = 0; i < n; ++i) {
    const __m256i mask = _mm256_set1_epi64x(static_cast<long long>(masks[i]));
    const Limb* e = table + i * k + j;
    for (size_t r = 0; r < R; ++r) {
      const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(e + 4 * r));
      acc[r] = _mm256_or_si256(acc[r], _mm256_and_si256(mask, v));
    }
  }
  for (size_t r = 0; r < R; ++r) _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + j + 4 * r), acc[r]);
}

// The scan below with four limbs to a register, sixteen limbs of out held
// across each pass over the table.
[[gnu::target("avx2")]] void ScanTableAvx2(Limb* out, const Limb* table, size_t n, size_t k, const Limb* masks) {
  size_t j = 0;
  for (; j + 16 <= k; j += 16) ScanColumnsAvx2<4>(out, table, n, k, masks, j);
  for (; j + 4 <= k; j += 4) ScanColumnsAvx2<1>(out, table, n, k, masks, j);
  for (; j < k; ++j) {
    Limb a = 0;
    for (size_t i = 0; i < n; ++i) a |= table[i * k + j] & masks[i];
    out[j] = a;
  }
}
#endif

// Copies entry idx of the table of n (at most 32) entries of k limbs into
// out, touching every entry the same way whatever idx is. Four limbs of out
// at a time stay in registers across the whole scan.
void ScanTable(Limb* out, const Limb* table, size_t n, size_t k, Limb idx) {
  Limb masks[32];
  for (size_t i = 0; i < n; ++i) masks[i] = ct::Equal(Limb(i), idx);
#if defined(__x86_64__)
  if (cpu::Has(cpu::path::kTableScanAvx2)) return ScanTableAvx2(out, table, n, k, masks);
#endif
  size_t j = 0;
  for (; j + 4 <= k; j += 4) {
    Limb a0 = 0, a1 = 0, a2 = 0, a3 = 0;
    for (size_t i = 0; i < n; ++i) {
      const Limb* e = table + i * k + j;
      a0 |= e[0] & masks[i];
      a1 |= e[1] & masks[i];
      a2 |= e[2] & masks[i];
      a3 |= e[3] & masks[i];
    }
    out[j] = a0, out[j + 1] = a1, out[j + 2] = a2, out[j + 3] = a3;
  }
  for (; j < k; ++j) {
    Limb a = 0;
    for (size_t i = 0; i < n; ++i) a |= table[i * k + j] & masks[i];
    out[j] = a;
  }
}

}  // namespace

Limb MontgomeryWindow(const Limb* exp, size_t en, size_t pos, int w) {
  size_t li = pos / 64;
  int bi = int(pos % 64);
  Limb v = li < en ? exp[li] >> bi : 0;
  if (bi + w > 64 && li + 1 < en) v |= exp[li + 1] << (64 - bi);
  return v & ((Limb(1) << w) - 1);
}


namespace {

// a / R mod m into r (a < m, k limbs): the value a stands for in
// Montgomery form. A reduction alone, with no product.
void MontgomeryLeave(const Montgomery& ctx, Limb* r, const Limb* a, Limb* scratch) {
  const size_t k = ctx.k;
  for (size_t i = 0; i < k; ++i) scratch[i] = a[i];
  for (size_t i = k; i < 2 * k; ++i) scratch[i] = 0;
  Reduce(ctx, r, scratch);
}

// R mod m into r: computed as REDC(R^2 mod m).
void MontgomeryOne(const Montgomery& ctx, Limb* r, Limb* scratch) { MontgomeryLeave(ctx, r, ctx.rr.data(), scratch); }

}  // namespace

void MontgomeryInit(Montgomery& ctx, const Limb* m, size_t k) {
  ctx.k = k;
  ctx.mod.assign(m, m + k);
  ctx.n0 = Limb(0) - limb::InverseLimb(m[0]);
  ctx.scratch.assign(2 * k + 1, 0);
  // 2R mod m by doubling from the top power of two below m (a fixed count of
  // steps for the size of m, each with a masked subtraction): that is 2 in
  // Montgomery form. Raising it to the public power 64k gives R^2 mod m.
  const size_t bits = (k - 1) * 64 + size_t(limb::BitLen(m[k - 1]));
  std::vector<Limb> two(k, 0), d(k);
  two[(bits - 1) / 64] = Limb(1) << ((bits - 1) % 64);
  for (size_t i = bits - 1; i <= 64 * k; ++i) {
    Limb top = limb::ShiftLeftBits(two.data(), k, 1);
    SubtractIfAbove(ctx, d.data(), two.data(), top);
    two.swap(d);
  }
  const size_t power = 64 * k;
  std::vector<Limb> x(two);
  for (int bit = limb::BitLen(power) - 2; bit >= 0; --bit) {
    MontgomerySquare(ctx, x.data(), x.data(), ctx.scratch.data());
    if ((power >> bit) & 1) MontgomeryMul(ctx, x.data(), x.data(), two.data(), ctx.scratch.data());
  }
  ctx.rr = x;
  ctx.rrr.assign(k, 0);
  MontgomeryMul(ctx, ctx.rrr.data(), ctx.rr.data(), ctx.rr.data(), ctx.scratch.data());
}

void MontgomeryReduceInput(const Montgomery& ctx, Limb* r, const Limb* c, size_t cn, Limb* scratch) {
  const size_t k = ctx.k;
  // First pass: c / R, below R + m. Second pass: below m, c / R^2 mod m.
  // Multiplying by R^3 mod m undoes both and the multiply's own division.
  for (size_t i = 0; i < 2 * k; ++i) scratch[i] = i < cn ? c[i] : 0;
  Limb top = ReduceLoop(ctx, scratch);
  for (size_t i = 0; i < k; ++i) scratch[i] = scratch[k + i];
  scratch[k] = top;
  for (size_t i = k + 1; i < 2 * k; ++i) scratch[i] = 0;
  Reduce(ctx, r, scratch);
  MontgomeryMul(ctx, r, r, ctx.rrr.data(), scratch);
}

void MontgomeryReduceWide(const Montgomery& ctx, Limb* r, const Limb* c, size_t cn) {
  const size_t k = ctx.k;
  std::vector<Limb> buf(2 * k), scratch(2 * k + 1);
  if (cn <= 2 * k) {
    MontgomeryReduceInput(ctx, r, c, cn, scratch.data());
    return;
  }
  // acc = (acc * 2^(64k) + next k limbs) mod m, from the top chunk down.
  std::vector<Limb> acc(k, 0);
  const size_t chunks = (cn + k - 1) / k;
  for (size_t j = chunks; j-- > 0;) {
    for (size_t i = 0; i < k; ++i) buf[i] = j * k + i < cn ? c[j * k + i] : 0;
    for (size_t i = 0; i < k; ++i) buf[k + i] = acc[i];
    MontgomeryReduceInput(ctx, acc.data(), buf.data(), 2 * k, scratch.data());
  }
  for (size_t i = 0; i < k; ++i) r[i] = acc[i];
  SecureWipe(buf.data(), buf.size() * sizeof(Limb));
  SecureWipe(acc.data(), acc.size() * sizeof(Limb));
}

void MontgomeryMul(const Montgomery& ctx, Limb* r, const Limb* a, const Limb* b, Limb* scratch) {
  limb::Mul(scratch, a, ctx.k, b, ctx.k);
  Reduce(ctx, r, scratch);
}

void MontgomerySquare(const Montgomery& ctx, Limb* r, const Limb* a, Limb* scratch) {
  limb::Square(scratch, a, ctx.k);
  Reduce(ctx, r, scratch);
}

void MontgomeryPowSecret(Montgomery& ctx, Limb* r, const Limb* base, const Limb* exp, size_t en, size_t bits) {
  const size_t k = ctx.k;
  const size_t ebits = bits != 0 && bits < 64 * en ? bits : MontgomeryExponentBits(exp, en);
  const int w = MontgomeryWindowBits(ebits);
  const size_t entries = size_t(1) << w;
  std::vector<Limb> work(entries * k + 2 * k);
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
  ScanTable(acc, table, entries, k, MontgomeryWindow(exp, en, pos, w));
  while (pos > 0) {
    pos -= size_t(w);
    for (int s = 0; s < w; ++s) MontgomerySquare(ctx, acc, acc, scratch);
    ScanTable(pick, table, entries, k, MontgomeryWindow(exp, en, pos, w));
    MontgomeryMul(ctx, acc, acc, pick, scratch);
  }
  MontgomeryLeave(ctx, r, acc, scratch);
}

void MontgomeryPowPublic(Montgomery& ctx, Limb* r, const Limb* base, const Limb* exp, size_t en) {
  const size_t k = ctx.k;
  Limb* scratch = ctx.scratch.data();
  const size_t n = limb::Trim(exp, en);
  if (n == 0) {  // m >= 3, so 1 is already reduced
    for (size_t i = 0; i < k; ++i) r[i] = 0;
    r[0] = 1;
    return;
  }
  // The top bit is set: the walk starts from the base itself, sparing a
  // square and a product of one (e = 65537 takes 16 squares and 1 product).
  std::vector<Limb> work(2 * k);
  Limb* b = work.data();
  Limb* acc = b + k;
  MontgomeryMul(ctx, b, base, ctx.rr.data(), scratch);
  for (size_t i = 0; i < k; ++i) acc[i] = b[i];
  for (size_t i = (n - 1) * 64 + size_t(limb::BitLen(exp[n - 1])) - 1; i-- > 0;) {
    MontgomerySquare(ctx, acc, acc, scratch);
    if ((exp[i / 64] >> (i % 64)) & 1) MontgomeryMul(ctx, acc, acc, b, scratch);
  }
  MontgomeryLeave(ctx, r, acc, scratch);
}

}  // namespace tornell
