#pragma once
// Point arithmetic and scalar multiplication on y^2 = x^3 - 3x + b, shared by
// the compiled variants (each instantiates it with its own Tag).
//
// Points are Jacobian (X/Z^2, Y/Z^3) in Montgomery form, infinity Z = 0.
// The constant-time loops add only sums that can never be plus or minus the
// point added to them (the scalar is reduced mod n first), so their additions
// need no equal-point case; infinity is handled by masks. The variable-time
// code for public scalars branches on every special case instead.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "crypto/ecc/nist/DivstepInverse.h"
#include "crypto/ecc/nist/NistCurveOps.h"
#include "crypto/ecc/nist/NistField.h"
#include "crypto/ecc/nist/NistCurve.h"

namespace tornell {
namespace nistcurve {

template <class C, class Tag>
struct Impl {
  static constexpr int N = C::N;
  static constexpr int kBytes = C::kBytes;
  // Signed digits (Booth recoding) of a scalar reduced mod n: width kBaseWindow
  // for the base-point table, 5 for a variable point.
  static constexpr int kBaseW = C::kBaseWindow;
  static constexpr int kBaseWindows = (C::kOrderBits + 1 + kBaseW - 1) / kBaseW;
  static constexpr int kBaseEntries = 1 << (kBaseW - 1);
  static constexpr int kPointW = 5;
  static constexpr int kPointWindows = (C::kOrderBits + 1 + kPointW - 1) / kPointW;
  static constexpr int kPointEntries = 1 << (kPointW - 1);
  static constexpr int kGWidth = 7;            // NAF width for G in verification
  static constexpr int kGOddCount = 1 << (kGWidth - 2);
  using F = typename C::template FieldOf<Tag>;
  using S = nistfield::Field<N, C::kOrderModulus, Tag>;
  using Fe = typename F::Fe;

  struct Point {
    Fe x, y, z;
  };
  struct Affine {
    Fe x, y;
  };

  struct Constants {
    Fe b;  // Montgomery form
    Affine g;
    // base[i][j] = (j + 1)·2^(kBaseW·i)·G, affine, Montgomery form
    Affine base[kBaseWindows][kBaseEntries];
    // gOdd[j] = (2j + 1)·G: the digits of a width-7 non-adjacent form
    Affine gOdd[kGOddCount];
  };

  static const Constants& Consts() {
    static const Constants* c = BuildConstants();
    return *c;
  }

  // Affine form of several Jacobian points with one inversion; each z must be
  // non-zero.
  static void BatchToAffine(Affine* out, const Point* in, int count) {
    Fe* prefix = new Fe[count];
    Fe acc = F::One();
    for (int i = 0; i < count; ++i) {
      prefix[i] = acc;
      F::Mul(acc, acc, in[i].z);
    }
    Fe inv;
    F::Invert(inv, acc);
    for (int i = count - 1; i >= 0; --i) {
      Fe zi;
      F::Mul(zi, inv, prefix[i]);
      F::Mul(inv, inv, in[i].z);
      Fe zi2;
      F::Sqr(zi2, zi);
      F::Mul(out[i].x, in[i].x, zi2);
      F::Mul(zi2, zi2, zi);
      F::Mul(out[i].y, in[i].y, zi2);
    }
    delete[] prefix;
  }

  static Fe FromLimbs(const uint64_t* limbs) {
    Fe r;
    for (int i = 0; i < N; ++i) r.v[i] = limbs[i];
    F::ToMont(r, r);
    return r;
  }

  static Constants* BuildConstants() {
    auto* c = new Constants;
    c->b = FromLimbs(C::kB);
    c->g.x = FromLimbs(C::kGx);
    c->g.y = FromLimbs(C::kGy);
    Point* rows = new Point[kBaseEntries * kBaseWindows];
    Point step{c->g.x, c->g.y, F::One()};
    for (int i = 0; i < kBaseWindows; ++i) {
      Point* row = rows + kBaseEntries * i;
      row[0] = step;
      for (int j = 1; j < kBaseEntries; ++j) JAdd(row[j], row[j - 1], step, false);
      JDouble(step, row[kBaseEntries - 1]);  // 2^kBaseW·step
    }
    BatchToAffine(&c->base[0][0], rows, kBaseEntries * kBaseWindows);
    delete[] rows;
    Point odd[kGOddCount];
    odd[0] = Point{c->g.x, c->g.y, F::One()};
    Point twice;
    JDouble(twice, odd[0]);
    for (int j = 1; j < kGOddCount; ++j) JAdd(odd[j], odd[j - 1], twice, false);
    BatchToAffine(c->gOdd, odd, kGOddCount);
    return c;
  }

