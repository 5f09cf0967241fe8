#pragma once
// Constant-time inverse modulo an odd prime by division steps (the Bernstein-
// Yang "safegcd" recurrence): a fixed number of steps, each decided by masks
// on the low bits, batched 62 at a time into a 2x2 matrix that is then
// applied to the full-width values. A few thousand word operations against
// the hundreds of modular products of Fermat's a^(n-2).
//
// Values travel as signed limbs of 62 bits (the top limb carries the sign).
// f and g start as (n, a) and shrink to (±1, 0); d and e follow them so that
// f = d·a and g = e·a mod n throughout.
#include <cstdint>

#include "crypto/ecc/nist/NistField.h"

namespace tornell {
namespace nistfield {

template <int N, const Modulus<N>& M>
struct DivstepInverse {
  static constexpr int kL = (64 * N + 2 + 61) / 62;  // room for values in (-2n, 2n)
  static constexpr uint64_t kMask62 = (1ULL << 62) - 1;
  // Steps after which g is zero for inputs below 2^(64N), plus one batch.
  static constexpr int kBatches = ((49 * 64 * N + 80) / 17 + 61) / 62 + 1;
  using i128 = __int128;

  struct Signed {
    int64_t v[kL];
  };
  struct Matrix {
    int64_t u, v, q, r;
  };

  static constexpr uint64_t kInv62 = (0 - M.n0) & kMask62;  // n^-1 mod 2^62

  static Signed FromLimbs(const uint64_t* a) {
    Signed s{};
    for (int i = 0; i < kL; ++i) {
      const int bit = 62 * i, w = bit / 64, sh = bit % 64;
      uint64_t x = w < N ? a[w] >> sh : 0;
      if (sh > 2 && w + 1 < N) x |= a[w + 1] << (64 - sh);
      s.v[i] = (int64_t)(x & kMask62);
    }
    return s;
  }

  // Packs a value in [0, 2^(64N)) back into 64-bit limbs.
  static void ToLimbs(uint64_t* out, const Signed& s) {
    for (int i = 0; i < N; ++i) out[i] = 0;
    for (int i = 0; i < kL; ++i) {
      const int bit = 62 * i, w = bit / 64, sh = bit % 64;
      const uint64_t x = (uint64_t)s.v[i];
      if (w < N) out[w] |= x << sh;
      if (sh > 2 && w + 1 < N) out[w + 1] |= x >> (64 - sh);
    }
  }

  // 62 division steps on the low words of f and g; the matrix returned maps
  // (f, g) to 2^62·(f', g'). delta is carried from batch to batch.
  static Matrix Steps(int64_t& delta, uint64_t f, uint64_t g) {
    uint64_t u = 1, v = 0, q = 0, r = 1;
    for (int i = 0; i < 62; ++i) {
      // Swap when delta > 0 and g is odd: (f, g) = (g, -f), rows likewise.
      const uint64_t odd = 0 - (g & 1);
      const uint64_t swap = ct::ValueBarrier((uint64_t)((0 - delta) >> 63)) & odd;
      const uint64_t nf = (f & ~swap) | (g & swap);
      const uint64_t ng = (g & ~swap) | ((0 - f) & swap);
      const uint64_t nu = (u & ~swap) | (q & swap);
      const uint64_t nv = (v & ~swap) | (r & swap);
      const uint64_t nq = (q & ~swap) | ((0 - u) & swap);
      const uint64_t nr = (r & ~swap) | ((0 - v) & swap);
      delta = (int64_t)(((uint64_t)delta & ~swap) | ((0 - (uint64_t)delta) & swap));
      f = nf;
      g = ng + (nf & odd);  // g odd: g + f (after the swap, g - f)
      q = nq + (nu & odd);
      r = nr + (nv & odd);
      u = nu << 1;
      v = nv << 1;
      g = (uint64_t)((int64_t)g >> 1);
      delta += 1;
    }
    return Matrix{(int64_t)u, (int64_t)v, (int64_t)q, (int64_t)r};
  }

  // (u·f + v·g) / 2^62 and (q·f + r·g) / 2^62, both exact.
  static void ApplyFg(Signed& f, Signed& g, const Matrix& t) {
    i128 cf = (i128)t.u * f.v[0] + (i128)t.v * g.v[0];
    i128 cg = (i128)t.q * f.v[0] + (i128)t.r * g.v[0];
    cf >>= 62;
    cg >>= 62;
    for (int i = 1; i < kL; ++i) {
      cf += (i128)t.u * f.v[i] + (i128)t.v * g.v[i];
      cg += (i128)t.q * f.v[i] + (i128)t.r * g.v[i];
      f.v[i - 1] = (int64_t)((uint64_t)cf & kMask62);
      g.v[i - 1] = (int64_t)((uint64_t)cg & kMask62);
      cf >>= 62;
      cg >>= 62;
    }
    f.v[kL - 1] = (int64_t)cf;
    g.v[kL - 1] = (int64_t)cg;
  }

