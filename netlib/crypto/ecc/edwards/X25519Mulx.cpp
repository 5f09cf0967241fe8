#include "crypto/ecc/edwards/X25519Mulx.h"

#include <initializer_list>

#include "core/secure/SecureWipe.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace tornell {

#if defined(__x86_64__)

namespace {

struct Fe4 {
  uint64_t v[4];
};

// r = a b mod p, below 2^256: the eight-limb product, then its high half
// times 38 (2^256 = 38 mod p) folded into the low half twice.
inline void Mul(Fe4& r, const Fe4& a, const Fe4& b) {
  uint64_t t0, t1, t2, t3, t4, t5, t6, lo, hi;
  // Eight limbs, two temporaries and two pointers: the top limb takes the
  // register of b once its last limb is loaded.
  const uint64_t* bp = b.v;
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
      "movq 8(%[b]), %%rdx\n\t"
      "xorl %k[lo], %k[lo]\n\t"
      "movl $0, %k[t5]\n\t"
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
      "movl $0, %k[lo]\n\t"
      "adcx %[lo], %[t5]\n\t"
      "movq 16(%[b]), %%rdx\n\t"
      "xorl %k[lo], %k[lo]\n\t"
      "movl $0, %k[t6]\n\t"
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
      "adox %[hi], %[t6]\n\t"
      "movl $0, %k[lo]\n\t"
      "adcx %[lo], %[t6]\n\t"
      "movq 24(%[b]), %%rdx\n\t"
      "xorl %k[lo], %k[lo]\n\t"
      "movl $0, %k[b]\n\t"
      "mulx 0(%[a]), %[lo], %[hi]\n\t"
      "adcx %[lo], %[t3]\n\t"
      "adox %[hi], %[t4]\n\t"
      "mulx 8(%[a]), %[lo], %[hi]\n\t"
      "adcx %[lo], %[t4]\n\t"
      "adox %[hi], %[t5]\n\t"
      "mulx 16(%[a]), %[lo], %[hi]\n\t"
      "adcx %[lo], %[t5]\n\t"
      "adox %[hi], %[t6]\n\t"
      "mulx 24(%[a]), %[lo], %[hi]\n\t"
      "adcx %[lo], %[t6]\n\t"
      "adox %[hi], %[b]\n\t"
      "movl $0, %k[lo]\n\t"
      "adcx %[lo], %[b]\n\t"
      "movl $38, %%edx\n\t"
      "xorl %k[lo], %k[lo]\n\t"
      "mulx %[t4], %[lo], %[hi]\n\t"
      "adcx %[lo], %[t0]\n\t"
      "adox %[hi], %[t1]\n\t"
      "mulx %[t5], %[lo], %[hi]\n\t"
      "adcx %[lo], %[t1]\n\t"
      "adox %[hi], %[t2]\n\t"
      "mulx %[t6], %[lo], %[hi]\n\t"
      "adcx %[lo], %[t2]\n\t"
      "adox %[hi], %[t3]\n\t"
      "mulx %[b], %[lo], %[t4]\n\t"
      "adcx %[lo], %[t3]\n\t"
      "movl $0, %k[t5]\n\t"
      "adcx %[t5], %[t4]\n\t"
      "adox %[t5], %[t4]\n\t"
      "imulq $38, %[t4], %[t4]\n\t"
      "addq %[t4], %[t0]\n\t"
      "adcq $0, %[t1]\n\t"
      "adcq $0, %[t2]\n\t"
      "adcq $0, %[t3]\n\t"
      "sbbq %[t4], %[t4]\n\t"
      "andq $38, %[t4]\n\t"
      "addq %[t4], %[t0]\n\t"
      : [t0] "=&r"(t0), [t1] "=&r"(t1), [t2] "=&r"(t2), [t3] "=&r"(t3), [t4] "=&r"(t4), [t5] "=&r"(t5),
        [t6] "=&r"(t6), [lo] "=&r"(lo), [hi] "=&r"(hi), [b] "+&r"(bp)
      : [a] "r"(a.v), "m"(a), "m"(b)
      : "rdx", "cc");
  r.v[0] = t0, r.v[1] = t1, r.v[2] = t2, r.v[3] = t3;
}