  // Bits lo .. lo + count - 1 of a big-endian scalar (zero outside it);
  // the positions are public, only the values are secret.
  // At most 8 bits: read as the three bytes from the one holding bit lo.
  static unsigned Bits(const uint8_t* k, int lo, int count) {
    const int first = lo >> 3;  // floor, -1 for lo = -1
    uint32_t window = 0;
    for (int j = 0; j < 3; ++j) {
      const int byte = first + j;
      if (byte >= 0 && byte < kBytes) window |= (uint32_t)k[kBytes - 1 - byte] << (8 * j);
    }
    return (window >> (lo - 8 * first)) & ((1u << count) - 1);
  }

  // Signed digit i of width W: bits W·i - 1 .. W·i + W - 1 read as
  // b(-1) + b0 + 2·b1 + ... + 2^(W-2)·b(W-2) - 2^(W-1)·b(W-1). Returns the
  // magnitude and sets sign to all ones for a negative digit, without a branch.
  template <int W>
  static unsigned BoothDigit(const uint8_t* k, int i, uint64_t& sign) {
    static_assert(W + 1 <= 8);
    const unsigned t = Bits(k, W * i - 1, W + 1);
    const int d = (int)((t & 1) + (t >> 1)) - (int)((t >> W) << W);
    const unsigned s = (unsigned)(d >> 31);  // 0 or all ones
    sign = ct::MaskFromBit<uint64_t>((uint64_t)(s & 1));
    return ((unsigned)d ^ s) - s;
  }

  // The entry numbered `index` of a table whose entries are numbered from
  // `first`, read by scanning every entry: the masked entries are OR-ed
  // together two words at a time. All zero when no entry has that number.
  template <class Entry, int Count>
  static void Scan(Entry& out, const Entry* entries, unsigned first, unsigned index) {
    using Pair = uint64_t __attribute__((vector_size(16)));
    constexpr int kWords = (int)(sizeof(Entry) / 8);
    static_assert(sizeof(Entry) == 8 * kWords);
    Pair acc[(kWords + 1) / 2] = {};
    for (unsigned j = 0; j < (unsigned)Count; ++j) {
      const uint64_t m = ct::IsZero<uint64_t>((j + first) ^ index);
      const Pair mask = {m, m};
      const char* entry = reinterpret_cast<const char*>(&entries[j]);
#pragma GCC unroll 16
      for (int w = 0; w < kWords / 2; ++w) {
        Pair x;
        std::memcpy(&x, entry + 16 * w, 16);
        acc[w] |= x & mask;
      }
      if constexpr (kWords % 2 == 1) {
        uint64_t last;
        std::memcpy(&last, entry + 8 * (kWords - 1), 8);
        acc[kWords / 2][0] |= last & m;
      }
    }
    std::memcpy(&out, acc, sizeof(Entry));
  }

  // Entry `index` of a table (entry 0 the point at infinity).
  template <int Count>
  static void Lookup(Point& r, const Point* table, unsigned index) {
    Scan<Point, Count>(r, table, 0, index);
  }

  // Entry index - 1 of an affine row; all zero for index 0.
  static void LookupAffine(Affine& r, const Affine* row, unsigned index) {
    Scan<Affine, kBaseEntries>(r, row, 1, index);
  }

  static void NegateIf(Fe& y, uint64_t mask) {
    Fe n;
    F::Neg(n, y);
    F::Select(y, n, mask);
  }

