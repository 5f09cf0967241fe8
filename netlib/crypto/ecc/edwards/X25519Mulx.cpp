// X25519 in radix 2^64: each element is four limbs holding any value below
// 2^256 (congruent mod p, reduced only for the output), and 2^256 = 38 mod p
// folds the upper half of a product back. The products run as two carry
// chains (ADCX, ADOX) beside MULX, which leaves the flags alone.
#include "crypto/ecc/edwards/X25519Mulx.h"

#include <cstdint>
#include <cstring>

#include "core/secure/ConstantTime.h"
#include "core/secure/SecureWipe.h"

// The shared constant-time helpers are included above, outside the target
// region, so their out-of-line copies carry no MULX or ADX instructions.
#if defined(__x86_64__)
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("bmi2,adx"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("bmi2,adx")
// The ladder's swaps and sums run on the general registers the products
// use; moved through vector registers they cost more than they save.
#pragma GCC optimize("no-tree-vectorize", "no-tree-slp-vectorize")
#endif
#include <immintrin.h>

namespace tornell {

namespace {

struct Fe64 {
  uint64_t v[4];
};

// r = a·b (below 2^256, congruent mod p). The 512-bit product comes row by
// row, its finished low limbs parked on the stack, then its upper half times
// 38 is added to the lower half and the last carry folded twice.
[[gnu::always_inline]] inline void Mul(Fe64& r, const Fe64& a, const Fe64& b) {
  uint64_t r0, r1, r2, r3, r4, lo, hi, z, s[3];
  __asm__(
      "movq 0(%[b]), %%rdx\n\t"
      "mulx 0(%[a]), %[r0], %[r1]\n\t"
      "mulx 8(%[a]), %[lo], %[r2]\n\t"
      "addq %[lo], %[r1]\n\t"
      "mulx 16(%[a]), %[lo], %[r3]\n\t"
      "adcq %[lo], %[r2]\n\t"
      "mulx 24(%[a]), %[lo], %[r4]\n\t"
      "adcq %[lo], %[r3]\n\t"
      "adcq $0, %[r4]\n\t"
      "movq %[r0], %[s]\n\t"
      // limbs 1..5 in r1, r2, r3, r4, r0
      "movq 8(%[b]), %%rdx\n\t"
      "xorl %k[z], %k[z]\n\t"
      "mulx 0(%[a]), %[lo], %[hi]\n\t"
      "adcx %[lo], %[r1]\n\t"
      "adox %[hi], %[r2]\n\t"
      "mulx 8(%[a]), %[lo], %[hi]\n\t"
      "adcx %[lo], %[r2]\n\t"
      "adox %[hi], %[r3]\n\t"
      "mulx 16(%[a]), %[lo], %[hi]\n\t"
      "adcx %[lo], %[r3]\n\t"
      "adox %[hi], %[r4]\n\t"
      "mulx 24(%[a]), %[lo], %[r0]\n\t"
      "adcx %[lo], %[r4]\n\t"
      "adox %[z], %[r0]\n\t"
      "adcx %[z], %[r0]\n\t"
      "movq %[r1], 8+%[s]\n\t"
      // limbs 2..6 in r2, r3, r4, r0, r1
      "movq 16(%[b]), %%rdx\n\t"
      "xorl %k[z], %k[z]\n\t"
      "mulx 0(%[a]), %[lo], %[hi]\n\t"
      "adcx %[lo], %[r2]\n\t"
      "adox %[hi], %[r3]\n\t"
      "mulx 8(%[a]), %[lo], %[hi]\n\t"
      "adcx %[lo], %[r3]\n\t"
      "adox %[hi], %[r4]\n\t"
      "mulx 16(%[a]), %[lo], %[hi]\n\t"
      "adcx %[lo], %[r4]\n\t"
      "adox %[hi], %[r0]\n\t"
      "mulx 24(%[a]), %[lo], %[r1]\n\t"
      "adcx %[lo], %[r0]\n\t"
      "adox %[z], %[r1]\n\t"
      "adcx %[z], %[r1]\n\t"
      "movq %[r2], 16+%[s]\n\t"
      // limbs 3..7 in r3, r4, r0, r1, r2
      "movq 24(%[b]), %%rdx\n\t"
      "xorl %k[z], %k[z]\n\t"
      "mulx 0(%[a]), %[lo], %[hi]\n\t"
      "adcx %[lo], %[r3]\n\t"
      "adox %[hi], %[r4]\n\t"
      "mulx 8(%[a]), %[lo], %[hi]\n\t"
      "adcx %[lo], %[r4]\n\t"
      "adox %[hi], %[r0]\n\t"
      "mulx 16(%[a]), %[lo], %[hi]\n\t"
      "adcx %[lo], %[r0]\n\t"
      "adox %[hi], %[r1]\n\t"
      "mulx 24(%[a]), %[lo], %[r2]\n\t"
      "adcx %[lo], %[r1]\n\t"
      "adox %[z], %[r2]\n\t"
      "adcx %[z], %[r2]\n\t"
      // low half: s[0], s[1], s[2], r3; high half: r4, r0, r1, r2
      "movl $38, %%edx\n\t"
      "xorl %k[z], %k[z]\n\t"
      "mulx %[r4], %[lo], %[hi]\n\t"
      "adcx %[s], %[lo]\n\t"
      "mulx %[r0], %[r4], %[r0]\n\t"
      "adcx 8+%[s], %[r4]\n\t"
      "adox %[hi], %[r4]\n\t"
      "mulx %[r1], %[hi], %[r1]\n\t"
      "adcx 16+%[s], %[hi]\n\t"
      "adox %[r0], %[hi]\n\t"
      "mulx %[r2], %[r0], %[r2]\n\t"
      "adcx %[r3], %[r0]\n\t"
      "adox %[r1], %[r0]\n\t"
      "adcx %[z], %[r2]\n\t"
      "adox %[z], %[r2]\n\t"
      // the carry word (at most 39) times 38, then a last wrap of 38
      "imulq $38, %[r2], %[r2]\n\t"
      "addq %[r2], %[lo]\n\t"
      "adcq $0, %[r4]\n\t"
      "adcq $0, %[hi]\n\t"
      "adcq $0, %[r0]\n\t"
      "sbbq %[r2], %[r2]\n\t"
      "andq $38, %[r2]\n\t"
      "addq %[r2], %[lo]\n\t"
      : [r0] "=&r"(r0), [r1] "=&r"(r1), [r2] "=&r"(r2), [r3] "=&r"(r3), [r4] "=&r"(r4), [lo] "=&r"(lo),
        [hi] "=&r"(hi), [z] "=&r"(z), [s] "=m"(s)
      : [a] "r"(a.v), [b] "r"(b.v), "m"(a.v), "m"(b.v)
      : "rdx", "cc");
  r.v[0] = lo;
  r.v[1] = r4;
  r.v[2] = hi;
  r.v[3] = r0;
}

// r = a^2: the six cross products once, doubled with the four squares
// added, then the same fold as the product.
[[gnu::always_inline]] inline void Sqr(Fe64& r, const Fe64& a) {
  uint64_t t1, t2, t3, t4, t5, t6, t7, lo, hi, z;
  __asm__(
      "movq 0(%[a]), %%rdx\n\t"
      "mulx 8(%[a]), %[t1], %[t2]\n\t"
      "mulx 16(%[a]), %[lo], %[t3]\n\t"
      "xorl %k[z], %k[z]\n\t"
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
      "adox %[z], %[t5]\n\t"
      "adcx %[z], %[t6]\n\t"
      "adox %[z], %[t6]\n\t"
      // t1..t6 hold the cross products: double them (CF chain) while the
      // squares a[i]^2 go in at limbs 2i, 2i + 1 (OF chain); limb 0 in z
      "xorl %k[t7], %k[t7]\n\t"
      "movq 0(%[a]), %%rdx\n\t"
      "mulx %%rdx, %[z], %[hi]\n\t"
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
      // low half: z, t1, t2, t3; high half: t4..t7. 38·high is formed in
      // the OF chain and added to the low half in the CF chain.
      "movl $38, %%edx\n\t"
      "mulx %[t4], %[lo], %[hi]\n\t"
      "xorl %k[t4], %k[t4]\n\t"
      "adcx %[lo], %[z]\n\t"
      "mulx %[t5], %[lo], %[t5]\n\t"
      "adox %[hi], %[lo]\n\t"
      "adcx %[lo], %[t1]\n\t"
      "mulx %[t6], %[lo], %[t6]\n\t"
      "adox %[t5], %[lo]\n\t"
      "adcx %[lo], %[t2]\n\t"
      "mulx %[t7], %[lo], %[t7]\n\t"
      "adox %[t6], %[lo]\n\t"
      "adcx %[lo], %[t3]\n\t"
      "adox %[t4], %[t7]\n\t"
      "adcx %[t4], %[t7]\n\t"
      // the carry word times 38, then a last wrap of 38
      "imulq $38, %[t7], %[t7]\n\t"
      "addq %[t7], %[z]\n\t"
      "adcq $0, %[t1]\n\t"
      "adcq $0, %[t2]\n\t"
      "adcq $0, %[t3]\n\t"
      "sbbq %[t7], %[t7]\n\t"
      "andq $38, %[t7]\n\t"
      "addq %[t7], %[z]\n\t"
      : [t1] "=&r"(t1), [t2] "=&r"(t2), [t3] "=&r"(t3), [t4] "=&r"(t4), [t5] "=&r"(t5), [t6] "=&r"(t6),
        [t7] "=&r"(t7), [lo] "=&r"(lo), [hi] "=&r"(hi), [z] "=&r"(z)
      : [a] "r"(a.v), "m"(a.v)
      : "rdx", "cc");
  r.v[0] = z;
  r.v[1] = t1;
  r.v[2] = t2;
  r.v[3] = t3;
}

inline uint64_t AddCarry(unsigned char& c, uint64_t x, uint64_t y) {
  unsigned long long out;
  c = _addcarry_u64(c, x, y, &out);
  return out;
}

inline uint64_t SubBorrow(unsigned char& b, uint64_t x, uint64_t y) {
  unsigned long long out;
  b = _subborrow_u64(b, x, y, &out);
  return out;
}

// 38 when the flag is set, else 0.
inline uint64_t Fold(unsigned char flag) { return ct::ValueBarrier<uint64_t>(0 - (uint64_t)flag) & 38; }

// t + w (w small) over four limbs; a carry out of 2^256 comes back as 38,
// which cannot carry again: the wrap left limb 0 tiny.
inline void AddSmall(Fe64& r, uint64_t t0, uint64_t t1, uint64_t t2, uint64_t t3, uint64_t w) {
  unsigned char c = 0;
  t0 = AddCarry(c, t0, w);
  t1 = AddCarry(c, t1, 0);
  t2 = AddCarry(c, t2, 0);
  t3 = AddCarry(c, t3, 0);
  r.v[0] = t0 + Fold(c);
  r.v[1] = t1;
  r.v[2] = t2;
  r.v[3] = t3;
}

inline void Add(Fe64& r, const Fe64& a, const Fe64& b) {
  unsigned char c = 0;
  const uint64_t t0 = AddCarry(c, a.v[0], b.v[0]);
  const uint64_t t1 = AddCarry(c, a.v[1], b.v[1]);
  const uint64_t t2 = AddCarry(c, a.v[2], b.v[2]);
  const uint64_t t3 = AddCarry(c, a.v[3], b.v[3]);
  AddSmall(r, t0, t1, t2, t3, Fold(c));
}

// a - b: a borrow past zero is taken back as 38, twice at most (after the
// first wrap limb 0 is near 2^64, so the second cannot borrow).
inline void Sub(Fe64& r, const Fe64& a, const Fe64& b) {
  unsigned char c = 0;
  uint64_t t0 = SubBorrow(c, a.v[0], b.v[0]);
  uint64_t t1 = SubBorrow(c, a.v[1], b.v[1]);
  uint64_t t2 = SubBorrow(c, a.v[2], b.v[2]);
  uint64_t t3 = SubBorrow(c, a.v[3], b.v[3]);
  const uint64_t w = Fold(c);
  c = 0;
  t0 = SubBorrow(c, t0, w);
  t1 = SubBorrow(c, t1, 0);
  t2 = SubBorrow(c, t2, 0);
  t3 = SubBorrow(c, t3, 0);
  r.v[0] = t0 - Fold(c);
  r.v[1] = t1;
  r.v[2] = t2;
  r.v[3] = t3;
}

// sum = a + b and diff = a - b from one read of a and b.
inline void AddSub(Fe64& sum, Fe64& diff, const Fe64& a, const Fe64& b) {
  const Fe64 x = a, y = b;
  Add(sum, x, y);
  Sub(diff, x, y);
}

// 121666·a + b (121666 is the curve's (A + 2) / 4): each limb's product and
// carry stay below 2^82, the top word is folded as 38 times itself.
inline void Mul121666Add(Fe64& r, const Fe64& a, const Fe64& b) {
  using u128 = unsigned __int128;
  const u128 x0 = (u128)a.v[0] * 121666 + b.v[0];
  const u128 x1 = (u128)a.v[1] * 121666 + b.v[1] + (uint64_t)(x0 >> 64);
  const u128 x2 = (u128)a.v[2] * 121666 + b.v[2] + (uint64_t)(x1 >> 64);
  const u128 x3 = (u128)a.v[3] * 121666 + b.v[3] + (uint64_t)(x2 >> 64);
  AddSmall(r, (uint64_t)x0, (uint64_t)x1, (uint64_t)x2, (uint64_t)x3, (uint64_t)(x3 >> 64) * 38);
}

inline void CSwap(Fe64& f, Fe64& g, uint64_t mask) {
#pragma GCC unroll 4
  for (int i = 0; i < 4; ++i) {
    const uint64_t x = (f.v[i] ^ g.v[i]) & mask;
    f.v[i] ^= x;
    g.v[i] ^= x;
  }
}

void SqrTimes(Fe64& r, const Fe64& a, int n) {
  Sqr(r, a);
  for (int i = 1; i < n; ++i) Sqr(r, r);
}

// z^(p - 2) = z^(2^255 - 21), the chain the five-limb field uses.
void Invert(Fe64& out, const Fe64& z) {
  Fe64 t0, t1, t2, t3, z9, z11;
  Sqr(t0, z);            // z^2
  SqrTimes(t1, t0, 2);   // z^8
  Mul(z9, z, t1);        // z^9
  Mul(z11, t0, z9);      // z^11
  Sqr(t2, z11);          // z^22
  Mul(t1, z9, t2);       // 2^5 - 1
  SqrTimes(t2, t1, 5);
  Mul(t1, t2, t1);       // 2^10 - 1
  SqrTimes(t2, t1, 10);
  Mul(t2, t2, t1);       // 2^20 - 1
  SqrTimes(t3, t2, 20);
  Mul(t2, t3, t2);       // 2^40 - 1
  SqrTimes(t2, t2, 10);
  Mul(t1, t2, t1);       // 2^50 - 1
  SqrTimes(t2, t1, 50);
  Mul(t2, t2, t1);       // 2^100 - 1
  SqrTimes(t3, t2, 100);
  Mul(t2, t3, t2);       // 2^200 - 1
  SqrTimes(t2, t2, 50);
  Mul(t2, t2, t1);       // 2^250 - 1
  SqrTimes(t2, t2, 5);   // 2^255 - 32
  Mul(out, t2, z11);
}

void FromBytes(Fe64& r, const unsigned char* in) {
  for (int i = 0; i < 4; ++i) {
    uint64_t w = 0;
    for (int j = 7; j >= 0; --j) w = (w << 8) | in[8 * i + j];
    r.v[i] = w;
  }
  r.v[3] &= 0x7fffffffffffffffULL;
}

// The canonical value below p: bit 255 folded in as 19, then p subtracted
// (by adding 19 and dropping bit 255) when that leaves a value.
void ToBytes(unsigned char* out, const Fe64& a) {
  uint64_t t[4], u[4];
  unsigned char c = 0;
  const uint64_t top = a.v[3] >> 63;
  t[0] = AddCarry(c, a.v[0], 19 * top);
  t[1] = AddCarry(c, a.v[1], 0);
  t[2] = AddCarry(c, a.v[2], 0);
  t[3] = AddCarry(c, a.v[3] & 0x7fffffffffffffffULL, 0);
  c = 0;
  u[0] = AddCarry(c, t[0], 19);
  for (int i = 1; i < 4; ++i) u[i] = AddCarry(c, t[i], 0);
  const uint64_t ge = ct::ValueBarrier<uint64_t>(0 - (u[3] >> 63));
  u[3] &= 0x7fffffffffffffffULL;
  for (int i = 0; i < 4; ++i) {
    const uint64_t w = (t[i] & ~ge) | (u[i] & ge);
    for (int j = 0; j < 8; ++j) out[8 * i + j] = (unsigned char)(w >> (8 * j));
  }
}

}  // namespace

void X25519LadderMulx(const unsigned char* k, const unsigned char* u, unsigned char* out) {
  Fe64 x1, x2, z2, x3, z3, a, aa, b, bb, e, c, d, da, cb, t;
  FromBytes(x1, u);
  x2 = Fe64{{1, 0, 0, 0}};
  z2 = Fe64{{0, 0, 0, 0}};
  x3 = x1;
  z3 = Fe64{{1, 0, 0, 0}};
  uint64_t swap = 0;
  for (int pos = 254; pos >= 0; --pos) {
    const uint64_t bit = (k[pos >> 3] >> (pos & 7)) & 1;
    swap ^= bit;
    CSwap(x2, x3, 0 - swap);
    CSwap(z2, z3, 0 - swap);
    swap = bit;
    AddSub(a, b, x2, z2);
    Sqr(aa, a);
    Sqr(bb, b);
    Sub(e, aa, bb);
    AddSub(c, d, x3, z3);
    Mul(da, d, a);
    Mul(cb, c, b);
    AddSub(x3, t, da, cb);
    Sqr(x3, x3);
    Sqr(t, t);
    Mul(z3, x1, t);
    Mul(x2, aa, bb);
    Mul121666Add(t, e, bb);
    Mul(z2, e, t);
  }
  CSwap(x2, x3, 0 - swap);
  CSwap(z2, z3, 0 - swap);
  Invert(z2, z2);
  Mul(x2, x2, z2);
  ToBytes(out, x2);
  Fe64* secrets[] = {&x2, &z2, &x3, &z3, &a, &aa, &b, &bb, &e, &c, &d, &da, &cb, &t};
  for (Fe64* s : secrets) SecureWipe(s, sizeof(Fe64));
}

}  // namespace tornell

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif
#endif