  static Signed Modulus62() {
    uint64_t p[N];
    for (int i = 0; i < N; ++i) p[i] = M.p[i];
    return FromLimbs(p);
  }

  // Settles limbs into [0, 2^62) below a signed top limb.
  static void Carry(Signed& a) {
    for (int i = 0; i < kL - 1; ++i) {
      a.v[i + 1] += a.v[i] >> 62;
      a.v[i] = (int64_t)((uint64_t)a.v[i] & kMask62);
    }
  }

  static uint64_t NegativeMask(const Signed& a) { return ct::ValueBarrier((uint64_t)(a.v[kL - 1] >> 63)); }

  // a += n where mask is set.
  static void AddModulusIf(Signed& a, const Signed& n, uint64_t mask) {
    for (int i = 0; i < kL; ++i) a.v[i] += (int64_t)((uint64_t)n.v[i] & mask);
    Carry(a);
  }

  // Brings a value in (-2n, 2n) into [0, n).
  static void Normalize(Signed& a, const Signed& n) {
    AddModulusIf(a, n, NegativeMask(a));
    AddModulusIf(a, n, NegativeMask(a));
    Signed t = a;
    for (int i = 0; i < kL; ++i) t.v[i] -= n.v[i];
    Carry(t);
    const uint64_t keep = NegativeMask(t);  // a was below n
    for (int i = 0; i < kL; ++i) a.v[i] = (int64_t)(((uint64_t)a.v[i] & keep) | ((uint64_t)t.v[i] & ~keep));
  }

  // (u·d + v·e) / 2^62 mod n for d, e in [0, n): a multiple of n clears the
  // low 62 bits first, leaving a result in (-2n, 2n), then normalized.
  static void ApplyDe(Signed& d, Signed& e, const Matrix& t, const Signed& n) {
    const uint64_t md = (0 - ((uint64_t)t.u * (uint64_t)d.v[0] + (uint64_t)t.v * (uint64_t)e.v[0]) * kInv62) & kMask62;
    const uint64_t me = (0 - ((uint64_t)t.q * (uint64_t)d.v[0] + (uint64_t)t.r * (uint64_t)e.v[0]) * kInv62) & kMask62;
    i128 cd = (i128)t.u * d.v[0] + (i128)t.v * e.v[0] + (i128)md * n.v[0];
    i128 ce = (i128)t.q * d.v[0] + (i128)t.r * e.v[0] + (i128)me * n.v[0];
    cd >>= 62;
    ce >>= 62;
    for (int i = 1; i < kL; ++i) {
      cd += (i128)t.u * d.v[i] + (i128)t.v * e.v[i] + (i128)md * n.v[i];
      ce += (i128)t.q * d.v[i] + (i128)t.r * e.v[i] + (i128)me * n.v[i];
      d.v[i - 1] = (int64_t)((uint64_t)cd & kMask62);
      e.v[i - 1] = (int64_t)((uint64_t)ce & kMask62);
      cd >>= 62;
      ce >>= 62;
    }
    d.v[kL - 1] = (int64_t)cd;
    e.v[kL - 1] = (int64_t)ce;
    Normalize(d, n);
    Normalize(e, n);
  }

  // out = a^-1 mod n for a plain a below n; zero for zero.
  static void Invert(uint64_t* out, const uint64_t* a) {
    const Signed n = Modulus62();
    Signed f = n, g = FromLimbs(a), d{}, e{};
    e.v[0] = 1;
    int64_t delta = 1;
    for (int b = 0; b < kBatches; ++b) {
      const Matrix t = Steps(delta, (uint64_t)f.v[0] | ((uint64_t)f.v[1] << 62),
                             (uint64_t)g.v[0] | ((uint64_t)g.v[1] << 62));
      ApplyFg(f, g, t);
      ApplyDe(d, e, t, n);
    }
    // f is now ±1 (or n when a was zero, with d zero): the inverse is d·f.
    Signed neg = n;
    for (int i = 0; i < kL; ++i) neg.v[i] -= d.v[i];
    Carry(neg);
    const uint64_t flip = NegativeMask(f);
    for (int i = 0; i < kL; ++i) d.v[i] = (int64_t)(((uint64_t)d.v[i] & ~flip) | ((uint64_t)neg.v[i] & flip));
    ToLimbs(out, d);
  }
};

}  // namespace nistfield
}  // namespace tornell