// r = a^2 mod p, below 2^256: six cross products doubled, four squares.
inline void Sqr(Fe4& r, const Fe4& a) {
  uint64_t t0, t1, t2, t3, t4, t5, t6, t7, lo, hi;
  __asm__(
      "movq 0(%[a]), %%rdx\n\t"
      "mulx 8(%[a]), %[t1], %[t2]\n\t"
      "mulx 16(%[a]), %[lo], %[t3]\n\t"
      "addq %[lo], %[t2]\n\t"
      "mulx 24(%[a]), %[lo], %[t4]\n\t"
      "adcq %[lo], %[t3]\n\t"
      "adcq $0, %[t4]\n\t"
      "movq 8(%[a]), %%rdx\n\t"
      "movl $0, %k[t5]\n\t"
      "mulx 16(%[a]), %[lo], %[hi]\n\t"
      "addq %[lo], %[t3]\n\t"
      "adcq %[hi], %[t4]\n\t"
      "adcq $0, %[t5]\n\t"
      "mulx 24(%[a]), %[lo], %[hi]\n\t"
      "addq %[lo], %[t4]\n\t"
      "adcq %[hi], %[t5]\n\t"
      "movq 16(%[a]), %%rdx\n\t"
      "mulx 24(%[a]), %[lo], %[t6]\n\t"
      "addq %[lo], %[t5]\n\t"
      "adcq $0, %[t6]\n\t"
      "movl $0, %k[t7]\n\t"
      "addq %[t1], %[t1]\n\t"
      "adcq %[t2], %[t2]\n\t"
      "adcq %[t3], %[t3]\n\t"
      "adcq %[t4], %[t4]\n\t"
      "adcq %[t5], %[t5]\n\t"
      "adcq %[t6], %[t6]\n\t"
      "adcq $0, %[t7]\n\t"
      "movq 0(%[a]), %%rdx\n\t"
      "mulx %%rdx, %[t0], %[hi]\n\t"
      "addq %[hi], %[t1]\n\t"
      "movq 8(%[a]), %%rdx\n\t"
      "mulx %%rdx, %[lo], %[hi]\n\t"
      "adcq %[lo], %[t2]\n\t"
      "adcq %[hi], %[t3]\n\t"
      "movq 16(%[a]), %%rdx\n\t"
      "mulx %%rdx, %[lo], %[hi]\n\t"
      "adcq %[lo], %[t4]\n\t"
      "adcq %[hi], %[t5]\n\t"
      "movq 24(%[a]), %%rdx\n\t"
      "mulx %%rdx, %[lo], %[hi]\n\t"
      "adcq %[lo], %[t6]\n\t"
      "adcq %[hi], %[t7]\n\t"
      "movl $38, %%edx\n\t"
      "xorl %k[lo], %k[lo]\n\t"
      "mulx %[t4], %[lo], %[hi]\n\t"
      "adcx %[lo], %[t0]\n\t"
      "adox %[hi], %[t1]\n\t"
      "mulx %[t5], %[lo], %[hi]\n\t"
      "adcx %[lo], %[t1]\n\t"
      "adox %[hi], %[t2]\n\t"
      "mulx %[t6], %[lo], %[hi]\n\t"
      "adcx %[lo], %[t2]\n\t"
      "adox %[hi], %[t3]\n\t"
      "mulx %[t7], %[lo], %[t4]\n\t"
      "adcx %[lo], %[t3]\n\t"
      "movl $0, %k[t5]\n\t"
      "adcx %[t5], %[t4]\n\t"
      "adox %[t5], %[t4]\n\t"
      "imulq $38, %[t4], %[t4]\n\t"
      "addq %[t4], %[t0]\n\t"
      "adcq $0, %[t1]\n\t"
      "adcq $0, %[t2]\n\t"
      "adcq $0, %[t3]\n\t"
      "sbbq %[t4], %[t4]\n\t"
      "andq $38, %[t4]\n\t"
      "addq %[t4], %[t0]\n\t"
      : [t0] "=&r"(t0), [t1] "=&r"(t1), [t2] "=&r"(t2), [t3] "=&r"(t3), [t4] "=&r"(t4), [t5] "=&r"(t5),
        [t6] "=&r"(t6), [t7] "=&r"(t7), [lo] "=&r"(lo), [hi] "=&r"(hi)
      : [a] "r"(a.v), "m"(a)
      : "rdx", "cc");
  r.v[0] = t0, r.v[1] = t1, r.v[2] = t2, r.v[3] = t3;
}

// 38 when c is set, else 0, without a branch.
inline uint64_t Fold(unsigned char c) { return (0 - uint64_t(c)) & 38; }

inline void Add(Fe4& r, const Fe4& a, const Fe4& b) {
  unsigned long long t[4];
  unsigned char c = _addcarry_u64(0, a.v[0], b.v[0], &t[0]);
  c = _addcarry_u64(c, a.v[1], b.v[1], &t[1]);
  c = _addcarry_u64(c, a.v[2], b.v[2], &t[2]);
  c = _addcarry_u64(c, a.v[3], b.v[3], &t[3]);
  c = _addcarry_u64(0, t[0], Fold(c), &t[0]);
  c = _addcarry_u64(c, t[1], 0, &t[1]);
  c = _addcarry_u64(c, t[2], 0, &t[2]);
  c = _addcarry_u64(c, t[3], 0, &t[3]);
  // A second wrap leaves a low limb below 38, so this add cannot carry.
  r.v[0] = t[0] + Fold(c), r.v[1] = t[1], r.v[2] = t[2], r.v[3] = t[3];
}

inline void Sub(Fe4& r, const Fe4& a, const Fe4& b) {
  unsigned long long t[4];
  unsigned char c = _subborrow_u64(0, a.v[0], b.v[0], &t[0]);
  c = _subborrow_u64(c, a.v[1], b.v[1], &t[1]);
  c = _subborrow_u64(c, a.v[2], b.v[2], &t[2]);
  c = _subborrow_u64(c, a.v[3], b.v[3], &t[3]);
  c = _subborrow_u64(0, t[0], Fold(c), &t[0]);
  c = _subborrow_u64(c, t[1], 0, &t[1]);
  c = _subborrow_u64(c, t[2], 0, &t[2]);
  c = _subborrow_u64(c, t[3], 0, &t[3]);
  r.v[0] = t[0] - Fold(c), r.v[1] = t[1], r.v[2] = t[2], r.v[3] = t[3];
}

