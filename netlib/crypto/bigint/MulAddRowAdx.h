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

// Eight rows of a Montgomery reduction at a time, with eight limbs of the
// sum in registers: a row costs a multiply and two register additions per
// limb, where the one-row kernel also loads and stores a limb of the sum.
// The nine registers of the window (eight limbs and the high half of the
// next product) rotate one place a row, so no limb is ever moved.
//
// One call takes rows 0..8 of T over the K-limb m (K a multiple of 8):
// row r adds q_r * m at T[r], q_r = T[r] * n0 once the rows before have
// added in, which clears T[r]; q_r is kept there (T[0..8) no longer holds
// the sum). The first block of m sets the multipliers, then the blocks of
// T enter the window one at a time as the rows reach them, each row
// storing the limb it completes; T[K..K+8) is added in last, and the carry
// out of it (0 to 2) is returned.
template <size_t K>
[[gnu::always_inline]] inline Limb ReduceGroupAdx(Limb* T, const Limb* m, Limb n0) {
  static_assert(K >= 8 && K % 8 == 0);
  Limb c = n0;
  __asm__ volatile(
      ".macro tnl_row p0, p1, p2, p3, p4, p5, p6, p7, h, s\n\t"
      ".if \\s < 8\n\t"
      "movq \\p0, %%rdx\n\t"
      "imulq %%rcx, %%rdx\n\t"
      "movq %%rdx, 8 * \\s(%%rsi)\n\t"
      ".else\n\t"
      "movq 8 * (\\s %% 8)(%%rsi), %%rdx\n\t"
      ".endif\n\t"
      "xorl %%eax, %%eax\n\t"
      "mulx 64 * (\\s / 8) + 0(%%rdi), %%rax, \\h\n\t"
      "adcx %%rax, \\p0\n\t"
      "adox \\h, \\p1\n\t"
      "mulx 64 * (\\s / 8) + 8(%%rdi), %%rax, \\h\n\t"
      "adcx %%rax, \\p1\n\t"
      "adox \\h, \\p2\n\t"
      "mulx 64 * (\\s / 8) + 16(%%rdi), %%rax, \\h\n\t"
      "adcx %%rax, \\p2\n\t"
      "adox \\h, \\p3\n\t"
      "mulx 64 * (\\s / 8) + 24(%%rdi), %%rax, \\h\n\t"
      "adcx %%rax, \\p3\n\t"
      "adox \\h, \\p4\n\t"
      "mulx 64 * (\\s / 8) + 32(%%rdi), %%rax, \\h\n\t"
      "adcx %%rax, \\p4\n\t"
      "adox \\h, \\p5\n\t"
      "mulx 64 * (\\s / 8) + 40(%%rdi), %%rax, \\h\n\t"
      "adcx %%rax, \\p5\n\t"
      "adox \\h, \\p6\n\t"
      "mulx 64 * (\\s / 8) + 48(%%rdi), %%rax, \\h\n\t"
      "adcx %%rax, \\p6\n\t"
      "adox \\h, \\p7\n\t"
      "mulx 64 * (\\s / 8) + 56(%%rdi), %%rax, \\h\n\t"
      "adcx %%rax, \\p7\n\t"
      "movl $0, %%eax\n\t"
      "adcx %%rax, \\h\n\t"
      "adox %%rax, \\h\n\t"
      ".if \\s >= 8\n\t"
      "movq \\p0, 8 * \\s(%%rsi)\n\t"
      ".endif\n\t"
      ".endm\n\t"
      ".macro tnl_add p0, p1, p2, p3, p4, p5, p6, p7, s, store\n\t"
      "xorl %%eax, %%eax\n\t"
      "adox %%rcx, \\p0\n\t"
      "adcx 8 * \\s + 0(%%rsi), \\p0\n\t"
      ".if \\store\n\t"
      "movq \\p0, 8 * \\s + 0(%%rsi)\n\t"
      ".endif\n\t"
      "adox %%rax, \\p1\n\t"
      "adcx 8 * \\s + 8(%%rsi), \\p1\n\t"
      ".if \\store\n\t"
      "movq \\p1, 8 * \\s + 8(%%rsi)\n\t"
      ".endif\n\t"
      "adox %%rax, \\p2\n\t"
      "adcx 8 * \\s + 16(%%rsi), \\p2\n\t"
      ".if \\store\n\t"
      "movq \\p2, 8 * \\s + 16(%%rsi)\n\t"
      ".endif\n\t"
      "adox %%rax, \\p3\n\t"
      "adcx 8 * \\s + 24(%%rsi), \\p3\n\t"
      ".if \\store\n\t"
      "movq \\p3, 8 * \\s + 24(%%rsi)\n\t"
      ".endif\n\t"
      "adox %%rax, \\p4\n\t"
      "adcx 8 * \\s + 32(%%rsi), \\p4\n\t"
      ".if \\store\n\t"
      "movq \\p4, 8 * \\s + 32(%%rsi)\n\t"
      ".endif\n\t"
      "adox %%rax, \\p5\n\t"
      "adcx 8 * \\s + 40(%%rsi), \\p5\n\t"
      ".if \\store\n\t"
      "movq \\p5, 8 * \\s + 40(%%rsi)\n\t"
      ".endif\n\t"
      "adox %%rax, \\p6\n\t"
      "adcx 8 * \\s + 48(%%rsi), \\p6\n\t"
      ".if \\store\n\t"
      "movq \\p6, 8 * \\s + 48(%%rsi)\n\t"
      ".endif\n\t"
      "adox %%rax, \\p7\n\t"
      "adcx 8 * \\s + 56(%%rsi), \\p7\n\t"
      ".if \\store\n\t"
      "movq \\p7, 8 * \\s + 56(%%rsi)\n\t"
      ".endif\n\t"
      "movl $0, %%ecx\n\t"
      "adcx %%rax, %%rcx\n\t"
      "adox %%rax, %%rcx\n\t"
      ".endm\n\t"
      ".macro tnl_rowat s\n\t"
      ".if (\\s %% 9) == 0\n\t"
      "tnl_row %%rbx, %%r8, %%r9, %%r10, %%r11, %%r12, %%r13, %%r14, %%r15, \\s\n\t"
      ".elseif (\\s %% 9) == 1\n\t"
      "tnl_row %%r8, %%r9, %%r10, %%r11, %%r12, %%r13, %%r14, %%r15, %%rbx, \\s\n\t"
      ".elseif (\\s %% 9) == 2\n\t"
      "tnl_row %%r9, %%r10, %%r11, %%r12, %%r13, %%r14, %%r15, %%rbx, %%r8, \\s\n\t"
      ".elseif (\\s %% 9) == 3\n\t"
      "tnl_row %%r10, %%r11, %%r12, %%r13, %%r14, %%r15, %%rbx, %%r8, %%r9, \\s\n\t"
      ".elseif (\\s %% 9) == 4\n\t"
      "tnl_row %%r11, %%r12, %%r13, %%r14, %%r15, %%rbx, %%r8, %%r9, %%r10, \\s\n\t"
      ".elseif (\\s %% 9) == 5\n\t"
      "tnl_row %%r12, %%r13, %%r14, %%r15, %%rbx, %%r8, %%r9, %%r10, %%r11, \\s\n\t"
      ".elseif (\\s %% 9) == 6\n\t"
      "tnl_row %%r13, %%r14, %%r15, %%rbx, %%r8, %%r9, %%r10, %%r11, %%r12, \\s\n\t"
      ".elseif (\\s %% 9) == 7\n\t"
      "tnl_row %%r14, %%r15, %%rbx, %%r8, %%r9, %%r10, %%r11, %%r12, %%r13, \\s\n\t"
      ".elseif (\\s %% 9) == 8\n\t"
      "tnl_row %%r15, %%rbx, %%r8, %%r9, %%r10, %%r11, %%r12, %%r13, %%r14, \\s\n\t"
      ".endif\n\t"
      ".endm\n\t"
      ".macro tnl_addat s, store\n\t"
      ".if (\\s %% 9) == 0\n\t"
      "tnl_add %%rbx, %%r8, %%r9, %%r10, %%r11, %%r12, %%r13, %%r14, \\s, \\store\n\t"
      ".elseif (\\s %% 9) == 1\n\t"
      "tnl_add %%r8, %%r9, %%r10, %%r11, %%r12, %%r13, %%r14, %%r15, \\s, \\store\n\t"
      ".elseif (\\s %% 9) == 2\n\t"
      "tnl_add %%r9, %%r10, %%r11, %%r12, %%r13, %%r14, %%r15, %%rbx, \\s, \\store\n\t"
      ".elseif (\\s %% 9) == 3\n\t"
      "tnl_add %%r10, %%r11, %%r12, %%r13, %%r14, %%r15, %%rbx, %%r8, \\s, \\store\n\t"
      ".elseif (\\s %% 9) == 4\n\t"
      "tnl_add %%r11, %%r12, %%r13, %%r14, %%r15, %%rbx, %%r8, %%r9, \\s, \\store\n\t"
      ".elseif (\\s %% 9) == 5\n\t"
      "tnl_add %%r12, %%r13, %%r14, %%r15, %%rbx, %%r8, %%r9, %%r10, \\s, \\store\n\t"
      ".elseif (\\s %% 9) == 6\n\t"
      "tnl_add %%r13, %%r14, %%r15, %%rbx, %%r8, %%r9, %%r10, %%r11, \\s, \\store\n\t"
      ".elseif (\\s %% 9) == 7\n\t"
      "tnl_add %%r14, %%r15, %%rbx, %%r8, %%r9, %%r10, %%r11, %%r12, \\s, \\store\n\t"
      ".elseif (\\s %% 9) == 8\n\t"
      "tnl_add %%r15, %%rbx, %%r8, %%r9, %%r10, %%r11, %%r12, %%r13, \\s, \\store\n\t"
      ".endif\n\t"
      ".endm\n\t"
      "movq 0(%%rsi), %%rbx\n\t"
      "movq 8(%%rsi), %%r8\n\t"
      "movq 16(%%rsi), %%r9\n\t"
      "movq 24(%%rsi), %%r10\n\t"
      "movq 32(%%rsi), %%r11\n\t"
      "movq 40(%%rsi), %%r12\n\t"
      "movq 48(%%rsi), %%r13\n\t"
      "movq 56(%%rsi), %%r14\n\t"
      ".set tnl_s, 0\n\t"
      ".rept %c[rows]\n\t"
      ".if tnl_s == 8\n\t"
      "xorl %%ecx, %%ecx\n\t"
      ".endif\n\t"
      ".if tnl_s >= 8 && (tnl_s %% 8) == 0\n\t"
      "tnl_addat tnl_s, 0\n\t"
      ".endif\n\t"
      "tnl_rowat tnl_s\n\t"
      ".set tnl_s, tnl_s + 1\n\t"
      ".endr\n\t"
      ".if tnl_s == 8\n\t"
      "xorl %%ecx, %%ecx\n\t"
      ".endif\n\t"
      "tnl_addat tnl_s, 1\n\t"
      ".purgem tnl_row\n\t"
      ".purgem tnl_add\n\t"
      ".purgem tnl_rowat\n\t"
      ".purgem tnl_addat"
      : "+c"(c)
      : "S"(T), "D"(m), [rows] "n"(K)
      : "rax", "rdx", "rbx", "r8", "r9", "r10", "r11", "r12", "r13", "r14", "r15", "cc", "memory");
  return c;
}