  // k·G in constant time over the fixed table: one mixed addition per signed
  // digit and no doublings. The running sum S of the lower digits stays below
  // 2^(W·i) in size while the entry E added has at least that size, and for
  // the top digit S + E = k mod n: so S is never ±E and the additions need
  // no doubling case.
  static void BaseMul(Point& q, const uint8_t* k) {
    const Constants& c = Consts();
    uint8_t kr[kBytes];
    StoreScalar(kr, LoadScalar(k));
    q = Point{F::One(), F::One(), Fe{}};
    for (int i = 0; i < kBaseWindows; ++i) {
      uint64_t negative;
      const unsigned d = BoothDigit<kBaseW>(kr, i, negative);
      Affine entry;
      LookupAffine(entry, c.base[i], d);
      NegateIf(entry.y, negative);
      const Point a{entry.x, entry.y, F::One()};
      Fe u1, s1, h, rr;
      JAddPrepare(q, a, true, u1, s1, h, rr);
      Point sum;
      JAddFinish(sum, q, a, true, u1, s1, h, rr);
      SelectPoint(sum, a, F::IsZero(q.z));  // the running sum was infinity
      SelectPoint(q, sum, ct::IsNonZero<uint64_t>(d));
    }
  }

  // ---- Variable time, public scalars only: Jacobian (X/Z^2, Y/Z^3), where
  // doubling is cheapest; infinity is Z = 0 and the special cases branch.

  static bool IsZeroVartime(const Fe& a) { return F::IsZero(a) != 0; }

  // 2p with a = -3 in four products and four squares: alpha = 3(X - Z^2)(X + Z^2),
  // X3 = alpha^2 - 8XY^2, Y3 = alpha(4XY^2 - X3) - 8Y^4, Z3 = 2YZ. Fields
  // that halve cheaply start from 2Y: Z3 = 2Y·Z, 4Y^2 = (2Y)^2, 4XY^2 = X·4Y^2
  // and 8Y^4 = (4Y^2)^2 / 2, three sums fewer; the others take 2YZ as a
  // product and 8Y^4 as 2(2Y^2)^2. Both give the same coordinates.
  static void JDouble(Point& r, const Point& p) {
    if constexpr (requires(Fe& x, const Fe& y) { F::Half(x, y); }) {
      Fe delta, y2, gamma, alpha, s4, t, u, x3, y3, z3;
      F::Sqr(delta, p.z);
      F::Add(y2, p.y, p.y);
      F::Mul(z3, y2, p.z);
      F::Sqr(gamma, y2);  // 4Y^2
      F::SubLazy(t, p.x, delta);
      F::AddLazy(u, p.x, delta);
      F::Mul(alpha, t, u);
      F::template Scale<3>(alpha, alpha);
      F::Mul(s4, p.x, gamma);  // 4XY^2
      F::Sqr(x3, alpha);
      F::Add(t, s4, s4);
      F::Sub(x3, x3, t);
      F::SubLazy(t, s4, x3);
      F::Mul(y3, alpha, t);
      F::Sqr(gamma, gamma);
      F::Half(gamma, gamma);  // 8Y^4
      F::Sub(y3, y3, gamma);
      r = Point{x3, y3, z3};
    } else {
      Fe delta, gamma, alpha, s4, t, u, x3, y3, z3;
      F::Sqr(delta, p.z);
      F::Sqr(gamma, p.y);
      F::SubLazy(t, p.x, delta);
      F::AddLazy(u, p.x, delta);
      F::Mul(alpha, t, u);
      F::template Scale<3>(alpha, alpha);
      F::Add(gamma, gamma, gamma);  // 2Y^2
      F::Mul(s4, p.x, gamma);
      F::Add(s4, s4, s4);  // 4XY^2
      F::Mul(z3, p.y, p.z);
      F::Add(z3, z3, z3);
      F::Sqr(x3, alpha);
      F::Add(t, s4, s4);
      F::Sub(x3, x3, t);
      F::SubLazy(t, s4, x3);
      F::Mul(y3, alpha, t);
      F::Sqr(gamma, gamma);
      F::Add(gamma, gamma, gamma);  // 8Y^4
      F::Sub(y3, y3, gamma);
      r = Point{x3, y3, z3};
    }
  }

