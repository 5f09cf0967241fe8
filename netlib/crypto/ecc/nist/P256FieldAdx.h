#pragma once
// The P-256 field product and square with MULX, ADCX and ADOX, and the sum
// and difference with conditional moves, for the curve code compiled for
// those instructions. p = 2^256 - 2^224 + 2^192 + 2^96 - 1
// has -p^-1 = 1 mod 2^64, so each reduction step's multiplier is the low limb
// itself and costs one product (by p's top limb) and two shifts. Both end with
// the final subtraction, so they return a value below p.
#include <cstdint>

namespace tornell {
namespace nistfield {

#if defined(__x86_64__)

static constexpr uint64_t kP256Top = 0xffffffff00000001ULL;
static constexpr uint64_t kP256P1 = 0x00000000ffffffffULL;

// out[0..4) = a b / 2^256 mod p (below p), for a, b below p: one row of
// products and one reduction step per limb of b, then a subtraction of p
// kept or dropped by conditional moves.
[[gnu::always_inline]] static inline void P256MulAdx(uint64_t* out, const uint64_t* a, const uint64_t* b) {
  uint64_t t0, t1, t2, t3, t4, t5, lo, hi, dx;
  __asm__(
      "movq 0(%[b]), %%rdx\n\t"
      "mulx 0(%[a]), %[t0], %[t1]\n\t"
      "mulx 8(%[a]), %[lo], %[t2]\n\t"
      "addq %[lo], %[t1]\n\t"
      "mulx 16(%[a]), %[lo], %[t3]\n\t"
      "adcq %[lo], %[t2]\n\t"
      "mulx 24(%[a]), %[lo], %[t4]\n\t"
      "adcq %[lo], %[t3]\n\t"
      "adcq $0, %[t4]\n\t"
      "movl $0, %k[t5]\n\t"
      "movq %[t0], %%rdx\n\t"
      "mulx %[p3], %[lo], %[hi]\n\t"
      "movq %[t0], %%rdx\n\t"
      "shlq $32, %%rdx\n\t"
      "shrq $32, %[t0]\n\t"
      "addq %%rdx, %[t1]\n\t"
      "adcq %[t0], %[t2]\n\t"
      "adcq %[lo], %[t3]\n\t"
      "adcq %[hi], %[t4]\n\t"
      "adcq $0, %[t5]\n\t"
      "movq 8(%[b]), %%rdx\n\t"
      "xorl %k[lo], %k[lo]\n\t"
      "movl $0, %k[t0]\n\t"
      "mulx 0(%[a]), %[lo], %[hi]\n\t"
      "adcx %[lo], %[t1]\n\t"
      "adox %[hi], %[t2]\n\t"
      "mulx 8(%[a]), %[lo], %[hi]\n\t"
      "adcx %[lo], %[t2]\n\t"
      "adox %[hi], %[t3]\n\t"
      "mulx 16(%[a]), %[lo], %[hi]\n\t"
      "adcx %[lo], %[t3]\n\t"
      "adox %[hi], %[t4]\n\t"
      "mulx 24(%[a]), %[lo], %[hi]\n\t"
      "adcx %[lo], %[t4]\n\t"
      "adox %[hi], %[t5]\n\t"
      "adcx %[t0], %[t5]\n\t"
      "adox %[t0], %[t0]\n\t"
      "adcq $0, %[t0]\n\t"
      "movq %[t1], %%rdx\n\t"
      "mulx %[p3], %[lo], %[hi]\n\t"
      "movq %[t1], %%rdx\n\t"
      "shlq $32, %%rdx\n\t"
      "shrq $32, %[t1]\n\t"
      "addq %%rdx, %[t2]\n\t"
      "adcq %[t1], %[t3]\n\t"
      "adcq %[lo], %[t4]\n\t"
      "adcq %[hi], %[t5]\n\t"
      "adcq $0, %[t0]\n\t"
      "movq 16(%[b]), %%rdx\n\t"
      "xorl %k[lo], %k[lo]\n\t"
      "movl $0, %k[t1]\n\t"
      "mulx 0(%[a]), %[lo], %[hi]\n\t"
      "adcx %[lo], %[t2]\n\t"
      "adox %[hi], %[t3]\n\t"
      "mulx 8(%[a]), %[lo], %[hi]\n\t"
      "adcx %[lo], %[t3]\n\t"
      "adox %[hi], %[t4]\n\t"
      "mulx 16(%[a]), %[lo], %[hi]\n\t"
      "adcx %[lo], %[t4]\n\t"
      "adox %[hi], %[t5]\n\t"
      "mulx 24(%[a]), %[lo], %[hi]\n\t"
      "adcx %[lo], %[t5]\n\t"
      "adox %[hi], %[t0]\n\t"
      "adcx %[t1], %[t0]\n\t"
      "adox %[t1], %[t1]\n\t"
      "adcq $0, %[t1]\n\t"
      "movq %[t2], %%rdx\n\t"
      "mulx %[p3], %[lo], %[hi]\n\t"
      "movq %[t2], %%rdx\n\t"
      "shlq $32, %%rdx\n\t"
      "shrq $32, %[t2]\n\t"
      "addq %%rdx, %[t3]\n\t"
      "adcq %[t2], %[t4]\n\t"
      "adcq %[lo], %[t5]\n\t"
      "adcq %[hi], %[t0]\n\t"
      "adcq $0, %[t1]\n\t"
      "movq 24(%[b]), %%rdx\n\t"
      "xorl %k[lo], %k[lo]\n\t"
      "movl $0, %k[t2]\n\t"
      "mulx 0(%[a]), %[lo], %[hi]\n\t"
      "adcx %[lo], %[t3]\n\t"
      "adox %[hi], %[t4]\n\t"
      "mulx 8(%[a]), %[lo], %[hi]\n\t"
      "adcx %[lo], %[t4]\n\t"
      "adox %[hi], %[t5]\n\t"
      "mulx 16(%[a]), %[lo], %[hi]\n\t"
      "adcx %[lo], %[t5]\n\t"
      "adox %[hi], %[t0]\n\t"
      "mulx 24(%[a]), %[lo], %[hi]\n\t"
      "adcx %[lo], %[t0]\n\t"
      "adox %[hi], %[t1]\n\t"
      "adcx %[t2], %[t1]\n\t"
      "adox %[t2], %[t2]\n\t"
      "adcq $0, %[t2]\n\t"
      "movq %[t3], %%rdx\n\t"
      "mulx %[p3], %[lo], %[hi]\n\t"
      "movq %[t3], %%rdx\n\t"
      "shlq $32, %%rdx\n\t"
      "shrq $32, %[t3]\n\t"
      "addq %%rdx, %[t4]\n\t"
      "adcq %[t3], %[t5]\n\t"
      "adcq %[lo], %[t0]\n\t"
      "adcq %[hi], %[t1]\n\t"
      "adcq $0, %[t2]\n\t"
      // (t4, t5, t0, t1) + 2^256 t2 is below 2p: subtract p unless that
      // borrows past the carry word
      "movq %[t4], %[lo]\n\t"
      "subq $-1, %[lo]\n\t"
      "movq %[t5], %[hi]\n\t"
      "sbbq %[p1], %[hi]\n\t"
      "movq %[t0], %%rdx\n\t"
      "sbbq $0, %%rdx\n\t"
      "movq %[t1], %[t3]\n\t"
      "sbbq %[p3], %[t3]\n\t"
      "sbbq $0, %[t2]\n\t"
      "cmovcq %[t4], %[lo]\n\t"
      "cmovcq %[t5], %[hi]\n\t"
      "cmovcq %[t0], %%rdx\n\t"
      "cmovcq %[t1], %[t3]\n\t"
      : [t0] "=&r"(t0), [t1] "=&r"(t1), [t2] "=&r"(t2), [t3] "=&r"(t3), [t4] "=&r"(t4), [t5] "=&r"(t5),
        [lo] "=&r"(lo), [hi] "=&r"(hi), [dx] "=&d"(dx)
      : [a] "r"(a), [b] "r"(b), [p1] "m"(kP256P1), [p3] "m"(kP256Top), "m"(*(const uint64_t(*)[4])a),
        "m"(*(const uint64_t(*)[4])b)
      : "cc");
  out[0] = lo, out[1] = hi, out[2] = dx, out[3] = t3;
}

// The same for a a: the six cross products once, doubled, the four squares
// on the diagonal, then the low half reduced and the high half added.
[[gnu::always_inline]] static inline void P256SqrAdx(uint64_t* out, const uint64_t* a) {
  uint64_t t0, t1, t2, t3, t4, t5, t6, t7, lo, hi;
  __asm__(
      // cross products in two carry chains, t0 kept zero for the ends
      "movq 0(%[a]), %%rdx\n\t"
      "mulx 8(%[a]), %[t1], %[t2]\n\t"
      "mulx 16(%[a]), %[lo], %[t3]\n\t"
      "xorl %k[t0], %k[t0]\n\t"
      "adcx %[lo], %[t2]\n\t"
      "mulx 24(%[a]), %[lo], %[t4]\n\t"
      "adcx %[lo], %[t3]\n\t"
      "movq 8(%[a]), %%rdx\n\t"
      "mulx 16(%[a]), %[lo], %[hi]\n\t"
      "adox %[lo], %[t3]\n\t"
      "adcx %[hi], %[t4]\n\t"
      "mulx 24(%[a]), %[lo], %[t5]\n\t"
      "adox %[lo], %[t4]\n\t"
      "movq 16(%[a]), %%rdx\n\t"
      "mulx 24(%[a]), %[lo], %[t6]\n\t"
      "adcx %[lo], %[t5]\n\t"
      "adox %[t0], %[t5]\n\t"
      "adcx %[t0], %[t6]\n\t"
      "adox %[t0], %[t6]\n\t"
      // doubled (CF chain) while the squares go in (OF chain)
      "xorl %k[t7], %k[t7]\n\t"
      "movq 0(%[a]), %%rdx\n\t"
      "mulx %%rdx, %[t0], %[hi]\n\t"
      "adcx %[t1], %[t1]\n\t"
      "adox %[hi], %[t1]\n\t"
      "movq 8(%[a]), %%rdx\n\t"
      "mulx %%rdx, %[lo], %[hi]\n\t"
      "adcx %[t2], %[t2]\n\t"
      "adox %[lo], %[t2]\n\t"
      "adcx %[t3], %[t3]\n\t"
      "adox %[hi], %[t3]\n\t"
      "movq 16(%[a]), %%rdx\n\t"
      "mulx %%rdx, %[lo], %[hi]\n\t"
      "adcx %[t4], %[t4]\n\t"
      "adox %[lo], %[t4]\n\t"
      "adcx %[t5], %[t5]\n\t"
      "adox %[hi], %[t5]\n\t"
      "movq 24(%[a]), %%rdx\n\t"
      "mulx %%rdx, %[lo], %[hi]\n\t"
      "adcx %[t6], %[t6]\n\t"
      "adox %[lo], %[t6]\n\t"
      "adcx %[t7], %[t7]\n\t"
      "adox %[hi], %[t7]\n\t"
      "movq %[t0], %%rdx\n\t"
      "mulx %[p3], %[lo], %[hi]\n\t"
      "shlq $32, %%rdx\n\t"
      "shrq $32, %[t0]\n\t"
      "addq %%rdx, %[t1]\n\t"
      "adcq %[t0], %[t2]\n\t"
      "adcq %[lo], %[t3]\n\t"
      "adcq $0, %[hi]\n\t"
      "movq %[t1], %%rdx\n\t"
      "mulx %[p3], %[lo], %[t0]\n\t"
      "shlq $32, %%rdx\n\t"
      "shrq $32, %[t1]\n\t"
      "addq %%rdx, %[t2]\n\t"
      "adcq %[t1], %[t3]\n\t"
      "adcq %[lo], %[hi]\n\t"
      "adcq $0, %[t0]\n\t"
      "movq %[t2], %%rdx\n\t"
      "mulx %[p3], %[lo], %[t1]\n\t"
      "shlq $32, %%rdx\n\t"
      "shrq $32, %[t2]\n\t"
      "addq %%rdx, %[t3]\n\t"
      "adcq %[t2], %[hi]\n\t"
      "adcq %[lo], %[t0]\n\t"
      "adcq $0, %[t1]\n\t"
      "movq %[t3], %%rdx\n\t"
      "mulx %[p3], %[lo], %[t2]\n\t"
      "shlq $32, %%rdx\n\t"
      "shrq $32, %[t3]\n\t"
      "addq %%rdx, %[hi]\n\t"
      "adcq %[t3], %[t0]\n\t"
      "adcq %[lo], %[t1]\n\t"
      "adcq $0, %[t2]\n\t"
      "movl $0, %k[t3]\n\t"
      "addq %[t4], %[hi]\n\t"
      "adcq %[t5], %[t0]\n\t"
      "adcq %[t6], %[t1]\n\t"
      "adcq %[t7], %[t2]\n\t"
      "adcq $0, %[t3]\n\t"
      "movq %[hi], %[t4]\n\t"
      "subq $-1, %[t4]\n\t"
      "movq %[t0], %[t5]\n\t"
      "sbbq %[p1], %[t5]\n\t"
      "movq %[t1], %[t6]\n\t"
      "sbbq $0, %[t6]\n\t"
      "movq %[t2], %[t7]\n\t"
      "sbbq %[p3], %[t7]\n\t"
      "sbbq $0, %[t3]\n\t"
      "cmovcq %[hi], %[t4]\n\t"
      "cmovcq %[t0], %[t5]\n\t"
      "cmovcq %[t1], %[t6]\n\t"
      "cmovcq %[t2], %[t7]\n\t"
      : [t0] "=&r"(t0), [t1] "=&r"(t1), [t2] "=&r"(t2), [t3] "=&r"(t3), [t4] "=&r"(t4), [t5] "=&r"(t5),
        [t6] "=&r"(t6), [t7] "=&r"(t7), [lo] "=&r"(lo), [hi] "=&r"(hi)
      : [a] "r"(a), [p1] "m"(kP256P1), [p3] "m"(kP256Top), "m"(*(const uint64_t(*)[4])a)
      : "rdx", "cc");
  out[0] = t4, out[1] = t5, out[2] = t6, out[3] = t7;
}

// out = a + b mod p for a, b below p: the sum's carry word kept, p
// subtracted, and the sum chosen back by conditional moves when that borrows.
// a comes in registers and b wherever the compiler holds it, so a chain of
// sums between products need not pass through memory.
[[gnu::always_inline]] static inline void P256AddAdx(uint64_t* out, const uint64_t* a, const uint64_t* b) {
  uint64_t t0 = a[0], t1 = a[1], t2 = a[2], t3 = a[3], u0, u1, u2, u3, c;
  __asm__(
      "xorl %k[c], %k[c]\n\t"
      "addq %[b0], %[t0]\n\t"
      "adcq %[b1], %[t1]\n\t"
      "adcq %[b2], %[t2]\n\t"
      "adcq %[b3], %[t3]\n\t"
      "adcq $0, %[c]\n\t"
      "movq %[t0], %[u0]\n\t"
      "subq $-1, %[u0]\n\t"
      "movq %[t1], %[u1]\n\t"
      "sbbq %[p1], %[u1]\n\t"
      "movq %[t2], %[u2]\n\t"
      "sbbq $0, %[u2]\n\t"
      "movq %[t3], %[u3]\n\t"
      "sbbq %[p3], %[u3]\n\t"
      "sbbq $0, %[c]\n\t"
      "cmovcq %[t0], %[u0]\n\t"
      "cmovcq %[t1], %[u1]\n\t"
      "cmovcq %[t2], %[u2]\n\t"
      "cmovcq %[t3], %[u3]\n\t"
      : [t0] "+&r"(t0), [t1] "+&r"(t1), [t2] "+&r"(t2), [t3] "+&r"(t3), [u0] "=&r"(u0), [u1] "=&r"(u1),
        [u2] "=&r"(u2), [u3] "=&r"(u3), [c] "=&r"(c)
      : [b0] "rm"(b[0]), [b1] "rm"(b[1]), [b2] "rm"(b[2]), [b3] "rm"(b[3]), [p1] "rm"(kP256P1), [p3] "rm"(kP256Top)
      : "cc");
  out[0] = u0, out[1] = u1, out[2] = u2, out[3] = u3;
}

// out = a - b mod p for a, b below p: p added back, masked by the borrow.
[[gnu::always_inline]] static inline void P256SubAdx(uint64_t* out, const uint64_t* a, const uint64_t* b) {
  uint64_t t0 = a[0], t1 = a[1], t2 = a[2], t3 = a[3], m, m1, m3;
  __asm__(
      "subq %[b0], %[t0]\n\t"
      "sbbq %[b1], %[t1]\n\t"
      "sbbq %[b2], %[t2]\n\t"
      "sbbq %[b3], %[t3]\n\t"
      "sbbq %[m], %[m]\n\t"
      "movq %[m], %[m1]\n\t"
      "shrq $32, %[m1]\n\t"
      "movq %[m], %[m3]\n\t"
      "andq %[p3], %[m3]\n\t"
      "addq %[m], %[t0]\n\t"
      "adcq %[m1], %[t1]\n\t"
      "adcq $0, %[t2]\n\t"
      "adcq %[m3], %[t3]\n\t"
      : [t0] "+&r"(t0), [t1] "+&r"(t1), [t2] "+&r"(t2), [t3] "+&r"(t3), [m] "=&r"(m), [m1] "=&r"(m1),
        [m3] "=&r"(m3)
      : [b0] "rm"(b[0]), [b1] "rm"(b[1]), [b2] "rm"(b[2]), [b3] "rm"(b[3]), [p3] "rm"(kP256Top)
      : "cc");
  out[0] = t0, out[1] = t1, out[2] = t2, out[3] = t3;
}

// out = a / 2 mod p for a below p: p added when a is odd (a mask, no
// branch), then the 257-bit sum shifted down.
[[gnu::always_inline]] static inline void P256HalfAdx(uint64_t* out, const uint64_t* a) {
  uint64_t t0 = a[0], t1 = a[1], t2 = a[2], t3 = a[3], m, m1, m3, c;
  __asm__(
      "movq %[t0], %[m]\n\t"
      "andq $1, %[m]\n\t"
      "negq %[m]\n\t"
      "movq %[m], %[m1]\n\t"
      "shrq $32, %[m1]\n\t"
      "movq %[m], %[m3]\n\t"
      "andq %[p3], %[m3]\n\t"
      "xorl %k[c], %k[c]\n\t"
      "addq %[m], %[t0]\n\t"
      "adcq %[m1], %[t1]\n\t"
      "adcq $0, %[t2]\n\t"
      "adcq %[m3], %[t3]\n\t"
      "adcq $0, %[c]\n\t"
      "shrdq $1, %[t1], %[t0]\n\t"
      "shrdq $1, %[t2], %[t1]\n\t"
      "shrdq $1, %[t3], %[t2]\n\t"
      "shrdq $1, %[c], %[t3]\n\t"
      : [t0] "+&r"(t0), [t1] "+&r"(t1), [t2] "+&r"(t2), [t3] "+&r"(t3), [m] "=&r"(m), [m1] "=&r"(m1),
        [m3] "=&r"(m3), [c] "=&r"(c)
      : [p3] "rm"(kP256Top)
      : "cc");
  out[0] = t0, out[1] = t1, out[2] = t2, out[3] = t3;
}

#endif

}  // namespace nistfield
}  // namespace tornell