// p[0..8) += top; returns the carry out. A fixed length: constant time.
[[gnu::always_inline]] inline Limb AddIntoEight(Limb* p, Limb top) {
  unsigned char c = 0;
  for (size_t i = 0; i < 8; ++i) {
    unsigned long long sum;
    c = _addcarry_u64(c, p[i], i == 0 ? top : 0, &sum);
    p[i] = sum;
  }
  return c;
}

// A Montgomery reduction of t[0..2K) modulo the K-limb m (K a multiple of
// 8) in groups of eight rows: leaves t / R in t[K..2K) and returns the limb
// above it. The carry out of a group belongs at the top of the next one's
// span, where it is folded in before that group runs.
template <size_t K>
[[gnu::always_inline]] inline Limb ReduceWindowAdx(Limb* t, const Limb* m, Limb n0) {
  Limb top = 0;
  for (size_t g = 0; g < K; g += 8) {
    const Limb c = AddIntoEight(t + g + K, top);
    top = ReduceGroupAdx<K>(t + g, m, n0) + c;
  }
  return top;
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

// DoubleAddSquaresAdx for a length fixed at compile time, unrolled whole.
template <size_t N>
[[gnu::always_inline]] inline void DoubleAddSquaresAdxFixed(Limb* r, const Limb* a) {
  __asm__ volatile(
      "xorl %%r8d, %%r8d\n\t"
      ".set .Lsq_at, 0\n\t"
      ".rept %c[n]\n\t"
      "movq .Lsq_at(%[a]), %%rdx\n\t"
      "mulx %%rdx, %%r10, %%r11\n\t"
      "movq 2 * .Lsq_at(%[r]), %%r8\n\t"
      "movq 2 * .Lsq_at + 8(%[r]), %%r9\n\t"
      "adcx %%r8, %%r8\n\t"
      "adcx %%r9, %%r9\n\t"
      "adox %%r10, %%r8\n\t"
      "adox %%r11, %%r9\n\t"
      "movq %%r8, 2 * .Lsq_at(%[r])\n\t"
      "movq %%r9, 2 * .Lsq_at + 8(%[r])\n\t"
      ".set .Lsq_at, .Lsq_at + 8\n\t"
      ".endr\n\t"
      :
      : [a] "r"(a), [r] "r"(r), [n] "n"(N)
      : "rdx", "r8", "r9", "r10", "r11", "cc", "memory");
}

#endif

}  // namespace tornell::limb