// r = 121666 a mod p, below 2^256.
inline void Mul121666(Fe4& r, const Fe4& a) {
  using u128 = unsigned __int128;
  uint64_t t[4];
  uint64_t carry = 0;
  for (int i = 0; i < 4; ++i) {
    const u128 p = u128(a.v[i]) * 121666 + carry;
    t[i] = uint64_t(p);
    carry = uint64_t(p >> 64);
  }
  unsigned long long s[4];
  unsigned char c = _addcarry_u64(0, t[0], carry * 38, &s[0]);
  c = _addcarry_u64(c, t[1], 0, &s[1]);
  c = _addcarry_u64(c, t[2], 0, &s[2]);
  c = _addcarry_u64(c, t[3], 0, &s[3]);
  r.v[0] = s[0] + Fold(c), r.v[1] = s[1], r.v[2] = s[2], r.v[3] = s[3];
}

inline void CSwap(Fe4& a, Fe4& b, uint64_t mask) {
  for (int i = 0; i < 4; ++i) {
    const uint64_t d = (a.v[i] ^ b.v[i]) & mask;
    a.v[i] ^= d;
    b.v[i] ^= d;
  }
}

void Load(Fe4& r, const unsigned char* in) {
  for (int i = 0; i < 4; ++i) {
    uint64_t w = 0;
    for (int j = 7; j >= 0; --j) w = (w << 8) | in[8 * i + j];
    r.v[i] = w;
  }
  r.v[3] &= 0x7fffffffffffffffULL;
}

// The canonical bytes of a (below 2^256): fold bit 255, then subtract p once
// when the value still reaches it, both by masks.
void Store(unsigned char* out, const Fe4& a) {
  unsigned long long t[4], u[4];
  const uint64_t top = a.v[3] >> 63;
  unsigned char c = _addcarry_u64(0, a.v[0], 19 * top, &t[0]);
  c = _addcarry_u64(c, a.v[1], 0, &t[1]);
  c = _addcarry_u64(c, a.v[2], 0, &t[2]);
  _addcarry_u64(c, a.v[3] & 0x7fffffffffffffffULL, 0, &t[3]);
  // t < 2^255 + 19; t >= p exactly when t + 19 reaches 2^255.
  c = _addcarry_u64(0, t[0], 19, &u[0]);
  c = _addcarry_u64(c, t[1], 0, &u[1]);
  c = _addcarry_u64(c, t[2], 0, &u[2]);
  _addcarry_u64(c, t[3], 0, &u[3]);
  const uint64_t reduce = 0 - (u[3] >> 63);
  u[3] &= 0x7fffffffffffffffULL;
  for (int i = 0; i < 4; ++i) {
    const uint64_t w = (u[i] & reduce) | (t[i] & ~reduce);
    for (int j = 0; j < 8; ++j) out[8 * i + j] = (unsigned char)(w >> (8 * j));
  }
  SecureWipe(t, sizeof t);
  SecureWipe(u, sizeof u);
}

}  // namespace

void X25519LadderMulx(const unsigned char* k, const unsigned char* u, unsigned char* x2out, unsigned char* z2out) {
  Fe4 x1, x2{{1, 0, 0, 0}}, z2{{0, 0, 0, 0}}, x3, z3{{1, 0, 0, 0}}, a, aa, b, bb, e, c, d, da, cb, t;
  Load(x1, u);
  x3 = x1;
  uint64_t swap = 0;
  for (int pos = 254; pos >= 0; --pos) {
    const uint64_t bit = (k[pos >> 3] >> (pos & 7)) & 1;
    swap ^= bit;
    CSwap(x2, x3, 0 - swap);
    CSwap(z2, z3, 0 - swap);
    swap = bit;
    Add(a, x2, z2);
    Sqr(aa, a);
    Sub(b, x2, z2);
    Sqr(bb, b);
    Sub(e, aa, bb);
    Add(c, x3, z3);
    Sub(d, x3, z3);
    Mul(da, d, a);
    Mul(cb, c, b);
    Add(t, da, cb);
    Sqr(x3, t);
    Sub(t, da, cb);
    Sqr(t, t);
    Mul(z3, x1, t);
    Mul(x2, aa, bb);
    Mul121666(t, e);
    Add(t, t, bb);
    Mul(z2, e, t);
  }
  CSwap(x2, x3, 0 - swap);
  CSwap(z2, z3, 0 - swap);
  Store(x2out, x2);
  Store(z2out, z2);
  for (Fe4* v : {&x2, &z2, &x3, &z3, &a, &aa, &b, &bb, &e, &c, &d, &da, &cb, &t}) SecureWipe(v, sizeof *v);
}

#endif

}  // namespace tornell
