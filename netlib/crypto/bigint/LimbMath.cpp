#include "crypto/bigint/LimbMath.h"

#include <vector>

#include "core/cpu/CpuFeatures.h"

namespace tornell::limb {

namespace {

#if defined(__x86_64__)
// Two independent carry chains (CF through ADCX, OF through ADOX) let the
// processor overlap the high-half additions with the accumulations. The loop
// counters use LEA and JRCXZ, which leave both flags alone.
Limb MulAddRowAdx(Limb* r, const Limb* a, size_t n, Limb w) {
  size_t quads = n / 4, rest = n % 4;
  Limb carry;
  __asm__ volatile(
      "xorl %%r8d, %%r8d\n\t"
      "1:\n\t"
      "jrcxz 2f\n\t"
      "mulx 0(%[a]), %%r10, %%r11\n\t"
      "adcx %%r8, %%r10\n\t"
      "adox 0(%[r]), %%r10\n\t"
      "movq %%r10, 0(%[r])\n\t"
      "mulx 8(%[a]), %%r10, %%r8\n\t"
      "adcx %%r11, %%r10\n\t"
      "adox 8(%[r]), %%r10\n\t"
      "movq %%r10, 8(%[r])\n\t"
      "mulx 16(%[a]), %%r10, %%r11\n\t"
      "adcx %%r8, %%r10\n\t"
      "adox 16(%[r]), %%r10\n\t"
      "movq %%r10, 16(%[r])\n\t"
      "mulx 24(%[a]), %%r10, %%r8\n\t"
      "adcx %%r11, %%r10\n\t"
      "adox 24(%[r]), %%r10\n\t"
      "movq %%r10, 24(%[r])\n\t"
      "leaq 32(%[a]), %[a]\n\t"
      "leaq 32(%[r]), %[r]\n\t"
      "leaq -1(%%rcx), %%rcx\n\t"
      "jmp 1b\n\t"
      "2:\n\t"
      "movq %[rest], %%rcx\n\t"
      "3:\n\t"
      "jrcxz 4f\n\t"
      "mulx 0(%[a]), %%r10, %%r11\n\t"
      "adcx %%r8, %%r10\n\t"
      "adox 0(%[r]), %%r10\n\t"
      "movq %%r10, 0(%[r])\n\t"
      "movq %%r11, %%r8\n\t"
      "leaq 8(%[a]), %[a]\n\t"
      "leaq 8(%[r]), %[r]\n\t"
      "leaq -1(%%rcx), %%rcx\n\t"
      "jmp 3b\n\t"
      "4:\n\t"
      "movl $0, %%r10d\n\t"
      "adcx %%r10, %%r8\n\t"
      "adox %%r10, %%r8\n\t"
      "movq %%r8, %[carry]\n\t"
      : [a] "+r"(a), [r] "+r"(r), "+c"(quads), [carry] "=&r"(carry)
      : "d"(w), [rest] "r"(rest)
      : "r8", "r10", "r11", "cc", "memory");
  return carry;
}

#endif

}  // namespace

Limb MulAddRow(Limb* r, const Limb* a, size_t n, Limb w) {
#if defined(__x86_64__)
  if (cpu::Has(cpu::path::kMulxAdx)) return MulAddRowAdx(r, a, n, w);
#endif
  return MulAddWord(r, a, n, w);
}

void Mul(Limb* r, const Limb* a, size_t an, const Limb* b, size_t bn) {
  if (an == 0 || bn == 0) {
    for (size_t i = 0; i < an + bn; ++i) r[i] = 0;
    return;
  }
  for (size_t i = 0; i < an; ++i) r[i] = 0;
  for (size_t j = 0; j < bn; ++j) r[an + j] = MulAddRow(r + j, a, an, b[j]);
}

void Square(Limb* r, const Limb* a, size_t n) {
  if (n == 0) return;
  // Cross products once, doubled, then the diagonal squares added in.
  r[0] = 0;
  r[2 * n - 1] = 0;
  if (n > 1) {
    for (size_t i = 1; i < n; ++i) r[i] = 0;
    for (size_t i = 0; i + 1 < n; ++i) r[n + i] = MulAddRow(r + 2 * i + 1, a + i + 1, n - i - 1, a[i]);
  } else {
    r[1] = 0;
  }
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
