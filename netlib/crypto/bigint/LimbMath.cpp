#include "crypto/bigint/LimbMath.h"

#include <utility>
#include <vector>

#include "core/cpu/CpuFeatures.h"
#include "crypto/bigint/MulAddRowAdx.h"

namespace tornell::limb {

Limb MulAddRow(Limb* r, const Limb* a, size_t n, Limb w) {
#if defined(__x86_64__)
  if (cpu::Has(cpu::path::kMulxAdx)) return MulAddRowAdx(r, a, n, w);
#endif
  return MulAddWord(r, a, n, w);
}

namespace {

template <Limb (*Row)(Limb*, const Limb*, size_t, Limb)>
void MulRows(Limb* r, const Limb* a, size_t an, const Limb* b, size_t bn) {
  for (size_t i = 0; i < an; ++i) r[i] = 0;
  for (size_t j = 0; j < bn; ++j) r[an + j] = Row(r + j, a, an, b[j]);
}

// The cross products a[i] a[j] (i < j) once each into r[1..2n-1); r[0] and
// r[2n-1] are cleared.
template <Limb (*Row)(Limb*, const Limb*, size_t, Limb)>
void CrossProducts(Limb* r, const Limb* a, size_t n) {
  for (size_t i = 0; i < n; ++i) r[i] = 0;
  r[2 * n - 1] = 0;
  for (size_t i = 0; i + 1 < n; ++i) r[n + i] = Row(r + 2 * i + 1, a + i + 1, n - i - 1, a[i]);
}

void DoubleAddSquares(Limb* r, const Limb* a, size_t n) {
  ShiftLeftBits(r, 2 * n, 1);
  Limb carry = 0;
  for (size_t i = 0; i < n; ++i) {
    DLimb sq = DLimb(a[i]) * a[i];
    DLimb lo = DLimb(r[2 * i]) + Lo(sq) + carry;
    r[2 * i] = Lo(lo);
    DLimb hi = DLimb(r[2 * i + 1]) + Hi(sq) + Hi(lo);
    r[2 * i + 1] = Lo(hi);
    carry = Hi(hi);
  }
}

#if defined(__x86_64__)
template <size_t N>
Limb FixedRow(Limb* r, const Limb* a, size_t, Limb w) {
  return MulAddRowAdxFixed<N>(r, a, w);
}

template <size_t N, size_t... I>
void CrossProductsFixed(Limb* r, const Limb* a, std::index_sequence<I...>) {
  for (size_t i = 0; i < N; ++i) r[i] = 0;
  r[2 * N - 1] = 0;
  ((r[N + I] = MulAddRowAdxFixed<N - 1 - I>(r + 2 * I + 1, a + I + 1, a[I])), ...);
}

// The sizes of RSA and DSA moduli and their halves get rows unrolled for
// their length.
void MulAdx(Limb* r, const Limb* a, size_t an, const Limb* b, size_t bn) {
  switch (an) {
    case 8: return MulRows<FixedRow<8>>(r, a, an, b, bn);
    case 16: return MulRows<FixedRow<16>>(r, a, an, b, bn);
    case 32: return MulRows<FixedRow<32>>(r, a, an, b, bn);
    default: return MulRows<MulAddRowAdx>(r, a, an, b, bn);
  }
}

void SquareAdx(Limb* r, const Limb* a, size_t n) {
  switch (n) {
    case 8:
      CrossProductsFixed<8>(r, a, std::make_index_sequence<7>());
      return DoubleAddSquaresAdxFixed<8>(r, a);
    case 16:
      CrossProductsFixed<16>(r, a, std::make_index_sequence<15>());
      return DoubleAddSquaresAdxFixed<16>(r, a);
    case 32:
      CrossProductsFixed<32>(r, a, std::make_index_sequence<31>());
      return DoubleAddSquaresAdxFixed<32>(r, a);
    default:
      CrossProducts<MulAddRowAdx>(r, a, n);
      return DoubleAddSquaresAdx(r, a, n);
  }
}
#endif

}  // namespace

void Mul(Limb* r, const Limb* a, size_t an, const Limb* b, size_t bn) {
  if (an == 0 || bn == 0) {
    for (size_t i = 0; i < an + bn; ++i) r[i] = 0;
    return;
  }
#if defined(__x86_64__)
  if (cpu::Has(cpu::path::kMulxAdx)) return MulAdx(r, a, an, b, bn);
#endif
  MulRows<MulAddWord>(r, a, an, b, bn);
}

void Square(Limb* r, const Limb* a, size_t n) {
  if (n == 0) return;
  // Cross products once, doubled, then the diagonal squares added in.
#if defined(__x86_64__)
  if (cpu::Has(cpu::path::kMulxAdx)) return SquareAdx(r, a, n);
#endif
  CrossProducts<MulAddWord>(r, a, n);
  DoubleAddSquares(r, a, n);
}

Limb ShiftLeftBits(Limb* a, size_t n, int bits) {
  if (bits == 0 || n == 0) return 0;
  Limb out = a[n - 1] >> (64 - bits);
  for (size_t i = n - 1; i > 0; --i) a[i] = (a[i] << bits) | (a[i - 1] >> (64 - bits));
  a[0] <<= bits;
  return out;
}

Limb ShiftRightBits(Limb* a, size_t n, int bits) {
  if (bits == 0 || n == 0) return 0;
  Limb out = a[0] << (64 - bits);
  for (size_t i = 0; i + 1 < n; ++i) a[i] = (a[i] >> bits) | (a[i + 1] << (64 - bits));
  a[n - 1] >>= bits;
  return out;
}

// Knuth's long division with 64-bit digits: the divisor is normalised so its
// top bit is set, which keeps every quotient estimate at most two too large.
void DivRem(Limb* q, Limb* r, const Limb* a, size_t an, const Limb* b, size_t bn) {
  if (bn == 1) {
    Limb rem = 0;
    for (size_t i = an; i-- > 0;) q[i] = Div128(rem, a[i], b[0], &rem);
    r[0] = rem;
    return;
  }
  int shift = 64 - BitLen(b[bn - 1]);
  std::vector<Limb> v(b, b + bn);
  std::vector<Limb> u(an + 1);
  for (size_t i = 0; i < an; ++i) u[i] = a[i];
  u[an] = ShiftLeftBits(u.data(), an, shift);
  ShiftLeftBits(v.data(), bn, shift);
  const Limb vh = v[bn - 1], vl = v[bn - 2];
  for (size_t j = an - bn + 1; j-- > 0;) {
    Limb nh = u[j + bn], nm = u[j + bn - 1], nl = u[j + bn - 2];
    Limb qhat, rhat;
    bool rhatOverflow = false;
    if (nh >= vh) {
      // nh == vh here; the estimate saturates.
      qhat = ~Limb(0);
      DLimb s = DLimb(nm) + vh;
      rhat = Lo(s);
      rhatOverflow = Hi(s) != 0;
    } else {
      qhat = Div128(nh, nm, vh, &rhat);
    }
    while (!rhatOverflow && DLimb(qhat) * vl > ((DLimb(rhat) << 64) | nl)) {
      --qhat;
      DLimb s = DLimb(rhat) + vh;
      rhat = Lo(s);
      rhatOverflow = Hi(s) != 0;
    }
    Limb borrow = MulSubWord(u.data() + j, v.data(), bn, qhat);
    Limb top = u[j + bn];
    u[j + bn] = top - borrow;
    if (top < borrow) {
      --qhat;
      u[j + bn] += AddN(u.data() + j, u.data() + j, v.data(), bn);
    }
    q[j] = qhat;
  }
  ShiftRightBits(u.data(), bn, shift);
  if (shift != 0) u[bn - 1] |= u[bn] << (64 - shift);
  for (size_t i = 0; i < bn; ++i) r[i] = u[i];
}

}  // namespace tornell::limb