  // First half of p + q (q affine when qAffine: its z is then ignored):
  // u1 = X1·Z2^2, s1 = Y1·Z2^3, h = U2 - u1, rr = S2 - s1.
  static void JAddPrepare(const Point& p, const Point& q, bool qAffine, Fe& u1, Fe& s1, Fe& h, Fe& rr) {
    Fe z1z1, u2, s2;
    F::Sqr(z1z1, p.z);
    F::Mul(u2, q.x, z1z1);
    F::Mul(s2, q.y, p.z);
    F::Mul(s2, s2, z1z1);
    if (qAffine) {
      u1 = p.x;
      s1 = p.y;
    } else {
      Fe z2z2;
      F::Sqr(z2z2, q.z);
      F::Mul(u1, p.x, z2z2);
      F::Mul(s1, p.y, q.z);
      F::Mul(s1, s1, z2z2);
    }
    F::SubLazy(h, u2, u1);  // both only feed products and zero tests
    F::SubLazy(rr, s2, s1);
  }

  // Second half; right only when p and q are finite, distinct and not opposite.
  static void JAddFinish(Point& r, const Point& p, const Point& q, bool qAffine, const Fe& u1, const Fe& s1,
                         const Fe& h, const Fe& rr) {
    Fe hh, hhh, v, t, x3, y3, z3;
    F::Sqr(hh, h);
    F::Mul(hhh, h, hh);
    F::Mul(v, u1, hh);
    F::Sqr(x3, rr);
    F::Sub(x3, x3, hhh);
    F::Sub(x3, x3, v);
    F::Sub(x3, x3, v);
    F::SubLazy(t, v, x3);
    F::Mul(y3, rr, t);
    F::Mul(t, s1, hhh);
    F::Sub(y3, y3, t);
    F::Mul(z3, p.z, h);
    if (!qAffine) F::Mul(z3, z3, q.z);
    r = Point{x3, y3, z3};
  }

  // p + q with every special case, by branches: public points only.
  static void JAdd(Point& r, const Point& p, const Point& q, bool qAffine) {
    if (IsZeroVartime(p.z)) {
      r = Point{q.x, q.y, qAffine ? F::One() : q.z};
      return;
    }
    if (!qAffine && IsZeroVartime(q.z)) {
      r = p;
      return;
    }
    Fe u1, s1, h, rr;
    JAddPrepare(p, q, qAffine, u1, s1, h, rr);
    if (IsZeroVartime(h)) {
      if (IsZeroVartime(rr)) {
        JDouble(r, p);
      } else {
        r = Point{F::One(), F::One(), Fe{}};
      }
      return;
    }
    JAddFinish(r, p, q, qAffine, u1, s1, h, rr);
  }

  // p + q in constant time where either may be infinity but p is never ±q,
  // which the callers ensure by the shape of their sums.
  static void JAddMasked(Point& r, const Point& p, const Point& q) {
    Fe u1, s1, h, rr;
    JAddPrepare(p, q, false, u1, s1, h, rr);
    Point sum;
    JAddFinish(sum, p, q, false, u1, s1, h, rr);
    const uint64_t pInf = F::IsZero(p.z), qInf = F::IsZero(q.z);
    SelectPoint(sum, p, qInf);
    SelectPoint(sum, q, pInf);
    r = sum;
  }

  static void SelectPoint(Point& r, const Point& a, uint64_t mask) {
    F::Select(r.x, a.x, mask);
    F::Select(r.y, a.y, mask);
    F::Select(r.z, a.z, mask);
  }

  // Affine bytes of a Jacobian point; zeros and kNistInfinity for infinity,
  // without a branch.
  static int JacobianToAffineBytes(const Point& q, uint8_t* outX, uint8_t* outY) {
    Fe zi, zi2, x, y;
    F::Invert(zi, q.z);  // zero for infinity, so x and y come out zero
    F::Sqr(zi2, zi);
    F::Mul(x, q.x, zi2);
    F::Mul(zi2, zi2, zi);
    F::Mul(y, q.y, zi2);
    F::FromMont(x, x);
    F::FromMont(y, y);
    F::ToBytes(outX, kBytes, x);
    F::ToBytes(outY, kBytes, y);
    return (int)(F::IsZero(q.z) & kNistInfinity);
  }

