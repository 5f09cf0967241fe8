#pragma once
// The MULX/ADCX/ADOX row kernels, inlined into the loops that call them so a
// whole product or reduction checks the processor once, not once per row.
// Callers run them only where cpu::path::kMulxAdx is active.
#include <cstddef>

#include "crypto/bigint/LimbMath.h"

namespace tornell::limb {

#if defined(__x86_64__)

// r[0..n) += a[0..n) * w; returns the carry limb. Two independent carry
// chains (CF through ADCX, OF through ADOX) let the processor overlap the
// high-half additions with the accumulations. The loop counters use LEA and
// JRCXZ, which leave both flags alone.
[[gnu::always_inline]] inline Limb MulAddRowAdx(Limb* r, const Limb* a, size_t n, Limb w) {
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

// MulAddRowAdx for a row length fixed at compile time, unrolled whole: no
// loop counter, and every address a constant offset.
template <size_t N>
[[gnu::always_inline]] inline Limb MulAddRowAdxFixed(Limb* r, const Limb* a, Limb w) {
  static_assert(N >= 1);
  Limb carry;
  __asm__ volatile(
      "xorl %%r8d, %%r8d\n\t"
      ".set .Lrow_at, 0\n\t"
      ".rept %c[pairs]\n\t"
      "mulx .Lrow_at(%[a]), %%r10, %%r11\n\t"
      "adcx %%r8, %%r10\n\t"
      "adox .Lrow_at(%[r]), %%r10\n\t"
      "movq %%r10, .Lrow_at(%[r])\n\t"
      "mulx .Lrow_at+8(%[a]), %%r10, %%r8\n\t"
      "adcx %%r11, %%r10\n\t"
      "adox .Lrow_at+8(%[r]), %%r10\n\t"
      "movq %%r10, .Lrow_at+8(%[r])\n\t"
      ".set .Lrow_at, .Lrow_at+16\n\t"
      ".endr\n\t"
      ".if %c[odd]\n\t"
      "mulx .Lrow_at(%[a]), %%r10, %%r11\n\t"
      "adcx %%r8, %%r10\n\t"
      "adox .Lrow_at(%[r]), %%r10\n\t"
      "movq %%r10, .Lrow_at(%[r])\n\t"
      "movq %%r11, %%r8\n\t"
      ".endif\n\t"
      "movl $0, %%r10d\n\t"
      "adcx %%r10, %%r8\n\t"
      "adox %%r10, %%r8\n\t"
      "movq %%r8, %[carry]\n\t"
      : [carry] "=&r"(carry)
      : [a] "r"(a), [r] "r"(r), "d"(w), [pairs] "n"(N / 2), [odd] "n"(N % 2)
      : "r8", "r10", "r11", "cc", "memory");
  return carry;
}

// r[0..2n) = 2 r + the squares of a[0..n) on the diagonal (r[2i..2i+2) gets
// a[i]^2), for a result that fits in 2n limbs: the last step of a square
// whose cross products r holds. The doubling runs on CF, the squares on OF.
[[gnu::always_inline]] inline void DoubleAddSquaresAdx(Limb* r, const Limb* a, size_t n) {
  __asm__ volatile(
      "xorl %%r8d, %%r8d\n\t"
      "1:\n\t"
      "jrcxz 2f\n\t"
      "movq 0(%[a]), %%rdx\n\t"
      "mulx %%rdx, %%r10, %%r11\n\t"
      "movq 0(%[r]), %%r8\n\t"
      "movq 8(%[r]), %%r9\n\t"
      "adcx %%r8, %%r8\n\t"
      "adcx %%r9, %%r9\n\t"
      "adox %%r10, %%r8\n\t"
      "adox %%r11, %%r9\n\t"
      "movq %%r8, 0(%[r])\n\t"
      "movq %%r9, 8(%[r])\n\t"
      "leaq 8(%[a]), %[a]\n\t"
      "leaq 16(%[r]), %[r]\n\t"
      "leaq -1(%%rcx), %%rcx\n\t"
      "jmp 1b\n\t"
      "2:\n\t"
      : [a] "+r"(a), [r] "+r"(r), "+c"(n)
      :
      : "rdx", "r8", "r9", "r10", "r11", "cc", "memory");
}

#endif

}  // namespace tornell::limb
