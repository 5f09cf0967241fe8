// Ed448 scalar multiplications. The fixed-base and variable-base forms that
// see secret scalars select table entries by scanning every entry with masks
// and never branch on scalar bits; the double-scalar forms serve verification
// and are variable time.
#include <cstring>

#include "core/secure/SecureWipe.h"
#include "crypto/ecc/edwards/Ed448Tables.h"
#include "crypto/ecc/edwards/Curve448FieldOps.h"
#include "crypto/ecc/edwards/EdwardsMath.h"

namespace tornell {

namespace {

using M = EdwardsMath;

// Extended coordinates on edwards448 (a = 1): x = X/Z, y = Y/Z, T = XY/Z.
struct Ext {
  Fe448 X, Y, Z, T;
};
// A point prepared for addition: X, Y, Z and d*T.
struct Cached {
  Fe448 X, Y, Z, dT;
};

void ExtIdentity(Ext& p) {
  M::Fe448Zero(p.X);
  M::Fe448One(p.Y);
  M::Fe448One(p.Z);
  M::Fe448Zero(p.T);
}

void MulD(Fe448& out, const Fe448& a) {
  fe448::MulWord(out, a, 39081);
  M::Fe448Neg(out, out);
}

void FromExtensible(Ext& out, const Ed448ExtensiblePoint& p) {
  out.X = p.x;
  out.Y = p.y;
  out.Z = p.z;
  fe448::Mul(out.T, p.t, p.u);
}

void ToExtensible(Ed448ExtensiblePoint& out, const Ext& p) {
  out.x = p.X;
  out.y = p.Y;
  out.z = p.Z;
  out.t = p.T;
  M::Fe448One(out.u);
}

// Hisil-Wong-Carter-Dawson doubling for a = 1; T is skipped when the next
// step is another doubling, which does not read it.
void ExtDouble(Ext& p, bool needT = true) {
  Fe448 a, b, c, e, f, g, h;
  fe448::Square(a, p.X);
  fe448::Square(b, p.Y);
  fe448::Square(c, p.Z);
  fe448::AddLazy(c, c, c);
  fe448::AddLazy(e, p.X, p.Y);
  fe448::Square(e, e);
  fe448::AddLazy(g, a, b);
  fe448::SubLazy(e, e, g);
  fe448::SubLazy(f, g, c);
  fe448::SubLazy(h, a, b);
  fe448::Mul(p.X, e, f);
  fe448::Mul(p.Y, g, h);
  if (needT) fe448::Mul(p.T, e, h);
  fe448::Mul(p.Z, f, g);
}

// p += q given q's x2, y2 and d*T1*T2 and Z1*Z2 (the a = 1 unified formulas).
// Every intermediate sum feeds a multiplication, so none is carried.
void ExtAddParts(Ext& p, const Fe448& x2, const Fe448& y2, const Fe448& c, const Fe448& d) {
  Fe448 a, b, e, s, f, g, h;
  fe448::Mul(a, p.X, x2);
  fe448::Mul(b, p.Y, y2);
  fe448::AddLazy(e, p.X, p.Y);
  fe448::AddLazy(s, x2, y2);
  fe448::Mul(e, e, s);
  fe448::AddLazy(s, a, b);
  fe448::SubLazy(e, e, s);
  fe448::SubLazy(f, d, c);
  fe448::AddLazy(g, d, c);
  fe448::SubLazy(h, b, a);
  fe448::Mul(p.X, e, f);
  fe448::Mul(p.Y, g, h);
  fe448::Mul(p.T, e, h);
  fe448::Mul(p.Z, f, g);
}

void ExtAddEntry(Ext& p, const Ed448BaseEntry& q) {
  Fe448 c;
  fe448::Mul(c, p.T, q.dxy);
  ExtAddParts(p, q.x, q.y, c, p.Z);
}

void ExtSubEntry(Ext& p, const Ed448BaseEntry& q) {
  Fe448 c, nx;
  fe448::Mul(c, p.T, q.dxy);
  M::Fe448Neg(c, c);
  M::Fe448Neg(nx, q.x);
  ExtAddParts(p, nx, q.y, c, p.Z);
}

void ToCached(Cached& out, const Ext& p) {
  out.X = p.X;
  out.Y = p.Y;
  out.Z = p.Z;
  MulD(out.dT, p.T);
}

void ExtAddCached(Ext& p, const Cached& q, bool subtract) {
  Fe448 c, d, x2;
  fe448::Mul(c, p.T, q.dT);
  fe448::Mul(d, p.Z, q.Z);
  x2 = q.X;
  if (subtract) {
    M::Fe448Neg(c, c);
    M::Fe448Neg(x2, x2);
  }
  ExtAddParts(p, x2, q.Y, c, d);
}

uint32_t EqualMask(int a, int b) { return ((static_cast<uint32_t>(a ^ b)) - 1) >> 31; }

void SelectFixed(Ed448BaseEntry& out, const Ed448BaseEntry* row, int digit) {
  const uint32_t negative = static_cast<uint32_t>(digit >> 8) & 1;
  const int magnitude = digit - ((-static_cast<int>(negative) & digit) * 2);
  M::Fe448Zero(out.x);
  M::Fe448One(out.y);
  M::Fe448Zero(out.dxy);
  for (int j = 1; j <= 8; ++j) {
    const uint32_t hit = EqualMask(magnitude, j);
    M::Fe448CMov(out.x, row[j - 1].x, hit);
    M::Fe448CMov(out.y, row[j - 1].y, hit);
    M::Fe448CMov(out.dxy, row[j - 1].dxy, hit);
  }
  M::Fe448CNeg(out.x, 0 - negative);
  M::Fe448CNeg(out.dxy, 0 - negative);
}

// Signed radix-16 digits of a scalar below 2^446: 112 digits in -8..8.
void SignedNibbles(signed char* e, const uint32_t* k) {
  for (int i = 0; i < 112; ++i) e[i] = static_cast<signed char>((k[i / 8] >> (4 * (i % 8))) & 15);
  int carry = 0;
  for (int i = 0; i < 111; ++i) {
    const int digit = e[i] + carry;
    carry = (digit + 8) >> 4;
    e[i] = static_cast<signed char>(digit - carry * 16);
  }
  e[111] = static_cast<signed char>(e[111] + carry);
}

void SelectNiels(Ed448ProjectiveNielsPoint& out, const Ed448ProjectiveNielsPoint* table, int digit) {
  const uint32_t negative = static_cast<uint32_t>(digit >> 8) & 1;
  const int magnitude = digit - ((-static_cast<int>(negative) & digit) * 2);
  out = table[0];
  for (int j = 1; j <= 8; ++j) {
    const uint32_t hit = EqualMask(magnitude, j);
    M::Fe448CMov(out.n.a, table[j].n.a, hit);
    M::Fe448CMov(out.n.b, table[j].n.b, hit);
    M::Fe448CMov(out.n.c, table[j].n.c, hit);
    M::Fe448CMov(out.z, table[j].z, hit);
  }
  M::Ed448ProjectiveNielsCNeg(out, 0 - negative);
}

}  // namespace

int EdwardsMath::Ed448MultiplyBase(Ed448ExtensiblePoint& out, const uint32_t* k, int words) {
  if (words != 14) return kEdwardsShortBuffer;
  const Ed448ExtensiblePoint* table = Ed448Tables::BitTable();
  Ed448ExtensiblePoint identity, addend;
  Ed448ExtensibleIdentity(identity);
  Ed448ExtensibleIdentity(out);
  for (int i = 0; i < 14; ++i) {
    for (int j = 0; j < 32; ++j) {
      const uint32_t bit = (k[i] >> j) & 1;
      const Ed448ExtensiblePoint& entry = table[32 * i + j];
      addend = identity;
      Fe448CMov(addend.x, entry.x, bit);
      Fe448CMov(addend.y, entry.y, bit);
      Fe448CMov(addend.z, entry.z, bit);
      Ed448Add(out, addend);
    }
  }
  return 0;
}

int EdwardsMath::Ed448MultiplyPointBits(Ed448ExtensiblePoint& p, const uint32_t* k, int words) {
  if (words != 14) return kEdwardsShortBuffer;
  Ed448ExtensiblePoint r = p, identity, addend;
  Ed448ExtensibleIdentity(identity);
  Ed448ExtensibleIdentity(p);
  for (int i = 0; i < 448; ++i) {
    const uint32_t bit = (k[i / 32] >> (i % 32)) & 1;
    addend = identity;
    Fe448CMov(addend.x, r.x, bit);
    Fe448CMov(addend.y, r.y, bit);
    Fe448CMov(addend.z, r.z, bit);
    Ed448Add(p, addend);
    Ed448Double(r);
  }
  return 0;
}

void EdwardsMath::Ed448MultiplyPoint(Ed448TwistedExtensiblePoint& p, const uint32_t* k) {
  // Entries 0..8 hold 0*P .. 8*P; the scalar is reduced first so its signed
  // nibbles stay in range.
  uint32_t s[14];
  std::memcpy(s, k, sizeof(s));
  Scalar448Reduce(s, 14, 0);
  Ed448ProjectiveNielsPoint table[9];
  Ed448TwistedExtensiblePoint acc;
  Ed448TwistedIdentity(acc);
  Ed448ProjectiveNielsFromTwisted(table[0], acc);
  acc = p;
  Ed448ProjectiveNielsFromTwisted(table[1], p);
  for (int j = 2; j <= 8; ++j) {
    Ed448AddProjectiveNiels(acc, table[1]);
    Ed448ProjectiveNielsFromTwisted(table[j], acc);
  }
  signed char e[112];
  SignedNibbles(e, s);
  Ed448ProjectiveNielsPoint t;
  SelectNiels(t, table, e[111]);
  Ed448TwistedFromProjectiveNiels(p, t);
  for (int i = 110; i >= 0; --i) {
    for (int d = 0; d < 4; ++d) Ed448TwistedDouble(p);
    SelectNiels(t, table, e[i]);
    Ed448AddProjectiveNiels(p, t);
  }
  SecureWipe(s, sizeof(s));
  SecureWipe(e, sizeof(e));
}

int EdwardsMath::Ed448MultiplyBaseComb(Ed448TwistedExtensiblePoint& out, const uint32_t* k, int nbits) {
  if (nbits < 0 || nbits > 448) return 0;
  const Ed448NielsPoint* table = Ed448Tables::CombTable();
  const uint32_t* adjust = Ed448Tables::CombAdjustments();
  uint32_t s[14] = {};
  const int words = (nbits + 31) / 32;
  if (words > 0) std::memcpy(s, k, sizeof(uint32_t) * words);
  if (nbits % 32 != 0) s[words - 1] &= (uint32_t{1} << (nbits % 32)) - 1;
  // k2 = (k + adjustment) / 2 with the adjustment of k's parity, so that bit
  // b of k2 stands for the digit 2b - 1 and the digits sum to k mod q.
  const uint32_t odd = 0 - (s[0] & 1);
  uint32_t adj[14], k2[15];
  for (int i = 0; i < 14; ++i) adj[i] = (adjust[i] & ~odd) | (adjust[14 + i] & odd);
  k2[14] = AddMasked(k2, s, 14, adj, 0, 14, 0xFFFFFFFFu);
  for (int i = 0; i < 14; ++i) k2[i] = (k2[i] >> 1) | (k2[i + 1] << 31);
  constexpr int kS = Ed448Tables::kSpacing, kT = Ed448Tables::kTeeth;
  for (int i = 0; i < kS; ++i) {
    if (i > 0) Ed448TwistedDouble(out);
    for (int j = 0; j < Ed448Tables::kCombs; ++j) {
      uint32_t v = 0;
      for (int m = 0; m < kT; ++m) {
        const int pos = (kS - 1 - i) + m * kS + j * kS * kT;
        v |= ((k2[pos / 32] >> (pos % 32)) & 1) << m;
      }
      const uint32_t negate = (v >> (kT - 1)) - 1;
      v = (v ^ negate) & ((1u << (kT - 1)) - 1);
      Ed448NielsPoint entry = table[8 * j];
      for (uint32_t e = 1; e < 8; ++e) {
        const uint32_t hit = ((v ^ e) - 1) >> 31;
        Fe448CMov(entry.a, table[8 * j + e].a, hit);
        Fe448CMov(entry.b, table[8 * j + e].b, hit);
        Fe448CMov(entry.c, table[8 * j + e].c, hit);
      }
      Ed448NielsCNeg(entry, negate);
      if (i == 0 && j == 0)
        Ed448TwistedFromNiels(out, entry);
      else
        Ed448AddNiels(out, entry);
    }
  }
  SecureWipe(s, sizeof(s));
  SecureWipe(k2, sizeof(k2));
  return 1;
}

int EdwardsMath::Ed448RecodeWnaf(WnafTerm* terms, const uint32_t* k, int nbits, int tableBits) {
  const int limit = nbits / (tableBits + 1) + 2;
  const int high = 1 << (tableBits + 1);
  int count = 0;
  int current = 0;
  for (int i = nbits - 1; i >= 0; --i) {
    current = 2 * current + static_cast<int>((k[i / 32] >> (i % 32)) & 1);
    if (current >= high || current <= -1 - high) {
      int delta = (current + 1) >> 1;
      current = -(current & 1);
      int power = i;
      while ((delta & 1) == 0) {
        delta >>= 1;
        ++power;
      }
      if (count >= limit) return kEdwardsRange;
      terms[count++] = {power + 1, delta};
    }
  }
  if (current != 0) {
    int power = 0;
    while ((current & 1) == 0) {
      current >>= 1;
      ++power;
    }
    if (count >= limit) return kEdwardsRange;
    terms[count++] = {power, current};
  }
  terms[count] = {-1, 0};
  return count;
}

void EdwardsMath::Ed448SlidingDigits(signed char digits[456], const uint32_t* k, int w) {
  uint32_t x[16] = {};
  std::memcpy(x, k, 14 * sizeof(uint32_t));
  std::memset(digits, 0, 456);
  const int width = 1 << w;
  int carry = 0;
  int pos = 0;
  while (pos < 448) {
    const int word = pos / 32, bit = pos % 32;
    uint64_t buf = x[word] | (static_cast<uint64_t>(x[word + 1]) << 32);
    const int window = carry + static_cast<int>((buf >> bit) & static_cast<uint64_t>(width - 1));
    if ((window & 1) == 0) {
      ++pos;
      continue;
    }
    if (window < width / 2) {
      carry = 0;
      digits[pos] = static_cast<signed char>(window);
    } else {
      carry = 1;
      digits[pos] = static_cast<signed char>(window - width);
    }
    pos += w;
  }
  if (carry != 0) digits[pos] = 1;
}

void EdwardsMath::Ed448MultiplyBaseFixed(Ed448ExtensiblePoint& out, const uint32_t* k) {
  Ed448Tables::EnsureFixedTable();
  signed char e[112];
  SignedNibbles(e, k);
  Ext h;
  ExtIdentity(h);
  Ed448BaseEntry t;
  for (int i = 1; i < 112; i += 2) {
    SelectFixed(t, Ed448Tables::FixedRow(i / 2), e[i]);
    ExtAddEntry(h, t);
  }
  for (int d = 0; d < 4; ++d) ExtDouble(h);
  for (int i = 0; i < 112; i += 2) {
    SelectFixed(t, Ed448Tables::FixedRow(i / 2), e[i]);
    ExtAddEntry(h, t);
  }
  SecureWipe(e, sizeof(e));
  ToExtensible(out, h);
}

void EdwardsMath::Ed448DoubleScalarMultiplyVerify(Ed448ExtensiblePoint& out, const uint32_t* a,
                                                  const Ed448ExtensiblePoint& A, const uint32_t* b) {
  signed char da[456], db[456];
  Ed448SlidingDigits(da, a, 7);
  Ed448SlidingDigits(db, b, 5);
  const Ed448BaseEntry* odd = Ed448Tables::OddMultiples();
  Cached multiples[8], twoA;
  Ext p, twice;
  FromExtensible(p, A);
  ToCached(multiples[0], p);
  twice = p;
  ExtDouble(twice);
  ToCached(twoA, twice);
  for (int i = 1; i < 8; ++i) {
    ExtAddCached(p, twoA, false);
    ToCached(multiples[i], p);
  }
  Ext r;
  ExtIdentity(r);
  int i = 455;
  while (i >= 0 && da[i] == 0 && db[i] == 0) --i;
  for (; i >= 0; --i) {
    ExtDouble(r, da[i] != 0 || db[i] != 0 || i == 0);
    if (da[i] > 0) ExtAddEntry(r, odd[da[i] / 2]);
    if (da[i] < 0) ExtSubEntry(r, odd[-da[i] / 2]);
    if (db[i] > 0) ExtAddCached(r, multiples[db[i] / 2], true);
    if (db[i] < 0) ExtAddCached(r, multiples[-db[i] / 2], false);
  }
  ToExtensible(out, r);
}

int EdwardsMath::Ed448DoubleScalarMultiply(Ed448TwistedExtensiblePoint& p, const uint32_t* a, int aBits,
                                           const uint32_t* b, int bBits) {
  if (aBits < 0 || aBits > 448 || bBits < 0 || bBits > 448) return kEdwardsRange;
  WnafTerm ta[448 / 5 + 3], tb[448 / 6 + 3];
  const int na = Ed448RecodeWnaf(ta, a, aBits, 4);
  const int nb = Ed448RecodeWnaf(tb, b, bBits, 5);
  if (na < 0 || nb < 0 || na == kEdwardsRange || nb == kEdwardsRange) return kEdwardsRange;
  const Ed448NielsPoint* window = Ed448WindowTables::Table();
  // Odd multiples P, 3P, ..., 31P.
  Ed448ProjectiveNielsPoint multiples[16], twoP;
  Ed448ProjectiveNielsFromTwisted(multiples[0], p);
  Ed448TwistedExtensiblePoint w = p;
  Ed448TwistedDouble(w);
  Ed448ProjectiveNielsFromTwisted(twoP, w);
  w = p;
  for (int i = 1; i < 16; ++i) {
    Ed448AddProjectiveNiels(w, twoP);
    Ed448ProjectiveNielsFromTwisted(multiples[i], w);
  }
  int ia = 0, ib = 0;
  const int start = ta[0].power > tb[0].power ? ta[0].power : tb[0].power;
  if (start < 0) {
    Ed448TwistedIdentity(p);
    return 0;
  }
  // A recoding always opens with a positive addend.
  if ((ta[0].power == start && ta[0].addend <= 0) || (tb[0].power == start && tb[0].addend <= 0))
    return kEdwardsRange;
  if (ta[0].power == start) {
    Ed448TwistedFromProjectiveNiels(p, multiples[ta[0].addend >> 1]);
    ++ia;
    if (tb[0].power == start) {
      Ed448AddNiels(p, window[tb[0].addend >> 1]);
      ++ib;
    }
  } else {
    Ed448TwistedFromNiels(p, window[tb[0].addend >> 1]);
    ++ib;
  }
  for (int i = start - 1; i >= 0; --i) {
    Ed448TwistedDouble(p);
    if (ta[ia].power == i) {
      const int addend = ta[ia++].addend;
      if (addend == 0) return kEdwardsRange;
      if (addend > 0)
        Ed448AddProjectiveNiels(p, multiples[addend >> 1]);
      else
        Ed448SubProjectiveNiels(p, multiples[(-addend) >> 1]);
    }
    if (tb[ib].power == i) {
      const int addend = tb[ib++].addend;
      if (addend == 0) return kEdwardsRange;
      if (addend > 0)
        Ed448AddNiels(p, window[addend >> 1]);
      else
        Ed448SubNiels(p, window[(-addend) >> 1]);
    }
  }
  return (ia == na && ib == nb) ? 0 : kEdwardsRange;
}

}  // namespace tornell