  // k·P in constant time, Jacobian, by signed 5-bit digits from the top. k is
  // first reduced mod n (P has order n). Before the last digit the running
  // sum m·P has 0 < m·2^5 < n - 16 or is infinity, so it is never ± the entry
  // added; the last addition can meet the doubling case (k = n - 18 on
  // P-521), so it is made complete.
  static void PointMul(Point& q, const uint8_t* k, const Affine& p) {
    uint8_t kr[kBytes];
    StoreScalar(kr, LoadScalar(k));
    Point table[kPointEntries + 1];  // j·P
    table[0] = Point{F::One(), F::One(), Fe{}};
    table[1] = Point{p.x, p.y, F::One()};
    // Public multiples; the even ones by a doubling, cheaper than an addition.
    for (int j = 2; j <= kPointEntries; ++j) {
      if (j % 2 == 0) {
        JDouble(table[j], table[j / 2]);
      } else {
        JAdd(table[j], table[j - 1], table[1], true);
      }
    }
    uint64_t negative;
    Lookup<kPointEntries + 1>(q, table, BoothDigit<kPointW>(kr, kPointWindows - 1, negative));
    for (int i = kPointWindows - 2; i >= 0; --i) {
      for (int s = 0; s < kPointW; ++s) JDouble(q, q);
      Point t;
      Lookup<kPointEntries + 1>(t, table, BoothDigit<kPointW>(kr, i, negative));
      NegateIf(t.y, negative);
      if (i > 0) {
        JAddMasked(q, q, t);
      } else {
        JAddComplete(q, q, t);
      }
    }
  }

  // p + q in constant time for any two points, the equal case included.
  static void JAddComplete(Point& r, const Point& p, const Point& q) {
    Fe u1, s1, h, rr;
    JAddPrepare(p, q, false, u1, s1, h, rr);
    Point sum, twice;
    JAddFinish(sum, p, q, false, u1, s1, h, rr);  // z = 0 when p = -q
    JDouble(twice, p);
    const uint64_t pInf = F::IsZero(p.z), qInf = F::IsZero(q.z);
    SelectPoint(sum, twice, F::IsZero(h) & F::IsZero(rr) & ~pInf & ~qInf);
    SelectPoint(sum, p, qInf);
    SelectPoint(sum, q, pInf);
    r = sum;
  }

  static constexpr int kNafBits = 64 * N + 1;

  // Width-w non-adjacent form of a public big-endian scalar: odd digits below
  // 2^(w-1) in size, each followed by at least w - 1 zeros, least significant
  // first.
  template <int W>
  static void NafRecode(int8_t* naf, const uint8_t* k) {
    uint64_t v[N + 1] = {};
    for (int i = 0; i < kBytes; ++i) v[i / 8] |= (uint64_t)k[kBytes - 1 - i] << (8 * (i % 8));
    for (int i = 0; i < kNafBits; ++i) {
      int d = 0;
      if (v[0] & 1) {
        d = (int)(v[0] & ((1u << W) - 1));
        if (d >= (1 << (W - 1))) d -= 1 << W;
        // v -= d: clears the low W bits, carrying upward when d < 0
        uint64_t carry = 0;
        if (d > 0) {
          carry = nistfield::SubBorrow(0, v[0], (uint64_t)d, v[0]);
          for (int j = 1; j <= N; ++j) carry = nistfield::SubBorrow(carry, v[j], 0, v[j]);
        } else {
          carry = nistfield::AddCarry(0, v[0], (uint64_t)-d, v[0]);
          for (int j = 1; j <= N; ++j) carry = nistfield::AddCarry(carry, v[j], 0, v[j]);
        }
      }
      naf[i] = (int8_t)d;
      for (int j = 0; j < N; ++j) v[j] = (v[j] >> 1) | (v[j + 1] << 63);
      v[N] >>= 1;
    }
  }

  // u1·G + u2·P in Jacobian coordinates (Straus): one run of doublings, the
  // digits of u2 from a small table of P's odd multiples and those of u1 from
  // the fixed table of G's.
  static void DoubleMulJacobian(Point& q, const uint8_t* u1, const uint8_t* u2, const Affine& p) {
    Point table[8];  // (2j + 1)·P
    table[0] = Point{p.x, p.y, F::One()};
    Point twice;
    JDouble(twice, table[0]);
    for (int j = 1; j < 8; ++j) JAdd(table[j], table[j - 1], twice, false);
    int8_t nafP[kNafBits], nafG[kNafBits];
    NafRecode<5>(nafP, u2);
    NafRecode<kGWidth>(nafG, u1);
    const Constants& c = Consts();
    q = Point{F::One(), F::One(), Fe{}};
    for (int i = kNafBits - 1; i >= 0; --i) {
      if (!IsZeroVartime(q.z)) JDouble(q, q);
      if (const int d = nafP[i]; d != 0) {
        Point t = table[(d < 0 ? -d : d) / 2];
        if (d < 0) F::Neg(t.y, t.y);
        JAdd(q, q, t, false);
      }
      if (const int d = nafG[i]; d != 0) {
        const Affine& g = c.gOdd[(d < 0 ? -d : d) / 2];
        Point t{g.x, g.y, Fe{}};
        if (d < 0) F::Neg(t.y, t.y);
        JAdd(q, q, t, true);
      }
    }
  }

  // Public check: coordinates below p and on the curve; the Montgomery form
  // of the point when it passes.
  static bool LoadPoint(Affine& a, const uint8_t* x, const uint8_t* y) {
    F::FromBytes(a.x, x, kBytes);
    F::FromBytes(a.y, y, kBytes);
    if (!F::InRange(a.x) || !F::InRange(a.y)) return false;
    F::ToMont(a.x, a.x);
    F::ToMont(a.y, a.y);
    Fe rhs, lhs;
    CurveRhs(rhs, a.x);
    F::Sqr(lhs, a.y);
    return F::Equal(lhs, rhs) != 0;
  }

  // x^3 - 3x + b
  static void CurveRhs(Fe& r, const Fe& x) {
    Fe t, x3;
    F::Sqr(t, x);
    F::Mul(t, t, x);
    F::Add(x3, x, x);
    F::Add(x3, x3, x);
    F::Sub(t, t, x3);
    F::Add(r, t, Consts().b);
  }

  static int MulBase(const uint8_t* k, uint8_t* outX, uint8_t* outY) {
    Point q;
    BaseMul(q, k);
    return JacobianToAffineBytes(q, outX, outY);
  }

  static int Mul(const uint8_t* k, const uint8_t* px, const uint8_t* py, uint8_t* outX, uint8_t* outY) {
    Affine p;
    if (!LoadPoint(p, px, py)) return kNistBadPoint;
    Point q;
    PointMul(q, k, p);
    return JacobianToAffineBytes(q, outX, outY);
  }

  static int DoubleMul(const uint8_t* u1, const uint8_t* u2, const uint8_t* px, const uint8_t* py, uint8_t* outX,
                       uint8_t* outY) {
    Affine p;
    if (!LoadPoint(p, px, py)) return kNistBadPoint;
    Point q;
    DoubleMulJacobian(q, u1, u2, p);
    return JacobianToAffineBytes(q, outX, outY);
  }

  // Montgomery form of a scalar reduced mod n (any value below 2^(64N)).
  static Fe LoadScalar(const uint8_t* k) {
    Fe r;
    S::FromBytes(r, k, kBytes);
    S::ToMont(r, r);
    return r;
  }

  static void StoreScalar(uint8_t* out, const Fe& m) {
    Fe r;
    S::FromMont(r, m);
    S::ToBytes(out, kBytes, r);
  }

  // Montgomery form of k^-1 for a Montgomery-form k, in constant time.
  static Fe InvertScalarMont(const Fe& km) {
    Fe plain, inv;
    S::FromMont(plain, km);
    nistfield::DivstepInverse<N, C::kOrderModulus>::Invert(inv.v, plain.v);
    S::ToMont(inv, inv);
    return inv;
  }

  static int ScalarInverse(const uint8_t* k, uint8_t* out) {
    StoreScalar(out, InvertScalarMont(LoadScalar(k)));
    return kNistOk;
  }

  // ---- Binary extended Euclid mod n, for public values only.

  static bool IsOneLimbs(const uint64_t* u) {
    uint64_t rest = u[0] ^ 1;
    for (int i = 1; i < N; ++i) rest |= u[i];
    return rest == 0;
  }

  static void ShiftRight1(uint64_t* u, uint64_t top) {
    for (int i = 0; i < N - 1; ++i) u[i] = (u[i] >> 1) | (u[i + 1] << 63);
    u[N - 1] = (u[N - 1] >> 1) | (top << 63);
  }

  // x/2 mod n: x + n when x is odd, then a shift that keeps the carry.
  static void HalveModN(uint64_t* x) {
    uint64_t carry = 0;
    if (x[0] & 1) {
      for (int i = 0; i < N; ++i) carry = nistfield::AddCarry(carry, x[i], C::kN[i], x[i]);
    }
    ShiftRight1(x, carry);
  }

  static uint64_t SubLimbs(uint64_t* x, const uint64_t* y) {
    uint64_t borrow = 0;
    for (int i = 0; i < N; ++i) borrow = nistfield::SubBorrow(borrow, x[i], y[i], x[i]);
    return borrow;
  }

  // x = x - y mod n for x, y below n.
  static void SubModN(uint64_t* x, const uint64_t* y) {
    if (SubLimbs(x, y)) {
      uint64_t carry = 0;
      for (int i = 0; i < N; ++i) carry = nistfield::AddCarry(carry, x[i], C::kN[i], x[i]);
    }
  }

  // a^-1 mod n for a plain a in 1..n-1 (n is prime, so the loop ends).
  static void InverseVartime(Fe& r, const Fe& a) {
    uint64_t u[N], v[N], x1[N] = {}, x2[N] = {};
    for (int i = 0; i < N; ++i) {
      u[i] = a.v[i];
      v[i] = C::kN[i];
    }
    x1[0] = 1;
    while (!IsOneLimbs(u) && !IsOneLimbs(v)) {
      while ((u[0] & 1) == 0) {
        ShiftRight1(u, 0);
        HalveModN(x1);
      }
      while ((v[0] & 1) == 0) {
        ShiftRight1(v, 0);
        HalveModN(x2);
      }
      if (!nistfield::LessThan<N>(u, v)) {
        SubLimbs(u, v);
        SubModN(x1, x2);
      } else {
        SubLimbs(v, u);
        SubModN(x2, x1);
      }
    }
    for (int i = 0; i < N; ++i) r.v[i] = IsOneLimbs(u) ? x1[i] : x2[i];
  }

  static int ScalarInverseVartime(const uint8_t* k, uint8_t* out) {
    Fe plain;
    S::FromMont(plain, LoadScalar(k));  // reduced mod n
    if (S::IsZero(plain)) {
      std::memset(out, 0, kBytes);
      return kNistOk;
    }
    Fe inv;
    InverseVartime(inv, plain);
    S::ToBytes(out, kBytes, inv);
    return kNistOk;
  }

  static int IsOnCurve(const uint8_t* x, const uint8_t* y) {
    Affine p;
    return LoadPoint(p, x, y) ? 1 : 0;
  }

  static int DecodePoint(const uint8_t* in, size_t length, uint8_t* outX, uint8_t* outY) {
    if (length == 1 + 2 * (size_t)kBytes && in[0] == 4) {
      Affine p;
      if (!LoadPoint(p, in + 1, in + 1 + kBytes)) return kNistBadPoint;
      std::memcpy(outX, in + 1, kBytes);
      std::memcpy(outY, in + 1 + kBytes, kBytes);
      return kNistOk;
    }
    if (length != 1 + (size_t)kBytes || (in[0] != 2 && in[0] != 3)) return kNistBadPoint;
    Fe x;
    F::FromBytes(x, in + 1, kBytes);
    if (!F::InRange(x)) return kNistBadPoint;
    F::ToMont(x, x);
    Fe rhs, y, check;
    CurveRhs(rhs, x);
    F::Pow(y, rhs, C::kFieldModulus.sqrtExp);  // p = 3 mod 4 for all three primes
    F::Sqr(check, y);
    if (!F::Equal(check, rhs)) return kNistBadPoint;
    Fe plainY;
    F::FromMont(plainY, y);
    if ((plainY.v[0] & 1) != (uint64_t)(in[0] & 1)) {
      F::Neg(y, y);
      F::FromMont(plainY, y);
    }
    y = plainY;
    F::FromMont(x, x);
    F::ToBytes(outX, kBytes, x);
    F::ToBytes(outY, kBytes, y);
    return kNistOk;
  }

  static int EcdsaSign(const uint8_t* d, const uint8_t* k, const uint8_t* e, uint8_t* r, uint8_t* s) {
    Point q;
    BaseMul(q, k);
    uint8_t x[kBytes], y[kBytes];
    const int status = JacobianToAffineBytes(q, x, y);
    const Fe rm = LoadScalar(x);  // x is below p < 2n: one reduction suffices
    Fe sm, t;
    const Fe kinv = InvertScalarMont(LoadScalar(k));
    S::Mul(t, LoadScalar(d), rm);
    S::Add(t, t, LoadScalar(e));
    S::Mul(sm, t, kinv);
    StoreScalar(r, rm);
    StoreScalar(s, sm);
    const uint64_t bad = S::IsZero(rm) | S::IsZero(sm) | (0 - (uint64_t)status);
    return (int)(bad & kNistRetry);
  }

  static bool BelowOrder(const uint8_t* v) {
    Fe x;
    S::FromBytes(x, v, kBytes);
    return nistfield::LessThan<N>(x.v, C::kN);
  }

  static int EcdsaVerify(const uint8_t* qx, const uint8_t* qy, const uint8_t* e, const uint8_t* r,
                         const uint8_t* s, int* valid) {
    *valid = 0;
    const Fe rm = LoadScalar(r), sm = LoadScalar(s);
    if (!BelowOrder(r) || !BelowOrder(s) || S::IsZero(rm) || S::IsZero(sm)) return kNistOk;
    Fe plainS, w, u1, u2;
    S::FromMont(plainS, sm);
    InverseVartime(w, plainS);
    S::ToMont(w, w);
    S::Mul(u1, LoadScalar(e), w);
    S::Mul(u2, rm, w);
    uint8_t b1[kBytes], b2[kBytes];
    StoreScalar(b1, u1);
    StoreScalar(b2, u2);
    return DoubleMulMatchesX(b1, b2, qx, qy, r, valid);
  }

  static int DoubleMulMatchesX(const uint8_t* u1, const uint8_t* u2, const uint8_t* px, const uint8_t* py,
                               const uint8_t* r, int* match) {
    *match = 0;
    Affine p;
    if (!LoadPoint(p, px, py)) return kNistBadPoint;
    Point sum;
    DoubleMulJacobian(sum, u1, u2, p);
    if (IsZeroVartime(sum.z)) return kNistOk;
    *match = XMatchesOrderValue(sum, r) ? 1 : 0;
    return kNistOk;
  }

  // (X/Z^2) mod n == r for r below n, without an inversion: X == v·Z^2 for
  // v = r, or v = r + n when that is still below p.
  static bool XMatchesOrderValue(const Point& q, const uint8_t* r) {
    Fe z2, v, t;
    F::Sqr(z2, q.z);
    F::FromBytes(v, r, kBytes);
    Fe plain = v;
    F::ToMont(v, v);
    F::Mul(t, v, z2);
    if (F::Equal(t, q.x)) return true;
    uint64_t carry = 0;
    for (int i = 0; i < N; ++i) carry = nistfield::AddCarry(carry, plain.v[i], C::kN[i], plain.v[i]);
    if (carry != 0 || !F::InRange(plain)) return false;
    F::ToMont(v, plain);
    F::Mul(t, v, z2);
    return F::Equal(t, q.x) != 0;
  }

  static constexpr NistCurveOps Ops() {
    return NistCurveOps{&MulBase,       &Mul,       &DoubleMul,   &DoubleMulMatchesX, &ScalarInverse,
                        &ScalarInverseVartime, &IsOnCurve, &DecodePoint, &EcdsaSign,         &EcdsaVerify};
  }
};

}  // namespace nistcurve
}  // namespace tornell
